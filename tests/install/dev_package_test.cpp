// The development package, libvelmora-sprite-dev: its control fields, its files
// and what lintian says of it. example_build.sh builds a program against it.
#include <gtest/gtest.h>

#include <sstream>

#include "support.h"

namespace install
{
namespace
{


const std::string kName = "libvelmora-sprite-dev";

fs::path devPackage()
{
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(VELMORA_PACKAGE_DIR, ec))
        if (entry.path().filename().string().rfind(kName + "_", 0) == 0)
            return entry.path();
    return {};
}

std::string field(const fs::path& deb, const std::string& name)
{
    Outcome r = runCommand("dpkg-deb", {"--field", deb.string(), name});
    return r.output.substr(0, r.output.find('\n'));
}

class DevPackage : public testing::Test
{
protected:
    void SetUp() override
    {
        mDeb = devPackage();
        ASSERT_FALSE(mDeb.empty()) << "CPack built no " << kName << " package";
    }
    fs::path mDeb;
};

TEST_F(DevPackage, IsALibdevelPackageThatBringsSdlsDevelopmentFiles)
{
    const std::string arch = field(mDeb, "Architecture");
    EXPECT_EQ(mDeb.filename().string(), kName + "_" VELMORA_PACKAGE_VERSION "_" + arch + ".deb");
    EXPECT_EQ(field(mDeb, "Package"), kName);
    EXPECT_EQ(field(mDeb, "Version"), VELMORA_PACKAGE_VERSION);
    EXPECT_EQ(field(mDeb, "Section"), "libdevel");
    EXPECT_EQ(field(mDeb, "Depends"), "libsdl1.2-dev");
    EXPECT_EQ(field(mDeb, "Description"), "sprite engine of the Velmora demo, for SDL 1.2 programs");
}

TEST_F(DevPackage, HoldsHeaderLibraryCMakePackageAndPkgConfigFileInTheMultiarchDirectory)
{
    Outcome r = runCommand("dpkg-deb", {"--contents", mDeb.string()});
    ASSERT_TRUE(r.succeeded()) << r;
    const std::string lib = "usr/lib/" + runCommand("dpkg-architecture", {"-qDEB_HOST_MULTIARCH"}).output;
    const std::string libdir = lib.substr(0, lib.find('\n')) + "/";
    std::set<std::string> files;
    std::istringstream lines(r.output);
    std::string mode, owner, size, date, time, path;
    while (lines >> mode >> owner >> size >> date >> time >> path)
    {
        EXPECT_EQ(owner, "root/root") << path;
        EXPECT_EQ(mode, mode[0] == 'd' ? "drwxr-xr-x" : "-rw-r--r--") << path;
        // The exported targets have one file per build type.
        if (mode[0] != 'd')
            files.insert(path.find("/VelmoraTargets-") != std::string::npos
                             ? libdir + "cmake/Velmora/VelmoraTargets-<config>.cmake"
                             : path.substr(2));
    }
    EXPECT_EQ(files, (std::set<std::string>{
                         "usr/include/velmora/bmp_check.h",
                         "usr/include/velmora/sprite.h",
                         libdir + "libvelmora-sprite.a",
                         libdir + "cmake/Velmora/VelmoraConfig.cmake",
                         libdir + "cmake/Velmora/VelmoraConfigVersion.cmake",
                         libdir + "cmake/Velmora/VelmoraTargets.cmake",
                         libdir + "cmake/Velmora/VelmoraTargets-<config>.cmake",
                         libdir + "pkgconfig/velmora-sprite.pc",
                         "usr/share/doc/" + kName + "/copyright",
                         "usr/share/doc/" + kName + "/changelog.gz",
                     }));
}

TEST_F(DevPackage, LibraryKeepsItsSymbolsWithoutDebuggingInformation)
{
    TempDir dir;
    ASSERT_TRUE(runCommand("dpkg-deb", {"--extract", mDeb.string(), dir.path().string()}).succeeded());
    fs::path library;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir.path()))
        if (entry.path().filename() == "libvelmora-sprite.a")
            library = entry.path();
    ASSERT_FALSE(library.empty());
    Outcome sections = runCommand("readelf", {"--section-headers", library.string()});
    ASSERT_TRUE(sections.succeeded()) << sections;
    EXPECT_EQ(sections.output.find(".debug_"), std::string::npos) << sections.output;
    Outcome symbols = runCommand("nm", {"--defined-only", "-C", library.string()});
    EXPECT_NE(symbols.output.find("CSprite::draw()"), std::string::npos) << symbols.output;
    EXPECT_NE(symbols.output.find("CRectList::addSprite(CSprite*)"), std::string::npos) << symbols.output;
}

TEST_F(DevPackage, LintianFindsNoErrorsAndNoWarnings)
{
    expectLintianClean(mDeb);
}

}
}
