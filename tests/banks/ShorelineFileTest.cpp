#include "banks/ShorelineFile.h"

#include <gtest/gtest.h>

#include <string>

// Points are written z first with two decimals; blocks are numbered in order, empty lines too.
TEST(ShorelineFile, NumbersBlocksInOrderWithSignsAndEmptyLines)
{
    const ShorelineSet lines = {{{100, 250}, {150, 260}, {175, 300}}, {}, {{-2147483647 - 1, 2147483647}}};
    std::string text;
    ASSERT_EQ(FormatShorelines(lines, text), BanksStatus::ok);
    EXPECT_EQ(text, "[LINE=0]\n\tpoint_xz=250.00,100.00\n\tpoint_xz=260.00,150.00\n\tpoint_xz=300.00,175.00\n[END]\n\n"
                    "[LINE=1]\n[END]\n\n"
                    "[LINE=2]\n\tpoint_xz=2147483647.00,-2147483648.00\n[END]\n\n");
    ASSERT_EQ(FormatShorelines({}, text), BanksStatus::ok);
    EXPECT_EQ(text, "");
}

TEST(ShorelineFile, RefusesSetsBeyondThe16BitCounts)
{
    std::string text = "old";
    EXPECT_EQ(FormatShorelines(ShorelineSet(32768), text), BanksStatus::tooManyLines);
    EXPECT_EQ(text, "");
    EXPECT_EQ(FormatShorelines({Shoreline(32768)}, text), BanksStatus::lineTooLong);
    ASSERT_EQ(FormatShorelines({Shoreline(32767)}, text), BanksStatus::ok);
    EXPECT_EQ(FormatShorelines(ShorelineSet(32767), text), BanksStatus::ok);
}
