// The sprite-set checker: loads a set with the engine's own loader, watching every
// line it reads, and explains to the set's artist what the engine made of it.
#ifndef VELMORA_TOOLS_SPRITE_CHECK_H
#define VELMORA_TOOLS_SPRITE_CHECK_H

#include <ostream>
#include <string>

namespace velmoracheck
{

// A set's verdict, which is also the checker's exit status.
enum Verdict
{
    kClean = 0,     // loads with nothing passed over
    kWarnings = 1,  // loads, but the engine passes over something in silence
    kUnusable = 2,  // no info file, no frames, or a frame that can't load
};

// Starts SDL on its dummy video driver with the program's 1024 x 768 x 32
// display, whose format the loader converts frames to. False, with the reason
// in error, when that fails.
bool openDisplay(std::string* error);

// Loads the set in dir as the engine does, writes a report of it to out and
// returns its verdict. The display must be open.
Verdict checkSet(const std::string& dir, std::ostream& out);

}

#endif
