// Which SDL 1.2 library the process runs on: the classic one, or the
// compatibility layer that newer systems ship in its place, and what the layer
// runs on: SDL 2, which may itself be the sdl2-compat layer over SDL 3.
#ifndef VELMORA_BENCH_SDL_LIBRARY_H
#define VELMORA_BENCH_SDL_LIBRARY_H

#include <SDL.h>

#include <string>

// A library the process has loaded: its version and file, or not loaded.
struct LoadedLibrary
{
    bool loaded = false;
    int major = 0, minor = 0, patch = 0;
    std::string file;  // "" when it can't be told
};

struct SdlLibrary
{
    SDL_version version;  // as SDL_Linked_Version gives it
    bool compatibilityLayer;
    std::string file;  // the loaded library's file, or "" when it can't be told
    LoadedLibrary sdl2;  // what the layer runs on, once SDL is initialised
    LoadedLibrary sdl3;  // loaded when SDL 2 is sdl2-compat over SDL 3
};

// The layer reports versions from 1.2.50 on; the classic library ended at 1.2.15.
bool isCompatibilityLayer(const SDL_version& version);

// The libraries this process has loaded, not the ones it was built against.
// The layer loads SDL 2 when it starts, so call this after SDL_Init to see it.
SdlLibrary linkedSdl();

// "SDL 1.2.15 (classic) from FILE", or for the layer the whole stack:
// "SDL 1.2.78 (compatibility layer) from FILE, over SDL 2.32.74 (sdl2-compat)
// from FILE, over SDL 3.4.18 from FILE".
std::string describe(const SdlLibrary& library);

#endif
