// A floating-point RGB picture with a per-pixel opacity mask, saved as a 24-bit BMP through SDL.
#include "canvas.h"

#include <SDL.h>

#include <cmath>

namespace artgen {

Colour rgb(int r, int g, int b)
{
    Colour c;
    c.r = static_cast<float>(r);
    c.g = static_cast<float>(g);
    c.b = static_cast<float>(b);
    return c;
}

Colour mix(const Colour& a, const Colour& b, float t)
{
    Colour c;
    c.r = a.r + (b.r - a.r) * t;
    c.g = a.g + (b.g - a.g) * t;
    c.b = a.b + (b.b - a.b) * t;
    return c;
}

Colour scale(const Colour& c, float factor)
{
    Colour s;
    s.r = c.r * factor;
    s.g = c.g * factor;
    s.b = c.b * factor;
    return s;
}

float clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

float smoothstep(float e0, float e1, float x)
{
    const float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

Canvas::Canvas(int width, int height, bool opaque, Colour fill)
    : mWidth(width),
      mHeight(height),
      mPixels(static_cast<size_t>(width) * height, fill),
      mOpaque(static_cast<size_t>(width) * height, opaque ? 1 : 0)
{
}

Colour Canvas::at(int x, int y) const
{
    if (!contains(x, y))
        return Colour();
    return mPixels[static_cast<size_t>(y) * mWidth + x];
}

bool Canvas::isOpaque(int x, int y) const
{
    return contains(x, y) && mOpaque[static_cast<size_t>(y) * mWidth + x] != 0;
}

void Canvas::put(int x, int y, const Colour& c)
{
    if (!contains(x, y))
        return;
    const size_t i = static_cast<size_t>(y) * mWidth + x;
    mPixels[i] = c;
    mOpaque[i] = 1;
}

void Canvas::blend(int x, int y, const Colour& c, float alpha)
{
    if (!contains(x, y))
        return;
    const size_t i = static_cast<size_t>(y) * mWidth + x;
    mPixels[i] = mix(mPixels[i], c, clamp01(alpha));
    mOpaque[i] = 1;
}

void Canvas::erase(int x, int y)
{
    if (!contains(x, y))
        return;
    mOpaque[static_cast<size_t>(y) * mWidth + x] = 0;
}

unsigned char toByte(float v)
{
    const float rounded = std::floor(v + 0.5f);
    return static_cast<unsigned char>(rounded < 0.0f ? 0.0f : (rounded > 255.0f ? 255.0f : rounded));
}

void Canvas::bytesAt(int x, int y, unsigned char& r, unsigned char& g, unsigned char& b) const
{
    if (!isOpaque(x, y))
    {
        r = kKeyR;
        g = kKeyG;
        b = kKeyB;
        return;
    }
    const Colour& c = mPixels[static_cast<size_t>(y) * mWidth + x];
    r = toByte(c.r);
    g = toByte(c.g);
    b = toByte(c.b);
    if (r == kKeyR && g == kKeyG && b == kKeyB)
        g = 1;
}

SDL_Surface* Canvas::toSurface(const std::string& path, std::string& error) const
{
    // 24 bits with red in the high byte is the layout SDL writes to a BMP as it is.
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    const Uint32 rmask = 0x00FF0000, gmask = 0x0000FF00, bmask = 0x000000FF;
#else
    const Uint32 rmask = 0x000000FF, gmask = 0x0000FF00, bmask = 0x00FF0000;
#endif
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, mWidth, mHeight, 24, rmask, gmask, bmask, 0);
    if (!surface)
    {
        error = "cannot make a " + std::to_string(mWidth) + "x" + std::to_string(mHeight) +
                " surface for " + path + ": " + SDL_GetError();
        return nullptr;
    }
    if (SDL_MUSTLOCK(surface))
        SDL_LockSurface(surface);
    for (int y = 0; y < mHeight; ++y)
    {
        Uint8* row = static_cast<Uint8*>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
        for (int x = 0; x < mWidth; ++x)
        {
            unsigned char r, g, b;
            bytesAt(x, y, r, g, b);
            const Uint32 value = SDL_MapRGB(surface->format, r, g, b);
            Uint8* p = row + x * 3;
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
            p[0] = static_cast<Uint8>(value);
            p[1] = static_cast<Uint8>(value >> 8);
            p[2] = static_cast<Uint8>(value >> 16);
#else
            p[0] = static_cast<Uint8>(value >> 16);
            p[1] = static_cast<Uint8>(value >> 8);
            p[2] = static_cast<Uint8>(value);
#endif
        }
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    return surface;
}

bool Canvas::saveBmp(const std::string& path, std::string& error) const
{
    SDL_Surface* surface = toSurface(path, error);
    if (!surface)
        return false;
    const int status = SDL_SaveBMP(surface, path.c_str());
    SDL_FreeSurface(surface);
    if (status != 0)
    {
        error = "cannot write " + path + ": " + SDL_GetError();
        return false;
    }
    return true;
}

}  // namespace artgen
