// The whole Generate job on small masks, and altimo-cli banks run as a script would run it (its
// refusals of bad masks and outputs are in the robustness tests).
#include "banks/GenerateShorelines.h"
#include "banks/ShorelineFile.h"
#include "support/WtrWriter.h"
#include "tests/common/CliRunner.h"
#include "tests/common/ScopedWorkers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace
{
using testcli::ReadText;

class Banks : public testcli::ScratchFolderTest
{
protected:
    // A size x size mask, value(x, row) per cell, row 0 at the top.
    std::string writeMask(const std::string& name, int size, const std::function<std::uint8_t(int, int)>& value)
    {
        const std::vector<std::uint8_t> cells = testcli::MaskCells(size, size, value);
        const std::string file = path(name);
        EXPECT_TRUE(WriteWtr(file, cells.data(), size, size, 64));
        return file;
    }

    // A round lake of radius 60 cells centred on cell (200, 180) of a 384 x 384 mask.
    std::string writeLake()
    {
        return writeMask("lake.wtr", 384,
                         [](int x, int row)
                         { return std::uint8_t(std::hypot(x - 200 + 0.5, row - 180 + 0.5) < 60.0 ? 15 : 0); });
    }

    using RunResult = testcli::CliRun;
    RunResult runCli(const std::string& arguments) const { return testcli::RunCli("banks " + arguments, m_dir); }
};
} // namespace

TEST_F(Banks, TracesALakeOntoItsShore)
{
    const std::string file = writeLake();
    BanksSettings settings;
    settings.resolutionScale = 2;
    settings.minRiverSize = 3;
    RecordingMessages messages;
    const BanksResult result = GenerateShorelines(file, settings, messages);
    ASSERT_TRUE(result.status.ok());
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(result.filtered.width, 192);
    EXPECT_EQ(result.filtered.height, 192);
    EXPECT_EQ(result.metresPerPixel, 20.0f);
    ASSERT_FALSE(result.lines.empty());

    // The shore lies 600 m from the centre, which is 2000 m from the left and 3840 - 1800 m up.
    std::size_t points = 0;
    int marks = 0;
    for (const Shoreline& line : result.lines)
    {
        EXPECT_GT(line.size(), 5u * 4u);
        for (const ShorePoint& p : line)
        {
            EXPECT_NEAR(std::hypot(p.x - 2000.0, p.z - 2040.0), 600.0, 15.0) << p.x << "," << p.z;
            ++points;
        }
        // Water (the inside) lies to the right of the direction of travel: clockwise with z up.
        const ShorePoint& a = line.front();
        const ShorePoint& b = line[line.size() / 2];
        const double cross = double(a.x - 2000) * double(b.z - 2040) - double(a.z - 2040) * double(b.x - 2000);
        EXPECT_LT(cross, 0.0);
    }
    EXPECT_GT(points, 100u);
    for (std::uint8_t value : result.filtered.bits)
        marks += value == 190;
    EXPECT_GT(marks, 100);
}

TEST_F(Banks, MaskWithoutWaterGivesNoLinesAndAnEmptyImage)
{
    const std::string file = writeMask("dry.wtr", 256, [](int, int) { return std::uint8_t(0); });
    RecordingMessages messages;
    BanksSettings settings;
    settings.resolutionScale = 3;
    const BanksResult result = GenerateShorelines(file, settings, messages);
    ASSERT_TRUE(result.status.ok());
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(result.filtered.width, 85);
    for (std::uint8_t value : result.filtered.bits)
        ASSERT_EQ(value, 0);
}

TEST_F(Banks, CommandWritesTheShorelineFileAndThePreview)
{
    const std::string lake = writeLake();
    const RunResult run =
        runCli(lake + " -o " + path("lake.sl") + " --scale 2 --min-river-size=3 --preview " + path("lake.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string text = ReadText(path("lake.sl"));
    EXPECT_NE(run.out.find(" lines, "), std::string::npos);
    EXPECT_NE(run.out.find(" points"), std::string::npos);

    // The file is exactly what the core writes for the same settings.
    BanksSettings settings;
    settings.resolutionScale = 2;
    settings.minRiverSize = 3;
    RecordingMessages messages;
    const StatusOr<std::string> expected = FormatShorelines(GenerateShorelines(lake, settings, messages).lines);
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(text, *expected);
    EXPECT_EQ(ReadText(path("lake.png")).substr(0, 4), "\x89PNG");
}

// A mask 90 cells high in blocks of 64: the last block row ends at the image's bottom edge, so
// it starts at row 90 - 128 + 64 = 26 and the first block row (above the top) is not drawn.
TEST_F(Banks, TheLastBlockRowOfAMaskOfAnyHeightEndsAtTheBottomEdge)
{
    const std::vector<std::uint8_t> cells = testcli::MaskCells(100, 90, [](int x, int z) {
        return (z >= 70 && z < 73 && x >= 10 && x < 13) || (z == 5 && x == 50) ? 15 : 0; // (50, 5): the first block row
    });
    ASSERT_TRUE(WriteWtr(path("tall.wtr"), cells.data(), 100, 90, 64));
    BanksSettings settings;
    settings.resolutionScale = 1;
    settings.minRiverSize = 0;
    RecordingMessages messages;
    const BanksResult result = GenerateShorelines(path("tall.wtr"), settings, messages);
    ASSERT_TRUE(result.status.ok());
    ASSERT_EQ(result.filtered.width, 100);
    ASSERT_EQ(result.filtered.height, 90);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 100; ++x)
            EXPECT_EQ(result.filtered.atTop(x, y) != 0, x >= 10 && x < 13 && y >= 32 && y < 35) << x << "," << y;
}

// The bands of the drawing, the filter and the scan, and the lines refined side by side, give
// what one thread gives, in the same order.
TEST_F(Banks, AnyNumberOfThreadsGivesTheSameResult)
{
    // 36 soft lakes of three sizes on a 50-cell grid, over 5 block rows (the first one partial).
    const std::string file = writeMask("lakes.wtr", 300,
                                       [](int x, int row)
                                       {
                                           const double radius = 10 + 4 * ((x / 50 + row / 50) % 3);
                                           const double inside = radius - std::hypot(x % 50 - 25, row % 50 - 25);
                                           return std::uint8_t(std::clamp(7.5 + inside * 3.75, 0.0, 15.0));
                                       });
    BanksSettings settings;
    settings.resolutionScale = 1;
    settings.minRiverSize = 2;
    std::vector<BanksResult> results;
    for (const char* threads : {"1", "3", "7"})
    {
        const testcli::ScopedWorkers workers(threads);
        RecordingMessages messages;
        results.push_back(GenerateShorelines(file, settings, messages));
        ASSERT_TRUE(results.back().status.ok()) << threads;
    }
    ASSERT_GE(results[0].lines.size(), 36u);
    for (std::size_t i = 1; i < results.size(); ++i)
    {
        EXPECT_EQ(results[i].lines, results[0].lines) << i;
        EXPECT_EQ(results[i].filtered.bits, results[0].filtered.bits) << i;
    }
}
