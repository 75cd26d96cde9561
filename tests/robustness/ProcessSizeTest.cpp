// process as people call it: -o BASE, the size from an ENVI header or a square file size, the
// byte order, and the numbers in the message for a RAW of the wrong size.
#include "RobustnessTestSupport.h"

#include <cmath>

using namespace robustness;
using testcli::Refusal;

namespace
{
// A smooth terrain of width x height samples in the given byte order.
std::string Terrain(int width, int height, bool bigEndian)
{
    std::string bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const auto v = static_cast<unsigned>(20000 + 3000 * std::sin(x / 20.0) + 2000 * std::cos(y / 30.0));
            const char low = char(v & 0xFF);
            const char high = char(v >> 8);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
    return bytes;
}

std::string Header(int samples, int lines, int byteOrder, int dataType = 12)
{
    return "ENVI\ndescription = {test map}\nsamples = " + std::to_string(samples) + "\nlines = " +
           std::to_string(lines) + "\nbands = 1\nheader offset = 0\ndata type = " + std::to_string(dataType) +
           "\nbyte order = " + std::to_string(byteOrder) + "\n";
}

using ProcessSize = TempFolderTest;

// A RAW of 300 x 260 samples whose size comes from `header` (a file beside it holding
// `contents`) or from `options`, and what the summary names as its source.
struct SizeSource
{
    const char* name;
    std::string raw;
    std::string header;
    std::string contents;
    std::string options;
    std::string source;
};

const SizeSource kSources[] = {
    {"HeaderBesideTheRaw", "a.raw", "a.raw.hdr", Header(300, 260, 0), "", "from the ENVI header @a.raw.hdr"},
    {"HeaderInsteadOfTheRaw", "b.raw", "b.hdr", Header(300, 260, 0), "", "from the ENVI header @b.hdr"},
    // Big-endian samples read in their order give the same height file.
    {"BigEndianHeader", "c.raw", "c.hdr", Header(300, 260, 1), "", "from the ENVI header @c.hdr"},
    {"BigEndianOption", "d.raw", "", "", "--width 300 --height 260 --byte-order big", ""},
};

using SizeFrom = testcli::Rows<ProcessSize, SizeSource>;

const Refusal kRefusals[] = {
    {"NoSizeAnywhere", "process @odd.raw", 1,
     "odd.raw: no --width/--height, no ENVI header (@odd.raw.hdr or @odd.hdr) and the file's 1000 bytes are not 2 n^2 "
     "bytes of a square map (22 x 22 takes 968)"},
    {"HeaderOfAnotherDataType", "process @float.raw", 1, "float.hdr: the ENVI header describes data type 4"},
    {"RawOfAnotherSize", "process @map.raw --width 300 --height 300", 1,
     "map.raw: Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW (the file has 156000 bytes, 300 x 300 "
     "takes 180000; the largest square map it holds is 279 x 279, 155682 bytes)"},
    {"UnknownByteOrder", "process @map.raw --width 300 --height 260 --byte-order middle", 2, "--byte-order"},
};

using SizeRefusal = testcli::Rows<ProcessSize, Refusal>;
} // namespace

TEST_P(SizeFrom, GivesTheHeightFileOfTheSizeGivenAndTheSummarySaysWhere)
{
    const SizeSource& c = GetParam();
    WriteText(path("little.raw"), Terrain(300, 260, false));
    ASSERT_EQ(runCli("process " + path("little.raw") + " --width 300 --height 260 -o " + path("expected")).exitCode, 0);
    WriteText(path(c.raw), Terrain(300, 260, c.header.empty() ? c.options.find("big") != std::string::npos
                                                              : c.contents.find("order = 1") != std::string::npos));
    if (!c.header.empty())
        WriteText(path(c.header), c.contents);
    const CliRun run = testcli::RunCli("process " + path(c.raw) + " " + c.options + " -o " + path("out"), m_dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadText(path("out.dat")), ReadText(path("expected.dat")));
    EXPECT_EQ(run.out.find("size: 300 x 260, " + here(c.source)) != std::string::npos, !c.source.empty()) << run.out;
    EXPECT_EQ(run.err.find("byte-swapped"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(ProcessSize, SizeFrom, testing::ValuesIn(kSources), testcli::kCaseName);

TEST_F(ProcessSize, ASquareFileGivesItsOwnSizeAndSwappedSamplesAWarning)
{
    WriteText(path("square.raw"), Terrain(300, 300, false));
    CliRun run = testcli::RunCli("process " + path("square.raw"), m_dir);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("size: 300 x 300, from the file size (180000 bytes, a square map)"), std::string::npos);
    EXPECT_TRUE(fs::exists(path("square.dat")));

    // Big-endian samples read as little-endian: written as asked, with a warning.
    WriteText(path("swapped.raw"), Terrain(300, 300, true));
    run = runCli("process " + path("swapped.raw"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("warning: " + path("swapped.raw") + ": the samples look byte-swapped"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("--byte-order big"), std::string::npos) << run.err;
}

TEST_P(SizeRefusal, IsNamedWithTheNumbers)
{
    WriteText(path("odd.raw"), std::string(1000, '\x10'));
    WriteText(path("float.raw"), std::string(2 * 300 * 300, '\x10'));
    WriteText(path("float.hdr"), Header(300, 300, 0, 4));
    WriteText(path("map.raw"), std::string(2 * 300 * 260, '\x10'));
    expectRefused(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ProcessSize, SizeRefusal, testing::ValuesIn(kRefusals), testcli::kCaseName);
