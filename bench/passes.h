// The work that velmora-bench times: one pass of each drawing strategy, written
// once for the rated run and once, through the same template, with a clock read
// between its phases.
#ifndef VELMORA_BENCH_PASSES_H
#define VELMORA_BENCH_PASSES_H

#include <SDL.h>
#include <string.h>

#include <chrono>
#include <vector>

#include "velmora.h"

using Clock = std::chrono::steady_clock;

// Time spent in each phase of the passes of one run, in seconds.
struct Phases
{
    double restore = 0;
    double save = 0;
    double draw = 0;
    double present = 0;

    double total() const { return restore + save + draw + present; }
};

// Phase boundaries of a pass. The rated run uses NoMarks, which compiles to
// nothing; the instrumented run reads the clock at every boundary.
struct NoMarks
{
    void start() {}
    void end(double&) {}
};

struct PhaseMarks
{
    Clock::time_point last;
    void start() { last = Clock::now(); }
    void end(double& slot)
    {
        Clock::time_point now = Clock::now();
        slot += std::chrono::duration<double>(now - last).count();
        last = now;
    }
};

// The restore, save and draw phases of a demo scene pass, as drawScene runs them.
template <class Marks> void sceneDrawPhases(Marks& marks, Phases& ph)
{
    marks.start();
    sun.clearBG();
    vikings1.clearBG();
    vikings2.clearBG();
    marks.end(ph.restore);
    sun.updateBG();
    vikings1.updateBG();
    vikings2.updateBG();
    marks.end(ph.save);
    sun.draw();
    vikings1.draw();
    vikings2.draw();
    marks.end(ph.draw);
}

// One pass of the demo scene with its phases marked: the same calls as drawScene.
template <class Marks> void scenePass(Marks& marks, Phases& ph)
{
    sceneDrawPhases(marks, ph);
    SDL_Flip(screen);
    marks.end(ph.present);
}

// A demo scene pass that presents only the rectangles the engine reports changed,
// through the engine's own present (the whole screen on the compatibility layer).
// Gathering them counts as presenting.
template <class Marks> void sceneChangedRectsPass(CRectList& changed, Marks& marks, Phases& ph)
{
    sceneDrawPhases(marks, ph);
    changed.clear();
    changed.addSprite(&sun);
    changed.addSprite(&vikings1);
    changed.addSprite(&vikings2);
    changed.present(screen);
    marks.end(ph.present);
}

// The draw and present phases that every pass through the engine ends with.
template <class Marks>
void drawAndPresent(std::vector<CSprite>& sprites, SDL_Surface* display, Marks& marks, Phases& ph)
{
    for (CSprite& s : sprites)
        s.draw();
    marks.end(ph.draw);
    if (display)
        SDL_Flip(display);
    marks.end(ph.present);
}

// Dirty rectangles through the engine: every sprite restores, then every sprite
// saves, then every sprite draws. `display` is null for an off-screen target.
template <class Marks>
void dirtyPass(std::vector<CSprite>& sprites, SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    for (CSprite& s : sprites)
        s.clearBG();
    marks.end(ph.restore);
    for (CSprite& s : sprites)
        s.updateBG();
    marks.end(ph.save);
    drawAndPresent(sprites, display, marks, ph);
}

// Full redraw through the engine: the whole background, then every sprite's frame.
// Its background blit is counted as restoring, since that is what it replaces.
template <class Marks>
void fullPass(std::vector<CSprite>& sprites, SDL_Surface* background, SDL_Surface* target,
              SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    drawBG(background, target);
    marks.end(ph.restore);
    drawAndPresent(sprites, display, marks, ph);
}

// A sprite for the floor: the same surfaces and the same animation rule as the
// engine's, kept in the open and drawn with bare SDL calls.
struct BareSprite
{
    const CSpriteBase* base;
    const CSpriteFrame* frames;  // the set's table, or an encoded copy of it
    SDL_Surface* buffer;
    int x, y;
    int frame;
    Uint32 lastUpdate;
    float speed;
    bool drawn;
};

// The floor: the nine blits of a pass and the flip as bare SDL calls, with one
// tick read per pass for the animation.
template <class Marks>
void floorPass(std::vector<BareSprite>& sprites, SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    for (BareSprite& s : sprites)
    {
        if (!s.drawn)
            continue;
        SDL_Rect dest = {(Sint16)s.x, (Sint16)s.y, 0, 0};
        SDL_BlitSurface(s.buffer, nullptr, display, &dest);
    }
    marks.end(ph.restore);
    for (BareSprite& s : sprites)
    {
        SDL_Rect src = {(Sint16)s.x, (Sint16)s.y, (Uint16)s.base->mW, (Uint16)s.base->mH};
        SDL_BlitSurface(display, &src, s.buffer, nullptr);
    }
    marks.end(ph.save);
    Uint32 now = SDL_GetTicks();
    for (BareSprite& s : sprites)
    {
        const CSpriteFrame& frame = s.frames[s.frame];
        if (s.base->mNumFrames > 1 && now > s.lastUpdate + frame.pause * s.speed)
        {
            s.frame = (s.frame + 1) % s.base->mNumFrames;
            s.lastUpdate = now;
        }
        s.drawn = true;
        SDL_Rect dest = {(Sint16)s.x, (Sint16)s.y, 0, 0};
        SDL_BlitSurface(s.frames[s.frame].image, nullptr, display, &dest);
    }
    marks.end(ph.draw);
    SDL_Flip(display);
    marks.end(ph.present);
}

// The memory floor: memcpy of the bytes that the blits of a pass move, blit by
// blit, through a pool that is cycled so that large passes stream from memory
// as their blits do.
class MemoryFloor
{
public:
    void setPool(size_t bytes) { mPool.assign(bytes, 1); }

    void run(const std::vector<size_t>& blits, int passes)
    {
        size_t half = mPool.size() / 2;
        unsigned char* src = mPool.data();
        unsigned char* dst = mPool.data() + half;
        size_t offset = 0;
        for (int p = 0; p < passes; ++p)
            for (size_t bytes : blits)
            {
                if (offset + bytes > half)
                    offset = 0;
                memcpy(dst + offset, src + offset, bytes);
                offset += bytes;
            }
    }

private:
    std::vector<unsigned char> mPool;
};

#endif
