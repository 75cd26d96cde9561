#include "cliff/CliffJob.h"

#include "base/JobFiles.h"

#include <chrono>

JobResult RunCliffJob(const CliffJob& job, IProgressSink& progress, IMessageSink& messages)
{
    // The desktop's pages check their fields before a run, in the words of their dialogs.
    if (!job.desktop)
    {
        if (JobResult fields = CheckJobFields(kCliffFields, job.settings, false); !fields.ok())
            return StopJob(fields, messages);
        if (JobResult files = CheckJobFiles({job.dat}, {job.bmp}); !files.ok())
            return StopJob(files, messages);
        if (Status opened = UnopenedInput(job.dat, "Can not open height DAT file"); !opened)
            return StopJob(JobFailure(JobStatus::failed, std::move(opened.message)), messages);
    }
    if (job.prepare)
        if (JobResult prepared = job.prepare(); !prepared.ok())
            return StopJob(prepared, messages);

    const auto start = std::chrono::steady_clock::now();
    std::string written = job.bmp;
    // A chosen bitmap is checked once it is known, as the command line's was before the run.
    std::string sameFile;
    const Status status = !job.choose ? ExportCliffBitmap(job.dat, job.bmp, job.settings, progress)
                                      : ExportCliffBitmap(
                                            job.dat,
                                            [&]() -> std::optional<std::string>
                                            {
                                                std::optional<std::string> target = job.choose();
                                                written = target.value_or(std::string());
                                                if (target)
                                                    sameFile = SameFileProblem({job.dat}, {*target}).message;
                                                return sameFile.empty() ? target : std::nullopt;
                                            },
                                            job.settings, progress);
    if (!sameFile.empty())
        return StopJob(JobFailure(JobStatus::refused, sameFile), messages);
    if (!status)
    {
        JobResult failure = JobFailure(JobStatus::failed, status.message);
        if (!job.desktop)
        {
            if (status.code == StatusCode::writeFailed)
                failure.message = OutputFailure(written, "Can not write cliff bitmap");
            return StopJob(failure, messages);
        }
        if (status.code == StatusCode::tooLarge)
            messages.show("Not enough memory for a cliff mask of this size", kAppName);
        return failure;
    }
    JobResult result;
    result.outputs.push_back({"mask", written});
    result.timings.push_back({"total", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
    return result;
}
