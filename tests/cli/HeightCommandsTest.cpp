// altimo-cli process, dat-info and dat-decode: exit codes, messages and files.
#include "tests/common/CliRunner.h"
#include "support/WtrWriter.h"
#include "codec/DATElevationDB.h"

#include <random>

using namespace testcli;

namespace
{

class HeightCommands : public ScratchFolderTest
{
protected:
    // A 300 x 257 map (odd in both directions) as <dir>/map.raw.
    std::vector<std::uint16_t> writeRaw()
    {
        std::mt19937 random(4);
        std::vector<std::uint16_t> raster(300 * 257);
        for (std::size_t i = 0; i < raster.size(); ++i)
            raster[i] = static_cast<std::uint16_t>(i % 300 < 50 ? 0 : 5000 + (i % 300) * 20 + random() % 64);
        WriteBytes(path("map.raw"), raster.data(), raster.size() * 2);
        return raster;
    }
    std::string processArgs() const { return "process '" + path("map.raw") + "' --width 300 --height 257"; }
};

} // namespace

TEST_F(HeightCommands, ProcessThenDecodeGivesBackTheRawByteForByte)
{
    writeRaw();
    const CliRun processed = run(processArgs() + " --pixel-size 12.5");
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    EXPECT_NE(processed.out.find("map.dat"), std::string::npos) << processed.out;
    EXPECT_NE(processed.out.find("ratio"), std::string::npos) << processed.out;
    EXPECT_FALSE(std::filesystem::exists(path("map_w.dat")));

    const CliRun decoded = run("dat-decode '" + path("map.dat") + "' -o '" + path("back.raw") + "'");
    ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
    EXPECT_EQ(ReadText(path("back.raw")), ReadText(path("map.raw")));
    EXPECT_EQ(run("dat-decode '" + path("map.dat") + "' -o '" + path("no/dir/out.raw") + "'").exitCode, 1);

    const CliRun info = run("dat-info '" + path("map.dat") + "'");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("300 x 257"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("5 x 5"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("12.5"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("min / max:       0 / "), std::string::npos) << info.out;
}

// Ranges are checked for every field in FieldTables.
TEST_F(HeightCommands, NegativeValuesAsSeparateWordsAndWithEquals)
{
    writeRaw();
    EXPECT_EQ(run(processArgs() + " --sea-level -1").exitCode, 0);
    EXPECT_EQ(run(processArgs() + " --sea-level=-1 --no-blur-height").exitCode, 0);
    EXPECT_EQ(run(processArgs() + " --blur-height --bank 10 --hill-size 3 --scale 50 --blur 20 --sharpness 1")
                  .exitCode,
              0);
}

// A problem report starts with the version; it must work without a command, and no command
// runs when it is asked for.
TEST_F(HeightCommands, VersionAnswersWithoutACommand)
{
    const CliRun version = run("--version");
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, "altimo-cli " ALTIMO_TEST_VERSION "\n");
    writeRaw();
    const CliRun before = run("--version " + processArgs());
    EXPECT_EQ(before.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(path("map.dat")));
}

// Bank smoothing is on unless switched off: the default and --blur-height give the same file.
TEST_F(HeightCommands, BlurHeightIsOnByDefaultAndOffOnlyWhenAsked)
{
    writeRaw();
    // Water on the left half of the map at scale 1, with the dry land climbing away from it.
    const std::vector<std::uint8_t> cells = MaskCells(300, 257, [](int x, int) { return x < 120 ? 15 : 0; });
    ASSERT_TRUE(WriteWtr(path("lake.wtr"), cells.data(), 300, 257, 256));
    const std::string water = " --water '" + path("lake.wtr") + "' --scale 1 --sea-level 0";
    std::string files[2];
    const char* flags[2] = {"", " --blur-height"};
    for (int i = 0; i < 2; ++i)
    {
        const CliRun processed = run(processArgs() + water + flags[i]);
        ASSERT_EQ(processed.exitCode, 0) << flags[i] << processed.err;
        files[i] = ReadText(path("map.dat"));
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(run(processArgs() + " --blur-height --no-blur-height").exitCode, 2);
}
