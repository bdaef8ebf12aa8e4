// The end-to-end harness: private Xvfb, the program as a child process, its
// window, input and screenshots.
#include "xsession.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// E2E_VELMORA_PROGRAM runs the tests against another build of the program,
// for example one with sanitizers.
fs::path velmoraProgram()
{
    const char* other = getenv("E2E_VELMORA_PROGRAM");
    return other && *other ? fs::path(other) : fs::path(VELMORA_PROGRAM);
}
fs::path projectData() { return VELMORA_DATA; }
// Each SDL library's run of a test keeps its screenshots apart (VELMORA_SDL names it).
fs::path artifactDir()
{
    const char* library = getenv("VELMORA_SDL");
    fs::path dir = E2E_ARTIFACT_DIR;
    return library && *library ? dir / library : dir;
}

bool pollUntil(const std::function<bool()>& condition, Seconds timeout)
{
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    for (;;)
    {
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

namespace
{

// Xlib must not end the test process when a window goes away between two
// requests about it, nor a write to a server that has gone with SIGPIPE.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

std::string found(const std::string& program)
{
    const std::string path = velmora::findInPath(program);
    if (path.empty())
        throw std::runtime_error(program + " is not installed (not found in PATH)");
    return path;
}

}

XServer::XServer()
{
    XSetErrorHandler(ignoreXError);
    signal(SIGPIPE, SIG_IGN);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(strerror(errno)));
    velmora::Command xvfb{{found("Xvfb"), "-displayfd", std::to_string(fds[1]), "-screen", "0",
                           "1280x1024x24", "-nolisten", "tcp"}};
    xvfb.in.kind = xvfb.out.kind = xvfb.err.kind = velmora::Stream::Null;
    xvfb.keepFds = {fds[1]};
    // The server goes when the test process goes, even if it crashes.
    xvfb.parentDeathSignal = SIGTERM;
    const bool started = mXvfb.start(xvfb);
    close(fds[1]);
    if (!started)
    {
        close(fds[0]);
        throw std::runtime_error(mXvfb.error());
    }

    // Xvfb writes the display number it took once it accepts connections.
    std::string number;
    bool complete = false;
    pollUntil(
        [&] {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                return false;
            char buffer[32];
            ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                return true;  // the server ended without a display
            number.append(buffer, n);
            complete = number.find('\n') != std::string::npos;
            return complete;
        },
        kStartTimeout);
    close(fds[0]);
    if (!complete)
        throw std::runtime_error("Xvfb did not start (it reported no display number)");
    mDisplayName = ":" + number.substr(0, number.find('\n'));

    pollUntil([&] { return (mConnection = XOpenDisplay(mDisplayName.c_str())) != nullptr; },
              kStartTimeout);
    if (!mConnection)
    {
        mXvfb.stop(SIGTERM, Seconds(5));
        throw std::runtime_error("can't connect to Xvfb on " + mDisplayName);
    }
}

XServer::~XServer()
{
    // Close our connection first: Xlib ends a process whose server goes away.
    if (mConnection)
        XCloseDisplay(mConnection);
    mXvfb.stop(SIGTERM, Seconds(10));
}

namespace
{

EnvChanges programEnvironment(const std::string& display, const fs::path& runtimeDir,
                              const EnvChanges& changes)
{
    // A desktop session gives every program a private XDG_RUNTIME_DIR; SDL 3
    // looks for a Wayland compositor there before it tries X11, and the Wayland
    // library complains on standard error when the variable is missing.
    EnvChanges env{{"DISPLAY", display},
                   {"XDG_RUNTIME_DIR", runtimeDir.string()},
                   {"WAYLAND_DISPLAY", std::nullopt},
                   {"SDL_AUDIODRIVER", std::string("dummy")},
                   {"SDL_VIDEODRIVER", std::nullopt}};
    for (const auto& [name, value] : changes)
        env[name] = value;
    return env;
}

}

Session::Session(const fs::path& workdir, const RunOptions& options)
{
    velmora::Command command;
    command.argv = {(options.program.empty() ? velmoraProgram() : options.program).string()};
    command.argv.insert(command.argv.end(), options.args.begin(), options.args.end());
    command.env = programEnvironment(mServer.display(), mRuntimeDir.path(), options.env);
    command.dir = workdir.string();
    command.in = {velmora::Stream::Text, options.input};
    command.out.kind = command.err.kind = velmora::Stream::Collect;
    command.ownGroup = true;
    command.parentDeathSignal = SIGKILL;
    if (!mProgram.start(command))
        throw std::runtime_error(mProgram.error());
}

Session::~Session() = default;

std::vector<XWindowId> Session::programWindows() const
{
    Display* dpy = mServer.connection();
    std::vector<XWindowId> found;
    Window root, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i)
    {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(dpy, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        XClassHint hint{};
        if (!XGetClassHint(dpy, children[i], &hint))
            continue;
        bool ours = (hint.res_class && std::strcmp(hint.res_class, "velmora") == 0) ||
                    (hint.res_name && std::strcmp(hint.res_name, "velmora") == 0);
        if (hint.res_class)
            XFree(hint.res_class);
        if (hint.res_name)
            XFree(hint.res_name);
        if (ours)
            found.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

namespace
{

bool viewable(Display* dpy, XWindowId window)
{
    XWindowAttributes attributes;
    return window && XGetWindowAttributes(dpy, window, &attributes) &&
           attributes.map_state == IsViewable;
}

}

namespace
{

// A text property of `window`, as its bytes; "" when it is not set.
std::string textProperty(Display* dpy, XWindowId window, const char* name)
{
    XTextProperty text{};
    Atom atom = XInternAtom(dpy, name, False);
    if (!XGetTextProperty(dpy, window, &text, atom) || !text.value)
        return "";
    std::string value(reinterpret_cast<const char*>(text.value), text.nitems);
    XFree(text.value);
    return value;
}

}

Session::Names Session::names()
{
    Display* dpy = mServer.connection();
    XWindowId w = window();
    Names names;
    names.title = textProperty(dpy, w, "WM_NAME");
    names.netTitle = textProperty(dpy, w, "_NET_WM_NAME");
    names.iconName = textProperty(dpy, w, "WM_ICON_NAME");
    XClassHint hint{};
    if (XGetClassHint(dpy, w, &hint))
    {
        names.instance = hint.res_name ? hint.res_name : "";
        names.className = hint.res_class ? hint.res_class : "";
        if (hint.res_class)
            XFree(hint.res_class);
        if (hint.res_name)
            XFree(hint.res_name);
    }
    return names;
}

void Session::followWindow()
{
    if (!mWindow || viewable(mServer.connection(), mWindow))
        return;
    // Between the two windows there may be none: keep the old one until the next is up.
    std::vector<XWindowId> windows = programWindows();
    if (windows.empty())
        return;
    mWindow = windows.front();
    pointToWindow();
}

XWindowId Session::window()
{
    followWindow();
    return mWindow;
}

// With no window manager the keyboard follows the pointer: keep it over the window.
void Session::pointToWindow()
{
    Display* dpy = mServer.connection();
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, mWindow, &attributes))
        return;
    XWarpPointer(dpy, 0, mWindow, 0, 0, 0, 0, attributes.width / 2, attributes.height / 2);
    XSync(dpy, False);
}

testing::AssertionResult Session::waitForWindow(Seconds timeout)
{
    bool found = pollUntil(
        [&] {
            std::vector<XWindowId> windows = programWindows();
            if (!windows.empty())
                mWindow = windows.front();
            return mWindow != 0 || !mProgram.running();
        },
        timeout);
    if (!found || mWindow == 0)
    {
        testing::AssertionResult failure = testing::AssertionFailure();
        failure << "no velmora window appeared";
        if (!mProgram.running())
            failure << "; the program " << mProgram.wait();
        return failure;
    }
    pointToWindow();
    return testing::AssertionSuccess();
}

Session::Geometry Session::geometry()
{
    followWindow();
    Geometry g;
    XWindowAttributes attributes;
    if (mWindow && XGetWindowAttributes(mServer.connection(), mWindow, &attributes))
    {
        g.x = attributes.x;
        g.y = attributes.y;
        g.width = attributes.width;
        g.height = attributes.height;
        g.viewable = attributes.map_state == IsViewable;
    }
    return g;
}

namespace
{

int lowestBit(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1))
    {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// One colour channel of an X pixel, scaled to 8 bits.
std::uint8_t channel(unsigned long pixel, unsigned long mask)
{
    if (!mask)
        return 0;
    int shift = lowestBit(mask);
    unsigned long max = mask >> shift;
    unsigned long value = (pixel & mask) >> shift;
    return std::uint8_t(value * 255 / max);
}

}

Picture Session::grab(int x, int y, int w, int h)
{
    followWindow();
    if (!mWindow || w <= 0 || h <= 0)
        return {};
    XImage* image = XGetImage(mServer.connection(), mWindow, x, y, (unsigned)w, (unsigned)h,
                              AllPlanes, ZPixmap);
    if (!image)
        return {};
    Picture picture(w, h);
    const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                        image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                        image->byte_order == LSBFirst;
    for (int yy = 0; yy < h; ++yy)
    {
        const std::uint32_t* row =
            (const std::uint32_t*)(image->data + (size_t)yy * image->bytes_per_line);
        for (int xx = 0; xx < w; ++xx)
        {
            unsigned long p = direct ? row[xx] : XGetPixel(image, xx, yy);
            picture.set(xx, yy,
                        Rgb{channel(p, image->red_mask), channel(p, image->green_mask),
                            channel(p, image->blue_mask)});
        }
    }
    XDestroyImage(image);
    return picture;
}

Picture Session::grab()
{
    Geometry g = geometry();
    Picture picture = grab(0, 0, g.width, g.height);
    if (!picture.empty())
        mLastGrab = picture;
    return picture;
}

testing::AssertionResult Session::waitForPicture(
    const std::function<bool(const Picture&)>& condition, Seconds timeout)
{
    bool ended = false;
    bool held = pollUntil(
        [&] {
            Picture shot = grab();
            if (!shot.empty() && condition(shot))
                return true;
            ended = !mProgram.running();
            return ended;
        },
        timeout);
    if (held && !ended)
        return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    if (ended)
        failure << "before the window showed it, the program " << mProgram.wait();
    else
        failure << "the window did not show it within " << timeout.count() << " s";
    return failure;
}

testing::AssertionResult Session::waitForScene(const ExpectedPicture& expected, Seconds timeout)
{
    testing::AssertionResult shown = waitForPicture(
        [&](const Picture& shot) { return expected.mismatches(shot) == 0; }, timeout);
    if (shown)
        return shown;
    if (mLastGrab.empty())
        return shown;
    return testing::AssertionFailure() << shown.message() << "\nlast screenshot: "
                                       << expected.matches(mLastGrab).message();
}

void Session::xdotool(const std::vector<std::string>& args)
{
    followWindow();
    static const std::string program = found("xdotool");
    velmora::Command tool{{program}};
    tool.argv.insert(tool.argv.end(), args.begin(), args.end());
    tool.env = {{"DISPLAY", mServer.display()}};
    tool.err.kind = velmora::Stream::Collect;
    const Outcome result = velmora::run(tool, kExitTimeout);
    if (!result.succeeded())
    {
        std::ostringstream message;
        message << "xdotool";
        for (const std::string& a : args)
            message << " " << a;
        message << " " << result;
        throw std::runtime_error(message.str());
    }
}

void Session::key(const std::string& keysym) { xdotool({"key", keysym}); }
void Session::keyDown(const std::string& keysym) { xdotool({"keydown", keysym}); }
void Session::keyUp(const std::string& keysym) { xdotool({"keyup", keysym}); }
void Session::click(int button) { xdotool({"click", std::to_string(button)}); }

void Session::closeWindow()
{
    followWindow();
    Display* dpy = mServer.connection();
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = mWindow;
    event.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, mWindow, False, NoEventMask, &event);
    XSync(dpy, False);
}

void Session::movePointer(int x, int y)
{
    Display* dpy = mServer.connection();
    Geometry g = geometry();
    XWarpPointer(dpy, 0, DefaultRootWindow(dpy), 0, 0, 0, 0, g.x + x, g.y + y);
    XSync(dpy, False);
}

bool Session::cursorVisible() const
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(mServer.connection());
    if (!cursor)
        return false;
    bool visible = false;
    for (int i = 0; i < cursor->width * cursor->height && !visible; ++i)
        visible = (cursor->pixels[i] >> 24) != 0;
    XFree(cursor);
    return visible;
}

fs::path Session::saveLastGrab(const std::string& name) const
{
    if (mLastGrab.empty())
        return {};
    std::error_code ignored;
    fs::create_directories(artifactDir(), ignored);
    return mLastGrab.savePng(artifactDir() / (name + ".png"));
}

}
