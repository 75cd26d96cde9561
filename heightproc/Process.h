#pragma once
// One "Process" run: the RAW 16-bit height map is read, levered and water-processed when the
// settings name those inputs, and written as "<base>_w.dat" (water, first) and "<base>.dat".
#include "heightproc/ProcessSettings.h"
#include "heightproc/Water.h"
#include "base/Sinks.h"

#include <string>
#include <vector>

struct ProcessResult
{
    bool success = false;      // the RAW map was read and its height file attempted
    std::string heightDatPath; // "<base>.dat"; set once a run gets that far
    std::string waterDatPath;  // "<base>_w.dat"; set only when a water raster came back
    bool heightWritten = false;
    bool waterWritten = false;
    // Failures the desktop application passes over silently (an unreadable lever bitmap, no
    // water raster, an output file that could not be created). The messages it does show went
    // to the message sink.
    std::vector<std::string> warnings;
    BankSmoothingCount smoothing; // what the bank smoothing of the water stage did
    std::string heightProblem; // why the height file was not written, once it was attempted
    // Wall-clock seconds of each step.
    double readSeconds = 0;
    double leverSeconds = 0;
    double waterSeconds = 0;
    double writeWaterSeconds = 0;
    double writeHeightSeconds = 0;
};

// The RAW path without its last "." and what follows; the search covers the directories too,
// and a path without any "." is its own base name.
std::string BaseName(const std::string& path);

// The side of the largest square map that fits in `bytes` (2 n^2 <= bytes).
unsigned long long SquareSideWithin(unsigned long long bytes);

// Runs the pipeline on the RAW file at rawPath with settings already checked against
// kProcessFields. Messages ("Can not open RAW file", "Incorrect file size for the given WIDTH x
// HEIGHT, 16 BIT RAW", then an output that is the same file as an input, and a memory or read
// failure) go to `messages` with kAppName as caption and fail the run; an output onto an input
// fails it before anything is read or written. Progress: 0 once the file size is known, 100 after levering, 200 after the
// water stage, 0 at the end of every run. `outputBase`, when not empty, replaces the RAW path's
// base name as "<base>" of the files written (the command line's -o).
ProcessResult RunProcess(const std::string& rawPath, const ProcessSettings& settings, IProgressSink& progress,
                         IMessageSink& messages, const std::string& outputBase = {});
