// A map's own units through every job: cliff angles and the relief at the map's height scale,
// the sea at a height in metres, legends in real metres, and masks whose blocks fit the map.
#include "tests/common/CliRunner.h"
#include "banks/GenerateShorelines.h"
#include "codec/HeightDat.h"
#include "support/Bitmap.h"
#include "support/MaskFit.h"
#include "support/WtrWriter.h"
#include "tools/HeightImage.h"
#include "tools/LoadedDat.h"
#include "tools/MapSidecar.h"
#include "tools/MapUnits.h"
#include "tools/ShorelineVector.h"

#include <cmath>

using namespace testcli;

namespace
{
constexpr double kPi = 3.14159265358979323846;

class MapUnits : public ScratchFolderTest
{
protected:
    // A height file of width x height samples, value(x, y) each, with a sidecar that maps a
    // sample to metres = offset + gain x sample and lies on the samples' own grid.
    template <typename Value>
    void writeMap(const std::string& name, int width, int height, float pixelSize, double gain, double offset,
                  Value value)
    {
        const std::vector<std::uint16_t> samples = Grid<std::uint16_t>(width, height, value);
        ASSERT_TRUE(WriteHeightDat(path(name), ConstRasterView<std::uint16_t>(samples.data(), width, height),
                                   pixelSize));
        MapGeoReference geo;
        geo.hasMapping = true;
        geo.gain = gain;
        geo.offset = offset;
        Status error;
        ASSERT_TRUE((error = WriteMapSidecar(MapSidecarPath(path(name)), geo, width, height, "test")).ok())
            << error.message;
    }

    // A RAW map of `samples` with an ENVI header that gives its size and, when gain is not 0,
    // its height mapping.
    void writeRaw(const std::string& name, int width, int height, const std::vector<std::uint16_t>& samples,
                  double gain, double offset)
    {
        std::vector<std::uint8_t> bytes(samples.size() * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            PutLe(bytes, 2 * i, samples[i], 2);
        WriteBytes(path(name), bytes);
        char mapping[96];
        std::snprintf(mapping, sizeof mapping, "data gain values = {%.17g}\ndata offset values = {%.17g}\n", gain,
                      offset);
        WriteText(path(name) + ".hdr", "ENVI\nsamples = " + std::to_string(width) + "\nlines = " +
                                           std::to_string(height) + "\nbands = 1\nheader offset = 0\ndata type = 12\n"
                                           "byte order = 0\n" + (gain != 0 ? mapping : ""));
    }

    // An all-dry mask made by wtr-encode from a grey image of side x side cells.
    CliRun encodeDryMask(const std::string& name, int side, const std::string& options)
    {
        BitmapOwner image;
        InitBitmap(&image.bitmap, side, side, 8);
        SaveBitmap(&image.bitmap, path(name + ".bmp").c_str());
        return run("wtr-encode " + path(name + ".bmp") + " -o " + path(name) + " " + options);
    }
};

// The grey pixels of an 8-bit BMP, row 0 the top row.
std::vector<std::uint8_t> BmpPixels(const std::string& file, int& width, int& height)
{
    BitmapOwner owner;
    if (!LoadBitmap24(&owner.bitmap, file.c_str()))
        return {};
    const BITMAP_& bitmap = owner.bitmap;
    width = bitmap.width;
    height = bitmap.height;
    std::vector<std::uint8_t> grey(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            grey[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                bitmap.data[std::size_t(height - 1 - y) * std::size_t(bitmap.bytesPerRow) + std::size_t(x) * 3];
    return grey;
}
} // namespace

TEST(MapUnitsParts, SeaSampleIsTheHighestAtOrBelowTheHeight)
{
    // Sample s is -100 + s x 5 / 257 metres: 0 m lies between samples 5140 (-0.0 m) and 5141.
    const HeightMapping mapping{5.0 / 257, -100, "map.raw.hdr"};
    EXPECT_EQ(*SeaSampleAtOrBelow(mapping, 0), 5140);
    EXPECT_EQ(*SeaSampleAtOrBelow(mapping, mapping.metres(5141)), 5141); // exactly on a sample
    EXPECT_EQ(*SeaSampleAtOrBelow(mapping, mapping.metres(5141) - 1e-6), 5140);
    EXPECT_EQ(*SeaSampleAtOrBelow(mapping, 1e6), 65535);
    const StatusOr<int> onZero = SeaSampleAtOrBelow(mapping, -99.99);
    EXPECT_NE(onZero.status.message.find("falls on sample 0"), std::string::npos) << onZero.status.message;
    const StatusOr<int> below = SeaSampleAtOrBelow(mapping, -101);
    EXPECT_NE(below.status.message.find("below the map's lowest height"), std::string::npos) << below.status.message;
    EXPECT_EQ(MetresFromText("0m"), 0.0);
    EXPECT_EQ(MetresFromText("-12.5m"), -12.5);
    EXPECT_EQ(MetresFromText("12"), std::nullopt);
    EXPECT_EQ(MetresFromText("m"), std::nullopt);
    EXPECT_EQ(MetresFromText("1e999m"), std::nullopt);
}

// Planes of known slope at the map's own scale: the cliff ramp lies at real degrees.
TEST_F(MapUnits, AutoHeightScaleGivesRealDegrees)
{
    const double gain = 0.0128; // a whole-metre DEM's automatic mapping: scale 3.2896
    const float pixelSize = 2.0f; // the steeper plane stays below the highest sample
    const int side = 256;
    const int angle = 45;
    const int threshold = 10;
    for (const double degrees : {angle - threshold / 2.0 - 1, angle + threshold / 2.0 + 1})
    {
        SCOPED_TRACE(degrees);
        // Rising east, then south: metres = distance x tan(degrees), in samples of `gain` metres.
        const double rise = pixelSize * std::tan(degrees * kPi / 180) / gain;
        writeMap("east.dat", side, side, pixelSize, gain, -50, [&](int x, int) { return std::lround(x * rise); });
        writeMap("south.dat", side, side, pixelSize, gain, -50, [&](int, int y) { return std::lround(y * rise); });
        const std::uint8_t expected = degrees < angle ? 0 : 255;
        for (const char* map : {"east", "south"})
        {
            const CliRun cliff = run("cliff " + path(std::string(map) + ".dat") + " -o " + path("cliff.bmp") +
                                     " --height-scale auto --angle 45 --threshold 10");
            ASSERT_EQ(cliff.exitCode, 0) << cliff.err;
            EXPECT_NE(cliff.out.find("height scale 3.2896 (the map's"), std::string::npos) << cliff.out;
            int width = 0;
            int height = 0;
            const std::vector<std::uint8_t> grey = BmpPixels(path("cliff.bmp"), width, height);
            ASSERT_EQ(width, side);
            long wrong = 0;
            for (int y = 0; y < side - 1; ++y)
                for (int x = 0; x < side - 1; ++x)
                    wrong += grey[std::size_t(y) * std::size_t(side) + std::size_t(x)] != expected;
            EXPECT_EQ(wrong, 0) << map;
        }
    }
    // The default is the map's scale too; a given scale is taken as given.
    ASSERT_EQ(run("cliff " + path("south.dat") + " -o " + path("default.bmp")).exitCode, 0);
    EXPECT_EQ(ReadBytes(path("default.bmp")), ReadBytes(path("cliff.bmp")));
    const CliRun given = run("cliff " + path("south.dat") + " -o " + path("given.bmp") + " --height-scale 1");
    EXPECT_NE(given.out.find("height scale 1 (the map's own would be 3.2896)"), std::string::npos) << given.out;
    EXPECT_NE(ReadBytes(path("given.bmp")), ReadBytes(path("cliff.bmp")));
}

TEST_F(MapUnits, AutoHeightScaleNeedsTheMapsHeights)
{
    const std::vector<std::uint16_t> flat(256 * 256, 1000);
    ASSERT_TRUE(WriteHeightDat(path("plain.dat"), ConstRasterView<std::uint16_t>(flat.data(), 256, 256), 50.0f));
    for (const char* command : {"cliff ", "preview "})
    {
        expectRefused(command + path("plain.dat") + " -o " + path("out") + (command[0] == 'c' ? ".bmp" : ".png") +
                          " --height-scale auto",
                      2, "--height-scale auto: " + path("plain.dat") + " has no height mapping");
        // Without a mapping the default stays 10.
        const CliRun plain = run(command + path("plain.dat") + " -o " + path("out") + (command[0] == 'c' ? ".bmp" : ".png"));
        EXPECT_EQ(plain.exitCode, 0) << plain.err;
        EXPECT_NE(plain.out.find("height scale 10\n"), std::string::npos) << plain.out;
    }
}

// The sea at 0 m: water on every sample at or below 0 m and on none above, whether 0 m falls on
// a sample or between two.
TEST_F(MapUnits, SeaLevelInMetresFloodsUpToThatHeight)
{
    const int side = 257;
    // Heights from -40 m to +60 m and a little over, across the map.
    for (const double offset : {-40.0, -40.0 + 0.5 * 5 / 257})
    {
        SCOPED_TRACE(offset);
        const double gain = 5.0 / 257;
        const std::vector<std::uint16_t> samples =
            Grid<std::uint16_t>(side, side, [](int x, int y) { return 20 * x + 3 * y + (x * y) % 7; });
        writeRaw("map.raw", side, side, samples, gain, offset);
        ASSERT_EQ(encodeDryMask("dry.wtr", 1280, "--scale 5").exitCode, 0);
        const CliRun process = run("process " + path("map.raw") + " --water " + path("dry.wtr") +
                                   " --sea-level 0m --no-blur-height");
        ASSERT_EQ(process.exitCode, 0) << process.err;
        LoadedDat water;
        LoadedDat terrain;
        Status error;
        ASSERT_TRUE((error = LoadDatFile(path("map_w.dat"), water)).ok()) << error.message;
        ASSERT_TRUE((error = LoadDatFile(path("map.dat"), terrain)).ok()) << error.message;
        long wrong = 0;
        long wet = 0;
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            const bool below = offset + gain * samples[i] <= 1e-9;
            const bool flooded = water.samples.data()[i] >= terrain.samples.data()[i];
            wrong += below != flooded;
            wet += flooded;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(wet, 1000);
        EXPECT_LT(wet, long(samples.size()) - 1000);
    }
    // A plain level keeps its 257 steps; a height on sample 0 or a map without a mapping is refused.
    expectRefused("process " + path("map.raw") + " --water " + path("dry.wtr") + " --sea-level -39.98m", 2,
                  "falls on sample 0");
    writeRaw("plain.raw", side, side, std::vector<std::uint16_t>(side * side, 9), 0, 0);
    expectRefused("process " + path("plain.raw") + " --sea-level 0m", 2, "the ENVI header gives no data gain values");
}

// The legend's greatest depth is the real one, in metres through the map's mapping.
TEST_F(MapUnits, WaterLegendGivesRealDepths)
{
    const int side = 256;
    const double gain = 0.0173;
    writeMap("lake.dat", side, side, 30.0f, gain, -12.0, [](int x, int y) { return 4000 + 37 * x + 11 * y; });
    // The water file beside it: a surface at 12000 over the western half.
    const std::vector<std::uint16_t> surface =
        Grid<std::uint16_t>(side, side, [](int x, int) { return x < 128 ? 12000 : 0; });
    ASSERT_TRUE(WriteHeightDat(path("lake_w.dat"), ConstRasterView<std::uint16_t>(surface.data(), side, side), 30.0f));
    int deepest = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < 128; ++x)
            deepest = std::max(deepest, 12000 - (4000 + 37 * x + 11 * y));
    char expected[64];
    std::snprintf(expected, sizeof expected, "legend: depths 0.0 m .. %.1f m\n", deepest * gain);
    // At any height scale: the legend's metres are the map's.
    for (const char* scale : {"", " --height-scale 10"})
    {
        const CliRun preview = run("preview " + path("lake_w.dat") + " -o " + path("lake.png") + scale);
        ASSERT_EQ(preview.exitCode, 0) << preview.err;
        EXPECT_NE(preview.out.find(expected), std::string::npos) << preview.out;
    }
}

TEST(MapUnitsParts, FittingBlocksAreMultiplesOfTheScaleThatDivideTheSides)
{
    EXPECT_EQ(FittingBlockSize(1280, 1280, 5), 320);
    EXPECT_EQ(FittingBlockSize(5115, 5115, 5), 165);
    EXPECT_EQ(FittingBlockSize(5120, 5120, 5), 320);
    EXPECT_EQ(FittingBlockSize(1024, 1024, 4), 256);
    EXPECT_EQ(FittingBlockSize(1280, 640, 5), 320);
    EXPECT_EQ(FittingBlockSize(1281, 1280, 5), 0);
    EXPECT_TRUE(MaskSideProblem(1280, 1280, 5).ok());
    EXPECT_NE(MaskSideProblem(1281, 1280, 5).message.find("1281 is not a multiple of scale 5: 1280 or 1285 cells fit"),
              std::string::npos);
    EXPECT_TRUE(MaskMapProblem(1280, 1280, 257, 257, 5).ok());
    EXPECT_NE(MaskMapProblem(1285, 1280, 257, 257, 5).message.find("take 1280 x 1280 cells at scale 5"),
              std::string::npos);
}

// Masks encoded for the map at scale 5 draw without a gap in process and banks.
TEST_F(MapUnits, MasksEncodedForTheScaleFitTheMap)
{
    for (const int map : {257, 1024, 1025})
    {
        SCOPED_TRACE(map);
        const int side = (map - 1) * 5;
        writeRaw("map.raw", map, map, std::vector<std::uint16_t>(std::size_t(map) * map, 500), 0, 0);
        const CliRun encoded = encodeDryMask("fit.wtr", side, "--like " + path("map.raw"));
        ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
        EXPECT_NE(encoded.out.find("block size " + std::to_string(FittingBlockSize(side, side, 5))), std::string::npos)
            << encoded.out;
        for (const std::string& command :
             {"process " + path("map.raw") + " --water " + path("fit.wtr"), "banks " + path("fit.wtr") + " -o " + path("fit.sl")})
        {
            const CliRun job = run(command);
            EXPECT_EQ(job.exitCode, 0) << job.err;
            EXPECT_EQ(job.err, "") << command;
        }
    }
    // An image of another size is refused, with the size that fits.
    const CliRun misfit = encodeDryMask("misfit.wtr", 1285, "--like " + path("map.raw"));
    EXPECT_EQ(misfit.exitCode, 2);
    EXPECT_NE(misfit.err.find("samples take 5120 x 5120 cells at scale 5"), std::string::npos) << misfit.err;
    EXPECT_FALSE(Exists(path("misfit.wtr")));
}

// The lines placed on the map lie where process puts the mask's water, for blocks that do and
// do not fit.
TEST_F(MapUnits, PlacedShorelinesFollowTheWaterProcessDraws)
{
    const int map = 257;
    const int side = 1280;
    // The sidecar's georeference is the identity: map coordinates are the samples' own.
    writeMap("map.dat", map, map, 40.0f, 0.02, 0, [](int, int) { return 0; });
    Status error;
    const std::vector<std::uint8_t> cells = MaskCells(side, side, [](int x, int z)
                                                      { return (x - 640) * (x - 640) + (z - 600) * (z - 600) < 240 * 240 ? 15 : 0; });
    for (const int block : {256, 260, 320})
    {
        SCOPED_TRACE(block);
        ASSERT_TRUE(WriteWtr(path("disc.wtr"), cells.data(), side, side, block));
        ShorelinePlacement placement;
        std::vector<std::string> warnings;
        ASSERT_TRUE((error = PlaceMaskOnMap(path("disc.wtr"), path("map.dat"), 5, 0, 10, placement, warnings)).ok())
            << error.message;
        EXPECT_DOUBLE_EQ(placement.cellSize, 8.0); // 40 m samples at scale 5
        BanksSettings settings;
        settings.waterPixelSize = float(placement.cellSize);
        NullMessages messages;
        const BanksResult generated = GenerateShorelines(path("disc.wtr"), settings, messages);
        ASSERT_TRUE(generated.status.ok());
        ASSERT_FALSE(generated.lines.empty());

        // The water the process job draws for this mask on a map of flat ground.
        CBitMask mask(1);
        ASSERT_TRUE(mask.load(path("disc.wtr")));
        const std::vector<std::uint16_t> ground(std::size_t(map) * map, 0);
        std::vector<std::uint16_t> water(ground.size(), 0);
        PlaceWaterBlocks(mask, {ground.data(), map, map}, {water.data(), map, map}, 5, -257);
        const auto wet = [&](int x, int y)
        {
            x = std::clamp(x, 0, map - 1);
            y = std::clamp(y, 0, map - 1);
            return water[std::size_t(y) * map + std::size_t(x)] != 0;
        };
        // Within one sample of the water process draws: wet and dry samples both that near
        // (Chebyshev distance to their squares). A sample is wet when a wet cell lands on it, so
        // the drawn water reaches up to a sample beyond its cells; the line itself lies between
        // two cells' centres, in the whole metres of the ".sl" file.
        const double reach = 1 + 1.0 / 5 + 1 / (placement.cellSize * 5);
        long far = 0;
        long points = 0;
        for (const Shoreline& line : generated.lines)
            for (const ShorePoint& point : line)
            {
                const MapPoint at = PlaceShorePoint(placement, point);
                bool anyWet = false;
                bool anyDry = false;
                for (int y = int(std::floor(at.y - reach)); y <= int(std::floor(at.y + reach)); ++y)
                    for (int x = int(std::floor(at.x - reach)); x <= int(std::floor(at.x + reach)); ++x)
                        (wet(x, y) ? anyWet : anyDry) = true;
                far += !(anyWet && anyDry);
                ++points;
            }
        EXPECT_EQ(far, 0) << "of " << points;
    }
}
