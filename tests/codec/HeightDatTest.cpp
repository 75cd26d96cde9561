#include "codec/CodecTestSupport.h"
#include "codec/HeightDat.h"

#include <gtest/gtest.h>

#include <bit>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "altimo-heightdat-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return std::uint32_t(bytes.at(at)) | std::uint32_t(bytes.at(at + 1)) << 8 | std::uint32_t(bytes.at(at + 2)) << 16 |
           std::uint32_t(bytes.at(at + 3)) << 24;
}

std::uint16_t U16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

// A terrain-like raster with slopes, flats and a noisy patch.
std::vector<std::uint16_t> MakeRaster(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint16_t> raster(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            std::uint16_t value = static_cast<std::uint16_t>(x * 31 + y * 17 + random() % 40);
            if (x < width / 4)
                value = 1200; // flat: long runs
            else if (y > height - 20)
                value = static_cast<std::uint16_t>(random()); // noise
            raster[std::size_t(y) * std::size_t(width) + std::size_t(x)] = value;
        }
    return raster;
}

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

std::vector<std::uint8_t> WriteToBytes(const TempDir& dir, const std::vector<std::uint16_t>& raster, int width,
                                       int height, float pixelSize, unsigned threads = 0)
{
    const std::string path = dir.file("out.dat");
    EXPECT_TRUE(WriteHeightDat(path, {raster.data(), width, height}, pixelSize, threads));
    return ReadFile(path);
}

} // namespace

TEST(HeightDat, ExtractTilePadsBeyondTheRasterWithZeros)
{
    const int width = 1000, height = 300;
    const std::vector<std::uint16_t> raster = MakeRaster(width, height, 1);
    std::vector<std::uint16_t> tile(4096, 0xFFFF);
    // Last column: 40 real columns (960..999), 24 of 0.
    ExtractTile(15, 2, {raster.data(), width, height}, tile.data());
    for (int row = 0; row < 64; ++row)
        for (int col = 0; col < 64; ++col)
            ASSERT_EQ(tile[std::size_t(row * 64 + col)],
                      col < 40 ? raster[std::size_t(128 + row) * width + std::size_t(960 + col)] : 0)
                << row << "," << col;
    // Last row: 44 real rows (256..299), 20 of 0.
    ExtractTile(3, 4, {raster.data(), width, height}, tile.data());
    for (int row = 0; row < 64; ++row)
        for (int col = 0; col < 64; ++col)
            ASSERT_EQ(tile[std::size_t(row * 64 + col)],
                      row < 44 ? raster[std::size_t(256 + row) * width + std::size_t(192 + col)] : 0)
                << row << "," << col;
}

TEST(HeightDat, LayoutOfA1024By1024Map)
{
    TempDir dir;
    const std::vector<std::uint16_t> raster = MakeRaster(1024, 1024, 2);
    const std::vector<std::uint8_t> bytes = WriteToBytes(dir, raster, 1024, 1024, 37.5f);
    EXPECT_EQ(U32(bytes, 0), 1024u);
    EXPECT_EQ(U32(bytes, 4), 1024u);
    EXPECT_EQ(U32(bytes, 8), 16u);
    EXPECT_EQ(U32(bytes, 12), 16u);
    EXPECT_EQ(U32(bytes, 16), 64u);
    EXPECT_EQ(std::bit_cast<float>(U32(bytes, 20)), 37.5f);
    EXPECT_EQ(U32(bytes, 24), 1048u); // 24-byte header + 1024-byte table
}

TEST(HeightDat, OddSizeGivesPaddedTilesAndTheTokensOfItsCode)
{
    TempDir dir;
    const std::vector<std::uint16_t> raster = MakeRaster(1000, 300, 3);
    const std::vector<std::uint8_t> bytes = WriteToBytes(dir, raster, 1000, 300, 50.0f);
    EXPECT_EQ(U32(bytes, 8), 16u);
    EXPECT_EQ(U32(bytes, 12), 5u);
    std::vector<std::uint16_t> tile(4096);
    for (std::size_t k = 0; k < 80; ++k)
    {
        const std::size_t at = U32(bytes, 24 + 4 * k);
        const std::size_t length = U16(bytes, at);
        CEncoderFELICS<unsigned short, unsigned long> decoder;
        decoder.open(const_cast<std::uint8_t*>(bytes.data() + at + 2), static_cast<long>(length));
        ASSERT_EQ(decoder.decode(tile.data(), 4096), 4096u);
        ASSERT_FALSE(decoder.failed());
        std::vector<std::uint16_t> expected(4096);
        ExtractTile(int(k % 16), int(k / 16), {raster.data(), 1000, 300}, expected.data());
        ASSERT_EQ(tile, expected) << k;
    }
}

TEST(HeightDat, ZeroMapCodesSixteenRunTokensPerTile)
{
    TempDir dir;
    const std::vector<std::uint16_t> raster(256 * 256, 0);
    const std::vector<std::uint8_t> bytes = WriteToBytes(dir, raster, 256, 256, 50.0f);
    for (std::size_t k = 0; k < 16; ++k)
    {
        const std::size_t at = U32(bytes, 24 + 4 * k);
        const ParsedStream s = ParseStream(bytes.data() + at + 2, U16(bytes, at));
        EXPECT_EQ(s.count, 4096u);
        ASSERT_EQ(s.tokens.size(), 16u);
        for (std::size_t i = 0; i < 16; ++i)
            EXPECT_EQ(s.tokens[i], (Token{0, 0, 1, i < 15 ? 255u : 239u}));
    }
}

TEST(HeightDat, NoiseTileIsStoredWhole)
{
    TempDir dir;
    std::mt19937 random(9);
    std::vector<std::uint16_t> raster(256 * 256);
    for (std::size_t i = 0; i < raster.size(); ++i)
        raster[i] = (i % 256) < 64 && i < 256 * 64 ? static_cast<std::uint16_t>((i + 1) % 2 * 32768) // worst case
                                                    : static_cast<std::uint16_t>(random());
    const std::vector<std::uint8_t> bytes = WriteToBytes(dir, raster, 256, 256, 50.0f);
    const std::size_t first = U32(bytes, 24);
    EXPECT_EQ(U16(bytes, first), 14851u); // 32768, 0, 32768, ...: the count and 4096 tokens of 29 bits
    EXPECT_GT(U16(bytes, U32(bytes, 28)), 8192u);
    EXPECT_EQ(bytes, SequentialDat(raster, 256, 256, 50.0f));
}

TEST(HeightDat, ParallelWriterMatchesTheSequentialPass)
{
    TempDir dir;
    // 1000 x 1100: 16 x 18 = 288 tiles, more than two steps of the parallel writer.
    for (auto [width, height] : {std::pair{1000, 1100}, std::pair{257, 64}, std::pair{64, 65}})
    {
        const std::vector<std::uint16_t> raster = MakeRaster(width, height, unsigned(width));
        const std::vector<std::uint8_t> expected = SequentialDat(raster, width, height, 12.25f);
        for (unsigned threads : {1u, 2u, 3u, 8u, 0u})
            EXPECT_EQ(WriteToBytes(dir, raster, width, height, 12.25f, threads), expected)
                << width << "x" << height << " threads " << threads;
    }
}
