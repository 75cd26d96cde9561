// import and export: height maps from and to the images that terrain tools and GIS hand out
// (16-bit or 8-bit grey PNG; GeoTIFF and other GDAL rasters when the build has GDAL).
#include "cli/CliSupport.h"
#include "cliff/CliffExport.h"
#include "heightproc/ProcessSettings.h"
#include "tools/ExportJob.h"
#include "tools/ImportJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{

// A word of a command line as a shell reads it.
std::string ShellWord(const std::string& word)
{
    if (!word.empty() &&
        word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./:=+-,@%") ==
            std::string::npos)
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The import command that was run, with --size N in place of any fitting it had.
std::string ImportCommandWithSize(const ImportRequest& options, int size)
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
        command += " --pixel-size " + FormatMetres(options.pixelSize);
    if (options.resampling != ImportRequest{}.resampling)
        command += " -r " + options.resampling;
    return command + " --size " + std::to_string(size);
}

// How the desktop's Height scale and Sea level read the map: Sea level N is N x 257 samples,
// the height heightMin + N x S.
void PrintHeightScale(const HeightImage& image)
{
    const double step = image.heightStep > 0 ? image.heightStep : (image.heightMax - image.heightMin) / 65535;
    const double scale = step * 257;
    const std::string words = FormatMetres(scale);
    const FieldRange page = CliffField("heightScale").page;
    std::printf("%s%s; use Height scale %s %s\n", image.heightStep > 0 ? "" : "equivalent ",
                HeightScaleText(image).c_str(), words.c_str(),
                InRange(page, float(scale)) ? "on the cliff page and in the engine"
                                            : ("in the engine and cliff --height-scale (the cliff page takes " +
                                               FormatMetres(page.min) + ".." + FormatMetres(page.max) + ")")
                                                  .c_str());
    const FieldRange seaLevels = ProcessField("seaLevel").range;
    const double zero = -image.heightMin / scale; // the sea level at 0 m, when there is one
    std::printf("sea level N is %s + N x %s m%s\n", FormatMetres(image.heightMin).c_str(), words.c_str(),
                zero == std::floor(zero) && zero > 0 && zero <= seaLevels.max
                    ? ("; sea level " + FormatMetres(zero) + " is 0 m").c_str()
                    : "");
}

// What the reader did to the heights, in the words of the options that change it.
void PrintImportDetails(const HeightImage& image, const ImportRequest& options)
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
        std::printf("heights %s..%s; mapped %s -> 0, %s -> 65535 (a step of %s)\n",
                    FormatMetres(image.lowestHeight).c_str(), FormatMetres(image.highestHeight).c_str(),
                    FormatMetres(image.heightMin).c_str(), FormatMetres(image.heightMax).c_str(),
                    FormatMetres((image.heightMax - image.heightMin) / 65535).c_str());
        if (image.nodataCells == 0)
            std::printf("nodata cells: 0\n");
        else
        {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f s", image.fillSeconds);
            std::printf("nodata cells: %lld: %s (%s)\n", image.nodataCells,
                        DescribeNodata(image.nodataKinds, image.nodataFilled).c_str(),
                        image.nodataFilled ? seconds : FormatMetres(image.nodataHeight).c_str());
        }
        if (image.clippedCells > 0)
            std::printf("clipped cells: %lld (outside %s..%s)\n", image.clippedCells,
                        FormatMetres(image.heightMin).c_str(), FormatMetres(image.heightMax).c_str());
        PrintHeightScale(image);
    }
    if (image.pixelSize > 0)
        std::printf("pixel size: %s m\n", FormatMetres(image.pixelSize).c_str());
    // A terrain engine takes maps of 2^n + 1 samples a side.
    const int longer = std::max(image.width, image.height);
    const int side = MapSideFor(longer);
    if (options.size == 0 && !(image.width == image.height && side == longer))
        std::printf("note: %s is %d x %d; --size %d makes it (the whole raster, padded with nodata):\n  %s\n",
                    side >= longer ? "the smallest map of 2^n + 1 samples a side that holds this one"
                                   : "the largest map of 2^n + 1 samples a side",
                    side, side, side, ImportCommandWithSize(options, side).c_str());
}

// The job's warnings, then its messages: the order in which the reader meets them.
int Finish(const JobResult& result, const RecordingMessages& messages)
{
    for (const std::string& warning : result.warnings)
        PrintWarning(warning);
    for (const Message& message : messages.messages)
        PrintError(message.text);
    return ExitCodeOf(result);
}

int RunImport(const ImportRequest& options, const CliContext& context)
{
    RecordingMessages messages;
    ImportSummary summary;
    JobResult result;
    {
        TerminalProgress progress("import", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        result = RunImportJob(options, progress, messages, &summary);
    }
    if (const int code = Finish(result, messages); code != kExitOk || context.quiet)
        return code;
    const HeightImage& image = summary.image;
    std::printf("read %s: %s, %s, %d x %d\n", options.input.c_str(), image.format.c_str(),
                image.sampleType == "Byte" || image.sampleType == "UInt16"
                    ? (std::to_string(image.sourceBits) + "-bit grey").c_str()
                    : image.sampleType.c_str(),
                image.sourceWidth, image.sourceHeight);
    std::printf("wrote %s: %d x %d, values %u..%u, %s, %.2f s; its ENVI header %s.hdr\n", options.output.c_str(),
                image.width, image.height, unsigned(summary.range.low), unsigned(summary.range.high),
                FormatBytes(summary.bytes).c_str(), result.seconds("total"), options.output.c_str());
    PrintImportDetails(image, options);
    if (!summary.mask.empty())
        std::printf("nodata mask: %s (0 data, 1 void, 2 outside the footprint), named in the header\n",
                    summary.mask.c_str());
    // process reads the size and the georeference from the header. The pixel size is named
    // all the same: one given here or approximated from degrees is not in the header.
    const bool usablePixel = CheckField(ProcessField("pixelSize"), image.pixelSize).ok();
    std::printf("next: altimo-cli process %s%s\n", ShellWord(options.output).c_str(),
                usablePixel ? (" --pixel-size " + FormatMetres(image.pixelSize)).c_str() : "");
    return kExitOk;
}

int RunExport(const ExportRequest& options, const CliContext& context)
{
    RecordingMessages messages;
    ExportSummary summary;
    JobResult result;
    {
        TerminalProgress progress("export", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        result = RunExportJob(options, progress, messages, &summary);
    }
    if (const int code = Finish(result, messages); code != kExitOk || context.quiet)
        return code;
    std::printf("wrote %s: %s, %s, %d x %d, %s, %.2f s\n", options.output.c_str(),
                summary.format == HeightImageFormat::Png ? "PNG" : "GeoTIFF",
                summary.metres ? "32-bit float metres" : "16-bit grey", summary.width, summary.height,
                FormatBytes(FileSize(options.output)).c_str(), result.seconds("total"));
    if (!summary.geoSource.empty())
        std::printf("georeference from %s\n", summary.geoSource.c_str());
    const ExportedNodata& nodata = summary.nodata;
    if (nodata.marked > 0)
        std::printf("nodata: %lld cells of the source marked %s, from %s\n", nodata.marked,
                    summary.metres ? ("with the NoData value " + FormatMetres(kGeoTiffNodataMetres)).c_str()
                                   : "in a mask band",
                    nodata.recorded.mask.c_str());
    else if (!nodata.recorded.mask.empty() && summary.format == HeightImageFormat::Png)
        std::printf("nodata: a PNG cannot mark the %lld nodata cells of the source; a .tif gets them\n",
                    nodata.recorded.kinds.cells());
    return kExitOk;
}

} // namespace

void RegisterImageCommands(CLI::App& app, CliContext& context)
{
    auto import = std::make_shared<ImportRequest>();
    CLI::App* importCommand = app.add_subcommand(
        "import", "Turn a height image or elevation raster (8/16-bit PNG; with GDAL any GeoTIFF or DEM of integer or "
                  "float heights) into a RAW 16-bit map");
    auto importOptions = std::make_shared<CommandOptions<ImportRequest>>(importCommand, ImportDescription());
    importCommand->callback(
        [import, importOptions, &context]
        {
            if (!importOptions->apply(*import, context))
                return;
            const JobPaths paths{{import->input}, {import->output}};
            if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
                return;
            SummariesAwayFromOutput(paths);
            context.exitCode = RunImport(*import, context);
        });

    auto exportRequest = std::make_shared<ExportRequest>();
    CLI::App* exportCommand =
        app.add_subcommand("export", "Write a height or water file (.dat) as a 16-bit grey PNG or GeoTIFF");
    auto exportOptions = std::make_shared<CommandOptions<ExportRequest>>(exportCommand, ExportDescription());
    exportCommand->callback(
        [exportRequest, exportOptions, &context]
        {
            if (!exportOptions->apply(*exportRequest, context))
                return;
            // The format is told by the output's extension, which a stream does not have.
            JobPaths paths{{exportRequest->input}, {exportRequest->output}, false};
            if (!exportRequest->like.empty())
                paths.inputs.push_back(exportRequest->like);
            if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
                return;
            SummariesAwayFromOutput(paths);
            context.exitCode = RunExport(*exportRequest, context);
        });
}
