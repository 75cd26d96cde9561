#pragma once
// The cliff export as every front end runs it: the settings checked through kCliffFields, the
// files checked (the bitmap is not the height file, the height file a readable file), then
// ExportCliffBitmap.
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "cliff/CliffExport.h"

#include <functional>
#include <string>
#include <utility>

struct CliffJob
{
    CliffJob(std::string datPath, const CliffSettings& jobSettings, std::string bmpPath = {})
        : dat(std::move(datPath)), bmp(std::move(bmpPath)), settings(jobSettings)
    {
    }

    std::string dat;
    std::string bmp; // the bitmap to write, unless `choose` is given
    CliffSettings settings;
    // The desktop asks for the bitmap's name once the height file has been read.
    CliffTargetChooser choose;
    // The desktop's own behaviour: its page has checked the fields, and nothing is said when the
    // height file cannot be read, no file is chosen or the bitmap cannot be written; a height
    // file too large says that there is not enough memory for it. A bitmap chosen onto the
    // height file is refused with a message, on the desktop too, and nothing is written.
    bool desktop = false;
    // Run once the files have been checked and before the height file is read: the command line
    // checks its output name here. A result that is not ok stops the job with it.
    std::function<JobResult()> prepare;
};

// Output "mask"; timing "total". Every failure's message that the front end shows has been
// shown through `messages`.
JobResult RunCliffJob(const CliffJob& job, IProgressSink& progress, IMessageSink& messages);
