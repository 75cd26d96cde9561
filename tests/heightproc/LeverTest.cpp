#include "heightproc/Lever.h"
#include "tests/oracles/LeverReference.h"
#include "HeightprocTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace testing_support;

namespace
{

// Mask and lever height of every pixel after the fast blur and after the reference blur.
void ExpectSameLever(const LeverPlanes& fast, const BITMAP_* reference)
{
    for (int y = 0; y < fast.height; ++y)
    {
        for (int x = 0; x < fast.width; ++x)
        {
            const std::uint8_t* p = reference->data + static_cast<std::ptrdiff_t>(y) * reference->bytesPerRow + 3 * x;
            ASSERT_EQ(fast.mask(y)[x], p[0]) << "mask at " << x << "," << y;
            ASSERT_EQ(fast.red(y)[x], p[2]) << "red at " << x << "," << y;
        }
    }
}

// A lever with painted rectangles, random border bytes and some stray blue inside (which the
// binarisation overwrites).
OwnedBitmap RandomLever(int width, int height, std::mt19937& rng)
{
    OwnedBitmap lever(width, height);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            lever.set(x, y, static_cast<std::uint8_t>(byte(rng) < 128 ? 0 : byte(rng)), 0);
    for (int painted = 0; painted < 4; ++painted)
    {
        std::uniform_int_distribution<int> column(0, width - 1);
        std::uniform_int_distribution<int> row(0, height - 1);
        const int x0 = column(rng);
        const int y0 = row(rng);
        const int x1 = std::min(width, x0 + 1 + column(rng) / 2);
        const int y1 = std::min(height, y0 + 1 + row(rng) / 2);
        const auto red = static_cast<std::uint8_t>(1 + byte(rng) % 255);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                lever.pixel(x, y)[2] = red;
    }
    return lever;
}

std::string SaveLever(const OwnedBitmap& lever, const std::string& name)
{
    const std::string path = (FreshDir("lever_" + name) / "lever.bmp").string();
    BITMAP_ copy = lever.bitmap;
    EXPECT_TRUE(SaveBitmap(&copy, path.c_str()));
    return path;
}

// The image of a painted half: red R from column x0 on, in every row.
OwnedBitmap EdgeLever(int width, int height, int x0, std::uint8_t red)
{
    OwnedBitmap lever(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = x0; x < width; ++x)
            lever.set(x, y, 0, red);
    return lever;
}

} // namespace

// The blur and the blend run in bands of at least 16 rows: the larger levers cross bands at any
// worker count the suite runs at (make test runs it at 3 and 7 workers too).
TEST(Lever, FastStagesMatchTheReferenceOnRandomLevers)
{
    std::mt19937 rng(20240611);
    const int sizes[][2] = {{3, 3}, {4, 7}, {5, 3}, {37, 29}, {130, 41}, {64, 90}};
    const float sharpnesses[] = {0.0f, 0.3f, 0.75f, 0.9985f, 0.999f, 1.0f};
    int round = 0;
    for (const auto& size : sizes)
    {
        for (int passes = 0; passes <= 5; ++passes, ++round)
        {
            SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1] << " passes " << passes);
            const OwnedBitmap lever = RandomLever(size[0], size[1], rng);
            OwnedBitmap fastLever(lever);
            OwnedBitmap referenceLever(lever);
            OwnedBitmap work(size[0], size[1]);

            RecordingProgress fastProgress;
            RecordingProgress referenceProgress;
            fastProgress.setPos(100);
            referenceProgress.setPos(100);
            const LeverPlanes planes = BinarizeLever(fastLever.bitmap);
            BlurLever(planes, passes, fastProgress);
            reference::BinarizeLever(&referenceLever.bitmap);
            const BITMAP_* blurred = reference::BlurLever(&referenceLever.bitmap, &work.bitmap, passes,
                                                          referenceProgress);
            ExpectSameLever(planes, blurred);
            EXPECT_EQ(fastProgress.positions, referenceProgress.positions);

            const float factor = LeverFactor(sharpnesses[round % 6]);
            Raster fastHeights = RandomRaster(size[0], size[1], rng);
            Raster referenceHeights = fastHeights;
            BlendLever(planes, fastHeights.view(), factor);
            reference::BlendLever(blurred, referenceHeights.view(), factor);
            EXPECT_EQ(fastHeights.samples, referenceHeights.samples);
        }
    }
}

TEST(Lever, ASingleLeverPixelSpreadsToItsNeighboursAndLosesItsOwnMask)
{
    OwnedBitmap lever(9, 9);
    lever.set(4, 4, 0, 77);
    const LeverPlanes planes = BinarizeLever(lever.bitmap);
    EXPECT_EQ(planes.mask(4)[4], 255);
    NullProgress progress;
    BlurLever(planes, 1, progress);
    for (int y = 0; y < 9; ++y)
    {
        for (int x = 0; x < 9; ++x)
        {
            const bool neighbour = std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1 && !(x == 4 && y == 4);
            EXPECT_EQ(planes.mask(y)[x], neighbour ? 31 : 0) << x << "," << y;
            EXPECT_EQ(planes.red(y)[x], neighbour ? 77 : 0) << x << "," << y;
        }
    }
}

// Painted only in the picture's top three rows (the last stored rows): at sharpness 1 the top
// interior height rows take the lever height, every other interior row its red 0.
TEST(Lever, PaintInTheTopRowsOfThePictureMovesTheTopRowsOfTheMap)
{
    OwnedBitmap lever(20, 10);
    for (int row = 7; row < 10; ++row)
        for (int x = 0; x < 20; ++x)
            lever.set(x, row, 0, 150);
    const LeverPlanes planes = BinarizeLever(lever.bitmap);
    Raster heights(20, 10, 1000);
    BlendLever(planes, heights.view(), LeverFactor(1.0f));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(heights.at(x, y), x == 0 || y == 0 || x == 19 || y == 9 ? 1000 : y <= 2 ? 150 * 256 : 0)
                << x << "," << y;
}

TEST(Lever, ApplyLeverMatchesTheReferenceAndMovesTheBarByOneHundred)
{
    std::mt19937 rng(11);
    const OwnedBitmap lever = RandomLever(61, 47, rng);
    const std::string path = SaveLever(lever, "apply");
    ProcessSettings settings;
    settings.rawWidth = 61;
    settings.rawHeight = 47;
    settings.blur = 10;
    settings.sharpness = 0.3f;
    Raster fast = RandomRaster(61, 47, rng);
    Raster slow = fast;
    RecordingProgress fastProgress;
    RecordingProgress slowProgress;
    RecordingMessages messages;
    EXPECT_TRUE(ApplyLever(settings, path, fast.view(), fastProgress, messages).ok());
    EXPECT_TRUE(reference::ApplyLever(settings, path, slow.view(), slowProgress, messages).ok());
    EXPECT_EQ(fast.samples, slow.samples);
    EXPECT_EQ(fastProgress.positions, (std::vector<int>{0, 11, 22, 33, 44, 55, 66, 77, 88, 100}));
    EXPECT_EQ(fastProgress.positions, slowProgress.positions);
    EXPECT_TRUE(messages.messages.empty());

    settings.blur = 1;
    fastProgress.positions.clear();
    fastProgress.setPos(40);
    EXPECT_TRUE(ApplyLever(settings, path, fast.view(), fastProgress, messages).ok());
    EXPECT_EQ(fastProgress.positions, (std::vector<int>{40, 140}));
}

// A bitmap that is missing, not a bitmap, or one pixel off the map's size changes nothing; only
// the size is reported, under the program's caption.
TEST(Lever, AnUnusableBitmapChangesNothing)
{
    const std::filesystem::path dir = FreshDir("lever_unusable");
    std::ofstream(dir / "garbage.bmp") << "BM this is not a bitmap";
    std::vector<std::pair<std::string, StatusCode>> cases = {{(dir / "missing.bmp").string(), StatusCode::cannotOpen},
                                                             {(dir / "garbage.bmp").string(), StatusCode::cannotOpen}};
    for (const auto& [width, height] : {std::pair{39, 30}, std::pair{40, 29}, std::pair{41, 30}})
        cases.emplace_back(SaveLever(EdgeLever(width, height, 10, 99), "size"), StatusCode::invalidInput);
    std::mt19937 rng(5);
    const Raster before = RandomRaster(40, 30, rng);
    for (const auto& [path, code] : cases)
    {
        ProcessSettings settings;
        settings.rawWidth = 40;
        settings.rawHeight = 30;
        Raster heights = before;
        NullProgress progress;
        RecordingMessages messages;
        EXPECT_EQ(ApplyLever(settings, path, heights.view(), progress, messages).code, code) << path;
        EXPECT_EQ(heights.samples, before.samples) << path;
        ASSERT_EQ(messages.messages.size(), code == StatusCode::invalidInput ? 1u : 0u) << path;
        if (code == StatusCode::invalidInput)
        {
            EXPECT_EQ(messages.messages[0].text, "Lever bitmap size is different from height map");
            EXPECT_EQ(messages.messages[0].caption, kAppName);
        }
    }
}
