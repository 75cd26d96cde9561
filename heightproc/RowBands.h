#pragma once
// Parallel work over independent rows: a range of rows is cut into contiguous bands, one per
// worker; the calling thread works on the first band itself and is the only one that talks to
// the progress sink. Workers are joined in band order, and every band writes only its own rows,
// so results never depend on the number of threads.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

// Worker threads to use: the machine's cores, or ALTIMO_THREADS when set (benchmarks use 1 to
// measure a single core).
inline int WorkerCount()
{
    if (const char* forced = std::getenv("ALTIMO_THREADS"))
    {
        const int n = std::atoi(forced);
        if (n >= 1)
            return std::min(n, 64);
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

// First row of band b of `bands` bands over `rows` rows starting at `first`; BandStart(.., bands)
// is the end of the last band.
inline int BandStart(int first, int rows, int bands, int b)
{
    return first + static_cast<int>(static_cast<long long>(rows) * b / bands);
}

// Runs work(band, y0, y1) for `bands` contiguous bands of [first, last) (bands as even as
// possible; never more bands than rows). Band 0 runs on the calling thread, which may report
// progress from inside its work; once its band is done, the calling thread calls report() every
// few milliseconds until the other bands end, and once more after joining them.
template <typename Work, typename Report>
void RunInBands(int first, int last, int bands, Work&& work, Report&& report)
{
    const int rows = last - first;
    if (rows <= 0)
        return;
    bands = std::max(1, std::min(bands, rows));

    std::atomic<int> running{bands - 1};
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(bands - 1));
    for (int b = 1; b < bands; ++b)
    {
        threads.emplace_back([&, b] {
            work(b, BandStart(first, rows, bands, b), BandStart(first, rows, bands, b + 1));
            running.fetch_sub(1, std::memory_order_release);
        });
    }
    work(0, first, BandStart(first, rows, bands, 1));
    while (running.load(std::memory_order_acquire) > 0)
    {
        report();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (std::thread& thread : threads)
        thread.join();
    report();
}

// RunInBands without progress.
template <typename Work>
void RunInBands(int first, int last, int bands, Work&& work)
{
    RunInBands(first, last, bands, work, [] {});
}

// Runs work(worker, y0, y1) for the chunks [first + k * chunkRows, ...) of [first, last), handed
// out to `workers` threads (worker = 0 .. workers - 1) in turn as they become free, so rows of
// uneven cost still spread evenly. The calling thread is worker 0; report() as for RunInBands.
template <typename Work, typename Report>
void RunInChunks(int first, int last, int chunkRows, int workers, Work&& work, Report&& report)
{
    const int rows = last - first;
    if (rows <= 0)
        return;
    chunkRows = std::max(1, chunkRows);
    const int chunks = (rows + chunkRows - 1) / chunkRows;
    std::atomic<int> next{0};
    const int threads = std::max(1, std::min(workers, chunks));
    RunInBands(
        0, threads, threads,
        [&](int worker, int, int) {
            for (int k = next.fetch_add(1, std::memory_order_relaxed); k < chunks;
                 k = next.fetch_add(1, std::memory_order_relaxed))
            {
                const int y0 = first + k * chunkRows;
                work(worker, y0, std::min(last, y0 + chunkRows));
            }
        },
        report);
}
