// Soak run: the real program, headless, through 60 simulated days on the
// recording clock, which moves a millisecond per pass in a window around
// start-up, 2^24 ms, 2^31 ms, the wrap at 2^32 ms and day 60, and leaps between
// them. Every frame period measured in those windows must be what it is at
// start-up, to the millisecond, and the program's memory must not grow.
#include "sprite.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "recording_clock.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace
{

// The scene's sprites in drawing order, with their sets and speeds.
struct SceneSprite
{
    const char* name;
    const char* set;
    float speed;
};
const SceneSprite kSprites[] = {
    {"sun", "includes/sun", 1.0f},
    {"vikings1", "includes/vikings", 1.0f},
    {"vikings2", "includes/vikings", 1.5f},
};
// Where the clock measures: 3000 passes a millisecond apart around each tick.
const long kWindowPasses = 3000;
struct Window
{
    const char* name;
    unsigned long long around;
};
const Window kWindows[] = {
    {"start", kWindowPasses / 2},
    {"2^24", 1ull << 24},
    {"2^31", 1ull << 31},
    {"2^32", 1ull << 32},
    {"day60", 60ull * 24 * 3600 * 1000},
};

// The windows as the recording clock reads them: NAME@TICK,...
std::string windowList()
{
    std::string list;
    for (const Window& w : kWindows)
        list += std::string(list.empty() ? "" : ",") + w.name + "@" + std::to_string(w.around - kWindowPasses / 2);
    return list;
}

struct SoakLog
{
    // periods[window][sprite][frame]: every period measured for that frame
    std::map<std::string, std::map<int, std::map<int, std::set<long>>>> periods;
    std::map<std::string, long> residentKiB;
    std::string end;
};

SoakLog readLog(const fs::path& file)
{
    SoakLog log;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
    {
        std::istringstream fields(line);
        std::string kind, window;
        fields >> kind;
        if (kind == "period")
        {
            int sprite = -1, frame = -1;
            long ms = -1;
            fields >> window >> sprite >> frame >> ms;
            log.periods[window][sprite][frame].insert(ms);
        }
        else if (kind == "rss")
        {
            fields >> window;
            fields >> log.residentKiB[window];
        }
        else if (kind == "end")
        {
            log.end = line;
        }
    }
    return log;
}

// The pause of every frame of a set, as the engine loads it.
std::vector<int> pausesOf(const fs::path& dir)
{
    CSpriteBase set = CSpriteBase();
    EXPECT_EQ(set.init(dir.c_str()), 0) << dir;
    std::vector<int> pauses;
    for (int i = 0; i < set.mNumFrames; i++)
        pauses.push_back(set.mAnim[i].pause);
    return pauses;
}

class Soak : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The engine needs a display to load the sets it reads the pauses from.
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE), nullptr) << SDL_GetError();
    }
    void TearDown() override { SDL_Quit(); }
};

TEST_F(Soak, FramePeriodsAndMemoryHoldForSixtyDays)
{
    const fs::path data = VELMORA_DATA;
    velmora::TempDir scratch("velmora-soak");
    const fs::path logFile = scratch.path() / "soak.log";

    const velmora::Outcome result = testsupport::runOnRecordingClock(
        VELMORA_PROGRAM, data.string(),
        {{"VELMORA_RECORD_LOG", logFile.string()},
         {"VELMORA_RECORD_PASSES", std::to_string(kWindowPasses)},
         {"VELMORA_RECORD_STEP", "1"},
         {"VELMORA_RECORD_WINDOWS", windowList()}},
        velmora::Seconds(240));
    ASSERT_EQ(result.status, 0) << result;

    SoakLog log = readLog(logFile);
    ASSERT_FALSE(log.end.empty()) << "the run ended before its last window";
    std::cout << log.end << "\n";

    for (int s = 0; s < 3; s++)
    {
        const SceneSprite& sprite = kSprites[s];
        const std::vector<int> pauses = pausesOf(data / sprite.set);
        ASSERT_FALSE(pauses.empty());
        for (const Window& w : kWindows)
        {
            const char* window = w.name;
            const auto& measured = log.periods[window][s];
            std::cout << window << " " << sprite.name << ":";
            // Every frame of the set shows at least once in a window.
            EXPECT_EQ(measured.size(), pauses.size()) << window << " " << sprite.name;
            for (const auto& [frame, periods] : measured)
            {
                ASSERT_LT(frame, (int)pauses.size());
                // One pass a millisecond: the change comes at the first whole
                // millisecond past the pause times the speed.
                const long expected = (long)(pauses[frame] * (double)sprite.speed) + 1;
                EXPECT_EQ(periods, std::set<long>{expected})
                    << window << " " << sprite.name << " frame " << frame;
                for (long ms : periods)
                    std::cout << " " << ms;
            }
            std::cout << " ms\n";
        }
    }

    // Memory after the first window is what the program keeps; nothing may be
    // added to it per pass.
    ASSERT_EQ(log.residentKiB.size(), std::size(kWindows));
    const long first = log.residentKiB["start"];
    for (const Window& w : kWindows)
    {
        const char* window = w.name;
        std::cout << "resident after " << window << ": " << log.residentKiB[window] << " KiB\n";
        EXPECT_GT(log.residentKiB[window], 0);
        EXPECT_LE(log.residentKiB[window], first + 256) << window;
    }
}

}
