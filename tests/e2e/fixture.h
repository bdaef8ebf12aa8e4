// The fixture every end-to-end test starts from: a working directory of its
// own, one session (private X server and the program), and a screenshot of the
// window saved when the test fails.
#ifndef VELMORA_E2E_FIXTURE_H
#define VELMORA_E2E_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>

#include "scene.h"
#include "xsession.h"

namespace e2e
{

// Standard output of every normal run, from start to the end at Escape.
constexpr char kStartText[] =
    "Initializing SDL...\n"
    "Audio & Video initialized correctly\n"
    "\n"
    "Select desired screen resolution:\n"
    " 1) 640 x 480\n"
    " 2) 800 x 600\n"
    " 3) 1024 x 768\n";

// Fails the test for every text of the program's own found in `err`: the program
// writes only to standard output, and standard error is left to the libraries
// (SDL, and what it loads, such as the Wayland or ALSA client libraries).
void expectNoProgramTextIn(const std::string& err);

class ProgramTest : public testing::Test
{
protected:
    void TearDown() override;

    const std::filesystem::path& workdir() const { return mDir.path(); }
    // Copies the project's own art (bg.bmp and includes/) into the working directory.
    void copyProjectData();
    // Starts a private X server and the program in the working directory.
    Session& start(const RunOptions& options = {});
    Session& session() { return *mSession; }
    // Waits until the window's top row (where no sprite is) shows the top row of
    // the working directory's bg.bmp: the scene is set up and presented.
    testing::AssertionResult waitForBackgroundTopRow();

    // Presses Escape and expects the normal end: status 0, standard output
    // holding the start text and nothing more, none of the program's texts on
    // standard error.
    void expectCleanEndAfterEscape();

private:
    velmora::TempDir mDir;
    std::unique_ptr<Session> mSession;
};

}

#endif
