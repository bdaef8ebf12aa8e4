// A second reading of an image file by a decoder that shares no code with the
// ones the tools draw with (libpng, giflib, SDL's BMP reader): stb_image, with its
// own inflate, PNG filters, interlacing and BMP bit fields. What the two readings
// agree on is taken as the picture; where they differ, one of them is wrong, and
// the artist is told instead of getting a frame that only looks imported.
#ifndef VELMORA_TOOLS_SECOND_READING_H
#define VELMORA_TOOLS_SECOND_READING_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmoracheck
{

// 8-bit RGBA, row by row.
struct SecondReading
{
    int w = 0;
    int h = 0;
    std::vector<std::uint8_t> rgba;
    bool ok = false;
    std::string why;  // when not ok: the decoder's reason
};

// Reads a PNG or BMP (a GIF's first frame too) from memory. Samples are taken as
// stored: no gamma is applied, and 16-bit samples are scaled to 8 bits with
// rounding, as the importer does. Pictures of more than maxPixels are not read.
SecondReading readSecondly(const std::uint8_t* data, size_t size, long long maxPixels);
// The reading of a file handed to use as the decoder gives it, without a copy,
// for a check that holds a large picture already; false, with the reason in
// why, when it can't be read.
bool useSecondReading(const std::string& path, long long maxPixels,
                      const std::function<void(int w, int h, const std::uint8_t* rgba)>& use, std::string& why);

// The decoder named for reports.
const char* secondReader();

// A second reading of an animated GIF by GdkPixbuf, whose GIF decoder and frame
// composition are its own (not giflib's) and follow the browsers' rules: the
// canvas starts transparent, "background" disposal clears the frame's area to
// transparent and "previous" puts back what was there before it. stb_image's GIF
// composition differs from those rules, so it can't referee a GIF. The frames
// are composed one at a time, stepped through the animation by each frame's own
// delay, so a long GIF holds no more than a canvas or two. The animation is
// read as played once, so that it ends after its last frame (GdkPixbufs that
// read through glycin loop it all the same).
class SecondGif
{
public:
    SecondGif() = default;
    ~SecondGif();
    SecondGif(const SecondGif&) = delete;
    SecondGif& operator=(const SecondGif&) = delete;

    // False, with the decoder's reason in why, when GdkPixbuf can't read the data
    // or reads no animation of the given size from it.
    bool open(const std::uint8_t* data, size_t size, int w, int h, std::string& why);
    // Back to the first frame.
    void rewind();
    // The next frame as the animation shows it; false after its last frame, or
    // after frames frames at most.
    bool next(SecondReading& frame, int frames);

private:
    void* mAnimation = nullptr;  // GdkPixbufAnimation
    void* mIter = nullptr;       // GdkPixbufAnimationIter
    long long mTime = 0;         // microseconds into the animation
    int mShown = 0;
    int mW = 0, mH = 0;
};

// The GIF decoder named for reports.
const char* secondGifReader();

}

#endif
