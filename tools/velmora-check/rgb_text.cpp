#include "rgb_text.h"

#include <sstream>

namespace velmoracheck
{

bool parseRgb(const std::string& text, unsigned char rgb[3])
{
    std::istringstream in(text);
    int value[3] = {-1, -1, -1};
    char comma[2] = {0, 0};
    bool ok = static_cast<bool>(in >> value[0] >> comma[0] >> value[1] >> comma[1] >> value[2]) &&
              comma[0] == ',' && comma[1] == ',' && (in >> std::ws).eof();
    for (int v : value)
        ok = ok && v >= 0 && v <= 255;
    if (ok)
        for (int i = 0; i < 3; i++)
            rgb[i] = (unsigned char)value[i];
    return ok;
}

}
