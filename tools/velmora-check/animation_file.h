// Animated image files for the preview: GIF through giflib, WebP through
// libwebp's animation encoder, and the timing each of them can show.
#ifndef VELMORA_TOOLS_ANIMATION_FILE_H
#define VELMORA_TOOLS_ANIMATION_FILE_H

#include <ostream>
#include <string>
#include <vector>

namespace velmoracheck
{

// One picture of an animation: w x h pixels as R, G, B bytes row by row, the
// set's frame it shows with that frame's pause, and how long it stays, in
// milliseconds (the pause, or 0 for a negative one).
struct Picture
{
    std::vector<unsigned char> rgb;
    int frame = 0;
    int pause = 0;
    int ms = 0;
};

struct Animation
{
    int w = 0;
    int h = 0;
    std::vector<Picture> pictures;  // played in turn, and again from the first
};

enum class AnimationFormat
{
    kGif,
    kWebp,
};

// The format that file's extension (".gif" or ".webp", in any case) names;
// false for any other.
bool animationFormatOf(const std::string& file, AnimationFormat* format);

// Viewers show a frame shorter than this as 100 ms, so no frame is made shorter.
const int kShortestDelay = 20;

// The delays, in ms, that a format counting time in steps of tick ms, up to
// longest ms a frame, shows for frames of the given lengths: each rounded to the
// nearest step and kept between kShortestDelay and longest, with what that
// gained or lost carried into the next frame, so that the animation as a whole
// keeps time with the set.
std::vector<int> shownDelays(const std::vector<int>& ms, int tick, int longest);

// Writes the animation to file, looping forever. Notes go to notes: every frame
// whose delay differs from its length, and the colours of a GIF frame that has
// more than 256. False, with the reason in error, when the file can't be
// written; no file is left behind then.
bool writeAnimation(const std::string& file, AnimationFormat format, const Animation& animation,
                    std::ostream& notes, std::string* error);

}

#endif
