// cliff: a height file becomes an 8-bit grey cliff mask bitmap, with the cliff export page's
// settings as options.
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "cliff/CliffExport.h"

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
    double heightScale = 10.0;
    bool json = false;
};

std::string OutOfRange(const char* option, double value, const FieldRange& range)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s: %g is outside the range %g..%g", option, value, range.min, range.max);
    return text;
}

int RunCliffCommand(CliffOptions& options, const CliContext& context)
{
    // The page holds the height scale as a float and checks it in single precision.
    options.settings.heightScale = static_cast<float>(options.heightScale);
    const struct
    {
        const char* option;
        double value;
    } checks[] = {
        {"--angle", double(options.settings.cliffAngle)},
        {"--threshold", double(options.settings.cliffThreshold)},
        {"--height-scale", double(options.settings.heightScale)},
    };
    for (std::size_t i = 0; i < std::size(checks); ++i)
        if (!InRange(kCliffRanges[i], checks[i].value))
        {
            PrintError(OutOfRange(checks[i].option, i == 2 ? options.heightScale : checks[i].value, kCliffRanges[i]));
            return kExitBadArguments;
        }

    const auto start = std::chrono::steady_clock::now();
    CliffStatus status;
    {
        TerminalProgress progress("cliff", context.quiet);
        progress.setWork(double(FileSize(options.dat)), "B");
        status = ExportCliffBitmap(options.dat, options.bmp, options.settings, progress);
    }
    if (status != CliffStatus::Written)
    {
        PrintError(CliffStatusMessage(status, options.dat, options.bmp));
        return kExitJobFailed;
    }
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
    CliffSettings& s = options->settings;
    CLI::App* command = app.add_subcommand("cliff", "Turn a height file (.dat) into an 8-bit grey cliff mask BMP");
    command->add_option("DAT", options->dat, "height file written by process")->required();
    command->add_option("-o,--output", options->bmp, "8-bit grey BMP to write")->required();
    command->add_option("--angle", s.cliffAngle, "cliff angle in degrees, the middle of the ramp (0..90)")
        ->capture_default_str();
    command->add_option("--threshold", s.cliffThreshold, "width of the ramp in degrees (0..90)")->capture_default_str();
    command->add_option("--height-scale", options->heightScale, "multiplier of the heights (0.01..100)")
        ->capture_default_str();
    command->add_flag("--json", options->json, "print a JSON summary (files, sizes, time) instead of the text");
    command->callback([options, &context] { context.exitCode = RunCliffCommand(*options, context); });
}
