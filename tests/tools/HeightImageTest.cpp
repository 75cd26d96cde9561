// Height images: the PNG writer's files read back, 8- and 16-bit import, and the refusals of
// everything that is not one grey band of a usable size (GeoTIFF: ImageCommands).
#include "tools/HeightImage.h"
#include "tests/common/CliRunner.h"
#include "tools/PngWriter.h"


using namespace testcli;

using HeightImageTest = ScratchFolderTest;

TEST_F(HeightImageTest, Png16RoundTripIsExactAndIndependentOfThreads)
{
    // 1500 x 1500 x 2 bytes is five bands of 1 MiB: more than one group of bands on one thread.
    const int width = 1500;
    const int height = 1500;
    const auto samples = TestHeights(width, height, 3);
    NullProgress progress;
    ASSERT_TRUE(WritePngGrey16(path("one.png"), samples.data(), width, height, progress, 0, 1));
    ASSERT_TRUE(WritePngGrey16(path("two.png"), samples.data(), width, height, progress, 0, 2));
    EXPECT_EQ(ReadBytes(path("one.png")), ReadBytes(path("two.png")));

    HeightImage image;
    Status error;
    ASSERT_TRUE((error = ReadHeightImage(path("one.png"), image)).ok()) << error.message;
    EXPECT_EQ(image.sourceBits, 16);
    EXPECT_EQ(image.format, "PNG");
    EXPECT_EQ(image.samples, samples);
}

TEST_F(HeightImageTest, EightBitGreyIsWidenedTo65535)
{
    std::vector<std::uint8_t> grey(256 * 260);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<std::uint8_t>(i * 7);
    RecordingProgress progress;
    progress.setPos(100);
    ASSERT_TRUE(WritePng8(path("grey.png"), grey.data(), 256, 260, 1, progress, 100));
    EXPECT_EQ(progress.pos(), 200);
    HeightImage image;
    Status error;
    ASSERT_TRUE((error = ReadHeightImage(path("grey.png"), image)).ok()) << error.message;
    EXPECT_EQ(image.sourceBits, 8);
    ASSERT_EQ(image.samples.size(), grey.size());
    for (std::size_t i = 0; i < grey.size(); ++i)
        ASSERT_EQ(image.samples[i], grey[i] * 257) << i;
}

TEST_F(HeightImageTest, RefusesWhatIsNotOneGreyBandOfAUsableSize)
{
    const struct
    {
        const char* name;
        int width, height, bitDepth, colourType;
        const char* reason;
    } cases[] = {
        {"rgb.png", 300, 300, 8, PNG_COLOR_TYPE_RGB, "3 bands"},
        {"rgba.png", 300, 300, 16, PNG_COLOR_TYPE_RGB_ALPHA, "4 bands"},
        {"ga.png", 300, 300, 8, PNG_COLOR_TYPE_GRAY_ALPHA, "2 bands"},
        {"palette.png", 300, 300, 8, PNG_COLOR_TYPE_PALETTE, "palette"},
        {"four.png", 300, 300, 4, PNG_COLOR_TYPE_GRAY, "4-bit samples"},
        {"one.png", 300, 300, 1, PNG_COLOR_TYPE_GRAY, "1-bit samples"},
        {"narrow.png", 255, 300, 16, PNG_COLOR_TYPE_GRAY, "255 x 300 pixels; a height map is 256..20000"},
        {"wide.png", 20001, 256, 8, PNG_COLOR_TYPE_GRAY, "20001 x 256"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(WriteTestPng(path(c.name), c.width, c.height, c.bitDepth, c.colourType, {},
                                 c.colourType == PNG_COLOR_TYPE_PALETTE ? std::vector<png_color>{{0, 0, 0}, {9, 9, 9}}
                                                                        : std::vector<png_color>{}))
            << c.name;
        HeightImage image;
        Status error;
        EXPECT_FALSE((error = ReadHeightImage(path(c.name), image)).ok()) << c.name;
        EXPECT_NE(error.message.find(path(c.name) + ": "), std::string::npos) << error.message;
        EXPECT_NE(error.message.find(c.reason), std::string::npos) << c.name << ": " << error.message;
        EXPECT_TRUE(image.samples.empty());
    }
}

TEST_F(HeightImageTest, TruncatedAndMissingFilesFailCleanly)
{
    const auto samples = TestHeights(300, 280, 9);
    NullProgress progress;
    ASSERT_TRUE(WritePngGrey16(path("full.png"), samples.data(), 300, 280, progress));
    const auto bytes = ReadBytes(path("full.png"));
    for (const std::size_t keep : {std::size_t(8), std::size_t(40), bytes.size() / 2, bytes.size() - 13})
    {
        WriteText(path("cut.png"), std::string(bytes.begin(), bytes.begin() + std::ptrdiff_t(keep)));
        HeightImage image;
        Status error;
        EXPECT_FALSE((error = ReadHeightImage(path("cut.png"), image)).ok()) << keep;
        EXPECT_FALSE(error.message.empty());
        EXPECT_TRUE(image.samples.empty());
    }
    HeightImage image;
    Status error;
    WriteText(path("notes.txt"), "not an image at all\n");
    EXPECT_FALSE((error = ReadHeightImage(path("notes.txt"), image)).ok());
    EXPECT_NE(error.message.find(HeightImageHasGdal() ? "GDAL reads" : "no GDAL support"), std::string::npos)
        << error.message;
}

TEST_F(HeightImageTest, FormatFollowsTheExtension)
{
    EXPECT_EQ(HeightImageFormatOf("a/b.PNG"), HeightImageFormat::Png);
    EXPECT_EQ(HeightImageFormatOf("b.tif"), HeightImageFormat::GeoTiff);
    EXPECT_EQ(HeightImageFormatOf("b.TiFF"), HeightImageFormat::GeoTiff);
    EXPECT_EQ(HeightImageFormatOf("b.jpg"), HeightImageFormat::Unknown);
    EXPECT_EQ(HeightImageFormatOf("dir.png/b"), HeightImageFormat::Unknown);
}
