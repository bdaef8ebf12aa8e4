// The program's icon: a viking's head against the sky and the sun of the demo, in a round frame.
#ifndef VELMORA_ARTGEN_ICON_H
#define VELMORA_ARTGEN_ICON_H

#include <string>
#include <vector>

namespace artgen {

// The sizes velmora-artgen accepts, in pixels a side.
constexpr int kIconMinSize = 16;
constexpr int kIconMaxSize = 1024;

// A square picture with straight (not premultiplied) alpha: `size` rows of
// `size` pixels, top row first, four bytes a pixel in the order r, g, b, a.
struct IconImage
{
    int size = 0;
    std::vector<unsigned char> rgba;
};

// Draws the icon from the demo's own art: the background and the sun's first
// frame behind the first figure frame's head and shoulders. Outside the frame
// the icon is transparent. `size` must lie in [kIconMinSize, kIconMaxSize].
IconImage drawIcon(int size);

// Writes `image` as an 8-bit RGBA PNG (through libpng), creating the missing
// directories of `path`. On failure returns false and puts a message naming the
// file and the reason into `error`.
bool saveIcon(const IconImage& image, const std::string& path, std::string& error);

}  // namespace artgen

#endif
