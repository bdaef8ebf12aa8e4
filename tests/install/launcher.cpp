// The installed launcher's window, under the Xvfb harness.
#include "launcher.h"

#include <algorithm>

namespace install
{

using namespace e2e;

namespace
{

// A set's frames, every BMP of its directory; none when the set is not there.
std::vector<Picture> framesOf(const fs::path& set)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(set, ec))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<Picture> frames;
    for (const fs::path& file : files)
        frames.push_back(Picture::loadBmp(file));
    return frames;
}

}

void InstalledLauncherTest::expectSceneFrom(const fs::path& launcher, const fs::path& data,
                                            const EnvChanges& env)
{
    const Picture background = Picture::loadBmp(data / "bg.bmp");
    ASSERT_FALSE(background.empty()) << data / "bg.bmp";
    ExpectedPicture expected(kWindowWidth, kWindowHeight);
    expected.background(background);
    struct Placed
    {
        const char* set;
        Point at;
        int width = 0;
        int height = 0;
    };
    std::vector<Placed> drawn;
    for (Placed p : {Placed{"sun", kSunAt}, Placed{"vikings", kVikings1At}, Placed{"vikings", kVikings2At}})
    {
        const std::vector<Picture> frames = framesOf(data / "includes" / p.set);
        if (frames.empty())
            continue;
        expected.sprite(frames, kKey, p.at.x, p.at.y);
        p.width = frames.front().width();
        p.height = frames.front().height();
        drawn.push_back(p);
    }

    RunOptions options;
    options.program = launcher;
    options.env = env;
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(expected));
    for (const Placed& p : drawn)
    {
        const Picture under = background.crop(p.at.x, p.at.y, p.width, p.height);
        EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
            return shot.crop(p.at.x, p.at.y, p.width, p.height) != under;
        })) << p.set << " is not drawn at (" << p.at.x << "," << p.at.y << ")";
    }
    expectCleanEndAfterEscape();
}

}
