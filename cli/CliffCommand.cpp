// cliff: a height file becomes an 8-bit grey cliff mask bitmap, with the cliff export page's
// settings as options, or a GeoTIFF of the same mask on the map's georeference.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "tools/CliffRequest.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace
{

struct CliffOptions
{
    CliffRequest request;
    bool json = false;
};

int RunCliffCommand(CliffOptions& options, const JobPaths& paths, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    const CliffRequest& request = options.request;
    CliffAnswer answer;
    JobResult result;
    {
        TerminalProgress progress("cliff", context.quiet);
        progress.setWork(double(FileSize(request.dat)), "B");
        StderrMessages messages;
        result = RunCliffRequest(options.request, progress, messages, PrintWarning, answer,
                                 [&paths] { SummariesAwayFromOutput(paths); });
    }
    if (!result.ok())
        return ExitCodeOf(result);
    const HeightScaleChoice& scale = answer.scale;
    if (options.json)
    {
        JsonWriter json;
        json.beginObject().value("command", "cliff").beginArray("files");
        json.beginObject()
            .value("role", "input")
            .value("path", request.dat)
            .value("bytes", FileSize(request.dat))
            .endObject();
        json.beginObject()
            .value("role", "mask")
            .value("path", request.output)
            .value("bytes", FileSize(request.output))
            .endObject();
        json.endArray().value("heightScale", double(request.settings.heightScale));
        if (scale.automatic)
            json.value("heightScaleFrom", scale.mapping->source).value("metresPerSample", scale.mapping->gain);
        json.beginObject("seconds").value("total", SecondsSince(start)).endObject().endObject().print();
    }
    else if (!context.quiet)
    {
        std::printf("wrote %s: %s, %.2f s\n", request.output.c_str(), FormatBytes(FileSize(request.output)).c_str(),
                    SecondsSince(start));
        std::printf("height scale %s\n", DescribeHeightScale(scale).c_str());
        if (!answer.geoSource.empty())
            std::printf("georeference from %s\n", answer.geoSource.c_str());
    }
    return kExitOk;
}

} // namespace

void RegisterCliffCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<CliffOptions>();
    CLI::App* command = app.add_subcommand(
        "cliff", "Turn a height file (.dat) into an 8-bit grey cliff mask BMP (or GeoTIFF on the map)");
    auto described = std::make_shared<CommandOptions<CliffRequest>>(command, CliffDescription());
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, time) instead of the text");
    command->callback(
        [options, described, &context]
        {
            const CliffRequest& request = options->request;
            if (!described->apply(options->request, context))
                return;
            JobPaths paths{{request.dat}, {request.output}, true, options->json};
            if (!request.like.empty())
                paths.inputs.push_back(request.like);
            if ((context.exitCode = CheckCommandPaths(paths)) == kExitOk)
                context.exitCode = RunCliffCommand(*options, paths, context);
        });
}
