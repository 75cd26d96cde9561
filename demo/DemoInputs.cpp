#include "demo/DemoInputs.h"

#include "support/Bitmap.h"
#include "base/Concurrency.h"

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

// Where each mask column's centre lies between two samples; the same for every row.
struct MaskColumns
{
    std::vector<int> base;       // the sample to its left (at most size - 2)
    std::vector<float> fraction; // 0..1 of the way to the next
    std::vector<float> position; // in samples

    MaskColumns(int side, int size, float inverse)
    {
        for (int column = 0; column < side; ++column)
        {
            // The scale cells of sample x are centred on x.
            const float x = std::clamp((float(column) + 0.5f) * inverse - 0.5f, 0.0f, float(size - 1));
            const int x0 = std::min(static_cast<int>(x), size - 2);
            base.push_back(x0);
            fraction.push_back(x - float(x0));
            position.push_back(x);
        }
    }
};

std::uint8_t CellValue(float depth, float fall)
{
    const float value = std::clamp(7.5f + 15.0f * depth / std::max(fall, kDemoShoreSoftness), 0.0f, 15.0f);
    return static_cast<std::uint8_t>(value + 0.5f);
}

// The highest lake or river surface over a cell, or the sea level.
float SurfaceAt(const DemoTerrain& terrain, float x, float y, float riverLevel, float riverX,
                const std::vector<const DemoLake*>& lakes)
{
    float surface = terrain.seaLevel;
    if (riverLevel > surface && std::fabs(x - riverX) < terrain.riverHalfWidth * 1.5f)
        surface = riverLevel;
    for (const DemoLake* lake : lakes)
        if (float(lake->level) > surface && LakeDistance(*lake, x, y) < 2.0f)
            surface = lake->level;
    return surface;
}

class MaskRowBuilder
{
public:
    MaskRowBuilder(const DemoTerrain& terrain, const MaskColumns& columns, int scale)
        : m_terrain(terrain), m_columns(columns), m_scale(scale), m_inverse(1.0f / float(scale)),
          m_ground(std::size_t(terrain.size)), m_along(std::size_t(terrain.size))
    {
    }

    // Mask row `row` at sample row y (fractional).
    void build(float y, std::uint8_t* cells, int side)
    {
        const int size = m_terrain.size;
        const int y0 = std::min(static_cast<int>(y), size - 2);
        const float fy = y - float(y0);
        const std::uint16_t* up = m_terrain.heights.data() + std::size_t(y0) * std::size_t(size);
        const std::uint16_t* down = up + size;
        for (int x = 0; x < size; ++x)
        {
            m_along[std::size_t(x)] = float(down[x]) - float(up[x]);
            m_ground[std::size_t(x)] = float(up[x]) + m_along[std::size_t(x)] * fy;
        }
        // The sea first, everywhere: most cells are far from a shore and need no root.
        const float sea = m_terrain.seaLevel;
        for (int column = 0; column < side; ++column)
            cells[column] = value(column, sea);
        // Then the few stretches of the row that a lake or the river may cover.
        const int riverRow = std::clamp(static_cast<int>(y + 0.5f), 0, size - 1);
        const float riverLevel = m_terrain.riverLevel.empty() ? 0.0f : m_terrain.riverLevel[std::size_t(riverRow)];
        const float riverX = m_terrain.riverX.empty() ? -1e9f : m_terrain.riverX[std::size_t(riverRow)];
        std::vector<const DemoLake*> lakes;
        for (const DemoLake& lake : m_terrain.lakes)
            if (std::fabs(y - lake.y) < 2.7f * lake.radius)
                lakes.push_back(&lake);
        const auto redo = [&](float centre, float reach)
        {
            const int first = std::max(0, static_cast<int>((centre - reach + 0.5f) * float(m_scale)) - 1);
            const int last = std::min(side, static_cast<int>((centre + reach + 0.5f) * float(m_scale)) + 2);
            for (int column = first; column < last; ++column)
            {
                const float surface =
                    SurfaceAt(m_terrain, m_columns.position[std::size_t(column)], y, riverLevel, riverX, lakes);
                if (surface > sea)
                    cells[column] = value(column, surface);
            }
        };
        if (riverLevel > sea)
            redo(riverX, m_terrain.riverHalfWidth * 1.5f);
        for (const DemoLake* lake : lakes)
            redo(lake->x, 2.7f * lake->radius);
    }

private:
    std::uint8_t value(int column, float surface) const
    {
        const std::size_t x0 = std::size_t(m_columns.base[std::size_t(column)]);
        const float fx = m_columns.fraction[std::size_t(column)];
        const float across = m_ground[x0 + 1] - m_ground[x0];
        const float ground = m_ground[x0] + across * fx;
        const float along = m_along[x0] + (m_along[x0 + 1] - m_along[x0]) * fx;
        const float depth = surface - ground;
        // |across| + |along| bounds the fall from above: far enough from the shore for it,
        // the cell is full or dry whatever the exact fall.
        const float sure = 0.5f * std::max((std::fabs(across) + std::fabs(along)) * m_inverse, kDemoShoreSoftness);
        if (depth >= sure)
            return 15;
        if (depth <= -sure)
            return 0;
        return CellValue(depth, std::sqrt(across * across + along * along) * m_inverse);
    }

    const DemoTerrain& m_terrain;
    const MaskColumns& m_columns;
    int m_scale;
    float m_inverse;
    std::vector<float> m_ground; // the row's heights at y, one per sample
    std::vector<float> m_along;  // their fall from the row above to the row below
};
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
    // Written row by row: the bitmap is black but for the runway, no need to hold it whole.
    BmpWriter writer;
    if (!writer.open(path.c_str(), terrain.size, terrain.size, 24, nullptr))
        return false;
    const std::vector<std::uint8_t> black(std::size_t(writer.bytesPerRow()), 0);
    std::vector<std::uint8_t> painted(black);
    for (int x = runway.x; x < runway.x + runway.length; ++x)
    {
        painted[3 * std::size_t(x)] = 255;
        painted[3 * std::size_t(x) + 2] = static_cast<std::uint8_t>(runway.target / 256);
    }
    // Stored rows run from the bottom of the image up.
    for (int stored = 0; stored < terrain.size; ++stored)
    {
        const int y = terrain.size - 1 - stored;
        const bool onRunway = y >= runway.y && y < runway.y + runway.width;
        if (!writer.writeRows(onRunway ? painted.data() : black.data(), 1))
            return false;
    }
    return writer.commit();
}

int DemoWaterScale(int size)
{
    if (size == kDemoDefaultSize)
        return 5;
    int scale = 4;
    while (scale > 1 && (size - 1) * scale > kMaxMaskSide)
        scale /= 2;
    return scale;
}

int DemoWaterBlock(int size)
{
    return size == kDemoDefaultSize ? 320 : 256;
}

int DemoWaterMaskSide(int size, int scale)
{
    const int block = DemoWaterBlock(size);
    return (size - 1) * scale / block * block;
}

LargeBuffer<std::uint8_t> BuildDemoWaterMask(const DemoTerrain& terrain, int scale, int threads)
{
    const int side = DemoWaterMaskSide(terrain.size, scale);
    const int top = terrain.size - 1 - side / scale;
    const float inverse = 1.0f / float(scale);
    const MaskColumns columns(side, terrain.size, inverse);
    LargeBuffer<std::uint8_t> cells(std::size_t(side) * std::size_t(side));
    const std::size_t jobs = std::size_t((side + kRowsPerJob - 1) / kRowsPerJob);
    ParallelFor(jobs, static_cast<unsigned>(std::max(0, threads)),
                [&](std::size_t job)
                {
                    MaskRowBuilder builder(terrain, columns, scale);
                    const int first = static_cast<int>(job) * kRowsPerJob;
                    for (int row = first; row < std::min(side, first + kRowsPerJob); ++row)
                    {
                        const float y = std::clamp(float(top) + (float(row) + 0.5f) * inverse - 0.5f, 0.0f,
                                                   float(terrain.size - 1));
                        builder.build(y, cells.data() + std::size_t(row) * std::size_t(side), side);
                    }
                });
    return cells;
}
