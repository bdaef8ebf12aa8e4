// The sun's frames: a disc with rays that turn and pulse.
#ifndef VELMORA_ARTGEN_SUN_H
#define VELMORA_ARTGEN_SUN_H

#include <vector>

#include "canvas.h"

namespace artgen {

constexpr int kSunFrames = 12;

// Paints the sun's frames, each kSunSize square with transparent corners.
// Edge pixels are mixed with the part of `background` the sun covers on the
// screen, so the outline looks smooth there without any half-transparent pixel.
std::vector<Canvas> drawSunFrames(const Canvas& background);

// One frame of the cycle. Frame kSunFrames shows the same picture as frame 0,
// which is what lets the animation loop without a jump.
Canvas drawSunFrame(const Canvas& background, int frame);

}  // namespace artgen

#endif
