// The water fill, sweep for sweep the same as the definition (WaterReference.cpp).
//
// While the sweeps fill many samples, they run in passes over the raster, up to 32 sweeps a
// pass: sweep k + 1 follows sweep k two rows behind, so a row is brought from memory once a pass
// and stays in the cache while all the pass's sweeps go over it (the raster is far larger than
// the cache; one sweep alone would be bound by memory). Each sweep finds its samples 64 at a
// time in a bit per sample of what is wet, looking only at the words of 64 samples next to a
// word that filled in the sweep before, and writes each row only once the row below it is
// scanned (every sweep reads the raster as it was before it). With several workers, each takes
// a share of the pass's sweeps and follows the worker before through a row counter.
//
// Once a pass's last sweep fills few samples, the rest are frontier sweeps: a dry sample can
// only be filled in a sweep if one of its neighbours became wet in the sweep before (all others
// were filled as soon as they touched water), so each sweep looks only at the neighbours of the
// last sweep's new samples, the workers each listing a share of them (a sample is claimed by
// whichever worker comes first, now and then by two; which one changes no value, since nothing
// is written before all are listed). A frontier that grows too large again (a mask of scattered
// water) goes back to passes.
#include "base/Concurrency.h"
#include "base/LargeBuffer.h"
#include "heightproc/Water.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

using Index = std::ptrdiff_t;
using Bits = std::vector<std::uint64_t, LargeAllocator<std::uint64_t>>;

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

// Bits of the 64 samples from p on, set where wet.
inline std::uint64_t WetWord(const std::uint16_t* p)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t dry = 0;
    for (int j = 0; j < 64; j += 16)
    {
        const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j)), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 8)), zero);
        dry |= std::uint64_t(static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << j;
    }
    return ~dry;
#else
    std::uint64_t wet = 0;
    for (int j = 0; j < 64; ++j)
        wet |= std::uint64_t(p[j] != 0) << j;
    return wet;
#endif
}

inline void Pause()
{
#if defined(__SSE2__)
    _mm_pause();
#endif
}

struct PendingRow
{
    std::vector<int> columns;
    std::vector<std::uint16_t> values;
};

class WaterFiller
{
public:
    WaterFiller(RasterView<std::uint16_t> water, std::size_t denseLimit)
        : m_water(water), m_stride(water.stride), m_limit(denseLimit), m_words((water.width + 63) / 64),
          m_wordGroups((m_words + 63) / 64)
    {
        // A pass keeps about two rows a sweep in the cache: half a megabyte at most.
        const int rowBytes = static_cast<int>(sizeof(std::uint16_t)) * std::max(1, water.width);
        m_passSweeps = std::clamp((1 << 19) / rowBytes, 4, 32);
        m_interior.assign(static_cast<std::size_t>(m_words), 0);
        for (int x = 1; x < water.width - 1; ++x)
            m_interior[static_cast<std::size_t>(x >> 6)] |= std::uint64_t(1) << (x & 63);
    }

    // Dry interior samples; read before the first sweep.
    long long dryCount()
    {
        readWetBits();
        return m_dry;
    }

    // Sweeps until one fills nothing, handing each sweep's count to done(count).
    template <typename Done>
    void run(Done&& done)
    {
        for (;;)
        {
            if (m_dense)
            {
                if (densePass(done))
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

    // Border samples are never filled: marking them queued keeps them out of every frontier.
    void markBorder()
    {
        m_queued.resize((static_cast<std::size_t>(m_stride) * static_cast<std::size_t>(m_water.height) + 63) / 64);
        for (int x = 0; x < m_water.width; ++x)
        {
            mark(x);
            mark(static_cast<Index>(m_water.height - 1) * m_stride + x);
        }
        for (int y = 0; y < m_water.height; ++y)
        {
            mark(static_cast<Index>(y) * m_stride);
            mark(static_cast<Index>(y) * m_stride + m_water.width - 1);
        }
    }

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
        if (m_queued.empty())
            markBorder();
        m_wetKnown = false;
        m_changedKnown = false;
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

    std::uint64_t* wetRow(int y)
    {
        return m_wet.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_words);
    }

    // The wet bits from the raster, one band of rows per worker, and the dry interior samples.
    // The frontier sweeps do not keep the bits, so they are read again when a pass follows them.
    void readWetBits()
    {
        m_wet.resize(static_cast<std::size_t>(m_water.height) * static_cast<std::size_t>(m_words));
        const int bands = std::max(1, std::min(static_cast<int>(WorkerCount()), m_water.height / 64));
        std::vector<long long> dry(static_cast<std::size_t>(bands), 0);
        RunInBands(0, m_water.height, bands, [&](int band, int y0, int y1) {
            const int whole = m_water.width / 64;
            long long count = 0;
            for (int y = y0; y < y1; ++y)
            {
                const std::uint16_t* row = m_water.row(y);
                std::uint64_t* bits = wetRow(y);
                for (int k = 0; k < whole; ++k)
                    bits[k] = WetWord(row + k * 64);
                if (whole < m_words)
                {
                    std::uint64_t word = 0;
                    for (int x = whole * 64; x < m_water.width; ++x)
                        word |= std::uint64_t(row[x] != 0) << (x & 63);
                    bits[whole] = word;
                }
                if (y == 0 || y == m_water.height - 1)
                    continue;
                for (int k = 0; k < m_words; ++k)
                    count += __builtin_popcountll(~bits[k] & m_interior[static_cast<std::size_t>(k)]);
            }
            dry[static_cast<std::size_t>(band)] = count;
        });
        m_dry = 0;
        for (const long long count : dry)
            m_dry += count;
        m_wetKnown = true;
    }

    // Row y of a pass's sweep: the dry samples next to water and their values, from the raster
    // as it is (the caller makes sure rows y - 1 .. y + 1 hold the sweep before and nothing of
    // this one). The samples are found 64 at a time in the wet bits; only their means read the
    // raster. A dry sample can only fill if a neighbour filled in the sweep before, so only
    // words next to one that filled then, in this row or the next one up or down, are looked
    // at: `before` is row y of the sweep before's bits of words that filled, `changed` receives
    // this sweep's.
    void scanRow(int y, const std::uint64_t* before, std::uint64_t* changed, PendingRow& out)
    {
        out.columns.clear();
        out.values.clear();
        const std::uint64_t* above = wetRow(y - 1);
        const std::uint64_t* here = above + m_words;
        const std::uint64_t* below = here + m_words;
        const std::uint16_t* w = m_water.row(y);
        const int groups = m_wordGroups;
        const auto rows = [&](int c) { return before[c - groups] | before[c] | before[c + groups]; };
        const auto column = [&](int k) { return above[k] | here[k] | below[k]; };
        // The three rows' bits of words k - 1, k and k + 1 for the last word looked at: the next
        // one is mostly k + 1 (where much fills, every word is open).
        int last = -2;
        std::uint64_t left = 0;
        std::uint64_t mid = 0;
        std::uint64_t right = 0;
        for (int c = 0; c < groups; ++c)
        {
            const std::uint64_t middle = rows(c);
            std::uint64_t open = middle | (middle << 1) | (middle >> 1);
            if (c > 0)
                open |= rows(c - 1) >> 63;
            if (c + 1 < groups)
                open |= rows(c + 1) << 63;
            std::uint64_t filled = 0;
            for (; open != 0; open &= open - 1)
            {
                const int k = c * 64 + __builtin_ctzll(open);
                if (k >= m_words)
                    break;
                if (k == last + 1)
                {
                    left = mid;
                    mid = right;
                }
                else
                {
                    left = k > 0 ? column(k - 1) : 0;
                    mid = column(k);
                }
                right = k + 1 < m_words ? column(k + 1) : 0;
                last = k;
                // Wet in the column or in the one to the left or right (bit b is column
                // 64k + b); the sample itself is dry, so its own bit does no harm.
                const std::uint64_t near = mid | (mid << 1) | (left >> 63) | (mid >> 1) | (right << 63);
                std::uint64_t fill = near & ~here[k] & m_interior[static_cast<std::size_t>(k)];
                if (fill != 0)
                    filled |= std::uint64_t(1) << (k & 63);
                for (; fill != 0; fill &= fill - 1)
                {
                    const int x = k * 64 + __builtin_ctzll(fill);
                    out.columns.push_back(x);
                    out.values.push_back(MeanOfWetNeighbours(w, x, m_stride));
                }
            }
            changed[c] = filled;
        }
    }

    std::uint64_t* changedRow(int sweep, int y)
    {
        return m_changed[static_cast<std::size_t>(sweep)] +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(m_wordGroups);
    }

    // One sweep of a pass.
    struct PassSweep
    {
        PendingRow held;    // the row scanned last, written once the row below it is scanned
        PendingRow scanned; // the row being scanned
        std::size_t count = 0;
        std::vector<Index> filled; // the pass's last sweep only: its samples, the next frontier
        bool overflow = false;     // more than the limit: no frontier
    };

    // Sweep k of the pass at position p: scans row p, then writes its held-back row p - 1 (p is
    // 1 .. height - 1; at height - 1 it only writes the last interior row).
    void passStep(std::vector<PassSweep>& sweeps, int k, int p)
    {
        PassSweep& sweep = sweeps[static_cast<std::size_t>(k)];
        if (p < m_water.height - 1)
        {
            scanRow(p, changedRow(k, p), changedRow(k + 1, p), sweep.scanned);
            sweep.count += sweep.scanned.columns.size();
            if (k + 1 == static_cast<int>(sweeps.size()) && !sweep.overflow)
            {
                if (sweep.filled.size() + sweep.scanned.columns.size() > m_limit)
                {
                    sweep.overflow = true;
                    sweep.filled.clear();
                    sweep.filled.shrink_to_fit();
                }
                else
                {
                    for (const int x : sweep.scanned.columns)
                        sweep.filled.push_back(static_cast<Index>(p) * m_stride + x);
                }
            }
        }
        if (p > 1)
        {
            std::uint16_t* row = m_water.row(p - 1);
            std::uint64_t* bits = wetRow(p - 1);
            const PendingRow& held = sweep.held;
            for (std::size_t j = 0; j < held.columns.size(); ++j)
            {
                const int x = held.columns[j];
                row[x] = held.values[j];
                bits[x >> 6] |= std::uint64_t(1) << (x & 63);
            }
        }
        std::swap(sweep.held, sweep.scanned);
    }

    // Sweeps [first, last) of a pass on one worker, in steps: at step t sweep first + i is at
    // position t + 1 - 2i. Sweep k scanning row p reads rows p - 1 .. p + 1, which must hold
    // sweep k - 1's values and none of sweep k's own: earlier in the same step sweep k - 1 has
    // scanned row p + 2 and written row p + 1, and it reads no row before p + 2 again, while
    // sweep k itself has written rows up to p - 2 only and sweep k + 1 rows up to p - 4. The
    // first sweep follows the worker before, whose last sweep publishes the positions it has
    // done in `upstream`; this worker publishes its own last sweep's in `mine`.
    void runPassSweeps(std::vector<PassSweep>& sweeps, int first, int last, const std::atomic<int>* upstream,
                       std::atomic<int>& mine)
    {
        const int end = m_water.height - 1;
        const int n = last - first;
        const std::size_t rowBytes = sizeof(std::uint16_t) * static_cast<std::size_t>(m_water.width);
        for (int t = 0; t < end + 2 * (n - 1); ++t)
        {
            for (int i = 0; i < n; ++i)
            {
                const int p = t + 1 - 2 * i;
                if (p < 1)
                    break;
                if (p > end)
                    continue;
                if (i == 0 && upstream != nullptr)
                    WaitFor(*upstream, std::min(p + 2, end));
                // The first sweep meets each row first, and reads only where it fills, too
                // scattered for the hardware to see a stream: ask for a row a few ahead.
                if (i == 0 && p + kAheadRows < end)
                {
                    const char* ahead = reinterpret_cast<const char*>(m_water.row(p + kAheadRows));
                    for (std::size_t b = 0; b < rowBytes; b += 64)
                        __builtin_prefetch(ahead + b);
                }
                passStep(sweeps, first + i, p);
            }
            if (const int done = t + 1 - 2 * (n - 1); done >= 1)
                mine.store(done, std::memory_order_release);
        }
    }

    static constexpr int kAheadRows = 3;

    static void WaitFor(const std::atomic<int>& position, int wanted)
    {
        for (int spins = 0; position.load(std::memory_order_acquire) < wanted; ++spins)
        {
            // The worker before is mostly a row ahead already; when it is not running (more
            // workers than cores), let it have the core.
            if (spins < 4096)
                Pause();
            else
                std::this_thread::yield();
        }
    }

    // One pass; hands each sweep's count to done (true: the fill is over). The pass's last
    // sweep's samples become the frontier when they are few enough.
    template <typename Done>
    bool densePass(Done&& done)
    {
        if (m_water.height < 3 || m_water.width < 3)
        {
            done(0);
            return true;
        }
        if (!m_wetKnown)
            readWetBits();
        if (m_changed.empty())
        {
            // One block, which gets large pages (page faults are slow on some machines).
            const std::size_t each = static_cast<std::size_t>(m_water.height) * static_cast<std::size_t>(m_wordGroups);
            m_changedBits.resize(each * (static_cast<std::size_t>(m_passSweeps) + 1));
            for (int k = 0; k <= m_passSweeps; ++k)
                m_changed.push_back(m_changedBits.data() + each * static_cast<std::size_t>(k));
        }
        // Without the sweep before (the first sweep, or after frontier sweeps) every word is
        // looked at. The border rows stay clear: nothing fills there.
        if (!m_changedKnown)
            std::fill(changedRow(0, 1), changedRow(0, m_water.height - 1), ~std::uint64_t(0));
        // Without the sweep before the pass is a single sweep, whose count tells whether more
        // passes pay (a lone lake on a dry map goes on with frontier sweeps at once).
        const int count = m_changedKnown ? m_passSweeps : 1;
        std::vector<PassSweep> sweeps(static_cast<std::size_t>(count));
        // Which worker runs which sweeps changes no value: every sweep is the whole sweep. A
        // worker starts two rows a sweep behind the one before, so on few rows they would
        // mostly wait.
        const int workers = std::max(1, std::min({static_cast<int>(WorkerCount()), count, m_water.height / 64}));
        std::vector<std::atomic<int>> position(static_cast<std::size_t>(workers));
        for (auto& reached : position)
            reached.store(0, std::memory_order_relaxed);
        // A worker that cannot be started runs after the one before it has finished, so
        // waiting for that one never blocks.
        RunInBands(0, workers, workers, [&](int worker, int, int) {
            runPassSweeps(sweeps, BandStart(0, count, workers, worker), BandStart(0, count, workers, worker + 1),
                          worker == 0 ? nullptr : &position[static_cast<std::size_t>(worker - 1)],
                          position[static_cast<std::size_t>(worker)]);
        });
        // A sweep that fills nothing leaves the raster as it was, so the sweeps after it in
        // the pass filled nothing either.
        for (const PassSweep& sweep : sweeps)
        {
            done(sweep.count);
            if (sweep.count == 0)
                return true;
        }
        std::swap(m_changed.front(), m_changed[static_cast<std::size_t>(count)]);
        m_changedKnown = true;
        PassSweep& lastSweep = sweeps.back();
        m_dense = lastSweep.overflow || lastSweep.count > m_limit;
        m_frontier.clear();
        if (!m_dense)
            m_frontier.swap(lastSweep.filled);
        return false;
    }

    RasterView<std::uint16_t> m_water;
    Index m_stride;
    std::size_t m_limit;
    int m_words;      // of wet bits a row
    int m_passSweeps; // sweeps a pass
    bool m_dense = true; // the first sweep has no frontier yet
    Bits m_queued;       // border, and every sample a frontier sweep has listed
    std::vector<Index> m_frontier; // samples filled by the last pass's last sweep
    Bits m_wet;                    // a bit a sample, set where wet, m_words words a row
    bool m_wetKnown = false;       // m_wet matches the raster
    std::vector<std::uint64_t> m_interior; // the columns that can fill
    // For the sweep before a pass (the first) and each of its sweeps: the words of m_wet that
    // filled, a bit each, m_wordGroups words a row.
    Bits m_changedBits;
    std::vector<std::uint64_t*> m_changed; // into m_changedBits
    int m_wordGroups;
    bool m_changedKnown = false;
    long long m_dry = 0;
};

} // namespace

void FillWater(RasterView<std::uint16_t> water, IProgressSink& progress, std::size_t denseLimit)
{
    const int base = progress.pos();
    // Passes pay while the frontier's neighbourhoods do not fit in the cache (a frontier sweep
    // then waits on memory for most samples); on a small raster a pass's sweep costs little.
    if (denseLimit == 0)
        denseLimit = std::clamp<std::size_t>(water.size() / 64, std::size_t(1) << 10, std::size_t(1) << 16);
    WaterFiller filler(water, denseLimit);
    const long long dry = filler.dryCount();
    long long filled = 0;
    filler.run([&](std::size_t count) {
        filled += static_cast<long long>(count);
        progress.setPos(dry == 0 ? base + 50 : base + static_cast<int>((50 * filled) / dry));
    });
}
