#include "tools/Overview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace
{
// A grey picture whose pixel (x, y) is (x * 7 + y * 13) % 251: no two neighbouring blocks alike.
Picture Pattern(int width, int height, int channels = 1)
{
    Picture picture = MakePicture(width, height, channels, {0, 0, 0});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                picture.pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(channels) +
                               std::size_t(c)] = static_cast<std::uint8_t>((x * 7 + y * 13 + c * 50) % 251);
    return picture;
}

std::uint8_t At(const Picture& picture, int x, int y, int c = 0)
{
    return picture
        .pixels[(std::size_t(y) * std::size_t(picture.width) + std::size_t(x)) * std::size_t(picture.channels) +
                std::size_t(c)];
}

bool IsColour(const Picture& picture, int x, int y, OverviewColour colour)
{
    return At(picture, x, y, 0) == colour[0] && At(picture, x, y, 1) == colour[1] && At(picture, x, y, 2) == colour[2];
}

// The block mean written out with doubles, as a reader of the contract would compute it.
std::uint8_t BlockMean(const Picture& source, int x0, int y0, int factor, int c)
{
    double sum = 0;
    int count = 0;
    for (int y = y0; y < std::min(source.height, y0 + factor); ++y)
        for (int x = x0; x < std::min(source.width, x0 + factor); ++x)
        {
            sum += At(source, x, y, c);
            ++count;
        }
    const double mean = sum / count;
    return static_cast<std::uint8_t>(mean - std::floor(mean) >= 0.5 ? std::ceil(mean) : std::floor(mean));
}
} // namespace

TEST(OverviewDownsample, BoxMeanOnOddSizesWithPartialEdgeBlocks)
{
    for (const int channels : {1, 3})
        for (const int factor : {1, 2, 3, 4})
        {
            SCOPED_TRACE(testing::Message() << "channels " << channels << " factor " << factor);
            const Picture source = Pattern(11, 7, channels);
            const Picture out = DownsampleBox(source.view(), factor);
            ASSERT_EQ(out.width, (11 + factor - 1) / factor);
            ASSERT_EQ(out.height, (7 + factor - 1) / factor);
            ASSERT_EQ(out.channels, channels);
            for (int y = 0; y < out.height; ++y)
                for (int x = 0; x < out.width; ++x)
                    for (int c = 0; c < channels; ++c)
                        ASSERT_EQ(At(out, x, y, c), BlockMean(source, x * factor, y * factor, factor, c))
                            << x << "," << y;
        }
    EXPECT_TRUE(DownsampleBox(Pattern(3, 1).view(), 0).empty());
    EXPECT_TRUE(DownsampleBox(PixelsView{}, 2).empty());
}

TEST(OverviewDownsample, ReductionFactorReachesTheTarget)
{
    EXPECT_EQ(ReductionFactor(257, 257, 512), 1);
    EXPECT_EQ(ReductionFactor(513, 100, 512), 1);
    EXPECT_EQ(ReductionFactor(1025, 1025, 512), 2);
    EXPECT_EQ(ReductionFactor(8193, 8193, 512), 16);
    EXPECT_EQ(ReductionFactor(100, 1100, 512), 3);
    for (int side = 514; side < 5000; side += 37)
    {
        const int factor = ReductionFactor(side, 10, 512);
        EXPECT_LE((side + factor - 1) / factor, 513) << side;
        EXPECT_GT((side + factor - 2) / (factor - 1), 513) << side; // the next smaller factor would not do
    }
}

TEST(OverviewPictures, CropClipsEnlargeRepeatsAndFitChoosesEither)
{
    const Picture source = Pattern(6, 5, 3);
    const Picture crop = Crop(source.view(), 4, -1, 5, 3);
    ASSERT_EQ(crop.width, 2);
    ASSERT_EQ(crop.height, 2);
    EXPECT_EQ(At(crop, 1, 1, 2), At(source, 5, 1, 2));
    EXPECT_TRUE(Crop(source.view(), 6, 0, 2, 2).empty());

    const Picture big = Enlarge(crop.view(), 3);
    ASSERT_EQ(big.width, 6);
    ASSERT_EQ(big.height, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(At(big, x, y, 1), At(crop, x / 3, y / 3, 1));

    EXPECT_EQ(FitToSide(source.view(), 20).width, 18); // enlarged 3 times
    EXPECT_EQ(FitToSide(source.view(), 5).width, 6);   // within target + 1: as it is
    const Picture reduced = FitToSide(Pattern(40, 10).view(), 12);
    EXPECT_EQ(reduced.width, 10); // factor 4
    EXPECT_EQ(reduced.height, 3);
}

TEST(OverviewCompose, PlacesPanelsOnTheBackgroundAndClipsLargeOnes)
{
    OverviewLayout layout;
    layout.columns = 2;
    layout.cellWidth = 10;
    layout.cellHeight = 8;
    layout.margin = 4;
    layout.captionScale = 1;
    layout.background = {10, 20, 30};
    const int caption = CaptionHeight(layout);
    ASSERT_EQ(caption, 9);

    const Picture red = MakePicture(6, 4, 3, {255, 0, 0});
    const Picture grey = MakePicture(3, 3, 1, {77, 0, 0});
    const Picture huge = MakePicture(30, 30, 3, {0, 255, 0});
    const Picture canvas = ComposeOverview({{"", red}, {"", grey}, {"", huge}}, layout);
    ASSERT_EQ(canvas.channels, 3);
    ASSERT_EQ(canvas.width, 4 + 2 * (10 + 4));
    ASSERT_EQ(canvas.height, 4 + 2 * (caption + 8 + 4));

    // Count each colour: every panel pixel lands once, the huge one only inside its cell.
    int reds = 0, greys = 0, greens = 0, background = 0;
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x)
        {
            reds += IsColour(canvas, x, y, {255, 0, 0});
            greys += IsColour(canvas, x, y, {77, 77, 77});
            greens += IsColour(canvas, x, y, {0, 255, 0});
            background += IsColour(canvas, x, y, layout.background);
        }
    EXPECT_EQ(reds, 6 * 4);
    EXPECT_EQ(greys, 3 * 3);
    EXPECT_EQ(greens, 10 * 8);
    EXPECT_EQ(background, canvas.width * canvas.height - reds - greys - greens);

    // Smaller panels are centred across, at the top of the picture area.
    const int top = 4 + caption;
    EXPECT_TRUE(IsColour(canvas, 4 + 2, top, {255, 0, 0}));
    EXPECT_TRUE(IsColour(canvas, 4 + 2 + 5, top + 3, {255, 0, 0}));
    EXPECT_TRUE(IsColour(canvas, 4 + 1, top, layout.background));
    EXPECT_TRUE(IsColour(canvas, 4 + 8, top, layout.background));
    EXPECT_TRUE(IsColour(canvas, 4 + 14 + 3, top, {77, 77, 77}));
    // The third panel starts the second row and ends at its cell's edges.
    const int secondTop = 4 + caption + 8 + 4 + caption;
    EXPECT_TRUE(IsColour(canvas, 4, secondTop, {0, 255, 0}));
    EXPECT_TRUE(IsColour(canvas, 13, secondTop + 7, {0, 255, 0}));
    EXPECT_TRUE(IsColour(canvas, 14, secondTop, layout.background));
    EXPECT_TRUE(IsColour(canvas, 4, secondTop + 8, layout.background));

    EXPECT_TRUE(ComposeOverview({}, layout).empty());
}

TEST(OverviewCompose, CellsTakeTheLargestPanelAndCaptionsAreDrawn)
{
    OverviewLayout layout;
    layout.columns = 3;
    layout.margin = 2;
    layout.captionScale = 1;
    const Picture canvas =
        ComposeOverview({{"I", MakePicture(20, 5, 3, {0, 0, 0})}, {"", MakePicture(8, 12, 1, {0, 0, 0})}}, layout);
    // Two panels use two columns; the cell is the widest and highest panel.
    EXPECT_EQ(canvas.width, 2 + 2 * (20 + 2));
    EXPECT_EQ(canvas.height, 2 + CaptionHeight(layout) + 12 + 2);
    // The caption "I": its top bar spans cells 1..3 of the glyph's first row.
    EXPECT_TRUE(IsColour(canvas, 2, 2, layout.background));
    EXPECT_TRUE(IsColour(canvas, 3, 2, layout.text));
    EXPECT_TRUE(IsColour(canvas, 5, 2, layout.text));
    EXPECT_TRUE(IsColour(canvas, 6, 2, layout.background));
}

TEST(OverviewFont, GlyphSetsExactlyItsCellsAtScale)
{
    Picture canvas = MakePicture(20, 20, 3, {0, 0, 0});
    DrawText(canvas, 3, 2, "T", {200, 100, 50}, 2, 0, 0, 20, 20);
    // T: the top row full, then the middle column; each cell 2 x 2 pixels.
    int set = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
        {
            const bool inTop = y >= 2 && y < 4 && x >= 3 && x < 13;
            const bool inStem = y >= 4 && y < 16 && x >= 7 && x < 9;
            const bool drawn = IsColour(canvas, x, y, {200, 100, 50});
            ASSERT_EQ(drawn, inTop || inStem) << x << "," << y;
            ASSERT_TRUE(drawn || IsColour(canvas, x, y, {0, 0, 0}));
            set += drawn;
        }
    EXPECT_EQ(set, (5 + 6) * 4);
}

TEST(OverviewFont, UnknownCharactersAndLowerCase)
{
    EXPECT_EQ(TextWidth("", 3), 0);
    EXPECT_EQ(TextWidth("AB", 2), (6 + 5) * 2);

    const auto draw = [](const std::string& text)
    {
        Picture canvas = MakePicture(30, 9, 1, {0, 0, 0});
        DrawText(canvas, 1, 1, text, {255, 0, 0}, 1, 0, 0, 30, 9);
        return canvas.pixels;
    };
    EXPECT_EQ(draw("abc"), draw("ABC"));
    EXPECT_EQ(draw("#\x80~"), draw("???"));
    EXPECT_NE(draw("?"), draw(" "));
    // Every glyph the font has differs from the others.
    const std::string all = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,:;-+=/|()'?";
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j)
            EXPECT_NE(draw(std::string(1, all[i])), draw(std::string(1, all[j]))) << all[i] << " " << all[j];
}

TEST(OverviewFont, TextIsClippedToTheRectangleAndCanvas)
{
    Picture canvas = MakePicture(12, 12, 3, {0, 0, 0});
    DrawText(canvas, -2, -3, "HHHH", {255, 255, 255}, 1, 1, 0, 8, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
        {
            const bool outside = x < 1 || x >= 9 || y >= 4;
            ASSERT_TRUE(!outside || IsColour(canvas, x, y, {0, 0, 0})) << x << "," << y;
        }
    // H's left stem at x = -2 is outside, its right stem at x = 2 inside; rows 3..6 of the glyph
    // land on y = 0..3, and row 3 is the bar.
    EXPECT_TRUE(IsColour(canvas, 2, 0, {255, 255, 255}));
    EXPECT_TRUE(IsColour(canvas, 1, 0, {255, 255, 255}));
    EXPECT_TRUE(IsColour(canvas, 1, 1, {0, 0, 0}));
}
