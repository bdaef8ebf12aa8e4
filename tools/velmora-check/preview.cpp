// The preview: plays a sprite set through the engine and writes one round of
// its animation as an animated image.
//
// The set is loaded by the engine's loader and drawn by a CSprite of speed 1
// on a surface filled with the background, with the same restore, save and
// draw as every pass of the demo. The engine reads the time from SDL_GetTicks;
// velmora-check defines SDL_GetTicks itself (below), and the dynamic linker
// binds every call of the process to a definition in the program before SDL's,
// so the engine reads the preview's own clock. That clock jumps to each frame's deadline and then steps a
// millisecond at a time until the engine moves on, so the frames come in the
// engine's order, each exactly when the engine changes it.
#include "preview.h"
#include "rgb_text.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "animation_file.h"
#include "sprite.h"
#include "sprite_info.h"
#include "sprite_check.h"

namespace
{

Uint32 gClock = 0;

}

extern "C" Uint32 SDL_GetTicks(void)
{
    return gClock;
}

namespace velmoracheck
{

namespace
{

// A set that declares more frames than this is refused: its preview would
// hold that many full pictures.
const int kMostFrames = 1000;

// What the loader reported: how many frames loaded, and the first image that did not.
struct LoadWatch
{
    int reads = 0;
    int loaded = 0;
    std::string failed;
};

void watchLoad(const CSpriteInfoLine* line, void* user)
{
    LoadWatch* watch = static_cast<LoadWatch*>(user);
    watch->reads++;
    if (line->kind != CSpriteInfoLine::FRAME)
        return;
    if (line->loaded)
        watch->loaded++;
    else if (watch->failed.empty())
        watch->failed = line->path && *line->path ? line->path : line->text ? line->text : "";
}

// A set as the engine loaded it, released when the preview is done with it.
class LoadedSet
{
public:
    LoadedSet() : mBase(CSpriteBase()) {}
    ~LoadedSet() { mBase.release(); }
    LoadedSet(const LoadedSet&) = delete;
    LoadedSet& operator=(const LoadedSet&) = delete;

    // Loads dir; false, with the reason in error, when the preview can't play it.
    bool load(const std::string& dir, std::string* error)
    {
        int status = initReporting(&mBase, dir.c_str(), watchLoad, &mWatch);
        std::string why;
        if (mWatch.reads == 0)
            why = "there is no \"info\" file that can be read";
        else if (status != 0 && !mWatch.failed.empty())
            why = "the frame image " + mWatch.failed + " can't be loaded";
        else if (mBase.mNumFrames <= 0 || mWatch.loaded == 0)
            why = "it has no frames";
        else if (mBase.mNumFrames > kMostFrames)
            why = "it declares " + std::to_string(mBase.mNumFrames) + " frames, more than the preview's " +
                  std::to_string(kMostFrames);
        if (why.empty())
            return true;
        *error = "cannot play the sprite set in " + dir + ": " + why + " (velmora-check " + dir + " tells more)";
        return false;
    }

    CSpriteBase* base() { return &mBase; }
    int loaded() const { return mWatch.loaded; }

    // The size that holds every frame: a frame larger than the set's size is
    // drawn whole by the engine, and so is the preview's.
    void extent(int* w, int* h) const
    {
        *w = *h = 0;
        for (int i = 0; i < mBase.mNumFrames; i++)
        {
            if (SDL_Surface* image = mBase.mAnim[i].image)
            {
                *w = std::max(*w, image->w);
                *h = std::max(*h, image->h);
            }
        }
    }

private:
    CSpriteBase mBase;
    LoadWatch mWatch;
};

void fill(SDL_Surface* surface, int x, int y, int w, int h, unsigned rgb)
{
    SDL_Rect rect = {(Sint16)x, (Sint16)y, (Uint16)w, (Uint16)h};
    SDL_FillRect(surface, &rect, SDL_MapRGB(surface->format, rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF));
}

void paint(SDL_Surface* surface, const Background& background)
{
    if (!background.checker)
    {
        fill(surface, 0, 0, surface->w, surface->h,
             (unsigned)background.r << 16 | (unsigned)background.g << 8 | background.b);
        return;
    }
    for (int y = 0; y < surface->h; y += kCheckerSize)
        for (int x = 0; x < surface->w; x += kCheckerSize)
            fill(surface, x, y, kCheckerSize, kCheckerSize,
                 (x / kCheckerSize + y / kCheckerSize) % 2 ? kCheckerDark : kCheckerLight);
}

std::vector<unsigned char> pixels(SDL_Surface* surface)
{
    std::vector<unsigned char> rgb;
    rgb.reserve((size_t)surface->w * surface->h * 3);
    SDL_LockSurface(surface);
    for (int y = 0; y < surface->h; y++)
    {
        const Uint32* row = (const Uint32*)((const Uint8*)surface->pixels + y * surface->pitch);
        for (int x = 0; x < surface->w; x++)
        {
            Uint8 r, g, b;
            SDL_GetRGB(row[x], surface->format, &r, &g, &b);
            rgb.insert(rgb.end(), {r, g, b});
        }
    }
    SDL_UnlockSurface(surface);
    return rgb;
}

// One pass of the demo for a single sprite.
void pass(CSprite& sprite)
{
    sprite.clearBG();
    sprite.updateBG();
    sprite.draw();
}

// Plays one round of the set: a picture for every frame, as the sprite shows it.
bool play(LoadedSet& set, const Background& background, Animation* animation, std::string* error)
{
    CSpriteBase* base = set.base();
    set.extent(&animation->w, &animation->h);
    const SDL_PixelFormat* display = SDL_GetVideoSurface()->format;
    SDL_Surface* canvas = SDL_CreateRGBSurface(SDL_SWSURFACE, animation->w, animation->h, 32, display->Rmask,
                                               display->Gmask, display->Bmask, 0);
    if (!canvas)
    {
        *error = std::string("cannot make a surface to draw on: ") + SDL_GetError();
        return false;
    }
    paint(canvas, background);

    CSprite sprite = CSprite();
    sprite.init(base, canvas);
    sprite.set(0, 0);
    sprite.setSpeed(1);

    gClock = 0;
    pass(sprite);
    bool ok = true;
    for (int i = 0; i < base->mNumFrames && ok; i++)
    {
        Picture picture;
        picture.frame = sprite.getFrame();
        picture.pause = base->mAnim[picture.frame].pause;
        picture.ms = std::max(picture.pause, 0);
        picture.rgb = pixels(canvas);
        animation->pictures.push_back(picture);
        if (i + 1 == base->mNumFrames)
            break;

        // The frame changes at the first millisecond past its deadline.
        const Uint32 due = gClock + (Uint32)picture.ms;
        gClock = due;
        pass(sprite);
        while (sprite.getFrame() == picture.frame && ok)
        {
            ok = gClock - due < 2;
            gClock++;
            pass(sprite);
        }
        if (!ok)
            *error = "the engine did not move on from frame " + std::to_string(picture.frame) + " after its pause";
    }
    sprite.release();
    SDL_FreeSurface(canvas);
    return ok;
}

}

bool parseBackground(const std::string& text, Background* background, std::string* error)
{
    if (text == "checker")
    {
        *background = Background();
        return true;
    }
    unsigned char rgb[3];
    if (!parseRgb(text, rgb))
    {
        *error = "the background \"" + text + "\" is neither \"checker\" nor a colour R,G,B of 0 to 255";
        return false;
    }
    background->checker = false;
    background->r = rgb[0];
    background->g = rgb[1];
    background->b = rgb[2];
    return true;
}

int preview(const std::string& file, const std::string& dir, const Background& background, std::ostream& out,
            std::ostream& err)
{
    AnimationFormat format;
    if (!animationFormatOf(file, &format))
    {
        err << "velmora-check: cannot write " << file
            << ": its extension names no format the preview writes (.gif or .webp)\n";
        return kUnusable;
    }
    LoadedSet set;
    Animation animation;
    std::string error;
    if (!set.load(dir, &error) || !play(set, background, &animation, &error))
    {
        err << "velmora-check: " << error << "\n";
        return kUnusable;
    }

    std::ostringstream notes;
    if (set.loaded() < set.base()->mNumFrames)
        notes << "entries " << set.loaded() << " to " << set.base()->mNumFrames - 1
              << " of the frame table hold no image: the sprite draws nothing for them, so the background shows\n";
    if (set.base()->mNumFrames == 1)
        notes << "one frame: the sprite never animates, so the image is that frame alone\n";
    if (!writeAnimation(file, format, animation, notes, &error))
    {
        err << "velmora-check: " << error << "\n";
        return kUnusable;
    }
    long total = 0;
    for (const Picture& picture : animation.pictures)
        total += picture.ms;
    out << "wrote " << file << ": " << animation.pictures.size()
        << (animation.pictures.size() == 1 ? " frame" : " frames") << " of " << animation.w << "x" << animation.h
        << ", one round " << total << " ms\n"
        << notes.str();
    return kClean;
}

}
