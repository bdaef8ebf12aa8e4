// The importer's readers: libpng's full reader for PNGs, giflib's record
// reader for GIFs and nlohmann-json for sheets; this file only checks what they
// give against the limits and composes the frames.
//
// GIFs are read record by record rather than with DGifSlurp, which allocates
// every frame's raster from its descriptor (up to 65535 x 65535 bytes) before
// anything can look at the size; here each descriptor is checked first.
#include "art_readers.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

namespace velmoraimport
{

namespace
{

using Json = nlohmann::ordered_json;  // keeps the hash form's frames in the file's order

std::string size(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// Refuses a picture of w x h before it is allocated.
void checkSize(int w, int h, const Limits& limits, const std::string& name, const std::string& what)
{
    if (w <= 0 || h <= 0)
        throw ReadError(name, what + " is " + size(w, h) + ": it has no pixels");
    if (w > limits.side || h > limits.side)
        throw ReadError(name, what + " is " + size(w, h) + ", larger than the " +
                                  size(limits.side, limits.side) + " this tool reads");
}

// Counts the pixels of one more frame against the budget of all frames.
void spend(long long& pixels, long long more, const Limits& limits, const std::string& name)
{
    pixels += more;
    if (pixels > limits.pixels)
        throw ReadError(name, "its frames hold more than " + std::to_string(limits.pixels) +
                                  " pixels together, more than this tool reads");
}

// ---- PNG ----
//
// libpng's full reader with the transforms spelled out: every colour type and
// depth becomes 8-bit RGBA (palettes and grey expanded, tRNS made alpha, 16-bit
// samples scaled with rounding), interlaced files are put together by libpng, and
// no gamma or colour correction is applied: the samples are taken as stored, as
// the art tool wrote them (docs/artists.md says why). libpng reports errors by a
// longjmp, so the two functions that call it hold nothing but plain data.

struct PngReading
{
    const std::uint8_t* data;
    size_t size;
    size_t at;
    char message[200];
    bool ranOut = false;  // the data ended where libpng wanted more
    png_structp png = nullptr;
    png_infop info = nullptr;
};

struct PngHeader
{
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
};

void pngError(png_structp png, png_const_charp message)
{
    PngReading* reading = static_cast<PngReading*>(png_get_error_ptr(png));
    std::snprintf(reading->message, sizeof reading->message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp)
{
}

void pngRead(png_structp png, png_bytep out, size_t length)
{
    PngReading* reading = static_cast<PngReading*>(png_get_io_ptr(png));
    if (length > reading->size - reading->at)
    {
        reading->ranOut = true;
        png_error(png, "the file ends in the middle of the picture");
    }
    std::memcpy(out, reading->data + reading->at, length);
    reading->at += length;
}

bool readPngHeader(PngReading& reading, PngHeader& header)
{
    if (setjmp(png_jmpbuf(reading.png)))
        return false;
    png_read_info(reading.png, reading.info);
    png_get_IHDR(reading.png, reading.info, &header.width, &header.height, &header.depth, &header.colourType,
                 &header.interlace, nullptr, nullptr);
    return true;
}

bool readPngRows(PngReading& reading, const PngHeader& header, png_bytepp rows)
{
    png_structp png = reading.png;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    if (!(header.colourType & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(png);
    if (!(header.colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, reading.info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, reading.info);
    if (png_get_rowbytes(png, reading.info) != (size_t)header.width * 4)
        png_error(png, "its colour type and depth give no RGBA rows");
    png_read_image(png, rows);
    return true;
}

// What follows the pixel data: the rest of the zlib stream, trailing chunks, IEND.
bool readPngEnd(PngReading& reading)
{
    if (setjmp(png_jmpbuf(reading.png)))
        return false;
    png_read_end(reading.png, nullptr);
    return true;
}

std::string pngFailure(const char* message, const char* part)
{
    return std::string("not a PNG that can be read: its ") + part + " is damaged (" + message + ")";
}

// ---- GIF ----

struct GifCloser
{
    void operator()(GifFileType* gif) const
    {
        int error;
        DGifCloseFile(gif, &error);
    }
};

// Why giflib stopped, in the artist's terms, with giflib's own words in brackets.
// ended: the data had run out when it stopped.
[[noreturn]] void gifFailed(const std::string& name, int code, const std::string& where, bool ended)
{
    std::string defect;
    switch (code)
    {
    case D_GIF_ERR_READ_FAILED:
    case D_GIF_ERR_NO_SCRN_DSCR:
    case D_GIF_ERR_NO_IMAG_DSCR:
        defect = ended ? "cut short: the file ends " + where + ", before the GIF does"
                       : "damaged " + where + ": a block is cut off";
        break;
    case D_GIF_ERR_EOF_TOO_SOON:
        defect = "damaged " + where + ": the pixel data ends before the frame is full";
        break;
    case D_GIF_ERR_IMAGE_DEFECT:
        defect = "damaged " + where + ": the LZW codes don't decode";
        break;
    case D_GIF_ERR_DATA_TOO_BIG:
        defect = "damaged " + where + ": its pixels are more than its size holds";
        break;
    case D_GIF_ERR_WRONG_RECORD:
        defect = "damaged " + where + ": a block of a kind GIF doesn't have";
        break;
    case D_GIF_ERR_NO_COLOR_MAP:
        defect = "no palette, local or global, " + where;
        break;
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        defect = "too large to read " + where;
        break;
    default:
        defect = "not a GIF that can be read (" + where + ")";
        break;
    }
    const char* words = GifErrorString(code);
    throw ReadError(name, defect + "; export the animation again (giflib: \"" +
                              std::string(words ? words : "unknown error") + "\")");
}

// Draws one frame's pixels over the canvas: every index but the transparent one.
void drawGifFrame(Image& canvas, const std::vector<GifByteType>& raster, const GifImageDesc& desc,
                  const ColorMapObject* map, int transparent, const std::string& name, int number)
{
    for (int y = 0; y < desc.Height; y++)
    {
        int cy = desc.Top + y;
        for (int x = 0; x < desc.Width; x++)
        {
            int cx = desc.Left + x;
            int index = raster[(size_t)y * desc.Width + x];
            if (index == transparent)
                continue;
            if (index >= map->ColorCount)
                throw ReadError(name, "frame " + std::to_string(number) + " uses colour " +
                                          std::to_string(index) + " of a " + std::to_string(map->ColorCount) +
                                          "-colour palette");
            if (cx >= canvas.w || cy >= canvas.h)
                continue;
            std::uint8_t* p = canvas.at(cx, cy);
            p[0] = map->Colors[index].Red;
            p[1] = map->Colors[index].Green;
            p[2] = map->Colors[index].Blue;
            p[3] = 255;
        }
    }
}

// Reads the rows of one frame, in the order an interlaced frame stores them;
// false, with giflib's error in the GIF, when a row can't be read.
bool readGifRaster(GifFileType* gif, std::vector<GifByteType>& raster)
{
    const GifImageDesc& desc = gif->Image;
    raster.assign((size_t)desc.Width * desc.Height, 0);
    std::vector<int> rows;
    if (desc.Interlace)
    {
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; pass++)
            for (int y = start[pass]; y < desc.Height; y += step[pass])
                rows.push_back(y);
    }
    else
    {
        for (int y = 0; y < desc.Height; y++)
            rows.push_back(y);
    }
    for (int y : rows)
        if (DGifGetLine(gif, &raster[(size_t)y * desc.Width], desc.Width) == GIF_ERROR)
            return false;
    return true;
}

// ---- JSON ----

std::string where(const std::string& frame, const char* field)
{
    return "frame \"" + frame + "\": " + field;
}

const Json& member(const Json& object, const char* key, const std::string& name, const std::string& what)
{
    auto it = object.find(key);
    if (it == object.end())
        throw ReadError(name, what + " has no \"" + key + "\"");
    return *it;
}

int integer(const Json& value, const std::string& name, const std::string& what, int low, int high)
{
    if (!value.is_number_integer())
        throw ReadError(name, what + " is not a whole number");
    long long v = value.is_number_unsigned() ? (long long)std::min<std::uint64_t>(value.get<std::uint64_t>(), 1ULL << 40)
                                             : value.get<long long>();
    if (v < low || v > high)
        throw ReadError(name, what + " is " + std::to_string(v) + ", outside " + std::to_string(low) + " to " +
                                  std::to_string(high));
    return (int)v;
}

int field(const Json& object, const char* key, const std::string& name, const std::string& what, int low,
          int high)
{
    if (!object.is_object())
        throw ReadError(name, what + " is not an object");
    return integer(member(object, key, name, what), name, what + "." + key, low, high);
}

Rect rect(const Json& object, const std::string& name, const std::string& what, int side, bool place)
{
    Rect r;
    const int most = 1 << 20;
    if (place)
    {
        r.x = field(object, "x", name, what, 0, most);
        r.y = field(object, "y", name, what, 0, most);
    }
    r.w = field(object, "w", name, what, 1, side);
    r.h = field(object, "h", name, what, 1, side);
    return r;
}

bool flag(const Json& object, const char* key, const std::string& name, const std::string& what)
{
    auto it = object.find(key);
    if (it == object.end())
        return false;
    if (!it->is_boolean())
        throw ReadError(name, what + "." + key + " is not true or false");
    return it->get<bool>();
}

void placePixels(SheetFrame& f, const std::string& what, const std::string& name);

SheetFrame sheetFrame(const std::string& frameName, const Json& object, const std::string& name,
                      const Limits& limits)
{
    if (!object.is_object())
        throw ReadError(name, "frame \"" + frameName + "\" is not an object");
    SheetFrame f;
    f.name = frameName;
    const std::string what = "frame \"" + frameName + "\"";
    f.frame = rect(member(object, "frame", name, what), name, where(frameName, "frame"), limits.side, true);
    f.rotated = flag(object, "rotated", name, what);
    f.sprite = Rect{0, 0, f.frame.w, f.frame.h};
    if (object.contains("spriteSourceSize"))
        f.sprite = rect(object["spriteSourceSize"], name, where(frameName, "spriteSourceSize"), limits.side, true);
    f.sourceW = f.frame.w;
    f.sourceH = f.frame.h;
    if (object.contains("sourceSize"))
    {
        Rect source = rect(object["sourceSize"], name, where(frameName, "sourceSize"), limits.side, false);
        f.sourceW = source.w;
        f.sourceH = source.h;
    }
    if (object.contains("duration"))
        f.duration = integer(object["duration"], name, where(frameName, "duration"), 0, 1 << 30);
    placePixels(f, what, name);
    return f;
}

// Where a frame's pixels lie in its rectangle and in the original frame. Most
// exporters give spriteSourceSize the frame's own size. Aseprite's inner (or
// shape) padding makes the frame wider and higher by an even number of pixels,
// a transparent border around the spriteSourceSize-sized pixels. Flash writes the
// untrimmed size into spriteSourceSize's w and h; as game engines do, the frame's
// pixels are then placed at spriteSourceSize's x and y, in sourceSize.
void placePixels(SheetFrame& f, const std::string& what, const std::string& name)
{
    const int padW = f.frame.w - f.sprite.w, padH = f.frame.h - f.sprite.h;
    if (padW >= 0 && padH >= 0 && padW % 2 == 0 && padH % 2 == 0)
    {
        f.inner = Rect{padW / 2, padH / 2, f.sprite.w, f.sprite.h};
    }
    else
    {
        f.inner = Rect{0, 0, f.frame.w, f.frame.h};
        if (f.sprite.x + f.frame.w > f.sourceW || f.sprite.y + f.frame.h > f.sourceH)
            throw ReadError(name, what + ": spriteSourceSize is " + size(f.sprite.w, f.sprite.h) +
                                      " but its frame is " + size(f.frame.w, f.frame.h) + ", and the frame at " +
                                      std::to_string(f.sprite.x) + "," + std::to_string(f.sprite.y) +
                                      " lies outside its sourceSize " + size(f.sourceW, f.sourceH));
        f.sprite.w = f.frame.w;
        f.sprite.h = f.frame.h;
    }
    if (f.sprite.x + f.sprite.w > f.sourceW || f.sprite.y + f.sprite.h > f.sourceH)
        throw ReadError(name, what + ": spriteSourceSize " + std::to_string(f.sprite.x) + "," +
                                  std::to_string(f.sprite.y) + " " + size(f.sprite.w, f.sprite.h) +
                                  " lies outside its sourceSize " + size(f.sourceW, f.sourceH));
}

SheetTag sheetTag(const Json& object, int frames, const std::string& name)
{
    if (!object.is_object() || !object.contains("name") || !object["name"].is_string())
        throw ReadError(name, "meta.frameTags holds an entry without a \"name\"");
    SheetTag tag;
    tag.name = object["name"].get<std::string>();
    const std::string what = "tag \"" + tag.name + "\"";
    tag.from = field(object, "from", name, what, 0, frames - 1);
    tag.to = field(object, "to", name, what, tag.from, frames - 1);
    tag.direction = "forward";
    if (object.contains("direction"))
    {
        const Json& direction = object["direction"];
        tag.direction = direction.is_string() ? direction.get<std::string>() : "";
        if (tag.direction != "forward" && tag.direction != "reverse" && tag.direction != "pingpong" &&
            tag.direction != "pingpong_reverse")
            throw ReadError(name, what + ": direction is not forward, reverse, pingpong or pingpong_reverse");
    }
    return tag;
}

SheetAnimation sheetAnimation(const std::string& animationName, const Json& list, const Sheet& sheet,
                              const std::string& name)
{
    const std::string what = "animation \"" + animationName + "\"";
    if (!list.is_array() || list.empty())
        throw ReadError(name, what + " is not a list of frame names");
    SheetAnimation animation;
    animation.name = animationName;
    for (const Json& entry : list)
    {
        if (!entry.is_string())
            throw ReadError(name, what + " lists something other than a frame name");
        const std::string frameName = entry.get<std::string>();
        auto found = std::find_if(sheet.frames.begin(), sheet.frames.end(),
                                  [&](const SheetFrame& f) { return f.name == frameName; });
        if (found == sheet.frames.end())
            throw ReadError(name, what + " lists frame \"" + frameName + "\", which the sheet does not have");
        animation.frames.push_back((int)(found - sheet.frames.begin()));
    }
    return animation;
}

// The frames named after sprite, in numeric order.
std::vector<int> framesOfSprite(const Sheet& sheet, const std::string& sprite)
{
    std::vector<int> frames;
    for (int i = 0; i < (int)sheet.frames.size(); i++)
        if (spriteOfFrame(sheet.frames[i].name) == sprite)
            frames.push_back(i);
    std::stable_sort(frames.begin(), frames.end(),
                     [&](int a, int b) { return numericOrder(sheet.frames[a].name, sheet.frames[b].name); });
    return frames;
}

// The sprites the numbered frames' names give, in the order they first appear.
std::vector<std::string> spritesOf(const Sheet& sheet)
{
    std::vector<std::string> sprites;
    for (const SheetFrame& f : sheet.frames)
    {
        if (f.name.find_first_of("0123456789") == std::string::npos)
            continue;
        const std::string sprite = spriteOfFrame(f.name);
        if (!sprite.empty() && std::find(sprites.begin(), sprites.end(), sprite) == sprites.end())
            sprites.push_back(sprite);
    }
    return sprites;
}

// Two tags of one name can't be told apart: the refusal lists both.
void refuseTwiceNamed(const Sheet& sheet, const std::string& tag, const std::string& name)
{
    std::vector<std::string> ranges;
    for (const SheetTag& t : sheet.tags)
        if (t.name == tag)
            ranges.push_back(std::to_string(t.from) + " to " + std::to_string(t.to));
    if (ranges.size() < 2)
        return;
    std::string spans;
    for (size_t i = 0; i < ranges.size(); i++)
        spans += (i == 0 ? "" : i + 1 == ranges.size() ? " and " : ", ") + ranges[i];
    throw ReadError(name, "the tag name \"" + tag + "\" is used " +
                              (ranges.size() == 2 ? std::string("twice") : std::to_string(ranges.size()) + " times") +
                              ", for frames " + spans + "; give each tag a name of its own in the art tool and "
                              "export the sheet again");
}

std::string listed(const std::vector<std::string>& names, size_t most)
{
    std::string text;
    for (size_t i = 0; i < names.size() && i < most; i++)
        text += (i ? ", " : "") + names[i];
    if (names.size() > most)
        text += " and " + std::to_string(names.size() - most) + " more";
    return text;
}

}

std::string spriteOfFrame(const std::string& frameName)
{
    std::string stem = frameName;
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0 && stem.find_first_of("/:", dot) == std::string::npos &&
        !std::isdigit((unsigned char)stem[dot + 1]))
        stem.erase(dot);
    while (!stem.empty() && std::isdigit((unsigned char)stem.back()))
        stem.pop_back();
    while (!stem.empty() && std::strchr(" _-:.#", stem.back()))
        stem.pop_back();
    // A bare number ("12", Aseprite's '{frame}') names a frame, not a sprite.
    const bool bare = stem.empty() && frameName.find_first_of("0123456789") != std::string::npos;
    return stem.empty() && !bare ? frameName : stem;
}

bool numericOrder(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
    {
        const bool da = std::isdigit((unsigned char)a[i]), db = std::isdigit((unsigned char)b[j]);
        if (da && db)
        {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit((unsigned char)a[ei]))
                ei++;
            while (ej < b.size() && std::isdigit((unsigned char)b[ej]))
                ej++;
            // Without leading zeros, the longer run of digits is the larger number.
            std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return (unsigned char)a[i] < (unsigned char)b[j];
        i++;
        j++;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ReadError(path, std::string("cannot be opened: ") + std::strerror(errno));
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw ReadError(path, "cannot be read");
    return data;
}

Image readPng(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits,
              Warnings* warnings)
{
    PngReading reading{data, size, 0, {}};
    std::unique_ptr<PngReading, void (*)(PngReading*)> closer(&reading, [](PngReading* r) {
        png_destroy_read_struct(&r->png, &r->info, nullptr);
    });
    reading.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, pngError, pngWarning);
    reading.info = reading.png ? png_create_info_struct(reading.png) : nullptr;
    if (!reading.info)
        throw ReadError(name, "not enough memory to read a PNG");
    png_set_read_fn(reading.png, &reading, pngRead);
    // The size is checked here against the tool's own limits, with its own message.
    png_set_user_limits(reading.png, 0x7fffffff, 0x7fffffff);
    // Only the chunks that make the picture are read (IHDR, PLTE, tRNS, IDAT, IEND);
    // text, profiles and the rest are skipped unread, so a chunk that claims a
    // gigabyte costs no gigabyte of memory. Nothing the picture needs is bigger
    // than a palette, hence the small cap on any one chunk.
    png_set_keep_unknown_chunks(reading.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_chunk_malloc_max(reading.png, 1 << 20);

    PngHeader header;
    if (!readPngHeader(reading, header))
        throw ReadError(name, pngFailure(reading.message, "header"));
    checkSize((int)std::min<png_uint_32>(header.width, 1u << 30), (int)std::min<png_uint_32>(header.height, 1u << 30),
              limits, name, "the image");
    long long pixels = 0;
    spend(pixels, (long long)header.width * header.height, limits, name);

    Image image((int)header.width, (int)header.height);
    std::vector<png_bytep> rows(image.h);
    for (int y = 0; y < image.h; y++)
        rows[y] = image.at(0, y);
    if (!readPngRows(reading, header, rows.data()))
        throw ReadError(name, pngFailure(reading.message, "pixel data"));
    // Every row is read; a file that ends before its IEND chunk (or in a chunk
    // after the pixels) lost nothing of the picture, and browsers show it.
    if (!readPngEnd(reading))
    {
        if (!reading.ranOut)
            throw ReadError(name, pngFailure(reading.message, "end"));
        if (warnings)
            warnings->push_back(name + ": the file ends after the picture's pixel data, without the IEND chunk "
                                       "that closes a PNG; read as it is, but save it again");
    }
    return image;
}

int gifPause(int hundredths)
{
    // Browsers and image viewers show a frame of 0 or 1 hundredths for 100 ms.
    return hundredths <= 1 ? 100 : hundredths * 10;
}

int GifFrames::read(void* file, std::uint8_t* buffer, int length)
{
    Input* input = static_cast<Input*>(static_cast<GifFileType*>(file)->UserData);
    size_t n = std::min((size_t)length, input->size - input->at);
    std::memcpy(buffer, input->data + input->at, n);
    input->at += n;
    return (int)n;
}

GifFrames::GifFrames(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits)
    : mInput{data, size, 0}, mGif(nullptr), mName(name), mLimits(limits)
{
    int error = 0;
    GifFileType* gif = DGifOpen(&mInput, [](GifFileType* file, GifByteType* buffer, int length) { return read(file, buffer, length); }, &error);
    if (!gif)
        gifFailed(name, error, "in its header", true);
    mGif = gif;
    try
    {
        checkSize(gif->SWidth, gif->SHeight, limits, name, "the GIF's screen");
    }
    catch (...)
    {
        GifCloser()(gif);
        throw;
    }
    mCanvas = Image(gif->SWidth, gif->SHeight);
}

GifFrames::~GifFrames()
{
    if (mGif)
        GifCloser()(static_cast<GifFileType*>(mGif));
}

void GifFrames::recordFailed()
{
    GifFileType* gif = static_cast<GifFileType*>(mGif);
    const size_t at = mInput.at - 1;  // the byte that should start a block
    if (gif->Error == D_GIF_ERR_WRONG_RECORD && at + 4 <= mInput.size && std::memcmp(mInput.data + at, "GIF8", 4) == 0)
        throw ReadError(mName, "another GIF file begins after frame " + std::to_string(mFrames - 1) +
                                   " without this one's end: two GIFs are glued together; export the "
                                   "animation again as one GIF");
    if (gif->Error == D_GIF_ERR_WRONG_RECORD && at < mInput.size)
    {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02x", mInput.data[at]);
        throw ReadError(mName, "damaged after frame " + std::to_string(mFrames - 1) + ": byte " + byte +
                                   " at offset " + std::to_string(at) + " starts no GIF block");
    }
    gifFailed(mName, gif->Error, mFrames ? "after frame " + std::to_string(mFrames - 1) : "before its first frame",
              mInput.at >= mInput.size);
}

void GifFrames::dispose(int mode, int left, int top, int w, int h)
{
    if (mode == DISPOSE_BACKGROUND)
    {
        for (int y = std::max(0, top); y < std::min(mCanvas.h, top + h); y++)
            for (int x = std::max(0, left); x < std::min(mCanvas.w, left + w); x++)
                std::memset(mCanvas.at(x, y), 0, 4);
    }
    else if (mode == DISPOSE_PREVIOUS)
    {
        std::swap(mCanvas, mRestore);
    }
}

bool GifFrames::next(Frame& frame)
{
    GifFileType* gif = static_cast<GifFileType*>(mGif);
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    while (!mEnded)
    {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            recordFailed();
        if (record == TERMINATE_RECORD_TYPE)
        {
            mEnded = true;
            break;
        }
        if (record == EXTENSION_RECORD_TYPE)
        {
            int code;
            GifByteType* block;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                gifFailed(mName, gif->Error, "in an extension", mInput.at >= mInput.size);
            if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR)
                throw ReadError(mName, "a damaged frame control block before frame " + std::to_string(mFrames));
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    gifFailed(mName, gif->Error, "in an extension", mInput.at >= mInput.size);
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;

        if (mFrames >= mLimits.frames)
            throw ReadError(mName, "more than " + std::to_string(mLimits.frames) + " frames");
        if (DGifGetImageDesc(gif) == GIF_ERROR)
        {
            // giflib reads the pixels' LZW code size with the descriptor and
            // reports one it can't decode as a failed read.
            if (gif->Error == D_GIF_ERR_READ_FAILED && mInput.at < mInput.size && mInput.at > 0 &&
                (mInput.data[mInput.at - 1] > 8 || mInput.data[mInput.at - 1] < 2))
                throw ReadError(mName, "frame " + std::to_string(mFrames) + " is damaged: its pixels begin with an "
                                           "LZW code size of " + std::to_string(mInput.data[mInput.at - 1]) +
                                           ", where GIF allows 2 to 8; export the animation again");
            if (gif->Error == D_GIF_ERR_READ_FAILED && mInput.at >= mInput.size)
                throw ReadError(mName, "cut short: the file ends in frame " + std::to_string(mFrames));
            gifFailed(mName, gif->Error, "in frame " + std::to_string(mFrames), mInput.at >= mInput.size);
        }
        const GifImageDesc desc = gif->Image;
        const int number = mFrames;
        checkSize(desc.Width, desc.Height, mLimits, mName, "frame " + std::to_string(number));
        spend(mPixels, (long long)mCanvas.w * mCanvas.h, mLimits, mName);
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map)
            throw ReadError(mName, "frame " + std::to_string(number) + " has no palette, local or global");
        if (!readGifRaster(gif, mRaster))
            gifFailed(mName, gif->Error, "in frame " + std::to_string(number) + "'s pixels", mInput.at >= mInput.size);

        if (control.DisposalMode == DISPOSE_PREVIOUS)
            mRestore = mCanvas;
        drawGifFrame(mCanvas, mRaster, desc, map, control.TransparentColor, mName, number);
        frame.image = mCanvas;
        frame.pause = gifPause(control.DelayTime);
        mShortDelays += control.DelayTime <= 1;
        mFrames++;
        dispose(control.DisposalMode, desc.Left, desc.Top, desc.Width, desc.Height);
        return true;
    }
    if (mFrames == 0)
        throw ReadError(mName, "a GIF without frames");
    return false;
}

std::vector<Frame> readGif(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits)
{
    GifFrames reader(data, size, name, limits);
    std::vector<Frame> frames;
    Frame frame;
    while (reader.next(frame))
        frames.push_back(frame);
    return frames;
}

namespace
{

// The frames of one picture: an object keyed by name (the hash form) or a list
// of frames that carry a filename (the array form).
void readFrames(const Json& frames, int texture, Sheet& sheet, const std::string& name, const Limits& limits)
{
    if (sheet.frames.size() + frames.size() > (size_t)limits.frames)
        throw ReadError(name, "more than " + std::to_string(limits.frames) + " frames");
    if (frames.is_object())
    {
        for (auto it = frames.begin(); it != frames.end(); ++it)
            sheet.frames.push_back(sheetFrame(it.key(), it.value(), name, limits));
    }
    else
    {
        for (const Json& entry : frames)
        {
            std::string frameName = "#" + std::to_string(sheet.frames.size());
            if (entry.is_object() && entry.contains("filename") && entry["filename"].is_string())
                frameName = entry["filename"].get<std::string>();
            else
                throw ReadError(name, "frame " + frameName + " of the list has no \"filename\"");
            sheet.frames.push_back(sheetFrame(frameName, entry, name, limits));
        }
    }
    for (size_t i = sheet.frames.size() - frames.size(); i < sheet.frames.size(); i++)
        sheet.frames[i].texture = texture;
}

bool isFrameList(const Json& root)
{
    return root.contains("frames") && (root["frames"].is_object() || root["frames"].is_array());
}

// A non-empty string, the name of a picture.
std::string imageName(const Json& object, const char* what, const std::string& name)
{
    if (!object.is_object() || !object.contains("image") || !object["image"].is_string() ||
        object["image"].get<std::string>().empty())
        throw ReadError(name, std::string("no ") + what + " naming the sheet's PNG");
    return object["image"].get<std::string>();
}

// Phaser 3's multi-atlas: {"textures": [{"image": ..., "frames": [...]}, ...]}.
void readTextures(const Json& textures, Sheet& sheet, const std::string& name, const Limits& limits)
{
    if (!textures.is_array() || textures.empty())
        throw ReadError(name, "\"textures\" is not a list of pictures and their frames");
    if (textures.size() > (size_t)limits.frames)
        throw ReadError(name, "more than " + std::to_string(limits.frames) + " textures");
    for (const Json& texture : textures)
    {
        const std::string what = "texture " + std::to_string(sheet.images.size());
        sheet.images.push_back(imageName(texture, (what + "'s \"image\"").c_str(), name));
        if (!isFrameList(texture))
            throw ReadError(name, what + " has no \"frames\" object or list");
        readFrames(texture["frames"], (int)sheet.images.size() - 1, sheet, name, limits);
    }
}

void readMeta(const Json& root, Sheet& sheet, const std::string& name)
{
    const Json meta = root.contains("meta") ? root["meta"] : Json::object();
    if (sheet.images.empty())
        sheet.images.push_back(imageName(meta, "meta.image", name));
    if (meta.is_object() && meta.contains("frameTags"))
    {
        if (!meta["frameTags"].is_array())
            throw ReadError(name, "meta.frameTags is not a list");
        for (const Json& tag : meta["frameTags"])
            sheet.tags.push_back(sheetTag(tag, (int)sheet.frames.size(), name));
    }
    if (root.contains("animations"))
    {
        const Json& animations = root["animations"];
        if (!animations.is_object())
            throw ReadError(name, "\"animations\" is not an object of frame lists");
        for (auto it = animations.begin(); it != animations.end(); ++it)
            sheet.animations.push_back(sheetAnimation(it.key(), it.value(), sheet, name));
    }
}

}

Sheet readSheet(const std::string& text, const std::string& name, const Limits& limits)
{
    Json root;
    try
    {
        root = Json::parse(text);
    }
    catch (const Json::exception& e)
    {
        throw ReadError(name, std::string("not valid JSON (") + e.what() + ")");
    }
    Sheet sheet;
    if (root.is_object() && root.contains("textures") && !isFrameList(root))
        readTextures(root["textures"], sheet, name, limits);
    else if (root.is_object() && isFrameList(root))
        readFrames(root["frames"], 0, sheet, name, limits);
    else
        throw ReadError(name, "not a sprite sheet's JSON: it has no \"frames\" object or list, nor "
                              "\"textures\" with theirs");
    if (sheet.frames.empty())
        throw ReadError(name, "the sheet lists no frames");
    readMeta(root, sheet, name);
    return sheet;
}

std::vector<int> playOrder(const Sheet& sheet, const std::string& tag, const std::string& name)
{
    std::vector<int> order;
    if (tag.empty())
    {
        // Numbered frames play in the order of their numbers, whatever order the
        // file lists them in (some tools sort names as text: 1, 10, 11, ..., 2).
        bool numbered = true;
        for (int i = 0; i < (int)sheet.frames.size(); i++)
        {
            order.push_back(i);
            numbered = numbered && sheet.frames[i].name.find_first_of("0123456789") != std::string::npos;
        }
        if (numbered)
            std::stable_sort(order.begin(), order.end(),
                             [&](int a, int b) { return numericOrder(sheet.frames[a].name, sheet.frames[b].name); });
        return order;
    }
    auto animation = std::find_if(sheet.animations.begin(), sheet.animations.end(),
                                  [&](const SheetAnimation& a) { return a.name == tag; });
    if (animation != sheet.animations.end())
        return animation->frames;

    auto found = std::find_if(sheet.tags.begin(), sheet.tags.end(), [&](const SheetTag& t) { return t.name == tag; });
    const std::vector<int> named = framesOfSprite(sheet, tag);
    if (found == sheet.tags.end())
    {
        if (!named.empty())
            return named;
        std::vector<std::string> tags, animations;
        for (const SheetTag& t : sheet.tags)
            tags.push_back(t.name);
        for (const SheetAnimation& a : sheet.animations)
            animations.push_back(a.name);
        std::string known = tags.empty() ? "it has no tags" : "its tags: " + listed(tags, 20);
        if (!animations.empty())
            known += "; its animations: " + listed(animations, 20);
        if (!spritesOf(sheet).empty())
            known += "; its frames are named after " + listed(spritesOf(sheet), 8);
        throw ReadError(name, "no tag, animation or frames called \"" + tag + "\" (" + known + ")");
    }
    refuseTwiceNamed(sheet, tag, name);
    const SheetTag& t = *found;
    const int count = t.to - t.from + 1;
    const std::vector<std::string> sprites = spritesOf(sheet);
    std::vector<int> frames;
    if (sprites.size() > 1 && !named.empty())
    {
        // A sheet of several sprites: the tag counts within the frames named after it.
        if ((int)named.size() != count)
            throw ReadError(name, "tag \"" + tag + "\" spans " + std::to_string(count) + " frames (" +
                                      std::to_string(t.from) + " to " + std::to_string(t.to) + ") but " +
                                      std::to_string(named.size()) + " frames are named after it; export the sheet "
                                      "again so that they agree");
        frames = named;
    }
    else
    {
        if (sprites.size() > 1)
            throw ReadError(name, "the sheet holds frames of several sprites (" + listed(sprites, 8) +
                                      ") and none is named after tag \"" + tag + "\", so its frames " +
                                      std::to_string(t.from) + " to " + std::to_string(t.to) +
                                      " can't be told to be its own; export with frame names that carry the tag "
                                      "(in Aseprite, --filename-format '{tag}:{tagframe}')");
        for (int i = t.from; i <= t.to; i++)
            frames.push_back(i);
    }
    const bool backwards = t.direction == "reverse" || t.direction == "pingpong_reverse";
    for (int i = 0; i < count; i++)
        order.push_back(frames[backwards ? count - 1 - i : i]);
    // The way back, without the two ends, which the way there already shows.
    if (t.direction == "pingpong" || t.direction == "pingpong_reverse")
        for (int i = (int)order.size() - 2; i > 0; i--)
            order.push_back(order[i]);
    return order;
}

void checkOneSize(const Sheet& sheet, const std::vector<int>& order, const std::string& tag, const std::string& name)
{
    int first = -1, other = -1;
    for (int index : order)
    {
        const SheetFrame& f = sheet.frames[index];
        if (first < 0)
            first = index;
        else if (f.sourceW != sheet.frames[first].sourceW || f.sourceH != sheet.frames[first].sourceH)
        {
            other = index;
            break;
        }
    }
    if (other < 0)
        return;
    auto sized = [&](int index) {
        const SheetFrame& f = sheet.frames[index];
        return size(f.sourceW, f.sourceH) + " (\"" + f.name + "\")";
    };
    std::string choice;
    if (tag.empty())
    {
        std::vector<std::string> names;
        for (const SheetTag& t : sheet.tags)
            names.push_back(t.name);
        for (const SheetAnimation& a : sheet.animations)
            names.push_back(a.name);
        if (names.empty())
            names = spritesOf(sheet);
        if (!names.empty())
            choice = "; import one animation with --tag NAME (" + listed(names, 8) + ")";
    }
    throw ReadError(name, (tag.empty() ? std::string("its frames") : "the frames of \"" + tag + "\"") +
                              " have several sizes, " + sized(first) + " and " + sized(other) +
                              ", but every frame of a set has one size" + choice);
}

namespace
{

// Copies frame f's pixels out of its picture into the original frame's place.
// A padded frame's border must be transparent: it is dropped, not drawn.
void cutFrame(const SheetFrame& f, const Image& image, Image& out, const std::string& name)
{
    // A rotated frame covers h x w pixels of the sheet.
    const int coverW = f.rotated ? f.frame.h : f.frame.w;
    const int coverH = f.rotated ? f.frame.w : f.frame.h;
    if ((long long)f.frame.x + coverW > image.w || (long long)f.frame.y + coverH > image.h)
        throw ReadError(name, "frame \"" + f.name + "\": its rectangle " + std::to_string(f.frame.x) + "," +
                                  std::to_string(f.frame.y) + " " + size(coverW, coverH) + " lies outside the " +
                                  size(image.w, image.h) + " sheet image");
    for (int v = 0; v < f.frame.h; v++)
    {
        for (int u = 0; u < f.frame.w; u++)
        {
            // Turned 90 degrees clockwise, the frame's pixel (u, v) lies at (h - 1 - v, u).
            const int sx = f.rotated ? f.frame.x + f.frame.h - 1 - v : f.frame.x + u;
            const int sy = f.rotated ? f.frame.y + u : f.frame.y + v;
            const int ix = u - f.inner.x, iy = v - f.inner.y;
            if (ix >= 0 && iy >= 0 && ix < f.inner.w && iy < f.inner.h)
                std::memcpy(out.at(f.sprite.x + ix, f.sprite.y + iy), image.at(sx, sy), 4);
            else if (image.at(sx, sy)[3] != 0)
                throw ReadError(name, "frame \"" + f.name + "\": its rectangle is " + size(f.frame.w, f.frame.h) +
                                          ", a border of " + std::to_string(f.inner.x) + "," +
                                          std::to_string(f.inner.y) + " pixels around its " +
                                          size(f.inner.w, f.inner.h) + " spriteSourceSize, but the border is not "
                                          "transparent at " + std::to_string(u) + "," + std::to_string(v) +
                                          "; export the sheet again without inner padding");
        }
    }
}

}

std::vector<Frame> cutSheet(const Sheet& sheet, const std::vector<Image>& images, const std::vector<int>& order,
                            int defaultPause, const std::string& name, const Limits& limits)
{
    if ((int)order.size() > limits.frames)
        throw ReadError(name, "more than " + std::to_string(limits.frames) + " frames to write");
    std::vector<Frame> frames;
    long long pixels = 0;
    for (int index : order)
    {
        const SheetFrame& f = sheet.frames[index];
        if (f.texture < 0 || (size_t)f.texture >= images.size())
            throw ReadError(name, "frame \"" + f.name + "\": its picture was not read");
        spend(pixels, (long long)f.sourceW * f.sourceH, limits, name);
        Frame frame{Image(f.sourceW, f.sourceH), f.duration >= 0 ? f.duration : defaultPause};
        cutFrame(f, images[f.texture], frame.image, name);
        frames.push_back(std::move(frame));
    }
    return frames;
}

Kind kindOf(const std::vector<std::uint8_t>& data, const std::string& name)
{
    static const std::uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() >= sizeof png && std::memcmp(data.data(), png, sizeof png) == 0)
        return Kind::PNG;
    if (data.size() >= 4 && std::memcmp(data.data(), "GIF8", 4) == 0)
        return Kind::GIF;
    size_t first = 0;
    while (first < data.size() && std::isspace(data[first]))
        first++;
    if (std::filesystem::path(name).extension() == ".json" || (first < data.size() && data[first] == '{'))
        return Kind::SHEET;
    throw ReadError(name, "not a PNG, a GIF or a sprite sheet's JSON");
}

namespace
{

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool isFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bool(in);
}

// The picture named image beside the JSON at jsonPath, and how it was found.
// single: the sheet has one picture, which may then have the JSON's own name.
std::string findPicture(const std::string& jsonPath, const std::string& image, bool single, std::string& how)
{
    const std::string folder = folderOf(jsonPath);
    const bool absolute = !image.empty() && image[0] == '/';
    const std::string given = absolute ? image : folder + image;
    if (isFile(given))
    {
        how = "meta.image as given";
        return given;
    }
    const std::string last = image.substr(image.find_last_of("/\\") == std::string::npos ? 0 : image.find_last_of("/\\") + 1);
    if (!last.empty() && isFile(folder + last))
    {
        how = "the last part of meta.image \"" + image + "\", beside the JSON";
        return folder + last;
    }
    std::string stem = jsonPath.substr(folder.size());
    if (stem.size() > 5 && stem.compare(stem.size() - 5, 5, ".json") == 0)
        stem.erase(stem.size() - 5);
    if (single && isFile(folder + stem + ".png"))
    {
        how = "the JSON's own name with .png; meta.image names \"" + image + "\", which is not there";
        return folder + stem + ".png";
    }
    throw ReadError(jsonPath, "its sheet image " + given + " cannot be found, nor " + folder + last +
                                  (single ? " or " + folder + stem + ".png" : "") +
                                  " beside it; name the picture with --image FILE");
}

// A sheet's JSON read and put in order for one import, with its pictures found.
class SheetImport
{
public:
    SheetImport(const std::string& jsonPath, const std::string& json, const std::string& tag,
                const std::string& picture, int pause, const Limits& limits);
    // The frames cut from the pictures as read reads them, one picture at a time.
    std::vector<Frame> cut(const PictureReader& read) const;
    // The pictures found, one per texture the frames use, and for each how.
    const std::vector<std::string>& pictures() const { return mPictures; }
    const std::vector<std::string>& howFound() const { return mHow; }

private:
    std::string mName;
    Sheet mSheet;
    std::vector<int> mOrder;
    int mPause;
    Limits mLimits;
    std::vector<std::string> mPictures;
    std::vector<std::string> mHow;
};

SheetImport::SheetImport(const std::string& jsonPath, const std::string& json, const std::string& tag,
                         const std::string& picture, int pause, const Limits& limits)
    : mName(jsonPath), mPause(pause), mLimits(limits)
{
    mSheet = readSheet(json, jsonPath, limits);
    mOrder = playOrder(mSheet, tag, jsonPath);
    checkOneSize(mSheet, mOrder, tag, jsonPath);
    if (!picture.empty() && mSheet.images.size() > 1)
        throw ReadError(jsonPath, "--image names one picture, but the sheet has " +
                                      std::to_string(mSheet.images.size()) + ", one for each texture");
    std::vector<bool> used(mSheet.images.size(), false);
    for (int index : mOrder)
        used[mSheet.frames[index].texture] = true;
    mPictures.resize(mSheet.images.size());
    mHow.resize(mSheet.images.size());
    for (size_t i = 0; i < mSheet.images.size(); i++)
    {
        if (!used[i])
            continue;
        mPictures[i] = picture.empty() ? findPicture(jsonPath, mSheet.images[i], mSheet.images.size() == 1, mHow[i])
                                       : picture;
        if (!picture.empty())
            mHow[i] = "--image";
    }
}

std::vector<Frame> SheetImport::cut(const PictureReader& read) const
{
    // A sheet may be 4 times as wide and high as a frame can be.
    Limits sheetLimits = mLimits;
    sheetLimits.side = 4 * mLimits.side;
    std::vector<Image> images(mPictures.size());
    for (size_t i = 0; i < mPictures.size(); i++)
        if (!mPictures[i].empty())
            images[i] = read(mPictures[i], sheetLimits);
    return cutSheet(mSheet, images, mOrder, mPause, mName, mLimits);
}

// A sheet's frames, cut from its pictures as libpng reads them and as the second
// decoder does.
void readSheetArt(Art& art, const std::string& source, const std::string& json, const ArtRequest& request,
                  const Limits& limits)
{
    const SheetImport sheet(source, json, request.tag, request.picture, request.pause, limits);
    art.sheetFrames = sheet.cut([&](const std::string& path, const Limits& sheetLimits) {
        const std::vector<std::uint8_t> png = readFile(path);
        return readPng(png.data(), png.size(), path, sheetLimits, &art.warnings);
    });
    for (size_t i = 0; i < sheet.pictures().size(); i++)
        if (!sheet.pictures()[i].empty())
            art.notes.push_back("picture: " + sheet.pictures()[i] + " (" + sheet.howFound()[i] + ")");
    art.noSecond = "no second decoder";
    if (request.second)
    {
        try
        {
            art.secondFrames = sheet.cut(request.second);
            art.noSecond.clear();
        }
        catch (const NotReadSecondly& e)
        {
            art.noSecond = e.what();
        }
    }
    art.what = "sheet " + source + (request.tag.empty() ? "" : ", tag " + request.tag);
}

}

Art readArt(const ArtRequest& request, const Limits& limits)
{
    Art art;
    long long pixels = 0;
    for (const std::string& source : request.sources)
    {
        std::vector<std::uint8_t> data = readFile(source);
        art.kind = kindOf(data, source);
        if (art.kind != Kind::PNG && request.sources.size() > 1)
            throw ReadError(source, std::string(art.kind == Kind::GIF ? "a GIF" : "a sheet's JSON") +
                                        " is imported alone, not with other sources");
        if (art.kind != Kind::SHEET && !request.tag.empty())
            throw ReadError(source, "--tag " + request.tag + ": only a sprite sheet's JSON has tags");
        if (art.kind != Kind::SHEET && !request.picture.empty())
            throw ReadError(source, "--image " + request.picture + ": only a sprite sheet's JSON has a picture to find");
        if (art.kind == Kind::PNG)
        {
            if ((int)art.pngs.size() >= limits.frames)
                throw ReadError(source, "more than " + std::to_string(limits.frames) + " frames");
            // Read once here, so that a damaged frame is refused before anything is written.
            const Image image = readPng(data.data(), data.size(), source, limits, &art.warnings);
            pixels += (long long)image.w * image.h;
            if (pixels > limits.pixels)
                throw ReadError(source, "the frames hold more pixels together than this tool reads");
            art.pngs.push_back(source);
            art.what = "PNG frames";
        }
        else if (art.kind == Kind::GIF)
        {
            art.gif = std::move(data);
            art.what = "GIF " + source;
        }
        else
        {
            readSheetArt(art, source, std::string(data.begin(), data.end()), request, limits);
        }
    }
    return art;
}

}
