// velmora-sprites: many sprites from Velmora's sets bounce over the background,
// and each pass presents only the rectangles that the engine changed.
//
// Usage: velmora-sprites DATA_DIR [PASSES]
// DATA_DIR holds bg.bmp and includes/vikings and includes/sun, as the demo's
// data directory does. Escape or closing the window ends it; so does reaching
// PASSES passes when given (for headless runs: SDL_VIDEODRIVER=dummy).
#include <velmora/bmp_check.h>
#include <velmora/sprite.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace
{

const int kSprites = 40;

// The engine's objects start zeroed and are set up by init, like the demo's.
CSpriteBase vikingBase;
CSpriteBase sunBase;
CSprite sprites[kSprites];
CRectList changed;

struct Motion
{
    const CSpriteBase* base;
    int x, y, dx, dy;
};
Motion motion[kSprites];

// A BMP converted to the display's format, or null.
SDL_Surface* loadBackground(const std::string& file)
{
    SDL_Surface* loaded = loadBMP(file.c_str());
    if (!loaded)
        return NULL;
    SDL_Surface* image = SDL_DisplayFormat(loaded);
    SDL_FreeSurface(loaded);
    return image;
}

// Moves a sprite by its step, turning back at the edges of the display.
void move(Motion& m, const SDL_Surface* screen)
{
    m.x += m.dx;
    m.y += m.dy;
    if (m.x < 0 || m.x + m.base->mW > screen->w)
        m.dx = -m.dx;
    if (m.y < 0 || m.y + m.base->mH > screen->h)
        m.dy = -m.dy;
}

// Escape or a window close asks to stop.
bool quitRequested()
{
    SDL_Event event;
    bool quit = false;
    while (SDL_PollEvent(&event))
    {
        if (event.type == SDL_QUIT)
            quit = true;
        if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE)
            quit = true;
    }
    return quit;
}

}

int main(int argc, char* argv[])
{
    if (argc < 2 || argc > 3)
    {
        fprintf(stderr, "usage: velmora-sprites DATA_DIR [PASSES]\n");
        return 2;
    }
    std::string data = argv[1];
    long passes = 0;  // 0: until the user quits
    if (argc == 3)
    {
        char* end = NULL;
        passes = strtol(argv[2], &end, 10);
        if (*end != '\0' || passes < 1)
        {
            fprintf(stderr, "velmora-sprites: PASSES must be a whole number above 0: %s\n",
                    argv[2]);
            return 2;
        }
    }

    // Initialisation: the display, the background drawn once, the sets and sprites.
    if (SDL_Init(SDL_INIT_VIDEO) < 0)
    {
        fprintf(stderr, "velmora-sprites: SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Surface* screen = SDL_SetVideoMode(1024, 768, 32, SDL_SWSURFACE);
    SDL_Surface* background = screen ? loadBackground(data + "/bg.bmp") : NULL;
    if (!background || vikingBase.init((data + "/includes/vikings").c_str()) != 0 ||
        sunBase.init((data + "/includes/sun").c_str()) != 0)
    {
        fprintf(stderr, "velmora-sprites: cannot load the display or the art from %s: %s\n",
                data.c_str(), SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_BlitSurface(background, NULL, screen, NULL);
    SDL_Flip(screen);

    for (int i = 0; i < kSprites; i++)
    {
        CSpriteBase* base = i % 4 == 0 ? &sunBase : &vikingBase;
        sprites[i].init(base, screen);
        sprites[i].setSpeed(1.0f + (i % 3) * 0.5f);
        // Spread over the room a sprite has; one larger than the display starts at 0.
        int roomX = screen->w - base->mW > 0 ? screen->w - base->mW : 1;
        int roomY = screen->h - base->mH > 0 ? screen->h - base->mH : 1;
        motion[i] = {base, (i * 97) % roomX, (i * 61) % roomY, i % 2 ? 3 : -2, i % 3 ? 2 : -3};
        sprites[i].set(motion[i].x, motion[i].y);
    }

    // The loop: restore every sprite, then save, then draw, then present the
    // rectangles that changed.
    for (long pass = 0; passes == 0 || pass < passes; pass++)
    {
        if (quitRequested())
            break;
        for (CSprite& sprite : sprites)
            sprite.clearBG();
        for (CSprite& sprite : sprites)
            sprite.updateBG();
        for (CSprite& sprite : sprites)
            sprite.draw();

        changed.clear();
        changed.addSprites(sprites, kSprites);
        changed.present(screen);

        for (int i = 0; i < kSprites; i++)
        {
            move(motion[i], screen);
            sprites[i].set(motion[i].x, motion[i].y);
        }
    }

    SDL_Quit();
    return 0;
}
