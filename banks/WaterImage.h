#pragma once
// The water image and the narrow-water filter: the first two stages of the shoreline
// generation.
//
// Images here are 8-bit grey, stored like the support library's bitmaps: rows bottom-up (memory
// row m holds image row height - 1 - m), each row padded to a multiple of 4 bytes. A value of
// 128 or more is water.
#include "base/LargeBuffer.h"
#include "base/RasterView.h"

#include <cstdint>
#include <vector>

class CBitMask;

// An owning 8-bit grey image in bitmap layout (see above). Grey value v shows as (v, v, v).
struct WaterImage
{
    int width = 0;
    int height = 0;
    int stride = 0;                 // bytes per row, a multiple of 4
    // stride * height bytes, memory row 0 = bottom image row
    std::vector<std::uint8_t, LargeAllocator<std::uint8_t>> bits;

    WaterImage() = default;
    // All pixels 0, without a pass that writes them: a new block of `bits` reads as zero.
    WaterImage(int w, int h);

    // The pixels by memory row: view.at(c, m) is column c of image row height - 1 - m.
    RasterView<std::uint8_t> view() { return {bits.data(), width, height, stride}; }
    ConstRasterView<std::uint8_t> view() const { return {bits.data(), width, height, stride}; }
    ConstRasterView<std::uint8_t> constView() const { return view(); }
    // The value at column c of image row y (0 = top row).
    std::uint8_t atTop(int c, int y) const
    {
        return bits[std::size_t(height - 1 - y) * std::size_t(stride) + std::size_t(c)];
    }
};

// Draws one decoded block of water values (blockSize rows of blockSize bytes, each 0..15) into
// the water image, down-scaled by `scale` (1..50). x and y are the image column of the block's
// left edge and the image row of its top edge (counted from the top). Each cell lands on image
// pixel (trunc(x + c / scale), trunc(y + r / scale)) with the fractions accumulated by repeated
// single-precision addition, as the value (cell * 33) mod 256; where several cells fall on one
// pixel the one with the highest row, then column, wins. A block at a negative position, or one
// whose blockSize / scale pixels would pass the right or bottom edge, is not drawn at all.
// Writes only the pixels that end up holding a value (about (blockSize / scale)^2 of them).
void DrawMaskBlock(RasterView<std::uint8_t> image, int x, int y, const std::uint8_t* block, int blockSize, int scale);

// The water image of a loaded mask at a resolution scale (1..50): (xRes / scale) x (zRes / scale)
// pixels, every block drawn with DrawMaskBlock at the column of its left edge and the row of
// its top edge, both walked in single precision in steps of blockSize / scale from 0 and from
// height - zBlocks * blockSize / scale (so the last block row ends at the bottom edge); the rest
// is 0. Decodes every block once, so corrupt ones are counted in mask.corruptBlocks().
WaterImage DrawWaterImage(CBitMask& mask, int scale);

// Writes the filtered image: every pixel 0 except water pixels (value >= 128) at least R
// pixels from every border, which become 128 where the average of the (2R + 1)^2 window around
// them (a wrapping signed 32-bit sum divided by the window area) is 128 or more, and their
// value shifted right by 2 (32..63, land for the tracer) otherwise. When 2R is at least the
// width or the height nothing is filtered and the result is all 0. Writes every pixel (not the
// padding of the rows). `source` and `destination` have the same size and do not overlap;
// R >= 0. Linear in the pixel count whatever R is; bands of rows run side by side.
void FilterNarrowWater(ConstRasterView<std::uint8_t> source, RasterView<std::uint8_t> destination, int R);
