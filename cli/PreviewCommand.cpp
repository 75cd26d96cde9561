// preview: a height file as a shaded relief, or a water file as a depth colouring, in a PNG.
#include "cli/CliSupport.h"
#include "tools/NodataFill.h"
#include "tools/PreviewJob.h"

#include <cstdio>
#include <memory>
#include <string>

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
    auto job = std::make_shared<PreviewJob>(DescribedPreviewJob());
    CLI::App* command = app.add_subcommand(
        "preview", "Render a height file as a shaded relief, or a water file as a depth colouring (PNG or GeoTIFF)");
    auto described = std::make_shared<CommandOptions<PreviewJob>>(command, PreviewDescription());
    command->callback(
        [job, described, &context]
        {
            if (!described->apply(*job, context))
                return;
            JobPaths paths{{job->dat}, {job->output}};
            for (const std::string* input : {&job->terrain, &job->like})
                if (!input->empty())
                    paths.inputs.push_back(*input);
            if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
                return;
            SummariesAwayFromOutput(paths);
            context.exitCode = RunPreviewCommand(*job, context);
        });
}
