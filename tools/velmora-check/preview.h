// The preview: plays a sprite set through the engine on a clock of its own and
// writes what a sprite of it shows, one picture per frame, as an animated image.
#ifndef VELMORA_TOOLS_PREVIEW_H
#define VELMORA_TOOLS_PREVIEW_H

#include <ostream>
#include <string>

namespace velmoracheck
{

// What the sprite is drawn over: one colour, or a checkerboard of light and
// dark grey squares that shows which pixels the sprite leaves transparent.
struct Background
{
    bool checker = true;
    unsigned char r = 0, g = 0, b = 0;
};

// The checkerboard's squares: kCheckerSize pixels wide, light in the top-left corner.
const int kCheckerSize = 8;
const unsigned kCheckerLight = 0xCCCCCC;
const unsigned kCheckerDark = 0x999999;

// Reads "checker" or "R,G,B" (each 0 to 255). False, with the reason in error,
// for anything else.
bool parseBackground(const std::string& text, Background* background, std::string* error);

// Plays the set in dir and writes it to file, in the format that file's
// extension names. Notes on timing and colours go to out, errors to err.
// Returns the exit status: 0 written, 2 not (the error says why). The display
// must be open.
int preview(const std::string& file, const std::string& dir, const Background& background,
            std::ostream& out, std::ostream& err);

}

#endif
