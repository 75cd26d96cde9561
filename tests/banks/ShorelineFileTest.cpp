#include "banks/ShorelineFile.h"

#include <gtest/gtest.h>

#include <string>

// Points are written z first with two decimals; blocks are numbered in order, empty lines too.
TEST(ShorelineFile, NumbersBlocksInOrderWithSignsAndEmptyLines)
{
    const ShorelineSet lines = {{{100, 250}, {150, 260}, {175, 300}}, {}, {{-2147483647 - 1, 2147483647}}};
    EXPECT_EQ(*FormatShorelines(lines), "[LINE=0]\n\tpoint_xz=250.00,100.00\n\tpoint_xz=260.00,150.00\n\tpoint_xz=300.00,175.00\n[END]\n\n"
                     "[LINE=1]\n[END]\n\n"
                     "[LINE=2]\n\tpoint_xz=2147483647.00,-2147483648.00\n[END]\n\n");
    const StatusOr<std::string> none = FormatShorelines({});
    EXPECT_TRUE(none.ok() && none->empty());
}

TEST(ShorelineFile, RefusesSetsBeyondThe16BitCounts)
{
    EXPECT_EQ(FormatShorelines(ShorelineSet(32768)).status.code, StatusCode::tooLarge);
    EXPECT_EQ(FormatShorelines({Shoreline(32768)}).status.code, StatusCode::tooLarge);
    ASSERT_TRUE(FormatShorelines({Shoreline(32767)}).ok());
    EXPECT_TRUE(FormatShorelines(ShorelineSet(32767)).ok());
}
