// velmora-check: tells the artist of a sprite set what the engine will make of it.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "preview.h"
#include "sprite_check.h"

namespace
{

void usage(std::ostream& out)
{
    out << "usage: velmora-check DIR...\n"
           "       velmora-check --preview [--background checker|R,G,B] FILE DIR\n"
           "Loads each sprite set directory (its \"info\" file and frame images) exactly as\n"
           "Velmora does and reports the frames it gets and everything it passes over.\n"
           "With --preview, plays the set in DIR as a sprite of the demo does and writes one\n"
           "round of it to FILE, an animated .gif or .webp, over a checkerboard (the default)\n"
           "or a colour; says on standard output where the file's timing or colours differ.\n"
           "Exit status: 0 every set loads cleanly (or the preview is written),\n"
           "             1 some set has warnings,\n"
           "             2 some set cannot be used, the preview can't be written,\n"
           "               or the arguments are wrong.\n";
}

// velmora-check --preview [--background COLOUR] FILE DIR
int previewCommand(int argc, char* argv[])
{
    velmoracheck::Background background;
    std::vector<std::string> operands;
    std::string error;
    for (int i = 2; i < argc && error.empty(); i++)
    {
        std::string arg = argv[i];
        if (arg == "--background" && i + 1 == argc)
            error = "--background needs \"checker\" or a colour R,G,B";
        else if (arg == "--background")
            velmoracheck::parseBackground(argv[++i], &background, &error);
        else if (arg.rfind("--background=", 0) == 0)
            velmoracheck::parseBackground(arg.substr(13), &background, &error);
        else if (arg.rfind("-", 0) == 0)
            error = "unknown option " + arg;
        else
            operands.push_back(arg);
    }
    if (error.empty() && operands.size() != 2)
        error = "--preview takes a FILE to write and a set DIR";
    if (!error.empty())
    {
        std::cerr << "velmora-check: " << error << "\n";
        usage(std::cerr);
        return velmoracheck::kUnusable;
    }
    if (!velmoracheck::openDisplay(&error))
    {
        std::cerr << "velmora-check: " << error << "\n";
        return velmoracheck::kUnusable;
    }
    int status = velmoracheck::preview(operands[0], operands[1], background, std::cout, std::cerr);
    SDL_Quit();
    return status;
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
    if (std::strcmp(argv[1], "--preview") == 0)
        return previewCommand(argc, argv);

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
