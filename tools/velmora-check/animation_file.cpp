// Animated image files for the preview. Every picture is written whole and
// opaque: a GIF frame with a colour table of its own (giflib), a WebP frame
// losslessly (libwebp's animation encoder, which stores only what changed).
#include "animation_file.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace velmoracheck
{

namespace
{

const int kGifTick = 10;            // GIF delays count hundredths of a second
const int kGifLongest = 655350;     // in a 16-bit field
const int kWebpLongest = 0xFFFFFF;  // WebP durations are 24-bit milliseconds

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<int> delaysOf(const Animation& animation, int tick, int longest)
{
    std::vector<int> lengths;
    for (const Picture& picture : animation.pictures)
        lengths.push_back(picture.ms);
    return shownDelays(lengths, tick, longest);
}

// Says where a delay differs from the frame's length, and why.
void noteDelays(const Animation& animation, const std::vector<int>& delays, int tick, int longest,
                const std::string& format, std::ostream& notes)
{
    long long wanted = 0, shown = 0;
    for (size_t i = 0; i < delays.size(); i++)
    {
        const Picture& picture = animation.pictures[i];
        wanted += picture.ms;
        shown += delays[i];
        if (delays[i] == picture.ms)
            continue;
        // Rounding alone moves a delay by at most one step.
        std::string why = picture.ms < kShortestDelay && delays[i] >= kShortestDelay
                              ? "viewers show shorter frames as 100 ms"
                          : delays[i] == longest / tick * tick ? "the longest a " + format + " frame can last"
                          : tick > 1 && std::abs(delays[i] - picture.ms) <= tick
                              ? format + " counts in hundredths of a second"
                              : "making up for the short frames shown longer before it";
        notes << "frame " << picture.frame << ": pause " << picture.pause << " ms is shown as " << delays[i]
              << " ms: " << why << "\n";
    }
    if (wanted != shown)
        notes << "one round of the animation lasts " << wanted << " ms, in the " << format << " " << shown
              << " ms\n";
}

// One GIF frame's colour table and the index of every pixel in it: the
// frame's own colours when it has at most 256, else giflib's quantiser's 256.
struct IndexedPicture
{
    std::vector<GifByteType> indices;
    std::vector<GifColorType> colours;
    size_t distinct = 0;  // colours in the picture itself
};

IndexedPicture indexed(const Animation& animation, const Picture& picture)
{
    IndexedPicture out;
    const size_t count = (size_t)animation.w * animation.h;
    out.indices.resize(count);
    std::unordered_map<unsigned, GifByteType> index;
    for (size_t p = 0; p < count; p++)
    {
        const unsigned char* rgb = &picture.rgb[p * 3];
        unsigned key = (unsigned)rgb[0] << 16 | (unsigned)rgb[1] << 8 | rgb[2];
        auto found = index.find(key);
        if (found == index.end())
        {
            if (index.size() < 256)
                out.colours.push_back(GifColorType{rgb[0], rgb[1], rgb[2]});
            found = index.emplace(key, (GifByteType)(index.size() & 0xFF)).first;
        }
        out.indices[p] = found->second;
    }
    out.distinct = index.size();
    if (out.distinct <= 256)
        return out;

    std::vector<GifByteType> planes[3];
    for (int c = 0; c < 3; c++)
    {
        planes[c].resize(count);
        for (size_t p = 0; p < count; p++)
            planes[c][p] = picture.rgb[p * 3 + c];
    }
    int size = 256;
    out.colours.assign(256, GifColorType{0, 0, 0});
    if (GifQuantizeBuffer(animation.w, animation.h, &size, planes[0].data(), planes[1].data(), planes[2].data(),
                          out.indices.data(), out.colours.data()) == GIF_ERROR)
        size = 0;
    out.colours.resize((size_t)size);
    return out;
}

// A giflib colour map: the table padded to a power of two, as GIF stores it.
ColorMapObject* colourMap(const std::vector<GifColorType>& colours)
{
    int size = 1 << GifBitSize((int)std::max<size_t>(colours.size(), 2));
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    if (map)
        std::copy(colours.begin(), colours.end(), map->Colors);
    return map;
}

// The giflib calls of one file, which stop at the first failure and keep its reason.
class GifWriter
{
public:
    explicit GifWriter(GifFileType* gif) : mGif(gif) {}

    bool ok() const { return mOk; }
    const char* reason() const { return GifErrorString(mError); }

    void check(int result)
    {
        if (result == GIF_ERROR)
            fail(mGif->Error);
    }

    void loopForever()
    {
        static const GifByteType loop[] = {1, 0, 0};
        check(EGifPutExtensionLeader(mGif, APPLICATION_EXT_FUNC_CODE));
        check(EGifPutExtensionBlock(mGif, 11, "NETSCAPE2.0"));
        check(EGifPutExtensionBlock(mGif, 3, loop));
        check(EGifPutExtensionTrailer(mGif));
    }

    void fail(int error)
    {
        if (mOk)
        {
            mOk = false;
            mError = error;
        }
    }

    void picture(int w, int h, const IndexedPicture& picture, int delay)
    {
        GraphicsControlBlock control = {};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.DelayTime = delay / kGifTick;
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        size_t length = EGifGCBToExtension(&control, extension);
        check(EGifPutExtension(mGif, GRAPHICS_EXT_FUNC_CODE, (int)length, extension));
        // The quantiser and the colour map fail only when memory runs out.
        ColorMapObject* map = picture.colours.empty() ? nullptr : colourMap(picture.colours);
        if (!map)
        {
            fail(E_GIF_ERR_NOT_ENOUGH_MEM);
            return;
        }
        check(EGifPutImageDesc(mGif, 0, 0, w, h, false, map));
        GifFreeMapObject(map);
        for (int y = 0; y < h && mOk; y++)
            check(EGifPutLine(mGif, const_cast<GifByteType*>(&picture.indices[(size_t)y * w]), w));
    }

    // Closes the file; false when that or anything before it failed.
    bool close()
    {
        int error = 0;
        if (EGifCloseFile(mGif, &error) == GIF_ERROR)
            fail(error);
        return mOk;
    }

private:
    GifFileType* mGif;
    bool mOk = true;
    int mError = 0;
};

std::string cannotWrite(const std::string& file, const std::string& reason)
{
    return "cannot write " + file + ": " + reason;
}

bool writeGif(const std::string& file, const Animation& animation, std::ostream& notes, std::string* error)
{
    std::vector<int> delays = delaysOf(animation, kGifTick, kGifLongest);

    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
    {
        *error = cannotWrite(file, std::strerror(errno));
        return false;
    }
    int openError = 0;
    GifFileType* gif = EGifOpenFileHandle(fd, &openError);
    if (!gif)
    {
        ::close(fd);
        std::remove(file.c_str());
        *error = cannotWrite(file, GifErrorString(openError));
        return false;
    }
    EGifSetGifVersion(gif, true);
    GifWriter writer(gif);
    writer.check(EGifPutScreenDesc(gif, animation.w, animation.h, 8, 0, nullptr));
    writer.loopForever();
    int quantised = 0;
    size_t most = 0;
    for (size_t i = 0; i < animation.pictures.size() && writer.ok(); i++)
    {
        IndexedPicture picture = indexed(animation, animation.pictures[i]);
        quantised += picture.distinct > 256;
        most = std::max(most, picture.distinct);
        writer.picture(animation.w, animation.h, picture, delays[i]);
    }
    const char* reason = nullptr;
    if (!writer.close())
        reason = writer.reason();
    if (reason)
    {
        std::remove(file.c_str());
        *error = cannotWrite(file, reason);
        return false;
    }
    if (quantised > 0)
        notes << quantised << (quantised == 1 ? " frame has" : " frames have") << " more than the 256 colours"
              << " a GIF frame holds (up to " << most << "): giflib's quantiser picks 256 for each,"
              << " so their colours are near, not exact (a .webp keeps them all)\n";
    noteDelays(animation, delays, kGifTick, kGifLongest, "GIF", notes);
    return true;
}

bool writeWebp(const std::string& file, const Animation& animation, std::ostream& notes, std::string* error)
{
    std::vector<int> delays = delaysOf(animation, 1, kWebpLongest);

    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
    {
        *error = cannotWrite(file, "this libwebp does not match the one it was built with");
        return false;
    }
    options.anim_params.loop_count = 0;
    config.lossless = 1;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(animation.w, animation.h, &options);
    if (!encoder)
    {
        *error = cannotWrite(file, "libwebp can't start an animation of that size");
        return false;
    }
    bool ok = true;
    int timestamp = 0;
    for (size_t i = 0; i < animation.pictures.size() && ok; i++)
    {
        WebPPicture picture;
        ok = WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = animation.w;
        picture.height = animation.h;
        ok = ok && WebPPictureImportRGB(&picture, animation.pictures[i].rgb.data(), animation.w * 3) &&
             WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += delays[i];
    }
    WebPData data;
    WebPDataInit(&data);
    ok = ok && WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) && WebPAnimEncoderAssemble(encoder, &data);
    if (!ok)
        *error = cannotWrite(file, std::string("libwebp: ") + WebPAnimEncoderGetError(encoder));
    WebPAnimEncoderDelete(encoder);

    if (ok)
    {
        FILE* out = std::fopen(file.c_str(), "wb");
        ok = out && std::fwrite(data.bytes, 1, data.size, out) == data.size;
        int written = errno;
        if (out && std::fclose(out) != 0 && ok)
        {
            ok = false;
            written = errno;
        }
        if (!ok)
        {
            if (out)
                std::remove(file.c_str());
            *error = cannotWrite(file, std::strerror(written));
        }
    }
    WebPDataClear(&data);
    if (ok)
        noteDelays(animation, delays, 1, kWebpLongest, "WebP", notes);
    return ok;
}

}

bool animationFormatOf(const std::string& file, AnimationFormat* format)
{
    std::string name = lowercase(file);
    if (endsWith(name, ".gif"))
        *format = AnimationFormat::kGif;
    else if (endsWith(name, ".webp"))
        *format = AnimationFormat::kWebp;
    else
        return false;
    return true;
}

std::vector<int> shownDelays(const std::vector<int>& ms, int tick, int longest)
{
    std::vector<int> delays;
    long long wanted = 0;  // where the set's clock is at the end of each frame
    long long shown = 0;   // and where the file's is
    const long long shortest = (kShortestDelay + tick - 1) / tick * tick;
    for (int length : ms)
    {
        wanted += std::max(length, 0);
        long long delay = (long long)std::floor((double)(wanted - shown) / tick + 0.5) * tick;
        delay = std::min<long long>(std::max(delay, shortest), longest / tick * tick);
        delays.push_back((int)delay);
        shown += delay;
    }
    return delays;
}

bool writeAnimation(const std::string& file, AnimationFormat format, const Animation& animation,
                    std::ostream& notes, std::string* error)
{
    if (format == AnimationFormat::kGif)
        return writeGif(file, animation, notes, error);
    return writeWebp(file, animation, notes, error);
}

}
