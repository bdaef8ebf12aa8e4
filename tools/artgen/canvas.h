// A floating-point RGB picture with a per-pixel opacity mask, the drawing surface of the art generator.
#ifndef VELMORA_ARTGEN_CANVAS_H
#define VELMORA_ARTGEN_CANVAS_H

#include <string>
#include <vector>

struct SDL_Surface;

namespace artgen {

// A colour with components in [0, 255]; values outside are clamped when saved.
struct Colour
{
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

Colour rgb(int r, int g, int b);
// a at t = 0, b at t = 1.
Colour mix(const Colour& a, const Colour& b, float t);
Colour scale(const Colour& c, float factor);

float clamp01(float v);
// A component as a byte: rounded to the nearest integer and clamped to [0, 255].
unsigned char toByte(float v);
// 0 below e0, 1 above e1, a smooth S-curve between.
float smoothstep(float e0, float e1, float x);

// The transparent colour of every sprite frame: magenta, exactly (255, 0, 255).
constexpr int kKeyR = 255;
constexpr int kKeyG = 0;
constexpr int kKeyB = 255;

class Canvas
{
public:
    // A canvas of the given size filled with `fill`; `opaque` says whether its
    // pixels start opaque (a background) or transparent (a sprite frame).
    Canvas(int width, int height, bool opaque, Colour fill = Colour());

    int width() const { return mWidth; }
    int height() const { return mHeight; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < mWidth && y < mHeight; }

    // Reading outside the canvas gives black and transparent.
    Colour at(int x, int y) const;
    bool isOpaque(int x, int y) const;

    // Writes outside the canvas are ignored.
    void put(int x, int y, const Colour& c);
    // Mixes c over the pixel by alpha in [0, 1] and makes the pixel opaque.
    void blend(int x, int y, const Colour& c, float alpha);
    void erase(int x, int y);

    // The pixel as it will be written: rounded, clamped, transparent pixels in the
    // key colour, and an opaque pixel that would round to the key moved off it by
    // one step of green, so that only transparent pixels ever carry the key.
    void bytesAt(int x, int y, unsigned char& r, unsigned char& g, unsigned char& b) const;

    // The canvas as a 24-bit SDL surface, its pixels as bytesAt gives them, for
    // writing to `path`; the caller frees it. On failure returns null and puts a
    // message naming the file and the reason into `error`.
    SDL_Surface* toSurface(const std::string& path, std::string& error) const;
    // Writes the canvas as a 24-bit BMP through SDL. On failure returns false and
    // puts a message naming the file and the reason into `error`.
    bool saveBmp(const std::string& path, std::string& error) const;

private:
    int mWidth;
    int mHeight;
    std::vector<Colour> mPixels;
    std::vector<unsigned char> mOpaque;
};

// Anti-aliased filling: every pixel of the box [x0, x1) x [y0, y1) is blended
// with paint(px, py) by the share of its 4 x 4 sample points for which
// inside(px, py) holds; px, py are the sample's canvas coordinates.
template <class Inside, class Paint>
void fillShape(Canvas& canvas, int x0, int y0, int x1, int y1, Inside inside, Paint paint)
{
    for (int y = y0; y < y1; ++y)
    {
        for (int x = x0; x < x1; ++x)
        {
            if (!canvas.contains(x, y))
                continue;
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    if (inside(x + (sx + 0.5f) / 4.0f, y + (sy + 0.5f) / 4.0f))
                        ++hits;
            if (hits > 0)
                canvas.blend(x, y, paint(x + 0.5f, y + 0.5f), hits / 16.0f);
        }
    }
}

}  // namespace artgen

#endif
