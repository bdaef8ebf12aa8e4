// Tests of velmora-import: sources that ImageMagick writes (PNG frames, GIFs with
// every disposal method, sheet PNGs) and sheet JSON written here, imported and
// loaded back through the engine, pixel by pixel and pause by pause; and every
// kind of bad input, which must leave nothing behind.
#include <SDL.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "art_readers.h"
#include "bmp_flavour.h"
#include "importer.h"
#include "second_reading.h"
#include "sprite.h"
#include "process.h"
#include "sprite_check.h"
#include "temp_dir.h"

namespace
{

namespace fs = std::filesystem;
using velmoraimport::Image;

struct Result
{
    int status;
    std::string out;
    std::string err;
};

// A frame as the engine loaded it: its pause and every pixel as 0xFFRRGGBB, or 0
// where the colour key makes it transparent.
struct Loaded
{
    int pause;
    int w, h;
    std::vector<Uint32> pixels;
};

// ImageMagick 7's command where it has one, else ImageMagick 6's.
std::string magick()
{
    static const std::string command = velmora::findInPath("magick").empty() ? "convert" : "magick";
    return command;
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A picture as ImageMagick's pixel enumeration, which it reads as "txt:".
std::string enumeration(const Image& image)
{
    std::ostringstream text;
    text << "# ImageMagick pixel enumeration: " << image.w << "," << image.h << ",255,srgba\n";
    for (int y = 0; y < image.h; y++)
        for (int x = 0; x < image.w; x++)
        {
            const std::uint8_t* p = image.at(x, y);
            text << x << "," << y << ": (" << (int)p[0] << "," << (int)p[1] << "," << (int)p[2] << "," << (int)p[3]
                 << ")\n";
        }
    return text.str();
}

Image readPngFile(const fs::path& path)
{
    std::vector<std::uint8_t> data = velmoraimport::readFile(path.string());
    return velmoraimport::readPng(data.data(), data.size(), path.string(), velmoraimport::Limits());
}

// What a source pixel should become: opaque below the threshold's cut, else transparent.
std::vector<Uint32> expected(const Image& image, int threshold = 128)
{
    std::vector<Uint32> pixels;
    for (int y = 0; y < image.h; y++)
        for (int x = 0; x < image.w; x++)
        {
            const std::uint8_t* p = image.at(x, y);
            pixels.push_back(p[3] < threshold ? 0 : 0xFF000000u | (Uint32)p[0] << 16 | (Uint32)p[1] << 8 | p[2]);
        }
    return pixels;
}

// Three 4x3 frames with a colour of their own in every pixel; the middle one has
// a transparent border, which the sheet trims away.
Image sheetFrame(int k)
{
    Image image(4, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++)
        {
            std::uint8_t* p = image.at(x, y);
            const bool border = k == 1 && (x == 0 || x == 3 || y == 0);
            p[0] = (std::uint8_t)(60 * k + 30);
            p[1] = (std::uint8_t)(50 * x + 20);
            p[2] = (std::uint8_t)(70 * y + 10);
            p[3] = border ? 0 : 255;
        }
    return image;
}

std::string expand(std::string arguments)
{
    for (size_t at; (at = arguments.find("%m")) != std::string::npos;)
        arguments.replace(at, 2, magick());
    return arguments;
}

class Import : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        std::string error;
        ASSERT_TRUE(velmoracheck::openDisplay(&error)) << error;
    }

    fs::path path(const std::string& name) const { return mDir / name; }

    // Runs ImageMagick in the test directory; %m in the arguments starts a
    // further command. A failure ends the test (as an exception) at once.
    void im(const std::string& arguments)
    {
        std::string escaped = expand(arguments);
        for (const char* paren : {"(", ")"})
            for (size_t at = 0; (at = escaped.find(std::string(" ") + paren + " ", at)) != std::string::npos; at += 3)
                escaped.replace(at, 3, std::string(" \\") + paren + " ");
        velmora::Command command = velmora::shellCommand(magick() + " " + escaped);
        command.dir = mDir.string();
        if (!velmora::run(command).succeeded())
            throw std::runtime_error("failed: " + command.argv.back());
    }

    Result import(std::vector<std::string> args)
    {
        std::ostringstream out, err;
        int status = velmoraimport::run(args, out, err);
        return Result{status, out.str(), err.str()};
    }

    // The set in dir as the engine loads it.
    std::vector<Loaded> load(const fs::path& dir)
    {
        CSpriteBase base = CSpriteBase();
        EXPECT_EQ(base.init(dir.string().c_str()), 0);
        std::vector<Loaded> frames;
        for (int i = 0; i < base.mNumFrames; i++)
        {
            SDL_Surface* image = base.mAnim[i].image;
            Loaded frame{base.mAnim[i].pause, image->w, image->h, {}};
            SDL_LockSurface(image);
            for (int y = 0; y < image->h; y++)
                for (int x = 0; x < image->w; x++)
                {
                    Uint32 value = ((Uint32*)((Uint8*)image->pixels + y * image->pitch))[x];
                    Uint8 r, g, b;
                    SDL_GetRGB(value, image->format, &r, &g, &b);
                    bool keyed = (image->flags & SDL_SRCCOLORKEY) && value == image->format->colorkey;
                    frame.pixels.push_back(keyed ? 0 : 0xFF000000u | (Uint32)r << 16 | (Uint32)g << 8 | b);
                }
            SDL_UnlockSurface(image);
            frames.push_back(frame);
        }
        base.release();
        return frames;
    }

    // The three frames as PNGs, and the sheet that ImageMagick lays out from them:
    // frame 1 cropped to its trimmed part, frame 2 turned 90 degrees clockwise.
    void makeSheet()
    {
        for (int k = 0; k < 3; k++)
            writeText(path("f" + std::to_string(k) + ".txt"), enumeration(sheetFrame(k)));
        im("txt:f0.txt f0.png && %m txt:f1.txt f1.png && %m txt:f2.txt f2.png");
        im("f1.png -crop 2x2+1+1 +repage f1t.png && %m f2.png -rotate 90 f2r.png && %m -size 16x8 xc:none "
                  "f0.png -geometry +0+0 -composite f1t.png -geometry +5+0 -composite f2r.png -geometry +8+0 "
                  "-composite sheet.png");
    }

    // The names in the test directory, to see that a failed import left nothing.
    std::vector<std::string> names()
    {
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(mDir))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    }

    velmora::TempDir mTemp{"velmora-import-test"};
    fs::path mDir = mTemp.path();
};

void expectFrame(const Loaded& frame, const Image& source, const std::vector<Uint32>& pixels, const std::string& what)
{
    ASSERT_EQ(frame.w, source.w) << what;
    ASSERT_EQ(frame.h, source.h) << what;
    for (size_t i = 0; i < pixels.size(); i++)
        ASSERT_EQ(frame.pixels[i], pixels[i]) << what << " at " << i % source.w << "," << i / source.w;
}

// ---- GIFs, composed as ImageMagick composes them ----

struct GifCase
{
    const char* name;
    const char* arguments;  // ImageMagick's, writing in.gif
    std::vector<int> pauses;
    bool localPalette;      // the case must really use a local palette
};

const GifCase kGifCases[] = {
    {"every disposal, sub-canvas frames, local palettes, transparency",
     "-dispose none -delay 10 -size 8x8 xc:none -fill red -draw 'rectangle 0,0 6,6' "
     "-dispose background -delay 20 ( -size 3x3 xc:blue -set page +2+2 ) "
     "-dispose previous -delay 30 ( -size 2x2 xc:yellow -set page +4+4 ) "
     "-dispose none -delay 40 ( -size 2x1 xc:lime -set page +0+7 ) -set page 8x8 in.gif",
     {100, 200, 300, 400}, true},
    {"background after previous, over a transparent first frame",
     "-dispose previous -delay 5 -size 6x5 xc:none -fill navy -draw 'point 1,1' "
     "-dispose background -delay 7 ( -size 3x2 xc:orange -set page +3+3 ) "
     "-dispose none -delay 0 ( -size 1x1 xc:white -set page +5+0 ) -set page 6x5 in.gif",
     {50, 70, 100}, false},
    {"interlaced frames",
     "-delay 12 -size 5x9 gradient:red-blue ( -size 3x7 gradient:lime-black -set page +1+1 ) "
     "-set page 5x9 -interlace GIF in.gif",
     {120, 120}, false},
};

bool usesLocalPalette(const fs::path& gif)
{
    int error = 0;
    GifFileType* file = DGifOpenFileName(gif.string().c_str(), &error);
    if (!file)
        return false;
    bool local = false;
    if (DGifSlurp(file) == GIF_OK)
        for (int i = 0; i < file->ImageCount; i++)
            local = local || file->SavedImages[i].ImageDesc.ColorMap != nullptr;
    DGifCloseFile(file, &error);
    return local;
}

TEST_F(Import, GifFramesMatchImageMagicksCoalescedFrames)
{
    for (const GifCase& c : kGifCases)
    {
        SCOPED_TRACE(c.name);
        im(c.arguments);
        if (c.localPalette)
        {
            ASSERT_TRUE(usesLocalPalette(path("in.gif")));
        }
        im("in.gif -coalesce coalesced-%d.png");
        Result result = import({path("out").string(), path("in.gif").string()});
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_NE(result.out.find("as the source shows every frame, read a second time by GdkPixbuf"),
                  std::string::npos)
            << result.out;
        std::vector<Loaded> frames = load(path("out"));
        ASSERT_EQ(frames.size(), c.pauses.size());
        for (size_t i = 0; i < frames.size(); i++)
        {
            Image source = readPngFile(path("coalesced-" + std::to_string(i) + ".png"));
            expectFrame(frames[i], source, expected(source), "frame " + std::to_string(i));
            EXPECT_EQ(frames[i].pause, c.pauses[i]) << "frame " << i;
        }
        fs::remove_all(path("out"));
    }
}

// GdkPixbuf's reading of a GIF, as many frames as it shows before it ends, and
// frames at most (newer GdkPixbufs loop without end).
std::vector<Image> readByGdkPixbuf(const fs::path& gif, int frames)
{
    std::vector<std::uint8_t> data = velmoraimport::readFile(gif.string());
    int error = 0;
    GifFileType* file = DGifOpenFileName(gif.string().c_str(), &error);
    EXPECT_NE(file, nullptr);
    if (!file)
        return {};
    const int w = file->SWidth, h = file->SHeight;
    DGifCloseFile(file, &error);
    velmoracheck::SecondGif second;
    std::string why;
    EXPECT_TRUE(second.open(data.data(), data.size(), w, h, why)) << why;
    std::vector<Image> read;
    for (velmoracheck::SecondReading frame; second.next(frame, frames);)
    {
        Image image(frame.w, frame.h);
        image.rgba = frame.rgba;
        read.push_back(image);
    }
    return read;
}

// The referee itself: every disposal composed as ImageMagick coalesces it.
TEST_F(Import, GdkPixbufComposesGifFramesAsImageMagickCoalescesThem)
{
    for (const GifCase& c : kGifCases)
    {
        SCOPED_TRACE(c.name);
        im(c.arguments);
        im("in.gif -coalesce coalesced-%d.png");
        std::vector<Image> read = readByGdkPixbuf(path("in.gif"), (int)c.pauses.size());
        ASSERT_EQ(read.size(), c.pauses.size());
        for (size_t i = 0; i < read.size(); i++)
        {
            Image source = readPngFile(path("coalesced-" + std::to_string(i) + ".png"));
            ASSERT_EQ(read[i].w, source.w);
            ASSERT_EQ(read[i].h, source.h);
            EXPECT_EQ(expected(read[i]), expected(source)) << "frame " << i;
        }
    }
}

// A set drawn from one GIF, compared with GdkPixbuf's reading of another that
// differs from it in one frame's disposal only: what a composition that got
// that disposal wrong would import. The check names the frame, its first pixel
// that differs and how many do.
struct WrongDisposal
{
    const char* name;
    const char* composed;  // ImageMagick's, writing composed.gif: the wrong composition
    const char* right;     // ImageMagick's, writing right.gif
    int frames;
    const char* message;
};

const WrongDisposal kWrongDisposals[] = {
    {"background disposal left undone",
     "-dispose none -size 4x4 xc:red -dispose none ( -size 2x2 xc:blue -set page +0+0 ) -set page 4x4 composed.gif",
     "-dispose background -size 4x4 xc:red -dispose none ( -size 2x2 xc:blue -set page +0+0 ) -set page 4x4 right.gif",
     2, "frame 1 shows 255,0,0 at 2,0 where the source has a transparent pixel (12 of 16 pixels differ)"},
    {"previous disposal left undone",
     "-dispose none -size 4x4 xc:red ( -size 2x2 xc:blue -set page +0+0 ) ( -size 1x1 xc:lime -set page +3+3 ) "
     "-set page 4x4 composed.gif",
     "-dispose none -size 4x4 xc:red -dispose previous ( -size 2x2 xc:blue -set page +0+0 ) -dispose none "
     "( -size 1x1 xc:lime -set page +3+3 ) -set page 4x4 right.gif",
     3, "frame 2 shows 0,0,255 at 0,0 where the source has 255,0,0 (4 of 16 pixels differ)"},
    {"background disposal filling with the background colour, not transparency",
     "-size 3x1 xc:red ( -size 3x1 xc:black -fill lime -draw 'point 2,0' -set page +0+0 ) -set page 3x1 "
     "composed.gif",
     "-dispose background -size 3x1 xc:red -dispose none ( -size 1x1 xc:lime -set page +2+0 ) -set page 3x1 "
     "right.gif",
     2, "frame 1 shows 0,0,0 at 0,0 where the source has a transparent pixel (2 of 3 pixels differ)"},
};

TEST_F(Import, AGifComposedOtherwiseThanGdkPixbufReadsItIsNamedFrameByFrame)
{
    for (const WrongDisposal& c : kWrongDisposals)
    {
        SCOPED_TRACE(c.name);
        im(c.composed);
        im(c.right);
        Result result = import({path("out").string(), path("composed.gif").string()});
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        const std::vector<Image> right = readByGdkPixbuf(path("right.gif"), c.frames);
        size_t at = 0;
        const std::string differs = velmoraimport::compareDrawn(path("out").string(), [&](velmoraimport::Frame& frame) {
            if (at >= right.size())
                return false;
            frame.image = right[at++];
            for (size_t i = 3; i < frame.image.rgba.size(); i += 4)
                frame.image.rgba[i] = frame.image.rgba[i] < 128 ? 0 : 255;
            return true;
        });
        EXPECT_EQ(differs, c.message);
        fs::remove_all(path("out"));
    }
}

// ---- PNG frames ----

struct PngCase
{
    const char* name;
    const char* arguments;  // ImageMagick's, writing a.png and b.png
    std::vector<std::string> options;
    int threshold;          // where the expected pixels are cut
    const char* report;     // a line the import prints
};

// Two frames with pixels of alpha 102 (0.4) and 153 (0.6).
const char kSemiTransparent[] = "-size 5x3 xc:none -fill 'rgba(0,0,255,0.4)' -draw 'rectangle 0,0 1,2' "
                                "-fill 'rgba(9,9,9,0.6)' -draw 'rectangle 3,0 4,2' a.png && %m a.png b.png";

const PngCase kPngCases[] = {
    {"RGBA with hard edges",
     "-size 7x5 xc:none -fill red -draw 'rectangle 1,1 3,3' a.png && %m -size 7x5 xc:none -fill blue "
     "-draw 'rectangle 2,0 6,2' b.png",
     {"--pause", "80"}, 128, "key: 255,0,255"},
    {"palette with a tRNS chunk",
     "-size 6x4 xc:white -fill green -draw 'rectangle 0,0 2,3' -transparent white PNG8:a.png && "
     "%m -size 6x4 xc:white -fill teal -draw 'point 5,3' -transparent white PNG8:b.png",
     {"--pause", "80"}, 128, "key: 255,0,255"},
    {"16-bit grey with alpha",
     "-size 4x4 xc:none -fill white -draw 'rectangle 0,0 1,3' -colorspace Gray PNG64:a.png && "
     "%m -size 4x4 xc:black -depth 16 PNG64:b.png",
     {"--pause", "80"}, 128, "key: 255,0,255"},
    {"semi-transparent pixels cut at the default threshold",
     kSemiTransparent,
     {"--pause", "80"}, 128, "semi-transparent: 12 pixels with alpha from 128 to 254 kept opaque"},
    {"semi-transparent pixels kept at a threshold equal to their alpha",
     kSemiTransparent,
     {"--pause", "80", "--alpha-threshold", "102"}, 102, "semi-transparent: 24 pixels with alpha from 102"},
    {"magenta in the art moves the key",
     "-size 4x4 xc:none -fill magenta -draw 'rectangle 0,0 1,1' a.png && %m -size 4x4 xc:'#010000' "
     "-fill magenta -draw 'point 3,3' b.png",
     {"--pause", "80"}, 128, "key: 1,0,1, as opaque pixels of the art have 255,0,255"},
};

TEST_F(Import, PngFramesKeepTheirPixelsAndTakeThePauseGiven)
{
    for (const PngCase& c : kPngCases)
    {
        SCOPED_TRACE(c.name);
        im(c.arguments);
        std::vector<std::string> args = c.options;
        for (const char* file : {"out", "a.png", "b.png"})
            args.push_back(path(file).string());
        Result result = import(args);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_NE(result.out.find(c.report), std::string::npos) << result.out;
        std::vector<Loaded> frames = load(path("out"));
        ASSERT_EQ(frames.size(), 2u);
        for (size_t i = 0; i < 2; i++)
        {
            Image source = readPngFile(path(i ? "b.png" : "a.png"));
            expectFrame(frames[i], source, expected(source, c.threshold), "frame " + std::to_string(i));
            EXPECT_EQ(frames[i].pause, 80);
        }
        fs::remove_all(path("out"));
    }
}

TEST_F(Import, MatteFlattensSemiTransparentPixelsAsImageMagickDoes)
{
    im("-size 6x2 xc:none -fill 'rgba(200,0,50,0.5)' -draw 'rectangle 0,0 2,1' -fill 'rgba(0,90,255,0.1)' "
       "-draw 'point 4,0' -fill lime -draw 'point 5,1' a.png");
    im("a.png -background 'rgb(10,200,30)' -flatten flat.png");
    Result result = import({"--matte", "10,200,30", path("out").string(), path("a.png").string()});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("semi-transparent: 7 pixels flattened over 10,200,30"), std::string::npos)
        << result.out;
    const Image source = readPngFile(path("a.png"));
    const Image flat = readPngFile(path("flat.png"));
    const Loaded frame = load(path("out")).at(0);
    for (int i = 0; i < source.w * source.h; i++)
    {
        const std::uint8_t* s = &source.rgba[i * 4];
        const std::uint8_t* f = &flat.rgba[i * 4];
        SCOPED_TRACE("pixel " + std::to_string(i));
        if (s[3] == 0)
        {
            EXPECT_EQ(frame.pixels[i], 0u);
            continue;
        }
        ASSERT_NE(frame.pixels[i], 0u);
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR((int)(frame.pixels[i] >> (16 - 8 * c) & 0xFF), f[c], 1);
    }
}

// ---- Sheets ----

struct SheetCase
{
    const char* name;
    bool hash;
    std::string tag;
    std::vector<int> frames;
    std::vector<int> pauses;
};

const SheetCase kSheetCases[] = {
    {"hash, all frames", true, "", {0, 1, 2}, {50, 60, 70}},
    {"array, all frames", false, "", {0, 1, 2}, {50, 60, 70}},
    {"forward tag", false, "walk", {1, 2}, {60, 70}},
    {"reverse tag", true, "back", {2, 1, 0}, {70, 60, 50}},
    {"pingpong tag", false, "bounce", {0, 1, 2, 1}, {50, 60, 70, 60}},
    {"pingpong_reverse tag", true, "rebound", {2, 1, 0, 1}, {70, 60, 50, 60}},
};

// The JSON of the sheet: frame 0 as it is, frame 1 trimmed to its 2x2 at 1,1,
// frame 2 turned clockwise; frame 2 has no duration (so --pause 70 gives it).
std::string sheetJson(bool hash, const std::string& frameOverride = "")
{
    const std::string frames[] = {
        R"("frame": {"x": 0, "y": 0, "w": 4, "h": 3}, "rotated": false, "trimmed": false,
           "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 4, "h": 3}, "duration": 50)",
        R"("frame": {"x": 5, "y": 0, "w": 2, "h": 2}, "rotated": false, "trimmed": true,
           "spriteSourceSize": {"x": 1, "y": 1, "w": 2, "h": 2}, "sourceSize": {"w": 4, "h": 3}, "duration": 60)",
        frameOverride.empty() ? R"("frame": {"x": 8, "y": 0, "w": 4, "h": 3}, "rotated": true, "trimmed": false,
           "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 4, "h": 3})"
                              : frameOverride,
    };
    std::string list;
    for (int i = 0; i < 3; i++)
    {
        // Not in alphabetical order, so that the hash form's order is the file's.
        const char* names[] = {"\"stand\"", "\"step\"", "\"jump\""};
        const std::string name = names[i];
        list += (i ? ",\n" : "") + (hash ? name + ": {" : "{\"filename\": " + name + ", ") + frames[i] + "}";
    }
    return std::string("{\"frames\": ") + (hash ? "{" : "[") + list + (hash ? "}" : "]") +
           R"(, "meta": {"app": "test", "image": "sheet.png", "size": {"w": 16, "h": 8}, "frameTags": [
             {"name": "walk", "from": 1, "to": 2, "direction": "forward"},
             {"name": "back", "from": 0, "to": 2, "direction": "reverse"},
             {"name": "bounce", "from": 0, "to": 2, "direction": "pingpong"},
             {"name": "rebound", "from": 0, "to": 2, "direction": "pingpong_reverse"}]}})";
}


TEST_F(Import, SheetFramesComeBackInTheirOriginalSizeInTheOrderTheirTagPlays)
{
    makeSheet();
    for (const SheetCase& c : kSheetCases)
    {
        SCOPED_TRACE(c.name);
        writeText(path("sheet.json"), sheetJson(c.hash));
        std::vector<std::string> args = {"--pause", "70"};
        if (!c.tag.empty())
            args.insert(args.end(), {"--tag", c.tag});
        args.insert(args.end(), {path("out").string(), path("sheet.json").string()});
        Result result = import(args);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        std::vector<Loaded> frames = load(path("out"));
        ASSERT_EQ(frames.size(), c.frames.size());
        for (size_t i = 0; i < frames.size(); i++)
        {
            Image source = readPngFile(path("f" + std::to_string(c.frames[i]) + ".png"));
            expectFrame(frames[i], source, expected(source), "frame " + std::to_string(i));
            EXPECT_EQ(frames[i].pause, c.pauses[i]) << "frame " << i;
        }
        fs::remove_all(path("out"));
    }
}

TEST_F(Import, FramesAreWrittenAsUncompressed24BitBmps)
{
    makeSheet();
    writeText(path("sheet.json"), sheetJson(true));
    ASSERT_EQ(import({path("out").string(), path("sheet.json").string()}).status, 0);
    for (const char* name : {"frame0.bmp", "frame1.bmp", "frame2.bmp"})
    {
        velmoracheck::BmpFlavour flavour = velmoracheck::readBmpFlavourFile(path("out/" + std::string(name)).string());
        EXPECT_TRUE(flavour.valid) << name;
        EXPECT_EQ(flavour.bitsPerPixel, 24) << name;
        EXPECT_EQ(flavour.compression, 0) << name;
    }
}

// ---- Finding a sheet's picture ----

struct PictureCase
{
    const char* name;
    const char* json;                  // the JSON's file name
    const char* metaImage;             // meta.image, as the JSON's text writes it
    std::vector<std::string> options;  // "@" stands for the test directory
    const char* report;                // the line that says which picture was used
    const char* refusal;               // or the reason the import is refused
};

const PictureCase kPictureCases[] = {
    {"meta.image as given", "sheet.json", "sheet.png", {}, "picture: @/sheet.png (meta.image as given)", ""},
    {"a Windows path", "sheet.json", R"(C:\\Users\\art\\sheet.png)", {},
     R"(picture: @/sheet.png (the last part of meta.image "C:\Users\art\sheet.png", beside the JSON))", ""},
    {"a path in the exporting machine's project", "sheet.json", "examples/sheet.png", {},
     R"(picture: @/sheet.png (the last part of meta.image "examples/sheet.png", beside the JSON))", ""},
    {"an older name", "sheet.json", "anim.png", {},
     R"(picture: @/sheet.png (the JSON's own name with .png; meta.image names "anim.png", which is not there))", ""},
    {"named with --image", "hero.json", "anim.png", {"--image", "@/sheet.png"}, "picture: @/sheet.png (--image)", ""},
    {"nowhere", "hero.json", R"(G:\\Projects\\anim.png)", {}, "",
     R"(its sheet image @/G:\Projects\anim.png cannot be found, nor @/anim.png or @/hero.png beside it; name the picture with --image FILE)"},
};

std::string atDir(std::string text, const std::string& dir)
{
    for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += dir.size())
        text.replace(at, 1, dir);
    return text;
}

TEST_F(Import, ASheetsPictureIsFoundWhereItsJsonSaysOrBesideIt)
{
    makeSheet();
    for (const PictureCase& c : kPictureCases)
    {
        SCOPED_TRACE(c.name);
        std::string json = sheetJson(true);
        json.replace(json.find("\"sheet.png\""), 11, std::string("\"") + c.metaImage + "\"");
        writeText(path(c.json), json);
        std::vector<std::string> args;
        for (const std::string& option : c.options)
            args.push_back(atDir(option, mDir.string()));
        args.insert(args.end(), {path("out").string(), path(c.json).string()});
        Result result = import(args);
        if (*c.refusal)
        {
            EXPECT_EQ(result.status, 2);
            EXPECT_NE(result.err.find(atDir(c.refusal, mDir.string())), std::string::npos) << result.err;
            continue;
        }
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.out.find(atDir(c.report, mDir.string()) + "\n"), std::string::npos) << result.out;
        std::vector<Loaded> frames = load(path("out"));
        ASSERT_EQ(frames.size(), 3u);
        for (size_t i = 0; i < frames.size(); i++)
        {
            Image source = readPngFile(path("f" + std::to_string(i) + ".png"));
            expectFrame(frames[i], source, expected(source), "frame " + std::to_string(i));
        }
        fs::remove_all(path("out"));
    }
}

// ---- A PNG that ends after its pixels ----

TEST_F(Import, APngWithoutIendImportsWithAWarning)
{
    im("-size 5x3 xc:none -fill red -draw 'rectangle 0,0 2,1' a.png");
    const Image source = readPngFile(path("a.png"));
    const std::vector<std::uint8_t> whole = velmoraimport::readFile(path("a.png").string());
    writeText(path("a.png"), std::string(whole.begin(), whole.end() - 12));  // the last 12 bytes are IEND
    Result result = import({path("out").string(), path("a.png").string()});
    ASSERT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.out.find("warning: " + path("a.png").string() +
                              ": the file ends after the picture's pixel data, without the IEND chunk that closes a PNG"),
              std::string::npos)
        << result.out;
    std::vector<Loaded> frames = load(path("out"));
    ASSERT_EQ(frames.size(), 1u);
    expectFrame(frames[0], source, expected(source), "frame 0");
}

// ---- Memory ----

// The real command's peak resident memory in KiB, read as it exits; -1 when it
// fails, -2 when it can't be measured here (no ptrace).
long peakKib(const std::vector<std::string>& args)
{
    velmora::Command command({VELMORA_IMPORT_BIN});
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.out.kind = velmora::Stream::Null;
    command.err.kind = velmora::Stream::Null;
    command.measurePeak = true;
    const velmora::Outcome outcome = velmora::run(command);
    if (!outcome.exited())
        return outcome.errors.find("ptrace") != std::string::npos ? -2 : -1;
    return outcome.status <= 1 ? outcome.peakKib : -1;
}

TEST_F(Import, A2048x2048PngPeaksAtTwoCopiesOfItsPixelsAndALittleMore)
{
    // RGBA, every other pixel transparent.
    im("-size 2048x2048 gradient:red-blue ( -size 2048x2048 pattern:gray50 ) -alpha off "
       "-compose CopyOpacity -composite PNG32:large.png");
    im("-size 1x1 xc:red PNG32:small.png");
    const long base = peakKib({path("small-set").string(), path("small.png").string()});
    if (base == -2)
        GTEST_SKIP() << "ptrace is not permitted here, so the command's peak can't be read";
    const long peak = peakKib({path("large-set").string(), path("large.png").string()});
    ASSERT_GT(base, 0) << "the small import failed";
    ASSERT_GT(peak, 0) << "the large import failed";
    // 12 bytes a pixel above the tool's base: two copies of 32-bit pixels and a little more.
    EXPECT_LE(peak - base, 12L * 2048 * 2048 / 1024) << "peak " << peak << " KiB, base " << base << " KiB";
    EXPECT_LT(peak, 64L * 1024) << "KiB";
}

// ---- The engine's drawing, compared ----

TEST_F(Import, ADrawnFrameThatDiffersFromItsSourceIsFound)
{
    im("-size 4x2 xc:none -fill red -draw 'rectangle 0,0 1,1' a.png");
    ASSERT_EQ(import({path("out").string(), path("a.png").string()}).status, 0);
    Image source = readPngFile(path("a.png"));
    EXPECT_EQ(velmoraimport::compareDrawn(path("out").string(), {{source, 100}}), "");

    struct Change
    {
        const char* name;
        int x;
        std::uint8_t rgba[4];
        const char* message;
    };
    const Change changes[] = {
        {"another colour", 0, {255, 1, 0, 255}, "frame 0 shows 255,0,0 at 0,0 where the source has 255,1,0"},
        {"transparent in the source", 1, {0, 0, 0, 0}, "frame 0 shows 255,0,0 at 1,0 where the source has a transparent"},
        {"opaque in the source", 3, {0, 0, 0, 255}, "frame 0 shows 255,255,255 at 3,0 where the source has 0,0,0"},
    };
    for (const Change& change : changes)
    {
        SCOPED_TRACE(change.name);
        Image changed = source;
        std::copy(change.rgba, change.rgba + 4, changed.at(change.x, 0));
        const std::string differs = velmoraimport::compareDrawn(path("out").string(), {{changed, 100}});
        EXPECT_NE(differs.find(change.message), std::string::npos) << differs;
    }
    EXPECT_NE(velmoraimport::compareDrawn(path("out").string(), {{source, 100}, {source, 100}}), "");
}

// ---- Replacing a set ----

TEST_F(Import, ForceReplacesAnOldSetWholly)
{
    im("-size 3x3 xc:red a.png && " + magick() + " -size 2x2 xc:blue b.png");
    ASSERT_EQ(import({path("out").string(), path("a.png").string(), path("a.png").string()}).status, 0);
    Result result = import({"--force", path("out").string(), path("b.png").string()});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<Loaded> frames = load(path("out"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].pixels, std::vector<Uint32>(4, 0xFF0000FF));
    EXPECT_FALSE(fs::exists(path("out/frame1.bmp")));
    EXPECT_EQ(names(), (std::vector<std::string>{"a.png", "b.png", "out"}));
}

// ---- Bad input ----

struct BadCase
{
    const char* name;
    std::function<void(Import&)> make;  // writes the inputs
    std::vector<std::string> args;      // "@" stands for the test directory
    const char* file;                   // the file the message names, below the test directory
    const char* reason;
};

void cutShort(const fs::path& file, size_t bytes)
{
    fs::resize_file(file, bytes);
}

// A 4x1 GIF with a red and blue palette, up to its pixels' LZW code size of 2.
const std::string kGif4x1("GIF89a\x04\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\xff"
                          ",\x00\x00\x00\x00\x04\x00\x01\x00\x00\x02",
                          30);

const BadCase kBadCases[] = {
    {"damaged PNG", [](Import& t) { t.im("-size 9x9 xc:red a.png"); cutShort(t.path("a.png"), 60); },
     {"@/out", "@/a.png"}, "a.png", "PNG"},
    {"PNG over the size limit", [](Import& t) { t.im("-size 4097x1 xc:red a.png"); }, {"@/out", "@/a.png"}, "a.png",
     "is 4097x1, larger than the 4096x4096 this tool reads"},
    {"not an image", [](Import& t) { writeText(t.path("a.png"), "hello"); }, {"@/out", "@/a.png"}, "a.png",
     "not a PNG, a GIF or a sprite sheet's JSON"},
    {"missing source", [](Import&) {}, {"@/out", "@/a.png"}, "a.png", "cannot be opened"},
    {"frames of two sizes", [](Import& t) { t.im("-size 2x2 xc:red a.png && %m -size 3x2 xc:red b.png"); },
     {"@/out", "@/a.png", "@/b.png"}, "b.png", "frame 1 is 3x2 but frame 0 is 2x2"},
    {"damaged GIF", [](Import& t) { t.im("-size 9x9 xc:red ( -size 9x9 xc:blue ) a.gif"); cutShort(t.path("a.gif"), 40); },
     {"@/out", "@/a.gif"}, "a.gif", "cut short: the file ends"},
    {"GIF cut short in a frame's pixels",
     [](Import& t) { writeText(t.path("a.gif"), kGif4x1 + std::string("\x02\x44", 2)); },
     {"@/out", "@/a.gif"}, "a.gif",
     "cut short: the file ends in frame 0's pixels, before the GIF does; export the animation again (giflib: "},
    {"GIF whose LZW codes don't decode",
     [](Import& t) { writeText(t.path("a.gif"), kGif4x1 + std::string("\x02\x7c\x01\x00;", 5)); },
     {"@/out", "@/a.gif"}, "a.gif", "damaged in frame 0's pixels: the LZW codes don't decode; export"},
    {"GIF whose pixel data ends before its frame is full",
     [](Import& t) { writeText(t.path("a.gif"), kGif4x1 + std::string("\x02\x44\x01\x00;", 5)); },
     {"@/out", "@/a.gif"}, "a.gif", "damaged in frame 0's pixels: the pixel data ends before the frame is full"},
    {"GIF screen over the size limit",
     [](Import& t) { writeText(t.path("a.gif"), std::string("GIF89a\x01\x20\x01\x00\x00\x00\x00", 13) + ";"); },
     {"@/out", "@/a.gif"}, "a.gif", "the GIF's screen is 8193x1, larger than"},
    {"GIF whose pixels have an LZW code size of 11",
     [](Import& t) {
         // A 1x1 GIF with a global palette, an image descriptor and code size 11.
         writeText(t.path("a.gif"), std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                                                ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x0b\x02\x4c\x01\x00;",
                                                36));
     },
     {"@/out", "@/a.gif"}, "a.gif", "frame 0 is damaged: its pixels begin with an LZW code size of 11, where GIF allows 2 to 8"},
    {"two GIFs glued together",
     [](Import& t) {
         t.im("-size 2x2 xc:red a.gif");
         std::vector<std::uint8_t> one = velmoraimport::readFile(t.path("a.gif").string());
         one.pop_back();  // the first GIF's end marker
         std::string glued(one.begin(), one.end());
         std::vector<std::uint8_t> two = velmoraimport::readFile(t.path("a.gif").string());
         writeText(t.path("a.gif"), glued + std::string(two.begin(), two.end()));
     },
     {"@/out", "@/a.gif"}, "a.gif", "another GIF file begins after frame 0 without this one's end"},
    {"GIF beside another source", [](Import& t) { t.im("-size 2x2 xc:red a.gif && %m -size 2x2 xc:red b.png"); },
     {"@/out", "@/b.png", "@/a.gif"}, "a.gif", "a GIF is imported alone"},
    {"--image beside PNG frames", [](Import& t) { t.im("-size 2x2 xc:red a.png"); },
     {"--image", "@/b.png", "@/out", "@/a.png"}, "a.png", "only a sprite sheet's JSON has a picture to find"},
    {"tag of a GIF", [](Import& t) { t.im("-size 2x2 xc:red a.gif"); }, {"--tag", "walk", "@/out", "@/a.gif"},
     "a.gif", "only a sprite sheet's JSON has tags"},
    {"damaged JSON", [](Import& t) { writeText(t.path("s.json"), "{\"frames\": {"); }, {"@/out", "@/s.json"},
     "s.json", "not valid JSON"},
    {"JSON that is no sheet", [](Import& t) { writeText(t.path("s.json"), "{\"name\": 1}"); }, {"@/out", "@/s.json"},
     "s.json", "not a sprite sheet's JSON"},
    {"frame without a rectangle",
     [](Import& t) { writeText(t.path("s.json"), sheetJson(true, R"("rotated": true)")); }, {"@/out", "@/s.json"},
     "s.json", "frame \"jump\" has no \"frame\""},
    {"frame outside the sheet",
     [](Import& t) {
         t.makeSheet();
         writeText(t.path("s.json"), sheetJson(false, R"("frame": {"x": 8, "y": 5, "w": 4, "h": 3}, "rotated": true)"));
     },
     {"@/out", "@/s.json"}, "s.json", "frame \"jump\": its rectangle 8,5 3x4 lies outside the 16x8 sheet"},
    {"missing sheet image", [](Import& t) { writeText(t.path("s.json"), sheetJson(true)); }, {"@/out", "@/s.json"},
     "s.json", "its sheet image"},
    {"unknown tag",
     [](Import& t) {
         t.makeSheet();
         writeText(t.path("s.json"), sheetJson(true));
     },
     {"--tag", "run", "@/out", "@/s.json"}, "s.json", "no tag, animation or frames called \"run\" (its tags: walk, back, bounce, rebound)"},
    {"output that already holds a set",
     [](Import& t) {
         t.im("-size 2x2 xc:red a.png");
         fs::create_directory(t.path("out"));
         writeText(t.path("out/info"), "FILES: 0\n");
     },
     {"@/out", "@/a.png"}, "out", "already holds a sprite set"},
    {"old set kept when the new source is damaged",
     [](Import& t) {
         t.im("-size 2x2 xc:red a.png && %m -size 2x2 xc:red b.png");
         fs::create_directory(t.path("out"));
         writeText(t.path("out/info"), "FILES: 0\n");
         cutShort(t.path("b.png"), 30);
     },
     {"--force", "@/out", "@/b.png"}, "b.png", "PNG"},
};

TEST_F(Import, BadInputEndsWithStatus2AMessageAndNothingWritten)
{
    for (const BadCase& c : kBadCases)
    {
        SCOPED_TRACE(c.name);
        fs::remove_all(mDir);
        fs::create_directory(mDir);
        c.make(*this);
        const std::vector<std::string> before = names();
        const bool hadSet = fs::exists(path("out/info"));
        std::vector<std::string> args;
        for (std::string arg : c.args)
            args.push_back(arg[0] == '@' ? mDir.string() + arg.substr(1) : arg);
        Result result = import(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out.find("wrote"), std::string::npos) << result.out;
        const std::string prefix = "velmora-import: " + path(c.file).string() + ": ";
        EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(names(), before);
        if (hadSet)
        {
            EXPECT_EQ(fs::file_size(path("out/info")), 9u);
        }
    }
}

struct UsageCase
{
    std::vector<std::string> args;
    const char* message;
};

TEST(ImportUsage, WrongArgumentsEndWithStatus2AndTheUsage)
{
    const UsageCase cases[] = {
        {{"out"}, "give an output directory and at least one source"},
        {{"--alpha-threshold", "256", "out", "a.png"}, "--alpha-threshold: \"256\" is not a whole number from 0 to 255"},
        {{"--matte", "1,2", "out", "a.png"}, "--matte: \"1,2\" is not R,G,B"},
        {{"--matte", "1,2,300", "out", "a.png"}, "--matte: \"1,2,300\" is not R,G,B, three whole numbers from 0 to 255"},
        {{"--frobnicate", "out", "a.png"}, "--frobnicate: no such option"},
    };
    for (const UsageCase& c : cases)
    {
        std::ostringstream out, err;
        EXPECT_EQ(velmoraimport::run(c.args, out, err), 2) << c.message;
        EXPECT_EQ(err.str().rfind(std::string("velmora-import: ") + c.message, 0), 0u) << err.str();
        EXPECT_NE(err.str().find("usage: velmora-import"), std::string::npos);
    }
}

// The installed command: its exit statuses and streams.
TEST(ImportCommand, HelpAndAnErrorThroughTheRealBinary)
{
    const std::string bin = VELMORA_IMPORT_BIN;
    velmora::Command help{{bin, "--help"}};
    help.out.kind = velmora::Stream::Null;
    EXPECT_EQ(velmora::run(help).status, 0);
    const velmora::Outcome outcome =
        velmora::runShell(bin + " /nonexistent-dir/out /nonexistent.png 2>&1 >/dev/null");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.output, "velmora-import: /nonexistent.png: cannot be opened: No such file or directory\n");
}

}
