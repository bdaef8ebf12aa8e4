// Preloaded into the real program by velmora-bench to time its start-up: records
// when the library is loaded, when SDL_Init returns, when the video mode is set and
// when the first frame has been presented, writes the four CLOCK_MONOTONIC times to
// the file named by VELMORA_FIRST_FRAME_OUT and ends the process, since nothing
// after that is timed.
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "next_symbol.h"

namespace
{

long long nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

long long loadedNs;
long long initNs;
long long modeNs;

__attribute__((constructor)) void markLoaded()
{
    loadedNs = nowNs();
}

}

extern "C" int SDL_Init(Uint32 flags)
{
    typedef int (*Init)(Uint32);
    static Init real = velmora::nextDefinition<Init>("SDL_Init");
    int result = real(flags);
    initNs = nowNs();
    return result;
}

extern "C" SDL_Surface* SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    typedef SDL_Surface* (*SetVideoMode)(int, int, int, Uint32);
    static SetVideoMode real = velmora::nextDefinition<SetVideoMode>("SDL_SetVideoMode");
    SDL_Surface* surface = real(width, height, bpp, flags);
    modeNs = nowNs();
    return surface;
}

extern "C" int SDL_Flip(SDL_Surface* surface)
{
    typedef int (*Flip)(SDL_Surface*);
    static Flip real = velmora::nextDefinition<Flip>("SDL_Flip");
    int result = real(surface);
    long long presentedNs = nowNs();

    const char* out = getenv("VELMORA_FIRST_FRAME_OUT");
    FILE* fp = out ? fopen(out, "w") : NULL;
    if (!fp)
        _exit(4);
    fprintf(fp, "%lld %lld %lld %lld\n", loadedNs, initNs, modeNs, presentedNs);
    fclose(fp);
    // The frame is on screen: the start-up is over and the rest is not measured.
    _exit(0);
    return result;
}
