// Included ahead of the engine's sources in the fuzz build: the engine's calloc
// becomes the fuzzer's velmoraFuzzCalloc, which refuses frame tables above a limit.
#ifndef VELMORA_FUZZ_TABLE_LIMIT_H
#define VELMORA_FUZZ_TABLE_LIMIT_H

#include <stddef.h>
#include <stdlib.h>

#include <cstdlib>

extern "C" void* velmoraFuzzCalloc(size_t count, size_t size);
#define calloc velmoraFuzzCalloc

#endif
