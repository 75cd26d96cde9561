#include "tools/CliffRequest.h"

#include "base/JobFiles.h"
#include "cliff/CliffJob.h"
#include "tools/HeightImage.h"
#include "tools/MapGeoTiff.h"
#include "tools/OutputNames.h"

const JobOptions<CliffRequest>& CliffDescription()
{
    using R = CliffRequest;
    static const JobOptions<R> rows = []
    {
        JobOptions<R> list = {
            PositionalPath<R>("DAT", "dat", "height file written by process", &R::dat),
            PathOption<R>("output", "o", "8-bit grey BMP, or .tif/.tiff for a GeoTIFF, to write",
                          [](R& r, std::string path) { r.output = std::move(path); }, true),
            PathOption<R>("like", "", kGeoTiffLikeHelp, [](R& r, std::string path) { r.like = std::move(path); }),
        };
        AddFieldOptions(list, kCliffFields, &R::settings);
        OptionRow(list, "height-scale") =
            HeightScaleOption(CliffField("heightScale"), &R::settings, &R::heightScale,
                              "a sample is this many metres / 257, or auto: the map's own, its height gain x 257 "
                              "from the sidecar <base>.dat.json, the default when that has heights, else 10");
        return list;
    }();
    return rows;
}

namespace
{
JobResult Shown(JobResult result, IMessageSink& messages)
{
    if (!result.ok())
        messages.show(result.message, {});
    return result;
}
} // namespace

JobResult RunCliffRequest(CliffRequest& request, IProgressSink& progress, IMessageSink& messages,
                          const std::function<void(const std::string&)>& warn, CliffAnswer& answer,
                          const std::function<void()>& prepare)
{
    const bool geoTiff = HeightImageFormatOf(request.output) == HeightImageFormat::GeoTiff;
    // A BMP goes through the job's entry, which checks the files itself.
    if (geoTiff)
    {
        std::vector<std::string> inputs = {request.dat};
        if (!request.like.empty())
            inputs.push_back(request.like);
        if (JobResult files = CheckJobFiles(inputs, {request.output}); !files.ok())
            return Shown(files, messages);
    }
    if (JobResult problem = GeoTiffOutputProblem(request.output, request.like, ".bmp"); !problem.ok())
        return Shown(problem, messages);
    const JobField<CliffSettings>& field = CliffField("heightScale");
    answer.scale = ChooseHeightScale(request.dat, request.heightScale, double(request.settings.heightScale),
                                     field.defaultValue(), field.range.min, field.range.max);
    for (const std::string& warning : answer.scale.warnings)
        warn(warning);
    if (!answer.scale.problem.empty())
        return Shown(JobFailure(JobStatus::refused, answer.scale.problem), messages);
    request.settings.heightScale = static_cast<float>(answer.scale.scale);
    if (!geoTiff)
    {
        CliffJob job(request.dat, request.settings, request.output);
        job.prepare = [&]
        {
            if (Status named = OutputNameProblem(request.output, "an 8-bit BMP or a GeoTIFF", {".bmp", ".tif", ".tiff"});
                !named)
                return JobFailure(JobStatus::refused, std::move(named.message));
            if (prepare)
                prepare();
            return JobResult{};
        };
        return RunCliffJob(job, progress, messages);
    }
    if (prepare)
        prepare();
    // The GeoTIFF is the command line's own output; the files were checked in full before.
    MapRasterWrite write{request.dat, request.output, request.like};
    JobResult result;
    if (Status written = WriteCliffGeoTiff(write, request.settings, progress); !written)
        result = JobFailure(JobStatus::failed, std::move(written.message));
    else
        result.outputs.push_back({"mask", request.output});
    for (const std::string& warning : write.warnings)
        warn(warning);
    answer.geoSource = write.geoSource;
    return Shown(result, messages);
}
