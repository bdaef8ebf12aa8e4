// The Debian package that CPack builds: its control fields, its files, what
// lintian says of it, and the demo started from the package unpacked anywhere.
#include <map>
#include <sstream>

#include "support.h"

namespace install
{
namespace
{

using namespace e2e;

std::string architecture()
{
    CommandResult r = runCommand("dpkg", {"--print-architecture"});
    return r.out.substr(0, r.out.find('\n'));
}

class Package : public testing::Test
{
protected:
    void SetUp() override { ASSERT_FALSE(packageFile().empty()) << "CPack built no velmora .deb"; }
};

TEST_F(Package, IsNamedAfterPackageVersionAndArchitecture)
{
    EXPECT_EQ(packageFile().filename().string(), "velmora_" VELMORA_VERSION "_" + architecture() + ".deb");
}

TEST_F(Package, ControlFieldsDescribeAGameInUsrWithItsLibrariesAsDependencies)
{
    CommandResult r = runCommand("dpkg-deb", {"--field", packageFile().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    std::map<std::string, std::string> fields;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && line[0] != ' ' && line.find(": ") != std::string::npos)
            fields[line.substr(0, line.find(": "))] = line.substr(line.find(": ") + 2);

    EXPECT_EQ(fields["Package"], "velmora");
    EXPECT_EQ(fields["Version"], VELMORA_VERSION);
    EXPECT_EQ(fields["Architecture"], architecture());
    EXPECT_EQ(fields["Section"], "games");
    EXPECT_NE(fields["Maintainer"].find(" <"), std::string::npos) << fields["Maintainer"];
    EXPECT_EQ(fields["Homepage"].rfind("https://", 0), 0u) << fields["Homepage"];
    EXPECT_FALSE(fields["Description"].empty());
    EXPECT_NE(r.out.find("\n Velmora opens a 1024x768 window"), std::string::npos) << "no long description";
    // dpkg-shlibdeps found the libraries the programs link.
    const std::string depends = fields["Depends"];
    for (const char* library : {"libc6 (>= ", "libstdc++6 (>= ", "libsdl1.2", "libpng16-16 (>= "})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " missing from: " << depends;
}

TEST_F(Package, HoldsTheProgramInDebiansGamesLayoutOwnedByRoot)
{
    CommandResult r = runCommand("dpkg-deb", {"--contents", packageFile().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    std::set<std::string> files;
    std::istringstream lines(r.out);
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
        const bool program = relative.rfind("games/", 0) == 0 || relative == "libexec/velmora/velmora";
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
    CommandResult r = runCommand("dpkg", {"-x", packageFile().string(), root.path().string()});
    ASSERT_TRUE(r.succeeded()) << r;
    expectSceneFrom(root.path() / "usr/games/velmora", root.path() / "usr/share/velmora");
}

}
}
