// Damaged BMP headers, found by fuzzing the sprite-set loader, that once crashed
// it: SDL_LoadBMP returns each as a surface that nothing can draw from, for
// two of them with an error set beside the surface.
#ifndef VELMORA_TESTS_DAMAGED_BMP_H
#define VELMORA_TESTS_DAMAGED_BMP_H

#include <cstdint>
#include <string>
#include <vector>

namespace damaged_bmp
{

// Height -2^31 (top-down, with a height that can't be negated): SDL returns a
// 8969 x -2147483648 surface with an empty pixel buffer.
inline std::string minusTwoToThe31High()
{
    return std::string("BM\x36\0\0\0\0\0\0\0\x36\0\0\0"
                       "\x28\0\0\0\x09\x23\0\0\0\0\0\x80\x01\0\x20\0"
                       "\0\0\0\0\0\0\0\0\x13\x0b\0\0\x13\x0b\0\0"
                       "\0\0\0\0\0\0\0\0",
                       54);
}

// 8969 x 65280 at "384" bits per pixel, whose row pitch wraps to 0.
inline std::string wrappedPitch()
{
    return std::string("BM\x36\0\0\0\0\0\0\0\x36\0\0\0"
                       "\x28\0\0\0\x09\x23\0\0\0\xff\0\0\x01\0\x80\x01"
                       "\0\0\0\0\0\0\0\0\x13\x0b\0\0\x13\x0b\0\0"
                       "\0\0\0\0\0\0\0\0",
                       54);
}

// A header of an unknown size that leaves a 1-bit format with 97 bytes per
// pixel and no palette; converting it to the display format crashed in SDL.
inline std::string paletteless()
{
    return std::string("\x42\x4d\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x34\x5d"
                       "\x00\x00\x00\x28\x00\x00\x00\x01\x00\x00\x00\x80\x01\x3b\x00\x00"
                       "\x00\x00\x00\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x80\x01\x3b\x00"
                       "\x00\x00\x00\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00"
                       "\x00\x00\x00\x00\x00\x00",
                       70);
}

// 62 bytes whose 8-bit header claims side x side pixels, with 8 bytes after the
// pixel offset: the file that, with a side of 131072, took SDL 2's reader (under
// the compatibility layer) to 16 GiB before it found no pixels. In the fuzz
// corpus as frame/claims-131072-square.
inline std::string claimsSquare(std::uint32_t side)
{
    std::string bytes("BM\x3e\0\0\0\0\0\0\0\x36\0\0\0"
                      "\x28\0\0\0WWWWHHHH\x01\0\x08\0"
                      "\0\0\0\0\0\0\0\0\x13\x0b\0\0\x13\x0b\0\0"
                      "\0\0\0\0\0\0\0\0"
                      "\0\0\0\0\0\0\0\0",
                      62);
    for (int i = 0; i < 4; i++)
        bytes[18 + i] = bytes[22 + i] = (char)(side >> (8 * i) & 0xFF);
    return bytes;
}

// 24 bytes that end inside a 12-byte OS/2 header, before its depth: classic SDL
// read a depth from past the end and allocated 443 MB for 128 x 17152 pixels.
// Found by the fuzzer under its memory limit; frame/header-cut-os2 in the corpus.
inline std::string headerCutShort()
{
    return std::string("BM6#\x01\x7f\xfd\x13\xe9\0\x80\xf0\x01\x80\x0c\0\0\0\x80\0\0CM6", 24);
}

inline std::vector<std::string> all()
{
    return {minusTwoToThe31High(), wrappedPitch(), paletteless()};
}

}

#endif
