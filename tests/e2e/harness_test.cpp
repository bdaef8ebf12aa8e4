// Tests of the end-to-end harness itself, against a stand-in program whose
// behaviour is fixed, where the real program's would depend on the SDL library.
#include "fixture.h"

namespace e2e
{
namespace
{

class Harness : public ProgramTest
{
};

// Under the SDL 1.2 compatibility layer the program's first window is replaced
// by a second one while it sets its video mode; a session that held on to the
// first would wait for pictures, keys and close messages that never come.
TEST_F(Harness, FollowsTheProgramToTheWindowThatReplacesTheFirst)
{
    RunOptions options;
    options.program = E2E_WINDOW_SWAP_PROGRAM;
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    const Rgb green{0, 255, 0};
    EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
        return shot.width() == 1024 && shot.height() == 768 && shot.at(0, 0) == green &&
               shot.at(1023, 767) == green;
    }));
    Session::Geometry g = s.geometry();
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(s.programWindows().size(), 1u);

    // The pointer was moved into the first window, off the second: keys reach
    // the second only if the session moved it along.
    s.key("Escape");
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the stand-in " << result;
}

TEST_F(Harness, ClosesTheWindowThatReplacedTheFirst)
{
    RunOptions options;
    options.program = E2E_WINDOW_SWAP_PROGRAM;
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForPicture([](const Picture& shot) { return shot.width() == 1024; }));
    s.closeWindow();
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the stand-in " << result;
}

}
}
