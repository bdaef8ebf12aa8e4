// velmora-bench: how fast the sprite engine draws the demo scene, where the time
// of a pass goes, how the cost grows with sprite count and area, and how long the
// program takes to show its first frame.
//
// Every scenario runs a warm-up and then a fixed number of passes, and does so in
// every repeat; the repeats go round all scenarios in turn, so a burst of load from
// elsewhere on the machine hits them alike. The passes-per-second rate comes from
// an uninstrumented run; a second run of the same work with a clock read between
// phases gives the share of a pass spent restoring, saving, drawing and presenting.
// For the demo scene the rated run calls the program's own drawScene. The present
// group compares presenting the scene with SDL_Flip, as the program does, against
// the engine's present of the rectangles it reports changed, and runs a pygame
// rendition of the scene (bench/pygame_scene.py) beside them when pygame is there.
//
// On a display the bench also counts the frames that reach the display server
// (frames_shown.h): on X11 a second client watches the window's damage, on
// Wayland the client's own requests are logged and its buffer commits counted.
// On the compatibility layer presents are batched, so passes are not frames.
//
// Usage: velmora-bench [--data DIR] [--x11 | --wayland] [--repeats N] [--passes N]
//                      [--startup-runs N] [--only LIST] [--csv FILE] [--plot PNG]
//                      [--python PATH]
#include "child.h"
#include "frames_shown.h"
#include "passes.h"
#include "report.h"
#include "scenario.h"
#include "sdl_library.h"
#include "process.h"
#include "startup.h"
#include "synthetic.h"
#include "temp_dir.h"
#include "velmora.h"

#include <SDL.h>
#ifdef VELMORA_BENCH_XDAMAGE
#include <SDL_syswm.h>
#endif
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace
{

struct Options
{
    std::string dataDir = VELMORA_BENCH_DATA_DIR;
    std::string program = VELMORA_BENCH_PROGRAM;
    std::string shim = VELMORA_BENCH_SHIM;
    std::string plotScript = VELMORA_BENCH_PLOT_SCRIPT;
    std::string pygameScript = VELMORA_BENCH_PYGAME_SCRIPT;
    std::string python = "/usr/bin/python3";  // where python3-pygame installs
    std::string csv;
    std::string plot;
    std::vector<std::string> only;
    bool x11 = false;
    bool wayland = false;
    int repeats = 5;
    int passes = 0;  // 0: 1000 headless, 200 on X11, where every flip copies the whole window
    int startupRuns = 20;
};

void usage()
{
    printf("usage: velmora-bench [options]\n"
           "  --data DIR        the demo's data directory (default %s)\n"
           "  --x11             draw on the X display in $DISPLAY instead of SDL's dummy driver\n"
           "  --wayland         draw on the Wayland display in $WAYLAND_DISPLAY (only on the\n"
           "                    compatibility layer); on a display, frames shown are counted too\n"
           "  --repeats N       repeats of every scenario (default 5)\n"
           "  --passes N        passes per repeat of the demo scenarios (default 1000, 200 with "
           "--x11;\n"
           "                    the present group runs at least 1000)\n"
           "  --startup-runs N  starts of the real program to time (default 20, 0 skips)\n"
           "  --only LIST       comma-separated scenario groups: scene,floor,unkeyed,full,rle,\n"
           "                    present,target,scaling,startup\n"
           "  --csv FILE        write every figure to FILE\n"
           "  --plot PNG        draw passes/s against sprite count from the CSV (needs --csv)\n"
           "  --python PATH     the Python with pygame for the present group's pygame scene\n"
           "                    (default /usr/bin/python3; skipped when it can't import pygame)\n",
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
        else if (arg == "--wayland")
            opt->wayland = true;
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
            else if (arg == "--python")
                opt->python = next;
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

// A string for gnuplot's command line: in double quotes, with its own escapes.
std::string gnuplotString(const std::string& text)
{
    std::string s = "\"";
    for (char c : text)
    {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

bool wanted(const Options& opt, const std::string& group)
{
    return opt.only.empty() || std::find(opt.only.begin(), opt.only.end(), group) != opt.only.end();
}

// Gives a scenario its two runs of the same pass: the rated run with marks that
// compile to nothing, and the instrumented run with a clock read at every phase
// boundary. `pass` is called as pass(marks, phases) with either kind of marks.
template <class Pass> void setPasses(Scenario& s, Pass pass)
{
    s.run = [pass](int n) {
        NoMarks marks;
        Phases ph;
        for (int i = 0; i < n; ++i)
            pass(marks, ph);
    };
    s.runInstrumented = [pass](int n) {
        PhaseMarks marks;
        Phases ph;
        for (int i = 0; i < n; ++i)
            pass(marks, ph);
        return ph;
    };
}

// The demo scene's runs: the rated run is the program's own drawScene, the
// instrumented run the same calls with their phases marked.
void setScenePasses(Scenario& s)
{
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
}

// One of the demo's sprites as the scene places it.
struct DemoSprite
{
    CSpriteBase* base;
    int x, y;
    float speed;
};

// What the scenarios share: the options, the display, the demo's sprites and the
// bytes that their blits move, and the list that the scenarios go into.
struct Bench
{
    Bench(const Options& options, SDL_Surface* screenSurface)
        : opt(options), display(screenSurface),
          demo{{&sunBase, 480, 50, 1.0f}, {&vikingBase, 150, 300, 1.0f},
               {&vikingBase, 350, 300, 1.5f}}
    {
        screenBytes = surfaceBytes(display->w, display->h, display);
        demoFullBytes = {screenBytes};
        for (int phase = 0; phase < 3; ++phase)
            for (const DemoSprite& d : demo)
                demoDirtyBytes.push_back(surfaceBytes(d.base->mW, d.base->mH, display));
        for (const DemoSprite& d : demo)
            demoFullBytes.push_back(surfaceBytes(d.base->mW, d.base->mH, display));
        for (size_t b : demoDirtyBytes)
            demoPixels += (double)b / display->format->BytesPerPixel;
    }

    void add(Scenario s) { all.push_back(std::make_unique<Scenario>(std::move(s))); }

    // A scenario of the demo's three sprites drawn on the display.
    Scenario demoScenario(const std::string& group, const std::string& name,
                          const std::string& strategy, int passes,
                          const std::vector<size_t>& blits) const
    {
        Scenario s;
        s.group = group;
        s.name = name;
        s.strategy = strategy;
        s.sprites = 3;
        s.targetW = display->w;
        s.targetH = display->h;
        s.passes = passes;
        s.blitBytes = blits;
        return s;
    }

    // The demo's dirty-rectangle scenarios run --passes passes. The others move more
    // pixels per pass, so their fixed pass count is what moves about as many pixels
    // as 400 demo passes (at least one pass, at most --passes): the run stays short,
    // and still lasts long enough to time.
    int passesFor(double pixelsPerPass) const
    {
        double n = std::floor(400 * demoPixels / std::max(1.0, pixelsPerPass));
        return (int)std::clamp(n, 1.0, (double)opt.passes);
    }

    const Options& opt;
    SDL_Surface* display;
    DemoSprite demo[3];
    size_t screenBytes = 0;
    std::vector<size_t> demoDirtyBytes;  // restore, save and draw of the three sprites
    std::vector<size_t> demoFullBytes;   // the background, then the three draws
    double demoPixels = 0;               // pixels that the blits of a demo pass move
    std::vector<std::unique_ptr<Scenario>> all;
};

// floor: the same nine blits and the flip as bare SDL calls. The buffers are
// made as the engine makes them, copies of frame 0 without its colour key. A
// variant that the engine does not use shows what encoded frames would add.
void addFloorScenarios(Bench& bench, CSpriteFrame* vikingRle, CSpriteFrame* sunRle)
{
    SDL_Surface* display = bench.display;
    for (int variant = 0; variant < 2; ++variant)
    {
        bool encoded = variant == 1;
        if (!wanted(bench.opt, encoded ? "unkeyed" : "floor"))
            continue;
        auto sprites = std::make_shared<std::vector<BareSprite>>();
        for (const DemoSprite& d : bench.demo)
        {
            SDL_Surface* buffer = SDL_DisplayFormat(d.base->mAnim[0].image);
            SDL_SetColorKey(buffer, 0, 0);
            const CSpriteFrame* frames = d.base->mAnim;
            if (encoded)
                frames = d.base == &sunBase ? sunRle : vikingRle;
            sprites->push_back({d.base, frames, buffer, d.x, d.y, 0, 0, d.speed, false});
        }
        const char* names[] = {"floor (bare SDL)", "floor, unkeyed + RLE"};
        Scenario s = bench.demoScenario(encoded ? "unkeyed" : "floor", names[variant], "floor",
                                        bench.opt.passes, bench.demoDirtyBytes);
        s.prepare = [sprites, display]() {
            drawBG(back, display);
            for (BareSprite& b : *sprites)
                b.drawn = false;
        };
        setPasses(s, [sprites, display](auto& marks, Phases& ph) {
            floorPass(*sprites, display, marks, ph);
        });
        bench.add(std::move(s));
    }
}

// full redraw of the demo: the background whole, then the three sprites.
void addFullRedrawScenario(Bench& bench)
{
    if (!wanted(bench.opt, "full"))
        return;
    SDL_Surface* display = bench.display;
    auto sprites = std::make_shared<std::vector<CSprite>>(3);
    for (int i = 0; i < 3; ++i)
    {
        (*sprites)[i].init(bench.demo[i].base, display);
        (*sprites)[i].set(bench.demo[i].x, bench.demo[i].y);
        (*sprites)[i].setSpeed(bench.demo[i].speed);
    }
    int passes = bench.passesFor((double)display->w * display->h + bench.demoPixels / 3);
    Scenario s = bench.demoScenario("full", "full redraw", "full", passes, bench.demoFullBytes);
    setPasses(s, [sprites, display](auto& marks, Phases& ph) {
        fullPass(*sprites, back, display, display, marks, ph);
    });
    bench.add(std::move(s));
}

// The program's drawScene with run-length-encoded frames: the sets' frame tables
// are swapped for encoded copies around each repeat. Measured here only; the
// program keeps its plain colour keys.
void addRleSceneScenario(Bench& bench, CSpriteFrame* vikingRle, CSpriteFrame* sunRle)
{
    if (!wanted(bench.opt, "rle"))
        return;
    SDL_Surface* display = bench.display;
    auto saved = std::make_shared<std::pair<CSpriteFrame*, CSpriteFrame*>>();
    Scenario s = bench.demoScenario("rle", "scene, RLE frames", "dirty", bench.opt.passes,
                                    bench.demoDirtyBytes);
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
    setScenePasses(s);
    bench.add(std::move(s));
}

// The demo scene, its floors, full redraw and the encoded-frames variant.
void addDemoScenarios(Bench& bench)
{
    // scene: the program's own frame step.
    if (wanted(bench.opt, "scene"))
    {
        Scenario s = bench.demoScenario("scene", "scene (drawScene)", "dirty", bench.opt.passes,
                                        bench.demoDirtyBytes);
        SDL_Surface* display = bench.display;
        s.prepare = [display]() { drawBG(back, display); };
        setScenePasses(s);
        bench.add(std::move(s));
    }

    // Run-length-encoded copies of the sets' frames, for the variants that show
    // what SDL_RLEACCEL would gain; the program keeps its plain colour keys.
    CSpriteFrame* vikingRle = rleFrames(vikingBase);
    CSpriteFrame* sunRle = rleFrames(sunBase);
    addFloorScenarios(bench, vikingRle, sunRle);
    addFullRedrawScenario(bench);
    addRleSceneScenario(bench, vikingRle, sunRle);
}

const int kPresentPasses = 1000;

// The pygame rendition of the scene: one run of bench/pygame_scene.py per repeat,
// in its own process on the same video driver. Its restore share is Group.clear,
// its draw share the update and draw of the group, its present share
// display.update; it saves nothing. On a display its frames shown are counted
// between the marks it stops at around its rated run: on X11 by a watcher of
// its window, on Wayland from its own logged requests.
Scenario pygameScenario(const Options& opt, const std::string& dataDir, int passes)
{
    Scenario s;
    s.group = "present";
    s.name = "present: pygame rendition";
    s.strategy = "pygame";
    s.sprites = 3;
    s.targetW = 1024;
    s.targetH = 768;
    s.passes = passes;
    std::vector<std::string> argv = {opt.python,  opt.pygameScript,          "--data",
                                     dataDir,     "--passes",                std::to_string(passes),
                                     "--warmup",  std::to_string(passes / 10), "--marks"};
    s.external = [argv, opt](Scenario& self) {
        Child child;
        velmora::EnvChanges env;
        if (opt.wayland)
            env["WAYLAND_DEBUG"] = "client";
        if (child.start(argv, env, opt.wayland) != 0)
            return;
        std::unique_ptr<FramesShown> shown;
        std::string line;
        long start = -1, end = -1;
        bool counted = true;
        while (child.readLine(&line) && line.rfind("rate=", 0) != 0)
        {
            if (line.rfind("window=", 0) == 0)
            {
                unsigned long window = strtoul(line.c_str() + 7, nullptr, 10);
                if (opt.x11 && window)
                {
                    auto x11 = std::make_unique<X11FramesShown>();
                    if (x11->init(window, nullptr) == 0)
                        shown = std::move(x11);
                }
                else if (opt.wayland)
                {
                    auto wayland = std::make_unique<WaylandFramesShown>();
                    if (wayland->initChildLog(child.takeStderr()) == 0)
                        shown = std::move(wayland);
                }
            }
            else if (line.rfind("mark ", 0) == 0 && shown)
            {
                std::string name = line.substr(5);
                auto* wayland = dynamic_cast<WaylandFramesShown*>(shown.get());
                long n = wayland ? wayland->countAtMark(name) : shown->count();
                (name == "rated-start" ? start : end) = n;
                counted = counted && n >= 0;
                // An X watcher goes while the window is still there: its damage
                // object goes with the window, and a subtract after that would
                // be an X error, which ends the bench.
                if (name == "rated-end" && !wayland)
                    shown.reset();
            }
            child.writeLine("go");
        }
        int status = child.wait();
        double rate = 0, cpuRate = 0;
        Phases ph;
        const char* format = "rate=%lf cpu_rate=%lf restore=%lf draw=%lf present=%lf";
        if (status != 0 || sscanf(line.c_str(), format, &rate, &cpuRate, &ph.restore, &ph.draw,
                                  &ph.present) != 5)
        {
            fprintf(stderr, "velmora-bench: the pygame scene gave no figures: %s\n",
                    argv[1].c_str());
            return;
        }
        self.rates.push_back(rate);
        self.cpuRates.push_back(cpuRate);
        self.shares.push_back(ph);
        if (counted && start >= 0 && end >= start)
            self.addFramesShown(end - start, self.passes / rate, self.passes / cpuRate);
    };
    return s;
}

// present: the demo scene's passes presented with SDL_Flip, as the program does,
// and with the engine's present of the rectangles it reports changed; beside
// them, when pygame can be imported, pygame's rendition of the same scene.
void addPresentScenarios(Bench& bench, const std::string& dataDir)
{
    const Options& opt = bench.opt;
    if (!wanted(opt, "present"))
        return;
    SDL_Surface* display = bench.display;
    auto redrawBackground = [display]() {
        drawBG(back, display);
        SDL_Flip(display);
    };
    // At least 1000 passes, also on X11: a run of changed rectangles is then still
    // about half a second long, and a burst of load from elsewhere does not decide
    // the ratio.
    const int passes = std::max(opt.passes, kPresentPasses);
    for (int changedOnly = 0; changedOnly < 2; ++changedOnly)
    {
        const char* name = changedOnly ? "present: changed rects" : "present: SDL_Flip";
        Scenario s = bench.demoScenario("present", name, "dirty", passes, bench.demoDirtyBytes);
        s.prepare = redrawBackground;
        if (changedOnly)
        {
            auto changed = std::make_shared<CRectList>();
            setPasses(s, [changed](auto& marks, Phases& ph) {
                sceneChangedRectsPass(*changed, marks, ph);
            });
        }
        else
            setScenePasses(s);
        bench.add(std::move(s));
    }

    velmora::Command probe{{opt.python, "-c", "import pygame"}};
    probe.out.kind = probe.err.kind = velmora::Stream::Null;
    if (velmora::run(probe).succeeded())
        bench.add(pygameScenario(opt, dataDir, passes));
    else
        printf("present: no pygame rendition: %s can't import pygame (python3-pygame)\n",
               opt.python.c_str());
}

void addTargetScenarios(Bench& bench)
{
    const Options& opt = bench.opt;
    SDL_Surface* display = bench.display;

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
                (*sprites)[i].init(bench.demo[i].base, target);
                (*sprites)[i].set(bench.demo[i].x, bench.demo[i].y);
                (*sprites)[i].setSpeed(bench.demo[i].speed);
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
                s.blitBytes = dirty ? bench.demoDirtyBytes : bench.demoFullBytes;
                if (!dirty)
                    s.blitBytes[0] = targetBytes;
                s.passes = dirty ? bench.passesFor(bench.demoPixels)
                                 : bench.passesFor((double)wh[0] * wh[1] + bench.demoPixels / 3);
                s.prepare = [=]() {
                    SDL_BlitSurface(background, nullptr, target, nullptr);
                };
                if (dirty)
                {
                    setPasses(s, [sprites](auto& marks, Phases& ph) {
                        dirtyPass(*sprites, nullptr, marks, ph);
                    });
                }
                else
                {
                    setPasses(s, [=](auto& marks, Phases& ph) {
                        fullPass(*sprites, background, target, nullptr, marks, ph);
                    });
                }
                bench.add(std::move(s));
            }
        }
    }
}

// Scaling: synthetic sets loaded through the engine from a temporary directory,
// which is left in tempDir. False when the sets can't be made.
bool addScalingScenarios(Bench& bench, std::optional<velmora::TempDir>& tempDir)
{
    const Options& opt = bench.opt;
    SDL_Surface* display = bench.display;
    const size_t screenBytes = bench.screenBytes;
    auto redrawBackground = [display]() { drawBG(back, display); };
    namespace fs = std::filesystem;

    if (!wanted(opt, "scaling"))
        return true;
    try
    {
        tempDir.emplace("velmora-bench");
    }
    catch (const std::system_error& e)
    {
        fprintf(stderr, "velmora-bench: %s\n", e.what());
        return false;
    }
    const int sizes[] = {32, 96, 256};
    const int counts[] = {1, 3, 30, 300, 3000};
    for (int size : sizes)
    {
        std::string dir = (tempDir->path() / ("set" + std::to_string(size))).string();
        // The set lives as long as the program, as the scene's sets do.
        CSpriteBase* base = new CSpriteBase();
        if (!writeSet(dir, size) || base->init(dir.c_str()) != 0 || base->mW != size)
        {
            fprintf(stderr, "velmora-bench: cannot make the %dx%d set in %s\n", size, size,
                    dir.c_str());
            return false;
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
                s.passes = bench.passesFor(dirty ? 3 * area : area + (double)display->w * display->h);
                s.prepare = redrawBackground;
                if (dirty)
                {
                    setPasses(s, [=](auto& marks, Phases& ph) {
                        dirtyPass(*sprites, display, marks, ph);
                    });
                }
                else
                {
                    setPasses(s, [=](auto& marks, Phases& ph) {
                        fullPass(*sprites, back, display, display, marks, ph);
                    });
                }
                bench.add(std::move(s));
            }
        }
    }
    return true;
}

// The ratios between scenarios that say how the engine does, on stdout and in the CSV.
void printRatios(const Options& opt, const std::vector<std::unique_ptr<Scenario>>& all, Csv& csv)
{
    printf("\nratios of passes/s (median of per-repeat ratios)    wall     cpu   target\n");
    Scenario* scene = find(all, "scene (drawScene)");
    Scenario* floorScn = find(all, "floor (bare SDL)");
    Scenario* floorBest = find(all, "floor, unkeyed + RLE");
    Scenario* full = find(all, "full redraw");
    Scenario* rle = find(all, "scene, RLE frames");
    if (scene && floorScn)
        reportRatio(csv, "scene / floor", *scene, *floorScn,
                    ">= 0.95: the engine adds no cost of its own");
    if (scene && full)
        reportRatio(csv, "scene (dirty) / full redraw", *scene, *full, ">= 2.5 headless");
    if (floorScn && floorBest)
        reportRatio(csv, "floor, unkeyed + RLE / floor", *floorBest, *floorScn,
                    "what RLE-encoded frames would add");
    if (floorBest && full)
        reportRatio(csv, "floor, unkeyed + RLE / full redraw", *floorBest, *full,
                    "dirty with encoded frames against full redraw");
    if (scene && rle)
        reportRatio(csv, "scene, RLE frames / scene", *rle, *scene,
                    "what RLE-encoded frames would gain");
    Scenario* flip = find(all, "present: SDL_Flip");
    Scenario* changed = find(all, "present: changed rects");
    Scenario* pygame = find(all, "present: pygame rendition");
    if (flip && changed)
    {
        const char* target = opt.x11 ? ">= 1.25 on classic SDL"
                                     : "none: classic SDL's dummy driver flips for free";
        // The engine presents the whole screen on the layer: its frames shown
        // are what to compare there (the shown ratio below, >= 1).
        if (linkedSdl().compatibilityLayer)
            target = "none on the layer, which is given the whole screen";
        if (opt.wayland)
            target = "none set on Wayland";
        reportRatio(csv, "present: changed rects / SDL_Flip", *changed, *flip, target);
    }
    if (changed && pygame)
        reportRatio(csv, "present: changed rects / pygame", *changed, *pygame,
                    opt.x11       ? ">= 5"
                    : opt.wayland ? "none set on Wayland"
                                  : "none headless: SDL 2's blitters are faster");
    if (flip && changed)
        reportShownRatio(csv, "shown: changed rects / SDL_Flip", *changed, *flip);
    if (changed && pygame)
        reportShownRatio(csv, "shown: changed rects / pygame", *changed, *pygame);
    if (scene && !scene->memcpyRates.empty())
    {
        double value = pairedRatio(scene->rates, scene->memcpyRates);
        printf("  %-36s %7.3f %7s   %s\n", "scene / memcpy of its bytes", value, "",
               "how far the blits are from memory bandwidth");
        csv.row("ratio:scene / memcpy of its bytes", "all", "wall_ratio", value, "x");
    }
}

// The cost of a pass against the size of its target.
void printTargetCosts(const Options& opt, const std::vector<std::unique_ptr<Scenario>>& all)
{
    if (!wanted(opt, "target"))
        return;
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

// The cost per sprite pixel against sprite count and size, and where full redraw wins.
void printScalingCosts(const Options& opt, const std::vector<std::unique_ptr<Scenario>>& all,
                       Csv& csv)
{
    if (!wanted(opt, "scaling"))
        return;
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

// The start-up times, each run in the CSV and their medians on stdout.
void printStartup(const Options& opt, const std::vector<StartupRun>& startup, Csv& csv)
{
    if (startup.empty())
        return;
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

// The ratios, the per-size costs and the start-up times, on stdout and in the CSV.
void printSummaries(const Options& opt, const std::vector<std::unique_ptr<Scenario>>& all,
                    const std::vector<StartupRun>& startup, Csv& csv)
{
    printRatios(opt, all, csv);
    printTargetCosts(opt, all);
    printScalingCosts(opt, all, csv);
    printStartup(opt, startup, csv);
}

// Checks the options against each other and the environment, completes them,
// and chooses SDL's video driver: 0, or the exit status.
int checkOptions(Options* opt)
{
    if (opt->x11 && opt->wayland)
    {
        fprintf(stderr, "velmora-bench: --x11 and --wayland exclude each other\n");
        return 2;
    }
    if (opt->passes == 0)
        opt->passes = opt->x11 || opt->wayland ? 200 : 1000;
    namespace fs = std::filesystem;
    opt->dataDir = fs::absolute(opt->dataDir).string();
    if (!fs::exists(fs::path(opt->dataDir) / "bg.bmp"))
    {
        fprintf(stderr,
                "velmora-bench: no bg.bmp in %s: build the target `data` first or give --data\n",
                opt->dataDir.c_str());
        return 1;
    }
    if (opt->x11 && !getenv("DISPLAY"))
    {
        fprintf(stderr, "velmora-bench: --x11 needs an X display in $DISPLAY\n");
        return 1;
    }
    if (opt->wayland && !getenv("WAYLAND_DISPLAY"))
    {
        fprintf(stderr, "velmora-bench: --wayland needs a Wayland display in $WAYLAND_DISPLAY\n");
        return 1;
    }
    setenv("SDL_VIDEODRIVER", opt->x11 ? "x11" : opt->wayland ? "wayland" : "dummy", 1);
    return 0;
}

// Starts SDL's video. A display server that was just started, on a busy
// machine, may not answer at once: keep trying for up to 30 seconds before
// giving up.
bool startSdl(const Options& opt)
{
    Clock::time_point initStart = Clock::now();
    while (SDL_Init(SDL_INIT_VIDEO) < 0)
    {
        SDL_Quit();
        if (!(opt.x11 || opt.wayland) || secondsSince(initStart) > 30)
        {
            fprintf(stderr, "velmora-bench: SDL_Init: %s\n", SDL_GetError());
            return false;
        }
        SDL_Delay(200);
    }
    return true;
}

// On X11, a second client that watches the window's damage; none when the
// bench is built without the DAMAGE extension or the window can't be watched.
std::unique_ptr<FramesShown> watchX11Window()
{
#ifdef VELMORA_BENCH_XDAMAGE
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    auto x11 = std::make_unique<X11FramesShown>();
    if (SDL_GetWMInfo(&info) == 1 && info.subsystem == SDL_SYSWM_X11 &&
        x11->init(info.info.x11.window, info.info.x11.display) == 0)
        return x11;
    fprintf(stderr, "velmora-bench: cannot watch the window's damage: frames shown are not "
                    "counted\n");
#endif
    return nullptr;
}

// The scene, set up exactly as the program does it, from the data directory.
bool loadScene(SDL_Surface* display, const std::string& dataDir)
{
    namespace fs = std::filesystem;
    fs::path startDir = fs::current_path();
    fs::current_path(dataDir);
    initScene(display);
    fs::current_path(startDir);
    if (!back || !vikingBase.mBuilt || !sunBase.mBuilt || vikingBase.mNumFrames < 1 ||
        sunBase.mNumFrames < 1 || !vikingBase.mAnim[0].image || !sunBase.mAnim[0].image)
    {
        fprintf(stderr, "velmora-bench: the scene did not load from %s\n", dataDir.c_str());
        return false;
    }
    return true;
}

// What the figures were measured on: the video driver, the display, SDL and the demo's sets.
void printSetup(SDL_Surface* display, const std::string& dataDir, Csv& csv)
{
    char driver[64] = "?";
    SDL_VideoDriverName(driver, sizeof driver);
    const SDL_PixelFormat* fmt = display->format;
    printf("video driver %s, display %dx%d, %d bpp, masks %08x %08x %08x; data %s\n", driver,
           display->w, display->h, fmt->BitsPerPixel, fmt->Rmask, fmt->Gmask, fmt->Bmask,
           dataDir.c_str());
    const SdlLibrary sdl = linkedSdl();
    printf("%s\n", describe(sdl).c_str());
    csv.row("sdl", "all", "linked_patch_version", sdl.version.patch, "");
    csv.row("sdl", "all", "compatibility_layer", sdl.compatibilityLayer ? 1 : 0, "");
    printf("demo sets: sun %dx%d (%d frames), vikings %dx%d (%d frames)\n", sunBase.mW,
           sunBase.mH, sunBase.mNumFrames, vikingBase.mW, vikingBase.mH, vikingBase.mNumFrames);
}

// Every repeat goes round all scenarios; returns the seconds they took.
double runRepeats(const Options& opt, const std::vector<std::unique_ptr<Scenario>>& all,
                  FramesShown* shown)
{
    MemoryFloor memoryFloor;
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
            runRepeat(*s, r == 0, memoryFloor, shown);
        fprintf(stderr, "velmora-bench: repeat %d of %d done after %.1f s\n", r + 1, opt.repeats,
                secondsSince(benchStart));
    }
    return secondsSince(benchStart);
}

// The scenarios on the display, from setting the video mode to the summaries:
// 0, or the exit status. What it makes (the watcher, the scaling sets) goes
// with it; SDL is the caller's to end.
int benchOnDisplay(const Options& opt, const std::vector<StartupRun>& startup,
                   std::unique_ptr<FramesShown> shown, Csv& csv)
{
    SDL_Surface* display = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
    if (!display)
    {
        fprintf(stderr, "velmora-bench: SDL_SetVideoMode: %s\n", SDL_GetError());
        return 1;
    }
    if (opt.x11)
        shown = watchX11Window();
    if (!loadScene(display, opt.dataDir))
        return 1;
    printSetup(display, opt.dataDir, csv);

    Bench bench(opt, display);
    addDemoScenarios(bench);
    addPresentScenarios(bench, opt.dataDir);
    addTargetScenarios(bench);
    std::optional<velmora::TempDir> scalingSets;
    if (!addScalingScenarios(bench, scalingSets))
        return 1;
    const double seconds = runRepeats(opt, bench.all, shown.get());
    // The watcher ends before the window does (see pygameScenario).
    shown.reset();

    printTable(bench.all);
    for (const auto& s : bench.all)
        writeScenarioCsv(csv, *s);
    printSummaries(opt, bench.all, startup, csv);
    printf("\nload average at end %s; %.1f s of scenarios\n", loadAverage().c_str(), seconds);
    if (!csv.close())
    {
        fprintf(stderr, "velmora-bench: writing %s failed\n", opt.csv.c_str());
        return 1;
    }
    return 0;
}

// Draws the plot of the scaling figures from the CSV with gnuplot.
int plot(const Options& opt)
{
    const velmora::Outcome gnuplot = velmora::run(velmora::Command(
        {"gnuplot", "-e", "csv=" + gnuplotString(opt.csv) + "; png=" + gnuplotString(opt.plot),
         opt.plotScript}));
    if (!gnuplot.succeeded())
    {
        std::ostringstream how;
        how << gnuplot;
        fprintf(stderr, "velmora-bench: gnuplot %s\n", how.str().c_str());
        return 1;
    }
    printf("plot written to %s\n", opt.plot.c_str());
    return 0;
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
    if (int status = checkOptions(&opt))
        return status;
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
        startup = measureStartup(opt.program, opt.shim, opt.dataDir, opt.startupRuns);

    // On Wayland the client's requests are logged from its first connection on.
    std::unique_ptr<FramesShown> shown;
    if (opt.wayland)
    {
        auto wayland = std::make_unique<WaylandFramesShown>();
        if (wayland->initOwnLog() != 0)
            return 1;
        shown = std::move(wayland);
    }

    if (!startSdl(opt))
        return 1;
    int status = benchOnDisplay(opt, startup, std::move(shown), csv);
    SDL_Quit();
    if (status == 0 && !opt.plot.empty())
        status = plot(opt);
    return status;
}
