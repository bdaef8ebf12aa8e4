// What the install tests share: where the setup steps left the staged install
// and the package, the files an installation holds, and running a command.
#ifndef VELMORA_INSTALL_SUPPORT_H
#define VELMORA_INSTALL_SUPPORT_H

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "process.h"
#include "temp_dir.h"

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

using velmora::EnvChanges;
using velmora::Outcome;
using velmora::Seconds;
using velmora::TempDir;

// The art as the build drew it, which an installation holds.
fs::path projectData();

// Runs `program` (a path, or a name looked up in PATH) with `args` in `dir`,
// collects its standard output and error, and waits for its end.
Outcome runCommand(const std::string& program, const std::vector<std::string>& args,
                   const fs::path& dir = fs::temp_directory_path(), const EnvChanges& env = {},
                   Seconds timeout = Seconds(300));

// Runs lintian on a package, prints what it says, and fails the test for every
// error or warning; skips the test when lintian is not installed.
void expectLintianClean(const fs::path& deb);

}

#endif
