// The real program run headless on the recording clock (tools/recorder), for
// the tests that drive it through simulated time. The test's target defines
// VELMORA_RECORDING_CLOCK, the library's file.
#ifndef VELMORA_TESTS_RECORDING_CLOCK_H
#define VELMORA_TESTS_RECORDING_CLOCK_H

#include <string>
#include <utility>

#include "process.h"

namespace testsupport
{

// Runs `program` in `dir` on SDL's dummy drivers with the recording clock
// preloaded and set up by `settings` (its VELMORA_RECORD_* variables), and
// collects its output; kills it at the deadline.
inline velmora::Outcome runOnRecordingClock(const std::string& program, const std::string& dir,
                                            velmora::EnvChanges settings, velmora::Seconds deadline)
{
    velmora::Command command{{program}};
    command.dir = dir;
    command.env = std::move(settings);
    command.env["SDL_VIDEODRIVER"] = "dummy";
    command.env["SDL_AUDIODRIVER"] = "dummy";
    command.env["LD_PRELOAD"] = VELMORA_RECORDING_CLOCK;
    command.out.kind = command.err.kind = velmora::Stream::Collect;
    return velmora::run(command, deadline);
}

}

#endif
