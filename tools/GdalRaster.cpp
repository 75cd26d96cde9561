// GDAL access for height images; compiled only when the build found GDAL.
#include "tools/GdalRaster.h"

#include "tools/GdalSupport.h"
#include "tools/GdalWarp.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cpl_string.h>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace gdalsupport;
using gdalwarp::Number;

namespace
{
// The bits per sample the band really holds: NBITS (1-bit and 4-bit TIFFs are read as bytes).
int BandBits(GDALRasterBandH band, GDALDataType type)
{
    if (const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE"))
        return std::atoi(nbits);
    return GDALGetDataTypeSizeBits(type);
}

// "--size 513 <how>": the option that makes a map of a raster whose longer side that is.
std::string SizeFix(int width, int height, const std::string& how)
{
    return "--size " + std::to_string(MapSideFor(std::max(width, height))) + " " + how;
}

std::string SideReason(int width, int height, bool sized)
{
    std::string text = "the raster is " + std::to_string(width) + " x " + std::to_string(height) + " pixels, " +
                       (std::min(width, height) < kHeightImageMinSide
                            ? "smaller than the " + std::to_string(kHeightImageMinSide) +
                                  " a height map needs on each side"
                            : "more than the " + std::to_string(kHeightImageMaxSide) +
                                  " a height map takes on a side");
    if (!sized)
        text += "; " + SizeFix(width, height, "resamples it to a square map (the whole raster, padded with nodata)");
    return text;
}

// What the band's values are in metres: metres = offset + gain * value.
struct HeightUnits
{
    double gain = 1;
    double offset = 0;
    bool scaled = false; // not the values themselves
};

// Metres per unit of the band's unit type; 0 for a unit that is not a length Altimo knows.
double MetresPerUnit(std::string unit)
{
    std::transform(unit.begin(), unit.end(), unit.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const struct
    {
        const char* name;
        double metres;
    } kUnits[] = {
        {"", 1},          {"m", 1},
        {"metre", 1},     {"meter", 1},
        {"metres", 1},    {"meters", 1},
        {"ft", 0.3048},   {"foot", 0.3048},
        {"feet", 0.3048}, {"international foot", 0.3048},
        {"us survey foot", 1200.0 / 3937}, {"us-ft", 1200.0 / 3937},
        {"ftus", 1200.0 / 3937},           {"foot_us", 1200.0 / 3937},
        {"cm", 0.01},     {"mm", 0.001},
        {"dm", 0.1},      {"km", 1000},
    };
    for (const auto& known : kUnits)
        if (unit == known.name)
            return known.metres;
    return 0;
}

// The band's scale and offset, and its vertical unit: the band's unit type, else that of the
// vertical part of the coordinate system.
StatusOr<HeightUnits> FindHeightUnits(GDALDatasetH dataset, GDALRasterBandH band, HeightImage& image)
{
    int hasScale = FALSE;
    int hasOffset = FALSE;
    const double scale = GDALGetRasterScale(band, &hasScale);
    const double offset = GDALGetRasterOffset(band, &hasOffset);
    const double gain = hasScale ? scale : 1;
    const double shift = hasOffset ? offset : 0;
    if (!std::isfinite(gain) || !std::isfinite(shift) || gain == 0)
        return Status(StatusCode::invalidInput,
                      "the band's scale " + Number(gain) + " and offset " + Number(shift) + " give no heights");
    if (gain != 1 || shift != 0)
        image.notes.push_back("the band's scale " + Number(gain) + " and offset " + Number(shift) +
                              " applied: height = " + Number(shift) + " + " + Number(gain) + " * value");
    const char* type = GDALGetRasterUnitType(band);
    std::string unit = type != nullptr ? type : "";
    std::string from = "the band's unit";
    double toMetres = MetresPerUnit(unit);
    if (toMetres == 0)
    {
        image.warnings.push_back("the band's unit \"" + unit + "\" is not a length Altimo knows; its heights are "
                                 "taken as metres");
        toMetres = 1;
    }
    else if (unit.empty())
    {
        SrsCloser srs{OSRNewSpatialReference(GDALGetProjectionRef(dataset))};
        char* name = nullptr;
        if (srs.srs != nullptr && OSRIsCompound(srs.srs))
        {
            const double vertical = OSRGetTargetLinearUnits(srs.srs, "VERT_CS", &name);
            if (vertical > 0 && vertical != 1)
            {
                toMetres = vertical;
                unit = name != nullptr ? name : "its units";
                from = "the vertical unit of its coordinate system";
            }
        }
    }
    if (toMetres != 1)
        image.notes.push_back("heights in " + unit + " (" + from + ") converted to metres");
    HeightUnits units;
    units.gain = gain * toMetres;
    units.offset = shift * toMetres;
    units.scaled = units.gain != 1 || units.offset != 0;
    return units;
}

// The ground size of a pixel in metres from the georeference; refused for a raster
// that is not north-up or whose pixels are not square, wherever the size comes from: a map of
// one pixel size over pixels of two is stretched. `forImport` words the fix for import's own
// options, else for importing the source again.
Status FindPixelSize(HeightImage& image, const HeightImportOptions& options, bool forImport)
{
    const double* t = image.geoTransform;
    const std::string fix = forImport ? SizeFix(image.width, image.height, "resamples it to square pixels, north up")
                                      : "importing its source with " +
                                            SizeFix(image.width, image.height, "gives square pixels, north up");
    if (image.hasGeoTransform && (t[2] != 0 || t[4] != 0))
        return {StatusCode::invalidInput, "the raster is rotated or sheared; " + fix};
    if (!image.hasGeoTransform)
    {
        if (options.pixelSize > 0)
            image.pixelSize = options.pixelSize;
        else
            image.warnings.push_back("the raster has no georeference, so its pixel size is unknown; give "
                                     "--pixel-size to process");
        return Ok();
    }
    double across = 0;
    double down = 0;
    bool metres = false;
    gdalwarp::PixelSides(t, image.projectionWkt, image.width, image.height, across, down, metres);
    SrsCloser srs{image.projectionWkt.empty() ? nullptr : OSRNewSpatialReference(image.projectionWkt.c_str())};
    if (srs.srs != nullptr && OSRIsGeographic(srs.srs))
    {
        if (options.pixelSize > 0)
        {
            image.pixelSize = options.pixelSize;
            return Ok();
        }
        const double longitude = t[0] + t[1] * image.width / 2.0;
        const double latitude = t[3] + t[5] * image.height / 2.0;
        const std::string utm = "EPSG:" + std::to_string(gdalwarp::UtmEpsgAt(longitude, latitude));
        image.pixelSize = (across + down) / 2;
        image.warnings.push_back(
            "the raster is in geographic coordinates (degrees): at its centre latitude " + Number(latitude) +
            " a pixel is about " + Number(across) + " m east-west and " + Number(down) + " m north-south; using " +
            Number(image.pixelSize) + " m. For exact square pixels " +
            (!forImport          ? "import its source without --keep-crs (to " + utm + ", its UTM zone)"
             : options.keepCrs ? "import it without --keep-crs (to " + utm + ", its UTM zone)"
             : options.targetSrs.empty() ? "give --t-srs " + utm + " (its UTM zone)"
                                         : "give --t-srs " + utm + " (its UTM zone) instead of " + options.targetSrs) +
            // A size is taken only where nothing resamples the raster in its system.
            (options.size == 0 && options.targetSrs.empty() ? ", or give --pixel-size" : ""));
        return Ok();
    }
    if (!metres && options.pixelSize <= 0)
        image.warnings.push_back("the raster has no coordinate system; taking its pixel size " + Number(across) +
                                 " as metres");
    if (std::fabs(across - down) > 1e-6 * std::max(across, down))
        return {
            StatusCode::invalidInput,
            "its pixels are " + Number(across) + " x " + Number(down) + (metres ? " m" : "") +
                ", not square, so no one pixel size fits the map" +
                (options.pixelSize > 0 ? " (--pixel-size " + Number(options.pixelSize) + " would stretch it)" : "") +
                "; " + fix};
    image.pixelSize = options.pixelSize > 0 ? options.pixelSize : across;
    return Ok();
}

// Unsigned samples read as they are were always imported whatever their georeference: what
// would refuse another raster only leaves their pixel size unknown.
Status FindPixelSizeOrWarn(HeightImage& image, const HeightImportOptions& options, bool strict)
{
    Status found = FindPixelSize(image, options, true);
    if (found || strict)
        return found;
    image.pixelSize = 0;
    image.warnings.push_back(found.message + "; its pixel size is left unknown");
    return Ok();
}

// Gives the band's dataset a mask band inside the TIFF (not a .msk file beside it, which the
// file in memory would lose): 0 where `nodata` is set, 255 elsewhere.
bool WriteMaskBand(GDALRasterBandH band, const std::uint8_t* nodata, int width, int height)
{
    CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", "YES");
    const bool created = GDALCreateMaskBand(band, GMF_PER_DATASET) == CE_None;
    CPLSetThreadLocalConfigOption("GDAL_TIFF_INTERNAL_MASK", nullptr);
    GDALRasterBandH mask = created ? GDALGetMaskBand(band) : nullptr;
    if (mask == nullptr)
        return false;
    constexpr int kStripRows = 64;
    std::vector<std::uint8_t> strip(std::size_t(width) * kStripRows);
    for (int y0 = 0; y0 < height; y0 += kStripRows)
    {
        const int rows = std::min(kStripRows, height - y0);
        const std::uint8_t* none = nodata + std::size_t(y0) * std::size_t(width);
        for (std::size_t i = 0; i < std::size_t(width) * std::size_t(rows); ++i)
            strip[i] = none[i] != 0 ? 0 : 255;
        if (GDALRasterIO(mask, GF_Write, 0, y0, width, rows, strip.data(), width, rows, GDT_Byte, 0, 0) != CE_None)
            return false;
    }
    return true;
}

bool IsNodata(double value, bool hasNodata, double nodata)
{
    return std::isnan(value) || (hasNodata && value == nodata);
}

// Reads the band strip by strip as doubles, so that no copy of a large raster in doubles is
// ever held, and calls `use(row, values)` for each row.
template <typename Use> Status ForEachRow(GDALRasterBandH band, int width, int height, Use use)
{
    constexpr int kStripRows = 64;
    std::vector<double> strip(std::size_t(width) * kStripRows);
    for (int y0 = 0; y0 < height; y0 += kStripRows)
    {
        const int rows = std::min(kStripRows, height - y0);
        if (GDALRasterIO(band, GF_Read, 0, y0, width, rows, strip.data(), width, rows, GDT_Float64, 0, 0) != CE_None)
            return {StatusCode::invalidInput, "cannot read the samples (" + QuietErrors::last("read error") + ")"};
        for (int r = 0; r < rows; ++r)
            use(y0 + r, strip.data() + std::size_t(r) * width);
    }
    return Ok();
}

// Samples read as they are give the very same map as they always have; nodata cells are only
// counted, since an unsigned map's nodata value is often a height it uses. The band's scale,
// offset and unit only say what the samples mean.
// The map's units for heights lowest..highest (HeightImportOptions::Range::Scale or Step): sample 0
// at the largest multiple of S metres strictly below the lowest height, a sample S / 257 m.
// Refused when the step given cannot hold them, or no scale can.
Status ChooseMapUnits(const HeightImportOptions& options, double lowest, double highest, HeightImage& image)
{
    const auto choose = [&](double scale, double step)
    {
        const double below = std::ceil(lowest / scale) - 1;
        image.heightStep = step;
        image.heightMin = below * scale;
        if (image.heightMin >= lowest) // the division rounded up onto the lowest height
            image.heightMin = (below - 1) * scale;
        image.heightMax = image.heightMin + 65535 * step;
        // Heights so far from 0 that the scale no longer tells multiples apart fit no map.
        return image.heightMin < lowest && highest <= image.heightMax;
    };
    if (options.range == HeightImportOptions::Range::Step)
    {
        if (choose(257 * options.heightStep, options.heightStep))
            return Ok();
        return {StatusCode::invalidInput,
                "--height-step " + Number(options.heightStep) + ": the heights " + Number(lowest) + ".." +
                    Number(highest) + " need more than the 65,535 steps above " + Number(image.heightMin) +
                    "; leave it out for a step that holds them, or clip them with --height-range MIN:MAX"};
    }
    // 1, 2, 5, 10, 20, 50, 100, and on in the same steps for data beyond any relief on Earth.
    for (double decade = 1; std::isfinite(decade); decade *= 10)
        for (const double first : {1.0, 2.0, 5.0})
            if (const double scale = first * decade; choose(scale, scale / 257))
                return Ok();
    return {StatusCode::invalidInput,
            "the heights " + Number(lowest) + ".." + Number(highest) + " span more than any height scale holds"};
}

Status ReadAsTheyAre(GDALRasterBandH band, int bits, const HeightUnits& units, HeightImage& image)
{
    const int width = image.width;
    const int height = image.height;
    if (units.gain < 0)
        return {StatusCode::invalidInput, "the band's scale is negative (heights fall as the samples rise); "
                                          "--height-range MIN:MAX maps its heights to samples"};
    if (GDALRasterIO(band, GF_Read, 0, 0, width, height, image.samples.data(), width, height, GDT_UInt16, 0, 0) !=
        CE_None)
        return {StatusCode::invalidInput, "cannot read the samples (" + QuietErrors::last("read error") + ")"};
    int hasNodata = FALSE;
    const double nodata = GDALGetRasterNoDataValue(band, &hasNodata);
    if (hasNodata)
        for (std::uint16_t sample : image.samples)
            image.nodataCells += double(sample) == nodata;
    if (bits == 8)
        for (std::uint16_t& sample : image.samples)
            sample = static_cast<std::uint16_t>(sample * 257);
    const double top = bits == 8 ? 255 : 65535;
    image.heightMin = units.scaled ? units.offset : 0;
    image.heightMax = units.scaled ? units.offset + units.gain * top : top;
    return Ok();
}
} // namespace

bool GdalAvailable()
{
    return true;
}

Status GdalReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image)
{
    RegisterDrivers();
    QuietErrors quiet;
    DatasetCloser source{GDALOpen(path.c_str(), GA_ReadOnly)};
    if (source.dataset == nullptr)
    {
        return {StatusCode::invalidInput,
                "not an image that PNG or GDAL reads (" + QuietErrors::last("unknown format") + ")"};
    }
    const int bands = GDALGetRasterCount(source.dataset);
    if (options.band == 0 && bands != 1)
    {
        return {StatusCode::invalidInput, "the image has " + std::to_string(bands) +
                                              " bands; a height map has one grey band" +
                                              (bands > 1 ? " (--band N picks one)" : "")};
    }
    if (options.band > bands)
    {
        return {StatusCode::invalidInput, "--band " + std::to_string(options.band) + ": the raster has " +
                                              std::to_string(bands) + (bands == 1 ? " band" : " bands")};
    }
    const int bandIndex = options.band == 0 ? 1 : options.band;
    GDALRasterBandH sourceBand = GDALGetRasterBand(source.dataset, bandIndex);
    const GDALDataType type = GDALGetRasterDataType(sourceBand);
    const int bits = BandBits(sourceBand, type);
    if (GDALGetRasterColorTable(sourceBand) != nullptr)
    {
        return {StatusCode::invalidInput, "the image has a colour palette; a height map has one grey band"};
    }
    const bool isUnsigned = type == GDT_Byte || type == GDT_UInt16;
    const bool known = isUnsigned || type == GDT_Int16 || type == GDT_UInt32 || type == GDT_Int32 ||
                       type == GDT_Float32 || type == GDT_Float64;
    if (!known || (isUnsigned && bits != 8 && bits != 16))
    {
        return {StatusCode::invalidInput,
                std::string("the samples are ") + GDALGetDataTypeName(type) + " (" + std::to_string(bits) +
                    " bits); a height map has integer or floating-point heights, or 8 or 16 unsigned bits"};
    }
    image.sourceWidth = GDALGetRasterXSize(source.dataset);
    image.sourceHeight = GDALGetRasterYSize(source.dataset);
    if (options.size != 0 && (options.size < kHeightImageMinSide || options.size > kHeightImageMaxSide))
    {
        return {StatusCode::invalidInput, "--size " + std::to_string(options.size) + " is outside 256..20000"};
    }
    if (const int* w = options.window; options.hasWindow &&
        (w[0] < 0 || w[1] < 0 || w[2] < 1 || w[3] < 1 || w[0] > image.sourceWidth - w[2] ||
         w[1] > image.sourceHeight - w[3]))
    {
        return {StatusCode::invalidInput, "--window " + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " +
                                              std::to_string(w[2]) + " " + std::to_string(w[3]) +
                                              " does not lie within the " + std::to_string(image.sourceWidth) + " x " +
                                              std::to_string(image.sourceHeight) + " pixels of the raster"};
    }
    const StatusOr<HeightUnits> found = FindHeightUnits(source.dataset, sourceBand, image);
    if (!found)
        return found.status;
    const HeightUnits& units = *found;

    // Unsigned samples that nothing asks to change are read as they are, in their own system.
    const bool asTheyAre = isUnsigned && options.range == HeightImportOptions::Range::Default &&
                           !options.hasNodataHeight && options.nodata != HeightImportOptions::Nodata::Fill &&
                           options.size == 0 && options.targetSrs.empty();
    const StatusOr<std::string> target = gdalwarp::ChooseTargetSrs(source.dataset, options, asTheyAre);
    if (!target)
        return target.status;
    const std::string& targetWkt = *target;
    const bool warp = options.size != 0 || !targetWkt.empty();
    double sourceTransform[6];
    const bool sourceGeoreferenced = GDALGetGeoTransform(source.dataset, sourceTransform) == CE_None;
    const char* sourceWkt = GDALGetProjectionRef(source.dataset);
    if (warp && options.pixelSize > 0 && sourceWkt != nullptr && *sourceWkt != '\0')
    {
        return {StatusCode::invalidInput,
                "--pixel-size " + Number(options.pixelSize) +
                    ": the raster's coordinate system gives its pixel size, " +
                    (options.size != 0
                         ? std::string("and --size makes the map's from it")
                         : "and the reprojection to " + gdalwarp::SrsName(targetWkt) + " makes the map's from it" +
                               (options.targetSrs.empty() ? "; --keep-crs keeps degrees and takes it" : ""))};
    }
    DatasetCloser warped{nullptr};
    if (warp)
    {
        StatusOr<GDALDatasetH> made = gdalwarp::WarpToMap(source.dataset, bandIndex, options, targetWkt, image.notes);
        if (!made)
            return made.status;
        warped.dataset = *made;
    }
    GDALDatasetH dataset = warped.dataset != nullptr ? warped.dataset : source.dataset;
    GDALRasterBandH band = warped.dataset != nullptr ? GDALGetRasterBand(dataset, 1) : sourceBand;
    const int width = GDALGetRasterXSize(dataset);
    const int height = GDALGetRasterYSize(dataset);
    if (width < kHeightImageMinSide || width > kHeightImageMaxSide || height < kHeightImageMinSide ||
        height > kHeightImageMaxSide)
    {
        return {StatusCode::invalidInput, SideReason(width, height, options.size != 0)};
    }
    image.width = width;
    image.height = height;
    image.sourceBits = bits;
    image.sampleType = GDALGetDataTypeName(type);
    image.format = GDALGetDriverShortName(GDALGetDatasetDriver(source.dataset));
    // A raster without a georeference was warped on its own pixels: the result has none either.
    double transform[6];
    const bool placed = GDALGetGeoTransform(dataset, transform) == CE_None;
    image.hasGeoTransform = sourceGeoreferenced && placed;
    if (image.hasGeoTransform)
        std::copy(std::begin(transform), std::end(transform), image.geoTransform);
    if (const char* wkt = GDALGetProjectionRef(dataset))
        image.projectionWkt = wkt;
    // A pixel size given for a raster that no system measures is its source pixels': resampled,
    // the map's pixels are larger or smaller by as much.
    HeightImportOptions measured = options;
    if (warped.dataset != nullptr && placed)
        measured.pixelSize *= std::fabs(transform[1]) / (sourceGeoreferenced ? std::fabs(sourceTransform[1]) : 1.0);
    if (Status sized = FindPixelSizeOrWarn(image, measured, !asTheyAre); !sized)
        return sized;

    image.samples.resize(std::size_t(width) * std::size_t(height));
    if (asTheyAre)
        return ReadAsTheyAre(band, bits, units, image);

    int hasNodataFlag = FALSE;
    const double nodata = GDALGetRasterNoDataValue(band, &hasNodataFlag);
    const bool hasNodata = hasNodataFlag != FALSE;
    // A height in metres of a value that is not nodata; the values themselves unless the band
    // says otherwise, so that such maps stay what they were.
    const HeightUnits metres = units;
    const auto heightOf = [metres](double value) { return metres.scaled ? metres.offset + metres.gain * value : value; };

    // First pass: the valid heights' range, for auto and for the default nodata height.
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    long long nodataCells = 0;
    const Status ranged = ForEachRow(band, width, height, [&](int, const double* row) {
            for (int x = 0; x < width; ++x)
            {
                const double value = row[x];
                if (IsNodata(value, hasNodata, nodata) || std::isinf(value))
                {
                    ++nodataCells;
                    continue;
                }
                low = std::min(low, heightOf(value));
                high = std::max(high, heightOf(value));
            }
        });
    if (!ranged)
        return ranged;
    if (nodataCells == std::int64_t(width) * height)
    {
        return {StatusCode::invalidInput, "every cell is nodata; the raster holds no height"};
    }
    image.lowestHeight = low;
    image.highestHeight = high;
    image.nodataCells = nodataCells;
    if (nodataCells > 0)
        image.nodataMask.assign(std::size_t(width) * std::size_t(height), 0);
    image.nodataReplaced = true;
    image.nodataHeight = options.hasNodataHeight ? options.nodataHeight : low;

    HeightImportOptions::Range range = options.range;
    if (range == HeightImportOptions::Range::Default)
        range = isUnsigned ? HeightImportOptions::Range::Given : HeightImportOptions::Range::Scale;
    if (options.range == HeightImportOptions::Range::Given)
    {
        image.heightMin = options.rangeMin;
        image.heightMax = options.rangeMax;
    }
    else if (range == HeightImportOptions::Range::Given) // unsigned by default: what the samples span
    {
        const double top = heightOf(bits == 8 ? 255 : 65535);
        image.heightMin = std::min(heightOf(0), top);
        image.heightMax = std::max(heightOf(0), top);
    }
    else if (range == HeightImportOptions::Range::Auto)
    {
        image.heightMin = low;
        // A flat map still needs a span; its heights all become sample 0.
        image.heightMax = high > low ? high : low + 1;
    }
    else
    {
        // The map holds the height the nodata cells get too.
        const bool filled = nodataCells > 0;
        if (Status chosen = ChooseMapUnits(options, filled ? std::min(low, image.nodataHeight) : low,
                                           filled ? std::max(high, image.nodataHeight) : high, image);
            !chosen)
            return chosen;
    }
    if (!(image.heightMin < image.heightMax))
    {
        return {StatusCode::invalidInput, "the height range " + Number(image.heightMin) + ":" +
                                              Number(image.heightMax) + " is empty; MIN must be below MAX"};
    }
    // Samples per metre: for the map's units from the step itself, so that a whole-metre height
    // on a step of 1 m, or a round height on S / 257 m, lands on its sample exactly.
    const double scale = image.heightStep > 0 ? 1 / image.heightStep : 65535.0 / (image.heightMax - image.heightMin);
    const double heightMin = image.heightMin;
    const double heightMax = image.heightMax;
    const auto toSample = [&](double h) {
        const double s = std::floor((h - heightMin) * scale + 0.5);
        return static_cast<std::uint16_t>(std::clamp(s, 0.0, 65535.0));
    };
    const std::uint16_t nodataSample = toSample(image.nodataHeight);
    long long clipped = 0;
    std::uint16_t* out = image.samples.data();
    const Status converted = ForEachRow(band, width, height, [&](int y, const double* row) {
            std::uint16_t* samples = out + std::size_t(y) * width;
            for (int x = 0; x < width; ++x)
            {
                const double value = row[x];
                if (IsNodata(value, hasNodata, nodata) || std::isinf(value))
                {
                    samples[x] = nodataSample;
                    image.nodataMask[std::size_t(y) * width + x] = 1;
                    continue;
                }
                const double h = heightOf(value);
                clipped += h < heightMin || h > heightMax;
                samples[x] = toSample(h);
            }
        });
    if (!converted)
        return converted;
    image.clippedCells = clipped;
    return Ok();
}

std::string GdalEsriWkt(const std::string& wkt)
{
    if (wkt.empty())
        return {};
    QuietErrors quiet;
    SrsCloser srs{OSRNewSpatialReference(wkt.c_str())};
    if (srs.srs == nullptr || OSRMorphToESRI(srs.srs) != OGRERR_NONE)
        return {};
    char* text = nullptr;
    std::string esri;
    if (OSRExportToWkt(srs.srs, &text) == OGRERR_NONE && text != nullptr)
        esri = text;
    CPLFree(text);
    return esri;
}

std::string GdalMapUnits(const std::string& wkt)
{
    if (wkt.empty())
        return {};
    QuietErrors quiet;
    SrsCloser srs{OSRNewSpatialReference(wkt.c_str())};
    if (srs.srs == nullptr)
        return {};
    if (OSRIsGeographic(srs.srs))
        return "Degrees";
    if (OSRIsProjected(srs.srs) && OSRGetLinearUnits(srs.srs, nullptr) == 1.0)
        return "Meters";
    return {};
}

Status GdalReadGeoReference(const std::string& path, int& width, int& height, MapGeoReference& geo)
{
    RegisterDrivers();
    QuietErrors quiet;
    // GDAL opens an ENVI raster through its data file, and finds "<data>.hdr" beside it.
    const bool header = path.size() > 4 && path.compare(path.size() - 4, 4, ".hdr") == 0;
    const std::string raster = header ? path.substr(0, path.size() - 4) : path;
    DatasetCloser dataset{GDALOpen(raster.c_str(), GA_ReadOnly)};
    if (dataset.dataset == nullptr)
    {
        return {StatusCode::cannotOpen,
                (header ? "cannot open " + raster + ", the raster it describes (" : "cannot open it (") +
                    QuietErrors::last("unknown format") + ")"};
    }
    const int rasterWidth = GDALGetRasterXSize(dataset.dataset);
    const int rasterHeight = GDALGetRasterYSize(dataset.dataset);
    if (width == 0 && height == 0)
    {
        width = rasterWidth;
        height = rasterHeight;
    }
    else if (rasterWidth != width || rasterHeight != height)
    {
        return {StatusCode::invalidInput, "it is " + std::to_string(rasterWidth) + " x " +
                                              std::to_string(rasterHeight) + " pixels and the height file " +
                                              std::to_string(width) + " x " + std::to_string(height) +
                                              ": not the same map"};
    }
    if (GDALGetGeoTransform(dataset.dataset, geo.geoTransform) != CE_None)
    {
        return {StatusCode::invalidInput, "it has no georeference"};
    }
    if (const char* wkt = GDALGetProjectionRef(dataset.dataset))
        geo.projectionWkt = wkt;
    if (GDALGetRasterCount(dataset.dataset) >= 1)
    {
        GDALRasterBandH band = GDALGetRasterBand(dataset.dataset, 1);
        int hasScale = FALSE;
        int hasOffset = FALSE;
        const double scale = GDALGetRasterScale(band, &hasScale);
        const double offset = GDALGetRasterOffset(band, &hasOffset);
        geo.hasMapping = hasScale != FALSE || hasOffset != FALSE;
        geo.gain = hasScale != FALSE ? scale : 1;
        geo.offset = hasOffset != FALSE ? offset : 0;
    }
    return Ok();
}

Status GdalReadByteRaster(const std::string& path, int width, int height, std::vector<std::uint8_t>& cells)
{
    RegisterDrivers();
    QuietErrors quiet;
    DatasetCloser dataset{GDALOpen(path.c_str(), GA_ReadOnly)};
    if (dataset.dataset == nullptr)
    {
        return {StatusCode::cannotOpen, "cannot open it (" + QuietErrors::last("unknown format") + ")"};
    }
    const int rasterWidth = GDALGetRasterXSize(dataset.dataset);
    const int rasterHeight = GDALGetRasterYSize(dataset.dataset);
    if (rasterWidth != width || rasterHeight != height || GDALGetRasterCount(dataset.dataset) < 1)
    {
        return {StatusCode::invalidInput,
                "it is " + std::to_string(rasterWidth) + " x " + std::to_string(rasterHeight) + " pixels and the map " +
                    std::to_string(width) + " x " + std::to_string(height) + ": not the same map"};
    }
    cells.resize(std::size_t(width) * std::size_t(height));
    if (GDALRasterIO(GDALGetRasterBand(dataset.dataset, 1), GF_Read, 0, 0, width, height, cells.data(), width, height,
                     GDT_Byte, 0, 0) != CE_None)
    {
        cells.clear();
        return {StatusCode::invalidInput, "cannot read it (" + QuietErrors::last("read error") + ")"};
    }
    return Ok();
}

StatusOr<double> GdalMapPixelSize(const MapGeoReference& geo, int width, int height, std::string& note)
{
    // The import's reading of a raster's pixel size, so that a RAW processed after an import
    // gets the very size the import reported.
    HeightImage image;
    image.width = width;
    image.height = height;
    image.hasGeoTransform = true;
    std::copy(std::begin(geo.geoTransform), std::end(geo.geoTransform), image.geoTransform);
    image.projectionWkt = geo.projectionWkt;
    note.clear();
    if (Status found = FindPixelSize(image, HeightImportOptions{}, false); !found)
        return found;
    for (const std::string& warning : image.warnings)
        note += (note.empty() ? "" : "; ") + warning;
    return image.pixelSize;
}

Status GdalEncodeGeoTiff(const GeoTiffRaster& raster, const MapGeoReference* geo, std::vector<std::uint8_t>& bytes)
{
    RegisterDrivers();
    QuietErrors quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
    {
        return {StatusCode::writeFailed, "this GDAL has no GeoTIFF driver"};
    }
    const bool metres = raster.kind == GeoTiffSamples::Metres;
    const GDALDataType type = raster.kind == GeoTiffSamples::Byte ? GDT_Byte : metres ? GDT_Float32 : GDT_UInt16;
    const std::string memPath = MemoryPath("tiff") + ".tif";
    char compress[] = "COMPRESS=DEFLATE";
    // Floating-point samples compress best with the floating-point predictor.
    char predictor[] = "PREDICTOR=2";
    char floatPredictor[] = "PREDICTOR=3";
    char tiled[] = "TILED=YES";
    char bigTiff[] = "BIGTIFF=IF_SAFER";
    char rgb[] = "PHOTOMETRIC=RGB";
    char* options[] = {compress, metres ? floatPredictor : predictor, tiled, bigTiff,
                       raster.bands == 3 ? rgb : nullptr, nullptr};
    const int width = raster.width;
    const int height = raster.height;
    bool ok = false;
    {
        DatasetCloser dataset{GDALCreate(driver, memPath.c_str(), width, height, raster.bands, type, options)};
        if (dataset.dataset != nullptr)
        {
            if (geo != nullptr)
            {
                GDALSetGeoTransform(dataset.dataset, const_cast<double*>(geo->geoTransform));
                if (!geo->projectionWkt.empty())
                    GDALSetProjection(dataset.dataset, geo->projectionWkt.c_str());
            }
            GDALRasterBandH band = GDALGetRasterBand(dataset.dataset, 1);
            const auto* samples = static_cast<const std::uint16_t*>(raster.samples);
            if (raster.kind == GeoTiffSamples::Byte)
            {
                // Interleaved bands as the pictures hold them: pixel, row and band strides in bytes.
                const int bands = raster.bands;
                ok = GDALDatasetRasterIO(dataset.dataset, GF_Write, 0, 0, width, height,
                                         const_cast<void*>(raster.samples), width, height, GDT_Byte, bands, nullptr,
                                         bands, GSpacing(bands) * width, 1) == CE_None;
            }
            else if (!metres)
            {
                // The samples keep their meaning for any reader that applies scale and offset.
                if (geo != nullptr && geo->hasMapping)
                {
                    GDALSetRasterScale(band, geo->gain);
                    GDALSetRasterOffset(band, geo->offset);
                }
                ok = GDALRasterIO(band, GF_Write, 0, 0, width, height, const_cast<std::uint16_t*>(samples), width,
                                  height, GDT_UInt16, 0, 0) == CE_None;
                if (ok && raster.nodata != nullptr)
                    ok = WriteMaskBand(band, raster.nodata, width, height);
            }
            else if (geo != nullptr)
            {
                if (raster.nodata != nullptr)
                    GDALSetRasterNoDataValue(band, kGeoTiffNodataMetres);
                // Strip by strip, so that no float copy of a large map is held.
                constexpr int kStripRows = 64;
                std::vector<float> strip(std::size_t(width) * kStripRows);
                ok = true;
                for (int y0 = 0; ok && y0 < height; y0 += kStripRows)
                {
                    const int rows = std::min(kStripRows, height - y0);
                    const std::uint16_t* from = samples + std::size_t(y0) * width;
                    for (std::size_t i = 0; i < std::size_t(width) * rows; ++i)
                        strip[i] = static_cast<float>(geo->offset + geo->gain * double(from[i]));
                    if (raster.nodata != nullptr)
                    {
                        const std::uint8_t* none = raster.nodata + std::size_t(y0) * width;
                        for (std::size_t i = 0; i < std::size_t(width) * rows; ++i)
                            if (none[i] != 0)
                                strip[i] = kGeoTiffNodataMetres;
                    }
                    ok = GDALRasterIO(band, GF_Write, 0, y0, width, rows, strip.data(), width, rows, GDT_Float32, 0,
                                      0) == CE_None;
                }
            }
        }
    }
    const bool taken = TakeMemoryFile(memPath, bytes);
    if (ok && taken)
        return Ok();
    return {StatusCode::writeFailed, "cannot code the GeoTIFF (" + QuietErrors::last("GDAL error") + ")"};
}
