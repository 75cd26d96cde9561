#include "tools/Image.h"

#include "support/Bitmap.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testcli;

namespace
{
using GreyImageFiles = ScratchFolderTest;

GreyImage MustLoad(const std::string& path)
{
    GreyImage image;
    EXPECT_EQ(LoadGreyImage(path, image).message, "");
    return image;
}
} // namespace

TEST(Luma, GreyKeepsItsValueAndColoursWeighGreenMost)
{
    for (unsigned g = 0; g < 256; ++g)
        ASSERT_EQ(Luma(g, g, g), g);
    EXPECT_EQ(Luma(255, 0, 0), 76);
    EXPECT_EQ(Luma(0, 255, 0), 150);
    EXPECT_EQ(Luma(0, 0, 255), 29);
}

// A grey BMP read top row first: WtrCommands.ImageToMaskToImageIsExact.
TEST_F(GreyImageFiles, ColourBmpAsLuma)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 2, 1, 24);
    const std::uint8_t bgr[] = {0, 0, 255, 30, 60, 90};
    std::copy(std::begin(bgr), std::end(bgr), bitmap.data);
    ASSERT_TRUE(SaveBitmap(&bitmap, path("colour.bmp").c_str()));
    FreeBitmap(&bitmap);
    EXPECT_EQ(MustLoad(path("colour.bmp")).pixels, (std::vector<std::uint8_t>{Luma(255, 0, 0), Luma(90, 60, 30)}));
}

TEST_F(GreyImageFiles, PngLayouts)
{
    const std::string file = path("layout.png");
    // 8-bit grey, through our own writer.
    const std::vector<std::uint8_t> grey = {0, 7, 8, 15, 127, 128, 254, 255};
    ASSERT_TRUE(SavePng(file, grey.data(), 4, 2, 1));
    EXPECT_EQ(MustLoad(file).pixels, grey);

    const std::vector<std::uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    ASSERT_TRUE(SavePng(file, rgb.data(), 2, 2, 3));
    EXPECT_EQ(MustLoad(file).pixels, (std::vector<std::uint8_t>{76, 150, 29, 9}));

    // 16-bit grey is scaled to 8 bits with rounding: 0x8080 is 128, 0xFFFF is 255.
    ASSERT_TRUE(WriteTestPng(file, 3, 1, 16, PNG_COLOR_TYPE_GRAY, {{0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF}}));
    EXPECT_EQ(MustLoad(file).pixels, (std::vector<std::uint8_t>{0, 128, 255}));

    // Grey with alpha: the alpha is ignored.
    ASSERT_TRUE(WriteTestPng(file, 2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{100, 0, 200, 255}}));
    EXPECT_EQ(MustLoad(file).pixels, (std::vector<std::uint8_t>{100, 200}));

    // 1-bit grey expands to 0 and 255.
    ASSERT_TRUE(WriteTestPng(file, 10, 1, 1, PNG_COLOR_TYPE_GRAY, {{0b10100000, 0b01000000}}));
    EXPECT_EQ(MustLoad(file).pixels, (std::vector<std::uint8_t>{255, 0, 255, 0, 0, 0, 0, 0, 0, 255}));

    // Paletted colour.
    const std::vector<png_color> palette = {{0, 0, 0}, {255, 0, 0}, {10, 20, 30}};
    ASSERT_TRUE(WriteTestPng(file, 3, 1, 8, PNG_COLOR_TYPE_PALETTE, {{2, 1, 0}}, palette));
    EXPECT_EQ(MustLoad(file).pixels, (std::vector<std::uint8_t>{Luma(10, 20, 30), 76, 0}));

    // Interlaced RGBA.
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::uint8_t> expected;
    for (int y = 0; y < 9; ++y)
    {
        rows.emplace_back();
        for (int x = 0; x < 9; ++x)
        {
            const auto v = static_cast<std::uint8_t>(x * 20 + y);
            rows.back().insert(rows.back().end(), {v, v, v, 17});
            expected.push_back(v);
        }
    }
    ASSERT_TRUE(WriteTestPng(file, 9, 9, 8, PNG_COLOR_TYPE_RGBA, rows, {}, true));
    EXPECT_EQ(MustLoad(file).pixels, expected);
}

TEST_F(GreyImageFiles, BadFilesGiveTheReasonAndTheirPath)
{
    GreyImage image;
    const std::string missing = path("missing.png");
    Status loaded;
    EXPECT_EQ((loaded = LoadGreyImage(missing, image)).code, StatusCode::cannotOpen);
    EXPECT_NE(loaded.message.find(missing), std::string::npos);

    const std::string file = path("bad.img");
    WriteText(file, std::string(100, 'x'));
    EXPECT_EQ((loaded = LoadGreyImage(file, image)).code, StatusCode::invalidInput);
    EXPECT_NE(loaded.message.find("not a BMP or PNG"), std::string::npos) << loaded.message;

    // Every truncation of a valid PNG fails cleanly.
    std::vector<std::uint8_t> pixels(64 * 16);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 31);
    ASSERT_TRUE(SavePng(file, pixels.data(), 64, 16, 1));
    const std::vector<std::uint8_t> png = ReadBytes(file);
    for (std::size_t length = 0; length + 12 < png.size(); length += 7)
    {
        WriteBytes(file, png.data(), length);
        ASSERT_FALSE((loaded = LoadGreyImage(file, image)).ok()) << length;
        ASSERT_TRUE(image.pixels.empty());
        ASSERT_NE(loaded.message.find(file), std::string::npos);
    }

    // A header claiming a million by a million pixels in a file of a few bytes.
    ASSERT_TRUE(WriteTestPng(file, 1000000, 1000000, 8, PNG_COLOR_TYPE_GRAY, {}, {}, false, true));
    EXPECT_FALSE(LoadGreyImage(file, image).ok());
    EXPECT_TRUE(image.pixels.empty());

    // A truncated BMP.
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 8, 8, 8);
    ASSERT_TRUE(SaveBitmap(&bitmap, file.c_str()));
    FreeBitmap(&bitmap);
    const std::vector<std::uint8_t> bmp = ReadBytes(file);
    WriteBytes(file, bmp.data(), bmp.size() - 1);
    EXPECT_EQ((loaded = LoadGreyImage(file, image)).code, StatusCode::invalidInput);
    EXPECT_NE(loaded.message.find("truncated"), std::string::npos) << loaded.message;
}

TEST_F(GreyImageFiles, RefusesBadArgumentsAndUnwritablePaths)
{
    const std::uint8_t pixels[12] = {};
    EXPECT_FALSE(SavePng(path("x.png"), pixels, 2, 2, 2));
    EXPECT_FALSE(SavePng(path("x.png"), pixels, 0, 2, 1));
    EXPECT_FALSE(SavePng(path("x.png"), nullptr, 2, 2, 1));
    EXPECT_FALSE(SavePng(path("no/such/folder/x.png"), pixels, 2, 2, 3));
    EXPECT_FALSE(Exists(path("x.png")));
}
