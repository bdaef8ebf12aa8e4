// The watchers that count frames shown on X11 (DAMAGE) and on Wayland (the
// client's logged requests).
#include "frames_shown.h"

#ifdef VELMORA_BENCH_XDAMAGE
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#endif
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>

namespace
{

const std::chrono::seconds kCountTimeout(60);

void writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size())
    {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += (size_t)n;
    }
}

}

#ifdef VELMORA_BENCH_XDAMAGE
X11FramesShown::~X11FramesShown()
{
    if (mThread.joinable())
    {
        writeAll(mWake[1], "q");
        mThread.join();
    }
    for (int fd : mWake)
        if (fd >= 0)
            close(fd);
    // The damage object goes with the connection; destroying it by name would
    // fail once the window is gone, as it is when a watched process has ended.
    if (mDisplay)
        XCloseDisplay(mDisplay);
}

int X11FramesShown::init(unsigned long window, Display* drawing)
{
    mDisplay = XOpenDisplay(nullptr);
    if (!mDisplay)
    {
        fprintf(stderr, "velmora-bench: frames shown: cannot open the X display %s\n",
                getenv("DISPLAY") ? getenv("DISPLAY") : "(no DISPLAY)");
        return -1;
    }
    int errorBase = 0;
    if (!XDamageQueryExtension(mDisplay, &mEventBase, &errorBase))
    {
        fprintf(stderr, "velmora-bench: frames shown: the X server has no DAMAGE extension\n");
        return -1;
    }
    mDrawing = drawing;
    mTally = DamageTally(window);
    mDamage = XDamageCreate(mDisplay, window, XDamageReportNonEmpty);
    XSync(mDisplay, False);
    if (pipe2(mWake, O_CLOEXEC) != 0)
    {
        perror("velmora-bench: frames shown: pipe");
        return -1;
    }
    mThread = std::thread(&X11FramesShown::watch, this);
    return 0;
}

// Waits for damage reports and for the main thread's requests to count. Only
// this thread talks to the server on mDisplay once it runs.
void X11FramesShown::watch()
{
    pollfd fds[2] = {{ConnectionNumber(mDisplay), POLLIN, 0}, {mWake[0], POLLIN, 0}};
    for (;;)
    {
        fds[0].revents = fds[1].revents = 0;
        if (XPending(mDisplay) == 0 && poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        long fences = 0;
        if (fds[1].revents & POLLIN)
        {
            char asks[64];
            ssize_t n = ::read(mWake[0], asks, sizeof asks);
            for (ssize_t i = 0; i < n; ++i)
            {
                if (asks[i] == 'q')
                    return;
                ++fences;
            }
        }
        // After a round trip every report that the server made before it is queued.
        if (fences)
            XSync(mDisplay, False);
        bool damaged = false;
        while (XPending(mDisplay))
        {
            XEvent event;
            XNextEvent(mDisplay, &event);
            if (event.type != mEventBase + XDamageNotify)
                continue;
            const XDamageNotifyEvent& d = *(XDamageNotifyEvent*)&event;
            mTally.damaged(d.drawable, d.area.width, d.area.height);
            damaged = true;
        }
        if (damaged)
        {
            XDamageSubtract(mDisplay, mDamage, 0, 0);
            XFlush(mDisplay);
        }
        mTally.endBatch();
        if (fences)
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mFencesServed += fences;
            mFramesAtFence = mTally.frames();
            mServed.notify_all();
        }
    }
}

long X11FramesShown::count()
{
    if (!mThread.joinable())
        return -1;
    if (mDrawing)
        XSync(mDrawing, False);
    std::unique_lock<std::mutex> lock(mMutex);
    long asked = ++mFencesAsked;
    writeAll(mWake[1], "f");
    if (!mServed.wait_for(lock, kCountTimeout, [&] { return mFencesServed >= asked; }))
        return -1;
    return mFramesAtFence;
}
#else
X11FramesShown::~X11FramesShown() {}

int X11FramesShown::init(unsigned long, Display*)
{
    fprintf(stderr, "velmora-bench: frames shown: built without the X DAMAGE extension "
                    "(libxdamage-dev)\n");
    return -1;
}

void X11FramesShown::watch() {}

long X11FramesShown::count()
{
    return -1;
}
#endif

WaylandFramesShown::~WaylandFramesShown()
{
    if (mSavedStderr >= 0)
    {
        // The pipe's last writer goes: the reader sees its end.
        fflush(stderr);
        dup2(mSavedStderr, 2);
    }
    if (mThread.joinable())
        mThread.join();
    if (mFd >= 0)
        close(mFd);
    if (mSavedStderr >= 0)
        close(mSavedStderr);
}

int WaylandFramesShown::initOwnLog()
{
    int ends[2];
    mSavedStderr = dup(2);
    if (mSavedStderr < 0 || pipe2(ends, O_CLOEXEC) != 0)
    {
        perror("velmora-bench: frames shown: pipe");
        return -1;
    }
    fcntl(mSavedStderr, F_SETFD, FD_CLOEXEC);
    mForward = mSavedStderr;
    setenv("WAYLAND_DEBUG", "client", 1);
    fflush(stderr);
    dup2(ends[1], 2);
    close(ends[1]);
    return start(ends[0]);
}

int WaylandFramesShown::initChildLog(int fd)
{
    mForward = 2;
    return start(fd);
}

int WaylandFramesShown::start(int fd)
{
    mFd = fd;
    mThread = std::thread(&WaylandFramesShown::read, this);
    return 0;
}

void WaylandFramesShown::read()
{
    std::string pending;
    char buffer[8192];
    for (;;)
    {
        ssize_t n = ::read(mFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, (size_t)n);
        size_t start = 0, end;
        while ((end = pending.find('\n', start)) != std::string::npos)
        {
            std::string_view line(pending.data() + start, end - start);
            std::string mark = frameMarkName(line);
            std::lock_guard<std::mutex> lock(mMutex);
            if (!mark.empty())
            {
                mAtMark[mark] = mTally.frames();
                mMarked.notify_all();
            }
            else if (!mTally.line(line))
                writeAll(mForward, std::string(line) + "\n");
            start = end + 1;
        }
        pending.erase(0, start);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mEnded = true;
    mMarked.notify_all();
}

long WaylandFramesShown::count()
{
    if (mSavedStderr < 0)
        return -1;
    std::string name = "own-" + std::to_string(++mMarks);
    fflush(stderr);
    writeAll(2, frameMarkLine(name) + "\n");
    return countAtMark(name);
}

long WaylandFramesShown::countAtMark(const std::string& name)
{
    std::unique_lock<std::mutex> lock(mMutex);
    bool seen = mMarked.wait_for(lock, kCountTimeout,
                                 [&] { return mEnded || mAtMark.count(name) > 0; });
    if (!seen || !mAtMark.count(name))
        return -1;
    return mAtMark[name];
}
