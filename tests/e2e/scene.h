// Purpose-made scenes for the end-to-end tests: a background and two sprite
// sets of plain colours written into the program's working directory, and the
// picture the program must show for them.
#ifndef VELMORA_E2E_SCENE_H
#define VELMORA_E2E_SCENE_H

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "picture.h"

namespace e2e
{

constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 768;

// Where the program places its sprites.
struct Point
{
    int x;
    int y;
};
constexpr Point kSunAt{480, 50};
constexpr Point kVikings1At{150, 300};
constexpr Point kVikings2At{350, 300};

// A sprite set as the tests write it: frames f0.bmp, f1.bmp... all with the
// same pause and colour key. No key writes "0 0 0", which sets none.
struct SpriteSet
{
    std::vector<Picture> frames;
    int pause = 100;
    std::optional<Rgb> key = kKey;

    std::string info() const;  // the text of its info file
    int width() const;         // of the widest frame
    int height() const;        // of the tallest frame
};

// What the program reads from its working directory.
struct SceneData
{
    Picture background;
    SpriteSet sun;
    SpriteSet vikings;

    // Writes bg.bmp, includes/sun and includes/vikings into `dir`.
    void write(const std::filesystem::path& dir) const;
};

// Writes a set's frames and info into `dir`, which is made if needed.
void writeSet(const std::filesystem::path& dir, const SpriteSet& set);
void writeText(const std::filesystem::path& file, const std::string& text);

// Pictures for purpose-made sets.
Picture solid(int width, int height, Rgb colour);
// A 1024 x 768 background of four quadrants with marker pixels in its corners,
// so that a picture drawn anywhere but at (0, 0) can't match it.
Picture markedBackground();

// The marked background with a one-frame sun and one-frame vikings of 64 x 64
// plain colours, each with a key-coloured square in its middle: nothing
// animates, so every pixel of the window is known.
SceneData stillScene();

// How a part of the scene is expected to show.
enum class Shown
{
    Drawn,    // as written
    Absent,   // not at all: what is beneath shows
    Maybe,    // as written or not at all (a broken set may draw some frames)
    Unknown,  // anything in its area
};

// The picture the program must show for `data`: the background, then the sun,
// vikings1 and vikings2 in that order, each as one of its set's frames.
// vikings1 may be given another height than its starting one.
struct SceneModel
{
    Shown background = Shown::Drawn;
    Shown sun = Shown::Drawn;
    Shown vikings = Shown::Drawn;
    int vikings1Y = kVikings1At.y;

    ExpectedPicture expect(const SceneData& data) const;
};

}

#endif
