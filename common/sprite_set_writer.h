// Writes a sprite set as the engine reads it: frames as BMP files and the "info" file that lists them.
#ifndef VELMORA_COMMON_SPRITE_SET_WRITER_H
#define VELMORA_COMMON_SPRITE_SET_WRITER_H

#include <SDL.h>

#include <cstddef>
#include <string>
#include <vector>

namespace velmora
{

// The key colour of a frame that has no transparent pixels: the engine sets a
// colour key only when red is above 0.
constexpr Uint32 kNoKey = 0;

// A sprite set written into a directory that exists, one frame at a time, so
// that a long animation needs only the frame in hand. The info file comes last,
// from finish(): a set whose writing failed has no info file, and no loader
// takes it for a set. The file opens with the header "FILES: <count>", which
// the loader must read first, then the comments as "# " lines, then a line a
// frame: "file pause r g b".
class SpriteSetWriter
{
public:
    SpriteSetWriter(const std::string& dir, std::vector<std::string> comments);

    // Saves `image` as DIR/NAME through SDL_SaveBMP (a surface without alpha
    // becomes an uncompressed BMP) and lists it with its pause in milliseconds
    // and its key colour, 0xRRGGBB. The name must be one word, as the loader
    // reads it. False, and nothing more is written, once anything has failed.
    bool add(const std::string& name, SDL_Surface* image, int pause, Uint32 key);
    // Writes the info file. False when it or a frame could not be written.
    bool finish();

    // After a failure: the file that could not be written and why.
    const std::string& failedFile() const { return mFailedFile; }
    const std::string& reason() const { return mReason; }
    // "cannot write FILE: REASON".
    std::string error() const;

private:
    bool fail(const std::string& file, const std::string& reason);

    std::string mDir;
    std::vector<std::string> mComments;
    std::string mFrameLines;
    std::size_t mFrames = 0;
    std::string mFailedFile;
    std::string mReason;
};

}

#endif
