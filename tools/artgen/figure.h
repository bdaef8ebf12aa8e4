// The figure's frames: a helmeted, bearded warrior with axe and shield, marching on the spot.
#ifndef VELMORA_ARTGEN_FIGURE_H
#define VELMORA_ARTGEN_FIGURE_H

#include <vector>

#include "canvas.h"

namespace artgen {

constexpr int kFigureFrames = 8;

// Draws the frames: every cell of the designed grids scaled up to a kFigureScale square,
// transparent cells left transparent.
std::vector<Canvas> drawFigureFrames();

}  // namespace artgen

#endif
