// What the install tests share: where the setup steps left the staged install
// and the package, the files an installation holds, running a command, and a
// fixture that starts an installed launcher under the Xvfb harness.
#ifndef VELMORA_INSTALL_SUPPORT_H
#define VELMORA_INSTALL_SUPPORT_H

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

namespace install
{

namespace fs = std::filesystem;

// The runtime component installed with DESTDIR=stagedRoot() and prefix /usr.
fs::path stagedRoot();
// The velmora .deb that CPack built for the tests.
fs::path packageFile();

// Every file an installation holds, relative to its prefix, with the commands
// in `commandDir`: "bin" for an install from source, "games" in the package.
std::set<std::string> expectedFiles(const std::string& commandDir);
// Every file below `root` (symlinks included, directories not), relative to it.
std::set<std::string> filesBelow(const fs::path& root);
// Copies the staged /usr into `dir`; returns the copy's usr directory.
fs::path copyStagedUsr(const fs::path& dir);

struct CommandResult
{
    e2e::ExitResult exit;
    std::string out;
    std::string err;
    bool succeeded() const { return exit.exited && exit.status == 0; }
};
std::ostream& operator<<(std::ostream& os, const CommandResult& r);

// Runs `program` (a path, or a name looked up in PATH) with `args` in `dir`,
// and waits for its end.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& dir = fs::temp_directory_path(),
                         const e2e::EnvChanges& env = {}, e2e::Seconds timeout = e2e::Seconds(300));

// Runs lintian on a package, prints what it says, and fails the test for every
// error or warning; skips the test when lintian is not installed.
void expectLintianClean(const fs::path& deb);

// An installed launcher started from the fixture's working directory, an
// empty directory of its own that has nothing to do with the installation.
class InstalledLauncherTest : public e2e::ProgramTest
{
protected:
    // Starts `launcher` and checks that its window shows the scene drawn from
    // the art in `data`: the background, and each set's frames where the
    // program places them, or the background there when the set is missing.
    // Then Escape must end it with status 0.
    void expectSceneFrom(const fs::path& launcher, const fs::path& data,
                         const e2e::EnvChanges& env = {});
};

}

#endif
