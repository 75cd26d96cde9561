#pragma once
// import as the import command and the batch's [import] jobs run it: a height image or
// elevation raster made a RAW 16-bit map, with its ENVI header beside it and, when the source had
// nodata cells, the mask of which ones.
#include "base/JobOptions.h"
#include "base/JobResult.h"
#include "base/Sinks.h"
#include "base/Status.h"
#include "tools/HeightImage.h"
#include "tools/Relief.h"

#include <string>
#include <vector>

// The request as the command line and the manifest give it (ImportDescription): the options that
// take words or combine with others are kept as given, each checked alone as it is taken, and
// together by the job (ImportOptionsOf).
struct ImportRequest
{
    std::string input;
    std::string output;       // the RAW map; its header is output + ".hdr"
    std::string heightRange;  // "MIN:MAX" or "auto"; empty: the default of the sample type
    std::string heightStep;   // metres a sample; empty: the default of the sample type
    std::string nodataHeight; // empty: the lowest valid height
    std::string fillVoids;    // on or off; empty: on unless nodataHeight is given
    double pixelSize = 0;     // 0: none given
    int size = 0;             // 0: the raster's own size
    std::string fit;          // pad or crop; empty: pad
    std::vector<int> window;  // XOFF YOFF XSIZE YSIZE, or none
    std::string resampling = "bilinear";
    int band = 0;
    std::string targetSrs;
    bool keepCrs = false;
};

// How the job's messages name its options: as the command line's ("--height-range: abc is ...",
// "-r: ..."), or as the manifest's keys, which it prefixes itself to the problem of one value
// ("abc is ...") and names without dashes in a problem of several ("fit ... give size too").
enum class OptionSpelling
{
    commandLine,
    manifest,
};

// The reader's options for the request, refused (invalidSettings) for the first value or
// combination it will not take. GDAL is not asked for.
Status ImportOptionsOf(const ImportRequest& request, HeightImportOptions& options,
                       OptionSpelling spelling = OptionSpelling::commandLine);

// The import command's options and the [import] job's keys, in the order of the command's help.
const JobOptions<ImportRequest>& ImportDescription();

// The files an import may write: the RAW, its header and its nodata mask.
std::vector<std::string> ImportJobOutputs(const ImportRequest& request);

// "height scale 5: a sample is 0.01946 m": the Height scale S that reads the map's samples as
// metres (a sample is S / 257 m), in the words of the summary and the header.
std::string HeightScaleText(const HeightImage& image);
std::string FormatMetres(double value); // "%.6g"

// What the summary of an import says.
struct ImportSummary
{
    HeightImage image;            // what was read and how; its samples and mask released once written
    SampleRange range;            // of the samples written
    std::string mask;             // the nodata mask written beside the RAW; empty: none
    unsigned long long bytes = 0; // of the RAW
};

// Outputs "mask" (when written), "height" (the RAW), "header"; timing "total". Warnings name the
// input. Refused: settings it will not take, an output that is an input, an option that needs
// GDAL in a build without it; failed: an input that cannot be read, an output that cannot be
// written. Every failure's message has been shown through `messages`.
JobResult RunImportJob(const ImportRequest& request, IProgressSink& progress, IMessageSink& messages,
                       ImportSummary* summary = nullptr);
