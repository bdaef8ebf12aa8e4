// Preloaded into the real program for the soak run: replaces SDL's tick count
// with a clock that moves a millisecond per presented pass in a few windows
// (the start, 2^24 ms, 2^31 ms, the wrap at 2^32 ms, day 60) and leaps between
// them, so 60 days of uptime take a few seconds. It watches which frame image
// each sprite draws, writes every frame period measured inside a window and
// the resident memory after each window to VELMORA_SOAK_LOG, and ends the run
// with a quit event after the last window. The program itself is unchanged.
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "next_symbol.h"

namespace
{

typedef int (*FlipFunction)(SDL_Surface*);
typedef int (*BlitFunction)(SDL_Surface*, SDL_Rect*, SDL_Surface*, SDL_Rect*);

struct Window
{
    const char* name;
    Uint64 start;  // the simulated tick at which the window opens
};

const Uint64 kWindowLength = 3000;   // ms, at one millisecond per pass
const Uint64 kLeap = 1 << 19;        // ms per pass between windows (about 8.7 min)
const Window kWindows[] = {
    {"start", 0},
    {"2^24", (1ull << 24) - kWindowLength / 2},
    {"2^31", (1ull << 31) - kWindowLength / 2},
    {"2^32", (1ull << 32) - kWindowLength / 2},
    {"day60", 60ull * 24 * 3600 * 1000 - kWindowLength / 2},
};
const int kWindowCount = sizeof(kWindows) / sizeof(kWindows[0]);

// A sprite as seen from outside: the frame images it has drawn, in the order
// they first appeared (so their index is the frame number), and its last change.
struct Sprite
{
    std::vector<SDL_Surface*> frames;
    int frame = -1;
    Uint64 changedAt = 0;
    int changedInWindow = -1;
};

std::atomic<Uint64> gNow{0};
int gWindow = 0;                   // the window the clock is in or moving to
std::vector<SDL_Surface*> gDrawn;  // what this pass blitted onto the display
std::vector<Sprite> gSprites;
FILE* gLog = NULL;

void fail(const char* what)
{
    fprintf(stderr, "fast_clock: %s\n", what);
    abort();
}

bool inWindow(Uint64 now)
{
    return gWindow < kWindowCount && now >= kWindows[gWindow].start &&
           now < kWindows[gWindow].start + kWindowLength;
}

long residentKiB()
{
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    if (fscanf(statm, "%ld %ld", &pages, &resident) != 2)
        resident = -1;
    fclose(statm);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int indexOf(Sprite& sprite, SDL_Surface* image)
{
    for (size_t i = 0; i < sprite.frames.size(); i++)
        if (sprite.frames[i] == image)
            return (int)i;
    sprite.frames.push_back(image);
    return (int)sprite.frames.size() - 1;
}

// The sprites draw last in a pass, in the scene's order, after the restores.
void recordPass(Uint64 now)
{
    size_t count = gSprites.size();
    if (count == 0 || gDrawn.size() < count)
        return;
    const bool measuring = inWindow(now);
    for (size_t slot = 0; slot < count; slot++)
    {
        Sprite& sprite = gSprites[slot];
        int frame = indexOf(sprite, gDrawn[gDrawn.size() - count + slot]);
        if (frame == sprite.frame)
            continue;
        if (measuring && sprite.changedInWindow == gWindow)
            fprintf(gLog, "period %s %zu %d %llu\n", kWindows[gWindow].name, slot, sprite.frame,
                    (unsigned long long)(now - sprite.changedAt));
        sprite.frame = frame;
        sprite.changedAt = now;
        sprite.changedInWindow = measuring ? gWindow : -1;
    }
}

// Moves the clock on after a pass; false once the last window is over.
bool advance()
{
    Uint64 now = gNow.load();
    if (inWindow(now))
    {
        now++;
        if (!inWindow(now))
        {
            fprintf(gLog, "rss %s %ld\n", kWindows[gWindow].name, residentKiB());
            gWindow++;
            if (gWindow == kWindowCount)
                return false;
        }
    }
    else
    {
        Uint64 next = kWindows[gWindow].start;
        now = now + kLeap < next ? now + kLeap : next;
    }
    gNow.store(now);
    return true;
}

}

extern "C" Uint32 SDL_GetTicks(void)
{
    return (Uint32)gNow.load();
}

extern "C" int SDL_UpperBlit(SDL_Surface* src, SDL_Rect* srcrect, SDL_Surface* dst,
                             SDL_Rect* dstrect)
{
    static BlitFunction realBlit = velmora::nextDefinition<BlitFunction>("SDL_UpperBlit");
    if (dst && dst == SDL_GetVideoSurface() && src != dst)
        gDrawn.push_back(src);
    return realBlit(src, srcrect, dst, dstrect);
}

extern "C" int SDL_Flip(SDL_Surface* screen)
{
    static FlipFunction realFlip = velmora::nextDefinition<FlipFunction>("SDL_Flip");
    static bool done = false;
    static long passes = 0;
    if (!gLog)
    {
        const char* path = getenv("VELMORA_SOAK_LOG");
        gLog = path ? fopen(path, "w") : NULL;
        if (!gLog)
            fail("VELMORA_SOAK_LOG names no file that can be written");
        const char* sprites = getenv("VELMORA_SOAK_SPRITES");
        gSprites.resize(sprites ? atoi(sprites) : 3);
    }

    int result = realFlip(screen);
    if (done)
        return result;
    passes++;
    recordPass(gNow.load());
    gDrawn.clear();
    if (!advance())
    {
        done = true;
        fprintf(gLog, "end %ld passes at %llu ms\n", passes, (unsigned long long)gNow.load());
        fflush(gLog);
        SDL_Event quit;
        quit.type = SDL_QUIT;
        if (SDL_PushEvent(&quit) != 0)
            fail("could not push the quit event");
    }
    return result;
}
