// The sprite engine: loading sprite sets from info files, and drawing sprites
// that save and restore the background beneath themselves.
//
// Every pass the scene runs three phases over all its sprites: restore (each
// sprite blits back the background it saved last pass), save (each copies the
// display beneath its new position into its buffer), draw. Because every save
// happens after all restores and before any draw, the buffers only ever hold
// background pixels, so moving or overlapping sprites leave no trails and the
// background itself never has to be redrawn. Each sprite also remembers the
// rectangles its restore and draw changed, so that a program can present just
// those (CRectList::present) instead of the whole display.
#include "sprite.h"

#include "bmp_check.h"
#include "sprite_info.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

// The loader's text buffers: a line, a path and a file name.
const int kBufferSize = kSpriteInfoReadSize;

// SDL rectangles hold 16 bits: positions and sizes are reduced to their low
// 16 bits, so a sprite placed at x = 65636 is drawn at x = 100.
SDL_Rect rect16(int x, int y, int w, int h)
{
    SDL_Rect rect;
    rect.x = (Sint16)(Uint16)(x & 0xFFFF);
    rect.y = (Sint16)(Uint16)(y & 0xFFFF);
    rect.w = (Uint16)(w & 0xFFFF);
    rect.h = (Uint16)(h & 0xFFFF);
    return rect;
}

// Formats "dir/name" into a buffer of kBufferSize bytes; false when it does not fit.
bool buildPath(char* path, const char* dir, const char* name)
{
    int n = snprintf(path, kBufferSize, "%s/%s", dir, name);
    if (n < 0 || n >= kBufferSize)
    {
        path[0] = '\0';
        return false;
    }
    return true;
}

// A pixel's value at (x, y), for 1 to 4 bytes per pixel; the surface must be
// locked where SDL_MUSTLOCK says so. Below 8 bits per pixel only x = 0 is read
// or written, the high bits of the byte.
Uint32 pixelAt(const SDL_Surface* surface, int x, int y)
{
    const Uint8* p = (const Uint8*)surface->pixels + y * surface->pitch +
                     x * surface->format->BytesPerPixel;
    switch (surface->format->BytesPerPixel)
    {
    case 1:
        return surface->format->BitsPerPixel < 8 ? p[0] >> (8 - surface->format->BitsPerPixel) : p[0];
    case 2:
        return *(const Uint16*)p;
    case 3:
        if (SDL_BYTEORDER == SDL_BIG_ENDIAN)
            return (Uint32)p[0] << 16 | (Uint32)p[1] << 8 | p[2];
        return (Uint32)p[2] << 16 | (Uint32)p[1] << 8 | p[0];
    default:
        return *(const Uint32*)p;
    }
}

void setPixelAt(SDL_Surface* surface, int x, int y, Uint32 value)
{
    Uint8* p = (Uint8*)surface->pixels + y * surface->pitch + x * surface->format->BytesPerPixel;
    switch (surface->format->BytesPerPixel)
    {
    case 1:
        if (surface->format->BitsPerPixel < 8)
            p[0] = (Uint8)(value << (8 - surface->format->BitsPerPixel));
        else
            p[0] = (Uint8)value;
        break;
    case 2:
        *(Uint16*)p = (Uint16)value;
        break;
    case 3:
        if (SDL_BYTEORDER == SDL_BIG_ENDIAN)
        {
            p[0] = (Uint8)(value >> 16);
            p[1] = (Uint8)(value >> 8);
            p[2] = (Uint8)value;
        }
        else
        {
            p[0] = (Uint8)value;
            p[1] = (Uint8)(value >> 8);
            p[2] = (Uint8)(value >> 16);
        }
        break;
    default:
        *(Uint32*)p = value;
        break;
    }
}

// Some BMPs store bits that none of the loaded format's masks covers: an alpha
// channel that the library reads as unused bits (16-bit ARGB4444 and 32-bit
// BMPs with alpha on classic SDL). The key that SDL_MapRGB gives has those bits
// clear, so no pixel would match it. Nothing reads those bits when the image is
// drawn, so they are cleared on a keyed frame before it is converted.
void clearUnusedBits(SDL_Surface* image)
{
    const SDL_PixelFormat* format = image->format;
    if (format->palette || format->BytesPerPixel < 2 || format->BytesPerPixel > 4)
        return;
    Uint32 used = format->Rmask | format->Gmask | format->Bmask | format->Amask;
    Uint32 all = format->BytesPerPixel == 4 ? 0xFFFFFFFFu : (1u << (8 * format->BytesPerPixel)) - 1;
    if ((used & all) == all)
        return;
    if (SDL_MUSTLOCK(image) && SDL_LockSurface(image) < 0)
        return;
    for (int y = 0; y < image->h; y++)
        for (int x = 0; x < image->w; x++)
            setPixelAt(image, x, y, pixelAt(image, x, y) & used);
    if (SDL_MUSTLOCK(image))
        SDL_UnlockSurface(image);
}

// SDL_DisplayFormat converts a colour key by its RGB value (SDL_GetRGB, then
// SDL_MapRGB in the display format), but the pixels through a blit, and the two
// round differently: the magenta 0xF81F of a 16-bit RGB565 image becomes
// 255,0,255 as a key and 248,0,248 as a pixel, so no converted pixel matches its
// key any more. The key of the converted frame is therefore taken from a
// one-pixel image in the loaded image's format holding the key, converted the
// same way as the pixels. colorKey is the key set on the loaded image. Returns
// 0, or -1 (the frame keeps the key SDL gave it) when that image can't be made.
int keepColorKey(SDL_Surface* loaded, Uint32 colorKey, SDL_Surface* converted)
{
    const SDL_PixelFormat* format = loaded->format;
    if (format->BytesPerPixel > 4)
        return -1;
    SDL_Surface* one = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, format->BitsPerPixel, format->Rmask,
                                            format->Gmask, format->Bmask, format->Amask);
    if (!one)
        return -1;
    if (format->palette && one->format->palette)
        SDL_SetColors(one, format->palette->colors, 0,
                      SDL_min(format->palette->ncolors, one->format->palette->ncolors));
    setPixelAt(one, 0, 0, colorKey);
    SDL_Surface* display = SDL_DisplayFormat(one);
    SDL_FreeSurface(one);
    if (!display || SDL_LockSurface(display) < 0)
    {
        SDL_FreeSurface(display);
        return -1;
    }
    Uint32 key = pixelAt(display, 0, 0);
    SDL_UnlockSurface(display);
    SDL_FreeSurface(display);
    SDL_SetColorKey(converted, SDL_SRCCOLORKEY, key);
    return 0;
}

// Loads a frame image and converts it to the display's format. Only a red
// component above 0 sets a colour key: "0 0 0" means no transparency, so a key
// of pure blue or green can't be given. Components keep their low 8 bits and
// are mapped in the loaded image's own format. keyed tells whether the key was
// set. Returns null when the image can't be loaded or converted.
SDL_Surface* loadFrame(const char* path, int r, int g, int b, int* keyed)
{
    *keyed = 0;
    SDL_Surface* loaded = loadBMP(path);
    if (!loaded)
        return NULL;
    Uint32 colorKey = 0;
    if (r > 0)
    {
        clearUnusedBits(loaded);
        colorKey = SDL_MapRGB(loaded->format, (Uint8)(r & 0xFF), (Uint8)(g & 0xFF), (Uint8)(b & 0xFF));
        SDL_SetColorKey(loaded, SDL_SRCCOLORKEY, colorKey);
        *keyed = 1;
    }
    SDL_Surface* image = SDL_DisplayFormat(loaded);
    if (image && *keyed)
        keepColorKey(loaded, colorKey, image);
    SDL_FreeSurface(loaded);
    return image;
}

// The reads of an info file: each takes one line, or kBufferSize - 1
// characters of a longer one. mLine describes the last read, with the texts
// it points to (the read, the frame's name and the path last tried), and
// report hands it to the tool's hook once the loader is done with the read.
class CInfoReader
{
public:
    // Opens dir/info; -1 when the path does not fit or the file can't be opened.
    int init(const char* dir, CSpriteInfoHook hook, void* user)
    {
        mText[0] = '\0';
        mName[0] = '\0';
        mLineStart = 1;
        mHook = hook;
        mUser = user;
        mLine = CSpriteInfoLine();
        mLine.text = mText;
        mLine.name = mName;
        mLine.path = mPath;
        mFile = buildPath(mPath, dir, "info") ? fopen(mPath, "r") : NULL;
        return mFile ? 0 : -1;
    }

    void close()
    {
        fclose(mFile);
        mFile = NULL;
    }

    // The next read; false at the end of the file.
    bool next()
    {
        if (feof(mFile) || !fgets(mText, kBufferSize, mFile))
            return false;
        mLine.number++;
        mLine.continued = !mLineStart;
        mLineStart = spriteInfoReadEndsLine(mText);
        return true;
    }

    void report()
    {
        if (mHook)
            mHook(&mLine, mUser);
    }

    char mText[kBufferSize];
    char mName[kBufferSize];
    char mPath[kBufferSize];
    CSpriteInfoLine mLine;

private:
    FILE* mFile;
    int mLineStart;  // the next read begins a new line of the file
    CSpriteInfoHook mHook;
    void* mUser;
};

// The header must be the first line. When it does not match, the set keeps
// the count it had; on a fresh set that is 0 and the table stays empty.
void readHeader(CSpriteBase* base, CInfoReader* reader)
{
    reader->mLine.kind = CSpriteInfoLine::HEADER;
    if (reader->next())
        reader->mLine.fields = sscanf(reader->mText, "FILES: %d", &base->mNumFrames) == 1 ? 1 : 0;
    reader->mLine.numFrames = base->mNumFrames;
    reader->report();
}

// The table starts zeroed: entries that never receive a frame have no image
// and no pause, and sprites draw nothing for them. A table too large to
// allocate leaves the set built but without frames, and fails the load.
int allocateFrames(CSpriteBase* base)
{
    base->mAnim = NULL;
    base->mBuilt = 1;
    if (base->mNumFrames <= 0)
        return 0;
    base->mAnim = (CSpriteFrame*)calloc((size_t)base->mNumFrames, sizeof(CSpriteFrame));
    if (base->mAnim)
        return 0;
    base->mNumFrames = 0;
    return -1;
}

// Reads frame lines until the table is full or the file ends. Fields that are
// missing or do not parse keep the previous line's values; a line of blanks
// before any name keeps an empty name, which names no file. Returns -1 at the
// first frame whose image can't be used.
int readFrames(CSpriteBase* base, const char* dir, CInfoReader* reader)
{
    int pause = 0, r = 0, g = 0, b = 0;
    int count = 0;
    CSpriteInfoLine& line = reader->mLine;
    while (count < base->mNumFrames && reader->next())
    {
        if (spriteInfoLineSkipped(reader->mText))
        {
            line.kind = CSpriteInfoLine::SKIPPED;
            reader->report();
            continue;
        }
        line.kind = CSpriteInfoLine::FRAME;
        line.fields = sscanf(reader->mText, "%254s %d %d %d %d", reader->mName, &pause, &r, &g, &b);
        line.index = count;
        line.pause = pause;
        line.r = r;
        line.g = g;
        line.b = b;
        line.keyed = 0;
        line.loaded = 0;
        line.w = line.h = 0;

        SDL_Surface* image = buildPath(reader->mPath, dir, reader->mName)
                                 ? loadFrame(reader->mPath, r, g, b, &line.keyed)
                                 : NULL;
        if (image)
        {
            base->mAnim[count].image = image;
            base->mAnim[count].pause = pause;
            // The sprite's size is that of the first frame that loads.
            if (base->mW == 0)
                base->mW = image->w;
            if (base->mH == 0)
                base->mH = image->h;
            line.loaded = 1;
            line.w = image->w;
            line.h = image->h;
        }
        // Once reported, the frame is the hook's: it may free it (sprite_info.h).
        reader->report();
        if (!image)
            return -1;
        count++;
    }
    return 0;
}

// The set's frame table, or null when there is nothing a sprite could draw from.
CSpriteFrame* framesOf(const CSpriteBase* base)
{
    if (!base || !base->mBuilt || base->mNumFrames <= 0)
        return NULL;
    return base->mAnim;
}

// What a blit changed on its target: SDL leaves the clipped destination in dest,
// with no width or height when nothing of the source was left to copy.
SDL_Rect changedBy(int blitResult, const SDL_Rect& dest)
{
    if (blitResult < 0 || dest.w == 0 || dest.h == 0)
        return SDL_Rect();
    return dest;
}

long long area(const SDL_Rect& r)
{
    return (long long)r.w * r.h;
}

SDL_Rect boundingBox(const SDL_Rect& a, const SDL_Rect& b)
{
    int left = a.x < b.x ? a.x : b.x;
    int top = a.y < b.y ? a.y : b.y;
    int right = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    int bottom = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return rect16(left, top, right - left, bottom - top);
}

}

// Comment lines ("#"), empty lines and line ends alone are not frames.
bool spriteInfoLineSkipped(const char* text)
{
    return text[0] == '\0' || text[0] == '#' || text[0] == '\r' || text[0] == '\n';
}

// A read may begin with a NUL byte, which leaves its text empty.
bool spriteInfoReadEndsLine(const char* text)
{
    return text[0] != '\0' && text[strlen(text) - 1] == '\n';
}

int initReporting(CSpriteBase* base, const char* dir, CSpriteInfoHook hook, void* user)
{
    CInfoReader reader;
    if (!dir || reader.init(dir, hook, user) < 0)
        return -1;
    readHeader(base, &reader);
    int result = allocateFrames(base);
    if (result == 0)
        result = readFrames(base, dir, &reader);
    reader.close();
    return result;
}

int CSpriteBase::init(const char* dir)
{
    return initReporting(this, dir, NULL, NULL);
}

void CSpriteBase::release()
{
    if (mAnim)
    {
        for (int i = 0; i < mNumFrames; i++)
            SDL_FreeSurface(mAnim[i].image);
        free(mAnim);
    }
    *this = CSpriteBase();
}

int CSprite::init(CSpriteBase* base, SDL_Surface* screen)
{
    mSpriteBase = base;
    CSpriteFrame* frames = framesOf(base);
    if (frames)
    {
        if (base->mNumFrames > 1)
            mAnimating = 1;
        // The buffer is a copy of the first frame: it has the sprite's size and
        // the display's format, but not frame 0's colour key, so that every
        // restore puts back every pixel it saved, whatever its colour.
        if (frames[0].image)
        {
            mBackreplacement = SDL_DisplayFormat(frames[0].image);
            if (mBackreplacement)
                SDL_SetColorKey(mBackreplacement, 0, 0);
        }
    }
    mScreen = screen;
    return mBackreplacement ? 0 : -1;
}

void CSprite::release()
{
    SDL_FreeSurface(mBackreplacement);
    *this = CSprite();
}

void CSprite::clearBG()
{
    mRestoredRect = SDL_Rect();
    if (mDrawn != 1 || !mBackreplacement || !mScreen)
        return;
    // SDL reads only the position of a destination rectangle; the whole buffer is copied.
    SDL_Rect dest = rect16(mOldX, mOldY, mSpriteBase->mW, mSpriteBase->mH);
    mRestoredRect = changedBy(SDL_BlitSurface(mBackreplacement, NULL, mScreen, &dest), dest);
}

void CSprite::updateBG()
{
    mOldX = mX;
    mOldY = mY;
    if (!mBackreplacement || !mScreen)
        return;
    SDL_Rect src = rect16(mX, mY, mSpriteBase->mW, mSpriteBase->mH);
    SDL_BlitSurface(mScreen, &src, mBackreplacement, NULL);
}

void CSprite::draw()
{
    mDrawnRect = SDL_Rect();
    CSpriteFrame* frames = framesOf(mSpriteBase);
    if (!frames)
        return;

    // At most one frame change per call: a sprite that was held up shows
    // every frame in turn rather than skipping ahead to catch up.
    //
    // The frame is due once the time since the last change exceeds its pause
    // times the speed. The time is a difference of tick counts taken modulo
    // 2^32, so it stays exact to the millisecond for any uptime: past 2^24 ms a
    // float deadline would round, past 2^31 ms the signed last-change tick turns
    // negative, and at 2^32 ms SDL's tick count wraps to 0. The product is held
    // in a double, exact for any pause below 2^29 ms times a float speed.
    if (mAnimating == 1)
    {
        Uint32 elapsed = SDL_GetTicks() - (Uint32)mLastupdate;
        if (elapsed > (double)frames[mFrame].pause * mSpeed)
        {
            mFrame++;
            if (mFrame > mSpriteBase->mNumFrames - 1)
                mFrame = 0;
            mLastupdate = (Sint32)SDL_GetTicks();
        }
    }

    if (mDrawn == 0)
        mDrawn = 1;

    SDL_Surface* image = frames[mFrame].image;
    if (image && mScreen)
    {
        SDL_Rect dest = rect16(mX, mY, 0, 0);
        mDrawnRect = changedBy(SDL_BlitSurface(image, NULL, mScreen, &dest), dest);
    }
}

void CSprite::setFrame(int nr)
{
    if (mSpriteBase && nr >= 0 && nr < mSpriteBase->mNumFrames)
        mFrame = nr;
}

int CSprite::getFrame()
{
    return mFrame;
}

float CSprite::getSpeed()
{
    return mSpeed;
}

void CSprite::toggleAnim()
{
    mAnimating = !mAnimating;
}

void CSprite::startAnim()
{
    mAnimating = 1;
}

void CSprite::stopAnim()
{
    mAnimating = 0;
}

// Back to the first frame, which then stays for its full pause.
void CSprite::rewind()
{
    mFrame = 0;
    mLastupdate = (Sint32)SDL_GetTicks();
}

void CSprite::xAdd(int nr)
{
    mX += nr;
}

void CSprite::xSet(int nr)
{
    mX = nr;
}

void CSprite::ySet(int nr)
{
    mY = nr;
}

void CRectList::add(SDL_Rect rect)
{
    if (rect.w == 0 || rect.h == 0)
        return;
    if (mCount > 0)
    {
        SDL_Rect* last = &mRects[mCount - 1];
        SDL_Rect box = boundingBox(*last, rect);
        if (mCount == kRectListSize || area(box) <= area(*last) + area(rect))
        {
            *last = box;
            return;
        }
    }
    mRects[mCount] = rect;
    mCount++;
}

void CRectList::addSprite(CSprite* sprite)
{
    add(sprite->getRestoredRect());
    add(sprite->getDrawnRect());
}

void CRectList::addSprites(CSprite* sprites, int count)
{
    for (int i = 0; i < count; i++)
        addSprite(&sprites[i]);
}

void CRectList::present(SDL_Surface* screen)
{
    if (mCount == 0)
        return;
    // The layer reports versions from 1.2.50 on; the classic library ended at
    // 1.2.15. The library can't change while the program runs: asked once.
    static const bool layer = [] {
        const SDL_version* linked = SDL_Linked_Version();
        return linked->major == 1 && linked->minor == 2 && linked->patch >= 50;
    }();
    if (layer)
        SDL_UpdateRect(screen, 0, 0, 0, 0);
    else
        SDL_UpdateRects(screen, mCount, mRects);
}
