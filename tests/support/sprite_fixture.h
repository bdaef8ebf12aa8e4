// Test helpers for the sprite engine: a headless 1024x768x32 display, a clock
// the tests set by hand, sprite sets written into temporary directories, and
// pixels read back from real surfaces.
#ifndef VELMORA_TESTS_SPRITE_FIXTURE_H
#define VELMORA_TESTS_SPRITE_FIXTURE_H

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "sprite.h"
#include "temp_dir.h"

namespace spritetest
{

// Colours as 0xRRGGBB.
constexpr Uint32 kRed = 0xFF0000;
constexpr Uint32 kGreen = 0x00FF00;
constexpr Uint32 kBlue = 0x0000FF;
constexpr Uint32 kYellow = 0xFFFF00;
constexpr Uint32 kWhite = 0xFFFFFF;
constexpr Uint32 kBlack = 0x000000;
constexpr Uint32 kGrey = 0x404040;
constexpr Uint32 kTeal = 0x008080;

// The clock behind SDL_GetTicks, for this executable and the engine linked
// into it. setTicks fixes the value every read returns; queueTicks makes the
// next reads return the given values in turn, after which the clock stays at
// the last of them.
void setTicks(Uint32 ms);
void queueTicks(std::initializer_list<Uint32> reads);

// The display: SDL on its dummy driver at 1024x768x32, started on first use
// and kept for the whole run.
SDL_Surface* display();

// One pixel as 0xRRGGBB, whatever the surface's format.
Uint32 pixel(SDL_Surface* surface, int x, int y);
// Fills a rectangle (clipped by SDL) with a 0xRRGGBB colour.
void fillRect(SDL_Surface* surface, int x, int y, int w, int h, Uint32 colour);
// Every pixel of the surface, row by row, as 0xRRGGBB.
std::vector<Uint32> snapshot(SDL_Surface* surface);

// The number of file descriptors this process holds open.
int openFdCount();

// Leaves a freed heap block of the given size full of non-zero bytes, so that
// a table allocated without clearing would start with garbage.
void dirtyHeap(std::size_t bytes);

// Fills a stretch of stack with runs of seven 'a's between NUL bytes, so that
// a text buffer read before anything is written to it holds a name such as
// "aaaaaaa" rather than nothing.
void paintStack();

// One frame of a set of solid frames: its size, its colour as 0xRRGGBB and its pause.
struct SolidFrame
{
    int w, h;
    Uint32 colour;
    int pause;
};

// A temporary directory for one sprite set, removed with everything in it.
class SetDir
{
public:
    SetDir() : mDir("velmora-set") {}

    const std::string& path() const { return mDir.str(); }
    const char* c_str() const { return mDir.c_str(); }

    // Writes a file byte for byte (the info file, for instance).
    void write(const std::string& name, const std::string& bytes) const;
    // Writes a whole set, as the tools write one: frame i as the 24-bit BMP
    // "fi.bmp", filled with its colour, and an info file giving each frame its
    // pause and `key` as 0xRRGGBB (by default none: red 0).
    void solidSet(const std::vector<SolidFrame>& frames, Uint32 key = 0) const;
    // A 24-bit BMP: the left half (columns below w/2) in one colour, the rest in another.
    void bmp(const std::string& name, int w, int h, Uint32 left, Uint32 right) const;
    void bmp(const std::string& name, int w, int h, Uint32 colour) const
    {
        bmp(name, w, h, colour, colour);
    }
    // An 8-bit palettised BMP with the given palette, halves as above by palette index.
    void bmp8(const std::string& name, int w, int h, const std::vector<SDL_Color>& palette,
              Uint8 left, Uint8 right) const;

private:
    velmora::TempDir mDir;
};

// The start of a sprite test: the test clock at 0 and the display grey, a
// directory for the set, the set and one sprite, both released at the end.
class SpriteSceneTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    SDL_Surface* mScreen = nullptr;
    SetDir mDir;
    CSpriteBase mSet = CSpriteBase();
    CSprite mSprite = CSprite();
};

}

#endif
