// demo: makes example data and runs every job on it, so a new user sees what Altimo does and
// what each step costs: a synthesised landscape written as a RAW map, the height file made
// from it, and the cliff mask of that height file.
#include "cli/CliSupport.h"
#include "cliff/CliffExport.h"
#include "demo/DemoTerrain.h"
#include "heightproc/Process.h"
#include "support/AtomicFile.h"
#include "support/Image.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{

struct DemoOptions
{
    std::string dir = "demo-out";
    int size = kDemoDefaultSize;
};

struct StepLine
{
    std::string step;
    double seconds = 0;
    std::string path;
    std::string note;
};

class DemoReport
{
public:
    explicit DemoReport(bool quiet) : m_quiet(quiet) {}

    // Prints the step as soon as it is done, so a long run shows where it is.
    void add(const std::string& step, double seconds, const std::string& path = {}, const std::string& note = {})
    {
        m_total += seconds;
        if (m_quiet)
            return;
        const std::string size = path.empty() ? std::string() : FormatBytes(FileSize(path));
        std::printf("  %-9s %7.2f s  %-34s %10s  %s\n", step.c_str(), seconds, path.c_str(), size.c_str(),
                    note.c_str());
        std::fflush(stdout);
    }
    double total() const { return m_total; }

private:
    bool m_quiet;
    double m_total = 0;
};

std::string Format(const char* format, double a, double b = 0)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

bool WriteRaw(const std::string& path, const DemoTerrain& terrain)
{
    if constexpr (std::endian::native == std::endian::little)
        return WriteFileAtomically(path, terrain.heights.data(), terrain.heights.size() * sizeof(std::uint16_t));
    std::vector<std::uint16_t> swapped(terrain.heights);
    for (std::uint16_t& sample : swapped)
        sample = static_cast<std::uint16_t>(sample << 8 | sample >> 8);
    return WriteFileAtomically(path, swapped.data(), swapped.size() * sizeof(std::uint16_t));
}

int RunDemo(const DemoOptions& options, const CliContext& context)
{
    if (options.size < kDemoMinSize || options.size > kDemoMaxSize)
    {
        PrintError("--size: " + std::to_string(options.size) + " is outside the range " + std::to_string(kDemoMinSize) +
                   ".." + std::to_string(kDemoMaxSize));
        return kExitBadArguments;
    }
    std::error_code error;
    std::filesystem::create_directories(options.dir, error);
    if (error || !std::filesystem::is_directory(options.dir))
    {
        PrintError(options.dir + ": cannot create the folder");
        return kExitJobFailed;
    }
    const std::string base = (std::filesystem::path(options.dir) / "terrain").string();
    const std::string rawPath = base + ".raw";
    const std::string previewPath = base + ".png";
    const std::string datPath = base + ".dat";
    const std::string cliffPath = base + "_cliff.bmp";
    const auto runStart = std::chrono::steady_clock::now();
    DemoReport report(context.quiet);

    auto start = std::chrono::steady_clock::now();
    DemoTerrain terrain;
    {
        TerminalProgress progress("terrain", context.quiet);
        progress.setPos(0);
        terrain = SynthesizeDemoTerrain(options.size);
        progress.setPos(200);
    }
    if (!context.quiet)
        std::printf("altimo demo: %d x %d landscape, %.1f km square, %g m per sample, into %s\n", terrain.size,
                    terrain.size, double(terrain.pixelSize) * (terrain.size - 1) / 1000.0, double(terrain.pixelSize),
                    options.dir.c_str());
    report.add("terrain", SecondsSince(start), {},
               std::to_string(terrain.lakes.size()) + " lakes, a river, sea level " + std::to_string(terrain.seaLevel));

    start = std::chrono::steady_clock::now();
    if (!WriteRaw(rawPath, terrain))
    {
        PrintError(rawPath + ": cannot write the file");
        return kExitJobFailed;
    }
    report.add("raw", SecondsSince(start), rawPath, "16-bit little-endian");

    start = std::chrono::steady_clock::now();
    int previewWidth = 0;
    int previewHeight = 0;
    const std::vector<std::uint8_t> preview = RenderTerrainPreview(terrain, 1024, previewWidth, previewHeight);
    if (SavePng(previewPath, preview.data(), previewWidth, previewHeight, 3))
        report.add("preview", SecondsSince(start), previewPath, "shaded relief");
    else
        PrintWarning(previewPath + ": cannot write the file");

    ProcessSettings settings;
    settings.rawWidth = terrain.size;
    settings.rawHeight = terrain.size;
    settings.pixelSize = terrain.pixelSize;
    terrain.heights = {}; // the process job reads the RAW file itself
    start = std::chrono::steady_clock::now();
    ProcessResult processed;
    {
        StderrMessages messages;
        TerminalProgress progress("process", context.quiet);
        processed = RunProcess(rawPath, settings, progress, messages);
    }
    for (const std::string& warning : processed.warnings)
        PrintWarning(warning);
    if (!processed.success || !processed.heightWritten)
        return kExitJobFailed;
    const double rawBytes = double(terrain.size) * double(terrain.size) * 2.0;
    const double datBytes = double(FileSize(datPath));
    report.add("process", SecondsSince(start), datPath,
               Format("ratio %.2f:1, %.2f bits/sample", rawBytes / datBytes, datBytes * 16.0 / rawBytes));

    start = std::chrono::steady_clock::now();
    CliffStatus cliff;
    {
        TerminalProgress progress("cliff", context.quiet);
        cliff = ExportCliffBitmap(datPath, cliffPath, CliffSettings{}, progress);
    }
    if (cliff != CliffStatus::Written)
    {
        PrintError(CliffStatusMessage(cliff, datPath, cliffPath));
        return kExitJobFailed;
    }
    report.add("cliff", SecondsSince(start), cliffPath, "angle 45, threshold 10, height scale 10");

    if (!context.quiet)
        std::printf("  %-9s %7.2f s\n", "total", SecondsSince(runStart));
    return kExitOk;
}

} // namespace

void RegisterDemoCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<DemoOptions>();
    CLI::App* command = app.add_subcommand("demo", "Synthesise an example landscape and run every job on it");
    command->add_option("--dir", options->dir, "folder for the files (created when missing)")->capture_default_str();
    command->add_option("--size", options->size, "samples along each side (257..8193; 2^k + 1 is the usual size)")
        ->capture_default_str();
    command->callback([options, &context] { context.exitCode = RunDemo(*options, context); });
}
