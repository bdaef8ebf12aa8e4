// The figure's frames: a helmeted, bearded warrior with axe and shield, marching on the spot.
#ifndef VELMORA_ARTGEN_FIGURE_H
#define VELMORA_ARTGEN_FIGURE_H

#include <string>
#include <vector>

#include "canvas.h"

namespace artgen {

constexpr int kFigureFrames = 8;

// The frames as cell grids, kFigureCellsH rows of kFigureCellsW characters, one
// palette letter per cell and '.' for transparent cells.
std::vector<std::vector<std::string>> figureCells();

// The frames as pictures: every cell scaled up to a kFigureScale square,
// transparent cells left transparent.
std::vector<Canvas> drawFigureFrames();

}  // namespace artgen

#endif
