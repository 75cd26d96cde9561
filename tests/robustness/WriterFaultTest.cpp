// Every writer goes through AtomicFile: a write that fails at any point (a full disk, injected
// here) leaves the older file byte for byte and no temporary file, and the writer says so.
#include "RobustnessTestSupport.h"
#include "banks/ShorelineFile.h"
#include "cliff/CliffExport.h"
#include "codec/HeightDat.h"
#include "base/AtomicFile.h"
#include "support/Bitmap.h"
#include "tools/Image.h"
#include "tools/PngWriter.h"
#include "support/WtrWriter.h"

#include <cstdio>
#include <functional>
#include <random>
#include <unistd.h>

using namespace robustness;

namespace
{
struct Writer
{
    const char* name;
    const char* file;
    std::function<bool(const std::string&)> write;
};

bool SaveBlankBitmap(const std::string& path, unsigned char bits)
{
    BITMAP_ bitmap;
    InitBitmap(&bitmap, 33, 21, bits);
    const bool ok = SaveBitmap(&bitmap, path.c_str());
    FreeBitmap(&bitmap);
    return ok;
}

std::vector<Writer> Writers()
{
    static std::vector<std::uint16_t> heights = testcli::TestHeights(150, 70, 1);
    // Noise does not compress: a height file of about 2 MB, more than its writer's
    // buffer, so that faults also strike while records are written, not only at the end.
    static std::vector<std::uint16_t> noise = [] {
        std::mt19937 random(5);
        std::vector<std::uint16_t> samples(std::size_t(800) * 800);
        for (std::uint16_t& sample : samples)
            sample = static_cast<std::uint16_t>(random());
        return samples;
    }();
    static std::vector<std::uint8_t> cells = [] {
        std::vector<std::uint8_t> values(std::size_t(90) * 40);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = static_cast<std::uint8_t>((i / 7) % 16);
        return values;
    }();
    static std::vector<std::uint8_t> pixels(std::size_t(64) * 48 * 3, 99);
    // The cliff export's input, written before any test arms a fault; it lies outside the
    // tests' folders, which must hold only the output.
    static std::string heightFile;
    if (heightFile.empty())
    {
        heightFile =
            (fs::temp_directory_path() / ("altimo-robust-cliff-" + std::to_string(::getpid()) + ".dat")).string();
        EXPECT_TRUE(WriteHeightDat(heightFile, {heights.data(), 150, 70}, 50.0f, 1));
        std::atexit([] { std::remove(heightFile.c_str()); });
    }
    return {
        {"height file", "map.dat",
         [](const std::string& path) { return WriteHeightDat(path, {heights.data(), 150, 70}, 50.0f, 2); }},
        {"height file larger than its write buffer", "noise.dat",
         [](const std::string& path) { return WriteHeightDat(path, {noise.data(), 800, 800}, 50.0f, 2); }},
        {"water mask", "mask.wtr", [](const std::string& path) { return WriteWtr(path, cells.data(), 90, 40, 16); }},
        {"8-bit bitmap", "grey.bmp", [](const std::string& path) { return SaveBlankBitmap(path, 8); }},
        {"24-bit bitmap", "colour.bmp", [](const std::string& path) { return SaveBlankBitmap(path, 24); }},
        {"PNG picture", "preview.png",
         [](const std::string& path) { return SavePng(path, pixels.data(), 64, 48, 3); }},
        {"parallel PNG writer", "large.png",
         [](const std::string& path) {
             NullProgress progress;
             return WritePng8(path, pixels.data(), 64, 48, 3, progress, 0, 2);
         }},
        {"cliff bitmap", "cliff.bmp",
         [](const std::string& path) {
             NullProgress progress;
             return ExportCliffBitmap(heightFile, path, CliffSettings(), progress).ok();
         }},
        {"shoreline file", "lines.sl",
         [](const std::string& path) {
             ShorelineSet lines(3, Shoreline(40));
             for (std::size_t i = 0; i < lines.size(); ++i)
                 for (std::size_t j = 0; j < lines[i].size(); ++j)
                     lines[i][j] = {static_cast<std::int32_t>(i * 1000 + j), static_cast<std::int32_t>(j * 7)};
             return WriteShorelineFile(path, lines).ok();
         }},
    };
}

class WriterFault : public TempFolderTest
{
protected:
    void TearDown() override
    {
        AtomicFile::ClearInjectedFaults();
        TempFolderTest::TearDown();
    }
};
} // namespace

TEST_F(WriterFault, AFullDiskAtAnyPointKeepsTheOldFileAndLeavesNoTemporary)
{
    for (const Writer& writer : Writers())
    {
        SCOPED_TRACE(writer.name);
        const std::string target = path(writer.file);
        // A failed first write leaves nothing at the target.
        AtomicFile::InjectWriteFault(3);
        EXPECT_FALSE(writer.write(target));
        EXPECT_TRUE(names().empty());
        // Without a fault the writer produces the file: its full length gives the failure points.
        ASSERT_TRUE(writer.write(target));
        const std::size_t length = ReadText(target).size();
        ASSERT_GT(length, 4u);

        WriteText(target, "the older file");
        for (const std::size_t budget : {std::size_t(0), std::size_t(1), length / 2, length - 1})
        {
            SCOPED_TRACE("fails after " + std::to_string(budget) + " of " + std::to_string(length) + " bytes");
            AtomicFile::InjectWriteFault(budget);
            EXPECT_FALSE(writer.write(target));
            EXPECT_EQ(ReadText(target), "the older file");
            EXPECT_EQ(names(), std::vector<std::string>{writer.file});
        }
        // The fault was used up by each failed write: the next one succeeds again.
        EXPECT_TRUE(writer.write(target));
        EXPECT_EQ(ReadText(target).size(), length);
        std::filesystem::remove(target);
    }
}

TEST_F(WriterFault, AFolderThatCannotTakeTheFileFailsCleanly)
{
    const std::string missing = path("no-such-folder");
    for (const Writer& writer : Writers())
    {
        SCOPED_TRACE(writer.name);
        EXPECT_FALSE(writer.write(missing + "/" + writer.file));
    }
    EXPECT_TRUE(names().empty());
}

TEST_F(WriterFault, AFaultArmedForSeveralFilesFailsEachOfThem)
{
    const std::string target = path("a.bin");
    AtomicFile::InjectWriteFault(2, 2);
    EXPECT_FALSE(WriteFileAtomically(target, "abcdef", 6));
    EXPECT_FALSE(WriteFileAtomically(target, "abcdef", 6));
    EXPECT_TRUE(WriteFileAtomically(target, "abcdef", 6));
    EXPECT_EQ(ReadText(target), "abcdef");
    // A budget that covers the whole file lets it through.
    AtomicFile::InjectWriteFault(6);
    EXPECT_TRUE(WriteFileAtomically(target, "ghijkl", 6));
    EXPECT_EQ(ReadText(target), "ghijkl");
    EXPECT_EQ(names(), std::vector<std::string>{"a.bin"});
}
