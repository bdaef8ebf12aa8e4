// Broken data in the working directory, one fault per case: the program starts,
// keeps drawing the rest of the scene pass after pass, writes nothing about it,
// and ends with status 0 at Escape.
#include <fstream>
#include <random>

#include "fixture.h"

namespace e2e
{
namespace
{

namespace fs = std::filesystem;

// Each set's two frames are plain colours, one per frame.
using TwoColours = Rgb[2];
constexpr TwoColours kSunColours = {{250, 210, 20}, {250, 120, 0}};
constexpr TwoColours kVikingColours = {{150, 40, 40}, {40, 40, 150}};

std::vector<Picture> twoFrames(int width, int height, const TwoColours& colours)
{
    return {solid(width, height, colours[0]), solid(width, height, colours[1])};
}

// Two frames per set, so the intact sets show that passes go on.
SceneData goodScene()
{
    SceneData data;
    data.background = markedBackground();
    data.sun.frames = twoFrames(64, 64, kSunColours);
    data.sun.frames[0].fill(28, 28, 8, 8, kKey);
    data.sun.pause = 80;
    data.vikings.frames = twoFrames(64, 64, kVikingColours);
    data.vikings.frames[1].fill(8, 8, 8, 8, kKey);
    data.vikings.pause = 80;
    return data;
}

fs::path sunDir(const fs::path& dir) { return dir / "includes" / "sun"; }
fs::path vikingsDir(const fs::path& dir) { return dir / "includes" / "vikings"; }

void truncateTo(const fs::path& file, std::uintmax_t size) { fs::resize_file(file, size); }

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string noise(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = char(random() & 0xFF);
    return bytes;
}

void putLe32(std::string& bytes, size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

// A BMP header that claims a 100000 x 100000 picture and holds no pixels.
std::string hugeBmpHeader()
{
    std::string bytes(54, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLe32(bytes, 2, 54);
    putLe32(bytes, 10, 54);
    putLe32(bytes, 14, 40);
    putLe32(bytes, 18, 100000);
    putLe32(bytes, 22, 100000);
    bytes[26] = 1;
    bytes[28] = 24;
    return bytes;
}

struct BadData
{
    const char* name;
    // What the rest of the scene must show: the broken part is Absent when
    // nothing of it can load, Maybe when some of its frames may still be
    // drawn, Unknown when what loads is garbage.
    SceneModel model;
    // Breaks the good data written into the working directory.
    std::function<void(const fs::path&)> spoil;
    // Changes to the good data before it is written, for sets that are odd but valid.
    std::function<void(SceneData&)> change = nullptr;
};

// Test names and failure messages show the case by its name.
void PrintTo(const BadData& bad, std::ostream* os) { *os << bad.name; }

SceneModel with(Shown background, Shown sun, Shown vikings)
{
    SceneModel model;
    model.background = background;
    model.sun = sun;
    model.vikings = vikings;
    return model;
}

const Shown D = Shown::Drawn;

const BadData kCases[] = {
    {"NoBackground", with(Shown::Unknown, D, D),
     [](const fs::path& dir) { fs::remove(dir / "bg.bmp"); }},
    {"TruncatedBackground", with(Shown::Unknown, D, D),
     [](const fs::path& dir) { truncateTo(dir / "bg.bmp", fs::file_size(dir / "bg.bmp") / 2); }},
    {"BackgroundHeaderOnly", with(Shown::Unknown, D, D),
     [](const fs::path& dir) { truncateTo(dir / "bg.bmp", 54); }},
    {"BackgroundIsNotABmp", with(Shown::Unknown, D, D),
     [](const fs::path& dir) { writeText(dir / "bg.bmp", "a landscape, in words\n"); }},
    {"BackgroundIsADirectory", with(Shown::Unknown, D, D),
     [](const fs::path& dir) {
         fs::remove(dir / "bg.bmp");
         fs::create_directory(dir / "bg.bmp");
     }},
    {"NoIncludesDirectory", with(D, Shown::Absent, Shown::Absent),
     [](const fs::path& dir) { fs::remove_all(dir / "includes"); }},
    {"IncludesIsAFile", with(D, Shown::Absent, Shown::Absent),
     [](const fs::path& dir) {
         fs::remove_all(dir / "includes");
         writeText(dir / "includes", "not a directory\n");
     }},
    {"NoSunDirectory", with(D, Shown::Absent, D),
     [](const fs::path& dir) { fs::remove_all(sunDir(dir)); }},
    {"NoVikingsDirectory", with(D, D, Shown::Absent),
     [](const fs::path& dir) { fs::remove_all(vikingsDir(dir)); }},
    {"VikingsDirectoryIsAFile", with(D, D, Shown::Absent),
     [](const fs::path& dir) {
         fs::remove_all(vikingsDir(dir));
         writeText(vikingsDir(dir), "FILES: 2\n");
     }},
    {"NoSunInfo", with(D, Shown::Absent, D),
     [](const fs::path& dir) { fs::remove(sunDir(dir) / "info"); }},
    {"SunInfoIsADirectory", with(D, Shown::Absent, D),
     [](const fs::path& dir) {
         fs::remove(sunDir(dir) / "info");
         fs::create_directory(sunDir(dir) / "info");
     }},
    {"EmptyVikingsInfo", with(D, D, Shown::Absent),
     [](const fs::path& dir) { writeText(vikingsDir(dir) / "info", ""); }},
    {"FilesZero", with(D, Shown::Absent, D),
     [](const fs::path& dir) { writeText(sunDir(dir) / "info", "FILES: 0\nf0.bmp 80 255 0 255\n"); }},
    {"FilesMinusOne", with(D, D, Shown::Absent),
     [](const fs::path& dir) {
         writeText(vikingsDir(dir) / "info", "FILES: -1\nf0.bmp 80 255 0 255\n");
     }},
    {"FilesHuge", with(D, Shown::Maybe, D),
     [](const fs::path& dir) {
         writeText(sunDir(dir) / "info",
                   "FILES: 99999999\nf0.bmp 80 255 0 255\nf1.bmp 80 255 0 255\n");
     }},
    {"InfoWithNulBytesAndNoise", with(D, Shown::Maybe, D),
     [](const fs::path& dir) {
         writeBytes(sunDir(dir) / "info",
                    std::string("FILES: 3\n\0\0\0\nf0.bmp 80 255 0 255\n", 32) + noise(600, 7));
     }},
    {"FirstFrameMissing", with(D, D, Shown::Absent),
     [](const fs::path& dir) {
         writeText(vikingsDir(dir) / "info", "FILES: 2\nnothere.bmp 80 255 0 255\nf1.bmp\n");
     }},
    {"LaterFrameMissing", with(D, D, Shown::Maybe),
     [](const fs::path& dir) {
         writeText(vikingsDir(dir) / "info",
                   "FILES: 3\nf0.bmp 80 255 0 255\nnothere.bmp 80 255 0 255\nf1.bmp\n");
     }},
    {"FrameIsADirectory", with(D, D, Shown::Absent),
     [](const fs::path& dir) {
         fs::remove(vikingsDir(dir) / "f0.bmp");
         fs::create_directory(vikingsDir(dir) / "f0.bmp");
     }},
    {"TruncatedFrame", with(D, Shown::Unknown, D),
     [](const fs::path& dir) { truncateTo(sunDir(dir) / "f0.bmp", 200); }},
    {"FrameOfNoise", with(D, D, Shown::Unknown),
     [](const fs::path& dir) { writeBytes(vikingsDir(dir) / "f0.bmp", "BM" + noise(4000, 3)); }},
    {"FrameClaimingAHugeSize", with(D, Shown::Unknown, D),
     [](const fs::path& dir) { writeBytes(sunDir(dir) / "f1.bmp", hugeBmpHeader()); }},
    {"OnePixelFrames", with(D, D, D), [](const fs::path&) {},
     [](SceneData& data) {
         data.vikings.frames = twoFrames(1, 1, kVikingColours);
     }},
    {"SunFramesLargerThanTheScreen", with(D, D, D), [](const fs::path&) {},
     [](SceneData& data) {
         data.sun.frames = twoFrames(1500, 1000, kSunColours);
         data.sun.frames[0].fill(100, 100, 50, 50, kKey);
     }},
    {"VikingFramesLargerThanTheScreen", with(D, D, D), [](const fs::path&) {},
     [](SceneData& data) {
         data.vikings.frames = twoFrames(2000, 1200, kVikingColours);
         data.vikings.frames[0].fill(0, 0, 300, 100, kKey);
     }},
    {"CommentLineLongerThan254", with(D, D, Shown::Maybe),
     [](const fs::path& dir) {
         writeText(vikingsDir(dir) / "info", "FILES: 2\n#" + std::string(300, 'x') +
                                                 "\nf0.bmp 80 255 0 255\nf1.bmp\n");
     }},
    {"FrameNameLongerThan254", with(D, Shown::Maybe, D),
     [](const fs::path& dir) {
         writeText(sunDir(dir) / "info", "FILES: 2\nf0.bmp 80 255 0 255\n" +
                                             std::string(300, 'n') + ".bmp 80 255 0 255\n");
     }},
};

class BadDataMatrix : public ProgramTest, public testing::WithParamInterface<BadData>
{
};

TEST_P(BadDataMatrix, ProgramRunsOnAndEndsWithStatusZeroOnEscape)
{
    const BadData& bad = GetParam();
    SceneData data = goodScene();
    if (bad.change)
        bad.change(data);
    data.write(workdir());
    bad.spoil(workdir());

    Session& s = start();
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(bad.model.expect(data)));

    // Passes go on: an intact set keeps changing frames.
    struct Probe
    {
        Point at;
        Shown shown;
        Rgb next;
    };
    for (Probe p : {Probe{kSunAt, bad.model.sun, data.sun.frames[1].at(0, 0)},
                    Probe{kVikings2At, bad.model.vikings, data.vikings.frames[1].at(0, 0)}})
    {
        if (p.shown != Shown::Drawn)
            continue;
        EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
            return shot.at(p.at.x, p.at.y) == p.next;
        })) << "the sprite at (" << p.at.x << "," << p.at.y << ") does not animate";
    }
    EXPECT_TRUE(s.program().running()) << "the program " << s.program().wait(kExitTimeout);
    expectCleanEndAfterEscape();
}

INSTANTIATE_TEST_SUITE_P(BadData, BadDataMatrix, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BadData>& info) {
                             return std::string(info.param.name);
                         });

}
}
