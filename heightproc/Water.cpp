#include "heightproc/Water.h"

#include "support/BufferMask.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

void DrawWaterBlock(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int x, int y,
                    const std::uint8_t* cells, int blockSize, int scale, int seaHeight)
{
    if (x < 0 || y < 0 || scale < 1)
        return;
    const int n = blockSize / scale;
    if (x + n >= water.width || y + n >= water.height)
        return;
    const float inv = static_cast<float>(1.0 / scale);
    const auto width = static_cast<float>(water.width);
    const auto rows = static_cast<float>(water.height);

    // The column of every cell: the same single-precision walk as for each cell row, done once.
    thread_local std::vector<int> columns;
    columns.clear();
    for (float fx = static_cast<float>(x); static_cast<int>(columns.size()) < blockSize && fx < width; fx += inv)
        columns.push_back(static_cast<int>(fx));
    const int used = static_cast<int>(columns.size());

    float fy = static_cast<float>(y);
    for (int r = 0; r < blockSize && fy < rows; ++r, fy += inv)
    {
        const int row = static_cast<int>(fy);
        const std::uint8_t* cellRow = cells + static_cast<std::ptrdiff_t>(r) * blockSize;
        const std::uint16_t* heightRow = height.row(row);
        std::uint16_t* waterRow = water.row(row);
        for (int c = 0; c < used; ++c)
        {
            if (cellRow[c] > 7)
            {
                const int i = columns[static_cast<std::size_t>(c)];
                const int v = std::max(static_cast<int>(heightRow[i]), seaHeight);
                waterRow[i] = static_cast<std::uint16_t>(v == 0 ? 1 : v);
            }
        }
    }
}

void FillSea(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int seaHeight)
{
    if (seaHeight < 0)
        return;
    const auto sea = static_cast<std::uint16_t>(seaHeight);
    for (int y = 0; y < water.height; ++y)
    {
        const std::uint16_t* heightRow = height.row(y);
        std::uint16_t* waterRow = water.row(y);
        for (int x = 0; x < water.width; ++x)
            waterRow[x] = heightRow[x] <= sea ? sea : waterRow[x];
    }
}

namespace
{
// The block placement on the map: block (xi, zi) of the mask lands at sample (x, y), stepping a
// float step of blockSize / scale, the bottom block row ending on the map's last row. A block
// that would reach the map's last row or column is passed over. place(xi, zi, x, y) is called
// for each block placed, skip() for each passed over. The drawing and the fit check both walk
// through here, so they cannot disagree.
template <typename Place, typename Skip>
void WalkWaterBlocks(long xBlocks, long zBlocks, int blockSize, int width, int height, int scale, Place&& place,
                     Skip&& skip)
{
    const WaterBlockStarts starts = FindWaterBlockStarts(xBlocks, zBlocks, blockSize, height, scale);
    const int n = blockSize / scale;
    for (long zi = 0; zi < zBlocks; ++zi)
    {
        const int y = starts.rows[std::size_t(zi)];
        for (long xi = 0; xi < xBlocks; ++xi)
        {
            const int x = starts.columns[std::size_t(xi)];
            if (x < 0 || y < 0 || x + n >= width || y + n >= height)
                skip();
            else
                place(xi, zi, x, y);
        }
    }
}
} // namespace

WaterBlockStarts FindWaterBlockStarts(long xBlocks, long zBlocks, int blockSize, int height, int scale)
{
    // Each block row starts its columns from 0 again, so one walk gives every row's columns.
    const float step = static_cast<float>(static_cast<double>(blockSize) / scale);
    WaterBlockStarts starts;
    starts.columns.reserve(std::size_t(std::max(0L, xBlocks)));
    starts.rows.reserve(std::size_t(std::max(0L, zBlocks)));
    float xf = 0.0f;
    for (long xi = 0; xi < xBlocks; ++xi, xf += step)
        starts.columns.push_back(static_cast<int>(xf));
    float zf = static_cast<float>(height - 1 - (zBlocks * blockSize) / scale);
    for (long zi = 0; zi < zBlocks; ++zi, zf += step)
        starts.rows.push_back(static_cast<int>(zf));
    return starts;
}

void PlaceWaterBlocks(CBitMask& mask, ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water,
                      int scale, int seaHeight)
{
    const int blockSize = mask.m_blockSize;
    WalkWaterBlocks(
        mask.getXBlocks(), mask.getZBlocks(), blockSize, water.width, water.height, scale,
        [&](long xi, long zi, int x, int y)
        {
            if (const unsigned char* cells = mask.decodeBlock(xi, zi))
                DrawWaterBlock(height, water, x, y, cells, blockSize, scale, seaHeight);
        },
        [] {});
}

WaterPlacement MeasureWaterPlacement(long xBlocks, long zBlocks, int blockSize, int width, int height, int scale)
{
    WaterPlacement placement;
    placement.top = static_cast<int>(height - 1 - (zBlocks * blockSize) / scale);
    const int n = blockSize / scale;
    WalkWaterBlocks(
        xBlocks, zBlocks, blockSize, width, height, scale,
        [&](long, long, int x, int)
        {
            ++placement.placed;
            placement.right = std::max(placement.right, x + n);
        },
        [&] { ++placement.skipped; });
    return placement;
}

WaterResult ProcessWater(const ProcessSettings& settings, const std::string& waterPath, RasterView<std::uint16_t> height,
                         bool blurHeight, IProgressSink& progress, IMessageSink& messages)
{
    const int scale = static_cast<int>(settings.resolutionScale);
    if (scale < 1)
        return {{}, "the water/height resolution scale must be at least 1"};

    CBufferMask mask(256);
    std::FILE* file = std::fopen(waterPath.c_str(), "rb");
    if (file == nullptr)
    {
        messages.show(waterPath, kCannotOpenWtrCaption);
        mask.close();
        return {{}, "can not open the water mask " + waterPath};
    }
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
    {
        messages.show(waterPath, kInvalidWtrCaption);
        mask.close();
        return {{}, "the water mask " + waterPath + " is not a valid WTR file"};
    }

    WaterResult result;
    // The new raster reads as zero without a pass that writes the zeros: the dry samples cost
    // nothing until the writer reads them.
    result.water.resize(height.size());
    RasterView<std::uint16_t> water(result.water.data(), height.width, height.height);
    const ConstRasterView<std::uint16_t> ground = AsConst(height);
    const int seaHeight = SeaHeight(settings);

    PlaceWaterBlocks(mask, ground, water, scale, seaHeight);
    // A damaged block would come out as dry land: a water file that looks right and is not.
    // Refused like a mask that does not load, before the height map is touched.
    if (const long corrupt = mask.corruptBlocks(); corrupt > 0)
    {
        messages.show(waterPath + " (" + std::to_string(corrupt) + " corrupt blocks)", kInvalidWtrCaption);
        mask.close();
        return {{}, "the water mask " + waterPath + " has " + std::to_string(corrupt) + " corrupt blocks"};
    }
    FillSea(ground, water, seaHeight);
    if (blurHeight)
        result.smoothing = SmoothBanks(height, AsConst(water), settings.bank, settings.hillSize, seaHeight, progress);
    FillWater(water, progress);
    mask.close();
    return result;
}
