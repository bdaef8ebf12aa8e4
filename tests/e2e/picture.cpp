// Pictures for the end-to-end tests: RGB images and the model of what the window may show.
#include "picture.h"

#include <SDL.h>

#include <sstream>

#include "process.h"

namespace e2e
{

std::ostream& operator<<(std::ostream& os, Rgb c)
{
    return os << "(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}

Picture::Picture(int width, int height, Rgb fill)
    : mWidth(width), mHeight(height), mPixels((size_t)width * height, fill)
{
}

void Picture::fill(int x, int y, int w, int h, Rgb c)
{
    for (int yy = std::max(y, 0); yy < std::min(y + h, mHeight); ++yy)
        for (int xx = std::max(x, 0); xx < std::min(x + w, mWidth); ++xx)
            set(xx, yy, c);
}

Picture Picture::crop(int x, int y, int w, int h) const
{
    Picture part(w, h);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            if (contains(x + xx, y + yy))
                part.set(xx, yy, at(x + xx, y + yy));
    return part;
}

bool Picture::operator==(const Picture& other) const
{
    if (mWidth != other.mWidth || mHeight != other.mHeight)
        return false;
    for (size_t i = 0; i < mPixels.size(); ++i)
        if (mPixels[i] != other.mPixels[i])
            return false;
    return true;
}

namespace
{

// A 32-bit surface with red, green and blue in known places; SDL needs no
// display for plain software surfaces, BMP files and blits between them.
SDL_Surface* rgbSurface(int w, int h)
{
    return SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
}

}

bool Picture::saveBmp(const std::filesystem::path& file) const
{
    SDL_Surface* surface = rgbSurface(mWidth, mHeight);
    if (!surface)
        return false;
    for (int y = 0; y < mHeight; ++y)
    {
        Uint32* row = (Uint32*)((Uint8*)surface->pixels + (size_t)y * surface->pitch);
        for (int x = 0; x < mWidth; ++x)
        {
            Rgb c = at(x, y);
            row[x] = (Uint32(c.r) << 16) | (Uint32(c.g) << 8) | Uint32(c.b);
        }
    }
    bool ok = SDL_SaveBMP(surface, file.c_str()) == 0;
    SDL_FreeSurface(surface);
    return ok;
}

std::filesystem::path Picture::savePng(const std::filesystem::path& file) const
{
    std::filesystem::path bmp = file;
    bmp.replace_extension(".bmp");
    if (!saveBmp(bmp))
        return {};
    velmora::Command convert{{"convert", bmp.string(), file.string()}};
    convert.err.kind = velmora::Stream::Null;
    if (velmora::run(convert).succeeded() && std::filesystem::exists(file))
    {
        std::filesystem::remove(bmp);
        return file;
    }
    return bmp;
}

Picture Picture::loadBmp(const std::filesystem::path& file)
{
    SDL_Surface* loaded = SDL_LoadBMP(file.c_str());
    if (!loaded)
        return {};
    SDL_Surface* surface = rgbSurface(loaded->w, loaded->h);
    if (!surface)
    {
        SDL_FreeSurface(loaded);
        return {};
    }
    SDL_BlitSurface(loaded, NULL, surface, NULL);
    Picture picture(surface->w, surface->h);
    for (int y = 0; y < surface->h; ++y)
    {
        const Uint32* row = (const Uint32*)((const Uint8*)surface->pixels + (size_t)y * surface->pitch);
        for (int x = 0; x < surface->w; ++x)
            picture.set(x, y, Rgb{Uint8(row[x] >> 16), Uint8(row[x] >> 8), Uint8(row[x])});
    }
    SDL_FreeSurface(surface);
    SDL_FreeSurface(loaded);
    return picture;
}

void ExpectedPicture::Allowed::add(Rgb c)
{
    if (count == kAny)
        return;
    for (int i = 0; i < count; ++i)
        if (colours[i] == c)
            return;
    // Too many possibilities to be worth checking: the pixel may show anything.
    if (count == kMaxColours)
    {
        count = kAny;
        return;
    }
    colours[count++] = c;
}

void ExpectedPicture::Allowed::addAll(const Allowed& other)
{
    if (other.count == kAny)
    {
        count = kAny;
        return;
    }
    for (int i = 0; i < other.count; ++i)
        add(other.colours[i]);
}

ExpectedPicture::ExpectedPicture(int width, int height)
    : mWidth(width), mHeight(height), mPixels((size_t)width * height)
{
}

void ExpectedPicture::background(const Picture& picture)
{
    for (int y = 0; y < std::min(mHeight, picture.height()); ++y)
        for (int x = 0; x < std::min(mWidth, picture.width()); ++x)
        {
            Allowed& allowed = mPixels[(size_t)y * mWidth + x];
            allowed.count = 1;
            allowed.colours[0] = picture.at(x, y);
        }
}

void ExpectedPicture::anything(int x, int y, int w, int h)
{
    for (int yy = std::max(y, 0); yy < std::min(y + h, mHeight); ++yy)
        for (int xx = std::max(x, 0); xx < std::min(x + w, mWidth); ++xx)
            mPixels[(size_t)yy * mWidth + xx].count = kAny;
}

void ExpectedPicture::sprite(const std::vector<Picture>& frames, std::optional<Rgb> key, int x,
                             int y, bool mayBeAbsent)
{
    int w = 0;
    int h = 0;
    for (const Picture& frame : frames)
    {
        w = std::max(w, frame.width());
        h = std::max(h, frame.height());
    }
    for (int yy = std::max(y, 0); yy < std::min(y + h, mHeight); ++yy)
        for (int xx = std::max(x, 0); xx < std::min(x + w, mWidth); ++xx)
        {
            const Allowed under = mPixels[(size_t)yy * mWidth + xx];
            Allowed result;
            result.count = 0;
            if (mayBeAbsent)
                result.addAll(under);
            for (const Picture& frame : frames)
            {
                int fx = xx - x;
                int fy = yy - y;
                if (frame.contains(fx, fy) && !(key && frame.at(fx, fy) == *key))
                    result.add(frame.at(fx, fy));
                else
                    result.addAll(under);
            }
            mPixels[(size_t)yy * mWidth + xx] = result;
        }
}

bool ExpectedPicture::allows(int x, int y, Rgb c) const
{
    const Allowed& allowed = mPixels[(size_t)y * mWidth + x];
    if (allowed.count == kAny)
        return true;
    for (int i = 0; i < allowed.count; ++i)
        if (allowed.colours[i] == c)
            return true;
    return false;
}

int ExpectedPicture::mismatches(const Picture& shot) const
{
    if (shot.width() != mWidth || shot.height() != mHeight)
        return mWidth * mHeight;
    int wrong = 0;
    for (int y = 0; y < mHeight; ++y)
        for (int x = 0; x < mWidth; ++x)
            if (!allows(x, y, shot.at(x, y)))
                ++wrong;
    return wrong;
}

std::string ExpectedPicture::describe(int x, int y) const
{
    const Allowed& allowed = mPixels[(size_t)y * mWidth + x];
    if (allowed.count == kAny)
        return "anything";
    std::ostringstream os;
    for (int i = 0; i < allowed.count; ++i)
        os << (i ? " or " : "") << allowed.colours[i];
    return os.str();
}

testing::AssertionResult ExpectedPicture::matches(const Picture& shot) const
{
    if (shot.width() != mWidth || shot.height() != mHeight)
        return testing::AssertionFailure() << "the picture is " << shot.width() << "x"
                                           << shot.height() << ", expected " << mWidth << "x"
                                           << mHeight;
    int wrong = mismatches(shot);
    if (wrong == 0)
        return testing::AssertionSuccess();
    int left = mWidth, top = mHeight, right = -1, bottom = -1;
    for (int y = 0; y < mHeight; ++y)
        for (int x = 0; x < mWidth; ++x)
            if (!allows(x, y, shot.at(x, y)))
            {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << wrong << " pixels differ from the expected picture, all within (" << left << ","
            << top << ")-(" << right << "," << bottom << "); the first ones:";
    int listed = 0;
    for (int y = 0; y < mHeight && listed < 8; ++y)
        for (int x = 0; x < mWidth && listed < 8; ++x)
            if (!allows(x, y, shot.at(x, y)))
            {
                failure << "\n  (" << x << "," << y << ") shows " << shot.at(x, y)
                        << ", expected " << describe(x, y);
                ++listed;
            }
    return failure;
}

}
