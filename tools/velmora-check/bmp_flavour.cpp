// The flavour of a BMP file as its header declares it, read with a bounds check
// on every field, for describing a frame to its artist.
#include "bmp_flavour.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "bmp_check.h"

namespace velmoracheck
{

namespace
{

// Enough for the file header, the largest (V5) info header, four masks and a
// palette of 256 entries.
const std::size_t kHeaderBytes = 14 + 124 + 16 + 256 * 4;

// The compression field's values in a Windows header.
enum Compression
{
    kCompressionNone, kCompressionRle8, kCompressionRle4, kCompressionBitFields,
    kCompressionJpeg, kCompressionPng, kCompressionAlphaBitFields
};

// The Windows headers; every other size from 16 to 64 bytes is an OS/2 2.x header,
// where compression 3 and 4 mean Huffman coding and 24-bit RLE.
bool windowsHeader(int size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

std::string headerName(int size)
{
    std::string bytes = std::to_string(size) + "-byte ";
    switch (size)
    {
    case 12:
        return bytes + "OS/2 1.x header";
    case 40:
        return bytes + "Windows header";
    case 52:
        return bytes + "V2 header";
    case 56:
        return bytes + "V3 header";
    case 108:
        return bytes + "V4 header";
    case 124:
        return bytes + "V5 header";
    default:
        return bytes + (size >= 16 && size <= 64 ? "OS/2 2.x header" : "header");
    }
}

int bitCount(std::uint32_t mask)
{
    int n = 0;
    for (; mask; mask &= mask - 1)
        n++;
    return n;
}

int lowestBit(std::uint32_t mask)
{
    int n = 0;
    while (mask && !(mask & 1))
    {
        mask >>= 1;
        n++;
    }
    return n;
}

// "RGB565", "ARGB4444": the channels from the highest bits down, then their widths.
std::string channelLayout(const std::uint32_t masks[4])
{
    const char letters[] = {'R', 'G', 'B', 'A'};
    int order[4] = {0, 1, 2, 3};
    for (int i = 1; i < 4; i++)
        for (int j = i; j > 0 && lowestBit(masks[order[j]]) > lowestBit(masks[order[j - 1]]); j--)
            std::swap(order[j], order[j - 1]);
    std::string names, widths;
    for (int channel : order)
    {
        if (!masks[channel])
            continue;
        names += letters[channel];
        widths += std::to_string(bitCount(masks[channel]));
    }
    return names + widths;
}

}

BmpFlavour readBmpFlavour(const std::string& bytes)
{
    BmpFlavour flavour;
    // The fields the engine's own check reads, read by the engine's reader.
    CBmpHeader header;
    if (!readBmpHeader((const Uint8*)bytes.data(), bytes.size(), &header) ||
        (header.headerSize != 12 && (header.headerSize < 16 || header.headerSize > 1024)))
        return flavour;
    std::uint32_t headerSize = (std::uint32_t)header.headerSize;
    std::uint32_t height = (std::uint32_t)header.height;
    std::uint32_t bits = (std::uint32_t)header.bitsPerPixel;
    std::uint32_t compression = (std::uint32_t)header.compression;
    std::uint32_t colours = header.colours;

    flavour.headerSize = (int)headerSize;
    flavour.bitsPerPixel = (int)bits;
    flavour.compression = (int)compression;
    flavour.topDown = (std::int32_t)height < 0;
    if (bits >= 1 && bits <= 8)
        flavour.paletteSize = colours > 0 && colours < (1u << bits) ? (int)colours : 1 << bits;

    bool bitFields = hasBitFields(flavour);
    std::uint32_t* masks = flavour.masks;
    if (bitFields)
    {
        // V2 and later headers hold the masks; a 40-byte header is followed by them.
        std::size_t at = headerSize >= 52 ? 54 : 14 + headerSize;
        int count = headerSize >= 56 || compression == kCompressionAlphaBitFields ? 4 : 3;
        for (int i = 0; i < count; i++)
            if (!readLe32((const Uint8*)bytes.data(), bytes.size(), at + 4 * i, &masks[i]))
                masks[i] = 0;
    }
    else if (compression == kCompressionNone && bits == 16)
    {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    else if (compression == kCompressionNone && bits == 32)
    {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
    }
    // The palette follows the info header: blue, green, red and, after any but
    // the 12-byte header, a fourth byte per entry. Only the entries present are kept.
    int entrySize = headerSize == 12 ? 3 : 4;
    for (int i = 0; i < flavour.paletteSize; i++)
    {
        std::size_t at = 14 + headerSize + (std::size_t)i * entrySize;
        if (at + 3 > bytes.size())
            break;
        flavour.palette.push_back((std::uint32_t)(unsigned char)bytes[at + 2] << 16 |
                                  (std::uint32_t)(unsigned char)bytes[at + 1] << 8 |
                                  (unsigned char)bytes[at]);
    }
    flavour.valid = true;
    return flavour;
}

BmpFlavour readBmpFlavourFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(kHeaderBytes, '\0');
    in.read(&bytes[0], (std::streamsize)bytes.size());
    bytes.resize((std::size_t)in.gcount());
    return readBmpFlavour(bytes);
}

bool hasBitFields(const BmpFlavour& flavour)
{
    return windowsHeader(flavour.headerSize) &&
           (flavour.compression == kCompressionBitFields || flavour.compression == kCompressionAlphaBitFields);
}

std::string describe(const BmpFlavour& flavour)
{
    std::string text = std::to_string(flavour.bitsPerPixel) +
                       (flavour.bitsPerPixel == 1 ? " bit per pixel, " : " bits per pixel, ");
    bool os2 = !windowsHeader(flavour.headerSize) && flavour.headerSize != 12;
    switch (flavour.compression)
    {
    case kCompressionNone:
        text += "uncompressed";
        break;
    case kCompressionRle8:
        text += "RLE8-compressed";
        break;
    case kCompressionRle4:
        text += "RLE4-compressed";
        break;
    case kCompressionBitFields:
        text += os2 ? "Huffman-compressed" : channelLayout(flavour.masks) + " bit fields";
        break;
    case kCompressionJpeg:
        text += os2 ? "RLE24-compressed" : "a JPEG image inside";
        break;
    case kCompressionPng:
        text += "a PNG image inside";
        break;
    case kCompressionAlphaBitFields:
        text += channelLayout(flavour.masks) + " bit fields";
        break;
    default:
        text += "compression type " + std::to_string(flavour.compression);
        break;
    }
    if (flavour.masks[3])
        text += " (the alpha channel is not used)";
    text += flavour.paletteSize ? ", " + std::to_string(flavour.paletteSize) + "-colour palette" : ", no palette";
    text += flavour.topDown ? ", top-down" : ", bottom-up";
    return text + ", " + headerName(flavour.headerSize);
}

std::string unreadableFlavour(const BmpFlavour& flavour, const std::string& library)
{
    if (!flavour.valid)
        return "";
    bool os2 = !windowsHeader(flavour.headerSize) && flavour.headerSize != 12;
    switch (flavour.compression)
    {
    case kCompressionRle8:
    case kCompressionRle4:
        return "an RLE-compressed BMP: " + library + " reads only uncompressed BMPs; save without compression";
    case kCompressionBitFields:
        if (os2)
            return "a Huffman-compressed OS/2 BMP: " + library + " reads only uncompressed BMPs; "
                   "save as an uncompressed Windows BMP";
        return "";
    case kCompressionJpeg:
    case kCompressionPng:
        return std::string(os2 ? "an RLE24-compressed OS/2 BMP" : "a BMP with a JPEG or PNG image inside") +
               ": " + library + " reads only uncompressed BMPs; save as an uncompressed 24-bit BMP";
    default:
        return "";
    }
}

}
