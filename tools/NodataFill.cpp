#include "tools/NodataFill.h"

#include "base/Concurrency.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace
{
constexpr std::uint8_t kPending = 3; // nodata not yet sorted

// Visits the 8-connected region of cells for which `inRegion(index)` holds around `start`, calling
// `take(index)` once for each (which must make inRegion false for it); `stack` is scratch.
template <typename InRegion, typename Take>
void FloodRegion(std::size_t start, int width, int height, std::vector<std::uint32_t>& stack, InRegion inRegion,
                 Take take)
{
    stack.clear();
    take(start);
    stack.push_back(static_cast<std::uint32_t>(start));
    while (!stack.empty())
    {
        const std::size_t i = stack.back();
        stack.pop_back();
        const int x = int(i % std::size_t(width));
        const int y = int(i / std::size_t(width));
        for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, height - 1); ++ny)
            for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, width - 1); ++nx)
            {
                const std::size_t j = std::size_t(ny) * std::size_t(width) + std::size_t(nx);
                if (inRegion(j))
                {
                    take(j);
                    stack.push_back(static_cast<std::uint32_t>(j));
                }
            }
    }
}

// One level of the solver: heights, the right-hand side of the equation solved there (empty:
// zero) and which cells are free to change (the rest are held).
struct Grid
{
    int width = 0;
    int height = 0;
    std::vector<float> value;
    std::vector<float> rhs;
    std::vector<std::uint8_t> free;

    std::size_t cells() const { return std::size_t(width) * std::size_t(height); }
};

// Below this many cells a level is swept on one thread: starting threads would cost more.
constexpr std::size_t kParallelCells = 1 << 16;

// Runs row(y) for every row of `grid` of one parity, then of the other.
template <typename Row>
void ByParity(const Grid& grid, Row row)
{
    const std::size_t pairs = std::size_t(grid.height + 1) / 2;
    for (int parity = 0; parity < 2; ++parity)
        ParallelFor(pairs, grid.cells() < kParallelCells ? 1 : 0, [&](std::size_t k) {
            const int y = int(2 * k) + parity;
            if (y < grid.height)
                row(y);
        });
}

// The weighted average of the neighbours of (x, y), the four sides weighing 4 and the four
// corners 1 (the nine-point stencil of Laplace's equation). Beyond the raster's edge a cell
// stands for its neighbour across it: the edge mirrors, so that nothing flows out of the raster
// there and the stencil keeps its weights (a level above sees the same equation at twice the
// spacing).
inline float NeighbourAverage(const float* v, int x, int y, int width, int height)
{
    const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
    if (x > 0 && x + 1 < width && y > 0 && y + 1 < height)
    {
        const float* up = v + i - std::size_t(width);
        const float* down = v + i + std::size_t(width);
        return (4 * (v[i - 1] + v[i + 1] + up[0] + down[0]) + up[-1] + up[1] + down[-1] + down[1]) * (1.0f / 20);
    }
    const std::size_t left = std::size_t(std::max(x - 1, 0));
    const std::size_t right = std::size_t(std::min(x + 1, width - 1));
    const float* up = v + std::size_t(std::max(y - 1, 0)) * std::size_t(width);
    const float* row = v + std::size_t(y) * std::size_t(width);
    const float* down = v + std::size_t(std::min(y + 1, height - 1)) * std::size_t(width);
    return (4 * (row[left] + row[right] + up[x] + down[x]) + up[left] + up[right] + down[left] + down[right]) *
           (1.0f / 20);
}

// Gauss-Seidel sweeps of value - NeighbourAverage(value) = rhs over the free cells. Without a
// right-hand side each free cell becomes a convex combination of its neighbours, so a region
// whose values lie within bounds stays within them. Rows of one parity read only rows of the
// other, so they are swept in parallel and the result does not depend on the threads.
void Relax(Grid& grid, int sweeps)
{
    float* v = grid.value.data();
    const float* rhs = grid.rhs.empty() ? nullptr : grid.rhs.data();
    for (int sweep = 0; sweep < sweeps; ++sweep)
        ByParity(grid, [&](int y) {
            const std::size_t base = std::size_t(y) * std::size_t(grid.width);
            for (int x = 0; x < grid.width; ++x)
                if (grid.free[base + std::size_t(x)])
                    v[base + std::size_t(x)] = NeighbourAverage(v, x, y, grid.width, grid.height) +
                                               (rhs != nullptr ? rhs[base + std::size_t(x)] : 0.0f);
        });
}

// The grid above `fine`: a cell is free when every cell of its 2 x 2 block is, so that the held
// cells reach every level and no level's equation lacks them (with none, it has no one solution).
Grid CoarseGrid(const Grid& fine)
{
    Grid coarse;
    coarse.width = (fine.width + 1) / 2;
    coarse.height = (fine.height + 1) / 2;
    coarse.value.assign(coarse.cells(), 0.0f);
    coarse.rhs.assign(coarse.cells(), 0.0f);
    coarse.free.assign(coarse.cells(), 1);
    for (int y = 0; y < fine.height; ++y)
        for (int x = 0; x < fine.width; ++x)
            coarse.free[std::size_t(y / 2) * std::size_t(coarse.width) + std::size_t(x / 2)] &=
                fine.free[std::size_t(y) * std::size_t(fine.width) + std::size_t(x)];
    return coarse;
}

// Adds to (`add`) or sets the free cells of `fine` to the bilinear interpolation of `coarse`
// (cell centres: fine x lies at coarse x / 2 - 1/4).
void Prolong(const Grid& coarse, Grid& fine, bool add)
{
    const auto taps = [](int i, int n, int& a, int& b, float& wb) {
        const int c = i / 2;
        a = i % 2 == 0 ? std::max(c - 1, 0) : c;
        b = i % 2 == 0 ? c : std::min(c + 1, n - 1);
        wb = i % 2 == 0 ? 0.75f : 0.25f;
    };
    ParallelFor(std::size_t(fine.height), fine.cells() < kParallelCells ? 1 : 0, [&](std::size_t yi) {
        const int y = int(yi);
        int y0 = 0, y1 = 0;
        float wy1 = 0;
        taps(y, coarse.height, y0, y1, wy1);
        const float* r0 = coarse.value.data() + std::size_t(y0) * std::size_t(coarse.width);
        const float* r1 = coarse.value.data() + std::size_t(y1) * std::size_t(coarse.width);
        for (int x = 0; x < fine.width; ++x)
        {
            const std::size_t i = std::size_t(y) * std::size_t(fine.width) + std::size_t(x);
            if (!fine.free[i])
                continue;
            int x0 = 0, x1 = 0;
            float wx1 = 0;
            taps(x, coarse.width, x0, x1, wx1);
            const float top = r0[x0] + wx1 * (r0[x1] - r0[x0]);
            const float bottom = r1[x0] + wx1 * (r1[x1] - r1[x0]);
            const float interpolated = top + wy1 * (bottom - top);
            fine.value[i] = add ? fine.value[i] + interpolated : interpolated;
        }
    });
}

// One V-cycle of multigrid on `levels[k]` and the coarser ones (created on first use): smooth,
// hand the residual to the level above as its right-hand side (an error equation with the held
// cells' error 0; four times the residual, the coarse stencil spanning twice the distance),
// solve there, add the interpolated correction, smooth again.
void VCycle(std::vector<Grid>& levels, std::size_t k)
{
    constexpr int kSmoothing = 2;
    constexpr int kCoarsestSweeps = 50;
    Grid& grid = levels[k];
    if (grid.width <= 2 || grid.height <= 2 || std::find(grid.free.begin(), grid.free.end(), 1) == grid.free.end())
    {
        Relax(grid, kCoarsestSweeps);
        return;
    }
    Relax(grid, kSmoothing);
    if (levels.size() == k + 1)
        levels.push_back(CoarseGrid(grid));
    Grid& coarse = levels[k + 1];
    Grid& fine = levels[k]; // the push may have moved it
    std::fill(coarse.value.begin(), coarse.value.end(), 0.0f);
    std::fill(coarse.rhs.begin(), coarse.rhs.end(), 0.0f);
    std::vector<float> count(coarse.cells(), 0.0f);
    const float* v = fine.value.data();
    for (int y = 0; y < fine.height; ++y)
        for (int x = 0; x < fine.width; ++x)
        {
            const std::size_t i = std::size_t(y) * std::size_t(fine.width) + std::size_t(x);
            if (!fine.free[i])
                continue;
            const float residual = (fine.rhs.empty() ? 0.0f : fine.rhs[i]) -
                                   (v[i] - NeighbourAverage(v, x, y, fine.width, fine.height));
            const std::size_t c = std::size_t(y / 2) * std::size_t(coarse.width) + std::size_t(x / 2);
            coarse.rhs[c] += residual;
            count[c] += 1;
        }
    for (std::size_t c = 0; c < coarse.cells(); ++c)
        coarse.rhs[c] = coarse.free[c] ? coarse.rhs[c] * 4 / count[c] : 0.0f;
    VCycle(levels, k + 1);
    // The coarse levels see the rim up to a cell from where it lies, and the full correction
    // overshoots beside it, growing from cycle to cycle along long thin regions (a padded strip);
    // seven tenths of it converge everywhere.
    constexpr float kDamping = 0.7f;
    for (float& e : levels[k + 1].value)
        e *= kDamping;
    Prolong(levels[k + 1], levels[k], true);
    Relax(levels[k], kSmoothing);
}

// A first height for every free cell of `finest`: a pyramid of averages over the held cells,
// each level's free cells interpolated from the level above and relaxed a little, from the
// coarsest level that has no free cell left downward.
void FirstGuess(Grid& finest)
{
    // The weight of a cell is the count of held cells of the finest level under it.
    std::vector<Grid> levels;
    std::vector<std::vector<float>> weights;
    const Grid* fine = &finest;
    while (std::find(fine->free.begin(), fine->free.end(), 1) != fine->free.end() &&
           (fine->width > 1 || fine->height > 1))
    {
        Grid coarse;
        coarse.width = (fine->width + 1) / 2;
        coarse.height = (fine->height + 1) / 2;
        coarse.value.assign(coarse.cells(), 0.0f);
        std::vector<float> weight(coarse.cells(), 0.0f);
        const float* w = weights.empty() ? nullptr : weights.back().data();
        for (int y = 0; y < fine->height; ++y)
            for (int x = 0; x < fine->width; ++x)
            {
                const std::size_t i = std::size_t(y) * std::size_t(fine->width) + std::size_t(x);
                const std::size_t c = std::size_t(y / 2) * std::size_t(coarse.width) + std::size_t(x / 2);
                const float held = w != nullptr ? w[i] : fine->free[i] ? 0.0f : 1.0f;
                coarse.value[c] += held * fine->value[i];
                weight[c] += held;
            }
        coarse.free.resize(coarse.cells());
        for (std::size_t c = 0; c < coarse.cells(); ++c)
        {
            coarse.free[c] = weight[c] > 0 ? 0 : 1;
            if (weight[c] > 0)
                coarse.value[c] /= weight[c];
        }
        levels.push_back(std::move(coarse));
        weights.push_back(std::move(weight));
        fine = &levels.back();
    }
    constexpr int kSweeps = 2;
    for (std::size_t k = levels.size(); k-- > 0;)
    {
        Grid& below = k == 0 ? finest : levels[k - 1];
        Prolong(levels[k], below, false);
        Relax(below, kSweeps);
    }
}

// Keeps every region of free cells within its rim's lowest and highest value, where the
// relaxation that follows keeps it.
void ClampToRims(Grid& grid)
{
    std::vector<std::uint8_t> seen(grid.cells(), 0);
    std::vector<std::uint32_t> stack;
    std::vector<std::uint32_t> region;
    for (std::size_t start = 0; start < grid.cells(); ++start)
    {
        if (!grid.free[start] || seen[start])
            continue;
        region.clear();
        float low = INFINITY;
        float high = -INFINITY;
        FloodRegion(
            start, grid.width, grid.height, stack,
            [&](std::size_t j) {
                if (!grid.free[j])
                {
                    low = std::min(low, grid.value[j]);
                    high = std::max(high, grid.value[j]);
                    return false;
                }
                return !seen[j];
            },
            [&](std::size_t j) {
                seen[j] = 1;
                region.push_back(static_cast<std::uint32_t>(j));
            });
        if (low <= high)
            for (std::uint32_t j : region)
                grid.value[j] = std::clamp(grid.value[j], low, high);
    }
}
} // namespace

NodataCounts ClassifyNodata(std::uint8_t* mask, int width, int height)
{
    const std::size_t cells = std::size_t(width) * std::size_t(height);
    for (std::size_t i = 0; i < cells; ++i)
        mask[i] = mask[i] != 0 ? kPending : std::uint8_t(NodataKind::Data);
    NodataCounts counts;
    std::vector<std::uint32_t> stack;
    const auto mark = [&](NodataKind kind, long long& count) {
        return [&, kind](std::size_t j) {
            mask[j] = std::uint8_t(kind);
            ++count;
        };
    };
    const auto pending = [&](std::size_t j) { return mask[j] == kPending; };
    const auto fromEdge = [&](int x, int y) {
        const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
        if (mask[i] == kPending)
            FloodRegion(i, width, height, stack, pending, mark(NodataKind::Outside, counts.outsideCells));
    };
    for (int x = 0; x < width; ++x)
    {
        fromEdge(x, 0);
        fromEdge(x, height - 1);
    }
    for (int y = 0; y < height; ++y)
    {
        fromEdge(0, y);
        fromEdge(width - 1, y);
    }
    for (std::size_t i = 0; i < cells; ++i)
        if (mask[i] == kPending)
        {
            ++counts.voids;
            FloodRegion(i, width, height, stack, pending, mark(NodataKind::Void, counts.voidCells));
        }
    return counts;
}

void FillNodata(std::uint16_t* samples, const std::uint8_t* mask, int width, int height)
{
    // Laplace's equation by multigrid: a first guess from a pyramid of averages, then V-cycles,
    // each cutting the error by half or more whatever the size of the region. The bound on every
    // region comes last: clamped to its rim's range and relaxed, which keeps it there.
    std::vector<Grid> levels(1);
    Grid& finest = levels[0];
    finest.width = width;
    finest.height = height;
    finest.value.resize(finest.cells());
    finest.free.resize(finest.cells());
    for (std::size_t i = 0; i < finest.cells(); ++i)
    {
        finest.value[i] = samples[i];
        finest.free[i] = mask[i] != std::uint8_t(NodataKind::Data);
    }
    FirstGuess(levels[0]);
    constexpr int kCycles = 4;
    for (int cycle = 0; cycle < kCycles; ++cycle)
        VCycle(levels, 0);
    levels.resize(1);
    ClampToRims(levels[0]);
    Relax(levels[0], 2);
    const float* v = levels[0].value.data();
    for (std::size_t i = 0; i < levels[0].cells(); ++i)
        if (mask[i] != std::uint8_t(NodataKind::Data))
            samples[i] = static_cast<std::uint16_t>(std::clamp(std::floor(v[i] + 0.5f), 0.0f, 65535.0f));
}

std::string DescribeNodata(const NodataCounts& counts, bool filled)
{
    if (counts.cells() == 0)
        return "none";
    std::string text;
    if (counts.voidCells > 0)
        text = std::to_string(counts.voids) + (counts.voids == 1 ? " void of " : " voids of ") +
               std::to_string(counts.voidCells) + (counts.voidCells == 1 ? " cell" : " cells") +
               (filled ? (counts.voids == 1 ? " filled from its rim" : " filled from their rims") : "");
    if (counts.outsideCells > 0)
        text += (text.empty() ? "" : ", ") + std::to_string(counts.outsideCells) +
                (counts.outsideCells == 1 ? " cell" : " cells") + " outside the footprint" +
                (filled ? " carried outward from its edge" : "");
    return filled ? text : text + ", all set to one height";
}
