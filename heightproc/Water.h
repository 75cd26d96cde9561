#pragma once
// Water processing: the compressed water mask becomes a water raster on the height raster's
// grid (sea level, bank smoothing of the heights, outward fill).
#include "heightproc/ProcessSettings.h"
#include "support/RasterView.h"
#include "support/Sinks.h"

#include <cstdint>
#include <string>
#include <vector>

struct WaterResult
{
    std::vector<std::uint16_t> water; // empty: no water raster, nothing to write
    std::string failure;              // why there is none, for the command line's warnings
};

// Reads settings.resolutionScale, seaLevel, bank, hillSize; may smooth `height` in place when
// blurHeight is set. Advances the progress bar by up to 100 in two halves.
WaterResult ProcessWater(const ProcessSettings& settings, const std::string& waterPath, RasterView<std::uint16_t> height,
                         bool blurHeight, IProgressSink& progress, IMessageSink& messages);
