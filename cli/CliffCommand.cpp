// cliff: a height file becomes an 8-bit grey cliff mask bitmap, with the cliff export page's
// settings as options.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "cliff/CliffJob.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

struct CliffOptions
{
    std::string dat;
    std::string bmp;
    CliffSettings settings;
    bool json = false;
};

int RunCliffCommand(const CliffOptions& options, const JobPaths& paths, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    CliffJob job(options.dat, options.settings, options.bmp);
    job.prepare = [&]
    {
        if (std::string problem = OutputNameProblem(options.bmp, "an 8-bit BMP", {".bmp"}); !problem.empty())
            return JobFailure(JobStatus::refused, problem);
        SummariesAwayFromOutput(paths);
        return JobResult{};
    };
    JobResult result;
    {
        TerminalProgress progress("cliff", context.quiet);
        progress.setWork(double(FileSize(options.dat)), "B");
        StderrMessages messages;
        result = RunCliffJob(job, progress, messages);
    }
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
        json.endArray().beginObject("seconds").value("total", SecondsSince(start)).endObject().endObject().print();
    }
    else if (!context.quiet)
        std::printf("wrote %s: %s, %.2f s\n", options.bmp.c_str(), FormatBytes(FileSize(options.bmp)).c_str(),
                    SecondsSince(start));
    return kExitOk;
}

} // namespace

void RegisterCliffCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<CliffOptions>();
    CLI::App* command = app.add_subcommand("cliff", "Turn a height file (.dat) into an 8-bit grey cliff mask BMP");
    command->add_option("DAT", options->dat, "height file written by process")->required();
    command->add_option("-o,--output", options->bmp, "8-bit grey BMP to write")->required();
    auto fields = std::make_shared<FieldOptions<CliffSettings, std::size(kCliffFields)>>(command, kCliffFields);
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, time) instead of the text");
    command->callback(
        [options, fields, &context]
        {
            if (!fields->apply(options->settings, context))
                return;
            const JobPaths paths{{options->dat}, {options->bmp}, true, options->json};
            if ((context.exitCode = CheckCommandPaths(paths)) == kExitOk)
                context.exitCode = RunCliffCommand(*options, paths, context);
        });
}
