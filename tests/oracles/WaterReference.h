#pragma once
// The water stage written the plain way, sample by sample and sweep by sweep over the whole
// raster, with a work copy for the smoothing and a fill list. Far too slow for real maps; kept as
// the oracle that the fast stages in Water.cpp, BankSmoothing.cpp and WaterFill.cpp are tested
// and benchmarked against.
#include "heightproc/Water.h"

namespace reference
{

void DrawWaterBlock(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int x, int y,
                    const std::uint8_t* cells, int blockSize, int scale, int seaHeight);
void SmoothBanks(RasterView<std::uint16_t> height, ConstRasterView<std::uint16_t> water, int bank, int hillSize,
                 int seaHeight, IProgressSink& progress);
void FillWater(RasterView<std::uint16_t> water, IProgressSink& progress);
// The whole stage, every block decoded and drawn by the functions above.
WaterResult ProcessWater(const ProcessSettings& settings, const std::string& waterPath, RasterView<std::uint16_t> height,
                         bool blurHeight, IProgressSink& progress, IMessageSink& messages);

} // namespace reference
