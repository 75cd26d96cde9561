#include "heightproc/Water.h"
#include "tests/oracles/WaterReference.h"
#include "HeightprocTestSupport.h"
#include "tests/common/ScopedWorkers.h"

#include <gtest/gtest.h>


using namespace testing_support;

TEST(WaterFill, MatchesTheReferenceSweepForSweepOnRandomRasters)
{
    std::mt19937 rng(424242);
    const int sizes[][2] = {{1, 1}, {2, 5}, {3, 3}, {4, 9}, {17, 13}, {60, 45}, {101, 37}, {128, 6}};
    // 0 chooses the limit automatically (frontier sweeps); small limits force whole-raster scans
    // and switches between the two ways.
    const std::size_t limits[] = {0, 1, 5, 40};
    for (const auto& size : sizes)
    {
        for (const std::size_t limit : limits)
        {
            for (int variant = 0; variant < 3; ++variant)
            {
                SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " limit " << limit << " variant "
                                                  << variant);
                const int low = variant == 2 ? 60000 : 1;
                const int high = variant == 0 ? 300 : 65535;
                Raster fast = RandomWater(size[0], size[1], rng, low, high, variant + 1, variant * 4);
                Raster slow = fast;
                RecordingProgress fastProgress;
                RecordingProgress slowProgress;
                fastProgress.setPos(150);
                slowProgress.setPos(150);
                FillWater(fast.view(), fastProgress, limit);
                reference::FillWater(slow.view(), slowProgress);
                ASSERT_EQ(fast.samples, slow.samples);
                EXPECT_EQ(fastProgress.positions, slowProgress.positions);
            }
        }
    }
}

TEST(WaterFill, NewSamplesTakeTheTruncatedMeanOfTheirWetNeighbours)
{
    Raster water(5, 4);
    water.at(1, 1) = 10;
    water.at(2, 1) = 13;
    water.at(0, 2) = 7; // a border sample counts as a neighbour but is never filled
    NullProgress progress;
    FillWater(water.view(), progress);
    // First sweep: (3,1) sees 13 -> 13; (1,2) sees 10, 13, 7 -> 10; (2,2) sees 10, 13 -> 11;
    // (3,2) sees 13 -> 13.
    EXPECT_EQ(water.at(3, 1), 13);
    EXPECT_EQ(water.at(1, 2), 10);
    EXPECT_EQ(water.at(2, 2), 11);
    EXPECT_EQ(water.at(3, 2), 13);
    EXPECT_EQ(water.at(0, 1), 0);
    EXPECT_EQ(water.at(4, 2), 0);
}

TEST(WaterFill, AWetInteriorNeedsNoFillAndEndsTheBarItsFiftyOn)
{
    Raster water(12, 9, 65535);
    RecordingProgress progress;
    progress.setPos(150);
    progress.positions.clear();
    FillWater(water.view(), progress);
    EXPECT_EQ(progress.positions, std::vector<int>{200});
    EXPECT_EQ(water.samples, std::vector<std::uint16_t>(108, 65535));
}

// With 1, 3 and 7 workers a pass's sweeps are shared by up to seven workers (451 rows, 64 a
// worker), each following the one before, and the frontier sweeps (limit 0) split the frontier
// among the workers: the fill is the reference's. Rows of more than 4096 samples keep a second word
// of bits for the words that filled: there a lone sample spreads across columns 4095 | 4096,
// rightwards and leftwards, with no other water near.
TEST(WaterFill, BandsOfAnyWorkerCountMatchTheReference)
{
    std::mt19937 rng(4511);
    std::vector<Raster> starts = {RandomWater(19, 451, rng, 1, 65535, 12, 8)};
    for (const int seed : {4094, 4097})
    {
        Raster wide(4240, 3);
        wide.at(3960, 1) = 500;
        wide.at(seed, 1) = 9000;
        wide.at(4230, 1) = 700;
        starts.push_back(wide);
    }
    NullProgress progress;
    for (const Raster& start : starts)
    {
        Raster expected = start;
        reference::FillWater(expected.view(), progress);
        for (const char* threads : {"1", "3", "7"})
        {
            // Three rows get one worker for the passes; more would only repeat the frontier sweeps.
            if (start.width > 64 && std::string(threads) != "1")
                continue;
            // Limit 1: passes only. Several of them: a worker let one row too far shows under
            // ThreadSanitizer only where it catches up with the worker before it.
            for (const std::size_t limit : {1, 0, 1, 1})
            {
                SCOPED_TRACE(std::to_string(start.width) + " wide, " + threads + " workers, limit " +
                             std::to_string(limit));
                const testcli::ScopedWorkers workers(threads);
                Raster fast = start;
                FillWater(fast.view(), progress, limit);
                EXPECT_EQ(fast.samples, expected.samples);
            }
        }
    }
}
