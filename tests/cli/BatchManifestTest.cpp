// The batch manifest: what a valid file sets, and the line and words of every kind of mistake.
#include "cli/BatchManifest.h"

#include <gtest/gtest.h>

namespace
{
BatchManifest Parse(const std::string& text, const std::string& baseDir = "/maps")
{
    BatchManifest manifest;
    std::string error;
    EXPECT_TRUE(ParseBatchManifest(text, baseDir, manifest, error)) << error;
    return manifest;
}

std::string ErrorOf(const std::string& text)
{
    BatchManifest manifest;
    std::string error;
    EXPECT_FALSE(ParseBatchManifest(text, "", manifest, error)) << text;
    EXPECT_TRUE(manifest.jobs.empty());
    return error;
}
} // namespace

TEST(BatchManifest, ReadsEveryKindOfJobWithDefaultsAndOverrides)
{
    const BatchManifest manifest = Parse(R"(# terrain of the north
; comments with either mark
[map north]
raw = north.raw        # trailing comment
width = 1025
height=513
pixel-size = 12.5
sea-level = -1
blur-height = no
lever = "levers/north lever.bmp"
water = /abs/north.wtr

[defaults]
scale = 7
height-scale = 20

[banks north shore]
wtr = north.wtr
output = north.sl
tesselation = 6
preview = north_banks.png

[cliff north]
dat = north.dat
output = "cliff \"a\".bmp"
angle = 30
height-scale = 0.5

[preview north]
dat = north_w.dat
output = north_w.png
mode = water
terrain = north.dat
)");
    ASSERT_EQ(manifest.jobs.size(), 4u);
    const BatchJob& map = manifest.jobs[0];
    EXPECT_EQ(map.kind, BatchJobKind::Map);
    EXPECT_EQ(map.name, "north");
    EXPECT_EQ(map.line, 3);
    EXPECT_EQ(map.raw, "/maps/north.raw");
    EXPECT_EQ(map.process.rawWidth, 1025);
    EXPECT_EQ(map.process.rawHeight, 513);
    EXPECT_EQ(map.process.pixelSize, 12.5f);
    EXPECT_EQ(map.process.seaLevel, -1);
    EXPECT_EQ(map.process.blurHeight, 0);
    EXPECT_EQ(map.process.leverPath, "/maps/levers/north lever.bmp");
    EXPECT_EQ(map.process.waterPath, "/abs/north.wtr");
    EXPECT_EQ(map.process.resolutionScale, 7); // from [defaults], which may come later
    EXPECT_EQ(map.process.blur, ProcessSettings{}.blur);

    const BatchJob& banks = manifest.jobs[1];
    EXPECT_EQ(banks.kind, BatchJobKind::Banks);
    EXPECT_EQ(banks.name, "north shore");
    EXPECT_EQ(banks.banks.tesselation, 6);
    EXPECT_EQ(banks.banks.resolutionScale, 7);
    EXPECT_EQ(banks.bankPreview, "/maps/north_banks.png");

    const BatchJob& cliff = manifest.jobs[2];
    EXPECT_EQ(cliff.output, "/maps/cliff \"a\".bmp");
    EXPECT_EQ(cliff.cliff.cliffAngle, 30);
    EXPECT_EQ(cliff.cliff.heightScale, 0.5f); // its own value beats the default

    const BatchJob& preview = manifest.jobs[3];
    EXPECT_EQ(preview.mode, "water");
    EXPECT_EQ(preview.terrain, "/maps/north.dat");
    EXPECT_EQ(preview.relief.heightScale, 20.0); // the default
}

TEST(BatchManifest, PathsStayAsWrittenWithoutAFolder)
{
    const BatchManifest manifest = Parse("[map a]\nraw = a.raw\n", "");
    ASSERT_EQ(manifest.jobs.size(), 1u);
    EXPECT_EQ(manifest.jobs[0].raw, "a.raw");
    EXPECT_EQ(manifest.jobs[0].process.rawWidth, 1024);
}

TEST(BatchManifest, MistakesNameTheLineAndWhatIsWrong)
{
    const struct
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "0: no jobs"},
        {"# only a comment\n[defaults]\nscale = 3\n", "0: no jobs"},
        {"[map a]\nraw = a.raw\nwidth = 100\n", "3: width: 100 is outside the range 256..20000"},
        {"[map a]\nraw = a.raw\nwidht = 1025\n", "3: unknown key widht in [map a]; its keys are raw, width, height"},
        {"[map a]\nraw = a.raw\nwidth = 10x\n", "3: width: \"10x\" is not a whole number"},
        {"[map a]\nraw = a.raw\nsharpness = 1.5\n", "3: sharpness: 1.5 is outside the range 0..1"},
        {"[map a]\nraw = a.raw\nsharpness = nan\n", "3: sharpness: \"nan\" is not a number"},
        {"[map a]\nraw = a.raw\nsea-level = -2\n", "3: sea-level: -2 is outside the range -1..255"},
        {"[map a]\nraw = a.raw\nblur-height = maybe\n", "3: blur-height: \"maybe\" is not true or false"},
        {"[map a]\nraw = a.raw\nwidth = 1025\nwidth = 2049\n", "4: width is set twice in [map a]"},
        {"[map a]\nwidth = 1025\n", "1: [map a] needs raw = PATH"},
        {"[cliff c]\ndat = a.dat\n", "1: [cliff c] needs output = PATH"},
        {"[map a]\nraw = a.raw\n[map a]\nraw = b.raw\n", "3: [map a] is already defined on line 1"},
        {"raw = a.raw\n", "1: raw is outside any section"},
        {"[mapp a]\n", "1: unknown section [mapp a]; sections are [defaults], [map NAME]"},
        {"[map]\n", "1: [map] needs a name: [map NAME]"},
        {"[map a\n", "1: the section header has no closing ]"},
        {"[map a] x\n", "1: unexpected text after the section header"},
        {"[defaults extra]\n", "1: [defaults] takes no name"},
        {"[map a]\nraw a.raw\n", "2: expected \"key = value\""},
        {"[map a]\nraw =\n", "2: raw: the key has no value"},
        {"[map a]\nraw = \"a.raw\n", "2: raw: the quoted value has no closing quote"},
        {"[map a]\nraw = \"a.raw\" b\n", "2: raw: unexpected text after the closing quote"},
        {"[map a]\nRaw = a.raw\n", "2: \"Raw\" is not a key"},
        {"[defaults]\ncolour = red\n[map a]\nraw = a\n", "2: unknown key colour in [defaults]"},
        {"[defaults]\nscale = 51\n[map a]\nraw = a\n", "2: scale (map): 51 is outside the range 1..50"},
        {"[defaults]\nheight-scale = 500\n[map a]\nraw = a\n", "2: height-scale (cliff): 500 is outside the range"},
        {"[preview p]\ndat = a\noutput = b\nmode = shiny\n", "4: mode: \"shiny\" is not relief, water or auto"},
        {"[banks b]\nwtr = a\noutput = b\ntesselation = 9\n", "4: tesselation: 9 is outside the range 2..8"},
        {"[cliff c]\ndat = a\noutput = b\nangle = 91\n", "4: angle: 91 is outside the range 0..90"},
    };
    for (const auto& c : cases)
    {
        const std::string error = ErrorOf(c.text);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "manifest:\n" << c.text << "\nerror: " << error;
    }
}

TEST(BatchManifest, FileErrorsCarryThePathAndLine)
{
    BatchManifest manifest;
    std::string error;
    EXPECT_FALSE(LoadBatchManifest("/nonexistent/jobs.ini", manifest, error));
    EXPECT_EQ(error, "/nonexistent/jobs.ini: cannot open the manifest");

    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/altimo-batch-manifest-test.ini";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("\xEF\xBB\xBF[map a]\nraw = a.raw\nhill-size = 2\n", file);
    std::fclose(file);
    EXPECT_FALSE(LoadBatchManifest(path, manifest, error));
    EXPECT_EQ(error, path + ":3: hill-size: 2 is outside the range 3..100");
    std::remove(path.c_str());
}
