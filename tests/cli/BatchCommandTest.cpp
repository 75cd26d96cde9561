// altimo-cli batch: a run that goes on past a failed map, and the exit codes of bad manifests.
#include "tests/common/CliRunner.h"

namespace
{
using namespace testcli;
class BatchCommand : public testcli::ScratchFolderTest
{
protected:
    // A 256 x 256 RAW map of a gentle slope.
    void writeRaw(const std::string& name, std::size_t samples)
    {
        std::string bytes(samples * 2, '\0');
        for (std::size_t i = 0; i < samples; ++i)
            bytes[2 * i + 1] = static_cast<char>(i % 256 / 2);
        WriteText(path(name), bytes);
    }
};
} // namespace

TEST_F(BatchCommand, GoesOnPastAFailedMapAndReportsEachJob)
{
    writeRaw("good.raw", 256 * 256);
    writeRaw("short.raw", 256 * 255);
    WriteText(path("jobs.ini"), R"([defaults]
width = 256
height = 256

[map good]
raw = good.raw
pixel-size = 20

[map short]
raw = short.raw

[cliff good]
dat = good.dat
output = good_cliff.bmp

[preview good]
dat = good.dat
output = good.png
)");
    const testcli::CliRun result = run("batch " + path("jobs.ini"));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("[1/4] map good: ok: wrote " + path("good.dat")), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("[2/4] map short: FAILED: " + path("short.raw") + ": Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("[3/4] cliff good: ok: wrote " + path("good_cliff.bmp")), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("[4/4] preview good: ok: wrote " + path("good.png")), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("batch: 3 of 4 jobs succeeded"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("; failed: map short"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("altimo-cli: map short: " + path("short.raw") + ": Incorrect file size"), std::string::npos) << result.err;
    EXPECT_TRUE(Exists(path("good.dat")));
    EXPECT_TRUE(Exists(path("good_cliff.bmp")));
    EXPECT_TRUE(Exists(path("good.png")));
    EXPECT_FALSE(Exists(path("short.dat")));
}

TEST_F(BatchCommand, BadManifestsExitTwoBeforeAnyJobRuns)
{
    writeRaw("good.raw", 256 * 256);
    WriteText(path("bad.ini"), "[map good]\nraw = good.raw\nwidth = 256\nheight = 256\n\n[map other]\nbank = 11\n");
    const testcli::CliRun bad = run("batch " + path("bad.ini"));
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "altimo-cli: " + path("bad.ini") + ":7: bank: 11 is outside the range 1..10\n");
    EXPECT_FALSE(Exists(path("good.dat"))); // the good map before the mistake did not run

    const testcli::CliRun missing = run("batch " + path("none.ini"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("none.ini: cannot open the manifest"), std::string::npos) << missing.err;
}

TEST_F(BatchCommand, CheckListsTheJobsWithoutRunningThem)
{
    WriteText(path("jobs.ini"), "[map a]\nraw = a.raw\n[banks a]\nwtr = a.wtr\noutput = a.sl\n");
    const testcli::CliRun result = run("batch --check " + path("jobs.ini"));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, path("jobs.ini") + ": 2 jobs\n[1/2] map a (line 1)\n[2/2] banks a (line 3)\n");
}

TEST_F(BatchCommand, ShardsRunTheirSliceAndTogetherEveryJob)
{
    writeRaw("a.raw", 256 * 256);
    writeRaw("b.raw", 256 * 256);
    WriteText(path("jobs.ini"), R"([defaults]
width = 256
height = 256
[cliff b]
dat = b.dat
output = b_cliff.bmp
[map a]
raw = a.raw
[map b]
raw = b.raw
)");
    const testcli::CliRun first = run("batch " + path("jobs.ini") + " --shard 1/2");
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("batch: shard 1/2: 2 of the manifest's 3 jobs"), std::string::npos) << first.out;
    // The cliff waits for the map it reads, in the same slice.
    EXPECT_NE(first.out.find("[1/2] map b: ok"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("[2/2] cliff b: ok"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("batch: shard 1/2: 2 of 2 jobs succeeded"), std::string::npos) << first.out;
    EXPECT_TRUE(Exists(path("b_cliff.bmp")));
    EXPECT_FALSE(Exists(path("a.dat")));

    const testcli::CliRun second = run("batch --shard=2/2 " + path("jobs.ini"));
    EXPECT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("[1/1] map a: ok"), std::string::npos) << second.out;
    EXPECT_TRUE(Exists(path("a.dat")));

    // More slices than groups: the extra slices are empty and succeed.
    const testcli::CliRun empty = run("batch --check --shard 3/3 " + path("jobs.ini"));
    EXPECT_EQ(empty.exitCode, 0) << empty.err;
    EXPECT_EQ(empty.out, "batch: shard 3/3: 0 of the manifest's 3 jobs\n" + path("jobs.ini") + ": 3 jobs\n");

    const testcli::CliRun bad = run("batch --shard 0/2 " + path("jobs.ini"));
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "altimo-cli: --shard: 0/2: K counts from 1 to N (N at least 1)\n");
}
