// The Debian package that CPack builds: its control fields, its files, what
// lintian says of it, and the demo started from the package unpacked anywhere.
#include <map>
#include <sstream>

#include "launcher.h"

namespace install
{
namespace
{

using namespace e2e;

std::string architecture()
{
    Outcome r = runCommand("dpkg", {"--print-architecture"});
    return r.output.substr(0, r.output.find('\n'));
}

// The package that holds the library `soname` which one of `programs` loads,
// as this release names it (libpng16-16 on Debian 12, libpng16-16t64 on 13).
std::string packageOfLibrary(const std::vector<fs::path>& programs, const std::string& soname)
{
    for (const fs::path& program : programs)
    {
        Outcome ldd = runCommand("ldd", {program.string()});
        std::istringstream lines(ldd.output);
        std::string line;
        while (std::getline(lines, line))
        {
            std::istringstream words(line);
            std::string name, arrow, path;
            if (!(words >> name >> arrow >> path) || name != soname || arrow != "=>")
                continue;
            const std::string file = fs::canonical(path).filename().string();
            Outcome owner = runCommand("dpkg-query", {"--search", file});
            return owner.output.substr(0, owner.output.find_first_of(":\n"));
        }
    }
    return "";
}

// The names of the packages in a Depends field, each with its version
// constraint ("" when it has none).
std::map<std::string, std::string> dependencies(const std::string& field)
{
    std::map<std::string, std::string> named;
    std::istringstream entries(field);
    std::string entry;
    while (std::getline(entries, entry, ','))
    {
        entry.erase(0, entry.find_first_not_of(' '));
        const std::string::size_type space = entry.find(' ');
        named[entry.substr(0, space)] = space == std::string::npos ? "" : entry.substr(space + 1);
    }
    return named;
}

class Package : public testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(packageFile().empty()) << "CPack built no velmora .deb"; }
};

TEST_F(Package, IsNamedAfterPackageVersionAndArchitecture)
{
    EXPECT_EQ(packageFile().filename().string(), "velmora_" VELMORA_PACKAGE_VERSION "_" + architecture() + ".deb");
}

TEST_F(Package, ControlFieldsDescribeAGameInUsrWithItsLibrariesAsDependencies)
{
    Outcome r = runCommand("dpkg-deb", {"--field", packageFile().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] != ' ' && line.find(": ") != std::string::npos)
            fields[line.substr(0, line.find(": "))] = line.substr(line.find(": ") + 2);

    EXPECT_EQ(fields["Package"], "velmora");
    EXPECT_EQ(fields["Version"], VELMORA_PACKAGE_VERSION);
    EXPECT_EQ(fields["Architecture"], architecture());
    EXPECT_EQ(fields["Section"], "games");
    EXPECT_NE(fields["Maintainer"].find(" <"), std::string::npos) << fields["Maintainer"];
    EXPECT_EQ(fields["Homepage"].rfind("https://", 0), 0u) << fields["Homepage"];
    EXPECT_FALSE(fields["Description"].empty());
    EXPECT_NE(r.output.find("\n Velmora opens a 1024x768 window"), std::string::npos) << "no long description";
    // dpkg-shlibdeps found the libraries the programs link, under the names
    // this release gives their packages, each with the least version it needs.
    const std::map<std::string, std::string> depends = dependencies(fields["Depends"]);
    TempDir root;
    ASSERT_TRUE(runCommand("dpkg", {"-x", packageFile().string(), root.path().string()}).succeeded());
    const std::vector<fs::path> programs{root.path() / "usr/libexec/velmora/velmora",
                                         root.path() / "usr/games/velmora-artgen"};
    std::vector<std::string> needed{"libc6", "libstdc++6"};
    for (const char* soname : {"libSDL-1.2.so.0", "libpng16.so.16"})
    {
        needed.push_back(packageOfLibrary(programs, soname));
        EXPECT_FALSE(needed.back().empty()) << "no package holds the program's " << soname;
    }
    for (const std::string& package : needed)
    {
        auto found = depends.find(package);
        ASSERT_NE(found, depends.end()) << package << " missing from: " << fields["Depends"];
        EXPECT_EQ(found->second.rfind("(>= ", 0), 0u) << package << " " << found->second;
    }
}

// Each group of a Recommends field: the alternatives of one entry.
std::vector<std::vector<std::string>> recommendations(const std::string& field)
{
    std::vector<std::vector<std::string>> groups;
    std::istringstream entries(field);
    std::string entry;
    while (std::getline(entries, entry, ','))
    {
        std::vector<std::string> names;
        std::istringstream words(entry);
        std::string word;
        while (words >> word)
            if (word != "|")
                names.push_back(word);
        groups.push_back(names);
    }
    return groups;
}

// What a native Wayland window of the launcher's needs: a libdecor plugin, so
// that SDL draws its title bar where the compositor draws none, and where the
// release's SDL 1.2 is the classic library, the layer beside it. Every entry
// names a package this release's archive has.
TEST_F(Package, RecommendsALibdecorPluginAndTheLayerBesideAClassicLibrary)
{
    Outcome r = runCommand("dpkg-deb", {"--field", packageFile().string(), "Recommends"});
    ASSERT_TRUE(r.succeeded()) << r;
    const std::string field = r.output.substr(0, r.output.find('\n'));
    const bool classic = runCommand("pkg-config", {"--max-version=1.2.49", "sdl"}).succeeded();
    bool plugin = false, layer = false;
    for (const std::vector<std::string>& group : recommendations(field))
    {
        bool known = false;
        for (const std::string& name : group)
        {
            known = known || runCommand("apt-cache", {"show", "--no-all-versions", name}).succeeded();
            plugin = plugin || name.rfind("libdecor-0-plugin-1-", 0) == 0;
            layer = layer || name == "libsdl1.2-compat";
        }
        EXPECT_TRUE(known) << "the archive has none of the recommended " << testing::PrintToString(group)
                             << " (apt-cache knows the archive once apt-get update has read its lists)";
    }
    EXPECT_TRUE(plugin) << field;
    EXPECT_EQ(layer, classic) << field;
}

TEST_F(Package, HoldsTheProgramInDebiansGamesLayoutOwnedByRoot)
{
    Outcome r = runCommand("dpkg-deb", {"--contents", packageFile().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    std::set<std::string> files;
    std::istringstream lines(r.output);
    std::string mode, owner, size, date, time, path;
    while (lines >> mode >> owner >> size >> date >> time >> path)
    {
        EXPECT_EQ(owner, "root/root") << path;
        ASSERT_EQ(path.rfind("./usr/", 0), 0u) << path;
        if (mode[0] == 'd')
        {
            EXPECT_EQ(mode, "drwxr-xr-x") << path;
            continue;
        }
        const std::string relative = path.substr(6);
        files.insert(relative);
        const bool program = relative.rfind("games/", 0) == 0 || relative.rfind("libexec/velmora/", 0) == 0;
        EXPECT_EQ(mode, program ? "-rwxr-xr-x" : "-rw-r--r--") << path;
    }
    EXPECT_EQ(files, expectedFiles("games"));
}

TEST_F(Package, LintianFindsNoErrorsAndNoWarnings)
{
    expectLintianClean(packageFile());
}

class UnpackedPackage : public InstalledLauncherTest
{
};

TEST_F(UnpackedPackage, LauncherShowsTheSceneAndEndsWithStatusZeroOnEscape)
{
    ASSERT_FALSE(packageFile().empty()) << "CPack built no velmora .deb";
    TempDir root;
    Outcome r = runCommand("dpkg", {"-x", packageFile().string(), root.path().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    expectSceneFrom(root.path() / "usr/games/velmora", root.path() / "usr/share/velmora");
}

}
}
