#include "banks/BanksJob.h"

#include "banks/ShorelineFile.h"
#include "base/JobFiles.h"
#include "support/BitMask.h"
#include "support/MaskFit.h"
#include "support/WtrWriter.h"

#include <chrono>
#include <cstdio>

namespace
{
double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
} // namespace

// A block of B cells at scale s covers B / s pixels of the water image; when that is not a whole
// number, the block positions, summed in single precision, leave a column and a row undrawn every
// few blocks. The tracer takes those lines for land, so shorelines run straight along them.
// The drawing is the desktop's and stays; the user is told how to avoid it. Only the mask's own
// encoding can: another scale would place the mask on another map.
std::string BlockGapWarning(const std::string& wtrPath, long scale)
{
    CBitMask mask(1);
    const bool loaded = mask.load(wtrPath);
    const long block = mask.m_blockSize;
    if (!loaded || scale < 1 || block % scale == 0)
        return {};
    char pixels[32];
    std::snprintf(pixels, sizeof pixels, "%g", double(block) / double(scale));
    std::string text = wtrPath + ": blocks of " + std::to_string(block) + " cells at scale " + std::to_string(scale) +
                       " are " + pixels +
                       " water-image pixels, not a whole number: rows and columns of the water image stay undrawn "
                       "between blocks and shorelines will run along them; ";
    const long width = mask.getXRes();
    const long height = mask.getZRes();
    if (const int fitting = FittingBlockSize(width, height, scale); fitting > 0)
        return text + "encoding the mask's image again with wtr-encode --scale " + std::to_string(scale) +
               " (blocks of " + std::to_string(fitting) + " cells for its " + std::to_string(width) + " x " +
               std::to_string(height) + ") avoids it";
    return text + MaskSideProblem(width, height, scale).message;
}

JobResult RunBanksJob(const BanksJob& job, IMessageSink& messages, BanksResult* generated)
{
    // The desktop's pages check their fields before a run, in the words of their dialogs.
    if (!job.desktop)
    {
        if (JobResult fields = CheckJobFields(kBanksFields, job.settings, false); !fields.ok())
            return StopJob(fields, messages);
        if (JobResult files = CheckJobFiles({job.wtr}, {job.output, job.preview}); !files.ok())
            return StopJob(files, messages);
        if (Status opened = UnopenedInput(job.wtr, kCannotOpenWtrCaption); !opened)
            return StopJob(JobFailure(JobStatus::failed, std::move(opened.message)), messages);
    }
    BanksSettings settings = job.settings;
    if (job.prepare)
    {
        if (JobResult prepared = job.prepare(settings); !prepared.ok())
            return StopJob(prepared, messages);
        if (JobResult fields = CheckJobFields(kBanksFields, settings, job.desktop); !fields.ok())
            return StopJob(fields, messages);
    }

    JobResult result;
    if (!job.desktop)
        if (std::string gaps = BlockGapWarning(job.wtr, settings.resolutionScale); !gaps.empty())
            result.warnings.push_back(std::move(gaps));
    BanksResult local;
    BanksResult& run = generated ? *generated : local;
    FirstMessage shown(messages);
    run = GenerateShorelines(job.wtr, settings, shown);
    if (!run.status)
    {
        result.status = JobStatus::failed;
        result.message = shown.first.empty() ? run.status.message : shown.first;
        return result;
    }
    const BanksTimings& t = run.timings;
    result.timings = {{"loadAndDraw", t.loadAndDraw}, {"filter", t.filter}, {"trace", t.trace}, {"refine", t.refine}};
    if (job.output.empty())
        return result;

    const auto writeStart = std::chrono::steady_clock::now();
    if (const Status written = WriteShorelineFile(job.output, run.lines); !written)
    {
        result.status = JobStatus::failed;
        result.message = OutputFailure(job.output, written.message);
        return StopJob(result, messages);
    }
    result.timings.push_back({"write", SecondsSince(writeStart)});
    result.outputs.push_back({"shorelines", job.output});
    if (!job.preview.empty() && job.writePreview)
    {
        if (Status written = job.writePreview(job.preview, run); !written)
        {
            result.status = JobStatus::failed;
            result.message = std::move(written.message);
            return StopJob(result, messages);
        }
        result.outputs.push_back({"preview", job.preview});
    }
    return result;
}

Status SaveShorelines(const std::string& path, const ShorelineSet& lines, const std::vector<std::string>& inputs)
{
    if (Status same = SameFileProblem(inputs, {path}); !same)
        return same;
    return WriteShorelineFile(path, lines);
}
