#include "demo/DemoTerrain.h"

#include "base/Concurrency.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace
{
constexpr float kTwoPi = 6.2831853f;
// Heights in sample units: sea level, and what one unit of the normalised landscape spans.
constexpr float kSeaLevel = kDemoSeaLevelSetting * 257.0f;
constexpr float kRelief = 52000.0f;

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t level, std::uint32_t seed)
{
    std::uint32_t h =
        x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ (level + 1u) * 0xC2B2AE3Du ^ seed * 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Uniform in [-1, 1).
float Signed(std::uint32_t h)
{
    return static_cast<float>(static_cast<std::int32_t>(h)) * (1.0f / 2147483648.0f);
}

float Unit(std::uint32_t h)
{
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

float SmoothStep(float edge0, float edge1, float x)
{
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// A square grid of floats left uninitialised: every point is written before it is read, and
// touching hundreds of megabytes twice costs more than the fractal itself.
struct Field
{
    std::unique_ptr<float[]> data;
    int side = 0;
    float* row(int y) const { return data.get() + std::size_t(y) * std::size_t(side); }
};

// Runs body(first, last) over [begin, end) split into one contiguous range per thread; every
// row is computed by itself, so the split does not change the result.
template <typename Body> void ParallelRows(int begin, int end, int threads, const Body& body)
{
    const int count = end - begin;
    RunInBands(begin, end, count < 64 ? 1 : threads, [&](int, int first, int last) { body(first, last); });
}

// Diamond-square on a (2^k + 1)^2 grid. The displacement of a point added at subdivision level
// l is amplitude[l] times a hash of its position on that level's own lattice, so the first
// levels come out the same whatever k is.
void DiamondSquare(Field& field, int k, std::uint32_t seed, const std::vector<float>& amplitude, int threads)
{
    const int n = (1 << k) + 1;
    field.side = n;
    field.data.reset(new float[std::size_t(n) * std::size_t(n)]);
    float* const data = field.data.get();
    const auto at = [&](int x, int y) -> float& { return data[std::size_t(y) * std::size_t(n) + std::size_t(x)]; };
    for (int cy = 0; cy < 2; ++cy)
        for (int cx = 0; cx < 2; ++cx)
            at(cx * (n - 1), cy * (n - 1)) = amplitude[0] * Signed(Hash(std::uint32_t(cx), std::uint32_t(cy), 0, seed));
    for (int level = 1; level <= k; ++level)
    {
        const int shift = k - level;
        const int half = 1 << shift;
        const int step = half * 2;
        const float a = level < int(amplitude.size()) ? amplitude[std::size_t(level)] : 0.0f;
        const auto displacement = [&](int x, int y)
        {
            return a == 0.0f ? 0.0f
                             : a * Signed(Hash(std::uint32_t(x >> shift), std::uint32_t(y >> shift),
                                               std::uint32_t(level), seed));
        };
        // Diamond step: the centre of every square.
        ParallelRows(0, (n - 1) / step, threads,
                     [&](int first, int last)
                     {
                         for (int j = first; j < last; ++j)
                         {
                             const int y = half + j * step;
                             for (int x = half; x < n; x += step)
                                 at(x, y) = 0.25f * (at(x - half, y - half) + at(x + half, y - half) +
                                                     at(x - half, y + half) + at(x + half, y + half)) +
                                            displacement(x, y);
                         }
                     });
        // Square step: the middle of every edge, from the up to four points around it.
        ParallelRows(0, (n - 1) / half + 1, threads,
                     [&](int first, int last)
                     {
                         for (int j = first; j < last; ++j)
                         {
                             const int y = j * half;
                             for (int x = (j % 2 == 0) ? half : 0; x < n; x += step)
                             {
                                 float sum = 0.0f;
                                 int count = 0;
                                 if (x >= half)
                                     sum += at(x - half, y), ++count;
                                 if (x + half < n)
                                     sum += at(x + half, y), ++count;
                                 if (y >= half)
                                     sum += at(x, y - half), ++count;
                                 if (y + half < n)
                                     sum += at(x, y + half), ++count;
                                 at(x, y) = sum / float(count) + displacement(x, y);
                             }
                         }
                     });
    }
}

struct Grid
{
    int n; // side of the generated grid, 2^k + 1
    int k;
    int size;   // side of the terrain, cut from the grid's top-left corner
    float unit; // samples per normalised length (n - 1)
};

// The landscape before the water is carved: a continent sloping from northern mountains to the
// southern sea, fractal detail, valleys flattened, ridges sharpened where the land is high.
void ShapeLandscape(const Grid& grid, std::uint32_t seed, int threads, Field& heights)
{
    std::vector<float> detailAmplitude(std::size_t(grid.k) + 1);
    for (int level = 1; level <= grid.k; ++level)
        detailAmplitude[std::size_t(level)] = 0.26f * std::pow(2.0f, -0.86f * float(level - 1));
    DiamondSquare(heights, grid.k, seed, detailAmplitude, threads);

    // The ridge field at half resolution, without the largest and the finest scales.
    const int ridgeK = grid.k - 1;
    std::vector<float> ridgeAmplitude(std::size_t(ridgeK) + 1, 0.0f);
    for (int level = 2; level <= ridgeK; ++level)
        ridgeAmplitude[std::size_t(level)] = 0.8f * std::pow(2.0f, -0.85f * float(level - 2));
    Field ridges;
    DiamondSquare(ridges, ridgeK, seed ^ 0x5bd1e995u, ridgeAmplitude, threads);
    const int rn = (1 << ridgeK) + 1;

    const float phase = Unit(Hash(1, 2, 99, seed)) * kTwoPi;
    // The coast runs west to east across the south, bending along the way.
    std::vector<float> coast(std::size_t(grid.size));
    for (int x = 0; x < grid.size; ++x)
    {
        const float u = float(x) / grid.unit;
        coast[std::size_t(x)] =
            0.8f + 0.06f * std::sin(kTwoPi * 1.3f * u + phase) + 0.03f * std::sin(kTwoPi * 3.1f * u);
    }
    ParallelRows(0, grid.size, threads,
                 [&](int first, int last)
                 {
                     for (int y = first; y < last; ++y)
                     {
                         const float v = float(y) / grid.unit;
                         const int ry = std::min(y / 2, rn - 2);
                         const float fy = float(y - 2 * ry) * 0.5f;
                         float* row = heights.row(y);
                         for (int x = 0; x < grid.size; ++x)
                         {
                             float h = 0.75f * (coast[std::size_t(x)] - v) + row[x];

                             const int rx = std::min(x / 2, rn - 2);
                             const float fx = float(x - 2 * rx) * 0.5f;
                             const float* r0 = ridges.row(ry) + rx;
                             const float* r1 = r0 + rn;
                             const float b =
                                 (r0[0] * (1 - fx) + r0[1] * fx) * (1 - fy) + (r1[0] * (1 - fx) + r1[1] * fx) * fy;
                             const float crest = std::max(0.0f, 1.0f - std::fabs(b) * 2.2f);
                             h += SmoothStep(0.05f, 0.4f, h) * 0.6f * crest * crest;

                             // Land rises slowly from the shore (wide valleys, plains) and steeply up high.
                             h = h > 0.0f ? h * std::sqrt(h) * 1.1f : h * 0.3f;
                             row[x] = kSeaLevel + h * kRelief;
                         }
                     }
                 });
}

float RiverCentre(const Grid& grid, float v, std::uint32_t seed)
{
    const float p1 = Unit(Hash(3, 1, 77, seed)) * kTwoPi;
    const float p2 = Unit(Hash(3, 2, 77, seed)) * kTwoPi;
    const float p3 = Unit(Hash(3, 3, 77, seed)) * kTwoPi;
    const float u = 0.4f + 0.08f * std::sin(kTwoPi * 1.2f * v + p1) + 0.035f * std::sin(kTwoPi * 3.4f * v + p2) +
                    0.012f * std::sin(kTwoPi * 8.7f * v + p3);
    return u * grid.unit;
}

// A river from the northern edge down to the coast: the valley around it is pulled to the
// river's level (cutting through ridges, filling hollows), and a channel is dug below it.
void CarveRiver(DemoTerrain& terrain, const Grid& grid, std::uint32_t seed, Field& heights)
{
    const int size = grid.size;
    terrain.riverX.assign(std::size_t(size), 0.0f);
    terrain.riverLevel.assign(std::size_t(size), 0.0f);
    for (int y = 0; y < size; ++y)
        terrain.riverX[std::size_t(y)] = RiverCentre(grid, float(y) / grid.unit, seed);
    const auto heightAt = [&](float x, int y)
    {
        const int xi = std::clamp(static_cast<int>(x), 0, size - 1);
        return heights.row(y)[xi];
    };
    // The river reaches the sea where the land along it ends for good.
    int mouth = size - 1;
    while (mouth > 0 && heightAt(terrain.riverX[std::size_t(mouth)], mouth) < kSeaLevel + 400.0f)
        --mouth;
    const int source = 0;
    if (mouth - source < 16)
        return;
    const float sourceLevel = kSeaLevel + 0.3f * kRelief;
    const float halfWidth = std::max(1.5f, 0.006f * grid.unit);
    const float valley = 0.035f * grid.unit;
    const float depth = 500.0f;
    terrain.riverHalfWidth = halfWidth;
    for (int y = source; y < size; ++y)
    {
        const float t = std::min(1.0f, float(y - source) / float(mouth - source));
        const float level = kSeaLevel + (sourceLevel - kSeaLevel) * std::pow(1.0f - t, 1.4f);
        const float width = halfWidth * (0.45f + 0.55f * t);
        const float centre = terrain.riverX[std::size_t(y)];
        const float next = terrain.riverX[std::size_t(std::min(y + 1, size - 1))];
        const float across = 1.0f / std::sqrt(1.0f + (next - centre) * (next - centre));
        terrain.riverLevel[std::size_t(y)] = y <= mouth ? level : 0.0f;
        // Past the mouth the valley fades out into the sea floor.
        const float strength = y <= mouth ? 1.0f : std::max(0.0f, 1.0f - float(y - mouth) / valley);
        // Where the land starts the channel tapers in over the first rows.
        const float taper = std::min(1.0f, float(y - source) / (4.0f * width));
        // Distances run square to the river, so a slanting river reaches further along the row.
        const float reach = (valley + width) / across + 2.0f;
        const int x0 = std::max(0, static_cast<int>(centre - reach));
        const int x1 = std::min(size - 1, static_cast<int>(centre + reach));
        float* row = heights.row(y);
        for (int x = x0; x <= x1; ++x)
        {
            const float d = std::fabs(float(x) - centre) * across;
            float h = row[x];
            if (strength > 0.0f)
            {
                const float s = SmoothStep(0.0f, valley, std::max(0.0f, d - width));
                h += (level + (h - level) * s - h) * strength;
            }
            if (d < width)
                h = std::min(h, level - depth * taper * (1.0f - (d / width) * (d / width)));
            row[x] = h;
        }
    }
}

// Where a lake may go: inside the map with its whole rim, clear of the river and the other
// lakes, on low land whose rim is not too uneven. Sets the level just below the rim's lowest
// ground, so the dug basin holds its water.
bool PlaceLake(const DemoTerrain& terrain, const Grid& grid, const Field& heights, DemoLake& lake)
{
    const int size = grid.size;
    const float reach = lake.radius * 2.7f;
    if (lake.x - reach < 2 || lake.y - reach < 2 || lake.x + reach > float(size - 3) ||
        lake.y + reach > float(size - 3))
        return false;
    const int riverRow = std::clamp(static_cast<int>(lake.y), 0, size - 1);
    if (!terrain.riverX.empty() &&
        std::fabs(lake.x - terrain.riverX[std::size_t(riverRow)]) < reach + 0.06f * grid.unit)
        return false;
    for (const DemoLake& other : terrain.lakes)
        if (std::hypot(other.x - lake.x, other.y - lake.y) < reach + other.radius * 2.7f + 4)
            return false;
    float rimLow = 1e9f;
    float rimHigh = -1e9f;
    for (int a = 0; a < 64; ++a)
    {
        const float angle = float(a) * kTwoPi / 64.0f;
        for (float ring : {1.0f, 1.25f, 1.5f, 1.75f, 2.0f})
        {
            const float r = LakeShoreRadius(lake, angle) * ring;
            const int x = std::clamp(static_cast<int>(lake.x + r * std::cos(angle)), 0, size - 1);
            const int y = std::clamp(static_cast<int>(lake.y + r * std::sin(angle)), 0, size - 1);
            rimLow = std::min(rimLow, heights.row(y)[x]);
            rimHigh = std::max(rimHigh, heights.row(y)[x]);
        }
    }
    if (rimLow < kSeaLevel + 1500.0f || rimLow > kSeaLevel + 0.35f * kRelief || rimHigh - rimLow > 9000.0f)
        return false;
    lake.level = static_cast<std::uint16_t>(rimLow - 150.0f);
    return true;
}

// Below the shore a bowl; from the shore out to twice its radius the ground blends back into
// the land, never rising above it.
void DigLake(const DemoLake& lake, const Grid& grid, Field& heights)
{
    const float reach = lake.radius * 2.7f;
    const float level = lake.level;
    const int x0 = std::max(0, static_cast<int>(lake.x - reach) - 1);
    const int x1 = std::min(grid.size - 1, static_cast<int>(lake.x + reach) + 1);
    const int y0 = std::max(0, static_cast<int>(lake.y - reach) - 1);
    const int y1 = std::min(grid.size - 1, static_cast<int>(lake.y + reach) + 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
        {
            const float d = LakeDistance(lake, float(x), float(y));
            float& h = heights.row(y)[x];
            if (d < 1.0f)
                h = std::min(h, level - 1200.0f * (1.0f - d * d));
            else if (d < 2.0f)
                h = std::min(h, level + 100.0f + (h - level - 100.0f) * SmoothStep(1.0f, 2.0f, d));
        }
}

void CarveLakes(DemoTerrain& terrain, const Grid& grid, std::uint32_t seed, Field& heights)
{
    constexpr int kCandidates = 10;
    constexpr std::size_t kMaxLakes = 9;
    for (int j = 0; j < kCandidates && terrain.lakes.size() < kMaxLakes; ++j)
        for (int i = 0; i < kCandidates && terrain.lakes.size() < kMaxLakes; ++i)
        {
            const std::uint32_t hash = Hash(std::uint32_t(i), std::uint32_t(j), 55, seed);
            DemoLake lake;
            lake.x = (float(i) + 0.2f + 0.6f * Unit(hash)) / kCandidates * grid.unit;
            lake.y = (float(j) + 0.2f + 0.6f * Unit(hash * 31u)) / kCandidates * grid.unit;
            lake.radius = (0.012f + 0.018f * Unit(hash * 77u)) * grid.unit;
            lake.phase = Unit(hash * 13u) * kTwoPi;
            if (!PlaceLake(terrain, grid, heights, lake))
                continue;
            DigLake(lake, grid, heights);
            terrain.lakes.push_back(lake);
        }
}
} // namespace

float LakeShoreRadius(const DemoLake& lake, float angle)
{
    return lake.radius *
           (1.0f + 0.22f * std::sin(3.0f * angle + lake.phase) + 0.1f * std::sin(5.0f * angle + 2.0f * lake.phase));
}

float LakeDistance(const DemoLake& lake, float x, float y)
{
    const float dx = x - lake.x;
    const float dy = y - lake.y;
    const float distance = std::sqrt(dx * dx + dy * dy);
    // The shore radius never exceeds 1.32 radii: far points need no angle.
    if (distance > 3.0f * lake.radius)
        return distance / (1.32f * lake.radius);
    return distance / LakeShoreRadius(lake, std::atan2(dy, dx));
}

float DemoWaterSurface(const DemoTerrain& terrain, float x, float y)
{
    float level = terrain.seaLevel;
    const int row = std::clamp(static_cast<int>(y + 0.5f), 0, terrain.size - 1);
    if (!terrain.riverLevel.empty() && terrain.riverLevel[std::size_t(row)] > level &&
        std::fabs(x - terrain.riverX[std::size_t(row)]) < terrain.riverHalfWidth * 1.5f)
        level = terrain.riverLevel[std::size_t(row)];
    for (const DemoLake& lake : terrain.lakes)
        if (lake.level > level && LakeDistance(lake, x, y) < 2.0f)
            level = lake.level;
    return level;
}

DemoTerrain SynthesizeDemoTerrain(int size, std::uint32_t seed, int threads)
{
    size = std::clamp(size, kDemoMinSize, kDemoMaxSize);
    if (threads <= 0)
        threads = static_cast<int>(WorkerCount());
    Grid grid{};
    grid.k = 1;
    while ((1 << grid.k) + 1 < size)
        ++grid.k;
    grid.n = (1 << grid.k) + 1;
    grid.size = size;
    grid.unit = float(grid.n - 1);

    DemoTerrain terrain;
    terrain.size = size;
    terrain.pixelSize = kDemoExtentMetres / grid.unit;
    terrain.seaLevel = static_cast<std::uint16_t>(kSeaLevel);
    Field heights;
    ShapeLandscape(grid, seed, threads, heights);
    CarveRiver(terrain, grid, seed, heights);
    CarveLakes(terrain, grid, seed, heights);

    terrain.heights.resize(std::size_t(size) * std::size_t(size));
    ParallelRows(0, size, threads,
                 [&](int first, int last)
                 {
                     for (int y = first; y < last; ++y)
                     {
                         const float* in = heights.row(y);
                         std::uint16_t* out = terrain.heights.data() + std::size_t(y) * std::size_t(size);
                         for (int x = 0; x < size; ++x)
                         {
                             // The highest peaks are squeezed towards the top of the range instead of cut.
                             constexpr float kKnee = 56000.0f;
                             constexpr float kRoom = 65535.0f - kKnee;
                             float h = in[x];
                             if (h > kKnee)
                                 h = kKnee + (h - kKnee) * kRoom / (h - kKnee + kRoom);
                             out[x] = static_cast<std::uint16_t>(std::clamp(h + 0.5f, 0.0f, 65535.0f));
                         }
                     }
                 });
    return terrain;
}

namespace
{
// Water by depth; land from green lowland through brown hills to pale peaks; shaded.
void TerrainColour(float ground, float surface, float seaLevel, float shade, std::uint8_t* out)
{
    float r, g, b, light;
    if (ground < surface)
    {
        const float depth = std::clamp((surface - ground) / 6000.0f, 0.0f, 1.0f);
        r = 40 - 25 * depth, g = 110 - 60 * depth, b = 190 - 60 * depth;
        light = 0.75f + 0.25f * shade;
    }
    else
    {
        const float a = std::clamp((ground - seaLevel) / 45000.0f, 0.0f, 1.0f);
        if (a < 0.3f)
            r = 90 + 200 * a, g = 140 + 60 * a, b = 70 + 20 * a;
        else if (a < 0.7f)
            r = 150 - 40 * (a - 0.3f), g = 158 - 100 * (a - 0.3f), b = 76 + 20 * (a - 0.3f);
        else
            r = 134 + 400 * (a - 0.7f), g = 118 + 450 * (a - 0.7f), b = 84 + 500 * (a - 0.7f);
        light = 0.35f + 0.9f * shade;
    }
    out[0] = static_cast<std::uint8_t>(std::clamp(r * light, 0.0f, 255.0f));
    out[1] = static_cast<std::uint8_t>(std::clamp(g * light, 0.0f, 255.0f));
    out[2] = static_cast<std::uint8_t>(std::clamp(b * light, 0.0f, 255.0f));
}
} // namespace

std::vector<std::uint8_t> RenderTerrainPreview(const DemoTerrain& terrain, int maxSide, int& width, int& height)
{
    const int size = terrain.size;
    const int factor = std::max(1, (size + maxSide - 1) / maxSide);
    width = height = (size + factor - 1) / factor;
    std::vector<std::uint8_t> rgb(std::size_t(width) * std::size_t(height) * 3);
    const auto h = [&](int x, int y)
    {
        x = std::clamp(x, 0, size - 1);
        y = std::clamp(y, 0, size - 1);
        return float(terrain.heights[std::size_t(y) * std::size_t(size) + std::size_t(x)]);
    };
    // Metres per height unit over metres per step: the shading sees the true slopes.
    const float vertical = 2550.0f / 65535.0f / (terrain.pixelSize * float(factor));
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
        {
            const int x = px * factor;
            const int y = py * factor;
            const float dzdx = (h(x + factor, y) - h(x - factor, y)) * 0.5f * vertical;
            const float dzdy = (h(x, y + factor) - h(x, y - factor)) * 0.5f * vertical;
            // Light from the north-west, high.
            const float shade =
                std::clamp((dzdx + dzdy + 1.2f) / std::sqrt(1.0f + dzdx * dzdx + dzdy * dzdy) / 1.9f, 0.0f, 1.0f);
            TerrainColour(h(x, y), DemoWaterSurface(terrain, float(x), float(y)), float(terrain.seaLevel), shade,
                          &rgb[(std::size_t(py) * std::size_t(width) + std::size_t(px)) * 3]);
        }
    return rgb;
}
