// altimo-cli cliff: exit codes, messages and files, run as a script would run it.
#include "codec/HeightDat.h"
#include "support/Bitmap.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testcli;

namespace
{
class CliffCommand : public testcli::ScratchFolderTest
{
protected:
    void SetUp() override
    {
        ScratchFolderTest::SetUp();
        std::vector<std::uint16_t> ramp(96 * 80);
        for (std::size_t i = 0; i < ramp.size(); ++i)
            ramp[i] = static_cast<std::uint16_t>((i % 96 % 32) * 1800);
        ASSERT_TRUE(WriteHeightDat(m_dir + "/ramp.dat", ConstRasterView<std::uint16_t>(ramp.data(), 96, 80), 50.0f));
    }
    CliRun run(const std::string& arguments) const { return RunCli("cliff " + arguments, m_dir); }
};
} // namespace

TEST_F(CliffCommand, WritesTheBitmapWithDefaultsAndOptions)
{
    ASSERT_EQ(run(path("ramp.dat") + " -o " + path("a.bmp")).exitCode, 0);
    ASSERT_EQ(run(path("ramp.dat") + " -o " + path("b.bmp") + " --angle 10 --threshold=0 --height-scale 0.01").exitCode,
              0);
    BITMAP_ a;
    BITMAP_ b;
    ASSERT_TRUE(LoadBitmap24(&a, path("a.bmp").c_str()));
    ASSERT_TRUE(LoadBitmap24(&b, path("b.bmp").c_str()));
    EXPECT_EQ(a.width, 96);
    EXPECT_EQ(a.height, 80);
    // 1800 samples per 50 across at scale 10 is about 55 degrees: a cliff; at 0.01 it is flat.
    EXPECT_EQ(a.data[0], 255);
    EXPECT_EQ(b.data[0], 0);
    FreeBitmap(&a);
    FreeBitmap(&b);
}
