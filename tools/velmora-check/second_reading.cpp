// The second reading through Debian's stb_image library (libstb), and of GIF
// animations through GdkPixbuf.
#include "second_reading.h"

// GdkPixbuf's animation clock is still a GTimeVal, which GLib calls deprecated.
#define GLIB_DISABLE_DEPRECATION_WARNINGS
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stb_image.h>

#include "bmp_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

namespace velmoracheck
{

namespace
{

// stb_image refuses BMP bit fields wider than 8 bits (a 32-bit file of 11, 11 and
// 10 bits, say). In a copy of such a file each mask is narrowed to its top 8 bits,
// which is what an 8-bit reading of the channel keeps.
std::vector<std::uint8_t> narrowWideMasks(const std::uint8_t* data, size_t size)
{
    const size_t masksAt = 14 + 40;  // after the 40-byte header, or inside a longer one
    CBmpHeader header;
    if (size < masksAt + 12 || !readBmpHeader(data, size, &header) || header.headerSize < 40 ||
        header.compression != 3 || header.bitsPerPixel != 32)
        return {};
    std::vector<std::uint8_t> copy(data, data + size);
    bool narrowed = false;
    for (size_t at = masksAt; at < masksAt + 12; at += 4)
    {
        Uint32 mask = 0;
        readLe32(data, size, at, &mask);
        int bits = 0, high = -1;
        for (int b = 0; b < 32; b++)
            if (mask >> b & 1)
                bits++, high = b;
        if (bits <= 8)
            continue;
        mask = 0xFFu << (high - 7);
        for (int i = 0; i < 4; i++)
            copy[at + i] = (std::uint8_t)(mask >> (8 * i));
        narrowed = true;
    }
    return narrowed ? copy : std::vector<std::uint8_t>();
}

// A copy of a GIF that plays once. GdkPixbuf's animation loops as often as the
// file says, endlessly for most, and then never ends; played once, it ends after
// its last frame, so the frames it counts can be compared with the importer's.
// A GIF plays once when it has no loop count, so the application extension that
// holds one (NETSCAPE2.0, or ANIMEXTS1.0) is left out. The blocks are walked to
// it; the walk stops where the data stops making sense.
std::vector<std::uint8_t> playedOnce(const std::uint8_t* data, size_t size)
{
    std::vector<std::uint8_t> copy(data, data + size);
    size_t at = 13;
    if (size < at || std::memcmp(data, "GIF8", 4) != 0)
        return copy;
    if (data[10] & 0x80)
        at += 3u << ((data[10] & 7) + 1);
    // Skips a run of sub-blocks; false where the data ends inside it.
    auto skipSubBlocks = [&]() {
        while (at < size && data[at] != 0)
            at += 1 + data[at];
        return at++ < size;
    };
    while (at < size && data[at] != 0x3B)
    {
        const size_t start = at;
        bool loopCount = false;
        if (data[at] == 0x2C && at + 10 <= size)
        {
            const std::uint8_t flags = data[at + 9];
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            at++;  // the LZW code size
        }
        else if (data[at] == 0x21 && at + 2 < size)
        {
            const size_t block = at + 2;
            loopCount = data[at + 1] == 0xFF && block + 14 <= size && data[block] == 11 &&
                        (std::memcmp(data + block + 1, "NETSCAPE2.0", 11) == 0 ||
                         std::memcmp(data + block + 1, "ANIMEXTS1.0", 11) == 0) &&
                        data[block + 13] == 1;
            at += 2;
        }
        else
        {
            break;
        }
        if (!skipSubBlocks())
            break;
        if (loopCount)
        {
            const size_t removed = size - copy.size();
            copy.erase(copy.begin() + (long)(start - removed), copy.begin() + (long)(at - removed));
        }
    }
    return copy;
}

}

const char* secondReader()
{
    return "stb_image";
}

namespace
{

using StbPixels = std::unique_ptr<stbi_uc, void (*)(void*)>;

// stb_image's pixels with their size in the reading, or none with stb_image's
// reason when it read none.
StbPixels finished(StbPixels pixels, int w, int h, SecondReading& reading)
{
    if (!pixels)
    {
        reading.why = stbi_failure_reason() ? stbi_failure_reason() : "unknown error";
        return StbPixels(nullptr, stbi_image_free);
    }
    reading.w = w;
    reading.h = h;
    return pixels;
}

// stb_image's 8-bit RGBA reading of data, 16-bit samples rounded to 8 bits; null,
// with the reason in reading.why, when it can't be read. reading gets the size.
StbPixels decode(const std::uint8_t* data, size_t size, long long maxPixels, SecondReading& reading)
{
    StbPixels none(nullptr, stbi_image_free);
    const std::vector<std::uint8_t> narrowed = narrowWideMasks(data, size);
    if (!narrowed.empty())
    {
        data = narrowed.data();
        size = narrowed.size();
    }
    int w = 0, h = 0, channels = 0;
    const int length = (int)std::min<size_t>(size, 0x7fffffff);
    if (!stbi_info_from_memory(data, length, &w, &h, &channels))
    {
        reading.why = stbi_failure_reason() ? stbi_failure_reason() : "unknown format";
        return none;
    }
    if (w <= 0 || h <= 0 || (long long)w * h > maxPixels)
    {
        reading.why = "too large a picture for the second reading";
        return none;
    }
    StbPixels pixels(nullptr, stbi_image_free);
    if (stbi_is_16_bit_from_memory(data, length))
    {
        std::unique_ptr<stbi_us, void (*)(void*)> wide(stbi_load_16_from_memory(data, length, &w, &h, &channels, 4),
                                                       stbi_image_free);
        if (wide)
        {
            // Into a buffer that stbi_image_free may free, as stb's own.
            pixels.reset(static_cast<stbi_uc*>(std::malloc((size_t)w * h * 4)));
            for (size_t i = 0; pixels && i < (size_t)w * h * 4; i++)
                pixels.get()[i] = (std::uint8_t)((wide.get()[i] * 255u + 32767u) / 65535u);
        }
    }
    else
    {
        pixels.reset(stbi_load_from_memory(data, length, &w, &h, &channels, 4));
    }
    return finished(std::move(pixels), w, h, reading);
}

// The whole of a file, read at its size; false when it can't be read.
bool readWhole(const std::string& path, std::vector<std::uint8_t>& data)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size < 0)
        return false;
    data.resize((size_t)size);
    in.seekg(0);
    return (bool)in.read(reinterpret_cast<char*>(data.data()), size);
}

// stb_image's reading of a file. A plain 24-bit BMP (as velmora-import writes
// them) is read straight from the file, so that the file is not held beside the
// picture; other files through a copy in memory, as stb_image reads a file's end
// differently from a buffer's, which shows in damaged files.
StbPixels decodeFile(const std::string& path, long long maxPixels, SecondReading& reading)
{
    StbPixels none(nullptr, stbi_image_free);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    std::uint8_t head[14 + 40];
    const size_t got = file ? std::fread(head, 1, sizeof head, file.get()) : 0;
    CBmpHeader header;
    const bool plain = got == sizeof head && readBmpHeader(head, got, &header) && header.headerSize == 40 &&
                       header.compression == 0 && header.bitsPerPixel == 24;
    int w = 0, h = 0, channels = 0;
    if (!plain || std::fseek(file.get(), 0, SEEK_SET) != 0 || !stbi_info_from_file(file.get(), &w, &h, &channels))
    {
        // The general way, through a copy in memory.
        std::vector<std::uint8_t> data;
        if (!readWhole(path, data))
        {
            reading.why = "cannot be read";
            return none;
        }
        return decode(data.data(), data.size(), maxPixels, reading);
    }
    if (w <= 0 || h <= 0 || (long long)w * h > maxPixels)
    {
        reading.why = "too large a picture for the second reading";
        return none;
    }
    StbPixels pixels(stbi_load_from_file(file.get(), &w, &h, &channels, 4), stbi_image_free);
    return finished(std::move(pixels), w, h, reading);
}


}

// The decoder's pixels are copied only once it has let go of what it decoded
// from, so that a reading holds two copies of the picture at most.
SecondReading readSecondly(const std::uint8_t* data, size_t size, long long maxPixels)
{
    SecondReading reading;
    const StbPixels pixels = decode(data, size, maxPixels, reading);
    if (!pixels)
        return reading;
    reading.rgba.assign(pixels.get(), pixels.get() + (size_t)reading.w * reading.h * 4);
    reading.ok = true;
    return reading;
}

bool useSecondReading(const std::string& path, long long maxPixels,
                      const std::function<void(int w, int h, const std::uint8_t* rgba)>& use, std::string& why)
{
    SecondReading reading;
    const StbPixels pixels = decodeFile(path, maxPixels, reading);
    if (!pixels)
    {
        why = reading.why;
        return false;
    }
    use(reading.w, reading.h, pixels.get());
    return true;
}

const char* secondGifReader()
{
    return "GdkPixbuf";
}

SecondGif::~SecondGif()
{
    if (mIter)
        g_object_unref(mIter);
    if (mAnimation)
        g_object_unref(mAnimation);
}

bool SecondGif::open(const std::uint8_t* data, size_t size, int w, int h, std::string& why)
{
    const std::vector<std::uint8_t> once = playedOnce(data, size);
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GError* error = nullptr;
    bool read = gdk_pixbuf_loader_write(loader, once.data(), once.size(), &error);
    // Closing finishes the reading; it reports what writing didn't.
    read = gdk_pixbuf_loader_close(loader, read ? &error : nullptr) && read;
    GdkPixbufAnimation* animation = read ? gdk_pixbuf_loader_get_animation(loader) : nullptr;
    if (!read || !animation)
        why = error ? error->message : "no picture read";
    else if (gdk_pixbuf_animation_get_width(animation) != w || gdk_pixbuf_animation_get_height(animation) != h)
        why = "it reads a canvas of " + std::to_string(gdk_pixbuf_animation_get_width(animation)) + "x" +
              std::to_string(gdk_pixbuf_animation_get_height(animation));
    else
        mAnimation = g_object_ref(animation);
    if (error)
        g_error_free(error);
    g_object_unref(loader);
    mW = w;
    mH = h;
    rewind();
    return mAnimation != nullptr;
}

void SecondGif::rewind()
{
    if (mIter)
        g_object_unref(mIter);
    mIter = nullptr;
    mTime = 0;
    mShown = 0;
}

bool SecondGif::next(SecondReading& frame, int frames)
{
    frame = SecondReading();
    if (!mAnimation || mShown >= frames)
        return false;
    // The clock starts at 0 and moves on by the delay of the frame shown, so each
    // step lands on the start of the next frame.
    GTimeVal now{(glong)(mTime / 1000000), (glong)(mTime % 1000000)};
    if (!mIter)
    {
        mIter = gdk_pixbuf_animation_get_iter(static_cast<GdkPixbufAnimation*>(mAnimation), &now);
    }
    else
    {
        const int delay = gdk_pixbuf_animation_iter_get_delay_time(static_cast<GdkPixbufAnimationIter*>(mIter));
        if (delay < 0)
            return false;  // a still picture, or the animation's last loop has ended
        mTime += (long long)delay * 1000;
        now = GTimeVal{(glong)(mTime / 1000000), (glong)(mTime % 1000000)};
        gdk_pixbuf_animation_iter_advance(static_cast<GdkPixbufAnimationIter*>(mIter), &now);
        // Past the last frame, the animation holds it with no delay.
        if (gdk_pixbuf_animation_iter_get_delay_time(static_cast<GdkPixbufAnimationIter*>(mIter)) < 0)
            return false;
    }
    const GdkPixbuf* pixbuf = gdk_pixbuf_animation_iter_get_pixbuf(static_cast<GdkPixbufAnimationIter*>(mIter));
    if (!pixbuf || gdk_pixbuf_get_width(pixbuf) != mW || gdk_pixbuf_get_height(pixbuf) != mH ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || gdk_pixbuf_get_colorspace(pixbuf) != GDK_COLORSPACE_RGB)
        return false;
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const guint8* pixels = gdk_pixbuf_read_pixels(pixbuf);
    frame.w = mW;
    frame.h = mH;
    frame.rgba.resize((size_t)mW * mH * 4);
    for (int y = 0; y < mH; y++)
        for (int x = 0; x < mW; x++)
        {
            const guint8* p = pixels + (size_t)y * stride + (size_t)x * channels;
            std::uint8_t* q = &frame.rgba[((size_t)y * mW + x) * 4];
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
            q[3] = alpha ? p[3] : 255;
        }
    frame.ok = true;
    mShown++;
    return true;
}

}
