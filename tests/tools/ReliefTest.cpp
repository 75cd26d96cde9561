// The relief and water pictures against hand-worked values of their definition
// (support/Relief.h), and the fast renderers against the per-pixel definition.
#include "tools/Relief.h"

#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace
{
// heightScale 25.7 makes k = 25.7 * 255 / 65535 = 0.1 m per sample unit; with pixel size 50,
// q = 0.001. A ramp of 375 units per sample then has gx = 0.75 inside (sqrt(1 + gx^2) = 1.25),
// so shade = (0.375 + sqrt(0.5)) / 1.25 and b = 1.16820; on the edge columns the clamped
// neighbour halves the difference: gx = 0.375, b = 1.13846. Facing away from the light,
// gx = -0.75 gives b = 0.53180 (edges 0.76604); beyond the light's grazing angle b = 0.25.
// The tints at t = 0, 0.25, ... are the five stops; channel = min(255, trunc(tint * b + 0.5)).
ReliefSettings RampSettings()
{
    ReliefSettings settings;
    settings.heightScale = 25.7;
    return settings;
}

std::vector<std::uint8_t> Relief(const std::vector<std::uint16_t>& raster, int width, int height,
                                 const ReliefSettings& settings, float pixelSize = 50.0f, unsigned threads = 0)
{
    std::vector<std::uint8_t> rgb(raster.size() * 3, 0xAB);
    RenderRelief(ConstRasterView<std::uint16_t>(raster.data(), width, height), pixelSize, settings, rgb.data(),
                 threads);
    return rgb;
}

Rgb PixelAt(const std::vector<std::uint8_t>& rgb, int width, int x, int y)
{
    const std::size_t i = (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}
} // namespace

// A ramp of five samples and the pixels it is drawn with, along the raster's long side.
struct Ramp
{
    const char* name;
    int width, height;
    int (*value)(int x, int y);
    std::vector<Rgb> expected;
};

const Rgb kRising[5] = {{46, 125, 68}, {140, 193, 99}, {251, 234, 152}, {175, 123, 82}, {255, 255, 255}};

// Rows run southwards: rising to the south faces north-west like rising to the east. Too steep
// for the light to reach, only the ambient quarter of the tint is left.
const Ramp kRamps[] = {
    {"RisingEast", 5, 1, [](int x, int) { return 375 * x; }, {kRising, kRising + 5}},
    {"RisingSouth", 1, 5, [](int, int y) { return 375 * y; }, {kRising, kRising + 5}},
    {"RisingWest", 5, 1, [](int x, int) { return 1500 - 375 * x; },
     {{188, 188, 188}, {80, 56, 37}, {114, 106, 69}, {64, 88, 45}, {31, 84, 46}}},
    {"Cliff", 5, 1, [](int x, int) { return 20000 - 4000 * x; },
     {{61, 61, 61}, {38, 26, 18}, {54, 50, 33}, {30, 41, 21}, {10, 28, 15}}},
};

using ReliefOf = testing::TestWithParam<Ramp>;

TEST_P(ReliefOf, HandWorkedPixels)
{
    const Ramp& c = GetParam();
    const auto rgb =
        Relief(testcli::Grid<std::uint16_t>(c.width, c.height, c.value), c.width, c.height, RampSettings());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(PixelAt(rgb, c.width, c.width == 1 ? 0 : i, c.width == 1 ? i : 0), c.expected[std::size_t(i)]) << i;
}

INSTANTIATE_TEST_SUITE_P(Relief, ReliefOf, testing::ValuesIn(kRamps),
                         [](const auto& row) { return std::string(row.param.name); });

// A flat map shows the lowest tint unshaded.
TEST(Relief, AFlatMapIsTheLowestTint)
{
    const auto flat = Relief(testcli::Grid<std::uint16_t>(4, 4, [](int, int) { return 30000; }), 4, 4, ReliefSettings{});
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(PixelAt(flat, 4, i % 4, i / 4), (Rgb{40, 110, 60}));
}

TEST(Relief, FastRendererEqualsThePixelDefinitionOnRandomMaps)
{
    std::mt19937 random(7);
    const struct
    {
        int width, height;
        float pixelSize;
        double heightScale;
        unsigned threads;
    } cases[] = {
        {1, 1, 50, 10, 1}, {1, 37, 3, 10, 2}, {41, 1, 50, 100, 0}, {67, 300, 1, 0.01, 0}, {130, 45, 200, 1000, 2}};
    for (const auto& c : cases)
    {
        // Smooth hills plus noise, so that every shade and tint band occurs.
        std::uniform_int_distribution<int> noise(-300, 300);
        const auto raster =
            testcli::Grid<std::uint16_t>(c.width, c.height,
                   [&](int x, int y)
                   { return std::clamp(20000 + 9000 * int(x % 17 > 8) + 130 * y + noise(random), 0, 65535); });
        ReliefSettings settings;
        settings.heightScale = c.heightScale;
        const auto rgb = Relief(raster, c.width, c.height, settings, c.pixelSize, c.threads);
        const ConstRasterView<std::uint16_t> view(raster.data(), c.width, c.height);
        const SampleRange range = FindSampleRange(view);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(PixelAt(rgb, c.width, x, y), ReliefPixel(view, x, y, c.pixelSize, settings, range))
                    << c.width << "x" << c.height << " at " << x << "," << y;
    }
}

TEST(Water, DepthOverTerrainUsesTheSquareRootRamp)
{
    // Flat terrain at 1000: water 0 and 1000 are dry (grey 180 = 180 * b, b = 1 on flat ground),
    // 1100 and 1400 are 100 and 400 deep; dmax = 400, so t = sqrt(0.25) = 0.5 and 1.
    const auto terrain = testcli::Grid<std::uint16_t>(4, 1, [](int, int) { return 1000; });
    const std::vector<std::uint16_t> water = {0, 1000, 1100, 1400};
    std::vector<std::uint8_t> rgb(12, 0xAB);
    const ConstRasterView<std::uint16_t> w(water.data(), 4, 1);
    const ConstRasterView<std::uint16_t> h(terrain.data(), 4, 1);
    RenderWater(w, h, 50.0f, ReliefSettings{}, rgb.data());
    EXPECT_EQ(PixelAt(rgb, 4, 0, 0), (Rgb{180, 180, 180}));
    EXPECT_EQ(PixelAt(rgb, 4, 1, 0), (Rgb{180, 180, 180}));
    EXPECT_EQ(PixelAt(rgb, 4, 2, 0), (Rgb{85, 128, 175})); // (160+10)/2, (215+40)/2 = 127.5, (235+115)/2
    EXPECT_EQ(PixelAt(rgb, 4, 3, 0), (Rgb{10, 40, 115}));
    EXPECT_EQ(FindWaterRange(w, h).maxDepth, 400);
}

TEST(Water, WithoutTerrainLowerSurfacesAreDeeper)
{
    const std::vector<std::uint16_t> water = {0, 1100, 1250, 1400};
    std::vector<std::uint8_t> rgb(12, 0xAB);
    RenderWater(ConstRasterView<std::uint16_t>(water.data(), 4, 1), {}, 50.0f, ReliefSettings{}, rgb.data());
    EXPECT_EQ(PixelAt(rgb, 4, 0, 0), (Rgb{96, 96, 96}));
    EXPECT_EQ(PixelAt(rgb, 4, 1, 0), (Rgb{10, 40, 115}));
    EXPECT_EQ(PixelAt(rgb, 4, 2, 0), (Rgb{85, 128, 175}));
    EXPECT_EQ(PixelAt(rgb, 4, 3, 0), (Rgb{160, 215, 235}));

    // No water at all: every pixel dry, no division by an empty range.
    const std::vector<std::uint16_t> dry(6, 0);
    std::vector<std::uint8_t> none(18, 0xAB);
    RenderWater(ConstRasterView<std::uint16_t>(dry.data(), 3, 2), {}, 50.0f, ReliefSettings{}, none.data());
    EXPECT_EQ(none, std::vector<std::uint8_t>(18, 96));
}

TEST(Water, FastRendererEqualsThePixelDefinitionOnRandomMaps)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> height(5000, 9000);
    std::uniform_int_distribution<int> coin(0, 3);
    for (const auto& size : {std::pair{1, 1}, std::pair{53, 31}, std::pair{7, 90}})
    {
        // Plain names, not a structured binding: the lambda below captures width.
        const int width = size.first;
        const int rows = size.second;
        const auto terrain = testcli::Grid<std::uint16_t>(width, rows, [&](int, int) { return height(random); });
        const auto water = testcli::Grid<std::uint16_t>(
            width, rows,
            [&](int x, int y)
            {
                const int pick = coin(random);
                return pick == 0 ? 0 : pick == 1 ? 7000 : terrain[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            });
        const ConstRasterView<std::uint16_t> w(water.data(), width, rows);
        const ConstRasterView<std::uint16_t> h(terrain.data(), width, rows);
        for (const bool withTerrain : {true, false})
        {
            const ConstRasterView<std::uint16_t> t = withTerrain ? h : ConstRasterView<std::uint16_t>{};
            std::vector<std::uint8_t> rgb(water.size() * 3, 0xAB);
            RenderWater(w, t, 20.0f, ReliefSettings{}, rgb.data(), 2);
            const WaterRange range = FindWaterRange(w, t);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(PixelAt(rgb, width, x, y), WaterPixel(w, t, x, y, 20.0f, ReliefSettings{}, range))
                        << withTerrain << " at " << x << "," << y;
        }
    }
}
