#include "banks/PreviewGeometry.h"
#include "tools/PreviewRender.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

TEST(PreviewGeometry, FitsTheImageNeverAbove1To1)
{
    PreviewGeometry view;
    view.zoom = 8.0f;
    view.panX = 3.0f;
    view.fit(1000, 800, 500, 300);
    EXPECT_EQ(view.zoom, 0.375f); // 0.5 from the width, then 300 / 400 of that
    EXPECT_EQ(view.panX, 0.0f);
    const PreviewPlacement place = view.place(500, 300);
    EXPECT_EQ(place.width, 375);
    EXPECT_EQ(place.height, 300);
    EXPECT_EQ(place.x, 63); // 250 - 187
    EXPECT_EQ(place.y, 0);

    view.fit(200, 100, 500, 300); // small: 1:1, centred
    EXPECT_EQ(view.zoom, 1.0f);
    const PreviewPlacement small = view.place(500, 300);
    EXPECT_EQ(small.x, 150);
    EXPECT_EQ(small.y, 100);
    EXPECT_EQ(small.frameLeft, 149);
    EXPECT_EQ(small.frameRight, 351);
    EXPECT_EQ(small.sourceWidth, 200);

    view.fit(100, 1000, 500, 300); // only the height is too large
    EXPECT_EQ(view.zoom, 0.3f);
}

TEST(PreviewGeometry, ClipsTheStretchToAboutOnePixelBeyondTheClientArea)
{
    PreviewGeometry view;
    view.fit(100, 100, 100, 100);
    view.zoomIn();
    view.zoomIn(); // 4
    const PreviewPlacement place = view.place(100, 100);
    // Unclipped the image would span -150 .. 250; its frame's edges lie outside the client area
    // and are given as just outside it.
    EXPECT_EQ(place.frameLeft, -1);
    EXPECT_EQ(place.frameRight, 101);
    EXPECT_EQ(place.sourceX, 37);
    EXPECT_EQ(place.x, -2);
    EXPECT_EQ(place.sourceWidth, 26);
    EXPECT_EQ(place.width, 104);
    EXPECT_EQ(place.sourceY, 37);
    EXPECT_EQ(place.height, 104);
}

TEST(PreviewGeometry, MapsPointsAt50MetresPerImagePixel)
{
    PreviewGeometry view;
    view.fit(200, 100, 200, 100);
    // x from the image's left edge, z up from its bottom edge.
    EXPECT_EQ(view.map(ShorePoint{0, 0}, 200, 100), (PreviewPoint{0, 100}));
    EXPECT_EQ(view.map(ShorePoint{5000, 2500}, 200, 100), (PreviewPoint{100, 50}));
    EXPECT_EQ(view.map(ShorePoint{75, 75}, 200, 100), (PreviewPoint{1, 98})); // 1.5, 98.5
    // Another scale, used for pictures of other settings.
    EXPECT_EQ(view.map(ShorePoint{1000, 0}, 200, 100, 10.0), (PreviewPoint{100, 100}));

    // Fitted at half size in a 100 x 50 area the same points land at half the distance.
    view.fit(200, 100, 100, 50);
    EXPECT_EQ(view.map(ShorePoint{5000, 2500}, 100, 50), (PreviewPoint{50, 25}));
}

TEST(PreviewGeometry, DragMovesImageAndLinesTogether)
{
    PreviewGeometry view;
    view.fit(400, 400, 200, 200); // zoom 0.5
    const PreviewPoint before = view.map(ShorePoint{5000, 5000}, 200, 200);
    const PreviewPlacement placeBefore = view.place(200, 200);
    view.drag(12, 6);
    const PreviewPoint after = view.map(ShorePoint{5000, 5000}, 200, 200);
    const PreviewPlacement placeAfter = view.place(200, 200);
    EXPECT_EQ(after.x - before.x, 12);
    EXPECT_EQ(after.y - before.y, 6);
    EXPECT_EQ(placeAfter.frameLeft - placeBefore.frameLeft, 12);
    EXPECT_EQ(placeAfter.frameTop - placeBefore.frameTop, 6);
}

TEST(PreviewGeometry, ColoursRepeatEverySevenLines)
{
    EXPECT_EQ(PreviewLineColor(0).blue, 255);
    EXPECT_EQ(PreviewLineColor(6).green, 128);
    EXPECT_EQ(PreviewLineColor(6).red, 0);
    EXPECT_EQ(PreviewLineColor(7).blue, 255);
    EXPECT_EQ(PreviewLineColor(7).green, 0);
    EXPECT_EQ(PreviewLineColor(9).red, 255);
}

TEST(PreviewGeometry, EndTickPointsLeftOfTheLastSegment)
{
    const PreviewTick east = EndTick({{0, 0}, {300, 0}});
    EXPECT_DOUBLE_EQ(east.toX, 300.0);
    EXPECT_DOUBLE_EQ(east.toZ, 100.0); // north, left of east with z up
    const PreviewTick south = EndTick({{0, 500}, {0, 200}, {0, 100}});
    EXPECT_DOUBLE_EQ(south.toX, 100.0);
    EXPECT_DOUBLE_EQ(south.toZ, 100.0);
    const PreviewTick none = EndTick({{7, 9}, {7, 9}});
    EXPECT_DOUBLE_EQ(none.toX, 7.0);
    EXPECT_DOUBLE_EQ(none.toZ, 9.0);
}

// The image pixel that the stretch of `place` puts on client column `c` (nearest pixel).
long long SourceAt(int c, int origin, int extent, int source, int sourceExtent)
{
    return source + (long long)(c - origin) * sourceExtent / extent;
}

TEST(PreviewGeometry, TheCentreStaysAtAnyZoom)
{
    // 819 pixels in a 560-pixel area: from about 23 presses of "In" the image is wider than an
    // int, and its placement once shifted with the limited width.
    for (const float pan : {0.0f, 3.25f, -100.25f})
    {
        PreviewGeometry view;
        view.fit(819, 613, 560, 350);
        view.panX = pan;
        view.panY = -pan;
        for (int presses = 1; presses <= 40; ++presses)
        {
            view.zoomIn();
            if (presses < 4)
                continue; // the truncations of a small zoom may still move the centre by a pixel
            const PreviewPlacement place = view.place(560, 350);
            SCOPED_TRACE(testing::Message() << "pan " << pan << ", " << presses << " presses");
            ASSERT_LE(place.x, 280);
            ASSERT_GE((long long)place.x + place.width, 280);
            ASSERT_GT(place.width, 0);
            ASSERT_GT(place.sourceWidth, 0);
            EXPECT_EQ(SourceAt(280, place.x, place.width, place.sourceX, place.sourceWidth),
                      (long long)std::floor(819 / 2.0 + pan));
            EXPECT_EQ(SourceAt(175, place.y, place.height, place.sourceY, place.sourceHeight),
                      (long long)std::floor(613 / 2.0 - pan));
            // The frame's numbers stay small enough to subtract.
            EXPECT_GE(place.frameLeft, -1);
            EXPECT_LE(place.frameRight, 561);
            // A line through the image point at the centre passes the centre of the area.
            const PreviewPointD centre = view.mapUnlimited((819 / 2.0 + pan) * 50, (613 / 2.0 + pan) * 50, 560, 350);
            EXPECT_NEAR(centre.x, 280, 1);
            EXPECT_NEAR(centre.y, 175, 1);
        }
    }
}

TEST(PreviewGeometry, HugeZoomSaturatesInsteadOfOverflowing)
{
    PreviewGeometry view;
    view.fit(1000, 1000, 100, 100);
    for (int i = 0; i < 60; ++i)
        view.zoomIn();
    const PreviewPlacement place = view.place(100, 100);
    EXPECT_LE(place.x, 0);
    EXPECT_GE(place.x + (long long)place.width, 100);
    EXPECT_EQ(TruncateToInt(1e300), INT_MAX);
    EXPECT_EQ(TruncateToInt(-1e300), INT_MIN);
    EXPECT_EQ(TruncateToInt(-2.9), -2);
    // "In" until the factor is infinite places nothing, and still nothing overflows.
    for (int i = 0; i < 200; ++i)
        view.zoomIn();
    EXPECT_EQ(view.place(100, 100).width, 0);
}

TEST(PreviewGeometry, ClipsASegmentKeepingItsDirection)
{
    PreviewPointD from{-1e12, -0.5e12};
    PreviewPointD to{1e12 + 100, 0.5e12 + 50};
    ASSERT_TRUE(ClipSegment(from, to, -10, -10, 110, 110));
    EXPECT_NEAR(from.x, -10, 1e-3);
    EXPECT_NEAR(from.y, -5, 1e-3);
    EXPECT_NEAR(to.x, 110, 1e-3);
    EXPECT_NEAR(to.y, 55, 1e-3);
    PreviewPointD away{-50, 200};
    PreviewPointD further{-20, 300};
    EXPECT_FALSE(ClipSegment(away, further, -10, -10, 110, 110));
}

TEST(PreviewRender, DrawsImageFrameAndLinesInTheirColours)
{
    WaterImage image(10, 10);
    image.bits.assign(image.bits.size(), 100);
    // Two lines at 50 m per pixel: along the image's bottom row and its left column.
    const ShorelineSet lines = {{{25, 25}, {225, 25}, {425, 25}}, {{25, 75}, {25, 275}, {25, 475}}};
    PreviewGeometry view;
    view.fit(10, 10, 14, 14); // centred with a 2-pixel margin
    std::vector<std::uint8_t> rgb;
    RenderPreview(image, lines, view, 14, 14, 50.0, rgb);
    ASSERT_EQ(rgb.size(), 14u * 14u * 3u);
    auto pixel = [&](int x, int y)
    {
        const std::size_t i = (std::size_t(y) * 14 + std::size_t(x)) * 3;
        return PreviewColor{rgb[i], rgb[i + 1], rgb[i + 2]};
    };
    EXPECT_EQ(pixel(0, 0).red, 0);      // black outside
    EXPECT_EQ(pixel(1, 1).red, 128);    // frame
    EXPECT_EQ(pixel(12, 5).green, 128); // frame on the right
    EXPECT_EQ(pixel(6, 6).red, 100);    // the image
    EXPECT_EQ(pixel(6, 11).blue, 255);  // line 0 along the bottom row
    EXPECT_EQ(pixel(6, 11).red, 0);
    EXPECT_EQ(pixel(2, 6).green, 255); // line 1 up the left column
    EXPECT_EQ(pixel(2, 6).blue, 0);
    EXPECT_EQ(pixel(10, 9).blue, 255); // line 0's tick: up from its last point
}
