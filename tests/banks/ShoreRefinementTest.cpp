#include "banks/ShoreRefinement.h"
#include "support/BufferMask.h"
#include "tests/oracles/ShoreReference.h"
#include "support/WtrWriter.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace
{
Shoreline Points(std::initializer_list<ShorePoint> points)
{
    return Shoreline(points);
}

// A width x height mask in blocks of `block` whose cell (x, z) (z = mask row, 0 at the top) is
// value(x, z).
void LoadMask(CBufferMask& mask, const std::function<std::uint8_t(int, int)>& value, int width = 256,
              int height = 256, int block = 64)
{
    const std::vector<std::uint8_t> cells = testcli::MaskCells(width, height, value);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodeWtr(cells.data(), width, height, block, bytes).ok());
    ASSERT_TRUE(mask.load(bytes.data(), bytes.size()));
}

// A mask of width x height cells with random values, whole dry (absent) blocks and soft
// shores, in blocks of 32.
void LoadRandomMask(CBufferMask& mask, std::mt19937& random, int width, int height)
{
    const int phase = int(random() % 50);
    const auto value = [&](int x, int z) {
        const double wave = std::sin((x + phase) * 0.11) * 6.0 + std::cos(z * 0.07) * 5.0;
        return (x / 32 + z / 32) % 4 == 1
                   ? std::uint8_t(0)
                   : static_cast<std::uint8_t>(std::clamp(wave + 7.5 + double(random() % 3) - 1.0, 0.0, 15.0));
    };
    LoadMask(mask, value, width, height, 32);
}

// A line heading east at z = 1000 m: its left-hand normal points north (+z).
const Shoreline kEastward = Points({{1000, 1000}, {1100, 1000}, {1200, 1000}});
} // namespace

TEST(TessellateLine, PutsTPointsOnEverySegmentWithoutTheLastPoint)
{
    Shoreline line = Points({{0, 0}, {100, 0}});
    ASSERT_TRUE(TessellateLine(line, 4).ok());
    EXPECT_EQ(line, Points({{0, 0}, {25, 0}, {50, 0}, {75, 0}}));

    line = Points({{0, 0}, {10, -10}, {10, 20}});
    ASSERT_TRUE(TessellateLine(line, 3).ok());
    // 3.33 + 0.555 -> 3, but -3.33 + 0.555 = -2.78 -> -2 and -10 + 0.555 -> -9: truncation
    // toward zero.
    EXPECT_EQ(line, Points({{0, 0}, {3, -2}, {7, -6}, {10, -9}, {10, 0}, {10, 10}}));

    line = Points({{5, 5}});
    ASSERT_TRUE(TessellateLine(line, 4).ok());
    EXPECT_TRUE(line.empty());
}

TEST(TessellateLine, ComputesInSinglePrecision)
{
    // 16777217 has no float: it becomes 16777216 (and 16777227 becomes 16777228), so the
    // segment's first point moves by one metre.
    Shoreline line = Points({{16777217, 0}, {16777227, 0}});
    ASSERT_TRUE(TessellateLine(line, 2).ok());
    EXPECT_EQ(line, Points({{16777216, 0}, {16777222, 0}}));
}

TEST(TessellateLine, RefusesMoreThan32767Points)
{
    Shoreline line(8193, ShorePoint{1, 1}); // 8192 segments x 4 = 32768
    const Shoreline before = line;
    EXPECT_EQ(TessellateLine(line, 4).code, StatusCode::tooLarge);
    EXPECT_EQ(line, before);
    line.pop_back();
    EXPECT_TRUE(TessellateLine(line, 4).ok());
    EXPECT_EQ(line.size(), 32764u);
}

// A line snapped on a mask of one rule, and where its points end up. A shore level of -1 is the
// value of the mask's cells.
struct Snap
{
    std::uint8_t (*cell)(int x, int z);
    float psize;
    float shore;
    Shoreline line;
    Shoreline snapped;
};
using SnapLineToShoreOn = testing::TestWithParam<Snap>;

TEST_P(SnapLineToShoreOn, MovesThePointsAlongTheirNormals)
{
    CBufferMask mask(256);
    LoadMask(mask, GetParam().cell);
    Shoreline line = GetParam().line;
    SnapLineToShore(line, mask, GetParam().psize, GetParam().shore < 0 ? mask.getValue(0, 0) : GetParam().shore);
    EXPECT_EQ(line, GetParam().snapped);
}

INSTANTIATE_TEST_SUITE_P(
    SnapLineToShore, SnapLineToShoreOn,
    testing::Values(
        // A point exactly at the shore level steps once, a tenth of a pixel (1 m), along the
        // normal of a line heading east: north.
        Snap{[](int, int) { return std::uint8_t(8); }, 10.0f, -1, kEastward,
             Points({{1000, 1001}, {1100, 1001}, {1200, 1001}})},
        // A walk that never meets the shore stops after 501 steps: below the level against the
        // normal (south), above it along the normal.
        Snap{[](int, int) { return std::uint8_t(0); }, 10.0f, 0.5f, kEastward,
             Points({{1000, 499}, {1100, 499}, {1200, 499}})},
        Snap{[](int, int) { return std::uint8_t(15); }, 10.0f, 0.5f, kEastward,
             Points({{1000, 1501}, {1100, 1501}, {1200, 1501}})},
        // Water in columns 0..99, dry from column 100 (0.5 at 99.5). Heading south at x = 1000 m
        // (pixel 100, dry): water lies on the right, west. The first sample at pixel 100 reads 0,
        // so the point walks west; after one step the sample at 99.9 - 0.5 reads 0.6 and the walk
        // ends at 99.9 pixels = 999 m. (Sampling the first position half a pixel aside too would
        // read 0.5 and walk east instead.)
        Snap{[](int x, int) { return std::uint8_t(x < 100 ? 15 : 0); }, 10.0f, 0.5f,
             Points({{1000, 2000}, {1000, 1900}, {1000, 1800}}), Points({{999, 2000}, {999, 1900}, {999, 1800}})},
        // Neighbours are read from the unchanged line: on a uniform mask at the shore level every
        // point of a straight line heading north takes one step of 10 m (psize 100) west. Had
        // point 0 already moved when point 1 reads it, point 1's normal would tilt and its z move
        // by half a metre.
        Snap{[](int, int) { return std::uint8_t(8); }, 100.0f, -1,
             Points({{1000, 1000}, {1000, 1100}, {1000, 1200}, {1000, 1300}}),
             Points({{990, 1000}, {990, 1100}, {990, 1200}, {990, 1300}})}));

// Water in the mask rows from 200 down (mask row 0 is the north edge, at z = 2550 m with 10 m
// cells): a line at z = 1000 m (row 155) walks south until the sample half a row below its
// point reaches the shore level half way between rows 199 and 200, at row 199: z = 560 m.
TEST(SnapLineToShore, AMaskVaryingAlongZIsReadNorthToSouth)
{
    CBufferMask mask(256);
    LoadMask(mask, [](int, int z) { return std::uint8_t(z >= 200 ? 15 : 0); });
    Shoreline line = kEastward;
    SnapLineToShore(line, mask, 10.0f, 0.5f);
    for (std::size_t i = 0; i < line.size(); ++i)
    {
        EXPECT_EQ(line[i].x, kEastward[i].x);
        EXPECT_NEAR(line[i].z, 560, 1);
    }
    // From 10 pixels out in the dry beside water in columns 0..99 the points walk onto the shore.
    LoadMask(mask, [](int x, int) { return std::uint8_t(x < 100 ? 15 : 0); });
    line = Points({{1100, 2000}, {1100, 1900}, {1100, 1800}});
    SnapLineToShore(line, mask, 10.0f, 0.5f);
    for (const ShorePoint& point : line)
    {
        EXPECT_NEAR(point.x, 1000, 10);
        EXPECT_EQ(point.z % 100, 0);
    }
}

TEST(SplitLine, CutsAtASegmentLongerThan100OverT)
{
    // T = 2: threshold 50 m, a piece needs more than 10 points.
    Shoreline line;
    for (int i = 0; i < 30; ++i)
        line.push_back({i * 10, 0});
    for (int i = 0; i < 30; ++i)
        line.push_back({350 + i * 10, 0}); // a 60 m jump after point 29
    ShorelineSet pieces;
    ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], Shoreline(line.begin(), line.begin() + 30));
    // The second piece starts after the cut and never takes the line's last point.
    EXPECT_EQ(pieces[1], Shoreline(line.begin() + 30, line.end() - 1));

    // A 50 m segment is not longer than the threshold.
    line[30] = {340, 0};
    pieces.clear();
    ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
    EXPECT_EQ(pieces.size(), 1u);
}

TEST(SplitLine, CutsAtAZeroLengthSegmentAndDropsShortPieces)
{
    Shoreline line;
    for (int i = 0; i < 11; ++i)
        line.push_back({i * 10, 0});
    line.push_back({100, 0}); // point 11 repeats point 10
    for (int i = 11; i < 30; ++i)
        line.push_back({i * 10, 0});
    ShorelineSet pieces;
    ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
    // Cut at point 10 (zero-length segment after it) and at point 11 (zero-length before it):
    // points 0..10 are kept (11 > 10), the lone point 11 is dropped, the rest is one piece.
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], Shoreline(line.begin(), line.begin() + 11));
    EXPECT_EQ(pieces[1], Shoreline(line.begin() + 12, line.end() - 1));

    // A piece of exactly 5 T points is dropped, 5 T + 1 are kept.
    Shoreline ten(line.begin() + 1, line.end());
    pieces.clear();
    ASSERT_TRUE(SplitLine(ten, pieces, 2).ok());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], Shoreline(line.begin() + 12, line.end() - 1));

    // T = 8: 41 points needed; none of these pieces survive.
    pieces.clear();
    ASSERT_TRUE(SplitLine(line, pieces, 8).ok());
    EXPECT_TRUE(pieces.empty());
}

TEST(SplitLine, CutsAtTurnsAbove07Radians)
{
    // Segments of 10 m; at point 15 the direction turns by atan(6/8) = 0.64 or atan(8/6) = 0.93.
    for (const auto& [turn, cuts] : {std::pair{ShorePoint{8, 6}, false}, std::pair{ShorePoint{6, 8}, true}})
    {
        Shoreline line;
        for (int i = 0; i <= 15; ++i)
            line.push_back({i * 10, 0});
        for (int i = 1; i <= 15; ++i)
            line.push_back({150 + i * turn.x, i * turn.z});
        ShorelineSet pieces;
        ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
        EXPECT_EQ(pieces.size(), cuts ? 2u : 1u) << turn.x << "," << turn.z;
    }
}

TEST(SplitLine, ADotProductRoundedBeyondOneHasNoAngle)
{
    // Along (1, 4) the float unit vectors give a dot product of 1.0000001 with themselves and
    // -1.0000001 with their reverse. acos of either is NaN, so even the U-turn does not cut,
    // while the exact U-turn along (1, 0) (dot product -1, angle pi) does.
    Shoreline line;
    for (int i = 0; i <= 15; ++i)
        line.push_back({i, 4 * i});
    for (int i = 14; i >= 0; --i)
        line.push_back({i, 4 * i});
    ShorelineSet pieces;
    ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].size(), line.size() - 1);

    line.clear();
    for (int i = 0; i <= 15; ++i)
        line.push_back({i, 0});
    for (int i = 14; i >= 0; --i)
        line.push_back({i, 0});
    pieces.clear();
    ASSERT_TRUE(SplitLine(line, pieces, 2).ok());
    EXPECT_EQ(pieces.size(), 2u);
}

TEST(SplitLine, RefusesMoreThan32767Pieces)
{
    Shoreline line(12, ShorePoint{0, 0});
    for (int i = 0; i < 12; ++i)
        line[std::size_t(i)] = {i, 0};
    ShorelineSet pieces(32767);
    EXPECT_EQ(SplitLine(line, pieces, 2).code, StatusCode::tooLarge);
    pieces.resize(32766);
    EXPECT_TRUE(SplitLine(line, pieces, 2).ok());
    EXPECT_EQ(pieces.size(), 32767u);
}

TEST(ShoreSampler, EqualsTheMasksInterpolationEverywhere)
{
    std::mt19937 random(5);
    // Blocks of 32 cells: kept without limit, only three kept, none kept (each decoded again).
    for (std::size_t budget : {std::size_t(-1), std::size_t(3 * 32 * 32), std::size_t(0)})
    {
        CBufferMask mask(256);
        const int width = 70 + int(random() % 100);
        const int height = 70 + int(random() % 100);
        LoadRandomMask(mask, random, width, height);
        MaskCells cells(mask, budget);
        ShoreSampler sampler(cells);
        std::uniform_real_distribution<double> across(-3.0, width + 3.0);
        std::uniform_real_distribution<double> down(-3.0, height + 3.0);
        for (int i = 0; i < 8000; ++i)
        {
            double x = across(random);
            double z = down(random);
            if (i % 4 == 1) // on and next to block borders and the last row and column
            {
                x = double(32 * int(random() % 6) - 1) + double(random() % 3) * 0.5;
                z = double(height - 2) + double(random() % 3) * 0.25;
            }
            if (i % 4 == 2) // whole positions, and just below them
                x = std::nextafter(double(int(random() % unsigned(width))), 0.0);
            const float expected = mask.getInterpolated(x, z);
            ASSERT_EQ(sampler.interpolated(x, z), expected) << x << "," << z << " budget " << budget;
        }
    }
}

TEST(SnapLineToShore, MatchesSnappingThroughTheMaskOnRandomLines)
{
    std::mt19937 random(9);
    for (int trial = 0; trial < 8; ++trial)
    {
        CBufferMask fastMask(trial % 2 ? short(1) : short(256));
        CBufferMask referenceMask(256);
        std::mt19937 maskRandom{unsigned(trial)};
        LoadRandomMask(fastMask, maskRandom, 200, 160);
        maskRandom.seed(unsigned(trial));
        LoadRandomMask(referenceMask, maskRandom, 200, 160);
        const float psize = trial % 3 == 0 ? 10.0f : 3.7f;
        const float shore = 0.2f + 0.1f * float(trial % 7);
        Shoreline line;
        for (int j = 0; j < 120; ++j)
            line.push_back({int(random() % unsigned(230 * psize)) - int(15 * psize),
                            int(random() % unsigned(190 * psize)) - int(15 * psize)});
        Shoreline fast = line;
        Shoreline reference = line;
        SnapLineToShore(fast, fastMask, psize, shore);
        SnapLineToShoreReference(reference, referenceMask, psize, shore);
        ASSERT_EQ(fast, reference) << "trial " << trial;
    }
}
