// Purpose-made scenes for the end-to-end tests and the pictures they must give.
#include "scene.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e
{

namespace fs = std::filesystem;

std::string SpriteSet::info() const
{
    std::ostringstream text;
    text << "FILES: " << frames.size() << "\n";
    text << "# written by the end-to-end tests\n";
    Rgb k = key.value_or(Rgb{});
    for (size_t i = 0; i < frames.size(); ++i)
        text << "f" << i << ".bmp " << pause << " " << int(k.r) << " " << int(k.g) << " "
             << int(k.b) << "\n";
    return text.str();
}

int SpriteSet::width() const
{
    int w = 0;
    for (const Picture& f : frames)
        w = std::max(w, f.width());
    return w;
}

int SpriteSet::height() const
{
    int h = 0;
    for (const Picture& f : frames)
        h = std::max(h, f.height());
    return h;
}

void writeText(const fs::path& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out)
        throw std::runtime_error("can't write " + file.string());
}

void writeSet(const fs::path& dir, const SpriteSet& set)
{
    fs::create_directories(dir);
    for (size_t i = 0; i < set.frames.size(); ++i)
    {
        fs::path file = dir / ("f" + std::to_string(i) + ".bmp");
        if (!set.frames[i].saveBmp(file))
            throw std::runtime_error("can't write " + file.string());
    }
    writeText(dir / "info", set.info());
}

void SceneData::write(const fs::path& dir) const
{
    if (!background.empty() && !background.saveBmp(dir / "bg.bmp"))
        throw std::runtime_error("can't write " + (dir / "bg.bmp").string());
    writeSet(dir / "includes" / "sun", sun);
    writeSet(dir / "includes" / "vikings", vikings);
}

Picture solid(int width, int height, Rgb colour) { return Picture(width, height, colour); }

Picture markedBackground()
{
    const int w = kWindowWidth;
    const int h = kWindowHeight;
    Picture bg(w, h);
    bg.fill(0, 0, w / 2, h / 2, Rgb{40, 60, 200});
    bg.fill(w / 2, 0, w / 2, h / 2, Rgb{70, 160, 230});
    bg.fill(0, h / 2, w / 2, h / 2, Rgb{30, 140, 50});
    bg.fill(w / 2, h / 2, w / 2, h / 2, Rgb{120, 90, 40});
    bg.set(0, 0, Rgb{255, 255, 0});
    bg.set(1, 0, Rgb{0, 255, 255});
    bg.set(0, 1, Rgb{255, 128, 0});
    bg.set(w - 1, h - 1, Rgb{255, 255, 255});
    bg.set(w - 2, h - 1, Rgb{1, 2, 3});
    return bg;
}

SceneData stillScene()
{
    SceneData data;
    data.background = markedBackground();
    Picture sun = solid(64, 64, Rgb{250, 210, 20});
    sun.fill(24, 24, 16, 16, kKey);
    Picture viking = solid(64, 64, Rgb{150, 40, 40});
    viking.fill(16, 16, 32, 8, kKey);
    data.sun.frames = {sun};
    data.vikings.frames = {viking};
    return data;
}

namespace
{

void addSprite(ExpectedPicture& expected, const SpriteSet& set, Shown shown, Point at)
{
    switch (shown)
    {
    case Shown::Drawn:
        expected.sprite(set.frames, set.key, at.x, at.y);
        break;
    case Shown::Maybe:
        expected.sprite(set.frames, set.key, at.x, at.y, true);
        break;
    case Shown::Unknown:
        expected.anything(at.x, at.y, set.width(), set.height());
        break;
    case Shown::Absent:
        break;
    }
}

}

ExpectedPicture SceneModel::expect(const SceneData& data) const
{
    ExpectedPicture expected(kWindowWidth, kWindowHeight);
    if (background == Shown::Drawn)
        expected.background(data.background);
    addSprite(expected, data.sun, sun, kSunAt);
    addSprite(expected, data.vikings, vikings, Point{kVikings1At.x, vikings1Y});
    addSprite(expected, data.vikings, vikings, kVikings2At);
    return expected;
}

}
