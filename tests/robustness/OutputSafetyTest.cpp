// What the command line does with the paths it is given before and while it writes: an output
// that is one of the job's inputs is refused, links are followed, permissions kept, FIFOs,
// devices and standard output written straight through, long names written, and inputs that
// are folders, devices or unreadable answered with the system's reason.
#include "RobustnessTestSupport.h"
#include "codec/HeightDat.h"
#include "support/WtrWriter.h"
#include "tools/Image.h"

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace robustness;
using testcli::Refusal;

namespace
{
class OutputSafety : public TempFolderTest
{
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        constexpr int kSide = 256;
        std::vector<std::uint16_t> samples(std::size_t(kSide) * kSide);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::uint16_t>((i % kSide) * 200 + (i / kSide) * 37);
        WriteText(path("map.raw"), std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2));
        ASSERT_TRUE(WriteHeightDat(path("map.dat"), {samples.data(), kSide, kSide}, 50.0f, 1));
        const std::vector<std::uint8_t> cells = testcli::MaskCells(kSide, kSide, [](int x, int) { return x < kSide / 2 ? 15 : 0; });
        ASSERT_TRUE(WriteWtr(path("lake.wtr"), cells.data(), kSide, kSide, 64));
        std::vector<std::uint8_t> grey(cells.size(), 90);
        ASSERT_TRUE(SavePng(path("grey.png"), grey.data(), kSide, kSide, 1));
    }
};

// A command whose output is one of its inputs: refused before anything is written, naming it.
const Refusal kSameFiles[] = {
    {"DatDecode", "dat-decode @map.dat -o @map.dat", 2, "is the same file as the input @map.dat"},
    {"Cliff", "cliff @map.dat -o @map.dat", 2, "is the same file as the input @map.dat"},
    {"Preview", "preview @map.dat -o @map.dat", 2, "is the same file as the input @map.dat"},
    {"Export", "export @map.dat -o @map.dat", 2, "is the same file as the input @map.dat"},
    {"Import", "import @grey.png -o @grey.png", 2, "is the same file as the input @grey.png"},
    {"WtrEncode", "wtr-encode @grey.png -o @grey.png", 2, "is the same file as the input @grey.png"},
    {"WtrDecode", "wtr-decode @lake.wtr -o @lake.wtr", 2, "is the same file as the input @lake.wtr"},
    {"Banks", "banks @lake.wtr -o @lake.wtr", 2, "is the same file as the input @lake.wtr"},
    {"BanksPreview", "banks @lake.wtr -o @x.sl --preview @lake.wtr", 2, "is the same file as the input @lake.wtr"},
    // A RAW named ".dat" would become its own height file.
    {"ProcessOfADotDat", "process @same.dat --width 256 --height 256", 2, "is the same file as the input @same.dat"},
    // "<base>_w.dat" linked to the mask the job reads.
    {"ProcessWaterLinkedToTheMask", "process @map.raw --width 256 --height 256 --water @lake.wtr -o @out", 2,
     "is the same file as the input @lake.wtr"},
    // Through a link and through a second hard link the file is the same.
    {"ThroughALink", "dat-decode @map.dat -o @link.raw", 2, "is the same file as the input @map.dat"},
    {"ThroughAHardLink", "dat-decode @map.dat -o @hard.raw", 2, "is the same file as the input @map.dat"},
};

using SameFileAsInput = testcli::Rows<OutputSafety, Refusal>;
} // namespace

TEST_P(SameFileAsInput, IsRefusedAndLeftAsItWas)
{
    WriteText(path("same.dat"), ReadText(path("map.raw")));
    fs::create_symlink(path("lake.wtr"), path("out_w.dat"));
    fs::create_symlink(path("map.dat"), path("link.raw"));
    fs::create_hard_link(path("map.dat"), path("hard.raw"));
    expectRefused(GetParam());
}

INSTANTIATE_TEST_SUITE_P(OutputSafety, SameFileAsInput, testing::ValuesIn(kSameFiles), testcli::kCaseName);

// A batch runs every job through the same entry: each is refused and named on its report line,
// as is an input that is a folder, and the job that can run does, with the warning the banks
// command gives for blocks of 64 cells at scale 5. (No two jobs of a manifest may write one
// file, nor may one read what another was to write over: hence the copies.)
TEST_F(OutputSafety, AnOutputThatIsAnInputIsRefusedInABatchJobByJob)
{
    const std::string dat = path("map.dat");
    const std::string wtr = path("lake.wtr");
    WriteText(path("same.dat"), ReadText(path("map.raw")));
    fs::create_directory(path("folder"));
    const std::string ontoWtr = path("onto.wtr");
    const std::string ontoDat = path("onto.dat");
    WriteText(ontoWtr, ReadText(wtr));
    WriteText(ontoDat, ReadText(dat));
    const std::pair<std::string, std::string> jobs[] = {
        {"[map same]\nraw = same.dat\nwidth = 256\nheight = 256\n", path("same.dat") + ": is the same file as the input"},
        {"[banks onto]\nwtr = onto.wtr\noutput = onto.wtr\n", ontoWtr + ": is the same file as the input " + ontoWtr},
        {"[cliff onto]\ndat = map.dat\noutput = map.dat\n", dat + ": is the same file as the input " + dat},
        {"[preview onto]\ndat = onto.dat\noutput = onto.dat\n", ontoDat + ": is the same file as the input " + ontoDat},
        {"[cliff folder]\ndat = folder\noutput = f.bmp\n", path("folder") + ": is a folder, not a file"},
    };
    std::string manifest = "[banks fine]\nwtr = lake.wtr\noutput = fine.sl\n";
    for (const auto& [section, failure] : jobs)
        manifest += section;
    WriteText(path("jobs.ini"), manifest);
    const std::string before[] = {ReadText(path("same.dat")), ReadText(ontoWtr), ReadText(dat), ReadText(ontoDat)};
    const CliRun batch = runCli("batch " + path("jobs.ini"));
    EXPECT_EQ(batch.exitCode, 1) << batch.err;
    for (const auto& [section, failure] : jobs)
        EXPECT_NE(batch.out.find(": FAILED: " + failure), std::string::npos) << section << batch.out;
    EXPECT_NE(batch.out.find("banks fine: ok with 1 warning"), std::string::npos) << batch.out;
    EXPECT_NE(batch.err.find("banks fine: warning: " + wtr + ": blocks of 64 cells at scale 5"), std::string::npos) << batch.err;
    EXPECT_EQ(ReadText(path("same.dat")), before[0]);
    EXPECT_EQ(ReadText(ontoWtr), before[1]);
    EXPECT_EQ(ReadText(dat), before[2]);
    EXPECT_EQ(ReadText(ontoDat), before[3]);
}

TEST_F(OutputSafety, LinksAreFollowedAndPermissionsKept)
{
    const std::string raw = ReadText(path("map.raw"));
    fs::create_directory(path("sub"));
    WriteText(path("sub/target.raw"), "older");
    fs::create_symlink("sub/target.raw", path("link.raw"));
    ASSERT_EQ(runCli("dat-decode " + path("map.dat") + " -o " + path("link.raw")).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(path("link.raw")));
    EXPECT_EQ(ReadText(path("sub/target.raw")), raw);

    // A dangling link: the file it names is created.
    fs::create_symlink("sub/new.raw", path("dangling.raw"));
    ASSERT_EQ(runCli("dat-decode " + path("map.dat") + " -o " + path("dangling.raw")).exitCode, 0);
    EXPECT_TRUE(fs::is_symlink(path("dangling.raw")));
    EXPECT_EQ(ReadText(path("sub/new.raw")), raw);

    for (const mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0755)})
    {
        WriteText(path("kept.bmp"), "older");
        ASSERT_EQ(::chmod(path("kept.bmp").c_str(), mode), 0);
        ASSERT_EQ(runCli("cliff " + path("map.dat") + " -o " + path("kept.bmp")).exitCode, 0);
        struct stat info{};
        ASSERT_EQ(::stat(path("kept.bmp").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
        EXPECT_EQ(ReadText(path("kept.bmp")).substr(0, 2), "BM");
    }
    EXPECT_TRUE(strayTemporaries().empty());
}

TEST_F(OutputSafety, FifosDevicesAndStandardOutputAreWrittenStraightThrough)
{
    ASSERT_EQ(runCli("dat-decode " + path("map.dat") + " -o " + path("file.raw")).exitCode, 0);
    const std::string expected = ReadText(path("file.raw"));
    ASSERT_EQ(expected.size(), std::size_t(256) * 256 * 2);

    ASSERT_EQ(::mkfifo(path("pipe.raw").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadText(path("pipe.raw")); });
    const CliRun run = runCli("dat-decode " + path("map.dat") + " -o " + path("pipe.raw"));
    reader.join();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(received, expected);
    struct stat info{};
    ASSERT_EQ(::lstat(path("pipe.raw").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    EXPECT_EQ(runCli("dat-decode " + path("map.dat") + " -o /dev/null").exitCode, 0);
    ASSERT_EQ(::lstat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));

    // Standard output holds the file's bytes alone; the summary goes to stderr.
    const testcli::CliRun streamed = testcli::RunCli("dat-decode " + path("map.dat") + " -o -", m_dir);
    EXPECT_EQ(streamed.exitCode, 0) << streamed.err;
    EXPECT_EQ(streamed.out, expected);
    EXPECT_NE(streamed.err.find("wrote -"), std::string::npos) << streamed.err;
    const CliRun bmp = runCli("cliff " + path("map.dat") + " -o /dev/stdout");
    EXPECT_EQ(bmp.exitCode, 0) << bmp.err;
    EXPECT_EQ(bmp.out.substr(0, 2), "BM");

    // Refused before any work: a summary that would share standard output, and height files,
    // which are written with seeks.
    CliRun refused = runCli("cliff " + path("map.dat") + " -o - --json");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("--json"), std::string::npos) << refused.err;
    refused = runCli("process " + path("map.raw") + " --width 256 --height 256 -o -");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("cannot go to a stream"), std::string::npos) << refused.err;
    EXPECT_TRUE(refused.out.empty());
    EXPECT_TRUE(strayTemporaries().empty());
}

TEST_F(OutputSafety, NamesUpToTheFileSystemLimitAreWritten)
{
    for (const std::size_t length : {std::size_t(246), std::size_t(250), std::size_t(255)})
    {
        const std::string name = std::string(length - 4, 'n') + ".raw";
        ASSERT_EQ(name.size(), length);
        const CliRun run = runCli("dat-decode " + path("map.dat") + " -o " + path(name));
        EXPECT_EQ(run.exitCode, 0) << length << ": " << run.err;
        EXPECT_EQ(fs::file_size(path(name)), std::uintmax_t(256) * 256 * 2) << length;
        fs::remove(path(name));
    }
    EXPECT_TRUE(strayTemporaries().empty());
}

TEST_F(OutputSafety, InputsThatAreNotReadableFilesAreNamedWithTheReason)
{
    const std::string commands[] = {"dat-info ", "dat-decode ", "cliff ", "preview ", "export ",
                                    "wtr-decode ", "banks ", "wtr-encode ", "import "};
    fs::create_directory(path("folder"));
    for (const std::string& command : commands)
    {
        const std::string output = command == "dat-info " ? std::string() : " -o " + path("out.png");
        const std::pair<std::string, std::string> inputs[] = {
            {path("folder"), "is a folder, not a file: Is a directory"},
            {"/dev/zero", "is a device or FIFO, not a file: Illegal seek"},
        };
        for (const auto& [input, what] : inputs)
        {
            const CliRun run = runCli(command + input + output);
            EXPECT_EQ(run.exitCode, 1) << command << input << "\n" << run.err;
            EXPECT_EQ(run.err, "altimo-cli: " + input + ": " + what + "\n");
        }
    }
    CliRun run = runCli("process " + path("folder") + " --width 256 --height 256");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(path("folder") + ": is a folder"), std::string::npos) << run.err;

    // Unreadable: the test suite runs as root in CI, where permissions do not stop a read, so
    // the program runs with its privileges dropped.
    ASSERT_EQ(::chmod(m_dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path("map.dat").c_str(), 0), 0);
    const std::string drop = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    if (!drop.empty() && std::system("setpriv --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "running as root without setpriv: the unreadable input cannot be tested";
    const std::string command = drop + ALTIMO_CLI_PATH + " -q dat-info " + path("map.dat") + " 2>" + path("err.txt");
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadText(path("err.txt")), "altimo-cli: " + path("map.dat") + ": cannot read the file: Permission denied\n");
}
