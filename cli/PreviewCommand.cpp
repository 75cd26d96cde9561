// preview: a height file as a shaded relief, or a water file as a depth colouring, in a PNG.
#include "cli/PreviewCommand.h"

#include "cli/LoadedDat.h"
#include "cli/MapGeoSource.h"
#include "tools/HeightImage.h"
#include "tools/PngWriter.h"
#include "tools/Relief.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool FileExists(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr)
        std::fclose(file);
    return file != nullptr;
}

// The process command writes "<base>_w.dat" next to "<base>.dat": the water file's terrain.
std::string TerrainBeside(const std::string& waterPath)
{
    if (!EndsWith(waterPath, "_w.dat"))
        return {};
    const std::string candidate = waterPath.substr(0, waterPath.size() - 6) + ".dat";
    return FileExists(candidate) ? candidate : std::string();
}

float UsablePixelSize(const LoadedDat& dat)
{
    if (dat.pixelSize > 0 && std::isfinite(dat.pixelSize))
        return dat.pixelSize;
    PrintWarning("the file's pixel size " + std::to_string(dat.pixelSize) + " is not positive; shading with 50");
    return 50.0f;
}

} // namespace

void RenderDatPicture(const LoadedDat& dat, const LoadedDat& terrain, bool water, const ReliefSettings& settings,
                      LargeBuffer<std::uint8_t>& rgb)
{
    const int legend = water ? WaterLegendRows(dat.width) : 0;
    rgb.allocate(std::size_t(dat.width) * std::size_t(dat.height + legend) * 3);
    const bool withTerrain = terrain.samples.data() != nullptr;
    if (water)
    {
        RenderWater(dat.view(), terrain.view(), UsablePixelSize(withTerrain ? terrain : dat), settings, rgb.data());
        DrawWaterLegend(rgb.data() + std::size_t(dat.width) * std::size_t(dat.height) * 3, dat.width,
                        FindWaterRange(dat.view(), terrain.view()), withTerrain, settings);
    }
    else
        RenderRelief(dat.view(), UsablePixelSize(dat), settings, rgb.data());
}

int RunPreview(const PreviewOptions& options, const CliContext& context)
{
    const bool water = options.mode == "water" || (options.mode == "auto" && EndsWith(options.dat, "_w.dat"));
    const std::string terrainPath = !water                     ? std::string()
                                    : !options.terrain.empty() ? options.terrain
                                                               : TerrainBeside(options.dat);
    if (!water && !options.terrain.empty())
        PrintWarning("--terrain is used only by the water colouring; ignored");

    const auto start = std::chrono::steady_clock::now();
    TerminalProgress progress("preview", context.quiet);
    progress.setWork(double(FileSize(options.dat)), "B");
    LoadedDat dat;
    LoadedDat terrain;
    if (!LoadDatFile(options.dat, dat) || (!terrainPath.empty() && !LoadDatFile(terrainPath, terrain)))
        return kExitJobFailed;
    if (!terrainPath.empty() && (terrain.width != dat.width || terrain.height != dat.height))
    {
        PrintError(terrainPath + ": the terrain is " + std::to_string(terrain.width) + " x " +
                   std::to_string(terrain.height) + ", the water " + std::to_string(dat.width) + " x " +
                   std::to_string(dat.height) + "; they must be the same size");
        return kExitJobFailed;
    }
    progress.setPos(50);

    // A GeoTIFF lies where the export of the same file lies; without a georeference, on the map's
    // own metres.
    const bool geoTiff = HeightImageFormatOf(options.png) == HeightImageFormat::GeoTiff;
    MapGeoReference geo;
    std::string geoSource;
    std::string error;
    if (geoTiff && !FindMapGeoReference(options.dat, options.like, dat.width, dat.height, geo, geoSource, error))
    {
        progress.finish();
        PrintError(error);
        return kExitJobFailed;
    }
    if (geoTiff && geoSource.empty())
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);

    LargeBuffer<std::uint8_t> rgb;
    RenderDatPicture(dat, terrain, water, options.settings, rgb);
    progress.setPos(100);
    // The legend belongs to the picture; a GeoTIFF holds the map's samples alone.
    const int rows = dat.height + (water && !geoTiff ? WaterLegendRows(dat.width) : 0);
    if (geoTiff)
    {
        if (!WriteGeoTiff(options.png, GeoTiffRaster{rgb.data(), GeoTiffSamples::Byte, 3, dat.width, dat.height},
                          &geo, error))
        {
            progress.finish();
            PrintError(error);
            return kExitJobFailed;
        }
    }
    else if (!WritePng8(options.png, rgb.data(), dat.width, rows, 3, progress, 100))
    {
        PrintError(options.png + ": cannot write the file");
        return kExitJobFailed;
    }
    progress.finish();
    if (!context.quiet && options.summary)
    {
        const std::string what = !water                ? "shaded relief"
                                 : terrainPath.empty() ? "water surface"
                                                       : "water depth over " + terrainPath;
        std::printf("wrote %s: %d x %d, %s, %s, %.2f s\n", options.png.c_str(), dat.width, rows, what.c_str(),
                    FormatBytes(FileSize(options.png)).c_str(), SecondsSince(start));
        if (!geoSource.empty())
            std::printf("georeference from %s\n", geoSource.c_str());
    }
    return kExitOk;
}

void RegisterPreviewCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<PreviewOptions>();
    CLI::App* command = app.add_subcommand(
        "preview", "Render a height file as a shaded relief, or a water file as a depth colouring (PNG or GeoTIFF)");
    command->add_option("DAT", options->dat, "height file (.dat) or water file (_w.dat)")->required();
    command->add_option("-o,--output", options->png, "PNG picture, or .tif/.tiff for an RGB GeoTIFF, to write")
        ->required();
    command->add_option("--mode", options->mode, "relief, water, or auto (water for names ending in _w.dat)")
        ->check(CLI::IsMember({"relief", "water", "auto"}))
        ->capture_default_str();
    command->add_option("--terrain", options->terrain,
                        "height file under the water, for depths (default: <base>.dat beside <base>_w.dat)");
    command->add_option("--like", options->like,
                        "for a GeoTIFF: a raster or ENVI header of the same map whose georeference it gets (default: the "
                        "sidecar <base>.dat.json, else <base>.raw.hdr, when there is one)");
    auto fields = std::make_shared<FieldOptions<ReliefSettings, std::size(kReliefFields)>>(command, kReliefFields);
    command->callback(
        [options, fields, &context]
        {
            if (!fields->apply(options->settings, context))
                return;
            JobPaths paths{{options->dat}, {options->png}};
            for (const std::string* input : {&options->terrain, &options->like})
                if (!input->empty())
                    paths.inputs.push_back(*input);
            if ((context.exitCode = CheckJobPaths(paths)) == kExitOk &&
                (context.exitCode = CheckOutputName(options->png, "a PNG picture or a GeoTIFF",
                                                    {".png", ".tif", ".tiff"})) == kExitOk &&
                (context.exitCode = CheckGeoTiffOutput(options->png, options->like, ".png")) == kExitOk)
                context.exitCode = RunPreview(*options, context);
        });
}
