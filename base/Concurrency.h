#pragma once
// The one way Altimo spreads work over the cores. WorkerCount says how many threads to use;
// ParallelFor hands out independent jobs; RunInBands and RunInChunks cut rows into bands or
// chunks; RunOrderedPipeline makes results in steps and hands them on in order. None of them lets the result depend on the number of threads: every job or band
// writes only its own output. A thread that cannot be started is not an error: the threads
// that run (at least the calling one) do its share.
#include "base/Text.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// Threads to use: `requested` when it is not 0, else ALTIMO_THREADS when set (benchmarks use 1
// to measure a single core, tests force several to cross band boundaries), else every core;
// at most 64.
inline unsigned WorkerCount(unsigned requested = 0)
{
    if (requested != 0)
        return requested;
    if (const char* forced = std::getenv("ALTIMO_THREADS"))
    {
        if (const std::optional<long long> n = ParseWhole(forced); n && *n >= 1)
            return static_cast<unsigned>(std::min(*n, 64LL));
    }
    return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
}

// Runs body(index) for index 0..count-1, claimed in order by the calling thread and helper
// threads; the order in which the jobs run is not fixed. An exception thrown by a job is
// rethrown in the caller after every thread has stopped.
template <typename Body>
void ParallelFor(std::size_t count, unsigned threads, Body&& body)
{
    threads = static_cast<unsigned>(std::min<std::size_t>(WorkerCount(threads), std::max<std::size_t>(count, 1)));
    if (threads <= 1)
    {
        for (std::size_t i = 0; i < count; ++i)
            body(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr error;
    std::mutex errorLock;
    auto work = [&] {
        try
        {
            for (std::size_t i = next++; i < count && !stop; i = next++)
                body(i);
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!error)
                error = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    try
    {
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    }
    catch (const std::system_error&)
    {
        // No more threads to be had: the ones running (at least this one) finish the jobs.
    }
    work();
    for (auto& helper : helpers)
        helper.join();
    if (error)
        std::rethrow_exception(error);
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
    int started = 1;
    try
    {
        for (; started < bands; ++started)
        {
            threads.emplace_back([&, b = started] {
                work(b, BandStart(first, rows, bands, b), BandStart(first, rows, bands, b + 1));
                running.fetch_sub(1, std::memory_order_release);
            });
        }
    }
    catch (const std::system_error&)
    {
        // No more threads to be had: the calling thread does the bands that have none.
        running.fetch_sub(bands - started, std::memory_order_release);
    }
    work(0, first, BandStart(first, rows, bands, 1));
    for (int b = started; b < bands; ++b)
        work(b, BandStart(first, rows, bands, b), BandStart(first, rows, bands, b + 1));
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

// Runs rounds 0, 1, ... of work(worker, workers, round) on threads kept for the whole run, for
// many short rounds that each depend on the one before, where starting threads every round
// would cost more than the round. Every thread does each round (worker 0 .. workers - 1, the
// calling thread is 0; `workers` counts the threads that did start); once all have done round
// r, next(r) runs on the calling thread alone and says whether round r + 1 follows. An
// exception from work or next ends the rounds and is rethrown once every thread has stopped.
template <typename Work, typename Next>
void RunInRounds(unsigned workers, Work&& work, Next&& next)
{
    workers = std::max(1u, workers);
    if (workers == 1)
    {
        for (std::size_t round = 0;; ++round)
        {
            work(0u, 1u, round);
            if (!next(round))
                return;
        }
    }
    std::exception_ptr error;
    std::mutex errorLock;
    std::atomic<bool> failed{false};
    auto fail = [&] {
        std::lock_guard<std::mutex> lock(errorLock);
        if (!error)
            error = std::current_exception();
        failed = true;
    };
    bool more = true;   // written by the calling thread between two barriers
    unsigned team = 1;  // likewise, before the first round
    std::barrier sync(static_cast<std::ptrdiff_t>(workers));
    auto run = [&](unsigned worker) {
        sync.arrive_and_wait(); // `team` is known
        for (std::size_t round = 0;; ++round)
        {
            if (!failed)
            {
                try
                {
                    work(worker, team, round);
                }
                catch (...)
                {
                    fail();
                }
            }
            sync.arrive_and_wait();
            if (worker == 0)
            {
                try
                {
                    more = !failed && next(round);
                }
                catch (...)
                {
                    fail();
                    more = false;
                }
            }
            sync.arrive_and_wait();
            if (!more)
                return;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(workers - 1);
    try
    {
        for (unsigned t = 1; t < workers; ++t)
            helpers.emplace_back(run, t);
    }
    catch (const std::system_error&)
    {
        // Fewer threads than planned: the ones running share the work, the barrier stops
        // counting the others.
        for (std::size_t t = helpers.size() + 1; t < workers; ++t)
            sync.arrive_and_drop();
    }
    team = static_cast<unsigned>(helpers.size() + 1);
    run(0);
    for (auto& helper : helpers)
        helper.join();
    if (error)
        std::rethrow_exception(error);
}

// Makes `steps` steps of work in order and hands each on in order while the next is made.
// Step s has items(s) items, each made by make(worker, s, item) on one of `workers` threads
// (worker 0 .. workers - 1, so each can keep its own tools); once all are made, deliver(s) runs
// on the calling thread while the other threads make step s + 1, and the calling thread joins
// them when it is done. So the results of two steps are alive at once (keep them apart, e.g.
// by s % 2), and what deliver sees, and the order it sees it in, does not depend on the number
// of threads. A false from make or deliver stops the work (the steps not begun are skipped)
// and the result is false; an exception from either is rethrown once every thread has stopped.
template <typename Items, typename Make, typename Deliver>
bool RunOrderedPipeline(std::size_t steps, unsigned workers, Items&& items, Make&& make, Deliver&& deliver)
{
    std::atomic<bool> ok{true};
    std::exception_ptr error;
    std::mutex errorLock;
    auto guarded = [&](auto&& work) {
        if (!ok)
            return;
        try
        {
            if (!work())
                ok = false;
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(errorLock);
            if (!error)
                error = std::current_exception();
            ok = false;
        }
    };
    std::atomic<std::size_t> claim{0};
    auto makeStep = [&](unsigned worker, std::size_t step) {
        guarded([&] {
            const std::size_t count = items(step);
            for (std::size_t item = claim++; item < count && ok; item = claim++)
                if (!make(worker, step, item))
                    return false;
            return true;
        });
    };
    if (workers <= 1 || steps == 0)
    {
        for (std::size_t step = 0; step < steps && ok; ++step)
        {
            claim = 0;
            makeStep(0, step);
            guarded([&] { return deliver(step); });
        }
        if (error)
            std::rethrow_exception(error);
        return ok;
    }

    // Every thread passes every barrier, even after a failure, so none is left waiting.
    std::barrier sync(static_cast<std::ptrdiff_t>(workers), [&claim]() noexcept { claim.store(0); });
    std::vector<std::thread> helpers;
    helpers.reserve(workers - 1);
    try
    {
        for (unsigned t = 1; t < workers; ++t)
            helpers.emplace_back([&, t] {
                for (std::size_t step = 0; step < steps; ++step)
                {
                    makeStep(t, step);
                    sync.arrive_and_wait();
                }
            });
    }
    catch (const std::system_error&)
    {
        // Fewer threads than planned: take the missing ones out of the barrier's count.
        for (std::size_t t = helpers.size() + 1; t < workers; ++t)
            sync.arrive_and_drop();
    }
    for (std::size_t step = 0; step < steps; ++step)
    {
        if (step > 0)
            guarded([&] { return deliver(step - 1); });
        makeStep(0, step);
        sync.arrive_and_wait();
    }
    for (auto& helper : helpers)
        helper.join();
    guarded([&] { return deliver(steps - 1); });
    if (error)
        std::rethrow_exception(error);
    return ok;
}
