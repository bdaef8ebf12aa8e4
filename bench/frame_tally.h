// Turning what the display server received into frames shown. The bench's
// watchers (frames_shown.h) feed these tallies; they hold no connection of their
// own, so that the rules can be tried on made-up event sequences.
#ifndef VELMORA_BENCH_FRAME_TALLY_H
#define VELMORA_BENCH_FRAME_TALLY_H

#include <map>
#include <set>
#include <string>
#include <string_view>

// X11: the damage that a second client sees on the program's window. The
// watcher reads the damage reports that have arrived, then subtracts the
// window's damage and ends the batch; a batch with damage on the window is one
// frame shown. A present of several rectangles (SDL_UpdateRects) is several
// drawing requests but, as they come in one go, one batch; two presents that
// reach the server before the watcher's subtract merge into one frame, as they
// would for a compositor that repaints on damage.
class DamageTally
{
public:
    explicit DamageTally(unsigned long window = 0) : mWindow(window) {}

    // A damage report on `drawable` covering a width x height area.
    void damaged(unsigned long drawable, int width, int height);
    // The watcher has subtracted the damage: what came since is one frame, if anything.
    void endBatch();

    long frames() const { return mFrames; }
    long reports() const { return mReports; }

private:
    unsigned long mWindow;
    bool mDamaged = false;
    long mFrames = 0;
    long mReports = 0;
};

// Wayland: the requests a client sends, as libwayland-client logs them with
// WAYLAND_DEBUG=client ("[1234.567]  -> wl_surface@7.commit()"; newer versions
// write wl_surface#7 and may name the event queue first). A commit of a surface
// with a buffer attached since its previous commit is one frame shown; a commit
// that attaches nothing (state only) or detaches the buffer (attach(nil, ...))
// shows no new frame. The log's other lines (events) are read and left; lines
// that are not the log's (other libraries' messages) are not the tally's.
class CommitTally
{
public:
    // One line of standard error; false when it was not a line of the log.
    bool line(std::string_view text);

    long frames() const { return mFrames; }
    long commits() const { return mCommits; }

private:
    std::set<std::string> mAttached;  // surfaces with a new buffer not yet committed
    long mFrames = 0;
    long mCommits = 0;
};

// The marks that a process writes into its own log, on standard error, where
// the requests are logged too: "velmora-bench: mark NAME". What the tally has
// counted when a mark's line arrives is its count at that mark.
std::string frameMarkLine(const std::string& name);
// The mark's name, when `text` is a mark's line; empty otherwise.
std::string frameMarkName(std::string_view text);

#endif
