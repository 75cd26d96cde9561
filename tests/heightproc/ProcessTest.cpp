#include "codec/HeightDat.h"
#include "heightproc/Process.h"
#include "heightproc/Water.h"
#include "codec/DATElevationDB.h"
#include "support/WtrWriter.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;
using testcli::ReadBytes;
using testcli::WriteBytes;

namespace
{

class ProcessTest : public testcli::ScratchFolderTest
{
protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        settings.rawWidth = 300;
        settings.rawHeight = 260;
    }

    std::vector<std::uint16_t> Terrain() const
    {
        std::mt19937 random(8);
        std::vector<std::uint16_t> raster(std::size_t(settings.rawWidth) * std::size_t(settings.rawHeight));
        for (std::size_t i = 0; i < raster.size(); ++i)
            raster[i] = static_cast<std::uint16_t>(2000 + (i % 300) * 40 + random() % 30);
        return raster;
    }

    std::vector<std::uint16_t> DecodeDat(const std::string& file) const
    {
        CDATElevationDB db(false);
        std::vector<std::uint16_t> raster;
        EXPECT_TRUE(db.init(file.c_str())) << file;
        EXPECT_EQ(db.getWidth(), settings.rawWidth);
        EXPECT_EQ(db.getPixelSize(), settings.pixelSize);
        EXPECT_TRUE(db.readAll(raster));
        return raster;
    }

    ProcessResult Run(const std::string& raw)
    {
        progress.positions.clear();
        messages.messages.clear();
        return RunProcess(raw, settings, progress, messages);
    }

    ProcessSettings settings;
    RecordingProgress progress;
    RecordingMessages messages;
};

} // namespace

TEST(ProcessBaseName, DropsTheLastDotAndWhatFollows)
{
    EXPECT_EQ(BaseName("/maps/terrain.raw"), "/maps/terrain");
    EXPECT_EQ(BaseName("/my.maps/terrain"), "/my"); // the search covers the folders too
    EXPECT_EQ(BaseName("/maps/terrain"), "/maps/terrain");
    EXPECT_EQ(BaseName("terrain.v2.raw"), "terrain.v2");
    EXPECT_EQ(BaseName("terrain."), "terrain");
    EXPECT_EQ(BaseName(""), "");
}

TEST_F(ProcessTest, WritesOnlyTheHeightFileWithoutLeverAndWater)
{
    const std::vector<std::uint16_t> raster = Terrain();
    WriteBytes(path("terrain.raw"), raster.data(), raster.size() * 2);
    settings.pixelSize = 12.5f;
    const ProcessResult result = Run(path("terrain.raw"));
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(result.heightWritten);
    EXPECT_FALSE(result.waterWritten);
    EXPECT_EQ(result.heightDatPath, path("terrain.dat"));
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 100, 200, 0}));
    EXPECT_FALSE(fs::exists(path("terrain_w.dat")));
    EXPECT_EQ(DecodeDat(path("terrain.dat")), raster);

    // Byte for byte what the writer makes of the raster.
    ASSERT_TRUE(WriteHeightDat(path("direct.dat"), {raster.data(), 300, 260}, 12.5f));
    EXPECT_EQ(ReadBytes(path("terrain.dat")), ReadBytes(path("direct.dat")));
}

TEST_F(ProcessTest, AMissingOrWrongSizedRawShowsTheMessageAndWritesNothing)
{
    EXPECT_FALSE(Run(path("none.raw")).success);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Can not open RAW file");
    EXPECT_EQ(progress.positions, (std::vector<int>{0}));
    EXPECT_TRUE(fs::is_empty(m_dir));

    settings.rawWidth = 256;
    settings.rawHeight = 256;
    const std::vector<std::uint8_t> bytes(256 * 256 * 2 + 1, 7);
    for (std::size_t size : {bytes.size() - 2, bytes.size()})
    {
        WriteBytes(path("map.raw"), bytes.data(), size);
        const ProcessResult result = Run(path("map.raw"));
        EXPECT_FALSE(result.success) << size;
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, "Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW");
        EXPECT_EQ(messages.messages[0].caption, kAppName);
        EXPECT_EQ(progress.positions, (std::vector<int>{0, 0}));
        EXPECT_FALSE(fs::exists(path("map.dat")));
    }
    // Exactly 131,072 bytes is right.
    WriteBytes(path("map.raw"), bytes.data(), bytes.size() - 1);
    EXPECT_TRUE(Run(path("map.raw")).success);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(fs::exists(path("map.dat")));
}

TEST_F(ProcessTest, UncreatableOutputStillCountsAsSuccessButWarns)
{
    const std::vector<std::uint16_t> raster = Terrain();
    WriteBytes(path("terrain.raw"), raster.data(), raster.size() * 2);
    fs::create_directory(path("terrain.dat")); // a folder where the file should go
    const ProcessResult result = Run(path("terrain.raw"));
    EXPECT_TRUE(result.success);
    EXPECT_FALSE(result.heightWritten);
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(result.heightProblem, path("terrain.dat") + ": cannot write the file: Is a directory");
    EXPECT_TRUE(messages.messages.empty()); // silent in the desktop application
    EXPECT_TRUE(fs::is_directory(path("terrain.dat")));
}

TEST_F(ProcessTest, WaterRasterIsWrittenBesideTheHeightFile)
{
    const std::vector<std::uint16_t> raster = Terrain();
    WriteBytes(path("terrain.raw"), raster.data(), raster.size() * 2);
    // Water over the left third of the map, one mask cell per height sample.
    std::vector<std::uint8_t> cells(std::size_t(settings.rawWidth) * std::size_t(settings.rawHeight), 0);
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = (i % std::size_t(settings.rawWidth)) < 100 ? 15 : 0;
    ASSERT_TRUE(WriteWtr(path("water.wtr"), cells.data(), settings.rawWidth, settings.rawHeight, 64));
    settings.waterPath = path("water.wtr");
    settings.resolutionScale = 1;

    // What the stages make of the raster, run directly on a copy.
    std::vector<std::uint16_t> height = raster;
    NullProgress quiet;
    RecordingMessages ignored;
    const WaterResult water = ProcessWater(settings, settings.waterPath, {height.data(), 300, 260},
                                           settings.blurHeight != 0, quiet, ignored);
    ASSERT_FALSE(water.water.empty()) << water.failure;

    const ProcessResult result = Run(path("terrain.raw"));
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(result.waterWritten);
    EXPECT_EQ(result.waterDatPath, path("terrain_w.dat"));
    EXPECT_EQ(progress.positions.front(), 0);
    EXPECT_EQ(progress.positions.back(), 0);
    EXPECT_NE(std::find(progress.positions.begin(), progress.positions.end(), 200), progress.positions.end());
    EXPECT_TRUE(std::ranges::equal(DecodeDat(path("terrain_w.dat")), water.water));
    EXPECT_EQ(DecodeDat(path("terrain.dat")), height);
}
