// Sprite sets, sprites and targets that velmora-bench makes for itself.
#include "synthetic.h"

#include <cmath>
#include <filesystem>
#include <random>
#include <system_error>

#include "sprite_set_writer.h"

// Writes a two-frame set of size x size pixels: a disc on the key colour
// (magenta), saved as 24-bit BMP files so that the engine converts them on
// load as it does the project's art.
bool writeSet(const std::string& dir, int size)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    velmora::SpriteSetWriter set(dir, {"a disc on magenta, two colours"});
    for (int f = 0; f < 2; ++f)
    {
        SDL_Surface* img =
            SDL_CreateRGBSurface(SDL_SWSURFACE, size, size, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        if (!img)
            return false;
        SDL_FillRect(img, nullptr, SDL_MapRGB(img->format, 255, 0, 255));
        Uint32 colour = f == 0 ? SDL_MapRGB(img->format, 230, 180, 40)
                               : SDL_MapRGB(img->format, 60, 120, 220);
        double r = size / 2.0;
        for (int y = 0; y < size; ++y)
        {
            double dy = y + 0.5 - r;
            double half = dy * dy < r * r ? std::sqrt(r * r - dy * dy) : 0;
            int x0 = (int)std::lround(r - half), x1 = (int)std::lround(r + half);
            SDL_Rect span = {(Sint16)x0, (Sint16)y, (Uint16)std::max(0, x1 - x0), 1};
            SDL_FillRect(img, &span, colour);
        }
        bool added = set.add("frame" + std::to_string(f) + ".bmp", img, 100, 0xFF00FF);
        SDL_FreeSurface(img);
        if (!added)
            return false;
    }
    return set.finish();
}

// Sprites bound to `base` and `target`, spread over it by a fixed sequence so that
// every run places them alike.
void placeSprites(std::vector<CSprite>& sprites, CSpriteBase* base, SDL_Surface* target,
                  unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> xs(0, std::max(0, target->w - base->mW));
    std::uniform_int_distribution<int> ys(0, std::max(0, target->h - base->mH));
    for (CSprite& s : sprites)
    {
        s.init(base, target);
        s.set(xs(rng), ys(rng));
        s.setSpeed(1);
    }
}

// A surface in the display's format, `w` x `h`, tiled with the demo's background.
SDL_Surface* makeTarget(SDL_Surface* display, SDL_Surface* background, int w, int h)
{
    const SDL_PixelFormat* f = display->format;
    SDL_Surface* t = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, f->BitsPerPixel, f->Rmask,
                                          f->Gmask, f->Bmask, f->Amask);
    if (!t)
        return nullptr;
    for (int y = 0; y < h; y += background->h)
        for (int x = 0; x < w; x += background->w)
        {
            SDL_Rect dest = {(Sint16)x, (Sint16)y, 0, 0};
            SDL_BlitSurface(background, nullptr, t, &dest);
        }
    return t;
}

// A copy of a set's frame table whose keyed frames are run-length encoded.
CSpriteFrame* rleFrames(const CSpriteBase& base)
{
    CSpriteFrame* table = new CSpriteFrame[base.mNumFrames];
    for (int i = 0; i < base.mNumFrames; ++i)
    {
        table[i] = base.mAnim[i];
        SDL_Surface* image = base.mAnim[i].image;
        if (!image)
            continue;
        table[i].image = SDL_DisplayFormat(image);
        if (table[i].image && (image->flags & SDL_SRCCOLORKEY))
            SDL_SetColorKey(table[i].image, SDL_SRCCOLORKEY | SDL_RLEACCEL,
                            image->format->colorkey);
    }
    return table;
}
