// Which SDL 1.2 library the process runs on: the classic one, or the
// compatibility layer over SDL 2 that newer systems ship in its place.
#ifndef VELMORA_BENCH_SDL_LIBRARY_H
#define VELMORA_BENCH_SDL_LIBRARY_H

#include <SDL.h>

#include <string>

struct SdlLibrary
{
    SDL_version version;  // as SDL_Linked_Version gives it
    bool compatibilityLayer;
    std::string file;  // the loaded library's file, or "" when it can't be told
};

// The layer reports versions from 1.2.50 on; the classic library ended at 1.2.15.
bool isCompatibilityLayer(const SDL_version& version);

// The library this process has loaded, not the one it was built against.
SdlLibrary linkedSdl();

// "SDL 1.2.15 (classic) from FILE" or "SDL 1.2.60 (compatibility layer over SDL 2) from FILE".
std::string describe(const SdlLibrary& library);

#endif
