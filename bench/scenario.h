// A scenario of velmora-bench: the passes it times, and the figures of its repeats.
#ifndef VELMORA_BENCH_SCENARIO_H
#define VELMORA_BENCH_SCENARIO_H

#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

#include "passes.h"

class FramesShown;

struct Scenario
{
    std::string group;     // what --only selects
    std::string name;      // the table's first column
    std::string strategy;  // dirty, full, floor or memcpy
    int sprites = 0;
    int size = 0;          // sprite edge in pixels, 0 for the demo's own sets
    int targetW = 0, targetH = 0;
    int passes = 0;
    std::vector<size_t> blitBytes;  // bytes each blit of a pass moves
    std::function<void()> prepare;  // before each repeat, untimed
    std::function<void()> finish;   // after each repeat, untimed
    std::function<void(int)> run;
    std::function<Phases(int)> runInstrumented;
    // Set for a scenario that another process measures: it replaces the runs
    // above and adds the repeat's rate, CPU rate and shares itself.
    std::function<void(Scenario&)> external;

    std::vector<double> rates;     // passes per second of wall-clock time
    std::vector<double> cpuRates;  // passes per second of this thread's CPU time
    std::vector<double> memcpyRates;
    std::vector<Phases> shares;  // fractions of the instrumented pass time
    // Frames that reached the display server during the rated run, per repeat,
    // when a watcher counts them (frames_shown.h); empty otherwise.
    std::vector<double> framesShown;
    std::vector<double> shownRates;   // frames shown per second of wall-clock time
    std::vector<double> cpuPerShown;  // seconds of this thread's CPU time per frame shown

    // Records a rated run's frames shown, given its wall and CPU seconds.
    void addFramesShown(long frames, double wall, double cpu);
};

double secondsSince(Clock::time_point start);
double threadCpuSeconds();

double median(std::vector<double> v);
double minOf(const std::vector<double>& v);
double maxOf(const std::vector<double>& v);
double medianRate(const Scenario* s);
// The median share of each phase over the repeats.
Phases medianShares(const Scenario& s);
// Bytes of a w x h area in the pixel format of `like`.
size_t surfaceBytes(int w, int h, const SDL_Surface* like);

// One repeat: warm-up, the rated run, the instrumented run and the memory floor of
// the same bytes; `first` is true in the first repeat. `shown`, when given,
// counts the frames shown during the rated run.
void runRepeat(Scenario& s, bool first, MemoryFloor& memoryFloor, FramesShown* shown = nullptr);

#endif
