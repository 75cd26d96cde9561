#pragma once
// Where the outputs of a map find its georeference: export, cliff and preview (GeoTIFFs of a
// height or water file) and banks (shorelines placed on the map) share these look-ups, so that
// every output of one map lies in the same place.
#include "tools/HeightImage.h"

#include <string>
#include <vector>

// The header an import wrote for the RAW that a height file was processed from: "dem.dat" and
// "dem_w.dat" come from "dem.raw", whose header is "dem.raw.hdr".
std::string ImportHeaderOf(const std::string& dat);

// The georeference of the width x height map of the height or water file `dat`: `like` when it
// is given (a raster or ENVI header of the same map), else the sidecar "<base>.dat.json", else
// the import's "<base>.raw.hdr". A file found rather than asked for that does not fit only
// loses the georeference, with a warning added to `warnings`. The answer names the file used,
// empty when none was; refused, with the message, only when `like` cannot be used.
StatusOr<std::string> FindMapGeoReference(const std::string& dat, const std::string& like, int width, int height,
                                          MapGeoReference& geo, std::vector<std::string>& warnings);

// The georeference and the size of the map that `like` stands for, when the command has no
// height file of its own: a height or water file (.dat; its size from its header, its
// georeference found as above, without `like`), an ENVI header, or any raster GDAL opens.
// The answer names the file the georeference came from; refused with the message when it cannot
// be read or has no georeference; a sidecar or header found beside it that does not fit is named
// in `warnings`.
StatusOr<std::string> ReadLikeMap(const std::string& like, MapGeoReference& geo, int& width, int& height,
                                  std::vector<std::string>& warnings);

// What the map of the height or water file `dat` (width x height) records of its source's
// nodata: from the sidecar "<base>.dat.json", else from the import's "<base>.raw.hdr" when it
// describes a map of that size. An empty mask when neither records any; a file that cannot be
// read adds a warning to `warnings`.
MapNodata FindMapNodata(const std::string& dat, int width, int height, std::vector<std::string>& warnings);
