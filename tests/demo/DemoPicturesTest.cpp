#include "tools/Image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
std::string TempDir(const std::string& name)
{
    std::string pattern = ::testing::TempDir() + name + "XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::vector<char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the demo at the smallest size into dir/out; its report on stdout goes to dir/report.txt.
int RunDemo(const std::string& dir, const std::string& out)
{
    const int status = std::system((std::string(ALTIMO_CLI_PATH) + " demo --size 257 --dir '" + dir + "/" + out +
                                    "' > '" + dir + "/report.txt' 2>/dev/null")
                                       .c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

GreyImage Load(const std::string& path)
{
    GreyImage image;
    std::string error;
    EXPECT_TRUE(LoadGreyImage(path, image, error)) << error;
    return image;
}
} // namespace

TEST(DemoPictures, WritesEveryPictureAndAnOverviewOfThem)
{
    const std::string dir = TempDir("demopictures");
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(RunDemo(dir, "a"), 0);
    const std::string base = dir + "/a/terrain";

    const std::vector<char> report = ReadBytes(dir + "/report.txt");
    const std::string text(report.begin(), report.end());
    for (const char* name : {"_before.png", "_after.png", "_water.png", "_cliff.png", "_overview.png"})
    {
        SCOPED_TRACE(name);
        EXPECT_NE(text.find(base + name), std::string::npos);
        if (std::string(name) != "_overview.png")
        {
            const GreyImage image = Load(base + name);
            EXPECT_EQ(image.width, 257);
            EXPECT_EQ(image.height, 257);
        }
    }
    EXPECT_NE(text.find("  pictures "), std::string::npos);

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
    ASSERT_EQ(RunDemo(dir, "b"), 0);
    EXPECT_EQ(ReadBytes(base + "_overview.png"), ReadBytes(dir + "/b/terrain_overview.png"));
    std::system(("rm -rf '" + dir + "'").c_str());
}
