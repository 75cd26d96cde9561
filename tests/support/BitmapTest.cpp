#include "support/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
struct Rgb
{
    std::uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};

void Put16(std::vector<std::uint8_t>& out, std::size_t at, unsigned v)
{
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}

struct BmpSpec
{
    int width = 5;
    int height = 3;
    int bits = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette; // for 1, 4 and 8 bits
};

// Builds a BMP whose image pixel (x, y) (y = 0 top) has the colour `pixel(x, y)`; for paletted
// depths `index(x, y)` chooses the entry instead.
template <typename PixelFn> std::vector<std::uint8_t> MakeBmp(const BmpSpec& layout, PixelFn pixel)
{
    const bool core = layout.headerSize == 12;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t tableBytes = layout.palette.size() * entry;
    const std::size_t rowBytes = std::size_t((layout.width * layout.bits + 31) / 32 * 4);
    const std::size_t offset = 14 + layout.headerSize + tableBytes;
    std::vector<std::uint8_t> out(offset + rowBytes * std::size_t(layout.height), 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(out.size()));
    Put32(out, 10, static_cast<std::uint32_t>(offset));
    Put32(out, 14, layout.headerSize);
    if (core)
    {
        Put16(out, 18, unsigned(layout.width));
        Put16(out, 20, unsigned(layout.height));
        Put16(out, 22, 1);
        Put16(out, 24, unsigned(layout.bits));
    }
    else
    {
        Put32(out, 18, static_cast<std::uint32_t>(layout.width));
        Put32(out, 22, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height));
        Put16(out, 26, 1);
        Put16(out, 28, unsigned(layout.bits));
        Put32(out, 30, layout.compression);
        Put32(out, 46, static_cast<std::uint32_t>(layout.palette.size()));
    }
    for (std::size_t i = 0; i < layout.palette.size(); ++i)
    {
        out[14 + layout.headerSize + i * entry] = layout.palette[i].blue;
        out[14 + layout.headerSize + i * entry + 1] = layout.palette[i].green;
        out[14 + layout.headerSize + i * entry + 2] = layout.palette[i].red;
    }
    for (int y = 0; y < layout.height; ++y)
    {
        const int stored = layout.topDown ? y : layout.height - 1 - y;
        std::uint8_t* row = out.data() + offset + std::size_t(stored) * rowBytes;
        for (int x = 0; x < layout.width; ++x)
            pixel(row, x, y);
    }
    return out;
}

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "bitmap_" + std::to_string(::getpid()) + "_" + name;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
                auto bytes =
                    MakeBmp(layout,
                            [&](std::uint8_t* row, int x, int y)
                            {
                                const unsigned index = IndexOf(x, y, count);
                                if (bits == 8)
                                    row[x] = static_cast<std::uint8_t>(index);
                                else if (bits == 4)
                                    row[x / 2] =
                                        static_cast<std::uint8_t>(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
                                else
                                    row[x / 8] = static_cast<std::uint8_t>(row[x / 8] | (index << (7 - x % 8)));
                            });
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
            auto bytes = MakeBmp(layout,
                                 [&](std::uint8_t* row, int x, int y)
                                 {
                                     const Rgb c = Colour(x, y);
                                     std::uint8_t* p = row + x * (bits / 8);
                                     p[0] = c.blue;
                                     p[1] = c.green;
                                     p[2] = c.red;
                                     if (bits == 32)
                                         p[3] = 0x99; // unused byte, not alpha
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

TEST(LoadBitmap24, ReadsEveryDepthAndOrientation)
{
    for (const Case& c : EveryKind())
    {
        SCOPED_TRACE(c.name);
        const std::string path = TempPath(c.name + ".bmp");
        WriteBytes(path, c.bytes, c.bytes.size());
        BITMAP_ bitmap;
        ASSERT_TRUE(LoadBitmap24(&bitmap, path.c_str()));
        EXPECT_EQ(bitmap.width, c.layout.width);
        EXPECT_EQ(bitmap.height, c.layout.height);
        EXPECT_EQ(bitmap.bytesPerRow, (c.layout.width * 3 + 3) / 4 * 4);
        EXPECT_EQ(bitmap.dataSize, bitmap.bytesPerRow * bitmap.height);
        ASSERT_NE(bitmap.info, nullptr);
        EXPECT_EQ(bitmap.info->header.bitCount, 24);
        for (int y = 0; y < c.layout.height; ++y)
            for (int x = 0; x < c.layout.width; ++x)
                ASSERT_EQ(PixelOf(bitmap, x, y), Expected(c, x, y)) << x << "," << y;
        FreeBitmap(&bitmap);
        EXPECT_EQ(bitmap.data, nullptr);
        EXPECT_EQ(bitmap.info, nullptr);
        std::remove(path.c_str());
    }
}

TEST(LoadBitmap24, EveryTruncatedPrefixIsRefused)
{
    for (const Case& c : EveryKind())
    {
        if (c.layout.bits != 1 && c.layout.bits != 32)
            continue;
        SCOPED_TRACE(c.name);
        const std::string path = TempPath("prefix.bmp");
        for (std::size_t length = 0; length < c.bytes.size(); ++length)
        {
            WriteBytes(path, c.bytes, length);
            BITMAP_ bitmap;
            ASSERT_FALSE(LoadBitmap24(&bitmap, path.c_str())) << length;
            ASSERT_EQ(bitmap.data, nullptr);
        }
        std::remove(path.c_str());
    }
}

TEST(LoadBitmap24, RefusesWhatIsNotAnUncompressedBmp)
{
    const std::string path = TempPath("bad.bmp");
    BITMAP_ bitmap;
    EXPECT_FALSE(LoadBitmap24(&bitmap, TempPath("missing.bmp").c_str()));

    std::vector<std::uint8_t> text(200, 'x');
    WriteBytes(path, text, text.size());
    EXPECT_FALSE(LoadBitmap24(&bitmap, path.c_str()));

    const auto solid = [](std::uint8_t* row, int x, int) { row[x] = 1; };
    BmpSpec rle;
    rle.bits = 8;
    rle.compression = 1;
    rle.palette = Palette(256);
    auto bytes = MakeBmp(rle, solid);
    WriteBytes(path, bytes, bytes.size());
    EXPECT_FALSE(LoadBitmap24(&bitmap, path.c_str()));

    BmpSpec sixteen;
    sixteen.bits = 16;
    bytes = MakeBmp(sixteen, solid);
    WriteBytes(path, bytes, bytes.size());
    EXPECT_FALSE(LoadBitmap24(&bitmap, path.c_str()));

    BmpSpec good;
    bytes = MakeBmp(good, solid);
    for (const auto& [at, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{
             {18, 0},          // width 0
             {22, 0},          // height 0
             {18, 0x7FFFFFFF}, // a width the file cannot hold
             {22, 0x80000000}, // the most negative height
             {14, 64},         // unknown header size
             {10, 0xFFFFFFF0}, // pixels beyond the end
         })
    {
        std::vector<std::uint8_t> broken = bytes;
        Put32(broken, at, value);
        WriteBytes(path, broken, broken.size());
        EXPECT_FALSE(LoadBitmap24(&bitmap, path.c_str())) << "field at " << at;
        EXPECT_EQ(bitmap.data, nullptr);
    }
    // Huge in both directions, but only a header on disk: refused before anything is allocated.
    std::vector<std::uint8_t> huge = bytes;
    Put32(huge, 18, 60000);
    Put32(huge, 22, 60000);
    WriteBytes(path, huge, huge.size());
    EXPECT_FALSE(LoadBitmap24(&bitmap, path.c_str()));
    std::remove(path.c_str());
}

TEST(InitBitmap, RefusesEmptySizesAndOtherDepths)
{
    BITMAP_ none;
    InitBitmap(&none, 0, 3, 8);
    EXPECT_EQ(none.data, nullptr);
    InitBitmap(&none, 3, 3, 16);
    EXPECT_EQ(none.data, nullptr);
}

TEST(SaveBitmap, EightBitFileLayoutAndRoundTrip)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 5, 3, 8);
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x)
            bitmap.data[row * bitmap.bytesPerRow + x] = static_cast<std::uint8_t>(row * 50 + x);
    const std::string path = TempPath("grey.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, path.c_str()));
    const std::vector<std::uint8_t> file = ReadBytes(path);
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
    ASSERT_TRUE(LoadBitmap24(&loaded, path.c_str()));
    // Stored row 0 is the bottom image row.
    EXPECT_EQ(PixelOf(loaded, 4, 2), (Rgb{4, 4, 4}));
    EXPECT_EQ(PixelOf(loaded, 1, 0), (Rgb{101, 101, 101}));
    FreeBitmap(&loaded);
    FreeBitmap(&bitmap);
    std::remove(path.c_str());
}

TEST(SaveBitmap, TwentyFourBitRoundTripIsExact)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 7, 4, 24);
    for (int i = 0; i < bitmap.dataSize; ++i)
        bitmap.data[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const std::string path = TempPath("colour.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, path.c_str()));
    BITMAP_ loaded;
    ASSERT_TRUE(LoadBitmap24(&loaded, path.c_str()));
    ASSERT_EQ(loaded.dataSize, bitmap.dataSize);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(loaded.data + y * loaded.bytesPerRow, bitmap.data + y * bitmap.bytesPerRow, 21), 0) << y;
    FreeBitmap(&loaded);
    FreeBitmap(&bitmap);
    std::remove(path.c_str());
}
