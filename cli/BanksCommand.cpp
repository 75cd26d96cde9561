// banks: a compressed water mask (".wtr") becomes a shoreline file (".sl"), with the water banks
// page's settings and the main dialog's resolution scale as options, and optionally a PNG of the
// filtered water image with the shorelines drawn as the preview draws them, and the lines as GIS
// vector data, placed on the map when its georeference is given.
#include "banks/BanksJob.h"
#include "tools/GdalRaster.h"
#include "tools/PreviewRender.h"
#include "banks/ShorelineFile.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "tools/MapGeoSource.h"
#include "support/BitMask.h"
#include "tools/ShorelineVector.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

namespace
{

struct BanksOptions
{
    std::string wtr;
    std::string output;
    std::string preview;
    std::string vector; // GeoPackage, GeoJSON or shapefile
    std::string like;   // the map the lines are placed on
    BanksSettings settings;
    bool cellSizeGiven = false; // --water-pixel-size; else with --like the map's pixel size / scale
    bool json = false;
};

// The desktop shows the path as the text under a caption that says what went wrong; on one
// line the caption goes first.
class BanksMessages final : public IMessageSink
{
public:
    void show(const std::string& text, const std::string& caption) override
    {
        PrintError(caption == kAppName ? text : caption + ": " + text);
    }
};

// The vector format is told by the extension alone (a stream has none), and needs GDAL; --like
// places the vector lines and nothing else.
JobResult CheckVectorOutput(const BanksOptions& options)
{
    if (options.vector.empty())
    {
        if (options.like.empty())
            return {};
        return JobFailure(JobStatus::refused, "--like: " + options.like +
                                                  " places the --vector lines on the map; give --vector FILE too");
    }
    if (ShorelineVectorDriver(options.vector).empty())
        return JobFailure(JobStatus::refused, "--vector: " + options.vector +
                                                  ": the format is told by the extension; name it " +
                                                  kShorelineVectorExtensions);
    if (!HeightImageHasGdal())
        return JobFailure(JobStatus::failed,
                          "--vector: " + options.vector + ": vector output goes through GDAL/OGR: " + GdalMissing());
    return {};
}

// The command's job: its output names and the vector output's placement are checked once the
// files are, and the preview is the banks preview's picture.
BanksJob BanksCommandJob(const BanksOptions& options, const JobPaths& paths, ShorelinePlacement& placement)
{
    BanksJob job(options.wtr, options.settings, options.output, options.preview);
    job.prepare = [&options, &paths, &placement](BanksSettings& settings)
    {
        for (const auto& [path, format, extension] : {std::tuple{&options.output, "a shoreline file", ".sl"},
                                                      {&options.preview, "a PNG picture", ".png"}})
            if (Status named = OutputNameProblem(*path, format, {extension}); !named)
                return JobFailure(JobStatus::refused, std::move(named.message));
        if (JobResult vector = CheckVectorOutput(options); !vector.ok())
            return vector;
        if (!options.like.empty())
        {
            std::vector<std::string> warnings;
            Status placed = PlaceMaskOnMap(options.wtr, options.like, settings.resolutionScale,
                                           options.cellSizeGiven ? double(settings.waterPixelSize) : 0.0,
                                           double(settings.waterPixelSize), placement, warnings);
            for (const std::string& warning : warnings)
                PrintWarning(warning);
            if (!placed)
                return JobFailure(JobStatus::failed, std::move(placed.message));
            // The lines' metres are the map's: its cells, not the page's fixed size.
            if (placement.blockSize > 0)
            {
                settings.waterPixelSize = static_cast<float>(placement.cellSize);
                placement.cellSize = double(settings.waterPixelSize);
            }
        }
        SummariesAwayFromOutput(paths);
        return JobResult{};
    };
    job.writePreview = WriteBanksPreview;
    return job;
}

int RunBanksCommand(const BanksOptions& options, const JobPaths& paths, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    BanksMessages messages;
    BanksResult generated;
    ShorelinePlacement placement;
    const JobResult job = RunBanksJob(BanksCommandJob(options, paths, placement), messages, &generated);
    for (const std::string& warning : job.warnings)
        PrintWarning(warning);
    if (!job.ok())
        return ExitCodeOf(job);
    const BanksResult& result = generated;
    const double writeSeconds = job.seconds("write");
    if (!options.vector.empty())
        if (const Status written =
                WriteShorelineVector(options.vector, result.lines, options.like.empty() ? nullptr : &placement);
            !written)
        {
            PrintError(written.message);
            return kExitJobFailed;
        }

    if (options.json)
    {
        const BanksTimings& t = result.timings;
        JsonWriter json;
        json.beginObject().value("command", "banks").beginArray("files");
        json.beginObject()
            .value("role", "input")
            .value("path", options.wtr)
            .value("bytes", FileSize(options.wtr))
            .endObject();
        json.beginObject().value("role", "shorelines").value("path", options.output);
        json.value("bytes", FileSize(options.output)).endObject();
        if (!options.preview.empty())
            json.beginObject()
                .value("role", "preview")
                .value("path", options.preview)
                .value("bytes", FileSize(options.preview))
                .endObject();
        if (!options.vector.empty())
            json.beginObject()
                .value("role", "vector")
                .value("path", options.vector)
                .value("bytes", FileSize(options.vector))
                .endObject();
        json.endArray().value("lines", result.lines.size()).value("points", CountShorePoints(result.lines));
        if (!options.like.empty())
            json.value("waterPixelSize", placement.cellSize);
        json.beginObject("seconds").value("loadAndDraw", t.loadAndDraw).value("filter", t.filter);
        json.value("trace", t.trace).value("refine", t.refine).value("write", writeSeconds);
        json.value("total", SecondsSince(start)).endObject().endObject().print();
    }
    else if (!context.quiet)
    {
        std::printf("wrote %s: %zu lines, %zu points\n", options.output.c_str(), result.lines.size(),
                    CountShorePoints(result.lines));
        if (!options.preview.empty())
        {
            const int factor = PreviewPngFactor(result.filtered.width, result.filtered.height);
            std::printf("wrote %s: %d x %d\n", options.preview.c_str(), result.filtered.width * factor,
                        result.filtered.height * factor);
        }
        if (!options.vector.empty())
            std::printf("wrote %s: %zu features, %s\n", options.vector.c_str(), result.lines.size(),
                        options.like.empty() ? "in the .sl metres, no coordinate system"
                                             : ("placed on the map of " + options.like).c_str());
        if (!placement.cellSizeSource.empty())
            std::printf("water cells of %g m: %s\n", placement.cellSize, placement.cellSizeSource.c_str());
        const BanksTimings& t = result.timings;
        std::printf("banks: load+draw %.2f s, filter %.2f s, trace %.2f s, refine %.2f s, write %.2f s, total %.2f s\n",
                    t.loadAndDraw, t.filter, t.trace, t.refine, writeSeconds, SecondsSince(start));
    }
    return kExitOk;
}

} // namespace

void RegisterBanksCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<BanksOptions>();
    CLI::App* command = app.add_subcommand("banks", "Turn a compressed water mask (.wtr) into shorelines (.sl)");
    command->add_option("WTR", options->wtr, "compressed water mask")->required();
    command->add_option("-o,--output", options->output, "shoreline file to write (.sl)")->required();
    auto fields = std::make_shared<FieldOptions<BanksSettings, std::size(kBanksFields)>>(command, kBanksFields);
    command->add_option("--preview", options->preview,
                        "also write a PNG of the filtered water image with the shorelines");
    command->add_option("--vector", options->vector,
                        "also write the lines as GIS features (fields index, points): .gpkg, .geojson/.json or .shp");
    command->add_option("--like", options->like,
                        "place the --vector lines on this map: its height file (.dat, through <base>.dat.json), "
                        "the RAW's ENVI header or any raster of it (default: the .sl metres, no coordinate system)");
    command->add_flag("--json", options->json,
                      "print a JSON summary (files, sizes, line and point counts, times) instead of the text");
    command->callback(
        [options, fields, &context]
        {
            if (!fields->apply(options->settings, context))
                return;
            options->cellSizeGiven = fields->given("water-pixel-size");
            JobPaths paths{{options->wtr}, {options->output}, true, options->json};
            for (const std::string* output : {&options->preview, &options->vector})
                if (!output->empty())
                    paths.outputs.push_back(*output);
            if (!options->like.empty())
                paths.inputs.push_back(options->like);
            if ((context.exitCode = CheckCommandPaths(paths)) == kExitOk)
                context.exitCode = RunBanksCommand(*options, paths, context);
        });
}
