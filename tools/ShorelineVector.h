#pragma once
// Shorelines for GIS tools: every line of a shoreline set as a LineString feature with the
// integer fields "index" (its number in the ".sl" file) and "points" (its point count), in a
// GeoPackage, a GeoJSON file or an ESRI shapefile, written through OGR when the build has GDAL.
//
// The ".sl" frame is metres of the water mask: x from the mask's left edge, z upward from its
// bottom edge (banks/Shoreline.h). On a map those metres become mask cells (the banks water
// pixel size), and a cell lands where process puts it: in its block, which starts on the sample
// the water stage walks it to (heightproc/Water.h), 1 / scale sample further for each cell
// into the block. The geotransform then takes the samples (pixel corners, GDAL's convention) to
// the map's coordinates. So the lines follow the water the process job draws for any block size.
#include "banks/Shoreline.h"
#include "heightproc/Water.h"
#include "tools/HeightImage.h"

#include <string>
#include <vector>

// The OGR driver an output name asks for, by its extension in any letter case: "GPKG" for
// .gpkg, "GeoJSON" for .geojson and .json, "ESRI Shapefile" for .shp; empty for any other.
std::string ShorelineVectorDriver(const std::string& path);
// The extensions ShorelineVectorDriver knows, as a message names them.
inline constexpr const char* kShorelineVectorExtensions = ".gpkg, .geojson, .json or .shp";

// Where the mask of a shoreline set lies on a height map.
struct ShorelinePlacement
{
    MapGeoReference geo;     // of the height map
    double cellSize = 1;     // metres per mask cell, as banks used them
    std::string cellSizeSource; // how PlaceMaskOnMap found it from the map; empty: given
    long scale = 1;          // mask cells along one height sample
    long maskRows = 0;       // the mask's height in cells: z is measured from its bottom edge
    int blockSize = 1;       // the mask's block size in cells
    WaterBlockStarts starts; // the sample each block column and row starts on
};

// Reads the mask `wtr` and the map of `like` (ReadLikeMap) and places the mask's lines at
// `scale`. With cellSize 0 the cell size is the map's pixel size / scale (the height file's
// pixel size for a .dat, else its georeference's), for the generation to use too; a map without
// one keeps `fallbackCellSize`, with a warning. A mask whose blocks pass the map's edges is named
// in `warnings`. Refused with the reason when the map cannot be used; a mask that does not load
// is left to the job that reads it (placement.blockSize is 0 then).
Status PlaceMaskOnMap(const std::string& wtr, const std::string& like, long scale, double cellSize,
                      double fallbackCellSize, ShorelinePlacement& placement, std::vector<std::string>& warnings);

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
// Refused with a sentence (path and reason): unknown extension, no GDAL, write failure; a file
// of that name is then left as it was.
Status WriteShorelineVector(const std::string& path, const ShorelineSet& lines, const ShorelinePlacement* placement);
