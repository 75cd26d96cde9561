#pragma once
// Pictures of height and water files: a shaded relief (hillshade over a hypsometric tint) of a
// height raster, and a depth colouring of a water raster. Every value below is computed in
// double precision; a channel is trunc(value + 0.5), at most 255.
//
// Relief of height samples s (row 0 the top, north up), neighbours beyond the map taking the
// edge sample:
//   k  = heightScale * 255 / 65535             metres per sample unit (the cliff export's scale)
//   q  = k / (2 * pixelSize)
//   gx = (s(x+1, y) - s(x-1, y)) * q           rise towards the east
//   gy = (s(x, y+1) - s(x, y-1)) * q           rise towards the south
//   shade = max(0, (0.5 * gx + 0.5 * gy + sqrt(0.5)) / sqrt(1 + gx * gx + gy * gy))
//           the cosine between the surface normal and a light from the north-west, 45 degrees up
//   b  = 0.25 + 0.75 * shade / sqrt(0.5)      1 on flat ground, 0.25 in full shadow
//   t  = (s - low) / (high - low)              low, high: the map's smallest and largest sample;
//                                              t = 0 when they are equal
//   u  = 4 * t, i = min(3, trunc(u)), f = u - i
//   tint = kReliefTint[i] + (kReliefTint[i + 1] - kReliefTint[i]) * f   per channel
//   channel = min(255, trunc(tint * b + 0.5))
//
// Water of water samples w (0: no water) over an optional terrain raster h of the same size:
//   with terrain: a sample is wet when w > h, depth d = w - h; dmax = the largest depth
//     wet:  t = sqrt(d / dmax) (0 when dmax = 0); colour = kShallow + (kDeep - kShallow) * t
//     dry:  grey = min(255, trunc(180 * b + 0.5)) with b the relief brightness of the terrain
//   without terrain: a sample is wet when w != 0; wmin, wmax = the smallest and largest wet w
//     wet:  t = (wmax - w) / (wmax - wmin) (0 when equal); colour as above, lower surfaces deeper
//     dry:  grey 96
#include "base/JobFields.h"
#include "base/RasterView.h"
#include "tools/MapUnits.h"

#include <array>
#include <cstdint>

struct ReliefSettings
{
    double heightScale = 10.0; // metres of the largest sample 65535 / 255
};

inline constexpr JobField<ReliefSettings> kReliefFields[] = {
    Field<&ReliefSettings::heightScale>("heightScale", "height-scale", 0.001, 100000,
                                        "a sample is this many metres / 257, as for cliff"),
};

using Rgb = std::array<std::uint8_t, 3>;

// Lowland green, light green, sand, brown, snow: t = 0, 0.25, 0.5, 0.75, 1.
inline constexpr double kReliefTint[5][3] = {
    {40, 110, 60}, {120, 165, 85}, {215, 200, 130}, {150, 105, 70}, {245, 245, 245}};
inline constexpr double kShallowWater[3] = {160, 215, 235};
inline constexpr double kDeepWater[3] = {10, 40, 115};
inline constexpr double kDryGrey = 180;
inline constexpr std::uint8_t kDryGreyWithoutTerrain = 96;

struct SampleRange
{
    std::uint16_t low = 0;
    std::uint16_t high = 0;
};

// The smallest and largest sample of the raster (both 0 for an empty raster).
SampleRange FindSampleRange(ConstRasterView<std::uint16_t> samples, unsigned threads = 0);

// The straightforward relief colour of the pixel (x, y), read from the definition above. The
// test oracle of RenderRelief.
Rgb ReliefPixel(ConstRasterView<std::uint16_t> heights, int x, int y, float pixelSize, const ReliefSettings& settings,
                SampleRange range);

// The relief of the whole raster into `rgb` (width * height * 3 bytes, rows top first), on
// `threads` threads (0: every core). Identical to ReliefPixel at every pixel. pixelSize > 0.
void RenderRelief(ConstRasterView<std::uint16_t> heights, float pixelSize, const ReliefSettings& settings,
                  std::uint8_t* rgb, unsigned threads = 0);

// What the water colouring scales by: dmax with terrain, wmin and wmax without.
struct WaterRange
{
    std::uint16_t maxDepth = 0;
    std::uint16_t lowSurface = 0;
    std::uint16_t highSurface = 0;
};

// terrain.data == nullptr: no terrain. Otherwise terrain has the water raster's size.
WaterRange FindWaterRange(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain,
                          unsigned threads = 0);

// The straightforward water colour of the pixel (x, y); the test oracle of RenderWater.
Rgb WaterPixel(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain, int x, int y,
               float pixelSize, const ReliefSettings& settings, WaterRange range);

void RenderWater(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain, float pixelSize,
                 const ReliefSettings& settings, std::uint8_t* rgb, unsigned threads = 0);

// The legend below a water picture, in words a reader of the picture needs: a water file's
// samples are water surface heights, carried over the dry land too (docs/FORMATS.md), so only
// the terrain tells water from land. With terrain it names the depth colours (light shallow,
// dark deep) in metres and the grey relief as dry land; without, the surface-height colours,
// grey as "no water reached", and that the land is coloured too. Metres are samples times
// heightScale * 255 / 65535, as for the relief.
// With the map's height mapping the metres are real: depths gain x samples, surface heights
// offset + gain x samples.
// The legend's height for a picture `width` pixels wide.
int WaterLegendRows(int width);
// The two numbers at the ends of the legend's colour ramp, in metres: 0 and the greatest depth
// with terrain, the highest and the lowest surface without.
struct WaterLegendEnds
{
    bool depths = false; // depths over the terrain; else surface heights
    double first = 0;
    double last = 0;
};
WaterLegendEnds WaterLegendMetres(WaterRange range, bool withTerrain, const ReliefSettings& settings,
                                  const HeightMapping* mapping = nullptr);
// Draws it into `rgb`: WaterLegendRows(width) rows of `width` pixels, 3 bytes each.
void DrawWaterLegend(std::uint8_t* rgb, int width, WaterRange range, bool withTerrain,
                     const ReliefSettings& settings, const HeightMapping* mapping = nullptr);
