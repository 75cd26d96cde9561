#pragma once
// The shoreline job as every front end runs it: the settings checked through kBanksFields, the
// files checked (no output onto the mask, the mask a readable file), a warning when the mask's
// blocks do not fall on whole water-image pixels at this scale, then GenerateShorelines and the
// writing of the shoreline file and of a picture of the result.
#include "banks/GenerateShorelines.h"
#include "base/JobResult.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct BanksJob
{
    BanksJob(std::string wtrPath, const BanksSettings& jobSettings, std::string outputPath = {},
             std::string previewPath = {})
        : wtr(std::move(wtrPath)), output(std::move(outputPath)), preview(std::move(previewPath)),
          settings(jobSettings)
    {
    }

    std::string wtr;
    std::string output;  // the shoreline file; empty: generate only (the desktop saves later)
    std::string preview; // a picture of the result, written by writePreview; empty: none
    BanksSettings settings;
    // The desktop's own behaviour: the page has checked its fields and the generation checks the
    // rest in its own words, the job's own messages about the mask, no warnings checked for.
    bool desktop = false;
    // Run once the files have been checked and before the mask is read: the command line
    // checks its output names here, and may set the water cell size from the map the lines are
    // placed on (checked against the fields again). A result that is not ok stops the job with it.
    std::function<JobResult(BanksSettings&)> prepare;
    // Writes the picture of `generated` to `path`, answering why it could not.
    std::function<Status(const std::string& path, const BanksResult& generated)> writePreview;
};

// Outputs "shorelines" and "preview"; timings "loadAndDraw", "filter", "trace", "refine" and
// "write" once the shorelines were generated. Every failure's message has been shown through
// `messages`. `generated`, when given, receives the lines and the filtered image (the desktop
// page's preview and Save; the command line's counts).
JobResult RunBanksJob(const BanksJob& job, IMessageSink& messages, BanksResult* generated = nullptr);

// The warning for a mask whose blocks of B cells are B / scale water-image pixels, not a whole
// number, naming the block size that avoids it at this scale (support/MaskFit.h), or the mask
// sizes that have one; empty when they are whole or the mask cannot be read.
std::string BlockGapWarning(const std::string& wtrPath, long scale);

// Writes the shorelines to `path` (the desktop's Save). A path that is one of `inputs` is refused
// (invalidSettings, naming both), before anything is written; the desktop shows that refusal and
// passes over a file that cannot be created without a word.
Status SaveShorelines(const std::string& path, const ShorelineSet& lines, const std::vector<std::string>& inputs);
