// Included before every source of the web build: what the program needs from
// SDL 1.2 that Emscripten's SDL headers (SDL 1.3's) lack or number differently.
// The bodies are in sdl12.js.
#ifndef VELMORA_WEB_SDL12_H
#define VELMORA_WEB_SDL12_H

#include <SDL.h>

#ifdef __cplusplus
extern "C" {
#endif

// SDL_GetKeyState has a body in Emscripten's library but no declaration.
Uint8* SDL_GetKeyState(int* numkeys);

#ifdef __cplusplus
}
#endif

// SDL 1.3's arrow keys are scancodes with bit 30 set, so keys[SDLK_UP] would
// read a gigabyte past the state array; SDL 1.2 numbers them 273 to 276, and
// the state that SDL_GetKeyState returns here is indexed by those numbers.
#undef SDLK_UP
#undef SDLK_DOWN
#undef SDLK_RIGHT
#undef SDLK_LEFT
#define SDLK_UP 273
#define SDLK_DOWN 274
#define SDLK_RIGHT 275
#define SDLK_LEFT 276

#endif
