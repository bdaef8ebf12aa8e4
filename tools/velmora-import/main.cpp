// velmora-import: makes a sprite set from an art tool's PNG frames, GIF or sprite sheet.
#include <iostream>
#include <string>
#include <vector>

#include "importer.h"

int main(int argc, char* argv[])
{
    return velmoraimport::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
