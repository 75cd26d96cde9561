#pragma once
// The GDAL side of tools/ (HeightImage.cpp, ShorelineVector.cpp), declared without any GDAL
// header so that GDAL stays out of the core's interface. GdalRaster.cpp and GdalVector.cpp
// implement it inside the GDAL module; the program calls it through GdalLoader.cpp, which loads
// the module on first use and refuses every call when there is none.
#include "tools/HeightImage.h"

#include <string>
#include <vector>

bool GdalAvailable();
// Why GDAL cannot be used ("this build of Altimo has no GDAL support ..."); empty when it can.
std::string GdalMissing();

// Reads one band as ReadHeightImage does with these options. A failure says why, without the
// path.
Status GdalReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image);

// Codes a GeoTIFF in memory (see WriteGeoTiff; the caller writes it atomically).
Status GdalEncodeGeoTiff(const GeoTiffRaster& raster, const MapGeoReference* geo, std::vector<std::uint8_t>& bytes);

// The coordinate system in the ESRI flavour of WKT that ENVI headers hold; empty when `wkt` is
// empty or not a coordinate system GDAL knows.
std::string GdalEsriWkt(const std::string& wkt);

// The units of the coordinate system as an ENVI header names them: "Degrees" for geographic
// systems, "Meters" for projected ones in metres, empty for others (their coordinate system
// string says) and for none.
std::string GdalMapUnits(const std::string& wkt);

// The georeference of a raster (see ReadMapGeoReference); a failure's message without the path.
// A size of 0 x 0 takes any raster and becomes its size.
Status GdalReadGeoReference(const std::string& path, int& width, int& height, MapGeoReference& geo);

// The first band of a raster of width x height pixels as bytes (a nodata mask); a failure's
// message without the path.
Status GdalReadByteRaster(const std::string& path, int width, int height, std::vector<std::uint8_t>& cells);

// The pixel size of a map in metres (see MapPixelSizeMetres).
StatusOr<double> GdalMapPixelSize(const MapGeoReference& geo, int width, int height, std::string& note);

// One file of a coded vector data set: its extension (".shp", ".dbf", ...) and its bytes.
struct CodedFile
{
    std::string extension;
    std::vector<std::uint8_t> bytes;
};

// Codes the lines (x, y pairs one after another) as LineString features of one layer named
// `layer`, with the fields index (the line's position) and points, through the OGR driver
// `driver`, in memory; `extension` is the main file's (".gpkg"). `wkt` empty: no coordinate
// system. `files` gets the main file and, for formats of several files, the others.
Status GdalEncodeLines(const std::string& driver, const std::string& layer, const std::string& extension,
                       const std::vector<std::vector<double>>& lines, const std::string& wkt,
                       std::vector<CodedFile>& files);
