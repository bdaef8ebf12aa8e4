// The second reading through Debian's stb_image library (libstb).
#include "second_reading.h"

#include <stb_image.h>

#include "bmp_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

namespace velmoracheck
{

namespace
{

// stb_image refuses BMP bit fields wider than 8 bits (a 32-bit file of 11, 11 and
// 10 bits, say). In a copy of such a file each mask is narrowed to its top 8 bits,
// which is what an 8-bit reading of the channel keeps.
std::vector<std::uint8_t> narrowWideMasks(const std::uint8_t* data, size_t size)
{
    const size_t masksAt = 14 + 40;  // after the 40-byte header, or inside a longer one
    CBmpHeader header;
    if (size < masksAt + 12 || !readBmpHeader(data, size, &header) || header.headerSize < 40 ||
        header.compression != 3 || header.bitsPerPixel != 32)
        return {};
    std::vector<std::uint8_t> copy(data, data + size);
    bool narrowed = false;
    for (size_t at = masksAt; at < masksAt + 12; at += 4)
    {
        Uint32 mask = 0;
        readLe32(data, size, at, &mask);
        int bits = 0, high = -1;
        for (int b = 0; b < 32; b++)
            if (mask >> b & 1)
                bits++, high = b;
        if (bits <= 8)
            continue;
        mask = 0xFFu << (high - 7);
        for (int i = 0; i < 4; i++)
            copy[at + i] = (std::uint8_t)(mask >> (8 * i));
        narrowed = true;
    }
    return narrowed ? copy : std::vector<std::uint8_t>();
}

}

const char* secondReader()
{
    return "stb_image";
}

SecondReading readSecondly(const std::uint8_t* data, size_t size, long long maxPixels)
{
    const std::vector<std::uint8_t> narrowed = narrowWideMasks(data, size);
    if (!narrowed.empty())
    {
        data = narrowed.data();
        size = narrowed.size();
    }
    SecondReading reading;
    int w = 0, h = 0, channels = 0;
    const int length = (int)std::min<size_t>(size, 0x7fffffff);
    if (!stbi_info_from_memory(data, length, &w, &h, &channels))
    {
        reading.why = stbi_failure_reason() ? stbi_failure_reason() : "unknown format";
        return reading;
    }
    if (w <= 0 || h <= 0 || (long long)w * h > maxPixels)
    {
        reading.why = "too large a picture for the second reading";
        return reading;
    }
    reading.rgba.resize((size_t)w * h * 4);
    if (stbi_is_16_bit_from_memory(data, length))
    {
        std::unique_ptr<stbi_us, void (*)(void*)> pixels(stbi_load_16_from_memory(data, length, &w, &h, &channels, 4),
                                                         stbi_image_free);
        if (!pixels)
        {
            reading.why = stbi_failure_reason() ? stbi_failure_reason() : "unknown error";
            return reading;
        }
        for (size_t i = 0; i < reading.rgba.size(); i++)
            reading.rgba[i] = (std::uint8_t)((pixels.get()[i] * 255u + 32767u) / 65535u);
    }
    else
    {
        std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load_from_memory(data, length, &w, &h, &channels, 4),
                                                         stbi_image_free);
        if (!pixels)
        {
            reading.why = stbi_failure_reason() ? stbi_failure_reason() : "unknown error";
            return reading;
        }
        std::copy(pixels.get(), pixels.get() + reading.rgba.size(), reading.rgba.begin());
    }
    reading.w = w;
    reading.h = h;
    reading.ok = true;
    return reading;
}

SecondReading readSecondlyFile(const std::string& path, long long maxPixels)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
    {
        SecondReading reading;
        reading.why = "cannot be read";
        return reading;
    }
    return readSecondly(data.data(), data.size(), maxPixels);
}

}
