#pragma once
// The settings of one "Generate" on the water banks page, with the page's initial values, and
// the ranges that every front end checks before the job runs.
#include "base/FieldRange.h"

#include <cfloat>
#include <string>

struct BanksSettings
{
    int minRiverSize = 8;         // R, in water-image pixels: filter radius, tracing margin, minimum outline radius
    float waterPixelSize = 10.0f; // metres per full-resolution mask cell
    float shoreLevel = 0.5f;      // water value (0..1) at which the shore lies
    int tesselation = 4;          // T: points per segment and split thresholds
    long resolutionScale = 5;     // mask cells along one water-image pixel
};

// Inclusive ranges, in the order they are checked. The page only range-checks the tesselation
// (and the main dialog the scale); a negative min river size would make the filter and the
// tracer read outside their images and a pixel size of 0 or less gives meaningless
// coordinates, so these are refused too. The min river size is a signed 16-bit field, and the
// pixel size must be a positive finite float (the smallest positive float is the lower bound).
inline constexpr FieldRange kBanksRanges[] = {
    {"minRiverSize", 0, 32767},
    {"waterPixelSize", FLT_TRUE_MIN, FLT_MAX},
    {"tesselation", 2, 8},
    {"resolutionScale", 1, 50},
};

// Empty when every field is in range (and the shore level is a finite number); otherwise
// "<field> must be ..." for the first field that is not.
std::string CheckBanksSettings(const BanksSettings& settings);
