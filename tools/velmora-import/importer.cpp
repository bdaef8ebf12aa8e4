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
    "sheet's JSON (hash or array form, with its PNG beside it), then loads and draws\n"
    "it with the engine as velmora-check does.\n"
    "  --pause MS             pause of each PNG frame, and of sheet frames without a\n"
    "                         duration (default 100)\n"
    "  --tag NAME             import only this animation of a sheet, as it plays\n"
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

enum Kind { PNG, GIF, SHEET };

Kind kindOf(const std::vector<std::uint8_t>& data, const std::string& name)
{
    static const std::uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data.size() >= sizeof png && std::memcmp(data.data(), png, sizeof png) == 0)
        return PNG;
    if (data.size() >= 4 && std::memcmp(data.data(), "GIF8", 4) == 0)
        return GIF;
    size_t first = 0;
    while (first < data.size() && std::isspace(data[first]))
        first++;
    if (fs::path(name).extension() == ".json" || (first < data.size() && data[first] == '{'))
        return SHEET;
    throw ReadError(name, "not a PNG, a GIF or a sprite sheet's JSON");
}

// The frames of an import, one at a time and as often as they are needed: held
// in memory for PNG frames and sheets, composed anew from the file for a GIF,
// whose frames can be many.
class FrameSource
{
public:
    virtual ~FrameSource() = default;
    virtual void rewind() = 0;
    virtual bool next(Frame& frame) = 0;  // false after the last
};

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

// What the sources hold: the importer's reading, and the second reading of the
// same files that the engine's drawing is compared with.
struct Sources
{
    std::unique_ptr<FrameSource> frames;
    std::unique_ptr<FrameSource> second;  // null where there is none; then why not
    std::string noSecond;
    std::string what;
    const GifSource* gif = nullptr;
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

Sources readSources(const Options& options)
{
    const Limits limits;
    Sources sources;
    std::vector<Frame> frames, second;
    long long pixels = 0;
    for (const std::string& source : options.sources)
    {
        std::vector<std::uint8_t> data = readFile(source);
        Kind kind = kindOf(data, source);
        if (kind != PNG && options.sources.size() > 1)
            throw ReadError(source, std::string(kind == GIF ? "a GIF" : "a sheet's JSON") +
                                        " is imported alone, not with other sources");
        if (kind != SHEET && !options.tag.empty())
            throw ReadError(source, "--tag " + options.tag + ": only a sprite sheet's JSON has tags");
        if (kind == PNG)
        {
            if ((int)frames.size() >= limits.frames)
                throw ReadError(source, "more than " + std::to_string(limits.frames) + " frames");
            Frame frame{readPng(data.data(), data.size(), source, limits), options.pause};
            pixels += (long long)frame.image.w * frame.image.h;
            if (pixels > limits.pixels)
                throw ReadError(source, "the frames hold more pixels together than this tool reads");
            frames.push_back(std::move(frame));
            if (sources.noSecond.empty())
            {
                std::string why;
                second.push_back(Frame{readSecondPng(data, limits.pixels, why), options.pause});
                if (!why.empty())
                    sources.noSecond = source + ": " + why;
            }
            sources.what = "PNG frames";
        }
        else if (kind == GIF)
        {
            std::unique_ptr<GifSource> gif(new GifSource(std::move(data), source, limits));
            sources.gif = gif.get();
            sources.frames = std::move(gif);
            sources.what = "GIF " + source;
        }
        else
        {
            Sheet sheet = readSheet(std::string(data.begin(), data.end()), source, limits);
            std::vector<int> order = playOrder(sheet, options.tag, source);
            checkOneSize(sheet, order, options.tag, source);
            const std::string imagePath = (fs::path(source).parent_path() / sheet.image).string();
            Limits sheetLimits = limits;
            sheetLimits.side = 4 * limits.side;
            std::vector<std::uint8_t> png;
            try
            {
                png = readFile(imagePath);
            }
            catch (const ReadError& e)
            {
                throw ReadError(source, "its sheet image " + imagePath + " " + e.what());
            }
            Image image = readPng(png.data(), png.size(), imagePath, sheetLimits);
            frames = cutSheet(sheet, image, order, options.pause, source, limits);
            std::string why;
            Image secondImage = readSecondPng(png, (long long)sheetLimits.side * sheetLimits.side, why);
            if (why.empty() && (secondImage.w != image.w || secondImage.h != image.h))
                throw ReadError(imagePath, "read as " + std::to_string(image.w) + "x" + std::to_string(image.h) +
                                               " but as " + std::to_string(secondImage.w) + "x" +
                                               std::to_string(secondImage.h) + " by " +
                                               velmoracheck::secondReader() + ": the file is damaged");
            if (why.empty())
                second = cutSheet(sheet, secondImage, order, options.pause, source, limits);
            else
                sources.noSecond = imagePath + ": " + why;
            sources.what = "sheet " + source + (options.tag.empty() ? "" : ", tag " + options.tag);
        }
    }
    if (!sources.frames)
    {
        sources.frames.reset(new HeldFrames(std::move(frames)));
        if (sources.noSecond.empty())
            sources.second.reset(new HeldFrames(std::move(second)));
    }
    return sources;
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
    Surface surface(SDL_CreateRGBSurface(SDL_SWSURFACE, image.w, image.h, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0),
                    SDL_FreeSurface);
    if (!surface)
        throw ReadError(path, std::string("cannot make a surface for it: ") + SDL_GetError());
    SDL_LockSurface(surface.get());
    for (int y = 0; y < image.h; y++)
    {
        Uint32* row = (Uint32*)((Uint8*)surface->pixels + (size_t)y * surface->pitch);
        for (int x = 0; x < image.w; x++)
            row[x] = image.at(x, y)[3] ? rgbOf(image.at(x, y)) : key;
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

int importSet(const Options& options, std::ostream& out)
{
    Sources sources = readSources(options);
    const Survey found = survey(*sources.frames, options);
    if (sources.gif)
    {
        std::string why;
        std::unique_ptr<SecondGifSource> second(new SecondGifSource(*sources.gif, (int)found.count, why));
        if (second->isOpen())
            sources.second = std::move(second);
        else
            sources.noSecond = options.sources[0] + ": " + velmoracheck::secondGifReader() + " can't read it: " + why;
    }
    const int w = found.w, h = found.h;
    out << "read " << sources.what << ": " << found.count << (found.count == 1 ? " frame" : " frames") << " of "
        << w << "x" << h << "\n";
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

    fs::path target = fs::path(options.outDir).lexically_normal();
    if (target.filename().empty())
        target = target.parent_path();
    const std::string longest = target.string() + "/" + frameName(found.count - 1, found.count);
    if (longest.size() >= (size_t)kSpriteInfoReadSize)
        throw ReadError(target.string(), "too long a path: the engine reads paths of at most " +
                                              std::to_string(kSpriteInfoReadSize - 1) + " characters");
    const bool replacing = holdsSet(target, options.force);
    const fs::path parent = target.parent_path().empty() ? "." : target.parent_path();
    const std::string name = target.filename().string();

    ScratchDir fresh(parent, name + ".new");
    writeSet(fresh.path(), *sources.frames, found.count, key, options);
    std::unique_ptr<ScratchDir> old;
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
    out << "wrote " << target.string() << ": " << found.count << " frames of " << w << "x" << h
        << " as 24-bit BMPs, and its info file\n\n";

    // The engine's verdict, then what it draws, compared with the second reading
    // of the sources where there is one.
    velmoracheck::Verdict verdict = velmoracheck::checkSet(target.string(), out);
    FrameSource& reference = sources.second ? *sources.second : *sources.frames;
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
    if (sources.second)
        out << "\ndrawn by the engine as the source shows every frame, read a second time by "
            << (sources.gif ? velmoracheck::secondGifReader() : velmoracheck::secondReader()) << "\n";
    else
        out << "\ndrawn by the engine as the source shows every frame (not cross-checked: " << sources.noSecond
            << ")\n";
    return verdict;
}

}

namespace
{

// The comparison as the loader hands over each frame: drawn through a sprite over
// two backgrounds, compared with the next frame of the source, then let go.
struct Comparison
{
    CSpriteBase* base = nullptr;
    const std::function<bool(Frame&)>* next = nullptr;
    SDL_Surface* target = nullptr;
    CSprite sprite = CSprite();
    int loaded = 0;
    int sourceFrames = 0;
    bool sourceEnded = false;
    std::string differs;
};

std::string compareFrame(Comparison& c, int index, const Frame& frame)
{
    const int w = frame.image.w, h = frame.image.h;
    if (w != c.base->mAnim[index].image->w || h != c.base->mAnim[index].image->h)
        return "frame " + std::to_string(index) + " is " + std::to_string(c.base->mAnim[index].image->w) + "x" +
               std::to_string(c.base->mAnim[index].image->h) + " where the source has " + std::to_string(w) + "x" +
               std::to_string(h);
    if (!c.target)
    {
        const SDL_PixelFormat* format = SDL_GetVideoSurface()->format;
        c.target = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, format->Rmask, format->Gmask, format->Bmask, 0);
        // The sprite's background buffer stays with it, as in the program; it is one small surface.
        c.sprite.init(c.base, c.target);
        c.sprite.stopAnim();
    }
    if (w != c.target->w || h != c.target->h)
        return "frame " + std::to_string(index) + " is " + std::to_string(w) + "x" + std::to_string(h) +
               " but frame 0 is " + std::to_string(c.target->w) + "x" + std::to_string(c.target->h);
    for (const std::uint32_t background : {0x000000u, 0xFFFFFFu})
    {
        SDL_FillRect(c.target, nullptr,
                     SDL_MapRGB(c.target->format, background >> 16, background >> 8 & 0xFF, background & 0xFF));
        c.sprite.set(0, 0);
        c.sprite.setFrame(index);
        c.sprite.draw();
        SDL_LockSurface(c.target);
        std::string differs;
        long differing = 0;
        for (int y = 0; y < h; y++)
        {
            for (int x = 0; x < w; x++)
            {
                Uint8 r, g, b;
                SDL_GetRGB(((Uint32*)((Uint8*)c.target->pixels + (size_t)y * c.target->pitch))[x], c.target->format,
                           &r, &g, &b);
                const std::uint8_t* p = frame.image.at(x, y);
                const std::uint32_t want = p[3] ? rgbOf(p) : background;
                const std::uint32_t got = (std::uint32_t)r << 16 | (std::uint32_t)g << 8 | b;
                if (got != want && differing++ == 0)
                    differs = "frame " + std::to_string(index) + " shows " + colour(got) + " at " + std::to_string(x) +
                              "," + std::to_string(y) + " where the source has " +
                              (p[3] ? colour(want) : "a transparent pixel");
            }
        }
        SDL_UnlockSurface(c.target);
        if (differing > 0)
            return differs + " (" + std::to_string(differing) + " of " + std::to_string((long)w * h) +
                   " pixels differ)";
    }
    return "";
}

void compareLoadedFrame(const CSpriteInfoLine* line, void* user)
{
    if (line->kind != CSpriteInfoLine::FRAME || !line->loaded)
        return;
    Comparison& c = *static_cast<Comparison*>(user);
    c.loaded++;
    Frame frame;
    if (!c.sourceEnded)
        c.sourceEnded = !(*c.next)(frame);
    if (!c.sourceEnded)
        c.sourceFrames++;
    if (c.differs.empty() && !c.sourceEnded)
        c.differs = compareFrame(c, line->index, frame);
    SDL_FreeSurface(c.base->mAnim[line->index].image);
    c.base->mAnim[line->index].image = nullptr;
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
    initReporting(&base, dir.c_str(), compareLoadedFrame, &c);
    if (!c.sourceEnded)
        for (Frame rest; next(rest);)
            c.sourceFrames++;
    if (c.sourceFrames != c.loaded || base.mNumFrames != c.loaded)
        c.differs = "the engine loads " + std::to_string(c.loaded) + " frames of " + std::to_string(c.sourceFrames);
    if (c.target)
        SDL_FreeSurface(c.target);
    c.sprite.release();
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
