// import's road from any raster to the grid of a map, inside the GDAL module.
#include "tools/GdalWarp.h"

#include "tools/GdalSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cpl_string.h>
#include <gdal_alg.h>
#include <gdal_utils.h>
#include <utility>
#include <vector>

using namespace gdalsupport;

namespace gdalwarp
{
namespace
{
// GDAL's utilities take their options as an argument list.
class Arguments
{
public:
    Arguments& add(std::initializer_list<std::string> items)
    {
        m_items.insert(m_items.end(), items);
        return *this;
    }
    char** list()
    {
        m_pointers.clear();
        for (std::string& item : m_items)
            m_pointers.push_back(item.data());
        m_pointers.push_back(nullptr);
        return m_pointers.data();
    }

private:
    std::vector<std::string> m_items;
    std::vector<char*> m_pointers;
};

std::string Exact(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// One band, and the window, as a virtual raster over the source. A raster without a
// georeference gets one of its own pixels, so that the warper can place it.
StatusOr<GDALDatasetH> BandOf(GDALDatasetH source, int band, const HeightImportOptions& options, bool georeferenced)
{
    Arguments arguments;
    arguments.add({"-of", "VRT", "-b", std::to_string(band)});
    int width = GDALGetRasterXSize(source);
    int height = GDALGetRasterYSize(source);
    if (options.hasWindow)
    {
        const int* w = options.window;
        arguments.add({"-srcwin", std::to_string(w[0]), std::to_string(w[1]), std::to_string(w[2]),
                       std::to_string(w[3])});
        width = w[2];
        height = w[3];
    }
    if (!georeferenced)
        arguments.add({"-a_ullr", "0", std::to_string(height), std::to_string(width), "0"});
    // NaN is no height: the warper is told so where the band names no nodata value of its own.
    GDALRasterBandH sourceBand = GDALGetRasterBand(source, band);
    int hasNodata = FALSE;
    GDALGetRasterNoDataValue(sourceBand, &hasNodata);
    const GDALDataType type = GDALGetRasterDataType(sourceBand);
    if (!hasNodata && (type == GDT_Float32 || type == GDT_Float64))
        arguments.add({"-a_nodata", "nan"});
    GDALTranslateOptions* translate = GDALTranslateOptionsNew(arguments.list(), nullptr);
    GDALDatasetH vrt = translate != nullptr ? GDALTranslate("", source, translate, nullptr) : nullptr;
    GDALTranslateOptionsFree(translate);
    if (vrt == nullptr)
        return Status(StatusCode::invalidInput,
                      "cannot take band " + std::to_string(band) + " (" + QuietErrors::last("GDAL error") + ")");
    return vrt;
}

// Whether the band of `vrt` can hold cells without data: it names a nodata value (BandOf names
// NaN for floating-point bands without one).
bool MayHoldNodata(GDALDatasetH vrt)
{
    int hasNodata = FALSE;
    GDALGetRasterNoDataValue(GDALGetRasterBand(vrt, 1), &hasNodata);
    return hasNodata != FALSE;
}

// Makes the cells of `to` nodata (NaN) wherever they are in `from`, a raster of the same grid:
// which cells a map lacks is what the nearest source cell says, whatever the resampling (a
// bilinear cell beside a void blends the data around it, and cubic ones reach further), so that
// the nodata a map records is its source's at the map's size.
Status TakeNodataOf(GDALDatasetH from, GDALDatasetH to)
{
    const int width = GDALGetRasterXSize(to);
    const int height = GDALGetRasterYSize(to);
    constexpr int kStripRows = 64;
    std::vector<float> source(std::size_t(width) * kStripRows);
    std::vector<float> target(source.size());
    GDALRasterBandH fromBand = GDALGetRasterBand(from, 1);
    GDALRasterBandH toBand = GDALGetRasterBand(to, 1);
    for (int y0 = 0; y0 < height; y0 += kStripRows)
    {
        const int rows = std::min(kStripRows, height - y0);
        if (GDALRasterIO(fromBand, GF_Read, 0, y0, width, rows, source.data(), width, rows, GDT_Float32, 0, 0) !=
                CE_None ||
            GDALRasterIO(toBand, GF_Read, 0, y0, width, rows, target.data(), width, rows, GDT_Float32, 0, 0) !=
                CE_None)
            return {StatusCode::invalidInput, "cannot read the warped cells (" + QuietErrors::last("read error") + ")"};
        for (std::size_t i = 0; i < std::size_t(width) * std::size_t(rows); ++i)
            if (std::isnan(source[i]))
                target[i] = source[i];
        if (GDALRasterIO(toBand, GF_Write, 0, y0, width, rows, target.data(), width, rows, GDT_Float32, 0, 0) !=
            CE_None)
            return {StatusCode::invalidInput,
                    "cannot mark the warped nodata (" + QuietErrors::last("write error") + ")"};
    }
    return Ok();
}

// "30 m", "30 x 20 m", "0.000277778 degrees", "30 x 20" (no units known).
std::string PixelText(double across, double down, const std::string& units)
{
    const std::string sides =
        std::fabs(across - down) <= 1e-6 * std::max(across, down) ? Number(across) : Number(across) + " x " + Number(down);
    return units.empty() ? sides : sides + " " + units;
}

// The units of the system's coordinates for a person: "m", "degrees", "ft", ...; empty: none.
std::string UnitsOf(const std::string& wkt, double& toMetres)
{
    toMetres = 1;
    SrsCloser srs{wkt.empty() ? nullptr : OSRNewSpatialReference(wkt.c_str())};
    if (srs.srs == nullptr)
        return {};
    if (OSRIsGeographic(srs.srs))
        return "degrees";
    char* name = nullptr;
    toMetres = OSRGetLinearUnits(srs.srs, &name);
    return toMetres == 1 ? "m" : name != nullptr ? name : "units";
}

// "37 rows above and 38 below": source pixels, to a tenth.
std::string Sides(double first, double second, const char* what, const char* firstSide, const char* secondSide)
{
    const auto tenth = [](double v) { return Number(std::round(v * 10) / 10); };
    return tenth(first) + " " + what + " " + firstSide + " and " + tenth(second) + " " + secondSide;
}
} // namespace

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

int UtmEpsgAt(double longitude, double latitude)
{
    const double wrapped = longitude - 360 * std::floor((longitude + 180) / 360);
    const int zone = std::clamp(int(std::floor((wrapped + 180) / 6)) + 1, 1, 60);
    return (latitude >= 0 ? 32600 : 32700) + zone;
}

void PixelSides(const double* t, const std::string& wkt, int width, int height, double& across, double& down,
                bool& metres)
{
    across = std::hypot(t[1], t[4]);
    down = std::hypot(t[2], t[5]);
    metres = false;
    SrsCloser srs{wkt.empty() ? nullptr : OSRNewSpatialReference(wkt.c_str())};
    if (srs.srs == nullptr)
        return;
    metres = true;
    if (OSRIsGeographic(srs.srs))
    {
        // A degree of latitude is about a semi-major axis' radian; one of longitude that times
        // cos(latitude).
        const double centreLatitude = t[3] + t[4] * width / 2.0 + t[5] * height / 2.0;
        OGRErr error = OGRERR_NONE;
        const double radius = OSRGetSemiMajor(srs.srs, &error);
        const double metresPerDegree = (error == OGRERR_NONE && radius > 0 ? radius : 6378137.0) * M_PI / 180.0;
        across = std::fabs(t[1]) * metresPerDegree * std::cos(centreLatitude * M_PI / 180.0);
        down = std::fabs(t[5]) * metresPerDegree;
        return;
    }
    const double toMetres = OSRIsProjected(srs.srs) ? OSRGetLinearUnits(srs.srs, nullptr) : 1;
    across *= toMetres;
    down *= toMetres;
}

std::string SrsName(const std::string& wkt)
{
    SrsCloser srs{wkt.empty() ? nullptr : OSRNewSpatialReference(wkt.c_str())};
    if (srs.srs == nullptr)
        return "no coordinate system";
    const char* name = OSRGetName(srs.srs);
    std::string text = name != nullptr ? name : "an unnamed system";
    OSRAutoIdentifyEPSG(srs.srs);
    const char* authority = OSRGetAuthorityName(srs.srs, nullptr);
    const char* code = OSRGetAuthorityCode(srs.srs, nullptr);
    if (authority != nullptr && code != nullptr)
        text += std::string(" (") + authority + ":" + code + ")";
    return text;
}

StatusOr<std::string> ChooseTargetSrs(GDALDatasetH source, const HeightImportOptions& options, bool keepDegrees)
{
    std::string wkt;
    const char* own = GDALGetProjectionRef(source);
    const bool hasSystem = own != nullptr && *own != '\0';
    if (!options.targetSrs.empty())
    {
        SrsCloser target{OSRNewSpatialReference(nullptr)};
        char* text = nullptr;
        if (OSRSetFromUserInput(target.srs, options.targetSrs.c_str()) != OGRERR_NONE ||
            OSRExportToWkt(target.srs, &text) != OGRERR_NONE)
        {
            CPLFree(text);
            return Status(StatusCode::invalidSettings, "--t-srs " + options.targetSrs +
                                                           " is not a coordinate system GDAL knows (" +
                                                           QuietErrors::last("unknown") + "); e.g. EPSG:32633");
        }
        wkt = text;
        CPLFree(text);
        if (!hasSystem)
            return Status(StatusCode::invalidSettings,
                          "--t-srs: the raster has no coordinate system to reproject from");
        return wkt;
    }
    double t[6];
    if (options.keepCrs || keepDegrees || !hasSystem || GDALGetGeoTransform(source, t) != CE_None)
        return wkt;
    SrsCloser srs{OSRNewSpatialReference(own)};
    if (srs.srs == nullptr || !OSRIsGeographic(srs.srs))
        return wkt;
    const double width = GDALGetRasterXSize(source);
    const double height = GDALGetRasterYSize(source);
    const double longitude = t[0] + t[1] * width / 2 + t[2] * height / 2;
    const double latitude = t[3] + t[4] * width / 2 + t[5] * height / 2;
    SrsCloser utm{OSRNewSpatialReference(nullptr)};
    char* text = nullptr;
    if (OSRImportFromEPSG(utm.srs, UtmEpsgAt(longitude, latitude)) != OGRERR_NONE ||
        OSRExportToWkt(utm.srs, &text) != OGRERR_NONE)
    {
        CPLFree(text);
        return Status(StatusCode::invalidInput, "cannot make the UTM system around its centre (" +
                                                    QuietErrors::last("PROJ error") + "); give --t-srs or --keep-crs");
    }
    wkt = text;
    CPLFree(text);
    return wkt;
}

StatusOr<GDALDatasetH> WarpToMap(GDALDatasetH source, int band, const HeightImportOptions& options,
                                 const std::string& targetWkt, std::vector<std::string>& notes)
{
    double sourceTransform[6];
    const bool georeferenced = GDALGetGeoTransform(source, sourceTransform) == CE_None;
    const StatusOr<GDALDatasetH> oneBand = BandOf(source, band, options, georeferenced);
    if (!oneBand)
        return oneBand.status;
    DatasetCloser vrt{*oneBand};
    const int width = GDALGetRasterXSize(vrt.dataset);
    const int height = GDALGetRasterYSize(vrt.dataset);
    double t[6];
    GDALGetGeoTransform(vrt.dataset, t);
    const std::string ownWkt = GDALGetProjectionRef(vrt.dataset);
    const bool reproject = !targetWkt.empty();
    const std::string wkt = reproject ? targetWkt : ownWkt;
    double toMetres = 1;
    const std::string units = georeferenced ? UnitsOf(wkt, toMetres) : std::string();

    // The extent in the target system and the pixel it is seen at before any resampling.
    double west = 0, south = 0, east = 0, north = 0;
    double pixelAcross = 0, pixelDown = 0;
    double sourceAcross = 0, sourceDown = 0;
    bool sourceInMetres = false;
    PixelSides(t, ownWkt, width, height, sourceAcross, sourceDown, sourceInMetres);
    if (!reproject && t[2] == 0 && t[4] == 0)
    {
        west = std::min(t[0], t[0] + width * t[1]);
        east = std::max(t[0], t[0] + width * t[1]);
        south = std::min(t[3], t[3] + height * t[5]);
        north = std::max(t[3], t[3] + height * t[5]);
        pixelAcross = std::fabs(t[1]);
        pixelDown = std::fabs(t[5]);
    }
    else
    {
        // Rotated, or in another system: the extent GDAL finds for the warped raster.
        CPLStringList transformerOptions;
        if (reproject)
            transformerOptions.SetNameValue("DST_SRS", targetWkt.c_str());
        void* transformer = GDALCreateGenImgProjTransformer2(vrt.dataset, nullptr, transformerOptions.List());
        double suggested[6];
        double extent[4];
        int columns = 0;
        int rows = 0;
        const bool found = transformer != nullptr &&
                           GDALSuggestedWarpOutput2(vrt.dataset, GDALGenImgProjTransform, transformer, suggested,
                                                    &columns, &rows, extent, 0) == CE_None;
        if (transformer != nullptr)
            GDALDestroyGenImgProjTransformer(transformer);
        if (!found)
            return Status(StatusCode::invalidInput, "cannot find where the raster lies in " + SrsName(wkt) + " (" +
                                                        QuietErrors::last("PROJ error") + ")");
        west = extent[0];
        south = extent[1];
        east = extent[2];
        north = extent[3];
        // Square pixels: the source's shorter side in metres where both systems know metres,
        // else the finer of the two GDAL suggests.
        double pixel = std::min(std::fabs(suggested[1]), std::fabs(suggested[5]));
        if (sourceInMetres && !units.empty() && units != "degrees")
            pixel = std::min(sourceAcross, sourceDown) / toMetres;
        pixelAcross = pixelDown = pixel;
    }

    const double extentAcross = east - west;
    const double extentDown = north - south;
    double te[4];
    int columns = 0;
    int rows = 0;
    std::string fitNote;
    if (options.size == 0)
    {
        columns = int(std::ceil(extentAcross / pixelAcross - 1e-6));
        rows = int(std::ceil(extentDown / pixelDown - 1e-6));
        if (columns > kHeightImageMaxSide || rows > kHeightImageMaxSide)
            return Status(StatusCode::invalidInput,
                          "reprojected with pixels of " + Number(pixelAcross) + " " + units + " it would be " +
                              std::to_string(columns) + " x " + std::to_string(rows) + " pixels, more than the " +
                              std::to_string(kHeightImageMaxSide) + " a height map takes on a side; --size " +
                              std::to_string(MapSideFor(std::max(columns, rows))) + " resamples it to a square map");
        const double te0[4] = {west, north - rows * pixelDown, west + columns * pixelAcross, north};
        std::copy(std::begin(te0), std::end(te0), te);
    }
    else
    {
        // The square: the whole raster (pad) or its centre (crop). The offset of the short or
        // long side is a whole number of the map's pixels, so that a raster of the map's pixel
        // size keeps its grid.
        const int n = options.size;
        const bool pad = options.fit == HeightImportOptions::Fit::Pad || options.hasWindow;
        const bool wide = extentAcross >= extentDown;
        const double side = pad ? std::max(extentAcross, extentDown) : std::min(extentAcross, extentDown);
        const double pixel = side / n;
        const double spare = std::fabs(extentAcross - extentDown);
        const double offset = std::max(0.0, std::floor(spare / (2 * pixel))) * pixel;
        const double rest = std::max(0.0, spare - offset);
        if (pad && wide)
        {
            const double te0[4] = {west, north + offset - side, west + side, north + offset};
            std::copy(std::begin(te0), std::end(te0), te);
            if (spare > 0)
                fitNote = "padded with nodata to a square: " +
                          Sides(offset / pixelDown, rest / pixelDown, "rows", "above", "below");
        }
        else if (pad)
        {
            const double te0[4] = {west - offset, south, west - offset + side, north};
            std::copy(std::begin(te0), std::end(te0), te);
            if (spare > 0)
                fitNote = "padded with nodata to a square: " +
                          Sides(offset / pixelAcross, rest / pixelAcross, "columns", "on the left", "on the right");
        }
        else if (wide)
        {
            const double te0[4] = {west + offset, south, west + offset + side, north};
            std::copy(std::begin(te0), std::end(te0), te);
            if (spare > 0)
                fitNote = "cut to the centre square: " +
                          Sides(offset / pixelAcross, rest / pixelAcross, "columns", "on the left", "on the right");
        }
        else
        {
            const double te0[4] = {west, north - offset - side, east, north - offset};
            std::copy(std::begin(te0), std::end(te0), te);
            if (spare > 0)
                fitNote = "cut to the centre square: " +
                          Sides(offset / pixelDown, rest / pixelDown, "rows", "above", "below");
        }
        if (!fitNote.empty())
            fitNote += reproject ? " (pixels of the reprojected raster)" : " (source pixels)";
        columns = rows = n;
    }

    // The pixel size itself, not the count, so that the pixels are exactly square.
    const double pixel = (te[2] - te[0]) / columns;
    const auto warpWith = [&](const std::string& resampling) -> StatusOr<GDALDatasetH> {
        Arguments arguments;
        arguments.add({"-of", "MEM", "-ot", "Float32", "-r", resampling, "-dstnodata", "nan"});
        arguments.add({"-te", Exact(te[0]), Exact(te[1]), Exact(te[2]), Exact(te[3])});
        arguments.add({"-tr", Exact(pixel), Exact(pixel), "-wo", "NUM_THREADS=ALL_CPUS"});
        if (reproject)
            arguments.add({"-t_srs", targetWkt});
        GDALWarpAppOptions* warpOptions = GDALWarpAppOptionsNew(arguments.list(), nullptr);
        if (warpOptions == nullptr)
            return Status(StatusCode::invalidInput,
                          "cannot warp with " + resampling + " (" + QuietErrors::last("bad options") + ")");
        GDALDatasetH input = vrt.dataset;
        GDALDatasetH result = GDALWarp("", nullptr, 1, &input, warpOptions, nullptr);
        GDALWarpAppOptionsFree(warpOptions);
        if (result == nullptr)
            return Status(StatusCode::invalidInput, "cannot warp it to " + std::to_string(columns) + " x " +
                                                        std::to_string(rows) + " (" + QuietErrors::last("GDAL error") +
                                                        ")");
        return result;
    };
    const StatusOr<GDALDatasetH> made = warpWith(options.resampling);
    if (!made)
        return made.status;
    DatasetCloser warped{*made};
    if (options.resampling != "nearest" && MayHoldNodata(vrt.dataset))
    {
        const StatusOr<GDALDatasetH> nearestMade = warpWith("nearest");
        if (!nearestMade)
            return nearestMade.status;
        DatasetCloser nearest{*nearestMade};
        if (Status taken = TakeNodataOf(nearest.dataset, warped.dataset); !taken)
            return taken;
    }

    const double mapPixel = pixel;
    const std::string sourceUnits = sourceInMetres ? "m" : "";
    if (options.hasWindow)
    {
        const int* w = options.window;
        notes.push_back("took the window " + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " +
                        std::to_string(w[2]) + " " + std::to_string(w[3]) + " of the " +
                        std::to_string(GDALGetRasterXSize(source)) + " x " +
                        std::to_string(GDALGetRasterYSize(source)) + " source pixels");
    }
    // The map's pixel as a person reads it: metres, or degrees when it stays in degrees.
    const std::string mapPixelText = units == "degrees" ? PixelText(mapPixel, mapPixel, units)
                                                        : PixelText(mapPixel * toMetres, mapPixel * toMetres, "m");
    if (reproject)
        notes.push_back("reprojected from " + SrsName(ownWkt) + " to " + SrsName(targetWkt) + " (GDAL's warper, " +
                        options.resampling + ")" +
                        (options.size != 0 ? std::string()
                                           : ": square pixels of " + mapPixelText + ", the source's are " +
                                                 PixelText(sourceAcross, sourceDown, sourceUnits) + " at its centre"));
    if (options.size != 0)
    {
        const std::string from = std::to_string(width) + " x " + std::to_string(height) + " pixels";
        const std::string to = std::to_string(columns) + " x " + std::to_string(rows);
        notes.push_back("resampled " + from +
                        (georeferenced ? " of " + PixelText(sourceAcross, sourceDown, sourceUnits) + " to " + to +
                                             " of " + mapPixelText
                                       : " to " + to) +
                        " (" + options.resampling + ")");
        if (!fitNote.empty())
            notes.push_back(fitNote);
    }
    return std::exchange(warped.dataset, nullptr);
}
} // namespace gdalwarp
