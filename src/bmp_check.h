// The engine's check of a BMP file before SDL reads it, and the loader that
// uses it. The sprite loader loads every frame through it; a program loads its
// other pictures (a background, say) the same way with loadBMP.
#ifndef VELMORA_BMP_CHECK_H
#define VELMORA_BMP_CHECK_H

#include <SDL.h>

#include <stddef.h>

// Little-endian fields of a file's bytes at an offset; false, and value
// untouched, when the bytes end before the field.
bool readLe16(const Uint8* bytes, size_t size, size_t at, Uint32* value);
bool readLe32(const Uint8* bytes, size_t size, size_t at, Uint32* value);

// The fields of a BMP file's headers that say how large its picture is, as
// SDL's readers take them: the file header and the info header's size, width,
// height, depth, compression and colour count (the last two only from headers
// that hold them). A header of 12 bytes is OS/2 1.x's, with 16-bit fields; of
// any other size, SDL reads it as a 40-byte Windows header. readBmpHeader
// checks every read against the bytes given, so any input is safe; it returns
// false, and the header is not read, when the bytes don't begin with "BM" or
// end before a field it reads.
struct CBmpHeader
{
    Uint32 pixelOffset;  // where the pixels begin, from the start of the file
    int headerSize;      // 12 (OS/2 1.x), 40 (Windows), 108 (V4), 124 (V5), ...
    Sint32 width;
    Sint32 height;       // negative for rows stored top row first
    int bitsPerPixel;
    int compression;     // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, ...
    Uint32 colours;      // the palette's colour count, 0 for the depth's full count
};
// Bytes at the start of a file that hold every field read (with room for a
// 124-byte header).
const int kBmpHeaderBytes = 14 + 124;
bool readBmpHeader(const Uint8* bytes, size_t size, CBmpHeader* header);

// The engine's check of a frame file before any SDL reader sees it: a reader
// allocates what the header claims before it finds out whether the file holds
// the pixels, and the one of SDL 2 clears it all, so a 62-byte file claiming
// 131072 x 131072 pixels would cost 16 GiB. A file is refused
// - when the pixels it claims can't fit in the bytes from its pixel offset to
//   its end: for an uncompressed file every row, padded to 4 bytes (the last
//   need not be); for RLE, which may end a row early and skip 255 rows with a
//   4-byte delta escape, at most 255 rows for every 2 bytes (only a picture
//   that ends before its data could reach its last row is refused);
// - or when it is absurd for a sprite: wider or higher than kBmpMaxSide (SDL
//   1.2's rectangles hold 16-bit sizes and positions, and the display is 1024
//   x 768), or more than kBmpMaxPixels in all (64 MiB in the 32-bit display
//   format, 21 displays' worth), which bounds what a small RLE file can claim;
// - or when it ends inside the fields of its header, which SDL would read on
//   past the end of the file.
// A file that does not begin with "BM" is left to SDL, which refuses it.
const int kBmpMaxSide = 16384;
const int kBmpMaxPixels = 4096 * 4096;
struct CBmpCheck
{
    enum Refusal { NONE, PIXELS_MISSING, TOO_LARGE, HEADER_CUT };
    Refusal refused;      // why the check refused the file
    CBmpHeader header;    // valid unless the file does not begin with "BM" or ends inside it
    long long fileSize;
    long long pixelBytes; // bytes from the pixel offset to the end of the file
    char reason[128];     // why it was refused: "header claims 131072x131072 pixels; ..."
};
// Fills check for the file; returns true when the file may go to SDL. A file
// that can't be opened is left to SDL too.
bool checkBmpFile(const char* file, CBmpCheck* check);

// Loads a BMP file as SDL_LoadBMP does, or returns null when checkBmpFile
// refuses it (SDL's error then holds the check's reason), when SDL can't load
// it or when SDL hands back, from a damaged header, a surface that no
// conversion or blit can read safely. The caller owns the surface.
SDL_Surface* loadBMP(const char* file);

#endif
