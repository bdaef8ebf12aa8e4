// The background picture: a coast under a high sun, with a meadow the figures stand on.
#ifndef VELMORA_ARTGEN_LANDSCAPE_H
#define VELMORA_ARTGEN_LANDSCAPE_H

#include "canvas.h"

namespace artgen {

// Paints the whole 1024 x 768 background, fully opaque. The same picture every time.
Canvas drawLandscape();

}  // namespace artgen

#endif
