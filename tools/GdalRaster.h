#pragma once
// The GDAL side of HeightImage.cpp, declared without any GDAL header so that GDAL stays out of
// the core's interface: GdalRaster.cpp implements it when the build found GDAL,
// GdalRasterMissing.cpp (which refuses every call) otherwise.
#include "tools/HeightImage.h"

#include <string>
#include <vector>

bool GdalAvailable();

// Reads one band as ReadHeightImage does with these options. On failure `reason` says why,
// without the path.
bool GdalReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image,
                         std::string& reason);

// Codes the samples as a one-band 16-bit GeoTIFF in memory (the caller writes it atomically).
bool GdalEncodeGeoTiff(const std::uint16_t* samples, int width, int height, float pixelSize,
                       std::vector<std::uint8_t>& bytes, std::string& reason);
