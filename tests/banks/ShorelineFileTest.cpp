#include "banks/ShorelineFile.h"

#include <gtest/gtest.h>

#include <string>

// Points are written z first with two decimals; blocks are numbered in order, empty lines too.
TEST(ShorelineFile, NumbersBlocksInOrderWithSignsAndEmptyLines)
{
    const ShorelineSet lines = {{{100, 250}, {150, 260}, {175, 300}}, {}, {{-2147483647 - 1, 2147483647}}};
    const StatusOr<std::string> text = FormatShorelines(lines);
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(*text, "[LINE=0]\n\tpoint_xz=250.00,100.00\n\tpoint_xz=260.00,150.00\n\tpoint_xz=300.00,175.00\n[END]\n\n"
                     "[LINE=1]\n[END]\n\n"
                     "[LINE=2]\n\tpoint_xz=2147483647.00,-2147483648.00\n[END]\n\n");
    const StatusOr<std::string> none = FormatShorelines({});
    ASSERT_TRUE(none.ok());
    EXPECT_EQ(*none, "");
}

TEST(ShorelineFile, RefusesSetsBeyondThe16BitCounts)
{
    const StatusOr<std::string> lines = FormatShorelines(ShorelineSet(32768));
    EXPECT_EQ(lines.status.code, StatusCode::tooLarge);
    EXPECT_EQ(*lines, "");
    const StatusOr<std::string> points = FormatShorelines({Shoreline(32768)});
    EXPECT_EQ(points.status.code, StatusCode::tooLarge);
    EXPECT_NE(points.status.message, lines.status.message);
    ASSERT_TRUE(FormatShorelines({Shoreline(32767)}).ok());
    EXPECT_TRUE(FormatShorelines(ShorelineSet(32767)).ok());
}
