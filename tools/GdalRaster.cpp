// GDAL access for height images; compiled only when the build found GDAL.
#include "tools/GdalRaster.h"

#include "tools/GdalSupport.h"

#include <algorithm>
#include <cmath>
#include <cpl_string.h>
#include <cstdio>
#include <cstdlib>
#include <gdal_utils.h>
#include <limits>

using namespace gdalsupport;

namespace
{
std::string SideReason(int width, int height)
{
    return "the image is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; a height map is 256..20000 pixels wide and high";
}

// The bits per sample the band really holds: NBITS (1-bit and 4-bit TIFFs are read as bytes).
int BandBits(GDALRasterBandH band, GDALDataType type)
{
    if (const char* nbits = GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE"))
        return std::atoi(nbits);
    return GDALGetDataTypeSizeBits(type);
}
} // namespace

bool GdalAvailable()
{
    return true;
}

namespace
{
std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}


// Resamples to size x size 32-bit floats in memory (enough for 16-bit samples) with a named
// method; GDAL keeps nodata cells out of the interpolation and adjusts the geotransform.
GDALDatasetH Resample(GDALDatasetH source, const HeightImportOptions& options, std::string& reason)
{
    const std::string size = std::to_string(options.size);
    const char* argv[] = {"-of", "MEM", "-ot", "Float32", "-outsize", size.c_str(), size.c_str(),
                          "-r", options.resampling.c_str(), nullptr};
    GDALTranslateOptions* translate = GDALTranslateOptionsNew(const_cast<char**>(argv), nullptr);
    if (translate == nullptr)
    {
        reason = "cannot resample with " + options.resampling + " (" + QuietErrors::last("bad options") + ")";
        return nullptr;
    }
    int usageError = FALSE;
    GDALDatasetH resampled = GDALTranslate("", source, translate, &usageError);
    GDALTranslateOptionsFree(translate);
    if (resampled == nullptr)
        reason = "cannot resample to " + size + " x " + size + " (" + QuietErrors::last("GDAL error") + ")";
    return resampled;
}

// The ground size of a pixel in metres from the georeference; false with a reason for pixels
// that are not square or a raster that is not north-up.
bool FindPixelSize(const std::string& path, HeightImage& image, const HeightImportOptions& options,
                   std::string& reason);

// Unsigned samples read as they are were always imported whatever their georeference: what
// would refuse another raster only leaves their pixel size unknown.
bool FindPixelSizeOrWarn(const std::string& path, HeightImage& image, const HeightImportOptions& options,
                         bool strict, std::string& reason)
{
    std::string why;
    if (FindPixelSize(path, image, options, why))
        return true;
    if (strict)
    {
        reason = why;
        return false;
    }
    image.pixelSize = 0;
    image.warnings.push_back(why + "; its pixel size is left unknown");
    return true;
}

bool FindPixelSize(const std::string& path, HeightImage& image, const HeightImportOptions& options,
                   std::string& reason)
{
    const double* t = image.geoTransform;
    if (image.hasGeoTransform && (t[2] != 0 || t[4] != 0))
    {
        reason = "the raster is rotated or sheared; make it north-up first, e.g. gdalwarp " + path + " north_up.tif";
        return false;
    }
    if (options.pixelSize > 0)
    {
        image.pixelSize = options.pixelSize;
        return true;
    }
    if (!image.hasGeoTransform)
    {
        image.warnings.push_back("the raster has no georeference, so its pixel size is unknown; give --pixel-size "
                                 "to process");
        return true;
    }
    const double dx = std::fabs(t[1]);
    const double dy = std::fabs(t[5]);
    SrsCloser srs{image.projectionWkt.empty() ? nullptr : OSRNewSpatialReference(image.projectionWkt.c_str())};
    if (srs.srs != nullptr && OSRIsGeographic(srs.srs))
    {
        // A degree of latitude is about 111.32 km; one of longitude that times cos(latitude).
        const double centreLatitude = t[3] + t[5] * image.height / 2.0;
        const double metresPerDegree = 6378137.0 * M_PI / 180.0;
        const double eastWest = dx * metresPerDegree * std::cos(centreLatitude * M_PI / 180.0);
        const double northSouth = dy * metresPerDegree;
        image.pixelSize = (eastWest + northSouth) / 2;
        image.warnings.push_back(
            "the raster is in geographic coordinates (degrees): at its centre latitude " + Number(centreLatitude) +
            " a pixel is about " + Number(eastWest) + " m east-west and " + Number(northSouth) +
            " m north-south; using " + Number(image.pixelSize) +
            " m. For exact sizes reproject it (gdalwarp -t_srs EPSG:<projected code>) or give --pixel-size");
        return true;
    }
    double toMetres = 1;
    if (srs.srs != nullptr && OSRIsProjected(srs.srs))
        toMetres = OSRGetLinearUnits(srs.srs, nullptr);
    else
        image.warnings.push_back("the raster has no coordinate system; taking its pixel size " + Number(dx) +
                                 " as metres");
    if (std::fabs(dx - dy) > 1e-6 * std::max(dx, dy))
    {
        const std::string square = Number(std::min(dx, dy));
        reason = "its pixels are not square (" + Number(dx) + " x " + Number(dy) +
                 "); resample them to square ones first, e.g. gdalwarp -tr " + square + " " + square + " -r cubic " +
                 path + " square.tif";
        return false;
    }
    image.pixelSize = dx * toMetres;
    return true;
}

bool IsNodata(double value, bool hasNodata, double nodata)
{
    return std::isnan(value) || (hasNodata && value == nodata);
}

// Reads the band strip by strip as doubles, so that no copy of a large raster in doubles is
// ever held, and calls `use(row, values)` for each row.
template <typename Use>
bool ForEachRow(GDALRasterBandH band, int width, int height, std::string& reason, Use use)
{
    constexpr int kStripRows = 64;
    std::vector<double> strip(std::size_t(width) * kStripRows);
    for (int y0 = 0; y0 < height; y0 += kStripRows)
    {
        const int rows = std::min(kStripRows, height - y0);
        if (GDALRasterIO(band, GF_Read, 0, y0, width, rows, strip.data(), width, rows, GDT_Float64, 0, 0) != CE_None)
        {
            reason = "cannot read the samples (" + QuietErrors::last("read error") + ")";
            return false;
        }
        for (int r = 0; r < rows; ++r)
            use(y0 + r, strip.data() + std::size_t(r) * width);
    }
    return true;
}
} // namespace

bool GdalReadHeightImage(const std::string& path, const HeightImportOptions& options, HeightImage& image,
                         std::string& reason)
{
    RegisterDrivers();
    QuietErrors quiet;
    DatasetCloser source{GDALOpen(path.c_str(), GA_ReadOnly)};
    if (source.dataset == nullptr)
    {
        reason = "not an image that PNG or GDAL reads (" + QuietErrors::last("unknown format") + ")";
        return false;
    }
    const int bands = GDALGetRasterCount(source.dataset);
    if (bands != 1)
    {
        reason = "the image has " + std::to_string(bands) + " bands; a height map has one grey band";
        return false;
    }
    GDALRasterBandH sourceBand = GDALGetRasterBand(source.dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(sourceBand);
    const int bits = BandBits(sourceBand, type);
    if (GDALGetRasterColorTable(sourceBand) != nullptr)
    {
        reason = "the image has a colour palette; a height map has one grey band";
        return false;
    }
    const bool isUnsigned = type == GDT_Byte || type == GDT_UInt16;
    const bool known = isUnsigned || type == GDT_Int16 || type == GDT_UInt32 || type == GDT_Int32 ||
                       type == GDT_Float32 || type == GDT_Float64;
    if (!known || (isUnsigned && bits != 8 && bits != 16))
    {
        reason = std::string("the samples are ") + GDALGetDataTypeName(type) + " (" + std::to_string(bits) +
                 " bits); a height map has integer or floating-point heights, or 8 or 16 unsigned bits";
        return false;
    }
    image.sourceWidth = GDALGetRasterXSize(source.dataset);
    image.sourceHeight = GDALGetRasterYSize(source.dataset);
    if (options.size != 0 && (options.size < kHeightImageMinSide || options.size > kHeightImageMaxSide))
    {
        reason = "--size " + std::to_string(options.size) + " is outside 256..20000";
        return false;
    }
    DatasetCloser resampled{nullptr};
    if (options.size != 0)
    {
        resampled.dataset = Resample(source.dataset, options, reason);
        if (resampled.dataset == nullptr)
            return false;
    }
    GDALDatasetH dataset = resampled.dataset != nullptr ? resampled.dataset : source.dataset;
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const int width = GDALGetRasterXSize(dataset);
    const int height = GDALGetRasterYSize(dataset);
    if (width < kHeightImageMinSide || width > kHeightImageMaxSide || height < kHeightImageMinSide ||
        height > kHeightImageMaxSide)
    {
        reason = SideReason(width, height) + (options.size == 0 ? "; --size N resamples it to N x N" : "");
        return false;
    }
    image.width = width;
    image.height = height;
    image.sourceBits = bits;
    image.sampleType = GDALGetDataTypeName(type);
    image.format = GDALGetDriverShortName(GDALGetDatasetDriver(source.dataset));
    image.hasGeoTransform = GDALGetGeoTransform(dataset, image.geoTransform) == CE_None;
    if (const char* wkt = GDALGetProjectionRef(dataset))
        image.projectionWkt = wkt;
    const bool asTheyAre = isUnsigned && !options.needsGdal();
    if (!FindPixelSizeOrWarn(path, image, options, !asTheyAre, reason))
        return false;

    int hasNodataFlag = FALSE;
    const double nodata = GDALGetRasterNoDataValue(band, &hasNodataFlag);
    const bool hasNodata = hasNodataFlag != FALSE;
    image.samples.resize(std::size_t(width) * std::size_t(height));

    // Unsigned samples read as they are give the very same map as they always have; nodata cells
    // are only counted, since an unsigned map's nodata value is often a height it uses.
    if (asTheyAre)
    {
        if (GDALRasterIO(band, GF_Read, 0, 0, width, height, image.samples.data(), width, height, GDT_UInt16, 0, 0) !=
            CE_None)
        {
            reason = "cannot read the samples (" + QuietErrors::last("read error") + ")";
            return false;
        }
        if (hasNodata)
            for (std::uint16_t sample : image.samples)
                image.nodataCells += double(sample) == nodata;
        if (bits == 8)
            for (std::uint16_t& sample : image.samples)
                sample = static_cast<std::uint16_t>(sample * 257);
        image.heightMin = 0;
        image.heightMax = bits == 8 ? 255 : 65535;
        return true;
    }

    // First pass: the valid heights' range, for auto and for the default nodata height.
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    long long nodataCells = 0;
    if (!ForEachRow(band, width, height, reason, [&](int, const double* row) {
            for (int x = 0; x < width; ++x)
            {
                const double value = row[x];
                if (IsNodata(value, hasNodata, nodata) || std::isinf(value))
                {
                    ++nodataCells;
                    continue;
                }
                low = std::min(low, value);
                high = std::max(high, value);
            }
        }))
        return false;
    if (nodataCells == std::int64_t(width) * height)
    {
        reason = "every cell is nodata; the raster holds no height";
        return false;
    }
    image.lowestHeight = low;
    image.highestHeight = high;
    image.nodataCells = nodataCells;
    image.nodataReplaced = true;
    image.nodataHeight = options.hasNodataHeight ? options.nodataHeight : low;

    HeightImportOptions::Range range = options.range;
    if (range == HeightImportOptions::Range::Default)
        range = isUnsigned ? HeightImportOptions::Range::Given : HeightImportOptions::Range::Auto;
    if (options.range == HeightImportOptions::Range::Given)
    {
        image.heightMin = options.rangeMin;
        image.heightMax = options.rangeMax;
    }
    else if (range == HeightImportOptions::Range::Given) // unsigned by default: the samples as they are
    {
        image.heightMin = 0;
        image.heightMax = bits == 8 ? 255 : 65535;
    }
    else
    {
        image.heightMin = low;
        // A flat map still needs a span; its heights all become sample 0.
        image.heightMax = high > low ? high : low + 1;
    }
    if (!(image.heightMin < image.heightMax))
    {
        reason = "the height range " + Number(image.heightMin) + ":" + Number(image.heightMax) +
                 " is empty; MIN must be below MAX";
        return false;
    }
    const double scale = 65535.0 / (image.heightMax - image.heightMin);
    const double heightMin = image.heightMin;
    const double heightMax = image.heightMax;
    const auto toSample = [&](double h) {
        const double s = std::floor((h - heightMin) * scale + 0.5);
        return static_cast<std::uint16_t>(std::clamp(s, 0.0, 65535.0));
    };
    const std::uint16_t nodataSample = toSample(image.nodataHeight);
    long long clipped = 0;
    std::uint16_t* out = image.samples.data();
    if (!ForEachRow(band, width, height, reason, [&](int y, const double* row) {
            std::uint16_t* samples = out + std::size_t(y) * width;
            for (int x = 0; x < width; ++x)
            {
                const double value = row[x];
                if (IsNodata(value, hasNodata, nodata) || std::isinf(value))
                {
                    samples[x] = nodataSample;
                    continue;
                }
                clipped += value < heightMin || value > heightMax;
                samples[x] = toSample(value);
            }
        }))
        return false;
    image.clippedCells = clipped;
    return true;
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

bool GdalReadGeoReference(const std::string& path, int& width, int& height, MapGeoReference& geo, std::string& reason)
{
    RegisterDrivers();
    QuietErrors quiet;
    // GDAL opens an ENVI raster through its data file, and finds "<data>.hdr" beside it.
    const bool header = path.size() > 4 && path.compare(path.size() - 4, 4, ".hdr") == 0;
    const std::string raster = header ? path.substr(0, path.size() - 4) : path;
    DatasetCloser dataset{GDALOpen(raster.c_str(), GA_ReadOnly)};
    if (dataset.dataset == nullptr)
    {
        reason = (header ? "cannot open " + raster + ", the raster it describes (" : "cannot open it (") +
                 QuietErrors::last("unknown format") + ")";
        return false;
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
        reason = "it is " + std::to_string(rasterWidth) + " x " + std::to_string(rasterHeight) +
                 " pixels and the height file " + std::to_string(width) + " x " + std::to_string(height) +
                 ": not the same map";
        return false;
    }
    if (GDALGetGeoTransform(dataset.dataset, geo.geoTransform) != CE_None)
    {
        reason = "it has no georeference";
        return false;
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
    return true;
}

double GdalMapPixelSize(const MapGeoReference& geo, int width, int height, std::string& note)
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
    if (!FindPixelSize("the map", image, HeightImportOptions{}, note))
        return 0;
    for (const std::string& warning : image.warnings)
        note += (note.empty() ? "" : "; ") + warning;
    return image.pixelSize;
}

bool GdalEncodeGeoTiff(const GeoTiffRaster& raster, const MapGeoReference* geo, std::vector<std::uint8_t>& bytes,
                       std::string& reason)
{
    RegisterDrivers();
    QuietErrors quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
    {
        reason = "this GDAL has no GeoTIFF driver";
        return false;
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
            }
            else if (geo != nullptr)
            {
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
                    ok = GDALRasterIO(band, GF_Write, 0, y0, width, rows, strip.data(), width, rows, GDT_Float32, 0,
                                      0) == CE_None;
                }
            }
        }
    }
    const bool taken = TakeMemoryFile(memPath, bytes);
    if (ok && taken)
        return true;
    reason = "cannot code the GeoTIFF (" + QuietErrors::last("GDAL error") + ")";
    return false;
}
