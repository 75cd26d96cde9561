// process: a RAW 16-bit height map becomes "<base>.dat" (and "<base>_w.dat" with --water), with
// the process page's settings as options.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "base/AtomicFile.h"
#include "cli/RawGeoReference.h"
#include "cli/RawMapSize.h"
#include "tools/MapSidecar.h"
#include "heightproc/Process.h"
#include "heightproc/ProcessJob.h"

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace
{

struct ProcessOptions
{
    std::string raw;
    std::string output; // "<base>" of the files written; empty: the RAW path's base name
    ProcessSettings settings;
    bool json = false;
    bool keepGoing = false;
    std::string byteOrder;  // "little" or "big"; empty: the ENVI header's, else little
    std::string sizeSource; // where the size came from when --width/--height were not given
    bool blurHeight = false;
    bool noBlurHeight = false;
    RawGeoReference geo; // from the import's header beside the RAW
    bool sidecarWritten = false;
    bool sized = false;          // --width or --height given
    bool pixelSizeGiven = false; // --pixel-size given
};

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
    JsonWriter json;
    json.beginObject().value("command", "process").value("width", options.settings.rawWidth);
    json.value("height", options.settings.rawHeight);
    json.value("sizeFrom", options.sizeSource.empty() ? std::string("--width/--height") : options.sizeSource);
    json.beginArray("files");
    json.beginObject().value("role", "input").value("path", options.raw).value("bytes", FileSize(options.raw)).endObject();
    for (const JobOutput& output : result.outputs)
        AddJsonOutput(json, output.role.c_str(), output.path, options.settings);
    if (options.sidecarWritten)
        json.beginObject()
            .value("role", "georeference")
            .value("path", MapSidecarPath(result.output("height")))
            .value("from", options.geo.header)
            .endObject();
    json.endArray().beginObject("seconds");
    for (const JobTiming& timing : result.timings)
        json.value(timing.step.c_str(), timing.seconds);
    json.value("total", totalSeconds).endObject();
    json.beginArray("warnings");
    for (const std::string& warning : result.warnings)
        json.value("", warning);
    json.endArray().endObject().print();
}

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

// The desktop's message for a RAW of the wrong size, completed with the numbers.
class ProcessMessages final : public IMessageSink
{
public:
    ProcessMessages(const std::string& raw, const ProcessSettings& settings) : m_raw(raw), m_settings(settings) {}
    void show(const std::string& text, const std::string& caption) override
    {
        if (text.rfind("Incorrect file size", 0) != 0)
            return StderrMessages().show(text, caption);
        const unsigned long long bytes = FileSize(m_raw);
        const unsigned long long expected = 2ull * unsigned(m_settings.rawWidth) * unsigned(m_settings.rawHeight);
        const unsigned long long side = SquareSideWithin(bytes);
        PrintError(m_raw + ": " + text + " (the file has " + std::to_string(bytes) + " bytes, " +
                   std::to_string(m_settings.rawWidth) + " x " + std::to_string(m_settings.rawHeight) + " takes " +
                   std::to_string(expected) + "; the largest square map it holds is " + std::to_string(side) + " x " +
                   std::to_string(side) + ", " + std::to_string(2 * side * side) + " bytes)");
    }

private:
    std::string m_raw;
    const ProcessSettings& m_settings;
};

// Reads up to 256 rows of the map and warns when they look byte-swapped (see LooksByteSwapped).
void WarnIfByteSwapped(const std::string& raw, const ProcessSettings& settings)
{
    const long long count = std::min<long long>(256, settings.rawHeight) * settings.rawWidth;
    std::vector<unsigned short> samples(static_cast<std::size_t>(count));
    std::FILE* file = std::fopen(raw.c_str(), "rb");
    if (file == nullptr)
        return;
    const std::size_t got = std::fread(samples.data(), 2, samples.size(), file);
    std::fclose(file);
    for (unsigned short& v : samples)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v);
        v = settings.bigEndianRaw ? static_cast<unsigned short>(bytes[0] << 8 | bytes[1])
                                  : static_cast<unsigned short>(bytes[1] << 8 | bytes[0]);
    }
    if (got == samples.size() && LooksByteSwapped(samples.data(), count, settings.rawWidth))
        PrintWarning(raw + ": the samples look byte-swapped (neighbouring samples differ ten times less with their "
                     "bytes exchanged); if the result is noise, try --byte-order " +
                     std::string(settings.bigEndianRaw ? "little" : "big"));
}

// Without --width/--height the size comes from an ENVI header beside the RAW or a square file
// size; --byte-order overrides the header's; the header's georeference is applied.
JobResult FindSize(ProcessOptions& options, ProcessSettings& settings)
{
    struct stat info{};
    if (!options.sized && ::stat(options.raw.c_str(), &info) == 0)
    {
        const RawMapSize size = FindRawMapSize(options.raw, FileSize(options.raw));
        if (!size.problem.empty())
            return JobFailure(JobStatus::failed, size.problem);
        for (const auto& [field, value] :
             {std::pair{&ProcessField("rawWidth"), size.width}, {&ProcessField("rawHeight"), size.height}})
            if (const std::string problem = SetField(*field, settings, std::to_string(value)); !problem.empty())
                return JobFailure(JobStatus::failed, options.raw + ": the size from " + size.source + ": " + problem);
        settings.bigEndianRaw = size.bigEndian;
        options.sizeSource = size.source;
    }
    if (!options.byteOrder.empty())
        settings.bigEndianRaw = options.byteOrder == "big";
    options.geo = ApplyRawGeoReference(options.raw, settings, options.pixelSizeGiven);
    return {};
}

int RunProcessCommand(ProcessOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    ProcessJob job(options.raw, options.settings, options.output);
    job.keepGoing = options.keepGoing;
    job.prepare = [&](ProcessSettings& settings) { return FindSize(options, settings); };
    job.ready = [&](const ProcessSettings& settings)
    {
        options.settings = settings;
        if (!options.sizeSource.empty() && !context.quiet && !options.json)
            std::printf("size: %d x %d, from %s\n", settings.rawWidth, settings.rawHeight,
                        options.sizeSource.c_str());
        WarnIfByteSwapped(options.raw, settings);
    };
    ProcessMessages messages(options.raw, options.settings);
    JobResult result;
    {
        TerminalProgress progress("process", context.quiet);
        progress.setWork(double(FileSize(options.raw)), "B");
        result = RunProcessJob(job, progress, messages);
    }
    // Stopped before the map was read, or the read failed: the message has been shown.
    if (result.timings.empty())
        return ExitCodeOf(result);
    const ProcessSettings& s = options.settings;
    const std::string height = result.output("height");
    result.warnings.insert(result.warnings.end(), options.geo.warnings.begin(), options.geo.warnings.end());
    if (!height.empty())
    {
        std::string error;
        const std::string sidecar = MapSidecarPath(height);
        if (!WriteRawGeoReference(options.geo, height, s, options.raw, error))
            result.warnings.push_back(error + "; the height file has no georeference beside it");
        else if (options.geo.found)
            options.sidecarWritten = true;
        else if (Exists(sidecar))
            result.warnings.push_back("the older " + sidecar + " was left as it was and may not describe the new " +
                                      height);
    }
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
        if (options.sidecarWritten)
            std::printf("wrote %s: georeference from %s, pixel size %g m\n", MapSidecarPath(height).c_str(),
                        options.geo.header.c_str(), double(s.pixelSize));
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
    ProcessSettings& s = options->settings;
    CLI::App* command = app.add_subcommand("process", "Turn a RAW 16-bit height map into <base>.dat (and <base>_w.dat)");
    command->add_option("RAW", options->raw, "RAW 16-bit height map (little-endian unless --byte-order or its header says otherwise)")->required();
    command->add_option("-o,--output", options->output,
                        "BASE of the files written: BASE.dat and BASE_w.dat (default: the RAW path without its extension)");
    auto fields = std::make_shared<FieldOptions<ProcessSettings, std::size(kProcessFields)>>(command, kProcessFields);
    command->add_option("--lever", s.leverPath, "24-bit lever BMP as large as the map");
    command->add_option("--water", s.waterPath, "compressed water mask (.wtr)");
    // Two plain flags: a negated flag on an int counts occurrences, which turned smoothing on for both.
    CLI::Option* blurOn =
        command->add_flag("--blur-height", options->blurHeight, "smooth the heights along the banks (the default)");
    command->add_flag("--no-blur-height", options->noBlurHeight, "leave the heights along the banks as they are")
        ->excludes(blurOn);
    command->add_option("--byte-order", options->byteOrder,
                        "byte order of the samples (default: the ENVI header's, else little)")
        ->check(CLI::IsMember({"little", "big"}));
    command->add_flag("--keep-going", options->keepGoing,
                      "skip a lever or water stage whose file cannot be used, with a warning, as the desktop does");
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, ratios, times) instead of the text");
    command->callback([options, fields, command, &context] {
        if (!fields->apply(options->settings, context))
            return;
        options->settings.blurHeight = options->noBlurHeight ? 0 : 1;
        const std::string base = options->output.empty() ? BaseName(options->raw) : options->output;
        JobPaths paths{{options->raw}, {base + ".dat"}, false, options->json};
        // The files are "<base>.dat": a stream name as BASE cannot take them.
        if (options->output == "-" || AtomicFile::StreamDescriptor(options->output) >= 0)
            paths.outputs.push_back(options->output);
        if ((context.exitCode = CheckCommandPaths(paths)) != kExitOk)
            return;
        options->sized = command->get_option("--width")->count() + command->get_option("--height")->count() > 0;
        options->pixelSizeGiven = command->get_option("--pixel-size")->count() > 0;
        context.exitCode = RunProcessCommand(*options, context);
    });
}
