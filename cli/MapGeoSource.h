#pragma once
// Where the outputs of a map find its georeference: export, cliff and preview (GeoTIFFs of a
// height or water file) and banks (shorelines placed on the map) share these look-ups, so that
// every output of one map lies in the same place.
#include "tools/HeightImage.h"

#include <string>

// The header an import wrote for the RAW that a height file was processed from: "dem.dat" and
// "dem_w.dat" come from "dem.raw", whose header is "dem.raw.hdr".
std::string ImportHeaderOf(const std::string& dat);

// The georeference of the width x height map of the height or water file `dat`: `like` when it
// is given (a raster or ENVI header of the same map), else the sidecar "<base>.dat.json", else
// the import's "<base>.raw.hdr". A file found rather than asked for that does not fit only
// loses the georeference, with a warning. `source` names the file used, empty when none was.
// False, with the message in `error`, only when `like` cannot be used.
bool FindMapGeoReference(const std::string& dat, const std::string& like, int width, int height,
                         MapGeoReference& geo, std::string& source, std::string& error);

// The georeference and the size of the map that `like` stands for, when the command has no
// height file of its own: a height or water file (.dat; its size from its header, its
// georeference found as above, without `like`), an ENVI header, or any raster GDAL opens.
// False with the message in `error` when it cannot be read or has no georeference.
bool ReadLikeMap(const std::string& like, MapGeoReference& geo, int& width, int& height, std::string& source,
                 std::string& error);

// For commands that write a picture (`plain`: ".bmp", ".png"), or a GeoTIFF when the output ends
// in .tif or .tiff: refuses (exit 2) --like with a plain picture, and (exit 1) a GeoTIFF in a
// build without GDAL. Returns kExitOk or the exit status after printing why.
int CheckGeoTiffOutput(const std::string& output, const std::string& like, const std::string& plain);
