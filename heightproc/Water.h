#pragma once
// Water processing: the compressed water mask becomes a water raster on the height raster's
// grid (sea level, bank smoothing of the heights, outward fill).
//
// Water raster: the height raster's shape; 0 = no water, any other value a water-surface height
// in the height raster's units.
#include "heightproc/ProcessSettings.h"
#include "base/LargeBuffer.h"
#include "base/RasterView.h"
#include "base/Sinks.h"
#include "support/BitMask.h" // the captions of a mask that cannot be read

#include <cstdint>
#include <string>
#include <vector>

class CBitMask;

using WaterRaster = std::vector<std::uint16_t, LargeAllocator<std::uint16_t>>;

// What the bank smoothing did to the heights.
struct BankSmoothingCount
{
    long long moved = 0; // samples whose height changed
    int largestRise = 0; // the most a sample rose, in samples
    int largestFall = 0; // the most a sample fell, in samples
};

struct WaterResult
{
    WaterRaster water;   // empty: no water raster, nothing to write
    std::string failure; // why there is none, for the command line's warnings
    BankSmoothingCount smoothing;
};

// Reads settings.resolutionScale, seaLevel, bank, hillSize; may smooth `height` in place when
// blurHeight is set. Advances the progress bar by up to 100 in two halves. A ".wtr" file that
// cannot be opened or is not a valid mask is reported with its path as text (captions
// kCannotOpenWtrCaption / "Invalid WTR file") and gives no water raster; `height` is unchanged.
WaterResult ProcessWater(const ProcessSettings& settings, const std::string& waterPath, RasterView<std::uint16_t> height,
                         bool blurHeight, IProgressSink& progress, IMessageSink& messages);

// Where the blocks of a mask land on a width x height map at a scale, counted exactly as the
// placement of the water stage walks them: block (bx, bz) starts at sample
// (trunc(bx * B / scale), top + trunc(bz * B / scale)), top = height - 1 - zBlocks * B / scale
// (whole division), the steps summed in single precision; a block reaching the map's last row
// or column, or above its first, is skipped.
struct WaterPlacement
{
    long placed = 0;
    long skipped = 0;  // blocks that fall partly outside the map
    int top = 0;       // first row of the top block row (above 0: rows left without any block)
    int right = 0;     // one past the last column the placed blocks reach
    // Every block placed and the map covered from its first row to within a sample of its right
    // edge, as a mask of (width - 1) * scale by (height - 1) * scale cells is.
    bool fits(int width) const { return skipped == 0 && top == 0 && right >= width - 2; }
};
WaterPlacement MeasureWaterPlacement(long xBlocks, long zBlocks, int blockSize, int width, int height, int scale);

// The first sample column of each block column and the first sample row of each block row, as
// the water stage walks them (a row may start above the map; whether a block is drawn is
// DrawWaterBlock's to say). The cells of a block follow from there, 1 / scale sample each.
struct WaterBlockStarts
{
    std::vector<int> columns; // xBlocks entries
    std::vector<int> rows;    // zBlocks entries
};
WaterBlockStarts FindWaterBlockStarts(long xBlocks, long zBlocks, int blockSize, int height, int scale);

// A read-only view of the same raster.
inline ConstRasterView<std::uint16_t> AsConst(RasterView<std::uint16_t> view)
{
    return {view.data, view.width, view.height, view.stride};
}

// The sea height of a sea level -1..255: level * 257; -257 means no sea.
inline int SeaHeight(long seaLevel)
{
    return static_cast<int>(seaLevel * 257);
}

// The run's sea height: the sample given in metres, else SeaHeight of the sea level.
inline int SeaHeight(const ProcessSettings& settings)
{
    return settings.seaSample >= 0 ? settings.seaSample : SeaHeight(settings.seaLevel);
}

// Draws one decoded block of blockSize x blockSize cells (values 0..15, > 7 is water) with its
// top-left cell at sample (x, y); each sample receives the cells of a scale x scale square at
// single-precision positions. A block that does not end inside the raster (x + blockSize / scale
// must stay below the width, the same for y) or starts left of or above it is left out whole.
// A water sample gets the larger of its height and the sea height, at least 1.
void DrawWaterBlock(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int x, int y,
                    const std::uint8_t* cells, int blockSize, int scale, int seaHeight);

// Draws every block of a loaded mask: block rows run downwards from row
// H - 1 - (blocks down * B) / scale, block columns from the left edge, both stepping by B / scale
// in single precision. Absent blocks, and blocks DrawWaterBlock leaves out, are not decoded.
void PlaceWaterBlocks(CBitMask& mask, ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water,
                      int scale, int seaHeight);

// Every sample at or below the sea height becomes sea water (the sea height); with the sea
// height 0 that is 0, no water.
void FillSea(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int seaHeight);

// Pulls the ground next to water towards the mean water level of its hill window, in place
// (only a sample's own height is read, so no copy is needed). Samples below the sea height, and
// samples without water within `bank` or within `hillSize`, keep their height. Advances the
// progress bar from its current position by up to 50. Answers how many samples moved and how far.
BankSmoothingCount SmoothBanks(RasterView<std::uint16_t> height, ConstRasterView<std::uint16_t> water, int bank,
                               int hillSize, int seaHeight, IProgressSink& progress);

// Spreads water over dry interior samples sweep by sweep, each newly wet sample taking the
// truncated mean of its wet neighbours at the start of the sweep, until no dry interior sample
// touches water. Border samples are never filled. Advances the progress bar by up to 50.
// `denseLimit` (0: automatic) is the frontier size above which a sweep scans the whole raster
// instead of the last sweep's neighbours; tests lower it to cover both ways.
void FillWater(RasterView<std::uint16_t> water, IProgressSink& progress, std::size_t denseLimit = 0);
