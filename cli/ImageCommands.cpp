// import and export: height maps from and to the images that terrain tools and GIS hand out
// (16-bit or 8-bit grey PNG; GeoTIFF and other GDAL rasters when the build has GDAL).
#include "cli/CliSupport.h"
#include "cli/LoadedDat.h"
#include "base/AtomicFile.h"
#include "tools/HeightImage.h"
#include "base/RasterView.h"
#include "tools/Relief.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

struct ImageOptions
{
    std::string input;
    std::string output;
};

int RunImport(const ImageOptions& options, const CliContext& context)
{
    const auto start = std::chrono::steady_clock::now();
    HeightImage image;
    std::string error;
    {
        TerminalProgress progress("import", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        progress.setPos(0);
        if (!ReadHeightImage(options.input, image, error))
        {
            progress.finish();
            PrintError(error);
            return kExitJobFailed;
        }
        progress.setPos(100);
        const SampleRange range =
            FindSampleRange(ConstRasterView<std::uint16_t>(image.samples.data(), image.width, image.height));
        // The RAW map is little-endian whatever the machine.
        if constexpr (std::endian::native == std::endian::big)
            for (std::uint16_t& sample : image.samples)
                sample = static_cast<std::uint16_t>(sample << 8 | sample >> 8);
        if (!WriteFileAtomically(options.output, image.samples.data(), image.samples.size() * sizeof(std::uint16_t)))
        {
            progress.finish();
            PrintError(options.output + ": cannot write the file");
            return kExitJobFailed;
        }
        progress.finish();
        if (context.quiet)
            return kExitOk;
        std::printf("read %s: %s, %d-bit grey, %d x %d\n", options.input.c_str(), image.format.c_str(),
                    image.sourceBits, image.width, image.height);
        std::printf("wrote %s: %d x %d, values %u..%u, %s, %.2f s\n", options.output.c_str(), image.width, image.height,
                    unsigned(range.low), unsigned(range.high),
                    FormatBytes(image.samples.size() * sizeof(std::uint16_t)).c_str(), SecondsSince(start));
        if (image.sourceBits == 8)
            std::printf("8-bit values v were stored as v * 257 (255 is the highest height)\n");
        std::printf("next: altimo-cli process %s --width %d --height %d\n", options.output.c_str(), image.width,
                    image.height);
    }
    return kExitOk;
}

int RunExport(const ImageOptions& options, const CliContext& context)
{
    const HeightImageFormat format = HeightImageFormatOf(options.output);
    if (format == HeightImageFormat::Unknown)
    {
        PrintError("--output: " + options.output + " must end in .png, .tif or .tiff");
        return kExitBadArguments;
    }
    if (format == HeightImageFormat::GeoTiff && !HeightImageHasGdal())
    {
        PrintError(options.output + ": GeoTIFF needs GDAL, and this build of Altimo has none (install libgdal-dev "
                                    "and rebuild); .png works without it");
        return kExitJobFailed;
    }
    const auto start = std::chrono::steady_clock::now();
    LoadedDat dat;
    std::string error;
    {
        TerminalProgress progress("export", context.quiet);
        progress.setWork(double(FileSize(options.input)), "B");
        if (!LoadDatFile(options.input, dat))
            return kExitJobFailed;
        progress.setPos(100);
        if (!WriteHeightImage(options.output, format, dat.samples.data(), dat.width, dat.height, dat.pixelSize,
                              progress, 100, error))
        {
            progress.finish();
            PrintError(error);
            return kExitJobFailed;
        }
    }
    if (!context.quiet)
        std::printf("wrote %s: %s, 16-bit grey, %d x %d, %s, %.2f s\n", options.output.c_str(),
                    format == HeightImageFormat::Png ? "PNG" : "GeoTIFF", dat.width, dat.height,
                    FormatBytes(FileSize(options.output)).c_str(), SecondsSince(start));
    return kExitOk;
}

} // namespace

void RegisterImageCommands(CLI::App& app, CliContext& context)
{
    auto import = std::make_shared<ImageOptions>();
    CLI::App* importCommand = app.add_subcommand(
        "import", "Turn a grey height image (8/16-bit PNG; GeoTIFF and more with GDAL) into a RAW 16-bit map");
    importCommand->add_option("IMAGE", import->input, "one-band 8- or 16-bit image, 256..20000 pixels a side")
        ->required();
    importCommand->add_option("-o,--output", import->output, "RAW 16-bit little-endian file to write")->required();
    importCommand->callback(
        [import, &context]
        {
            if ((context.exitCode = CheckJobPaths({{import->input}, {import->output}})) == kExitOk)
                context.exitCode = RunImport(*import, context);
        });

    auto exportOptions = std::make_shared<ImageOptions>();
    CLI::App* exportCommand =
        app.add_subcommand("export", "Write a height or water file (.dat) as a 16-bit grey PNG or GeoTIFF");
    exportCommand->add_option("DAT", exportOptions->input, "height file (.dat) or water file (_w.dat)")->required();
    exportCommand->add_option("-o,--output", exportOptions->output, "image to write: .png, or .tif/.tiff (GeoTIFF)")
        ->required();
    exportCommand->callback(
        [exportOptions, &context]
        {
            // The format is told by the output's extension, which a stream does not have.
            if ((context.exitCode = CheckJobPaths({{exportOptions->input}, {exportOptions->output}, false})) == kExitOk)
                context.exitCode = RunExport(*exportOptions, context);
        });
}
