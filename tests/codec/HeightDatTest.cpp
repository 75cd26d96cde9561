#include "codec/CodecTestSupport.h"
#include "codec/HeightDat.h"

#include "tests/common/CliRunner.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>

using testcli::GetLe;

namespace
{

// The writer as a single forward pass: header, placeholder table, each record as soon as its
// tile is coded, then the table patched after one seek back.
std::vector<std::uint8_t> SequentialDat(const std::vector<std::uint16_t>& raster, int width, int height, float pixelSize)
{
    const int across = width / 64 + (width % 64 != 0);
    const int down = height / 64 + (height % 64 != 0);
    std::vector<std::uint8_t> out;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    for (std::uint32_t v : {std::uint32_t(width), std::uint32_t(height), std::uint32_t(across), std::uint32_t(down),
                            64u, std::bit_cast<std::uint32_t>(pixelSize)})
        put32(v);
    const std::size_t tablePos = out.size();
    out.resize(out.size() + 4 * std::size_t(across) * std::size_t(down), 0xCC);
    std::vector<std::uint32_t> table;
    std::vector<std::uint16_t> tile(4096);
    for (int ty = 0; ty < down; ++ty)
        for (int tx = 0; tx < across; ++tx)
        {
            table.push_back(static_cast<std::uint32_t>(out.size()));
            std::fill(tile.begin(), tile.end(), 0);
            for (int y = 64 * ty; y < 64 * (ty + 1) && y < height; ++y)
                for (int x = 64 * tx; x < 64 * (tx + 1) && x < width; ++x)
                    tile[std::size_t((y - 64 * ty) * 64 + (x - 64 * tx))] =
                        raster[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            const std::vector<std::uint8_t> code = ReferenceEncode(tile);
            out.push_back(static_cast<std::uint8_t>(code.size()));
            out.push_back(static_cast<std::uint8_t>(code.size() >> 8));
            out.insert(out.end(), code.begin(), code.end());
        }
    for (std::size_t k = 0; k < table.size(); ++k)
        for (int i = 0; i < 4; ++i)
            out[tablePos + 4 * k + std::size_t(i)] = static_cast<std::uint8_t>(table[k] >> (8 * i));
    return out;
}

class HeightDat : public testcli::ScratchFolderTest
{
protected:
    std::vector<std::uint8_t> written(const std::vector<std::uint16_t>& raster, int width, int height, float pixelSize,
                                      unsigned threads = 0)
    {
        EXPECT_TRUE(WriteHeightDat(path("out.dat"), {raster.data(), width, height}, pixelSize, threads));
        return testcli::ReadBytes(path("out.dat"));
    }
};

} // namespace

TEST_F(HeightDat, NoiseTileIsStoredWhole)
{
    std::mt19937 random(9);
    std::vector<std::uint16_t> raster(256 * 256);
    for (std::size_t i = 0; i < raster.size(); ++i)
        raster[i] = (i % 256) < 64 && i < 256 * 64 ? static_cast<std::uint16_t>((i + 1) % 2 * 32768) // worst case
                                                    : static_cast<std::uint16_t>(random());
    const std::vector<std::uint8_t> bytes = written(raster, 256, 256, 50.0f);
    const std::size_t first = GetLe(bytes, 24, 4);
    EXPECT_EQ(GetLe(bytes, first, 2), 14851u); // 32768, 0, 32768, ...: the count and 4096 tokens of 29 bits
    EXPECT_EQ(bytes, SequentialDat(raster, 256, 256, 50.0f));
}

TEST_F(HeightDat, ParallelWriterMatchesTheSequentialPass)
{
    // 1000 x 1100: 16 x 18 = 288 tiles, more than two steps of the parallel writer; padded tiles
    // on the right and at the bottom, and sides that are whole tiles.
    for (auto [width, height] : {std::pair{1000, 1100}, std::pair{257, 64}, std::pair{64, 65}, std::pair{1024, 128}})
    {
        const std::vector<std::uint16_t> raster = testcli::TestHeights(width, height, unsigned(width));
        const std::vector<std::uint8_t> expected = SequentialDat(raster, width, height, 12.25f);
        for (unsigned threads : {1u, 2u, 3u, 8u, 0u})
            EXPECT_EQ(written(raster, width, height, 12.25f, threads), expected)
                << width << "x" << height << " threads " << threads;
    }
}
