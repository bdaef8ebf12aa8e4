// The end-to-end harness: a private Xvfb, the real velmora program in a working
// directory of the test's making, its window, keys, window-manager messages,
// screenshots and the program's output and exit status.
//
// Nothing here sleeps for a fixed time to let something happen: every wait
// polls for a condition until a generous deadline, so a loaded machine only
// makes the tests slower, never wrong.
#ifndef VELMORA_E2E_XSESSION_H
#define VELMORA_E2E_XSESSION_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "picture.h"
#include "process.h"
#include "temp_dir.h"

// Xlib's types, without pulling its macros (None, Status, Bool...) into tests.
typedef struct _XDisplay Display;
typedef unsigned long XWindowId;

namespace e2e
{

using velmora::EnvChanges;
using velmora::Outcome;
using velmora::Seconds;

// Deadlines for things that normally take milliseconds; they only matter when
// the machine is very busy, or when the program is wrong.
constexpr Seconds kStartTimeout{30};
constexpr Seconds kDrawTimeout{30};
constexpr Seconds kExitTimeout{30};

// Where the build put the program and its art. E2E_VELMORA_PROGRAM in the
// environment names another build of the program to test (for example one with
// sanitizers); its file must be named velmora, since SDL names the window's
// class after the program's file.
std::filesystem::path velmoraProgram();
std::filesystem::path projectData();
// Where tests leave screenshots of failures.
std::filesystem::path artifactDir();

// Polls `condition` until it holds or `timeout` passes; true when it held.
bool pollUntil(const std::function<bool()>& condition, Seconds timeout);

// A private X server: Xvfb picks a free display number itself (-displayfd), so
// tests running in parallel never race for one. Ended with the object, or
// with the test process if that ends first.
class XServer
{
public:
    XServer();  // throws std::runtime_error when Xvfb does not come up
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display() const { return mDisplayName; }
    Display* connection() const { return mConnection; }

private:
    velmora::Process mXvfb;
    std::string mDisplayName;
    Display* mConnection = nullptr;
};

// Options for a velmora run.
struct RunOptions
{
    // What to start: empty for velmoraProgram(), or another command that ends
    // up running velmora, such as the installed launcher.
    std::filesystem::path program;
    std::vector<std::string> args;
    // Applied after the defaults: DISPLAY of the private server, a private
    // XDG_RUNTIME_DIR (made with mode 0700, as a session's is) and no
    // WAYLAND_DISPLAY, SDL_AUDIODRIVER=dummy (ALSA prints its own complaints on
    // stderr otherwise), SDL_VIDEODRIVER removed.
    EnvChanges env;
    std::string input;  // what the program finds on its standard input
};

// One private X server with the real program running in `workdir`.
class Session
{
public:
    explicit Session(const std::filesystem::path& workdir, const RunOptions& options = {});
    ~Session();

    XServer& server() { return mServer; }
    // The program, its standard output and error collected, in a process group of its own.
    velmora::Process& program() { return mProgram; }

    // Polls until the program's window is up: a viewable top-level window whose
    // WM_CLASS is "velmora". Moves the pointer into it so that keys reach it.
    //
    // The program may still replace that window while it sets its video mode:
    // SDL 2, under the SDL 1.2 compatibility layer, maps a first window, then
    // destroys it and opens another once it has chosen how to present. Every
    // call below follows the program to its current window, and the window
    // itself is best checked once something has been seen in it.
    testing::AssertionResult waitForWindow(Seconds timeout = kStartTimeout);
    XWindowId window();
    // The window's size and position as the server sees them.
    struct Geometry
    {
        int x = 0, y = 0, width = 0, height = 0;
        bool viewable = false;
    };
    Geometry geometry();
    // The names a window manager shows and matches the window by: its title
    // (WM_NAME, and the UTF-8 _NET_WM_NAME where the library sets one), its
    // icon's name (WM_ICON_NAME) and its class (WM_CLASS); "" for one not set.
    struct Names
    {
        std::string title, netTitle, iconName, instance, className;
    };
    Names names();
    // All viewable top-level windows whose WM_CLASS is "velmora".
    std::vector<XWindowId> programWindows() const;

    // Screenshots of the window (or of a rectangle of it), read back from the
    // server. The last one is kept and saved when a test fails.
    Picture grab();
    Picture grab(int x, int y, int w, int h);
    const Picture& lastGrab() const { return mLastGrab; }
    // Polls screenshots of the whole window until `condition` holds on one.
    testing::AssertionResult waitForPicture(const std::function<bool(const Picture&)>& condition,
                                            Seconds timeout = kDrawTimeout);
    // Polls until the window shows what the model allows; the failure says what was wrong.
    testing::AssertionResult waitForScene(const ExpectedPicture& expected,
                                          Seconds timeout = kDrawTimeout);

    // Keys through the XTEST extension (xdotool), as if typed on the keyboard.
    // Names are X keysyms: "Escape", "Up", "a", "space".
    void key(const std::string& keysym);
    void keyDown(const std::string& keysym);
    void keyUp(const std::string& keysym);
    void click(int button = 1);
    // What a window manager sends when the user closes the window.
    void closeWindow();
    // Moves the pointer to (x, y) in window coordinates; outside the window is allowed.
    void movePointer(int x, int y);
    // Whether the cursor the server shows now has any pixel that is not transparent.
    bool cursorVisible() const;

    // Saves the last screenshot to the artifact directory under `name`; returns the file.
    std::filesystem::path saveLastGrab(const std::string& name) const;

private:
    void xdotool(const std::vector<std::string>& args);
    // Moves on to the program's current window when the one held is no longer viewable.
    void followWindow();
    void pointToWindow();

    XServer mServer;
    velmora::TempDir mRuntimeDir{"velmora-e2e"};
    velmora::Process mProgram;
    XWindowId mWindow = 0;
    Picture mLastGrab;
};

}

#endif
