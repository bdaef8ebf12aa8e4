// The demo scene: a background drawn once and three animated sprites over it.
#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

#include <SDL.h>

#include "bmp_check.h"
#include "sprite.h"

// The scene's objects live for the whole program and start zeroed.
extern SDL_Surface* screen;
extern SDL_Surface* back;
extern CSpriteBase vikingBase;
extern CSpriteBase sunBase;
extern CSprite vikings1;
extern CSprite vikings2;
extern CSprite sun;

// Loads a BMP file converted to display format; null when it can't be loaded.
// The caller owns the surface.
SDL_Surface* imageLoad(const char* file);
int initImages();
void drawIMG(SDL_Surface* img, int x, int y, SDL_Surface* screen);
void drawBG(SDL_Surface* back, SDL_Surface* screen);

// Set-up, once the display exists: loads the sets and the background from the
// working directory, places the sprites and draws the background.
void initScene(SDL_Surface* display);
// Input step, every pass: Up held lifts the first viking by a pixel.
void handleInput(const Uint8* keys);
// Frame step, every pass: restore, save and draw every sprite, then present.
void drawScene();

#endif
