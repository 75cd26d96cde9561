#pragma once
// The small JSON file beside a height file, "<base>.dat.json", that keeps what the height file
// itself cannot hold: where the map lies (projection and geotransform), what its samples stand
// for in metres, and the file it came from. export reads it to write a georeferenced GeoTIFF.
#include "tools/HeightImage.h"

#include <string>

// "<base>" of "<base>.dat" and of the water file "<base>_w.dat" of the same map.
std::string MapBaseOf(const std::string& datPath);

// "<base>.dat.json" for "<base>.dat" and for the water file "<base>_w.dat" of the same map.
std::string MapSidecarPath(const std::string& datPath);

// Writes the sidecar atomically, with the map's nodata when `nodata` names a mask (kept
// relative to the sidecar's folder). writeFailed with a sentence (path and reason).
Status WriteMapSidecar(const std::string& path, const MapGeoReference& geo, int width, int height,
                       const std::string& source, const MapNodata* nodata = nullptr);

// Reads a sidecar of a width x height map, and into `nodata` when given what it records of the
// map's nodata (the mask's path as found from the sidecar's folder; none: an empty mask).
// Refused with a sentence (path and reason) when it cannot be read (cannotOpen), is not a
// sidecar, or describes a map of another size (invalidInput).
Status ReadMapSidecar(const std::string& path, int width, int height, MapGeoReference& geo,
                      MapNodata* nodata = nullptr);
