#pragma once
// A grey image (BMP or PNG) becomes a compressed water mask: grey g is the cell value
// (g * 15 + 127) / 255, the image's top row the mask's row 0. The blocks are as given, or chosen
// to fit a map at a resolution scale (support/MaskFit.h), the image then checked against the
// map's size when one is named.
#include "base/JobResult.h"
#include "support/WtrWriter.h"

#include <string>

struct MaskImageJob
{
    std::string image;
    std::string output;
    WtrEncodeSettings settings;
    // The blocks are chosen for settings.resolutionScale (settings.blockSize is not used), and
    // the image's sides must be multiples of it.
    bool fitScale = false;
    // A map of the mask (its height file, RAW or ENVI header): the image must have its
    // (M - 1) x scale cells. Implies fitScale.
    std::string like;
};

// What was written.
struct MaskImageSummary
{
    int width = 0;
    int height = 0;
    int blockSize = 0;
    std::size_t bytes = 0;
    std::string map; // the map's size and where it came from, with `like`
};

// Refused (a size that does not fit, a block grid too large) or failed (unreadable image or
// map, the file not written) with the message naming the path; output "mask".
JobResult EncodeMaskImage(const MaskImageJob& job, MaskImageSummary& summary);
