// banks: a compressed water mask (".wtr") becomes a shoreline file (".sl"), with the water banks
// page's settings and the main dialog's resolution scale as options, and optionally a PNG of the
// filtered water image with the shorelines drawn as the preview draws them, and the lines as GIS
// vector data, placed on the map when its georeference is given.
#include "banks/ShorelineFile.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "tools/BanksRequest.h"
#include "tools/PreviewRender.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

struct BanksOptions
{
    BanksRequest request;
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

int RunBanksCommand(const BanksOptions& command, const JobPaths& paths, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    const BanksRequest& options = command.request;
    BanksMessages messages;
    BanksAnswer answer;
    const JobResult job =
        RunBanksRequest(options, messages, PrintWarning, answer, [&paths] { SummariesAwayFromOutput(paths); });
    for (const std::string& warning : job.warnings)
        PrintWarning(warning);
    if (answer.vectorFailed)
        PrintError(job.message);
    if (!job.ok())
        return ExitCodeOf(job);
    const BanksResult& result = answer.generated;
    const ShorelinePlacement& placement = answer.placement;
    const double writeSeconds = job.seconds("write");

    if (command.json)
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
    auto described = std::make_shared<CommandOptions<BanksRequest>>(command, BanksDescription());
    command->add_flag("--json", options->json,
                      "print a JSON summary (files, sizes, line and point counts, times) instead of the text");
    command->callback(
        [options, described, &context]
        {
            const BanksRequest& request = options->request;
            if (!described->apply(options->request, context))
                return;
            JobPaths paths{{request.wtr}, {request.output}, true, options->json};
            for (const std::string* output : {&request.preview, &request.vector})
                if (!output->empty())
                    paths.outputs.push_back(*output);
            if (!request.like.empty())
                paths.inputs.push_back(request.like);
            if ((context.exitCode = CheckCommandPaths(paths)) == kExitOk)
                context.exitCode = RunBanksCommand(*options, paths, context);
        });
}
