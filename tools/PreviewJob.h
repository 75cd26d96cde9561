#pragma once
// The relief and water preview as the preview command, the batch and the demo run it: a height
// file as a shaded relief, or a water file as a depth colouring over its terrain, in a PNG or,
// for a name ending in .tif or .tiff, an RGB GeoTIFF on the map's georeference.
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/LargeBuffer.h"
#include "base/Sinks.h"
#include "tools/HeightImage.h"
#include "tools/LoadedDat.h"
#include "tools/MapUnits.h"
#include "tools/Relief.h"

#include <cstdint>
#include <functional>
#include <string>

struct PreviewJob
{
    std::string dat;
    std::string output;
    std::string mode = "auto"; // relief, water, or auto: water for names ending in "_w.dat"
    std::string terrain;       // water: the height file under it; empty: "<base>.dat" beside "<base>_w.dat"
    std::string like;          // .tif output: a raster or ENVI header of the same map
    ReliefSettings settings;
    // Where the height scale comes from: settings.heightScale as given (the batch, the demo), or
    // the map's own from the sidecar of `dat` (the command line's auto and its default).
    HeightScaleAsk heightScale = HeightScaleAsk::given;
    // The output's name checked once the files have been (a PNG or a GeoTIFF; `like` only for a
    // GeoTIFF), as the command line and the batch check it.
    bool checkOutput = false;
    // Run after those checks and before anything is read. A result that is not ok stops the job
    // with it.
    std::function<JobResult()> prepare;
};

// The preview as the preview command and the batch's [preview] jobs are told it, one row per
// option.
const JobOptions<PreviewJob>& PreviewDescription();

// The job those rows fill: the map's own height scale unless one is given, and the output's name
// checked (a PNG or a GeoTIFF, --like only for a GeoTIFF) once the files have been.
PreviewJob DescribedPreviewJob();

// What the summary of a written preview says.
struct PreviewSummary
{
    int width = 0;
    int rows = 0;            // the map's rows, and the legend's below a water picture's
    std::string what;        // "shaded relief", "water surface", "water depth over <terrain>"
    std::string geoSource;   // the file a GeoTIFF's georeference came from; empty: none
    HeightScaleChoice heightScale; // the scale used and the map's mapping, when known
    bool legend = false;           // a water picture's legend below it, with these ends
    WaterLegendEnds legendMetres;
    MapNodata nodata;        // the source's nodata cells, filled at import, that the picture shows
};

// Output "preview"; timing "total". Every failure's message has been shown through `messages`.
JobResult RunPreviewJob(const PreviewJob& job, IProgressSink& progress, IMessageSink& messages,
                        PreviewSummary* summary = nullptr);

// The picture the preview writes for a loaded file, into `rgb` (dat's width x height pixels,
// red, green, blue, rows top first; allocated here): the relief of `dat`, or with `water` the
// depth colouring of the water file `dat` over `terrain` (of dat's size), or of its surface
// alone when terrain holds no samples, with the legend of DrawWaterLegend in WaterLegendRows
// further rows below, in real metres with the map's `mapping`. Returns a warning when the file's
// pixel size cannot shade, else empty.
std::string RenderDatPicture(const LoadedDat& dat, const LoadedDat& terrain, bool water,
                             const ReliefSettings& settings, LargeBuffer<std::uint8_t>& rgb,
                             const HeightMapping* mapping = nullptr);
