// altimo-cli import of elevation rasters that GDAL reads: signed and float heights, nodata holes,
// projected and geographic georeferences, and resampling. The rasters are made here with GDAL.
#include "tests/common/CliRunner.h"
#include "tools/MapSidecar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <string>
#include <vector>

#ifdef ALTIMO_TEST_GDAL
#include <cpl_string.h>
#include <cstdio>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace
{
using namespace testcli;
// UTM 33 north, in metres; a US state plane zone in US survey feet; WGS 84 in degrees.
constexpr int kUtm33 = 32633;
constexpr int kFeetZone = 2227;
constexpr int kWgs84 = 4326;

struct Raster
{
    int width = 300;
    int height = 280;
    GDALDataType type = GDT_Float32;
    std::vector<double> heights; // row-major
    double transform[6] = {500000, 30, 0, 4600000, 0, -30};
    int epsg = kUtm33;
    std::string srs; // any system GDAL reads ("EPSG:32633+8228"); instead of epsg
    bool hasNodata = false;
    double nodata = 0;
    std::string unit; // the band's unit type
    double scale = 1;
    double offset = 0;
};

std::string Wkt(int epsg)
{
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, epsg);
    char* wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    std::string text = wkt;
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    return text;
}

void WriteGeoTiff(const std::string& path, const Raster& raster)
{
    GDALAllRegister();
    GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), raster.width, raster.height, 1,
                                      raster.type, nullptr);
    ASSERT_NE(dataset, nullptr) << path;
    GDALSetGeoTransform(dataset, const_cast<double*>(raster.transform));
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    ASSERT_EQ(raster.srs.empty() ? OSRImportFromEPSG(srs, raster.epsg) : OSRSetFromUserInput(srs, raster.srs.c_str()),
              OGRERR_NONE);
    GDALSetSpatialRef(dataset, srs);
    OSRDestroySpatialReference(srs);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (raster.hasNodata)
        GDALSetRasterNoDataValue(band, raster.nodata);
    if (!raster.unit.empty())
        GDALSetRasterUnitType(band, raster.unit.c_str());
    if (raster.scale != 1 || raster.offset != 0)
    {
        GDALSetRasterScale(band, raster.scale);
        GDALSetRasterOffset(band, raster.offset);
    }
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, raster.width, raster.height,
                           const_cast<double*>(raster.heights.data()), raster.width, raster.height, GDT_Float64, 0, 0),
              CE_None);
    GDALClose(dataset);
}

// A hill with a valley below sea level, from `low` to `high` metres, as a raster of `type` (in
// whole metres for an integer type), with `nodata` its nodata value unless that is NaN.
Raster Hill(double low, double high, GDALDataType type = GDT_Float32, double nodata = NAN, int width = 300,
            int height = 280)
{
    Raster raster;
    raster.width = width;
    raster.height = height;
    raster.type = type;
    raster.heights.resize(std::size_t(width) * height);
    const bool whole = type != GDT_Float32 && type != GDT_Float64;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const double h = low + (high - low) * (0.5 + 0.5 * std::sin(x * 0.05) * std::cos(y * 0.031));
            raster.heights[std::size_t(y) * width + x] = whole ? std::round(h) : h;
        }
    raster.hasNodata = !std::isnan(nodata);
    raster.nodata = raster.hasNodata ? nodata : 0;
    return raster;
}

// The lowest and highest height of the cells that are not nodata: the auto range.
std::pair<double, double> ValidRange(const Raster& raster)
{
    double low = 1e300;
    double high = -1e300;
    for (double h : raster.heights)
        if (!std::isnan(h) && !(raster.hasNodata && h == raster.nodata))
        {
            low = std::min(low, h);
            high = std::max(high, h);
        }
    return {low, high};
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A raster as GDAL opens it (a RAW map through its header): the samples and values of its first
// band, its height mapping and georeference, its mask band (0 where there is no data), the
// mask's flags and the NoData value.
struct Decoded
{
    int width = 0;
    int height = 0;
    double gain = 1;
    double offset = 0;
    double transform[6] = {};
    std::string wkt;
    std::vector<std::uint16_t> samples;
    std::vector<double> values;
    std::vector<std::uint8_t> mask;
    int maskFlags = 0;
    int hasNodata = FALSE;
    double nodata = 0;
};

Decoded Decode(const std::string& path)
{
    Decoded map;
    GDALDatasetH dataset = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(dataset, nullptr) << path;
    if (dataset == nullptr)
        return map;
    map.width = GDALGetRasterXSize(dataset);
    map.height = GDALGetRasterYSize(dataset);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    map.gain = GDALGetRasterScale(band, nullptr);
    map.offset = GDALGetRasterOffset(band, nullptr);
    GDALGetGeoTransform(dataset, map.transform);
    map.wkt = GDALGetProjectionRef(dataset);
    map.samples.resize(std::size_t(map.width) * map.height);
    map.values.resize(map.samples.size());
    map.mask.resize(map.samples.size());
    EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, map.width, map.height, map.samples.data(), map.width, map.height,
                           GDT_UInt16, 0, 0),
              CE_None);
    EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, map.width, map.height, map.values.data(), map.width, map.height,
                           GDT_Float64, 0, 0),
              CE_None);
    EXPECT_EQ(GDALRasterIO(GDALGetMaskBand(band), GF_Read, 0, 0, map.width, map.height, map.mask.data(), map.width,
                           map.height, GDT_Byte, 0, 0),
              CE_None);
    map.maskFlags = GDALGetMaskFlags(band);
    map.nodata = GDALGetRasterNoDataValue(band, &map.hasNodata);
    GDALClose(dataset);
    return map;
}

// Whether a raster GDAL opened lies where `raster` lies: origin, pixel size and projection.
void ExpectOnTheMapOf(const Decoded& map, const Raster& raster)
{
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(map.transform[i], raster.transform[i]) << i;
    OGRSpatialReferenceH source = OSRNewSpatialReference(Wkt(raster.epsg).c_str());
    OGRSpatialReferenceH read = OSRNewSpatialReference(map.wkt.c_str());
    EXPECT_TRUE(OSRIsSame(source, read));
    OSRDestroySpatialReference(read);
    OSRDestroySpatialReference(source);
}

// Every band of an 8-bit picture GDAL reads, interleaved; checked to lie on `raster` when given.
std::vector<std::uint8_t> Pixels(const std::string& path, const Raster* raster = nullptr)
{
    GDALDatasetH dataset = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(dataset, nullptr) << path;
    if (dataset == nullptr)
        return {};
    const int width = GDALGetRasterXSize(dataset);
    const int height = GDALGetRasterYSize(dataset);
    const int bands = GDALGetRasterCount(dataset);
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * bands);
    EXPECT_EQ(GDALDatasetRasterIO(dataset, GF_Read, 0, 0, width, height, pixels.data(), width, height, GDT_Byte,
                                  bands, nullptr, bands, GSpacing(bands) * width, 1),
              CE_None);
    GDALClose(dataset);
    if (raster != nullptr)
        ExpectOnTheMapOf(Decode(path), *raster);
    return pixels;
}

// Every height of the map, through its gain and offset, within low..high to half a step.
void ExpectWithin(const Decoded& map, double low, double high)
{
    const double half = map.gain / 2 * (1 + 1e-9);
    int outside = 0;
    for (std::uint16_t sample : map.samples)
    {
        const double h = map.offset + map.gain * sample;
        outside += h < low - half || h > high + half;
    }
    EXPECT_EQ(outside, 0) << "of " << map.samples.size() << " heights outside " << low << ".." << high;
}

class DemImport : public testcli::ScratchFolderTest
{
protected:
    // Every valid cell that the mapping holds within half a step of its height: sample s is
    // the height base + s x step.
    static void ExpectMapped(const std::vector<std::uint16_t>& samples, const Raster& raster, double base, double step)
    {
        ASSERT_EQ(samples.size(), raster.heights.size());
        int bad = 0;
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            const double h = raster.heights[i];
            if ((raster.hasNodata && h == raster.nodata) || std::isnan(h) || h < base || h > base + 65535 * step)
                continue;
            bad += std::fabs(base + samples[i] * step - h) > step / 2 * (1 + 1e-9);
        }
        EXPECT_EQ(bad, 0);
    }
};
} // namespace

TEST_F(DemImport, WholeMetreHeightsMapInTheMapsUnitsOrAsAskedWithTheHeightScaleNamed)
{
    // 840 m of relief around sea level, with a nodata hole.
    Raster raster = Hill(-3, 837, GDT_Int16, -32768);
    for (int y = 100; y < 110; ++y)
        for (int x = 50; x < 70; ++x)
            raster.heights[std::size_t(y) * raster.width + x] = raster.nodata; // 200 cells
    WriteGeoTiff(path("dem.tif"), raster);
    const auto [low, high] = ValidRange(raster);
    ASSERT_EQ(high - low, 840);

    // Height scale 5 (2 holds 510 m, 5 holds 1275 m): a sample is 5/257 m from a multiple of 5 m
    // just below the lowest height.
    // (The hole at one height, so that it cannot move the lowest height; the filling has its own tests.)
    const testcli::CliRun result = run("import " + path("dem.tif") + " -o " + path("dem.raw") + " --fill-voids off");
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("GTiff, Int16, 300 x 280"));
    EXPECT_THAT(result.out, HasSubstr("height scale 5: a sample is 0.01946 m; use Height scale 5 on the cliff page"));
    EXPECT_THAT(result.out, HasSubstr("all set to one height"));
    EXPECT_THAT(result.out, HasSubstr("pixel size: 30 m"));
    const Decoded map = Decode(path("dem.raw"));
    EXPECT_EQ(map.gain, 5.0 / 257);
    EXPECT_EQ(std::fmod(map.offset, 5), 0);
    EXPECT_LT(map.offset, low);
    EXPECT_GE(map.offset, low - 5);
    ExpectMapped(map.samples, raster, map.offset, map.gain);
    EXPECT_EQ(map.samples[std::size_t(105) * raster.width + 60], std::round((low - map.offset) * 257 / 5)); // the hole
    // Sea level N (N x 257 samples) is the round height offset + 5 N: a cell lies at or below
    // the one exactly when its height does; 0 m is one of them.
    int misplaced = 0;
    for (std::size_t i = 0; i < map.samples.size(); ++i)
        if (raster.heights[i] != raster.nodata)
            misplaced += std::ceil(map.samples[i] / 257.0) != std::ceil((raster.heights[i] - map.offset) / 5);
    EXPECT_EQ(misplaced, 0);
    const int zero = int(-map.offset / 5);
    EXPECT_THAT(result.out, HasSubstr("sea level " + std::to_string(zero) + " is 0 m"));

    // A step of 1 m codes the whole metres as they are, from a multiple of 257 m (Height scale 257).
    const testcli::CliRun metre = run("import " + path("dem.tif") + " -o " + path("metre.raw") + " --height-step 1");
    ASSERT_EQ(metre.exitCode, 0) << metre.out << metre.err;
    EXPECT_THAT(metre.out, HasSubstr("height scale 257: a sample is 1 m"));
    const Decoded metres = Decode(path("metre.raw"));
    EXPECT_EQ(metres.gain, 1);
    EXPECT_EQ(metres.offset, -257);
    int inexact = 0;
    for (std::size_t i = 0; i < metres.samples.size(); ++i)
        inexact += raster.heights[i] != raster.nodata && metres.samples[i] != raster.heights[i] + 257;
    EXPECT_EQ(inexact, 0);
    // A step too fine for the heights is refused, naming the way out; a step and a range conflict.
    expectRefused("import " + path("dem.tif") + " -o " + path("x.raw") + " --height-step 0.01", 1,
                  "--height-step 0.01: the heights " + Number(low) + ".." + Number(high) +
                      " need more than the 65,535 steps");
    EXPECT_EQ(
        run("import " + path("dem.tif") + " -o " + path("x.raw") + " --height-step 1 --height-range 0:9").exitCode, 2);
    EXPECT_EQ(run("import " + path("dem.tif") + " -o " + path("x.raw") + " --height-step 0").exitCode, 2);
    EXPECT_FALSE(Exists(path("x.raw")));

    // A given range clips and counts what lies outside, names its equivalent height scale, and
    // the hole gets the height asked for.
    const testcli::CliRun given =
        run("import " + path("dem.tif") + " -o " + path("given.raw") + " --height-range=0:1000 --nodata-height 500");
    ASSERT_EQ(given.exitCode, 0) << given.out << given.err;
    long long outside = 0;
    for (std::size_t i = 0; i < raster.heights.size(); ++i)
        outside += raster.heights[i] != raster.nodata && (raster.heights[i] < 0 || raster.heights[i] > 1000);
    EXPECT_GT(outside, 0);
    EXPECT_THAT(given.out, HasSubstr("clipped cells: " + std::to_string(outside) + " (outside 0..1000)"));
    EXPECT_THAT(given.out, HasSubstr("equivalent height scale 3.92157: a sample is 0.01526 m")); // 1000 x 257 / 65535
    const std::vector<std::uint16_t> clipped = ReadLe16Samples(path("given.raw"));
    ExpectMapped(clipped, raster, 0, 1000.0 / 65535);
    EXPECT_EQ(clipped[std::size_t(105) * raster.width + 60], 32768); // 500 m: floor(32767.5 + 0.5)
}

// The cells a map's exports must mark: export --heights metres writes NoData exactly there, and
// export of the samples a mask band that is 0 exactly there.
void ExpectExportsMark(const std::string& folder, const std::string& dat, const std::vector<bool>& nodata)
{
    const std::string metresPath = folder + "/metres.tif";
    const std::string samplesPath = folder + "/samples.tif";
    ASSERT_EQ(testcli::RunCli("-q export " + dat + " -o " + metresPath + " --heights metres", folder).exitCode, 0);
    const Decoded metres = Decode(metresPath);
    ASSERT_EQ(metres.values.size(), nodata.size());
    EXPECT_TRUE(metres.hasNodata);
    EXPECT_EQ(metres.nodata, -32768);
    const testcli::CliRun samples = testcli::RunCli("export " + dat + " -o " + samplesPath, folder);
    ASSERT_EQ(samples.exitCode, 0) << samples.err;
    EXPECT_THAT(samples.out, HasSubstr("cells of the source marked in a mask band"));
    const Decoded masked = Decode(samplesPath);
    EXPECT_EQ(masked.maskFlags, GMF_PER_DATASET);
    ASSERT_EQ(masked.mask.size(), nodata.size());
    long long wrong = 0;
    for (std::size_t i = 0; i < nodata.size(); ++i)
        wrong += (metres.values[i] == -32768) != nodata[i] || (masked.mask[i] == 0) != nodata[i];
    EXPECT_EQ(wrong, 0);
}

// The lowest and highest height of the valid cells 8-adjacent to the region `in`.
std::pair<double, double> RimRange(const Raster& raster, const std::vector<bool>& in)
{
    double low = 1e300;
    double high = -1e300;
    for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
            if (in[std::size_t(y) * raster.width + x])
                for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, raster.height - 1); ++ny)
                    for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, raster.width - 1); ++nx)
                    {
                        const double h = raster.heights[std::size_t(ny) * raster.width + nx];
                        if (h != raster.nodata && !std::isnan(h))
                        {
                            low = std::min(low, h);
                            high = std::max(high, h);
                        }
                    }
    return {low, high};
}

std::vector<bool> NodataCells(const Raster& raster)
{
    std::vector<bool> cells(raster.heights.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        cells[i] = std::isnan(raster.heights[i]) || (raster.hasNodata && raster.heights[i] == raster.nodata);
    return cells;
}

TEST_F(DemImport, VoidsAreFilledWithinTheirRimsAndTheirCellsStayKnownToTheExports)
{
    // Whole metres with a void of 3 cells and one of about 3,000, neither touching the edge.
    Raster raster = Hill(-120, 2300, GDT_Int16, -32768);
    std::vector<bool> small(raster.heights.size());
    std::vector<bool> large(raster.heights.size());
    for (const int i : {30 * 300 + 40, 30 * 300 + 41, 31 * 300 + 41})
        small[std::size_t(i)] = true;
    for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
            large[std::size_t(y) * 300 + x] = std::pow((x - 180) / 45.0, 2) + std::pow((y - 150) / 22.0, 2) < 1;
    for (std::size_t i = 0; i < raster.heights.size(); ++i)
        if (small[i] || large[i])
            raster.heights[i] = raster.nodata;
    const std::vector<bool> nodata = NodataCells(raster);
    const long long cells = std::count(nodata.begin(), nodata.end(), true);
    ASSERT_GT(cells, 3000);
    WriteGeoTiff(path("dem.tif"), raster);

    const testcli::CliRun result = run("import " + path("dem.tif") + " -o " + path("dem.raw"));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("nodata cells: " + std::to_string(cells) + ": 2 voids of " +
                                      std::to_string(cells) + " cells filled from their rims"));
    const Decoded map = Decode(path("dem.raw"));
    ExpectMapped(map.samples, raster, map.offset, map.gain); // the data as before
    const double half = map.gain / 2 * (1 + 1e-9);
    for (const std::vector<bool>* region : {&small, &large})
    {
        const auto [rimLow, rimHigh] = RimRange(raster, *region);
        double filledLow = 1e300;
        double filledHigh = -1e300;
        for (std::size_t i = 0; i < region->size(); ++i)
            if ((*region)[i])
            {
                const double h = map.offset + map.gain * map.samples[i];
                filledLow = std::min(filledLow, h);
                filledHigh = std::max(filledHigh, h);
            }
        EXPECT_GE(filledLow, rimLow - half);
        EXPECT_LE(filledHigh, rimHigh + half);
        EXPECT_GT(filledHigh - filledLow, (rimHigh - rimLow) / 4) << "not one flat height";
    }

    // The mask beside the RAW holds the voids, named in the header, and reaches the exports
    // through the height file's sidecar.
    const Decoded mask = Decode(path("dem_nodata.tif"));
    ASSERT_EQ(mask.values.size(), nodata.size());
    long long wrong = 0;
    for (std::size_t i = 0; i < nodata.size(); ++i)
        wrong += mask.values[i] != (nodata[i] ? 1 : 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_THAT(ReadText(path("dem.raw.hdr")), HasSubstr("nodata mask = {dem_nodata.tif}\n"));
    const testcli::CliRun processed = run("process " + path("dem.raw"));
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    EXPECT_THAT(processed.out, HasSubstr("the mask " + path("dem_nodata.tif") + " travels with it"));
    EXPECT_THAT(ReadText(path("dem.dat.json")), HasSubstr("\"mask\": \"dem_nodata.tif\""));
    EXPECT_THAT(run("dat-info " + path("dem.dat")).out,
                HasSubstr("nodata:          " + std::to_string(cells) + " cells: 2 voids of"));
    EXPECT_THAT(run("preview " + path("dem.dat") + " -o " + path("relief.png")).out,
                HasSubstr("nodata in the source: " + std::to_string(cells) + " cells"));
    ExpectExportsMark(path(""), path("dem.dat"), nodata);

    // --fill-voids off: one height for every nodata cell, as a given range clips and counts.
    const testcli::CliRun given = run("import " + path("dem.tif") + " -o " + path("given.raw") +
                                      " --height-range=0:1000 --fill-voids off --nodata-height 500");
    ASSERT_EQ(given.exitCode, 0) << given.out << given.err;
    long long outside = 0;
    for (std::size_t i = 0; i < raster.heights.size(); ++i)
        outside += !nodata[i] && (raster.heights[i] < 0 || raster.heights[i] > 1000);
    EXPECT_GT(outside, 0);
    EXPECT_THAT(given.out, HasSubstr("clipped cells: " + std::to_string(outside) + " (outside 0..1000)"));
    EXPECT_THAT(given.out, HasSubstr("all set to one height (500)"));
    const std::vector<std::uint16_t> clipped = ReadLe16Samples(path("given.raw"));
    ExpectMapped(clipped, raster, 0, 1000.0 / 65535);
    long long elsewhere = 0;
    for (std::size_t i = 0; i < nodata.size(); ++i)
        elsewhere += nodata[i] && clipped[i] != 32768; // 500 m: floor(32767.5 + 0.5)
    EXPECT_EQ(elsewhere, 0);
    expectRefused("import " + path("dem.tif") + " -o " + path("x.raw") + " --fill-voids on --nodata-height 500", 2,
                  "--nodata-height gives every nodata cell one height");
}

// Slopes of a raster of 30 m pixels in degrees, the steepest of its valid cells' central
// differences.
double SteepestSlope(const Raster& raster)
{
    const std::vector<bool> nodata = NodataCells(raster);
    double steepest = 0;
    for (int y = 1; y + 1 < raster.height; ++y)
        for (int x = 1; x + 1 < raster.width; ++x)
        {
            const std::size_t i = std::size_t(y) * raster.width + x;
            if (nodata[i] || nodata[i - 1] || nodata[i + 1] || nodata[i - raster.width] || nodata[i + raster.width])
                continue;
            const double dx = (raster.heights[i + 1] - raster.heights[i - 1]) / 60;
            const double dy = (raster.heights[i + raster.width] - raster.heights[i - raster.width]) / 60;
            steepest = std::max(steepest, std::atan(std::hypot(dx, dy)) * 180 / M_PI);
        }
    return steepest;
}

TEST_F(DemImport, AFootprintCarriedOutwardMakesNoCliffAlongIt)
{
    // Floats of gentle slopes inside a footprint with bays and capes, -9999 around it.
    Raster raster = Hill(10, 560, GDT_Float32, -9999);
    for (int y = 0; y < raster.height; ++y)
        for (int x = 0; x < raster.width; ++x)
        {
            const double u = (x + 0.5) / raster.width * 2 - 1;
            const double v = (y + 0.5) / raster.height * 2 - 1;
            if (std::hypot(u, v) > 0.8 + 0.15 * std::sin(5 * std::atan2(v, u)))
                raster.heights[std::size_t(y) * raster.width + x] = raster.nodata;
        }
    ASSERT_LT(SteepestSlope(raster), 30);
    const std::vector<bool> nodata = NodataCells(raster);
    WriteGeoTiff(path("dem.tif"), raster);

    // The cliff mask at 45 degrees through the map's own height scale: a sample is gain metres.
    const auto steepPixels = [&](const std::string& options) {
        const testcli::CliRun imported = run("import " + path("dem.tif") + " -o " + path("dem.raw") + options);
        EXPECT_EQ(imported.exitCode, 0) << imported.err;
        EXPECT_EQ(run("-q process " + path("dem.raw")).exitCode, 0);
        const double scale = Decode(path("dem.raw")).gain * 257;
        EXPECT_EQ(run("-q cliff " + path("dem.dat") + " --angle 45 --threshold 10 --height-scale " + Number(scale) +
                      " -o " + path("cliff.tif"))
                      .exitCode,
                  0);
        const std::vector<std::uint8_t> cliff = Pixels(path("cliff.tif"));
        return std::count_if(cliff.begin(), cliff.end(), [](std::uint8_t pixel) { return pixel > 0; });
    };
    EXPECT_GT(steepPixels(" --fill-voids off"), 0) << "the wall the filling removes";
    EXPECT_EQ(steepPixels(""), 0);
    EXPECT_THAT(ReadText(path("dem.raw.hdr")), HasSubstr("voids = 0\n"));
    ExpectExportsMark(path(""), path("dem.dat"), nodata);
}


TEST_F(DemImport, FloatHeightsInProjectedMetresAndFeet)
{
    Raster raster = Hill(12.25, 845.5);
    raster.heights[7] = std::nan("");
    WriteGeoTiff(path("dem32.tif"), raster);
    const testcli::CliRun result = run("import " + path("dem32.tif") + " -o " + path("dem32.raw"));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("Float32"));
    EXPECT_THAT(result.out, HasSubstr("nodata cells: 1: 1 cell outside the footprint carried outward"));
    Raster asFloat = raster;
    for (double& h : asFloat.heights)
        h = double(float(h)); // what the file holds
    const Decoded map = Decode(path("dem32.raw"));
    ExpectMapped(map.samples, asFloat, map.offset, map.gain);
    // The NaN cell on the top row between its neighbours.
    const auto [lowest, highest] =
        std::minmax({map.samples[6], map.samples[8], map.samples[306], map.samples[307], map.samples[308]});
    EXPECT_GE(map.samples[7], lowest);
    EXPECT_LE(map.samples[7], highest);

    // Float64 in a zone measured in feet: 10 ft pixels are 3.048 m.
    Raster feet = Hill(-3.5, 14000.125, GDT_Float64);
    feet.epsg = kFeetZone;
    feet.transform[1] = 10;
    feet.transform[5] = -10;
    WriteGeoTiff(path("dem64.tif"), feet);
    const testcli::CliRun feetRun = run("import " + path("dem64.tif") + " -o " + path("dem64.raw"));
    ASSERT_EQ(feetRun.exitCode, 0) << feetRun.out << feetRun.err;
    EXPECT_THAT(feetRun.out, HasSubstr("pixel size: 3.048"));
    const Decoded feetMap = Decode(path("dem64.raw"));
    ExpectMapped(feetMap.samples, feet, feetMap.offset, feetMap.gain);
}

// A hill of `width` x `height` cells of -9999 outside an ellipse that touches the edges' centres.
Raster Footprint(int width, int height, double low, double high)
{
    Raster raster = Hill(low, high, GDT_Float32, -9999, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const double u = (x + 0.5) / width * 2 - 1;
            const double v = (y + 0.5) / height * 2 - 1;
            if (u * u + v * v > 1)
                raster.heights[std::size_t(y) * width + x] = raster.nodata;
        }
    return raster;
}

// A whole-metre DEM of 403 x 344 pixels of 90 m.
Raster Int16Dem()
{
    Raster raster = Hill(141, 547, GDT_Int16, NAN, 403, 344);
    raster.transform[1] = 90;
    raster.transform[5] = -90;
    return raster;
}

Raster SmallDem()
{
    return Hill(5, 60, GDT_Float32, NAN, 180, 120);
}

Raster Int16DemWithANodataRow()
{
    Raster raster = Int16Dem();
    raster.hasNodata = true;
    raster.nodata = -32768;
    std::fill_n(raster.heights.begin() + 403 * 100, 403, raster.nodata);
    return raster;
}

// A raster of any shape imported to a square map of `size` samples, and what the summary says.
struct Shape
{
    const char* name;
    Raster raster;
    std::string options;
    int size;
    const char* says;
};

// The DEM with a nodata row, a float DEM of 1:3 whose footprint is an ellipse in nodata, a
// raster too small for a map.
const Shape kShapes[] = {
    {"Pad", Int16DemWithANodataRow(), "--size 513", 513,
     "padded with nodata to a square: 29.1 rows above and 29.9 below"},
    {"Crop", Int16DemWithANodataRow(), "--size 257 --fit crop", 257,
     "cut to the centre square: 29.4 columns on the left"},
    {"Window", Int16DemWithANodataRow(), "--size 257 --window 3 4 300 200", 257,
     "took the window 3 4 300 200 of the 403 x 344"},
    {"Footprint", Footprint(120, 360, -20.5, 310.25), "--size 257", 257, "120 x 360 pixels of 30 m to 257 x 257"},
    {"Cubic", Footprint(120, 360, -20.5, 310.25), "--size 257 -r cubic", 257, "(cubic)"},
    {"Small", SmallDem(), "--size 257", 257, "padded with nodata"},
};

using SquareMap = testcli::Rows<DemImport, Shape>;

TEST_P(SquareMap, LiesWithinTheSourcesHeights)
{
    const Shape& c = GetParam();
    WriteGeoTiff(path("dem.tif"), c.raster);
    const testcli::CliRun result = run("import " + path("dem.tif") + " -o " + path("dem.raw") + " " + c.options);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr(c.says));
    const Decoded map = Decode(path("dem.raw"));
    ASSERT_EQ(map.width, c.size);
    ASSERT_EQ(map.height, c.size);
    EXPECT_EQ(map.transform[1], -map.transform[5]); // square pixels
    EXPECT_THAT(result.out, HasSubstr("pixel size: " + Number(map.transform[1]) + " m"));
    // Nothing overshoots or leaks from the nodata value; a named cubic may overshoot.
    if (std::string(c.name) != "Cubic")
    {
        const auto [low, high] = ValidRange(c.raster);
        ExpectWithin(map, low, high);
    }
    if (std::string(c.name) == "Pad")
    {
        // Padding keeps the whole DEM and moves the origin by whole map pixels, centred.
        const double pixel = 403 * 90 / 513.0;
        EXPECT_NEAR(map.transform[1], pixel, 1e-9);
        EXPECT_EQ(map.transform[0], c.raster.transform[0]);
        const double above = (map.transform[3] - c.raster.transform[3]) / pixel;
        EXPECT_NEAR(above, std::round(above), 1e-6);
        EXPECT_NEAR(above * pixel, (403 - 344) * 90 / 2.0, pixel);
    }
}

INSTANTIATE_TEST_SUITE_P(DemImport, SquareMap, testing::ValuesIn(kShapes), testcli::kCaseName);

TEST_F(DemImport, MessagesNameTheRealCauseAndTheirSuggestionsWork)
{
    // Pixels of 30 x 20 m: the source's size is named, and the --size named makes the map.
    Raster oblong = Hill(0, 100);
    oblong.transform[5] = -20;
    WriteGeoTiff(path("oblong.tif"), oblong);
    const std::string importOblong = "import " + path("oblong.tif") + " -o " + path("oblong.raw");
    for (const std::string given : {"", " --pixel-size 25"})
    {
        const testcli::CliRun refused = run(importOblong + given);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_THAT(refused.err, HasSubstr(path("oblong.tif") + ": its pixels are 30 x 20 m, not square"));
        EXPECT_THAT(refused.err, HasSubstr(given.empty() ? "; --size 513 resamples it to square pixels"
                                                         : "(--pixel-size 25 would stretch it)"));
        EXPECT_FALSE(Exists(path("oblong.raw")));
    }
    ASSERT_EQ(run(importOblong + " --size 513").exitCode, 0);
    EXPECT_EQ(Decode(path("oblong.raw")).width, 513);

    // A shape that imports as it is names the 2^n + 1 map that holds it and the command for it,
    // which writes the same output, not over its input.
    WriteGeoTiff(path("dem.tif"), Int16Dem());
    const testcli::CliRun plain = run("import " + path("dem.tif") + " -o " + path("dem.raw") + " --band 1");
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const std::string command = "import " + path("dem.tif") + " -o " + path("dem.raw") + " --band 1 --size 513";
    EXPECT_THAT(plain.out, HasSubstr("holds this one is 513 x 513; --size 513 makes it"));
    EXPECT_THAT(plain.out, HasSubstr("  altimo-cli " + command + "\n"));
    ASSERT_EQ(run(command).exitCode, 0);
    EXPECT_EQ(Decode(path("dem.raw")).width, 513);

    // Too small: refused, with the --size that makes a map of it.
    WriteGeoTiff(path("small.tif"), SmallDem());
    expectRefused("import " + path("small.tif") + " -o " + path("small.raw"), 1,
                  "the raster is 180 x 120 pixels, smaller than the 256 a height map needs on each side; --size 257 "
                  "resamples it");

    // process names the header's pixels whichever way the pixel size came; unsigned samples
    // imported as they are keep the georeference of their source.
    Raster u16 = oblong;
    u16.type = GDT_UInt16;
    WriteGeoTiff(path("u16.tif"), u16);
    ASSERT_EQ(run("-q import " + path("u16.tif") + " -o " + path("u16.raw")).exitCode, 0);
    for (const std::string given : {"", " --pixel-size 90"})
    {
        const testcli::CliRun processed = run("process " + path("u16.raw") + given);
        ASSERT_EQ(processed.exitCode, 0) << processed.err;
        EXPECT_THAT(processed.err, HasSubstr(path("u16.raw.hdr") + ": its pixels are 30 x 20 m, not square"));
        EXPECT_THAT(processed.err, HasSubstr("importing its source with --size 513 gives square pixels"));
    }

    expectRefused("import " + path("dem.tif") + " -o " + path("x.raw") + " --height-range 5:5", 2,
                  "--height-range: 5:5: MIN must be below MAX");
    expectRefused("import " + path("dem.tif") + " -o " + path("x.raw") + " --band 2", 1,
                  "--band 2: the raster has 1 band");
}

// Haversine distance in metres between two longitude, latitude points.
double GroundDistance(double lon1, double lat1, double lon2, double lat2)
{
    const double r = 6371008.8;
    const double p1 = lat1 * M_PI / 180;
    const double p2 = lat2 * M_PI / 180;
    const double dl = (lon2 - lon1) * M_PI / 180;
    const double a = std::pow(std::sin((p2 - p1) / 2), 2) + std::cos(p1) * std::cos(p2) * std::pow(std::sin(dl / 2), 2);
    return 2 * r * std::asin(std::sqrt(a));
}

TEST_F(DemImport, GeographicDemsLandOnSquareMetresInTheirUtmZone)
{
    // One arc-second pixels at 47 degrees north: about 21.1 m east-west and 30.9 m north-south.
    Raster raster = Footprint(300, 280, 400, 2900);
    raster.epsg = kWgs84;
    const double arcSecond = 1.0 / 3600;
    const double transform[6] = {11, arcSecond, 0, 47 + arcSecond * 140, 0, -arcSecond};
    std::copy(std::begin(transform), std::end(transform), raster.transform);
    WriteGeoTiff(path("geo.tif"), raster);
    const testcli::CliRun result = run("import " + path("geo.tif") + " -o " + path("geo.raw"));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("to WGS 84 / UTM zone 32N (EPSG:32632)"));
    EXPECT_EQ(result.err, "");
    const Decoded map = Decode(path("geo.raw"));
    const auto [low, high] = ValidRange(raster);
    ExpectWithin(map, low, high);

    // A pixel east and a pixel south of the map's centre, measured on the globe.
    const double* t = map.transform;
    EXPECT_EQ(t[1], -t[5]);
    OGRSpatialReferenceH utm = OSRNewSpatialReference(map.wkt.c_str());
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(wgs84, kWgs84);
    OSRSetAxisMappingStrategy(wgs84, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(utm, OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformationH toDegrees = OCTNewCoordinateTransformation(utm, wgs84);
    const double cx = t[0] + t[1] * map.width / 2;
    const double cy = t[3] + t[5] * map.height / 2;
    double x[3] = {cx, cx + t[1], cx};
    double y[3] = {cy, cy, cy + t[5]};
    ASSERT_TRUE(OCTTransform(toDegrees, 3, x, y, nullptr));
    OCTDestroyCoordinateTransformation(toDegrees);
    OSRDestroySpatialReference(wgs84);
    OSRDestroySpatialReference(utm);
    const double east = GroundDistance(x[0], y[0], x[1], y[1]);
    const double south = GroundDistance(x[0], y[0], x[2], y[2]);
    EXPECT_NEAR(east / south, 1, 0.01);
    const double shorter = arcSecond * M_PI / 180 * 6371008.8 * std::cos(47 * M_PI / 180);
    EXPECT_NEAR(east / shorter, 1, 0.01);

    // --keep-crs keeps degrees, with the approximate size named; a pixel size is only taken there.
    const testcli::CliRun kept = run("import " + path("geo.tif") + " -o " + path("kept.raw") + " --keep-crs");
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_THAT(kept.err, HasSubstr("geographic coordinates (degrees)"));
    EXPECT_THAT(kept.err, HasSubstr("import it without --keep-crs (to EPSG:32632, its UTM zone)"));
    EXPECT_EQ(Decode(path("kept.raw")).width, 300);
    expectRefused("import " + path("geo.tif") + " -o " + path("given.raw") + " --pixel-size 25", 1,
                  "--keep-crs keeps degrees and takes it");
    ASSERT_EQ(run("import " + path("geo.tif") + " -o " + path("given.raw") + " --pixel-size 25 --keep-crs").exitCode, 0);
}

// Feet as the band's unit, or as the vertical unit of a compound system.
struct Feet
{
    const char* name;
    const char* unit;
    const char* srs;
};
const Feet kFeet[] = {{"AsTheBandsUnit", "ft", ""}, {"AsTheVerticalUnitOfTheSystem", "", "EPSG:32633+8228"}};
using HeightsInFeet = testcli::Rows<DemImport, Feet>;

TEST_P(HeightsInFeet, BecomeMetres)
{
    Raster feet = Hill(-100, 9000, GDT_Float64);
    feet.unit = GetParam().unit;
    feet.srs = GetParam().srs;
    WriteGeoTiff(path("feet.tif"), feet);
    const testcli::CliRun result = run("import " + path("feet.tif") + " -o " + path("feet.raw"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("converted to metres"));
    const auto [low, high] = ValidRange(feet);
    EXPECT_THAT(result.out, HasSubstr("heights " + Number(low * 0.3048) + ".." + Number(high * 0.3048) + ";"));
    ExpectWithin(Decode(path("feet.raw")), low * 0.3048, high * 0.3048);
}

INSTANTIATE_TEST_SUITE_P(DemImport, HeightsInFeet, testing::ValuesIn(kFeet), testcli::kCaseName);

TEST_F(DemImport, ScaleAndOffsetSurviveExportAndImportAndLargePixelsReachTheHeightFile)
{
    // A scaled UInt16 GeoTIFF of 500 m pixels: its samples are kept, their meaning travels.
    Raster scaled = Hill(100, 60000, GDT_UInt16, NAN, 260, 260);
    scaled.transform[1] = 500;
    scaled.transform[5] = -500;
    scaled.scale = 0.25;
    scaled.offset = -2000;
    WriteGeoTiff(path("scaled.tif"), scaled);
    ASSERT_EQ(run("-q import " + path("scaled.tif") + " -o " + path("map.raw")).exitCode, 0);
    const Decoded first = Decode(path("map.raw"));
    EXPECT_EQ(first.gain, 0.25);
    EXPECT_EQ(first.offset, -2000);
    for (std::size_t i = 0; i < first.samples.size(); ++i)
        ASSERT_EQ(first.samples[i], scaled.heights[i]) << i;

    const testcli::CliRun processed = run("process " + path("map.raw"));
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    EXPECT_EQ(processed.err, "");
    EXPECT_THAT(run("dat-info " + path("map.dat")).out, HasSubstr("pixel size:      500\n"));
    ASSERT_EQ(run("-q export " + path("map.dat") + " -o " + path("out.tif")).exitCode, 0);
    ASSERT_EQ(run("-q import " + path("out.tif") + " -o " + path("back.raw")).exitCode, 0);
    const Decoded back = Decode(path("back.raw"));
    EXPECT_DOUBLE_EQ(back.gain, first.gain);
    EXPECT_DOUBLE_EQ(back.offset, first.offset);
    EXPECT_EQ(back.samples, first.samples);
}

TEST_F(DemImport, UnsignedGeoTiffsImportAsBefore)
{
    Raster raster = Hill(0, 65535, GDT_UInt16, 0);
    raster.transform[5] = -20; // not square: only the pixel size is then unknown
    WriteGeoTiff(path("u16.tif"), raster);
    const testcli::CliRun result = run("import " + path("u16.tif") + " -o " + path("u16.raw"));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<std::uint16_t> samples = ReadLe16Samples(path("u16.raw"));
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], raster.heights[i]) << i;
    EXPECT_THAT(result.out, HasSubstr("hold the nodata value; kept as they are"));
    EXPECT_THAT(result.err, HasSubstr("not square"));
}
TEST_F(DemImport, TheGeoreferenceAndMappingTravelFromImportThroughProcessToExport)
{
    Raster raster = Hill(-40.5, 910.25, GDT_Float32, -9999, 260, 260);
    raster.heights[1000] = raster.nodata;
    WriteGeoTiff(path("dem.tif"), raster);
    ASSERT_EQ(run("-q import " + path("dem.tif") + " -o " + path("dem.raw")).exitCode, 0);

    // GDAL opens the RAW through its header: the source's georeference and the height mapping.
    const Decoded raw = Decode(path("dem.raw"));
    ExpectOnTheMapOf(raw, raster);
    const double step = raw.gain;
    EXPECT_EQ(step, 5.0 / 257); // heights -40.5..910.25
    EXPECT_EQ(raw.offset, -45);

    // process takes the size, the pixel size and the georeference from the header alone.
    const testcli::CliRun processed = run("process " + path("dem.raw"));
    ASSERT_EQ(processed.exitCode, 0) << processed.err;
    EXPECT_NE(processed.out.find("wrote " + path("dem.dat.json") + ": georeference from " + path("dem.raw.hdr") +
                                 ", pixel size 30 m"),
              std::string::npos)
        << processed.out;
    EXPECT_NE(run("dat-info " + path("dem.dat")).out.find("pixel size:      30\n"), std::string::npos);
    // A height file is not a raster of GDAL's: no header at dem.hdr makes it look like one.
    EXPECT_FALSE(Exists(path("dem.hdr")));
    CPLPushErrorHandler(CPLQuietErrorHandler);
    EXPECT_EQ(GDALOpen(path("dem.dat").c_str(), GA_ReadOnly), nullptr);
    CPLPopErrorHandler();

    const testcli::CliRun metres = run("export " + path("dem.dat") + " -o " + path("out.tif") + " --heights metres");
    ASSERT_EQ(metres.exitCode, 0) << metres.out << metres.err;
    EXPECT_THAT(metres.out, HasSubstr("georeference from " + path("dem.dat.json")));
    const Decoded out = Decode(path("out.tif"));
    ExpectOnTheMapOf(out, raster);
    const std::vector<double>& heights = out.values;
    ASSERT_EQ(heights.size(), raster.heights.size());
    int far = 0;
    for (std::size_t i = 0; i < heights.size(); ++i)
        if (raster.heights[i] != raster.nodata)
            far += std::fabs(heights[i] - double(float(raster.heights[i]))) > step / 2 + 1e-4; // float output
    EXPECT_EQ(far, 0);

    // --like another raster of the map; one of another size is refused before anything is written.
    const Raster other = Hill(0, 1);
    WriteGeoTiff(path("other.tif"), other);
    expectRefused("export " + path("dem.dat") + " -o " + path("like.tif") + " --like " + path("other.tif"), 1,
                  path("other.tif") + ": it is 300 x 280 pixels and the height file 260 x 260");
    ASSERT_EQ(run("-q export " + path("dem.dat") + " -o " + path("like.tif") + " --like " + path("dem.tif")).exitCode,
              0);
    GDALDatasetH like = GDALOpen(path("like.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(like, nullptr);
    EXPECT_EQ(GDALGetRasterDataType(GDALGetRasterBand(like, 1)), GDT_UInt16);
    GDALClose(like);
    EXPECT_EQ(Decode(path("like.tif")).transform[0], raster.transform[0]);

    // The sidecar of the height file comes before the RAW's header.
    MapGeoReference shifted;
    std::copy(std::begin(raster.transform), std::end(raster.transform), shifted.geoTransform);
    shifted.geoTransform[0] += 1000;
    shifted.projectionWkt = Wkt(kUtm33);
    Status error;
    ASSERT_TRUE((error = WriteMapSidecar(path("dem.dat.json"), shifted, 260, 260, "dem.raw")).ok()) << error.message;
    const testcli::CliRun fromSidecar = run("export " + path("dem.dat") + " -o " + path("side.tif"));
    ASSERT_EQ(fromSidecar.exitCode, 0) << fromSidecar.err;
    EXPECT_THAT(fromSidecar.out, HasSubstr("georeference from " + path("dem.dat.json")));
    EXPECT_EQ(Decode(path("side.tif")).transform[0], raster.transform[0] + 1000);
    std::filesystem::remove(path("dem.dat.json"));

    // Without a header the heights in metres are unknown.
    std::filesystem::remove(path("dem.raw.hdr"));
    expectRefused("export " + path("dem.dat") + " -o " + path("m.tif") + " --heights metres", 1,
                  "the heights in metres are not known");
}
TEST_F(DemImport, CliffPreviewAndShorelinesOfAnImportedMapLieOnTheSource)
{
    const Raster raster = Hill(0, 100, GDT_Float32, NAN, 260, 260);
    WriteGeoTiff(path("dem.tif"), raster);
    ASSERT_EQ(run("-q import " + path("dem.tif") + " -o " + path("dem.raw")).exitCode, 0);
    ASSERT_EQ(run("-q process " + path("dem.raw")).exitCode, 0);

    // The GeoTIFFs hold the very pixels of the BMP and the PNG, north row first, on the source.
    const std::string cliff = "cliff " + path("dem.dat") + " --height-scale 100 --angle 3 --threshold 4 -o ";
    ASSERT_EQ(run(cliff + path("cliff.bmp")).exitCode, 0);
    const testcli::CliRun cliffTiff = run(cliff + path("cliff.tif"));
    ASSERT_EQ(cliffTiff.exitCode, 0) << cliffTiff.err;
    EXPECT_THAT(cliffTiff.out, HasSubstr("georeference from " + path("dem.dat.json")));
    const std::vector<std::uint8_t> mask = Pixels(path("cliff.tif"), &raster);
    EXPECT_EQ(mask, Pixels(path("cliff.bmp")));
    EXPECT_NE(std::count(mask.begin(), mask.end(), 0), std::ptrdiff_t(mask.size())); // not a blank mask
    ASSERT_EQ(run("-q preview " + path("dem.dat") + " -o " + path("relief.png")).exitCode, 0);
    ASSERT_EQ(run("-q preview " + path("dem.dat") + " -o " + path("relief.tif")).exitCode, 0);
    EXPECT_EQ(Pixels(path("relief.tif"), &raster), Pixels(path("relief.png")));

    // A lake of 512 x 512 cells at scale 2 covers samples 3..258 down (its block rows end one
    // sample above the bottom edge): its centre cell (150, 300) is sample (75, 3 + 150).
    std::vector<std::uint8_t> cells = MaskCells(
        512, 512, [](int c, int r) { return (c - 150) * (c - 150) + (r - 300) * (r - 300) < 60 * 60 ? 255 : 0; });
    GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", 512, 512, 1, GDT_Byte, nullptr);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(memory, 1), GF_Write, 0, 0, 512, 512, cells.data(), 512, 512, GDT_Byte,
                           0, 0),
              CE_None);
    GDALClose(GDALCreateCopy(GDALGetDriverByName("PNG"), path("lake.png").c_str(), memory, FALSE, nullptr, nullptr,
                             nullptr));
    GDALClose(memory);
    ASSERT_EQ(run("-q wtr-encode " + path("lake.png") + " --block-size 128 -o " + path("lake.wtr")).exitCode, 0);
    const std::string banks = "banks " + path("lake.wtr") + " --scale 2 --water-pixel-size 15 -o " + path("lake.sl");
    expectRefused(banks + " --vector " + path("lake.kml"), 2, "name it .gpkg, .geojson, .json or .shp");

    const struct
    {
        const char* file;
        bool onMap;
    } outputs[] = {{"lake.gpkg", true}, {"lake.geojson", true}, {"lake.shp", false}};
    for (const auto& output : outputs)
    {
        const testcli::CliRun result =
            run(banks + " --vector " + path(output.file) + (output.onMap ? " --like " + path("dem.dat") : ""));
        ASSERT_EQ(result.exitCode, 0) << output.file << result.err;
        // The extent the .sl points should have: cells of 15 m, two cells a sample, 30 m samples.
        const std::string sl = ReadText(path("lake.sl"));
        long long lines = 0;
        double expected[4] = {1e300, -1e300, 1e300, -1e300}; // west, east, south, north
        for (std::size_t at = sl.find('['); at != std::string::npos; at = sl.find('[', at + 1))
            lines += sl.compare(at, 6, "[LINE=") == 0;
        for (std::size_t at = sl.find("point_xz="); at != std::string::npos; at = sl.find("point_xz=", at + 1))
        {
            double z = 0;
            double x = 0;
            ASSERT_EQ(std::sscanf(sl.c_str() + at, "point_xz=%lf,%lf", &z, &x), 2);
            if (output.onMap)
            {
                const double column = x / 15 / 2;
                const double row = 3 + (512 - z / 15) / 2;
                x = raster.transform[0] + 30 * column;
                z = raster.transform[3] - 30 * row;
            }
            expected[0] = std::min(expected[0], x);
            expected[1] = std::max(expected[1], x);
            expected[2] = std::min(expected[2], z);
            expected[3] = std::max(expected[3], z);
        }
        ASSERT_GT(lines, 0) << sl;
        GDALDatasetH vector = GDALOpenEx(path(output.file).c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
        ASSERT_NE(vector, nullptr) << output.file;
        OGRLayerH layer = GDALDatasetGetLayer(vector, 0);
        EXPECT_EQ(OGR_L_GetFeatureCount(layer, TRUE), lines) << output.file;
        OGREnvelope extent;
        ASSERT_EQ(OGR_L_GetExtent(layer, &extent, TRUE), OGRERR_NONE);
        const double got[4] = {extent.MinX, extent.MaxX, extent.MinY, extent.MaxY};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], expected[i], 1e-6) << output.file << " " << i;
        if (output.onMap)
        {
            // Independently of the formula above: the lake's centre, within a sample.
            EXPECT_NEAR((extent.MinX + extent.MaxX) / 2, raster.transform[0] + 30 * 75.0, 30) << output.file;
            EXPECT_NEAR((extent.MinY + extent.MaxY) / 2, raster.transform[3] - 30 * 153.0, 30) << output.file;
            OGRSpatialReferenceH source = OSRNewSpatialReference(Wkt(raster.epsg).c_str());
            EXPECT_TRUE(OSRIsSame(source, OGR_L_GetSpatialRef(layer))) << output.file;
            OSRDestroySpatialReference(source);
        }
        else
            EXPECT_EQ(OGR_L_GetSpatialRef(layer), nullptr);
        GDALClose(vector);
    }

    // A map that lies nowhere is refused before anything is written.
    std::filesystem::remove(path("dem.dat.json"));
    std::filesystem::remove(path("dem.raw.hdr"));
    std::filesystem::remove(path("lake.sl"));
    expectRefused(banks + " --vector " + path("x.gpkg") + " --like " + path("dem.dat"), 1,
                  path("dem.dat") + ": the map has no georeference");
}
TEST_F(DemImport, ThePaddingOfASquareMapIsNodataToTheExports)
{
    // No nodata in the source: only the rows --fit pad adds, whose centres lie off the source.
    const Raster raster = Int16Dem();
    WriteGeoTiff(path("dem.tif"), raster);
    const testcli::CliRun result = run("import " + path("dem.tif") + " -o " + path("dem.raw") + " --size 513");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("cells outside the footprint carried outward from its edge"));
    const Decoded map = Decode(path("dem.raw"));
    std::vector<bool> padding(std::size_t(513) * 513);
    for (int row = 0; row < 513; ++row)
    {
        const double y = map.transform[3] + (row + 0.5) * map.transform[5];
        const double sourceRow = (y - raster.transform[3]) / raster.transform[5];
        for (int column = 0; column < 513; ++column)
            padding[std::size_t(row) * 513 + column] = sourceRow < 0 || sourceRow >= raster.height;
    }
    ASSERT_GT(std::count(padding.begin(), padding.end(), true), 513 * 50);
    const auto [low, high] = ValidRange(raster);
    ExpectWithin(map, low, high);
    ASSERT_EQ(run("-q process " + path("dem.raw")).exitCode, 0);
    ExpectExportsMark(path(""), path("dem.dat"), padding);
}

// An import -> map -> cliff -> export road in one manifest, listed backwards, and imports that
// take the import's other options as keys, write byte for byte what the commands write. Both run
// in folders of their own with the same names, which the headers and sidecar record.
TEST_F(DemImport, OneManifestRunsTheDemRoadAsTheCommandsDo)
{
    const std::string cli = std::string(ALTIMO_CLI_PATH) + " -q ";
    Raster degrees = Footprint(300, 280, -20.5, 310.25);
    degrees.epsg = kWgs84;
    const double corner[6] = {14.5, 0.0004, 0, 46.2, 0, -0.0003};
    std::copy(std::begin(corner), std::end(corner), degrees.transform);
    for (const char* folder : {"batch", "cmd"})
    {
        std::filesystem::create_directories(path(folder));
        WriteGeoTiff(path(folder) + "/dem.tif", Footprint(300, 200, -20.5, 310.25));
        WriteGeoTiff(path(folder) + "/geo.tif", degrees);
    }
    WriteText(path("batch/road.ini"), "[export like]\ndat = dem.dat\noutput = like.tif\nlike = dem.raw.hdr\n"
                                      "[export metres]\ndat = dem.dat\noutput = metres.tif\nheights = metres\n"
                                      "[cliff dem]\ndat = dem.dat\noutput = cliff.tif\nangle = 30\n"
                                      "[map dem]\nraw = dem.raw\n"
                                      "[import dem]\nimage = dem.tif\noutput = dem.raw\nsize = 257\nfit = crop\n"
                                      "height-step = 0.25\nfill-voids = off\nnodata-height = -3\nresampling = cubic\n"
                                      "[import window]\nimage = dem.tif\noutput = window.raw\nsize = 257\n"
                                      "window = 10 20 200 150\nheight-range = -30:400\nband = 1\n"
                                      "t-srs = EPSG:32632\n"
                                      "[import degrees]\nimage = geo.tif\noutput = geo.raw\nkeep-crs = yes\n"
                                      "pixel-size = 25\n");
    const std::string log = path("batch.log");
    ASSERT_EQ(std::system(("cd " + path("batch") + " && " + cli + "batch road.ini >" + log + " 2>&1").c_str()), 0)
        << ReadText(log);
    const std::string report = ReadText(log);
    for (const char* line :
         {"[1/7] import dem: ok: wrote dem.raw", "[2/7] map dem: ok", "[3/7] export like: ok",
          "[4/7] export metres: ok", "[5/7] cliff dem: ok", "[7/7] import degrees: ok: wrote geo.raw"})
        EXPECT_THAT(report, HasSubstr(line));

    for (const char* command :
         {"import dem.tif -o dem.raw --size 257 --fit crop --height-step 0.25 --fill-voids off --nodata-height -3 -r "
          "cubic",
          "process dem.raw", "export dem.dat -o like.tif --like dem.raw.hdr",
          "export dem.dat -o metres.tif --heights metres", "cliff dem.dat -o cliff.tif --angle 30",
          "import dem.tif -o window.raw --size 257 --window 10 20 200 150 --height-range -30:400 --band 1 --t-srs "
          "EPSG:32632",
          "import geo.tif -o geo.raw --keep-crs --pixel-size 25"})
        ASSERT_EQ(std::system(("cd " + path("cmd") + " && " + cli + command).c_str()), 0) << command;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(path("cmd")))
    {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(ReadBytes(path("batch/" + name)) == ReadBytes(entry.path().string())) << name;
        ++files;
    }
    // The two DEMs; three RAWs with their headers and masks; the height file and its sidecar;
    // three GeoTIFFs.
    EXPECT_EQ(files, 16u);
}
#else
TEST(DemImport, NeedsGdal)
{
    GTEST_SKIP() << "built without GDAL: elevation rasters other than PNG are not read";
}
#endif
