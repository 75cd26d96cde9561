#include "banks/ShoreTracing.h"
#include "tests/oracles/ShoreReference.h"
#include "banks/WaterImage.h"

#include <gtest/gtest.h>

#include "tests/common/ScopedWorkers.h"
#include <random>
#include <vector>

namespace
{
// Sets pixel (c, r), r counted from the bottom as the tracer counts it.
void SetWater(WaterImage& image, int c, int r, std::uint8_t value = 128)
{
    image.view().at(c, r) = value;
}

Shoreline Points(std::initializer_list<ShorePoint> points)
{
    return Shoreline(points);
}

WaterImage RandomMask(std::mt19937& random, int width, int height)
{
    WaterImage image(width, height);
    const int kind = int(random() % 3);
    const int density = 20 + int(random() % 60);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
        {
            bool water = false;
            if (kind == 0) // speckle: many tiny outlines, single pixels, diagonal touches
                water = int(random() % 100) < density;
            else if (kind == 1) // blobs: a few large outlines with holes
                water = ((c / 5 + r / 4) % 3 != 0) != (int(random() % 100) < 10);
            else // stripes and bands: long open and closed lines
                water = (c + 2 * r) % 9 < 4 || int(random() % 100) < 5;
            SetWater(image, c, r, water ? 128 : 0);
        }
    return image;
}
} // namespace

TEST(ShoreTracing, PixelCentresInMetres)
{
    EXPECT_EQ(PixelCentre(3, 7, 50.0f), (ShorePoint{175, 375}));
    EXPECT_EQ(PixelCentre(0, 0, 10.0f), (ShorePoint{5, 5}));
    // 0.1f is slightly above 0.1: (2 * 4 + 1) * 0.1f / 2 = 0.45000000670552254.
    EXPECT_EQ(PixelCentre(4, 9, 0.1f), (ShorePoint{0, 0}));
    EXPECT_EQ(PixelCentre(9, 0, 0.1f), (ShorePoint{0, 0}));
    EXPECT_EQ(PixelCentre(10, 0, 0.1f), (ShorePoint{1, 0}));
}

TEST(ShoreTracing, BoundaryPixelsHaveOneToThreeWaterNeighbours)
{
    WaterImage image(12, 12);
    SetWater(image, 2, 2); // isolated: no water neighbour
    for (int r = 5; r <= 7; ++r)
        for (int c = 5; c <= 7; ++c)
            SetWater(image, c, r); // the centre (6, 6) has four
    SetWater(image, 9, 2);
    SetWater(image, 9, 3); // a two-pixel line: one neighbour each
    const std::vector<BoundaryPixel> boundary = ScanBoundary(image.view(), 0);
    const std::vector<BoundaryPixel> expected = {{9, 2}, {9, 3}, {5, 5}, {6, 5}, {7, 5},
                                                 {5, 6}, {7, 6}, {5, 7}, {6, 7}, {7, 7}};
    EXPECT_EQ(boundary, expected);
    EXPECT_EQ(image.view().at(5, 5), 190);
    EXPECT_EQ(image.view().at(6, 6), 128);
    EXPECT_EQ(image.view().at(2, 2), 128);
}

TEST(ShoreTracing, TheOutermostRowsAndColumnsAreNotScanned)
{
    // With R = 1 rows and columns 0, 1 and size - 2, size - 1 hold no boundary pixels.
    WaterImage image(8, 8);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 4; ++c)
            SetWater(image, c, r);
    const std::vector<BoundaryPixel> boundary = ScanBoundary(image.view(), 1);
    const std::vector<BoundaryPixel> expected = {{3, 2}, {3, 3}, {3, 4}, {3, 5}};
    EXPECT_EQ(boundary, expected);
}

// The chain cuts the square's corners; the seam repair, smoothing and orientation follow.
TEST(ShoreTracing, ThreeByThreeSquareTracedEndToEnd)
{
    WaterImage image(30, 30);
    for (int r = 10; r <= 12; ++r)
        for (int c = 10; c <= 12; ++c)
            SetWater(image, c, r);
    ShorelineSet lines{Points({{1, 1}})}; // emptied first
    ASSERT_TRUE(TraceShorelines(image.view(), lines, 0, 10.0f).ok());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Points({{125, 105}, {122, 110}, {119, 114}, {116, 116}, {114, 115}, {113, 111}, {115, 105}}));
    // Every boundary pixel is marked; the centre is not.
    int marked = 0;
    for (std::uint8_t value : image.bits)
        marked += value == 190;
    EXPECT_EQ(marked, 8);
    EXPECT_EQ(image.view().at(11, 11), 128);
}

TEST(ShoreTracing, OutlinesOfFiveOrFewerPointsAreDropped)
{
    // A one-pixel-wide line of L pixels chains into one outline of L points.
    for (int length : {5, 6})
    {
        WaterImage image(20, 5);
        for (int c = 3; c < 3 + length; ++c)
            SetWater(image, c, 2);
        const ShorelineSet outlines = ChainBoundary(ScanBoundary(image.view(), 0), 20, 5, 1.0f);
        EXPECT_EQ(outlines.size(), length == 6 ? 1u : 0u) << length;
    }
    // A single boundary pixel without boundary neighbours makes a one-point outline.
    WaterImage image(10, 10);
    SetWater(image, 4, 4);
    SetWater(image, 4, 5);
    EXPECT_TRUE(ChainBoundary(ScanBoundary(image.view(), 0), 10, 10, 1.0f).empty());
}

TEST(ShoreTracing, SeamRepairRemovesTheFirstOrTheLastPointNeverBoth)
{
    // f = 10: the closing distance is sqrt(200) + 0.001.
    ShorelineSet closedLoop = {Points({{0, 0}, {10, 0}, {20, 0}, {20, 10}, {10, 20}, {0, 10}, {10, 0}})};
    CleanUpLines(closedLoop, 0, 10.0f);
    // Point 1 (10, 0) and the last point coincide: point 0 goes, then four smoothing passes.
    ASSERT_EQ(closedLoop[0].size(), 6u);
    EXPECT_EQ(closedLoop[0].front(), (ShorePoint{10, 0}));

    ShorelineSet endsNearStart = {Points({{0, 0}, {100, 0}, {200, 0}, {200, 100}, {10, 10}, {50, 50}})};
    CleanUpLines(endsNearStart, 0, 10.0f);
    ASSERT_EQ(endsNearStart[0].size(), 5u);
    EXPECT_EQ(endsNearStart[0].front(), (ShorePoint{0, 0}));
    EXPECT_EQ(endsNearStart[0].back(), (ShorePoint{10, 10}));

    ShorelineSet open = {Points({{0, 0}, {100, 0}, {200, 0}, {300, 0}, {400, 0}, {500, 0}})};
    CleanUpLines(open, 0, 10.0f);
    EXPECT_EQ(open[0].size(), 6u);
}

TEST(ShoreTracing, SizeTestDropsLinesWithinTheMinimumRadius)
{
    // A line of radius 50 m from its centroid (250, 0): kept with R f = 50, dropped with 60.
    const Shoreline line = Points({{200, 0}, {220, 0}, {240, 0}, {260, 0}, {280, 0}, {300, 0}});
    ShorelineSet lines = {line, line};
    CleanUpLines(lines, 5, 10.0f);
    EXPECT_EQ(lines.size(), 2u);
    lines = {line, Points({{0, 0}, {1000, 0}, {2000, 0}, {3000, 0}, {4000, 0}, {5000, 0}}), line};
    CleanUpLines(lines, 6, 10.0f);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].front(), (ShorePoint{0, 0}));
    // With R = 0 nothing goes, however small.
    lines = {Points({{7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}})};
    CleanUpLines(lines, 0, 10.0f);
    EXPECT_EQ(lines.size(), 1u);
}

TEST(ShoreTracing, CentroidSumsWrapAsUnsigned)
{
    // Seven equal points far out; the seam repair leaves six, which sum to 9e9. That wraps
    // modulo 2^32 to 410065408: the centroid lands at 68344234 instead of 1.5e9, and the radius,
    // about 1.43e9, keeps the line even with a minimum radius of 1e9 metres.
    ShorelineSet lines = {Shoreline(7, ShorePoint{1500000000, 0})};
    CleanUpLines(lines, 100000000, 10.0f); // R f = 1e9
    EXPECT_EQ(lines.size(), 1u);
}

TEST(ShoreTracing, ProbeTieKeepsTheDirection)
{
    // A vertical line at the boundary between water (columns < 5) and land: heading up (+z)
    // the probes look left, into water; each probe falls on column 2, water, so it is reversed.
    WaterImage image(10, 20);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 5; ++c)
            SetWater(image, c, r);
    const Shoreline up = Points({{45, 0}, {45, 10}, {45, 20}, {45, 30}, {45, 40}, {45, 50}});
    ShorelineSet lines = {up};
    OrientLines(lines, image.constView(), 0, 10.0f);
    EXPECT_EQ(lines[0].front(), (ShorePoint{45, 50}));
    // Two segments up (water on the left) and two down (land on the left): a tie, unchanged.
    const Shoreline zigzag = Points({{45, 0}, {45, 10}, {45, 20}, {45, 10}, {45, 0}});
    lines = {zigzag};
    OrientLines(lines, image.constView(), 0, 10.0f);
    EXPECT_EQ(lines[0], zigzag);
}

TEST(ShoreTracing, ProbeUsesSinglePrecisionInverse)
{
    // f = 50: the float inverse 0.0199999996 is slightly below 0.02, so a probe at 500 m is
    // 9.9999998 pixels: column 9, not 10.
    WaterImage image(20, 20);
    for (int r = 0; r < 20; ++r)
        SetWater(image, 9, r); // only column 9 is water
    // Heading down (-z) from x = 400: the left-hand probe is at x + 2 * 50 = 500.
    const Shoreline down = Points({{400, 600}, {400, 550}, {400, 500}});
    ShorelineSet lines = {down};
    OrientLines(lines, image.constView(), 0, 50.0f);
    EXPECT_EQ(lines[0].front(), (ShorePoint{400, 500})) << "probes should fall on column 9";
}

namespace
{
// A line smoothed `passes` times, and what it becomes.
struct Smoothing
{
    const char* name;
    Shoreline line;
    int passes;
    Shoreline smoothed;
};

const Smoothing kSmoothings[] = {
    {"OnePass", Points({{0, 0}, {3, 3}, {9, 0}}), 1, Points({{0, 0}, {4, 1}, {9, 0}})},
    // In place from the front: point 2 averages the already smoothed point 1.
    {"InPlaceFromTheFront", Points({{0, 0}, {30, 0}, {0, 0}, {0, 0}}), 1, Points({{0, 0}, {10, 0}, {3, 0}, {0, 0}})},
    {"TruncatedTowardZero", Points({{0, 0}, {-4, -5}, {0, 0}}), 1, Points({{0, 0}, {-1, -1}, {0, 0}})},
    {"TwoPointsStay", Points({{0, 0}, {5, 5}}), 3, Points({{0, 0}, {5, 5}})},
    {"NoPasses", Points({{0, 0}, {3, 3}, {9, 0}}), 0, Points({{0, 0}, {3, 3}, {9, 0}})},
    {"NegativePasses", Points({{0, 0}, {3, 3}, {9, 0}}), -2, Points({{0, 0}, {3, 3}, {9, 0}})},
};

using SmoothLineOf = testing::TestWithParam<Smoothing>;
} // namespace

TEST_P(SmoothLineOf, Example)
{
    Shoreline line = GetParam().line;
    SmoothLine(line, GetParam().passes);
    EXPECT_EQ(line, GetParam().smoothed);
}

INSTANTIATE_TEST_SUITE_P(ShoreTracing, SmoothLineOf, testing::ValuesIn(kSmoothings),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ShoreTracing, RefusesMoreLinesThanTheCounts)
{
    // 32768 one-pixel-wide lines of 6 pixels, each its own outline; then one fewer, which is fine.
    const int across = 256;
    const int down = 128;
    ShorelineSet lines;
    for (const bool all : {true, false})
    {
        WaterImage image(across * 8 + 2, down * 2 + 2);
        for (int j = 0; j < down; ++j)
            for (int i = !all && j == 0 ? 1 : 0; i < across; ++i)
                for (int c = 0; c < 6; ++c)
                    SetWater(image, 1 + i * 8 + c, 1 + j * 2);
        EXPECT_EQ(TraceShorelines(image.view(), lines, 0, 1.0f).ok(), !all);
    }
    EXPECT_EQ(lines.size(), 32767u);
}

TEST(ShoreTracing, RefusesALineOfMorePointsThanTheCounts)
{
    WaterImage image(32770, 3);
    for (int c = 1; c < 32769; ++c)
        SetWater(image, c, 1); // 32768 pixels: one outline of 32768 points
    ShorelineSet lines;
    EXPECT_EQ(TraceShorelines(image.view(), lines, 0, 1.0f).code, StatusCode::tooLarge);
    image.view().at(1, 1) = 0;
    EXPECT_TRUE(TraceShorelines(image.view(), lines, 0, 1.0f).ok());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 32767u);
}

TEST(ShoreTracing, FastChainingMatchesTheListSearchOnRandomMasks)
{
    std::mt19937 random(2024);
    std::size_t outlines = 0;
    for (int trial = 0; trial < 150; ++trial)
    {
        const int width = 3 + int(random() % 40);
        const int height = 3 + int(random() % 40);
        const int R = int(random() % 3);
        WaterImage image = RandomMask(random, width, height);
        std::vector<BoundaryPixel> defined; // the scan pixel by pixel, as ScanBoundary is defined
        for (int r = R + 1; r < height - R - 1; ++r)
            for (int c = R + 1; c < width - R - 1; ++c)
            {
                const auto water = [&](int dc, int dr) { return image.view().at(c + dc, r + dr) >= 128; };
                const int n = water(0, -1) + water(1, 0) + water(0, 1) + water(-1, 0);
                if (water(0, 0) && n >= 1 && n <= 3)
                    defined.push_back({c, r});
            }
        const WaterImage unmarked = image;
        for (const char* threads : {"3", "7", "1"}) // bands of a few rows, and one band
        {
            image = unmarked;
            const testcli::ScopedWorkers workers(threads);
            ASSERT_EQ(ScanBoundary(image.view(), R), defined) << "trial " << trial << " threads " << threads;
        }
        for (const BoundaryPixel& p : defined)
            ASSERT_EQ(image.view().at(p.c, p.r), 190);
        const std::vector<BoundaryPixel>& boundary = defined;
        const float f = trial % 2 ? 50.0f : 7.3f;
        const ShorelineSet fast = ChainBoundary(boundary, width, height, f);
        const ShorelineSet reference = ChainBoundaryReference(boundary, f);
        ASSERT_EQ(fast, reference) << "trial " << trial << " size " << width << "x" << height;
        outlines += fast.size();
    }
    EXPECT_GT(outlines, 300u); // the masks do exercise the chaining
}
