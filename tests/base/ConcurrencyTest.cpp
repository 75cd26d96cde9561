// The work-sharing primitives themselves: bands of uneven size, one worker, and helper threads
// that cannot be started (a child process whose user may start no more threads).
#include "base/Concurrency.h"

#include "tests/common/ScopedWorkers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
// Every row of [first, last) claimed exactly once, band by band; the bands as RunInBands cut them.
std::vector<std::pair<int, int>> Bands(int first, int last, int bands)
{
    std::vector<std::pair<int, int>> cut(static_cast<std::size_t>(std::max(0, std::min(bands, last - first))));
    std::vector<int> claims(static_cast<std::size_t>(std::max(0, last - first)), 0);
    std::atomic<int> reports{0};
    RunInBands(
        first, last, bands,
        [&](int band, int y0, int y1) {
            cut.at(static_cast<std::size_t>(band)) = {y0, y1};
            for (int y = y0; y < y1; ++y)
                ++claims.at(static_cast<std::size_t>(y - first));
        },
        [&] { ++reports; });
    EXPECT_EQ(claims, std::vector<int>(claims.size(), 1));
    EXPECT_GE(reports, last > first ? 1 : 0);
    return cut;
}

// Runs every primitive with four or more workers and checks what each hands out; returns the
// number of mistakes, so that a child process can report them through its exit status.
int RunEveryPrimitive()
{
    int mistakes = 0;
    const auto check = [&](bool ok, const char* what) {
        if (!ok)
        {
            std::fprintf(stderr, "%s hands out the wrong work\n", what);
            ++mistakes;
        }
    };
    std::vector<std::atomic<int>> done(100);
    ParallelFor(done.size(), 4, [&](std::size_t i) { ++done[i]; });
    check(std::all_of(done.begin(), done.end(), [](const auto& d) { return d == 1; }), "ParallelFor");

    std::vector<int> rows(100, 0);
    RunInChunks(0, 100, 7, 4, [&](int, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            ++rows[static_cast<std::size_t>(y)];
    }, [] {});
    check(rows == std::vector<int>(100, 1), "RunInChunks");

    unsigned team = 0;
    std::atomic<int> work{0};
    RunInRounds(
        4,
        [&](unsigned worker, unsigned t, std::size_t) {
            if (worker == 0)
                team = t;
            ++work;
        },
        [](std::size_t r) { return r < 9; });
    check(work == 10 * static_cast<int>(team), "RunInRounds");

    std::vector<std::size_t> delivered;
    std::vector<std::atomic<int>> made(5 * 8);
    const bool ok = RunOrderedPipeline(
        5, 4, [](std::size_t) { return std::size_t(8); },
        [&](unsigned, std::size_t s, std::size_t i) { return ++made[s * 8 + i] == 1; },
        [&](std::size_t s) {
            delivered.push_back(s);
            return true;
        });
    check(ok && delivered == std::vector<std::size_t>{0, 1, 2, 3, 4}, "RunOrderedPipeline");
    check(std::all_of(made.begin(), made.end(), [](const auto& m) { return m == 1; }), "RunOrderedPipeline items");
    check(Bands(0, 100, 4) == std::vector<std::pair<int, int>>{{0, 25}, {25, 50}, {50, 75}, {75, 100}}, "RunInBands");
    return mistakes;
}
} // namespace

TEST(Concurrency, WorkerCountTakesTheRequestThenTheEnvironmentUpTo64)
{
    EXPECT_EQ(WorkerCount(5), 5u);
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
    for (const auto& [set, expected] : {std::pair{"3", 3u}, {"200", 64u}, {"0", cores}, {"many", cores}})
    {
        testcli::ScopedWorkers workers(set);
        EXPECT_EQ(WorkerCount(), expected) << set;
    }
}

// 17 rows in 4 bands: 4, 4, 4 and 5 rows; never more bands than rows, no band for no rows.
TEST(Concurrency, BandsAreContiguousAndDifferByAtMostOneRow)
{
    using Cut = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Bands(5, 22, 4), (Cut{{5, 9}, {9, 13}, {13, 17}, {17, 22}}));
    EXPECT_EQ(Bands(0, 3, 10), (Cut{{0, 1}, {1, 2}, {2, 3}}));
    EXPECT_EQ(Bands(0, 1000, 7).back(), (std::pair{857, 1000}));
    EXPECT_TRUE(Bands(4, 4, 3).empty());

    // Chunks of 5 rows of 17, the last one partial, each handed out once.
    std::vector<std::pair<int, int>> chunks(4);
    RunInChunks(3, 20, 5, 3, [&](int, int y0, int y1) { chunks.at(static_cast<std::size_t>((y0 - 3) / 5)) = {y0, y1}; },
                [] {});
    EXPECT_EQ(chunks, (Cut{{3, 8}, {8, 13}, {13, 18}, {18, 20}}));
}

// With one worker everything runs on the calling thread, in order.
TEST(Concurrency, OneWorkerRunsEverythingOnTheCallingThreadInOrder)
{
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<std::size_t> order;
    ParallelFor(6, 1, [&](std::size_t i) {
        order.push_back(i);
        EXPECT_EQ(std::this_thread::get_id(), caller);
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Bands(0, 9, 1), (std::vector<std::pair<int, int>>{{0, 9}}));
    std::vector<std::size_t> rounds;
    RunInRounds(1, [&](unsigned worker, unsigned team, std::size_t r) { rounds.push_back(r + 10 * (worker + team)); },
                [](std::size_t r) { return r < 2; });
    EXPECT_EQ(rounds, (std::vector<std::size_t>{10, 11, 12}));
}

TEST(Concurrency, AnExceptionOfAJobIsRethrownOnceEveryThreadHasStopped)
{
    EXPECT_THROW(ParallelFor(50, 4, [](std::size_t i) { if (i == 17) throw std::runtime_error("job"); }),
                 std::runtime_error);
    EXPECT_THROW(RunInRounds(3, [](unsigned w, unsigned, std::size_t) { if (w == 2) throw std::runtime_error("w"); },
                             [](std::size_t) { return true; }),
                 std::runtime_error);
}

// Run in a child process whose user may start no more threads (RLIMIT_NPROC 0; root, whom the
// limit does not bind, becomes nobody first): every helper thread fails to start.
int RunEveryPrimitiveWithoutThreads()
{
    const rlimit none{0, 0};
    if ((::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) || ::setrlimit(RLIMIT_NPROC, &none) != 0)
        return 100;
    try
    {
        std::thread([] {}).join();
        return 101; // the limit does not stop threads here
    }
    catch (const std::system_error&)
    {
    }
    return RunEveryPrimitive();
}

// The calling thread does the work of the threads that did not start.
TEST(Concurrency, ThreadsThatCannotStartLeaveTheWorkToTheCallingThread)
{
    EXPECT_EXIT(std::_Exit(RunEveryPrimitiveWithoutThreads()), testing::ExitedWithCode(0), "");
    EXPECT_EQ(RunEveryPrimitive(), 0); // and with the threads, for comparison
}
