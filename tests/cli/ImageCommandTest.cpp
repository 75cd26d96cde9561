// altimo-cli import, export and preview, run as a script runs them.
#include "tests/common/CliRunner.h"
#include "codec/HeightDat.h"
#include "tools/HeightImage.h"
#include "tools/PngWriter.h"
#include "tools/Relief.h"


using namespace testcli;

using ImageCommands = ScratchFolderTest;

TEST_F(ImageCommands, Png16ToRawToDatToPng16IsIdentical)
{
    const int width = 300;
    const int height = 257;
    const auto samples = TestHeights(width, height, 21);
    NullProgress progress;
    ASSERT_TRUE(WritePngGrey16(path("map.png"), samples.data(), width, height, progress));

    const CliRun imported = run("import " + path("map.png") + " -o " + path("map.raw"));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("300 x 257"), std::string::npos) << imported.out;
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_NE(imported.out.find("values " + std::to_string(*low) + ".." + std::to_string(*high)), std::string::npos)
        << imported.out;
    EXPECT_EQ(ReadLe16Samples(path("map.raw")), samples);

    const CliRun processed = run("process " + path("map.raw") + " --width 300 --height 257");
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    const CliRun exported = run("export " + path("map.dat") + " -o " + path("back.png"));
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    // The same writer with the same samples: the very same file.
    EXPECT_EQ(ReadBytes(path("back.png")), ReadBytes(path("map.png")));
    HeightImage back;
    Status error;
    ASSERT_TRUE((error = ReadHeightImage(path("back.png"), back)).ok()) << error.message;
    EXPECT_EQ(back.samples, samples);
}

TEST_F(ImageCommands, GeoTiffExportImportsBackWhenTheBuildHasGdal)
{
    const auto samples = TestHeights(256, 270, 21);
    ASSERT_TRUE(WriteHeightDat(path("map.dat"), ConstRasterView<std::uint16_t>(samples.data(), 256, 270), 25.0f));
    const CliRun exported = run("export " + path("map.dat") + " -o " + path("map.tif"));
    if (!HeightImageHasGdal())
    {
        EXPECT_EQ(exported.exitCode, 1);
        EXPECT_NE(exported.err.find("GeoTIFF needs GDAL"), std::string::npos) << exported.err;
        EXPECT_FALSE(Exists(path("map.tif")));
        GTEST_SKIP() << "built without GDAL";
    }
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const CliRun imported = run("import " + path("map.tif") + " -o " + path("map.raw"));
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("GTiff, 16-bit grey, 256 x 270"), std::string::npos) << imported.out;
    EXPECT_EQ(ReadLe16Samples(path("map.raw")), samples);
}

namespace
{
const Refusal kRefusals[] = {
    {"ColourPng", "import @colour.png -o @a.raw", 1, "3 bands (red, green, blue)"},
    {"BrokenHeightFile", "export @broken.dat -o @d.png", 1, "not a valid height file"},
    {"ExportAsJpeg", "export @broken.dat -o @e.jpg", 2, "--output: @e.jpg must end in .png"},
    {"NoOutput", "import @colour.png", 2, "--output is required"},
    {"HeightRangeOfOneNumber", "import @small.png -o @f.raw --height-range 10", 2,
     "--height-range: 10 is neither MIN:MAX"},
    {"SizeOutsideItsRange", "import @small.png -o @g.raw --size 100", 2, "--size: 100 is outside"},
    {"HeightsInFeet", "export @broken.dat -o @h.tif --heights feet", 2,
     "--heights: feet is neither samples nor metres"},
    {"MetresInAPng", "export @broken.dat -o @i.png --heights metres", 2, "need a GeoTIFF"},
    {"UnknownPreviewMode", "preview @hills.dat -o @x.png --mode shiny", 2, "--mode"},
};

using ImageRefusal = testcli::Rows<ScratchFolderTest, Refusal>;
} // namespace

TEST_P(ImageRefusal, ExplainsAndLeavesNoOutput)
{
    std::vector<std::uint8_t> rgb(300 * 300 * 3, 77);
    std::vector<std::uint16_t> small(200 * 300, 5);
    NullProgress progress;
    ASSERT_TRUE(WritePng8(path("colour.png"), rgb.data(), 300, 300, 3, progress));
    ASSERT_TRUE(WritePngGrey16(path("small.png"), small.data(), 200, 300, progress));
    ASSERT_TRUE(WriteHeightDat(path("hills.dat"), ConstRasterView<std::uint16_t>(small.data(), 200, 300), 20.0f));
    WriteText(path("broken.dat"), "ALTIMO? not a height file");
    expectRefused(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ImageCommands, ImageRefusal, testing::ValuesIn(kRefusals), kCaseName);

TEST_F(ImageCommands, PreviewWritesTheDefinedReliefAndPicksWaterByName)
{
    const int width = 64;
    const int height = 48;
    const auto samples = TestHeights(width, height, 21);
    const ConstRasterView<std::uint16_t> view(samples.data(), width, height);
    ASSERT_TRUE(WriteHeightDat(path("hills.dat"), view, 20.0f));
    const CliRun relief = run("preview " + path("hills.dat") + " -o " + path("hills.png") + " --height-scale 40");
    ASSERT_EQ(relief.exitCode, 0) << relief.err;
    EXPECT_NE(relief.out.find("shaded relief"), std::string::npos) << relief.out;
    std::vector<std::uint8_t> rgb;
    int w = 0;
    int h = 0;
    ASSERT_TRUE(DecodePng(path("hills.png"), rgb, w, h));
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    ReliefSettings settings;
    settings.heightScale = 40;
    const SampleRange range = FindSampleRange(view);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const std::size_t i = (std::size_t(y) * width + std::size_t(x)) * 3;
            ASSERT_EQ((Rgb{rgb[i], rgb[i + 1], rgb[i + 2]}), ReliefPixel(view, x, y, 20.0f, settings, range));
        }

    // "<base>_w.dat" is drawn as water over "<base>.dat".
    std::vector<std::uint16_t> water(samples.size(), 0);
    water[5] = static_cast<std::uint16_t>(samples[5] + 100);
    ASSERT_TRUE(
        WriteHeightDat(path("hills_w.dat"), ConstRasterView<std::uint16_t>(water.data(), width, height), 20.0f));
    const CliRun depth = run("--quiet preview " + path("hills_w.dat") + " -o " + path("water.png"));
    ASSERT_EQ(depth.exitCode, 0) << depth.err;
    EXPECT_EQ(depth.out, "");
    ASSERT_TRUE(DecodePng(path("water.png"), rgb, w, h));
    EXPECT_EQ((Rgb{rgb[15], rgb[16], rgb[17]}), (Rgb{10, 40, 115})); // the deepest (only) water
    EXPECT_EQ(rgb[0], rgb[1]);                                       // dry: grey relief
    // Below the map, the legend says what the colours show: depths over the terrain, 0 to 100.
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height + WaterLegendRows(width));
    std::vector<std::uint8_t> legend(std::size_t(width) * std::size_t(WaterLegendRows(width)) * 3);
    DrawWaterLegend(legend.data(), width, WaterRange{.maxDepth = 100}, true, ReliefSettings{});
    EXPECT_TRUE(std::equal(legend.begin(), legend.end(), rgb.begin() + std::ptrdiff_t(width) * height * 3));
}
