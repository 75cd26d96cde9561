// The batch manifest: what a valid file sets, and the line and words of every kind of mistake.
#include "cli/BatchManifest.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
BatchManifest Parse(const std::string& text, const std::string& baseDir = "/maps")
{
    StatusOr<BatchManifest> manifest = ParseBatchManifest(text, baseDir);
    EXPECT_TRUE(manifest) << manifest.status.message;
    return *manifest;
}

std::string ErrorOf(const std::string& text)
{
    const StatusOr<BatchManifest> manifest = ParseBatchManifest(text, "");
    EXPECT_FALSE(manifest) << text;
    EXPECT_TRUE(manifest->jobs.empty());
    return manifest.status.message;
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

[import west]
image = dems/west.tif
output = west.raw
height-range = -50:1200
pixel-size = 2.5
size = 1025
window = 3 4 300 200
band = 2
t-srs = "EPSG:32633"
keep-crs = no

[export west]
dat = west.dat
output = west.tif
like = dems/west.tif
)");
    ASSERT_EQ(manifest.jobs.size(), 6u);
    const BatchJob& map = manifest.jobs[0];
    EXPECT_EQ(map.kind, BatchJobKind::Map);
    EXPECT_EQ(map.name, "north");
    EXPECT_EQ(map.line, 3);
    EXPECT_EQ(map.map.raw, "/maps/north.raw");
    EXPECT_EQ(map.map.settings.rawWidth, 1025);
    EXPECT_EQ(map.map.settings.rawHeight, 513);
    EXPECT_EQ(map.map.settings.pixelSize, 12.5f);
    EXPECT_EQ(map.map.settings.seaLevel, -1);
    EXPECT_EQ(map.map.settings.blurHeight, 0);
    EXPECT_EQ(map.map.settings.leverPath, "/maps/levers/north lever.bmp");
    EXPECT_EQ(map.map.settings.waterPath, "/abs/north.wtr");
    EXPECT_EQ(map.map.settings.resolutionScale, 7); // from [defaults], which may come later
    EXPECT_EQ(map.map.settings.blur, ProcessSettings{}.blur);

    const BatchJob& banks = manifest.jobs[1];
    EXPECT_EQ(banks.kind, BatchJobKind::Banks);
    EXPECT_EQ(banks.name, "north shore");
    EXPECT_EQ(banks.banks.settings.tesselation, 6);
    EXPECT_EQ(banks.banks.settings.resolutionScale, 7);
    EXPECT_EQ(banks.banks.preview, "/maps/north_banks.png");

    const BatchJob& cliff = manifest.jobs[2];
    EXPECT_EQ(cliff.cliff.output, "/maps/cliff \"a\".bmp");
    EXPECT_EQ(cliff.cliff.settings.cliffAngle, 30);
    EXPECT_EQ(cliff.cliff.settings.heightScale, 0.5f); // its own value beats the default

    const BatchJob& preview = manifest.jobs[3];
    EXPECT_EQ(preview.preview.mode, "water");
    EXPECT_EQ(preview.preview.terrain, "/maps/north.dat");
    EXPECT_EQ(preview.preview.settings.heightScale, 20.0); // the default

    const ImportRequest& imported = manifest.jobs[4].importRequest;
    EXPECT_EQ(imported.input, "/maps/dems/west.tif");
    EXPECT_EQ(imported.output, "/maps/west.raw");
    EXPECT_EQ(imported.heightRange, "-50:1200");
    EXPECT_EQ(imported.pixelSize, 2.5);
    EXPECT_EQ(imported.size, 1025);
    EXPECT_EQ(imported.window, (std::vector<int>{3, 4, 300, 200}));
    EXPECT_EQ(imported.band, 2);
    EXPECT_EQ(imported.targetSrs, "EPSG:32633");
    EXPECT_EQ(imported.resampling, "bilinear");
    const ExportRequest& exported = manifest.jobs[5].exportRequest;
    EXPECT_EQ(exported.like, "/maps/dems/west.tif");
    EXPECT_EQ(exported.heights, "samples");
    EXPECT_TRUE(exported.output.ends_with("west.tif") && exported.input == "/maps/west.dat");

    // Without a folder the paths stay as written.
    EXPECT_EQ(Parse("[map a]\nraw = a.raw\n", "").jobs.at(0).map.raw, "a.raw");
}

// Each field's range is checked in FieldTables; these are the manifest's own mistakes.
TEST(BatchManifest, MistakesNameTheLineAndWhatIsWrong)
{
    const struct
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "0: no jobs"},
        {"# only a comment\n[defaults]\nscale = 3\n", "0: no jobs"},
        {"[map a]\nraw = a.raw\nwidht = 1025\n", "3: unknown key widht in [map a]; its keys are raw, output, width, height"},
        {"[map a]\nraw = a.raw\nwidth = 10x\n", "3: width: \"10x\" is not a whole number"},
        {"[map a]\nraw = a.raw\nsharpness = nan\n", "3: sharpness: \"nan\" is not a number"},
        {"[map a]\nraw = a.raw\nblur-height = maybe\n", "3: blur-height: \"maybe\" is not true or false"},
        {"[map a]\nraw = a.raw\nbyte-order = middle\n", "3: byte-order: \"middle\" is not little or big"},
        {"[map a]\nraw = a.raw\nno-blur-height = yes\n", "3: unknown key no-blur-height in [map a]"},
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
        {"[defaults]\nheight-scale = 500000\n[map a]\nraw = a\n", "2: height-scale (cliff): 500000 is outside the range"},
        {"[preview p]\ndat = a\noutput = b\nmode = shiny\n", "4: mode: \"shiny\" is not relief, water or auto"},
        {"[import i]\nimage = a.tif\noutput = a.raw\nheight-range = 5:1\n",
         "4: height-range: 5:1: MIN must be below MAX"},
        {"[import i]\nimage = a.tif\noutput = a.raw\nwindow = 1 2 3\n",
         "4: window: \"1 2 3\" is not 4 whole numbers (XOFF YOFF XSIZE YSIZE)"},
        {"[import i]\nimage = a.tif\noutput = a.raw\nfit = crop\n",
         "1: [import i]: fit says how a raster becomes a square map of size N samples; give size too"},
        {"[defaults]\nresampling = wavy\n[import i]\nimage = a\n",
         "2: resampling (import): wavy is not one of nearest"},
        {"[import i]\nimage = a.tif\n", "1: [import i] needs output = PATH"},
        {"[defaults]\nheight-step = 1\n[import i]\nimage = a.tif\noutput = a.raw\nheight-range = auto\n",
         "3: [import i]: height-range excludes height-step"},
        {"[export e]\ndat = a.dat\noutput = a.png\nheights = feet\n", "4: heights: feet is neither samples nor metres"},
        {"[preview p]\ndat = c.bmp\noutput = p.dat\n[cliff c]\ndat = p.dat\noutput = c.bmp\n",
         "1: jobs wait for each other's output: [preview p] reads c.bmp, written by [cliff c], which reads p.dat, "
         "written by [preview p]"},
    };
    for (const auto& c : cases)
    {
        const std::string error = ErrorOf(c.text);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << "manifest:\n" << c.text << "\nerror: " << error;
    }
}

TEST(BatchManifest, FileErrorsCarryThePathAndLine)
{
    const StatusOr<BatchManifest> missing = LoadBatchManifest("/nonexistent/jobs.ini");
    EXPECT_EQ(missing.status.code, StatusCode::cannotOpen);
    EXPECT_EQ(missing.status.message, "/nonexistent/jobs.ini: cannot open the manifest: No such file or directory");

    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/altimo-batch-manifest-test.ini";
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("\xEF\xBB\xBF[map a]\nraw = a.raw\nhill-size = 2\n", file);
    std::fclose(file);
    const StatusOr<BatchManifest> wrong = LoadBatchManifest(path);
    EXPECT_EQ(wrong.status.code, StatusCode::invalidSettings);
    EXPECT_EQ(wrong.status.message, path + ":3: hill-size: 2 is outside the range 3..100");
    std::remove(path.c_str());
}

namespace
{
// Eight maps, with cliffs and previews that read their outputs, shoreline jobs that read none, a
// preview that ties two maps together and a cliff listed before the map it reads. Paths are
// matched as files ("sub/../m1.raw" writes "./m1_w.dat").
const char* kShardManifest = R"([cliff early]
dat = m7.dat
output = m7.bmp
)"
                             R"([map m0]
raw = m0.raw
[map m1]
raw = sub/../m1.raw
water = m1.wtr
[map m2]
raw = m2.raw
water = m2.wtr
[map m3]
raw = m3.raw
[map m4]
raw = m4.raw
[map m5]
raw = m5.raw
[map m6]
raw = m6.raw
water = m6.wtr
[map m7]
raw = m7.raw
[cliff m0]
dat = m0.dat
output = m0.bmp
[preview m1]
dat = ./m1_w.dat
output = m1.png
[preview m2 over m5]
dat = m2_w.dat
terrain = m5.dat
output = m2.png
[banks a]
wtr = a.wtr
output = a.sl
[banks b]
wtr = b.wtr
output = b.sl
[preview m6]
dat = m6_w.dat
output = m6.png
[import m3]
image = dems/m3.tif
output = m3.raw
[export m3]
dat = m3.dat
output = m3.tif
like = m3.raw.hdr
)";

std::size_t IndexOf(const BatchManifest& manifest, const std::string& label)
{
    for (std::size_t i = 0; i < manifest.jobs.size(); ++i)
        if (std::string(BatchJobKindName(manifest.jobs[i].kind)) + " " + manifest.jobs[i].name == label)
            return i;
    ADD_FAILURE() << "no job " << label;
    return 0;
}

// The slice of `shard.count` that holds the job, and its place in that slice.
std::pair<int, std::size_t> SliceOf(const BatchManifest& manifest, int count, std::size_t job)
{
    for (int k = 1; k <= count; ++k)
    {
        const std::vector<std::size_t> slice = BatchShardJobs(manifest, BatchShard{k, count});
        if (const auto at = std::find(slice.begin(), slice.end(), job); at != slice.end())
            return {k, std::size_t(at - slice.begin())};
    }
    return {0, 0};
}
} // namespace

TEST(BatchShard, SlicesAreDisjointCoverEveryJobAndKeepReadersAfterTheirMap)
{
    const BatchManifest manifest = Parse(kShardManifest);
    ASSERT_EQ(manifest.jobs.size(), 17u);
    const std::vector<std::pair<std::string, std::string>> readerAndMap = {
        {"cliff early", "map m7"}, {"cliff m0", "map m0"},           {"preview m1", "map m1"},
        {"preview m6", "map m6"},  {"preview m2 over m5", "map m2"}, {"preview m2 over m5", "map m5"},
        {"map m3", "import m3"},   {"export m3", "map m3"},          {"export m3", "import m3"},
    };
    for (int count : {1, 2, 3, 7})
    {
        SCOPED_TRACE("N = " + std::to_string(count));
        std::vector<int> seen(manifest.jobs.size(), 0);
        std::size_t total = 0;
        for (int k = 1; k <= count; ++k)
        {
            const std::vector<std::size_t> slice = BatchShardJobs(manifest, BatchShard{k, count});
            EXPECT_EQ(slice, BatchShardJobs(manifest, BatchShard{k, count})); // stable
            total += slice.size();
            for (std::size_t job : slice)
                ++seen[job];
            EXPECT_FALSE(slice.empty()) << "slice " << k; // nine groups fill up to nine slices
        }
        EXPECT_EQ(total, manifest.jobs.size());
        EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; }));
        for (const auto& [reader, map] : readerAndMap)
        {
            const auto [readerSlice, readerPlace] = SliceOf(manifest, count, IndexOf(manifest, reader));
            const auto [mapSlice, mapPlace] = SliceOf(manifest, count, IndexOf(manifest, map));
            EXPECT_EQ(readerSlice, mapSlice) << reader << " / " << map;
            EXPECT_GT(readerPlace, mapPlace) << reader << " runs after " << map;
        }
    }
    // One slice is the whole manifest in the order it runs unsharded.
    EXPECT_EQ(BatchShardJobs(manifest, BatchShard{1, 1}), BatchRunOrder(manifest));
}

TEST(BatchShard, RunOrderKeepsTheFileOrderButForReadersBeforeTheirMap)
{
    const BatchManifest manifest = Parse(kShardManifest);
    const std::vector<std::size_t> order = BatchRunOrder(manifest);
    // The early cliff waits for m7 and runs right after it, map m3 for the import of its RAW
    // listed last; everything else keeps its place.
    const std::vector<std::size_t> expected = {1, 2, 3, 5, 6, 7, 8, 0, 9, 10, 11, 12, 13, 14, 15, 4, 16};
    EXPECT_EQ(order, expected);
}

TEST(BatchShard, ReadsKOfNAndRefusesTheRest)
{
    const StatusOr<BatchShard> shard = ParseBatchShard("3/7");
    ASSERT_TRUE(shard);
    EXPECT_EQ(shard->index, 3);
    EXPECT_EQ(shard->count, 7);
    EXPECT_TRUE(ParseBatchShard("1/1"));
    for (const char* bad : {"0/3", "4/3", "1/0", "-1/3", "3", "a/b", "1/2/3", "/3", ""})
    {
        const StatusOr<BatchShard> refused = ParseBatchShard(bad);
        EXPECT_FALSE(refused) << bad;
        EXPECT_NE(refused.status.message.find(bad), std::string::npos) << refused.status.message;
    }
}
