// velmora-artgen: draws every picture the demo shows into a data directory, or the program's icon.
#include <cstdio>
#include <cstring>
#include <string>

#include "artset.h"
#include "icon.h"

namespace {

// The usage text: on standard output when asked for, else on standard error with status 2.
int usage(FILE* out, int status)
{
    std::fprintf(out,
                 "usage: velmora-artgen OUTDIR\n"
                 "       velmora-artgen --icon SIZE FILE\n"
                 "Draws the demo's art into OUTDIR: bg.bmp, includes/sun and includes/vikings;\n"
                 "or the program's icon, SIZE x SIZE pixels (%d to %d), as a PNG into FILE.\n",
                 artgen::kIconMinSize, artgen::kIconMaxSize);
    return status;
}

// A size as the user wrote it: digits only, within the icon's limits.
bool parseSize(const char* text, int& size)
{
    if (std::strlen(text) == 0 || std::strlen(text) > 4 || std::strspn(text, "0123456789") != std::strlen(text))
        return false;
    size = std::stoi(text);
    return size >= artgen::kIconMinSize && size <= artgen::kIconMaxSize;
}

int fail(const std::string& error)
{
    std::fprintf(stderr, "velmora-artgen: %s\n", error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))
        return usage(stdout, 0);
    std::string error;
    if (argc == 4 && std::strcmp(argv[1], "--icon") == 0)
    {
        int size = 0;
        if (!parseSize(argv[2], size))
        {
            std::fprintf(stderr, "velmora-artgen: the icon's size must be a number from %d to %d, not \"%s\"\n",
                         artgen::kIconMinSize, artgen::kIconMaxSize, argv[2]);
            return 2;
        }
        if (argv[3][0] == '\0')
            return usage(stderr, 2);
        if (!artgen::saveIcon(artgen::drawIcon(size), argv[3], error))
            return fail(error);
        return 0;
    }
    // A directory whose name starts with '-' can be given as ./-name.
    if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-')
        return usage(stderr, 2);
    if (!artgen::writeArt(argv[1], error))
        return fail(error);
    return 0;
}
