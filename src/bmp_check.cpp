// The engine's check of a BMP file's header before SDL reads the file, and
// loadBMP, which loads only what passes it and what SDL can draw from.
#include "bmp_check.h"

#include <stdio.h>
#include <string.h>

namespace
{

// SDL can load a damaged BMP header as a surface it can't draw from: a height
// field of -2^31 gives a negative height with no pixels behind it, an absurd
// depth gives a row pitch that wrapped around its 16 bits or a format whose
// bits and bytes per pixel disagree, without a palette. Converting or blitting
// such a surface reads past its pixels, so it counts as an image that can't be
// loaded.
bool isDrawable(const SDL_Surface* image)
{
    if (image->w < 0 || image->h < 0)
        return false;
    if (image->w == 0 || image->h == 0)
        return true;
    const SDL_PixelFormat* format = image->format;
    if (!image->pixels || !format || (format->BitsPerPixel + 7) / 8 != format->BytesPerPixel)
        return false;
    if (format->BitsPerPixel <= 8 && !format->palette)
        return false;
    return image->pitch >= image->w * format->BytesPerPixel;
}

const int kCompressionRle8 = 1;
const int kCompressionRle4 = 2;

}

bool readLe16(const Uint8* bytes, size_t size, size_t at, Uint32* value)
{
    if (at + 2 > size)
        return false;
    *value = (Uint32)bytes[at] | (Uint32)bytes[at + 1] << 8;
    return true;
}

bool readLe32(const Uint8* bytes, size_t size, size_t at, Uint32* value)
{
    Uint32 low, high;
    if (!readLe16(bytes, size, at, &low) || !readLe16(bytes, size, at + 2, &high))
        return false;
    *value = low | high << 16;
    return true;
}

bool readBmpHeader(const Uint8* bytes, size_t size, CBmpHeader* header)
{
    Uint32 offset, headerSize, width, height, bits, compression = 0, colours = 0;
    if (size < 2 || bytes[0] != 'B' || bytes[1] != 'M' || !readLe32(bytes, size, 10, &offset) ||
        !readLe32(bytes, size, 14, &headerSize))
        return false;
    if (headerSize == 12)
    {
        // OS/2 1.x: 16-bit sizes. SDL reads them unsigned; a height above 32767
        // is taken as negative (top-down) here, as for the other headers.
        if (!readLe16(bytes, size, 18, &width) || !readLe16(bytes, size, 20, &height) ||
            !readLe16(bytes, size, 24, &bits))
            return false;
        height = (Uint32)(Sint32)(Sint16)height;
    }
    else
    {
        // SDL reads the fields of a 40-byte header whatever size this one gives.
        if (!readLe32(bytes, size, 18, &width) || !readLe32(bytes, size, 22, &height) ||
            !readLe16(bytes, size, 28, &bits))
            return false;
        if (headerSize >= 20 && !readLe32(bytes, size, 30, &compression))
            return false;
        if (headerSize >= 36 && !readLe32(bytes, size, 46, &colours))
            return false;
    }
    header->pixelOffset = offset;
    header->headerSize = (int)headerSize;
    header->width = (Sint32)width;
    header->height = (Sint32)height;
    header->bitsPerPixel = (int)bits;
    header->compression = (int)compression;
    header->colours = colours;
    return true;
}

bool checkBmpFile(const char* file, CBmpCheck* check)
{
    memset(check, 0, sizeof *check);
    check->refused = CBmpCheck::NONE;
    FILE* fp = fopen(file, "rb");
    if (!fp)
        return true;
    Uint8 bytes[kBmpHeaderBytes];
    size_t size = fread(bytes, 1, sizeof bytes, fp);
    long end = fseek(fp, 0, SEEK_END) == 0 ? ftell(fp) : -1;
    fclose(fp);
    if (end < 0 || size < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return true;
    // SDL's readers read on past the end of a file that ends inside the fields
    // of its header (12 bytes of them for OS/2 1.x, 40 for any other size), and
    // take whatever they find for them.
    Uint32 headerSize;
    size_t fieldsEnd = readLe32(bytes, size, 14, &headerSize) && headerSize == 12 ? 14 + 12 : 14 + 40;
    if (size < fieldsEnd || !readBmpHeader(bytes, size, &check->header))
    {
        check->refused = CBmpCheck::HEADER_CUT;
        snprintf(check->reason, sizeof check->reason,
                 "header cut short: the file ends after %d bytes, inside its header", (int)end);
        return false;
    }

    const CBmpHeader& h = check->header;
    check->fileSize = end;
    check->pixelBytes = end > (long long)h.pixelOffset ? end - (long long)h.pixelOffset : 0;
    long long w = h.width < 0 ? -(long long)h.width : h.width;
    long long rows = h.height < 0 ? -(long long)h.height : h.height;
    if (h.headerSize == 12)
        rows = (Uint16)h.height;

    bool fits;
    if (h.compression == kCompressionRle8 || h.compression == kCompressionRle4)
        fits = rows <= 255 * (check->pixelBytes / 2 + 1);
    else
    {
        // Whole rows padded to 4 bytes, the last one possibly without its padding.
        long long rowBits = w * h.bitsPerPixel;
        long long rowBytes = (rowBits + 31) / 32 * 4;
        fits = rows == 0 || rowBytes == 0 ||
               (rows - 1 <= check->pixelBytes / rowBytes &&
                (rows - 1) * rowBytes + (rowBits + 7) / 8 <= check->pixelBytes);
    }
    bool tooLarge = w > kBmpMaxSide || rows > kBmpMaxSide || w * rows > kBmpMaxPixels;
    check->refused = !fits ? CBmpCheck::PIXELS_MISSING : tooLarge ? CBmpCheck::TOO_LARGE : CBmpCheck::NONE;
    if (check->refused == CBmpCheck::PIXELS_MISSING)
        snprintf(check->reason, sizeof check->reason,
                 "header claims %lldx%lld pixels; the file holds %lld bytes of pixel data", w, rows,
                 check->pixelBytes);
    else if (check->refused == CBmpCheck::TOO_LARGE)
        snprintf(check->reason, sizeof check->reason,
                 "header claims %lldx%lld pixels; a frame may be at most %d pixels wide or high "
                 "and %d in all",
                 w, rows, kBmpMaxSide, kBmpMaxPixels);
    return check->refused == CBmpCheck::NONE;
}

SDL_Surface* loadBMP(const char* file)
{
    CBmpCheck check;
    if (!checkBmpFile(file, &check))
    {
        SDL_SetError("%s", check.reason);
        return NULL;
    }
    SDL_Surface* image = SDL_LoadBMP(file);
    if (image && !isDrawable(image))
    {
        SDL_FreeSurface(image);
        image = NULL;
    }
    return image;
}
