#include "tools/ExportJob.h"

#include "base/JobFiles.h"
#include "tools/GdalRaster.h"

#include <chrono>

std::string ExportHeightsProblem(const std::string& heights)
{
    if (heights == "samples" || heights == "metres")
        return {};
    return heights + " is neither samples nor metres";
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
        return StopJob(JobFailure(JobStatus::refused, "--output: " + request.output + " must end in .png, .tif or .tiff"),
                       messages);
    if (const std::string problem = ExportHeightsProblem(request.heights); !problem.empty())
        return StopJob(JobFailure(JobStatus::refused, "--heights: " + problem), messages);
    done.metres = request.heights == "metres";
    if (done.format == HeightImageFormat::Png && (done.metres || !request.like.empty()))
        return StopJob(JobFailure(JobStatus::refused,
                                  "--output: " + request.output + ": --like and --heights metres need a GeoTIFF (.tif)"),
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
