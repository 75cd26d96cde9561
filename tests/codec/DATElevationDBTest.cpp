#include "codec/HeightDat.h"
#include "codec/DATElevationDB.h"

#include <gtest/gtest.h>

#include "tests/common/CliRunner.h"
#include "tests/common/TestFiles.h"

#include <random>
#include <string>

using testcli::GetLe;
using testcli::PutLe;

namespace
{

class DATElevationDBTest : public testcli::ScratchFolderTest
{
protected:
    static std::vector<std::uint16_t> Raster(int width, int height, unsigned seed)
    {
        std::mt19937 random(seed);
        std::vector<std::uint16_t> raster(std::size_t(width) * std::size_t(height));
        for (std::size_t i = 0; i < raster.size(); ++i)
            raster[i] = static_cast<std::uint16_t>(i % 7 == 0 ? random() : i * 3);
        return raster;
    }

    std::vector<std::uint8_t> WriteDat(const std::string& name, const std::vector<std::uint16_t>& raster, int width,
                                       int height)
    {
        EXPECT_TRUE(WriteHeightDat(path(name), {raster.data(), width, height}, 25.0f));
        return testcli::ReadBytes(path(name));
    }

    static bool InitFromBytes(const std::vector<std::uint8_t>& bytes)
    {
        CDATElevationDB db(false);
        const bool ok = db.initFromBytes(bytes.data(), bytes.size());
        if (ok) // whatever was accepted must be readable everywhere without trouble
            for (long y = -1; y <= db.getHeight(); y += 7)
                for (long x = -1; x <= db.getWidth(); x += 5)
                    (void)db.getSample(x, y);
        return ok;
    }
};

} // namespace

TEST_F(DATElevationDBTest, OddSizesRoundTripThroughTheReader)
{
    for (auto [width, height] : {std::pair{1, 1}, std::pair{64, 65}, std::pair{65, 64}, std::pair{257, 300},
                                 std::pair{130, 7}})
    {
        const std::vector<std::uint16_t> raster = Raster(width, height, unsigned(width * height));
        WriteDat("map.dat", raster, width, height);
        CDATElevationDB db(false);
        ASSERT_TRUE(db.init(path("map.dat").c_str())) << width << "x" << height;
        EXPECT_EQ(db.getWidth(), width);
        EXPECT_EQ(db.getHeight(), height);
        EXPECT_EQ(db.getPixelSize(), 25.0f);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const std::uint16_t expected = raster[std::size_t(y) * std::size_t(width) + std::size_t(x)];
                ASSERT_EQ(db.getSample(x, y), expected) << x << "," << y;
                ASSERT_EQ(db.getElevation(x, y), static_cast<float>(double(expected) / 65535.0));
            }
        std::vector<std::uint16_t> all;
        ASSERT_TRUE(db.readAll(all));
        EXPECT_EQ(all, raster);

        std::vector<std::uint16_t> loaded;
        CDATElevationDB second(false);
        ASSERT_TRUE(second.load(path("map.dat").c_str(), [&](long w, long h) {
            loaded.resize(std::size_t(w) * std::size_t(h));
            return loaded.data();
        }));
        EXPECT_EQ(loaded, raster);
    }
}

TEST_F(DATElevationDBTest, BandsArriveTopToBottomAndCanStopTheLoad)
{
    const int width = 130, height = 200; // bands of 64, 64, 64 and 8 rows
    const std::vector<std::uint16_t> raster = Raster(width, height, 6);
    std::vector<std::uint8_t> bytes = WriteDat("map.dat", raster, width, height);
    std::vector<std::uint16_t> joined;
    std::vector<long> firstRows;
    CDATElevationDB db(false);
    ASSERT_TRUE(db.loadInBands(path("map.dat").c_str(), [&](long first, long rows, long w, const std::uint16_t* s) {
        EXPECT_EQ(w, width);
        EXPECT_EQ(first, long(joined.size()) / width);
        firstRows.push_back(first);
        joined.insert(joined.end(), s, s + rows * w);
        return true;
    }));
    EXPECT_EQ(firstRows, (std::vector<long>{0, 64, 128, 192}));
    EXPECT_EQ(joined, raster);
    EXPECT_EQ(db.getSample(129, 199), raster.back());

    int calls = 0;
    EXPECT_FALSE(db.loadInBands(path("map.dat").c_str(), [&](long, long, long, const std::uint16_t*) {
        return ++calls < 2;
    }));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(db.getWidth(), 0);

    // A corrupt tile in the last tile row: the earlier bands may have gone out, the load fails.
    const std::uint32_t lastTile = GetLe(bytes, 24 + 4 * 11, 4);
    bytes[lastTile] = 3; // length 3: far too short for 4096 samples
    bytes[lastTile + 1] = 0;
    testcli::WriteBytes(path("bad.dat"), bytes);
    EXPECT_FALSE(db.loadInBands(path("bad.dat").c_str(), [](long, long, long, const std::uint16_t*) { return true; }));
}

// Positions beyond the map take the nearest edge sample: the cliff reference reads the map
// through this reader, one sample beyond every edge, and must equal the fast mask
// (CliffExport.HeightFileToGreyBitmapInBands).
TEST_F(DATElevationDBTest, RowAndColumnWalksDecodeEachTileOnce)
{
    const int width = 300, height = 200; // 5 x 4 tiles
    WriteDat("map.dat", Raster(width, height, 2), width, height);
    for (const bool byRows : {true, false})
    {
        CDATElevationDB db(false);
        ASSERT_TRUE(db.init(path("map.dat").c_str()));
        for (int i = 0; i < width * height; ++i)
            (void)(byRows ? db.getSample(i % width, i / width) : db.getSample(i / height, i % height));
        EXPECT_EQ(db.tilesDecoded(), 20u) << byRows;
    }
}

TEST_F(DATElevationDBTest, EveryTruncationIsRejected)
{
    std::vector<std::uint16_t> raster(70 * 66);
    for (std::size_t i = 0; i < raster.size(); ++i)
        raster[i] = static_cast<std::uint16_t>(i / 70 * 2); // smooth: 4 small tiles
    const std::vector<std::uint8_t> bytes = WriteDat("map.dat", raster, 70, 66);
    ASSERT_TRUE(InitFromBytes(bytes));
    ASSERT_LT(bytes.size(), 1000u) << "keep the test quick";
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        ASSERT_FALSE(InitFromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + long(cut)))) << cut;
}

TEST_F(DATElevationDBTest, BadHeadersAndOffsetsAreRejected)
{
    const std::vector<std::uint8_t> good = WriteDat("map.dat", Raster(130, 70, 3), 130, 70); // 3 x 2 tiles
    ASSERT_TRUE(InitFromBytes(good));
    const std::size_t fileSize = good.size();
    const std::uint32_t firstRecord = 24 + 6 * 4;
    struct Case
    {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"zero width", 0, 0},
        {"negative height", 4, 0xFFFFFFFFu},
        {"absurd width with matching tile count", 0, 0x7FFFFFFFu},
        {"tiles across disagree", 8, 4},
        {"tiles down disagree", 12, 1},
        {"tile side 32", 16, 32},
        {"offset past the end", 24, std::uint32_t(fileSize)},
        {"offset into the header", 28, 10},
        {"offset into the table", 32, firstRecord - 2},
        {"offset whose record runs past the end", 44, std::uint32_t(fileSize - 3)},
    };
    for (const Case& c : cases)
    {
        std::vector<std::uint8_t> bytes = good;
        PutLe(bytes, c.at, c.value, 4);
        if (c.at == 0 && c.value == 0x7FFFFFFFu)
            PutLe(bytes, 8, 0x02000000u, 4); // ceil(0x7FFFFFFF / 64)
        EXPECT_FALSE(InitFromBytes(bytes)) << c.what;
    }

    // A length field that reaches past the file.
    std::vector<std::uint8_t> bytes = good;
    const std::uint32_t last = GetLe(bytes, 24 + 5 * 4, 4);
    bytes[last] = 0xFF;
    bytes[last + 1] = 0xFF;
    EXPECT_FALSE(InitFromBytes(bytes)) << "length past the end";

    // The first record's count, 0000000 1000000100000 (4096), made 0000000 1000000100001 (4097).
    bytes = good;
    ASSERT_EQ(bytes[firstRecord + 2], 0x01);
    ASSERT_EQ(bytes[firstRecord + 3], 0x02);
    ASSERT_EQ(bytes[firstRecord + 4] & 0xF0, 0x00);
    bytes[firstRecord + 4] |= 0x10;
    EXPECT_FALSE(InitFromBytes(bytes)) << "count is not 4096";
}

