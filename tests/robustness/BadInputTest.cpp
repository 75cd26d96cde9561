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

class BadInput : public TempFolderTest
{
protected:
    // Runs the command, expects `exitCode` and `message` on stderr, and that `output` still
    // holds what it held before (or still does not exist) with no temporary file beside it.
    void expectRefused(const std::string& arguments, int exitCode, const std::string& message,
                       const std::string& output)
    {
        const bool existed = fs::exists(output);
        const std::string before = existed ? ReadText(output) : std::string();
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << "stderr: " << run.err << "\nexpected: " << message;
        EXPECT_EQ(run.err.rfind("altimo-cli: ", 0), 0u) << run.err;
        EXPECT_EQ(fs::exists(output), existed) << output;
        if (existed)
        {
            EXPECT_EQ(ReadText(output), before) << output;
        }
        EXPECT_TRUE(strayTemporaries().empty());
    }
    std::string old(const std::string& name)
    {
        WriteText(path(name), "older output");
        return path(name);
    }
};
} // namespace

TEST_F(BadInput, HeightFiles)
{
    const std::vector<std::uint8_t> good = HeightFile(path("good.dat"), 130, 70);
    const std::string raw = old("out.raw");
    const std::string bmp = old("cliff.bmp");
    const std::string invalid = "not a valid height file";

    expectRefused("dat-decode " + path("missing.dat") + " -o " + raw, 1, "cannot open the file", raw);

    // A header claiming 65536 x 32768 samples (2^31) in a file of a few hundred bytes.
    std::vector<std::uint8_t> huge = good;
    PutLe(huge, 0, 65536, 4);
    PutLe(huge, 4, 32768, 4);
    PutLe(huge, 8, 1024, 4);
    PutLe(huge, 12, 512, 4);
    WriteBytes(path("huge.dat"), huge);
    expectRefused("dat-decode " + path("huge.dat") + " -o " + raw, 1, invalid, raw);
    expectRefused("cliff " + path("huge.dat") + " -o " + bmp, 1, "Can not open height DAT file", bmp);

    // A tile whose code is damaged (its recorded length cut to 3 bytes): it no longer decodes to
    // 4096 samples within its length.
    std::vector<std::uint8_t> corrupt = good;
    const std::uint32_t first = corrupt[24] | corrupt[25] << 8 | corrupt[26] << 16 | std::uint32_t(corrupt[27]) << 24;
    PutLe(corrupt, first, 3, 2);
    WriteBytes(path("corrupt.dat"), corrupt);
    expectRefused("dat-decode " + path("corrupt.dat") + " -o " + raw, 1, invalid, raw);
    expectRefused("cliff " + path("corrupt.dat") + " -o " + bmp, 1, "Height DAT file is corrupt", bmp);

    // The good file itself goes through, so the refusals above are the damage's doing.
    EXPECT_EQ(runCli("dat-decode " + path("good.dat") + " -o " + raw).exitCode, 0);
    EXPECT_EQ(ReadText(raw).size(), 130u * 70u * 2u);
}

TEST_F(BadInput, WaterMasks)
{
    const std::vector<std::uint8_t> good = Lake(40, 30, 16);
    const std::string sl = old("out.sl");
    const std::string bmp = old("out.bmp");
    const std::string invalid = std::string(kInvalidWtrCaption) + ": ";

    expectRefused("banks " + path("missing.wtr") + " -o " + sl, 1, "Can not open WTR file: ", sl);

    std::vector<std::uint8_t> magic = good;
    magic[0] = 'X';
    WriteBytes(path("magic.wtr"), magic);
    expectRefused("banks " + path("magic.wtr") + " -o " + sl, 1, invalid + path("magic.wtr"), sl);

    // A table longer than the file.
    WriteBytes(path("truncated.wtr"), {good.begin(), good.begin() + 40});
    expectRefused("wtr-decode " + path("truncated.wtr") + " -o " + bmp, 1, invalid, bmp);

    // A block whose code is damaged: the file loads, the block is refused when decoded.
    std::vector<std::uint8_t> damaged = good;
    std::fill(damaged.end() - 4, damaged.end(), 0xFF);
    WriteBytes(path("damaged.wtr"), damaged);
    expectRefused("wtr-decode " + path("damaged.wtr") + " -o " + bmp, 1, "corrupt blocks", bmp);
    expectRefused("banks " + path("damaged.wtr") + " -o " + sl + " --scale 1 --min-river-size 2", 1,
                  invalid + path("damaged.wtr") + " (1 corrupt blocks)", sl);

    // 100000 x 100000 cells, every block absent: a legitimate 5 KB file. The shoreline job
    // refuses the 10^10-pixel water image before allocating it; the decoder refuses the BMP.
    WriteBytes(path("vast.wtr"), testcli::EmptyWtr(100000, 100000, 4096));
    expectRefused("banks " + path("vast.wtr") + " -o " + sl + " --scale 1", 1, "larger than 32768 x 32768 pixels", sl);
    expectRefused("wtr-decode " + path("vast.wtr") + " -o " + bmp, 1, "too large for a BMP file", bmp);

    // A mask so large in metres that 32-bit shoreline coordinates would wrap.
    expectRefused("banks " + path("vast.wtr") + " -o " + sl + " --scale 50 --water-pixel-size 10000", 1,
                  "too large in metres", sl);

    // The good mask goes through.
    WriteBytes(path("good.wtr"), good);
    EXPECT_EQ(runCli("banks " + path("good.wtr") + " -o " + sl + " --scale 1 --min-river-size 2").exitCode, 0);
    EXPECT_NE(ReadText(sl), "older output");
}

TEST_F(BadInput, Images)
{
    const std::string wtr = old("out.wtr");
    WriteText(path("text.bmp"), "this is not an image at all");
    expectRefused("wtr-encode " + path("text.bmp") + " -o " + wtr, 1, "not a BMP or PNG image", wtr);
    expectRefused("wtr-encode " + path("missing.png") + " -o " + wtr, 1, "cannot open", wtr);

    // One refusal of the BMP reader and two of the PNG reader (a header claiming a million by a
    // million pixels, a cut file); the other header variants are the readers' own tests.
    testbmp::Layout rle;
    rle.compression = 1; // run-length
    WriteBytes(path("rle.bmp"), testbmp::MakeBmp(rle, [](int, int) { return 0u; }));
    expectRefused("wtr-encode " + path("rle.bmp") + " -o " + wtr, 1, "compressed BMP files are not supported", wtr);
    std::vector<std::uint8_t> pixels(16 * 16, 7);
    ASSERT_TRUE(SavePng(path("small.png"), pixels.data(), 16, 16, 1));
    std::vector<std::uint8_t> png = testcli::ReadBytes(path("small.png"));
    for (const int at : {16, 20})
        WriteBe32(png.data() + at, 1000000);
    WriteBe32(png.data() + 29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17))); // the header's checksum
    WriteBytes(path("vast.png"), png);
    expectRefused("wtr-encode " + path("vast.png") + " -o " + wtr, 1, "the PNG claims a size its file cannot hold",
                  wtr);
    WriteBytes(path("truncated.png"), {png.begin(), png.begin() + 40});
    expectRefused("wtr-encode " + path("truncated.png") + " -o " + wtr, 1, path("truncated.png") + ": ", wtr);

    // The small PNG itself goes through.
    EXPECT_EQ(runCli("wtr-encode " + path("small.png") + " -o " + wtr).exitCode, 0);
}

TEST_F(BadInput, ProcessInputs)
{
    const std::string dat = old("map.dat");
    const std::string waterDat = old("map_w.dat");
    const std::string raw = path("map.raw");
    WriteText(raw, std::string(std::size_t(256) * 256 * 2, '\x10'));
    const std::string size = " --width 256 --height 256";

    expectRefused("process " + path("missing.raw") + size, 1, "Can not open RAW file", path("missing.dat"));
    WriteText(path("short.raw"), std::string(std::size_t(256) * 256 * 2 - 1, '\x10'));
    expectRefused("process " + path("short.raw") + size, 1,
                  "Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW", path("short.dat"));
    expectRefused("process " + raw + " --width 256 --height 257", 1,
                  "Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW", dat);
    // A lever or water file that cannot be used fails the job before anything is written.
    WriteText(path("bad.wtr"), "AWTR but nothing else");
    std::vector<std::uint8_t> damaged = Lake(512, 512, 64);
    std::fill(damaged.end() - 4, damaged.end(), 0xFF);
    WriteBytes(path("damaged.wtr"), damaged);
    std::vector<std::uint8_t> lake = Lake(10, 10, 4);
    WriteBytes(path("small.wtr"), lake);
    ASSERT_EQ(runCli("wtr-decode " + path("small.wtr") + " -o " + path("lever.bmp")).exitCode, 0);
    struct Unusable
    {
        std::string option;
        std::string message;
        std::string warning; // with --keep-going
    };
    const Unusable unusable[] = {
        {" --water " + path("nosuch.wtr"), path("nosuch.wtr") + ": cannot open the water mask: No such file or directory",
         "can not open the water mask " + path("nosuch.wtr") + "; " + path("map") + "_w.dat not written"},
        {" --water " + path("bad.wtr"), path("bad.wtr") + ": Invalid WTR file",
         "is not a valid WTR file; " + path("map") + "_w.dat not written"},
        // A mask that loads but holds a damaged block is refused the same way, not read as dry land.
        {" --scale 2 --water " + path("damaged.wtr"), path("damaged.wtr") + ": Invalid WTR file (1 corrupt blocks)",
         "corrupt blocks; " + path("map") + "_w.dat not written"},
        {" --lever " + path("bad.wtr"), path("bad.wtr") + ": not a usable lever bitmap", "could not read the lever bitmap"},
        {" --lever " + path("lever.bmp"),
         path("lever.bmp") + ": Lever bitmap size is different from height map (the bitmap is 10 x 10, the map 256 x 256)",
         "the map 256 x 256); no levering"},
    };
    for (const Unusable& u : unusable)
    {
        WriteText(dat, "older output");
        expectRefused("process " + raw + size + u.option, 1, u.message, dat);
        EXPECT_EQ(ReadText(waterDat), "older output");

        // --keep-going: the stage is skipped with a warning as the desktop does; the height file
        // is written, an older water file is left and named as no longer matching.
        const CliRun run = runCli("process " + raw + size + u.option + " --keep-going --json");
        EXPECT_EQ(run.exitCode, 0) << u.option << "\n" << run.err;
        EXPECT_NE(run.err.find("warning: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(u.warning), std::string::npos) << run.err;
        EXPECT_NE(run.out.find(u.warning), std::string::npos) << run.out;
        EXPECT_NE(ReadText(dat), "older output");
        EXPECT_EQ(ReadText(waterDat), "older output");
        if (u.option.find("--water") != std::string::npos)
        {
            EXPECT_NE(run.err.find("the older " + waterDat + " was left as it was"), std::string::npos) << run.err;
        }
    }
    EXPECT_TRUE(strayTemporaries().empty());
}

// Mistyped names get the nearest valid one, outputs must be named for what they hold, and masks
// whose blocks do not fit the map or the water image are named (the runs themselves go on).
TEST_F(BadInput, NamesAndMisfitMasks)
{
    HeightFile(path("good.dat"), 130, 70);
    const std::string raw = path("map.raw");
    WriteText(raw, std::string(std::size_t(256) * 256 * 2, '\x10'));
    WriteBytes(path("lake64.wtr"), Lake(512, 512, 64));
    // (256 - 1) * 4 cells a side: the mask of a 256-sample map at scale 4.
    WriteBytes(path("fit.wtr"), Lake(1020, 1020, 204));
    const std::string process = "process " + raw + " --width 256 --height 256 --water " + path("fit.wtr");
    const std::string banks = "banks " + path("lake64.wtr") + " -o " + path("s.sl");
    struct Case
    {
        std::string arguments;
        int exitCode;
        std::string message;
        bool shown; // false: the message must not appear
    };
    const Case cases[] = {
        {"proces " + raw, 2, "unknown command 'proces'; did you mean 'process'?", true},
        {"process " + raw + " --widht 256", 2, "process: unknown option '--widht'; did you mean '--width'?", true},
        {"preview " + path("good.dat") + " -o " + path("x.jpg"), 2, path("x.jpg") + ": the output is a PNG picture or a GeoTIFF; name it .png or .tif or .tiff", true},
        {"cliff " + path("good.dat") + " -o " + path("x.PNG"), 2, path("x.PNG") + ": the output is an 8-bit BMP or a GeoTIFF; name it .bmp or .tif or .tiff", true},
        {"cliff " + path("good.dat") + " -o " + path("x.BMP"), 0, "name it", false},
        {"cliff " + path("good.dat") + " -o /dev/null", 0, "name it", false},
        {banks + " --tessellation 4 --scale 4", 0, "warning", false},
        {banks + " --scale 5", 0,
         path("lake64.wtr") + ": blocks of 64 cells at scale 5 are 12.8 water-image pixels, not a whole number", true},
        // Only sizes that fit: the 512-cell mask has no blocks at scale 5, so the sides that do.
        {banks + " --scale 5", 0, "512 is not a multiple of scale 5: 510 or 515 cells fit", true},
        {banks + " --scale 5", 0, "--block-size", false},
        {process + " --scale 4", 0, "does not cover", false},
        {process + " --scale 5", 0,
         path("fit.wtr") + ": the water mask of 1020 x 1020 cells does not cover the 256 x 256 map at scale 5:", true},
        {process + " --scale 5", 0,
         "a mask of 1275 x 1275 cells fits the map (wtr-encode --scale 5 makes its blocks), and this mask fits it at "
         "--scale 4",
         true},
    };
    for (const Case& c : cases)
    {
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        EXPECT_EQ(run.err.find(c.message) != std::string::npos, c.shown) << c.arguments << "\n" << run.err;
    }
    EXPECT_FALSE(fs::exists(path("x.jpg")));
    EXPECT_FALSE(fs::exists(path("x.PNG")));
}

// One voice for every command: a missing input, and an output whose folder is missing, are named
// with the path, what went wrong and the system's reason; in a batch the job's name comes first.
TEST_F(BadInput, MissingFilesAreNamedWithTheSystemsReason)
{
    const std::string missing = path("nosuch");
    const std::string folder = path("nodir") + "/";
    HeightFile(path("map.dat"), 256, 256);
    WriteBytes(path("mask.wtr"), Lake(1280, 1280, 256));
    WriteBytes(path("map.raw"), std::vector<std::uint8_t>(2 * 256 * 256, 7));
    const std::vector<std::uint8_t> grey(256 * 256, 128);
    ASSERT_TRUE(SavePng(path("grey.png"), grey.data(), 256, 256, 1));
    const std::string reason = ": No such file or directory";

    const std::pair<std::string, std::string> inputs[] = {
        {"process " + missing + ".raw --width 256 --height 256", missing + ".raw: Can not open RAW file"},
        {"banks " + missing + ".wtr -o " + path("x.sl"), missing + ".wtr: Can not open WTR file"},
        {"cliff " + missing + ".dat -o " + path("x.bmp"), missing + ".dat: Can not open height DAT file"},
        {"dat-info " + missing + ".dat", missing + ".dat: cannot open the file"},
        {"dat-decode " + missing + ".dat -o " + path("x.raw"), missing + ".dat: cannot open the file"},
        {"wtr-encode " + missing + ".png -o " + path("x.wtr"), missing + ".png: cannot open the file"},
        {"wtr-decode " + missing + ".wtr -o " + path("x.bmp"), missing + ".wtr: Can not open WTR file"},
        {"preview " + missing + ".dat -o " + path("x.png"), missing + ".dat: cannot open the file"},
        {"import " + missing + ".png -o " + path("x.raw"), missing + ".png: cannot open the file"},
        {"export " + missing + ".dat -o " + path("x.png"), missing + ".dat: cannot open the file"},
        {"batch " + missing + ".ini", missing + ".ini: cannot open the manifest"},
    };
    for (const auto& [arguments, message] : inputs)
        expectRefused(arguments, arguments.starts_with("batch") ? 2 : 1, message + reason, path("x.out"));

    const std::pair<std::string, std::string> outputs[] = {
        {"process " + path("map.raw") + " --width 256 --height 256 -o " + folder + "m", "m.dat: cannot write the file"},
        {"banks " + path("mask.wtr") + " -o " + folder + "x.sl", "x.sl: The file could not be written"},
        {"banks " + path("mask.wtr") + " -o " + path("x.sl") + " --preview " + folder + "x.png",
         "x.png: cannot write the file"},
        {"cliff " + path("map.dat") + " -o " + folder + "x.bmp", "x.bmp: Can not write cliff bitmap"},
        {"dat-decode " + path("map.dat") + " -o " + folder + "x.raw", "x.raw: cannot write the file"},
        {"wtr-encode " + path("grey.png") + " -o " + folder + "x.wtr", "x.wtr: cannot write the file"},
        {"wtr-decode " + path("mask.wtr") + " -o " + folder + "x.bmp", "x.bmp: cannot write the file"},
        {"preview " + path("map.dat") + " -o " + folder + "x.png", "x.png: cannot write the file"},
        {"import " + path("grey.png") + " -o " + folder + "x.raw", "x.raw: cannot write the file"},
        {"export " + path("map.dat") + " -o " + folder + "x.png", "x.png: cannot write the file"},
    };
    for (const auto& [arguments, message] : outputs)
        expectRefused(arguments, 1, folder + message + reason, folder);

    WriteText(path("jobs.ini"), "[cliff c]\ndat = map.dat\noutput = nodir/c.bmp\n"
                                "[banks b]\nwtr = mask.wtr\noutput = nodir/b.sl\n"
                                "[preview p]\ndat = map.dat\noutput = nodir/p.png\n");
    const CliRun batch = runCli("batch " + path("jobs.ini"));
    EXPECT_EQ(batch.exitCode, 1);
    for (const std::string expected : {"cliff c: " + folder + "c.bmp: Can not write cliff bitmap" + reason,
                                       "banks b: " + folder + "b.sl: The file could not be written" + reason,
                                       "preview p: " + folder + "p.png: cannot write the file" + reason})
        EXPECT_NE(batch.err.find("altimo-cli: " + expected), std::string::npos) << expected << "\n" << batch.err;
}
