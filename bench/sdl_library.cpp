// Which SDL 1.2 library the process runs on, and what lies beneath it.
#include "sdl_library.h"

#include <dlfcn.h>

namespace
{

// The file that holds `symbol`: the one LD_LIBRARY_PATH or LD_PRELOAD picked.
std::string fileOf(void* symbol)
{
    Dl_info info;
    if (symbol && dladdr(symbol, &info) && info.dli_fname)
        return info.dli_fname;
    return "";
}

// SDL 2 is looked at only when something has loaded it already (RTLD_NOLOAD):
// SDL_GetVersion fills three bytes, as SDL 1.2's version does.
LoadedLibrary loadedSdl2()
{
    LoadedLibrary sdl2;
    void* handle = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return sdl2;
    using GetVersion = void (*)(SDL_version*);
    void* symbol = dlsym(handle, "SDL_GetVersion");
    if (symbol)
    {
        SDL_version version{};
        ((GetVersion)symbol)(&version);
        sdl2 = {true, version.major, version.minor, version.patch, fileOf(symbol)};
    }
    dlclose(handle);
    return sdl2;
}

// SDL 3's SDL_GetVersion returns major * 1000000 + minor * 1000 + micro.
LoadedLibrary loadedSdl3()
{
    LoadedLibrary sdl3;
    void* handle = dlopen("libSDL3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return sdl3;
    using GetVersion = int (*)();
    void* symbol = dlsym(handle, "SDL_GetVersion");
    if (symbol)
    {
        const int version = ((GetVersion)symbol)();
        sdl3 = {true, version / 1000000, version / 1000 % 1000, version % 1000, fileOf(symbol)};
    }
    dlclose(handle);
    return sdl3;
}

std::string versionText(int major, int minor, int patch)
{
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

std::string fromFile(const std::string& file)
{
    return file.empty() ? "" : " from " + file;
}

}

bool isCompatibilityLayer(const SDL_version& version)
{
    return version.major == 1 && version.minor == 2 && version.patch >= 50;
}

SdlLibrary linkedSdl()
{
    SdlLibrary library;
    library.version = *SDL_Linked_Version();
    library.compatibilityLayer = isCompatibilityLayer(library.version);
    library.file = fileOf((void*)&SDL_Linked_Version);
    if (library.compatibilityLayer)
    {
        library.sdl2 = loadedSdl2();
        library.sdl3 = loadedSdl3();
    }
    return library;
}

std::string describe(const SdlLibrary& library)
{
    std::string text = "SDL " + versionText(library.version.major, library.version.minor,
                                            library.version.patch);
    if (!library.compatibilityLayer)
        return text + " (classic)" + fromFile(library.file);
    text += " (compatibility layer)" + fromFile(library.file);
    if (!library.sdl2.loaded)
        return text + ", over an SDL 2 not loaded yet";
    text += ", over SDL " + versionText(library.sdl2.major, library.sdl2.minor, library.sdl2.patch);
    if (!library.sdl3.loaded)
        return text + fromFile(library.sdl2.file);
    return text + " (sdl2-compat)" + fromFile(library.sdl2.file) + ", over SDL " +
           versionText(library.sdl3.major, library.sdl3.minor, library.sdl3.patch) +
           fromFile(library.sdl3.file);
}
