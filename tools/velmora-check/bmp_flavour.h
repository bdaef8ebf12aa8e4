// The flavour of a BMP file as its header declares it, for describing a frame to
// its artist. The header's fields are read by the engine's readBmpHeader, the
// reader of its own check of a frame's size; the masks and palette are read
// here, and what the engine makes of the pixels comes from SDL.
#ifndef VELMORA_TOOLS_BMP_FLAVOUR_H
#define VELMORA_TOOLS_BMP_FLAVOUR_H

#include <cstdint>
#include <string>
#include <vector>

namespace velmoracheck
{

struct BmpFlavour
{
    bool valid = false;   // the bytes begin with a BMP header that could be read
    int headerSize = 0;   // 12 (OS/2 1.x), 40 (Windows), 108 (V4), 124 (V5), ...
    int bitsPerPixel = 0;
    int compression = 0;  // the header's compression field
    int paletteSize = 0;  // colours in the palette of a 1-, 4- or 8-bit image, 0 otherwise
    bool topDown = false; // rows stored top row first (a negative height)
    // Red, green, blue and alpha masks of a 16- or 32-bit image: those the header
    // gives, or the defaults of its depth; all 0 for other depths.
    std::uint32_t masks[4] = {0, 0, 0, 0};
    // The palette's colours as 0xRRGGBB, as far as the bytes read hold them.
    std::vector<std::uint32_t> palette;
};

// Reads the flavour from the first bytes of a file; every read is checked against
// the bytes given, so any input is safe. Not valid when no BMP header is there.
BmpFlavour readBmpFlavour(const std::string& bytes);
// The same from a file; not valid when it can't be read.
BmpFlavour readBmpFlavourFile(const std::string& path);

// Whether the header gives its own bit fields (compression 3 or 6 in a Windows header).
bool hasBitFields(const BmpFlavour& flavour);

// "16 bits per pixel, RGB565 bit fields, no palette, bottom-up, 124-byte V5 header".
std::string describe(const BmpFlavour& flavour);

// For a valid flavour that a library which refused the file is known not to
// read, what the file is and what to do, with the library named as given, e.g.
// "an RLE-compressed BMP: this SDL (1.2.15) reads only uncompressed BMPs; save
// without compression". Empty for flavours SDL reads.
std::string unreadableFlavour(const BmpFlavour& flavour, const std::string& library);

}

#endif
