// altimo-cli wtr-encode and wtr-decode: exit codes, messages and files, run as a script would.
#include "support/BitMask.h"
#include "support/Bitmap.h"
#include "tools/Image.h"
#include "support/WtrWriter.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace testcli;

namespace
{
class WtrCommands : public testcli::ScratchFolderTest
{
protected:
    // An 8-bit grey BMP whose greys are all multiples of 17, with an all-zero corner, so that
    // encoding and decoding give back the same picture.
    GreyImage writeMaskPicture(const std::string& name, int width, int height, unsigned seed)
    {
        std::mt19937 random(seed);
        GreyImage image{std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height), width, height};
        BITMAP_ bitmap;
        InitBitmap(&bitmap, width, height, 8);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const bool dry = x < width / 2 && y < height / 2;
                const auto grey = static_cast<std::uint8_t>(dry ? 0 : 17 * (random() % 4 == 0 ? random() % 16 : (x / 9 % 2) * 15));
                image.pixels[static_cast<std::size_t>(y) * width + x] = grey;
                bitmap.data[(height - 1 - y) * bitmap.bytesPerRow + x] = grey;
            }
        EXPECT_TRUE(SaveBitmap(&bitmap, path(name).c_str()));
        FreeBitmap(&bitmap);
        return image;
    }
};
} // namespace

TEST_F(WtrCommands, ImageToMaskToImageIsExact)
{
    const GreyImage picture = writeMaskPicture("in.bmp", 203, 150, 1);
    for (const char* blockSize : {" --block-size 7", " --block-size=64", ""})
    {
        SCOPED_TRACE(blockSize);
        ASSERT_EQ(run("wtr-encode " + path("in.bmp") + " -o " + path("mask.wtr") + blockSize).exitCode, 0);
        ASSERT_EQ(run("wtr-decode " + path("mask.wtr") + " -o " + path("out.bmp")).exitCode, 0);
        GreyImage decoded;
        const Status loaded = LoadGreyImage(path("out.bmp"), decoded);
        ASSERT_TRUE(loaded.ok()) << loaded.message;
        EXPECT_EQ(decoded.width, picture.width);
        EXPECT_EQ(decoded.height, picture.height);
        EXPECT_EQ(decoded.pixels, picture.pixels);
        // The decoded file is an 8-bit BMP.
        const auto bytes = ReadBytes(path("out.bmp"));
        ASSERT_GT(bytes.size(), 30u);
        EXPECT_EQ(bytes[28], 8);
    }
    // The command writes what the writer makes of the cells.
    const auto bytes = ReadBytes(path("mask.wtr"));
    std::vector<std::uint8_t> cells(picture.pixels.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = static_cast<std::uint8_t>(picture.pixels[i] / 17);
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(EncodeWtr(cells.data(), picture.width, picture.height, 256, expected).ok());
    EXPECT_EQ(bytes, expected);
}

TEST_F(WtrCommands, GreysRoundToTheNearestWaterValue)
{
    // Every grey 0..255 in one row of a PNG; cells are (g * 15 + 127) / 255, decoded as cell * 17.
    std::vector<std::uint8_t> greys(256);
    for (int g = 0; g < 256; ++g)
        greys[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(g);
    ASSERT_TRUE(SavePng(path("ramp.png"), greys.data(), 256, 1, 1));
    ASSERT_EQ(run("wtr-encode " + path("ramp.png") + " -o " + path("ramp.wtr") + " --block-size 32").exitCode, 0);
    ASSERT_EQ(run("wtr-decode " + path("ramp.wtr") + " -o " + path("ramp.bmp")).exitCode, 0);
    GreyImage decoded;
    const Status loaded = LoadGreyImage(path("ramp.bmp"), decoded);
    ASSERT_TRUE(loaded.ok()) << loaded.message;
    ASSERT_EQ(decoded.pixels.size(), 256u);
    for (int g = 0; g < 256; ++g)
        EXPECT_EQ(decoded.pixels[static_cast<std::size_t>(g)], (g * 15 + 127) / 255 * 17) << g;
}

namespace
{
// Unreadable and damaged inputs are refused in the robustness tests (BadInput).
const Refusal kRefusals[] = {
    {"BlockSizeZero", "wtr-encode @in.bmp -o @x.wtr --block-size 0", 2, "--block-size"},
    {"BlockSizeAboveTheRange", "wtr-encode @in.bmp -o @x.wtr --block-size=4097", 2, "--block-size"},
    {"BlockSizeNotANumber", "wtr-encode @in.bmp -o @x.wtr --block-size x", 2, "--block-size"},
    // More than 32767 blocks along a side.
    {"PictureTooWideForItsBlocks", "wtr-encode @wide.png -o @x.wtr --block-size 1", 2, "--block-size"},
    {"EncodeWithoutOutput", "wtr-encode @in.bmp", 2, "--output is required"},
    {"DecodeWithoutOutput", "wtr-decode @in.bmp", 2, "--output is required"},
};

using WtrRefusal = testcli::Rows<WtrCommands, Refusal>;
} // namespace

TEST_P(WtrRefusal, NamesTheOptionAndWritesNothing)
{
    writeMaskPicture("in.bmp", 40, 30, 2);
    std::vector<std::uint8_t> wide(33000, 255);
    ASSERT_TRUE(SavePng(path("wide.png"), wide.data(), 33000, 1, 1));
    expectRefused(GetParam());
}

INSTANTIATE_TEST_SUITE_P(WtrCommands, WtrRefusal, testing::ValuesIn(kRefusals), kCaseName);
