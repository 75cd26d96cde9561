#pragma once
// Height maps as they arrive from terrain tools and GIS: one grey band of 8 or 16 bits in a PNG
// (read with libpng) or, when the build has GDAL, in any raster GDAL reads (GeoTIFF, ...); and
// height or water files written back as a 16-bit grey PNG or GeoTIFF.
#include "base/Sinks.h"

#include <cstdint>
#include <string>
#include <vector>

// The sizes a height map may have (the process command's width and height ranges).
inline constexpr int kHeightImageMinSide = 256;
inline constexpr int kHeightImageMaxSide = 20000;

struct HeightImage
{
    std::vector<std::uint16_t> samples; // row-major, row 0 the top row
    int width = 0;
    int height = 0;
    int sourceBits = 0; // 8 or 16: the bit depth of the image's band
    std::string format; // "PNG" or the GDAL driver's short name ("GTiff")
};

// Reads one grey band of 8 or 16 bits; 8-bit values v become v * 257, so 255 is the highest
// height 65535. Refused, with a sentence in `error` that names the path and the reason: files
// that cannot be opened or decoded, more than one band (colour, alpha, palette), other bit depths
// or sample types (1, 2, 4 or 32 bits, signed, floating point), and widths or heights outside
// 256..20000 (checked before anything is allocated). Files that are not PNG go to GDAL, or are
// refused when the build has none. `image` is empty after a failure.
bool ReadHeightImage(const std::string& path, HeightImage& image, std::string& error);

// Whether this build reads and writes rasters through GDAL.
bool HeightImageHasGdal();

enum class HeightImageFormat
{
    Png,
    GeoTiff,
    Unknown,
};

// By the extension, in any letter case: ".png", ".tif" / ".tiff".
HeightImageFormat HeightImageFormatOf(const std::string& path);

// Writes a 16-bit grey PNG or a one-band 16-bit GeoTIFF (pixelSize: the ground size of a
// sample, stored as the TIFF's pixel size with the origin at 0, 0) atomically. False with a
// sentence in `error` when the file cannot be written or GeoTIFF is asked of a build without
// GDAL; an older file of that name is then left as it was.
bool WriteHeightImage(const std::string& path, HeightImageFormat format, const std::uint16_t* samples, int width,
                      int height, float pixelSize, IProgressSink& progress, int progressSpan, std::string& error);
