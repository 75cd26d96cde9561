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

using OddSize = testcli::Rows<DATElevationDBTest, std::pair<int, int>>;

TEST_P(OddSize, RoundTripsThroughTheReader)
{
    const auto [width, height] = GetParam();
    const std::vector<std::uint16_t> raster = Raster(width, height, unsigned(width * height));
    WriteDat("map.dat", raster, width, height);
    CDATElevationDB db(false);
    ASSERT_TRUE(db.init(path("map.dat").c_str()));
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

INSTANTIATE_TEST_SUITE_P(DATElevationDBTest, OddSize,
                         testing::Values(std::pair{1, 1}, std::pair{64, 65}, std::pair{65, 64}, std::pair{257, 300},
                                         std::pair{130, 7}),
                         [](const auto& row) {
                             return std::to_string(row.param.first) + "x" + std::to_string(row.param.second);
                         });

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

namespace
{
using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kFirstRecord = 24 + 6 * 4; // of a map of 3 x 2 tiles

// A map of 3 x 2 tiles damaged in one way: each is rejected.
struct Damage
{
    const char* name;
    void (*apply)(Bytes& bytes);
};

const Damage kDamages[] = {
    {"ZeroWidth", [](Bytes& b) { PutLe(b, 0, 0, 4); }},
    {"NegativeHeight", [](Bytes& b) { PutLe(b, 4, 0xFFFFFFFFu, 4); }},
    {"AbsurdWidthWithAMatchingTileCount",
     [](Bytes& b) {
         PutLe(b, 0, 0x7FFFFFFFu, 4);
         PutLe(b, 8, 0x02000000u, 4); // ceil(0x7FFFFFFF / 64)
     }},
    {"TilesAcrossDisagree", [](Bytes& b) { PutLe(b, 8, 4, 4); }},
    {"TilesDownDisagree", [](Bytes& b) { PutLe(b, 12, 1, 4); }},
    {"TileSide32", [](Bytes& b) { PutLe(b, 16, 32, 4); }},
    {"OffsetPastTheEnd", [](Bytes& b) { PutLe(b, 24, b.size(), 4); }},
    {"OffsetIntoTheHeader", [](Bytes& b) { PutLe(b, 28, 10, 4); }},
    {"OffsetIntoTheTable", [](Bytes& b) { PutLe(b, 32, kFirstRecord - 2, 4); }},
    {"OffsetWhoseRecordRunsPastTheEnd", [](Bytes& b) { PutLe(b, 44, b.size() - 3, 4); }},
    {"LengthPastTheEnd", [](Bytes& b) { PutLe(b, GetLe(b, 24 + 5 * 4, 4), 0xFFFF, 2); }},
    // The first record's count, 0000000 1000000100000 (4096), made 0000000 1000000100001 (4097).
    {"CountIsNot4096",
     [](Bytes& b) {
         ASSERT_EQ(b[kFirstRecord + 2], 0x01);
         ASSERT_EQ(b[kFirstRecord + 3], 0x02);
         ASSERT_EQ(b[kFirstRecord + 4] & 0xF0, 0x00);
         b[kFirstRecord + 4] |= 0x10;
     }},
};

using DamagedDat = testcli::Rows<DATElevationDBTest, Damage>;
} // namespace

TEST_P(DamagedDat, IsRejected)
{
    Bytes bytes = WriteDat("map.dat", Raster(130, 70, 3), 130, 70);
    ASSERT_TRUE(InitFromBytes(bytes));
    GetParam().apply(bytes);
    EXPECT_FALSE(InitFromBytes(bytes));
}

INSTANTIATE_TEST_SUITE_P(DATElevationDBTest, DamagedDat, testing::ValuesIn(kDamages), testcli::kCaseName);
