// Bank smoothing, fast and with the same results as the sample-by-sample definition
// (WaterReference.cpp):
// - the nearest water in the bank window comes from per-row nearest-water distances, kept for
//   the window's rows while the window slides down;
// - water counts and integer water sums of the hill window come from column sums that slide
//   down with the window and a prefix sum along the row;
// - the float sum S of the hill window equals the integer sum whenever that sum is at most
//   2^24 (every partial sum is then an exactly representable integer). Above that, float
//   rounding depends on the order of the additions, so S is formed by the very additions of the
//   definition (row by row, left to right, zeros included since adding 0 changes nothing) for a
//   group of neighbouring samples at once, one vector lane per sample. Those additions start
//   only at the first window row after which some lane's sum would pass 2^24: up to there every
//   partial sum is exact, so the rows before it enter as exact integer row sums.
#include "base/Concurrency.h"
#include "base/VectorUnit.h"
#include "heightproc/Water.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace
{

constexpr std::int32_t kExactFloatLimit = 1 << 24;
constexpr int kNoWater = 1 << 28;

// The hill windows of a group of kGroup consecutive output rows y0 .. y0 + kGroup - 1: the rows
// y0 - hill .. y0 + kGroup - 1 + hill - 1 inside the raster, as floats (column c at
// values[i][hill + c], zeros beyond the raster) and as prefix sums (prefix[i][c] = sum of the
// columns before c); output j's window is rows begin[j] .. end[j] - 1 of these.
constexpr int kGroup = 4;

struct WindowRows
{
    const float* const* values;
    const std::uint32_t* const* prefix;
    int begin[kGroup];
    int end[kGroup];
};

// Adds output j's exact rows (while every lane's partial sum stays at most 2^24) as integers,
// sets s to them and answers the first row left for the float additions.
template <int Lanes>
[[gnu::always_inline]] inline int SumExactRows(const WindowRows& rows, int j, int x0, int hill, int width, float* s)
{
    std::int32_t exact[Lanes] = {};
    std::int32_t next[Lanes];
    int r = rows.begin[j];
    // A row sum is below 2 * hill * 65536, which must fit the 32-bit lanes.
    if (hill >= 16384)
    {
    }
    else if (x0 - hill >= 0 && x0 + Lanes - 1 + hill <= width)
    {
        for (; r < rows.end[j]; ++r)
        {
            const std::uint32_t* low = rows.prefix[r] + x0 - hill;
            const std::uint32_t* high = rows.prefix[r] + x0 + hill;
            int over = 0;
            for (int l = 0; l < Lanes; ++l)
            {
                next[l] = exact[l] + static_cast<std::int32_t>(high[l] - low[l]);
                over |= next[l] > kExactFloatLimit ? 1 : 0;
            }
            if (over != 0)
                break;
            for (int l = 0; l < Lanes; ++l)
                exact[l] = next[l];
        }
    }
    else
    {
        int low[Lanes];
        int high[Lanes];
        for (int l = 0; l < Lanes; ++l)
        {
            low[l] = std::clamp(x0 + l - hill, 0, width);
            high[l] = std::clamp(x0 + l + hill, 0, width);
        }
        for (; r < rows.end[j]; ++r)
        {
            const std::uint32_t* prefix = rows.prefix[r];
            int over = 0;
            for (int l = 0; l < Lanes; ++l)
            {
                next[l] = exact[l] + static_cast<std::int32_t>(prefix[high[l]] - prefix[low[l]]);
                over |= next[l] > kExactFloatLimit ? 1 : 0;
            }
            if (over != 0)
                break;
            for (int l = 0; l < Lanes; ++l)
                exact[l] = next[l];
        }
    }
    for (int l = 0; l < Lanes; ++l)
        s[l] = static_cast<float>(exact[l]);
    return r;
}

// Loads (or adds) the vector at p, which need not be aligned.
template <typename V>
[[gnu::always_inline]] inline void LoadLanes(V& v, const float* p)
{
    std::memcpy(&v, p, sizeof v);
}

template <typename V>
[[gnu::always_inline]] inline void AddLanes(V& s, const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    s += v;
}

// sums[j * Lanes + l] = the single-precision window sum of output j's column x0 + l, Lanes =
// two vectors V: the rows while every lane's partial sum stays at most 2^24 as exact integers,
// the rest by the additions of the definition, in order. Each output adds its rows top to
// bottom; a row that lies in every output's float rows is read once and added to all of them,
// which saves the loads that would otherwise bound the additions. The sums stay in named vector
// registers (arrays of them went through memory). Lanes beyond the raster take part too; that
// can only end the exact rows earlier.
template <typename V>
[[gnu::always_inline]] inline void SumWindowsLanes(const WindowRows& rows, int x0, int hill, int width, float* sums)
{
    static_assert(kGroup == 4, "one pair of sums per output below");
    constexpr int kWidth = static_cast<int>(sizeof(V) / sizeof(float));
    constexpr int kLanes = 2 * kWidth;
    float start[kGroup][kLanes];
    int first[kGroup];
    int lo = INT_MAX;
    int hi = 0;
    for (int j = 0; j < kGroup; ++j)
    {
        first[j] = SumExactRows<kLanes>(rows, j, x0, hill, width, start[j]);
        if (first[j] < rows.end[j])
        {
            lo = std::min(lo, first[j]);
            hi = std::max(hi, rows.end[j]);
        }
    }
    V a0, b0, a1, b1, a2, b2, a3, b3;
    LoadLanes(a0, start[0]);
    LoadLanes(b0, start[0] + kWidth);
    LoadLanes(a1, start[1]);
    LoadLanes(b1, start[1] + kWidth);
    LoadLanes(a2, start[2]);
    LoadLanes(b2, start[2] + kWidth);
    LoadLanes(a3, start[3]);
    LoadLanes(b3, start[3] + kWidth);
    const int length = 2 * hill;
    const auto addRow = [length](V& a, V& b, const float* p) {
        for (int k = 0; k < length; ++k)
        {
            AddLanes(a, p + k);
            AddLanes(b, p + k + kWidth);
        }
    };
    for (int r = lo; r < hi; ++r)
    {
        // Lane l's window starts at column x0 + l - hill, stored at x0 + l.
        const float* p = rows.values[r] + x0;
        bool in[kGroup];
        for (int j = 0; j < kGroup; ++j)
            in[j] = first[j] <= r && r < rows.end[j];
        if (in[0] && in[1] && in[2] && in[3])
        {
            for (int k = 0; k < length; ++k)
            {
                V u;
                V w;
                LoadLanes(u, p + k);
                LoadLanes(w, p + k + kWidth);
                a0 += u;
                b0 += w;
                a1 += u;
                b1 += w;
                a2 += u;
                b2 += w;
                a3 += u;
                b3 += w;
            }
        }
        else
        {
            if (in[0])
                addRow(a0, b0, p);
            if (in[1])
                addRow(a1, b1, p);
            if (in[2])
                addRow(a2, b2, p);
            if (in[3])
                addRow(a3, b3, p);
        }
    }
    const V out[] = {a0, b0, a1, b1, a2, b2, a3, b3};
    std::memcpy(sums, out, sizeof out);
}

using Floats4 = float __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));
using Floats16 = float __attribute__((vector_size(64)));

using SumWindowsFn = void (*)(const WindowRows&, int, int, int, float*);

void SumWindowsBase(const WindowRows& rows, int x0, int hill, int width, float* sums)
{
    SumWindowsLanes<Floats4>(rows, x0, hill, width, sums);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void SumWindowsAvx2(const WindowRows& rows, int x0, int hill, int width, float* sums)
{
    SumWindowsLanes<Floats8>(rows, x0, hill, width, sums);
}

[[gnu::target("avx512f")]] void SumWindowsAvx512(const WindowRows& rows, int x0, int hill, int width, float* sums)
{
    SumWindowsLanes<Floats16>(rows, x0, hill, width, sums);
}
#endif

struct LaneKernel
{
    SumWindowsFn sum;
    int lanes;
};

// Every variant performs the same additions per lane.
LaneKernel SelectLaneKernel()
{
    switch (WidestVectorUnit())
    {
#if defined(__x86_64__) || defined(__i386__)
    case VectorUnit::Avx512:
        return {SumWindowsAvx512, 32};
    case VectorUnit::Avx2:
        return {SumWindowsAvx2, 16};
#endif
    default:
        return {SumWindowsBase, 8};
    }
}

struct SmoothParams
{
    RasterView<std::uint16_t> height;
    ConstRasterView<std::uint16_t> water;
    int bank;
    int hill;
    int seaHeight;
    LaneKernel kernel;
};

std::uint16_t SmoothedSample(int h, int distance2, int bank, int count, float sum)
{
    float d = static_cast<float>(bank);
    const auto nearest = static_cast<float>(std::sqrt(static_cast<double>(distance2)));
    if (nearest < d)
        d = nearest;
    float t = static_cast<float>(1.0 - static_cast<double>(d) / bank);
    t = std::clamp(t, 0.0f, 1.0f);
    const auto a = static_cast<float>(static_cast<double>(sum) / count);
    const double v = h + (static_cast<double>(a) - h) * static_cast<double>(t) + static_cast<double>(0.5555f);
    return static_cast<std::uint16_t>(static_cast<int>(v));
}

// The sliding state of one chunk of rows. Samples whose sum needs the float additions wait
// until kGroup rows have been seen and are then summed together (see SumWindowsLanes); only a
// sample's own height is read, so the rows between keep their finished samples meanwhile.
class SmoothWindow
{
public:
    explicit SmoothWindow(const SmoothParams& p)
        : m_p(p), m_width(p.water.width), m_rows(p.water.height), m_ring(2 * p.hill + kGroup - 1),
          m_slotLength(static_cast<std::size_t>(m_width) + 2 * static_cast<std::size_t>(p.hill) +
                       static_cast<std::size_t>(p.kernel.lanes)),
          m_near(static_cast<std::size_t>(2 * p.bank) * static_cast<std::size_t>(m_width)),
          m_distance(static_cast<std::size_t>(m_width)), m_colCount(static_cast<std::size_t>(m_width)),
          m_colSum(static_cast<std::size_t>(m_width)), m_prefixCount(static_cast<std::size_t>(m_width) + 1),
          m_prefixSum(static_cast<std::size_t>(m_width) + 1),
          m_floatRows(m_slotLength * static_cast<std::size_t>(m_ring)),
          m_rowPrefix((static_cast<std::size_t>(m_width) + 1) * static_cast<std::size_t>(m_ring)),
          m_slow(static_cast<std::size_t>(m_width) * kGroup), m_slowDistance(m_slow.size()), m_slowCount(m_slow.size()),
          m_anySlow(static_cast<std::size_t>(m_width)), m_sums(static_cast<std::size_t>(p.kernel.lanes) * kGroup)
    {
    }

    template <typename RowDone>
    void run(int y0, int y1, RowDone&& rowDone)
    {
        start(y0);
        int group = y0;
        for (int y = y0; y < y1; ++y)
        {
            smoothRow(y, y - group);
            if (y - group == kGroup - 1 || y + 1 == y1)
            {
                smoothSlowSamples(group, y + 1 - group);
                for (int r = group; r <= y; ++r)
                    rowDone();
                group = y + 1;
            }
            if (y + 1 < y1)
                slide(y);
        }
    }

    // What the samples this window smoothed did, summed over its chunks.
    const BankSmoothingCount& count() const { return m_count; }

private:
    // Stores a smoothed sample and counts it when it moved.
    void put(std::uint16_t& sample, std::uint16_t smoothed)
    {
        const int change = int(smoothed) - int(sample);
        sample = smoothed;
        if (change == 0)
            return;
        ++m_count.moved;
        m_count.largestRise = std::max(m_count.largestRise, change);
        m_count.largestFall = std::max(m_count.largestFall, -change);
    }

    int* nearRow(int r) { return m_near.data() + static_cast<std::size_t>(r % (2 * m_p.bank)) * static_cast<std::size_t>(m_width); }
    float* floatRow(int r) { return m_floatRows.data() + static_cast<std::size_t>(r % m_ring) * m_slotLength; }
    std::uint32_t* rowPrefix(int r)
    {
        return m_rowPrefix.data() + static_cast<std::size_t>(r % m_ring) * (static_cast<std::size_t>(m_width) + 1);
    }
    std::size_t slot(int j, int x) const
    {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x);
    }

    // Squared distance from each column to the nearest water of row r within columns
    // x - bank .. x + bank - 1, or kNoWater.
    void computeNear(int r)
    {
        const std::uint16_t* w = m_p.water.row(r);
        int* out = nearRow(r);
        const int bank = m_p.bank;
        const int width = m_width;
        int last = -kNoWater;
        for (int x = 0; x < width; ++x)
        {
            if (w[x] != 0)
                last = x;
            const int dx = x - last;
            out[x] = dx <= bank ? dx * dx : kNoWater;
        }
        int next = width + kNoWater;
        for (int x = width - 1; x >= 0; --x)
        {
            if (w[x] != 0)
                next = x;
            const int dx = next - x;
            if (dx <= bank - 1)
                out[x] = std::min(out[x], dx * dx);
        }
    }

    void addHillRow(int r, int sign)
    {
        const std::uint16_t* w = m_p.water.row(r);
        const int width = m_width;
        int* count = m_colCount.data();
        std::int64_t* sum = m_colSum.data();
        for (int x = 0; x < width; ++x)
        {
            count[x] += sign * (w[x] != 0 ? 1 : 0);
            sum[x] += sign * static_cast<std::int64_t>(w[x]);
        }
    }

    void loadFloatRow(int r)
    {
        const std::uint16_t* w = m_p.water.row(r);
        const int width = m_width;
        float* out = floatRow(r) + m_p.hill;
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<float>(w[x]);
        // Only differences of these are used, which modular arithmetic keeps exact.
        std::uint32_t* prefix = rowPrefix(r);
        prefix[0] = 0;
        for (int x = 0; x < width; ++x)
            prefix[x + 1] = prefix[x] + w[x];
    }

    void start(int y0)
    {
        std::fill(m_colCount.begin(), m_colCount.end(), 0);
        std::fill(m_colSum.begin(), m_colSum.end(), 0);
        std::fill(m_anySlow.begin(), m_anySlow.end(), 0);
        for (int r = std::max(0, y0 - m_p.bank); r < std::min(m_rows, y0 + m_p.bank); ++r)
            computeNear(r);
        for (int r = std::max(0, y0 - m_p.hill); r < std::min(m_rows, y0 + m_p.hill); ++r)
        {
            addHillRow(r, 1);
            loadFloatRow(r);
        }
    }

    // From the window of row y to that of row y + 1.
    void slide(int y)
    {
        if (y + m_p.bank < m_rows)
            computeNear(y + m_p.bank);
        if (y - m_p.hill >= 0)
            addHillRow(y - m_p.hill, -1);
        if (y + m_p.hill < m_rows)
        {
            addHillRow(y + m_p.hill, 1);
            loadFloatRow(y + m_p.hill);
        }
    }

    // Finishes the samples of row y whose sum is exact; marks the others in group slot j.
    void smoothRow(int y, int j)
    {
        const int bank = m_p.bank;
        const int hill = m_p.hill;
        const int width = m_width;
        std::fill(m_distance.begin(), m_distance.end(), kNoWater);
        for (int r = std::max(0, y - bank); r < std::min(m_rows, y + bank); ++r)
        {
            const int dy2 = (y - r) * (y - r);
            const int* n = nearRow(r);
            int* d = m_distance.data();
            for (int x = 0; x < width; ++x)
                d[x] = std::min(d[x], n[x] + dy2);
        }
        int* prefixCount = m_prefixCount.data();
        std::int64_t* prefixSum = m_prefixSum.data();
        const int* colCount = m_colCount.data();
        const std::int64_t* colSum = m_colSum.data();
        prefixCount[0] = 0;
        prefixSum[0] = 0;
        for (int x = 0; x < width; ++x)
        {
            prefixCount[x + 1] = prefixCount[x] + colCount[x];
            prefixSum[x + 1] = prefixSum[x] + colSum[x];
        }

        std::uint16_t* heights = m_p.height.row(y);
        const int* distance = m_distance.data();
        std::uint8_t* slow = m_slow.data() + slot(j, 0);
        int* slowDistance = m_slowDistance.data() + slot(j, 0);
        int* slowCount = m_slowCount.data() + slot(j, 0);
        std::uint8_t* anySlow = m_anySlow.data();
        const int seaHeight = m_p.seaHeight;
        for (int x = 0; x < width; ++x)
        {
            slow[x] = 0;
            const int h = heights[x];
            if (h < seaHeight || distance[x] >= kNoWater)
                continue;
            const int lo = std::max(0, x - hill);
            const int hi = std::min(width, x + hill);
            const int count = prefixCount[hi] - prefixCount[lo];
            if (count == 0)
                continue;
            const std::int64_t sum = prefixSum[hi] - prefixSum[lo];
            if (sum <= kExactFloatLimit)
            {
                put(heights[x], SmoothedSample(h, distance[x], bank, count, static_cast<float>(sum)));
            }
            else
            {
                slow[x] = 1;
                slowDistance[x] = distance[x];
                slowCount[x] = count;
                anySlow[x] = 1;
            }
        }
    }

    // The marked samples of rows y0 .. y0 + n - 1 (n <= kGroup).
    void smoothSlowSamples(int y0, int n)
    {
        const int hill = m_p.hill;
        const int top = std::max(0, y0 - hill);
        m_windowRows.clear();
        m_windowPrefix.clear();
        for (int r = top; r < std::min(m_rows, y0 + n - 1 + hill); ++r)
        {
            m_windowRows.push_back(floatRow(r));
            m_windowPrefix.push_back(rowPrefix(r));
        }
        WindowRows rows{m_windowRows.data(), m_windowPrefix.data(), {}, {}};
        for (int j = 0; j < kGroup; ++j)
        {
            rows.begin[j] = j < n ? std::max(0, y0 + j - hill) - top : 0;
            rows.end[j] = j < n ? std::min(m_rows, y0 + j + hill) - top : 0;
        }
        const int lanes = m_p.kernel.lanes;
        std::uint8_t* anySlow = m_anySlow.data();
        for (int x0 = 0; x0 < m_width; ++x0)
        {
            if (!anySlow[static_cast<std::size_t>(x0)])
                continue;
            m_p.kernel.sum(rows, x0, hill, m_width, m_sums.data());
            const int end = std::min(m_width, x0 + lanes);
            for (int j = 0; j < n; ++j)
            {
                std::uint16_t* heights = m_p.height.row(y0 + j);
                for (int x = x0; x < end; ++x)
                {
                    const std::size_t at = slot(j, x);
                    if (m_slow[at])
                        put(heights[x], SmoothedSample(heights[x], m_slowDistance[at], m_p.bank, m_slowCount[at],
                                                       m_sums[static_cast<std::size_t>(j * lanes + x - x0)]));
                }
            }
            std::fill(anySlow + x0, anySlow + end, 0);
            x0 = end - 1;
        }
    }

    const SmoothParams& m_p;
    int m_width;
    int m_rows;
    int m_ring; // rows kept of the hill windows: those of a whole group
    std::size_t m_slotLength;
    std::vector<int> m_near;          // 2 * bank rows, row r in slot r mod (2 * bank)
    std::vector<int> m_distance;      // squared distance to the nearest water of the bank window
    std::vector<int> m_colCount;      // water samples per column over the hill window's rows
    std::vector<std::int64_t> m_colSum;
    std::vector<int> m_prefixCount;   // prefix sums of the two along the row
    std::vector<std::int64_t> m_prefixSum;
    std::vector<float> m_floatRows;   // m_ring rows as floats, `hill` zeros either side, lanes spare
    std::vector<std::uint32_t> m_rowPrefix; // the same rows' prefix sums
    std::vector<std::uint8_t> m_slow; // per group row: samples whose sum needs the float additions
    std::vector<int> m_slowDistance;  // their squared distances and water counts
    std::vector<int> m_slowCount;
    std::vector<std::uint8_t> m_anySlow; // columns marked in any row of the group
    std::vector<const float*> m_windowRows;
    std::vector<const std::uint32_t*> m_windowPrefix;
    std::vector<float> m_sums;
    BankSmoothingCount m_count;
};

} // namespace

BankSmoothingCount SmoothBanks(RasterView<std::uint16_t> height, ConstRasterView<std::uint16_t> water, int bank,
                               int hillSize, int seaHeight, IProgressSink& progress)
{
    BankSmoothingCount total;
    const int base = progress.pos();
    const int rows = water.height;
    if (bank >= 1 && hillSize >= 1 && water.width >= 1)
    {
        static const LaneKernel kernel = SelectLaneKernel();
        const SmoothParams params{height, water, bank, hillSize, seaHeight, kernel};
        std::atomic<int> rowsDone{0};
        int reported = -1;
        const std::thread::id owner = std::this_thread::get_id();
        const auto report = [&] {
            const int done = rowsDone.load(std::memory_order_relaxed);
            const int position = done == 0 || rows <= 1 ? base : base + (50 * (done - 1)) / (rows - 1);
            if (position != reported)
            {
                progress.setPos(position);
                reported = position;
            }
        };
        // One window (its buffers allocated once) per worker, reused for every chunk it takes.
        const int workers = static_cast<int>(WorkerCount());
        std::vector<std::unique_ptr<SmoothWindow>> windows(static_cast<std::size_t>(workers));
        RunInChunks(
            0, rows, std::max(64, 2 * hillSize), workers,
            [&](int worker, int y0, int y1) {
                std::unique_ptr<SmoothWindow>& window = windows[static_cast<std::size_t>(worker)];
                if (!window)
                    window = std::make_unique<SmoothWindow>(params);
                window->run(y0, y1, [&] {
                    rowsDone.fetch_add(1, std::memory_order_relaxed);
                    if (std::this_thread::get_id() == owner)
                        report();
                });
            },
            report);
        for (const std::unique_ptr<SmoothWindow>& window : windows)
            if (window)
            {
                total.moved += window->count().moved;
                total.largestRise = std::max(total.largestRise, window->count().largestRise);
                total.largestFall = std::max(total.largestFall, window->count().largestFall);
            }
    }
    progress.setPos(base + 50);
    return total;
}
