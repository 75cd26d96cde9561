#include "demo/DemoInputs.h"
#include "demo/DemoTerrain.h"

#include "support/Bitmap.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace
{
using DemoLever = testcli::ScratchFolderTest;

const DemoTerrain& SmallTerrain()
{
    static const DemoTerrain terrain = SynthesizeDemoTerrain(513, 1, 2);
    return terrain;
}

// The mask value of one cell exactly as documented, for comparison with the row builder's
// shortcuts.
std::uint8_t ReferenceCell(const DemoTerrain& terrain, int scale, int column, int row)
{
    const int size = terrain.size;
    const int side = DemoWaterMaskSide(size, scale);
    const float inverse = 1.0f / float(scale);
    const int top = size - 1 - side / scale;
    const float y = std::clamp(float(top) + (float(row) + 0.5f) * inverse - 0.5f, 0.0f, float(size - 1));
    const float x = std::clamp((float(column) + 0.5f) * inverse - 0.5f, 0.0f, float(size - 1));
    const int x0 = std::min(static_cast<int>(x), size - 2);
    const int y0 = std::min(static_cast<int>(y), size - 2);
    const float fx = x - float(x0);
    const float fy = y - float(y0);
    const auto h = [&](int dx, int dy)
    { return float(terrain.heights[std::size_t(y0 + dy) * std::size_t(size) + std::size_t(x0 + dx)]); };
    const float left = h(0, 0) + (h(0, 1) - h(0, 0)) * fy;
    const float right = h(1, 0) + (h(1, 1) - h(1, 0)) * fy;
    const float across = right - left;
    const float ground = left + across * fx;
    const float along = (h(0, 1) - h(0, 0)) + ((h(1, 1) - h(1, 0)) - (h(0, 1) - h(0, 0))) * fx;
    const float fall = std::sqrt(across * across + along * along) * inverse;
    // The surface as DemoWaterSurface finds it, with the mask's own row for the river.
    float surface = terrain.seaLevel;
    const int riverRow = std::clamp(static_cast<int>(y + 0.5f), 0, size - 1);
    if (terrain.riverLevel[std::size_t(riverRow)] > surface &&
        std::fabs(x - terrain.riverX[std::size_t(riverRow)]) < terrain.riverHalfWidth * 1.5f)
        surface = terrain.riverLevel[std::size_t(riverRow)];
    for (const DemoLake& lake : terrain.lakes)
        if (float(lake.level) > surface && std::fabs(y - lake.y) < 2.7f * lake.radius &&
            LakeDistance(lake, x, y) < 2.0f)
            surface = lake.level;
    const float value = 7.5f + 15.0f * (surface - ground) / std::max(fall, kDemoShoreSoftness);
    return static_cast<std::uint8_t>(std::clamp(value, 0.0f, 15.0f) + 0.5f);
}
} // namespace

TEST(DemoTerrain, SameHeightsOnAnyNumberOfThreads)
{
    const DemoTerrain one = SynthesizeDemoTerrain(513, 1, 1);
    EXPECT_EQ(one.heights, SmallTerrain().heights);
    EXPECT_NE(SynthesizeDemoTerrain(513, 2, 2).heights, one.heights);
}

TEST(DemoTerrain, HasSeaLandRiverAndLakes)
{
    const DemoTerrain& terrain = SmallTerrain();
    ASSERT_EQ(terrain.heights.size(), 513u * 513u);
    EXPECT_FLOAT_EQ(terrain.pixelSize, 100.0f); // 51.2 km across 512 steps
    EXPECT_EQ(terrain.seaLevel, kDemoSeaLevelSetting * 257);
    const auto sea = std::count_if(terrain.heights.begin(), terrain.heights.end(),
                                   [&](std::uint16_t h) { return h < terrain.seaLevel; });
    EXPECT_GT(sea, long(terrain.heights.size()) / 10);
    EXPECT_LT(sea, long(terrain.heights.size()) * 6 / 10);
    const auto [low, high] = std::minmax_element(terrain.heights.begin(), terrain.heights.end());
    EXPECT_GT(*high, 50000);
    EXPECT_LT(*low, terrain.seaLevel - 3000);
    EXPECT_FALSE(terrain.lakes.empty());
    // The river runs downhill: its level never rises on the way south.
    float previous = 65535.0f;
    int rows = 0;
    for (float level : terrain.riverLevel)
        if (level > 0.0f)
        {
            EXPECT_LE(level, previous);
            previous = level;
            ++rows;
        }
    EXPECT_GT(rows, 100);
}

TEST(DemoInputs, WaterMaskFollowsTheTerrain)
{
    const DemoTerrain& terrain = SmallTerrain();
    for (int scale : {1, 3})
    {
        SCOPED_TRACE(scale);
        const int side = DemoWaterMaskSide(terrain.size, scale);
        EXPECT_EQ(side, 512 * scale);
        const LargeBuffer<std::uint8_t> cells = BuildDemoWaterMask(terrain, scale, 2);
        ASSERT_EQ(cells.size(), std::size_t(side) * std::size_t(side));
        long mismatches = 0;
        long water = 0;
        long soft = 0;
        for (int row = 0; row < side; row += 5)
            for (int column = 0; column < side; ++column)
            {
                const std::uint8_t cell = cells.data()[std::size_t(row) * std::size_t(side) + std::size_t(column)];
                mismatches += cell != ReferenceCell(terrain, scale, column, row);
                water += cell > 7;
                soft += cell > 0 && cell < 15;
            }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(water, 0);
        EXPECT_GT(soft, 0);
        EXPECT_LT(soft, water / 10); // edges are about one cell wide
    }
    // The default size's mask fits the map at the desktop's scale in blocks that scale divides.
    EXPECT_EQ(DemoWaterScale(1025), 5);
    EXPECT_EQ(DemoWaterMaskSide(1025, 5), 1024 * 5);
    EXPECT_EQ(DemoWaterBlock(1025) % 5, 0);
    EXPECT_EQ(DemoWaterMaskSide(1025, 5) % DemoWaterBlock(1025), 0);
    EXPECT_EQ(DemoWaterScale(1029), 4);
    EXPECT_EQ(DemoWaterScale(4097), 4);
    EXPECT_EQ(DemoWaterScale(4098), 2);
    EXPECT_EQ(DemoWaterScale(8193), 2);
}

TEST_F(DemoLever, RunwayLeverPaintsTheTargetOnDryLand)
{
    const DemoTerrain& terrain = SmallTerrain();
    const DemoRunway runway = FindDemoRunway(terrain);
    ASSERT_GT(runway.length, 0);
    EXPECT_EQ(runway.length, 25); // 2.5 km at 100 m
    EXPECT_EQ(runway.width, 3);
    EXPECT_EQ(runway.target % 256, 0);
    for (int y = runway.y; y < runway.y + runway.width; ++y)
        for (int x = runway.x; x < runway.x + runway.length; ++x)
            ASSERT_GT(terrain.heights[std::size_t(y) * 513 + std::size_t(x)], terrain.seaLevel);

    const std::string file = path("lever.bmp");
    ASSERT_TRUE(WriteDemoLever(file, terrain, runway));
    BITMAP_ lever;
    ASSERT_TRUE(LoadBitmap24(&lever, file.c_str()));
    ASSERT_EQ(lever.width, 513);
    ASSERT_EQ(lever.height, 513);
    long painted = 0;
    for (int y = 0; y < 513; ++y)
        for (int x = 0; x < 513; ++x)
        {
            const std::uint8_t* p =
                lever.data + std::size_t(512 - y) * std::size_t(lever.bytesPerRow) + 3 * std::size_t(x);
            const bool inside =
                x >= runway.x && x < runway.x + runway.length && y >= runway.y && y < runway.y + runway.width;
            ASSERT_EQ(p[2], inside ? runway.target / 256 : 0) << x << "," << y;
            painted += inside;
        }
    EXPECT_EQ(painted, 75);
    FreeBitmap(&lever);
}
