#pragma once
// Shorelines: polylines in whole metres traced around the water of a compressed water mask.
//
// Frame: x runs from the left edge of the water mask (its column 0) to the right, z upward from
// the mask's bottom edge (its last row). Lines and the points of one line are counted with
// signed 16-bit values wherever shorelines are made, shown or written, so a set holds at most
// kMaxShoreCount lines of at most kMaxShoreCount points; the stages refuse anything larger
// (tooLarge) instead of letting a count wrap.
#include "base/Status.h"

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

// The refusals of the stages that count lines and points (tooLarge), with the advice the page
// gives for them.
inline Status TooManyShoreLines()
{
    return {StatusCode::tooLarge,
            "The shorelines would be more than 32767 lines; use a larger resolution scale or min river size"};
}
inline Status ShoreLineTooLong()
{
    return {StatusCode::tooLarge,
            "A shoreline would have more than 32767 points; use a larger resolution scale or a smaller tesselation"};
}
