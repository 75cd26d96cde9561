#include "heightproc/Water.h"
#include "tests/oracles/WaterReference.h"
#include "HeightprocTestSupport.h"

#include <gtest/gtest.h>


using namespace testing_support;

namespace
{

struct SmoothCase
{
    int width;
    int height;
    int bank;
    int hill;
    int seaHeight;
    int waterLow;
    int waterHigh;
};

// Smooths random ground beside random water both ways; returns the water used.
Raster ExpectSameAsReference(const SmoothCase& c, std::mt19937& rng)
{
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " bank " << c.bank << " hill " << c.hill
                                      << " sea " << c.seaHeight << " water " << c.waterLow << ".." << c.waterHigh);
    const Raster water = RandomWater(c.width, c.height, rng, c.waterLow, c.waterHigh, 3, 10);
    Raster fast = RandomRaster(c.width, c.height, rng);
    for (std::size_t i = 0; c.seaHeight >= 0 && i < fast.samples.size(); i += 5) // ground at the sea height
        fast.samples[i] = static_cast<std::uint16_t>(c.seaHeight);
    Raster slow = fast;
    const Raster before = fast;
    RecordingProgress fastProgress;
    RecordingProgress slowProgress;
    fastProgress.setPos(100);
    slowProgress.setPos(100);
    const BankSmoothingCount count = SmoothBanks(fast.view(), water.constView(), c.bank, c.hill, c.seaHeight, fastProgress);
    reference::SmoothBanks(slow.view(), water.constView(), c.bank, c.hill, c.seaHeight, slowProgress);
    EXPECT_EQ(fast.samples, slow.samples);
    // The count the summary reports is what changed, over every chunk and worker.
    BankSmoothingCount changed;
    for (std::size_t i = 0; i < before.samples.size(); ++i)
    {
        const int change = int(fast.samples[i]) - int(before.samples[i]);
        changed.moved += change != 0;
        changed.largestRise = std::max(changed.largestRise, change);
        changed.largestFall = std::max(changed.largestFall, -change);
    }
    EXPECT_EQ(count.moved, changed.moved);
    EXPECT_EQ(count.largestRise, changed.largestRise);
    EXPECT_EQ(count.largestFall, changed.largestFall);
    // The fast version reports fewer steps, never backwards, and ends where the reference ends.
    EXPECT_FALSE(fastProgress.positions.empty());
    if (!fastProgress.positions.empty())
    {
        EXPECT_EQ(fastProgress.positions.back(), 150);
        EXPECT_GE(fastProgress.positions.front(), 100);
    }
    EXPECT_EQ(slowProgress.positions.back(), 150);
    EXPECT_TRUE(std::is_sorted(fastProgress.positions.begin(), fastProgress.positions.end()));
    return water;
}

// The single-precision window sum of the definition and the exact sum for sample (x, y).
std::pair<float, long long> WindowSums(const Raster& water, int x, int y, int hill)
{
    float s = 0.0f;
    long long exact = 0;
    for (int r = std::max(0, y - hill); r < std::min(water.height, y + hill); ++r)
    {
        for (int c = std::max(0, x - hill); c < std::min(water.width, x + hill); ++c)
        {
            const std::uint16_t v = water.samples[static_cast<std::size_t>(r * water.width + c)];
            s += static_cast<float>(v);
            exact += v;
        }
    }
    return {s, exact};
}

} // namespace

TEST(BankSmoothing, MatchesTheReferenceOnRandomInputs)
{
    std::mt19937 rng(1234);
    const SmoothCase cases[] = {
        // High water values in large hill windows first: window sums far above 2^24, where
        // single-precision addition rounds and the order of the additions decides the result.
        {90, 70, 5, 30, -257, 40000, 65535}, {75, 60, 10, 40, 257 * 100, 50000, 65535},
        {60, 50, 10, 100, -257, 30000, 65535}, {150, 20, 4, 100, -257, 45000, 65535},
        {1, 1, 5, 30, -257, 1, 65535},  {2, 7, 1, 3, -257, 1, 100},   {40, 30, 5, 3, -257, 1, 65535},
        {40, 30, 10, 3, -257, 1, 500},  {55, 41, 5, 8, 0, 1, 65535},  {55, 41, 3, 12, 257 * 80, 1, 65535},
        {64, 33, 7, 5, 257 * 200, 1, 65535}, {33, 64, 1, 4, -257, 1, 2000},
        // Chunks of max(64, 2 hill) rows, the last one partial, spread over the suite's workers;
        // float sums in lane blocks away from the edges, rows in groups with a partial last one.
        {23, 231, 3, 4, -257, 1, 65535}, {17, 173, 2, 40, 257 * 50, 1, 65535}, {100, 150, 3, 20, -257, 60000, 65535},
    };
    std::mt19937 rounding(99); // a first water whose sums do round (checked below)
    const Raster first = ExpectSameAsReference(cases[0], rounding);
    for (const SmoothCase& c : cases)
        if (&c != &cases[0])
            ExpectSameAsReference(c, rng);

    // The inputs do reach sums whose float value differs from the exact one.
    int rounded = 0;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 90; ++x)
        {
            const auto [s, exact] = WindowSums(first, x, y, 30);
            rounded += static_cast<long long>(s) != exact ? 1 : 0;
        }
    EXPECT_GT(rounded, 100);
}

TEST(BankSmoothing, GroundThreeSamplesLeftOfWaterIsOutsideItsHillWindow)
{
    Raster water(20, 15);
    water.at(10, 7) = 20000;
    Raster heights(20, 15, 10000);
    NullProgress progress;
    SmoothBanks(heights.view(), water.constView(), 5, 3, -257, progress);
    // The bank window (up to 4 columns right) finds the water, the hill window (up to 2) does not.
    EXPECT_EQ(heights.at(7, 7), 10000);
    // Two columns left the hill window reaches it: d = 2, t = 0.6.
    EXPECT_EQ(heights.at(8, 7), 16000);
}

TEST(BankSmoothing, WetSampleTakesTheMeanLevelPlusTheRoundingConstant)
{
    // The hill window of (10, 10) with hill 3 is columns and rows 7 .. 12. Twenty of its samples
    // are wet: eleven at 100 and nine at 101, mean 100.45, which 0.5555 lifts to 101 (0.5 would
    // not).
    Raster water(25, 25);
    int placed = 0;
    for (int y = 7; y <= 12; ++y)
    {
        for (int x = 7; x <= 12; ++x)
        {
            const int k = (y - 7) * 6 + (x - 7);
            if (k < 19 || (x == 10 && y == 10))
            {
                water.at(x, y) = static_cast<std::uint16_t>(placed < 11 ? 100 : 101);
                ++placed;
            }
        }
    }
    ASSERT_EQ(placed, 20);
    ASSERT_NE(water.at(10, 10), 0);
    Raster heights(25, 25, 3000);
    NullProgress progress;
    SmoothBanks(heights.view(), water.constView(), 5, 3, 257 * 5, progress);
    EXPECT_EQ(heights.at(10, 10), 101);
}
