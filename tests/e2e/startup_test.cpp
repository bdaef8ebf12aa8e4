// The program's start, its window, and the ways it ends, seen from outside:
// standard output, standard error, the exit status and the X window.
#include <cstdlib>
#include <regex>

#include "fixture.h"

namespace e2e
{
namespace
{

class Startup : public ProgramTest
{
};

TEST_F(Startup, NormalRunWritesOnlyTheStartTextAndEndsWithStatusZeroOnEscape)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    expectCleanEndAfterEscape();
}

TEST_F(Startup, WindowIs1024x768)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    // Once the scene shows, the window is the one the program draws in.
    ASSERT_TRUE(waitForBackgroundTopRow());
    EXPECT_EQ(s.programWindows().size(), 1u);
    Session::Geometry g = s.geometry();
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(g.height, 768);
    EXPECT_TRUE(g.viewable);
    expectCleanEndAfterEscape();
}

// Title bars and window lists show the title; the desktop entry's
// StartupWMClass finds the window by its class.
TEST_F(Startup, WindowIsCalledVelmoraAndKeepsTheProgramsClass)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    Session::Names names = s.names();
    EXPECT_EQ(names.title, "Velmora");
    // Only the layer's SDL sets the UTF-8 title; where it does, it says the same.
    if (!names.netTitle.empty())
    {
        EXPECT_EQ(names.netTitle, "Velmora");
    }
    EXPECT_EQ(names.instance, "velmora");
    EXPECT_EQ(names.className, "velmora");
    expectCleanEndAfterEscape();
}

TEST_F(Startup, ClosingTheWindowEndsWithStatusZero)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    s.closeWindow();
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the program " << result;
    EXPECT_EQ(s.program().output(), kStartText);
    expectNoProgramTextIn(s.program().errors());
}

TEST_F(Startup, EscapeEndsTheProgramWhenPressedNotWhenReleased)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    s.keyDown("Escape");
    Outcome result = s.program().wait(kExitTimeout);
    s.keyUp("Escape");
    EXPECT_EQ(result.status, 0) << "the program " << result;
    EXPECT_EQ(s.program().output(), kStartText);
}

TEST_F(Startup, EscapeAndWindowCloseTogetherEndTheProgramOnce)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    s.closeWindow();
    s.key("Escape");
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the program " << result;
    EXPECT_EQ(s.program().output(), kStartText);
    expectNoProgramTextIn(s.program().errors());
}

TEST_F(Startup, OtherKeysAndClicksDoNotEndTheProgram)
{
    SceneData data = stillScene();
    data.write(workdir());
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(s.waitForScene(SceneModel{}.expect(data)));

    for (const char* key : {"a", "space", "Return", "Down", "Left", "Right", "F1", "q"})
        s.key(key);
    s.click(1);
    s.click(3);

    // Events are handled in order: once Up has lifted vikings1 (its bottom row
    // shows the background again) every key before it has been handled too.
    const int bottom = kVikings1At.y + data.vikings.height() - 1;
    const int x = kVikings1At.x + 1;
    s.keyDown("Up");
    EXPECT_TRUE(s.waitForPicture(
        [&](const Picture& shot) { return shot.at(x, bottom) == data.background.at(x, bottom); }));
    s.keyUp("Up");
    EXPECT_TRUE(s.program().running()) << "the program " << s.program().wait(kExitTimeout);

    expectCleanEndAfterEscape();
}

TEST_F(Startup, MouseCursorIsHiddenOverTheWindow)
{
    copyProjectData();
    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    // The server's own cursor shows outside the window (the screen is larger)...
    s.movePointer(1100, 900);
    EXPECT_TRUE(pollUntil([&] { return s.cursorVisible(); }, kDrawTimeout));
    // ...and none over it.
    s.movePointer(500, 400);
    EXPECT_TRUE(pollUntil([&] { return !s.cursorVisible(); }, kDrawTimeout));
    expectCleanEndAfterEscape();
}

TEST_F(Startup, ArgumentsAndConsoleInputChangeNothing)
{
    copyProjectData();
    RunOptions options;
    options.args = {"1", "--help", "640x480"};
    options.input = "1\n2\n";
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    Session::Geometry g = s.geometry();
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(g.height, 768);
    expectCleanEndAfterEscape();
}

TEST_F(Startup, RefusedVideoModeReportsSdlErrorsAndEndsWithStatusOne)
{
    copyProjectData();
    RunOptions options;
    options.env["SDL_VIDEODRIVER"] = "nosuchdriver";
    Session& s = start(options);
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 1) << "the program " << result;

    const std::string out = s.program().output();
    static const std::regex expected(
        "Initializing SDL\\.\\.\\.\n"
        "Could not initialize SDL:([^\n]+)\n"
        "Select desired screen resolution:\n"
        " 1\\) 640 x 480\n"
        " 2\\) 800 x 600\n"
        " 3\\) 1024 x 768\n"
        "ERROR: Unable to set screen resolution to 1024x768! ([^\n]+)\n");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(out, match, expected)) << "standard output:\n" << out;
    expectNoProgramTextIn(s.program().errors());
    EXPECT_TRUE(s.programWindows().empty());
}

// With no display at all SDL 2, under the layer, would pick its "offscreen"
// driver and run the scene unseen and forever: the program refuses it like a
// video mode. SDL 3 starts no video driver then, and the start fails as ever. Classic SDL draws the scene as text in the terminal instead
// (libcaca, which needs a TERM), where Escape on its input ends it as ever.
TEST_F(Startup, NoDisplayAtAllIsRefusedOnTheLayerAndDrawnAsTextOnClassicSdl)
{
    copyProjectData();
    RunOptions options;
    options.env["DISPLAY"] = std::nullopt;
    options.env["WAYLAND_DISPLAY"] = std::nullopt;
    options.env["TERM"] = "xterm";
    options.input = "\x1b";
    Session& s = start(options);
    Outcome result = s.program().wait(kExitTimeout);
    const std::string out = s.program().output();
    const char* library = getenv("VELMORA_SDL");
    if (library && std::string(library) == "compat")
    {
        EXPECT_EQ(result.status, 1) << "the program " << result;
        const std::string refused = "ERROR: Unable to set screen resolution to 1024x768! ";
        if (out.rfind("Initializing SDL...\nCould not initialize SDL:", 0) == 0)
        {
            // SDL 3 starts no video driver at all without a display: the
            // failed start is SDL's to report, and the video mode is refused.
            const std::string reason = out.substr(45, out.find('\n', 45) - 45);
            EXPECT_FALSE(reason.empty()) << out;
            EXPECT_EQ(out, "Initializing SDL...\nCould not initialize SDL:" + reason +
                               "\nSelect desired screen resolution:\n 1) 640 x 480\n 2) 800 x 600\n"
                               " 3) 1024 x 768\n" + refused + reason + "\n");
        }
        else
        {
            // SDL 2 starts its offscreen driver, which the program refuses.
            EXPECT_EQ(out, std::string(kStartText) + refused +
                               "No display: SDL found no X11 or Wayland display to open a window "
                               "on (set DISPLAY)\n");
        }
    }
    else
    {
        EXPECT_EQ(result.status, 0) << "the program " << result;
        EXPECT_EQ(out.find("ERROR:"), std::string::npos) << out;
        EXPECT_NE(out.find(" 3) 1024 x 768\n"), std::string::npos) << out;
    }
    expectNoProgramTextIn(s.program().errors());
    EXPECT_TRUE(s.programWindows().empty());
}

TEST_F(Startup, DefaultAudioDriverKeepsProgramTextsOffStandardError)
{
    copyProjectData();
    RunOptions options;
    options.env["SDL_AUDIODRIVER"] = std::nullopt;
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    ASSERT_TRUE(waitForBackgroundTopRow());
    s.key("Escape");
    Outcome result = s.program().wait(kExitTimeout);
    EXPECT_EQ(result.status, 0) << "the program " << result;

    // Whether SDL finds a sound device depends on the machine; the menu is
    // written either way, and only SDL's own libraries may use standard error.
    const std::string out = s.program().output();
    EXPECT_NE(out.find("Select desired screen resolution:\n 1) 640 x 480\n 2) 800 x 600\n"
                       " 3) 1024 x 768\n"),
              std::string::npos)
        << out;
    expectNoProgramTextIn(s.program().errors());
}

}
}
