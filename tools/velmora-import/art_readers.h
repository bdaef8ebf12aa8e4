// The importer's readers: PNG frames, animated GIFs and sprite sheets (a PNG with a
// JSON frame list), each turned into RGBA frames of one animation.
#ifndef VELMORA_TOOLS_ART_READERS_H
#define VELMORA_TOOLS_ART_READERS_H

#include <cstddef>
#include <cstdint>
#include <functional>
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

// What a reader read past and the artist should hear of, one sentence each.
using Warnings = std::vector<std::string>;

// The whole of a file; a ReadError when it can't be read.
std::vector<std::uint8_t> readFile(const std::string& path);

// A PNG in any colour type, transparent through its alpha channel or tRNS chunk.
// name is the file the data came from, for the errors. A file that ends after
// its complete pixel data, without IEND or a trailing chunk, is read, with a
// warning added to warnings when it is given.
Image readPng(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits,
              Warnings* warnings = nullptr);

// The frames of an animated GIF, composed one at a time as a viewer shows them:
// each frame drawn over what the last one left, by its disposal method, on a
// canvas of the GIF's screen size that starts transparent. Only the canvas, the
// one a "restore previous" frame goes back to and one frame's raster are held,
// so a long GIF takes no more memory than a short one. Pauses are the frames'
// delays, except that delays of 0 and 1 hundredths become 100 ms, as browsers
// and image viewers show them. The data must outlive the reader.
class GifFrames
{
public:
    GifFrames(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits);
    ~GifFrames();
    GifFrames(const GifFrames&) = delete;
    GifFrames& operator=(const GifFrames&) = delete;

    // The next frame; false after the last. A ReadError when the file is damaged.
    bool next(Frame& frame);
    int width() const { return mCanvas.w; }
    int height() const { return mCanvas.h; }
    // Frames so far whose delay of 0 or 1 hundredths became 100 ms.
    int shortDelays() const { return mShortDelays; }

private:
    struct Input
    {
        const std::uint8_t* data;
        size_t size;
        size_t at;
    };
    static int read(void* gif, std::uint8_t* buffer, int length);
    // Why the next block can't be read, thrown as a ReadError.
    [[noreturn]] void recordFailed();
    // Clears or restores the canvas after a frame at left, top of w x h, as its disposal method says.
    void dispose(int mode, int left, int top, int w, int h);
    Input mInput;
    void* mGif;  // giflib's GifFileType
    std::string mName;
    Limits mLimits;
    Image mCanvas;
    Image mRestore;  // the canvas a "restore previous" frame leaves behind
    std::vector<std::uint8_t> mRaster;
    int mFrames = 0;
    long long mPixels = 0;
    int mShortDelays = 0;
    bool mEnded = false;
};

// The pause of a GIF frame with a delay of so many hundredths, as viewers show it.
int gifPause(int hundredths);

// All frames of an animated GIF, read with GifFrames.
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
    int texture = 0;   // the picture it is cut from: an index into Sheet::images
    Rect frame;        // in the sheet; w and h are the unrotated size
    bool rotated = false;
    Rect inner;        // the pixels within the unrotated frame: all of it, or less
                       // the transparent border of an exporter's padding
    Rect sprite;       // where those pixels lie in the original frame
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

// A named list of frames, as TexturePacker's and pixi's "animations" give it.
struct SheetAnimation
{
    std::string name;
    std::vector<int> frames;  // indices into the sheet's frames, in play order
};

struct Sheet
{
    std::vector<SheetFrame> frames;  // in the order the JSON lists them
    std::vector<SheetTag> tags;
    std::vector<SheetAnimation> animations;
    std::vector<std::string> images; // meta.image, or each texture's image of a multi-atlas
};

// The sprite a frame's name says it belongs to: the name without its extension,
// its frame number and the separator before it ("Bird_Flying:3" and "walk0003.png"
// give "Bird_Flying" and "walk"); none ("") for a bare number ("12", "12.png"),
// which names a frame of the sheet's one sprite.
std::string spriteOfFrame(const std::string& frameName);

// Whether a comes before b with the numbers in them taken as numbers
// ("run 2" before "run 10").
bool numericOrder(const std::string& a, const std::string& b);

// The JSON of a sheet in the "hash" form (frames keyed by name), the "array"
// form (a list of frames that carry a filename), or Phaser 3's multi-atlas form
// ("textures", each with its "image" and its frames in either form).
Sheet readSheet(const std::string& text, const std::string& name, const Limits& limits);

// The frame indices of an animation. With no tag, all frames: in numeric order of
// their names when every name carries a number, else in the file's order. Else the animation called tag, in its own order; or the frame tag
// called tag, in the order its direction plays it, taking the frames named after
// it when there are any (a sheet of several sprites counts a tag's frames within
// its sprite) and refused when the sheet holds several sprites and none of its
// frames is named after the tag; or else the frames named after tag, in numeric
// order. A tag name that two tags share is refused, with both frame ranges.
std::vector<int> playOrder(const Sheet& sheet, const std::string& tag, const std::string& name);

// Refuses the frames of order when they have several sizes, naming two of them
// and, when no tag was given, the animations to pick one from.
void checkOneSize(const Sheet& sheet, const std::vector<int>& order, const std::string& tag, const std::string& name);

// Cuts the frames of order out of the sheet's pictures (images[i] for texture
// i): rotated frames turned back, a padded frame's border dropped (refused
// unless it is transparent) and trimmed ones put back at their place in the
// original frame. A frame without a duration stays for defaultPause ms.
std::vector<Frame> cutSheet(const Sheet& sheet, const std::vector<Image>& images, const std::vector<int>& order,
                            int defaultPause, const std::string& name, const Limits& limits);

// The kinds of source the importer reads.
enum class Kind { PNG, GIF, SHEET };

// The kind of a source by its first bytes, or by a .json name; a ReadError for
// anything else.
Kind kindOf(const std::vector<std::uint8_t>& data, const std::string& name);

// Reads one picture of a sheet, as a second decoder reads it.
using PictureReader = std::function<Image(const std::string& path, const Limits& limits)>;

// A second decoder's word that it can't read a picture: no defect of the file,
// so the import goes on without that cross-check.
class NotReadSecondly : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What an import asks of the readers: its sources, and the options that choose
// how they are read.
struct ArtRequest
{
    std::vector<std::string> sources;
    std::string tag;      // the sheet's animation to import, or all frames
    std::string picture;  // the sheet's picture, named outright; or found
    int pause = 100;      // of PNG frames, and of sheet frames without a duration
    PictureReader second; // a second decoder for a sheet's pictures, or none
};

// The sources of one import, read once: their kind, and what the importer reads
// their frames from in each of its passes. PNG frames are read anew from their
// files each time, one at a time, so that a large picture is held once; a GIF is
// composed anew from its data; a sheet's frames are cut once and held, and cut
// again from the second decoder's reading of its pictures.
struct Art
{
    Kind kind = Kind::PNG;
    std::vector<std::string> pngs;    // PNG frames: the files, in order
    std::vector<std::uint8_t> gif;    // a GIF: its data
    std::vector<Frame> sheetFrames;   // a sheet: its frames, cut
    std::vector<Frame> secondFrames;  // and as the second decoder reads them,
    std::string noSecond;             // unless it can't: then why not
    std::string what;                 // what was read, for the report
    std::vector<std::string> notes;   // where a sheet's pictures were found, and how
    Warnings warnings;
};

// Reads the sources of request: one or more PNG frames, one GIF or one sheet's
// JSON, each checked within limits. A sheet's JSON is read with the frames of
// request.tag (or all) in play order, checked for one size, and each picture
// found beside the JSON: by meta.image as given, then by its last path component
// (after a / or a \), then, for a sheet of one picture, by the JSON's own name
// with .png; or request.picture names it outright. A ReadError names the source
// and the defect.
Art readArt(const ArtRequest& request, const Limits& limits);

}

#endif
