// The sprite-set checker: loads a set with the engine's own loader, watching every
// line it reads, and explains to the set's artist what the engine made of it.
//
// Nothing here parses an info file. The engine's CSpriteBase::init reports each
// read to a hook (what it read, how many fields matched, the values in force,
// whether the image loaded); the checker only interprets those reports. The one
// place where it reads the file itself is past the last frame the loader wanted,
// and there it uses the loader's own read size and skip rule.
#include "sprite_check.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_flavour.h"
#include "bmp_check.h"
#include "second_reading.h"
#include "sprite.h"
#include "sprite_info.h"

namespace velmoracheck
{

namespace
{

namespace fs = std::filesystem;

const int kDisplayWidth = 1024;
const int kDisplayHeight = 768;

// Where SDL's pixels of a loaded frame differ from a second reading of its file.
struct Misreading
{
    long differing = 0;  // pixels, or -1 when the second reader can't read the file
    long pixels = 0;
    int x = 0, y = 0;    // the first that differs
    std::uint32_t got = 0, want = 0;
};

// The bits a channel of a bit-field BMP holds: 8 for other flavours.
int channelBits(const BmpFlavour& flavour, int channel)
{
    if (flavour.bitsPerPixel != 16 && flavour.bitsPerPixel != 32)
        return 8;
    int bits = 0;
    for (std::uint32_t mask = flavour.masks[channel]; mask; mask &= mask - 1)
        bits++;
    return bits == 0 ? 8 : bits;
}

// Whether two readings of a channel of so many bits agree. Readers widen fewer
// than 8 bits in different ways, so only the bits the file holds are compared;
// more than 8 bits each reader rounds or cuts to 8, so they may differ by 1.
bool sameChannel(int a, int b, int bits)
{
    if (bits > 8)
        return std::abs(a - b) <= 1;
    return a >> (8 - bits) == b >> (8 - bits);
}

Misreading compareWithSecondReading(SDL_Surface* image, const std::string& path, const BmpFlavour& flavour)
{
    Misreading m;
    m.differing = -1;
    int bits[3];
    for (int c = 0; c < 3; c++)
        bits[c] = channelBits(flavour, c);
    std::string why;
    useSecondReading(path, (long long)image->w * image->h, [&](int w, int h, const std::uint8_t* rgba) {
        if (w != image->w || h != image->h || image->format->BytesPerPixel != 4 || SDL_LockSurface(image) < 0)
            return;
        m.differing = 0;
        m.pixels = (long)image->w * image->h;
        for (int y = 0; y < image->h; y++)
        {
            const Uint32* row = (const Uint32*)((const Uint8*)image->pixels + y * image->pitch);
            for (int x = 0; x < image->w; x++)
            {
                Uint8 rgb[3];
                SDL_GetRGB(row[x], image->format, &rgb[0], &rgb[1], &rgb[2]);
                const std::uint8_t* want = &rgba[((size_t)y * w + x) * 4];
                bool same = true;
                for (int c = 0; c < 3; c++)
                    same = same && sameChannel(rgb[c], want[c], bits[c]);
                if (same)
                    continue;
                if (m.differing++ == 0)
                {
                    m.x = x;
                    m.y = y;
                    m.got = (std::uint32_t)rgb[0] << 16 | (std::uint32_t)rgb[1] << 8 | rgb[2];
                    m.want = (std::uint32_t)want[0] << 16 | (std::uint32_t)want[1] << 8 | want[2];
                }
            }
        }
        SDL_UnlockSurface(image);
    }, why);
    return m;
}

// One read of the loader, copied out of the hook's buffers.
struct Read
{
    int number = 0;  // the loader's count of reads
    int line = 0;    // the line of the file this read comes from
    bool continued = false;
    CSpriteInfoLine::Kind kind = CSpriteInfoLine::HEADER;
    std::string text;
    int fields = 0;
    int numFrames = 0;
    int index = 0;
    std::string name;
    int pause = 0, r = 0, g = 0, b = 0;
    bool keyed = false;
    bool loaded = false;
    std::string path;
    int w = 0, h = 0;
    std::string sdlError;  // SDL's reason when the image did not load
    long keyPixels = -1;   // pixels the key makes transparent, -1 when not counted
    Misreading misread;    // what SDL made of the pixels, against a second reading
};

struct Watch
{
    CSpriteBase* base = nullptr;
    std::vector<Read> reads;
    int line = 0;
    bool afterEmpty = false;
};

long keyPixels(SDL_Surface* image);

void watchRead(const CSpriteInfoLine* info, void* user)
{
    Watch* watch = static_cast<Watch*>(user);
    Read read;
    read.number = info->number;
    // After a read that began with a NUL byte the loader can't tell whether that
    // line ended, and calls the next read a continuation; it is taken as a new line.
    read.continued = info->continued != 0 && !watch->afterEmpty;
    watch->afterEmpty = info->number > 0 && info->text && info->text[0] == '\0';
    // A read that continues a long line stays on that line; an empty file has none.
    if (info->number > 0 && !read.continued)
        watch->line++;
    read.line = watch->line;
    read.kind = info->kind;
    read.text = info->text ? info->text : "";
    read.fields = info->fields;
    read.numFrames = info->numFrames;
    if (info->kind == CSpriteInfoLine::FRAME)
    {
        read.index = info->index;
        read.name = info->name ? info->name : "";
        read.pause = info->pause;
        read.r = info->r;
        read.g = info->g;
        read.b = info->b;
        read.keyed = info->keyed != 0;
        read.loaded = info->loaded != 0;
        read.path = info->path ? info->path : "";
        read.w = info->w;
        read.h = info->h;
        if (!read.loaded)
            read.sdlError = SDL_GetError();
        // What is needed of the frame is taken now, and the frame let go: a set
        // of many large frames is checked in the memory of one.
        SDL_Surface*& image = watch->base->mAnim[info->index].image;
        if (read.loaded && image)
        {
            read.keyPixels = read.keyed ? keyPixels(image) : -1;
            read.misread = compareWithSecondReading(image, read.path, readBmpFlavourFile(read.path));
            SDL_FreeSurface(image);
            image = nullptr;
        }
    }
    watch->reads.push_back(read);
}

// The text of a read as the artist would recognise it: without its line end,
// with control bytes escaped, and shortened when long.
std::string shown(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
    {
        if (c == '\n')
            continue;
        if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 32 || c == 127)
        {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
        else
            out += (char)c;
    }
    if (out.size() > 60)
        out = out.substr(0, 57) + "...";
    return "\"" + out + "\"";
}

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    std::string word;
    while (in >> word)
        out.push_back(word);
    return out;
}

std::string entries(int first, int last)
{
    if (first == last)
        return "entry " + std::to_string(first) + " stays";
    return "entries " + std::to_string(first) + " to " + std::to_string(last) + " stay";
}

std::string size(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// Writes the report of one set and keeps its verdict.
class Report
{
public:
    Report(std::ostream& out) : mOut(out) {}

    void note(const std::string& what, int line, const std::string& text)
    {
        std::string label = what;
        label.resize(9, ' ');
        std::string where = line > 0 ? "line " + std::to_string(line) : "";
        where.resize(10, ' ');
        mOut << "  " << label << where << text << "\n";
    }
    void warn(int line, const std::string& text)
    {
        note("warning", line, text);
        mWarnings++;
    }
    void fail(int line, const std::string& text)
    {
        note("error", line, text);
        mErrors++;
    }

    Verdict verdict() const { return mErrors ? kUnusable : mWarnings ? kWarnings : kClean; }
    int warnings() const { return mWarnings; }

private:
    std::ostream& mOut;
    int mWarnings = 0;
    int mErrors = 0;
};

// Why the loader got no info file at all.
std::string whyNoInfo(const std::string& dir)
{
    std::error_code ec;
    if (!fs::exists(dir, ec))
        return "no such directory";
    if (!fs::is_directory(dir, ec))
        return "not a directory";
    fs::path info = fs::path(dir) / "info";
    if (!fs::exists(info, ec))
        return "no \"info\" file in it";
    if ((dir + "/info").size() >= (size_t)kSpriteInfoReadSize)
        return "its path is longer than the loader's " + std::to_string(kSpriteInfoReadSize - 1) +
               " characters";
    return "its \"info\" file can't be opened for reading";
}

// The library the checker runs on, as the artist is told about it.
std::string thisSdl()
{
    const SDL_version* version = SDL_Linked_Version();
    return "this SDL (" + std::to_string(version->major) + "." + std::to_string(version->minor) + "." +
           std::to_string(version->patch) + ")";
}

// Why a frame image did not load, in the artist's terms.
std::string whyNoImage(const Read& read)
{
    if (read.name.empty())
        return "the line gives no file name, and no earlier line gave one";
    if (read.path.empty())
        return "the path of " + shown(read.name) + " is longer than the loader's " +
               std::to_string(kSpriteInfoReadSize - 1) + " characters";
    std::error_code ec;
    if (!fs::exists(read.path, ec))
        return read.path + " does not exist";
    if (fs::is_directory(read.path, ec))
        return read.path + " is a directory";
    const BmpFlavour header = readBmpFlavourFile(read.path);
    std::string flavour = unreadableFlavour(header, thisSdl());
    if (!flavour.empty())
        return read.path + " is " + flavour;
    const int depth = header.bitsPerPixel;
    const std::string noDepth =
        header.valid && depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16 && depth != 24 &&
                depth != 32
            ? "its header gives " + std::to_string(depth) +
                  " bits per pixel, which no BMP has (1, 4, 8, 16, 24 or 32); save the frame again as a 24-bit BMP"
            : "";
    // The engine refused the file itself before SDL read it.
    CBmpCheck bmp;
    if (!checkBmpFile(read.path.c_str(), &bmp))
        return read.path + (bmp.refused == CBmpCheck::TOO_LARGE ? " is too large for a frame: "
                                                                 : " is cut short or damaged: ") +
               bmp.reason + (noDepth.empty() ? "" : "; " + noDepth);
    if (!noDepth.empty())
        return read.path + " is damaged: " + noDepth;
    // SDL 2 and 3 under the compatibility layer have no pixel format for some bit
    // fields, and say so in their own words ("Unknown pixel format", "Parameter
    // 'format' is invalid").
    if (!read.sdlError.empty() && header.valid && hasBitFields(header) &&
        (header.bitsPerPixel == 16 || header.bitsPerPixel == 32))
        return read.path + " has bit fields that " + thisSdl() + " can't use (" + describe(header) +
               "): save the frame as a plain 24-bit BMP (for ImageMagick, BMP3:)";
    // SDL read the file without complaint, and the loader refused the picture.
    if (read.sdlError.empty())
        return read.path + " has a damaged BMP header: SDL reads a size or depth from it that can't be drawn";
    return read.path + " is not a BMP that SDL can read (" + read.sdlError + ")";
}

std::string describeKey(const Read& read)
{
    if (read.keyed)
        return "key " + std::to_string(read.r & 0xFF) + "," + std::to_string(read.g & 0xFF) + "," +
               std::to_string(read.b & 0xFF);
    return "key none (red is " + std::to_string(read.r) + ")";
}

const char* kFieldNames[] = {"name", "pause", "red", "green", "blue"};

// What a frame line left to earlier lines: fields that are missing or do not parse.
void reportReuse(Report& report, const Read& read, const Read* previous)
{
    if (read.fields >= 5)
        return;
    if (read.fields <= 0)
    {
        if (!read.name.empty())
            report.warn(read.line, "no file name on this line: the loader uses the previous one, " +
                                       shown(read.name) + ", with its pause and key");
        return;
    }
    std::string kept;
    for (int i = read.fields; i < 5; i++)
    {
        kept += kFieldNames[i];
        kept += i == 3 ? " and " : i < 4 ? ", " : "";
    }
    std::vector<std::string> given = words(read.text);
    std::string why = (int)given.size() > read.fields
                          ? "\"" + given[read.fields] + "\" is not a number, so "
                          : "";
    std::string from = previous ? "keep the values of line " + std::to_string(previous->line)
                                : "are 0, as no frame line came before";
    report.warn(read.line, why + kept + " " + from + " (pause " + std::to_string(read.pause) +
                               ", key " + std::to_string(read.r) + "," + std::to_string(read.g) +
                               "," + std::to_string(read.b) + ")");
}

void reportKey(Report& report, const Read& read)
{
    if (!read.keyed && (read.g != 0 || read.b != 0))
        report.warn(read.line, "green or blue given with red " + std::to_string(read.r) +
                                   ": no colour key is set, because only a red above 0 sets one");
    if (read.keyed && (read.r > 255 || read.g < 0 || read.g > 255 || read.b < 0 || read.b > 255))
        report.warn(read.line, "key " + std::to_string(read.r) + "," + std::to_string(read.g) + "," +
                                   std::to_string(read.b) + " is outside 0-255: each keeps its low 8 bits, " +
                                   describeKey(read));
}

std::string colour(int r, int g, int b)
{
    return std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
}

std::string colour(std::uint32_t rgb)
{
    return colour(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
}

// Pixels of a loaded frame that its colour key makes transparent. Frames are in
// the checker's 32-bit display format.
long keyPixels(SDL_Surface* image)
{
    if (!(image->flags & SDL_SRCCOLORKEY) || image->format->BytesPerPixel != 4 || SDL_LockSurface(image) < 0)
        return -1;
    long count = 0;
    for (int y = 0; y < image->h; y++)
    {
        const Uint32* row = (const Uint32*)((const Uint8*)image->pixels + y * image->pitch);
        for (int x = 0; x < image->w; x++)
            count += row[x] == image->format->colorkey;
    }
    SDL_UnlockSurface(image);
    return count;
}

// The first palette entry where SDL's colours differ from those the file holds, or -1.
int misreadEntry(const SDL_Palette* palette, const BmpFlavour& flavour)
{
    for (size_t i = 0; i < flavour.palette.size() && (int)i < palette->ncolors; i++)
    {
        const SDL_Color& c = palette->colors[i];
        if (((std::uint32_t)c.r << 16 | (std::uint32_t)c.g << 8 | c.b) != flavour.palette[i])
            return (int)i;
    }
    return -1;
}

// What SDL made of a loaded frame's colours: a palette read from elsewhere than
// the file keeps it, which entry a key picks in a palette image (SDL_MapRGB takes
// the nearest one), and whether any pixel is transparent.
void reportColours(Report& report, const Read& read, const BmpFlavour& flavour)
{
    int r = read.r & 0xFF, g = read.g & 0xFF, b = read.b & 0xFF;
    SDL_Surface* loaded = loadBMP(read.path.c_str());
    const SDL_Palette* palette = loaded && loaded->format->palette && loaded->format->palette->ncolors > 0
                                     ? loaded->format->palette
                                     : nullptr;
    int misread = palette && flavour.valid ? misreadEntry(palette, flavour) : -1;
    if (misread >= 0)
    {
        const SDL_Color& c = palette->colors[misread];
        std::string fix =
            flavour.headerSize > 40 ? "; save it with a 40-byte Windows header (for ImageMagick, BMP3:)" : "";
        report.warn(read.line, thisSdl() + " reads other colours than the file's palette holds (entry " +
                                   std::to_string(misread) + " comes out as " + colour(c.r, c.g, c.b) +
                                   ", the file has " + colour(flavour.palette[misread]) +
                                   "), so the frame shows wrong colours" + fix);
    }
    if (palette && read.keyed)
    {
        Uint32 index = SDL_MapRGB(loaded->format, (Uint8)r, (Uint8)g, (Uint8)b);
        const SDL_Color& entry = palette->colors[index];
        if (entry.r != r || entry.g != g || entry.b != b)
            report.warn(read.line, "key " + colour(r, g, b) + " is not in the image's " +
                                       std::to_string(palette->ncolors) + "-colour palette: the nearest entry, " +
                                       std::to_string(index) + " (" + colour(entry.r, entry.g, entry.b) +
                                       "), becomes transparent instead");
    }
    SDL_FreeSurface(loaded);
    if (read.keyed && read.keyPixels == 0)
        report.warn(read.line, "no pixel has the key colour " + colour(r, g, b) +
                                   ": nothing in this frame is transparent");
}

// Reads on past the point where the loader stopped, with the loader's read size
// and skip rule, and lists the frame lines it never read.
void reportUnread(Report& report, const std::string& dir, const Read& last, int declared)
{
    FILE* fp = std::fopen((dir + "/info").c_str(), "r");
    if (!fp)
        return;
    std::unique_ptr<FILE, int (*)(FILE*)> closer(fp, std::fclose);
    char buffer[kSpriteInfoReadSize];
    bool lineStart = true;
    int line = last.line;
    for (int reads = 0; reads < last.number; reads++)
    {
        if (!std::fgets(buffer, sizeof buffer, fp))
            return;
        lineStart = spriteInfoReadEndsLine(buffer);
    }
    int unread = 0;
    while (std::fgets(buffer, sizeof buffer, fp))
    {
        if (lineStart)
            line++;
        lineStart = spriteInfoReadEndsLine(buffer);
        if (spriteInfoLineSkipped(buffer))
            continue;
        if (++unread <= 5)
            report.warn(line, shown(buffer) + " comes after the " + std::to_string(declared) +
                                  " declared frames and is never read");
    }
    if (unread > 5)
        report.warn(0, std::to_string(unread - 5) + " more frame lines after the declared frames are never read");
}

// A loaded frame whose pixels differ from the second reading of its file.
void reportMisreading(Report& report, const Read& read, const BmpFlavour& flavour)
{
    const Misreading& m = read.misread;
    if (m.differing <= 0)
        return;
    report.warn(read.line, thisSdl() + " and " + secondReader() + " read " + std::to_string(m.differing) + " of " +
                               std::to_string(m.pixels) + " pixels differently (at " + std::to_string(m.x) + "," +
                               std::to_string(m.y) + " SDL shows " + colour(m.got) + ", " + secondReader() + " " +
                               colour(m.want) + "): one of them misreads this BMP flavour" +
                               (flavour.valid ? " (" + describe(flavour) + ")" : std::string()) +
                               "; save the frame as a plain 24-bit BMP, which every reader reads alike");
}


// What the loader made of the header: a "FILES: <count>" it can use, or why not.
// tableFailed: the loader stopped at the header without a frame table.
void reportHeader(Report& report, const std::string& dir, const Read& header, bool tableFailed)
{
    int declared = header.numFrames;
    std::error_code ec;
    if (header.number == 0)
    {
        report.fail(0, fs::is_directory(fs::path(dir) / "info", ec)
                           ? "\"info\" is a directory, not a file"
                           : "the info file is empty: the loader finds no \"FILES: <count>\" header");
    }
    else if (header.fields != 1)
    {
        std::string hint = header.text.rfind("#", 0) == 0 ? " (a comment can't come before the header)" : "";
        report.fail(header.line, shown(header.text) + " is not a header of the form \"FILES: <count>\"" +
                                     hint + ": the loader reads no frames");
    }
    else
    {
        report.note("header", header.line, "FILES: " + std::to_string(declared));
        if (declared <= 0)
            report.fail(header.line, std::to_string(declared) + " frames declared: sprites of this set draw nothing");
        else if (tableFailed)
            report.fail(header.line, std::to_string(declared) + " frames declared: a frame table that large can't be allocated");
    }
}

// One frame line as the loader read it: the frame, its BMP flavour, and what the
// engine passes over in it. previous is the frame line before it, whose values
// missing fields keep; firstLoaded the first frame that loaded, whose size is the
// set's (both null when there is none).
void reportFrame(Report& report, const Read& read, const Read* previous, const Read* firstLoaded)
{
    std::string what = "frame " + std::to_string(read.index);
    if (read.loaded)
        report.note(what, read.line, read.name + ", pause " + std::to_string(read.pause) + " ms, " +
                                         describeKey(read) + ", " + size(read.w, read.h));
    else
        report.note(what, read.line, shown(read.text));
    BmpFlavour flavour = read.path.empty() ? BmpFlavour() : readBmpFlavourFile(read.path);
    if (flavour.valid)
        report.note("format", read.line, "BMP, " + describe(flavour));
    reportReuse(report, read, previous);
    if (!read.loaded)
    {
        report.fail(read.line, "cannot load the image: " + whyNoImage(read) +
                                   "; the loader stops here and reads no further frames");
        return;
    }
    reportKey(report, read);
    reportColours(report, read, flavour);
    reportMisreading(report, read, flavour);
    if (read.pause < 0)
        report.warn(read.line, "a negative pause: the frame changes at the next millisecond");
    if (firstLoaded && (read.w != firstLoaded->w || read.h != firstLoaded->h))
        report.warn(read.line, size(read.w, read.h) + " differs from the set's size, " +
                                   size(firstLoaded->w, firstLoaded->h) + " (frame " +
                                   std::to_string(firstLoaded->index) + "): sprites save and restore only " +
                                   size(firstLoaded->w, firstLoaded->h) + " beneath themselves");
    if (read.w > kDisplayWidth || read.h > kDisplayHeight)
        report.warn(read.line, "larger than the " + size(kDisplayWidth, kDisplayHeight) +
                                   " display: only part of it can be seen");
}

// After a load that read its frames: fewer frame lines than declared, or frame
// lines after the declared ones, which the loader never reads.
void reportFrameCount(Report& report, const std::string& dir, const Read& last, int loaded, int declared)
{
    if (loaded == 0)
        report.fail(0, "no frame lines follow the header");
    else if (loaded < declared)
        report.warn(0, std::to_string(declared) + " frames declared but only " + std::to_string(loaded) +
                           (loaded == 1 ? " frame line" : " frame lines") + " given: " + entries(loaded, declared - 1) +
                           " empty, and sprites show nothing for " +
                           std::to_string(declared - loaded) + " of every " + std::to_string(declared) +
                           " frame steps");
    else
        reportUnread(report, dir, last, declared);
}

void printResult(std::ostream& out, const Report& report, int loaded, const CSpriteBase& base)
{
    switch (report.verdict())
    {
    case kClean:
        out << "  result: loads cleanly, " << loaded << (loaded == 1 ? " frame" : " frames") << " of "
            << size(base.mW, base.mH) << "\n";
        break;
    case kWarnings:
        out << "  result: loads with " << report.warnings()
            << (report.warnings() == 1 ? " warning" : " warnings") << "\n";
        break;
    case kUnusable:
        out << "  result: cannot be used\n";
        break;
    }
}
}

bool openDisplay(std::string* error)
{
    // The checker never shows anything: SDL's headless driver gives it the format.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
    {
        *error = std::string("cannot start SDL: ") + SDL_GetError();
        return false;
    }
    if (!SDL_SetVideoMode(kDisplayWidth, kDisplayHeight, 32, SDL_SWSURFACE))
    {
        *error = std::string("cannot set a 1024x768x32 display: ") + SDL_GetError();
        SDL_Quit();
        return false;
    }
    return true;
}

Verdict checkSet(const std::string& dir, std::ostream& out)
{
    out << dir << "\n";
    Report report(out);

    CSpriteBase base = CSpriteBase();
    Watch watch;
    watch.base = &base;
    SDL_ClearError();
    int status = initReporting(&base, dir.c_str(), watchRead, &watch);

    if (watch.reads.empty())
    {
        report.fail(0, "no sprite set here: " + whyNoInfo(dir));
        out << "  result: cannot be used\n";
        return report.verdict();
    }

    const Read& header = watch.reads.front();
    int declared = header.numFrames;
    reportHeader(report, dir, header, status != 0 && base.mNumFrames == 0 && watch.reads.size() == 1);

    const Read* previous = nullptr;  // the last frame line, whose values missing fields keep
    const Read* firstLoaded = nullptr;
    int longLine = 0;
    int loaded = 0;
    for (const Read& read : watch.reads)
    {
        if (read.continued && read.line != longLine)
        {
            longLine = read.line;
            report.warn(read.line, "longer than " + std::to_string(kSpriteInfoReadSize - 1) +
                                       " characters: the loader reads the rest, from character " +
                                       std::to_string(kSpriteInfoReadSize) + " on, as a line of its own");
        }
        if (read.kind == CSpriteInfoLine::SKIPPED && read.text.empty())
            report.warn(read.line, "begins with a NUL byte: the loader skips it as an empty line");
        if (read.kind != CSpriteInfoLine::FRAME)
            continue;
        reportFrame(report, read, previous, firstLoaded);
        if (read.loaded)
        {
            loaded++;
            if (!firstLoaded)
                firstLoaded = &read;
        }
        previous = &read;
    }

    if (status == 0 && header.fields == 1 && declared > 0)
        reportFrameCount(report, dir, watch.reads.back(), loaded, declared);
    printResult(out, report, loaded, base);
    base.release();
    return report.verdict();
}

}
