#include "cliff/CliffExport.h"
#include "tests/oracles/CliffReference.h"

#include "codec/HeightDat.h"
#include "support/Bitmap.h"
#include "tests/common/CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace
{
// The reader's answers over an in-memory raster: sample / 65535, positions clamped to the map.
class RasterElevationDB final : public IElevationDB
{
public:
    RasterElevationDB(const std::vector<std::uint16_t>& samples, int width, int height, float pixelSize)
        : m_samples(samples), m_width(width), m_height(height), m_pixelSize(pixelSize)
    {
    }
    bool init(const char*) override { return true; }
    void uninit() override {}
    float getElevation(long x, long y) override
    {
        x = std::clamp(x, 0L, long(m_width) - 1);
        y = std::clamp(y, 0L, long(m_height) - 1);
        return ElevationOfSample(m_samples[std::size_t(y) * std::size_t(m_width) + std::size_t(x)]);
    }
    long getWidth() override { return m_width; }
    long getHeight() override { return m_height; }
    float getPixelSize() override { return m_pixelSize; }

private:
    const std::vector<std::uint16_t>& m_samples;
    int m_width;
    int m_height;
    float m_pixelSize;
};

struct Map
{
    std::vector<std::uint16_t> samples;
    int width;
    int height;
};

Map FlatMap(int width, int height, std::uint16_t value)
{
    return {std::vector<std::uint16_t>(std::size_t(width) * std::size_t(height), value), width, height};
}

// Slopes spread over every angle: the sum of a random walk across and one down, with steps up
// to `step` samples, so many samples land on the ramp and near its edges.
Map RandomMap(int width, int height, int step, std::mt19937& random)
{
    Map map = FlatMap(width, height, 0);
    std::uniform_int_distribution<int> delta(-step, step);
    std::vector<int> across(std::size_t(width) + 1, 0);
    std::vector<int> down(std::size_t(height) + 1, std::uniform_int_distribution<int>(0, 65535)(random));
    for (int x = 1; x <= width; ++x)
        across[std::size_t(x)] = across[std::size_t(x) - 1] + delta(random);
    for (int y = 1; y <= height; ++y)
        down[std::size_t(y)] = down[std::size_t(y) - 1] + delta(random);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            map.samples[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                static_cast<std::uint16_t>(std::clamp(across[std::size_t(x)] + down[std::size_t(y)], 0, 65535));
    return map;
}

std::vector<std::uint8_t> Reference(const Map& map, float pixelSize, const CliffSettings& settings)
{
    RasterElevationDB db(map.samples, map.width, map.height, pixelSize);
    std::vector<std::uint8_t> image(map.samples.size(), 77);
    ComputeCliffMaskReference(db, settings, RasterView<std::uint8_t>(image.data(), map.width, map.height));
    return image;
}

std::vector<std::uint8_t> Fast(const Map& map, float pixelSize, const CliffSettings& settings, int threads = 0)
{
    std::vector<std::uint8_t> image(map.samples.size(), 77);
    NullProgress progress;
    ComputeCliffMask(ConstRasterView<std::uint16_t>(map.samples.data(), map.width, map.height), pixelSize, settings,
                     RasterView<std::uint8_t>(image.data(), map.width, map.height), progress, 0, threads);
    return image;
}

long CountAtLeast(const std::vector<std::uint8_t>& image, int level)
{
    return std::count_if(image.begin(), image.end(), [&](std::uint8_t v) { return v >= level; });
}

using CliffExport = testcli::ScratchFolderTest;
} // namespace

TEST(CliffPixel, ThresholdZeroIsAHardStepWithTheEqualAngleFull)
{
    const CliffConstants c = MakeCliffConstants({30, 0, 10.0f});
    EXPECT_EQ(CliffPixelFromAngle(c.angle, c), 255); // 0 * infinity is not a number: counts as 1
    EXPECT_EQ(CliffPixelFromAngle(std::nextafter(c.angle, 0.0f), c), 0);
    EXPECT_EQ(CliffPixelFromAngle(std::nextafter(c.angle, 4.0f), c), 255);
    EXPECT_EQ(CliffPixelFromAngle(std::nanf(""), c), 255);
}

TEST(CliffMask, FastEqualsReferenceOnRandomMaps)
{
    std::mt19937 random(2024);
    std::uniform_int_distribution<int> degrees(0, 90);
    std::uniform_int_distribution<int> size(1, 70);
    const float pixelSizes[] = {50.0f, 1.0f, 200.0f, 7.3f, 0.00005f, 0.0f, -20.0f, 0.0009f};
    const float scales[] = {10.0f, 0.01f, 100.0f, 1.37f};
    for (int round = 0; round < 120; ++round)
    {
        const int step = std::uniform_int_distribution<int>(0, 4000)(random);
        const Map map = RandomMap(size(random), size(random), step, random);
        const CliffSettings settings{degrees(random), round % 7 == 0 ? 0 : degrees(random), scales[round % 4]};
        const float pixelSize = pixelSizes[round % 8];
        SCOPED_TRACE("round " + std::to_string(round));
        EXPECT_EQ(Fast(map, pixelSize, settings, 1 + round % 3), Reference(map, pixelSize, settings));
    }
}

// 601 rows: bands at any worker count the suite runs at (make test runs it at 3 and 7 workers too).
TEST_F(CliffExport, HeightFileToGreyBitmapInBands)
{
    std::mt19937 random(5);
    const Map map = RandomMap(23, 601, 2000, random);
    const std::string dat = path("map.dat");
    ASSERT_TRUE(WriteHeightDat(dat, ConstRasterView<std::uint16_t>(map.samples.data(), map.width, map.height), 25.0f));

    // The reader walked as defined gives the same picture; height file row 0 is the top.
    CDATElevationDB reader(false);
    ASSERT_TRUE(reader.init(dat.c_str()));
    std::vector<std::uint8_t> expected(map.samples.size());
    ComputeCliffMaskReference(reader, {40, 20, 3.0f}, RasterView<std::uint8_t>(expected.data(), map.width, map.height));
    reader.uninit();
    EXPECT_GT(CountAtLeast(expected, 1), 0);
    EXPECT_LT(CountAtLeast(expected, 255), long(expected.size()));

    RecordingProgress progress;
    const std::string bmp = path("cliff.bmp");
    ASSERT_TRUE(ExportCliffBitmap(dat, bmp, {40, 20, 3.0f}, progress).ok());
    EXPECT_EQ(progress.positions.front(), 0);
    EXPECT_EQ(progress.positions.back(), 200);

    const std::vector<std::uint8_t> file = testcli::ReadBytes(bmp);
    ASSERT_GE(file.size(), 54u + 1024u);
    EXPECT_EQ(file[28], 8); // bits per pixel
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(file[54 + 4 * i] == i && file[55 + 4 * i] == i && file[56 + 4 * i] == i) << i;
    BITMAP_ bitmap;
    ASSERT_TRUE(LoadBitmap24(&bitmap, bmp.c_str()));
    ASSERT_EQ(bitmap.width, map.width);
    ASSERT_EQ(bitmap.height, map.height);
    for (int y = 0; y < map.height; ++y)
        for (int x = 0; x < map.width; ++x)
            ASSERT_EQ(bitmap.data[std::size_t(map.height - 1 - y) * std::size_t(bitmap.bytesPerRow) + 3 * std::size_t(x)],
                      expected[std::size_t(y) * std::size_t(map.width) + std::size_t(x)])
                << x << "," << y;
    FreeBitmap(&bitmap);
}

TEST_F(CliffExport, ElevationOfSampleIsWhatTheReaderAnswers)
{
    std::vector<std::uint16_t> every(65536);
    for (unsigned v = 0; v < 65536; ++v)
        every[v] = static_cast<std::uint16_t>(v);
    const std::string dat = path("every.dat");
    ASSERT_TRUE(WriteHeightDat(dat, ConstRasterView<std::uint16_t>(every.data(), 256, 256), 50.0f));
    CDATElevationDB reader(false);
    ASSERT_TRUE(reader.init(dat.c_str()));
    // The mask computes those heights in its own way.
    for (unsigned v = 0; v < 65536; ++v)
    {
        const float elevation = ElevationOfSample(static_cast<std::uint16_t>(v));
        ASSERT_EQ(reader.getElevation(v % 256, v / 256), elevation) << v;
        ASSERT_EQ(ScaledElevation(static_cast<std::uint16_t>(v), 2550.0f), elevation * 2550.0f) << v;
    }
}
