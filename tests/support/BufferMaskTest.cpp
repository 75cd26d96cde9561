#include "support/BufferMask.h"
#include "support/WtrWriter.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace
{
struct Cells
{
    long width = 0;
    long height = 0;
    std::vector<std::uint8_t> values;
    std::uint8_t& at(long x, long z) { return values[static_cast<std::size_t>(z * width + x)]; }
};

void Load(CBufferMask& mask, const Cells& cells, int blockSize)
{
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(
        EncodeWtr(cells.values.data(), static_cast<int>(cells.width), static_cast<int>(cells.height), blockSize, bytes)
            .ok());
    ASSERT_TRUE(mask.load(bytes.data(), bytes.size()));
}

Cells RandomCells(long width, long height, unsigned seed)
{
    std::mt19937 random(seed);
    // Dry and wet stretches with every value in between, and some whole dry blocks.
    return {width, height, testcli::MaskCells(int(width), int(height), [&](int x, int z) {
                return x < width / 3 && z < height / 3 ? 0 : random() % 3 == 0 ? random() % 16 : (x / 7 + z / 5) % 2 * 15;
            })};
}

// The straightforward reading of the definitions, over the whole cell array.
float OracleValue(const Cells& cells, long x, long z)
{
    x = std::clamp(x, 0L, cells.width - 1);
    z = std::clamp(z, 0L, cells.height - 1);
    return static_cast<float>(cells.values[static_cast<std::size_t>(z * cells.width + x)] * double(0.06666667f));
}

float OracleInterpolated(const Cells& cells, double x, double z)
{
    const long ix = static_cast<long>(std::trunc(x));
    const long iz = static_cast<long>(std::trunc(z));
    const long ix1 = static_cast<long>(std::trunc(x + 1.0));
    const long iz1 = static_cast<long>(std::trunc(z + 1.0));
    const float fx = static_cast<float>(x - ix);
    const float fz = static_cast<float>(z - iz);
    const double a = OracleValue(cells, ix, iz);
    const double b = OracleValue(cells, ix1, iz);
    const double c = OracleValue(cells, ix1, iz1);
    const double d = OracleValue(cells, ix, iz1);
    const double left = a + (d - a) * fz;
    const double right = b + (c - b) * fz;
    return static_cast<float>(left + (right - left) * fx);
}

std::uint32_t Bits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
} // namespace

TEST(BufferMask, WaterValuesAreStepsOfTheFloatFifteenth)
{
    Cells cells{4, 1, {15, 0, 7, 8}};
    CBufferMask mask;
    Load(mask, cells, 256);
    EXPECT_EQ(mask.getValue(0, 0), 1.0f);
    EXPECT_EQ(mask.getValue(1, 0), 0.0f);
    EXPECT_NEAR(mask.getValue(2, 0), 0.467f, 0.0005f);
    EXPECT_NEAR(mask.getValue(3, 0), 0.533f, 0.0005f);
    EXPECT_LT(mask.getValue(2, 0), 0.5f);
    EXPECT_GT(mask.getValue(3, 0), 0.5f);
}

TEST(BufferMask, AbsentCorruptAndUnloadedReadZero)
{
    Cells cells{8, 4, std::vector<std::uint8_t>(32, 0)};
    for (long z = 0; z < 4; ++z)
        for (long x = 4; x < 8; ++x)
            cells.at(x, z) = 15;
    CBufferMask unloaded;
    EXPECT_EQ(unloaded.getValue(0, 0), 0.0f);
    EXPECT_EQ(unloaded.getInterpolated(0.5, 0.5), 0.0f);

    CBufferMask mask;
    Load(mask, cells, 4);
    long x = 0;
    long z = 0;
    EXPECT_EQ(mask.getValue(1, 1), 0.0f);
    EXPECT_FALSE(mask.getBlockXY(0, 0, &x, &z));
    EXPECT_EQ(mask.getValue(5, 1), 1.0f);
    // Halfway between the absent block and the full one.
    EXPECT_EQ(mask.getInterpolated(3.5, 1.0), 0.5f);

    // Break the present block's code: it reads as dry.
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodeWtr(cells.values.data(), 8, 4, 4, bytes).ok());
    bytes.back() ^= 0x40;
    CBufferMask broken;
    ASSERT_TRUE(broken.load(bytes.data(), bytes.size()));
    EXPECT_EQ(broken.getValue(5, 1), 0.0f);
    EXPECT_EQ(broken.corruptBlocks(), 1);
    broken.close();
    EXPECT_EQ(broken.getValue(5, 1), 0.0f);
}

TEST(BufferMask, InterpolationHitsPixelsAndHalfways)
{
    Cells cells{2, 2, {0, 15, 15, 0}};
    CBufferMask mask;
    Load(mask, cells, 256);
    EXPECT_EQ(mask.getInterpolated(0.0, 0.0), 0.0f);
    EXPECT_EQ(mask.getInterpolated(1.0, 0.0), 1.0f);
    EXPECT_EQ(mask.getInterpolated(0.0, 1.0), 1.0f);
    EXPECT_EQ(mask.getInterpolated(0.5, 0.0), 0.5f);
    EXPECT_EQ(mask.getInterpolated(0.0, 0.5), 0.5f);
    EXPECT_EQ(mask.getInterpolated(0.5, 0.5), 0.5f);
    EXPECT_EQ(mask.getInterpolated(0.25, 0.0), 0.25f);
    // Between -1 and 0 both neighbours are pixel 0: no blend toward pixel 1.
    EXPECT_EQ(mask.getInterpolated(-0.5, 0.0), 0.0f);
    EXPECT_EQ(mask.getInterpolated(-0.5, 1.0), 1.0f);
    EXPECT_EQ(mask.getInterpolated(0.0, -0.75), 0.0f);
    // From -2 to -1 the fraction is negative and the clamp makes both pixels the border.
    EXPECT_EQ(mask.getInterpolated(-1.5, 0.0), 0.0f);
    // Far outside and not a number: the border, no overflow.
    EXPECT_EQ(mask.getInterpolated(1e300, -1e300), 1.0f);
    EXPECT_EQ(mask.getInterpolated(std::nan(""), 0.0), 0.0f);
    EXPECT_EQ(mask.getValue(std::numeric_limits<long>::min(), 1), 1.0f);
}

TEST(BufferMask, BufferHoldsBlocksWhereGetBlockXYSays)
{
    const Cells cells = RandomCells(100, 70, 3);
    CBufferMask mask(4);
    Load(mask, cells, 16);
    ASSERT_NE(mask.buffer(), nullptr);
    ASSERT_EQ(mask.m_maskSide, 32);
    for (long bz = 2; bz < 5; ++bz)
        for (long bx = 3; bx < 7; ++bx)
        {
            mask.beginUpdate();
            mask.requestUpdate(bx, bz);
            mask.endUpdate();
            long x = 0;
            long z = 0;
            if (!mask.getBlockXY(bx, bz, &x, &z))
                continue;
            const unsigned char* cellsOfBlock = mask.decodeBlock(bx, bz);
            ASSERT_NE(cellsOfBlock, nullptr);
            for (long r = 0; r < 16; ++r)
                ASSERT_EQ(0, std::memcmp(mask.buffer() + (z + r) * mask.m_maskSide + x, cellsOfBlock + r * 16, 16));
        }
}

// The remembered block positions must never outlive an eviction: compare with the oracle on
// random jumps and on walks, with caches from one block to many.
TEST(BufferMask, MatchesTheStraightforwardReadingOnRandomPositions)
{
    const Cells cells = RandomCells(301, 211, 8);
    std::mt19937 random(12);
    std::uniform_real_distribution<double> xs(-30.0, 330.0);
    std::uniform_real_distribution<double> zs(-30.0, 240.0);
    std::uniform_real_distribution<double> stepSize(-3.0, 3.0);
    for (auto [blockSize, cacheBlocks] : {std::pair<int, short>{1, 4}, {7, 1}, {16, 4}, {64, 256}, {256, 256}})
        {
            SCOPED_TRACE(testing::Message() << "B=" << blockSize << " cache=" << cacheBlocks);
            CBufferMask mask(cacheBlocks);
            Load(mask, cells, blockSize);
            for (int i = 0; i < 2000; ++i)
            {
                const long x = static_cast<long>(xs(random));
                const long z = static_cast<long>(zs(random));
                ASSERT_EQ(Bits(mask.getValue(x, z)), Bits(OracleValue(cells, x, z))) << x << "," << z;
            }
            double x = 150.0;
            double z = 100.0;
            for (int i = 0; i < 10000; ++i)
            {
                if (i % 500 == 0)
                {
                    x = xs(random);
                    z = zs(random);
                }
                x += stepSize(random);
                z += stepSize(random);
                ASSERT_EQ(Bits(mask.getInterpolated(x, z)), Bits(OracleInterpolated(cells, x, z))) << x << "," << z;
            }
        }
}

TEST(BufferMask, ReloadingReplacesTheMask)
{
    Cells first{4, 4, std::vector<std::uint8_t>(16, 15)};
    Cells second{600, 600, std::vector<std::uint8_t>(360000, 0)};
    second.at(599, 599) = 8;
    CBufferMask mask;
    Load(mask, first, 4);
    EXPECT_EQ(mask.getValue(3, 3), 1.0f);
    Load(mask, second, 256);
    EXPECT_EQ(mask.getValue(3, 3), 0.0f);
    EXPECT_EQ(mask.getValue(700, 700), OracleValue(second, 599, 599));
    EXPECT_EQ(mask.m_maskSide, 3 * 256);
}
