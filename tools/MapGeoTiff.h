#pragma once
// A map's height file written out for GIS tools: its samples (export) and its cliff mask as
// GeoTIFFs on the georeference that FindMapGeoReference gives, so that every output of one map
// lies in the same place; without a georeference, on the map's own metres.
#include "base/Sinks.h"
#include "cliff/CliffExport.h"
#include "tools/HeightImage.h"

#include <string>
#include <vector>

struct MapRasterWrite
{
    std::string dat;    // the height or water file
    std::string output; // .png or .tif/.tiff (the cliff mask: .tif/.tiff)
    std::string like;   // a raster or ENVI header of the same map; empty: the sidecar or import header
    // Answers: the file the georeference came from (empty: none) and what did not fit on the way.
    std::string geoSource;
    std::vector<std::string> warnings;
    int width = 0;
    int height = 0;
};

// What an export did with the map's nodata: what the map records of it, and how many cells the
// output marks.
struct ExportedNodata
{
    MapNodata recorded;
    long long marked = 0;
};

// The height file as a 16-bit grey PNG or GeoTIFF, or (`metres`) a GeoTIFF of 32-bit heights in
// metres through the map's gain and offset. A GeoTIFF marks the cells that the map's nodata mask
// (FindMapNodata) records as its source's nodata: NoData in metres, a mask band for samples; a
// mask that cannot be read is named in a warning and nothing marked. Refused with
// "<path>: <why>".
Status ExportHeightFile(MapRasterWrite& write, bool metres, IProgressSink& progress, ExportedNodata* nodata = nullptr);

// The cliff mask of the height file as a one-band 8-bit GeoTIFF, north row first as in the
// height file (the BMP stores it last). Refused with "<path>: <why>".
Status WriteCliffGeoTiff(MapRasterWrite& write, const CliffSettings& settings, IProgressSink& progress);
