// The importer's readers: libpng's simplified reader for PNGs, giflib's record
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
#include <cerrno>
#include <cstring>
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

// ---- GIF ----

struct GifInput
{
    const std::uint8_t* data;
    size_t size;
    size_t at;
};

int readGifBytes(GifFileType* gif, GifByteType* buffer, int length)
{
    GifInput* input = static_cast<GifInput*>(gif->UserData);
    size_t n = std::min((size_t)length, input->size - input->at);
    std::memcpy(buffer, input->data + input->at, n);
    input->at += n;
    return (int)n;
}

struct GifCloser
{
    void operator()(GifFileType* gif) const
    {
        int error;
        DGifCloseFile(gif, &error);
    }
};

[[noreturn]] void gifFailed(const std::string& name, int code, const std::string& while_)
{
    const char* reason = GifErrorString(code);
    throw ReadError(name, "not a GIF that can be read (" + std::string(reason ? reason : "unknown error") +
                              ", " + while_ + ")");
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

// Reads the rows of one frame, in the order an interlaced frame stores them.
void readGifRaster(GifFileType* gif, std::vector<GifByteType>& raster, const std::string& name)
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
            gifFailed(name, gif->Error, "in frame " + std::to_string(gif->ImageCount));
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
    if (f.sprite.w != f.frame.w || f.sprite.h != f.frame.h)
        throw ReadError(name, what + ": spriteSourceSize is " + size(f.sprite.w, f.sprite.h) +
                                  " but its frame is " + size(f.frame.w, f.frame.h));
    if (f.sprite.x + f.sprite.w > f.sourceW || f.sprite.y + f.sprite.h > f.sourceH)
        throw ReadError(name, what + ": spriteSourceSize " + std::to_string(f.sprite.x) + "," +
                                  std::to_string(f.sprite.y) + " " + size(f.sprite.w, f.sprite.h) +
                                  " lies outside its sourceSize " + size(f.sourceW, f.sourceH));
    return f;
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

Image readPng(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size))
        throw ReadError(name, std::string("not a PNG that can be read (") + png.message + ")");
    try
    {
        checkSize((int)std::min<png_uint_32>(png.width, 1u << 30), (int)std::min<png_uint_32>(png.height, 1u << 30),
                  limits, name, "the image");
        long long pixels = 0;
        spend(pixels, (long long)png.width * png.height, limits, name);
    }
    catch (...)
    {
        png_image_free(&png);
        throw;
    }
    Image image((int)png.width, (int)png.height);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr))
        throw ReadError(name, std::string("a damaged PNG (") + png.message + ")");
    return image;
}

std::vector<Frame> readGif(const std::uint8_t* data, size_t size, const std::string& name, const Limits& limits)
{
    GifInput input{data, size, 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, readGifBytes, &error));
    if (!gif)
        gifFailed(name, error, "in its header");
    checkSize(gif->SWidth, gif->SHeight, limits, name, "the GIF's screen");

    Image canvas(gif->SWidth, gif->SHeight);
    std::vector<Frame> frames;
    std::vector<GifByteType> raster;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    long long pixels = 0;
    for (;;)
    {
        GifRecordType record;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR)
            gifFailed(name, gif->Error, "after frame " + std::to_string(frames.size()));
        if (record == TERMINATE_RECORD_TYPE)
            break;
        if (record == EXTENSION_RECORD_TYPE)
        {
            int code;
            GifByteType* block;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                gifFailed(name, gif->Error, "in an extension");
            if (code == GRAPHICS_EXT_FUNC_CODE && block &&
                DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR)
                throw ReadError(name, "a damaged frame control block before frame " + std::to_string(frames.size()));
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    gifFailed(name, gif->Error, "in an extension");
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            continue;

        if ((int)frames.size() >= limits.frames)
            throw ReadError(name, "more than " + std::to_string(limits.frames) + " frames");
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
            gifFailed(name, gif->Error, "in frame " + std::to_string(frames.size()));
        const GifImageDesc desc = gif->Image;
        const int number = (int)frames.size();
        checkSize(desc.Width, desc.Height, limits, name, "frame " + std::to_string(number));
        spend(pixels, (long long)canvas.w * canvas.h, limits, name);
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map)
            throw ReadError(name, "frame " + std::to_string(number) + " has no palette, local or global");
        readGifRaster(gif.get(), raster, name);

        Image before;
        if (control.DisposalMode == DISPOSE_PREVIOUS)
            before = canvas;
        drawGifFrame(canvas, raster, desc, map, control.TransparentColor, name, number);
        frames.push_back(Frame{canvas, control.DelayTime * 10});
        if (control.DisposalMode == DISPOSE_BACKGROUND)
        {
            for (int y = std::max(0, desc.Top); y < std::min(canvas.h, desc.Top + desc.Height); y++)
                for (int x = std::max(0, desc.Left); x < std::min(canvas.w, desc.Left + desc.Width); x++)
                    std::memset(canvas.at(x, y), 0, 4);
        }
        else if (control.DisposalMode == DISPOSE_PREVIOUS)
        {
            canvas = std::move(before);
        }
        // A control block speaks for the one frame that follows it.
        control = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    }
    if (frames.empty())
        throw ReadError(name, "a GIF without frames");
    return frames;
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
    if (!root.is_object() || !root.contains("frames") || !(root["frames"].is_object() || root["frames"].is_array()))
        throw ReadError(name, "not a sprite sheet's JSON: it has no \"frames\" object or list");

    Sheet sheet;
    const Json& frames = root["frames"];
    if (frames.size() > (size_t)limits.frames)
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
    if (sheet.frames.empty())
        throw ReadError(name, "the sheet lists no frames");

    const Json meta = root.contains("meta") ? root["meta"] : Json::object();
    if (!meta.is_object() || !meta.contains("image") || !meta["image"].is_string() ||
        meta["image"].get<std::string>().empty())
        throw ReadError(name, "no meta.image naming the sheet's PNG");
    sheet.image = meta["image"].get<std::string>();
    if (meta.contains("frameTags"))
    {
        if (!meta["frameTags"].is_array())
            throw ReadError(name, "meta.frameTags is not a list");
        for (const Json& tag : meta["frameTags"])
            sheet.tags.push_back(sheetTag(tag, (int)sheet.frames.size(), name));
    }
    return sheet;
}

std::vector<int> playOrder(const Sheet& sheet, const std::string& tag, const std::string& name)
{
    std::vector<int> order;
    if (tag.empty())
    {
        for (int i = 0; i < (int)sheet.frames.size(); i++)
            order.push_back(i);
        return order;
    }
    auto found = std::find_if(sheet.tags.begin(), sheet.tags.end(), [&](const SheetTag& t) { return t.name == tag; });
    if (found == sheet.tags.end())
    {
        std::string known;
        for (const SheetTag& t : sheet.tags)
            known += (known.empty() ? "" : ", ") + t.name;
        throw ReadError(name, "no tag \"" + tag + "\" (" + (known.empty() ? "it has no tags" : "its tags: " + known) +
                                  ")");
    }
    const SheetTag& t = *found;
    const bool backwards = t.direction == "reverse" || t.direction == "pingpong_reverse";
    for (int i = 0; i <= t.to - t.from; i++)
        order.push_back(backwards ? t.to - i : t.from + i);
    // The way back, without the two ends, which the way there already shows.
    if (t.direction == "pingpong" || t.direction == "pingpong_reverse")
        for (int i = (int)order.size() - 2; i > 0; i--)
            order.push_back(order[i]);
    return order;
}

std::vector<Frame> cutSheet(const Sheet& sheet, const Image& image, const std::vector<int>& order, int defaultPause,
                            const std::string& name, const Limits& limits)
{
    if ((int)order.size() > limits.frames)
        throw ReadError(name, "more than " + std::to_string(limits.frames) + " frames to write");
    std::vector<Frame> frames;
    long long pixels = 0;
    for (int index : order)
    {
        const SheetFrame& f = sheet.frames[index];
        // A rotated frame covers h x w pixels of the sheet.
        const int coverW = f.rotated ? f.frame.h : f.frame.w;
        const int coverH = f.rotated ? f.frame.w : f.frame.h;
        if ((long long)f.frame.x + coverW > image.w || (long long)f.frame.y + coverH > image.h)
            throw ReadError(name, "frame \"" + f.name + "\": its rectangle " + std::to_string(f.frame.x) + "," +
                                      std::to_string(f.frame.y) + " " + size(coverW, coverH) +
                                      " lies outside the " + size(image.w, image.h) + " sheet image");
        spend(pixels, (long long)f.sourceW * f.sourceH, limits, name);
        Frame frame{Image(f.sourceW, f.sourceH), f.duration >= 0 ? f.duration : defaultPause};
        for (int v = 0; v < f.frame.h; v++)
        {
            for (int u = 0; u < f.frame.w; u++)
            {
                // Turned 90 degrees clockwise, the frame's pixel (u, v) lies at (h - 1 - v, u).
                int sx = f.rotated ? f.frame.x + f.frame.h - 1 - v : f.frame.x + u;
                int sy = f.rotated ? f.frame.y + u : f.frame.y + v;
                std::memcpy(frame.image.at(f.sprite.x + u, f.sprite.y + v), image.at(sx, sy), 4);
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

}
