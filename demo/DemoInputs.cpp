#include "demo/DemoInputs.h"

#include "support/Bitmap.h"
#include "support/ParallelFor.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr float kRunwayLengthMetres = 2500.0f;
constexpr float kRunwayWidthMetres = 300.0f;
constexpr int kMaxMaskSide = 16384;
constexpr int kRowsPerJob = 32;

struct RunwayScore
{
    float range = 0; // highest minus lowest sample
    double mean = 0;
    bool dry = false;
};

// Looks at every `stride`-th sample of the rectangle: large maps need no finer look to judge
// how flat a place is.
RunwayScore ScoreRunway(const DemoTerrain& terrain, int x0, int y0, int length, int width, int stride)
{
    RunwayScore score;
    float low = 65535.0f;
    float high = 0.0f;
    double sum = 0;
    long count = 0;
    for (int y = y0; y < y0 + width; y += stride)
        for (int x = x0; x < x0 + length; x += stride)
        {
            const float h = terrain.heights[std::size_t(y) * std::size_t(terrain.size) + std::size_t(x)];
            low = std::min(low, h);
            high = std::max(high, h);
            sum += h;
            ++count;
        }
    score.range = high - low;
    score.mean = sum / double(count);
    // Well above the sea, and no lake or river near.
    score.dry = low > float(terrain.seaLevel) + 800.0f;
    return score;
}

bool UnderWater(const DemoTerrain& terrain, int x0, int y0, int length, int width, int stride)
{
    for (int y = y0; y < y0 + width; y += stride)
        for (int x = x0; x < x0 + length; x += stride)
        {
            const float h = terrain.heights[std::size_t(y) * std::size_t(terrain.size) + std::size_t(x)];
            if (DemoWaterSurface(terrain, float(x), float(y)) + 300.0f > h)
                return true;
        }
    return false;
}

struct BitmapOwner
{
    BITMAP_ bitmap;
    ~BitmapOwner() { FreeBitmap(&bitmap); }
};

// The lakes a mask row can touch, so that a cell looks at one or two instead of all.
std::vector<const DemoLake*> LakesNearRow(const DemoTerrain& terrain, float y)
{
    std::vector<const DemoLake*> near;
    for (const DemoLake& lake : terrain.lakes)
        if (std::fabs(y - lake.y) < 2.7f * lake.radius)
            near.push_back(&lake);
    return near;
}

void BuildMaskRow(const DemoTerrain& terrain, int scale, int top, int row, std::uint8_t* cells, int side)
{
    const int size = terrain.size;
    const float inverse = 1.0f / float(scale);
    // Cell centres: the scale cells of sample x are centred on x.
    const float y = std::clamp(float(top) + (float(row) + 0.5f) * inverse - 0.5f, 0.0f, float(size - 1));
    const int y0 = std::min(static_cast<int>(y), size - 2);
    const float fy = y - float(y0);
    const std::uint16_t* up = terrain.heights.data() + std::size_t(y0) * std::size_t(size);
    const std::uint16_t* down = up + size;
    const std::vector<const DemoLake*> lakes = LakesNearRow(terrain, y);
    const int riverRow = std::clamp(static_cast<int>(y + 0.5f), 0, size - 1);
    const float riverLevel = terrain.riverLevel.empty() ? 0.0f : terrain.riverLevel[std::size_t(riverRow)];
    const float riverX = terrain.riverX.empty() ? -1e9f : terrain.riverX[std::size_t(riverRow)];
    for (int column = 0; column < side; ++column)
    {
        const float x = std::clamp((float(column) + 0.5f) * inverse - 0.5f, 0.0f, float(size - 1));
        const int x0 = std::min(static_cast<int>(x), size - 2);
        const float fx = x - float(x0);
        const float upper = float(up[x0]) + (float(up[x0 + 1]) - float(up[x0])) * fx;
        const float lower = float(down[x0]) + (float(down[x0 + 1]) - float(down[x0])) * fx;
        const float ground = upper + (lower - upper) * fy;
        // The ground's fall per cell, so that the edge is about one cell wide on any slope.
        const float acrossSlope = (float(up[x0 + 1]) - float(up[x0])) * (1 - fy) + (float(down[x0 + 1]) - float(down[x0])) * fy;
        const float fall = std::sqrt(acrossSlope * acrossSlope + (lower - upper) * (lower - upper)) * inverse;
        float surface = terrain.seaLevel;
        if (riverLevel > surface && std::fabs(x - riverX) < terrain.riverHalfWidth * 1.5f)
            surface = riverLevel;
        for (const DemoLake* lake : lakes)
            if (float(lake->level) > surface && std::fabs(x - lake->x) < 2.7f * lake->radius &&
                LakeDistance(*lake, x, y) < 2.0f)
                surface = lake->level;
        const float value = 7.5f + 15.0f * (surface - ground) / std::max(fall, kDemoShoreSoftness);
        cells[column] = static_cast<std::uint8_t>(std::clamp(std::floor(value + 0.5f), 0.0f, 15.0f));
    }
}
} // namespace

DemoRunway FindDemoRunway(const DemoTerrain& terrain)
{
    DemoRunway best;
    const int size = terrain.size;
    const int length = std::max(8, static_cast<int>(kRunwayLengthMetres / terrain.pixelSize + 0.5f));
    const int width = std::max(2, static_cast<int>(kRunwayWidthMetres / terrain.pixelSize + 0.5f));
    const int stride = std::max(1, size / 1024);
    const int margin = 4 + width;
    float bestRange = 1e9f;
    double bestMean = 0;
    for (int y = margin; y + width + margin < size; y += std::max(width, length / 8))
        for (int x = margin; x + length + margin < size; x += std::max(1, length / 4))
        {
            const RunwayScore score = ScoreRunway(terrain, x, y, length, width, stride);
            if (!score.dry || score.range >= bestRange || UnderWater(terrain, x, y, length, width, stride))
                continue;
            bestRange = score.range;
            bestMean = score.mean;
            best = {x, y, length, width, 0};
        }
    if (best.length > 0)
    {
        const int red = std::clamp(static_cast<int>(bestMean / 256.0 + 0.5), 1, 255);
        best.target = static_cast<std::uint16_t>(red * 256);
    }
    return best;
}

bool WriteDemoLever(const std::string& path, const DemoTerrain& terrain, const DemoRunway& runway)
{
    BitmapOwner owner;
    BITMAP_& bitmap = owner.bitmap;
    InitBitmap(&bitmap, terrain.size, terrain.size, 24);
    if (bitmap.data == nullptr)
        return false;
    const auto red = static_cast<std::uint8_t>(runway.target / 256);
    for (int y = runway.y; y < runway.y + runway.width; ++y)
    {
        std::uint8_t* row = bitmap.data + std::size_t(bitmap.height - 1 - y) * std::size_t(bitmap.bytesPerRow);
        for (int x = runway.x; x < runway.x + runway.length; ++x)
        {
            row[3 * x] = 255;
            row[3 * x + 2] = red;
        }
    }
    return SaveBitmap(&bitmap, path.c_str());
}

int DemoWaterScale(int size)
{
    return std::clamp(kMaxMaskSide / std::max(1, size - 1), 1, 5);
}

int DemoWaterMaskSide(int size, int scale)
{
    return (size - 1) * scale / kDemoMaskBlock * kDemoMaskBlock;
}

std::vector<std::uint8_t> BuildDemoWaterMask(const DemoTerrain& terrain, int scale, int threads)
{
    const int side = DemoWaterMaskSide(terrain.size, scale);
    const int top = terrain.size - 1 - side / scale;
    std::vector<std::uint8_t> cells(std::size_t(side) * std::size_t(side));
    const std::size_t jobs = std::size_t((side + kRowsPerJob - 1) / kRowsPerJob);
    ParallelFor(jobs, static_cast<unsigned>(std::max(0, threads)), [&](std::size_t job) {
        const int first = static_cast<int>(job) * kRowsPerJob;
        for (int row = first; row < std::min(side, first + kRowsPerJob); ++row)
            BuildMaskRow(terrain, scale, top, row, cells.data() + std::size_t(row) * std::size_t(side), side);
    });
    return cells;
}
