// The program's icon, drawn from the demo's own pictures and written as a PNG with libpng.
//
// The icon is a disc with a dark rim. Inside it the sky of the background, with
// the sun's first frame where the demo shows it, lies behind the first figure
// frame's head and shoulders; the helmet's horns may reach over the rim. Every
// pixel averages a square of samples, each taken from the pictures unscaled, so
// the figure keeps its hard pixel-art edges at 256 pixels and stays smooth at 16.
#include "icon.h"

#include <png.h>

#include <cmath>
#include <filesystem>
#include <system_error>

#include "figure.h"
#include "landscape.h"
#include "layout.h"
#include "sun.h"

namespace artgen {
namespace {

// The disc and its rim, in units of the icon's side.
constexpr float kDiscRadius = 0.47f;
constexpr float kRimWidth = 0.03f;
const Colour kRim = rgb(38, 26, 24);  // the figure's outline colour

// The squares of the pictures that the icon's side spans: the scene (background
// and sun) and the figure frame, in their own pixels.
constexpr float kSceneLeft = 344.0f;
constexpr float kSceneTop = 50.0f;
constexpr float kSceneSide = 260.0f;
constexpr float kFigureLeft = 4.0f;
constexpr float kFigureTop = -2.0f;
constexpr float kFigureSide = 96.0f;
// Above this row of the figure (the helmet and the face) it is drawn outside
// the disc too; below it (the shoulders) only inside.
constexpr int kFigureHeadRows = 13 * kFigureScale;

// Samples a side for every pixel of the icon: at least 4, and at least two for
// each pixel of the figure that the icon's pixel spans.
int samplesPerSide(int size)
{
    const int needed = static_cast<int>(std::ceil(2.0f * kFigureSide / static_cast<float>(size)));
    return needed > 4 ? needed : 4;
}

struct Sample
{
    Colour colour;
    float alpha = 0.0f;
};

class IconPainter
{
public:
    IconPainter()
        : mBackground(drawLandscape()),
          mSun(drawSunFrame(mBackground, 0)),
          mFigure(drawFigureFrames().front())
    {
    }

    // What the icon shows at (u, v), both in [0, 1).
    Sample at(float u, float v) const
    {
        const float du = u - 0.5f;
        const float dv = v - 0.5f;
        const float r = std::sqrt(du * du + dv * dv);
        const bool inDisc = r < kDiscRadius - kRimWidth;
        const bool onRim = !inDisc && r < kDiscRadius;

        const int fx = static_cast<int>(std::floor(kFigureLeft + u * kFigureSide));
        const int fy = static_cast<int>(std::floor(kFigureTop + v * kFigureSide));
        if (mFigure.isOpaque(fx, fy) && (inDisc || fy < kFigureHeadRows))
            return {mFigure.at(fx, fy), 1.0f};
        if (onRim)
            return {kRim, 1.0f};
        if (!inDisc)
            return {};
        const int sx = static_cast<int>(std::floor(kSceneLeft + u * kSceneSide));
        const int sy = static_cast<int>(std::floor(kSceneTop + v * kSceneSide));
        if (mSun.isOpaque(sx - kSunX, sy - kSunY))
            return {mSun.at(sx - kSunX, sy - kSunY), 1.0f};
        return {mBackground.at(sx, sy), 1.0f};
    }

private:
    Canvas mBackground;
    Canvas mSun;
    Canvas mFigure;
};

}  // namespace

IconImage drawIcon(int size)
{
    const IconPainter painter;
    IconImage image;
    image.size = size;
    image.rgba.resize(static_cast<size_t>(size) * size * 4);
    const int samples = samplesPerSide(size);
    const float step = 1.0f / (static_cast<float>(size) * samples);
    for (int y = 0; y < size; ++y)
    {
        for (int x = 0; x < size; ++x)
        {
            // Colours are summed weighted by their alpha, so that the
            // transparent outside does not darken the disc's edge.
            float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
            for (int sy = 0; sy < samples; ++sy)
            {
                for (int sx = 0; sx < samples; ++sx)
                {
                    const Sample s = painter.at((x * samples + sx + 0.5f) * step,
                                                (y * samples + sy + 0.5f) * step);
                    r += s.colour.r * s.alpha;
                    g += s.colour.g * s.alpha;
                    b += s.colour.b * s.alpha;
                    a += s.alpha;
                }
            }
            unsigned char* p = &image.rgba[(static_cast<size_t>(y) * size + x) * 4];
            p[0] = a > 0.0f ? toByte(r / a) : 0;
            p[1] = a > 0.0f ? toByte(g / a) : 0;
            p[2] = a > 0.0f ? toByte(b / a) : 0;
            p[3] = toByte(a * 255.0f / (samples * samples));
        }
    }
    return image;
}

bool saveIcon(const IconImage& image, const std::string& path, std::string& error)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(path).parent_path();
    std::error_code ec;
    if (!dir.empty())
        fs::create_directories(dir, ec);
    if (ec)
    {
        error = "cannot create directory " + dir.string() + ": " + ec.message();
        return false;
    }

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.size);
    png.height = static_cast<png_uint_32>(image.size);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgba.data(), 0, nullptr))
    {
        error = "cannot write " + path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

}  // namespace artgen
