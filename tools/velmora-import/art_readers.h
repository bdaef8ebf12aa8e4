// The importer's readers: PNG frames, animated GIFs and sprite sheets (a PNG with a
// JSON frame list), each turned into RGBA frames of one animation.
#ifndef VELMORA_TOOLS_ART_READERS_H
#define VELMORA_TOOLS_ART_READERS_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmoraimport
{

// What a reader accepts before it allocates anything, so that a hostile header
// can't exhaust memory: the side of a frame or canvas, the number of frames, and
// the pixels of all frames together.
struct Limits
{
    int side = 4096;
    int frames = 1000;
    long long pixels = 1LL << 26;
};

// A picture, 4 bytes (R, G, B, A) per pixel, row by row.
struct Image
{
    int w = 0;
    int h = 0;
    std::vector<std::uint8_t> rgba;

    Image() = default;
    Image(int width, int height) : w(width), h(height), rgba((size_t)width * height * 4, 0) {}
    std::uint8_t* at(int x, int y) { return &rgba[((size_t)y * w + x) * 4]; }
    const std::uint8_t* at(int x, int y) const { return &rgba[((size_t)y * w + x) * 4]; }
};

// One frame of the animation and how long it stays, in milliseconds.
struct Frame
{
    Image image;
    int pause = 0;
};

// Why a source can't be read: the file, and the reason in the artist's terms.
class ReadError : public std::runtime_error
{
public:
    ReadError(const std::string& file, const std::string& reason)
        : std::runtime_error(reason), mFile(file)
    {
    }
    const std::string& file() const { return mFile; }

private:
    std::string mFile;
};

// The whole of a file; a ReadError when it can't be read.
std::vector<std::uint8_t> readFile(const std::string& path);

// A PNG in any colour type, transparent through its alpha channel or tRNS chunk.
// name is the file the data came from, for the errors.
Image readPng(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits);

// An animated GIF composed frame by frame as a viewer shows it: each frame drawn
// over what the last one left, by its disposal method, on a canvas of the
// GIF's screen size that starts transparent. Pauses are the frames' delays.
std::vector<Frame> readGif(const std::uint8_t* data, size_t size, const std::string& name,
                           const Limits& limits);

// A rectangle of a sprite sheet.
struct Rect
{
    int x = 0, y = 0, w = 0, h = 0;
};

// One frame as the sheet's JSON places it.
struct SheetFrame
{
    std::string name;
    Rect frame;        // in the sheet; w and h are the unrotated size
    bool rotated = false;
    Rect sprite;       // where the frame's (trimmed) pixels lie in the original frame
    int sourceW = 0;   // the original frame's size
    int sourceH = 0;
    int duration = -1; // ms, or -1 when the JSON gives none
};

// A named animation: frames from..to, played forward, reverse, pingpong or
// pingpong_reverse.
struct SheetTag
{
    std::string name;
    int from = 0, to = 0;
    std::string direction;
};

struct Sheet
{
    std::vector<SheetFrame> frames;  // in the order the JSON lists them
    std::vector<SheetTag> tags;
    std::string image;               // meta.image: the sheet PNG, beside the JSON
};

// The JSON of a sheet in the "hash" form (frames keyed by name) or the "array"
// form (a list of frames that carry a filename).
Sheet readSheet(const std::string& text, const std::string& name, const Limits& limits);

// The frame indices of an animation: all frames in order when tag is empty,
// else the tag's frames in the order its direction plays them.
std::vector<int> playOrder(const Sheet& sheet, const std::string& tag, const std::string& name);

// Cuts the frames of order out of the sheet image: rotated frames turned back and
// trimmed ones put back at their place in the original frame. A frame without a
// duration stays for defaultPause ms.
std::vector<Frame> cutSheet(const Sheet& sheet, const Image& image, const std::vector<int>& order,
                            int defaultPause, const std::string& name, const Limits& limits);

}

#endif
