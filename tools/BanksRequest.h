#pragma once
// What a shoreline run is told, described once for the banks command and the batch's [banks]
// jobs: the mask, the shoreline file, the picture and the GIS lines beside it, the map the lines
// are placed on, and the page's fields with the main dialog's scale.
#include "banks/GenerateShorelines.h"
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "tools/ShorelineVector.h"

#include <functional>
#include <string>

struct BanksRequest
{
    std::string wtr;
    std::string output;  // the shoreline file (.sl)
    std::string preview; // PNG of the filtered water image with the shorelines; empty: none
    std::string vector;  // GeoPackage, GeoJSON or shapefile; empty: none
    std::string like;    // the map the vector lines are placed on
    BanksSettings settings;
    bool cellSizeGiven = false; // water-pixel-size; else with `like` the map's pixel size / scale
};

const JobOptions<BanksRequest>& BanksDescription();

// What a run made, for its summary.
struct BanksAnswer
{
    BanksResult generated;
    ShorelinePlacement placement;
    // The vector lines could not be written: the result's message, not yet shown by the job.
    bool vectorFailed = false;
};

// Checks the output names and the vector output, places the lines on `like`'s map, runs the
// shoreline job and writes the vector lines. Warnings of the placement go to `warn` as they come;
// every failure's message but a vector write's has been shown through `messages`. `prepare` runs
// once the checks have passed, before the mask is read.
JobResult RunBanksRequest(const BanksRequest& request, IMessageSink& messages,
                          const std::function<void(const std::string&)>& warn, BanksAnswer& answer,
                          const std::function<void()>& prepare = {});
