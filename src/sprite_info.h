// The sprite loader's report of what it read, for tools that explain a set to
// its artist (velmora-check, velmora-import). A program that only draws
// sprites has no use for it.
#ifndef VELMORA_SPRITE_INFO_H
#define VELMORA_SPRITE_INFO_H

#include "sprite.h"

// What the loader made of one line it read from an info file. The program never
// asks for this; tools that explain a set to its artist do, so that they report
// exactly what the loader did instead of parsing the file a second time.
struct CSpriteInfoLine
{
    enum Kind { HEADER, SKIPPED, FRAME };

    int number;        // reads so far, counting from 1; a long line takes two reads
    const char* text;  // what the read returned (at most 254 characters)
    int continued;     // this read began in the middle of a line longer than 254 characters
    Kind kind;
    int fields;        // header: 1 when "FILES: %d" matched; frame: fields matched, -1 to 5
    int numFrames;     // header: mNumFrames after the match
    // Frame lines only: the values in force after the match, and the outcome.
    int index;         // the table entry this line fills
    const char* name;
    int pause, r, g, b;
    int keyed;         // a colour key was set (red above 0)
    int loaded;        // the image loaded and was converted
    const char* path;  // the image path tried; empty when it did not fit the buffer
    int w, h;          // size of the loaded image
};

typedef void (*CSpriteInfoHook)(const CSpriteInfoLine* line, void* user);

// How the loader reads an info file, for tools that read on where it stopped:
// each read takes one line, or at most kSpriteInfoReadSize - 1 characters of a
// longer one (spriteInfoReadEndsLine tells which), and a read that
// spriteInfoLineSkipped accepts is not a frame line.
const int kSpriteInfoReadSize = 255;
bool spriteInfoLineSkipped(const char* text);
bool spriteInfoReadEndsLine(const char* text);

// Loads the set as CSpriteBase::init does, reporting every line read to hook
// (which may be null). The hook may read the table and, for a frame line, free
// the frame it reports (SDL_FreeSurface(base->mAnim[line->index].image), then
// set it to NULL): the loader never looks at a frame again once it has
// reported it, so a tool can go through a large set a frame at a time. It must
// not change anything else of base.
int initReporting(CSpriteBase* base, const char* dir, CSpriteInfoHook hook, void* user);

#endif
