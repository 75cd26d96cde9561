#include "heightproc/Water.h"
#include "tests/oracles/WaterReference.h"
#include "HeightprocTestSupport.h"
#include "support/BitMask.h"
#include "support/WtrWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace testing_support;

namespace
{

struct Mask
{
    int width;
    int height;
    std::vector<std::uint8_t> cells;

    Mask(int w, int h) : width(w), height(h), cells(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0) {}
    std::uint8_t& at(int x, int z) { return cells[static_cast<std::size_t>(z) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

std::string WriteMask(const Mask& mask, int blockSize, const std::string& name)
{
    const std::string path = (FreshDir("water_" + name) / "mask.wtr").string();
    EXPECT_TRUE(WriteWtr(path, mask.cells.data(), mask.width, mask.height, blockSize));
    return path;
}

// Mask cells of blobs with values 0..15, so both sides of the water threshold 7 / 8 occur.
Mask RandomMask(int width, int height, std::mt19937& rng)
{
    Mask mask(width, height);
    const Raster blobs = RandomWater(width, height, rng, 1, 15, 6, 40);
    for (std::size_t i = 0; i < mask.cells.size(); ++i)
        mask.cells[i] = static_cast<std::uint8_t>(blobs.samples[i]);
    return mask;
}

ProcessSettings WaterSettings(int width, int height, int scale, long seaLevel)
{
    ProcessSettings settings;
    settings.rawWidth = width;
    settings.rawHeight = height;
    settings.resolutionScale = scale;
    settings.seaLevel = seaLevel;
    return settings;
}

} // namespace

TEST(Water, DrawWaterBlockMatchesTheReference)
{
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> cell(0, 15);
    const int blockSizes[] = {1, 4, 16, 37, 64};
    for (const int blockSize : blockSizes)
    {
        std::vector<std::uint8_t> cells(static_cast<std::size_t>(blockSize * blockSize));
        for (std::uint8_t& c : cells)
            c = static_cast<std::uint8_t>(cell(rng));
        for (int scale = 1; scale <= 7; ++scale)
        {
            const Raster height = RandomRaster(50, 40, rng, 0, 3000);
            const int seaHeight = scale % 3 == 0 ? -257 : 257 * (scale - 1);
            for (const auto& at : {std::pair{0, 0}, {-1, 3}, {3, -1}, {10, 7}, {49 - blockSize / scale, 5},
                                   {48 - blockSize / scale, 39 - blockSize / scale - 1}})
            {
                SCOPED_TRACE(::testing::Message() << "B " << blockSize << " scale " << scale << " at " << at.first
                                                  << "," << at.second);
                Raster fast(50, 40);
                Raster slow(50, 40);
                DrawWaterBlock(height.constView(), fast.view(), at.first, at.second, cells.data(), blockSize, scale,
                               seaHeight);
                reference::DrawWaterBlock(height.constView(), slow.view(), at.first, at.second, cells.data(),
                                          blockSize, scale, seaHeight);
                ASSERT_EQ(fast.samples, slow.samples);
            }
        }
    }
}

TEST(Water, BlocksOfA1025MapCoverAllButTheLastRowAndColumn)
{
    // 16 x 16 blocks of 256 cells at scale 4: every sample receives a 4 x 4 square of cells. Only
    // the bottom-right cell of a square is wet, and only for samples with (x + 2 y) % 5 == 0, so a
    // square shifted by one cell, or the axes swapped, would show.
    Mask cells(4096, 4096);
    for (int z = 3; z < 4096; z += 4)
        for (int x = 3; x < 4096; x += 4)
            if ((x / 4 + 2 * (z / 4)) % 5 == 0)
                cells.at(x, z) = 15;
    const std::string path = WriteMask(cells, 256, "placement");

    for (const int size : {1025, 1024})
    {
        SCOPED_TRACE(size);
        CBitMask mask(256);
        ASSERT_TRUE(mask.load(path));
        const Raster height(size, size, 500);
        Raster water(size, size);
        PlaceWaterBlocks(mask, height.constView(), water.view(), 4, -257);
        // 1025 rows: z0 = 0, blocks at 0, 64, .. 960. 1024 rows: z0 = -1, the first block row is
        // left out and the others start one row higher; the last block column (960 + 64 >= 1024)
        // is left out.
        const int z0 = size == 1025 ? 0 : -1;
        const int firstRow = size == 1025 ? 0 : 63;
        const int endRow = size == 1025 ? 1024 : 1023;
        const int endColumn = size == 1025 ? 1024 : 960;
        int mismatches = 0;
        for (int y = 0; y < size; ++y)
        {
            for (int x = 0; x < size; ++x)
            {
                const bool drawn = y >= firstRow && y < endRow && x < endColumn;
                const bool wet = drawn && (x + 2 * (y - z0)) % 5 == 0;
                mismatches += water.at(x, y) != (wet ? 500 : 0) ? 1 : 0;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(Water, SeaOffGivesNoWaterAfterOneSweepAndSea255WaterEverywhere)
{
    std::mt19937 rng(31);
    const Raster height = RandomRaster(40, 30, rng, 0, 40000);
    const std::string dryPath = WriteMask(Mask(120, 90), 16, "sea_dry");
    RecordingMessages messages;

    Raster ground = height;
    RecordingProgress progress;
    progress.setPos(100);
    progress.positions.clear();
    const WaterResult result = ProcessWater(WaterSettings(40, 30, 3, -1), dryPath, ground.view(), false, progress, messages);
    EXPECT_EQ(result.water, WaterRaster(1200, 0));
    EXPECT_EQ(ground.samples, height.samples);
    EXPECT_EQ(progress.positions, std::vector<int>{100});
    // Sea 255: every sample is at or below 65535.
    EXPECT_EQ(ProcessWater(WaterSettings(40, 30, 3, 255), dryPath, ground.view(), false, progress, messages).water,
              WaterRaster(1200, 65535));
    EXPECT_TRUE(messages.messages.empty());
}

// Sea level 0 is the sea height 0: ground of height 0 under mask water is dry after the sea
// fill, which runs after the mask blocks and overwrites them, and takes its value from the fill
// (run the other way round it would keep the mask's 1).
TEST(Water, AtSeaLevelZeroGroundOfHeightZeroUnderMaskWaterIsFilledFromItsNeighbours)
{
    Mask wet(19, 19); // one block over every sample but the last row and column
    std::fill(wet.cells.begin(), wet.cells.end(), 15);
    Raster height(20, 20, 500);
    Raster expected(20, 20);
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 19; ++x)
        {
            expected.at(x, y) = 500;
            if (x >= 8 && x < 11 && y >= 8 && y < 11)
                height.at(x, y) = 0;
        }
    NullProgress progress;
    RecordingMessages messages;
    const WaterResult result =
        ProcessWater(WaterSettings(20, 20, 1, 0), WriteMask(wet, 19, "sea_zero"), height.view(), false, progress, messages);
    EXPECT_TRUE(std::ranges::equal(result.water, expected.samples));
}

TEST(Water, ProcessWaterMatchesTheReference)
{
    std::mt19937 rng(2024);
    // Sea off, a sea level, sea 0 (ground of height 0 is sea) and 255 (every sample is sea).
    const int scales[] = {1, 3, 5, 2};
    const long seaLevels[] = {-1, 40, 0, 255};
    for (int i = 0; i < 4; ++i)
    {
        const int scale = scales[i];
        SCOPED_TRACE(::testing::Message() << "scale " << scale << " sea " << seaLevels[i]);
        const Mask cells = RandomMask(69 * scale, 52 * scale, rng);
        const std::string path = WriteMask(cells, 8 + 8 * i, "compare");
        Raster fast = RandomRaster(70, 53, rng, 0, 30000);
        Raster slow = fast;
        ProcessSettings settings = WaterSettings(70, 53, scale, seaLevels[i]);
        settings.bank = 3 + i;
        settings.hillSize = 5 + 4 * i;
        RecordingProgress fastProgress;
        RecordingProgress slowProgress;
        fastProgress.setPos(100);
        slowProgress.setPos(100);
        RecordingMessages messages;
        const WaterResult fastResult = ProcessWater(settings, path, fast.view(), true, fastProgress, messages);
        const WaterResult slowResult = reference::ProcessWater(settings, path, slow.view(), true, slowProgress, messages);
        EXPECT_EQ(fastResult.water, slowResult.water);
        EXPECT_EQ(fast.samples, slow.samples);
        EXPECT_EQ(fastProgress.positions.back(), slowProgress.positions.back());
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_NE(std::count(fastResult.water.begin(), fastResult.water.end(), 0), 70 * 53);
    }
}

TEST(Water, MissingOrInvalidMaskIsReportedAndGivesNoWater)
{
    const std::filesystem::path dir = FreshDir("water_bad");
    std::ofstream(dir / "invalid.wtr") << "AWTR but nothing that follows makes sense";
    std::mt19937 rng(4);
    const Raster height = RandomRaster(20, 20, rng);
    const std::pair<std::string, std::string> cases[] = {
        {(dir / "missing.wtr").string(), "Can not open WTR file"},
        {(dir / "invalid.wtr").string(), "Invalid WTR file"},
    };
    for (const auto& [path, caption] : cases)
    {
        Raster ground = height;
        NullProgress progress;
        RecordingMessages messages;
        const WaterResult result = ProcessWater(WaterSettings(20, 20, 5, 10), path, ground.view(), true, progress, messages);
        EXPECT_TRUE(result.water.empty());
        EXPECT_FALSE(result.failure.empty());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, path);
        EXPECT_EQ(messages.messages[0].caption, caption);
        EXPECT_EQ(ground.samples, height.samples);
    }
}
