#include "support/Bitmap.h"
#include "tests/common/CliRunner.h"
#include "tests/common/TestBmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace testcli;

namespace
{
using testbmp::MakeBmp;
using testbmp::Rgb;
using BmpSpec = testbmp::Layout;
using BitmapFiles = ScratchFolderTest;

Rgb PixelOf(const BITMAP_& bitmap, int x, int y)
{
    const std::uint8_t* p =
        bitmap.data + std::size_t(bitmap.height - 1 - y) * std::size_t(bitmap.bytesPerRow) + 3 * std::size_t(x);
    return {p[2], p[1], p[0]};
}

Rgb Colour(int x, int y)
{
    return {static_cast<std::uint8_t>(40 * x + 1), static_cast<std::uint8_t>(70 * y + 2),
            static_cast<std::uint8_t>(x * y + 3)};
}

std::vector<Rgb> Palette(std::size_t count)
{
    std::vector<Rgb> palette;
    for (std::size_t i = 0; i < count; ++i)
        palette.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i * 3 + 1)});
    return palette;
}

unsigned IndexOf(int x, int y, unsigned count)
{
    return unsigned(x * 3 + y * 5) % count;
}

// A file of every supported kind with its expected pixels.
struct Case
{
    std::string name;
    BmpSpec layout;
    std::vector<std::uint8_t> bytes;
};

std::vector<Case> EveryKind()
{
    std::vector<Case> cases;
    for (int bits : {1, 4, 8})
        for (bool topDown : {false, true})
            for (std::uint32_t headerSize : {40u, 124u, 12u})
            {
                if (headerSize == 12 && topDown)
                    continue;
                BmpSpec layout;
                layout.width = 13;
                layout.bits = bits;
                layout.topDown = topDown;
                layout.headerSize = headerSize;
                layout.palette = Palette(std::size_t(1) << bits);
                const unsigned count = 1u << bits;
                const auto bytes = MakeBmp(layout, [&](int x, int y) { return IndexOf(x, y, count); });
                cases.push_back(
                    {std::to_string(bits) + "bit_h" + std::to_string(headerSize) + (topDown ? "_topdown" : ""), layout,
                     bytes});
            }
    for (int bits : {24, 32})
        for (bool topDown : {false, true})
        {
            BmpSpec layout;
            layout.bits = bits;
            layout.topDown = topDown;
            const auto bytes = MakeBmp(layout, [&](int x, int y) {
                const Rgb c = Colour(x, y);
                return 0x99000000u | unsigned(c.red) << 16 | unsigned(c.green) << 8 | c.blue; // 0x99: unused, not alpha
            });
            cases.push_back({std::to_string(bits) + "bit" + (topDown ? "_topdown" : ""), layout, bytes});
        }
    return cases;
}

Rgb Expected(const Case& c, int x, int y)
{
    if (c.layout.bits <= 8)
        return c.layout.palette[IndexOf(x, y, 1u << c.layout.bits)];
    return Colour(x, y);
}
} // namespace

using BitmapKind = testcli::Rows<ScratchFolderTest, Case>;

TEST_P(BitmapKind, LoadsEveryPixelAndRefusesEveryTruncatedPrefix)
{
    const Case& c = GetParam();
    const std::string bmpPath = path(c.name + ".bmp");
    WriteBytes(bmpPath, c.bytes);
    BITMAP_ bitmap;
    ASSERT_TRUE(LoadBitmap24(&bitmap, bmpPath.c_str()));
    EXPECT_EQ(bitmap.width, c.layout.width);
    EXPECT_EQ(bitmap.height, c.layout.height);
    ASSERT_NE(bitmap.info, nullptr);
    EXPECT_EQ(bitmap.info->header.bitCount, 24);
    for (int y = 0; y < c.layout.height; ++y)
        for (int x = 0; x < c.layout.width; ++x)
            ASSERT_EQ(PixelOf(bitmap, x, y), Expected(c, x, y)) << x << "," << y;
    FreeBitmap(&bitmap);
    EXPECT_EQ(bitmap.data, nullptr);
    EXPECT_EQ(bitmap.info, nullptr);

    if (c.layout.bits != 1 && c.layout.bits != 32)
        return; // every prefix of the paletted kinds takes seconds
    for (std::size_t length = 0; length < c.bytes.size(); ++length)
    {
        WriteBytes(bmpPath, c.bytes.data(), length);
        ASSERT_FALSE(LoadBitmap24(&bitmap, bmpPath.c_str())) << length;
        ASSERT_EQ(bitmap.data, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(BitmapFiles, BitmapKind, testing::ValuesIn(EveryKind()), kCaseName);

namespace
{
std::vector<std::uint8_t> WithField(std::size_t at, std::uint32_t value)
{
    std::vector<std::uint8_t> bytes = MakeBmp(BmpSpec{}, [](int, int) { return 1u; });
    PutLe(bytes, at, value, 4);
    return bytes;
}

// A file that is not an uncompressed BMP of a usable size (none when `bytes` is empty).
struct NotABmp
{
    const char* name;
    std::vector<std::uint8_t> bytes;
};

const NotABmp kNotBmps[] = {
    {"Missing", {}}, // no file at all
    {"Text", std::vector<std::uint8_t>(200, 'x')},
    {"RunLengthCoded", MakeBmp({.bits = 8, .compression = 1, .palette = Palette(256)}, [](int, int) { return 1u; })},
    {"SixteenBit", MakeBmp({.bits = 16, .palette = {}}, [](int, int) { return 1u; })},
    {"Width0", WithField(18, 0)},
    {"Height0", WithField(22, 0)},
    {"AWidthTheFileCannotHold", WithField(18, 0x7FFFFFFF)},
    {"TheMostNegativeHeight", WithField(22, 0x80000000)},
    {"UnknownHeaderSize", WithField(14, 64)},
    {"PixelsBeyondTheEnd", WithField(10, 0xFFFFFFF0)},
    // Huge in both directions, but only a header on disk: refused before anything is allocated.
    {"HugeInBothDirections", [] {
         std::vector<std::uint8_t> bytes = WithField(18, 60000);
         PutLe(bytes, 22, 60000, 4);
         return bytes;
     }()},
};

using NotABmpFile = testcli::Rows<ScratchFolderTest, NotABmp>;
} // namespace

TEST_P(NotABmpFile, IsRefused)
{
    if (!GetParam().bytes.empty())
        WriteBytes(path("bad.bmp"), GetParam().bytes);
    BITMAP_ bitmap;
    EXPECT_FALSE(LoadBitmap24(&bitmap, path("bad.bmp").c_str()));
    EXPECT_EQ(bitmap.data, nullptr);
}

INSTANTIATE_TEST_SUITE_P(BitmapFiles, NotABmpFile, testing::ValuesIn(kNotBmps), kCaseName);

TEST_F(BitmapFiles, SaveEightBitFileLayoutAndRoundTrip)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 5, 3, 8);
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x)
            bitmap.data[row * bitmap.bytesPerRow + x] = static_cast<std::uint8_t>(row * 50 + x);
    const std::string bmpPath = path("grey.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, bmpPath.c_str()));
    const std::vector<std::uint8_t> file = ReadBytes(bmpPath);
    ASSERT_EQ(file.size(), 14u + 40u + 1024u + 24u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[2] | file[3] << 8, int(file.size()));
    EXPECT_EQ(file[10] | file[11] << 8, 1078);
    EXPECT_EQ(file[14], 40);
    EXPECT_EQ(file[18], 5);
    EXPECT_EQ(file[22], 3); // positive height: bottom-up
    EXPECT_EQ(file[28], 8);
    EXPECT_EQ(file[30], 0); // uncompressed
    EXPECT_EQ(file[54 + 4 * 200], 200);
    EXPECT_EQ(std::memcmp(file.data() + 1078, bitmap.data, 24), 0);

    BITMAP_ loaded;
    ASSERT_TRUE(LoadBitmap24(&loaded, bmpPath.c_str()));
    // Stored row 0 is the bottom image row.
    EXPECT_EQ(PixelOf(loaded, 4, 2), (Rgb{4, 4, 4}));
    EXPECT_EQ(PixelOf(loaded, 1, 0), (Rgb{101, 101, 101}));
    FreeBitmap(&loaded);
    FreeBitmap(&bitmap);
}

TEST_F(BitmapFiles, SaveTwentyFourBitRoundTripIsExact)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 7, 4, 24);
    for (int i = 0; i < bitmap.dataSize; ++i)
        bitmap.data[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const std::string bmpPath = path("colour.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, bmpPath.c_str()));
    BITMAP_ loaded;
    ASSERT_TRUE(LoadBitmap24(&loaded, bmpPath.c_str()));
    ASSERT_EQ(loaded.dataSize, bitmap.dataSize);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(loaded.data + y * loaded.bytesPerRow, bitmap.data + y * bitmap.bytesPerRow, 21), 0) << y;
    FreeBitmap(&loaded);
    FreeBitmap(&bitmap);
}
