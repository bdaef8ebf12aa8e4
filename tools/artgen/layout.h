// Where the demo puts its pictures, so that the art is drawn to fit the scene.
#ifndef VELMORA_ARTGEN_LAYOUT_H
#define VELMORA_ARTGEN_LAYOUT_H

namespace artgen {

// The window and the background.
constexpr int kScreenW = 1024;
constexpr int kScreenH = 768;

// The sun's frame: its top-left corner on the screen and its size.
constexpr int kSunX = 480;
constexpr int kSunY = 50;
constexpr int kSunSize = 144;
constexpr float kSunCentreX = kSunX + kSunSize / 2.0f;
constexpr float kSunCentreY = kSunY + kSunSize / 2.0f;

// The figure: a grid of cells, each drawn as a square of kFigureScale pixels.
constexpr int kFigureCellsW = 26;
constexpr int kFigureCellsH = 32;
constexpr int kFigureScale = 4;
constexpr int kFigureW = kFigureCellsW * kFigureScale;
constexpr int kFigureH = kFigureCellsH * kFigureScale;

// The two figures' frames: top-left corners on the screen. Their feet rest on the
// row just above the frame's bottom outline row.
constexpr int kFigure1X = 150;
constexpr int kFigure2X = 350;
constexpr int kFigureY = 300;
constexpr int kFeetY = kFigureY + kFigureH - kFigureScale;

}  // namespace artgen

#endif
