// altimo-cli demo: every file and picture written, sizes refused, and the same bytes again.
#include "tools/Image.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testcli;

namespace
{
using DemoCommand = ScratchFolderTest;

GreyImage Load(const std::string& path)
{
    GreyImage image;
    const Status loaded = LoadGreyImage(path, image);
    EXPECT_TRUE(loaded.ok()) << loaded.message;
    return image;
}
} // namespace

TEST_F(DemoCommand, WritesEveryFileAndPictureAndAnOverviewOfThem)
{
    EXPECT_EQ(run("-q demo --size 256 --dir " + path("x")).exitCode, 2);
    EXPECT_EQ(run("-q demo --size 8194 --dir " + path("x")).exitCode, 2);
    const CliRun demo = run("demo --size 257 --dir " + path("a"));
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    const std::string base = path("a/terrain");
    for (const char* name : {".raw", ".png", "_lever.bmp", ".wtr", "_w.dat", ".dat", "_cliff.bmp", ".sl",
                             "_banks.png"})
        EXPECT_TRUE(Exists(base + name)) << name;
    for (const char* name : {"_before.png", "_after.png", "_water.png", "_cliff.png", "_overview.png"})
    {
        SCOPED_TRACE(name);
        EXPECT_NE(demo.out.find(base + name), std::string::npos);
        if (std::string(name) != "_overview.png")
        {
            const GreyImage image = Load(base + name);
            EXPECT_EQ(image.width, 257);
            EXPECT_EQ(image.height, 257);
        }
    }
    EXPECT_NE(demo.out.find("  pictures "), std::string::npos);

    // Six panels in three columns of 512-pixel cells (the shoreline picture of 1024 pixels is
    // halved, the runway close-ups are 252 pixels each with 8 between), 16 pixels apart, with
    // an 18-pixel caption band above each.
    const GreyImage overview = Load(base + "_overview.png");
    ASSERT_EQ(overview.width, 16 + 3 * (512 + 16));
    ASSERT_EQ(overview.height, 16 + 2 * (18 + 512 + 16));
    // The first panel is the relief before levering, at its own size, centred in its cell.
    const GreyImage before = Load(base + "_before.png");
    const GreyImage after = Load(base + "_after.png");
    int differences = 0;
    for (int y = 0; y < 257; ++y)
        for (int x = 0; x < 257; ++x)
        {
            const std::size_t at = std::size_t(y) * 257 + std::size_t(x);
            ASSERT_EQ(overview.pixels[std::size_t(16 + 18 + y) * std::size_t(overview.width) + 16 + 127 + x],
                      before.pixels[at])
                << x << "," << y;
            differences += before.pixels[at] != after.pixels[at];
        }
    EXPECT_GT(differences, 0); // the lever and the processing changed the terrain

    // The same bytes on a second run.
    ASSERT_EQ(run("-q demo --size 257 --dir " + path("b")).exitCode, 0);
    EXPECT_EQ(ReadBytes(base + "_overview.png"), ReadBytes(path("b/terrain_overview.png")));
}
