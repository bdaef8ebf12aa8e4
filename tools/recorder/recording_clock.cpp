// Preloaded into the real program to run it on a clock of its own: the tick
// count moves a fixed step per presented pass through one or more windows, and
// leaps between them, so a run can visit any stretch of uptime (60 days take a
// few seconds). In the windows it records: every presented picture as a BMP,
// or the period of every frame each sprite shows and the memory the program
// keeps, or both. Up can be held for chosen passes. After the last window a
// quit event ends the program, which itself is unchanged. scripts/screenshot.sh
// records the README's animation with it, the soak test 60 days of uptime.
//
//   VELMORA_RECORD_PASSES   passes in each window (default 100)
//   VELMORA_RECORD_STEP     ms the clock moves per pass in a window (default 40)
//   VELMORA_RECORD_WINDOWS  NAME@TICK,...: where the windows start (default one at 0)
//   VELMORA_RECORD_LEAP     ms the clock moves per pass between windows (default 2^19)
//   VELMORA_RECORD_DIR      where the pictures go, as pass-0000.bmp, pass-0001.bmp, ...
//   VELMORA_RECORD_LOG      where the frame periods and memory go, one fact a line:
//                           "period WINDOW SPRITE FRAME MS", "rss WINDOW KIB", "end ..."
//   VELMORA_RECORD_SPRITES  how many sprites the scene draws last in a pass (default 3)
//   VELMORA_RECORD_UP       FIRST-LAST: the recorded passes during which Up is held
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "next_symbol.h"

namespace
{

typedef int (*FlipFunction)(SDL_Surface*);
typedef int (*BlitFunction)(SDL_Surface*, SDL_Rect*, SDL_Surface*, SDL_Rect*);
typedef Uint8* (*KeyStateFunction)(int*);

struct Window
{
    std::string name;
    Uint64 start;  // the tick at which it opens
};

struct Recording
{
    std::vector<Window> windows{{"all", 0}};
    long passes = 100;
    Uint64 step = 40;
    Uint64 leap = 1 << 19;
    const char* dir = NULL;
    FILE* log = NULL;
    size_t sprites = 3;
    long upFirst = -1, upLast = -1;
};

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
size_t gWindow = 0;                // the window the clock is in or moving to
long gRecorded = 0;                // passes presented in windows so far
bool gDone = false;
std::vector<SDL_Surface*> gDrawn;  // what this pass blitted onto the display
std::vector<Sprite> gSprites;

void fail(const char* what, const char* detail)
{
    fprintf(stderr, "recording_clock: %s%s\n", what, detail);
    exit(3);
}

long number(const char* name, long fallback)
{
    const char* text = getenv(name);
    if (!text || !*text)
        return fallback;
    char* end;
    long value = strtol(text, &end, 10);
    if (*end || value <= 0)
        fail("not a positive number: ", name);
    return value;
}

std::vector<Window> windows(const char* text)
{
    std::vector<Window> list;
    std::string rest = text;
    while (!rest.empty())
    {
        const std::string item = rest.substr(0, rest.find(','));
        rest.erase(0, item.size() + 1);
        const size_t at = item.find('@');
        char* end = NULL;
        const unsigned long long start =
            at == std::string::npos ? 0 : strtoull(item.c_str() + at + 1, &end, 10);
        if (at == std::string::npos || at == 0 || *end || (!list.empty() && start <= list.back().start))
            fail("VELMORA_RECORD_WINDOWS is not NAME@TICK,... in rising order: ", text);
        list.push_back({item.substr(0, at), start});
    }
    return list;
}

const Recording& recording()
{
    static Recording settings;
    static bool read = false;
    if (read)
        return settings;
    read = true;
    settings.passes = number("VELMORA_RECORD_PASSES", settings.passes);
    settings.step = (Uint64)number("VELMORA_RECORD_STEP", (long)settings.step);
    settings.leap = (Uint64)number("VELMORA_RECORD_LEAP", (long)settings.leap);
    settings.sprites = (size_t)number("VELMORA_RECORD_SPRITES", (long)settings.sprites);
    const char* list = getenv("VELMORA_RECORD_WINDOWS");
    if (list && *list)
        settings.windows = windows(list);
    const char* dir = getenv("VELMORA_RECORD_DIR");
    settings.dir = dir && *dir ? dir : NULL;
    const char* log = getenv("VELMORA_RECORD_LOG");
    if (log && *log && !(settings.log = fopen(log, "w")))
        fail("cannot write the log ", log);
    if (!settings.dir && !settings.log)
        fail("VELMORA_RECORD_DIR and VELMORA_RECORD_LOG name nothing to record to", "");
    const char* up = getenv("VELMORA_RECORD_UP");
    if (up && *up && sscanf(up, "%ld-%ld", &settings.upFirst, &settings.upLast) != 2)
        fail("VELMORA_RECORD_UP is not FIRST-LAST: ", up);
    gSprites.resize(settings.sprites);
    return settings;
}

bool inWindow(const Recording& settings, Uint64 now)
{
    if (gWindow >= settings.windows.size())
        return false;
    const Uint64 start = settings.windows[gWindow].start;
    return now >= start && now < start + settings.passes * settings.step;
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

// Logs the period of every frame that ended in a window. The sprites draw last
// in a pass, in the scene's order, after the restores.
void logFrameChanges(const Recording& settings, bool measuring)
{
    const size_t count = gSprites.size();
    if (!settings.log || count == 0 || gDrawn.size() < count)
        return;
    for (size_t slot = 0; slot < count; slot++)
    {
        Sprite& sprite = gSprites[slot];
        int frame = indexOf(sprite, gDrawn[gDrawn.size() - count + slot]);
        if (frame == sprite.frame)
            continue;
        if (measuring && sprite.changedInWindow == (int)gWindow)
            fprintf(settings.log, "period %s %zu %d %llu\n", settings.windows[gWindow].name.c_str(),
                    slot, sprite.frame, (unsigned long long)(gNow - sprite.changedAt));
        sprite.frame = frame;
        sprite.changedAt = gNow;
        sprite.changedInWindow = measuring ? (int)gWindow : -1;
    }
}

void savePicture(const Recording& settings, SDL_Surface* screen)
{
    if (!settings.dir)
        return;
    char path[4096];
    snprintf(path, sizeof path, "%s/pass-%04ld.bmp", settings.dir, gRecorded);
    if (SDL_SaveBMP(screen, path) != 0)
        fail("cannot save ", path);
}

// Moves the clock on after a pass; false once the last window is over.
bool advance(const Recording& settings)
{
    if (!inWindow(settings, gNow))
    {
        const Uint64 now = gNow, next = settings.windows[gWindow].start;
        gNow = now + settings.leap < next ? now + settings.leap : next;
        return true;
    }
    gNow += settings.step;
    if (inWindow(settings, gNow))
        return true;
    if (settings.log)
        fprintf(settings.log, "rss %s %ld\n", settings.windows[gWindow].name.c_str(), residentKiB());
    return ++gWindow < settings.windows.size();
}

}

extern "C" Uint32 SDL_GetTicks(void)
{
    return (Uint32)gNow;
}

// The program reads the keyboard once per pass, before it draws and presents.
extern "C" Uint8* SDL_GetKeyState(int* numkeys)
{
    static KeyStateFunction realKeyState =
        velmora::nextDefinition<KeyStateFunction>("SDL_GetKeyState");
    static Uint8 keys[SDLK_LAST];
    int count = 0;
    Uint8* state = realKeyState(&count);
    if (numkeys)
        *numkeys = count;
    const Recording& settings = recording();
    if (gRecorded < settings.upFirst || gRecorded > settings.upLast || count <= SDLK_UP ||
        count > SDLK_LAST)
        return state;
    memcpy(keys, state, (size_t)count);
    keys[SDLK_UP] = 1;
    return keys;
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
    static long passes = 0;
    const Recording& settings = recording();
    int result = realFlip(screen);
    if (gDone)
        return result;
    passes++;
    const bool measuring = inWindow(settings, gNow);
    logFrameChanges(settings, measuring);
    gDrawn.clear();
    if (measuring)
    {
        savePicture(settings, screen);
        gRecorded++;
    }
    if (!advance(settings))
    {
        gDone = true;
        if (settings.log)
        {
            fprintf(settings.log, "end %ld passes at %llu ms\n", passes, (unsigned long long)gNow);
            fflush(settings.log);
        }
        SDL_Event quit;
        memset(&quit, 0, sizeof quit);
        quit.type = SDL_QUIT;
        if (SDL_PushEvent(&quit) != 0)
            fail("cannot push the quit event", "");
    }
    return result;
}
