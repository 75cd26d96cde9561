#include "support/BitMask.h"
#include "support/Coder.h"
#include "support/WtrFormat.h"
#include "support/WtrWriter.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using testcli::PutLe;

namespace
{
struct Mask
{
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> cells;
    std::uint8_t at(long x, long z) const { return cells[static_cast<std::size_t>(z * width + x)]; }
};

// Water-like content: a few discs with soft edges over a dry ground, some noise, and whole dry
// areas so that absent blocks occur.
Mask MakeMask(int width, int height, unsigned seed, double noise = 0.02)
{
    std::mt19937 random(seed);
    Mask mask{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 0)};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int disc = 0; disc < 4; ++disc)
    {
        const double cx = unit(random) * width * 0.6;
        const double cz = unit(random) * height * 0.6;
        const double radius = (0.05 + 0.2 * unit(random)) * std::min(width, height);
        for (int z = 0; z < height; ++z)
            for (int x = 0; x < width; ++x)
            {
                const double d = std::hypot(x - cx, z - cz) - radius;
                const int value = d < -3 ? 15 : d > 3 ? 0 : static_cast<int>(7.5 - 2.5 * d);
                auto& cell = mask.cells[static_cast<std::size_t>(z) * width + x];
                cell = static_cast<std::uint8_t>(std::max<int>(cell, value));
            }
    }
    std::uniform_int_distribution<int> value(0, 15);
    for (auto& cell : mask.cells)
        if (unit(random) < noise)
            cell = static_cast<std::uint8_t>(value(random));
    return mask;
}

std::vector<std::uint8_t> Encode(const Mask& mask, int blockSize)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(EncodeWtr(mask.cells.data(), mask.width, mask.height, blockSize, bytes).ok());
    return bytes;
}

// Every block decodes to the mask's cells with 0 beyond the edge, and exactly the all-zero
// blocks are absent.
void ExpectDecodesTo(CBitMask& reader, const Mask& mask)
{
    const long b = reader.m_blockSize;
    ASSERT_EQ(reader.getXRes(), mask.width);
    ASSERT_EQ(reader.getZRes(), mask.height);
    ASSERT_EQ(reader.getXBlocks(), (mask.width + b - 1) / b);
    ASSERT_EQ(reader.getZBlocks(), (mask.height + b - 1) / b);
    for (long bz = 0; bz < reader.getZBlocks(); ++bz)
        for (long bx = 0; bx < reader.getXBlocks(); ++bx)
        {
            bool anyWater = false;
            std::vector<std::uint8_t> expected(static_cast<std::size_t>(b * b), 0);
            for (long r = 0; r < b; ++r)
                for (long c = 0; c < b; ++c)
                {
                    const long x = bx * b + c;
                    const long z = bz * b + r;
                    if (x < mask.width && z < mask.height)
                    {
                        expected[static_cast<std::size_t>(r * b + c)] = mask.at(x, z);
                        anyWater = anyWater || mask.at(x, z) != 0;
                    }
                }
            const unsigned char* cells = reader.decodeBlock(bx, bz);
            if (!anyWater)
            {
                EXPECT_EQ(cells, nullptr) << "block " << bx << "," << bz;
                continue;
            }
            ASSERT_NE(cells, nullptr) << "block " << bx << "," << bz;
            ASSERT_EQ(0, std::memcmp(cells, expected.data(), expected.size())) << "block " << bx << "," << bz;
        }
    EXPECT_EQ(reader.corruptBlocks(), 0);
}

// Records what the base delivers through the hook.
class RecordingMask : public CBitMask
{
public:
    explicit RecordingMask(short cacheBlocks) : CBitMask(cacheBlocks) {}
    void storeBlock(short x, short z, unsigned char* block) override
    {
        stores.push_back({x, z, block[0]});
    }
    void create(short blockSize, short maskSide, short slotsAcross, short slotsDown) override
    {
        CBitMask::create(blockSize, maskSide, slotsAcross, slotsDown);
        ++creates;
        slots = slotsAcross;
        EXPECT_EQ(slotsAcross, slotsDown);
        EXPECT_EQ(maskSide, slotsAcross * blockSize);
    }
    struct Store
    {
        short x, z;
        unsigned char first;
    };
    std::vector<Store> stores;
    int creates = 0;
    short slots = 0;
};

} // namespace

// Block sizes that do and do not divide the mask, then odd shapes and pure noise.
TEST(BitMask, RoundTripsAnyShapeAndBlockSize)
{
    std::vector<std::pair<Mask, int>> cases;
    for (int blockSize : {1, 2, 3, 5, 10, 16, 17, 60, 64, 100, 150, 255, 256})
        cases.emplace_back(MakeMask(300, 170, 7), blockSize);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> side(1, 90);
    for (int i = 0; i < 40; ++i)
        cases.emplace_back(MakeMask(side(random), side(random), static_cast<unsigned>(i), i % 3 == 0 ? 1.0 : 0.05),
                           1 + static_cast<int>(random() % 40));
    for (const auto& [mask, blockSize] : cases)
    {
        SCOPED_TRACE(testing::Message() << mask.width << "x" << mask.height << " B=" << blockSize);
        CBitMask reader(16);
        const auto bytes = Encode(mask, blockSize);
        ASSERT_TRUE(reader.load(bytes.data(), bytes.size()));
        EXPECT_EQ(reader.m_blockSize, blockSize);
        ExpectDecodesTo(reader, mask);
    }
}

TEST(BitMask, AllZeroBlocksAreAbsentAndCostNoBytes)
{
    const Mask mask{512, 512, testcli::MaskCells(512, 512, [](int x, int z) { return x < 256 && z >= 256 ? 15 : 0; })};
    const auto bytes = Encode(mask, 256);
    // Header, five offsets, and one block that is a single run.
    EXPECT_LT(bytes.size(), kWtrHeaderSize + 5 * 8 + 8);
    CBitMask reader(256);
    ASSERT_TRUE(reader.load(bytes.data(), bytes.size()));
    ExpectDecodesTo(reader, mask);
    for (auto [bx, bz] : {std::pair{-1, 0}, {2, 0}, {0, 2}}) // outside the grid
        EXPECT_EQ(reader.decodeBlock(bx, bz), nullptr);
}

TEST(BitMask, LoadsFromAStreamAtItsPosition)
{
    const Mask mask = MakeMask(70, 50, 11);
    const auto bytes = Encode(mask, 32);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs("skip", file);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fseek(file, 4, SEEK_SET);
    CBitMask reader(256);
    EXPECT_TRUE(reader.load(file));
    std::fclose(file);
    ExpectDecodesTo(reader, mask);
    reader.close();
    EXPECT_EQ(reader.getXRes(), 0);
    EXPECT_EQ(reader.decodeBlock(0, 0), nullptr);
}

TEST(BitMask, WriterRefusesBadArguments)
{
    std::vector<std::uint8_t> cells(100, 3);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(EncodeWtr(cells.data(), 10, 10, 0, out).code, StatusCode::invalidSettings);
    EXPECT_EQ(EncodeWtr(cells.data(), 10, 10, kMaxWtrBlockSize + 1, out).code, StatusCode::invalidSettings);
    EXPECT_EQ(EncodeWtr(cells.data(), 0, 10, 4, out).code, StatusCode::invalidSettings);
    std::vector<std::uint8_t> wide(40000, 1);
    EXPECT_EQ(EncodeWtr(wide.data(), 40000, 1, 1, out).code, StatusCode::tooLarge);
    cells[57] = 16;
    EXPECT_EQ(EncodeWtr(cells.data(), 10, 10, 4, out).code, StatusCode::invalidInput);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(WriteWtr("/nonexistent-folder/x.wtr", wide.data(), 100, 100, 16));
}

TEST(BitMask, EveryTruncatedPrefixIsRefused)
{
    const Mask mask = MakeMask(40, 30, 5, 0.2);
    const auto bytes = Encode(mask, 16);
    for (std::size_t length = 0; length < bytes.size(); ++length)
    {
        // A copy of exactly `length` bytes, so that ASan sees any read past it.
        std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        RecordingMask reader(256);
        EXPECT_FALSE(reader.load(prefix.data(), prefix.size())) << length;
        EXPECT_EQ(reader.creates, 0);
        EXPECT_EQ(reader.getXRes(), 0);
        EXPECT_EQ(reader.getXBlocks(), 0);
        EXPECT_EQ(reader.decodeBlock(0, 0), nullptr);
    }
    // One byte too many is refused as well: the table must end exactly at the file's end.
    auto longer = bytes;
    longer.push_back(0);
    CBitMask reader(256);
    EXPECT_FALSE(reader.load(longer.data(), longer.size()));
}

namespace
{
// A field of `bytes` bytes at `at` of a well-formed 40 x 30 mask in blocks of 16, set to `value`.
struct HeaderField
{
    const char* name;
    std::size_t at;
    std::uint64_t value;
    int bytes;
};

const HeaderField kDisagreeing[] = {
    {"Magic", 0, 'X', 1},
    {"Version", 4, 2, 2},
    {"BlockSize0", 6, 0, 2},
    {"BlockSizeTooLarge", 6, 5000, 2},
    {"BlockSizeThatChangesTheGrid", 6, 8, 2},
    {"Width0", 8, 0, 4},
    {"WidthBeyondTheGrid", 8, 49, 4},
    {"HeightBeyondTheGrid", 12, 33, 4},
    {"BlocksAcross", 16, 4, 4},
    {"BlocksDown", 20, 1, 4},
    {"AbsurdWidthWithAMatchingGrid", 8, 100000, 4},
    {"FirstOffset", kWtrHeaderSize, 1, 8},
    {"OffsetPastTheData", kWtrHeaderSize + 8, 1u << 20, 8},
    {"OffsetsDescend", kWtrHeaderSize + 16, 0, 8},
    {"LastOffset", kWtrHeaderSize + 6 * 8, 3, 8},
};

using DisagreeingHeader = testing::TestWithParam<HeaderField>;
} // namespace

TEST_P(DisagreeingHeader, IsRefused)
{
    auto bytes = Encode(MakeMask(40, 30, 5), 16);
    PutLe(bytes, GetParam().at, GetParam().value, GetParam().bytes);
    if (std::string(GetParam().name) == "AbsurdWidthWithAMatchingGrid")
        PutLe(bytes, 16, (100000 + 15) / 16, 4);
    CBitMask reader(256);
    EXPECT_FALSE(reader.load(bytes.data(), bytes.size()));
}

INSTANTIATE_TEST_SUITE_P(BitMask, DisagreeingHeader, testing::ValuesIn(kDisagreeing), testcli::kCaseName);

// The width may shrink within the last block column only when that column's padding is really 0,
// which is checked when the block is decoded.
TEST(BitMask, ANarrowerWidthNeedsZeroPaddingInTheLastBlockColumn)
{
    const Mask full{40, 30, std::vector<std::uint8_t>(40 * 30, 15)};
    auto narrower = Encode(full, 16);
    PutLe(narrower, 8, 33, 4);
    CBitMask reader(256);
    ASSERT_TRUE(reader.load(narrower.data(), narrower.size()));
    EXPECT_NE(reader.decodeBlock(1, 0), nullptr);
    EXPECT_EQ(reader.decodeBlock(2, 0), nullptr);
    EXPECT_EQ(reader.decodeBlock(2, 1), nullptr);
    EXPECT_EQ(reader.corruptBlocks(), 2);
}

// A header of 100000 x 100000 cells: refused unless the whole table is there, and then loaded
// with a bounded cache.
TEST(BitMask, AbsurdSizesNeedTheirWholeTable)
{
    CBitMask reader(256);
    auto bytes = testcli::EmptyWtr(100000, 100000, 16, 1000); // a table of 6250 x 6250 offsets, 1000 present
    EXPECT_FALSE(reader.load(bytes.data(), bytes.size()));
    bytes = testcli::EmptyWtr(100000, 100000, 1, 1000); // more than 32767 blocks along a side
    EXPECT_FALSE(reader.load(bytes.data(), bytes.size()));

    bytes = testcli::EmptyWtr(100000, 100000, 4096); // every block absent
    RecordingMask complete(256);
    ASSERT_TRUE(complete.load(bytes.data(), bytes.size()));
    EXPECT_EQ(complete.getXRes(), 100000);
    EXPECT_EQ(complete.m_maskSide, 4096);
    EXPECT_EQ(complete.decodeBlock(24, 24), nullptr);
}

TEST(BitMask, RunDecoderRejectsMalformedCodes)
{
    std::uint8_t cells[8] = {};
    // Empty code for a non-empty block.
    EXPECT_FALSE(DecodeWtrRuns(nullptr, 0, cells, 8));
    // One run of eight 3s, as the writer codes it.
    const std::uint8_t threes[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    CCoder coder;
    coder.open(nullptr, 0);
    EncodeWtrRuns(coder, threes, 8);
    coder.close();
    const std::vector<std::uint8_t> runCode(coder.data(), coder.data() + coder.size());
    ASSERT_TRUE(DecodeWtrRuns(runCode.data(), runCode.size(), cells, 8));
    EXPECT_EQ(0, std::memcmp(cells, threes, 8));
    // The same run is too long for a smaller block, and an extra byte is left over.
    EXPECT_FALSE(DecodeWtrRuns(runCode.data(), runCode.size(), cells, 7));
    auto padded = runCode;
    padded.push_back(0);
    EXPECT_FALSE(DecodeWtrRuns(padded.data(), padded.size(), cells, 8));
    // The run is too short for a larger block and the code ends.
    EXPECT_FALSE(DecodeWtrRuns(runCode.data(), runCode.size(), cells, 9));
}

TEST(BitMask, UpdateProtocolDecodesEachResidentBlockOnce)
{
    // 5 x 3 blocks of 4 cells, each block's cells equal to 1 + its index, block (2, 1) absent.
    const Mask mask{20, 12, testcli::MaskCells(20, 12, [](int x, int z) {
                        const int index = (z / 4) * 5 + x / 4;
                        return index == 7 ? 0 : 1 + index % 15;
                    })};
    const auto bytes = Encode(mask, 4);
    RecordingMask reader(4); // 2 x 2 slots
    ASSERT_TRUE(reader.load(bytes.data(), bytes.size()));
    EXPECT_EQ(reader.creates, 1);
    ASSERT_EQ(reader.slots, 2);
    EXPECT_EQ(reader.m_maskSide, 8);

    long x = -1;
    long z = -1;
    EXPECT_FALSE(reader.getBlockXY(3, 1, &x, &z)); // not requested yet
    auto request = [&](long bx, long bz) {
        reader.beginUpdate();
        reader.requestUpdate(bx, bz);
        reader.endUpdate();
    };
    request(3, 1);
    ASSERT_EQ(reader.stores.size(), 1u);
    EXPECT_EQ(reader.stores[0].first, 1 + 8);
    ASSERT_TRUE(reader.getBlockXY(3, 1, &x, &z));
    EXPECT_EQ(x, reader.stores[0].x);
    EXPECT_EQ(z, reader.stores[0].z);

    // A 2 x 2 window of blocks stays resident: asking again decodes nothing.
    const std::uint64_t generation = reader.cacheGeneration();
    request(4, 1);
    request(3, 2);
    request(4, 2);
    EXPECT_EQ(reader.stores.size(), 4u);
    for (int again = 0; again < 3; ++again)
    {
        request(3, 1);
        request(4, 2);
    }
    EXPECT_EQ(reader.stores.size(), 4u);
    EXPECT_EQ(reader.cacheGeneration(), generation + 3);

    // Block (1, 1) shares the slot of (3, 1) and evicts it.
    request(1, 1);
    EXPECT_EQ(reader.stores.size(), 5u);
    EXPECT_TRUE(reader.getBlockXY(1, 1, &x, &z));
    EXPECT_FALSE(reader.getBlockXY(3, 1, &x, &z));

    // Absent and out-of-grid blocks are never delivered.
    request(2, 1);
    request(5, 0);
    request(-1, 0);
    EXPECT_EQ(reader.stores.size(), 5u);
    EXPECT_FALSE(reader.getBlockXY(2, 1, &x, &z));
    EXPECT_FALSE(reader.getBlockXY(5, 0, &x, &z));
}

// One file byte for byte, so that a change made to both the writer and the reader shows: a 5 x 3
// mask in blocks of 4, the second block one column wide.
TEST(BitMask, GoldenFileBytes)
{
    const std::uint8_t cells[15] = {1, 2, 0, 0, 0, 15, 15, 15, 0, 0, 0, 0, 7, 0, 3};
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodeWtr(cells, 5, 3, 4, bytes).ok());
    const std::vector<std::uint8_t> golden = {
        'A', 'W', 'T', 'R', 1, 0, 4, 0, 5, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, // header
        0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0,       // block offsets
        112, 161, 206, 149, 14, 129, 184, 249, 160, 188};                              // block codes
    EXPECT_EQ(bytes, golden);
}
