// process: a RAW 16-bit height map becomes "<base>.dat" (and "<base>_w.dat" with --water), with
// the process page's settings as options.
#include "base/AtomicFile.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "heightproc/Process.h"
#include "tools/NodataFill.h"
#include "tools/ProcessRequest.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace
{

struct ProcessOptions
{
    ProcessRequest request;
    bool json = false;
    BankSmoothingCount smoothing;
};

std::string Metres(double metres)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f m", metres);
    return text;
}

// The water stage in the map's units: the sea height, and what the bank smoothing moved.
std::string DescribeWater(const ProcessOptions& options)
{
    const ProcessSettings& s = options.request.header.used;
    const std::optional<HeightMapping>& mapping = options.request.header.mapping;
    const int sea = SeaHeight(s);
    std::string text = sea < 0 ? "no sea" : "sea height " + std::to_string(sea) + " samples";
    if (sea >= 0 && mapping)
        text += " (" + Metres(mapping->metres(sea)) + ")";
    if (s.blurHeight == 0)
        return text + "; no bank smoothing";
    const BankSmoothingCount& moved = options.smoothing;
    const auto amount = [&](int samples)
    { return mapping ? Metres(mapping->gain * samples) : std::to_string(samples) + " samples"; };
    text += "; the bank smoothing moved " + std::to_string(moved.moved) + " of " +
            std::to_string(std::int64_t(s.rawWidth) * s.rawHeight) + " samples";
    if (moved.moved > 0)
        text += ", raising them by up to " + amount(moved.largestRise) + " and lowering them by up to " +
                amount(moved.largestFall);
    return text;
}

void PrintWritten(const std::string& path, const ProcessSettings& settings, double seconds)
{
    const unsigned long long size = FileSize(path);
    const double samples = double(settings.rawWidth) * double(settings.rawHeight);
    std::printf("wrote %s: %d x %d, %s, ratio %.2f:1, %.2f bits/sample, %.2f s\n", path.c_str(), settings.rawWidth,
                settings.rawHeight, FormatBytes(size).c_str(), size > 0 ? samples * 2.0 / double(size) : 0.0,
                samples > 0 ? double(size) * 8.0 / samples : 0.0, seconds);
}

// One output file of the summary: its size and how far it compressed the map.
void AddJsonOutput(JsonWriter& json, const char* role, const std::string& path, const ProcessSettings& settings)
{
    const unsigned long long size = FileSize(path);
    const double samples = double(settings.rawWidth) * double(settings.rawHeight);
    json.beginObject()
        .value("role", role)
        .value("path", path)
        .value("bytes", size)
        .value("ratio", size > 0 ? samples * 2.0 / double(size) : 0.0)
        .value("bitsPerSample", samples > 0 ? double(size) * 8.0 / samples : 0.0)
        .endObject();
}

void PrintJson(const ProcessOptions& options, const JobResult& result, double totalSeconds)
{
    const RawMapHeader& header = options.request.header;
    JsonWriter json;
    json.beginObject().value("command", "process").value("width", header.used.rawWidth);
    json.value("height", header.used.rawHeight);
    json.value("sizeFrom", header.sizeSource.empty() ? std::string("--width/--height") : header.sizeSource);
    json.beginArray("files");
    const std::string& raw = options.request.raw;
    json.beginObject().value("role", "input").value("path", raw).value("bytes", FileSize(raw)).endObject();
    for (const JobOutput& output : result.outputs)
        AddJsonOutput(json, output.role.c_str(), output.path, header.used);
    if (!header.sidecar.empty())
    {
        json.beginObject()
            .value("role", "georeference")
            .value("path", header.sidecar)
            .value("from", header.geo.header);
        AddNodataJson(json, header.geo.nodata);
        json.endObject();
    }
    json.endArray();
    const std::optional<HeightMapping>& mapping = header.mapping;
    if (mapping)
        json.beginObject("heights")
            .value("gain", mapping->gain)
            .value("offset", mapping->offset)
            .value("heightScale", mapping->heightScale())
            .value("from", mapping->source)
            .endObject();
    if (!result.output("water").empty())
    {
        const ProcessSettings& s = header.used;
        const BankSmoothingCount& moved = options.smoothing;
        const int sea = SeaHeight(s);
        json.beginObject("water").value("seaHeight", std::max(sea, -1));
        if (sea >= 0 && mapping)
            json.value("seaHeightMetres", mapping->metres(sea));
        json.beginObject("bankSmoothing").value("on", s.blurHeight != 0).value("moved", moved.moved);
        json.value("largestRise", moved.largestRise).value("largestFall", moved.largestFall);
        if (mapping)
            json.value("largestRiseMetres", mapping->gain * moved.largestRise)
                .value("largestFallMetres", mapping->gain * moved.largestFall);
        json.endObject().endObject();
    }
    json.beginObject("seconds");
    for (const JobTiming& timing : result.timings)
        json.value(timing.step.c_str(), timing.seconds);
    json.value("total", totalSeconds).endObject();
    json.beginArray("warnings");
    for (const std::string& warning : result.warnings)
        json.value("", warning);
    json.endArray().endObject().print();
}

int RunProcessCommand(ProcessOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    RawMapHeader& header = options.request.header;
    ProcessRun run;
    run.smoothing = &options.smoothing;
    run.announce = [&]
    {
        if (!header.sizeSource.empty() && !context.quiet && !options.json)
            std::printf("size: %d x %d, from %s\n", header.used.rawWidth, header.used.rawHeight,
                        header.sizeSource.c_str());
        for (const std::string& warning : header.early)
            PrintWarning(warning);
    };
    StderrMessages messages;
    JobResult result;
    {
        TerminalProgress progress("process", context.quiet);
        progress.setWork(double(FileSize(options.request.raw)), "B");
        result = RunProcessRequest(options.request, progress, messages, run);
    }
    // Stopped before the map was read, or the read failed: the message has been shown.
    if (result.timings.empty())
        return ExitCodeOf(result);
    const ProcessSettings& s = header.used;
    const std::string height = result.output("height");
    for (const std::string& warning : result.warnings)
        PrintWarning(warning);
    if (options.json && !height.empty())
        PrintJson(options, result, SecondsSince(start));
    else if (!context.quiet)
    {
        if (const std::string water = result.output("water"); !water.empty())
            PrintWritten(water, s, result.seconds("writeWater"));
        if (!height.empty())
            PrintWritten(height, s, result.seconds("writeHeight"));
        if (!result.output("water").empty())
            std::printf("water: %s\n", DescribeWater(options).c_str());
        if (!header.sidecar.empty())
        {
            std::printf("wrote %s: georeference from %s, pixel size %g m\n", header.sidecar.c_str(),
                        header.geo.header.c_str(), double(s.pixelSize));
            if (const MapNodata& nodata = header.geo.nodata; !nodata.mask.empty())
                std::printf("nodata: %s; the mask %s travels with it\n",
                            DescribeNodata(nodata.kinds, nodata.filled).c_str(), nodata.mask.c_str());
        }
        std::printf("process: read %.2f s, lever %.2f s, water %.2f s, write %.2f s, total %.2f s\n",
                    result.seconds("read"), result.seconds("lever"), result.seconds("water"),
                    result.seconds("writeWater") + result.seconds("writeHeight"), SecondsSince(start));
    }
    // The desktop application counts a run whose height file could not be created as a success;
    // a script needs to know that nothing usable was produced.
    return ExitCodeOf(result);
}

} // namespace

void RegisterProcessCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<ProcessOptions>();
    CLI::App* command = app.add_subcommand("process", "Turn a RAW 16-bit height map into <base>.dat (and <base>_w.dat)");
    auto described = std::make_shared<CommandOptions<ProcessRequest>>(command, ProcessDescription());
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, ratios, times) instead of the text");
    command->callback([options, described, &context] {
        ProcessRequest& request = options->request;
        if (!described->apply(request, context))
            return;
        const std::string base = request.output.empty() ? BaseName(request.raw) : request.output;
        JobPaths paths{{request.raw}, {base + ".dat"}, false, options->json};
        // The files are "<base>.dat": a stream name as BASE cannot take them.
        if (request.output == "-" || AtomicFile::StreamDescriptor(request.output) >= 0)
            paths.outputs.push_back(request.output);
        if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
            return;
        context.exitCode = RunProcessCommand(*options, context);
    });
}
