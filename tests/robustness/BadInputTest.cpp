// Every class of bad input that docs/ROBUSTNESS.md lists, through the command line as a script
// meets it: the exit status, the message on stderr, and that nothing else changed (the output
// file keeps its older content, or is not created, and no temporary file is left).
#include "RobustnessTestSupport.h"
#include "codec/HeightDat.h"
#include "support/BitMask.h"
#include "tools/Image.h"
#include "support/WtrFormat.h"
#include "support/WtrWriter.h"
#include "tests/common/TestBmp.h"

#include <zlib.h>

using namespace robustness;
using testcli::PutLe;
using testcli::Refusal;

namespace
{
std::vector<std::uint8_t> Lake(int width, int height, int blockSize)
{
    const std::vector<std::uint8_t> cells = testcli::MaskCells(width, height, [&](int x, int z) {
        return (x - width / 2) * (x - width / 2) + (z - height / 2) * (z - height / 2) < width * width / 9 ? 15 : 0;
    });
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(EncodeWtr(cells.data(), width, height, blockSize, bytes).ok());
    return bytes;
}

std::vector<std::uint8_t> HeightFile(const std::string& path, int width, int height)
{
    const std::vector<std::uint16_t> samples = testcli::TestHeights(width, height, 1);
    EXPECT_TRUE(WriteHeightDat(path, {samples.data(), width, height}, 50.0f, 1));
    return testcli::ReadBytes(path);
}

// The inputs of every case below, good and damaged, in the test's folder.
class BadInput : public TempFolderTest
{
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        const std::vector<std::uint8_t> good = HeightFile(path("good.dat"), 130, 70);
        HeightFile(path("map.dat"), 256, 256);
        // A header claiming 65536 x 32768 samples (2^31) in a file of a few hundred bytes.
        std::vector<std::uint8_t> bytes = good;
        for (const auto& [at, value] : {std::pair{0, 65536}, {4, 32768}, {8, 1024}, {12, 512}})
            PutLe(bytes, std::size_t(at), std::uint64_t(value), 4);
        WriteBytes(path("huge.dat"), bytes);
        // A tile whose code is damaged (its recorded length cut to 3 bytes): it no longer decodes
        // to 4096 samples within its length.
        bytes = good;
        PutLe(bytes, testcli::GetLe(bytes, 24, 4), 3, 2);
        WriteBytes(path("corrupt.dat"), bytes);

        const std::vector<std::uint8_t> lake = Lake(40, 30, 16);
        WriteBytes(path("good.wtr"), lake);
        bytes = lake;
        bytes[0] = 'X';
        WriteBytes(path("magic.wtr"), bytes);
        WriteBytes(path("truncated.wtr"), {lake.begin(), lake.begin() + 40}); // a table longer than the file
        // A block whose code is damaged: the file loads, the block is refused when decoded.
        bytes = lake;
        std::fill(bytes.end() - 4, bytes.end(), 0xFF);
        WriteBytes(path("damaged.wtr"), bytes);
        // 100000 x 100000 cells, every block absent: a legitimate 5 KB file.
        WriteBytes(path("vast.wtr"), testcli::EmptyWtr(100000, 100000, 4096));
        WriteBytes(path("mask.wtr"), Lake(1280, 1280, 256));
        WriteBytes(path("lake64.wtr"), Lake(512, 512, 64));
        // (256 - 1) * 4 cells a side: the mask of a 256-sample map at scale 4.
        WriteBytes(path("fit.wtr"), Lake(1020, 1020, 204));

        WriteText(path("text.bmp"), "this is not an image at all");
        testbmp::Layout rle;
        rle.compression = 1; // run-length
        WriteBytes(path("rle.bmp"), testbmp::MakeBmp(rle, [](int, int) { return 0u; }));
        std::vector<std::uint8_t> pixels(16 * 16, 7);
        ASSERT_TRUE(SavePng(path("small.png"), pixels.data(), 16, 16, 1));
        pixels.assign(256 * 256, 128);
        ASSERT_TRUE(SavePng(path("grey.png"), pixels.data(), 256, 256, 1));
        // A header claiming a million by a million pixels, with its checksum, and a cut file.
        bytes = testcli::ReadBytes(path("small.png"));
        for (const int at : {16, 20})
            WriteBe32(bytes.data() + at, 1000000);
        WriteBe32(bytes.data() + 29, static_cast<std::uint32_t>(crc32(0, bytes.data() + 12, 17)));
        WriteBytes(path("vast.png"), bytes);
        WriteBytes(path("truncated.png"), {bytes.begin(), bytes.begin() + 40});

        WriteText(path("map.raw"), std::string(std::size_t(256) * 256 * 2, '\x10'));
        WriteText(path("short.raw"), std::string(std::size_t(256) * 256 * 2 - 1, '\x10'));
        for (const char* output : {"out.raw", "out.bmp", "out.sl", "out.wtr", "out.png"})
            WriteText(path(output), "older output");
    }
};

const std::string kNoSuch = ": No such file or directory";
const std::string kInvalidWtr = std::string(kInvalidWtrCaption) + ": ";
const std::string kRawSize = "Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW";

const Refusal kRefusals[] = {
    // One voice for every command: a missing input is named with the path, what went wrong and
    // the system's reason.
    {"MissingRaw", "process @nosuch.raw --width 256 --height 256", 1, "@nosuch.raw: Can not open RAW file" + kNoSuch},
    {"MissingMaskOfBanks", "banks @nosuch.wtr -o @out.sl", 1, "@nosuch.wtr: Can not open WTR file" + kNoSuch},
    {"MissingDatOfCliff", "cliff @nosuch.dat -o @out.bmp", 1, "@nosuch.dat: Can not open height DAT file" + kNoSuch},
    {"MissingDatOfDatInfo", "dat-info @nosuch.dat", 1, "@nosuch.dat: cannot open the file" + kNoSuch},
    {"MissingDatOfDatDecode", "dat-decode @nosuch.dat -o @out.raw", 1, "@nosuch.dat: cannot open the file" + kNoSuch},
    {"MissingImageOfWtrEncode", "wtr-encode @nosuch.png -o @out.wtr", 1, "@nosuch.png: cannot open the file" + kNoSuch},
    {"MissingMaskOfWtrDecode", "wtr-decode @nosuch.wtr -o @out.bmp", 1, "@nosuch.wtr: Can not open WTR file" + kNoSuch},
    {"MissingDatOfPreview", "preview @nosuch.dat -o @out.png", 1, "@nosuch.dat: cannot open the file" + kNoSuch},
    {"MissingImageOfImport", "import @nosuch.png -o @out.raw", 1, "@nosuch.png: cannot open the file" + kNoSuch},
    {"MissingDatOfExport", "export @nosuch.dat -o @out.png", 1, "@nosuch.dat: cannot open the file" + kNoSuch},
    {"MissingManifest", "batch @nosuch.ini", 2, "@nosuch.ini: cannot open the manifest" + kNoSuch},
    // And so is an output whose folder is missing.
    {"MissingFolderOfProcess", "process @map.raw --width 256 --height 256 -o @nodir/m", 1,
     "@nodir/m.dat: cannot write the file" + kNoSuch},
    {"MissingFolderOfBanks", "banks @mask.wtr -o @nodir/x.sl", 1,
     "@nodir/x.sl: The file could not be written" + kNoSuch},
    // (The shorelines are written before the preview.)
    {"MissingFolderOfBanksPreview", "banks @mask.wtr -o @x.sl --preview @nodir/x.png", 1,
     "@nodir/x.png: cannot write the file" + kNoSuch, "x.sl"},
    {"MissingFolderOfCliff", "cliff @map.dat -o @nodir/x.bmp", 1, "@nodir/x.bmp: Can not write cliff bitmap" + kNoSuch},
    {"MissingFolderOfDatDecode", "dat-decode @map.dat -o @nodir/x.raw", 1,
     "@nodir/x.raw: cannot write the file" + kNoSuch},
    {"MissingFolderOfWtrEncode", "wtr-encode @grey.png -o @nodir/x.wtr", 1,
     "@nodir/x.wtr: cannot write the file" + kNoSuch},
    {"MissingFolderOfWtrDecode", "wtr-decode @mask.wtr -o @nodir/x.bmp", 1,
     "@nodir/x.bmp: cannot write the file" + kNoSuch},
    {"MissingFolderOfPreview", "preview @map.dat -o @nodir/x.png", 1, "@nodir/x.png: cannot write the file" + kNoSuch},
    {"MissingFolderOfImport", "import @grey.png -o @nodir/x.raw", 1, "@nodir/x.raw: cannot write the file" + kNoSuch},
    {"MissingFolderOfExport", "export @map.dat -o @nodir/x.png", 1, "@nodir/x.png: cannot write the file" + kNoSuch},

    // Height files.
    {"HugeHeaderOfDatDecode", "dat-decode @huge.dat -o @out.raw", 1, "not a valid height file"},
    {"HugeHeaderOfCliff", "cliff @huge.dat -o @out.bmp", 1, "Can not open height DAT file"},
    {"CorruptTileOfDatDecode", "dat-decode @corrupt.dat -o @out.raw", 1, "not a valid height file"},
    {"CorruptTileOfCliff", "cliff @corrupt.dat -o @out.bmp", 1, "Height DAT file is corrupt"},
    // RAW maps.
    {"ShortRaw", "process @short.raw --width 256 --height 256", 1, kRawSize},
    {"RawOfAnotherSize", "process @map.raw --width 256 --height 257", 1, kRawSize},
    // Water masks.
    {"MaskWithoutTheMagic", "banks @magic.wtr -o @out.sl", 1, kInvalidWtr + "@magic.wtr"},
    {"MaskTableLongerThanTheFile", "wtr-decode @truncated.wtr -o @out.bmp", 1, kInvalidWtr},
    {"DamagedBlockOfWtrDecode", "wtr-decode @damaged.wtr -o @out.bmp", 1, "corrupt blocks"},
    {"DamagedBlockOfBanks", "banks @damaged.wtr -o @out.sl --scale 1 --min-river-size 2", 1,
     kInvalidWtr + "@damaged.wtr (1 corrupt blocks)"},
    // The shoreline job refuses the 10^10-pixel water image before allocating it; the decoder
    // refuses the BMP; shoreline coordinates of 32 bits would wrap on a mask so large in metres.
    {"VastMaskOfBanks", "banks @vast.wtr -o @out.sl --scale 1", 1, "larger than 32768 x 32768 pixels"},
    {"VastMaskOfWtrDecode", "wtr-decode @vast.wtr -o @out.bmp", 1, "too large for a BMP file"},
    {"VastMaskInMetres", "banks @vast.wtr -o @out.sl --scale 50 --water-pixel-size 10000", 1, "too large in metres"},
    // Images: one refusal of the BMP reader and two of the PNG reader; the other header variants
    // are the readers' own tests.
    {"TextAsAnImage", "wtr-encode @text.bmp -o @out.wtr", 1, "not a BMP or PNG image"},
    {"RunLengthBmp", "wtr-encode @rle.bmp -o @out.wtr", 1, "compressed BMP files are not supported"},
    {"VastPng", "wtr-encode @vast.png -o @out.wtr", 1, "the PNG claims a size its file cannot hold"},
    {"TruncatedPng", "wtr-encode @truncated.png -o @out.wtr", 1, "@truncated.png: "},
};

using RefusedInput = testcli::Rows<BadInput, Refusal>;
} // namespace

TEST_P(RefusedInput, ExitsWithTheReasonAndKeepsTheOutput)
{
    expectRefused(GetParam());
}

INSTANTIATE_TEST_SUITE_P(BadInput, RefusedInput, testing::ValuesIn(kRefusals),
                         testcli::kCaseName);

// The files the refusals above were damaged from go through, so the refusals are the damage's doing.
TEST_F(BadInput, TheUndamagedFilesGoThrough)
{
    EXPECT_EQ(runCli("dat-decode " + path("good.dat") + " -o " + path("out.raw")).exitCode, 0);
    EXPECT_EQ(ReadText(path("out.raw")).size(), 130u * 70u * 2u);
    EXPECT_EQ(runCli("banks " + path("good.wtr") + " -o " + path("out.sl") + " --scale 1 --min-river-size 2").exitCode,
              0);
    EXPECT_NE(ReadText(path("out.sl")), "older output");
    EXPECT_EQ(runCli("wtr-encode " + path("small.png") + " -o " + path("out.wtr")).exitCode, 0);
}

// In a batch the job's name comes before the path, the reason and the system's reason.
TEST_F(BadInput, AMissingFolderInABatchIsNamedWithItsJob)
{
    const std::string folder = path("nodir") + "/";
    WriteText(path("jobs.ini"), "[cliff c]\ndat = map.dat\noutput = nodir/c.bmp\n"
                                "[banks b]\nwtr = mask.wtr\noutput = nodir/b.sl\n"
                                "[preview p]\ndat = map.dat\noutput = nodir/p.png\n");
    const CliRun batch = runCli("batch " + path("jobs.ini"));
    EXPECT_EQ(batch.exitCode, 1);
    for (const std::string& expected : {"cliff c: " + folder + "c.bmp: Can not write cliff bitmap" + kNoSuch,
                                       "banks b: " + folder + "b.sl: The file could not be written" + kNoSuch,
                                       "preview p: " + folder + "p.png: cannot write the file" + kNoSuch})
        EXPECT_NE(batch.err.find("altimo-cli: " + expected), std::string::npos) << expected << "\n" << batch.err;
}

namespace
{
// A lever or water file that cannot be used fails the job before anything is written; with
// --keep-going the stage is skipped with `warning`.
struct Unusable
{
    const char* name;
    std::string option;
    std::string message;
    std::string warning;
};

const Unusable kUnusable[] = {
    {"MissingWaterMask", "--water @nosuch.wtr", "@nosuch.wtr: cannot open the water mask" + kNoSuch,
     "can not open the water mask @nosuch.wtr; @map_w.dat not written"},
    {"WaterMaskThatIsNotOne", "--water @bad.wtr", "@bad.wtr: Invalid WTR file",
     "is not a valid WTR file; @map_w.dat not written"},
    // A mask that loads but holds a damaged block is refused the same way, not read as dry land.
    {"WaterMaskWithADamagedBlock", "--scale 2 --water @damaged64.wtr",
     "@damaged64.wtr: Invalid WTR file (1 corrupt blocks)",
     "corrupt blocks; @map_w.dat not written"},
    {"LeverThatIsNotABitmap", "--lever @bad.wtr", "@bad.wtr: not a usable lever bitmap",
     "could not read the lever bitmap"},
    {"LeverOfAnotherSize", "--lever @lever.bmp",
     "@lever.bmp: Lever bitmap size is different from height map (the bitmap is 10 x 10, the map 256 x 256)",
     "the map 256 x 256); no levering"},
};

class UnusableStage : public BadInput, public testing::WithParamInterface<Unusable>
{
protected:
    void SetUp() override
    {
        BadInput::SetUp();
        WriteText(path("bad.wtr"), "AWTR but nothing else");
        std::vector<std::uint8_t> damaged = testcli::ReadBytes(path("lake64.wtr"));
        std::fill(damaged.end() - 4, damaged.end(), 0xFF);
        WriteBytes(path("damaged64.wtr"), damaged);
        WriteBytes(path("small.wtr"), Lake(10, 10, 4));
        ASSERT_EQ(runCli("wtr-decode " + path("small.wtr") + " -o " + path("lever.bmp")).exitCode, 0);
    }
};
} // namespace

TEST_P(UnusableStage, FailsTheJobOrWithKeepGoingIsSkippedWithAWarning)
{
    const std::string process = "process " + path("map.raw") + " --width 256 --height 256 " + here(GetParam().option);
    const std::string dat = path("map.dat");
    const std::string waterDat = path("map_w.dat");
    const std::string warning = here(GetParam().warning);
    WriteText(dat, "older output");
    WriteText(waterDat, "older output");
    expectRefused(process, 1, here(GetParam().message));

    // --keep-going: the stage is skipped with a warning as the desktop does; the height file is
    // written, an older water file is left and named as no longer matching.
    const CliRun run = runCli(process + " --keep-going --json");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    EXPECT_NE(run.out.find(warning), std::string::npos) << run.out;
    EXPECT_NE(ReadText(dat), "older output");
    EXPECT_EQ(ReadText(waterDat), "older output");
    if (GetParam().option.find("--water") != std::string::npos)
    {
        EXPECT_NE(run.err.find("the older " + waterDat + " was left as it was"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(strayTemporaries().empty());
}

INSTANTIATE_TEST_SUITE_P(BadInput, UnusableStage, testing::ValuesIn(kUnusable),
                         testcli::kCaseName);

namespace
{
// Mistyped names get the nearest valid one, outputs must be named for what they hold, and masks
// whose blocks do not fit the map or the water image are named (the runs themselves go on).
struct Named
{
    const char* name;
    std::string arguments;
    int exitCode;
    std::string message;
    bool shown; // false: the message must not appear
};

const std::string kProcess = "process @map.raw --width 256 --height 256 --water @fit.wtr";
const std::string kBanks = "banks @lake64.wtr -o @s.sl";
const Named kNamed[] = {
    {"MistypedCommand", "proces @map.raw", 2, "unknown command 'proces'; did you mean 'process'?", true},
    {"MistypedOption", "process @map.raw --widht 256", 2, "process: unknown option '--widht'; did you mean '--width'?",
     true},
    {"PreviewAsJpeg", "preview @good.dat -o @x.jpg", 2,
     "@x.jpg: the output is a PNG picture or a GeoTIFF; name it .png or .tif or .tiff", true},
    {"CliffAsPng", "cliff @good.dat -o @x.PNG", 2,
     "@x.PNG: the output is an 8-bit BMP or a GeoTIFF; name it .bmp or .tif or .tiff", true},
    {"CliffAsUpperCaseBmp", "cliff @good.dat -o @x.BMP", 0, "name it", false},
    {"CliffToADevice", "cliff @good.dat -o /dev/null", 0, "name it", false},
    {"BanksAtAFittingScale", kBanks + " --tessellation 4 --scale 4", 0, "warning", false},
    {"BanksBlocksOfPartPixels", kBanks + " --scale 5", 0,
     "@lake64.wtr: blocks of 64 cells at scale 5 are 12.8 water-image pixels, not a whole number", true},
    // Only sizes that fit: the 512-cell mask has no blocks at scale 5, so the sides that do.
    {"BanksSidesThatFit", kBanks + " --scale 5", 0, "512 is not a multiple of scale 5: 510 or 515 cells fit", true},
    {"BanksNoBlockSizeAdvice", kBanks + " --scale 5", 0, "--block-size", false},
    {"ProcessMaskThatCovers", kProcess + " --scale 4", 0, "does not cover", false},
    {"ProcessMaskThatDoesNotCover", kProcess + " --scale 5", 0,
     "@fit.wtr: the water mask of 1020 x 1020 cells does not cover the 256 x 256 map at scale 5:", true},
    {"ProcessMaskAdvice", kProcess + " --scale 5", 0,
     "a mask of 1275 x 1275 cells fits the map (wtr-encode --scale 5 makes its blocks), and this mask fits it at "
     "--scale 4",
     true},
};

using NameOrMisfit = testcli::Rows<BadInput, Named>;
} // namespace

TEST_P(NameOrMisfit, IsNamed)
{
    const Named& c = GetParam();
    const std::vector<std::string> before = names();
    const CliRun run = runCli(here(c.arguments));
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.err.find(here(c.message)) != std::string::npos, c.shown) << run.err;
    if (c.exitCode != 0)
    {
        EXPECT_EQ(names(), before); // a refused run writes nothing
    }
}

INSTANTIATE_TEST_SUITE_P(BadInput, NameOrMisfit, testing::ValuesIn(kNamed),
                         testcli::kCaseName);
