// velmora-import: reads the sources, cuts every pixel to opaque or transparent,
// picks a key colour the art doesn't use, writes the set into a temporary
// directory beside OUTDIR and renames it into place; then the engine loads it
// (velmora-check's report) and draws each frame, which must look like the source.
// A set that fails either is taken away again, and an old one put back.
#include "importer.h"

#include <SDL.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include "rgb_text.h"
#include "second_reading.h"
#include "sprite.h"
#include "sprite_info.h"
#include "sprite_check.h"
#include "sprite_set_writer.h"

namespace velmoraimport
{

namespace
{

namespace fs = std::filesystem;

struct Options
{
    std::string outDir;
    std::vector<std::string> sources;
    int pause = 100;
    std::string tag;
    std::string image;
    int threshold = 128;
    bool matte = false;
    std::uint8_t matteRgb[3] = {0, 0, 0};
    bool force = false;
    bool help = false;
};

const char kUsage[] =
    "usage: velmora-import [OPTIONS] OUTDIR SOURCE...\n"
    "Writes a sprite set (24-bit BMP frames and an \"info\" file) into OUTDIR from\n"
    "PNG frames (one per file, in the order given), one animated GIF, or one sprite\n"
    "sheet's JSON (hash, array or multi-atlas form, with its PNG beside it), then\n"
    "loads and draws it with the engine as velmora-check does.\n"
    "  --pause MS             pause of each PNG frame, and of sheet frames without a\n"
    "                         duration (default 100)\n"
    "  --tag NAME             import only this animation of a sheet, as it plays\n"
    "  --image FILE           the sheet's picture, used instead of the one the JSON's\n"
    "                         meta.image names or the importer finds beside it\n"
    "  --alpha-threshold N    a pixel is transparent when its alpha is below N (0-255,\n"
    "                         default 128)\n"
    "  --matte R,G,B          flatten semi-transparent pixels over this colour instead;\n"
    "                         only pixels of alpha 0 stay transparent\n"
    "  --force                replace the sprite set already in OUTDIR\n"
    "  -h, --help             show this text\n"
    "Exit status: 0 the set loads cleanly, 1 it loads with warnings, 2 nothing was\n"
    "written (unreadable source, bad arguments, or a set the engine can't use).\n";

// A usage mistake: reported with the option and ended with status 2.
struct UsageError
{
    std::string text;
};

int number(const std::string& option, const std::string& text, int low, int high)
{
    int value = 0;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value < low || value > high)
        throw UsageError{option + ": \"" + text + "\" is not a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high)};
    return value;
}

Options parse(const std::vector<std::string>& args)
{
    Options options;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); i++)
    {
        std::string arg = args[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos)
        {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            inlineValue = true;
        }
        auto take = [&]() {
            if (inlineValue)
                return value;
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "-h" || arg == "--help")
            options.help = true;
        else if (arg == "--force")
            options.force = true;
        else if (arg == "--pause")
            options.pause = number(arg, take(), 0, 1000000);
        else if (arg == "--tag")
            options.tag = take();
        else if (arg == "--image")
            options.image = take();
        else if (arg == "--alpha-threshold")
            options.threshold = number(arg, take(), 0, 255);
        else if (arg == "--matte")
        {
            std::string rgb = take();
            if (!velmoracheck::parseRgb(rgb, options.matteRgb))
                throw UsageError{"--matte: \"" + rgb + "\" is not R,G,B, three whole numbers from 0 to 255"};
            options.matte = true;
        }
        else if (arg == "--")
        {
            positional.insert(positional.end(), args.begin() + (long)i + 1, args.end());
            break;
        }
        else if (arg.size() > 1 && arg[0] == '-')
            throw UsageError{arg + ": no such option"};
        else
            positional.push_back(arg);
    }
    if (options.help)
        return options;
    if (positional.size() < 2)
        throw UsageError{"give an output directory and at least one source"};
    options.outDir = positional[0];
    options.sources.assign(positional.begin() + 1, positional.end());
    return options;
}

// The frames of an import, one at a time and as often as they are needed.
class FrameSource
{
public:
    virtual ~FrameSource() = default;
    virtual void rewind() = 0;
    virtual bool next(Frame& frame) = 0;  // false after the last
};

// A sheet's frames, cut once and held.
class HeldFrames : public FrameSource
{
public:
    explicit HeldFrames(std::vector<Frame> frames) : mFrames(std::move(frames)) {}
    void rewind() override { mAt = 0; }
    bool next(Frame& frame) override
    {
        if (mAt >= mFrames.size())
            return false;
        frame = mFrames[mAt++];
        return true;
    }

private:
    std::vector<Frame> mFrames;
    size_t mAt = 0;
};

// The second reading of a PNG, or an empty image, with the reason, when the
// second reader can't read it.
Image readSecondPng(const std::vector<std::uint8_t>& data, long long maxPixels, std::string& why)
{
    velmoracheck::SecondReading second = velmoracheck::readSecondly(data.data(), data.size(), maxPixels);
    if (!second.ok)
    {
        why = std::string(velmoracheck::secondReader()) + " can't read it: " + second.why;
        return Image();
    }
    Image image;
    image.w = second.w;
    image.h = second.h;
    image.rgba = std::move(second.rgba);
    return image;
}

// PNG frames, decoded anew from their files at each pass, so that only one
// frame's pixels are held at a time. The second reading takes the second
// decoder's pixels, and the importer's own where that decoder can't read a file
// (noSecond then says which and why).
class PngFiles : public FrameSource
{
public:
    PngFiles(const std::vector<std::string>& files, int pause, const Limits& limits, std::string* noSecond)
        : mFiles(files), mPause(pause), mLimits(limits), mNoSecond(noSecond)
    {
    }
    void rewind() override { mAt = 0; }
    bool next(Frame& frame) override
    {
        if (mAt >= mFiles.size())
            return false;
        const std::string& file = mFiles[mAt++];
        const std::vector<std::uint8_t> data = readFile(file);
        std::string why;
        frame.image = Image();  // the last frame's pixels go before the next one's come
        if (mNoSecond)
            frame.image = readSecondPng(data, mLimits.pixels, why);
        if (!mNoSecond || !why.empty())
            frame.image = readPng(data.data(), data.size(), file, mLimits);
        if (!why.empty() && mNoSecond->empty())
            *mNoSecond = file + ": " + why;
        frame.pause = mPause;
        return true;
    }

private:
    std::vector<std::string> mFiles;
    int mPause;
    Limits mLimits;
    std::string* mNoSecond;
    size_t mAt = 0;
};

class GifSource : public FrameSource
{
public:
    GifSource(std::vector<std::uint8_t> data, const std::string& name, const Limits& limits)
        : mData(std::move(data)), mName(name), mLimits(limits)
    {
        rewind();
    }
    void rewind() override { mReader.reset(new GifFrames(mData.data(), mData.size(), mName, mLimits)); }
    bool next(Frame& frame) override { return mReader->next(frame); }
    int shortDelays() const { return mReader->shortDelays(); }
    int width() const { return mReader->width(); }
    int height() const { return mReader->height(); }
    const std::vector<std::uint8_t>& data() const { return mData; }

private:
    std::vector<std::uint8_t> mData;
    std::string mName;
    Limits mLimits;
    std::unique_ptr<GifFrames> mReader;
};

// GdkPixbuf's reading of the same GIF, as many frames as the importer read: it
// shows fewer where its animation ends first. Newer GdkPixbufs (those reading
// through glycin) loop a GIF without end, so where it has more can't be told.
// Opened only once the importer has read the whole file within its limits.
class SecondGifSource : public FrameSource
{
public:
    SecondGifSource(const GifSource& gif, int frames, std::string& why) : mFrames(frames)
    {
        mOpen = mGif.open(gif.data().data(), gif.data().size(), gif.width(), gif.height(), why);
    }
    bool isOpen() const { return mOpen; }
    void rewind() override { mGif.rewind(); }
    bool next(Frame& frame) override
    {
        velmoracheck::SecondReading reading;
        if (!mGif.next(reading, mFrames))
            return false;
        frame.image.w = reading.w;
        frame.image.h = reading.h;
        frame.image.rgba = std::move(reading.rgba);
        return true;
    }

private:
    int mFrames;
    velmoracheck::SecondGif mGif;
    bool mOpen = false;
};

// What the sources hold: the readers' reading, and the second reading of the
// same files that the engine's drawing is compared with, opened for the comparison.
struct Sources
{
    Art art;
    std::unique_ptr<FrameSource> frames;
    std::unique_ptr<FrameSource> second;  // null where there is none; then why not
    std::string noSecond;
    const GifSource* gif = nullptr;
};

// A sheet's picture as the second decoder reads it.
Image readSecondPicture(const std::string& path, const Limits& limits)
{
    std::string cannot;
    const std::vector<std::uint8_t> png = readFile(path);
    Image image = readSecondPng(png, (long long)limits.side * limits.side, cannot);
    if (!cannot.empty())
        throw NotReadSecondly(path + ": " + cannot);
    // The importer's reading of the same file took its size from IHDR, which comes
    // first: width and height, 4 bytes each, from byte 16.
    auto word = [&](size_t at) {
        return png.size() < at + 4 ? 0 : (int)((unsigned)png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]);
    };
    const int w = word(16), h = word(20);
    if (w != image.w || h != image.h)
        throw ReadError(path, "read as " + std::to_string(w) + "x" + std::to_string(h) + " but as " +
                                  std::to_string(image.w) + "x" + std::to_string(image.h) + " by " +
                                  velmoracheck::secondReader() + ": the file is damaged");
    return image;
}

Sources readSources(const Options& options)
{
    const Limits limits;
    Sources sources;
    sources.art = readArt(ArtRequest{options.sources, options.tag, options.image, options.pause, readSecondPicture},
                          limits);
    Art& art = sources.art;
    if (art.kind == Kind::PNG)
    {
        sources.frames.reset(new PngFiles(art.pngs, options.pause, limits, nullptr));
    }
    else if (art.kind == Kind::GIF)
    {
        std::unique_ptr<GifSource> gif(new GifSource(std::move(art.gif), options.sources[0], limits));
        sources.gif = gif.get();
        sources.frames = std::move(gif);
    }
    else
    {
        sources.frames.reset(new HeldFrames(std::move(art.sheetFrames)));
    }
    return sources;
}

// Opens the second reading of the sources, once the first has been read whole
// (count frames).
void openSecond(Sources& sources, size_t count, const Options& options)
{
    std::string why;
    if (sources.art.kind == Kind::PNG)
    {
        sources.second.reset(new PngFiles(sources.art.pngs, options.pause, Limits(), &sources.noSecond));
    }
    else if (sources.art.kind == Kind::GIF)
    {
        std::unique_ptr<SecondGifSource> second(new SecondGifSource(*sources.gif, (int)count, why));
        if (second->isOpen())
            sources.second = std::move(second);
        else
            sources.noSecond = options.sources[0] + ": " + velmoracheck::secondGifReader() + " can't read it: " + why;
    }
    else
    {
        sources.noSecond = sources.art.noSecond;
        if (sources.noSecond.empty())
            sources.second.reset(new HeldFrames(std::move(sources.art.secondFrames)));
    }
}

// Leaves every pixel of a frame opaque (alpha 255) or transparent (alpha 0): cut
// at the threshold, or flattened over the matte. Returns the number of
// semi-transparent pixels that were kept or flattened.
long flatten(Frame& frame, const Options& options)
{
    long semi = 0;
    for (size_t i = 0; i < frame.image.rgba.size(); i += 4)
    {
        std::uint8_t* p = &frame.image.rgba[i];
        const int a = p[3];
        const bool transparent = options.matte ? a == 0 : a < options.threshold;
        if (transparent)
        {
            std::memset(p, 0, 4);
            continue;
        }
        if (a < 255)
        {
            semi++;
            if (options.matte)
                for (int c = 0; c < 3; c++)
                    p[c] = (std::uint8_t)((p[c] * a + options.matteRgb[c] * (255 - a) + 127) / 255);
        }
        p[3] = 255;
    }
    return semi;
}

std::uint32_t rgbOf(const std::uint8_t* p)
{
    return (std::uint32_t)p[0] << 16 | (std::uint32_t)p[1] << 8 | p[2];
}

std::string colour(std::uint32_t rgb)
{
    return std::to_string(rgb >> 16 & 0xFF) + "," + std::to_string(rgb >> 8 & 0xFF) + "," +
           std::to_string(rgb & 0xFF);
}

const std::uint32_t kMagenta = 0xFF00FF;

// Magenta unless an opaque pixel has it; then the first colour with red above 0
// (the engine sets no key when red is 0) that no opaque pixel has. 0 when the
// art uses every such colour.
std::uint32_t chooseKey(const std::vector<bool>& used)
{
    if (!used[kMagenta])
        return kMagenta;
    for (std::uint32_t rgb = 0x010000; rgb <= 0xFFFFFF; rgb++)
        if (!used[rgb])
            return rgb;
    return 0;
}

using Surface = std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)>;

// The image as an SDL surface without alpha, transparent pixels in the key colour.
Surface keyedSurface(const Image& image, std::uint32_t key, const std::string& path)
{
    // 24 bits a pixel, the layout SDL writes as it is, without a converted copy.
    Surface surface(SDL_CreateRGBSurface(SDL_SWSURFACE, image.w, image.h, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0),
                    SDL_FreeSurface);
    if (!surface)
        throw ReadError(path, std::string("cannot make a surface for it: ") + SDL_GetError());
    SDL_LockSurface(surface.get());
    for (int y = 0; y < image.h; y++)
    {
        Uint8* row = (Uint8*)surface->pixels + (size_t)y * surface->pitch;
        for (int x = 0; x < image.w; x++)
        {
            const std::uint32_t rgb = image.at(x, y)[3] ? rgbOf(image.at(x, y)) : key;
            for (int i = 0; i < 3; i++)  // the pixel's value, in the machine's byte order
                row[3 * x + i] = (Uint8)(rgb >> (SDL_BYTEORDER == SDL_LIL_ENDIAN ? 8 * i : 16 - 8 * i));
        }
    }
    SDL_UnlockSurface(surface.get());
    return surface;
}

bool hasTransparent(const Image& image)
{
    for (size_t i = 3; i < image.rgba.size(); i += 4)
        if (image.rgba[i] == 0)
            return true;
    return false;
}

std::string frameName(size_t index, size_t count)
{
    std::string digits = std::to_string(index);
    digits.insert(0, std::to_string(count - 1).size() - digits.size(), '0');
    return "frame" + digits + ".bmp";
}

// Writes the frames of source, flattened, as the set's BMPs and info file. SDL
// writes a surface without alpha as an uncompressed 24-bit BMP.
void writeSet(const fs::path& dir, FrameSource& source, size_t count, std::uint32_t key, const Options& options)
{
    velmora::SpriteSetWriter set(dir.string(),
                                 {"written by velmora-import: file, pause in ms, key colour (transparent)"});
    source.rewind();
    Frame frame;
    for (size_t i = 0; i < count && source.next(frame); i++)
    {
        flatten(frame, options);
        const std::string name = frameName(i, count);
        // A frame without transparent pixels gets no key (red 0): there is nothing to cut, and
        // a sprite's background buffer, which takes frame 0's key, then restores every colour.
        const std::uint32_t frameKey = hasTransparent(frame.image) ? key : velmora::kNoKey;
        if (!set.add(name, keyedSurface(frame.image, key, (dir / name).string()).get(), frame.pause, frameKey))
            break;
    }
    if (!set.finish())
        throw ReadError(set.failedFile(), "cannot be written: " + set.reason());
}

// A directory made beside OUTDIR, removed with what it holds unless kept.
class ScratchDir
{
public:
    ScratchDir(const fs::path& parent, const std::string& name)
    {
        std::string pattern = (parent / ("." + name + ".XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw ReadError(parent.string(), std::string("cannot make a directory in it: ") + std::strerror(errno));
        mPath = pattern;
        // mkdtemp keeps the directory to its owner; the set is for everyone the umask allows.
        const mode_t mask = umask(0);
        umask(mask);
        chmod(pattern.c_str(), 0777 & ~mask);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        if (!mPath.empty())
            fs::remove_all(mPath, ec);
    }
    const fs::path& path() const { return mPath; }
    void forget() { mPath.clear(); }

private:
    fs::path mPath;
};

void renameOrThrow(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        throw ReadError(to.string(), "cannot be put in place: " + ec.message());
}

// What OUTDIR holds now: nothing, an empty directory, or a set (refused unless
// --force). Anything else is left alone.
bool holdsSet(const fs::path& out, bool force)
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(out, ec)))
    {
        const fs::path parent = out.parent_path().empty() ? "." : out.parent_path();
        if (!fs::is_directory(parent, ec))
            throw ReadError(out.string(), "its parent directory " + parent.string() + " does not exist");
        return false;
    }
    if (!fs::is_directory(out, ec) || fs::is_symlink(out, ec))
        throw ReadError(out.string(), "exists and is not a directory");
    if (fs::exists(out / "info", ec))
    {
        if (!force)
            throw ReadError(out.string(), "already holds a sprite set (an \"info\" file); --force replaces it");
        for (const fs::directory_entry& entry : fs::directory_iterator(out, ec))
        {
            const std::string name = entry.path().filename().string();
            if (name != "info" && entry.path().extension() != ".bmp")
                throw ReadError(out.string(), "holds " + name +
                                                  " beside its sprite set, which --force would remove; move it first");
        }
        return true;
    }
    if (!fs::is_empty(out, ec))
        throw ReadError(out.string(), "exists and holds other files: give a new or an empty directory");
    return false;
}

// What a first pass over the frames finds: their number and size, the colours
// of their opaque pixels, and what flattening did.
struct Survey
{
    size_t count = 0;
    int w = 0, h = 0;
    long semi = 0;
    bool anyTransparent = false;
    std::vector<bool> used = std::vector<bool>(1 << 24, false);
};

Survey survey(FrameSource& source, const Options& options)
{
    Survey found;
    Frame frame;
    source.rewind();
    while (source.next(frame))
    {
        if (found.count == 0)
        {
            found.w = frame.image.w;
            found.h = frame.image.h;
        }
        else if (frame.image.w != found.w || frame.image.h != found.h)
        {
            throw ReadError(options.sources.size() > 1 ? options.sources[found.count] : options.sources[0],
                            "frame " + std::to_string(found.count) + " is " + std::to_string(frame.image.w) + "x" +
                                std::to_string(frame.image.h) + " but frame 0 is " + std::to_string(found.w) + "x" +
                                std::to_string(found.h) + ": every frame of a set has one size");
        }
        found.semi += flatten(frame, options);
        found.anyTransparent = found.anyTransparent || hasTransparent(frame.image);
        for (size_t i = 0; i < frame.image.rgba.size(); i += 4)
            if (frame.image.rgba[i + 3])
                found.used[rgbOf(&frame.image.rgba[i])] = true;
        found.count++;
    }
    return found;
}

// What was read, what flattening did and the key, for the report; the key is returned.
std::uint32_t reportRead(const Sources& sources, const Survey& found, const Options& options, std::ostream& out)
{
    out << "read " << sources.art.what << ": " << found.count << (found.count == 1 ? " frame" : " frames") << " of "
        << found.w << "x" << found.h << "\n";
    for (const std::string& note : sources.art.notes)
        out << note << "\n";
    for (const std::string& warning : sources.art.warnings)
        out << "warning: " << warning << "\n";
    if (sources.gif && sources.gif->shortDelays() > 0)
        out << "delays: " << sources.gif->shortDelays() << (sources.gif->shortDelays() == 1 ? " frame" : " frames")
            << " with a delay of 0 or 1 hundredths, shown for 100 ms as browsers and viewers show them\n";

    const long semi = found.semi;
    if (semi > 0 && options.matte)
        out << "semi-transparent: " << semi << " pixels flattened over " << (int)options.matteRgb[0] << ","
            << (int)options.matteRgb[1] << "," << (int)options.matteRgb[2] << "\n";
    else if (semi > 0)
        out << "semi-transparent: " << semi << " pixels with alpha from " << options.threshold
            << " to 254 kept opaque in their own colour (--matte R,G,B flattens them)\n";

    const std::uint32_t key = chooseKey(found.used);
    if (key == 0)
        throw ReadError(options.sources[0], "its opaque pixels use every colour with red above 0: none is left for the key");
    if (!found.anyTransparent)
        out << "key: none, as no pixel is transparent\n";
    else if (key == kMagenta)
        out << "key: " << colour(key) << "\n";
    else
        out << "key: " << colour(key) << ", as opaque pixels of the art have 255,0,255\n";
    return key;
}

// OUTDIR as given, checked: its path fits the engine's reads, and it holds no
// set unless --force.
fs::path targetOf(const Options& options, size_t count, bool& replacing)
{
    fs::path target = fs::path(options.outDir).lexically_normal();
    if (target.filename().empty())
        target = target.parent_path();
    const std::string longest = target.string() + "/" + frameName(count - 1, count);
    if (longest.size() >= (size_t)kSpriteInfoReadSize)
        throw ReadError(target.string(), "too long a path: the engine reads paths of at most " +
                                              std::to_string(kSpriteInfoReadSize - 1) + " characters");
    replacing = holdsSet(target, options.force);
    return target;
}

// Writes the set beside target and renames it into place; an old set it
// replaces is kept in old until the new one has passed.
void placeSet(const fs::path& target, bool replacing, Sources& sources, const Survey& found, std::uint32_t key,
              const Options& options, std::unique_ptr<ScratchDir>& old)
{
    const fs::path parent = target.parent_path().empty() ? "." : target.parent_path();
    const std::string name = target.filename().string();
    ScratchDir fresh(parent, name + ".new");
    writeSet(fresh.path(), *sources.frames, found.count, key, options);
    if (replacing)
    {
        old.reset(new ScratchDir(parent, name + ".old"));
        renameOrThrow(target, old->path());
    }
    else
    {
        std::error_code ec;
        fs::remove(target, ec);  // an empty directory, or nothing
    }
    try
    {
        renameOrThrow(fresh.path(), target);
    }
    catch (...)
    {
        if (old)
            renameOrThrow(old->path(), target), old->forget();
        throw;
    }
    fresh.forget();
}

int importSet(const Options& options, std::ostream& out)
{
    Sources sources = readSources(options);
    Survey found = survey(*sources.frames, options);
    const std::uint32_t key = reportRead(sources, found, options, out);
    std::vector<bool>().swap(found.used);
    bool replacing = false;
    const fs::path target = targetOf(options, found.count, replacing);
    std::unique_ptr<ScratchDir> old;
    placeSet(target, replacing, sources, found, key, options, old);
    out << "wrote " << target.string() << ": " << found.count << " frames of " << found.w << "x" << found.h
        << " as 24-bit BMPs, and its info file\n\n";

    // The engine's verdict, then what it draws, compared with the second reading
    // of the sources where there is one. The first reading is let go first.
    velmoracheck::Verdict verdict = velmoracheck::checkSet(target.string(), out);
    openSecond(sources, found.count, options);
    FrameSource& reference = sources.second ? *sources.second : *sources.frames;
    if (sources.second && sources.art.kind == Kind::SHEET)
        sources.frames.reset();
    reference.rewind();
    std::string differs = verdict == velmoracheck::kUnusable
                              ? "the engine can't use the set"
                              : compareDrawn(target.string(), [&](Frame& frame) {
                                    if (!reference.next(frame))
                                        return false;
                                    flatten(frame, options);
                                    return true;
                                });
    if (!differs.empty())
    {
        std::error_code ec;
        fs::remove_all(target, ec);
        if (old)
            renameOrThrow(old->path(), target), old->forget();
        throw ReadError(target.string(), "not written: " + differs);
    }
    if (sources.noSecond.empty())
        out << "\ndrawn by the engine as the source shows every frame, read a second time by "
            << (sources.gif ? velmoracheck::secondGifReader() : velmoracheck::secondReader()) << "\n";
    else
        out << "\ndrawn by the engine as the source shows every frame (not cross-checked: " << sources.noSecond
            << ")\n";
    const int warned = sources.art.warnings.empty() ? velmoracheck::kClean : velmoracheck::kWarnings;
    return std::max<int>(verdict, warned);
}

}

namespace
{

// The comparison as the loader hands over each frame: drawn over two backgrounds
// as a sprite draws it (the loaded frame blitted with the key the loader gave
// it), a band of rows at a time, and compared with the source's frame, which is
// read before the loader loads the next one. So a picture is held twice, as the
// engine loaded it and as the source shows it (in 3 bytes a pixel), and never a
// third time: the bands stand in for a frame-sized target, and no sprite's
// background buffer (a copy of frame 0) is made, as nothing is restored.
struct Reference
{
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
    std::vector<bool> opaque;
};

struct Comparison
{
    CSpriteBase* base = nullptr;
    const std::function<bool(Frame&)>* next = nullptr;
    SDL_Surface* target = nullptr;  // one band of the frame's rows
    Reference frame;                // the source's frame the next loaded one is compared with
    int loaded = 0;
    int sourceFrames = 0;
    bool sourceEnded = false;
    std::string differs;
};

const int kBandRows = 64;

// The first pixel of rows top.. of the band that differs from the source, counted in differing.
std::string compareBand(Comparison& c, int index, const Reference& frame, int top, std::uint32_t background,
                        long& differing)
{
    std::string differs;
    SDL_LockSurface(c.target);
    for (int y = top; y < std::min(frame.h, top + c.target->h); y++)
    {
        const Uint32* row = (const Uint32*)((const Uint8*)c.target->pixels + (size_t)(y - top) * c.target->pitch);
        for (int x = 0; x < frame.w; x++)
        {
            Uint8 r, g, b;
            SDL_GetRGB(row[x], c.target->format, &r, &g, &b);
            const size_t at = (size_t)y * frame.w + x;
            const bool opaque = frame.opaque[at];
            const std::uint32_t want = opaque ? rgbOf(&frame.rgb[at * 3]) : background;
            const std::uint32_t got = (std::uint32_t)r << 16 | (std::uint32_t)g << 8 | b;
            if (got != want && differing++ == 0)
                differs = "frame " + std::to_string(index) + " shows " + colour(got) + " at " + std::to_string(x) +
                          "," + std::to_string(y) + " where the source has " +
                          (opaque ? colour(want) : "a transparent pixel");
        }
    }
    SDL_UnlockSurface(c.target);
    return differs;
}

std::string compareFrame(Comparison& c, int index, const Reference& frame)
{
    const int w = frame.w, h = frame.h;
    SDL_Surface* loaded = c.base->mAnim[index].image;
    if (w != loaded->w || h != loaded->h)
        return "frame " + std::to_string(index) + " is " + std::to_string(loaded->w) + "x" +
               std::to_string(loaded->h) + " where the source has " + std::to_string(w) + "x" + std::to_string(h);
    if (!c.target)
    {
        const SDL_PixelFormat* format = SDL_GetVideoSurface()->format;
        c.target = SDL_CreateRGBSurface(SDL_SWSURFACE, w, std::min(h, kBandRows), 32, format->Rmask, format->Gmask,
                                        format->Bmask, 0);
    }
    if (w != c.target->w)
        return "frame " + std::to_string(index) + " is " + std::to_string(w) + "x" + std::to_string(h) +
               " but frame 0 is " + std::to_string(c.target->w) + " wide";
    for (const std::uint32_t background : {0x000000u, 0xFFFFFFu})
    {
        std::string differs;
        long differing = 0;
        for (int top = 0; top < h; top += c.target->h)
        {
            SDL_FillRect(c.target, nullptr,
                         SDL_MapRGB(c.target->format, background >> 16, background >> 8 & 0xFF, background & 0xFF));
            // The band shows rows top.. of the frame drawn at 0,0.
            SDL_Rect rows = {0, (Sint16)top, (Uint16)w, (Uint16)c.target->h};
            SDL_BlitSurface(loaded, &rows, c.target, nullptr);
            const std::string band = compareBand(c, index, frame, top, background, differing);
            if (differs.empty())
                differs = band;
        }
        if (differing > 0)
            return differs + " (" + std::to_string(differing) + " of " + std::to_string((long)w * h) +
                   " pixels differ)";
    }
    return "";
}

// The source's next frame, into c.frame; false after its last.
bool nextSourceFrame(Comparison& c)
{
    c.frame = Reference();
    Frame frame;
    if (!c.sourceEnded)
        c.sourceEnded = !(*c.next)(frame);
    if (c.sourceEnded)
        return false;
    c.sourceFrames++;
    const Image& image = frame.image;
    c.frame.w = image.w;
    c.frame.h = image.h;
    c.frame.rgb.resize(image.rgba.size() / 4 * 3);
    c.frame.opaque.resize(image.rgba.size() / 4);
    for (size_t i = 0; i < image.rgba.size() / 4; i++)
    {
        std::memcpy(&c.frame.rgb[i * 3], &image.rgba[i * 4], 3);
        c.frame.opaque[i] = image.rgba[i * 4 + 3] != 0;
    }
    return true;
}

// The loader's hook: compares the frame it has just loaded, then lets it go (as
// the hook may) before the source's next frame is read and the next one loads.
void compareLoadedFrame(const CSpriteInfoLine* line, void* user)
{
    if (line->kind != CSpriteInfoLine::FRAME || !line->loaded)
        return;
    Comparison& c = *static_cast<Comparison*>(user);
    c.loaded++;
    if (c.differs.empty() && !c.sourceEnded)
        c.differs = compareFrame(c, line->index, c.frame);
    SDL_FreeSurface(c.base->mAnim[line->index].image);
    c.base->mAnim[line->index].image = nullptr;
    nextSourceFrame(c);
}

}

std::string compareDrawn(const std::string& dir, const std::vector<Frame>& frames)
{
    size_t at = 0;
    return compareDrawn(dir, [&](Frame& frame) {
        if (at >= frames.size())
            return false;
        frame = frames[at++];
        return true;
    });
}

std::string compareDrawn(const std::string& dir, const std::function<bool(Frame&)>& next)
{
    CSpriteBase base = CSpriteBase();
    Comparison c;
    c.base = &base;
    c.next = &next;
    nextSourceFrame(c);
    initReporting(&base, dir.c_str(), compareLoadedFrame, &c);
    while (nextSourceFrame(c))
    {
    }
    if (c.sourceFrames != c.loaded || base.mNumFrames != c.loaded)
        c.differs = "the engine loads " + std::to_string(c.loaded) + " frames of " + std::to_string(c.sourceFrames);
    if (c.target)
        SDL_FreeSurface(c.target);
    base.release();
    return c.differs;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    Options options;
    try
    {
        options = parse(args);
    }
    catch (const UsageError& e)
    {
        err << "velmora-import: " << e.text << "\n" << kUsage;
        return velmoracheck::kUnusable;
    }
    if (options.help)
    {
        out << kUsage;
        return 0;
    }
    const bool opened = SDL_WasInit(SDL_INIT_VIDEO) == 0;
    std::string error;
    if (opened && !velmoracheck::openDisplay(&error))
    {
        err << "velmora-import: " << error << "\n";
        return velmoracheck::kUnusable;
    }
    int status;
    try
    {
        status = importSet(options, out);
    }
    catch (const ReadError& e)
    {
        err << "velmora-import: " << e.file() << ": " << e.what() << "\n";
        status = velmoracheck::kUnusable;
    }
    catch (const std::exception& e)
    {
        err << "velmora-import: " << e.what() << "\n";
        status = velmoracheck::kUnusable;
    }
    if (opened)
        SDL_Quit();
    return status;
}

}
