// import and export: height maps from and to the images that terrain tools and GIS hand out
// (16-bit or 8-bit grey PNG; GeoTIFF and other GDAL rasters when the build has GDAL).
#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/JobFiles.h"
#include "base/RasterView.h"
#include "cli/CliSupport.h"
#include "cliff/CliffExport.h"
#include "heightproc/ProcessSettings.h"
#include "tools/EnviHeader.h"
#include "tools/GdalRaster.h"
#include "tools/HeightImage.h"
#include "tools/MapGeoTiff.h"
#include "tools/NodataFill.h"
#include "tools/Relief.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

struct ImageOptions
{
    std::string input;
    std::string output;
    // import
    std::string heightRange;  // "MIN:MAX" or "auto"; empty: the default of the sample type
    std::string heightStep;   // metres a sample; empty: the default of the sample type
    std::string nodataHeight; // empty: the lowest valid height
    std::string fillVoids;    // on or off; empty: on unless --nodata-height is given
    double pixelSize = 0;
    int size = 0;
    std::string fit;             // pad or crop; empty: pad
    std::vector<int> window;     // XOFF YOFF XSIZE YSIZE, or none
    std::string resampling = "bilinear";
    int band = 0;
    std::string targetSrs;
    bool keepCrs = false;
    // export
    std::string like;             // a raster or header of the same map; empty: <base>.raw.hdr if present
    std::string heights = "samples"; // or metres
};

bool ParseNumber(const std::string& text, double& value)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(value);
}

// The import options as the reader takes them; false with the option's message.
bool ImportSettings(const ImageOptions& options, HeightImportOptions& settings, std::string& error)
{
    if (options.heightRange == "auto")
        settings.range = HeightImportOptions::Range::Auto;
    else if (!options.heightRange.empty())
    {
        // The colon is looked for after the first character, so that MIN may be negative.
        const std::size_t colon = options.heightRange.find(':', 1);
        if (colon == std::string::npos || !ParseNumber(options.heightRange.substr(0, colon), settings.rangeMin) ||
            !ParseNumber(options.heightRange.substr(colon + 1), settings.rangeMax))
        {
            error = "--height-range: " + options.heightRange + " is neither MIN:MAX (metres, e.g. -50:1200) nor auto";
            return false;
        }
        if (!(settings.rangeMin < settings.rangeMax))
        {
            error = "--height-range: " + options.heightRange + ": MIN must be below MAX";
            return false;
        }
        settings.range = HeightImportOptions::Range::Given;
    }
    if (!options.heightStep.empty())
    {
        if (!ParseNumber(options.heightStep, settings.heightStep) || !(settings.heightStep > 0))
        {
            error = "--height-step: " + options.heightStep + " is not a number of metres above 0";
            return false;
        }
        settings.range = HeightImportOptions::Range::Step;
    }
    if (!options.nodataHeight.empty())
    {
        if (!ParseNumber(options.nodataHeight, settings.nodataHeight))
        {
            error = "--nodata-height: " + options.nodataHeight + " is not a number";
            return false;
        }
        settings.hasNodataHeight = true;
    }
    if (options.fillVoids == "on" && settings.hasNodataHeight)
    {
        error = "--nodata-height gives every nodata cell one height, which --fill-voids on does not; give "
                "--fill-voids off with it, or leave it out";
        return false;
    }
    if (!options.fillVoids.empty())
        settings.nodata = options.fillVoids == "on" ? HeightImportOptions::Nodata::Fill
                                                    : HeightImportOptions::Nodata::Constant;
    // The pixel sizes that process takes, so that what import passes on is never refused there.
    if (options.pixelSize != 0)
        if (const std::string problem = CheckFieldValue(ProcessField("pixelSize"), options.pixelSize); !problem.empty())
        {
            error = "--pixel-size: " + problem;
            return false;
        }
    settings.pixelSize = options.pixelSize;
    if (options.size != 0 && (options.size < kHeightImageMinSide || options.size > kHeightImageMaxSide))
    {
        error = "--size: " + std::to_string(options.size) + " is outside the range 256..20000";
        return false;
    }
    settings.size = options.size;
    if (options.size == 0 && (!options.fit.empty() || !options.window.empty()))
    {
        error = std::string(options.fit.empty() ? "--window" : "--fit") +
                " says how a raster becomes a square map of --size N samples; give --size too";
        return false;
    }
    if (options.fit == "pad" && !options.window.empty())
    {
        error = "--window cuts the raster, which --fit pad never does; leave --fit out (the window is padded to a "
                "square)";
        return false;
    }
    settings.fit = options.fit == "crop" ? HeightImportOptions::Fit::Crop : HeightImportOptions::Fit::Pad;
    if (!options.window.empty())
    {
        settings.hasWindow = true;
        std::copy(options.window.begin(), options.window.end(), settings.window);
    }
    settings.band = options.band;
    settings.targetSrs = options.targetSrs;
    settings.keepCrs = options.keepCrs;
    const auto* known = std::find_if(std::begin(kHeightResamplings), std::end(kHeightResamplings),
                                     [&](const char* name) { return options.resampling == name; });
    if (known == std::end(kHeightResamplings))
    {
        error = "-r: " + options.resampling + " is not one of nearest, bilinear, cubic, cubicspline, lanczos, "
                                              "average, mode";
        return false;
    }
    settings.resampling = options.resampling;
    if (settings.needsGdal() && !HeightImageHasGdal())
    {
        error =
            "--height-range, --height-step, --nodata-height, --size, --band and --t-srs need GDAL: " + GdalMissing();
        return false;
    }
    return true;
}

std::string Metres(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A word of a command line as a shell reads it.
std::string ShellWord(const std::string& word)
{
    if (!word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./:=+-,@%") ==
                             std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The import command that was run, with --size N in place of any fitting it had.
std::string ImportCommandWithSize(const ImageOptions& options, int size)
{
    std::string command = "altimo-cli import " + ShellWord(options.input) + " -o " + ShellWord(options.output);
    if (options.band != 0)
        command += " --band " + std::to_string(options.band);
    if (!options.heightRange.empty())
        command += " --height-range " + ShellWord(options.heightRange);
    if (!options.heightStep.empty())
        command += " --height-step " + ShellWord(options.heightStep);
    if (!options.nodataHeight.empty())
        command += " --nodata-height " + ShellWord(options.nodataHeight);
    if (!options.fillVoids.empty())
        command += " --fill-voids " + options.fillVoids;
    if (!options.targetSrs.empty())
        command += " --t-srs " + ShellWord(options.targetSrs);
    if (options.keepCrs)
        command += " --keep-crs";
    if (options.pixelSize > 0)
        command += " --pixel-size " + Metres(options.pixelSize);
    if (options.resampling != ImageOptions{}.resampling)
        command += " -r " + options.resampling;
    return command + " --size " + std::to_string(size);
}

// The Height scale S that reads the map's samples as metres (a sample is S / 257 m), in the
// words of the summary and the header: "height scale 5: a sample is 0.01946 m".
std::string HeightScaleText(const HeightImage& image)
{
    const double step = image.heightStep > 0 ? image.heightStep : (image.heightMax - image.heightMin) / 65535;
    char text[96];
    std::snprintf(text, sizeof text, "height scale %s: a sample is %.4g m", Metres(step * 257).c_str(), step);
    return text;
}

// How the desktop's Height scale and Sea level read the map: Sea level N is N x 257 samples,
// the height heightMin + N x S.
void PrintHeightScale(const HeightImage& image)
{
    const double step = image.heightStep > 0 ? image.heightStep : (image.heightMax - image.heightMin) / 65535;
    const double scale = step * 257;
    const std::string words = Metres(scale);
    const FieldRange page = CliffField("heightScale").page;
    std::printf("%s%s; use Height scale %s %s\n", image.heightStep > 0 ? "" : "equivalent ",
                HeightScaleText(image).c_str(), words.c_str(),
                InRange(page, float(scale)) ? "on the cliff page and in the engine"
                                            : ("in the engine and cliff --height-scale (the cliff page takes " +
                                               Metres(page.min) + ".." + Metres(page.max) + ")")
                                                  .c_str());
    const FieldRange seaLevels = ProcessField("seaLevel").range;
    const double zero = -image.heightMin / scale; // the sea level at 0 m, when there is one
    std::printf("sea level N is %s + N x %s m%s\n", Metres(image.heightMin).c_str(), words.c_str(),
                zero == std::floor(zero) && zero > 0 && zero <= seaLevels.max
                    ? ("; sea level " + Metres(zero) + " is 0 m").c_str()
                    : "");
}

// What the reader did to the heights, in the words of the options that change it.
void PrintImportDetails(const HeightImage& image, const ImageOptions& options)
{
    for (const std::string& note : image.notes)
        std::printf("%s\n", note.c_str());
    const bool asTheyAre = !image.nodataReplaced;
    if (asTheyAre)
    {
        if (image.sourceBits == 8)
            std::printf("8-bit values v were stored as v * 257 (255 is the highest height)\n");
        if (image.nodataCells > 0)
            std::printf("%lld cells hold the nodata value; kept as they are (--fill-voids on fills them, "
                        "--nodata-height sets them to one height)\n",
                        image.nodataCells);
    }
    else
    {
        std::printf("heights %s..%s; mapped %s -> 0, %s -> 65535 (a step of %s)\n", Metres(image.lowestHeight).c_str(),
                    Metres(image.highestHeight).c_str(), Metres(image.heightMin).c_str(),
                    Metres(image.heightMax).c_str(), Metres((image.heightMax - image.heightMin) / 65535).c_str());
        if (image.nodataCells == 0)
            std::printf("nodata cells: 0\n");
        else
        {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f s", image.fillSeconds);
            std::printf("nodata cells: %lld: %s (%s)\n", image.nodataCells,
                        DescribeNodata(image.nodataKinds, image.nodataFilled).c_str(),
                        image.nodataFilled ? seconds : Metres(image.nodataHeight).c_str());
        }
        if (image.clippedCells > 0)
            std::printf("clipped cells: %lld (outside %s..%s)\n", image.clippedCells, Metres(image.heightMin).c_str(),
                        Metres(image.heightMax).c_str());
        PrintHeightScale(image);
    }
    if (image.pixelSize > 0)
        std::printf("pixel size: %s m\n", Metres(image.pixelSize).c_str());
    // A terrain engine takes maps of 2^n + 1 samples a side.
    const int longer = std::max(image.width, image.height);
    const int side = MapSideFor(longer);
    if (options.size == 0 && !(image.width == image.height && side == longer))
        std::printf("note: %s is %d x %d; --size %d makes it (the whole raster, padded with nodata):\n  %s\n",
                    side >= longer ? "the smallest map of 2^n + 1 samples a side that holds this one"
                                   : "the largest map of 2^n + 1 samples a side",
                    side, side, side, ImportCommandWithSize(options, side).c_str());
}

int RunImport(const ImageOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    HeightImportOptions settings;
    std::string error;
    if (!ImportSettings(options, settings, error))
    {
        PrintError(error);
        return kExitBadArguments;
    }
    HeightImage image;
    {
        TerminalProgress progress("import", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        progress.setPos(0);
        if (const Status read = ReadHeightImage(options.input, settings, image); !read)
        {
            progress.finish();
            PrintError(read.message);
            return kExitJobFailed;
        }
        for (const std::string& warning : image.warnings)
            PrintWarning(options.input + ": " + warning);
        progress.setPos(100);
        const SampleRange range =
            FindSampleRange(ConstRasterView<std::uint16_t>(image.samples.data(), image.width, image.height));
        // Which cells were nodata goes beside the RAW, named in its header, before the header.
        const std::string mask = image.nodataMask.empty() ? std::string() : NodataMaskPathOf(options.output);
        if (!mask.empty())
        {
            if (const Status same = SameFileProblem({options.input}, {mask}); !same)
            {
                progress.finish();
                PrintError(same.message + " (the nodata mask of " + options.output + ")");
                return kExitBadArguments;
            }
            MapGeoReference geo;
            std::copy(std::begin(image.geoTransform), std::end(image.geoTransform), geo.geoTransform);
            geo.projectionWkt = image.projectionWkt;
            if (const Status written = WriteGeoTiff(
                    mask, GeoTiffRaster{image.nodataMask.data(), GeoTiffSamples::Byte, 1, image.width, image.height},
                    image.hasGeoTransform ? &geo : nullptr);
                !written)
            {
                progress.finish();
                PrintError(written.message);
                return kExitJobFailed;
            }
        }
        // The RAW map is little-endian whatever the machine.
        LittleEndianSamples(image.samples.data(), image.samples.size());
        if (!WriteFileAtomically(options.output, image.samples.data(), image.samples.size() * sizeof(std::uint16_t)))
        {
            progress.finish();
            PrintError(OutputFailure(options.output));
            return kExitJobFailed;
        }
        // "<raw>.hdr", not "<base>.hdr": GDAL would take a header at dem.hdr for one of dem.dat,
        // and read the height file as a raw raster.
        const std::string header =
            HeightImageEnviHeader(image, "Altimo height map imported from " + options.input +
                                             (image.heightStep > 0 ? ", " + HeightScaleText(image) : ""),
                                  mask.substr(mask.rfind('/') + 1));
        if (!WriteFileAtomically(options.output + ".hdr", header.data(), header.size()))
        {
            progress.finish();
            PrintError(OutputFailure(options.output + ".hdr"));
            return kExitJobFailed;
        }
        progress.finish();
        if (context.quiet)
            return kExitOk;
        std::printf("read %s: %s, %s, %d x %d\n", options.input.c_str(), image.format.c_str(),
                    image.sampleType == "Byte" || image.sampleType == "UInt16"
                        ? (std::to_string(image.sourceBits) + "-bit grey").c_str()
                        : image.sampleType.c_str(),
                    image.sourceWidth, image.sourceHeight);
        std::printf("wrote %s: %d x %d, values %u..%u, %s, %.2f s; its ENVI header %s.hdr\n", options.output.c_str(),
                    image.width, image.height, unsigned(range.low), unsigned(range.high),
                    FormatBytes(image.samples.size() * sizeof(std::uint16_t)).c_str(), SecondsSince(start),
                    options.output.c_str());
        PrintImportDetails(image, options);
        if (!mask.empty())
            std::printf("nodata mask: %s (0 data, 1 void, 2 outside the footprint), named in the header\n",
                        mask.c_str());
        // process reads the size and the georeference from the header. The pixel size is named
        // all the same: one given here or approximated from degrees is not in the header.
        const bool usablePixel = CheckFieldValue(ProcessField("pixelSize"), image.pixelSize).empty();
        std::printf("next: altimo-cli process %s%s\n", ShellWord(options.output).c_str(),
                    usablePixel ? (" --pixel-size " + Metres(image.pixelSize)).c_str() : "");
    }
    return kExitOk;
}

int RunExport(const ImageOptions& options, const CliContext& context)
{
    const HeightImageFormat format = HeightImageFormatOf(options.output);
    if (format == HeightImageFormat::Unknown)
    {
        PrintError("--output: " + options.output + " must end in .png, .tif or .tiff");
        return kExitBadArguments;
    }
    const bool metres = options.heights == "metres";
    if (!metres && options.heights != "samples")
    {
        PrintError("--heights: " + options.heights + " is neither samples nor metres");
        return kExitBadArguments;
    }
    if (format == HeightImageFormat::Png && (metres || !options.like.empty()))
    {
        PrintError("--output: " + options.output + ": --like and --heights metres need a GeoTIFF (.tif)");
        return kExitBadArguments;
    }
    if (format == HeightImageFormat::GeoTiff && !HeightImageHasGdal())
    {
        PrintError(options.output + ": GeoTIFF needs GDAL: " + GdalMissing() + "; .png works without it");
        return kExitJobFailed;
    }
    const auto start = std::chrono::steady_clock::now();
    MapRasterWrite write{options.input, options.output, options.like};
    ExportedNodata nodata;
    Status written;
    {
        TerminalProgress progress("export", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        written = ExportHeightFile(write, metres, progress, &nodata);
    }
    for (const std::string& warning : write.warnings)
        PrintWarning(warning);
    if (!written)
    {
        PrintError(written.message);
        return kExitJobFailed;
    }
    if (!context.quiet)
    {
        std::printf("wrote %s: %s, %s, %d x %d, %s, %.2f s\n", options.output.c_str(),
                    format == HeightImageFormat::Png ? "PNG" : "GeoTIFF",
                    metres ? "32-bit float metres" : "16-bit grey", write.width, write.height,
                    FormatBytes(FileSize(options.output)).c_str(), SecondsSince(start));
        if (!write.geoSource.empty())
            std::printf("georeference from %s\n", write.geoSource.c_str());
        if (nodata.marked > 0)
            std::printf("nodata: %lld cells of the source marked %s, from %s\n", nodata.marked,
                        metres ? ("with the NoData value " + Metres(kGeoTiffNodataMetres)).c_str()
                               : "in a mask band",
                        nodata.recorded.mask.c_str());
        else if (!nodata.recorded.mask.empty() && format == HeightImageFormat::Png)
            std::printf("nodata: a PNG cannot mark the %lld nodata cells of the source; a .tif gets them\n",
                        nodata.recorded.kinds.cells());
    }
    return kExitOk;
}

} // namespace

void RegisterImageCommands(CLI::App& app, CliContext& context)
{
    auto import = std::make_shared<ImageOptions>();
    CLI::App* importCommand = app.add_subcommand(
        "import", "Turn a height image or elevation raster (8/16-bit PNG; with GDAL any GeoTIFF or DEM of integer or "
                  "float heights) into a RAW 16-bit map");
    importCommand->add_option("IMAGE", import->input, "image or raster of heights; without --size 256..20000 pixels a side")
        ->required();
    importCommand->add_option("-o,--output", import->output, "RAW 16-bit little-endian file to write")->required();
    CLI::Option* heightRange = importCommand->add_option(
        "--height-range", import->heightRange,
        "heights (metres) of samples 0 and 65535, or auto: the data's range "
        "(default: unsigned 8/16-bit samples as they are, the map's height scale for other types)");
    heightRange->type_name("MIN:MAX|auto");
    importCommand
        ->add_option("--height-step", import->heightStep,
                     "metres a sample, e.g. 1 for whole-metre heights, sample 0 a multiple of 257 steps below "
                     "the data (default for signed and float rasters: S / 257, S the smallest height scale of 1, "
                     "2, 5, 10, 20, 50, 100 that holds the data)")
        ->type_name("METRES")
        ->excludes(heightRange);
    importCommand
        ->add_option("--nodata-height", import->nodataHeight,
                     "height of every nodata and NaN cell, with --fill-voids off (the default height then: "
                     "the lowest valid one); giving it turns the filling off")
        ->type_name("NUMBER");
    importCommand
        ->add_option("--fill-voids", import->fillVoids,
                     "on (the default): voids filled smoothly from their rims and the cells outside the footprint "
                     "carried outward from its edge; given, it also fills the nodata cells of unsigned samples, "
                     "which are otherwise kept as heights. off: all of them at --nodata-height")
        ->type_name("{on,off}")
        ->check(CLI::IsMember({"on", "off"}));
    importCommand->add_option("--pixel-size", import->pixelSize,
                              "ground size of a source pixel in metres where no coordinate system gives it "
                              "(0.01..100000)")
        ->type_name("NUMBER");
    importCommand->add_option("--size", import->size,
                              "resample to N x N samples, e.g. 4097 = 2^12 + 1, any shape fitted as --fit says "
                              "(256..20000)");
    importCommand
        ->add_option("--fit", import->fit,
                     "how --size makes a square: pad, the whole raster with nodata around its short side, centred; "
                     "crop, its centre square (default: pad)")
        ->type_name("{pad,crop}")
        ->check(CLI::IsMember({"pad", "crop"}));
    importCommand
        ->add_option("--window", import->window,
                     "with --size: only these source pixels (offset, width, height), padded to a square")
        ->type_name("XOFF YOFF XSIZE YSIZE")
        ->expected(4);
    importCommand
        ->add_option("-r,--resampling", import->resampling,
                     "how --size and reprojection resample; bilinear keeps every height within the cells it reads")
        ->type_name("{nearest,bilinear,cubic,cubicspline,lanczos,average,mode}")
        ->capture_default_str();
    importCommand->add_option("--band", import->band, "the band of heights in a raster of several (default: the only one)")
        ->type_name("INT")
        ->check(CLI::PositiveNumber);
    CLI::Option* targetSrs = importCommand->add_option(
        "--t-srs", import->targetSrs,
        "reproject to this coordinate system, e.g. EPSG:32633 (default: a raster in degrees goes to the UTM zone of "
        "its centre)");
    targetSrs->type_name("SRS");
    importCommand->add_flag("--keep-crs", import->keepCrs, "keep a raster in degrees in degrees (approximate pixel size)")
        ->excludes(targetSrs);
    importCommand->callback(
        [import, &context]
        {
            if ((context.exitCode = CheckJobPaths({{import->input}, {import->output}})) == kExitOk)
                context.exitCode = RunImport(*import, context);
        });

    auto exportOptions = std::make_shared<ImageOptions>();
    CLI::App* exportCommand =
        app.add_subcommand("export", "Write a height or water file (.dat) as a 16-bit grey PNG or GeoTIFF");
    exportCommand->add_option("DAT", exportOptions->input, "height file (.dat) or water file (_w.dat)")->required();
    exportCommand->add_option("-o,--output", exportOptions->output, "image to write: .png, or .tif/.tiff (GeoTIFF)")
        ->required();
    exportCommand->add_option("--like", exportOptions->like,
                              "raster or ENVI header of the same map whose georeference the GeoTIFF gets "
                              "(default: the sidecar <base>.dat.json, else <base>.raw.hdr, when there is one)");
    exportCommand
        ->add_option("--heights", exportOptions->heights,
                     "samples: 16-bit samples; metres: 32-bit floats through the header's gain and offset")
        ->type_name("{samples,metres}")
        ->capture_default_str();
    exportCommand->callback(
        [exportOptions, &context]
        {
            // The format is told by the output's extension, which a stream does not have.
            JobPaths paths{{exportOptions->input}, {exportOptions->output}, false};
            if (!exportOptions->like.empty())
                paths.inputs.push_back(exportOptions->like);
            if ((context.exitCode = CheckJobPaths(paths)) == kExitOk)
                context.exitCode = RunExport(*exportOptions, context);
        });
}
