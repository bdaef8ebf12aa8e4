// Writes the demo's data directory: the background and both sprite sets with their info files.
#ifndef VELMORA_ARTGEN_ARTSET_H
#define VELMORA_ARTGEN_ARTSET_H

#include <string>

namespace artgen {

// Draws everything and writes it under outDir, creating the directories that are
// missing:
//   outDir/bg.bmp
//   outDir/includes/sun/info, sun0.bmp ...
//   outDir/includes/vikings/info, viking0.bmp ...
// Returns false with a message naming the path and the reason in `error` when a
// directory or a file can't be made.
bool writeArt(const std::string& outDir, std::string& error);

}  // namespace artgen

#endif
