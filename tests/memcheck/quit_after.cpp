// Preloaded into the real program to end a headless run: wraps SDL_Flip, counts
// the passes it presents and, after VELMORA_QUIT_AFTER of them (300 unless set),
// pushes one SDL_QUIT event. The program's own main loop then sees the quit and
// ends normally, so nothing in the program changes for this.
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

#include "next_symbol.h"

namespace
{

typedef int (*FlipFunction)(SDL_Surface*);

int passesBeforeQuit()
{
    const char* text = getenv("VELMORA_QUIT_AFTER");
    int passes = text ? atoi(text) : 300;
    return passes > 0 ? passes : 300;
}

}

extern "C" int SDL_Flip(SDL_Surface* screen)
{
    static FlipFunction realFlip = velmora::nextDefinition<FlipFunction>("SDL_Flip");
    static int passes = 0;
    static const int limit = passesBeforeQuit();
    int result = realFlip(screen);
    if (++passes == limit)
    {
        SDL_Event quit;
        quit.type = SDL_QUIT;
        if (SDL_PushEvent(&quit) != 0)
        {
            fprintf(stderr, "quit_after: could not push the quit event\n");
            abort();
        }
        // Goes to memcheck's log with the program's standard error, so a test
        // can tell a run that ended here from one that ended early.
        fprintf(stderr, "quit_after: quit after %d passes\n", passes);
    }
    return result;
}
