#include "tests/oracles/WaterReference.h"

#include "support/BufferMask.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace reference
{

void DrawWaterBlock(ConstRasterView<std::uint16_t> height, RasterView<std::uint16_t> water, int x, int y,
                    const std::uint8_t* cells, int blockSize, int scale, int seaHeight)
{
    if (x < 0 || y < 0)
        return;
    const int n = blockSize / scale;
    if (x + n >= water.width || y + n >= water.height)
        return;
    const float inv = static_cast<float>(1.0 / scale);
    float fy = static_cast<float>(y);
    for (int r = 0; r < blockSize && fy < static_cast<float>(water.height); ++r)
    {
        const int row = static_cast<int>(fy);
        float fx = static_cast<float>(x);
        for (int c = 0; c < blockSize; ++c)
        {
            if (fx < static_cast<float>(water.width) && cells[r * blockSize + c] > 7)
            {
                const int column = static_cast<int>(fx);
                int v = height.at(column, row);
                if (seaHeight > v)
                    v = seaHeight;
                if (v == 0)
                    v = 1;
                water.at(column, row) = static_cast<std::uint16_t>(v);
            }
            fx += inv;
        }
        fy += inv;
    }
}

void SmoothBanks(RasterView<std::uint16_t> height, ConstRasterView<std::uint16_t> water, int bank, int hillSize,
                 int seaHeight, IProgressSink& progress)
{
    const int base = progress.pos();
    const int w = water.width;
    const int h = water.height;
    std::vector<std::uint16_t> copy(height.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            copy[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                height.at(x, y);

    for (int y = 0; y < h; ++y)
    {
        for (int x = 0; x < w; ++x)
        {
            const int sample = height.at(x, y);
            if (sample < seaHeight)
                continue;
            int bankCount = 0;
            float d = static_cast<float>(bank);
            for (int r = y - bank; r <= y + bank - 1; ++r)
            {
                for (int c = x - bank; c <= x + bank - 1; ++c)
                {
                    if (r < 0 || r >= h || c < 0 || c >= w || water.at(c, r) == 0)
                        continue;
                    ++bankCount;
                    const int dx = x - c;
                    const int dy = y - r;
                    const auto distance = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
                    if (distance < d)
                        d = distance;
                }
            }
            if (bankCount == 0)
                continue;
            int count = 0;
            float sum = 0.0f;
            for (int r = y - hillSize; r <= y + hillSize - 1; ++r)
            {
                for (int c = x - hillSize; c <= x + hillSize - 1; ++c)
                {
                    if (r < 0 || r >= h || c < 0 || c >= w || water.at(c, r) == 0)
                        continue;
                    ++count;
                    sum += static_cast<float>(water.at(c, r));
                }
            }
            if (count == 0)
                continue;
            float t = static_cast<float>(1.0 - static_cast<double>(d) / bank);
            if (t < 0.0f)
                t = 0.0f;
            if (t > 1.0f)
                t = 1.0f;
            const auto a = static_cast<float>(static_cast<double>(sum) / count);
            const double v =
                sample + (static_cast<double>(a) - sample) * static_cast<double>(t) + static_cast<double>(0.5555f);
            copy[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
                static_cast<std::uint16_t>(static_cast<int>(v));
        }
        progress.setPos(h <= 1 ? base + 50 : base + (50 * y) / (h - 1));
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            height.at(x, y) = copy[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
}

void FillWater(RasterView<std::uint16_t> water, IProgressSink& progress)
{
    const int base = progress.pos();
    long long dry = 0;
    for (int y = 1; y < water.height - 1; ++y)
        for (int x = 1; x < water.width - 1; ++x)
            dry += water.at(x, y) == 0 ? 1 : 0;

    std::vector<std::pair<int, std::uint16_t>> list;
    list.reserve(10000);
    std::size_t largest = 0;
    long long filled = 0;
    for (;;)
    {
        if (largest > list.capacity())
            list.reserve(largest);
        list.clear();
        for (int y = 1; y < water.height - 1; ++y)
        {
            for (int x = 1; x < water.width - 1; ++x)
            {
                if (water.at(x, y) != 0)
                    continue;
                double sum = 0;
                int count = 0;
                for (int dy = -1; dy <= 1; ++dy)
                {
                    for (int dx = -1; dx <= 1; ++dx)
                    {
                        const int v = (dx == 0 && dy == 0) ? 0 : water.at(x + dx, y + dy);
                        if (v != 0)
                        {
                            sum += v;
                            ++count;
                        }
                    }
                }
                if (count == 0)
                    continue;
                int value = static_cast<int>(sum / count);
                if (value == 0)
                    value = 1;
                list.emplace_back(y * water.width + x, static_cast<std::uint16_t>(value));
            }
        }
        for (const auto& [index, value] : list)
            water.at(index % water.width, index / water.width) = value;
        largest = std::max(largest, list.size());
        filled += static_cast<long long>(list.size());
        progress.setPos(dry == 0 ? base + 50 : base + static_cast<int>((50 * filled) / dry));
        if (list.empty())
            break;
    }
}

WaterResult ProcessWater(const ProcessSettings& settings, const std::string& waterPath, RasterView<std::uint16_t> height,
                         bool blurHeight, IProgressSink& progress, IMessageSink& messages)
{
    CBufferMask mask(256);
    std::FILE* file = std::fopen(waterPath.c_str(), "rb");
    if (file == nullptr)
    {
        messages.show(waterPath, kCannotOpenWtrCaption);
        mask.close();
        return {{}, "can not open the water mask"};
    }
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
    {
        messages.show(waterPath, kInvalidWtrCaption);
        mask.close();
        return {{}, "invalid water mask"};
    }
    const int scale = static_cast<int>(settings.resolutionScale);
    const int blockSize = mask.m_blockSize;
    const float step = static_cast<float>(static_cast<double>(blockSize) / scale);
    WaterResult result;
    result.water.assign(height.size(), 0);
    RasterView<std::uint16_t> water(result.water.data(), height.width, height.height);
    const ConstRasterView<std::uint16_t> ground = AsConst(height);
    const int seaHeight = SeaHeight(settings.seaLevel);

    const long z0 = height.height - 1 - (mask.getZBlocks() * blockSize) / scale;
    float zf = static_cast<float>(z0);
    for (long zi = 0; zi < mask.getZBlocks(); ++zi)
    {
        float xf = 0.0f;
        for (long xi = 0; xi < mask.getXBlocks(); ++xi)
        {
            if (const unsigned char* cells = mask.decodeBlock(xi, zi))
                reference::DrawWaterBlock(ground, water, static_cast<int>(xf), static_cast<int>(zf), cells, blockSize, scale,
                               seaHeight);
            xf += step;
        }
        zf += step;
    }
    for (int y = 0; y < height.height; ++y)
        for (int x = 0; x < height.width; ++x)
            if (static_cast<int>(height.at(x, y)) <= seaHeight)
                water.at(x, y) = static_cast<std::uint16_t>(seaHeight);
    if (blurHeight)
        reference::SmoothBanks(height, AsConst(water), settings.bank, settings.hillSize, seaHeight, progress);
    reference::FillWater(water, progress);
    mask.close();
    return result;
}

} // namespace reference
