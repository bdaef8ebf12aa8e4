// velmora-check: tells the artist of a sprite set what the engine will make of it.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>

#include "sprite_check.h"

namespace
{

void usage(std::ostream& out)
{
    out << "usage: velmora-check DIR...\n"
           "Loads each sprite set directory (its \"info\" file and frame images) exactly as\n"
           "Velmora does and reports the frames it gets and everything it passes over.\n"
           "Exit status: 0 every set loads cleanly, 1 some set has warnings,\n"
           "             2 some set cannot be used (or the arguments are wrong).\n";
}

}

int main(int argc, char* argv[])
{
    if (argc < 2)
    {
        usage(std::cerr);
        return velmoracheck::kUnusable;
    }
    for (int i = 1; i < argc; i++)
    {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
        {
            usage(std::cout);
            return 0;
        }
    }

    std::string error;
    if (!velmoracheck::openDisplay(&error))
    {
        std::cerr << "velmora-check: " << error << "\n";
        return velmoracheck::kUnusable;
    }

    int worst = velmoracheck::kClean;
    for (int i = 1; i < argc; i++)
    {
        if (i > 1)
            std::cout << "\n";
        worst = std::max(worst, (int)velmoracheck::checkSet(argv[i], std::cout));
    }
    SDL_Quit();
    return worst;
}
