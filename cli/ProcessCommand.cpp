// process: a RAW 16-bit height map becomes "<base>.dat" (and "<base>_w.dat" with --water), with
// the process page's settings as options.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "base/AtomicFile.h"
#include "cli/RawGeoReference.h"
#include "cli/RawMapSize.h"
#include "tools/MapSidecar.h"
#include "heightproc/Process.h"
#include "heightproc/Water.h"
#include "support/BitMask.h"
#include "support/Bitmap.h"

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

void PrintJson(const ProcessOptions& options, const ProcessResult& result, double totalSeconds)
{
    JsonWriter json;
    json.beginObject().value("command", "process").value("width", options.settings.rawWidth);
    json.value("height", options.settings.rawHeight);
    json.value("sizeFrom", options.sizeSource.empty() ? std::string("--width/--height") : options.sizeSource);
    json.beginArray("files");
    json.beginObject().value("role", "input").value("path", options.raw).value("bytes", FileSize(options.raw)).endObject();
    if (result.waterWritten)
        AddJsonOutput(json, "water", result.waterDatPath, options.settings);
    if (result.heightWritten)
        AddJsonOutput(json, "height", result.heightDatPath, options.settings);
    if (options.sidecarWritten)
        json.beginObject()
            .value("role", "georeference")
            .value("path", MapSidecarPath(result.heightDatPath))
            .value("from", options.geo.header)
            .endObject();
    json.endArray().beginObject("seconds").value("read", result.readSeconds).value("lever", result.leverSeconds);
    json.value("water", result.waterSeconds).value("writeWater", result.writeWaterSeconds);
    json.value("writeHeight", result.writeHeightSeconds).value("total", totalSeconds).endObject();
    json.beginArray("warnings");
    for (const std::string& warning : result.warnings)
        json.value("", warning);
    json.endArray().endObject().print();
}

// Why the lever bitmap cannot be used for this map, or empty. Only the headers are read.
std::string LeverProblem(const std::string& path, const ProcessSettings& settings)
{
    BmpReader reader;
    std::string error;
    if (!reader.open(path.c_str(), error))
        return path + ": not a usable lever bitmap: " + (error == "cannot open the file" ? error + ": " + std::strerror(errno) : error);
    if (reader.width() != settings.rawWidth || reader.height() != settings.rawHeight)
        return path + ": Lever bitmap size is different from height map (the bitmap is " +
               std::to_string(reader.width()) + " x " + std::to_string(reader.height()) + ", the map " +
               std::to_string(settings.rawWidth) + " x " + std::to_string(settings.rawHeight) + ")";
    return {};
}

// Why the water mask cannot be used, or empty. Every block is decoded, so that a damaged block
// is found before the height file is written rather than after.
std::string WaterProblem(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return path + ": cannot open the water mask: " + std::strerror(errno);
    CBitMask mask(1);
    const bool loaded = mask.load(file);
    std::fclose(file);
    if (!loaded)
        return path + ": Invalid WTR file (not a valid water mask)";
    for (long bz = 0; bz < mask.getZBlocks(); ++bz)
        for (long bx = 0; bx < mask.getXBlocks(); ++bx)
            mask.decodeBlock(bx, bz);
    if (mask.corruptBlocks() > 0)
        return path + ": Invalid WTR file (" + std::to_string(mask.corruptBlocks()) + " corrupt blocks)";
    return {};
}

// A warning when the mask does not cover the map at this scale the way the water stage places
// its blocks (see MeasureWaterPlacement), or empty. Blocks outside the map are skipped and a
// map beyond the mask gets no water from it: both give water that looks plausible and is not.
std::string WaterFitWarning(const std::string& path, const ProcessSettings& settings)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    CBitMask mask(1);
    const bool loaded = mask.load(file);
    std::fclose(file);
    const int scale = int(settings.resolutionScale);
    const int width = settings.rawWidth;
    const int height = settings.rawHeight;
    const auto measure = [&](int s)
    { return MeasureWaterPlacement(mask.getXBlocks(), mask.getZBlocks(), int(mask.m_blockSize), width, height, s); };
    if (!loaded || measure(scale).fits(width))
        return {};
    const WaterPlacement placement = measure(scale);
    std::string text = path + ": the water mask of " + std::to_string(mask.getXRes()) + " x " +
                       std::to_string(mask.getZRes()) + " cells does not cover the " + std::to_string(width) + " x " +
                       std::to_string(height) + " map at scale " + std::to_string(scale) + ":";
    if (placement.skipped > 0)
        text += " " + std::to_string(placement.skipped) + " of its " +
                std::to_string(placement.skipped + placement.placed) + " blocks fall outside the map and are skipped;";
    if (placement.top > 0 || placement.right < width - 2)
        text += " the map's top " + std::to_string(std::max(placement.top, 0)) + " rows and right " +
                std::to_string(std::max(width - 1 - placement.right, 0)) + " columns get no water from it;";
    text += " at this scale a mask of " + std::to_string(std::int64_t(width - 1) * scale) + " x " +
            std::to_string(std::int64_t(height - 1) * scale) + " cells fits the map";
    const JobField<ProcessSettings>& field = ProcessField("resolutionScale");
    for (int s = int(field.range.min); s <= int(field.range.max); ++s)
        if (measure(s).fits(width))
        {
            text += ", and this mask fits it at --scale " + std::to_string(s);
            break;
        }
    return text;
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

int RunProcessCommand(ProcessOptions& options, const CliContext& context)
{
    // The lever and the mask are checked first: without --keep-going a stage that cannot run
    // fails the job before anything is written; with it, the stage is skipped as the desktop does.
    std::vector<std::string> skipped;
    const ProcessSettings& s = options.settings;
    for (const std::string& problem :
         {s.leverPath.empty() ? std::string() : LeverProblem(s.leverPath, s),
          s.waterPath.empty() ? std::string() : WaterProblem(s.waterPath)})
    {
        if (problem.empty())
            continue;
        if (!options.keepGoing)
        {
            PrintError(problem + " (--keep-going skips the stage instead)");
            return kExitJobFailed;
        }
        skipped.push_back(problem);
    }

    if (!options.sizeSource.empty() && !context.quiet && !options.json)
        std::printf("size: %d x %d, from %s\n", s.rawWidth, s.rawHeight, options.sizeSource.c_str());
    WarnIfByteSwapped(options.raw, s);
    const std::string waterFit = s.waterPath.empty() ? std::string() : WaterFitWarning(s.waterPath, s);
    const auto start = std::chrono::steady_clock::now();
    ProcessMessages messages(options.raw, s);
    ProcessResult result;
    {
        TerminalProgress progress("process", context.quiet);
        progress.setWork(double(FileSize(options.raw)), "B");
        result = RunProcess(options.raw, options.settings, progress, messages, options.output);
    }
    if (!result.success)
        return kExitJobFailed;
    // The job reports an unreadable lever and an unusable mask itself; a lever of the wrong size
    // only through the desktop's message.
    for (const std::string& problem : skipped)
        if (problem.find("Lever bitmap size") != std::string::npos)
            result.warnings.push_back(problem + "; no levering");
    const std::string olderWater = BaseName(result.heightDatPath) + "_w.dat";
    if (!s.waterPath.empty() && !result.waterWritten && Exists(olderWater))
        result.warnings.push_back("the older " + olderWater + " was left as it was and does not match the new " +
                                  result.heightDatPath);
    result.warnings.insert(result.warnings.end(), options.geo.warnings.begin(), options.geo.warnings.end());
    if (!waterFit.empty() && result.waterWritten)
        result.warnings.push_back(waterFit);
    if (result.heightWritten)
    {
        std::string error;
        const std::string sidecar = MapSidecarPath(result.heightDatPath);
        if (!WriteRawGeoReference(options.geo, result.heightDatPath, s, options.raw, error))
            result.warnings.push_back(error + "; the height file has no georeference beside it");
        else if (options.geo.found)
            options.sidecarWritten = true;
        else if (Exists(sidecar))
            result.warnings.push_back("the older " + sidecar + " was left as it was and may not describe the new " +
                                      result.heightDatPath);
    }
    for (const std::string& warning : result.warnings)
        PrintWarning(warning);
    if (options.json && result.heightWritten)
        PrintJson(options, result, SecondsSince(start));
    else if (!context.quiet)
    {
        if (result.waterWritten)
            PrintWritten(result.waterDatPath, options.settings, result.writeWaterSeconds);
        if (result.heightWritten)
            PrintWritten(result.heightDatPath, options.settings, result.writeHeightSeconds);
        if (options.sidecarWritten)
            std::printf("wrote %s: georeference from %s, pixel size %g m\n",
                        MapSidecarPath(result.heightDatPath).c_str(), options.geo.header.c_str(),
                        double(options.settings.pixelSize));
        std::printf("process: read %.2f s, lever %.2f s, water %.2f s, write %.2f s, total %.2f s\n",
                    result.readSeconds, result.leverSeconds, result.waterSeconds,
                    result.writeWaterSeconds + result.writeHeightSeconds, SecondsSince(start));
    }
    // The desktop application counts a run whose height file could not be created as a success;
    // a script needs to know that nothing usable was produced.
    return result.heightWritten ? kExitOk : kExitJobFailed;
}

} // namespace

void RegisterProcessCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<ProcessOptions>();
    ProcessSettings& s = options->settings;
    CLI::App* command = app.add_subcommand("process", "Turn a RAW 16-bit height map into <base>.dat (and <base>_w.dat)");
    command->add_option("RAW", options->raw, "RAW 16-bit little-endian height map")->required();
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
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, ratios, times) instead of the text");
    command->add_option("--byte-order", options->byteOrder,
                        "byte order of the samples: little or big (default: the ENVI header's, else little)")
        ->check(CLI::IsMember({"little", "big"}));
    command->add_flag("--keep-going", options->keepGoing,
                      "skip a lever or water stage whose file cannot be used, with a warning, as the desktop does");
    command->callback([options, fields, command, &context] {
        if (!fields->apply(options->settings, context))
            return;
        options->settings.blurHeight = options->noBlurHeight ? 0 : 1;
        const std::string base = options->output.empty() ? BaseName(options->raw) : options->output;
        JobPaths paths{{options->raw}, {base + ".dat"}, false, options->json};
        if (!options->settings.waterPath.empty())
            paths.outputs.push_back(base + "_w.dat");
        for (const std::string* input : {&options->settings.leverPath, &options->settings.waterPath})
            if (!input->empty())
                paths.inputs.push_back(*input);
        // The files are "<base>.dat": a stream name as BASE cannot take them.
        if (options->output == "-" || AtomicFile::StreamDescriptor(options->output) >= 0)
            paths.outputs.push_back(options->output);
        if ((context.exitCode = CheckJobPaths(paths)) != kExitOk)
            return;
        ProcessSettings& settings = options->settings;
        const bool sized = command->get_option("--width")->count() + command->get_option("--height")->count() > 0;
        struct stat info{};
        if (!sized && ::stat(options->raw.c_str(), &info) == 0)
        {
            const RawMapSize size = FindRawMapSize(options->raw, FileSize(options->raw));
            if (!size.problem.empty())
            {
                PrintError(size.problem);
                context.exitCode = kExitJobFailed;
                return;
            }
            for (const auto& [field, value] :
                 {std::pair{&ProcessField("rawWidth"), size.width}, {&ProcessField("rawHeight"), size.height}})
                if (const std::string problem = SetField(*field, settings, std::to_string(value)); !problem.empty())
                {
                    PrintError(options->raw + ": the size from " + size.source + ": " + problem);
                    context.exitCode = kExitJobFailed;
                    return;
                }
            settings.bigEndianRaw = size.bigEndian;
            options->sizeSource = size.source;
        }
        if (!options->byteOrder.empty())
            settings.bigEndianRaw = options->byteOrder == "big";
        options->geo =
            ApplyRawGeoReference(options->raw, settings, command->get_option("--pixel-size")->count() > 0);
        context.exitCode = RunProcessCommand(*options, context);
    });
}
