#include "tools/ProcessRequest.h"

#include "heightproc/ProcessJob.h"
#include "tools/MapUnits.h"

const JobOptions<ProcessRequest>& ProcessDescription()
{
    using R = ProcessRequest;
    static const JobOptions<R> rows = []
    {
        JobOptions<R> list = {
            PositionalPath<R>("RAW", "raw",
                              "RAW 16-bit height map (little-endian unless --byte-order or its header says otherwise)",
                              &R::raw),
            PathOption<R>("output", "o",
                          "BASE of the files written: BASE.dat and BASE_w.dat (default: the RAW path without its "
                          "extension)",
                          [](R& r, std::string path) { r.output = std::move(path); }),
        };
        AddFieldOptions(list, kProcessFields, &R::settings);
        // A size given is not looked for beside the RAW; a pixel size given wins over the header's.
        for (const char* size : {"width", "height"})
            OptionRow(list, size) = OptionRow(list, size).noting([](R& r) { r.header.inferSize = false; });
        OptionRow(list, "pixel-size") =
            OptionRow(list, "pixel-size").noting([](R& r) { r.header.pixelSizeGiven = true; });
        JobOption<R>& sea = OptionRow(list, "sea-level");
        sea = sea.describedAs("sea level of the water stage: a level N, a sea height of N x 257 samples, or a height "
                              "in metres such as 0m, through the gain and offset of the RAW's ENVI header (" +
                              RangeText(ProcessField("seaLevel")) + ")")
                  .shownAs("N|METRESm")
                  .parsedBy(
                      [level = sea.parse](R& r, std::string_view text)
                      {
                          if (const std::optional<double> metres = MetresFromText(text))
                          {
                              r.header.seaLevelMetres = metres;
                              return Ok();
                          }
                          return level(r, text);
                      });
        list.insert(
            list.end(),
            {
                PathOption<R>("lever", "", "24-bit lever BMP as large as the map",
                              [](R& r, std::string path) { r.settings.leverPath = std::move(path); }),
                PathOption<R>("water", "", "compressed water mask (.wtr)",
                              [](R& r, std::string path) { r.settings.waterPath = std::move(path); }),
                FlagOption<R>("blur-height", "blur-height", "smooth the heights along the banks (the default)",
                              [](R& r, bool on) { r.settings.blurHeight = on ? 1 : 0; }),
                FlagOption<R>("no-blur-height", "", "leave the heights along the banks as they are",
                              [](R& r, bool on) { r.settings.blurHeight = on ? 0 : 1; }),
                ChoiceOption<R>("byte-order", {"little", "big"}, "",
                                "byte order of the samples (default: the ENVI header's, else little)",
                                [](R& r, std::string order) { r.header.byteOrder = std::move(order); }),
                FlagOption<R>("keep-going", "keep-going",
                              "skip a lever or water stage whose file cannot be used, with a warning, as the desktop "
                              "does",
                              [](R& r, bool on) { r.keepGoing = on; }),
            });
        // Two plain flags: one cannot undo the other on one command line.
        OptionRow(list, "no-blur-height").excludes = "blur-height";
        return list;
    }();
    return rows;
}

JobResult RunProcessRequest(ProcessRequest& request, IProgressSink& progress, IMessageSink& messages,
                            const ProcessRun& run)
{
    ProcessJob job(request.raw, request.settings, request.output);
    job.keepGoing = request.keepGoing;
    job.keepGoingName = run.keepGoingName;
    AttachRawMapHeader(job, request.header, run.announce);
    JobResult result = RunProcessJob(job, progress, messages, run.smoothing);
    FinishRawMap(job, request.header, result);
    return result;
}
