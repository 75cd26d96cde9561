// demo: makes example data and runs every job on it, so a new user sees what Altimo does and
// what each step costs: a synthesised landscape written as a RAW map, a lever bitmap that
// flattens a runway, a compressed water mask of its sea, lakes and river; then the height and
// water files made from them, the cliff mask of the height file, and the shorelines of the
// water mask with a picture of them; last, pictures of the terrain before and after levering, its
// water and cliff mask, and one overview of everything.
#include "banks/BanksJob.h"
#include "banks/ShorelineFile.h"
#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/JobFiles.h"
#include "cli/CliSupport.h"
#include "cliff/CliffJob.h"
#include "demo/DemoInputs.h"
#include "demo/DemoTerrain.h"
#include "heightproc/ProcessJob.h"
#include "support/WtrWriter.h"
#include "tools/DemoPictures.h"
#include "tools/Image.h"
#include "tools/PreviewRender.h"

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

std::string Format(const char* format, double a, double b = 0, double c = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

class DemoRun
{
public:
    DemoRun(const DemoOptions& options, const CliContext& context)
        : m_size(options.size), m_quiet(context.quiet), m_scale(DemoWaterScale(options.size)),
          m_base((std::filesystem::path(options.dir) / "terrain").string())
    {
    }

    int run()
    {
        const auto start = std::chrono::steady_clock::now();
        using Step = Status (DemoRun::*)();
        for (const Step step :
             {&DemoRun::synthesise, &DemoRun::writeRaw, &DemoRun::writePreview, &DemoRun::writeLever,
              &DemoRun::writeWater, &DemoRun::process, &DemoRun::cliff, &DemoRun::banks, &DemoRun::pictures})
            if (const Status done = (this->*step)(); !done)
            {
                if (!m_jobTold)
                    PrintError(done.message);
                return kExitJobFailed;
            }
        if (!m_quiet)
            std::printf("  %-9s %7.2f s\n", "total", SecondsSince(start));
        return kExitOk;
    }

private:
    using Clock = std::chrono::steady_clock;

    std::string path(const char* suffix) const { return m_base + suffix; }

    // Prints the step as soon as it is done, so a long run shows where it is.
    void report(const char* step, Clock::time_point start, const std::string& file, const std::string& note) const
    {
        if (m_quiet)
            return;
        const std::string size = file.empty() ? std::string() : FormatBytes(FileSize(file));
        std::printf("  %-9s %7.2f s  %-32s %10s  %s\n", step, SecondsSince(start), file.c_str(), size.c_str(),
                    note.c_str());
        std::fflush(stdout);
    }

    // A job tells its failure through its own message sink as it happens; the run only stops.
    Status jobFailed(const JobResult& result)
    {
        m_jobTold = true;
        return {result.status == JobStatus::refused ? StatusCode::invalidSettings : StatusCode::invalidInput,
                result.message};
    }

    Status synthesise()
    {
        const auto start = Clock::now();
        {
            TerminalProgress progress("terrain", m_quiet);
            progress.setPos(0);
            m_terrain = SynthesizeDemoTerrain(m_size);
            progress.setPos(200);
        }
        if (!m_quiet)
            std::printf("altimo demo: %d x %d landscape, %.1f km square, %g m per sample, water mask scale %d\n",
                        m_size, m_size, double(m_terrain.pixelSize) * (m_size - 1) / 1000.0,
                        double(m_terrain.pixelSize), m_scale);
        report("terrain", start, {},
               std::to_string(m_terrain.lakes.size()) + " lakes, a river, sea at " +
                   std::to_string(m_terrain.seaLevel));
        return Ok();
    }

    Status writeRaw()
    {
        const auto start = Clock::now();
        const std::string raw = path(".raw");
        bool written = false;
        if constexpr (std::endian::native == std::endian::little)
            written = WriteFileAtomically(raw, m_terrain.heights.data(), m_terrain.heights.size() * 2);
        else
        {
            std::vector<std::uint16_t> swapped(m_terrain.heights);
            LittleEndianSamples(swapped.data(), swapped.size());
            written = WriteFileAtomically(raw, swapped.data(), swapped.size() * 2);
        }
        if (!written)
            return {StatusCode::writeFailed, OutputFailure(raw)};
        report("raw", start, raw, "16-bit little-endian");
        return Ok();
    }

    Status writePreview()
    {
        const auto start = Clock::now();
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> rgb = RenderTerrainPreview(m_terrain, 1024, width, height);
        if (!SavePng(path(".png"), rgb.data(), width, height, 3))
            return {StatusCode::writeFailed, OutputFailure(path(".png"))};
        report("relief", start, path(".png"), "shaded relief of the landscape");
        return Ok();
    }

    Status writeLever()
    {
        const auto start = Clock::now();
        const DemoRunway runway = FindDemoRunway(m_terrain);
        m_runway = runway;
        if (runway.length == 0)
        {
            PrintWarning("no flat land for the runway; processing without a lever");
            return Ok();
        }
        if (!WriteDemoLever(path("_lever.bmp"), m_terrain, runway))
            return {StatusCode::writeFailed, OutputFailure(path("_lever.bmp"))};
        m_leverPath = path("_lever.bmp");
        report("lever", start, m_leverPath,
               Format("runway %g x %g samples at height %g", runway.length, runway.width, runway.target));
        return Ok();
    }

    Status writeWater()
    {
        const auto start = Clock::now();
        const int side = DemoWaterMaskSide(m_size, m_scale);
        {
            const LargeBuffer<std::uint8_t> cells = BuildDemoWaterMask(m_terrain, m_scale);
            if (const Status written = WriteWtrFile(path(".wtr"), cells.data(), side, side, DemoWaterBlock(m_size));
                !written)
                return {written.code, path(".wtr") + ": " + written.message};
        }
        m_waterPath = path(".wtr");
        report("water", start, m_waterPath,
               Format("%g x %g cells, scale %g", side, side, m_scale) + Format(", blocks of %g", DemoWaterBlock(m_size)));
        // The jobs below read the files. Swapped, not assigned {}: that would keep the capacity.
        std::vector<std::uint16_t>().swap(m_terrain.heights);
        return Ok();
    }

    Status process()
    {
        ProcessSettings settings;
        settings.rawWidth = m_size;
        settings.rawHeight = m_size;
        settings.pixelSize = m_terrain.pixelSize;
        settings.leverPath = m_leverPath;
        settings.waterPath = m_waterPath;
        settings.resolutionScale = m_scale;
        settings.seaLevel = kDemoSeaLevelSetting;
        const auto start = Clock::now();
        JobResult result;
        {
            StderrMessages messages;
            TerminalProgress progress("process", m_quiet);
            result = RunProcessJob(ProcessJob(path(".raw"), settings), progress, messages);
        }
        for (const std::string& warning : result.warnings)
            PrintWarning(warning);
        if (!result.ok())
            return jobFailed(result);
        const double rawBytes = double(m_size) * double(m_size) * 2.0;
        const auto ratio = [&](const std::string& file)
        {
            const double bytes = double(FileSize(file));
            return Format("ratio %.2f:1, %.2f bits/sample", rawBytes / bytes, bytes * 16.0 / rawBytes);
        };
        const std::string water = result.output("water");
        m_datPath = result.output("height");
        m_waterWritten = !water.empty();
        if (m_waterWritten)
            report("process", start, water, ratio(water) + Format(", water %.2f s", result.seconds("water")));
        report(m_waterWritten ? "" : "process", start, m_datPath,
               ratio(m_datPath) + Format(", lever %.2f s", result.seconds("lever")));
        return Ok();
    }

    Status cliff()
    {
        const auto start = Clock::now();
        const std::string bmp = path("_cliff.bmp");
        JobResult result;
        {
            StderrMessages messages;
            TerminalProgress progress("cliff", m_quiet);
            result = RunCliffJob(CliffJob(m_datPath, CliffSettings{}, bmp), progress, messages);
        }
        if (!result.ok())
            return jobFailed(result);
        report("cliff", start, bmp, "angle 45, threshold 10, height scale 10");
        return Ok();
    }

    Status banks()
    {
        if (m_waterPath.empty())
            return Ok();
        BanksSettings settings;
        settings.resolutionScale = m_scale;
        settings.waterPixelSize = m_terrain.pixelSize / float(m_scale);
        const auto start = Clock::now();
        const std::string sl = path(".sl");
        StderrMessages messages;
        BanksResult result;
        const JobResult job = RunBanksJob(BanksJob(m_waterPath, settings, sl), messages, &result);
        for (const std::string& warning : job.warnings)
            PrintWarning(warning);
        if (!job.ok())
            return jobFailed(job);
        report("banks", start, sl,
               Format("%g lines, %g points", double(result.lines.size()), double(CountShorePoints(result.lines))));
        const auto pictureStart = Clock::now();
        const std::string png = path("_banks.png");
        std::vector<std::uint8_t> rgb;
        int width = 0;
        int height = 0;
        if (!RenderPreviewPngImage(result.filtered, result.lines, double(result.metresPerPixel), rgb, width, height) ||
            !SavePng(png, rgb.data(), width, height, 3))
            return {StatusCode::writeFailed, OutputFailure(png)};
        m_shorelinePanel = DemoPanel({rgb.data(), width, height, 3});
        report("", pictureStart, png, "shorelines over the filtered water image");
        return Ok();
    }

    Status pictures()
    {
        DemoPictureInputs inputs;
        inputs.base = m_base;
        inputs.size = m_size;
        inputs.pixelSize = m_terrain.pixelSize;
        inputs.runway = m_runway;
        inputs.water = m_waterWritten;
        inputs.shorelines = std::move(m_shorelinePanel);
        auto start = Clock::now();
        const char* step = "pictures";
        TerminalProgress progress("pictures", m_quiet);
        const Status written = WriteDemoPictures(
            inputs,
            [&](const std::string& file, const std::string& note)
            {
                report(step, start, file, note);
                step = "";
                start = Clock::now();
            },
            progress);
        return written;
    }

    int m_size;
    bool m_quiet;
    int m_scale;
    std::string m_base;
    DemoTerrain m_terrain;
    std::string m_leverPath;
    std::string m_waterPath;
    std::string m_datPath;
    DemoRunway m_runway;
    bool m_waterWritten = false;
    bool m_jobTold = false;
    Picture m_shorelinePanel;
};

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
    return DemoRun(options, context).run();
}

} // namespace

void RegisterDemoCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<DemoOptions>();
    CLI::App* command = app.add_subcommand("demo", "Synthesise an example landscape and run every job on it");
    command->add_option("--dir", options->dir, "folder for the files (created when missing)")->capture_default_str();
    command->add_option("--size", options->size, "samples along each side, 2^k + 1 as usual (257..8193)")
        ->capture_default_str();
    command->callback([options, &context] { context.exitCode = RunDemo(*options, context); });
}
