// Test helpers for the sprite engine: display, clock, temporary sprite sets, pixels.
#include "sprite_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>

#include "sprite_set_writer.h"

namespace fs = std::filesystem;

namespace
{

Uint32 gTicks = 0;
std::deque<Uint32> gQueuedTicks;

SDL_Surface* makeSurface(int w, int h)
{
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
}

void saveOrFail(SDL_Surface* surface, const std::string& path)
{
    if (!surface || SDL_SaveBMP(surface, path.c_str()) != 0)
        ADD_FAILURE() << "could not write " << path << ": " << SDL_GetError();
    if (surface)
        SDL_FreeSurface(surface);
}

}

// The engine is linked statically into each test executable, so its calls to
// SDL_GetTicks bind to this definition instead of SDL's.
extern "C" Uint32 SDL_GetTicks(void)
{
    if (!gQueuedTicks.empty())
    {
        gTicks = gQueuedTicks.front();
        gQueuedTicks.pop_front();
    }
    return gTicks;
}

#if defined(__SANITIZE_ADDRESS__)
// A table too large to allocate must come back as a null pointer, as it does
// without the sanitizer, rather than end the run.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

namespace spritetest
{

void setTicks(Uint32 ms)
{
    gQueuedTicks.clear();
    gTicks = ms;
}

void queueTicks(std::initializer_list<Uint32> reads)
{
    gQueuedTicks.assign(reads.begin(), reads.end());
}

SDL_Surface* display()
{
    static SDL_Surface* screen = nullptr;
    if (!screen)
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) != 0)
        {
            ADD_FAILURE() << "SDL_Init: " << SDL_GetError();
            return nullptr;
        }
        std::atexit(SDL_Quit);
        screen = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
        if (!screen)
            ADD_FAILURE() << "SDL_SetVideoMode: " << SDL_GetError();
    }
    return screen;
}

Uint32 pixel(SDL_Surface* surface, int x, int y)
{
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    const int bpp = surface->format->BytesPerPixel;
    const Uint8* p = (const Uint8*)surface->pixels + y * surface->pitch + x * bpp;
    Uint32 value = 0;
    switch (bpp)
    {
    case 1: value = *p; break;
    case 2: value = *(const Uint16*)p; break;
    case 3:
        value = SDL_BYTEORDER == SDL_LIL_ENDIAN ? (p[0] | p[1] << 8 | p[2] << 16)
                                                : (p[0] << 16 | p[1] << 8 | p[2]);
        break;
    default: value = *(const Uint32*)p; break;
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    Uint8 r, g, b;
    SDL_GetRGB(value, surface->format, &r, &g, &b);
    return (Uint32)r << 16 | (Uint32)g << 8 | b;
}

void fillRect(SDL_Surface* surface, int x, int y, int w, int h, Uint32 colour)
{
    SDL_Rect rect = {(Sint16)x, (Sint16)y, (Uint16)w, (Uint16)h};
    SDL_FillRect(surface, &rect,
                 SDL_MapRGB(surface->format, colour >> 16 & 0xFF, colour >> 8 & 0xFF, colour & 0xFF));
}

std::vector<Uint32> snapshot(SDL_Surface* surface)
{
    std::vector<Uint32> pixels;
    pixels.reserve((std::size_t)surface->w * surface->h);
    for (int y = 0; y < surface->h; y++)
        for (int x = 0; x < surface->w; x++)
            pixels.push_back(pixel(surface, x, y));
    return pixels;
}

int openFdCount()
{
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
    {
        (void)entry;
        count++;
    }
    return count;
}

void dirtyHeap(std::size_t bytes)
{
    void* block = std::malloc(bytes);
    std::memset(block, 0xA5, bytes);
    // Keep the compiler from dropping the writes to a block that is freed at once.
    asm volatile("" : : "r"(block) : "memory");
    std::free(block);
}

__attribute__((noinline)) void paintStack()
{
    volatile char stack[16384];
    for (std::size_t i = 0; i < sizeof stack; i++)
        stack[i] = i % 8 == 7 ? '\0' : 'a';
}

void SetDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(path() + "/" + name, std::ios::binary);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out)
        ADD_FAILURE() << "could not write " << path() << "/" << name;
}

void SetDir::solidSet(const std::vector<SolidFrame>& frames, Uint32 key) const
{
    velmora::SpriteSetWriter set(path(), {});
    for (std::size_t i = 0; i < frames.size(); i++)
    {
        SDL_Surface* surface = makeSurface(frames[i].w, frames[i].h);
        if (surface)
            fillRect(surface, 0, 0, frames[i].w, frames[i].h, frames[i].colour);
        set.add("f" + std::to_string(i) + ".bmp", surface, frames[i].pause, key);
        if (surface)
            SDL_FreeSurface(surface);
    }
    if (!set.finish())
        ADD_FAILURE() << set.error();
}

void SetDir::bmp(const std::string& name, int w, int h, Uint32 left, Uint32 right) const
{
    SDL_Surface* surface = makeSurface(w, h);
    if (surface)
    {
        fillRect(surface, 0, 0, w / 2, h, left);
        fillRect(surface, w / 2, 0, w - w / 2, h, right);
    }
    saveOrFail(surface, path() + "/" + name);
}

void SetDir::bmp8(const std::string& name, int w, int h, const std::vector<SDL_Color>& palette,
                  Uint8 left, Uint8 right) const
{
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 8, 0, 0, 0, 0);
    if (surface)
    {
        SDL_SetColors(surface, const_cast<SDL_Color*>(palette.data()), 0, (int)palette.size());
        SDL_Rect l = {0, 0, (Uint16)(w / 2), (Uint16)h};
        SDL_Rect r = {(Sint16)(w / 2), 0, (Uint16)(w - w / 2), (Uint16)h};
        SDL_FillRect(surface, &l, left);
        SDL_FillRect(surface, &r, right);
    }
    saveOrFail(surface, path() + "/" + name);
}

void SpriteSceneTest::SetUp()
{
    setTicks(0);
    mScreen = display();
    ASSERT_NE(mScreen, nullptr);
    fillRect(mScreen, 0, 0, 1024, 768, kGrey);
}

void SpriteSceneTest::TearDown()
{
    mSprite.release();
    mSet.release();
}

}
