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
// those (CRectList) instead of the whole display.
#include "sprite.h"

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

void report(CSpriteInfoHook hook, void* user, CSpriteInfoLine* line)
{
    if (hook)
        hook(line, user);
}

// SDL can load a damaged BMP header as a surface it can't draw from: a height
// field of -2^31 gives a negative height with no pixels behind it, an absurd
// depth gives a row pitch that wrapped around its 16 bits or a format whose
// bits and bytes per pixel disagree, without a palette. Converting or blitting
// such a surface reads past its pixels, so it counts as an image that can't be
// loaded.
bool isDrawable(const SDL_Surface* image)
{
    if (image->w < 0 || image->h < 0)
        return false;
    if (image->w == 0 || image->h == 0)
        return true;
    const SDL_PixelFormat* format = image->format;
    if (!image->pixels || !format || (format->BitsPerPixel + 7) / 8 != format->BytesPerPixel)
        return false;
    if (format->BitsPerPixel <= 8 && !format->palette)
        return false;
    return image->pitch >= image->w * format->BytesPerPixel;
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

namespace
{

// Little-endian fields at an offset; false when the bytes end before the field.
bool read16(const Uint8* bytes, size_t size, size_t at, Uint32* value)
{
    if (at + 2 > size)
        return false;
    *value = (Uint32)bytes[at] | (Uint32)bytes[at + 1] << 8;
    return true;
}

bool read32(const Uint8* bytes, size_t size, size_t at, Uint32* value)
{
    Uint32 low, high;
    if (!read16(bytes, size, at, &low) || !read16(bytes, size, at + 2, &high))
        return false;
    *value = low | high << 16;
    return true;
}

const int kCompressionRle8 = 1;
const int kCompressionRle4 = 2;

}

bool readBmpHeader(const Uint8* bytes, size_t size, CBmpHeader* header)
{
    Uint32 offset, headerSize, width, height, bits, compression = 0, colours = 0;
    if (size < 2 || bytes[0] != 'B' || bytes[1] != 'M' || !read32(bytes, size, 10, &offset) ||
        !read32(bytes, size, 14, &headerSize))
        return false;
    if (headerSize == 12)
    {
        // OS/2 1.x: 16-bit sizes. SDL reads them unsigned; a height above 32767
        // is taken as negative (top-down) here, as for the other headers.
        if (!read16(bytes, size, 18, &width) || !read16(bytes, size, 20, &height) ||
            !read16(bytes, size, 24, &bits))
            return false;
        height = (Uint32)(Sint32)(Sint16)height;
    }
    else
    {
        // SDL reads the fields of a 40-byte header whatever size this one gives.
        if (!read32(bytes, size, 18, &width) || !read32(bytes, size, 22, &height) ||
            !read16(bytes, size, 28, &bits))
            return false;
        if (headerSize >= 20 && !read32(bytes, size, 30, &compression))
            return false;
        if (headerSize >= 36 && !read32(bytes, size, 46, &colours))
            return false;
    }
    header->pixelOffset = offset;
    header->headerSize = (int)headerSize;
    header->width = (Sint32)width;
    header->height = (Sint32)height;
    header->bitsPerPixel = (int)bits;
    header->compression = (int)compression;
    header->colours = colours;
    return true;
}

bool checkBmpFile(const char* file, CBmpCheck* check)
{
    memset(check, 0, sizeof *check);
    check->refused = CBmpCheck::NONE;
    FILE* fp = fopen(file, "rb");
    if (!fp)
        return true;
    Uint8 bytes[kBmpHeaderBytes];
    size_t size = fread(bytes, 1, sizeof bytes, fp);
    long end = fseek(fp, 0, SEEK_END) == 0 ? ftell(fp) : -1;
    fclose(fp);
    if (end < 0 || size < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return true;
    // SDL's readers read on past the end of a file that ends inside the fields
    // of its header (12 bytes of them for OS/2 1.x, 40 for any other size), and
    // take whatever they find for them.
    Uint32 headerSize;
    size_t fieldsEnd = read32(bytes, size, 14, &headerSize) && headerSize == 12 ? 14 + 12 : 14 + 40;
    if (size < fieldsEnd || !readBmpHeader(bytes, size, &check->header))
    {
        check->refused = CBmpCheck::HEADER_CUT;
        snprintf(check->reason, sizeof check->reason,
                 "header cut short: the file ends after %d bytes, inside its header", (int)end);
        return false;
    }

    const CBmpHeader& h = check->header;
    check->fileSize = end;
    check->pixelBytes = end > (long long)h.pixelOffset ? end - (long long)h.pixelOffset : 0;
    long long w = h.width < 0 ? -(long long)h.width : h.width;
    long long rows = h.height < 0 ? -(long long)h.height : h.height;
    if (h.headerSize == 12)
        rows = (Uint16)h.height;

    bool fits;
    if (h.compression == kCompressionRle8 || h.compression == kCompressionRle4)
        fits = rows <= 255 * (check->pixelBytes / 2 + 1);
    else
    {
        // Whole rows padded to 4 bytes, the last one possibly without its padding.
        long long rowBits = w * h.bitsPerPixel;
        long long rowBytes = (rowBits + 31) / 32 * 4;
        fits = rows == 0 || rowBytes == 0 ||
               (rows - 1 <= check->pixelBytes / rowBytes &&
                (rows - 1) * rowBytes + (rowBits + 7) / 8 <= check->pixelBytes);
    }
    bool tooLarge = w > kBmpMaxSide || rows > kBmpMaxSide || w * rows > kBmpMaxPixels;
    check->refused = !fits ? CBmpCheck::PIXELS_MISSING : tooLarge ? CBmpCheck::TOO_LARGE : CBmpCheck::NONE;
    if (check->refused == CBmpCheck::PIXELS_MISSING)
        snprintf(check->reason, sizeof check->reason,
                 "header claims %lldx%lld pixels; the file holds %lld bytes of pixel data", w, rows,
                 check->pixelBytes);
    else if (check->refused == CBmpCheck::TOO_LARGE)
        snprintf(check->reason, sizeof check->reason,
                 "header claims %lldx%lld pixels; a frame may be at most %d pixels wide or high "
                 "and %d in all",
                 w, rows, kBmpMaxSide, kBmpMaxPixels);
    return check->refused == CBmpCheck::NONE;
}

SDL_Surface* loadBMP(const char* file)
{
    CBmpCheck check;
    if (!checkBmpFile(file, &check))
    {
        SDL_SetError("%s", check.reason);
        return NULL;
    }
    SDL_Surface* image = SDL_LoadBMP(file);
    if (image && !isDrawable(image))
    {
        SDL_FreeSurface(image);
        image = NULL;
    }
    return image;
}

int CSpriteBase::init(const char* dir)
{
    return init(dir, NULL, NULL);
}

int CSpriteBase::init(const char* dir, CSpriteInfoHook hook, void* user)
{
    char buffer[kBufferSize];
    char filename[kBufferSize];
    char name[kBufferSize];
    int pause = 0, r = 0, g = 0, b = 0;
    int count = 0;
    int reads = 0;
    bool lineStart = true;  // the next read begins a new line of the file

    // A line of blanks before any name keeps this empty name, which names no file.
    name[0] = '\0';

    if (!dir || !buildPath(filename, dir, "info"))
        return -1;
    FILE* fp = fopen(filename, "r");
    if (!fp)
        return -1;

    CSpriteInfoLine info = CSpriteInfoLine();
    info.text = buffer;
    info.name = name;
    info.path = filename;

    // The header must be the first line. When it does not match, the set keeps
    // the count it had; on a fresh set that is 0 and the table stays empty.
    buffer[0] = '\0';
    if (fgets(buffer, kBufferSize, fp))
    {
        reads++;
        info.fields = sscanf(buffer, "FILES: %d", &mNumFrames) == 1 ? 1 : 0;
        lineStart = spriteInfoReadEndsLine(buffer);
    }
    info.number = reads;
    info.kind = CSpriteInfoLine::HEADER;
    info.numFrames = mNumFrames;
    report(hook, user, &info);

    // The table starts zeroed: entries that never receive a frame have no image
    // and no pause, and sprites draw nothing for them.
    mAnim = NULL;
    bool tableMissing = false;
    if (mNumFrames > 0)
    {
        mAnim = (CSpriteFrame*)calloc((size_t)mNumFrames, sizeof(CSpriteFrame));
        if (!mAnim)
        {
            // Too many frames to allocate: the set is built but holds none.
            mNumFrames = 0;
            tableMissing = true;
        }
    }
    mBuilt = 1;
    if (tableMissing)
    {
        fclose(fp);
        return -1;
    }

    int result = 0;
    while (!feof(fp) && count < mNumFrames)
    {
        if (!fgets(buffer, kBufferSize, fp))
            break;
        reads++;
        info.number = reads;
        info.continued = !lineStart;
        lineStart = spriteInfoReadEndsLine(buffer);

        if (spriteInfoLineSkipped(buffer))
        {
            info.kind = CSpriteInfoLine::SKIPPED;
            report(hook, user, &info);
            continue;
        }

        // Fields that are missing or do not parse keep the previous line's values.
        info.kind = CSpriteInfoLine::FRAME;
        info.fields = sscanf(buffer, "%254s %d %d %d %d", name, &pause, &r, &g, &b);
        info.index = count;
        info.pause = pause;
        info.r = r;
        info.g = g;
        info.b = b;
        info.keyed = 0;
        info.loaded = 0;
        info.w = info.h = 0;

        SDL_Surface* temp = buildPath(filename, dir, name) ? loadBMP(filename) : NULL;
        if (!temp)
        {
            report(hook, user, &info);
            result = -1;
            break;
        }

        // Only a red component above 0 sets a key: "0 0 0" means no transparency,
        // so a key of pure blue or green can't be given. Components keep their
        // low 8 bits and are mapped in the loaded image's own format.
        Uint32 colorKey = 0;
        if (r > 0)
        {
            clearUnusedBits(temp);
            colorKey = SDL_MapRGB(temp->format, (Uint8)(r & 0xFF), (Uint8)(g & 0xFF), (Uint8)(b & 0xFF));
            SDL_SetColorKey(temp, SDL_SRCCOLORKEY, colorKey);
            info.keyed = 1;
        }

        SDL_Surface* image = SDL_DisplayFormat(temp);
        if (image && info.keyed)
            keepColorKey(temp, colorKey, image);
        SDL_FreeSurface(temp);
        if (!image)
        {
            report(hook, user, &info);
            result = -1;
            break;
        }
        mAnim[count].image = image;
        mAnim[count].pause = pause;

        // The sprite's size is that of the first frame that loads.
        if (mW == 0)
            mW = image->w;
        if (mH == 0)
            mH = image->h;

        info.loaded = 1;
        info.w = image->w;
        info.h = image->h;
        report(hook, user, &info);
        count++;
    }

    fclose(fp);
    return result;
}

namespace
{

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
