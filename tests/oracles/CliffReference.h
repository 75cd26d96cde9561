#pragma once
#include "cliff/CliffExport.h"
#include "codec/DATElevationDB.h"

// The straightforward export: asks the reader for three heights and the pixel size per sample,
// exactly as defined. The test oracle of ComputeCliffMask. `image` is heights' size, row 0 the
// top of the picture.
void ComputeCliffMaskReference(IElevationDB& heights, const CliffSettings& settings, RasterView<std::uint8_t> image);
