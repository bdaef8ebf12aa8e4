// velmora-import: makes a sprite set from an art tool's PNG frames, GIF or sprite sheet.
#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "importer.h"

int main(int argc, char* argv[])
{
#ifdef M_MMAP_THRESHOLD
    // A picture's pixels go back to the system as soon as they are freed, rather
    // than stay in the heap for the next picture, which glibc would otherwise do
    // once a large block has been freed; the tool's memory is then what it holds.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    return velmoraimport::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
