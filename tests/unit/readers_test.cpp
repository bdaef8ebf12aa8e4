// Tests of the importer's readers against inputs whose true pixels are known here:
// PNGs that libpng writes in every depth and interlacing with a gamma chunk, read by
// the importer and by the second reader; sheets of several sprites, animations
// lists and numbered frames; GIFs with short delays, composed one frame at a time.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <string>
#include <vector>

#include "art_readers.h"
#include "second_reading.h"

namespace
{

using namespace velmoraimport;

// ---- PNG ----

// A PNG written by libpng, whose samples are a function of the position; every
// sample is also returned as the 8-bit value a reader should give (16-bit ones
// scaled with rounding, no gamma applied).
struct PngLayout
{
    const char* name;
    int colourType;
    int depth;
    bool interlaced;
    double gamma;  // written as a gAMA chunk, 0 for none
};

const PngLayout kPngs[] = {
    {"interlaced 16-bit grey", PNG_COLOR_TYPE_GRAY, 16, true, 1.0},
    {"interlaced 16-bit RGB", PNG_COLOR_TYPE_RGB, 16, true, 0.0},
    {"interlaced 16-bit grey and alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, 0.0},
    {"interlaced 16-bit RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 16, true, 0.7},
    {"16-bit RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, 1.0},
    {"8-bit RGB with a gamma of 1.0", PNG_COLOR_TYPE_RGB, 8, false, 1.0},
    {"interlaced 8-bit RGBA with a gamma of 0.35", PNG_COLOR_TYPE_RGB_ALPHA, 8, true, 0.35},
};

int channelsOf(int colourType)
{
    switch (colourType)
    {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    default: return 4;
    }
}

// Sample c of pixel (x, y) at full depth: spread over the whole range, with
// low bits that a careless 16-to-8 conversion loses.
unsigned sampleAt(int x, int y, int c, int depth)
{
    const unsigned top = depth == 16 ? 65535 : 255;
    return (unsigned)(x * 4099 + y * 7919 + c * 30011 + 77) % (top + 1);
}

std::vector<std::uint8_t> writePng(const PngLayout& layout, int w, int h, Image& expected)
{
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            auto* o = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, w, h, layout.depth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (layout.gamma > 0)
        png_set_gAMA(png, info, layout.gamma);
    const int channels = channelsOf(layout.colourType), bytes = layout.depth / 8;
    std::vector<std::vector<png_byte>> rows(h, std::vector<png_byte>((size_t)w * channels * bytes));
    expected = Image(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
        {
            std::uint8_t eight[4];
            for (int c = 0; c < channels; c++)
            {
                const unsigned v = sampleAt(x, y, c, layout.depth);
                png_byte* at = &rows[y][((size_t)x * channels + c) * bytes];
                if (bytes == 2)
                    at[0] = (png_byte)(v >> 8), at[1] = (png_byte)v;
                else
                    at[0] = (png_byte)v;
                eight[c] = (std::uint8_t)(bytes == 2 ? (v * 255 + 32767) / 65535 : v);
            }
            std::uint8_t* p = expected.at(x, y);
            const bool grey = channels < 3, alpha = channels == 2 || channels == 4;
            p[0] = eight[0];
            p[1] = grey ? eight[0] : eight[1];
            p[2] = grey ? eight[0] : eight[2];
            p[3] = alpha ? eight[channels - 1] : 255;
        }
    std::vector<png_bytep> pointers;
    for (auto& row : rows)
        pointers.push_back(row.data());
    png_set_rows(png, info, pointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The first pixel where a picture differs from the expected one, or "".
std::string firstDifference(const Image& expected, int w, int h, const std::vector<std::uint8_t>& rgba)
{
    if (w != expected.w || h != expected.h)
        return "size " + std::to_string(w) + "x" + std::to_string(h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (std::memcmp(&rgba[((size_t)y * w + x) * 4], expected.at(x, y), 4) != 0)
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

TEST(PngReading, EveryDepthAndInterlacingGivesTheStoredSamplesInBothReadings)
{
    for (const PngLayout& layout : kPngs)
    {
        SCOPED_TRACE(layout.name);
        Image expected;
        const std::vector<std::uint8_t> file = writePng(layout, 19, 13, expected);
        const Image image = readPng(file.data(), file.size(), "t.png", Limits());
        EXPECT_EQ(firstDifference(expected, image.w, image.h, image.rgba), "") << "the importer's reading";
        const velmoracheck::SecondReading second = velmoracheck::readSecondly(file.data(), file.size(), 1 << 20);
        ASSERT_TRUE(second.ok) << second.why;
        EXPECT_EQ(firstDifference(expected, second.w, second.h, second.rgba), "") << "the second reading";
    }
}

TEST(PngReading, ADamagedFileNamesThePartThatIsDamaged)
{
    Image expected;
    std::vector<std::uint8_t> file = writePng(kPngs[0], 19, 13, expected);
    const struct
    {
        const char* name;
        size_t keep;
        const char* reason;
    } cuts[] = {
        {"cut inside the header", 20, "its header is damaged"},
        {"cut inside the pixels", file.size() - 30, "its pixel data is damaged"},
    };
    for (const auto& cut : cuts)
    {
        SCOPED_TRACE(cut.name);
        try
        {
            readPng(file.data(), cut.keep, "t.png", Limits());
            ADD_FAILURE() << "read";
        }
        catch (const ReadError& e)
        {
            EXPECT_NE(std::string(e.what()).find(cut.reason), std::string::npos) << e.what();
        }
    }
}

// ---- Sheets ----

// A frame entry of a sheet's hash form: a 2x2 frame at x of the sheet.
std::string frameEntry(const std::string& name, int x, int size = 2)
{
    const std::string s = std::to_string(size);
    return "\"" + name + "\": {\"frame\": {\"x\": " + std::to_string(x) + ", \"y\": 0, \"w\": " + s + ", \"h\": " + s +
           "}, \"sourceSize\": {\"w\": " + s + ", \"h\": " + s + "}}";
}

std::string sheetOf(const std::vector<std::string>& names, const std::string& tags, const std::string& animations,
                    int bigFrom = 1 << 30)
{
    std::string frames;
    for (size_t i = 0; i < names.size(); i++)
        frames += (i ? ", " : "") + frameEntry(names[i], (int)i * 4, (int)i >= bigFrom ? 3 : 2);
    std::string json = "{\"frames\": {" + frames + "}, \"meta\": {\"image\": \"s.png\", \"frameTags\": [" + tags + "]}";
    if (!animations.empty())
        json += ", \"animations\": {" + animations + "}";
    return json + "}";
}

// Two sprites in one sheet, as Aseprite exports them with '{tag}:{tagframe}' names:
// each tag counts frames within its own sprite.
const std::vector<std::string> kTwoSprites = {"Bird:0", "Bird:1", "Bird:2", "Frog_Idle:0", "Frog_Shoot:0",
                                               "Frog_Shoot:1"};
const char kTwoSpriteTags[] =
    R"({"name": "Bird", "from": 0, "to": 2}, {"name": "Frog_Idle", "from": 0, "to": 0},
       {"name": "Frog_Shoot", "from": 1, "to": 2, "direction": "reverse"})";

struct OrderCase
{
    const char* name;
    std::string json;
    std::string tag;
    std::vector<std::string> frames;  // the names expected, in play order
    const char* refusal;              // or the reason the import is refused
};

const OrderCase kOrderCases[] = {
    {"tag of the first sprite", sheetOf(kTwoSprites, kTwoSpriteTags, ""), "Bird", {"Bird:0", "Bird:1", "Bird:2"}, ""},
    {"tag counted within its own sprite", sheetOf(kTwoSprites, kTwoSpriteTags, ""), "Frog_Idle", {"Frog_Idle:0"}, ""},
    {"reverse tag within its sprite", sheetOf(kTwoSprites, kTwoSpriteTags, ""), "Frog_Shoot",
     {"Frog_Shoot:1", "Frog_Shoot:0"}, ""},
    {"tag whose span disagrees with its frames",
     sheetOf(kTwoSprites, R"({"name": "Bird", "from": 0, "to": 1})", ""), "Bird", {},
     "tag \"Bird\" spans 2 frames (0 to 1) but 3 frames are named after it"},
    {"tag of several sprites named after none",
     sheetOf(kTwoSprites, R"({"name": "Fly", "from": 0, "to": 1})", ""), "Fly", {},
     "holds frames of several sprites (Bird, Frog_Idle, Frog_Shoot) and none is named after tag \"Fly\""},
    {"tag of one sprite counts the sheet's frames",
     sheetOf({"you 0.ase", "you 1.ase", "you 2.ase"}, R"({"name": "walk", "from": 1, "to": 2})", ""), "walk",
     {"you 1.ase", "you 2.ase"}, ""},
    {"animation list in its own order",
     sheetOf({"mine.png", "star3.png", "star1.png", "star2.png"}, "", R"("star": ["star1.png", "star2.png", "star3.png"])"),
     "star", {"star1.png", "star2.png", "star3.png"}, ""},
    {"animation naming a frame the sheet lacks", sheetOf({"a1", "a2"}, "", R"("a": ["a1", "a3"])"), "a", {},
     "animation \"a\" lists frame \"a3\", which the sheet does not have"},
    {"frames named after a sprite, in numeric order",
     sheetOf({"walk10.png", "walk2.png", "walk1.png", "idle1.png"}, "", ""), "walk",
     {"walk1.png", "walk2.png", "walk10.png"}, ""},
    {"whole sheet of numbered frames in numeric order",
     sheetOf({"boom 1.png", "boom 10.png", "boom 11.png", "boom 2.png", "boom 3.png"}, "", ""), "",
     {"boom 1.png", "boom 2.png", "boom 3.png", "boom 10.png", "boom 11.png"}, ""},
    {"whole sheet of unnumbered frames in the file's order", sheetOf({"stand", "step", "jump"}, "", ""), "",
     {"stand", "step", "jump"}, ""},
    {"unknown name lists what there is", sheetOf(kTwoSprites, kTwoSpriteTags, R"("all": ["Bird:0"])"), "Cat", {},
     "no tag, animation or frames called \"Cat\" (its tags: Bird, Frog_Idle, Frog_Shoot; its animations: all; "
     "its frames are named after Bird, Frog_Idle, Frog_Shoot)"},
};

TEST(SheetOrder, EachTagAnimationOrSpritePlaysItsOwnFramesInOrder)
{
    for (const OrderCase& c : kOrderCases)
    {
        SCOPED_TRACE(c.name);
        try
        {
            const Sheet sheet = readSheet(c.json, "s.json", Limits());
            std::vector<std::string> names;
            for (int index : playOrder(sheet, c.tag, "s.json"))
                names.push_back(sheet.frames[index].name);
            EXPECT_EQ(*c.refusal, '\0') << "not refused";
            EXPECT_EQ(names, c.frames);
        }
        catch (const ReadError& e)
        {
            EXPECT_NE(*c.refusal, '\0') << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
}

TEST(SheetOrder, AnAtlasOfSeveralSizesImportsOneAnimationAndRefusesTheWhole)
{
    // "mine.png" is 3x3, the star frames 2x2.
    const std::string json =
        sheetOf({"star1.png", "star2.png", "mine.png"}, "", R"("star": ["star2.png", "star1.png"])", 2);
    const Sheet sheet = readSheet(json, "s.json", Limits());
    const struct
    {
        const char* tag;
        const char* refusal;
    } cases[] = {
        {"star", ""},
        {"", "its frames have several sizes, 2x2 (\"star1.png\") and 3x3 (\"mine.png\"), but every frame of a set "
             "has one size; import one animation with --tag NAME (star)"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.tag);
        try
        {
            checkOneSize(sheet, playOrder(sheet, c.tag, "s.json"), c.tag, "s.json");
            EXPECT_EQ(*c.refusal, '\0') << "not refused";
        }
        catch (const ReadError& e)
        {
            EXPECT_STREQ(e.what(), c.refusal);
        }
    }
}

// ---- Exporters' own ways: padding, Flash, bare numbers, multi-atlas, twice-named tags ----

// A picture of a sheet: each pixel of the opaque rectangle has a colour of its
// own, with the texture's number in blue; the rest is transparent.
struct PictureLayout
{
    int w, h;
    Rect opaque;
};

std::uint8_t channel(int v)
{
    return (std::uint8_t)(v * 16 + 1);
}

Image makePicture(int texture, const PictureLayout& layout)
{
    Image image(layout.w, layout.h);
    const Rect& o = layout.opaque;
    for (int y = o.y; y < o.y + o.h; y++)
        for (int x = o.x; x < o.x + o.w; x++)
        {
            std::uint8_t* p = image.at(x, y);
            p[0] = channel(x);
            p[1] = channel(y);
            p[2] = (std::uint8_t)(100 * texture + 7);
            p[3] = 255;
        }
    return image;
}

// Pixel x, y of a frame comes from pixel sx, sy of a texture's picture, or is
// transparent when sx is -1.
struct Probe
{
    int frame, x, y;
    int texture, sx, sy;
};

struct ExportCase
{
    const char* name;
    std::string json;
    std::string tag;
    std::vector<PictureLayout> pictures;
    int frames, w, h;  // what is cut
    std::vector<Probe> probes;
    const char* refusal;  // or the reason the sheet is refused
};

// The hash form of a sheet of one frame, NAME, cut from s.png at AT; FIELDS
// are the frame's other fields.
std::string oneFrame(const char* name, const Rect& at, const std::string& fields)
{
    const auto n = [](int v) { return std::to_string(v); };
    return std::string(R"({"frames": {")") + name + R"(": {"frame": {"x": )" + n(at.x) + R"(, "y": )" + n(at.y) +
           R"(, "w": )" + n(at.w) + R"(, "h": )" + n(at.h) + "}, " + fields + R"(}}, "meta": {"image": "s.png"}})";
}

const ExportCase kExportCases[] = {
    {"Aseprite's inner padding: a transparent border of 1 around spriteSourceSize",
     oneFrame("hero 0.aseprite", {0, 0, 6, 5}, R"("trimmed": true, "spriteSourceSize": {"x": 1, "y": 0, "w": 4, "h": 3},
        "sourceSize": {"w": 5, "h": 3})"),
     "", {{8, 5, {1, 1, 4, 3}}}, 1, 5, 3,
     {{0, 1, 0, 0, 1, 1}, {0, 4, 2, 0, 4, 3}, {0, 0, 0, 0, -1, 0}, {0, 0, 2, 0, -1, 0}}, ""},
    {"padding whose border is not transparent",
     oneFrame("a", {0, 0, 6, 5}, R"("spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 4, "h": 3})"),
     "", {{6, 5, {0, 0, 6, 5}}}, 0, 0, 0, {},
     "frame \"a\": its rectangle is 6x5, a border of 1,1 pixels around its 4x3 spriteSourceSize, but the border "
     "is not transparent at 0,0; export the sheet again without inner padding"},
    {"Flash: spriteSourceSize holds the untrimmed size; the frame is placed at its x and y",
     oneFrame("spin0000", {2, 1, 4, 3}, R"("rotated": false, "trimmed": true,
        "spriteSourceSize": {"x": 1, "y": 1, "w": 6, "h": 5}, "sourceSize": {"w": 6, "h": 5})"),
     "", {{8, 5, {0, 0, 8, 5}}}, 1, 6, 5,
     {{0, 1, 1, 0, 2, 1}, {0, 4, 3, 0, 5, 3}, {0, 0, 0, 0, -1, 0}, {0, 5, 4, 0, -1, 0}}, ""},
    {"Flash-style frame that lies outside its sourceSize",
     oneFrame("a", {0, 0, 4, 3}, R"("spriteSourceSize": {"x": 3, "y": 3, "w": 6, "h": 5}, "sourceSize": {"w": 6, "h": 5})"),
     "", {{8, 5, {0, 0, 8, 5}}}, 0, 0, 0, {},
     "frame \"a\": spriteSourceSize is 6x5 but its frame is 4x3, and the frame at 3,3 lies outside its sourceSize 6x5"},
    {"frames named by bare numbers are frames of the one sprite",
     R"({"frames": {"0": {"frame": {"x": 0, "y": 0, "w": 2, "h": 2}}, "1": {"frame": {"x": 2, "y": 0, "w": 2, "h": 2}},
        "2": {"frame": {"x": 4, "y": 0, "w": 2, "h": 2}}},
        "meta": {"image": "s.png", "frameTags": [{"name": "walk", "from": 1, "to": 2}]}})",
     "walk", {{6, 2, {0, 0, 6, 2}}}, 2, 2, 2, {{0, 0, 0, 0, 2, 0}, {1, 1, 1, 0, 5, 1}}, ""},
    {"two tags of one name",
     R"({"frames": [{"filename": "0", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}},
        {"filename": "1", "frame": {"x": 2, "y": 0, "w": 2, "h": 2}}, {"filename": "2", "frame": {"x": 4, "y": 0, "w": 2, "h": 2}}],
        "meta": {"image": "s.png", "frameTags": [{"name": "fall", "from": 0, "to": 0}, {"name": "fall", "from": 1, "to": 2}]}})",
     "fall", {{6, 2, {0, 0, 6, 2}}}, 0, 0, 0, {},
     "the tag name \"fall\" is used twice, for frames 0 to 0 and 1 to 2; give each tag a name of its own"},
    {"Phaser 3's multi-atlas: each texture's frames from its own picture",
     R"({"textures": [{"image": "a.png", "format": "RGBA8888", "frames": [
          {"filename": "run0", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}, "rotated": false, "trimmed": false}]},
        {"image": "b.png", "frames": [{"filename": "run1", "frame": {"x": 1, "y": 1, "w": 2, "h": 2}}]}],
        "meta": {"app": "test"}})",
     "run", {{4, 4, {0, 0, 4, 4}}, {4, 4, {0, 0, 4, 4}}}, 2, 2, 2,
     {{0, 0, 0, 0, 0, 0}, {0, 1, 1, 0, 1, 1}, {1, 0, 0, 1, 1, 1}, {1, 1, 1, 1, 2, 2}}, ""},
    {"multi-atlas texture without frames",
     R"({"textures": [{"image": "a.png", "frames": []}, {"image": "b.png"}]})", "", {}, 0, 0, 0, {},
     "texture 1 has no \"frames\" object or list"},
};

TEST(SheetExports, EachExportersFormIsCutAsGameEnginesCutIt)
{
    for (const ExportCase& c : kExportCases)
    {
        SCOPED_TRACE(c.name);
        std::vector<Image> pictures;
        for (size_t t = 0; t < c.pictures.size(); t++)
            pictures.push_back(makePicture((int)t, c.pictures[t]));
        try
        {
            const Sheet sheet = readSheet(c.json, "s.json", Limits());
            const std::vector<int> order = playOrder(sheet, c.tag, "s.json");
            checkOneSize(sheet, order, c.tag, "s.json");
            const std::vector<Frame> frames = cutSheet(sheet, pictures, order, 100, "s.json", Limits());
            ASSERT_EQ(*c.refusal, '\0') << "not refused";
            ASSERT_EQ((int)frames.size(), c.frames);
            for (const Frame& frame : frames)
                EXPECT_EQ(frame.image.w * 1000 + frame.image.h, c.w * 1000 + c.h);
            for (const Probe& p : c.probes)
            {
                const std::uint8_t* got = frames[p.frame].image.at(p.x, p.y);
                const std::uint8_t transparent[4] = {0, 0, 0, 0};
                const std::uint8_t* want = p.sx < 0 ? transparent : pictures[p.texture].at(p.sx, p.sy);
                EXPECT_EQ(std::memcmp(got, want, 4), 0) << "frame " << p.frame << " at " << p.x << "," << p.y;
            }
        }
        catch (const ReadError& e)
        {
            EXPECT_NE(*c.refusal, '\0') << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
}

// ---- PNG endings ----

TEST(PngReading, AFileEndingAfterItsPixelsIsReadWithAWarningAndOneCutShortIsRefused)
{
    Image expected;
    const std::vector<std::uint8_t> whole = writePng(kPngs[5], 19, 13, expected);
    // The last 12 bytes are IEND: length 0, "IEND", its CRC.
    const std::vector<std::uint8_t> noEnd(whole.begin(), whole.end() - 12);
    std::vector<std::uint8_t> cutText = noEnd;
    const char text[] = "\0\0\0\x20tEXtComm";  // a text chunk that claims 32 bytes, cut after 4
    cutText.insert(cutText.end(), text, text + sizeof text - 1);
    const struct
    {
        const char* name;
        std::vector<std::uint8_t> file;
        const char* warning;  // or "" for none
        const char* refusal;  // or "" when it is read
    } cases[] = {
        {"whole", whole, "", ""},
        {"without IEND", noEnd, "t.png: the file ends after the picture's pixel data, without the IEND chunk", ""},
        {"ending in a chunk after the pixels", cutText, "without the IEND chunk", ""},
        {"ending in the pixel data", std::vector<std::uint8_t>(whole.begin(), whole.end() - 40), "",
         "its pixel data is damaged (the file ends in the middle of the picture)"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Warnings warnings;
        try
        {
            const Image image = readPng(c.file.data(), c.file.size(), "t.png", Limits(), &warnings);
            EXPECT_EQ(*c.refusal, '\0') << "not refused";
            EXPECT_EQ(firstDifference(expected, image.w, image.h, image.rgba), "");
            ASSERT_EQ(warnings.size(), *c.warning ? 1u : 0u);
            if (*c.warning)
            {
                EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
            }
        }
        catch (const ReadError& e)
        {
            EXPECT_NE(*c.refusal, '\0') << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
}

// ---- GIF ----

// A GIF of n frames of w x h, frame k filled with palette colour k % 4 and given
// the delay delays[k % delays.size()], written by giflib.
std::vector<std::uint8_t> writeGif(int n, int w, int h, const std::vector<int>& delays)
{
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out,
                                [](GifFileType* file, const GifByteType* data, int length) {
                                    auto* o = static_cast<std::vector<std::uint8_t>*>(file->UserData);
                                    o->insert(o->end(), data, data + length);
                                    return length;
                                },
                                &error);
    GifColorType colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 2, 0, map);
    std::vector<GifPixelType> row(w);
    for (int k = 0; k < n; k++)
    {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, delays[k % delays.size()], NO_TRANSPARENT_COLOR};
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        std::fill(row.begin(), row.end(), (GifPixelType)(k % 4));
        for (int y = 0; y < h; y++)
            EGifPutLine(gif, row.data(), w);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

TEST(GifReading, DelaysOf0And1HundredthsAreShownFor100Ms)
{
    const struct
    {
        int hundredths;
        int pause;
    } cases[] = {{0, 100}, {1, 100}, {2, 20}, {7, 70}, {100, 1000}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.hundredths);
        EXPECT_EQ(gifPause(c.hundredths), c.pause);
    }
    const std::vector<std::uint8_t> file = writeGif(5, 3, 2, {0, 1, 5});
    GifFrames reader(file.data(), file.size(), "t.gif", Limits());
    std::vector<int> pauses;
    for (Frame frame; reader.next(frame);)
        pauses.push_back(frame.pause);
    EXPECT_EQ(pauses, (std::vector<int>{100, 100, 50, 100, 100}));
    EXPECT_EQ(reader.shortDelays(), 4);
}

TEST(GifReading, ALongGifIsComposedOneFrameAtATimeWithinTheLimits)
{
    // 300 frames of 64x64: each frame handed over on its own, in its own colour.
    const std::vector<std::uint8_t> file = writeGif(300, 64, 64, {4});
    GifFrames reader(file.data(), file.size(), "t.gif", Limits());
    const std::uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    int count = 0;
    for (Frame frame; reader.next(frame); count++)
    {
        ASSERT_EQ(frame.image.w, 64);
        ASSERT_EQ(std::memcmp(frame.image.at(63, 63), colours[count % 4], 3), 0) << "frame " << count;
    }
    EXPECT_EQ(count, 300);

    Limits few;
    few.frames = 299;
    GifFrames limited(file.data(), file.size(), "t.gif", few);
    try
    {
        for (Frame frame; limited.next(frame);)
        {
        }
        ADD_FAILURE() << "the frame limit was not kept";
    }
    catch (const ReadError& e)
    {
        EXPECT_STREQ(e.what(), "more than 299 frames");
    }
}

}
