// The benchmark's report of the SDL 1.2 library it runs on, checked on each
// library the tests run on (VELMORA_SDL names it: classic or compat).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "sdl_library.h"

namespace
{

TEST(SdlLibrary, LayerIsToldFromTheClassicLibraryByItsVersion)
{
    EXPECT_FALSE(isCompatibilityLayer(SDL_version{1, 2, 15}));
    EXPECT_FALSE(isCompatibilityLayer(SDL_version{1, 2, 49}));
    EXPECT_TRUE(isCompatibilityLayer(SDL_version{1, 2, 50}));
    EXPECT_TRUE(isCompatibilityLayer(SDL_version{1, 2, 60}));
    EXPECT_FALSE(isCompatibilityLayer(SDL_version{2, 0, 60}));
}

TEST(SdlLibrary, ReportsTheLibraryTheProcessLoaded)
{
    const char* expected = getenv("VELMORA_SDL");
    if (!expected)
        GTEST_SKIP() << "VELMORA_SDL does not say which library this run is on";
    const bool layer = std::string(expected) == "compat";

    // The layer loads what it runs on when SDL starts.
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SdlLibrary sdl = linkedSdl();
    SDL_Quit();
    EXPECT_EQ(sdl.compatibilityLayer, layer) << describe(sdl);
    EXPECT_TRUE(std::filesystem::is_regular_file(sdl.file)) << sdl.file;
    // Beside the classic library, the layer lives in a folder of its own.
    if (!layer)
    {
        EXPECT_EQ(sdl.file.find("sdl12-compat"), std::string::npos) << sdl.file;
    }
    EXPECT_NE(describe(sdl).find(layer ? "(compatibility layer) from /" : "(classic) from /"),
              std::string::npos)
        << describe(sdl);
    if (layer)
    {
        EXPECT_TRUE(std::filesystem::is_regular_file(sdl.sdl2.file)) << describe(sdl);
        EXPECT_EQ(sdl.sdl2.major, 2) << describe(sdl);
        EXPECT_NE(describe(sdl).find(", over SDL 2."), std::string::npos) << describe(sdl);
    }
    // Where SDL 2 is itself the layer over SDL 3, the report says so and names both.
    if (sdl.sdl3.loaded)
    {
        EXPECT_EQ(sdl.sdl3.major, 3) << describe(sdl);
        EXPECT_NE(describe(sdl).find("(sdl2-compat) from /"), std::string::npos) << describe(sdl);
        EXPECT_NE(describe(sdl).find(", over SDL 3."), std::string::npos) << describe(sdl);
    }
}

}
