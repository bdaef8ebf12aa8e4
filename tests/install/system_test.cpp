// The package as a user of this release has it: installed with apt and started
// as /usr/games/velmora from anywhere. The release check (scripts/test-release.sh)
// runs this after installing the package in its chroot; CTest never installs
// anything into the system, so it is built with the tests but not one of them.
//   VELMORA_SYSTEM_LAUNCHER=/usr/games/velmora install_system_test
#include <cstdlib>

#include "launcher.h"

namespace install
{
namespace
{

class SystemPackage : public InstalledLauncherTest
{
};

TEST_F(SystemPackage, LauncherShowsTheSceneAndEndsWithStatusZeroOnEscape)
{
    const char* launcher = std::getenv("VELMORA_SYSTEM_LAUNCHER");
    ASSERT_NE(launcher, nullptr) << "VELMORA_SYSTEM_LAUNCHER must name the installed launcher";
    // The launcher lives in <prefix>/games or <prefix>/bin, the art in <prefix>/share/velmora.
    const fs::path prefix = fs::path(launcher).parent_path().parent_path();
    expectSceneFrom(launcher, prefix / "share/velmora");
}

}
}
