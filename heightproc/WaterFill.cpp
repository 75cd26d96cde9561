// The water fill, sweep for sweep the same as the definition (WaterReference.cpp) but without
// scanning the whole raster every sweep: a dry sample can only be filled in a sweep if one of
// its neighbours became wet in the sweep before (all others were filled as soon as they touched
// water), so each sweep looks only at the neighbours of the last sweep's new samples, the
// workers each listing a share of them (a sample is claimed by whichever worker comes first,
// now and then by two; which one changes no value, since nothing is written before all are
// listed). A sweep whose frontier would be very large (the first one, or a mask of scattered
// water) scans the raster instead, in place, holding back each row's writes until its
// neighbours are done.
#include "base/Concurrency.h"
#include "heightproc/Water.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace
{

using Index = std::ptrdiff_t;

// The mean of the wet ones of the 8 neighbours of sample i (at least one is wet). For positive
// integers the truncated floating-point quotient is the integer quotient.
inline std::uint16_t MeanOfWetNeighbours(const std::uint16_t* w, Index i, Index stride)
{
    const std::uint16_t* above = w + i - stride;
    const std::uint16_t* here = w + i;
    const std::uint16_t* below = w + i + stride;
    const unsigned v[8] = {above[-1], above[0], above[1], here[-1], here[1], below[-1], below[0], below[1]};
    unsigned sum = 0;
    unsigned count = 0;
    for (unsigned value : v)
    {
        sum += value;
        count += value != 0 ? 1u : 0u;
    }
    // sum < 2^20 and count <= 8: the product by a rounded-up 2^32 / count is within 2^-12 of the
    // quotient, too little to pass the next integer, and a multiply is far quicker than a divide.
    static constexpr std::uint64_t kReciprocal[9] = {0, (1ull << 32) + 1, (1ull << 31) + 1, 1431655766,
                                                     (1ull << 30) + 1, 858993460, 715827883, 613566757,
                                                     (1ull << 29) + 1};
    return static_cast<std::uint16_t>((sum * kReciprocal[count]) >> 32);
}

struct PendingRow
{
    std::vector<int> columns;
    std::vector<std::uint16_t> values;

    void apply(std::uint16_t* row)
    {
        for (std::size_t k = 0; k < columns.size(); ++k)
            row[columns[k]] = values[k];
    }
};

class WaterFiller
{
public:
    WaterFiller(RasterView<std::uint16_t> water, std::size_t denseLimit)
        : m_water(water), m_stride(water.stride), m_limit(denseLimit),
          m_queued((static_cast<std::size_t>(water.stride) * static_cast<std::size_t>(water.height) + 63) / 64)
    {
        // Border samples are never filled: marking them queued keeps them out of every frontier.
        for (int x = 0; x < water.width; ++x)
        {
            mark(x);
            mark(static_cast<Index>(water.height - 1) * m_stride + x);
        }
        for (int y = 0; y < water.height; ++y)
        {
            mark(static_cast<Index>(y) * m_stride);
            mark(static_cast<Index>(y) * m_stride + water.width - 1);
        }
    }

    // Sweeps until one fills nothing, handing each sweep's count to done(count).
    template <typename Done>
    void run(Done&& done)
    {
        for (;;)
        {
            if (m_dense)
            {
                const std::size_t count = denseSweep();
                done(count);
                if (count == 0)
                    return;
            }
            else if (sparseSweeps(done))
            {
                return;
            }
        }
    }

private:
    void mark(Index i) { m_queued[static_cast<std::size_t>(i) >> 6] |= std::uint64_t(1) << (i & 63); }

    // Claims dry sample j for this sweep; false when it is queued already. Workers mark without
    // a locked instruction (one waited on every load in flight, about half the fill's time): two
    // workers marking the same word at once can lose one's mark, and then a sample is listed
    // twice. Both list the same value, read from the raster before the sweep writes anything, so
    // the second write changes nothing.
    bool claim(Index j)
    {
        std::atomic_ref<std::uint64_t> word(m_queued[static_cast<std::size_t>(j) >> 6]);
        const std::uint64_t bit = std::uint64_t(1) << (j & 63);
        const std::uint64_t was = word.load(std::memory_order_relaxed);
        if ((was & bit) != 0)
            return false;
        word.store(was | bit, std::memory_order_relaxed);
        return true;
    }

    static constexpr std::size_t kAhead = 12;

    // What one worker lists in a sweep: the samples it claimed and their values. After the
    // sweep its samples are its part of the frontier.
    struct Part
    {
        std::vector<Index> samples;
        std::vector<std::uint16_t> values;
        bool overflow = false;
        std::size_t fresh = 0; // samples this worker was the first to write
    };

    // Lists the dry neighbours of frontier entries [from, to) (counted over all parts in turn).
    // Nothing is written before the whole frontier is listed, so each value can be taken as soon
    // as its sample is found, while its neighbourhood is in the cache.
    void listNeighbours(std::size_t from, std::size_t to, const std::vector<Part>& frontier, Part& out)
    {
        const std::uint16_t* w = m_water.data;
        const Index s = m_stride;
        const Index offsets[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
        std::size_t skip = from;
        std::size_t left = to - from;
        for (const Part& part : frontier)
        {
            const std::size_t n = part.samples.size();
            if (skip >= n)
            {
                skip -= n;
                continue;
            }
            const std::size_t end = std::min(n, skip + left);
            for (std::size_t k = skip; k < end; ++k)
            {
                // The frontier wanders over the whole raster, so its neighbourhoods are rarely
                // cached: ask for one a few entries ahead (its five rows: a new sample's mean
                // reads a row beyond the frontier sample's).
                if (k + kAhead < end)
                {
                    const std::uint16_t* ahead = w + part.samples[k + kAhead];
                    for (Index r = -2; r <= 2; ++r)
                        __builtin_prefetch(ahead + r * s);
                    __builtin_prefetch(&m_queued[static_cast<std::size_t>(ahead - w) >> 6]);
                }
                const Index i = part.samples[k];
                for (const Index o : offsets)
                {
                    const Index j = i + o;
                    if (w[j] == 0 && claim(j))
                    {
                        out.samples.push_back(j);
                        out.values.push_back(MeanOfWetNeighbours(w, j, s));
                    }
                }
                if (out.samples.size() > m_limit)
                {
                    out.overflow = true;
                    return;
                }
            }
            left -= end - skip;
            skip = 0;
            if (left == 0)
                return;
        }
    }

    // Sweeps from the last sweep's frontier, on threads kept across the sweeps, until a sweep
    // fills nothing (true) or would list more than the limit (false: that sweep scans instead;
    // nothing of it is written, and the samples listed so far are dry samples next to water,
    // which the scan fills as well).
    template <typename Done>
    bool sparseSweeps(Done&& done)
    {
        const unsigned workers = WorkerCount();
        std::vector<Part> frontier(workers);
        std::vector<Part> next(workers);
        frontier[0].samples.swap(m_frontier);
        std::size_t frontierSize = frontier[0].samples.size();
        bool finished = false;
        RunInRounds(
            workers,
            [&](unsigned worker, unsigned team, std::size_t round) {
                Part& mine = next[worker];
                if (round % 2 == 0)
                {
                    mine.samples.clear();
                    mine.values.clear();
                    mine.overflow = false;
                    listNeighbours(frontierSize * worker / team, frontierSize * (worker + 1) / team, frontier, mine);
                }
                else
                {
                    std::uint16_t* w = m_water.data;
                    const std::size_t n = mine.samples.size();
                    mine.fresh = n;
                    for (std::size_t k = 0; k < n; ++k)
                    {
                        if (k + kAhead < n)
                            __builtin_prefetch(w + mine.samples[k + kAhead], 1);
                        if (team == 1)
                        {
                            w[mine.samples[k]] = mine.values[k];
                            continue;
                        }
                        // A sample listed by two workers gets the same value from both; only the
                        // one that finds it still dry counts it, so the sweep's count is exact.
                        // The exchange locks, but here no loads are waiting behind it.
                        std::atomic_ref<std::uint16_t> sample(w[mine.samples[k]]);
                        if (sample.exchange(mine.values[k], std::memory_order_relaxed) != 0)
                            --mine.fresh;
                    }
                }
            },
            [&](std::size_t round) {
                std::size_t count = 0;
                std::size_t fresh = 0;
                bool overflow = false;
                for (const Part& part : next)
                {
                    count += part.samples.size();
                    fresh += part.fresh;
                    overflow = overflow || part.overflow;
                }
                if (round % 2 == 0)
                {
                    m_dense = overflow || count > m_limit;
                    return !m_dense;
                }
                frontier.swap(next);
                frontierSize = count;
                done(fresh);
                finished = fresh == 0;
                return !finished;
            });
        return finished;
    }

    // Row y of a scan: the dry samples next to water and their values, from the raster as it
    // is (the caller makes sure no write of this sweep has reached rows y - 1 .. y + 1).
    void scanRow(int y, PendingRow& out) const
    {
        out.columns.clear();
        out.values.clear();
        const std::uint16_t* here = m_water.row(y);
        const std::uint16_t* above = here - m_stride;
        const std::uint16_t* below = here + m_stride;
        // Which samples to fill is found for a stretch of columns at once, without branches, so
        // that the compiler can use vector registers; most stretches have none.
        constexpr int kStretch = 64;
        std::uint8_t fill[kStretch];
        for (int x0 = 1; x0 < m_water.width - 1; x0 += kStretch)
        {
            const int n = std::min(kStretch, m_water.width - 1 - x0);
            std::uint8_t any = 0;
            for (int k = 0; k < n; ++k)
            {
                const int x = x0 + k;
                const unsigned wet = above[x - 1] | above[x] | above[x + 1] | here[x - 1] | here[x + 1] |
                                     below[x - 1] | below[x] | below[x + 1];
                fill[k] = static_cast<std::uint8_t>((here[x] == 0) & (wet != 0));
                any |= fill[k];
            }
            if (any == 0)
                continue;
            for (int k = 0; k < n; ++k)
            {
                if (fill[k] != 0)
                {
                    out.columns.push_back(x0 + k);
                    out.values.push_back(MeanOfWetNeighbours(here, x0 + k, m_stride));
                }
            }
        }
    }

    struct Band
    {
        PendingRow first;  // written after every band is done: the band above reads it
        PendingRow last;   // likewise for the band below
        std::vector<Index> filled;
        bool overflow = false;
        std::size_t count = 0;
    };

    void collect(Band& band, int y, const PendingRow& row, std::size_t limit) const
    {
        band.count += row.columns.size();
        if (band.overflow)
            return;
        if (band.filled.size() + row.columns.size() > limit)
        {
            band.overflow = true;
            band.filled.clear();
            band.filled.shrink_to_fit();
            return;
        }
        for (const int x : row.columns)
            band.filled.push_back(static_cast<Index>(y) * m_stride + x);
    }

    void scanBand(Band& band, int y0, int y1, std::size_t limit)
    {
        PendingRow pending;
        PendingRow current;
        bool havePending = false;
        for (int y = y0; y < y1; ++y)
        {
            const bool middle = y != y0 && y != y1 - 1;
            PendingRow& target = middle ? current : (y == y0 ? band.first : band.last);
            scanRow(y, target);
            collect(band, y, target, limit);
            // Row y has read row y - 1, and nothing else still needs it unwritten.
            if (havePending)
                pending.apply(m_water.row(y - 1));
            havePending = middle;
            if (middle)
                std::swap(pending, current);
        }
    }

    std::size_t denseSweep()
    {
        const int interiorRows = m_water.height - 2;
        if (interiorRows <= 0 || m_water.width < 3)
            return 0;
        const int bands = std::max(1, std::min(static_cast<int>(WorkerCount()), interiorRows / 64));
        std::vector<Band> bandState(static_cast<std::size_t>(bands));
        RunInBands(1, m_water.height - 1, bands, [&](int band, int y0, int y1) {
            scanBand(bandState[static_cast<std::size_t>(band)], y0, y1, m_limit);
        });
        std::size_t count = 0;
        bool overflow = false;
        for (int b = 0; b < bands; ++b)
        {
            Band& band = bandState[static_cast<std::size_t>(b)];
            const int y0 = BandStart(1, interiorRows, bands, b);
            const int y1 = BandStart(1, interiorRows, bands, b + 1);
            band.first.apply(m_water.row(y0));
            if (y1 - 1 > y0)
                band.last.apply(m_water.row(y1 - 1));
            count += band.count;
            overflow = overflow || band.overflow;
        }
        m_dense = overflow || count > m_limit;
        m_frontier.clear();
        if (!m_dense)
        {
            for (Band& band : bandState)
                m_frontier.insert(m_frontier.end(), band.filled.begin(), band.filled.end());
        }
        return count;
    }

    RasterView<std::uint16_t> m_water;
    Index m_stride;
    std::size_t m_limit;
    bool m_dense = true; // the first sweep has no frontier yet
    std::vector<std::uint64_t> m_queued; // border, and every sample a sparse sweep has listed
    std::vector<Index> m_frontier;       // samples filled by the last scan
};

} // namespace

void FillWater(RasterView<std::uint16_t> water, IProgressSink& progress, std::size_t denseLimit)
{
    const int base = progress.pos();
    long long dry = 0;
    for (int y = 1; y < water.height - 1; ++y)
    {
        const std::uint16_t* row = water.row(y);
        for (int x = 1; x < water.width - 1; ++x)
            dry += row[x] == 0 ? 1 : 0;
    }
    if (denseLimit == 0)
        denseLimit = getenv("DL") ? atol(getenv("DL")) : std::max<std::size_t>(std::size_t(1) << 16, water.size() / 32);
    WaterFiller filler(water, denseLimit);
    long long filled = 0;
    filler.run([&](std::size_t count) {
        filled += static_cast<long long>(count);
        progress.setPos(dry == 0 ? base + 50 : base + static_cast<int>((50 * filled) / dry));
    });
}
