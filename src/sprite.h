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

// A sprite set: the shared, read-only frames of one animation and the sprite's size.
class CSpriteBase
{
public:
    // Loads the set from dir/info and the frame images beside it. Returns 0 when
    // reading ends normally, -1 when the info file or a frame image can't be used.
    // The display mode must already be set.
    int init(const char* dir);
    // Frees the frames and their table and leaves the set zeroed, as it was
    // before init. Safe to call twice; the set's sprites must be released first.
    void release();

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
// A program that presents the changed rectangles instead of SDL_Flip collects
// these for all its sprites in a CRectList (below) after the draw phase, and
// shows them with CRectList::present.
class CSprite
{
public:
    int init(CSpriteBase* base, SDL_Surface* screen);
    // Frees the background buffer and leaves the sprite zeroed, as it was
    // before init. Safe to call twice.
    void release();
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

// The rectangles that one pass changed on a display, presented with
//     list.present(screen);
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
    // Shows the listed rectangles of the display surface `screen`: with
    // SDL_UpdateRects on the classic SDL 1.2, and as the whole screen at once
    // where the SDL 1.2 compatibility layer runs, which shows changed
    // rectangles at most about 60 times a second but a whole-screen update
    // at once, so that there the list never shows fewer frames than SDL_Flip.
    // An empty list shows nothing.
    void present(SDL_Surface* screen);

    int mCount;
    SDL_Rect mRects[kRectListSize];
};

#endif
