#include "tests/oracles/ShoreReference.h"

#include "banks/ShoreSnapping.h"
#include "support/BufferMask.h"

#include <algorithm>
#include <cstring>

void DrawMaskBlockReference(RasterView<std::uint8_t> image, int x, int y, const std::uint8_t* block, int blockSize,
                            int scale)
{
    if (x < 0 || y < 0)
        return;
    const int n = blockSize / scale;
    if (x + n > image.width || y + n > image.height)
        return;
    const float inv = 1.0f / static_cast<float>(scale);
    float fy = static_cast<float>(y);
    for (int r = 0; r < blockSize; ++r)
    {
        if (fy >= static_cast<float>(image.height))
            break;
        std::uint8_t* out = image.row(image.height - 1 - static_cast<int>(fy));
        float fx = static_cast<float>(x);
        for (int c = 0; c < blockSize; ++c)
        {
            if (fx >= static_cast<float>(image.width))
                break;
            out[static_cast<int>(fx)] = static_cast<std::uint8_t>(block[r * blockSize + c] * 33);
            fx += inv;
        }
        fy += inv;
    }
}

void FilterNarrowWaterReference(ConstRasterView<std::uint8_t> source, RasterView<std::uint8_t> destination, int R)
{
    const int width = source.width;
    const int height = source.height;
    for (int y = 0; y < height; ++y)
        std::memset(destination.row(y), 0, std::size_t(width));
    const std::int64_t side = 2 * std::int64_t(R) + 1;
    const auto area = static_cast<std::int32_t>(static_cast<std::uint32_t>(side * side));
    for (int y = R; y < height - R; ++y)
    {
        for (int x = R; x < width - R; ++x)
        {
            const std::uint8_t v = source.row(y)[x];
            if (v < 128)
                continue;
            std::uint32_t sum = 0; // a signed 32-bit sum, wrapping
            for (int wy = y - R; wy <= y + R; ++wy)
                for (int wx = x - R; wx <= x + R; ++wx)
                    sum += source.row(wy)[wx];
            const std::int32_t average = static_cast<std::int32_t>(sum) / area;
            destination.row(y)[x] = average >= 128 ? std::uint8_t(128) : static_cast<std::uint8_t>(v >> 2);
        }
    }
}

ShorelineSet ChainBoundaryReference(std::vector<BoundaryPixel> list, float f)
{
    ShorelineSet outlines;
    Shoreline side0;
    Shoreline side1;
    int side = 0;
    std::size_t k = 0;
    int d = 3;
    BoundaryPixel start;

    auto close = [&]()
    {
        for (std::size_t i = 1; i < side1.size(); ++i)
            side0.insert(side0.begin(), side1[i]);
        if (side0.size() > 5)
            outlines.push_back(side0);
        side0.clear();
        side1.clear();
    };

    while (!list.empty())
    {
        BoundaryPixel current;
        if (side == 0)
        {
            current = list[k];
            if (side0.empty())
                start = current;
            list.erase(list.begin() + std::ptrdiff_t(k));
        }
        else if (side1.empty())
            current = start;
        else
        {
            current = list[k];
            list.erase(list.begin() + std::ptrdiff_t(k));
        }
        (side == 0 ? side0 : side1).push_back(PixelCentre(current.c, current.r, f));

        bool found = false;
        for (int t = 0; t <= 7 && !found; ++t)
        {
            int dd = d - t;
            if (dd < 0)
                dd += 8;
            const BoundaryPixel candidate{current.c + kChainSteps[dd].c, current.r + kChainSteps[dd].r};
            for (std::size_t i = 0; i < list.size(); ++i)
            {
                if (list[i] == candidate)
                {
                    k = i;
                    d = dd + 4;
                    if (d >= 8)
                        d -= 8;
                    found = true;
                    break;
                }
            }
        }
        if (found)
            continue;
        if (side == 0)
        {
            side = 1;
            k = 0;
            d = 3;
        }
        else
        {
            close();
            side = 0;
            k = 0;
            d = 3;
        }
    }
    close();
    return outlines;
}

void SnapLineToShoreReference(Shoreline& line, CBufferMask& mask, float psize, float shore)
{
    shore_walk::SnapLine(line, mask.getZRes(), psize, shore,
                         [&](double x, double z) { return mask.getInterpolated(x, z); });
}
