// Sprite sets, sprites and targets that velmora-bench makes for itself.
#ifndef VELMORA_BENCH_SYNTHETIC_H
#define VELMORA_BENCH_SYNTHETIC_H

#include <SDL.h>

#include <string>
#include <vector>

#include "sprite.h"

// Writes a two-frame set of size x size pixels into dir: a disc on the key colour
// magenta, as 24-bit BMP files, and its info file. False when a file can't be written.
bool writeSet(const std::string& dir, int size);
// Binds every sprite to `base` and `target` and spreads them over the target by a
// fixed sequence from `seed`, so that every run places them alike.
void placeSprites(std::vector<CSprite>& sprites, CSpriteBase* base, SDL_Surface* target,
                  unsigned seed);
// A surface in the display's format, `w` x `h`, tiled with `background`; the
// caller owns it.
SDL_Surface* makeTarget(SDL_Surface* display, SDL_Surface* background, int w, int h);
// A copy of a set's frame table whose keyed frames are run-length encoded
// (SDL_RLEACCEL); the pauses are the set's. Lives as long as the program.
CSpriteFrame* rleFrames(const CSpriteBase& base);

#endif
