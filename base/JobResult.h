#pragma once
// What every job answers, whoever runs it: the command line maps the status to its exit code and
// prints the warnings, the batch maps it to the job's report line, the pages pass over what their
// dialogs do not show. Each job has one entry that checks its settings and files and then runs it
// (heightproc/ProcessJob.h, banks/BanksJob.h, cliff/CliffJob.h).
#include "base/JobFields.h"
#include "base/Sinks.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

enum class JobStatus
{
    ok,
    refused, // settings or files the job will not take: nothing was read or written
    failed,  // an input could not be used, or the job itself failed
};

struct JobOutput
{
    std::string role; // "height", "water", "shorelines", "preview", "mask"
    std::string path;
};

struct JobTiming
{
    std::string step; // "read", "lever", "trace", ...
    double seconds = 0;
};

struct JobResult
{
    JobStatus status = JobStatus::ok;
    std::string message; // why the job did not succeed; already shown through the job's message sink
    std::vector<std::string> warnings;
    std::vector<JobOutput> outputs; // the files written, in the order they were written
    std::vector<JobTiming> timings;

    bool ok() const { return status == JobStatus::ok; }
    // The path written in `role`, or empty.
    std::string output(std::string_view role) const
    {
        for (const JobOutput& written : outputs)
            if (written.role == role)
                return written.path;
        return {};
    }
    // The seconds of `step`, 0 when it did not run.
    double seconds(std::string_view step) const
    {
        for (const JobTiming& timing : timings)
            if (timing.step == step)
                return timing.seconds;
        return 0;
    }
};

// Shows the result's message as the job's own (caption kAppName) and answers the result: how a
// job entry stops before its work.
inline JobResult StopJob(JobResult result, IMessageSink& messages)
{
    messages.show(result.message, kAppName);
    return result;
}

inline JobResult JobFailure(JobStatus status, std::string message)
{
    JobResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

// The first field outside its range as a refusal ("width: 5 is outside the range 256..20000"),
// or ok. `desktop` leaves out the ranges only the command line enforces.
template <typename Settings, std::size_t N>
JobResult CheckJobFields(const JobField<Settings> (&table)[N], const Settings& settings, bool desktop)
{
    if (const JobField<Settings>* field = FirstFieldOutOfRange(table, settings, desktop))
        return JobFailure(JobStatus::refused,
                          std::string(field->option) + ": " + CheckField(*field, field->get(settings)).message);
    return {};
}
