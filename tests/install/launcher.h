// A fixture for the install tests that start an installed launcher under the
// end-to-end tests' Xvfb harness and look at its window.
#ifndef VELMORA_INSTALL_LAUNCHER_H
#define VELMORA_INSTALL_LAUNCHER_H

#include "fixture.h"
#include "support.h"

namespace install
{

// An installed launcher started from the fixture's working directory, an
// empty directory of its own that has nothing to do with the installation.
class InstalledLauncherTest : public e2e::ProgramTest
{
protected:
    // Starts `launcher` and checks that its window shows the scene drawn from
    // the art in `data`: the background, and each set's frames where the
    // program places them, or the background there when the set is missing.
    // Then Escape must end it with status 0.
    void expectSceneFrom(const fs::path& launcher, const fs::path& data, const EnvChanges& env = {});
};

}

#endif
