// A libFuzzer target for the sprite-set loader. Each input becomes a scratch set's
// info file (or, built with VELMORA_FUZZ_FRAME, one of its frame images), is loaded
// with the engine's own CSpriteBase::init, and then drives two sprites on a dummy
// 1024 x 768 x 32 display through restore/save/draw passes at moving places,
// including places partly or wholly off the display and beyond 16 bits.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "next_symbol.h"
#include "sprite.h"
#include "temp_dir.h"

namespace
{

std::string gDir;
SDL_Surface* gScreen;
bool gRecording;
std::vector<SDL_Surface*> gMade;

bool writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* fp = fopen(path.c_str(), "wb");
    if (!fp)
        return false;
    bool ok = fwrite(data, 1, size, fp) == size;
    return fclose(fp) == 0 && ok;
}

// A frame image beside the info file, in a format of its own: the corpus names
// these files, so fuzzed info files reach real images of different sizes.
void saveFrame(const char* name, int w, int h, int depth)
{
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, depth, 0, 0, 0, 0);
    if (!s)
        abort();
    SDL_FillRect(s, NULL, SDL_MapRGB(s->format, 255, 0, 255));
    SDL_Rect inner = {2, 1, (Uint16)(w - 4), (Uint16)(h - 2)};
    SDL_FillRect(s, &inner, SDL_MapRGB(s->format, 40, 160, 90));
    if (SDL_SaveBMP(s, (gDir + "/" + name).c_str()) != 0)
        abort();
    SDL_FreeSurface(s);
}

void pass(CSprite* sprites, int count)
{
    for (int i = 0; i < count; i++)
        sprites[i].clearBG();
    for (int i = 0; i < count; i++)
        sprites[i].updateBG();
    for (int i = 0; i < count; i++)
        sprites[i].draw();
}

}

// sprite.cpp is built for this target with calloc renamed to this function: a
// frame table of more than 16 MiB is refused, as on a machine without that much
// memory to spare, so the engine's handling of a table it can't allocate is fuzzed
// too, and a header like "FILES: 99999999" doesn't make every run commit gigabytes
// of sanitizer bookkeeping.
extern "C" void* velmoraFuzzCalloc(size_t count, size_t size)
{
    const size_t kLimit = 16u << 20;
    if (count != 0 && size > kLimit / count)
        return NULL;
    return calloc(count, size);
}

// Every surface the engine converts during one input is recorded, so that the
// frames and buffers it keeps for a program's lifetime can be released before the
// next input. Calls from sprite.cpp bind to this definition; it forwards to SDL.
extern "C" SDL_Surface* SDL_DisplayFormat(SDL_Surface* surface)
{
    typedef SDL_Surface* (*Convert)(SDL_Surface*);
    static Convert real = velmora::nextDefinition<Convert>("SDL_DisplayFormat");
    SDL_Surface* made = real(surface);
    if (made && gRecording)
        gMade.push_back(made);
    return made;
}

// The engine also converts surfaces that it frees again during the load (the
// one-pixel image that carries a frame's colour key); a surface freed is no
// longer recorded.
extern "C" void SDL_FreeSurface(SDL_Surface* surface)
{
    typedef void (*Free)(SDL_Surface*);
    static Free real = velmora::nextDefinition<Free>("SDL_FreeSurface");
    if (surface && gRecording)
        gMade.erase(std::remove(gMade.begin(), gMade.end(), surface), gMade.end());
    real(surface);
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    (void)argc;
    (void)argv;
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
        abort();
    gScreen = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
    if (!gScreen)
        abort();

    // The set lives in a fresh directory under TMPDIR, removed at the end.
    static velmora::TempDir scratch("velmora-fuzz");
    gDir = scratch.str();

#ifdef VELMORA_FUZZ_FRAME
    // The fuzzed image is the first frame, a good one the second and the fuzzed
    // one again the third, with and without a colour key.
    static const char kInfo[] = "FILES: 3\nframe.bmp 10 255 0 255\ngood.bmp 5\nframe.bmp 0 0 0 0\n";
    if (!writeFile(gDir + "/info", (const uint8_t*)kInfo, sizeof kInfo - 1))
        abort();
    saveFrame("good.bmp", 16, 16, 24);
#else
    saveFrame("a.bmp", 16, 16, 24);
    saveFrame("b.bmp", 9, 5, 8);
    saveFrame("c.bmp", 40, 30, 32);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
#ifdef VELMORA_FUZZ_FRAME
    if (!writeFile(gDir + "/frame.bmp", data, size))
        abort();
#else
    if (!writeFile(gDir + "/info", data, size))
        abort();
#endif

    gRecording = true;
    CSpriteBase base = CSpriteBase();
    base.init(gDir.c_str());

    CSprite sprites[2] = {CSprite(), CSprite()};
    sprites[0].init(&base, gScreen);
    sprites[1].init(&base, gScreen);
    sprites[0].setSpeed(0.0f);
    sprites[1].setSpeed(1.5f);

    static const int kPlaces[][2] = {
        {0, 0}, {1000, 740}, {-20, -20}, {65536 + 100, 300}, {512, 384}, {-70000, 5}, {2000, 2000},
    };
    const int kCount = sizeof kPlaces / sizeof kPlaces[0];
    for (int i = 0; i < kCount; i++)
    {
        sprites[0].set(kPlaces[i][0], kPlaces[i][1]);
        sprites[1].set(kPlaces[(i + 3) % kCount][0], kPlaces[(i + 3) % kCount][1]);
        pass(sprites, 2);
        sprites[1].yAdd(-1);
        pass(sprites, 2);
    }

    // Show every entry of the table once, as a sprite cycling over the set would,
    // including entries that never received a frame.
    sprites[0].stopAnim();
    sprites[0].set(100, 100);
    for (int f = 0; f < base.mNumFrames && f < 16; f++)
    {
        sprites[0].setFrame(f);
        pass(sprites, 1);
    }

    sprites[0].release();
    sprites[1].release();
    base.release();
    gRecording = false;
    // Whatever the engine made and its release left behind.
    for (SDL_Surface* s : gMade)
        SDL_FreeSurface(s);
    gMade.clear();
    return 0;
}
