// A second reading of an image file by a decoder that shares no code with the
// ones the tools draw with (libpng, giflib, SDL's BMP reader): stb_image, with its
// own inflate, PNG filters, interlacing and BMP bit fields. What the two readings
// agree on is taken as the picture; where they differ, one of them is wrong, and
// the artist is told instead of getting a frame that only looks imported.
#ifndef VELMORA_TOOLS_SECOND_READING_H
#define VELMORA_TOOLS_SECOND_READING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmoracheck
{

// 8-bit RGBA, row by row.
struct SecondReading
{
    int w = 0;
    int h = 0;
    std::vector<std::uint8_t> rgba;
    bool ok = false;
    std::string why;  // when not ok: the decoder's reason
};

// Reads a PNG or BMP (a GIF's first frame too) from memory. Samples are taken as
// stored: no gamma is applied, and 16-bit samples are scaled to 8 bits with
// rounding, as the importer does. Pictures of more than maxPixels are not read.
SecondReading readSecondly(const std::uint8_t* data, size_t size, long long maxPixels);
SecondReading readSecondlyFile(const std::string& path, long long maxPixels);

// The decoder named for reports.
const char* secondReader();

}

#endif
