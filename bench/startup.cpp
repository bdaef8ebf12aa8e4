// Start-up time of the real program, measured by spawning it with a preloaded
// library that timestamps its first presented frame (first_frame_shim.cpp).
#include "startup.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "process.h"
#include "temp_dir.h"

namespace
{

long long nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// The program in `dataDir` with the shim preloaded, writing its times to `out`.
velmora::Command startupCommand(const std::string& program, const std::string& shim,
                                const std::string& dataDir, const std::string& out)
{
    velmora::Command command{{program}};
    command.dir = dataDir;
    // The shim goes first; whatever else is preloaded (such as the SDL 1.2
    // compatibility layer, to time the program on it) stays behind it.
    const char* preloaded = getenv("LD_PRELOAD");
    command.env = {{"LD_PRELOAD", preloaded && *preloaded ? shim + ":" + preloaded : shim},
                   {"VELMORA_FIRST_FRAME_OUT", out}};
    // The program's messages, and the complaints of audio libraries that find
    // no sound card, are not part of the measurement.
    command.out.kind = command.err.kind = velmora::Stream::Null;
    return command;
}

}

std::vector<StartupRun> measureStartup(const std::string& program, const std::string& shim,
                                       const std::string& dataDir, int runs)
{
    std::vector<StartupRun> results;
    std::optional<velmora::TempDir> dir;
    try
    {
        dir.emplace("velmora-first-frame");
    }
    catch (const std::system_error& e)
    {
        fprintf(stderr, "velmora-bench: %s\n", e.what());
        return results;
    }
    const std::string out = (dir->path() / "times").string();
    const velmora::Command command = startupCommand(program, shim, dataDir, out);

    for (int run = 0; run < runs; ++run)
    {
        std::filesystem::remove(out);
        long long startNs = nowNs();
        velmora::Process child;
        if (!child.start(command))
        {
            fprintf(stderr, "velmora-bench: %s\n", child.error().c_str());
            break;
        }
        const velmora::Outcome outcome = child.wait(velmora::Seconds(30));
        long long loaded = 0, init = 0, mode = 0, frame = 0;
        std::ifstream in(out);
        if (outcome.status != 0 || !(in >> loaded >> init >> mode >> frame))
        {
            fprintf(stderr, "velmora-bench: start-up run %d of %s presented no frame (status %d)\n",
                    run + 1, program.c_str(), outcome.status);
            continue;
        }
        results.push_back({(loaded - startNs) / 1e6, (init - startNs) / 1e6,
                           (mode - startNs) / 1e6, (frame - startNs) / 1e6});
    }
    return results;
}
