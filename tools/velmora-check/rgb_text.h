// A colour as the tools take it on the command line: "R,G,B", each a whole
// number from 0 to 255 (blanks around the numbers allowed).
#ifndef VELMORA_TOOLS_RGB_TEXT_H
#define VELMORA_TOOLS_RGB_TEXT_H

#include <string>

namespace velmoracheck
{

// Reads text into rgb; returns false, leaving rgb as it was, if text is not such a colour.
bool parseRgb(const std::string& text, unsigned char rgb[3]);

}

#endif
