// Writes a sprite set as the engine reads it: frames as BMP files and the "info" file that lists them.
#include "sprite_set_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

namespace velmora
{

SpriteSetWriter::SpriteSetWriter(const std::string& dir, std::vector<std::string> comments)
    : mDir(dir), mComments(std::move(comments))
{
}

bool SpriteSetWriter::add(const std::string& name, SDL_Surface* image, int pause, Uint32 key)
{
    if (!mReason.empty())
        return false;
    const std::string path = mDir + "/" + name;
    // The loader reads a frame line's name as one word and skips lines that
    // start with '#'.
    if (name.empty() || name[0] == '#' || name.find_first_of(" \t\r\n") != std::string::npos)
        return fail(path, "\"" + name + "\" is not a name the loader reads as one word");
    if (!image)
        return fail(path, "no image for it");
    if (SDL_SaveBMP(image, path.c_str()) != 0)
        return fail(path, SDL_GetError());
    mFrameLines += name + " " + std::to_string(pause) + " " + std::to_string(key >> 16 & 0xFF) + " " +
                   std::to_string(key >> 8 & 0xFF) + " " + std::to_string(key & 0xFF) + "\n";
    mFrames++;
    return true;
}

bool SpriteSetWriter::finish()
{
    if (!mReason.empty())
        return false;
    const std::string path = mDir + "/info";
    errno = 0;
    std::ofstream info(path, std::ios::binary);
    // The header has to be the first line: the loader reads the frame count from it.
    info << "FILES: " << mFrames << "\n";
    for (const std::string& comment : mComments)
        info << "# " << comment << "\n";
    info << mFrameLines;
    info.close();
    if (!info)
        return fail(path, errno ? std::strerror(errno) : "the file could not be written");
    return true;
}

std::string SpriteSetWriter::error() const
{
    return "cannot write " + mFailedFile + ": " + mReason;
}

bool SpriteSetWriter::fail(const std::string& file, const std::string& reason)
{
    mFailedFile = file;
    mReason = reason;
    return false;
}

}
