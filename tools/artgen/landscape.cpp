// The background picture, painted back to front: sky and clouds, mountains
// rendered from a lit height field, the sea with the sun's glitter, a ship and
// gulls, the beach, green hills with pines, and the meadow in front with the
// path up to where the figures stand and a carved standing stone.
#include "landscape.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "layout.h"
#include "noise.h"

namespace artgen {
namespace {

constexpr float kHorizon = 356.0f;
constexpr float kPi = 3.14159265f;

// The shape of the land: the mountains as a ready picture down to the horizon,
// and the other outlines as one height per screen column.
struct Terrain
{
    std::vector<Colour> range;      // the mountains across the water, kScreenW per row
    std::vector<float> rangeCover;  // how much of each of those pixels they cover
    std::vector<float> hillTop;     // green hills on the left, sinking into the sea
    std::vector<float> shore;       // where the water meets the beach
    std::vector<float> meadowTop;   // the meadow in front
};

float sunDistance(float x, float y)
{
    return std::hypot(x - kSunCentreX, y - kSunCentreY);
}

// How much of a pixel row y lies below an edge at height `top`: a one-pixel ramp
// that smooths every outline.
float below(float y, float top)
{
    return clamp01(y + 0.5f - top);
}

Colour skyColour(float x, float y)
{
    const float t = y / kHorizon;
    Colour c = mix(rgb(34, 70, 150), rgb(104, 160, 218), smoothstep(0.0f, 0.65f, t));
    c = mix(c, rgb(238, 224, 196), std::pow(smoothstep(0.45f, 1.0f, t), 1.6f));
    const float d = sunDistance(x, y);
    const float glow = 0.6f * std::exp(-d / 75.0f) + 0.22f * std::exp(-d / 240.0f);
    return mix(c, rgb(255, 242, 205), clamp01(glow));
}

float cloudDensity(float x, float y)
{
    const float band = smoothstep(20.0f, 100.0f, y) * (1.0f - smoothstep(210.0f, 320.0f, y));
    const float n = fbm(x / 230.0f, y / 62.0f, 5, 61);
    const float nearSun = 0.55f + 0.45f * smoothstep(70.0f, 170.0f, sunDistance(x, y));
    return clamp01((n - 0.5f) * 3.4f * band * nearSun);
}

Colour withClouds(Colour sky, float x, float y)
{
    const float density = cloudDensity(x, y);
    if (density <= 0.0f)
        return sky;
    // Lit from above: a cloud is bright where there is less cloud above it than below.
    const float lit = smoothstep(-0.12f, 0.18f, cloudDensity(x, y + 7.0f) - cloudDensity(x, y - 7.0f));
    Colour cloud = mix(rgb(170, 180, 208), rgb(255, 252, 244), 0.25f + 0.75f * lit);
    cloud = mix(cloud, rgb(255, 236, 200), 0.5f * std::exp(-sunDistance(x, y) / 140.0f));
    return mix(sky, cloud, smoothstep(0.0f, 0.3f, density));
}

// The mountains are a height field seen from the front: x runs across the
// screen, z away from the viewer. Low green foothills in front give way to high
// rocky peaks behind; `opening` lowers the foothills where the ship sails.
float rangeHeight(float wx, float z, float opening)
{
    const float foothills = 90.0f * std::pow(fbm(wx / 150.0f, z / 60.0f, 4, 211), 1.6f) * opening *
                            smoothstep(0.0f, 45.0f, z) * (1.0f - smoothstep(60.0f, 140.0f, z));
    const float peaks = (520.0f * std::pow(ridged(wx / 420.0f, z / 420.0f + 3.1f, 3, 223), 2.0f) +
                         40.0f * fbm(wx / 60.0f, z / 60.0f, 3, 227)) *
                        smoothstep(60.0f, 180.0f, z);
    return foothills + peaks;
}

Colour rangeColour(float wx, float z, float opening, float screenY)
{
    const float h = rangeHeight(wx, z, opening);
    const float dhdx = (rangeHeight(wx + 1.0f, z, opening) - rangeHeight(wx - 1.0f, z, opening)) * 0.5f;
    const float dhdz = (rangeHeight(wx, z + 1.0f, opening) - rangeHeight(wx, z - 1.0f, opening)) * 0.5f;
    // Surface normal (-dh/dx, 1, -dh/dz) against light from the upper left, in front.
    // Slopes exaggerated: the faces read better with stronger shading.
    const float nx = -2.2f * dhdx, ny = 1.0f, nz = -2.2f * dhdz;
    const float lx = -0.55f, ly = 0.55f, lz = -0.62f;
    const float diffuse = clamp01((nx * lx + ny * ly + nz * lz) / std::sqrt(nx * nx + ny * ny + nz * nz));

    const Colour rock = mix(rgb(56, 62, 100), rgb(186, 176, 190), diffuse);
    const Colour green = mix(rgb(40, 70, 74), rgb(124, 156, 124), diffuse);
    Colour c = mix(green, rock, smoothstep(60.0f, 130.0f, z));
    c = scale(c, 0.9f + 0.2f * fbm(wx / 24.0f, h / 10.0f, 3, 233));  // strata
    // Snow lies high up, and not on the steepest faces.
    const float steep = std::sqrt(dhdx * dhdx + dhdz * dhdz);
    const float snowLine = 190.0f + 60.0f * fbm(wx / 40.0f, z / 40.0f, 3, 229);
    const float snow = smoothstep(snowLine, snowLine + 25.0f, h) * (1.0f - smoothstep(1.2f, 2.6f, steep));
    c = mix(c, mix(rgb(150, 166, 210), rgb(252, 252, 255), diffuse), snow);
    // Air between here and there, and mist where the mountains meet the sea.
    c = mix(c, rgb(200, 204, 222), 0.06f + 0.42f * smoothstep(0.0f, 400.0f, z));
    return mix(c, rgb(226, 222, 220), 0.45f * smoothstep(kHorizon - 40.0f, kHorizon, screenY));
}

// Paints the height field column by column, front to back: a point shows when it
// rises above everything in front of it. Two sub-columns per pixel and a fine
// step in depth keep the distant crests from breaking into streaks.
void makeRange(Terrain& t)
{
    const int rows = static_cast<int>(kHorizon) + 1;
    std::vector<Colour> sum(static_cast<size_t>(kScreenW) * rows);
    std::vector<float> cover(static_cast<size_t>(kScreenW) * rows, 0.0f);
    for (int x = 0; x < kScreenW; ++x)
    {
        const float gap = (x - 790.0f) / 150.0f;
        const float opening = 1.0f - 0.92f * std::exp(-gap * gap);
        for (float sub : {0.25f, 0.75f})
        {
            float top = kHorizon;
            for (float z = 1.0f; z < 420.0f; z += 0.2f + z * 0.003f)
            {
                const float perspective = 80.0f / (80.0f + z);
                const float wx = (x + sub - kScreenW / 2.0f) / perspective;
                const float y = kHorizon - rangeHeight(wx, z, opening) * perspective;
                if (y >= top)
                    continue;
                const Colour c = rangeColour(wx, z, opening, y);
                for (int row = static_cast<int>(std::floor(y)); row < static_cast<int>(std::ceil(top)) && row < rows; ++row)
                {
                    if (row < 0)
                        continue;
                    // This point covers the part of the row between y and the old top.
                    const float share = std::min(row + 1.0f, top) - std::max(static_cast<float>(row), y);
                    const size_t i = static_cast<size_t>(row) * kScreenW + x;
                    sum[i].r += c.r * share;
                    sum[i].g += c.g * share;
                    sum[i].b += c.b * share;
                    cover[i] += share;
                }
                top = y;
            }
        }
    }
    t.range.assign(sum.size(), Colour());
    t.rangeCover.assign(sum.size(), 0.0f);
    for (size_t i = 0; i < sum.size(); ++i)
    {
        if (cover[i] <= 0.0f)
            continue;
        t.range[i] = scale(sum[i], 1.0f / cover[i]);
        t.rangeCover[i] = clamp01(cover[i] / 2.0f);
    }
}

Terrain makeTerrain()
{
    Terrain t;
    for (int x = 0; x < kScreenW; ++x)
    {
        const float fx = static_cast<float>(x);
        t.hillTop.push_back(332.0f + 10.0f * std::sin(fx / 83.0f + 0.5f) +
                            22.0f * (fbm(fx / 110.0f, 2.5f, 3, 31) - 0.5f) +
                            400.0f * smoothstep(400.0f, 700.0f, fx));

        t.shore.push_back(470.0f + 8.0f * std::sin(fx / 71.0f) + 14.0f * (fbm(fx / 90.0f, 4.5f, 3, 41) - 0.5f));

        t.meadowTop.push_back(404.0f + 3.0f * std::sin(fx / 57.0f + 1.1f) +
                              8.0f * (fbm(fx / 45.0f, 6.5f, 3, 53) - 0.5f) -
                              20.0f * (1.0f - smoothstep(0.0f, 150.0f, fx)) +
                              300.0f * std::pow(smoothstep(540.0f, 1120.0f, fx), 1.1f));
    }
    makeRange(t);
    return t;
}

Colour seaColour(const Terrain& t, int ix, float y)
{
    const float x = static_cast<float>(ix);
    const float d = y - kHorizon;
    const float p = d / (kScreenH - kHorizon);
    Colour c = mix(rgb(150, 180, 204), rgb(34, 94, 140), std::pow(smoothstep(0.0f, 0.55f, p), 0.7f));

    // Ripples get longer and farther apart towards the viewer.
    const float u = (x - kSunCentreX) / (10.0f + d * 1.4f);
    const float v = std::log(d + 4.0f) * 16.0f;
    const float ripple = fbm(u, v, 3, 71);
    c = scale(c, 0.88f + 0.24f * ripple);

    // The sun's path on the water: a soft band with glints in it.
    const float w = (x - kSunCentreX) / (20.0f + d * 0.9f);
    const float path = std::exp(-w * w);
    c = mix(c, rgb(255, 238, 196), path * 0.35f * (1.0f - 0.6f * p));
    // Glints are short horizontal dashes, longer near the viewer.
    const float dash = 2.0f + d * 0.04f;
    const float spark = hashUnit(static_cast<int>(std::floor(x / dash)), static_cast<int>(y), 83);
    if (ripple > 0.56f && spark < 0.008f + 0.5f * path)
        c = mix(c, rgb(255, 250, 228), 0.55f + 0.4f * path);

    // Shallow water over the sand, and lines of surf running in to the beach.
    const float toShore = t.shore[ix] - y;
    c = mix(c, rgb(96, 178, 176), 0.55f * (1.0f - smoothstep(0.0f, 34.0f, toShore)));
    const float surfLine = std::fabs(std::fmod(toShore + 3.0f * valueNoise(x / 40.0f, 0.5f, 97), 11.0f) - 5.5f);
    const float surf = (1.0f - smoothstep(0.0f, 1.2f, surfLine)) * (1.0f - smoothstep(10.0f, 30.0f, toShore)) *
                       smoothstep(0.45f, 0.7f, fbm(x / 16.0f, toShore / 11.0f, 3, 99));
    return mix(c, rgb(236, 246, 246), 0.75f * surf);
}

Colour beachColour(const Terrain& t, int x, float y)
{
    const float d = y - t.shore[x];
    Colour c = mix(rgb(226, 206, 158), rgb(206, 182, 134), smoothstep(0.0f, 120.0f, d));
    c = mix(rgb(170, 150, 116), c, smoothstep(1.0f, 12.0f, d));  // wet sand at the water
    c = scale(c, 0.95f + 0.1f * hashUnit(x, static_cast<int>(y), 89));
    // Ripple marks left by the tide, fading up the beach.
    const float ripples = std::sin((d + 6.0f * fbm(x / 50.0f, d / 30.0f, 3, 93)) * 0.55f);
    c = scale(c, 1.0f + 0.05f * ripples * (1.0f - smoothstep(20.0f, 160.0f, d)));
    // A few shells and pebbles.
    const float grain = hashUnit(x / 2, static_cast<int>(y) / 2, 95);
    if (grain < 0.004f)
        c = mix(c, rgb(250, 246, 236), 0.8f);
    else if (grain < 0.009f)
        c = scale(c, 0.72f);
    // Foam along the waterline, broken into patches.
    const float foam = (1.0f - smoothstep(0.0f, 4.0f, std::fabs(d - 2.0f))) * smoothstep(0.4f, 0.6f, fbm(x / 12.0f, 0.3f, 3, 91));
    return mix(c, rgb(246, 248, 250), foam * 0.9f);
}

Colour hillColour(const Terrain& t, int x, float y)
{
    const float d = y - t.hillTop[x];
    Colour c = mix(rgb(118, 162, 96), rgb(72, 120, 76), smoothstep(0.0f, 60.0f, d));
    c = scale(c, 0.9f + 0.2f * fbm(x / 30.0f, y / 12.0f, 4, 37));
    c = mix(c, rgb(210, 212, 200), 0.22f);  // distance haze
    return mix(rgb(160, 196, 120), c, smoothstep(0.0f, 3.0f, d));  // sunlit crest
}

// The trodden path that winds up the meadow to where the two figures stand:
// 1 on bare earth, 0 on grass, with a ragged edge between.
float pathMask(float x, float y)
{
    if (y < kFeetY - 30.0f)
        return 0.0f;
    const float ragged = 6.0f * (fbm(x / 9.0f, y / 9.0f, 3, 191) - 0.5f);
    // The patch the figures stand on.
    const float ex = (x - (kFigure1X + kFigure2X + kFigureW) / 2.0f) / 205.0f;
    const float ey = (y - kFeetY) / 15.0f;
    const float patch = 1.0f - smoothstep(0.7f, 1.0f, std::sqrt(ex * ex + ey * ey) + ragged / 60.0f);
    // The path from the bottom edge, widening towards the viewer.
    const float t = smoothstep(kFeetY, static_cast<float>(kScreenH), y);
    const float centre = 300.0f + 270.0f * t + 40.0f * std::sin(t * 5.0f);
    const float halfWidth = 10.0f + 70.0f * t * t + 0.02f * (y - kFeetY);
    const float way = 1.0f - smoothstep(halfWidth - 3.0f, halfWidth + 3.0f, std::fabs(x - centre) + ragged);
    return std::max(patch, y > kFeetY ? way : 0.0f);
}

Colour earthColour(float x, float y)
{
    const float n = fbm(x / 14.0f, y / 8.0f, 4, 193);
    Colour c = mix(rgb(182, 150, 104), rgb(136, 106, 72), n);
    // Wheel ruts and footprints: darker streaks along the way.
    c = scale(c, 0.9f + 0.1f * smoothstep(0.3f, 0.6f, valueNoise(x / 5.0f, y / 30.0f, 195)));
    return scale(c, 0.92f + 0.16f * hashUnit(static_cast<int>(x), static_cast<int>(y), 197));
}

// Round pebbles on the path, larger towards the viewer, each with a lit top and a shadow.
void paintPebbles(Canvas& canvas)
{
    for (int gy = static_cast<int>(kFeetY) - 20; gy < kScreenH; gy += 6)
    {
        for (int gx = 0; gx < kScreenW; gx += 6)
        {
            if (hashUnit(gx, gy, 241) > 0.12f)
                continue;
            const float x = gx + 6.0f * hashUnit(gx, gy, 243);
            const float y = gy + 6.0f * hashUnit(gx, gy, 245);
            if (pathMask(x, y) < 0.9f)
                continue;
            const float r = (0.7f + 1.2f * hashUnit(gx, gy, 247)) * (0.7f + 1.3f * (y - kFeetY) / (kScreenH - kFeetY));
            const Colour stone = mix(rgb(120, 108, 94), rgb(190, 180, 164), hashUnit(gx, gy, 249));
            fillShape(canvas, static_cast<int>(x - r - 1), static_cast<int>(y - r), static_cast<int>(x + r + 3),
                      static_cast<int>(y + r + 3),
                      [=](float px, float py) { return std::hypot(px - x - 0.8f, (py - y - 1.0f) * 1.6f) < r; },
                      [&](float px, float py) { return scale(canvas.at(static_cast<int>(px), static_cast<int>(py)), 0.7f); });
            fillShape(canvas, static_cast<int>(x - r - 1), static_cast<int>(y - r - 1), static_cast<int>(x + r + 2),
                      static_cast<int>(y + r + 2),
                      [=](float px, float py) { return std::hypot(px - x, (py - y) * 1.4f) < r; },
                      [=](float px, float py) {
                          const float light = clamp01(0.7f - 0.5f * ((px - x) + (py - y)) / r);
                          return scale(stone, 0.7f + 0.45f * light);
                      });
        }
    }
}

Colour meadowColour(const Terrain& t, int x, float y)
{
    const float d = y - t.meadowTop[x];
    Colour c = mix(rgb(128, 182, 74), rgb(58, 118, 46), smoothstep(0.0f, 320.0f, d));
    const float patch = fbm(x / 90.0f, y / 36.0f, 4, 97);
    c = scale(c, 0.84f + 0.3f * patch);
    c = mix(c, rgb(160, 170, 70), 0.35f * smoothstep(0.62f, 0.8f, patch));
    c = scale(c, 0.9f + 0.2f * valueNoise(x / 2.0f, y / 7.0f, 103));
    c = scale(c, 0.95f + 0.1f * hashUnit(x, static_cast<int>(y), 101));

    c = mix(c, earthColour(static_cast<float>(x), y), pathMask(static_cast<float>(x), y));

    // A soft shadow under each figure's feet.
    for (int figureX : {kFigure1X, kFigure2X})
    {
        const float ex = (x - (figureX + kFigureW / 2.0f)) / 44.0f;
        const float ey = (y - kFeetY) / 8.0f;
        c = scale(c, 1.0f - 0.28f * (1.0f - smoothstep(0.35f, 1.0f, ex * ex + ey * ey)));
    }
    return c;
}

void paintBase(Canvas& canvas, const Terrain& t)
{
    for (int y = 0; y < kScreenH; ++y)
    {
        const float fy = static_cast<float>(y);
        for (int x = 0; x < kScreenW; ++x)
        {
            const float fx = static_cast<float>(x);
            Colour c = withClouds(skyColour(fx, fy), fx, fy);
            if (fy < kHorizon)
            {
                const size_t i = static_cast<size_t>(y) * kScreenW + x;
                c = mix(c, t.range[i], t.rangeCover[i]);
            }
            float a = below(fy, kHorizon);
            if (a > 0.0f)
                c = mix(c, seaColour(t, x, fy), a);
            a = below(fy, t.shore[x]);
            if (a > 0.0f)
                c = mix(c, beachColour(t, x, fy), a);
            a = below(fy, t.hillTop[x]);
            if (a > 0.0f)
                c = mix(c, hillColour(t, x, fy), a);
            a = below(fy, t.meadowTop[x]);
            if (a > 0.0f)
                c = mix(c, meadowColour(t, x, fy), a);
            canvas.put(x, y, c);
        }
    }
}

// A gull in flight, wings spread `span` pixels either side of (x, y).
void paintGull(Canvas& canvas, float x, float y, float span)
{
    auto inside = [=](float px, float py) {
        const float u = std::fabs(px - x) / span;
        if (u > 1.0f)
            return false;
        // Each wing rises from the body and bends down a little towards its tip.
        const float wing = y - span * 0.5f * std::sin(kPi * u * 0.75f);
        return std::fabs(py - wing) < 0.35f + 0.75f * (1.0f - u);
    };
    fillShape(canvas, static_cast<int>(x - span - 1), static_cast<int>(y - span), static_cast<int>(x + span + 2),
              static_cast<int>(y + span * 0.5f + 2), inside, [](float, float) { return rgb(58, 66, 86); });
}

// A pine of the given height whose trunk stands on (x, base).
void paintPine(Canvas& canvas, float x, float base, float height, uint32_t seed)
{
    const float top = base - height;
    const float halfWidth = height * 0.24f;
    auto inside = [=](float px, float py) {
        if (py < top || py > base)
            return false;
        const float s = (py - top) / height;
        // Five tiers of branches, each widening downwards.
        const float tier = s * 5.0f - std::floor(s * 5.0f);
        const float w = halfWidth * (0.15f + 0.85f * s) * (0.7f + 0.3f * tier);
        if (s > 0.92f)
            return std::fabs(px - x) < 1.4f;  // trunk
        return std::fabs(px - x) < w + (hashUnit(static_cast<int>(py), 0, seed) - 0.5f);
    };
    auto paint = [=](float px, float py) {
        Colour c = px < x ? rgb(52, 92, 64) : rgb(34, 64, 50);
        if ((py - top) / height > 0.92f)
            c = rgb(70, 54, 40);
        return mix(c, rgb(200, 206, 196), 0.18f);
    };
    fillShape(canvas, static_cast<int>(x - halfWidth - 2), static_cast<int>(top - 1),
              static_cast<int>(x + halfWidth + 3), static_cast<int>(base + 1), inside, paint);
}

// A longship with a striped sail, its waterline at y = wl.
void paintShip(Canvas& canvas, float cx, float wl)
{
    const float halfLength = 50.0f;
    auto hullInside = [=](float px, float py) {
        const float u = std::fabs(px - cx) / halfLength;
        if (u > 1.12f)
            return false;
        const float rise = std::max(0.0f, u - 0.7f) / 0.42f;
        const float deck = wl - 6.0f - 16.0f * rise * rise;
        const float keel = wl + 4.0f * (1.0f - u * u) - 30.0f * std::pow(std::max(0.0f, u - 0.86f), 1.2f);
        return py > deck && py < keel;
    };
    auto hullPaint = [=](float, float py) {
        return mix(rgb(92, 60, 40), rgb(52, 36, 28), smoothstep(wl - 8.0f, wl + 3.0f, py));
    };
    // Reflection first, so the hull stands on it.
    for (int y = static_cast<int>(wl) + 2; y < static_cast<int>(wl) + 16; ++y)
    {
        for (int x = static_cast<int>(cx - halfLength); x < static_cast<int>(cx + halfLength); ++x)
        {
            const float fade = 1.0f - (y - wl) / 16.0f;
            const float wave = valueNoise(x / 9.0f, y / 1.5f, 131);
            if (wave > 0.45f)
                canvas.blend(x, y, rgb(30, 52, 70), 0.35f * fade);
        }
    }
    // Mast and sail.
    fillShape(canvas, static_cast<int>(cx - 2), static_cast<int>(wl - 62), static_cast<int>(cx + 3),
              static_cast<int>(wl - 4),
              [=](float px, float) { return std::fabs(px - cx) < 1.3f; },
              [](float, float) { return rgb(74, 52, 36); });
    const float sailTop = wl - 56.0f;
    const float sailBottom = wl - 18.0f;
    auto sailInside = [=](float px, float py) {
        if (py < sailTop || py > sailBottom)
            return false;
        const float s = (py - sailTop) / (sailBottom - sailTop);
        const float bulge = 4.0f * std::sin(kPi * s);
        return std::fabs(px - cx) < 24.0f + bulge;
    };
    auto sailPaint = [=](float px, float py) {
        const int stripe = static_cast<int>(std::floor((px - cx + 28.0f) / 8.0f));
        Colour c = (stripe % 2 == 0) ? rgb(196, 58, 46) : rgb(238, 226, 198);
        const float s = (py - sailTop) / (sailBottom - sailTop);
        c = scale(c, 1.0f - 0.25f * s + 0.12f * (px > cx ? 0.0f : 1.0f));
        return mix(c, rgb(220, 214, 208), 0.15f);
    };
    fillShape(canvas, static_cast<int>(cx - 30), static_cast<int>(sailTop - 1), static_cast<int>(cx + 31),
              static_cast<int>(sailBottom + 2), sailInside, sailPaint);
    fillShape(canvas, static_cast<int>(cx - halfLength * 1.15f), static_cast<int>(wl - 24),
              static_cast<int>(cx + halfLength * 1.15f) + 1, static_cast<int>(wl + 6), hullInside, hullPaint);
    // Curled stem and stern posts.
    for (float side : {-1.0f, 1.0f})
    {
        const float px0 = cx + side * (halfLength * 1.1f + 1.0f);
        const float py0 = wl - 23.0f;
        fillShape(canvas, static_cast<int>(px0 - 7), static_cast<int>(py0 - 7), static_cast<int>(px0 + 8),
                  static_cast<int>(py0 + 8),
                  [=](float px, float py) {
                      const float r = std::hypot(px - px0, py - py0);
                      // An open ring: the half towards the ship's middle is left out below.
                      return r > 2.2f && r < 4.6f && !((px - px0) * side < 0.0f && py > py0);
                  },
                  [](float, float) { return rgb(78, 50, 34); });
    }
    // A row of round shields along the rail.
    for (int i = 0; i < 7; ++i)
    {
        const float sx = cx - 30.0f + i * 10.0f;
        const float sy = wl - 5.0f;
        const Colour face = (i % 2 == 0) ? rgb(214, 178, 70) : rgb(180, 58, 46);
        fillShape(canvas, static_cast<int>(sx - 4), static_cast<int>(sy - 4), static_cast<int>(sx + 5),
                  static_cast<int>(sy + 5),
                  [=](float px, float py) { return std::hypot(px - sx, py - sy) < 3.4f; },
                  [=](float, float) { return face; });
    }
}

// A boulder resting at (x, base): a lumpy dome, lit from the upper left, with a
// soft shadow on the ground to its right.
void paintRock(Canvas& canvas, float x, float base, float radius, uint32_t seed)
{
    auto shadowInside = [=](float px, float py) {
        const float dx = (px - x - radius * 0.35f) / (radius * 1.25f);
        const float dy = (py - base) / (radius * 0.3f);
        return dx * dx + dy * dy < 1.0f;
    };
    fillShape(canvas, static_cast<int>(x - radius * 1.5f), static_cast<int>(base - radius * 0.4f),
              static_cast<int>(x + radius * 2.0f), static_cast<int>(base + radius * 0.4f), shadowInside,
              [&](float px, float py) { return scale(canvas.at(static_cast<int>(px), static_cast<int>(py)), 0.6f); });
    auto edge = [=](float px, float py) {
        const float angle = std::atan2(py - base, px - x);
        return radius * (0.85f + 0.3f * valueNoise(angle * 2.2f + 10.0f, 0.5f, seed));
    };
    auto inside = [=](float px, float py) {
        const float dx = px - x;
        const float dy = (py - base) * 1.35f;
        return py <= base + 1.0f && std::hypot(dx, dy) < edge(px, py);
    };
    auto paint = [=](float px, float py) {
        const float dx = (px - x) / radius;
        const float dy = (py - base) / radius;
        const float light = clamp01(0.62f - 0.55f * dx - 0.6f * (dy + 0.5f));
        Colour c = mix(rgb(86, 84, 88), rgb(196, 190, 180), light);
        return scale(c, 0.9f + 0.2f * fbm(px / 5.0f, py / 5.0f, 3, seed + 1));
    };
    fillShape(canvas, static_cast<int>(x - radius * 1.3f), static_cast<int>(base - radius * 1.2f),
              static_cast<int>(x + radius * 1.3f) + 1, static_cast<int>(base + 2.0f), inside, paint);
}

// A standing stone with a carved band running round inside its edge. Its foot
// stands in the grass, which is painted over it afterwards.
struct RuneStone
{
    float x, base, height, width;

    // Distance inside the outline, in pixels (negative outside): a rough slab
    // with a steep left side and a long slope on the right up to a blunt tip.
    float depth(float px, float py) const
    {
        const float top = base - height;
        const float s = clamp01((py - top) / height);
        const float rough = 3.0f * (fbm(py / 12.0f, px / 12.0f, 3, 201) - 0.5f);
        const float left = x - width * 0.42f * std::sqrt(std::min(1.0f, s * 5.0f + 0.1f)) + rough;
        const float right = x + width * (0.08f + 0.42f * std::pow(s, 0.6f)) + rough;
        // The sides are slanted, so the distance to them is shorter than across.
        const float inside = std::min((px - left) * 0.9f, (right - px) * 0.8f);
        return std::min(std::min(inside, base - py), (py - top) * 1.5f);
    }

    bool covers(float px, float py) const { return depth(px, py) > 0.0f; }
};

void paintRuneStone(Canvas& canvas, const RuneStone& stone)
{
    auto inside = [&](float px, float py) { return stone.covers(px, py); };
    auto paint = [&](float px, float py) {
        const float s = (px - stone.x) / (stone.width * 0.5f);
        const float d = stone.depth(px, py);
        // Rounded edges: lit on the left, dark on the right.
        const float edge = 1.0f - smoothstep(0.0f, 10.0f, d);
        const float light = clamp01(0.6f - 0.45f * s - (s > 0.0f ? 0.35f : -0.25f) * edge);
        Colour c = mix(rgb(56, 58, 64), rgb(158, 154, 146), light);
        c = scale(c, 0.85f + 0.3f * fbm(px / 7.0f, py / 7.0f, 4, 203));
        // Lichen low down.
        c = mix(c, rgb(112, 128, 66),
                0.6f * smoothstep(0.58f, 0.72f, fbm(px / 10.0f, py / 10.0f, 3, 207)) *
                    smoothstep(stone.base - stone.height * 0.6f, stone.base, py));
        // The carved band: a groove at a fixed depth inside the outline, its
        // lower lip catching the light, and runes cut across it.
        const float groove = 1.0f - smoothstep(0.8f, 1.8f, std::fabs(d - 10.0f));
        const float lip = 1.0f - smoothstep(0.5f, 1.2f, std::fabs(d - 12.2f));
        const float rune = (d > 13.5f && d < 20.0f && std::fmod(py - 0.4f * px + 400.0f, 9.0f) < 1.5f) ? 1.0f : 0.0f;
        c = scale(c, 1.0f - 0.55f * std::max(groove, 0.8f * rune));
        c = mix(c, rgb(196, 192, 182), 0.3f * lip * (1.0f - groove));
        // Grass grows up against the foot.
        const float tuft = smoothstep(stone.base - 14.0f, stone.base - 2.0f, py + 6.0f * valueNoise(px / 2.0f, 0.5f, 209));
        return mix(c, rgb(70, 122, 44), 0.85f * tuft);
    };
    // Its shadow falls to the right, away from the light.
    fillShape(canvas, static_cast<int>(stone.x - 10), static_cast<int>(stone.base - 10),
              static_cast<int>(stone.x + stone.width), static_cast<int>(stone.base + 10),
              [&](float px, float py) {
                  const float dx = (px - stone.x - 22.0f) / 42.0f;
                  const float dy = (py - stone.base + 1.0f) / 7.0f;
                  return dx * dx + dy * dy < 1.0f;
              },
              [&](float px, float py) { return scale(canvas.at(static_cast<int>(px), static_cast<int>(py)), 0.6f); });
    fillShape(canvas, static_cast<int>(stone.x - stone.width), static_cast<int>(stone.base - stone.height - 4),
              static_cast<int>(stone.x + stone.width) + 1, static_cast<int>(stone.base + 1), inside, paint);
}

// Blades of grass over the meadow, longer towards the viewer, for every root
// that `accept` takes. Each blade is a lighter or darker shade of the picture at
// its root.
template <class Accept>
void paintBlades(Canvas& canvas, const Terrain& t, Accept accept)
{
    for (int gy = 370; gy < kScreenH + 8; gy += 3)
    {
        for (int gx = 0; gx < kScreenW; gx += 3)
        {
            const float x = gx + 3.0f * hashUnit(gx, gy, 107);
            const float y = gy + 3.0f * hashUnit(gx, gy, 109);
            const int ix = static_cast<int>(x);
            if (ix >= kScreenW || y < t.meadowTop[ix] + 1.0f || !accept(x, y))
                continue;
            if (pathMask(x, y) > 0.35f + 0.3f * hashUnit(gx, gy, 111))
                continue;
            const float nearness = (y - 380.0f) / 390.0f;
            const float length = 3.0f + 9.0f * nearness + 4.0f * hashUnit(gx, gy, 113);
            const float lean = (hashUnit(gx, gy, 127) - 0.5f) * 0.9f;
            const float shade = hashUnit(gx, gy, 131);
            Colour c = canvas.at(ix, static_cast<int>(std::min(y, kScreenH - 1.0f)));
            c = shade < 0.5f ? scale(c, 1.18f) : scale(c, 0.74f);
            const int steps = static_cast<int>(length * 2.0f);
            for (int s = 0; s <= steps; ++s)
            {
                const float k = static_cast<float>(s) / steps;
                const float px = x + lean * length * k * k;
                const float py = y - length * k;
                canvas.blend(static_cast<int>(px), static_cast<int>(py), c, 0.75f * (1.0f - 0.5f * k));
            }
        }
    }
}

// A scatter of small flowers over the grass, wherever `accept` takes them.
template <class Accept>
void paintFlowers(Canvas& canvas, const Terrain& t, Accept accept)
{
    const Colour petals[] = {rgb(246, 244, 232), rgb(250, 214, 72), rgb(132, 150, 236), rgb(236, 120, 140)};
    for (int gy = 400; gy < kScreenH; gy += 17)
    {
        for (int gx = 0; gx < kScreenW; gx += 23)
        {
            if (hashUnit(gx, gy, 137) > 0.22f)
                continue;
            const float x = gx + 23.0f * hashUnit(gx, gy, 139);
            const float y = gy + 17.0f * hashUnit(gx, gy, 149);
            const int ix = static_cast<int>(x);
            if (ix >= kScreenW || y < t.meadowTop[ix] + 12.0f)
                continue;
            if (pathMask(x, y) > 0.0f || !accept(x, y))
                continue;
            const Colour petal = petals[hash2(gx, gy, 151) % 4];
            const float r = 1.2f + 1.8f * (y - 400.0f) / 368.0f;
            fillShape(canvas, static_cast<int>(x - r - 1), static_cast<int>(y - r - 1),
                      static_cast<int>(x + r + 2), static_cast<int>(y + r + 2),
                      [=](float px, float py) { return std::hypot(px - x, py - y) < r; },
                      [=](float px, float py) {
                          return std::hypot(px - x, py - y) < r * 0.4f ? rgb(250, 200, 60) : petal;
                      });
        }
    }
}

void paintVignette(Canvas& canvas)
{
    for (int y = 0; y < kScreenH; ++y)
    {
        for (int x = 0; x < kScreenW; ++x)
        {
            const float dx = (x - kScreenW / 2.0f) / (kScreenW / 2.0f);
            const float dy = (y - kScreenH / 2.0f) / (kScreenH / 2.0f);
            canvas.put(x, y, scale(canvas.at(x, y), 1.0f - 0.16f * smoothstep(0.5f, 2.0f, dx * dx + dy * dy)));
        }
    }
}

}  // namespace

Canvas drawLandscape()
{
    Canvas canvas(kScreenW, kScreenH, true);
    const Terrain t = makeTerrain();
    paintBase(canvas, t);
    paintShip(canvas, 800.0f, 396.0f);
    paintGull(canvas, 668.0f, 226.0f, 8.0f);
    paintGull(canvas, 694.0f, 240.0f, 6.5f);
    paintGull(canvas, 712.0f, 218.0f, 5.5f);
    for (float px : {28.0f, 52.0f, 78.0f, 296.0f})
    {
        const int ix = static_cast<int>(px);
        const float height = 36.0f + 30.0f * hashUnit(ix, 0, 157);
        paintPine(canvas, px, t.hillTop[ix] + 6.0f, height, 160u + ix);
    }
    paintRock(canvas, 948.0f, 566.0f, 26.0f, 171);
    paintRock(canvas, 982.0f, 574.0f, 14.0f, 173);
    paintRock(canvas, 772.0f, 492.0f, 9.0f, 179);
    paintPebbles(canvas);
    // The stone stands in the grass: blades behind it first, then the stone,
    // then the blades that grow in front of its foot.
    const RuneStone stone = {92.0f, 646.0f, 160.0f, 80.0f};
    auto nearStoneFoot = [&](float x, float y) {
        return std::fabs(x - stone.x) < stone.width * 0.6f && y > stone.base - 10.0f && y < stone.base + 8.0f;
    };
    paintBlades(canvas, t, [&](float x, float y) { return !stone.covers(x, y) && !nearStoneFoot(x, y); });
    paintRuneStone(canvas, stone);
    for (int tuft = 0; tuft < 2; ++tuft)  // twice over: a denser tuft
        paintBlades(canvas, t, nearStoneFoot);
    paintFlowers(canvas, t, [&](float x, float y) { return !stone.covers(x, y - 6.0f); });
    paintVignette(canvas);
    return canvas;
}

}  // namespace artgen
