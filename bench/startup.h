// Start-up time of the real program: from process start to its first presented frame.
#ifndef VELMORA_BENCH_STARTUP_H
#define VELMORA_BENCH_STARTUP_H

#include <string>
#include <vector>

// One start of the program, in milliseconds from the moment before it was spawned.
struct StartupRun
{
    double loadedMs;     // the process runs: exec and dynamic linking are done
    double initMs;       // SDL_Init has returned (video and audio)
    double modeMs;       // the video mode is set
    double firstFrameMs; // the scene is set up and its first frame is presented
};

// Starts `program` `runs` times in `dataDir` with `shim` preloaded, which ends each
// run right after its first SDL_Flip. The child inherits the environment, so
// SDL_VIDEODRIVER chooses between the dummy driver and X11. Returns the runs that
// finished; failures are reported on stderr.
std::vector<StartupRun> measureStartup(const std::string& program, const std::string& shim,
                                       const std::string& dataDir, int runs);

#endif
