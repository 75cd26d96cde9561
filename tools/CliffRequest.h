#pragma once
// What a cliff export is told, described once for the cliff command and the batch's [cliff]
// jobs: the height file, the mask to write (an 8-bit BMP, or a GeoTIFF on the map), the map a
// GeoTIFF is placed on, and the page's fields, whose height scale may be the map's own.
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "cliff/CliffExport.h"
#include "tools/MapUnits.h"

#include <functional>
#include <string>

struct CliffRequest
{
    std::string dat;
    std::string output; // .bmp, or .tif/.tiff for a GeoTIFF
    std::string like;   // GeoTIFF: a raster or ENVI header of the same map
    CliffSettings settings;
    HeightScaleAsk heightScale = HeightScaleAsk::byDefault;
};

const JobOptions<CliffRequest>& CliffDescription();

// What a run found out, for its summary.
struct CliffAnswer
{
    HeightScaleChoice scale;
    std::string geoSource; // a GeoTIFF's georeference; empty: none
};

// Checks the output's name and, for a GeoTIFF, the files, chooses the height scale and writes the
// mask. Warnings go to `warn` as they come; every failure's message has been shown through
// `messages`. `prepare` runs once the checks have passed, before anything is read.
JobResult RunCliffRequest(CliffRequest& request, IProgressSink& progress, IMessageSink& messages,
                          const std::function<void(const std::string&)>& warn, CliffAnswer& answer,
                          const std::function<void()>& prepare = {});
