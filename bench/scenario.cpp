// Running a scenario's repeats and summing up its figures.
#include "scenario.h"

#include "frames_shown.h"

#include <time.h>

#include <algorithm>

namespace
{

// Short runs warm up with a tenth of their passes; long ones, whose working set
// does not stay in the caches anyway, only in the first repeat.
int warmUpPasses(const Scenario& s, bool first)
{
    if (s.passes >= 10)
        return s.passes / 10;
    return first ? 1 : 0;
}

// A run short enough to hold no more passes than this has passes of many
// milliseconds, beside which the instrumented run's clock reads (five per pass)
// are lost in the noise: that run then gives the rate as well, and the large
// scaling cases take half the time.
const int kLongPassRun = 3;

}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of this thread: unlike the wall clock it stops while another process
// has the core, which shows how much of a slow repeat was load from elsewhere.
double threadCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double minOf(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

double maxOf(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

double medianRate(const Scenario* s)
{
    return s ? median(s->rates) : 0;
}

Phases medianShares(const Scenario& s)
{
    std::vector<double> r, sv, d, p;
    for (const Phases& ph : s.shares)
    {
        r.push_back(ph.restore);
        sv.push_back(ph.save);
        d.push_back(ph.draw);
        p.push_back(ph.present);
    }
    Phases m;
    m.restore = median(r);
    m.save = median(sv);
    m.draw = median(d);
    m.present = median(p);
    return m;
}

size_t surfaceBytes(int w, int h, const SDL_Surface* like)
{
    return (size_t)w * (size_t)h * like->format->BytesPerPixel;
}

void Scenario::addFramesShown(long frames, double wall, double cpu)
{
    if (frames < 0)
        return;
    framesShown.push_back((double)frames);
    shownRates.push_back(frames / std::max(wall, 1e-9));
    // No frame shown at all leaves the CPU per frame unknown, not zero.
    cpuPerShown.push_back(frames > 0 ? cpu / frames : 0);
}

void runRepeat(Scenario& s, bool first, MemoryFloor& memoryFloor, FramesShown* shown)
{
    if (s.external)
    {
        s.external(s);
        return;
    }
    if (s.prepare)
        s.prepare();
    if (int warm = warmUpPasses(s, first))
        s.run(warm);

    long shownBefore = shown ? shown->count() : -1;
    double cpuStart = threadCpuSeconds();
    Clock::time_point start = Clock::now();
    Phases ph;
    if (s.passes > kLongPassRun)
    {
        s.run(s.passes);
    }
    else
    {
        ph = s.runInstrumented(s.passes);
    }
    double wall = secondsSince(start);
    double cpu = threadCpuSeconds() - cpuStart;
    s.rates.push_back(s.passes / wall);
    s.cpuRates.push_back(s.passes / std::max(cpu, 1e-9));
    if (shownBefore >= 0)
    {
        long shownAfter = shown->count();
        s.addFramesShown(shownAfter < 0 ? -1 : shownAfter - shownBefore, wall, cpu);
    }

    if (s.passes > kLongPassRun)
        ph = s.runInstrumented(s.passes);
    double total = ph.total();
    if (total > 0)
    {
        ph.restore /= total;
        ph.save /= total;
        ph.draw /= total;
        ph.present /= total;
    }
    s.shares.push_back(ph);

    if (!s.blitBytes.empty())
    {
        if (int warm = warmUpPasses(s, first))
            memoryFloor.run(s.blitBytes, warm);
        start = Clock::now();
        memoryFloor.run(s.blitBytes, s.passes);
        s.memcpyRates.push_back(s.passes / secondsSince(start));
    }
    if (s.finish)
        s.finish();
    // X11 keeps sending events to the window; don't let them pile up.
    SDL_PumpEvents();
}
