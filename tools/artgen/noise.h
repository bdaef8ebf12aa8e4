// Deterministic hash noise for the art generator: the same numbers on every run and machine.
#ifndef VELMORA_ARTGEN_NOISE_H
#define VELMORA_ARTGEN_NOISE_H

#include <cstdint>

namespace artgen {

// A well-mixed 32-bit hash of a lattice point and a seed.
uint32_t hash2(int x, int y, uint32_t seed);

// hash2 mapped to [0, 1).
float hashUnit(int x, int y, uint32_t seed);

// Smoothly interpolated value noise in [0, 1], one random value per unit lattice point.
float valueNoise(float x, float y, uint32_t seed);

// Fractal noise in [0, 1]: `octaves` layers of value noise, each at twice the
// frequency and half the weight of the one before.
float fbm(float x, float y, int octaves, uint32_t seed);

// Ridged fractal noise in [0, 1]: sharp crests where the noise crosses its middle,
// the shape of mountain ridges.
float ridged(float x, float y, int octaves, uint32_t seed);

}  // namespace artgen

#endif
