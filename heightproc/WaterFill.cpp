// The water fill, sweep for sweep the same as the definition (WaterReference.cpp) but without
// scanning the whole raster every sweep: a dry sample can only be filled in a sweep if one of
// its neighbours became wet in the sweep before (all others were filled as soon as they touched
// water), so each sweep looks only at the neighbours of the last sweep's new samples. A sweep
// whose frontier would be very large (the first one, or a mask of scattered water) scans the
// raster instead, in place, holding back each row's writes until its neighbours are done.
#include "base/Concurrency.h"
#include "heightproc/Water.h"

#include <algorithm>
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
    return static_cast<std::uint16_t>(sum / count);
}

inline bool HasWetNeighbour(const std::uint16_t* w, Index i, Index stride)
{
    const std::uint16_t* above = w + i - stride;
    const std::uint16_t* below = w + i + stride;
    return (above[-1] | above[0] | above[1] | w[i - 1] | w[i + 1] | below[-1] | below[0] | below[1]) != 0;
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

    // One sweep; returns the number of samples it filled.
    std::size_t sweep()
    {
        if (m_dense)
            return denseSweep();
        const std::size_t filled = sparseSweep();
        if (filled != kTooMany)
            return filled;
        // The frontier outgrew the limit before anything was written: this sweep scans instead.
        // Samples queued so far are dry samples next to water, which the scan fills as well.
        return denseSweep();
    }

private:
    static constexpr std::size_t kTooMany = ~std::size_t(0);

    void mark(Index i) { m_queued[static_cast<std::size_t>(i) >> 6] |= std::uint64_t(1) << (i & 63); }
    bool testAndMark(Index i)
    {
        std::uint64_t& word = m_queued[static_cast<std::size_t>(i) >> 6];
        const std::uint64_t bit = std::uint64_t(1) << (i & 63);
        const bool was = (word & bit) != 0;
        word |= bit;
        return was;
    }

    std::size_t sparseSweep()
    {
        std::uint16_t* w = m_water.data;
        const Index s = m_stride;
        const Index offsets[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
        m_candidates.clear();
        m_values.clear();
        // Nothing is written before the whole frontier is listed, so each value can be taken
        // as soon as its sample is found, while its neighbourhood is in the cache.
        for (const Index i : m_frontier)
        {
            for (const Index o : offsets)
            {
                const Index j = i + o;
                if (w[j] == 0 && !testAndMark(j))
                {
                    m_candidates.push_back(j);
                    m_values.push_back(MeanOfWetNeighbours(w, j, s));
                }
            }
            if (m_candidates.size() > m_limit)
                return kTooMany;
        }
        for (std::size_t k = 0; k < m_candidates.size(); ++k)
            w[m_candidates[k]] = m_values[k];
        m_frontier.swap(m_candidates);
        return m_frontier.size();
    }

    // Row y of a scan: the dry samples next to water and their values, from the raster as it
    // is (the caller makes sure no write of this sweep has reached rows y - 1 .. y + 1).
    void scanRow(int y, PendingRow& out) const
    {
        out.columns.clear();
        out.values.clear();
        const std::uint16_t* w = m_water.data;
        const Index rowStart = static_cast<Index>(y) * m_stride;
        for (int x = 1; x < m_water.width - 1; ++x)
        {
            const Index i = rowStart + x;
            if (w[i] == 0 && HasWetNeighbour(w, i, m_stride))
            {
                out.columns.push_back(x);
                out.values.push_back(MeanOfWetNeighbours(w, i, m_stride));
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
    std::vector<Index> m_frontier;       // samples filled by the last sweep
    std::vector<Index> m_candidates;
    std::vector<std::uint16_t> m_values;
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
        denseLimit = std::max<std::size_t>(std::size_t(1) << 16, water.size() / 32);
    WaterFiller filler(water, denseLimit);
    long long filled = 0;
    for (;;)
    {
        const std::size_t count = filler.sweep();
        filled += static_cast<long long>(count);
        progress.setPos(dry == 0 ? base + 50 : base + static_cast<int>((50 * filled) / dry));
        if (count == 0)
            break;
    }
}
