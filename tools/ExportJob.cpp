#include "tools/ExportJob.h"

#include "base/JobFiles.h"
#include "tools/GdalRaster.h"

#include <chrono>

namespace
{

std::string ExportHeightsProblem(const std::string& heights)
{
    if (heights == "samples" || heights == "metres")
        return {};
    return heights + " is neither samples nor metres";
}

} // namespace

const JobOptions<ExportRequest>& ExportDescription()
{
    using R = ExportRequest;
    static const JobOptions<R> rows = []
    {
        JobOptions<R> list = {
            PositionalPath<R>("DAT", "dat", "height file (.dat) or water file (_w.dat)", &R::input),
            PathOption<R>(
                "output", "o", "image to write: .png, or .tif/.tiff (GeoTIFF)",
                [](R& r, std::string path) { r.output = std::move(path); }, true),
            PathOption<R>("like", "",
                          "raster or ENVI header of the same map whose georeference the GeoTIFF gets (default: the "
                          "sidecar <base>.dat.json, else <base>.raw.hdr, when there is one)",
                          [](R& r, std::string path) { r.like = std::move(path); }),
        };
        JobOption<R> heights;
        heights.name = heights.key = "heights";
        heights.type = "{samples,metres}";
        heights.defaultText = "samples";
        heights.help = "samples: 16-bit samples; metres: 32-bit floats through the header's gain and offset";
        heights.parse = [](R& r, std::string_view text)
        {
            r.heights = std::string(text);
            const std::string problem = ExportHeightsProblem(r.heights);
            return problem.empty() ? Ok() : Status(StatusCode::invalidSettings, problem);
        };
        list.push_back(std::move(heights));
        return list;
    }();
    return rows;
}

JobResult RunExportJob(const ExportRequest& request, IProgressSink& progress, IMessageSink& messages,
                       ExportSummary* summary)
{
    std::vector<std::string> inputs = {request.input};
    if (!request.like.empty())
        inputs.push_back(request.like);
    JobResult result = CheckJobFiles(inputs, {request.output});
    if (!result.ok())
        return StopJob(result, messages);
    ExportSummary local;
    ExportSummary& done = summary != nullptr ? *summary : local;
    done.format = HeightImageFormatOf(request.output);
    if (done.format == HeightImageFormat::Unknown)
        return StopJob(
            JobFailure(JobStatus::refused, "--output: " + request.output + " must end in .png, .tif or .tiff"),
            messages);
    if (const std::string problem = ExportHeightsProblem(request.heights); !problem.empty())
        return StopJob(JobFailure(JobStatus::refused, "--heights: " + problem), messages);
    done.metres = request.heights == "metres";
    if (done.format == HeightImageFormat::Png && (done.metres || !request.like.empty()))
        return StopJob(JobFailure(JobStatus::refused, "--output: " + request.output +
                                                          ": --like and --heights metres need a GeoTIFF (.tif)"),
                       messages);
    if (done.format == HeightImageFormat::GeoTiff && !HeightImageHasGdal())
        return StopJob(JobFailure(JobStatus::failed, request.output + ": GeoTIFF needs GDAL: " + GdalMissing() +
                                                         "; .png works without it"),
                       messages);
    const auto start = std::chrono::steady_clock::now();
    MapRasterWrite write;
    write.dat = request.input;
    write.output = request.output;
    write.like = request.like;
    std::string error;
    const bool written = ExportHeightFile(write, done.metres, progress, error, &done.nodata);
    result.warnings = write.warnings;
    done.width = write.width;
    done.height = write.height;
    done.geoSource = write.geoSource;
    if (!written)
    {
        result.status = JobStatus::failed;
        result.message = error;
        return StopJob(result, messages);
    }
    result.outputs.push_back({"image", request.output});
    result.timings.push_back(
        {"total", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return result;
}
