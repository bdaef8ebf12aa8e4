// The next definition of a function in the dynamic linker's search order. A
// stand-in for one of SDL's functions (in a preloaded library, or in a test
// program) finds SDL's own this way, to hand the call on.
#ifndef VELMORA_COMMON_NEXT_SYMBOL_H
#define VELMORA_COMMON_NEXT_SYMBOL_H

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

namespace velmora
{

// The definition of `name` after the caller's; ends the process, saying so,
// when there is none.
template <typename Function> Function nextDefinition(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (!symbol)
    {
        fprintf(stderr, "velmora: no %s beneath the stand-in: %s\n", name, dlerror());
        abort();
    }
    return reinterpret_cast<Function>(symbol);
}

}

#endif
