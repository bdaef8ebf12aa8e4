// The recording clock (tools/recorder) preloaded into the real program, on a
// purpose-made scene: one picture per pass, a clock that moves its step per
// pass, Up held for exactly the passes asked for, and a clean end after the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "picture.h"
#include "recording_clock.h"
#include "scene.h"
#include "xsession.h"

namespace fs = std::filesystem;

namespace
{

constexpr int kPasses = 30;
constexpr int kStep = 40;
constexpr int kUpFirst = 10, kUpLast = 19;
constexpr e2e::Rgb kRed{220, 30, 30};
constexpr e2e::Rgb kBlue{30, 30, 220};

fs::path picture(const fs::path& dir, int pass)
{
    char name[32];
    snprintf(name, sizeof name, "pass-%04d.bmp", pass);
    return dir / name;
}

TEST(RecordingClock, RecordsEveryPassOnItsClockWithUpHeldAsAsked)
{
    // The still scene, with a sun that turns from red to blue and back.
    e2e::SceneData data = e2e::stillScene();
    data.sun.frames = {e2e::solid(64, 64, kRed), e2e::solid(64, 64, kBlue)};
    data.sun.pause = 90;
    velmora::TempDir work;
    data.write(work.path());
    const fs::path frames = work.path() / "frames";
    fs::create_directory(frames);

    const velmora::Outcome result = testsupport::runOnRecordingClock(
        e2e::velmoraProgram().string(), work.str(),
        {{"VELMORA_RECORD_DIR", frames.string()},
         {"VELMORA_RECORD_PASSES", std::to_string(kPasses)},
         {"VELMORA_RECORD_STEP", std::to_string(kStep)},
         {"VELMORA_RECORD_UP", std::to_string(kUpFirst) + "-" + std::to_string(kUpLast)}},
        velmora::Seconds(60));
    ASSERT_EQ(result.status, 0) << result;
    EXPECT_FALSE(fs::exists(picture(frames, kPasses))) << "a picture past the last pass";

    // The sun moves on at the first pass whose tick is more than its pause past
    // its last change; the figure rises a pixel in every pass with Up held.
    int sunFrame = 0;
    int changedAt = 0;
    for (int pass = 0; pass < kPasses; pass++)
    {
        SCOPED_TRACE("pass " + std::to_string(pass));
        const int now = pass * kStep;
        if (now - changedAt > data.sun.pause)
        {
            sunFrame = 1 - sunFrame;
            changedAt = now;
        }
        const int risen = std::clamp(pass - kUpFirst + 1, 0, kUpLast - kUpFirst + 1);

        e2e::Picture shot = e2e::Picture::loadBmp(picture(frames, pass));
        ASSERT_FALSE(shot.empty());
        EXPECT_EQ(shot.at(e2e::kSunAt.x + 32, e2e::kSunAt.y + 32), sunFrame ? kBlue : kRed);
        e2e::SceneModel model;
        model.vikings1Y = e2e::kVikings1At.y - risen;
        EXPECT_TRUE(model.expect(data).matches(shot));
    }
}

}
