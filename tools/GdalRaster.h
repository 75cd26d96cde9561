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

// The coordinate system in the ESRI flavour of WKT that ENVI headers hold; empty when `wkt` is
// empty or not a coordinate system GDAL knows.
std::string GdalEsriWkt(const std::string& wkt);

// The units of the coordinate system as an ENVI header names them: "Degrees" for geographic
// systems, "Meters" for projected ones in metres, empty for others (their coordinate system
// string says) and for none.
std::string GdalMapUnits(const std::string& wkt);

// The georeference of a raster (see ReadMapGeoReference); `reason` without the path.
bool GdalReadGeoReference(const std::string& path, int width, int height, MapGeoReference& geo,
                          std::string& reason);

// The pixel size of a map in metres (see MapPixelSizeMetres).
double GdalMapPixelSize(const MapGeoReference& geo, int width, int height, std::string& note);

// Codes a GeoTIFF on the georeference in memory (see WriteGeoTiffOnMap).
bool GdalEncodeGeoTiffOnMap(const std::uint16_t* samples, int width, int height, const MapGeoReference& geo,
                            bool metres, std::vector<std::uint8_t>& bytes, std::string& reason);
