// libFuzzer target for velmora-import's readers: the input is a PNG
// (VELMORA_FUZZ_PNG), a GIF (VELMORA_FUZZ_GIF) or a sheet's JSON, cut from a
// fixed 64x64 sheet (neither). Any input may be refused with a ReadError; none
// may crash, leak, hang or allocate past the limits.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "art_readers.h"

using namespace velmoraimport;

namespace
{

// Tighter than the tool's own, so that a run stays within the fuzzer's memory limit.
Limits fuzzLimits()
{
    Limits limits;
    limits.pixels = 1LL << 22;
    return limits;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const Limits limits = fuzzLimits();
    try
    {
#if defined(VELMORA_FUZZ_PNG)
        readPng(data, size, "fuzz.png", limits);
#elif defined(VELMORA_FUZZ_GIF)
        readGif(data, size, "fuzz.gif", limits);
#else
        // Every texture of a multi-atlas is cut from the same picture.
        static const Image picture(64, 64);
        Sheet parsed = readSheet(std::string((const char*)data, size), "fuzz.json", limits);
        const std::vector<Image> sheet(std::min<size_t>(parsed.images.size(), 4), picture);
        cutSheet(parsed, sheet, playOrder(parsed, "", "fuzz.json"), 100, "fuzz.json", limits);
        for (const SheetTag& tag : parsed.tags)
            cutSheet(parsed, sheet, playOrder(parsed, tag.name, "fuzz.json"), 100, "fuzz.json", limits);
#endif
    }
    catch (const ReadError&)
    {
    }
    return 0;
}
