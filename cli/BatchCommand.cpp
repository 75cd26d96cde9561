// batch: runs the jobs of a manifest (docs/BATCH.md) one after the other, going on past a failed
// job, and reports each; with --shard K/N only the K-th of N slices of them. Exit status 1 when
// any job failed, 2 when the manifest or the slice is not valid.
#include "banks/BanksJob.h"
#include "banks/ShorelineFile.h"
#include "base/JobFiles.h"
#include "tools/PreviewJob.h"
#include "tools/PreviewRender.h"
#include "cli/BatchManifest.h"
#include "cli/CliSupport.h"
#include "tools/RawMap.h"
#include "cliff/CliffJob.h"
#include "heightproc/ProcessJob.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{

struct BatchOptions
{
    std::string manifest;
    bool check = false;
    std::string shard; // "K/N"; empty: every job
};

struct JobOutcome
{
    bool ok = false;
    std::string detail; // what was written, or why the job failed
    std::size_t warnings = 0; // printed above the job's line; a job with warnings is not plain "ok"
};

// Prints each message at once, named after its job; the job's answer keeps the first.
class JobMessages final : public IMessageSink
{
public:
    explicit JobMessages(std::string job) : m_job(std::move(job)) {}
    void show(const std::string& text, const std::string& caption) override
    {
        // The desktop shows some texts (a path) under a caption that says what went wrong.
        PrintError(m_job + ": " + (caption.empty() || caption == kAppName ? text : caption + ": " + text));
    }

private:
    std::string m_job;
};

std::string Written(const std::string& path)
{
    return path + " (" + FormatBytes(FileSize(path)) + ")";
}

// A job's answer as its report line; the warnings are printed above it.
JobOutcome Outcome(const JobResult& result, const std::string& label, std::string detail)
{
    for (const std::string& warning : result.warnings)
        PrintWarning(label + ": " + warning);
    if (!result.ok())
        return {false, result.message};
    return {true, std::move(detail), result.warnings.size()};
}

JobOutcome MapOutcome(const BatchJob& job, const std::string& label, const CliContext& context)
{
    JobMessages messages(label);
    // As the desktop does, a lever or mask that cannot be used skips its stage with a warning.
    ProcessJob process(job.raw, job.process);
    process.keepGoing = true;
    RawMapHeader header;
    header.inferSize = false;
    header.pixelSizeGiven = job.pixelSizeSet;
    AttachRawMapHeader(process, header);
    JobResult result;
    {
        TerminalProgress progress(label, context.quiet);
        result = RunProcessJob(process, progress, messages);
    }
    FinishRawMap(process, header, result);
    const std::string height = result.output("height");
    std::string detail = "wrote ";
    if (const std::string water = result.output("water"); !water.empty())
        detail += Written(water) + ", ";
    detail += Written(height);
    if (!header.sidecar.empty())
        detail += ", " + header.sidecar;
    return Outcome(result, label, detail);
}

JobOutcome BanksOutcome(const BatchJob& job, const std::string& label)
{
    JobMessages messages(label);
    BanksJob banks(job.wtr, job.banks, job.output, job.bankPreview);
    banks.writePreview = WriteBanksPreview;
    BanksResult generated;
    const JobResult result = RunBanksJob(banks, messages, &generated);
    std::string detail = "wrote " + Written(job.output) + ", " + std::to_string(generated.lines.size()) + " lines, " +
                         std::to_string(CountShorePoints(generated.lines)) + " points";
    if (!job.bankPreview.empty())
        detail += ", " + Written(job.bankPreview);
    return Outcome(result, label, detail);
}

JobOutcome CliffOutcome(const BatchJob& job, const std::string& label, const CliContext& context)
{
    JobMessages messages(label);
    JobResult result;
    {
        TerminalProgress progress(label, context.quiet);
        CliffJob cliff(job.dat, job.cliff, job.output);
        // The batch writes the bitmap; a GeoTIFF mask is the cliff command's.
        cliff.prepare = [&job]
        {
            if (std::string problem = OutputNameProblem(job.output, "an 8-bit BMP (cliff -o X.tif makes a GeoTIFF)",
                                                        {".bmp"});
                !problem.empty())
                return JobFailure(JobStatus::refused, problem);
            return JobResult{};
        };
        result = RunCliffJob(cliff, progress, messages);
    }
    return Outcome(result, label, "wrote " + Written(job.output));
}

JobOutcome PreviewOutcome(const BatchJob& job, const std::string& label, const CliContext& context)
{
    JobMessages messages(label);
    PreviewJob preview;
    preview.dat = job.dat;
    preview.output = job.output;
    preview.mode = job.mode;
    preview.terrain = job.terrain;
    preview.settings = job.relief;
    JobResult result;
    {
        TerminalProgress progress(label, context.quiet);
        result = RunPreviewJob(preview, progress, messages);
    }
    return Outcome(result, label, "wrote " + Written(job.output));
}

JobOutcome RunJob(const BatchJob& job, const std::string& label, const CliContext& context)
{
    try
    {
        switch (job.kind)
        {
        case BatchJobKind::Map:
            return MapOutcome(job, label, context);
        case BatchJobKind::Banks:
            return BanksOutcome(job, label);
        case BatchJobKind::Cliff:
            return CliffOutcome(job, label, context);
        case BatchJobKind::Preview:
            return PreviewOutcome(job, label, context);
        }
    }
    catch (const std::bad_alloc&)
    {
        PrintError(label + ": not enough memory for this job");
        return {false, "not enough memory for this job"};
    }
    return {false, "unknown job"};
}

int RunBatch(const BatchOptions& options, const CliContext& context)
{
    BatchShard shard;
    std::string error;
    if (!options.shard.empty() && !ParseBatchShard(options.shard, shard, error))
    {
        PrintError("--shard: " + error);
        return kExitBadArguments;
    }
    BatchManifest manifest;
    if (!LoadBatchManifest(options.manifest, manifest, error))
    {
        PrintError(error);
        return kExitBadArguments;
    }
    const bool sharded = !options.shard.empty();
    const std::vector<std::size_t> jobs = sharded ? BatchShardJobs(manifest, shard) : BatchRunOrder(manifest);
    const std::size_t count = jobs.size();
    // Every report line of a slice names it, so that the logs of N machines can be told apart.
    const std::string prefix =
        sharded ? "shard " + std::to_string(shard.index) + "/" + std::to_string(shard.count) + ": " : std::string();
    if (sharded)
        std::printf("batch: %s%zu of the manifest's %zu jobs\n", prefix.c_str(), count, manifest.jobs.size());
    if (options.check)
    {
        std::printf("%s: %zu jobs\n", options.manifest.c_str(), manifest.jobs.size());
        for (std::size_t i = 0; i < count; ++i)
        {
            const BatchJob& job = manifest.jobs[jobs[i]];
            std::printf("[%zu/%zu] %s %s (line %d)\n", i + 1, count, BatchJobKindName(job.kind), job.name.c_str(),
                        job.line);
        }
        return kExitOk;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> failed;
    std::size_t warned = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const BatchJob& job = manifest.jobs[jobs[i]];
        const std::string label = std::string(BatchJobKindName(job.kind)) + " " + job.name;
        const auto jobStart = std::chrono::steady_clock::now();
        const JobOutcome outcome = RunJob(job, label, context);
        if (!outcome.ok)
            failed.push_back(label);
        const std::string state = !outcome.ok             ? "FAILED"
                                  : outcome.warnings == 0 ? "ok"
                                                          : "ok with " + std::to_string(outcome.warnings) +
                                                                (outcome.warnings == 1 ? " warning" : " warnings");
        warned += outcome.ok && outcome.warnings > 0 ? 1 : 0;
        std::printf("[%zu/%zu] %s: %s: %s, %.2f s\n", i + 1, count, label.c_str(), state.c_str(),
                    outcome.detail.c_str(), SecondsSince(jobStart));
        std::fflush(stdout);
    }
    std::printf("batch: %s%zu of %zu jobs succeeded", prefix.c_str(), count - failed.size(), count);
    if (warned > 0)
        std::printf(" (%zu with warnings)", warned);
    std::printf(", %.2f s", SecondsSince(start));
    for (std::size_t i = 0; i < failed.size(); ++i)
        std::printf("%s%s", i == 0 ? "; failed: " : ", ", failed[i].c_str());
    std::printf("\n");
    return failed.empty() ? kExitOk : kExitJobFailed;
}

} // namespace

void RegisterBatchCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = app.add_subcommand(
        "batch",
        "Run the map, banks, cliff and preview jobs listed in a manifest (docs/BATCH.md), going on past failures");
    command->add_option("MANIFEST", options->manifest, "INI manifest listing the jobs and their settings")->required();
    command->add_flag("--check", options->check, "only check the manifest and list its jobs");
    command
        ->add_option("--shard", options->shard,
                     "run only the K-th of N slices of the jobs, K from 1; jobs reading a map's output stay in "
                     "its slice")
        ->type_name("K/N");
    command->callback([options, &context] { context.exitCode = RunBatch(*options, context); });
}
