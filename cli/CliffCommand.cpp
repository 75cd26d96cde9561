// cliff: a height file becomes an 8-bit grey cliff mask bitmap, with the cliff export page's
// settings as options, or a GeoTIFF of the same mask on the map's georeference.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "cliff/CliffJob.h"
#include "tools/MapGeoTiff.h"
#include "tools/MapUnits.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace
{

struct CliffOptions
{
    std::string dat;
    std::string bmp;
    std::string like; // GeoTIFF: a raster or ENVI header of the same map
    CliffSettings settings;
    HeightScaleAsk heightScale = HeightScaleAsk::byDefault;
    bool json = false;
};

bool IsAuto(std::string_view text)
{
    return text == "auto";
}

int RunCliffCommand(CliffOptions& options, const JobPaths& paths, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    const JobField<CliffSettings>& field = CliffField("heightScale");
    const HeightScaleChoice scale =
        ChooseHeightScale(options.dat, options.heightScale, double(options.settings.heightScale),
                          CliffField("heightScale").defaultValue(), field.range.min, field.range.max);
    for (const std::string& warning : scale.warnings)
        PrintWarning(warning);
    if (!scale.problem.empty())
    {
        PrintError(scale.problem);
        return kExitBadArguments;
    }
    options.settings.heightScale = static_cast<float>(scale.scale);
    const bool geoTiff = HeightImageFormatOf(options.bmp) == HeightImageFormat::GeoTiff;
    MapRasterWrite write{options.dat, options.bmp, options.like};
    CliffJob job(options.dat, options.settings, options.bmp);
    job.prepare = [&]
    {
        if (Status named = OutputNameProblem(options.bmp, "an 8-bit BMP or a GeoTIFF", {".bmp", ".tif", ".tiff"});
            !named)
            return JobFailure(JobStatus::refused, std::move(named.message));
        SummariesAwayFromOutput(paths);
        return JobResult{};
    };
    JobResult result;
    {
        TerminalProgress progress("cliff", context.quiet);
        progress.setWork(double(FileSize(options.dat)), "B");
        StderrMessages messages;
        if (!geoTiff)
            result = RunCliffJob(job, progress, messages);
        // The GeoTIFF is the command line's own output; the files were checked in full before.
        else if (Status written = WriteCliffGeoTiff(write, options.settings, progress); !written)
            result = JobFailure(JobStatus::failed, std::move(written.message));
    }
    for (const std::string& warning : write.warnings)
        PrintWarning(warning);
    if (geoTiff && !result.ok())
        PrintError(result.message);
    if (!result.ok())
        return ExitCodeOf(result);
    if (options.json)
    {
        JsonWriter json;
        json.beginObject().value("command", "cliff").beginArray("files");
        json.beginObject()
            .value("role", "input")
            .value("path", options.dat)
            .value("bytes", FileSize(options.dat))
            .endObject();
        json.beginObject()
            .value("role", "mask")
            .value("path", options.bmp)
            .value("bytes", FileSize(options.bmp))
            .endObject();
        json.endArray().value("heightScale", double(options.settings.heightScale));
        if (scale.automatic)
            json.value("heightScaleFrom", scale.mapping->source).value("metresPerSample", scale.mapping->gain);
        json.beginObject("seconds").value("total", SecondsSince(start)).endObject().endObject().print();
    }
    else if (!context.quiet)
    {
        std::printf("wrote %s: %s, %.2f s\n", options.bmp.c_str(), FormatBytes(FileSize(options.bmp)).c_str(),
                    SecondsSince(start));
        std::printf("height scale %s\n", DescribeHeightScale(scale).c_str());
        if (!write.geoSource.empty())
            std::printf("georeference from %s\n", write.geoSource.c_str());
    }
    return kExitOk;
}

} // namespace

void RegisterCliffCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<CliffOptions>();
    CLI::App* command = app.add_subcommand(
        "cliff", "Turn a height file (.dat) into an 8-bit grey cliff mask BMP (or GeoTIFF on the map)");
    command->add_option("DAT", options->dat, "height file written by process")->required();
    command->add_option("-o,--output", options->bmp, "8-bit grey BMP, or .tif/.tiff for a GeoTIFF, to write")
        ->required();
    command->add_option("--like", options->like,
                        "for a GeoTIFF: a raster or ENVI header of the same map whose georeference it gets (default: the "
                        "sidecar <base>.dat.json, else <base>.raw.hdr, when there is one)");
    auto fields = std::make_shared<FieldOptions<CliffSettings, std::size(kCliffFields)>>(command, kCliffFields);
    fields->option("height-scale")
        ->description("a sample is this many metres / 257, or auto: the map's own, its height gain x 257 from the "
                      "sidecar <base>.dat.json, the default when that has heights, else 10 (" +
                      RangeText(CliffField("heightScale")) + ")")
        ->default_str("auto")
        ->type_name("NUMBER|auto");
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, time) instead of the text");
    command->callback(
        [options, fields, &context]
        {
            const bool automatic = fields->claim("height-scale", IsAuto).has_value();
            if (!fields->apply(options->settings, context))
                return;
            options->heightScale = automatic                      ? HeightScaleAsk::automatic
                                   : fields->given("height-scale") ? HeightScaleAsk::given
                                                                   : HeightScaleAsk::byDefault;
            JobPaths paths{{options->dat}, {options->bmp}, true, options->json};
            if (!options->like.empty())
                paths.inputs.push_back(options->like);
            // A BMP goes through the job's entry, which checks the files itself.
            const bool geoTiff = HeightImageFormatOf(options->bmp) == HeightImageFormat::GeoTiff;
            if ((context.exitCode = geoTiff ? CheckJobPaths(paths) : CheckCommandPaths(paths)) == kExitOk &&
                (context.exitCode = CheckGeoTiffOutput(options->bmp, options->like, ".bmp")) == kExitOk)
                context.exitCode = RunCliffCommand(*options, paths, context);
        });
}
