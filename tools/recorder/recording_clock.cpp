// Preloaded into the real program by scripts/screenshot.sh to record it: the
// tick count becomes a clock that moves a fixed step per presented pass, every
// presented picture is saved as a BMP, Up is held for a chosen stretch of
// passes, and after the last picture a quit event ends the program. The
// program itself is unchanged; what is saved is its own display surface.
//
//   VELMORA_RECORD_DIR     where the pictures go, as pass-0000.bmp, pass-0001.bmp, ...
//   VELMORA_RECORD_PASSES  how many passes to record (default 100)
//   VELMORA_RECORD_STEP    ms the clock moves per pass (default 40, so 25 per second)
//   VELMORA_RECORD_UP      FIRST-LAST: the passes during which Up is held (default none)
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "next_symbol.h"

namespace
{

typedef int (*FlipFunction)(SDL_Surface*);
typedef Uint8* (*KeyStateFunction)(int*);

struct Recording
{
    const char* dir = NULL;
    long passes = 100;
    Uint32 step = 40;
    long upFirst = -1, upLast = -1;
};

Uint32 gNow = 0;
long gPass = 0;  // passes presented so far

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

const Recording& recording()
{
    static Recording settings;
    static bool read = false;
    if (read)
        return settings;
    read = true;
    settings.dir = getenv("VELMORA_RECORD_DIR");
    if (!settings.dir || !*settings.dir)
        fail("VELMORA_RECORD_DIR names no directory", "");
    settings.passes = number("VELMORA_RECORD_PASSES", settings.passes);
    settings.step = (Uint32)number("VELMORA_RECORD_STEP", settings.step);
    const char* up = getenv("VELMORA_RECORD_UP");
    if (up && *up && sscanf(up, "%ld-%ld", &settings.upFirst, &settings.upLast) != 2)
        fail("VELMORA_RECORD_UP is not FIRST-LAST: ", up);
    return settings;
}

}

extern "C" Uint32 SDL_GetTicks(void)
{
    return gNow;
}

// The program reads the keyboard once per pass, before it draws and presents.
extern "C" Uint8* SDL_GetKeyState(int* numkeys)
{
    static KeyStateFunction realKeyState = velmora::nextDefinition<KeyStateFunction>("SDL_GetKeyState");
    static Uint8 keys[SDLK_LAST];
    int count = 0;
    Uint8* state = realKeyState(&count);
    if (numkeys)
        *numkeys = count;
    const Recording& settings = recording();
    if (gPass < settings.upFirst || gPass > settings.upLast || count <= SDLK_UP || count > SDLK_LAST)
        return state;
    memcpy(keys, state, (size_t)count);
    keys[SDLK_UP] = 1;
    return keys;
}

extern "C" int SDL_Flip(SDL_Surface* screen)
{
    static FlipFunction realFlip = velmora::nextDefinition<FlipFunction>("SDL_Flip");
    const Recording& settings = recording();
    int result = realFlip(screen);
    if (gPass >= settings.passes)
        return result;

    char path[4096];
    snprintf(path, sizeof path, "%s/pass-%04ld.bmp", settings.dir, gPass);
    if (SDL_SaveBMP(screen, path) != 0)
        fail("cannot save ", path);
    gPass++;
    gNow += settings.step;
    if (gPass == settings.passes)
    {
        SDL_Event quit;
        memset(&quit, 0, sizeof quit);
        quit.type = SDL_QUIT;
        if (SDL_PushEvent(&quit) != 0)
            fail("cannot push the quit event", "");
    }
    return result;
}
