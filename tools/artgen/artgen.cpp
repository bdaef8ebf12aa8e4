// velmora-artgen: draws every picture the demo shows into a data directory.
#include <cstdio>
#include <string>

#include "artset.h"

int main(int argc, char* argv[])
{
    if (argc != 2 || argv[1][0] == '\0')
    {
        std::fprintf(stderr,
                     "usage: velmora-artgen OUTDIR\n"
                     "Draws the demo's art into OUTDIR: bg.bmp, includes/sun and includes/vikings.\n");
        return 2;
    }
    std::string error;
    if (!artgen::writeArt(argv[1], error))
    {
        std::fprintf(stderr, "velmora-artgen: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
