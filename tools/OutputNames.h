#pragma once
// What an output's name must say, checked by the commands and the batch alike before a job
// writes anything.
#include "base/JobResult.h"
#include "base/Status.h"

#include <initializer_list>
#include <string>

// Ok, or why `path` is refused (invalidSettings): its extension (any letter case) is none of
// `extensions`, the names of the format `format` that the job writes, so that no PNG hides under
// a JPEG name. Streams, FIFOs and devices are written through whatever their name, and an empty
// name is left to the file checks.
Status OutputNameProblem(const std::string& path, const std::string& format,
                         std::initializer_list<const char*> extensions);

// For jobs that write a picture (`plain`: ".bmp", ".png"), or a GeoTIFF when the output ends in
// .tif or .tiff: refuses --like with a plain picture, and fails a GeoTIFF in a build without GDAL.
JobResult GeoTiffOutputProblem(const std::string& output, const std::string& like, const std::string& plain);

// The help of --like for the jobs that may write a GeoTIFF on the map (cliff, preview).
inline constexpr const char* kGeoTiffLikeHelp =
    "for a GeoTIFF: a raster or ENVI header of the same map whose georeference it gets (default: the sidecar "
    "<base>.dat.json, else <base>.raw.hdr, when there is one)";
