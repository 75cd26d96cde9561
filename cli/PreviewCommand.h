#pragma once
// The preview job, for the preview command and the batch command's [preview NAME] jobs.
#include "cli/CliSupport.h"
#include "cli/LoadedDat.h"
#include "tools/Relief.h"

#include <string>

struct PreviewOptions
{
    std::string dat;
    std::string png;
    std::string mode = "auto"; // relief, water, or auto: water for names ending in "_w.dat"
    std::string terrain;       // water: the height file under it; empty: "<base>.dat" beside "<base>_w.dat"
    std::string like;          // .tif output: a raster or ENVI header of the same map
    ReliefSettings settings;
    bool summary = true; // the "wrote ..." line (the batch command prints its own)
};

// Renders and writes the picture (a PNG, or a GeoTIFF on the map's georeference when the name
// ends in .tif or .tiff); prints failures on stderr and the summary on stdout (unless quiet).
// Returns the exit code.
int RunPreview(const PreviewOptions& options, const CliContext& context);

// The picture the preview writes for a loaded file, into `rgb` (dat's width x height pixels,
// red, green, blue, rows top first; allocated here): the relief of `dat`, or with `water` the
// depth colouring of the water file `dat` over `terrain` (of dat's size), or of its surface
// alone when terrain holds no samples, with the legend of DrawWaterLegend in WaterLegendRows
// further rows below. Warns when the file's pixel size cannot shade.
void RenderDatPicture(const LoadedDat& dat, const LoadedDat& terrain, bool water, const ReliefSettings& settings,
                      LargeBuffer<std::uint8_t>& rgb);
