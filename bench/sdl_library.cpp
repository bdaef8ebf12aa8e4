// Which SDL 1.2 library the process runs on.
#include "sdl_library.h"

#include <dlfcn.h>

bool isCompatibilityLayer(const SDL_version& version)
{
    return version.major == 1 && version.minor == 2 && version.patch >= 50;
}

SdlLibrary linkedSdl()
{
    SdlLibrary library;
    library.version = *SDL_Linked_Version();
    library.compatibilityLayer = isCompatibilityLayer(library.version);
    // The file that holds the SDL_Linked_Version this process calls: the one
    // LD_LIBRARY_PATH or LD_PRELOAD picked.
    Dl_info info;
    if (dladdr((void*)&SDL_Linked_Version, &info) && info.dli_fname)
        library.file = info.dli_fname;
    return library;
}

std::string describe(const SdlLibrary& library)
{
    std::string text = "SDL " + std::to_string(library.version.major) + "." +
                       std::to_string(library.version.minor) + "." +
                       std::to_string(library.version.patch);
    text += library.compatibilityLayer ? " (compatibility layer over SDL 2)" : " (classic)";
    if (!library.file.empty())
        text += " from " + library.file;
    return text;
}
