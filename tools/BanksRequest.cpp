#include "tools/BanksRequest.h"

#include "banks/BanksJob.h"
#include "tools/GdalRaster.h"
#include "tools/OutputNames.h"
#include "tools/PreviewRender.h"

#include <tuple>

const JobOptions<BanksRequest>& BanksDescription()
{
    using R = BanksRequest;
    static const JobOptions<R> rows = []
    {
        JobOptions<R> list = {
            PositionalPath<R>("WTR", "wtr", "compressed water mask", &R::wtr),
            PathOption<R>("output", "o", "shoreline file to write (.sl)",
                          [](R& r, std::string path) { r.output = std::move(path); }, true),
        };
        AddFieldOptions(list, kBanksFields, &R::settings);
        OptionRow(list, "water-pixel-size") =
            OptionRow(list, "water-pixel-size").noting([](R& r) { r.cellSizeGiven = true; });
        list.insert(list.end(),
                    {
                        PathOption<R>("preview", "", "also write a PNG of the filtered water image with the shorelines",
                                      [](R& r, std::string path) { r.preview = std::move(path); }),
                        PathOption<R>("vector", "",
                                      "also write the lines as GIS features (fields index, points): .gpkg, "
                                      ".geojson/.json or .shp",
                                      [](R& r, std::string path) { r.vector = std::move(path); }),
                        PathOption<R>("like", "",
                                      "place the --vector lines on this map: its height file (.dat, through "
                                      "<base>.dat.json), the RAW's ENVI header or any raster of it (default: the .sl "
                                      "metres, no coordinate system)",
                                      [](R& r, std::string path) { r.like = std::move(path); }),
                    });
        return list;
    }();
    return rows;
}

namespace
{
// The vector format is told by the extension alone (a stream has none), and needs GDAL; --like
// places the vector lines and nothing else.
JobResult CheckVectorOutput(const BanksRequest& request)
{
    if (request.vector.empty())
    {
        if (request.like.empty())
            return {};
        return JobFailure(JobStatus::refused, "--like: " + request.like +
                                                  " places the --vector lines on the map; give --vector FILE too");
    }
    if (ShorelineVectorDriver(request.vector).empty())
        return JobFailure(JobStatus::refused, "--vector: " + request.vector +
                                                  ": the format is told by the extension; name it " +
                                                  kShorelineVectorExtensions);
    if (!HeightImageHasGdal())
        return JobFailure(JobStatus::failed,
                          "--vector: " + request.vector + ": vector output goes through GDAL/OGR: " + GdalMissing());
    return {};
}
} // namespace

JobResult RunBanksRequest(const BanksRequest& request, IMessageSink& messages,
                          const std::function<void(const std::string&)>& warn, BanksAnswer& answer,
                          const std::function<void()>& prepare)
{
    ShorelinePlacement& placement = answer.placement;
    BanksJob job(request.wtr, request.settings, request.output, request.preview);
    job.prepare = [&](BanksSettings& settings)
    {
        for (const auto& [path, format, extension] : {std::tuple{&request.output, "a shoreline file", ".sl"},
                                                      {&request.preview, "a PNG picture", ".png"}})
            if (std::string problem = OutputNameProblem(*path, format, {extension}); !problem.empty())
                return JobFailure(JobStatus::refused, problem);
        if (JobResult vector = CheckVectorOutput(request); !vector.ok())
            return vector;
        if (!request.like.empty())
        {
            std::string error;
            std::vector<std::string> warnings;
            const bool placed = PlaceMaskOnMap(request.wtr, request.like, settings.resolutionScale,
                                               request.cellSizeGiven ? double(settings.waterPixelSize) : 0.0,
                                               double(settings.waterPixelSize), placement, error, warnings);
            for (const std::string& warning : warnings)
                warn(warning);
            if (!placed)
                return JobFailure(JobStatus::failed, error);
            // The lines' metres are the map's: its cells, not the page's fixed size.
            if (placement.blockSize > 0)
            {
                settings.waterPixelSize = static_cast<float>(placement.cellSize);
                placement.cellSize = double(settings.waterPixelSize);
            }
        }
        if (prepare)
            prepare();
        return JobResult{};
    };
    job.writePreview = WriteBanksPreview;
    JobResult result = RunBanksJob(job, messages, &answer.generated);
    if (!result.ok() || request.vector.empty())
        return result;
    if (std::string error; !WriteShorelineVector(request.vector, answer.generated.lines,
                                                 request.like.empty() ? nullptr : &placement, error))
    {
        answer.vectorFailed = true;
        result.status = JobStatus::failed;
        result.message = error;
    }
    else
        result.outputs.push_back({"vector", request.vector});
    return result;
}
