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
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "picture.h"

// Xlib's types, without pulling its macros (None, Status, Bool...) into tests.
typedef struct _XDisplay Display;
typedef unsigned long XWindowId;

namespace e2e
{

using Seconds = std::chrono::duration<double>;

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

// The executable `name` in one of PATH's directories; throws std::runtime_error
// when there is none.
std::filesystem::path findInPath(const std::string& name);

// A temporary directory, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

// A private X server: Xvfb picks a free display number itself (-displayfd), so
// tests running in parallel never race for one. Killed by its pid at the end.
class XServer
{
public:
    XServer();  // throws std::runtime_error when Xvfb does not come up
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& display() const { return mDisplayName; }
    Display* connection() const { return mConnection; }
    pid_t pid() const { return mPid; }

private:
    pid_t mPid = -1;
    std::string mDisplayName;
    Display* mConnection = nullptr;
};

// How a program run ended.
struct ExitResult
{
    bool exited = false;    // ended by itself with a status
    int status = -1;        // its exit status when it did
    int signal = 0;         // the signal that killed it, if one did
    bool timedOut = false;  // it had to be killed because it did not end in time
};
std::ostream& operator<<(std::ostream& os, const ExitResult& r);

// Environment changes for a program: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// A child process with its standard output and error collected through pipes.
// It runs in a process group of its own, and is killed with it if it outlives
// the object.
class Process
{
public:
    Process(const std::filesystem::path& program, const std::vector<std::string>& args,
            const std::filesystem::path& workdir, const EnvChanges& env,
            const std::string& input = "");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return mPid; }
    // True until the process has ended (it is reaped here when it has).
    bool running();
    // Waits for the end; kills the process when it is not over in time.
    ExitResult wait(Seconds timeout = kExitTimeout);
    // What it has written so far; complete once wait() returned.
    std::string out() const;
    std::string err() const;

private:
    void readPipes(int outFd, int errFd);
    void reap(int status);

    pid_t mPid = -1;
    std::optional<ExitResult> mResult;
    std::thread mReader;
    mutable std::mutex mMutex;
    std::string mOut;
    std::string mErr;
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
    Process& program() { return mProgram; }

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
    TempDir mRuntimeDir;
    Process mProgram;
    XWindowId mWindow = 0;
    Picture mLastGrab;
};

}

#endif
