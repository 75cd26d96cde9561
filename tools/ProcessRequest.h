#pragma once
// What a "process" run is told, described once for the process command and the batch's [map]
// jobs: the RAW, the base of the files written, the page's fields, the lever and the mask, and
// what to take from the files beside the RAW. Both fill a ProcessRequest from these rows and run
// it through RunProcessRequest.
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "heightproc/ProcessSettings.h"
#include "heightproc/Water.h"
#include "tools/RawMap.h"

#include <functional>
#include <string>

struct ProcessRequest
{
    std::string raw;
    std::string output; // "<base>" of the files written; empty: the RAW path's base name
    ProcessSettings settings;
    bool keepGoing = false; // skip a lever or water stage whose file cannot be used
    RawMapHeader header;    // what to take from the files beside the RAW, and, once run, what was taken
};

const JobOptions<ProcessRequest>& ProcessDescription();

// How a front end runs the request: its name for keepGoing, a hook once the map is about to be
// read (the size found is then known), and where to count what the bank smoothing moved.
struct ProcessRun
{
    std::string keepGoingName = "--keep-going";
    std::function<void()> announce;
    BankSmoothingCount* smoothing = nullptr;
};

// The process job of the request, its size, byte order and georeference taken as the request
// asks, and the height file's sidecar written after it. `request` must outlive nothing: the
// answers land in request.header.
JobResult RunProcessRequest(ProcessRequest& request, IProgressSink& progress, IMessageSink& messages,
                            const ProcessRun& run = {});
