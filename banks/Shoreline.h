#pragma once
// Shorelines: polylines in whole metres traced around the water of a compressed water mask.
//
// Frame: x runs from the left edge of the water mask (its column 0) to the right, z upward from
// the mask's bottom edge (its last row). Lines and the points of one line are counted with
// signed 16-bit values wherever shorelines are made, shown or written, so a set holds at most
// kMaxShoreCount lines of at most kMaxShoreCount points; the stages refuse anything larger
// (BanksStatus) instead of letting a count wrap.
#include <cstdint>
#include <vector>

struct ShorePoint
{
    std::int32_t x = 0; // metres from the mask's left edge
    std::int32_t z = 0; // metres upward from the mask's bottom edge

    friend bool operator==(const ShorePoint&, const ShorePoint&) = default;
};

// One polyline, in order of travel; copying it copies its points.
using Shoreline = std::vector<ShorePoint>;
// The shoreline set: the lines in the order the generation made them.
using ShorelineSet = std::vector<Shoreline>;

inline constexpr int kMaxShoreCount = 32767;
// The largest water image the generation draws: two images of this many bytes are held at once,
// and a mask header may claim any size up to 134 million cells a side while its file stays small.
inline constexpr double kMaxWaterImagePixels = 32768.0 * 32768.0;

// Results of the shoreline stages and of the whole generation.
enum class [[nodiscard]] BanksStatus{
    ok,
    cannotOpen,      // the ".wtr" file could not be opened
    invalidMask,     // the file is not a well-formed compressed water mask
    invalidSettings, // a setting outside its range
    tooLarge,        // the mask in metres does not fit 32-bit coordinates with this pixel size
    imageTooLarge,   // the water image (the mask divided by the scale) above kMaxWaterImagePixels
    tooManyLines,    // more than kMaxShoreCount lines at some stage
    lineTooLong,     // a line of more than kMaxShoreCount points at some stage
    writeFailed,     // an output file could not be written
};

// A sentence describing a refusal; empty for ok. For cannotOpen and invalidMask the front ends
// show the path with their own captions instead (see GenerateShorelines).
const char* BanksStatusMessage(BanksStatus status);
