// The sprite engine: sprite sets loaded from a directory, and sprites that draw them.
#ifndef VELMORA_SPRITE_H
#define VELMORA_SPRITE_H

#include <SDL.h>

// One frame of a sprite set: an image in display format (with its colour key)
// and how long it stays before the next frame, in milliseconds.
class CSpriteFrame
{
public:
    SDL_Surface* image;
    int pause;
};

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

// The fields of a BMP file's headers that say how large its picture is, as
// SDL's readers take them: the file header and the info header's size, width,
// height, depth, compression and colour count (the last two only from headers
// that hold them). A header of 12 bytes is OS/2 1.x's, with 16-bit fields; of
// any other size, SDL reads it as a 40-byte Windows header. readBmpHeader
// checks every read against the bytes given, so any input is safe; it returns
// false, and the header is not read, when the bytes don't begin with "BM" or
// end before a field it reads.
struct CBmpHeader
{
    Uint32 pixelOffset;  // where the pixels begin, from the start of the file
    int headerSize;      // 12 (OS/2 1.x), 40 (Windows), 108 (V4), 124 (V5), ...
    Sint32 width;
    Sint32 height;       // negative for rows stored top row first
    int bitsPerPixel;
    int compression;     // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, ...
    Uint32 colours;      // the palette's colour count, 0 for the depth's full count
};
// Bytes at the start of a file that hold every field read (with room for a
// 124-byte header).
const int kBmpHeaderBytes = 14 + 124;
bool readBmpHeader(const Uint8* bytes, size_t size, CBmpHeader* header);

// The engine's check of a frame file before any SDL reader sees it: a reader
// allocates what the header claims before it finds out whether the file holds
// the pixels, and the one of SDL 2 clears it all, so a 62-byte file claiming
// 131072 x 131072 pixels would cost 16 GiB. A file is refused
// - when the pixels it claims can't fit in the bytes from its pixel offset to
//   its end: for an uncompressed file every row, padded to 4 bytes (the last
//   need not be); for RLE, which may end a row early and skip 255 rows with a
//   4-byte delta escape, at most 255 rows for every 2 bytes (only a picture
//   that ends before its data could reach its last row is refused);
// - or when it is absurd for a sprite: wider or higher than kBmpMaxSide (SDL
//   1.2's rectangles hold 16-bit sizes and positions, and the display is 1024
//   x 768), or more than kBmpMaxPixels in all (64 MiB in the 32-bit display
//   format, 21 displays' worth), which bounds what a small RLE file can claim;
// - or when it ends inside the fields of its header, which SDL would read on
//   past the end of the file.
// A file that does not begin with "BM" is left to SDL, which refuses it.
const int kBmpMaxSide = 16384;
const int kBmpMaxPixels = 4096 * 4096;
struct CBmpCheck
{
    enum Refusal { NONE, PIXELS_MISSING, TOO_LARGE, HEADER_CUT };
    Refusal refused;      // why the check refused the file
    CBmpHeader header;    // valid unless the file does not begin with "BM" or ends inside it
    long long fileSize;
    long long pixelBytes; // bytes from the pixel offset to the end of the file
    char reason[128];     // why it was refused: "header claims 131072x131072 pixels; ..."
};
// Fills check for the file; returns true when the file may go to SDL. A file
// that can't be opened is left to SDL too.
bool checkBmpFile(const char* file, CBmpCheck* check);

// Loads a BMP file as SDL_LoadBMP does, or returns null when checkBmpFile
// refuses it (SDL's error then holds the check's reason), when SDL can't load
// it or when SDL hands back, from a damaged header, a surface that no
// conversion or blit can read safely. The caller owns the surface.
SDL_Surface* loadBMP(const char* file);

// A sprite set: the shared, read-only frames of one animation and the sprite's size.
class CSpriteBase
{
public:
    // Loads the set from dir/info and the frame images beside it. Returns 0 when
    // reading ends normally, -1 when the info file or a frame image can't be used.
    // The display mode must already be set.
    int init(const char* dir);
    // The same load, reporting every line read to hook (which may be null).
    int init(const char* dir, CSpriteInfoHook hook, void* user);

    CSpriteFrame* mAnim;
    int mBuilt;
    int mNumFrames;
    int mW;
    int mH;
};

// One visible instance of a sprite set on a target surface, with its own
// position, animation clock and a buffer holding the background beneath it.
//
// Changed rectangles: after a pass, getRestoredRect gives the rectangle of the
// target that the last clearBG changed (where it put the saved background back)
// and getDrawnRect the one that the last draw changed (where it drew the current
// frame, at that frame's own size, which may exceed the set's mW x mH). Both are
// clipped to the target's clip rectangle, as SDL clipped the blit. A call that
// changed nothing - clearBG before the first draw, a sprite wholly off the
// target, a set without frames, an entry without an image - leaves an empty
// rectangle (all fields 0). updateBG only reads the target and changes neither.
// A program that presents with SDL_UpdateRects instead of SDL_Flip collects
// these for all its sprites in a CRectList (below) after the draw phase.
class CSprite
{
public:
    int init(CSpriteBase* base, SDL_Surface* screen);
    void draw();
    void clearBG();
    void updateBG();

    SDL_Rect getRestoredRect() { return mRestoredRect; }
    SDL_Rect getDrawnRect() { return mDrawnRect; }

    void setFrame(int nr);
    int getFrame();
    void setSpeed(float nr) { mSpeed = nr; }
    float getSpeed();
    void toggleAnim();
    void startAnim();
    void stopAnim();
    void rewind();

    void xAdd(int nr);
    void yAdd(int nr) { mY += nr; }
    void xSet(int nr);
    void ySet(int nr);
    void set(int xx, int yy) { mX = xx; mY = yy; }

private:
    int mFrame;
    int mX, mY, mOldX, mOldY;
    int mAnimating;
    int mDrawn;
    float mSpeed;
    Sint32 mLastupdate;
    CSpriteBase* mSpriteBase;
    SDL_Surface* mBackreplacement;
    SDL_Surface* mScreen;
    SDL_Rect mRestoredRect;
    SDL_Rect mDrawnRect;
};

// The rectangles that one pass changed on a display, for
//     SDL_UpdateRects(screen, list.mCount, list.mRects);
// A fixed array: collecting a pass allocates nothing. Like the engine's other
// objects it starts zeroed (empty) or is emptied with clear.
//
// add skips empty rectangles, and merges a rectangle into the one added just
// before it when their bounding box has no more pixels than the two together
// (a sprite that did not move restores and draws the same rectangle, which is
// then presented once). A full list grows its last rectangle to cover the new
// one, so nothing that changed is ever left out.
const int kRectListSize = 256;

class CRectList
{
public:
    void clear() { mCount = 0; }
    void add(SDL_Rect rect);
    // The sprite's restored and drawn rectangles from its last pass.
    void addSprite(CSprite* sprite);
    void addSprites(CSprite* sprites, int count);

    int mCount;
    SDL_Rect mRects[kRectListSize];
};

#endif
