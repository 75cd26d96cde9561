#include "tools/Image.h"

#include "support/Bitmap.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <png.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "image_" + std::to_string(::getpid()) + "_" + name;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::size_t count)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(count));
}

// Writes a PNG of any layout with libpng directly; `rows` holds the packed rows. With
// headerOnly, the file ends after the header chunk.
bool WritePng(const std::string& path, int width, int height, int depth, int colorType,
              const std::vector<std::vector<std::uint8_t>>& rows, const std::vector<png_color>& palette = {},
              bool interlaced = false, bool headerOnly = false)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_write_info(png, info);
    if (!headerOnly)
    {
        std::vector<png_bytep> pointers;
        for (const auto& row : rows)
            pointers.push_back(const_cast<png_bytep>(row.data()));
        png_write_image(png, pointers.data());
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

GreyImage MustLoad(const std::string& path)
{
    GreyImage image;
    std::string error;
    EXPECT_TRUE(LoadGreyImage(path, image, error)) << error;
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

TEST(LoadGreyImage, EightBitBmpTopRowFirst)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 3, 2, 8);
    // Stored row 0 is the bottom image row.
    const std::uint8_t bottom[] = {10, 11, 12};
    const std::uint8_t top[] = {200, 201, 202};
    std::copy(std::begin(bottom), std::end(bottom), bitmap.data);
    std::copy(std::begin(top), std::end(top), bitmap.data + bitmap.bytesPerRow);
    const std::string path = TempPath("grey.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, path.c_str()));
    FreeBitmap(&bitmap);
    const GreyImage image = MustLoad(path);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint8_t>{200, 201, 202, 10, 11, 12}));
    std::remove(path.c_str());
}

TEST(LoadGreyImage, ColourBmpGivesLuma)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 2, 1, 24);
    const std::uint8_t bgr[] = {0, 0, 255, 30, 60, 90};
    std::copy(std::begin(bgr), std::end(bgr), bitmap.data);
    const std::string path = TempPath("colour.bmp");
    ASSERT_TRUE(SaveBitmap(&bitmap, path.c_str()));
    FreeBitmap(&bitmap);
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{Luma(255, 0, 0), Luma(90, 60, 30)}));
    std::remove(path.c_str());
}

TEST(LoadGreyImage, PngLayouts)
{
    const std::string path = TempPath("layout.png");
    // 8-bit grey, through our own writer.
    const std::vector<std::uint8_t> grey = {0, 7, 8, 15, 127, 128, 254, 255};
    ASSERT_TRUE(SavePng(path, grey.data(), 4, 2, 1));
    EXPECT_EQ(MustLoad(path).pixels, grey);

    const std::vector<std::uint8_t> rgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    ASSERT_TRUE(SavePng(path, rgb.data(), 2, 2, 3));
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{76, 150, 29, 9}));

    // 16-bit grey is scaled to 8 bits with rounding: 0x8080 is 128, 0xFFFF is 255.
    ASSERT_TRUE(WritePng(path, 3, 1, 16, PNG_COLOR_TYPE_GRAY, {{0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF}}));
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{0, 128, 255}));

    // Grey with alpha: the alpha is ignored.
    ASSERT_TRUE(WritePng(path, 2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {{100, 0, 200, 255}}));
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{100, 200}));

    // 1-bit grey expands to 0 and 255.
    ASSERT_TRUE(WritePng(path, 10, 1, 1, PNG_COLOR_TYPE_GRAY, {{0b10100000, 0b01000000}}));
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{255, 0, 255, 0, 0, 0, 0, 0, 0, 255}));

    // Paletted colour.
    const std::vector<png_color> palette = {{0, 0, 0}, {255, 0, 0}, {10, 20, 30}};
    ASSERT_TRUE(WritePng(path, 3, 1, 8, PNG_COLOR_TYPE_PALETTE, {{2, 1, 0}}, palette));
    EXPECT_EQ(MustLoad(path).pixels, (std::vector<std::uint8_t>{Luma(10, 20, 30), 76, 0}));

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
    ASSERT_TRUE(WritePng(path, 9, 9, 8, PNG_COLOR_TYPE_RGBA, rows, {}, true));
    EXPECT_EQ(MustLoad(path).pixels, expected);
    std::remove(path.c_str());
}

TEST(LoadGreyImage, BadFilesGiveTheReasonAndTheirPath)
{
    GreyImage image;
    std::string error;
    const std::string missing = TempPath("missing.png");
    EXPECT_FALSE(LoadGreyImage(missing, image, error));
    EXPECT_NE(error.find(missing), std::string::npos);

    const std::string path = TempPath("bad.img");
    WriteBytes(path, std::vector<std::uint8_t>(100, 'x'), 100);
    EXPECT_FALSE(LoadGreyImage(path, image, error));
    EXPECT_NE(error.find("not a BMP or PNG"), std::string::npos) << error;

    // Every truncation of a valid PNG fails cleanly.
    std::vector<std::uint8_t> pixels(64 * 16);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 31);
    ASSERT_TRUE(SavePng(path, pixels.data(), 64, 16, 1));
    const std::vector<std::uint8_t> png = ReadBytes(path);
    for (std::size_t length = 0; length + 12 < png.size(); length += 7)
    {
        WriteBytes(path, png, length);
        ASSERT_FALSE(LoadGreyImage(path, image, error)) << length;
        ASSERT_TRUE(image.pixels.empty());
        ASSERT_NE(error.find(path), std::string::npos);
    }

    // A header claiming a million by a million pixels in a file of a few bytes.
    ASSERT_TRUE(WritePng(path, 1000000, 1000000, 8, PNG_COLOR_TYPE_GRAY, {}, {}, false, true));
    EXPECT_FALSE(LoadGreyImage(path, image, error));
    EXPECT_TRUE(image.pixels.empty());

    // A truncated BMP.
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 8, 8, 8);
    ASSERT_TRUE(SaveBitmap(&bitmap, path.c_str()));
    FreeBitmap(&bitmap);
    const std::vector<std::uint8_t> bmp = ReadBytes(path);
    WriteBytes(path, bmp, bmp.size() - 1);
    EXPECT_FALSE(LoadGreyImage(path, image, error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    std::remove(path.c_str());
}

TEST(SavePng, RefusesBadArgumentsAndUnwritablePaths)
{
    const std::uint8_t pixels[12] = {};
    EXPECT_FALSE(SavePng(TempPath("x.png"), pixels, 2, 2, 2));
    EXPECT_FALSE(SavePng(TempPath("x.png"), pixels, 0, 2, 1));
    EXPECT_FALSE(SavePng(TempPath("x.png"), nullptr, 2, 2, 1));
    EXPECT_FALSE(SavePng(TempPath("no/such/folder/x.png"), pixels, 2, 2, 3));
    EXPECT_NE(::access(TempPath("x.png").c_str(), F_OK), 0);
}
