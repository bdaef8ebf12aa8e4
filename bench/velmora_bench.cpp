// velmora-bench: how fast the sprite engine draws the demo scene, where the time
// of a pass goes, how the cost grows with sprite count and area, and how long the
// program takes to show its first frame.
//
// Every scenario runs a warm-up and then a fixed number of passes, and does so in
// every repeat; the repeats go round all scenarios in turn, so a burst of load from
// elsewhere on the machine hits them alike. The passes-per-second rate comes from
// an uninstrumented run; a second run of the same work with a clock read between
// phases gives the share of a pass spent restoring, saving, drawing and presenting.
// For the demo scene the rated run calls the program's own drawScene.
//
// Usage: velmora-bench [--data DIR] [--x11] [--repeats N] [--passes N]
//                      [--startup-runs N] [--only LIST] [--csv FILE] [--plot PNG]
#include "startup.h"
#include "velmora.h"

#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

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

struct Options
{
    std::string dataDir = VELMORA_BENCH_DATA_DIR;
    std::string program = VELMORA_BENCH_PROGRAM;
    std::string shim = VELMORA_BENCH_SHIM;
    std::string plotScript = VELMORA_BENCH_PLOT_SCRIPT;
    std::string csv;
    std::string plot;
    std::vector<std::string> only;
    bool x11 = false;
    int repeats = 5;
    int passes = 0;  // 0: 1000 headless, 200 on X11, where every flip copies the whole window
    int startupRuns = 20;
};

void usage()
{
    printf("usage: velmora-bench [options]\n"
           "  --data DIR        the demo's data directory (default %s)\n"
           "  --x11             draw on the X display in $DISPLAY instead of SDL's dummy driver\n"
           "  --repeats N       repeats of every scenario (default 5)\n"
           "  --passes N        passes per repeat of the demo scenarios (default 1000, 200 with "
           "--x11)\n"
           "  --startup-runs N  starts of the real program to time (default 20, 0 skips)\n"
           "  --only LIST       comma-separated scenario groups: scene,floor,unkeyed,full,rle,\n"
           "                    target,scaling,startup\n"
           "  --csv FILE        write every figure to FILE\n"
           "  --plot PNG        draw passes/s against sprite count from the CSV (needs --csv)\n",
           VELMORA_BENCH_DATA_DIR);
}

bool parseInt(const char* text, int minimum, int* value)
{
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (!end || *end != '\0' || v < minimum || v > 100000000)
        return false;
    *value = (int)v;
    return true;
}

bool parseOptions(int argc, char** argv, Options* opt)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--x11")
            opt->x11 = true;
        else if (arg == "--help" || arg == "-h")
        {
            usage();
            exit(0);
        }
        else if (!next)
        {
            fprintf(stderr, "velmora-bench: unknown option or missing value: %s\n", arg.c_str());
            return false;
        }
        else
        {
            bool ok = true;
            if (arg == "--data")
                opt->dataDir = next;
            else if (arg == "--csv")
                opt->csv = next;
            else if (arg == "--plot")
                opt->plot = next;
            else if (arg == "--repeats")
                ok = parseInt(next, 1, &opt->repeats);
            else if (arg == "--passes")
                ok = parseInt(next, 1, &opt->passes);
            else if (arg == "--startup-runs")
                ok = parseInt(next, 0, &opt->startupRuns);
            else if (arg == "--only")
            {
                std::stringstream list(next);
                std::string item;
                while (std::getline(list, item, ','))
                    opt->only.push_back(item);
            }
            else
                ok = false;
            if (!ok)
            {
                fprintf(stderr, "velmora-bench: bad option: %s %s\n", arg.c_str(), next);
                return false;
            }
            ++i;
        }
    }
    if (!opt->plot.empty() && opt->csv.empty())
    {
        fprintf(stderr, "velmora-bench: --plot draws from the CSV file: give --csv too\n");
        return false;
    }
    return true;
}

bool wanted(const Options& opt, const std::string& group)
{
    return opt.only.empty() || std::find(opt.only.begin(), opt.only.end(), group) != opt.only.end();
}

// Time spent in each phase of the passes of one run, in seconds.
struct Phases
{
    double restore = 0;
    double save = 0;
    double draw = 0;
    double present = 0;

    double total() const { return restore + save + draw + present; }
};

// Phase boundaries of a pass. The rated run uses NoMarks, which compiles to
// nothing; the instrumented run reads the clock at every boundary.
struct NoMarks
{
    void start() {}
    void end(double&) {}
};

struct PhaseMarks
{
    Clock::time_point last;
    void start() { last = Clock::now(); }
    void end(double& slot)
    {
        Clock::time_point now = Clock::now();
        slot += std::chrono::duration<double>(now - last).count();
        last = now;
    }
};

// One pass of the demo scene with its phases marked: the same calls as drawScene.
template <class Marks> void scenePass(Marks& marks, Phases& ph)
{
    marks.start();
    sun.clearBG();
    vikings1.clearBG();
    vikings2.clearBG();
    marks.end(ph.restore);
    sun.updateBG();
    vikings1.updateBG();
    vikings2.updateBG();
    marks.end(ph.save);
    sun.draw();
    vikings1.draw();
    vikings2.draw();
    marks.end(ph.draw);
    SDL_Flip(screen);
    marks.end(ph.present);
}

// Dirty rectangles through the engine: every sprite restores, then every sprite
// saves, then every sprite draws. `display` is null for an off-screen target.
template <class Marks>
void dirtyPass(std::vector<CSprite>& sprites, SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    for (CSprite& s : sprites)
        s.clearBG();
    marks.end(ph.restore);
    for (CSprite& s : sprites)
        s.updateBG();
    marks.end(ph.save);
    for (CSprite& s : sprites)
        s.draw();
    marks.end(ph.draw);
    if (display)
        SDL_Flip(display);
    marks.end(ph.present);
}

// Full redraw through the engine: the whole background, then every sprite's frame.
// Its background blit is counted as restoring, since that is what it replaces.
template <class Marks>
void fullPass(std::vector<CSprite>& sprites, SDL_Surface* background, SDL_Surface* target,
              SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    drawBG(background, target);
    marks.end(ph.restore);
    for (CSprite& s : sprites)
        s.draw();
    marks.end(ph.draw);
    if (display)
        SDL_Flip(display);
    marks.end(ph.present);
}

// A sprite for the floor: the same surfaces and the same animation rule as the
// engine's, kept in the open and drawn with bare SDL calls.
struct BareSprite
{
    const CSpriteBase* base;
    const CSpriteFrame* frames;  // the set's table, or an encoded copy of it
    SDL_Surface* buffer;
    int x, y;
    int frame;
    Uint32 lastUpdate;
    float speed;
    bool drawn;
};

// The floor: the nine blits of a pass and the flip as bare SDL calls, with one
// tick read per pass for the animation.
template <class Marks>
void floorPass(std::vector<BareSprite>& sprites, SDL_Surface* display, Marks& marks, Phases& ph)
{
    marks.start();
    for (BareSprite& s : sprites)
    {
        if (!s.drawn)
            continue;
        SDL_Rect dest = {(Sint16)s.x, (Sint16)s.y, 0, 0};
        SDL_BlitSurface(s.buffer, nullptr, display, &dest);
    }
    marks.end(ph.restore);
    for (BareSprite& s : sprites)
    {
        SDL_Rect src = {(Sint16)s.x, (Sint16)s.y, (Uint16)s.base->mW, (Uint16)s.base->mH};
        SDL_BlitSurface(display, &src, s.buffer, nullptr);
    }
    marks.end(ph.save);
    Uint32 now = SDL_GetTicks();
    for (BareSprite& s : sprites)
    {
        const CSpriteFrame& frame = s.frames[s.frame];
        if (s.base->mNumFrames > 1 && now > s.lastUpdate + frame.pause * s.speed)
        {
            s.frame = (s.frame + 1) % s.base->mNumFrames;
            s.lastUpdate = now;
        }
        s.drawn = true;
        SDL_Rect dest = {(Sint16)s.x, (Sint16)s.y, 0, 0};
        SDL_BlitSurface(s.frames[s.frame].image, nullptr, display, &dest);
    }
    marks.end(ph.draw);
    SDL_Flip(display);
    marks.end(ph.present);
}

// The memory floor: memcpy of the bytes that the blits of a pass move, blit by
// blit, through a pool that is cycled so that large passes stream from memory
// as their blits do.
class MemoryFloor
{
public:
    void setPool(size_t bytes) { mPool.assign(bytes, 1); }

    void run(const std::vector<size_t>& blits, int passes)
    {
        size_t half = mPool.size() / 2;
        unsigned char* src = mPool.data();
        unsigned char* dst = mPool.data() + half;
        size_t offset = 0;
        for (int p = 0; p < passes; ++p)
            for (size_t bytes : blits)
            {
                if (offset + bytes > half)
                    offset = 0;
                memcpy(dst + offset, src + offset, bytes);
                offset += bytes;
            }
    }

private:
    std::vector<unsigned char> mPool;
};

MemoryFloor memoryFloor;

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

    std::vector<double> rates;     // passes per second of wall-clock time
    std::vector<double> cpuRates;  // passes per second of this thread's CPU time
    std::vector<double> memcpyRates;
    std::vector<Phases> shares;  // fractions of the instrumented pass time
};

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

void runRepeat(Scenario& s, bool first)
{
    if (s.prepare)
        s.prepare();
    if (int warm = warmUpPasses(s, first))
        s.run(warm);

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

// ---- Synthetic sprite sets for the scaling runs ----

// Writes a two-frame set of size x size pixels: a disc on the key colour
// (magenta), saved as 24-bit BMP files so that the engine converts them on
// load as it does the project's art.
bool writeSet(const std::string& dir, int size)
{
    std::filesystem::create_directories(dir);
    for (int f = 0; f < 2; ++f)
    {
        SDL_Surface* img =
            SDL_CreateRGBSurface(SDL_SWSURFACE, size, size, 32, 0xFF0000, 0xFF00, 0xFF, 0);
        if (!img)
            return false;
        SDL_FillRect(img, nullptr, SDL_MapRGB(img->format, 255, 0, 255));
        Uint32 colour = f == 0 ? SDL_MapRGB(img->format, 230, 180, 40)
                               : SDL_MapRGB(img->format, 60, 120, 220);
        double r = size / 2.0;
        for (int y = 0; y < size; ++y)
        {
            double dy = y + 0.5 - r;
            double half = dy * dy < r * r ? std::sqrt(r * r - dy * dy) : 0;
            int x0 = (int)std::lround(r - half), x1 = (int)std::lround(r + half);
            SDL_Rect span = {(Sint16)x0, (Sint16)y, (Uint16)std::max(0, x1 - x0), 1};
            SDL_FillRect(img, &span, colour);
        }
        std::string name = dir + "/frame" + std::to_string(f) + ".bmp";
        int saved = SDL_SaveBMP(img, name.c_str());
        SDL_FreeSurface(img);
        if (saved != 0)
            return false;
    }
    std::ofstream info(dir + "/info");
    info << "FILES: 2\n# a disc on magenta, two colours\nframe0.bmp 100 255 0 255\n"
            "frame1.bmp 100 255 0 255\n";
    return (bool)info;
}

// Sprites bound to `base` and `target`, spread over it by a fixed sequence so that
// every run places them alike.
void placeSprites(std::vector<CSprite>& sprites, CSpriteBase* base, SDL_Surface* target,
                  unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> xs(0, std::max(0, target->w - base->mW));
    std::uniform_int_distribution<int> ys(0, std::max(0, target->h - base->mH));
    for (CSprite& s : sprites)
    {
        s.init(base, target);
        s.set(xs(rng), ys(rng));
        s.setSpeed(1);
    }
}

// A surface in the display's format, `w` x `h`, tiled with the demo's background.
SDL_Surface* makeTarget(SDL_Surface* display, SDL_Surface* background, int w, int h)
{
    const SDL_PixelFormat* f = display->format;
    SDL_Surface* t = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, f->BitsPerPixel, f->Rmask,
                                          f->Gmask, f->Bmask, f->Amask);
    if (!t)
        return nullptr;
    for (int y = 0; y < h; y += background->h)
        for (int x = 0; x < w; x += background->w)
        {
            SDL_Rect dest = {(Sint16)x, (Sint16)y, 0, 0};
            SDL_BlitSurface(background, nullptr, t, &dest);
        }
    return t;
}

// A copy of a set's frame table whose keyed frames are run-length encoded.
CSpriteFrame* rleFrames(const CSpriteBase& base)
{
    CSpriteFrame* table = new CSpriteFrame[base.mNumFrames];
    for (int i = 0; i < base.mNumFrames; ++i)
    {
        table[i] = base.mAnim[i];
        SDL_Surface* image = base.mAnim[i].image;
        if (!image)
            continue;
        table[i].image = SDL_DisplayFormat(image);
        if (table[i].image && (image->flags & SDL_SRCCOLORKEY))
            SDL_SetColorKey(table[i].image, SDL_SRCCOLORKEY | SDL_RLEACCEL,
                            image->format->colorkey);
    }
    return table;
}

// ---- Output ----

class Csv
{
public:
    bool open(const std::string& path)
    {
        mOut.open(path);
        if (!mOut)
            return false;
        mOut << "scenario,strategy,sprites,size,target,passes,repeat,figure,value,unit\n";
        return true;
    }

    void row(const Scenario& s, const std::string& repeat, const std::string& figure,
             double value, const std::string& unit)
    {
        if (!mOut.is_open())
            return;
        mOut << s.name << ',' << s.strategy << ',' << s.sprites << ',' << s.size << ','
             << s.targetW << 'x' << s.targetH << ',' << s.passes << ',' << repeat << ','
             << figure << ',' << value << ',' << unit << '\n';
    }

    void row(const std::string& scenario, const std::string& repeat, const std::string& figure,
             double value, const std::string& unit)
    {
        if (!mOut.is_open())
            return;
        mOut << scenario << ",,,,,," << repeat << ',' << figure << ',' << value << ',' << unit
             << '\n';
    }

    // Closes the file; false when any write or the close failed.
    bool close()
    {
        if (!mOut.is_open())
            return true;
        mOut.close();
        return !mOut.fail();
    }

private:
    std::ofstream mOut;
};

std::string sizeLabel(const Scenario& s)
{
    return s.size ? std::to_string(s.size) + "x" + std::to_string(s.size) : "demo";
}

// Rates below 100 keep a decimal, so that the slowest cases still differ.
std::string rateText(double rate)
{
    char text[32];
    snprintf(text, sizeof text, rate < 100 ? "%.1f" : "%.0f", rate);
    return text;
}

std::string percent(double fraction)
{
    char text[16];
    snprintf(text, sizeof text, "%5.1f%%", fraction * 100);
    return text;
}

void printTable(const std::vector<std::unique_ptr<Scenario>>& all)
{
    printf("\n%-26s %7s %7s %6s %9s %10s %9s %9s %7s %7s %7s %7s %10s %10s\n", "scenario",
           "sprites", "size", "passes", "min p/s", "median p/s", "max p/s", "us/pass", "restore",
           "save", "draw", "present", "cpu p/s", "memcpy p/s");
    std::string lastGroup;
    for (const auto& s : all)
    {
        if (s->rates.empty())
            continue;
        if (!lastGroup.empty() && s->group != lastGroup)
            printf("\n");
        lastGroup = s->group;
        Phases sh = medianShares(*s);
        double med = median(s->rates);
        std::string mem = s->memcpyRates.empty() ? "-" : rateText(median(s->memcpyRates));
        printf("%-26s %7d %7s %6d %9s %10s %9s %9.1f %7s %7s %7s %7s %10s %10s\n",
               s->name.c_str(), s->sprites, sizeLabel(*s).c_str(), s->passes,
               rateText(minOf(s->rates)).c_str(), rateText(med).c_str(),
               rateText(maxOf(s->rates)).c_str(), 1e6 / med, percent(sh.restore).c_str(),
               percent(sh.save).c_str(), percent(sh.draw).c_str(), percent(sh.present).c_str(),
               rateText(median(s->cpuRates)).c_str(), mem.c_str());
    }
}

void writeScenarioCsv(Csv& csv, const Scenario& s)
{
    for (size_t i = 0; i < s.rates.size(); ++i)
    {
        std::string r = std::to_string(i + 1);
        csv.row(s, r, "rate", s.rates[i], "passes/s");
        csv.row(s, r, "cpu_rate", s.cpuRates[i], "passes/s");
        csv.row(s, r, "restore_share", s.shares[i].restore * 100, "%");
        csv.row(s, r, "save_share", s.shares[i].save * 100, "%");
        csv.row(s, r, "draw_share", s.shares[i].draw * 100, "%");
        csv.row(s, r, "present_share", s.shares[i].present * 100, "%");
        if (i < s.memcpyRates.size())
            csv.row(s, r, "memcpy_rate", s.memcpyRates[i], "passes/s");
    }
    if (s.rates.empty())
        return;
    double med = median(s.rates);
    Phases sh = medianShares(s);
    csv.row(s, "all", "min", minOf(s.rates), "passes/s");
    csv.row(s, "all", "median", med, "passes/s");
    csv.row(s, "all", "max", maxOf(s.rates), "passes/s");
    csv.row(s, "all", "us_per_pass", 1e6 / med, "us");
    csv.row(s, "all", "cpu_median", median(s.cpuRates), "passes/s");
    csv.row(s, "all", "restore_share", sh.restore * 100, "%");
    csv.row(s, "all", "save_share", sh.save * 100, "%");
    csv.row(s, "all", "draw_share", sh.draw * 100, "%");
    csv.row(s, "all", "present_share", sh.present * 100, "%");
    size_t bytes = 0;
    for (size_t b : s.blitBytes)
        bytes += b;
    csv.row(s, "all", "bytes_per_pass", (double)bytes, "bytes");
    if (!s.memcpyRates.empty())
        csv.row(s, "all", "memcpy_median", median(s.memcpyRates), "passes/s");
}

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// The median over repeats of a.rate / b.rate, each pair taken in the same repeat,
// where the two ran one after the other under much the same load.
double pairedRatio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return median(ratios);
}

// Prints the ratio of two scenarios' rates, by wall clock and by CPU time, and records it.
void reportRatio(Csv& csv, const std::string& name, const Scenario& a, const Scenario& b,
                 const char* target)
{
    double wall = pairedRatio(a.rates, b.rates);
    double cpu = pairedRatio(a.cpuRates, b.cpuRates);
    printf("  %-36s %7.3f %7.3f   %s\n", name.c_str(), wall, cpu, target);
    csv.row("ratio:" + name, "all", "wall_ratio", wall, "x");
    csv.row("ratio:" + name, "all", "cpu_ratio", cpu, "x");
}

Scenario* find(const std::vector<std::unique_ptr<Scenario>>& all, const std::string& name)
{
    for (const auto& s : all)
        if (s->name == name && !s->rates.empty())
            return s.get();
    return nullptr;
}

}

int main(int argc, char** argv)
{
    Options opt;
    if (!parseOptions(argc, argv, &opt))
    {
        usage();
        return 2;
    }
    if (opt.passes == 0)
        opt.passes = opt.x11 ? 200 : 1000;

    namespace fs = std::filesystem;
    fs::path dataDir = fs::absolute(opt.dataDir);
    if (!fs::exists(dataDir / "bg.bmp"))
    {
        fprintf(stderr,
                "velmora-bench: no bg.bmp in %s: build the target `data` first or give --data\n",
                dataDir.c_str());
        return 1;
    }

    if (opt.x11)
    {
        if (!getenv("DISPLAY"))
        {
            fprintf(stderr, "velmora-bench: --x11 needs an X display in $DISPLAY\n");
            return 1;
        }
        setenv("SDL_VIDEODRIVER", "x11", 1);
    }
    else
    {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
    }

    Csv csv;
    if (!opt.csv.empty() && !csv.open(opt.csv))
    {
        fprintf(stderr, "velmora-bench: cannot write %s\n", opt.csv.c_str());
        return 1;
    }

    printf("velmora-bench on %s, %ld cores; load average at start %s\n", cpuModel().c_str(),
           sysconf(_SC_NPROCESSORS_ONLN), loadAverage().c_str());

    // Start-up first, while this process is small and idle.
    std::vector<StartupRun> startup;
    if (opt.startupRuns > 0 && wanted(opt, "startup"))
        startup = measureStartup(opt.program, opt.shim, dataDir.string(), opt.startupRuns);

    if (SDL_Init(SDL_INIT_VIDEO) < 0)
    {
        fprintf(stderr, "velmora-bench: SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Surface* display = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
    if (!display)
    {
        fprintf(stderr, "velmora-bench: SDL_SetVideoMode: %s\n", SDL_GetError());
        return 1;
    }
    char driver[64] = "?";
    SDL_VideoDriverName(driver, sizeof driver);

    // The scene, set up exactly as the program does it, from the data directory.
    fs::path startDir = fs::current_path();
    fs::current_path(dataDir);
    initScene(display);
    fs::current_path(startDir);
    if (!back || !vikingBase.mBuilt || !sunBase.mBuilt || vikingBase.mNumFrames < 1 ||
        sunBase.mNumFrames < 1 || !vikingBase.mAnim[0].image || !sunBase.mAnim[0].image)
    {
        fprintf(stderr, "velmora-bench: the scene did not load from %s\n", dataDir.c_str());
        return 1;
    }
    const SDL_PixelFormat* fmt = display->format;
    printf("video driver %s, display %dx%d, %d bpp, masks %08x %08x %08x; data %s\n", driver,
           display->w, display->h, fmt->BitsPerPixel, fmt->Rmask, fmt->Gmask, fmt->Bmask,
           dataDir.c_str());
    printf("demo sets: sun %dx%d (%d frames), vikings %dx%d (%d frames)\n", sunBase.mW,
           sunBase.mH, sunBase.mNumFrames, vikingBase.mW, vikingBase.mH, vikingBase.mNumFrames);

    std::vector<std::unique_ptr<Scenario>> all;
    auto add = [&](Scenario s) {
        all.push_back(std::make_unique<Scenario>(std::move(s)));
        return all.back().get();
    };
    auto redrawBackground = [display]() { drawBG(back, display); };
    const size_t screenBytes = surfaceBytes(display->w, display->h, display);

    struct DemoSprite
    {
        CSpriteBase* base;
        int x, y;
        float speed;
    };
    const DemoSprite demo[3] = {
        {&sunBase, 480, 50, 1.0f}, {&vikingBase, 150, 300, 1.0f}, {&vikingBase, 350, 300, 1.5f}};
    std::vector<size_t> demoDirtyBytes, demoFullBytes = {screenBytes};
    for (int phase = 0; phase < 3; ++phase)
        for (const DemoSprite& d : demo)
            demoDirtyBytes.push_back(surfaceBytes(d.base->mW, d.base->mH, display));
    for (const DemoSprite& d : demo)
        demoFullBytes.push_back(surfaceBytes(d.base->mW, d.base->mH, display));

    // The demo's dirty-rectangle scenarios run --passes passes. The others move more
    // pixels per pass, so their fixed pass count is what moves about as many pixels
    // as 400 demo passes (at least one pass, at most --passes): the run stays short,
    // and still lasts long enough to time.
    double demoPixels = 0;
    for (size_t b : demoDirtyBytes)
        demoPixels += (double)b / display->format->BytesPerPixel;
    const double pixelBudget = 400 * demoPixels;
    auto passesFor = [&](double pixelsPerPass) {
        double n = std::floor(pixelBudget / std::max(1.0, pixelsPerPass));
        return (int)std::clamp(n, 1.0, (double)opt.passes);
    };

    // scene: the program's own frame step.
    if (wanted(opt, "scene"))
    {
        Scenario s;
        s.group = "scene";
        s.name = "scene (drawScene)";
        s.strategy = "dirty";
        s.sprites = 3;
        s.targetW = display->w;
        s.targetH = display->h;
        s.passes = opt.passes;
        s.blitBytes = demoDirtyBytes;
        s.prepare = redrawBackground;
        s.run = [](int n) {
            for (int i = 0; i < n; ++i)
                drawScene();
        };
        s.runInstrumented = [](int n) {
            PhaseMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                scenePass(marks, ph);
            return ph;
        };
        add(std::move(s));
    }

    // Run-length-encoded copies of the sets' frames, for the variants below that
    // show what SDL_RLEACCEL would gain; the program keeps its plain colour keys.
    CSpriteFrame* vikingRle = rleFrames(vikingBase);
    CSpriteFrame* sunRle = rleFrames(sunBase);

    // floor: the same nine blits and the flip as bare SDL calls. The buffers are
    // made as the engine makes them, copies of frame 0 with its colour key. Two
    // variants that the engine does not allow show where a pass's time goes: unkeyed
    // buffers (restoring becomes a plain copy), and those with encoded frames too.
    for (int variant = 0; variant < 3; ++variant)
    {
        bool keyed = variant == 0;
        bool encoded = variant == 2;
        if (!wanted(opt, keyed ? "floor" : "unkeyed"))
            continue;
        auto sprites = std::make_shared<std::vector<BareSprite>>();
        for (const DemoSprite& d : demo)
        {
            SDL_Surface* buffer = SDL_DisplayFormat(d.base->mAnim[0].image);
            if (!keyed)
                SDL_SetColorKey(buffer, 0, 0);
            const CSpriteFrame* frames = d.base->mAnim;
            if (encoded)
                frames = d.base == &sunBase ? sunRle : vikingRle;
            sprites->push_back({d.base, frames, buffer, d.x, d.y, 0, 0, d.speed, false});
        }
        const char* names[] = {"floor (bare SDL)", "floor, unkeyed buffers",
                               "floor, unkeyed + RLE"};
        Scenario s;
        s.group = keyed ? "floor" : "unkeyed";
        s.name = names[variant];
        s.strategy = "floor";
        s.sprites = 3;
        s.targetW = display->w;
        s.targetH = display->h;
        s.passes = opt.passes;
        s.blitBytes = demoDirtyBytes;
        s.prepare = [sprites, display]() {
            drawBG(back, display);
            for (BareSprite& b : *sprites)
                b.drawn = false;
        };
        s.run = [sprites, display](int n) {
            NoMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                floorPass(*sprites, display, marks, ph);
        };
        s.runInstrumented = [sprites, display](int n) {
            PhaseMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                floorPass(*sprites, display, marks, ph);
            return ph;
        };
        add(std::move(s));
    }

    // full redraw of the demo: the background whole, then the three sprites.
    if (wanted(opt, "full"))
    {
        auto sprites = std::make_shared<std::vector<CSprite>>(3);
        for (int i = 0; i < 3; ++i)
        {
            (*sprites)[i].init(demo[i].base, display);
            (*sprites)[i].set(demo[i].x, demo[i].y);
            (*sprites)[i].setSpeed(demo[i].speed);
        }
        Scenario s;
        s.group = "full";
        s.name = "full redraw";
        s.strategy = "full";
        s.sprites = 3;
        s.targetW = display->w;
        s.targetH = display->h;
        s.passes = passesFor((double)display->w * display->h + demoPixels / 3);
        s.blitBytes = demoFullBytes;
        s.run = [sprites, display](int n) {
            NoMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                fullPass(*sprites, back, display, display, marks, ph);
        };
        s.runInstrumented = [sprites, display](int n) {
            PhaseMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                fullPass(*sprites, back, display, display, marks, ph);
            return ph;
        };
        add(std::move(s));
    }

    // The program's drawScene with run-length-encoded frames: the sets' frame tables
    // are swapped for encoded copies around each repeat. Measured here only; the
    // program keeps its plain colour keys.
    if (wanted(opt, "rle"))
    {
        auto saved = std::make_shared<std::pair<CSpriteFrame*, CSpriteFrame*>>();
        Scenario s;
        s.group = "rle";
        s.name = "scene, RLE frames";
        s.strategy = "dirty";
        s.sprites = 3;
        s.targetW = display->w;
        s.targetH = display->h;
        s.passes = opt.passes;
        s.blitBytes = demoDirtyBytes;
        s.prepare = [=]() {
            drawBG(back, display);
            *saved = {vikingBase.mAnim, sunBase.mAnim};
            vikingBase.mAnim = vikingRle;
            sunBase.mAnim = sunRle;
        };
        s.finish = [=]() {
            vikingBase.mAnim = saved->first;
            sunBase.mAnim = saved->second;
        };
        s.run = [](int n) {
            for (int i = 0; i < n; ++i)
                drawScene();
        };
        s.runInstrumented = [](int n) {
            PhaseMarks marks;
            Phases ph;
            for (int i = 0; i < n; ++i)
                scenePass(marks, ph);
            return ph;
        };
        add(std::move(s));
    }

    // Target size: the demo's three sprites on off-screen targets of growing size,
    // with no flip, dirty against full redraw.
    if (wanted(opt, "target"))
    {
        const int sizes[][2] = {{640, 480}, {1024, 768}, {2048, 1536}, {4096, 3072}};
        for (const auto& wh : sizes)
        {
            SDL_Surface* target = makeTarget(display, back, wh[0], wh[1]);
            if (!target)
                continue;
            SDL_Surface* background = makeTarget(display, back, wh[0], wh[1]);
            auto sprites = std::make_shared<std::vector<CSprite>>(3);
            for (int i = 0; i < 3; ++i)
            {
                (*sprites)[i].init(demo[i].base, target);
                (*sprites)[i].set(demo[i].x, demo[i].y);
                (*sprites)[i].setSpeed(demo[i].speed);
            }
            std::string label = std::to_string(wh[0]) + "x" + std::to_string(wh[1]);
            size_t targetBytes = surfaceBytes(wh[0], wh[1], display);
            for (int dirty = 1; dirty >= 0; --dirty)
            {
                Scenario s;
                s.group = "target";
                s.name = "target " + label + (dirty ? " dirty" : " full");
                s.strategy = dirty ? "dirty" : "full";
                s.sprites = 3;
                s.targetW = wh[0];
                s.targetH = wh[1];
                s.blitBytes = dirty ? demoDirtyBytes : demoFullBytes;
                if (!dirty)
                    s.blitBytes[0] = targetBytes;
                s.passes = dirty ? passesFor(demoPixels)
                                 : passesFor((double)wh[0] * wh[1] + demoPixels / 3);
                s.prepare = [=]() {
                    SDL_BlitSurface(background, nullptr, target, nullptr);
                };
                if (dirty)
                {
                    s.run = [sprites](int n) {
                        NoMarks marks;
                        Phases ph;
                        for (int i = 0; i < n; ++i)
                            dirtyPass(*sprites, nullptr, marks, ph);
                    };
                    s.runInstrumented = [sprites](int n) {
                        PhaseMarks marks;
                        Phases ph;
                        for (int i = 0; i < n; ++i)
                            dirtyPass(*sprites, nullptr, marks, ph);
                        return ph;
                    };
                }
                else
                {
                    s.run = [=](int n) {
                        NoMarks marks;
                        Phases ph;
                        for (int i = 0; i < n; ++i)
                            fullPass(*sprites, background, target, nullptr, marks, ph);
                    };
                    s.runInstrumented = [=](int n) {
                        PhaseMarks marks;
                        Phases ph;
                        for (int i = 0; i < n; ++i)
                            fullPass(*sprites, background, target, nullptr, marks, ph);
                        return ph;
                    };
                }
                add(std::move(s));
            }
        }
    }

    // Scaling: synthetic sets loaded through the engine from a temporary directory.
    fs::path tempDir;
    if (wanted(opt, "scaling"))
    {
        char dirTemplate[] = "/tmp/velmora-bench-XXXXXX";
        if (!mkdtemp(dirTemplate))
        {
            perror("velmora-bench: mkdtemp");
            return 1;
        }
        tempDir = dirTemplate;
        const int sizes[] = {32, 96, 256};
        const int counts[] = {1, 3, 30, 300, 3000};
        for (int size : sizes)
        {
            std::string dir = (tempDir / ("set" + std::to_string(size))).string();
            // The set lives as long as the program, as the scene's sets do.
            CSpriteBase* base = new CSpriteBase();
            if (!writeSet(dir, size) || base->init(dir.c_str()) != 0 || base->mW != size)
            {
                fprintf(stderr, "velmora-bench: cannot make the %dx%d set in %s\n", size, size,
                        dir.c_str());
                return 1;
            }
            for (int count : counts)
            {
                // One set of sprites serves both strategies: full redraw only draws.
                auto sprites = std::make_shared<std::vector<CSprite>>(count);
                placeSprites(*sprites, base, display, 1000u + size);
                size_t spriteBytes = surfaceBytes(size, size, display);
                double area = (double)count * size * size;
                for (int dirty = 1; dirty >= 0; --dirty)
                {
                    Scenario s;
                    s.group = "scaling";
                    s.name = "scaling " + std::to_string(count) + "x" + std::to_string(size) +
                             (dirty ? " dirty" : " full");
                    s.strategy = dirty ? "dirty" : "full";
                    s.sprites = count;
                    s.size = size;
                    s.targetW = display->w;
                    s.targetH = display->h;
                    if (dirty)
                        s.blitBytes.assign((size_t)count * 3, spriteBytes);
                    else
                    {
                        s.blitBytes.assign((size_t)count + 1, spriteBytes);
                        s.blitBytes[0] = screenBytes;
                    }
                    s.passes = passesFor(dirty ? 3 * area : area + (double)display->w * display->h);
                    s.prepare = redrawBackground;
                    if (dirty)
                    {
                        s.run = [=](int n) {
                            NoMarks marks;
                            Phases ph;
                            for (int i = 0; i < n; ++i)
                                dirtyPass(*sprites, display, marks, ph);
                        };
                        s.runInstrumented = [=](int n) {
                            PhaseMarks marks;
                            Phases ph;
                            for (int i = 0; i < n; ++i)
                                dirtyPass(*sprites, display, marks, ph);
                            return ph;
                        };
                    }
                    else
                    {
                        s.run = [=](int n) {
                            NoMarks marks;
                            Phases ph;
                            for (int i = 0; i < n; ++i)
                                fullPass(*sprites, back, display, display, marks, ph);
                        };
                        s.runInstrumented = [=](int n) {
                            PhaseMarks marks;
                            Phases ph;
                            for (int i = 0; i < n; ++i)
                                fullPass(*sprites, back, display, display, marks, ph);
                            return ph;
                        };
                    }
                    add(std::move(s));
                }
            }
        }
    }

    size_t largestPass = 0;
    for (const auto& s : all)
    {
        size_t bytes = 0;
        for (size_t b : s->blitBytes)
            bytes += b;
        largestPass = std::max(largestPass, bytes);
    }
    memoryFloor.setPool(std::min<size_t>(2 * largestPass, 256u << 20));

    Clock::time_point benchStart = Clock::now();
    for (int r = 0; r < opt.repeats; ++r)
    {
        for (auto& s : all)
            runRepeat(*s, r == 0);
        fprintf(stderr, "velmora-bench: repeat %d of %d done after %.1f s\n", r + 1, opt.repeats,
                secondsSince(benchStart));
    }

    printTable(all);
    for (const auto& s : all)
        writeScenarioCsv(csv, *s);

    printf("\nratios of passes/s (median of per-repeat ratios)    wall     cpu   target\n");
    Scenario* scene = find(all, "scene (drawScene)");
    Scenario* floorScn = find(all, "floor (bare SDL)");
    Scenario* floorPlain = find(all, "floor, unkeyed buffers");
    Scenario* floorBest = find(all, "floor, unkeyed + RLE");
    Scenario* full = find(all, "full redraw");
    Scenario* rle = find(all, "scene, RLE frames");
    if (scene && floorScn)
        reportRatio(csv, "scene / floor", *scene, *floorScn,
                    ">= 0.95: the engine adds no cost of its own");
    if (scene && full)
        reportRatio(csv, "scene (dirty) / full redraw", *scene, *full, ">= 2.5 headless");
    if (floorScn && floorPlain)
        reportRatio(csv, "floor, unkeyed buffers / floor", *floorPlain, *floorScn,
                    "what the key on the buffers costs");
    if (floorScn && floorBest)
        reportRatio(csv, "floor, unkeyed + RLE / floor", *floorBest, *floorScn,
                    "the most SDL 1.2 could give a pass");
    if (floorBest && full)
        reportRatio(csv, "floor, unkeyed + RLE / full redraw", *floorBest, *full,
                    "dirty against full without keyed restores");
    if (scene && rle)
        reportRatio(csv, "scene, RLE frames / scene", *rle, *scene,
                    "what RLE-encoded frames would gain");
    if (scene && !scene->memcpyRates.empty())
    {
        double value = pairedRatio(scene->rates, scene->memcpyRates);
        printf("  %-36s %7.3f %7s   %s\n", "scene / memcpy of its bytes", value, "",
               "how far the blits are from memory bandwidth");
        csv.row("ratio:scene / memcpy of its bytes", "all", "wall_ratio", value, "x");
    }

    if (wanted(opt, "target"))
    {
        printf("\nper-pass cost against target size (us per pass, median wall / CPU time)\n");
        printf("  %-12s %17s %17s\n", "target", "dirty", "full");
        for (const char* label : {"640x480", "1024x768", "2048x1536", "4096x3072"})
        {
            Scenario* d = find(all, std::string("target ") + label + " dirty");
            Scenario* f = find(all, std::string("target ") + label + " full");
            if (d && f)
                printf("  %-12s %8.1f / %6.1f %8.1f / %6.1f\n", label, 1e6 / medianRate(d),
                       1e6 / median(d->cpuRates), 1e6 / medianRate(f), 1e6 / median(f->cpuRates));
        }
    }

    if (wanted(opt, "scaling"))
    {
        printf("\ncost per sprite pixel of a dirty pass (ns, from median wall / CPU time), and "
               "where full redraw wins\n");
        printf("  %-8s", "size");
        for (int count : {1, 3, 30, 300, 3000})
            printf(" %15d", count);
        printf("   full redraw faster from\n");
        for (int size : {32, 96, 256})
        {
            printf("  %-8s", (std::to_string(size) + "x" + std::to_string(size)).c_str());
            std::string crossover = "never";
            for (int count : {1, 3, 30, 300, 3000})
            {
                std::string base = "scaling " + std::to_string(count) + "x" + std::to_string(size);
                Scenario* d = find(all, base + " dirty");
                Scenario* f = find(all, base + " full");
                double pixels = (double)count * size * size;
                double wallNs = d ? 1e9 / medianRate(d) / pixels : 0;
                double cpuNs = d ? 1e9 / median(d->cpuRates) / pixels : 0;
                printf("   %5.2f / %5.2f", wallNs, cpuNs);
                if (d)
                {
                    csv.row(*d, "all", "ns_per_sprite_pixel", wallNs, "ns");
                    csv.row(*d, "all", "cpu_ns_per_sprite_pixel", cpuNs, "ns");
                }
                if (d && f && medianRate(f) > medianRate(d) && crossover == "never")
                    crossover = std::to_string(count) + " sprites";
            }
            printf("   %s\n", crossover.c_str());
        }
    }

    if (!startup.empty())
    {
        std::vector<double> loaded, init, mode, frame;
        for (const StartupRun& run : startup)
        {
            loaded.push_back(run.loadedMs);
            init.push_back(run.initMs);
            mode.push_back(run.modeMs);
            frame.push_back(run.firstFrameMs);
        }
        for (size_t i = 0; i < startup.size(); ++i)
        {
            std::string r = std::to_string(i + 1);
            csv.row("startup", r, "process_running", loaded[i], "ms");
            csv.row("startup", r, "sdl_started", init[i], "ms");
            csv.row("startup", r, "video_mode_set", mode[i], "ms");
            csv.row("startup", r, "first_frame", frame[i], "ms");
        }
        csv.row("startup", "all", "first_frame_min", minOf(frame), "ms");
        csv.row("startup", "all", "first_frame_median", median(frame), "ms");
        csv.row("startup", "all", "first_frame_max", maxOf(frame), "ms");
        printf("\nstart-up of %s with the project's art, %zu runs (ms from spawn, median):\n",
               opt.program.c_str(), startup.size());
        printf("  process running %.1f, SDL started %.1f, video mode set %.1f, first frame "
               "presented %.1f (min %.1f, max %.1f); target < 100\n",
               median(loaded), median(init), median(mode), median(frame), minOf(frame),
               maxOf(frame));
    }

    printf("\nload average at end %s; %.1f s of scenarios\n", loadAverage().c_str(),
           secondsSince(benchStart));

    if (!csv.close())
    {
        fprintf(stderr, "velmora-bench: writing %s failed\n", opt.csv.c_str());
        return 1;
    }
    if (!tempDir.empty())
        fs::remove_all(tempDir);

    if (!opt.plot.empty())
    {
        std::string command = "gnuplot -e \"csv='" + opt.csv + "'; png='" + opt.plot + "'\" '" +
                              opt.plotScript + "'";
        if (system(command.c_str()) != 0)
        {
            fprintf(stderr, "velmora-bench: gnuplot failed: %s\n", command.c_str());
            return 1;
        }
        printf("plot written to %s\n", opt.plot.c_str());
    }
    SDL_Quit();
    return 0;
}
