// Frames shown: what reaches the display server while the bench draws, counted
// from the server's side of the connection rather than from the passes. See
// frame_tally.h for what one frame is on each display system.
#ifndef VELMORA_BENCH_FRAMES_SHOWN_H
#define VELMORA_BENCH_FRAMES_SHOWN_H

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "frame_tally.h"

typedef struct _XDisplay Display;

// A count of the frames shown by one window or one client, read between runs.
class FramesShown
{
public:
    virtual ~FramesShown() {}
    // The frames counted so far, once everything this process drew before the
    // call has been seen; -1 when the count is lost.
    virtual long count() = 0;
};

// X11: a second client of the X server in $DISPLAY that selects damage on the
// window and counts batches of it (DamageTally) on a thread of its own.
class X11FramesShown : public FramesShown
{
public:
    X11FramesShown() {}
    ~X11FramesShown() override;
    X11FramesShown(const X11FramesShown&) = delete;
    X11FramesShown& operator=(const X11FramesShown&) = delete;

    // Watches `window`. `drawing` is the drawing client's own connection when it
    // is this process's, synced before each count; null for another process's
    // window, whose presents wait for the server themselves. 0 when watching,
    // -1 with a message on stderr when the server has no DAMAGE extension.
    int init(unsigned long window, Display* drawing);
    long count() override;

private:
    void watch();

    Display* mDisplay = nullptr;
    Display* mDrawing = nullptr;
    unsigned long mDamage = 0;
    int mEventBase = 0;
    int mWake[2] = {-1, -1};
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mServed;
    DamageTally mTally;
    long mFencesAsked = 0;
    long mFencesServed = 0;
    long mFramesAtFence = 0;
};

// Wayland: the requests that libwayland-client logs with WAYLAND_DEBUG=client,
// read from a pipe on a thread of their own and counted with a CommitTally.
// Lines that are not logged requests or marks go on to `forward`.
class WaylandFramesShown : public FramesShown
{
public:
    WaylandFramesShown() {}
    ~WaylandFramesShown() override;
    WaylandFramesShown(const WaylandFramesShown&) = delete;
    WaylandFramesShown& operator=(const WaylandFramesShown&) = delete;

    // Reads this process's own standard error: sets WAYLAND_DEBUG=client (before
    // the display is opened) and puts a pipe in place of descriptor 2. 0 on success.
    int initOwnLog();
    // Reads another process's log from `fd` (the read end of its stderr pipe),
    // which this object closes.
    int initChildLog(int fd);
    // Writes a mark into this process's log and counts up to it.
    long count() override;
    // The count at the mark `name`, once its line has been read; -1 when the
    // log ended without it or after 60 seconds.
    long countAtMark(const std::string& name);

private:
    int start(int fd);
    void read();

    int mFd = -1;
    int mForward = -1;
    int mSavedStderr = -1;
    long mMarks = 0;
    bool mEnded = false;
    std::thread mThread;
    std::mutex mMutex;
    std::condition_variable mMarked;
    std::map<std::string, long> mAtMark;
    CommitTally mTally;
};

#endif
