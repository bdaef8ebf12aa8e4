// The scene's set-up on a display that SDL handed over uncleared: the set-up
// clears it to black before the background is drawn, so what the sprites save
// and restore beyond the background is black, not what the memory held.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "sprite_fixture.h"
#include "velmora.h"

using namespace spritetest;

namespace
{

namespace fs = std::filesystem;

// What the display holds before the set-up, as memory nobody cleared might.
constexpr Uint32 kLeftover = 0x5A3C1E;
// The background's size, and the first viking's place and size (the scene
// puts it at 150, 300).
constexpr SDL_Rect kBackground{0, 0, 200, 100};
constexpr SDL_Rect kViking{150, 300, 40, 40};

class SceneSetup : public ::testing::Test
{
protected:
    // The scene is set up once per process, as in the program: a background of
    // 200 x 100 and one-frame sets, over a display full of leftover pixels.
    static void SetUpTestSuite()
    {
        setTicks(0);
        SDL_Surface* screen = display();
        ASSERT_NE(screen, nullptr);
        fillRect(screen, 0, 0, screen->w, screen->h, kLeftover);

        data = std::make_unique<SetDir>();
        fs::path root = data->path();
        fs::create_directories(root / "includes/sun");
        fs::create_directories(root / "includes/vikings");
        data->bmp("bg.bmp", kBackground.w, kBackground.h, kTeal);
        data->bmp("includes/sun/f0.bmp", 30, 30, kYellow);
        data->write("includes/sun/info", "FILES: 1\nf0.bmp 100 255 0 255\n");
        data->bmp("includes/vikings/f0.bmp", kViking.w, kViking.h, kRed);
        data->write("includes/vikings/info", "FILES: 1\nf0.bmp 100 255 0 255\n");

        fs::path start = fs::current_path();
        fs::current_path(root);
        initScene(screen);
        fs::current_path(start);
    }

    static void TearDownTestSuite() { data.reset(); }

    static std::unique_ptr<SetDir> data;
};

std::unique_ptr<SetDir> SceneSetup::data;

TEST_F(SceneSetup, DisplayBeyondTheBackgroundIsClearedToBlack)
{
    SDL_Surface* screen = display();
    std::vector<Uint32> pixels = snapshot(screen);
    int leftovers = 0;
    for (int y = 0; y < screen->h; ++y)
        for (int x = 0; x < screen->w; ++x)
        {
            bool inBackground = x < kBackground.w && y < kBackground.h;
            Uint32 expected = inBackground ? kTeal : kBlack;
            if (pixels[(size_t)y * screen->w + x] != expected)
                ++leftovers;
        }
    EXPECT_EQ(leftovers, 0);
}

// The first viking saves black in its first pass, and puts it back when the Up
// key has lifted it by one pixel.
TEST_F(SceneSetup, RisingVikingLeavesBlackWhereNoBackgroundWasDrawn)
{
    SDL_Surface* screen = display();
    std::vector<Uint8> keys(SDLK_LAST, 0);
    handleInput(keys.data());
    drawScene();
    const int bottom = kViking.y + kViking.h - 1;
    ASSERT_EQ(pixel(screen, kViking.x, bottom), kRed);

    keys[SDLK_UP] = 1;
    handleInput(keys.data());
    drawScene();
    for (int x = kViking.x; x < kViking.x + kViking.w; ++x)
        ASSERT_EQ(pixel(screen, x, bottom), kBlack) << "at x = " << x;
    EXPECT_EQ(pixel(screen, kViking.x, bottom - 1), kRed);
}

}
