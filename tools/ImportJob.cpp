#include "tools/ImportJob.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/JobFiles.h"
#include "base/RasterView.h"
#include "base/Text.h"
#include "heightproc/ProcessSettings.h"
#include "tools/EnviHeader.h"
#include "tools/GdalRaster.h"
#include "tools/MapGeoTiff.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

namespace
{

// Through the one number reader every option shares, so "+5" and "5" mean one thing everywhere.
bool ReadNumber(std::string_view text, double& value)
{
    const std::optional<double> number = ParseNumber(text);
    value = number.value_or(value);
    return number.has_value();
}

class Names
{
public:
    explicit Names(OptionSpelling spelling) : m_manifest(spelling == OptionSpelling::manifest) {}
    // The option as a sentence names it: "--size" or "size".
    std::string operator()(const std::string& option) const
    {
        return m_manifest ? option : option == "resampling" ? "-r" : "--" + option;
    }
    // What stands before the problem of one value: "--size: ", or nothing for the manifest, which
    // names the key itself.
    std::string of(const std::string& option) const { return m_manifest ? "" : (*this)(option) + ": "; }

private:
    bool m_manifest;
};

Status Refused(std::string why)
{
    return {StatusCode::invalidSettings, std::move(why)};
}

Status CheckImportPixelSize(double metres)
{
    // The pixel sizes that process takes, so that what import passes on is never refused there.
    return CheckField(ProcessField("pixelSize"), metres);
}

Status CheckResampling(const std::string& method)
{
    const auto* known = std::find_if(std::begin(kHeightResamplings), std::end(kHeightResamplings),
                                     [&](const char* name) { return method == name; });
    if (known != std::end(kHeightResamplings))
        return Ok();
    return Refused(method + " is not one of nearest, bilinear, cubic, cubicspline, lanczos, average, mode");
}

Status CheckImportOptions(const ImportRequest& request, HeightImportOptions& settings, OptionSpelling spelling,
                          bool combinations)
{
    const Names name(spelling);
    if (request.heightRange == "auto")
        settings.range = HeightImportOptions::Range::Auto;
    else if (!request.heightRange.empty())
    {
        // The colon is looked for after the first character, so that MIN may be negative.
        const std::size_t colon = request.heightRange.find(':', 1);
        if (colon == std::string::npos || !ReadNumber(request.heightRange.substr(0, colon), settings.rangeMin) ||
            !ReadNumber(request.heightRange.substr(colon + 1), settings.rangeMax))
            return Refused(name.of("height-range") + request.heightRange +
                           " is neither MIN:MAX (metres, e.g. -50:1200) nor auto");
        if (!(settings.rangeMin < settings.rangeMax))
            return Refused(name.of("height-range") + request.heightRange + ": MIN must be below MAX");
        settings.range = HeightImportOptions::Range::Given;
    }
    // The command line refuses these pairs as it reads them; a manifest or a caller here.
    if (combinations && !request.heightRange.empty() && !request.heightStep.empty())
        return Refused(name("height-range") + " excludes " + name("height-step"));
    if (combinations && request.keepCrs && !request.targetSrs.empty())
        return Refused(name("t-srs") + " excludes " + name("keep-crs"));
    if (!request.heightStep.empty())
    {
        if (!ReadNumber(request.heightStep, settings.heightStep) || !(settings.heightStep > 0))
            return Refused(name.of("height-step") + request.heightStep + " is not a number of metres above 0");
        settings.range = HeightImportOptions::Range::Step;
    }
    if (!request.nodataHeight.empty())
    {
        if (!ReadNumber(request.nodataHeight, settings.nodataHeight))
            return Refused(name.of("nodata-height") + request.nodataHeight + " is not a number");
        settings.hasNodataHeight = true;
    }
    if (!request.fillVoids.empty() && request.fillVoids != "on" && request.fillVoids != "off")
        return Refused(name.of("fill-voids") + "\"" + request.fillVoids + "\" is not on or off");
    if (combinations && request.fillVoids == "on" && settings.hasNodataHeight)
        return Refused(name("nodata-height") + " gives every nodata cell one height, which " + name("fill-voids") +
                       " on does not; give " + name("fill-voids") + " off with it, or leave it out");
    if (!request.fillVoids.empty())
        settings.nodata =
            request.fillVoids == "on" ? HeightImportOptions::Nodata::Fill : HeightImportOptions::Nodata::Constant;
    if (request.pixelSize != 0)
        if (const Status problem = CheckImportPixelSize(request.pixelSize); !problem)
            return Refused(name.of("pixel-size") + problem.message);
    settings.pixelSize = request.pixelSize;
    if (request.size != 0 && (request.size < kHeightImageMinSide || request.size > kHeightImageMaxSide))
        return Refused(name.of("size") + std::to_string(request.size) + " is outside the range 256..20000");
    settings.size = request.size;
    if (!request.fit.empty() && request.fit != "pad" && request.fit != "crop")
        return Refused(name.of("fit") + "\"" + request.fit + "\" is not pad or crop");
    if (!request.window.empty() && request.window.size() != 4)
        return Refused(name.of("window") + "give four whole numbers: XOFF YOFF XSIZE YSIZE");
    if (combinations && request.size == 0 && (!request.fit.empty() || !request.window.empty()))
        return Refused(name(request.fit.empty() ? "window" : "fit") + " says how a raster becomes a square map of " +
                       name("size") + " N samples; give " + name("size") + " too");
    if (combinations && request.fit == "pad" && !request.window.empty())
        return Refused(name("window") + " cuts the raster, which " + name("fit") + " pad never does; leave " +
                       name("fit") + " out (the window is padded to a square)");
    settings.fit = request.fit == "crop" ? HeightImportOptions::Fit::Crop : HeightImportOptions::Fit::Pad;
    if (!request.window.empty())
    {
        settings.hasWindow = true;
        std::copy(request.window.begin(), request.window.end(), settings.window);
    }
    if (request.band < 0)
        return Refused(name.of("band") + std::to_string(request.band) + " is not a band number (1, 2, ...)");
    settings.band = request.band;
    settings.targetSrs = request.targetSrs;
    settings.keepCrs = request.keepCrs;
    if (const Status problem = CheckResampling(request.resampling); !problem)
        return Refused(name.of("resampling") + problem.message);
    settings.resampling = request.resampling;
    return Ok();
}

// The first value of the request that is wrong alone, named as a manifest does (the command
// line and the manifest put the option's name before it), or ok.
Status ImportValueProblem(const ImportRequest& request)
{
    HeightImportOptions options;
    return CheckImportOptions(request, options, OptionSpelling::manifest, false);
}

// --name VALUE and its key, kept as text in the request and checked alone as it is taken.
JobOption<ImportRequest> TextOption(std::string name, std::string type, std::string help,
                                    std::string ImportRequest::*member)
{
    JobOption<ImportRequest> row;
    row.key = name;
    row.name = std::move(name);
    row.type = std::move(type);
    row.help = std::move(help);
    row.parse = [member](ImportRequest& request, std::string_view text)
    {
        request.*member = std::string(text);
        return ImportValueProblem(request);
    };
    return row;
}

// --name N and its key: a whole number (`count` of them for --window), checked alone; `firstOne`:
// numbers that count from 1, such as bands.
JobOption<ImportRequest> WholeOption(std::string name, std::string type, std::string help,
                                     void (*set)(ImportRequest&, const std::vector<int>&), int count = 1,
                                     bool firstOne = false)
{
    JobOption<ImportRequest> row;
    row.key = name;
    row.name = std::move(name);
    row.type = std::move(type);
    row.help = std::move(help);
    row.count = count;
    row.parse = [set, count, firstOne, what = row.type](ImportRequest& request, std::string_view text) -> Status
    {
        std::vector<int> values;
        std::istringstream words{std::string(text)};
        bool whole = true;
        for (std::string word; whole && words >> word;)
        {
            const std::optional<long long> value = ParseWhole(word);
            whole = value && *value >= (firstOne ? 1 : 0) && *value <= 1000000;
            values.push_back(whole ? int(*value) : 0);
        }
        if (!whole || int(values.size()) != count)
            return Refused("\"" + std::string(text) + "\" is not " +
                           (count > 1  ? std::to_string(count) + " whole numbers (" + what + ")"
                            : firstOne ? "a band number (1, 2, ...)"
                                       : "a whole number"));
        set(request, values);
        return ImportValueProblem(request);
    };
    return row;
}

// --pixel-size METRES and its key: any pixel size process takes, or 0 for none.
JobOption<ImportRequest> PixelSizeOption()
{
    JobOption<ImportRequest> row;
    row.name = row.key = "pixel-size";
    row.type = "NUMBER";
    row.help = "ground size of a source pixel in metres where no coordinate system gives it (0.01..100000)";
    row.parse = [](ImportRequest& request, std::string_view text) -> Status
    {
        const std::optional<double> metres = ParseNumber(text);
        if (!metres)
            return Refused("\"" + std::string(text) + "\" is not a number");
        request.pixelSize = *metres;
        return ImportValueProblem(request);
    };
    return row;
}

} // namespace

const JobOptions<ImportRequest>& ImportDescription()
{
    using R = ImportRequest;
    static const JobOptions<R> rows = []
    {
        JobOptions<R> list = {
            PositionalPath<R>("IMAGE", "image", "image or raster of heights; without --size 256..20000 pixels a side",
                              &R::input),
            PathOption<R>(
                "output", "o", "RAW 16-bit little-endian file to write",
                [](R& r, std::string path) { r.output = std::move(path); }, true),
            TextOption("height-range", "MIN:MAX|auto",
                       "heights (metres) of samples 0 and 65535, or auto: the data's range (default: unsigned "
                       "8/16-bit samples as they are, the map's height scale for other types)",
                       &R::heightRange),
            TextOption("height-step", "METRES",
                       "metres a sample, e.g. 1 for whole-metre heights, sample 0 a multiple of 257 steps below the "
                       "data (default for signed and float rasters: S / 257, S the smallest height scale of 1, 2, 5, "
                       "10, 20, 50, 100 that holds the data)",
                       &R::heightStep),
            TextOption("nodata-height", "NUMBER",
                       "height of every nodata and NaN cell, with --fill-voids off (the default height then: the "
                       "lowest valid one); giving it turns the filling off",
                       &R::nodataHeight),
            TextOption("fill-voids", "{on,off}",
                       "on (the default): voids filled smoothly from their rims and the cells outside the footprint "
                       "carried outward from its edge; given, it also fills the nodata cells of unsigned samples, "
                       "which are otherwise kept as heights. off: all of them at --nodata-height",
                       &R::fillVoids),
            PixelSizeOption(),
            WholeOption("size", "INT",
                        "resample to N x N samples, e.g. 4097 = 2^12 + 1, any shape fitted as --fit says "
                        "(256..20000)",
                        [](R& r, const std::vector<int>& n) { r.size = n[0]; }),
            TextOption("fit", "{pad,crop}",
                       "how --size makes a square: pad, the whole raster with nodata around its short side, "
                       "centred; crop, its centre square (default: pad)",
                       &R::fit),
            WholeOption(
                "window", "XOFF YOFF XSIZE YSIZE",
                "with --size: only these source pixels (offset, width, height), padded to a square",
                [](R& r, const std::vector<int>& n) { r.window = n; }, 4),
            TextOption("resampling", "{nearest,bilinear,cubic,cubicspline,lanczos,average,mode}",
                       "how --size and reprojection resample; bilinear keeps every height within the cells it reads",
                       &R::resampling),
            WholeOption(
                "band", "INT", "the band of heights in a raster of several (default: the only one)",
                [](R& r, const std::vector<int>& n) { r.band = n[0]; }, 1, true),
            TextOption("t-srs", "SRS",
                       "reproject to this coordinate system, e.g. EPSG:32633 (default: a raster in degrees goes to "
                       "the UTM zone of its centre)",
                       &R::targetSrs),
            FlagOption<R>("keep-crs", "keep-crs", "keep a raster in degrees in degrees (approximate pixel size)",
                          [](R& r, bool keep) { r.keepCrs = keep; }),
        };
        // The command line refuses other words itself, as it always has; a manifest through the row.
        OptionRow(list, "fill-voids").choices = {"on", "off"};
        OptionRow(list, "fit").choices = {"pad", "crop"};
        OptionRow(list, "height-step").excludes = "height-range";
        OptionRow(list, "keep-crs").excludes = "t-srs";
        JobOption<R>& resampling = OptionRow(list, "resampling");
        resampling.alias = "r";
        resampling.defaultText = "bilinear";
        return list;
    }();
    return rows;
}

Status ImportOptionsOf(const ImportRequest& request, HeightImportOptions& options, OptionSpelling spelling)
{
    return CheckImportOptions(request, options, spelling, true);
}

std::vector<std::string> ImportJobOutputs(const ImportRequest& request)
{
    if (request.output.empty())
        return {};
    return {request.output, request.output + ".hdr", NodataMaskPathOf(request.output)};
}

std::string FormatMetres(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string HeightScaleText(const HeightImage& image)
{
    const double step = image.heightStep > 0 ? image.heightStep : (image.heightMax - image.heightMin) / 65535;
    char text[96];
    std::snprintf(text, sizeof text, "height scale %s: a sample is %.4g m", FormatMetres(step * 257).c_str(), step);
    return text;
}

JobResult RunImportJob(const ImportRequest& request, IProgressSink& progress, IMessageSink& messages,
                       ImportSummary* summary)
{
    const auto start = std::chrono::steady_clock::now();
    JobResult result = CheckJobFiles({request.input}, {request.output});
    if (!result.ok())
        return StopJob(result, messages);
    HeightImportOptions settings;
    if (Status status = ImportOptionsOf(request, settings); !status.ok())
        return StopJob(JobFailure(JobStatus::refused, status.message), messages);
    if (settings.needsGdal() && !HeightImageHasGdal())
        return StopJob(JobFailure(JobStatus::refused, "--height-range, --height-step, --nodata-height, --size, "
                                                      "--band and --t-srs need GDAL: " +
                                                          GdalMissing()),
                       messages);
    // A failure after the read keeps the warnings of the read.
    const auto fail = [&](JobStatus status, std::string message)
    {
        result.status = status;
        result.message = std::move(message);
        return StopJob(result, messages);
    };
    ImportSummary local;
    ImportSummary& done = summary != nullptr ? *summary : local;
    HeightImage& image = done.image;
    progress.setPos(0);
    std::string error;
    if (!ReadHeightImage(request.input, settings, image, error))
        return StopJob(JobFailure(JobStatus::failed, error), messages);
    for (const std::string& warning : image.warnings)
        result.warnings.push_back(request.input + ": " + warning);
    progress.setPos(100);
    done.range = FindSampleRange(ConstRasterView<std::uint16_t>(image.samples.data(), image.width, image.height));
    // Which cells were nodata goes beside the RAW, named in its header, before the header.
    const std::string mask = image.nodataMask.empty() ? std::string() : NodataMaskPathOf(request.output);
    if (!mask.empty())
    {
        if (const std::string problem = SameFileProblem({request.input}, {mask}); !problem.empty())
            return fail(JobStatus::refused, problem + " (the nodata mask of " + request.output + ")");
        MapGeoReference geo;
        std::copy(std::begin(image.geoTransform), std::end(image.geoTransform), geo.geoTransform);
        geo.projectionWkt = image.projectionWkt;
        if (!WriteGeoTiff(mask,
                          GeoTiffRaster{image.nodataMask.data(), GeoTiffSamples::Byte, 1, image.width, image.height},
                          image.hasGeoTransform ? &geo : nullptr, error))
            return fail(JobStatus::failed, error);
        result.outputs.push_back({"mask", mask});
        done.mask = mask;
    }
    // The RAW map is little-endian whatever the machine.
    LittleEndianSamples(image.samples.data(), image.samples.size());
    done.bytes = image.samples.size() * sizeof(std::uint16_t);
    if (!WriteFileAtomically(request.output, image.samples.data(), done.bytes))
        return fail(JobStatus::failed, OutputFailure(request.output));
    result.outputs.push_back({"height", request.output});
    // "<raw>.hdr", not "<base>.hdr": GDAL would take a header at dem.hdr for one of dem.dat,
    // and read the height file as a raw raster.
    const std::string header = HeightImageEnviHeader(image,
                                                     "Altimo height map imported from " + request.input +
                                                         (image.heightStep > 0 ? ", " + HeightScaleText(image) : ""),
                                                     mask.substr(mask.rfind('/') + 1));
    if (!WriteFileAtomically(request.output + ".hdr", header.data(), header.size()))
        return fail(JobStatus::failed, OutputFailure(request.output + ".hdr"));
    result.outputs.push_back({"header", request.output + ".hdr"});
    image.samples = {};
    image.nodataMask = {};
    result.timings.push_back(
        {"total", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return result;
}
