#include "banks/WaterImage.h"

#include "base/Concurrency.h"

#include <algorithm>
#include <cassert>
#include <cstring>

WaterImage::WaterImage(int w, int h)
    : width(w), height(h), stride((w + 3) / 4 * 4), bits(std::size_t(stride) * std::size_t(h), 0)
{
    assert(w >= 0 && h >= 0);
}

WaterImage::WaterImage(int w, int h, Unset)
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
