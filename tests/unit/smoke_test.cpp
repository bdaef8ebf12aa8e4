#include <gtest/gtest.h>
#include <stdlib.h>
#include "sprite.h"
TEST(Smoke, DummyDisplayOpens) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0);
    SDL_Surface* s = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
    ASSERT_NE(s, nullptr);
    CSpriteBase base = CSpriteBase();
    EXPECT_EQ(base.init("/nonexistent"), -1);
    SDL_Quit();
}
