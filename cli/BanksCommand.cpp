// banks: a compressed water mask (".wtr") becomes a shoreline file (".sl"), with the water banks
// page's settings and the main dialog's resolution scale as options, and optionally a PNG of the
// filtered water image with the shorelines drawn as the preview draws them.
#include "banks/BanksJob.h"
#include "tools/PreviewRender.h"
#include "banks/ShorelineFile.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"

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
    BanksSettings settings;
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

// The command's job: its output names are checked once the files are, and the preview is the
// banks preview's picture.
BanksJob BanksCommandJob(const BanksOptions& options, const JobPaths& paths)
{
    BanksJob job(options.wtr, options.settings, options.output, options.preview);
    job.prepare = [&options, &paths]
    {
        for (const auto& [path, format, extension] : {std::tuple{&options.output, "a shoreline file", ".sl"},
                                                      {&options.preview, "a PNG picture", ".png"}})
            if (std::string problem = OutputNameProblem(*path, format, {extension}); !problem.empty())
                return JobFailure(JobStatus::refused, problem);
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
    const JobResult job = RunBanksJob(BanksCommandJob(options, paths), messages, &generated);
    for (const std::string& warning : job.warnings)
        PrintWarning(warning);
    if (!job.ok())
        return ExitCodeOf(job);
    const BanksResult& result = generated;
    const double writeSeconds = job.seconds("write");

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
        json.endArray().value("lines", result.lines.size()).value("points", CountShorePoints(result.lines));
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
    command->add_flag("--json", options->json,
                      "print a JSON summary (files, sizes, line and point counts, times) instead of the text");
    command->callback(
        [options, fields, &context]
        {
            if (!fields->apply(options->settings, context))
                return;
            JobPaths paths{{options->wtr}, {options->output}, true, options->json};
            if (!options->preview.empty())
                paths.outputs.push_back(options->preview);
            if ((context.exitCode = CheckCommandPaths(paths)) == kExitOk)
                context.exitCode = RunBanksCommand(*options, paths, context);
        });
}
