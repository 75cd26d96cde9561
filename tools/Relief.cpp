#include "tools/Relief.h"

#include "base/Concurrency.h"
#include "tools/Overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
constexpr int kRowsPerBand = 256;

std::uint8_t Channel(double value)
{
    return static_cast<std::uint8_t>(std::min(255.0, std::trunc(value + 0.5)));
}

// q = k / (2 * pixelSize) with k the metres per sample unit.
double SlopeFactor(float pixelSize, const ReliefSettings& settings)
{
    const double k = settings.heightScale * 255 / 65535;
    return k / (2 * double(pixelSize));
}

// b of the definition, from the four neighbours' samples.
double Brightness(int left, int right, int up, int down, double q)
{
    const double gx = (right - left) * q;
    const double gy = (down - up) * q;
    const double light = std::sqrt(0.5);
    const double shade = std::max(0.0, (0.5 * gx + 0.5 * gy + light) / std::sqrt(1 + gx * gx + gy * gy));
    return 0.25 + 0.75 * shade / light;
}

void Tint(int sample, SampleRange range, double* tint)
{
    const double t = range.high > range.low ? double(sample - range.low) / double(range.high - range.low) : 0.0;
    const double u = 4 * t;
    const int i = std::min(3, static_cast<int>(u));
    const double f = u - i;
    for (int c = 0; c < 3; ++c)
        tint[c] = kReliefTint[i][c] + (kReliefTint[i + 1][c] - kReliefTint[i][c]) * f;
}

Rgb WaterColour(double t)
{
    Rgb colour{};
    for (int c = 0; c < 3; ++c)
        colour[std::size_t(c)] = Channel(kShallowWater[c] + (kDeepWater[c] - kShallowWater[c]) * t);
    return colour;
}

double DepthFraction(int depth, WaterRange range)
{
    return range.maxDepth > 0 ? std::sqrt(double(depth) / double(range.maxDepth)) : 0.0;
}

double SurfaceFraction(int surface, WaterRange range)
{
    return range.highSurface > range.lowSurface
               ? double(range.highSurface - surface) / double(range.highSurface - range.lowSurface)
               : 0.0;
}

std::uint16_t ClampedSample(ConstRasterView<std::uint16_t> raster, long x, long y)
{
    x = std::clamp<long>(x, 0, raster.width - 1);
    y = std::clamp<long>(y, 0, raster.height - 1);
    return raster.at(static_cast<int>(x), static_cast<int>(y));
}

double BrightnessAt(ConstRasterView<std::uint16_t> heights, int x, int y, double q)
{
    return Brightness(ClampedSample(heights, x - 1, y), ClampedSample(heights, x + 1, y),
                      ClampedSample(heights, x, y - 1), ClampedSample(heights, x, y + 1), q);
}

// Calls body(x, b) for every pixel of row y with the relief brightness b, walking the row
// without clamping inside it.
template <typename Body> void ForEachBrightness(ConstRasterView<std::uint16_t> heights, int y, double q, Body&& body)
{
    const int w = heights.width;
    const std::uint16_t* row = heights.row(y);
    const std::uint16_t* up = heights.row(std::max(0, y - 1));
    const std::uint16_t* down = heights.row(std::min(heights.height - 1, y + 1));
    if (w == 1)
    {
        body(0, Brightness(row[0], row[0], up[0], down[0], q));
        return;
    }
    body(0, Brightness(row[0], row[1], up[0], down[0], q));
    for (int x = 1; x < w - 1; ++x)
        body(x, Brightness(row[x - 1], row[x + 1], up[x], down[x], q));
    body(w - 1, Brightness(row[w - 2], row[w - 1], up[w - 1], down[w - 1], q));
}

template <typename Combine> void ForEachBand(int height, unsigned threads, Combine&& perBand)
{
    const int bands = (height + kRowsPerBand - 1) / kRowsPerBand;
    ParallelFor(std::size_t(bands), threads,
                [&](std::size_t band)
                {
                    const int first = static_cast<int>(band) * kRowsPerBand;
                    perBand(band, first, std::min(height, first + kRowsPerBand));
                });
}
} // namespace

SampleRange FindSampleRange(ConstRasterView<std::uint16_t> samples, unsigned threads)
{
    if (samples.width <= 0 || samples.height <= 0)
        return {};
    std::vector<SampleRange> bands(std::size_t((samples.height + kRowsPerBand - 1) / kRowsPerBand));
    ForEachBand(samples.height, threads,
                [&](std::size_t band, int first, int end)
                {
                    std::uint16_t low = 65535;
                    std::uint16_t high = 0;
                    for (int y = first; y < end; ++y)
                    {
                        const std::uint16_t* row = samples.row(y);
                        for (int x = 0; x < samples.width; ++x)
                        {
                            low = std::min(low, row[x]);
                            high = std::max(high, row[x]);
                        }
                    }
                    bands[band] = {low, high};
                });
    SampleRange range = bands[0];
    for (const SampleRange& band : bands)
    {
        range.low = std::min(range.low, band.low);
        range.high = std::max(range.high, band.high);
    }
    return range;
}

Rgb ReliefPixel(ConstRasterView<std::uint16_t> heights, int x, int y, float pixelSize, const ReliefSettings& settings,
                SampleRange range)
{
    const double b = BrightnessAt(heights, x, y, SlopeFactor(pixelSize, settings));
    double tint[3];
    Tint(heights.at(x, y), range, tint);
    return {Channel(tint[0] * b), Channel(tint[1] * b), Channel(tint[2] * b)};
}

void RenderRelief(ConstRasterView<std::uint16_t> heights, float pixelSize, const ReliefSettings& settings,
                  std::uint8_t* rgb, unsigned threads)
{
    if (heights.width <= 0 || heights.height <= 0)
        return;
    const SampleRange range = FindSampleRange(heights, threads);
    // The tint of every sample value the map holds, computed once instead of per pixel.
    std::vector<double> tints(3 * (std::size_t(range.high - range.low) + 1));
    for (int s = range.low; s <= range.high; ++s)
        Tint(s, range, &tints[3 * std::size_t(s - range.low)]);
    const double q = SlopeFactor(pixelSize, settings);
    const std::size_t rowBytes = std::size_t(heights.width) * 3;
    ParallelFor(std::size_t(heights.height), threads,
                [&](std::size_t row)
                {
                    const int y = static_cast<int>(row);
                    const std::uint16_t* samples = heights.row(y);
                    std::uint8_t* out = rgb + row * rowBytes;
                    ForEachBrightness(heights, y, q,
                                      [&](int x, double b)
                                      {
                                          const double* tint = &tints[3 * std::size_t(samples[x] - range.low)];
                                          out[3 * x] = Channel(tint[0] * b);
                                          out[3 * x + 1] = Channel(tint[1] * b);
                                          out[3 * x + 2] = Channel(tint[2] * b);
                                      });
                });
}

WaterRange FindWaterRange(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain,
                          unsigned threads)
{
    if (water.width <= 0 || water.height <= 0)
        return {};
    const bool withTerrain = terrain.data != nullptr;
    std::vector<WaterRange> bands(std::size_t((water.height + kRowsPerBand - 1) / kRowsPerBand),
                                  WaterRange{0, 65535, 0});
    ForEachBand(water.height, threads,
                [&](std::size_t band, int first, int end)
                {
                    WaterRange r{0, 65535, 0};
                    for (int y = first; y < end; ++y)
                    {
                        const std::uint16_t* w = water.row(y);
                        const std::uint16_t* h = withTerrain ? terrain.row(y) : nullptr;
                        for (int x = 0; x < water.width; ++x)
                        {
                            if (withTerrain && w[x] > h[x])
                                r.maxDepth = std::max(r.maxDepth, static_cast<std::uint16_t>(w[x] - h[x]));
                            if (!withTerrain && w[x] != 0)
                            {
                                r.lowSurface = std::min(r.lowSurface, w[x]);
                                r.highSurface = std::max(r.highSurface, w[x]);
                            }
                        }
                    }
                    bands[band] = r;
                });
    WaterRange range{0, 65535, 0};
    for (const WaterRange& band : bands)
    {
        range.maxDepth = std::max(range.maxDepth, band.maxDepth);
        range.lowSurface = std::min(range.lowSurface, band.lowSurface);
        range.highSurface = std::max(range.highSurface, band.highSurface);
    }
    if (range.lowSurface > range.highSurface) // no wet sample
        range.lowSurface = range.highSurface = 0;
    return range;
}

Rgb WaterPixel(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain, int x, int y,
               float pixelSize, const ReliefSettings& settings, WaterRange range)
{
    const int w = water.at(x, y);
    if (terrain.data == nullptr)
    {
        if (w == 0)
            return {kDryGreyWithoutTerrain, kDryGreyWithoutTerrain, kDryGreyWithoutTerrain};
        return WaterColour(SurfaceFraction(w, range));
    }
    const int h = terrain.at(x, y);
    if (w > h)
        return WaterColour(DepthFraction(w - h, range));
    const std::uint8_t grey = Channel(kDryGrey * BrightnessAt(terrain, x, y, SlopeFactor(pixelSize, settings)));
    return {grey, grey, grey};
}

void RenderWater(ConstRasterView<std::uint16_t> water, ConstRasterView<std::uint16_t> terrain, float pixelSize,
                 const ReliefSettings& settings, std::uint8_t* rgb, unsigned threads)
{
    if (water.width <= 0 || water.height <= 0)
        return;
    const bool withTerrain = terrain.data != nullptr;
    const WaterRange range = FindWaterRange(water, terrain, threads);
    // The colour of every depth (or surface height) the map holds.
    std::vector<Rgb> colours;
    if (withTerrain)
        for (int d = 0; d <= range.maxDepth; ++d)
            colours.push_back(WaterColour(DepthFraction(d, range)));
    else
        for (int s = range.lowSurface; s <= range.highSurface; ++s)
            colours.push_back(WaterColour(SurfaceFraction(s, range)));
    const double q = SlopeFactor(pixelSize, settings);
    const std::size_t rowBytes = std::size_t(water.width) * 3;
    ParallelFor(std::size_t(water.height), threads,
                [&](std::size_t row)
                {
                    const int y = static_cast<int>(row);
                    const std::uint16_t* w = water.row(y);
                    std::uint8_t* out = rgb + row * rowBytes;
                    const auto put = [out](int x, const Rgb& colour)
                    {
                        out[3 * x] = colour[0];
                        out[3 * x + 1] = colour[1];
                        out[3 * x + 2] = colour[2];
                    };
                    if (!withTerrain)
                    {
                        const Rgb dry{kDryGreyWithoutTerrain, kDryGreyWithoutTerrain, kDryGreyWithoutTerrain};
                        for (int x = 0; x < water.width; ++x)
                            put(x, w[x] == 0 ? dry : colours[std::size_t(w[x] - range.lowSurface)]);
                        return;
                    }
                    const std::uint16_t* h = terrain.row(y);
                    ForEachBrightness(terrain, y, q,
                                      [&](int x, double b)
                                      {
                                          if (w[x] > h[x])
                                              put(x, colours[std::size_t(w[x] - h[x])]);
                                          else
                                          {
                                              const std::uint8_t grey = Channel(kDryGrey * b);
                                              put(x, {grey, grey, grey});
                                          }
                                      });
                });
}

namespace
{
constexpr int kLegendLines = 3;
constexpr OverviewColour kLegendBackground = {56, 56, 56};
constexpr OverviewColour kLegendText = {235, 235, 235};

// Font pixels per glyph cell: larger on pictures wide enough to shrink when shown.
int LegendScale(int width)
{
    return width >= 1024 ? 2 : 1;
}

std::string Metres(double metres)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f M", metres);
    return text;
}
} // namespace

WaterLegendEnds WaterLegendMetres(WaterRange range, bool withTerrain, const ReliefSettings& settings,
                                  const HeightMapping* mapping)
{
    // A depth is a difference of heights, which the offset does not change.
    const auto metres = [&](int samples, bool height)
    {
        if (mapping != nullptr)
            return (height ? mapping->offset : 0.0) + mapping->gain * samples;
        return samples * settings.heightScale * 255.0 / 65535.0;
    };
    if (withTerrain)
        return {true, 0, metres(range.maxDepth, false)};
    return {false, metres(range.highSurface, true), metres(range.lowSurface, true)};
}

int WaterLegendRows(int width)
{
    const int scale = LegendScale(width);
    return (kLegendLines * (kGlyphHeight + 3) + 3) * scale;
}

void DrawWaterLegend(std::uint8_t* rgb, int width, WaterRange range, bool withTerrain,
                     const ReliefSettings& settings, const HeightMapping* mapping)
{
    const WaterLegendEnds ends = WaterLegendMetres(range, withTerrain, settings, mapping);
    const int scale = LegendScale(width);
    const int rows = WaterLegendRows(width);
    Picture legend = MakePicture(width, rows, 3, kLegendBackground);
    const int margin = 3 * scale;
    const int line = (kGlyphHeight + 3) * scale;
    const auto text = [&](int x, int row, const std::string& words)
    {
        DrawText(legend, x, margin + row * line, words, kLegendText, scale, 0, 0, width, rows);
        return x + TextWidth(words, scale) + kGlyphAdvance * scale;
    };
    const auto swatch = [&](int x, int row, int length, auto colourAt)
    {
        const int top = margin + row * line;
        for (int y = top; y < top + kGlyphHeight * scale && y < rows; ++y)
            for (int i = 0; i < length && x + i < width; ++i)
            {
                const Rgb colour = colourAt(length > 1 ? double(i) / double(length - 1) : 0.0);
                std::memcpy(&legend.pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x + i)) * 3],
                            colour.data(), 3);
            }
        return x + length + kGlyphAdvance * scale;
    };
    const int ramp = 48 * scale;
    const int box = kGlyphWidth * 2 * scale;
    if (withTerrain)
    {
        text(margin, 0, "WATER DEPTH OVER THE TERRAIN");
        int x = text(margin, 1, "0 M");
        // Light for shallow, dark for the deepest depth, along the square root the colours use.
        x = swatch(x, 1, ramp, [](double f) { return WaterColour(f); });
        text(x, 1, Metres(ends.last));
        const std::uint8_t dry = static_cast<std::uint8_t>(kDryGrey);
        x = swatch(margin, 2, box, [dry](double) { return Rgb{dry, dry, dry}; });
        text(x, 2, "GREY RELIEF: DRY LAND");
    }
    else
    {
        text(margin, 0, "WATER SURFACE HEIGHT, ALSO ON LAND");
        int x = text(margin, 1, Metres(ends.first));
        x = swatch(x, 1, ramp, [](double f) { return WaterColour(f); });
        text(x, 1, Metres(ends.last));
        const std::uint8_t none = kDryGreyWithoutTerrain;
        x = swatch(margin, 2, box, [none](double) { return Rgb{none, none, none}; });
        text(x, 2, "0: NO WATER REACHED");
    }
    std::memcpy(rgb, legend.pixels.data(), legend.pixels.size());
}
