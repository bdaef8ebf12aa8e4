// The sun's frames: sixteen rays, long and short by turns, that turn by two
// rays' spacing over a cycle while the long ones grow as the short ones shrink
// and back again.
#include "sun.h"

#include <cmath>

#include "layout.h"

namespace artgen {
namespace {

constexpr float kPi = 3.14159265f;
constexpr int kRays = 16;
constexpr float kDiscRadius = 30.0f;
constexpr float kRayBase = 26.0f;
constexpr float kRayLength = 31.0f;  // beyond the base, before pulsing
constexpr float kRayPulse = 7.0f;

// What covers a point of the frame: 0 nothing, 1 the disc, 2 a ray.
int shapeAt(float dx, float dy, int frame)
{
    const float r = std::hypot(dx, dy);
    if (r < kDiscRadius)
        return 1;
    const float spacing = 2.0f * kPi / kRays;
    // After kSunFrames frames every ray stands where the next ray but one stood,
    // a ray of its own kind, and the pulse is back at its start: the last frame
    // leads into the first without a jump.
    const float phase = static_cast<float>(frame) / kSunFrames;
    const float turn = 2.0f * spacing * phase;
    const float pulse = std::sin(2.0f * kPi * phase);
    const float angle = std::atan2(dy, dx) - turn;
    const float k = std::floor(angle / spacing + 0.5f);
    const float offset = angle - k * spacing;  // angle from the nearest ray's axis
    const int ray = static_cast<int>(k) & 1;
    const float length = kRayLength + (ray ? -1.0f : 1.0f) * kRayPulse * pulse - (ray ? 8.0f : 0.0f);
    const float along = (r - kRayBase) / length;
    if (along < 0.0f || along > 1.0f)
        return 0;
    // A ray narrows from its base to a point, with slightly curved sides.
    const float halfWidth = 6.5f * (1.0f - std::pow(along, 0.8f));
    return std::fabs(offset) * r < halfWidth ? 2 : 0;
}

Colour colourAt(float dx, float dy, int shape)
{
    const float r = std::hypot(dx, dy);
    if (shape == 1)
    {
        const float s = r / kDiscRadius;
        // Light from the upper left, a bright core, a deeper rim.
        const float hl = std::hypot(dx + 9.0f, dy + 9.0f) / kDiscRadius;
        Colour c = mix(rgb(255, 250, 214), rgb(255, 196, 64), smoothstep(0.2f, 1.0f, s));
        c = mix(c, rgb(255, 255, 240), 0.6f * (1.0f - smoothstep(0.0f, 0.55f, hl)));
        return mix(c, rgb(248, 156, 40), smoothstep(0.86f, 1.0f, s));
    }
    const float along = clamp01((r - kDiscRadius) / (kRayLength + kRayPulse));
    return mix(rgb(255, 226, 110), rgb(252, 150, 44), along);
}

// A soft glow around the disc, strongest at its rim: how much of it lies over the sky.
float glowAt(float dx, float dy)
{
    const float r = std::hypot(dx, dy);
    return r < kDiscRadius ? 0.0f : 0.6f * std::exp(-(r - kDiscRadius) / 9.0f);
}

}  // namespace

Canvas drawSunFrame(const Canvas& background, int frame)
{
    const float centre = kSunSize / 2.0f;
    Canvas canvas(kSunSize, kSunSize, false);
    for (int y = 0; y < kSunSize; ++y)
    {
        for (int x = 0; x < kSunSize; ++x)
        {
            // 4 x 4 samples per pixel: the share that the sun covers, and its colour there.
            int hits = 0;
            Colour sum;
            for (int sy = 0; sy < 4; ++sy)
            {
                for (int sx = 0; sx < 4; ++sx)
                {
                    const float dx = x + (sx + 0.5f) / 4.0f - centre;
                    const float dy = y + (sy + 0.5f) / 4.0f - centre;
                    const int shape = shapeAt(dx, dy, frame);
                    if (shape == 0)
                        continue;
                    const Colour c = colourAt(dx, dy, shape);
                    sum.r += c.r;
                    sum.g += c.g;
                    sum.b += c.b;
                    ++hits;
                }
            }
            // Pixels the sun and its glow barely touch stay transparent; the
            // rest are opaque, mixed with the sky behind them by how much the
            // sun covers.
            const float glow = glowAt(x + 0.5f - centre, y + 0.5f - centre);
            if (hits < 3 && glow < 0.04f)
                continue;
            Colour c = mix(background.at(kSunX + x, kSunY + y), rgb(255, 236, 150), glow);
            if (hits > 0)
                c = mix(c, scale(sum, 1.0f / hits), hits / 16.0f);
            canvas.put(x, y, c);
        }
    }
    return canvas;
}

std::vector<Canvas> drawSunFrames(const Canvas& background)
{
    std::vector<Canvas> frames;
    for (int frame = 0; frame < kSunFrames; ++frame)
        frames.push_back(drawSunFrame(background, frame));
    return frames;
}

}  // namespace artgen
