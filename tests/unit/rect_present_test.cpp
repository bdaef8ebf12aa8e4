// How CRectList::present shows a pass: the listed rectangles on the classic
// SDL 1.2, the whole screen at once on the compatibility layer (which shows
// changed rectangles at most about 60 times a second). The test runs on both
// libraries; SDL's two present calls are replaced here by recorders, so that
// what the list asks SDL to show is seen, while the version it asks about is
// the real library's.
#include "sdl_library.h"
#include "sprite.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

// One present as SDL was asked for it: the rectangles of SDL_UpdateRects, or
// for SDL_UpdateRect its one rectangle (0, 0, 0, 0 being the whole screen).
struct Present
{
    bool wholeCall;
    std::vector<SDL_Rect> rects;
};
std::vector<Present> presents;

}

extern "C" void SDL_UpdateRects(SDL_Surface*, int count, SDL_Rect* rects)
{
    presents.push_back({false, std::vector<SDL_Rect>(rects, rects + count)});
}

extern "C" void SDL_UpdateRect(SDL_Surface*, Sint32 x, Sint32 y, Uint32 w, Uint32 h)
{
    presents.push_back({true, {SDL_Rect{(Sint16)x, (Sint16)y, (Uint16)w, (Uint16)h}}});
}

namespace
{

std::string describe(const std::vector<Present>& seen)
{
    std::string text;
    for (const Present& p : seen)
    {
        text += p.wholeCall ? "SDL_UpdateRect" : "SDL_UpdateRects";
        for (const SDL_Rect& r : p.rects)
            text += " " + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "x" +
                    std::to_string(r.h);
        text += ";";
    }
    return text;
}

TEST(RectListPresent, ShowsTheListedRectanglesOnClassicSdlAndTheWholeScreenOnTheLayer)
{
    SDL_Surface* screen = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 48, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    ASSERT_NE(screen, nullptr);
    struct Case
    {
        const char* what;
        std::vector<SDL_Rect> added;
        std::string classic;  // what classic SDL is asked to show
        std::string layer;    // what the layer is asked to show
    };
    const Case cases[] = {
        {"nothing changed", {}, "", ""},
        {"one sprite", {{4, 5, 6, 7}}, "SDL_UpdateRects 4,5,6x7;", "SDL_UpdateRect 0,0,0x0;"},
        {"two apart", {{0, 0, 4, 4}, {40, 30, 8, 8}}, "SDL_UpdateRects 0,0,4x4 40,30,8x8;",
         "SDL_UpdateRect 0,0,0x0;"},
        {"only empty rectangles", {{3, 3, 0, 5}, {1, 1, 5, 0}}, "", ""},
    };
    for (const Case& c : cases)
    {
        CRectList list{};
        for (const SDL_Rect& r : c.added)
            list.add(r);
        presents.clear();
        list.present(screen);
        EXPECT_EQ(describe(presents), isCompatibilityLayer(*SDL_Linked_Version()) ? c.layer : c.classic) << c.what;
    }
    SDL_FreeSurface(screen);
}

}
