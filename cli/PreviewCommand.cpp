// preview: a height file as a shaded relief, or a water file as a depth colouring, in a PNG.
#include "cli/CliSupport.h"
#include "tools/NodataFill.h"
#include "tools/PreviewJob.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace
{

int RunPreviewCommand(const PreviewJob& job, const CliContext& context)
{
    StderrMessages messages;
    PreviewSummary summary;
    JobResult result;
    {
        TerminalProgress progress("preview", context.quiet);
        progress.setWork(double(FileSize(job.dat)), "B");
        result = RunPreviewJob(job, progress, messages, &summary);
    }
    for (const std::string& warning : result.warnings)
        PrintWarning(warning);
    if (result.ok() && !context.quiet)
    {
        std::printf("wrote %s: %d x %d, %s, %s, %.2f s\n", job.output.c_str(), summary.width, summary.rows,
                    summary.what.c_str(), FormatBytes(FileSize(job.output)).c_str(), result.seconds("total"));
        if (!summary.geoSource.empty())
            std::printf("georeference from %s\n", summary.geoSource.c_str());
        std::printf("height scale %s\n", DescribeHeightScale(summary.heightScale).c_str());
        if (summary.legend)
            std::printf("legend: %s %.1f m .. %.1f m%s\n",
                        summary.legendMetres.depths ? "depths" : "surface heights", summary.legendMetres.first,
                        summary.legendMetres.last, summary.heightScale.mapping ? "" : " (samples read at the height scale)");
        if (const MapNodata& nodata = summary.nodata; !nodata.mask.empty())
            std::printf("nodata in the source: %lld cells, %s (mask %s)\n", nodata.kinds.cells(),
                        DescribeNodata(nodata.kinds, nodata.filled).c_str(), nodata.mask.c_str());
    }
    return ExitCodeOf(result);
}

} // namespace

void RegisterPreviewCommand(CLI::App& app, CliContext& context)
{
    auto job = std::make_shared<PreviewJob>();
    CLI::App* command = app.add_subcommand(
        "preview", "Render a height file as a shaded relief, or a water file as a depth colouring (PNG or GeoTIFF)");
    command->add_option("DAT", job->dat, "height file (.dat) or water file (_w.dat)")->required();
    command->add_option("-o,--output", job->output, "PNG picture, or .tif/.tiff for an RGB GeoTIFF, to write")
        ->required();
    command->add_option("--mode", job->mode, "relief, water, or auto (water for names ending in _w.dat)")
        ->check(CLI::IsMember({"relief", "water", "auto"}))
        ->capture_default_str();
    command->add_option("--terrain", job->terrain,
                        "height file under the water, for depths (default: <base>.dat beside <base>_w.dat)");
    command->add_option("--like", job->like,
                        "for a GeoTIFF: a raster or ENVI header of the same map whose georeference it gets (default: the "
                        "sidecar <base>.dat.json, else <base>.raw.hdr, when there is one)");
    auto fields = std::make_shared<FieldOptions<ReliefSettings, std::size(kReliefFields)>>(command, kReliefFields);
    fields->option("height-scale")
        ->description("a sample is this many metres / 257 as for cliff, or auto: the map's own, its height gain x "
                      "257 from the sidecar <base>.dat.json, the default when that has heights, else 10 (" +
                      RangeText(kReliefFields[0]) + ")")
        ->default_str("auto")
        ->type_name("NUMBER|auto");
    command->callback(
        [job, fields, &context]
        {
            const bool automatic = fields->claim("height-scale", [](std::string_view text) { return text == "auto"; })
                                       .has_value();
            if (!fields->apply(job->settings, context))
                return;
            job->heightScale = automatic                      ? HeightScaleAsk::automatic
                               : fields->given("height-scale") ? HeightScaleAsk::given
                                                               : HeightScaleAsk::byDefault;
            JobPaths paths{{job->dat}, {job->output}};
            for (const std::string* input : {&job->terrain, &job->like})
                if (!input->empty())
                    paths.inputs.push_back(*input);
            if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
                return;
            job->prepare = [output = job->output, like = job->like]
            {
                if (Status named = OutputNameProblem(output, "a PNG picture or a GeoTIFF", {".png", ".tif", ".tiff"});
                    !named)
                    return JobFailure(JobStatus::refused, std::move(named.message));
                return GeoTiffOutputProblem(output, like, ".png");
            };
            SummariesAwayFromOutput(paths);
            context.exitCode = RunPreviewCommand(*job, context);
        });
}
