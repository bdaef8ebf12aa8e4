// velmora-import: turns an art tool's export (PNG frames, an animated GIF or a
// sprite sheet) into a sprite set directory, and has the engine load and draw it.
#ifndef VELMORA_TOOLS_IMPORTER_H
#define VELMORA_TOOLS_IMPORTER_H

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "art_readers.h"

namespace velmoraimport
{

// The whole command: `velmora-import [OPTIONS] OUTDIR SOURCE...` without the
// program's name. Reports to out, errors to err; returns the exit status, which
// is velmora-check's verdict of the new set (0 clean, 1 warnings) or 2 when
// nothing was written. Opens SDL's headless display unless it is open already.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Draws every frame of the set in dir as a sprite of the engine draws it (the
// frame the engine's loader made, blitted with the key it gave it), over two
// backgrounds, and compares it with frames (whose pixels are opaque or, with
// alpha 0, transparent). Empty when they agree, else the first frame that differs,
// its first differing pixel and how many of its pixels differ. The
// display must be open.
std::string compareDrawn(const std::string& dir, const std::vector<Frame>& frames);
// The same with the frames handed over one at a time by next (false after the
// last): each loaded frame is compared and let go before the next loads.
std::string compareDrawn(const std::string& dir, const std::function<bool(Frame&)>& next);

}

#endif
