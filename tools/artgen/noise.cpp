// Deterministic hash noise for the art generator: integer hashing, value noise and its fractal sums.
#include "noise.h"

#include <cmath>

namespace artgen {

uint32_t hash2(int x, int y, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float hashUnit(int x, int y, uint32_t seed)
{
    return static_cast<float>(hash2(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

float valueNoise(float x, float y, uint32_t seed)
{
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    float tx = x - fx;
    float ty = y - fy;
    // Quintic fade: no creases along the lattice lines.
    tx = tx * tx * tx * (tx * (tx * 6.0f - 15.0f) + 10.0f);
    ty = ty * ty * ty * (ty * (ty * 6.0f - 15.0f) + 10.0f);
    const float a = hashUnit(ix, iy, seed);
    const float b = hashUnit(ix + 1, iy, seed);
    const float c = hashUnit(ix, iy + 1, seed);
    const float d = hashUnit(ix + 1, iy + 1, seed);
    const float top = a + (b - a) * tx;
    const float bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float fbm(float x, float y, int octaves, uint32_t seed)
{
    float sum = 0.0f;
    float weight = 1.0f;
    float total = 0.0f;
    for (int i = 0; i < octaves; ++i)
    {
        sum += weight * valueNoise(x, y, seed + 1013u * static_cast<uint32_t>(i));
        total += weight;
        weight *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / total;
}

float ridged(float x, float y, int octaves, uint32_t seed)
{
    float sum = 0.0f;
    float weight = 1.0f;
    float total = 0.0f;
    for (int i = 0; i < octaves; ++i)
    {
        const float n = valueNoise(x, y, seed + 7919u * static_cast<uint32_t>(i));
        const float crest = 1.0f - std::fabs(2.0f * n - 1.0f);
        sum += weight * crest * crest;
        total += weight;
        weight *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
    }
    return sum / total;
}

}  // namespace artgen
