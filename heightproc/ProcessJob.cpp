#include "heightproc/ProcessJob.h"

#include "base/JobFiles.h"
#include "heightproc/Lever.h"
#include "heightproc/Process.h"
#include "heightproc/Water.h"
#include "support/BitMask.h"
#include "support/MaskFit.h"
#include "support/Bitmap.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace
{
// Whether the lever bitmap can be used for this map; only the headers are read. The desktop
// tells of a lever of the wrong size itself (invalidSettings: the bitmap does not fit this map);
// every other problem of a stage's file is the job's to report when the stage is skipped.
Status LeverProblem(const std::string& path, const ProcessSettings& settings)
{
    BmpReader reader;
    if (Status opened = reader.open(path.c_str()); !opened)
        return {opened.code, path + ": not a usable lever bitmap: " + opened.message};
    if (reader.width() != settings.rawWidth || reader.height() != settings.rawHeight)
        return {StatusCode::invalidSettings,
                path + ": " + kLeverSizeMessage + " (the bitmap is " + std::to_string(reader.width()) + " x " +
                    std::to_string(reader.height()) + ", the map " + std::to_string(settings.rawWidth) + " x " +
                    std::to_string(settings.rawHeight) + ")"};
    return Ok();
}

// Whether the water mask can be used. Every block is decoded, so that a damaged block is found
// before the height file is written rather than after.
Status WaterProblem(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {StatusCode::cannotOpen, path + ": cannot open the water mask: " + std::strerror(errno)};
    std::fclose(file);
    CBitMask mask(1);
    if (!mask.load(path))
        return {StatusCode::invalidInput, path + ": Invalid WTR file (not a valid water mask)"};
    for (long bz = 0; bz < mask.getZBlocks(); ++bz)
        for (long bx = 0; bx < mask.getXBlocks(); ++bx)
            mask.decodeBlock(bx, bz);
    if (mask.corruptBlocks() > 0)
        return {StatusCode::invalidInput,
                path + ": Invalid WTR file (" + std::to_string(mask.corruptBlocks()) + " corrupt blocks)"};
    return Ok();
}

// A warning when the mask does not cover the map at this scale the way the water stage places
// its blocks (see MeasureWaterPlacement), or empty. Blocks outside the map are skipped and a
// map beyond the mask gets no water from it: both give water that looks plausible and is not.
std::string WaterFitWarning(const std::string& path, const ProcessSettings& settings)
{
    CBitMask mask(1);
    if (!mask.load(path))
        return {};
    const int scale = int(settings.resolutionScale);
    const int width = settings.rawWidth;
    const int height = settings.rawHeight;
    const auto measure = [&](int s)
    { return MeasureWaterPlacement(mask.getXBlocks(), mask.getZBlocks(), int(mask.m_blockSize), width, height, s); };
    const WaterPlacement placement = measure(scale);
    if (placement.fits(width))
        return {};
    std::string text = path + ": the water mask of " + std::to_string(mask.getXRes()) + " x " +
                       std::to_string(mask.getZRes()) + " cells does not cover the " + std::to_string(width) + " x " +
                       std::to_string(height) + " map at scale " + std::to_string(scale) + ":";
    if (placement.skipped > 0)
        text += " " + std::to_string(placement.skipped) + " of its " +
                std::to_string(placement.skipped + placement.placed) + " blocks fall outside the map and are skipped;";
    if (placement.top > 0 || placement.right < width - 2)
        text += " the map's top " + std::to_string(std::max(placement.top, 0)) + " rows and right " +
                std::to_string(std::max(width - 1 - placement.right, 0)) + " columns get no water from it;";
    const long block = long(mask.m_blockSize);
    const long fitWidth = MaskSideForMap(width, scale);
    const long fitHeight = MaskSideForMap(height, scale);
    if (mask.getXRes() == fitWidth && mask.getZRes() == fitHeight)
    {
        // The size is right; only the blocks are not: say so, and which blocks fit.
        text += " the mask has the size that fits, but its blocks of " + std::to_string(block) +
                " cells do not place it on the map (a block must be a multiple of the scale and divide the mask's "
                "sides); wtr-encode --scale " + std::to_string(scale) + " gives it blocks of " +
                std::to_string(FittingBlockSize(fitWidth, fitHeight, scale)) + " cells, which do";
        return text;
    }
    text += " at this scale a mask of " + std::to_string(fitWidth) + " x " + std::to_string(fitHeight) +
            " cells fits the map (wtr-encode --scale " + std::to_string(scale) + " makes its blocks)";
    const JobField<ProcessSettings>& field = ProcessField("resolutionScale");
    for (int s = int(field.range.min); s <= int(field.range.max); ++s)
        if (measure(s).fits(width))
        {
            text += ", and this mask fits it at --scale " + std::to_string(s);
            break;
        }
    return text;
}

// The desktop's message for a RAW of the wrong size, completed with the numbers. A RAW that
// cannot be opened is left to RunProcess, whose message says so.
JobResult CheckRawSize(const std::string& raw, const ProcessSettings& settings)
{
    struct stat info{};
    if (::stat(raw.c_str(), &info) != 0)
        return {};
    const auto bytes = static_cast<unsigned long long>(info.st_size);
    const unsigned long long expected = 2ull * unsigned(settings.rawWidth) * unsigned(settings.rawHeight);
    if (bytes == expected)
        return {};
    const unsigned long long side = SquareSideWithin(bytes);
    return JobFailure(JobStatus::failed,
                      raw + ": Incorrect file size for the given WIDTH x HEIGHT, 16 BIT RAW (the file has " +
                          std::to_string(bytes) + " bytes, " + std::to_string(settings.rawWidth) + " x " +
                          std::to_string(settings.rawHeight) + " takes " + std::to_string(expected) +
                          "; the largest square map it holds is " + std::to_string(side) + " x " +
                          std::to_string(side) + ", " + std::to_string(2 * side * side) + " bytes)");
}

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

std::vector<std::string> ProcessJobInputs(const ProcessJob& job)
{
    std::vector<std::string> inputs{job.raw};
    for (const std::string* input : {&job.settings.leverPath, &job.settings.waterPath})
        if (!input->empty())
            inputs.push_back(*input);
    return inputs;
}

std::vector<std::string> ProcessJobOutputs(const ProcessJob& job)
{
    const std::string base = job.outputBase.empty() ? BaseName(job.raw) : job.outputBase;
    std::vector<std::string> outputs{base + ".dat"};
    if (!job.settings.waterPath.empty())
        outputs.push_back(base + "_w.dat");
    return outputs;
}

JobResult RunProcessJob(const ProcessJob& job, IProgressSink& progress, IMessageSink& messages,
                        BankSmoothingCount* smoothing)
{
    // The desktop's messages about the files are the job's own ("Can not open RAW file", ...),
    // and RunProcess refuses an output onto an input itself, once the RAW has passed its checks.
    // The desktop's pages check their fields before a run, in the words of their dialogs.
    if (!job.desktop)
    {
        if (JobResult fields = CheckJobFields(kProcessFields, job.settings, false); !fields.ok())
            return StopJob(fields, messages);
        if (JobResult files = CheckJobFiles(ProcessJobInputs(job), ProcessJobOutputs(job)); !files.ok())
            return StopJob(files, messages);
        if (Status opened = UnopenedInput(job.raw, "Can not open RAW file"); !opened)
            return StopJob(JobFailure(JobStatus::failed, std::move(opened.message)), messages);
    }
    ProcessSettings settings = job.settings;
    if (job.prepare)
        if (JobResult prepared = job.prepare(settings); !prepared.ok())
            return StopJob(prepared, messages);

    // Without keepGoing a stage that cannot run fails the job before anything is written; with
    // it, the stage runs and fails as the desktop's does, saying so itself.
    std::vector<Status> skipped;
    if (!job.desktop)
        for (const Status& problem : {settings.leverPath.empty() ? Ok() : LeverProblem(settings.leverPath, settings),
                                      settings.waterPath.empty() ? Ok() : WaterProblem(settings.waterPath)})
        {
            if (problem)
                continue;
            if (!job.keepGoing)
                return StopJob(JobFailure(JobStatus::failed,
                                          problem.message + " (" + job.keepGoingName + " skips the stage instead)"),
                               messages);
            skipped.push_back(problem);
        }
    if (!job.desktop)
        if (JobResult sized = CheckRawSize(job.raw, settings); !sized.ok())
            return StopJob(sized, messages);
    const std::string waterFit =
        settings.waterPath.empty() || job.desktop ? std::string() : WaterFitWarning(settings.waterPath, settings);
    if (job.ready)
        job.ready(settings);

    FirstMessage shown(messages);
    ProcessResult run = RunProcess(job.raw, settings, progress, shown, job.outputBase);
    if (!run.success)
        return JobFailure(JobStatus::failed, shown.first.empty() ? "the map was not processed" : shown.first);

    JobResult result;
    result.warnings = std::move(run.warnings);
    if (smoothing != nullptr)
        *smoothing = run.smoothing;
    // The job reports an unreadable lever and an unusable mask itself; a lever of the wrong size
    // only through the desktop's message.
    for (const Status& problem : skipped)
        if (problem.code == StatusCode::invalidSettings)
            result.warnings.push_back(problem.message + "; no levering");
    const std::string olderWater = BaseName(run.heightDatPath) + "_w.dat";
    if (!settings.waterPath.empty() && !run.waterWritten && Exists(olderWater))
        result.warnings.push_back("the older " + olderWater + " was left as it was and does not match the new " +
                                  run.heightDatPath);
    if (!waterFit.empty() && run.waterWritten)
        result.warnings.push_back(waterFit);
    if (run.waterWritten)
        result.outputs.push_back({"water", run.waterDatPath});
    if (run.heightWritten)
        result.outputs.push_back({"height", run.heightDatPath});
    result.timings = {{"read", run.readSeconds},
                      {"lever", run.leverSeconds},
                      {"water", run.waterSeconds},
                      {"writeWater", run.writeWaterSeconds},
                      {"writeHeight", run.writeHeightSeconds}};
    if (!run.heightWritten)
    {
        // The desktop passes over it as over any output that cannot be created; elsewhere it fails
        // the job in its own words.
        result.status = JobStatus::failed;
        result.message = run.heightProblem;
        if (job.desktop)
            result.warnings.push_back(run.heightProblem);
        else
            messages.show(result.message, kAppName);
    }
    return result;
}
