#pragma once
// The process job as every front end runs it: the settings checked through kProcessFields, the
// files checked (no output onto an input, every input a readable file), the lever and the mask
// checked before anything is written, the warnings a user needs (a mask that does not fit the
// map at this scale, a stage skipped, an older water file left behind), then RunProcess.
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "heightproc/ProcessSettings.h"
#include "heightproc/Water.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ProcessJob
{
    ProcessJob(std::string rawPath, const ProcessSettings& jobSettings, std::string base = {})
        : raw(std::move(rawPath)), settings(jobSettings), outputBase(std::move(base))
    {
    }

    std::string raw;
    ProcessSettings settings;
    std::string outputBase; // "<base>" of the files written; empty: the RAW path's base name
    // A lever or water stage whose file cannot be used is skipped with a warning, as the desktop
    // does, instead of failing the job before anything is written.
    bool keepGoing = false;
    // The desktop's own behaviour: its page has checked the fields, the job's own messages
    // about the files (an output that is an input among them, after the RAW's own checks), the
    // stages skipped as it skips them, no warnings checked for.
    bool desktop = false;
    // Run once the files have been checked and before anything is read: the command line takes
    // the map's size and byte order from a header beside the RAW here. A result that is not ok
    // stops the job with it.
    std::function<JobResult(ProcessSettings&)> prepare;
    // Run once every check has passed, just before the map is read.
    std::function<void(const ProcessSettings&)> ready;
};

// The files the job reads and the ones it may write ("<base>.dat", and "<base>_w.dat" with a
// water mask).
std::vector<std::string> ProcessJobInputs(const ProcessJob& job);
std::vector<std::string> ProcessJobOutputs(const ProcessJob& job);

// Outputs "water" and "height"; timings "read", "lever", "water", "writeWater", "writeHeight"
// once the map was read (none when the job stopped before). A height file that could not be
// written fails the job (the desktop passes over it: its message is not shown, and the warnings
// say which file). Every other failure's message has been shown through `messages`. `smoothing`,
// when given, receives what the bank smoothing did.
JobResult RunProcessJob(const ProcessJob& job, IProgressSink& progress, IMessageSink& messages,
                        BankSmoothingCount* smoothing = nullptr);
