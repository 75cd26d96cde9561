#include "tools/PreviewJob.h"

#include "base/JobFiles.h"
#include "tools/HeightImage.h"
#include "tools/MapGeoSource.h"
#include "tools/OutputNames.h"
#include "tools/PngWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace
{

bool FileExists(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr)
        std::fclose(file);
    return file != nullptr;
}

// The process job writes "<base>_w.dat" next to "<base>.dat": the water file's terrain.
std::string TerrainBeside(const std::string& waterPath)
{
    if (!waterPath.ends_with("_w.dat"))
        return {};
    const std::string candidate = waterPath.substr(0, waterPath.size() - 6) + ".dat";
    return FileExists(candidate) ? candidate : std::string();
}

} // namespace

const JobOptions<PreviewJob>& PreviewDescription()
{
    using R = PreviewJob;
    static const JobOptions<R> rows = {
        PositionalPath<R>("DAT", "dat", "height file (.dat) or water file (_w.dat)", &R::dat),
        PathOption<R>("output", "o", "PNG picture, or .tif/.tiff for an RGB GeoTIFF, to write",
                      [](R& r, std::string path) { r.output = std::move(path); }, true),
        ChoiceOption<R>("mode", {"relief", "water", "auto"}, "auto",
                        "relief, water, or auto (water for names ending in _w.dat)",
                        [](R& r, std::string mode) { r.mode = std::move(mode); }),
        PathOption<R>("terrain", "", "height file under the water, for depths (default: <base>.dat beside <base>_w.dat)",
                      [](R& r, std::string path) { r.terrain = std::move(path); }),
        PathOption<R>("like", "", kGeoTiffLikeHelp, [](R& r, std::string path) { r.like = std::move(path); }),
        HeightScaleOption(kReliefFields[0], &R::settings, &R::heightScale,
                          "a sample is this many metres / 257 as for cliff, or auto: the map's own, its height gain x "
                          "257 from the sidecar <base>.dat.json, the default when that has heights, else 10"),
    };
    return rows;
}

PreviewJob DescribedPreviewJob()
{
    PreviewJob job;
    job.heightScale = HeightScaleAsk::byDefault;
    job.checkOutput = true;
    return job;
}

std::string RenderDatPicture(const LoadedDat& dat, const LoadedDat& terrain, bool water,
                             const ReliefSettings& settings, LargeBuffer<std::uint8_t>& rgb,
                             const HeightMapping* mapping)
{
    const int legend = water ? WaterLegendRows(dat.width) : 0;
    rgb.allocate(std::size_t(dat.width) * std::size_t(dat.height + legend) * 3);
    const bool withTerrain = terrain.samples.data() != nullptr;
    const LoadedDat& shaded = water && withTerrain ? terrain : dat;
    std::string warning;
    float pixelSize = shaded.pixelSize;
    if (!(pixelSize > 0 && std::isfinite(pixelSize)))
    {
        warning = "the file's pixel size " + std::to_string(pixelSize) + " is not positive; shading with 50";
        pixelSize = 50.0f;
    }
    if (water)
    {
        RenderWater(dat.view(), terrain.view(), pixelSize, settings, rgb.data());
        DrawWaterLegend(rgb.data() + std::size_t(dat.width) * std::size_t(dat.height) * 3, dat.width,
                        FindWaterRange(dat.view(), terrain.view()), withTerrain, settings, mapping);
    }
    else
        RenderRelief(dat.view(), pixelSize, settings, rgb.data());
    return warning;
}

JobResult RunPreviewJob(const PreviewJob& job, IProgressSink& progress, IMessageSink& messages,
                        PreviewSummary* summary)
{
    const auto start = std::chrono::steady_clock::now();
    if (const JobResult fields = CheckJobFields(kReliefFields, job.settings, false); !fields.ok())
        return StopJob(fields, messages);
    if (const JobResult files = CheckJobFiles({job.dat, job.terrain, job.like}, {job.output}); !files.ok())
        return StopJob(files, messages);
    if (job.checkOutput)
    {
        if (Status named = OutputNameProblem(job.output, "a PNG picture or a GeoTIFF", {".png", ".tif", ".tiff"});
            !named)
            return StopJob(JobFailure(JobStatus::refused, std::move(named.message)), messages);
        if (JobResult problem = GeoTiffOutputProblem(job.output, job.like, ".png"); !problem.ok())
            return StopJob(problem, messages);
    }
    if (job.prepare)
        if (JobResult prepared = job.prepare(); !prepared.ok())
            return StopJob(prepared, messages);

    JobResult result;
    const JobField<ReliefSettings>& field = FindField(kReliefFields, "heightScale");
    HeightScaleChoice scale = ChooseHeightScale(job.dat, job.heightScale, job.settings.heightScale,
                                                field.defaultValue(), field.range.min, field.range.max);
    result.warnings = scale.warnings;
    if (!scale.problem.empty())
        return StopJob(JobFailure(JobStatus::refused, scale.problem), messages);
    ReliefSettings settings = job.settings;
    settings.heightScale = scale.scale;
    const HeightMapping* mapping = scale.mapping ? &*scale.mapping : nullptr;

    const bool water = job.mode == "water" || (job.mode == "auto" && job.dat.ends_with("_w.dat"));
    const std::string terrainPath = !water ? std::string() : !job.terrain.empty() ? job.terrain : TerrainBeside(job.dat);
    if (!water && !job.terrain.empty())
        result.warnings.push_back("--terrain is used only by the water colouring; ignored");

    LoadedDat dat;
    LoadedDat terrain;
    Status loaded = LoadDatFile(job.dat, dat);
    if (loaded && !terrainPath.empty())
        loaded = LoadDatFile(terrainPath, terrain);
    if (!loaded)
        return StopJob(JobFailure(JobStatus::failed, loaded.message), messages);
    if (!terrainPath.empty() && (terrain.width != dat.width || terrain.height != dat.height))
        return StopJob(JobFailure(JobStatus::failed, terrainPath + ": the terrain is " + std::to_string(terrain.width) +
                                                      " x " + std::to_string(terrain.height) + ", the water " +
                                                      std::to_string(dat.width) + " x " + std::to_string(dat.height) +
                                                      "; they must be the same size"),
                    messages);
    progress.setPos(50);

    // A GeoTIFF lies where the export of the same file lies; without a georeference, on the map's
    // own metres.
    const bool geoTiff = HeightImageFormatOf(job.output) == HeightImageFormat::GeoTiff;
    MapGeoReference geo;
    std::string geoSource;
    if (geoTiff)
    {
        StatusOr<std::string> found =
            FindMapGeoReference(job.dat, job.like, dat.width, dat.height, geo, result.warnings);
        if (!found)
            return StopJob(JobFailure(JobStatus::failed, found.status.message), messages);
        geoSource = std::move(*found);
    }
    if (geoTiff && geoSource.empty())
        geo = LocalMapGeoReference(dat.height, dat.pixelSize);

    LargeBuffer<std::uint8_t> rgb;
    if (std::string warning = RenderDatPicture(dat, terrain, water, settings, rgb, mapping); !warning.empty())
        result.warnings.push_back(std::move(warning));
    progress.setPos(100);
    // The legend belongs to the picture; a GeoTIFF holds the map's samples alone.
    const int rows = dat.height + (water && !geoTiff ? WaterLegendRows(dat.width) : 0);
    if (geoTiff)
    {
        if (Status written = WriteGeoTiff(
                job.output, GeoTiffRaster{rgb.data(), GeoTiffSamples::Byte, 3, dat.width, dat.height}, &geo);
            !written)
            return StopJob(JobFailure(JobStatus::failed, std::move(written.message)), messages);
    }
    else if (!WritePng8(job.output, rgb.data(), dat.width, rows, 3, progress, 100))
        return StopJob(JobFailure(JobStatus::failed, OutputFailure(job.output)), messages);
    result.outputs.push_back({"preview", job.output});
    result.timings.push_back(
        {"total", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    if (summary != nullptr)
    {
        *summary = {dat.width, rows,
                    !water                ? "shaded relief"
                    : terrainPath.empty() ? "water surface"
                                          : "water depth over " + terrainPath,
                    geoSource, scale, water && !geoTiff, {}, FindMapNodata(job.dat, dat.width, dat.height, result.warnings)};
        if (summary->legend)
            summary->legendMetres =
                WaterLegendMetres(FindWaterRange(dat.view(), terrain.view()), !terrainPath.empty(), settings, mapping);
    }
    return result;
}
