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

    SdlLibrary sdl = linkedSdl();
    EXPECT_EQ(sdl.compatibilityLayer, layer) << describe(sdl);
    EXPECT_TRUE(std::filesystem::is_regular_file(sdl.file)) << sdl.file;
    // Beside the classic library, the layer lives in a folder of its own.
    if (!layer)
    {
        EXPECT_EQ(sdl.file.find("sdl12-compat"), std::string::npos) << sdl.file;
    }
    EXPECT_NE(describe(sdl).find(layer ? "(compatibility layer over SDL 2) from /"
                                       : "(classic) from /"),
              std::string::npos)
        << describe(sdl);
}

}
