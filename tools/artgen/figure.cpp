// The figure's frames, drawn as pixel art: parts designed as character grids
// (one letter per colour) are laid over each other at per-frame offsets, given a
// dark outline, and scaled up cell by cell.
#include "figure.h"

#include <cstdlib>
#include <cstdio>
#include <string>

#include "layout.h"

namespace artgen {
namespace {

using Grid = std::vector<std::string>;

// Horned helmet, face and braided beard.
const Grid kHead = {
    ".W..................W.",
    ".Ww................wW.",
    ".WWw.....hhHs.....wWW.",
    "..WWw..hhHHHHss..wWW..",
    "...WWwhHHHHHHHsswWW...",
    "....WwhHHHHHHHHswW....",
    ".....sGssGssGssGs.....",
    ".....sFFFFssFFFFs.....",
    ".....sFFEfssfEFFs.....",
    ".....fFFFFNNFFFFf.....",
    ".....BBBBybbyBBBB.....",
    ".....bBByBBBByBBb.....",
    "......bBBByyBBBb......",
    "......bBBBBBBBBb......",
    ".......bBByyBBb.......",
    "........bBBBBb........",
    ".........bGGb.........",
    ".........bBBb.........",
    "..........bb..........",
};

// Tunic, belt, sleeves and the shield hand; the axe hand is a part of its own.
const Grid kBody = {
    "....uTTTTTTTTTTTTt....",
    "...uTTTTTTTTTTTTTTt...",
    "..uuTTTTTTTTTTTTTTtt..",
    "..uTTTTTTTTTTTTTTTTt..",
    "..uTKTTTTTTTTTTTTKTt..",
    "..uTKTTTTTTTTTTTTKTt..",
    "....KTTTTTTTTTTTTKFF..",
    "....KLLLLLGGLLLLLKFF..",
    "....KtTTTTTTTTTTtKff..",
    "....tTTTTTTTTTTTTt....",
    "....tTTtTTTTTTtTTt....",
    "....tttttttttttttt....",
};

// Trousers, cross-gartered legs and boots, both feet down.
const Grid kLegs = {
    "......PPPPPPPPPP......",
    "......PPPPppPPPP......",
    "......PPPp..PPPp......",
    "......LPLp..LPLp......",
    "......PLPL..PLPL......",
    "......LPLp..LPLp......",
    "......OOOO..OOOO......",
    ".....OOOOo..oOOOO.....",
    ".....ooooo..ooooo.....",
};

// The axe, held upright: a bearded blade on a long haft.
const Grid kAxe = {
    "...X", ".AAX", "aAAX", "aAAX", "aAsX", "aA.X", "a..X", "...X", "...X", "...X",
    "...X", "...X", "...X", "...X", "...X", "...X", "...X", "...X", "...X", "...X",
};

// The hand that grips the axe.
const Grid kFist = {"FF", "FF", "ff"};

// A round shield: red and white quarters, an iron rim and a brass boss.
const Grid kShield = {
    "...RRRRR...",
    ".RRDDdDDRR.",
    ".RDDDdDDDr.",
    "RDDDDdDDDDr",
    "RDDDcCcDDDr",
    "RddddCddddr",
    "RDDDcCcDDDr",
    "RDDDDdDDDDr",
    ".RDDDdDDDr.",
    ".rrDDdDDrr.",
    "...rrrrr...",
};

Colour paletteColour(char c)
{
    switch (c)
    {
    case 'K': return rgb(38, 26, 24);     // outline
    case 'W': return rgb(240, 232, 206);  // horn
    case 'w': return rgb(188, 170, 138);  // horn, shaded
    case 'h': return rgb(222, 230, 238);  // helmet, highlight
    case 'H': return rgb(150, 162, 178);  // helmet
    case 's': return rgb(92, 102, 120);   // helmet, shaded
    case 'G': return rgb(238, 196, 72);   // brass
    case 'F': return rgb(240, 188, 148);  // skin
    case 'f': return rgb(202, 144, 110);  // skin, shaded
    case 'N': return rgb(224, 140, 112);  // nose
    case 'E': return rgb(30, 34, 50);     // eye
    case 'B': return rgb(216, 122, 40);   // beard
    case 'b': return rgb(158, 78, 28);    // beard, shaded
    case 'y': return rgb(246, 174, 84);   // beard, highlight
    case 'T': return rgb(58, 108, 170);   // tunic
    case 't': return rgb(38, 72, 124);    // tunic, shaded
    case 'u': return rgb(96, 148, 206);   // tunic, highlight
    case 'L': return rgb(104, 64, 36);    // leather
    case 'P': return rgb(126, 100, 72);   // trousers
    case 'p': return rgb(92, 72, 52);     // trousers, shaded
    case 'O': return rgb(86, 56, 36);     // boots
    case 'o': return rgb(58, 38, 26);     // soles
    case 'R': return rgb(176, 180, 190);  // shield rim
    case 'r': return rgb(112, 116, 130);  // shield rim, shaded
    case 'D': return rgb(192, 52, 42);    // shield, red
    case 'd': return rgb(236, 226, 204);  // shield, white
    case 'C': return rgb(244, 208, 96);   // boss
    case 'c': return rgb(178, 134, 48);   // boss, shaded
    case 'A': return rgb(184, 192, 204);  // blade
    case 'a': return rgb(244, 248, 252);  // blade's edge
    case 'X': return rgb(132, 88, 52);    // haft
    default:
        std::fprintf(stderr, "velmora-artgen: no colour for figure cell '%c'\n", c);
        std::abort();
    }
}

// Lays `part` over `cells` with its top-left cell at (left, top); '.' cells of
// the part leave what is below. Cells outside the grid are dropped.
void overlay(Grid& cells, const Grid& part, int left, int top)
{
    for (int y = 0; y < static_cast<int>(part.size()); ++y)
    {
        for (int x = 0; x < static_cast<int>(part[y].size()); ++x)
        {
            const int cx = left + x;
            const int cy = top + y;
            if (part[y][x] == '.' || cy < 0 || cy >= kFigureCellsH || cx < 0 || cx >= kFigureCellsW)
                continue;
            cells[cy][cx] = part[y][x];
        }
    }
}

// The legs with the left (side = 0) or right (side = 1) leg raised by `lift` cells.
Grid liftedLegs(int side, int lift)
{
    Grid legs = kLegs;
    const int half = static_cast<int>(kLegs[0].size()) / 2;
    for (int y = 2; y < static_cast<int>(legs.size()); ++y)
    {
        for (int x = 0; x < static_cast<int>(legs[y].size()); ++x)
        {
            if ((x < half) != (side == 0))
                continue;
            const int from = y + lift;
            legs[y][x] = from < static_cast<int>(kLegs.size()) ? kLegs[from][x] : '.';
        }
    }
    return legs;
}

// Every transparent cell that touches an opaque one across an edge becomes outline.
void outline(Grid& cells)
{
    const Grid before = cells;
    for (int y = 0; y < kFigureCellsH; ++y)
    {
        for (int x = 0; x < kFigureCellsW; ++x)
        {
            if (before[y][x] != '.')
                continue;
            const bool touches = (x > 0 && before[y][x - 1] != '.') || (x + 1 < kFigureCellsW && before[y][x + 1] != '.') ||
                                 (y > 0 && before[y - 1][x] != '.') || (y + 1 < kFigureCellsH && before[y + 1][x] != '.');
            if (touches)
                cells[y][x] = 'K';
        }
    }
}

struct Pose
{
    int side;        // which leg is raised: 0 left, 1 right
    int lift;        // by how many cells; 0 for both feet down
    int dip;         // how many cells the upper body sinks
    int axeLift;     // how many cells the axe hand rises
    int shieldLift;  // how many cells the shield rises
    bool blink;
};

// A march on the spot: the axe rises with the left knee and the shield with the
// right, the body settles as a foot comes down, and he blinks once a cycle.
const Pose kPoses[kFigureFrames] = {
    {0, 0, 1, 0, 0, false}, {0, 2, 0, 1, 0, false}, {0, 3, 0, 2, 0, false}, {0, 2, 0, 1, 0, false},
    {1, 0, 1, 0, 0, true},  {1, 2, 0, 0, 1, false}, {1, 3, 0, 0, 2, false}, {1, 2, 0, 0, 1, false},
};

// The frames as cell grids, kFigureCellsH rows of kFigureCellsW characters, one
// palette letter per cell and '.' for transparent cells.
std::vector<Grid> figureCells()
{
    std::vector<Grid> frames;
    for (const Pose& pose : kPoses)
    {
        Grid cells(kFigureCellsH, std::string(kFigureCellsW, '.'));
        Grid head = kHead;
        if (pose.blink)
            for (std::string& row : head)
                for (char& c : row)
                    if (c == 'E')
                        c = 'f';
        overlay(cells, pose.lift > 0 ? liftedLegs(pose.side, pose.lift) : kLegs, 2, 22);
        overlay(cells, kAxe, 1, 8 + pose.dip - pose.axeLift);
        overlay(cells, kBody, 2, 12 + pose.dip);
        overlay(cells, kFist, 4, 18 + pose.dip - pose.axeLift);
        overlay(cells, kShield, 14, 13 + pose.dip - pose.shieldLift);
        overlay(cells, head, 2, 1 + pose.dip);
        outline(cells);
        frames.push_back(cells);
    }
    return frames;
}

}  // namespace

std::vector<Canvas> drawFigureFrames()
{
    std::vector<Canvas> frames;
    for (const Grid& cells : figureCells())
    {
        Canvas canvas(kFigureW, kFigureH, false);
        for (int y = 0; y < kFigureH; ++y)
            for (int x = 0; x < kFigureW; ++x)
            {
                const char c = cells[y / kFigureScale][x / kFigureScale];
                if (c != '.')
                    canvas.put(x, y, paletteColour(c));
            }
        frames.push_back(canvas);
    }
    return frames;
}

}  // namespace artgen
