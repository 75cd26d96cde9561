#pragma once
// Shorelines for GIS tools: every line of a shoreline set as a LineString feature with the
// integer fields "index" (its number in the ".sl" file) and "points" (its point count), in a
// GeoPackage, a GeoJSON file or an ESRI shapefile, written through OGR when the build has GDAL.
//
// The ".sl" frame is metres of the water mask: x from the mask's left edge, z upward from its
// bottom edge (banks/Shoreline.h). On a map those metres become mask cells (the banks water
// pixel size), the cells height samples (the resolution scale), placed as process places the
// mask: columns from the map's left edge, the block rows ending one sample above its bottom
// edge. The geotransform then takes the samples (pixel corners, GDAL's convention) to the map's
// coordinates. When the scale does not divide the block size, process puts each block on a
// whole sample, so lines there may lie up to one sample off.
#include "banks/Shoreline.h"
#include "tools/HeightImage.h"

#include <string>

// The OGR driver an output name asks for, by its extension in any letter case: "GPKG" for
// .gpkg, "GeoJSON" for .geojson and .json, "ESRI Shapefile" for .shp; empty for any other.
std::string ShorelineVectorDriver(const std::string& path);
// The extensions ShorelineVectorDriver knows, as a message names them.
inline constexpr const char* kShorelineVectorExtensions = ".gpkg, .geojson, .json or .shp";

// Where the mask of a shoreline set lies on a height map.
struct ShorelinePlacement
{
    MapGeoReference geo; // of the height map
    int mapHeight = 0;   // its rows
    double cellSize = 1; // metres per mask cell, as banks used them
    long scale = 1;      // mask cells along one height sample
    long maskRows = 0;   // the mask's height in cells: z is measured from its bottom edge
    long blockRows = 0;  // block rows times block size: the rows process places on the map
};

struct MapPoint
{
    double x = 0;
    double y = 0;
};

// The map coordinates of a point of the ".sl" file.
MapPoint PlaceShorePoint(const ShorelinePlacement& placement, const ShorePoint& point);

// Writes the lines atomically, in the format ShorelineVectorDriver names (a shapefile's .shx,
// .dbf and .prj beside the .shp, each replaced atomically; a .prj or .cpg of an earlier write
// that this one has no use for is removed). With `placement` the lines get the map's coordinate
// system and coordinates; without, they keep the ".sl" metres (x east, z north) and have none.
// False with a sentence in `error` (path and reason): unknown extension, no GDAL, write failure;
// a file of that name is then left as it was.
bool WriteShorelineVector(const std::string& path, const ShorelineSet& lines, const ShorelinePlacement* placement,
                          std::string& error);
