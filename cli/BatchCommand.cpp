// batch: runs the jobs of a manifest (docs/BATCH.md) one after the other, going on past a failed
// job, and reports each; with --shard K/N only the K-th of N slices of them. Exit status 1 when
// any job failed, 2 when the manifest or the slice is not valid.
#include "banks/GenerateShorelines.h"
#include "tools/PreviewRender.h"
#include "banks/ShorelineFile.h"
#include "cli/BatchManifest.h"
#include "cli/CliSupport.h"
#include "cli/PreviewCommand.h"
#include "cli/RawGeoReference.h"
#include "tools/MapSidecar.h"
#include "cliff/CliffExport.h"
#include "heightproc/Process.h"

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

// Prints each message at once, named after its job, and keeps the first as the job's reason.
class JobMessages final : public IMessageSink
{
public:
    explicit JobMessages(std::string job) : m_job(std::move(job)) {}
    void show(const std::string& text, const std::string& caption) override
    {
        // The desktop shows some texts (a path) under a caption that says what went wrong.
        const std::string line = caption.empty() || caption == kAppName ? text : caption + ": " + text;
        PrintError(m_job + ": " + line);
        if (first.empty())
            first = line;
    }
    std::string first;

private:
    std::string m_job;
};

std::string Written(const std::string& path)
{
    return path + " (" + FormatBytes(FileSize(path)) + ")";
}

JobOutcome RunMapJob(const BatchJob& job, const std::string& label, const CliContext& context)
{
    JobMessages messages(label);
    ProcessSettings settings = job.process;
    const RawGeoReference geo = ApplyRawGeoReference(job.raw, settings, job.pixelSizeSet);
    ProcessResult result;
    {
        TerminalProgress progress(label, context.quiet);
        result = RunProcess(job.raw, settings, progress, messages);
    }
    result.warnings.insert(result.warnings.end(), geo.warnings.begin(), geo.warnings.end());
    std::string sidecarError;
    if (result.heightWritten && !WriteRawGeoReference(geo, result.heightDatPath, settings, job.raw, sidecarError))
        result.warnings.push_back(sidecarError + "; the height file has no georeference beside it");
    for (const std::string& warning : result.warnings)
        PrintWarning(label + ": " + warning);
    if (!result.success)
        return {false, messages.first.empty() ? "the map was not processed" : messages.first};
    if (!result.heightWritten)
        return {false, result.heightDatPath + ": cannot write the file"};
    std::string detail = "wrote ";
    if (result.waterWritten)
        detail += Written(result.waterDatPath) + ", ";
    detail += Written(result.heightDatPath);
    if (geo.found && sidecarError.empty())
        detail += ", " + MapSidecarPath(result.heightDatPath);
    return {true, detail, result.warnings.size()};
}

JobOutcome RunBanksJob(const BatchJob& job, const std::string& label)
{
    if (const std::string problem = CheckBanksSettings(job.banks); !problem.empty())
        return {false, problem};
    JobMessages messages(label);
    const BanksResult result = GenerateShorelines(job.wtr, job.banks, messages);
    if (result.status != BanksStatus::ok)
        return {false, messages.first.empty() ? BanksStatusMessage(result.status) : messages.first};
    if (const BanksStatus status = WriteShorelineFile(job.output, result.lines); status != BanksStatus::ok)
        return {false, job.output + ": " + BanksStatusMessage(status)};
    std::string detail = "wrote " + Written(job.output) + ", " + std::to_string(result.lines.size()) + " lines, " +
                         std::to_string(CountShorePoints(result.lines)) + " points";
    if (!job.bankPreview.empty())
    {
        if (!SavePreviewPng(job.bankPreview, result.filtered, result.lines, double(result.metresPerPixel)))
            return {false, job.bankPreview + ": cannot write the preview"};
        detail += ", " + Written(job.bankPreview);
    }
    return {true, detail};
}

JobOutcome RunCliffJob(const BatchJob& job, const std::string& label, const CliContext& context)
{
    CliffStatus status;
    {
        TerminalProgress progress(label, context.quiet);
        status = ExportCliffBitmap(job.dat, job.output, job.cliff, progress);
    }
    if (status != CliffStatus::Written)
        return {false, CliffStatusMessage(status, job.dat, job.output)};
    return {true, "wrote " + Written(job.output)};
}

JobOutcome RunPreviewJob(const BatchJob& job, const CliContext& context)
{
    PreviewOptions options;
    options.dat = job.dat;
    options.png = job.output;
    options.mode = job.mode;
    options.terrain = job.terrain;
    options.settings = job.relief;
    // The preview prints its own failure; its summary line would repeat the batch's.
    options.summary = false;
    if (RunPreview(options, context) != kExitOk)
        return {false, "no picture written (see the message above)"};
    return {true, "wrote " + Written(job.output)};
}

JobOutcome RunJob(const BatchJob& job, const std::string& label, const CliContext& context)
{
    try
    {
        switch (job.kind)
        {
        case BatchJobKind::Map:
            return RunMapJob(job, label, context);
        case BatchJobKind::Banks:
            return RunBanksJob(job, label);
        case BatchJobKind::Cliff:
            return RunCliffJob(job, label, context);
        case BatchJobKind::Preview:
            return RunPreviewJob(job, context);
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
    command->add_option("--shard", options->shard,
                        "run only the K-th of N slices of the jobs (K/N, K from 1); jobs reading a map's output "
                        "stay in its slice");
    command->callback([options, &context] { context.exitCode = RunBatch(*options, context); });
}
