// batch: runs the jobs of a manifest (docs/BATCH.md) one after the other, going on past a failed
// job (skipping the jobs that read its output), and reports each; with --shard K/N only the K-th
// of N slices of them. Exit status 1 when any job failed, 2 when the manifest or the slice is not
// valid.
#include "banks/ShorelineFile.h"
#include "cli/BatchManifest.h"
#include "cli/CliSupport.h"
#include "tools/ExportJob.h"
#include "tools/ImportJob.h"

#include <algorithm>
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
    std::string detail;       // what was written, or why the job failed
    std::size_t warnings = 0; // printed above the job's line; a job with warnings is not plain "ok"
};

// Where a line on stderr comes from: "shard K/N: " in a slice, then the job ("map north"), so
// that the mixed logs of a scheduler's tasks still say which slice and job each line is about.
struct JobVoice
{
    std::string where;

    void error(const std::string& text) const { PrintError(where + ": " + text); }
    void warning(const std::string& text) const { PrintError(where + ": warning: " + text); }
    // As the warnings' sink of a job's run.
    void operator()(const std::string& text) const { warning(text); }
};

// Prints each message at once, named after its job; the job's answer keeps the first.
class JobMessages final : public IMessageSink
{
public:
    explicit JobMessages(const JobVoice& voice) : m_voice(voice) {}
    void show(const std::string& text, const std::string& caption) override
    {
        // The desktop shows some texts (a path) under a caption that says what went wrong.
        m_voice.error(caption.empty() || caption == kAppName ? text : caption + ": " + text);
    }

private:
    const JobVoice& m_voice;
};

std::string Written(const std::string& path)
{
    return path + " (" + FormatBytes(FileSize(path)) + ")";
}

// A job's answer as its report line; the warnings are printed above it.
JobOutcome Outcome(const JobResult& result, const JobVoice& voice, std::string detail)
{
    for (const std::string& warning : result.warnings)
        voice.warning(warning);
    if (!result.ok())
        return {false, result.message};
    return {true, std::move(detail), result.warnings.size()};
}

JobOutcome MapOutcome(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    JobMessages messages(voice);
    // A lever or mask that cannot be used fails the map, as it fails `process`, unless the job
    // asks to skip its stage.
    ProcessRequest request = job.map;
    ProcessRun run;
    run.keepGoingName = "keep-going = yes";
    JobResult result;
    {
        TerminalProgress progress(voice.where, context.quiet);
        result = RunProcessRequest(request, progress, messages, run);
    }
    const RawMapHeader& header = request.header;
    result.warnings.insert(result.warnings.begin(), header.early.begin(), header.early.end());
    std::string detail = "wrote ";
    if (const std::string water = result.output("water"); !water.empty())
        detail += Written(water) + ", ";
    detail += Written(result.output("height"));
    if (!header.sidecar.empty())
        detail += ", " + header.sidecar;
    if (!header.sizeSource.empty())
        detail += ", " + std::to_string(header.used.rawWidth) + " x " + std::to_string(header.used.rawHeight) +
                  " from " + header.sizeSource;
    return Outcome(result, voice, detail);
}

JobOutcome BanksOutcome(const BatchJob& job, const JobVoice& voice)
{
    JobMessages messages(voice);
    BanksAnswer answer;
    const BanksRequest& request = job.banks;
    const JobResult result = RunBanksRequest(request, messages, voice, answer);
    if (answer.vectorFailed)
        voice.error(result.message);
    std::string detail = "wrote " + Written(request.output) + ", " + std::to_string(answer.generated.lines.size()) +
                         " lines, " + std::to_string(CountShorePoints(answer.generated.lines)) + " points";
    for (const std::string* also : {&request.preview, &request.vector})
        if (!also->empty())
            detail += ", " + Written(*also);
    return Outcome(result, voice, detail);
}

JobOutcome CliffOutcome(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    // The map's own height scale unless the job gives one, as the cliff command chooses it.
    CliffRequest request = job.cliff;
    CliffAnswer answer;
    JobMessages messages(voice);
    JobResult result;
    {
        TerminalProgress progress(voice.where, context.quiet);
        result = RunCliffRequest(request, progress, messages, voice, answer);
    }
    return Outcome(result, voice, "wrote " + Written(request.output));
}

JobOutcome PreviewOutcome(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    JobMessages messages(voice);
    JobResult result;
    {
        TerminalProgress progress(voice.where, context.quiet);
        result = RunPreviewJob(job.preview, progress, messages);
    }
    return Outcome(result, voice, "wrote " + Written(job.preview.output));
}

JobOutcome ImportOutcome(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    JobMessages messages(voice);
    const ImportRequest& request = job.importRequest;
    ImportSummary summary;
    JobResult result;
    {
        TerminalProgress progress(voice.where, context.quiet);
        progress.setWork(double(FileSize(request.input)), "B");
        result = RunImportJob(request, progress, messages, &summary);
    }
    std::string detail = "wrote " + Written(request.output) + ", " + std::to_string(summary.image.width) + " x " +
                         std::to_string(summary.image.height) + ", " + result.output("header");
    if (!summary.mask.empty())
        detail += ", " + summary.mask;
    return Outcome(result, voice, detail);
}

JobOutcome ExportOutcome(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    JobMessages messages(voice);
    JobResult result;
    {
        TerminalProgress progress(voice.where, context.quiet);
        progress.setWork(double(FileSize(job.exportRequest.input)), "B");
        result = RunExportJob(job.exportRequest, progress, messages);
    }
    return Outcome(result, voice, "wrote " + Written(job.exportRequest.output));
}

JobOutcome RunJob(const BatchJob& job, const JobVoice& voice, const CliContext& context)
{
    try
    {
        switch (job.kind)
        {
        case BatchJobKind::Map:
            return MapOutcome(job, voice, context);
        case BatchJobKind::Banks:
            return BanksOutcome(job, voice);
        case BatchJobKind::Cliff:
            return CliffOutcome(job, voice, context);
        case BatchJobKind::Preview:
            return PreviewOutcome(job, voice, context);
        case BatchJobKind::Import:
            return ImportOutcome(job, voice, context);
        case BatchJobKind::Export:
            return ExportOutcome(job, voice, context);
        }
    }
    catch (const std::bad_alloc&)
    {
        voice.error("not enough memory for this job");
        return {false, "not enough memory for this job"};
    }
    return {false, "unknown job"};
}

std::string LabelOf(const BatchJob& job)
{
    return std::string(BatchJobKindName(job.kind)) + " " + job.name;
}

// A report line, and flushed at once: stdout and stderr often share one log (a scheduler's),
// where each line must land in the order it happened.
void ReportLine(const std::string& prefix, const std::string& text)
{
    std::printf("%s%s\n", prefix.c_str(), text.c_str());
    std::fflush(stdout);
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

int RunBatch(const BatchOptions& options, const CliContext& context)
{
    BatchShard shard;
    if (!options.shard.empty())
    {
        const StatusOr<BatchShard> parsed = ParseBatchShard(options.shard);
        if (!parsed)
        {
            PrintError("--shard: " + parsed.status.message);
            return kExitBadArguments;
        }
        shard = *parsed;
    }
    const bool sharded = !options.shard.empty();
    // Every line of a slice names it, so that the logs of N machines can be told apart.
    const std::string prefix =
        sharded ? "shard " + std::to_string(shard.index) + "/" + std::to_string(shard.count) + ": " : std::string();
    const StatusOr<BatchManifest> loaded = LoadBatchManifest(options.manifest);
    if (!loaded)
    {
        PrintError(prefix + loaded.status.message);
        return kExitBadArguments;
    }
    const BatchManifest& manifest = *loaded;
    const std::vector<std::size_t> jobs = sharded ? BatchShardJobs(manifest, shard) : BatchRunOrder(manifest);
    const std::size_t count = jobs.size();
    if (sharded)
        ReportLine(prefix, "batch: " + std::to_string(count) + " of the manifest's " +
                               std::to_string(manifest.jobs.size()) + " jobs");
    const auto numbered = [count](std::size_t i)
    { return "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "] "; };
    if (options.check)
    {
        ReportLine(prefix, options.manifest + ": " + std::to_string(manifest.jobs.size()) + " jobs");
        for (std::size_t i = 0; i < count; ++i)
        {
            const BatchJob& job = manifest.jobs[jobs[i]];
            ReportLine(prefix, numbered(i) + LabelOf(job) + " (line " + std::to_string(job.line) + ")");
        }
        return kExitOk;
    }
    enum class State
    {
        notRun,
        ok,
        failed,
        skipped,
    };
    std::vector<State> states(manifest.jobs.size(), State::notRun);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> failed;
    std::vector<std::string> skipped;
    std::size_t warned = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const BatchJob& job = manifest.jobs[jobs[i]];
        const std::string label = LabelOf(job);
        // A job whose input a failed job was to write would read an older file, or none: it is
        // skipped, and so are the jobs that read its own output.
        const auto lost =
            std::find_if(job.reads.begin(), job.reads.end(),
                         [&](const BatchJob::Input& input)
                         { return states[input.job] == State::failed || states[input.job] == State::skipped; });
        if (lost != job.reads.end())
        {
            states[jobs[i]] = State::skipped;
            skipped.push_back(label);
            ReportLine(prefix, numbered(i) + label + ": SKIPPED: reads " + lost->path + " from " +
                                   LabelOf(manifest.jobs[lost->job]) +
                                   (states[lost->job] == State::failed ? ", which failed" : ", which was skipped"));
            continue;
        }
        const auto jobStart = std::chrono::steady_clock::now();
        const JobOutcome outcome = RunJob(job, JobVoice{prefix + label}, context);
        states[jobs[i]] = outcome.ok ? State::ok : State::failed;
        if (!outcome.ok)
            failed.push_back(label);
        const std::string state = !outcome.ok             ? "FAILED"
                                  : outcome.warnings == 0 ? "ok"
                                                          : "ok with " + std::to_string(outcome.warnings) +
                                                                (outcome.warnings == 1 ? " warning" : " warnings");
        warned += outcome.ok && outcome.warnings > 0 ? 1 : 0;
        ReportLine(prefix,
                   numbered(i) + label + ": " + state + ": " + outcome.detail + ", " + Seconds(SecondsSince(jobStart)));
    }
    std::string summary = "batch: " + std::to_string(count - failed.size() - skipped.size()) + " of " +
                          std::to_string(count) + " jobs succeeded";
    if (warned > 0)
        summary += " (" + std::to_string(warned) + " with warnings)";
    summary += ", " + Seconds(SecondsSince(start));
    for (const auto& [title, labels] : {std::pair{"; failed: ", &failed}, {"; skipped: ", &skipped}})
        for (std::size_t i = 0; i < labels->size(); ++i)
            summary += (i == 0 ? title : ", ") + (*labels)[i];
    ReportLine(prefix, summary);
    return failed.empty() && skipped.empty() ? kExitOk : kExitJobFailed;
}

} // namespace

void RegisterBatchCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = app.add_subcommand(
        "batch",
        "Run the map, banks, cliff, preview, import and export jobs listed in a manifest (docs/BATCH.md), going on "
        "past failures and skipping the jobs that read a failed job's output");
    command->add_option("MANIFEST", options->manifest, "INI manifest listing the jobs and their settings")->required();
    command->add_flag("--check", options->check, "only check the manifest and list its jobs");
    command
        ->add_option("--shard", options->shard,
                     "run only the K-th of N slices of the jobs, K from 1; a job reading another's output stays "
                     "in its slice")
        ->type_name("K/N");
    command->callback([options, &context] { context.exitCode = RunBatch(*options, context); });
}
