#pragma once
// The "Generate" job of the water banks page: a compressed water mask (".wtr") becomes the
// shoreline set, in this order: load the mask, draw it down-scaled by the resolution scale into
// the water image, filter narrow water, trace the outlines, put T points on every segment, snap
// every point to the shore level of the full-resolution mask, split at jumps and sharp turns,
// and smooth every piece once.
//
// Front ends call GenerateShorelines, hand `lines` and `filtered` to their preview (the desktop
// preview: ClearLines, AddLine per line, SetImage), and save with WriteShorelineFile
// (ShorelineFile.h); the command line writes a picture with SavePreviewPng (PreviewRender.h),
// passing `metresPerPixel`.
#include "banks/BanksSettings.h"
#include "banks/Shoreline.h"
#include "banks/WaterImage.h"
#include "base/Sinks.h"
#include "support/BitMask.h" // the captions of a mask that cannot be read

#include <string>

// Seconds spent in the phases of one run, for the command line's summary and the benchmarks.
struct BanksTimings
{
    double loadAndDraw = 0; // reading the file and drawing the water image
    double filter = 0;
    double trace = 0;
    double refine = 0; // tessellation, snapping, splitting, final smoothing
};

struct BanksResult
{
    Status status;            // the message is the text shown (for an unreadable mask, its path)
    ShorelineSet lines;       // every line has more than 5 T points
    WaterImage filtered;      // the filtered image with the tracer's boundary marks (190)
    float metresPerPixel = 0; // f: metres per water-image pixel, waterPixelSize * scale
    BanksTimings timings;
};

// Runs the whole job. Messages, each shown once through `messages` before returning a failure:
// - the file cannot be opened: text the path, caption kCannotOpenWtrCaption (cannotOpen);
// - it is not a well-formed mask: text the path, caption kInvalidWtrCaption (invalidInput);
// - a setting out of range, a mask too large in metres for 32-bit coordinates, a water image
//   above kMaxWaterImagePixels (checked before it is allocated), more than 32767 lines or a line
//   of more than 32767 points at any stage: a sentence, caption kAppName (invalidSettings,
//   tooLarge).
// On failure `lines` and `filtered` are empty. A mask without water gives no lines and an
// all-zero filtered image. Nothing is written to disk.
BanksResult GenerateShorelines(const std::string& wtrPath, const BanksSettings& settings, IMessageSink& messages);
