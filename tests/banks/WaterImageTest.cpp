#include "banks/WaterImage.h"
#include "support/BitMask.h"
#include "support/WtrWriter.h"
#include "tests/oracles/ShoreReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace
{
std::vector<std::uint8_t> RandomCells(std::mt19937& random, int count)
{
    std::vector<std::uint8_t> cells(static_cast<std::size_t>(count));
    for (auto& cell : cells)
        cell = static_cast<std::uint8_t>(random() % 16);
    return cells;
}
} // namespace

TEST(DrawMaskBlock, KeepsTheLowEightBitsOfTheValueTimes33)
{
    // Scale 1: cell (c, r) lands on image pixel (x + c, y + r), image rows counted from the top.
    const std::uint8_t block[9] = {15, 8, 11, 7, 4, 3, 0, 1, 2};
    WaterImage image(5, 5);
    DrawMaskBlock(image.view(), 1, 2, block, 3, 1);
    const int expected[9] = {239, 8, 107, 231, 132, 99, 0, 33, 66};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(image.atTop(1 + c, 2 + r), expected[r * 3 + c]) << c << "," << r;
    // Rows are stored bottom-up: the top image row is the last memory row.
    EXPECT_EQ(image.view().at(1, 5 - 1 - 2), 239);
    EXPECT_EQ(image.atTop(0, 0), 0);
}

TEST(DrawMaskBlock, DownScaledTheLastCellOnAPixelWins)
{
    // Scale 2: cells (2i .. 2i + 1, 2j .. 2j + 1) share a pixel; the one with the highest row,
    // then column, is the last written.
    const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0};
    WaterImage image(4, 4);
    DrawMaskBlock(image.view(), 0, 0, block, 4, 2);
    EXPECT_EQ(image.atTop(0, 0), 6 * 33);
    EXPECT_EQ(image.atTop(1, 0), (8 * 33) % 256);
    EXPECT_EQ(image.atTop(0, 1), (14 * 33) % 256);
    EXPECT_EQ(image.atTop(1, 1), 0);
    EXPECT_EQ(image.atTop(2, 0), 0);
}

TEST(DrawMaskBlock, MatchesTheCellByCellDrawingOnRandomBlocks)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 400; ++trial)
    {
        const int blockSize = 1 + int(random() % 40);
        const int scale = 1 + int(random() % 9);
        const int width = 1 + int(random() % 30);
        const int height = 1 + int(random() % 30);
        const int x = int(random() % 34) - 2;
        const int y = int(random() % 34) - 2;
        const std::vector<std::uint8_t> block = RandomCells(random, blockSize * blockSize);
        WaterImage fast(width, height);
        WaterImage reference(width, height);
        for (std::size_t i = 0; i < fast.bits.size(); ++i)
            fast.bits[i] = reference.bits[i] = static_cast<std::uint8_t>(random());
        DrawMaskBlock(fast.view(), x, y, block.data(), blockSize, scale);
        DrawMaskBlockReference(reference.view(), x, y, block.data(), blockSize, scale);
        ASSERT_EQ(fast.bits, reference.bits) << "trial " << trial << " block " << blockSize << " scale " << scale;
    }
}

TEST(FilterNarrowWater, RemovesABandNarrowerThanTheRadius)
{
    // A band of full water 3 pixels wide in a 31 x 31 image; with R = 3 the 7 x 7 window holds
    // at most 21 water pixels: average 239 * 21 / 49 = 102, below 128.
    WaterImage source(31, 31);
    for (int m = 0; m < 31; ++m)
        for (int c = 14; c < 17; ++c)
            source.view().at(c, m) = 239;
    WaterImage filtered(31, 31);
    FilterNarrowWater(source.constView(), filtered.view(), 3);
    EXPECT_EQ(filtered.view().at(15, 15), 239 >> 2);
    EXPECT_EQ(filtered.view().at(14, 15), 239 >> 2);
    EXPECT_EQ(filtered.view().at(15, 2), 0); // within R of the border
    // With R = 1 the 3 x 3 window at the band's centre is all water.
    FilterNarrowWater(source.constView(), filtered.view(), 1);
    EXPECT_EQ(filtered.view().at(15, 15), 128);
    EXPECT_EQ(filtered.view().at(14, 15), 128); // 6 of 9 water: 159
}

TEST(FilterNarrowWater, MatchesTheFullWindowSumOnRandomImages)
{
    std::mt19937 random(11);
    for (int trial = 0; trial < 120; ++trial)
    {
        const int width = 1 + int(random() % 40);
        const int height = 1 + int(random() % 40);
        const int R = int(random() % 12);
        WaterImage source(width, height);
        const int density = int(random() % 100);
        for (int m = 0; m < height; ++m)
            for (int c = 0; c < width; ++c)
                source.view().at(c, m) = int(random() % 100) < density ? static_cast<std::uint8_t>(random() % 16 * 33)
                                                                       : static_cast<std::uint8_t>(random() % 128);
        WaterImage fast(width, height);
        WaterImage reference(width, height);
        FilterNarrowWater(source.constView(), fast.view(), R); // in bands of a few rows
        FilterNarrowWaterReference(source.constView(), reference.view(), R);
        ASSERT_EQ(fast.bits, reference.bits) << "trial " << trial << " R " << R;
    }
}

TEST(DrawWaterImage, MatchesTheBlocksDrawnCellByCell)
{
    std::mt19937 random(3);
    for (int trial = 0; trial < 36; ++trial)
    {
        // Sizes that leave a partial block row above the top and a partial column at the right,
        // absent blocks, and scales where the blocks do and do not fall on whole pixels.
        const int blockSize = trial % 2 ? 16 : 20;
        const int scale = 1 + trial % 3;
        const int width = 40 + int(random() % 90);
        const int height = 40 + int(random() % 90);
        std::vector<std::uint8_t> cells = RandomCells(random, width * height);
        for (int z = 0; z < height; ++z)
            for (int x = 0; x < width; ++x)
                if ((x / blockSize + 2 * (z / blockSize)) % 5 == 0)
                    cells[std::size_t(z * width + x)] = 0;
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(EncodeWtr(cells.data(), width, height, blockSize, bytes).ok());
        CBitMask mask(256);
        ASSERT_TRUE(mask.load(bytes.data(), bytes.size()));

        WaterImage reference(width / scale, height / scale);
        const float step = float(blockSize) / float(scale);
        float y = float(double(reference.height) - double(mask.getZBlocks()) * double(step));
        for (long zb = 0; zb < mask.getZBlocks(); ++zb, y += step)
        {
            float x = 0.0f;
            for (long xb = 0; xb < mask.getXBlocks(); ++xb, x += step)
                if (const unsigned char* block = mask.decodeBlock(xb, zb))
                    DrawMaskBlockReference(reference.view(), int(x), int(y), block, blockSize, scale);
        }
        const WaterImage fast = DrawWaterImage(mask, scale);
        ASSERT_EQ(fast.width, reference.width);
        for (int m = 0; m < fast.height; ++m) // the padding is no pixel
            for (int c = 0; c < fast.width; ++c)
                ASSERT_EQ(fast.view().at(c, m), reference.view().at(c, m))
                    << "trial " << trial << " scale " << scale << " at " << c << "," << m;
        EXPECT_EQ(mask.corruptBlocks(), 0);
    }
    // A damaged block is found whichever way the image is drawn.
    for (int scale : {1, 2})
    {
        std::mt19937 noise(1);
        const std::vector<std::uint8_t> cells = RandomCells(noise, 64 * 64);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(EncodeWtr(cells.data(), 64, 64, 32, bytes).ok());
        std::fill(bytes.end() - 4, bytes.end(), 0xFF); // in the last block's code
        CBitMask mask(256);
        ASSERT_TRUE(mask.load(bytes.data(), bytes.size()));
        DrawWaterImage(mask, scale);
        EXPECT_EQ(mask.corruptBlocks(), 1) << "scale " << scale;
    }
}
