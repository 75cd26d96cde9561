#pragma once
// export as the export command and the batch's [export] jobs run it: a height or water file
// written as a 16-bit grey PNG or GeoTIFF, or a GeoTIFF of heights in metres, on the map's
// georeference.
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "tools/HeightImage.h"
#include "tools/MapGeoTiff.h"

#include <string>
#include <vector>

struct ExportRequest
{
    std::string input;               // the height or water file
    std::string output;              // .png, .tif or .tiff
    std::string like;                // a raster or header of the same map; empty: the sidecar or import header
    std::string heights = "samples"; // or metres
};

// The export command's options and the [export] job's keys, in the order of the command's help.
const JobOptions<ExportRequest>& ExportDescription();

// What the summary of an export says.
struct ExportSummary
{
    HeightImageFormat format = HeightImageFormat::Png;
    bool metres = false;
    int width = 0;
    int height = 0;
    std::string geoSource; // the file the georeference came from; empty: none
    ExportedNodata nodata;
};

// Output "image"; timing "total". Refused: an output that is an input, an output name that is
// not .png, .tif or .tiff, --like or --heights metres with a PNG, heights that are neither
// samples nor metres; failed: a GeoTIFF in a build without GDAL, a file that cannot be read or
// written. Every failure's message has been shown through `messages`.
JobResult RunExportJob(const ExportRequest& request, IProgressSink& progress, IMessageSink& messages,
                       ExportSummary* summary = nullptr);
