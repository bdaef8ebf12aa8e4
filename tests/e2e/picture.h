// Pictures for the end-to-end tests: RGB images read from the X server or from
// BMP files, and a model of what the window is allowed to show.
#ifndef VELMORA_E2E_PICTURE_H
#define VELMORA_E2E_PICTURE_H

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace e2e
{

struct Rgb
{
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool operator!=(Rgb a, Rgb b) { return !(a == b); }
std::ostream& operator<<(std::ostream& os, Rgb c);

// The colour the program's sets use for transparent parts.
constexpr Rgb kKey{255, 0, 255};

// A width x height RGB image, row by row.
class Picture
{
public:
    Picture() = default;
    Picture(int width, int height, Rgb fill = Rgb{});

    int width() const { return mWidth; }
    int height() const { return mHeight; }
    bool empty() const { return mWidth == 0 || mHeight == 0; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < mWidth && y < mHeight; }

    Rgb at(int x, int y) const { return mPixels[(size_t)y * mWidth + x]; }
    void set(int x, int y, Rgb c) { mPixels[(size_t)y * mWidth + x] = c; }
    // Fills the part of the rectangle that lies inside the picture.
    void fill(int x, int y, int w, int h, Rgb c);
    // The part of the picture in the rectangle; parts outside the picture are black.
    Picture crop(int x, int y, int w, int h) const;

    bool operator==(const Picture& other) const;
    bool operator!=(const Picture& other) const { return !(*this == other); }

    // Writes a 24-bit BMP; false when SDL can't write it.
    bool saveBmp(const std::filesystem::path& file) const;
    // Writes a PNG through ImageMagick's convert; falls back to a BMP beside it
    // when convert is missing. Returns the file actually written, empty on failure.
    std::filesystem::path savePng(const std::filesystem::path& file) const;
    // Reads any BMP that SDL reads; an empty picture when it can't.
    static Picture loadBmp(const std::filesystem::path& file);

private:
    int mWidth = 0;
    int mHeight = 0;
    std::vector<Rgb> mPixels;
};

// What each pixel of the window may show: any colour, or one of a few colours.
// Tests describe a scene by starting from the background and drawing the
// sprites into this model, then compare screenshots against it.
class ExpectedPicture
{
public:
    ExpectedPicture(int width, int height);  // every pixel may show anything

    // Every pixel of `picture` (placed at the top-left corner) must show its colour.
    void background(const Picture& picture);
    // Pixels in the rectangle may show anything.
    void anything(int x, int y, int w, int h);
    // A sprite at (x, y) showing one of `frames`: where a frame is opaque its
    // colour is allowed, where it is transparent (its colour is `key`) or does
    // not reach, what was allowed before stays allowed. With `mayBeAbsent` the
    // sprite may also not be there at all.
    void sprite(const std::vector<Picture>& frames, std::optional<Rgb> key, int x, int y,
                bool mayBeAbsent = false);

    bool allows(int x, int y, Rgb c) const;
    int mismatches(const Picture& shot) const;
    // Success when the screenshot shows an allowed colour in every pixel; the
    // failure lists the number of wrong pixels and the first few of them.
    testing::AssertionResult matches(const Picture& shot) const;

    int width() const { return mWidth; }
    int height() const { return mHeight; }

private:
    static constexpr int kMaxColours = 4;
    static constexpr std::uint8_t kAny = 0xFF;
    struct Allowed
    {
        std::uint8_t count = kAny;
        std::array<Rgb, kMaxColours> colours{};
        void add(Rgb c);
        void addAll(const Allowed& other);
    };

    std::string describe(int x, int y) const;

    int mWidth;
    int mHeight;
    std::vector<Allowed> mPixels;
};

}

#endif
