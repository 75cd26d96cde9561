#include "banks/WaterImage.h"

#include "base/Concurrency.h"
#include "support/BitMask.h"

#include <algorithm>
#include <cassert>
#include <cstring>

WaterImage::WaterImage(int w, int h)
    : width(w), height(h), stride((w + 3) / 4 * 4), bits(std::size_t(stride) * std::size_t(h))
{
    assert(w >= 0 && h >= 0);
}

namespace
{
// Where the cells of a block land along one axis: the image positions that the cell-by-cell walk
// visits (start plus the float step added once per cell) until it reaches `limit`. Returns how
// many cells land inside.
int WalkPositions(int start, float step, int count, int limit, int* positions)
{
    float position = static_cast<float>(start);
    int inside = 0;
    for (; inside < count; ++inside)
    {
        if (position >= static_cast<float>(limit))
            break;
        positions[inside] = static_cast<int>(position);
        position += step;
    }
    return inside;
}
} // namespace

void DrawMaskBlock(RasterView<std::uint8_t> image, int x, int y, const std::uint8_t* block, int blockSize, int scale)
{
    assert(scale >= 1 && blockSize >= 1);
    if (x < 0 || y < 0)
        return;
    const int n = blockSize / scale;
    if (x + n > image.width || y + n > image.height)
        return;

    // Cells are written in row order and later cells overwrite earlier ones, so a pixel ends up
    // with the last cell that lands on it: of the rows landing on one image row only the last
    // counts, and likewise for the columns. Walking both axes once and writing just those
    // winners gives the same pixels as the cell-by-cell loop at a fraction of the writes.
    const float inv = 1.0f / static_cast<float>(scale);
    std::vector<int> columns(std::size_t(blockSize) * 2);
    int* const rows = columns.data() + blockSize;
    const int columnCount = WalkPositions(x, inv, blockSize, image.width, columns.data());
    const int rowCount = WalkPositions(y, inv, blockSize, image.height, rows);

    for (int r = 0; r < rowCount; ++r)
    {
        if (r + 1 < rowCount && rows[r + 1] == rows[r])
            continue;
        std::uint8_t* const out = image.row(image.height - 1 - rows[r]);
        const std::uint8_t* const cells = block + std::size_t(r) * std::size_t(blockSize);
        for (int c = 0; c < columnCount; ++c)
        {
            if (c + 1 < columnCount && columns[c + 1] == columns[c])
                continue;
            out[columns[c]] = static_cast<std::uint8_t>(cells[c] * 33);
        }
    }
}

namespace
{
// At scale 1 every block the drawing places lands on whole pixels, one cell per pixel: the
// block rows are independent bands of image rows, drawn side by side. Every block is decoded
// (also those not drawn, so that a corrupt one is found); only the cells of drawn blocks are
// written, the rest of the new image reads as zero already.
// Exact while the float positions of the general drawing are whole numbers (below 2^24).
bool DrawsWholeBlocks(const CBitMask& mask, int scale)
{
    const long limit = 1L << 24;
    return scale == 1 && mask.getXRes() + mask.m_blockSize < limit && mask.getZRes() + mask.m_blockSize < limit;
}

WaterImage DrawWholeBlocks(CBitMask& mask)
{
    const int width = static_cast<int>(mask.getXRes());
    const int height = static_cast<int>(mask.getZRes());
    WaterImage image(width, height);
    const long side = mask.m_blockSize;
    const long xBlocks = mask.getXBlocks();
    // Image row of the top of block row 0: the last block row ends at the bottom edge, and a
    // block row starting above the top edge is not drawn.
    const long top = long(height) - mask.getZBlocks() * side;
    std::vector<std::uint8_t> corrupt(std::size_t(xBlocks) * std::size_t(mask.getZBlocks()), 0);
    RunInBands(0, static_cast<int>(mask.getZBlocks()), static_cast<int>(WorkerCount()),
               [&](int, int firstRow, int endRow)
               {
                   std::vector<std::uint8_t> cells(std::size_t(side) * std::size_t(side));
                   RasterView<std::uint8_t> view = image.view();
                   for (long zb = firstRow; zb < endRow; ++zb)
                   {
                       const long y0 = top + zb * side;
                       for (long xb = 0; xb < xBlocks; ++xb)
                       {
                           const CBitMask::BlockRead read = mask.readBlock(xb, zb, cells.data());
                           if (read == CBitMask::BlockRead::corrupt)
                               corrupt[std::size_t(zb * xBlocks + xb)] = 1;
                           // Blocks passing the right edge, or the top, are not drawn.
                           if (y0 < 0 || (xb + 1) * side > width || read != CBitMask::BlockRead::cells)
                               continue;
                           for (long r = 0; r < side; ++r)
                           {
                               std::uint8_t* out = view.row(int(height - 1 - (y0 + r))) + xb * side;
                               for (long c = 0; c < side; ++c)
                                   out[c] = static_cast<std::uint8_t>(cells[std::size_t(r * side + c)] * 33);
                           }
                       }
                   }
               });
    for (long zb = 0; zb < mask.getZBlocks(); ++zb)
        for (long xb = 0; xb < xBlocks; ++xb)
            if (corrupt[std::size_t(zb * xBlocks + xb)])
                mask.markCorrupt(xb, zb);
    return image;
}

}

WaterImage DrawWaterImage(CBitMask& mask, int scale)
{
    if (DrawsWholeBlocks(mask, scale))
        return DrawWholeBlocks(mask);
    const int width = static_cast<int>(mask.getXRes() / scale);
    const int height = static_cast<int>(mask.getZRes() / scale);
    WaterImage image(width, height);
    const int blockSize = mask.m_blockSize;
    const float step = static_cast<float>(blockSize) / static_cast<float>(scale);
    // The block rows are placed so that the last one ends at the image's bottom edge; the first
    // ones may start above the top edge, and those are not drawn.
    float ypos = static_cast<float>(double(height) - double(mask.getZBlocks()) * double(step));
    for (long zb = 0; zb < mask.getZBlocks(); ++zb)
    {
        float xpos = 0.0f;
        for (long xb = 0; xb < mask.getXBlocks(); ++xb)
        {
            if (const unsigned char* block = mask.decodeBlock(xb, zb))
                DrawMaskBlock(image.view(), static_cast<int>(xpos), static_cast<int>(ypos), block, blockSize, scale);
            xpos += step;
        }
        ypos += step;
    }
    return image;
}

void FilterNarrowWater(ConstRasterView<std::uint8_t> source, RasterView<std::uint8_t> destination, int R)
{
    assert(R >= 0);
    assert(source.width == destination.width && source.height == destination.height);
    const int width = source.width;
    const int height = source.height;
    if (2 * std::int64_t(R) >= width || 2 * std::int64_t(R) >= height)
    {
        for (int y = 0; y < height; ++y)
            std::memset(destination.row(y), 0, std::size_t(width));
        return;
    }

    // The window sum is defined as a signed 32-bit sum; with a very large R it wraps. Sums kept
    // modulo 2^32 (unsigned) and read back as signed give exactly that value, and they can be
    // updated incrementally: column sums over the window's rows slide down one row at a time,
    // and the window sum slides along each row. Each band of rows starts its own column sums,
    // so the bands run side by side.
    const std::int64_t side = 2 * std::int64_t(R) + 1;
    const auto area = static_cast<std::int32_t>(static_cast<std::uint32_t>(side * side));
    // sum / area >= 128 (truncating) is sum >= 128 area when the area is positive; only a
    // wrapped area needs the division.
    const std::int64_t least = 128 * std::int64_t(area);
    RunInBands(0, height, static_cast<int>(WorkerCount()),
               [&](int, int y0, int y1)
               {
                   std::vector<std::uint32_t> columnSums(std::size_t(width), 0);
                   const int first = std::max(y0, R);
                   for (int y = first - R; y <= first + R && first < height - R; ++y)
                   {
                       const std::uint8_t* in = source.row(y);
                       for (int x = 0; x < width; ++x)
                           columnSums[std::size_t(x)] += in[x];
                   }
                   for (int y = y0; y < y1; ++y)
                   {
                       std::uint8_t* out = destination.row(y);
                       if (y < R || y >= height - R)
                       {
                           std::memset(out, 0, std::size_t(width));
                           continue;
                       }
                       if (y > first)
                       {
                           const std::uint8_t* entering = source.row(y + R);
                           const std::uint8_t* leaving = source.row(y - R - 1);
                           for (int x = 0; x < width; ++x)
                               columnSums[std::size_t(x)] += std::uint32_t(entering[x]) - std::uint32_t(leaving[x]);
                       }
                       const std::uint8_t* in = source.row(y);
                       std::memset(out, 0, std::size_t(R));
                       std::memset(out + width - R, 0, std::size_t(R));
                       std::uint32_t windowSum = 0;
                       for (int x = 0; x < 2 * R + 1; ++x)
                           windowSum += columnSums[std::size_t(x)];
                       for (int x = R; x < width - R; ++x)
                       {
                           if (x > R)
                               windowSum += columnSums[std::size_t(x + R)] - columnSums[std::size_t(x - R - 1)];
                           const std::uint8_t v = in[x];
                           if (v < 128)
                           {
                               out[x] = 0;
                               continue;
                           }
                           const auto sum = static_cast<std::int32_t>(windowSum);
                           const bool wide = area > 0 ? sum >= least : sum / area >= 128;
                           out[x] = wide ? std::uint8_t(128) : static_cast<std::uint8_t>(v >> 2);
                       }
                   }
               });
}
