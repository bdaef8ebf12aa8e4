// Writes the demo's data directory: the background and both sprite sets with their info files.
#include "artset.h"

#include <SDL.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "canvas.h"
#include "figure.h"
#include "landscape.h"
#include "sprite_set_writer.h"
#include "sun.h"

namespace artgen {
namespace {

namespace fs = std::filesystem;

bool makeDirectory(const fs::path& dir, std::string& error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
    {
        error = "cannot create directory " + dir.string() + ": " + (ec ? ec.message() : "a file is in the way");
        return false;
    }
    return true;
}

// One sprite set: its frames as <stem>0.bmp, <stem>1.bmp ... and an info file
// that lists them with their pauses and the key colour.
bool writeSet(const fs::path& dir, const std::string& stem, const std::vector<Canvas>& frames,
              const std::vector<int>& pauses, const std::string& comment, std::string& error)
{
    if (!makeDirectory(dir, error))
        return false;
    velmora::SpriteSetWriter set(dir.string(),
                                 {comment, "file pause(ms) key-red key-green key-blue; magenta is transparent"});
    const Uint32 key = (Uint32)kKeyR << 16 | (Uint32)kKeyG << 8 | (Uint32)kKeyB;
    for (size_t i = 0; i < frames.size(); ++i)
    {
        const std::string name = stem + std::to_string(i) + ".bmp";
        SDL_Surface* image = frames[i].toSurface((dir / name).string(), error);
        if (!image)
            return false;
        const bool added = set.add(name, image, pauses[i], key);
        SDL_FreeSurface(image);
        if (!added)
            break;
    }
    if (!set.finish())
    {
        error = set.error();
        return false;
    }
    return true;
}

}  // namespace

bool writeArt(const std::string& outDir, std::string& error)
{
    const fs::path root(outDir);
    if (!makeDirectory(root, error))
        return false;

    const Canvas background = drawLandscape();
    if (!background.saveBmp((root / "bg.bmp").string(), error))
        return false;

    if (!writeSet(root / "includes" / "sun", "sun", drawSunFrames(background),
                  std::vector<int>(kSunFrames, 90),
                  "The sun: its rays turn and pulse; the last frame leads into the first.", error))
        return false;

    // Both feet down: a little longer, as the body settles; feet in the air: quicker.
    std::vector<int> pauses;
    for (int i = 0; i < kFigureFrames; ++i)
        pauses.push_back(i % 4 == 0 ? 180 : 120);
    return writeSet(root / "includes" / "vikings", "viking", drawFigureFrames(), pauses,
                    "A viking marching on the spot, left foot then right.", error);
}

}  // namespace artgen
