#pragma once
// Cliff export: an 8-bit grey mask of how steep a height file is compared with a cliff angle.
// A pixel is 0 where the slope is at most angle - threshold / 2, 255 where it is at least
// angle + threshold / 2, and rises linearly in between. Row 0 of the height file is the top of
// the picture.
#include "base/JobFields.h"
#include "base/RasterView.h"
#include "base/Sinks.h"
#include "base/Status.h"
#include "codec/DATElevationDB.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct CliffSettings
{
    int cliffAngle = 45;       // degrees, the middle of the ramp
    int cliffThreshold = 10;   // degrees, the width of the ramp
    float heightScale = 10.0f; // multiplies the heights (stored sample / 65535)
};

// The fields in the order they are checked. The height scale is compared in single precision,
// so its page bounds are the float values widened. A map's own height scale (its gain in metres
// x 257) may lie outside the page's 0.01..100, so the command line takes a wider range.
inline constexpr JobField<CliffSettings> kCliffFields[] = {
    Field<&CliffSettings::cliffAngle>("cliffAngle", "angle", 0, 90, "cliff angle in degrees, the middle of the ramp"),
    Field<&CliffSettings::cliffThreshold>("cliffThreshold", "threshold", 0, 90,
                                          "width of the ramp in degrees"),
    Field<&CliffSettings::heightScale>("heightScale", "height-scale", 0.001, 100000,
                                       "a sample is this many metres / 257 (sample / 65535 x 255 x scale)")
        .OnPage(double(0.01f), double(100.0f)),
};

consteval const JobField<CliffSettings>& CliffField(std::string_view name)
{
    return FindField(kCliffFields, name);
}

// The run's constants, each rounded to single precision where it is stored; the half
// threshold stays in double.
struct CliffConstants
{
    float angle;          // A = angle / 180 * 3.14159
    float threshold;      // T
    float inverse;        // R = 1 / T; +infinity for threshold 0
    float heightFactor;   // K = height scale * 255
    double halfThreshold; // H2 = T * 0.5
};
CliffConstants MakeCliffConstants(const CliffSettings& settings);

// The pixel for a slope angle s (radians, single precision): v = (s - A + H2) * R in double,
// stored as float, clamped to 0..1 with not-a-number counting as 1, times 255 truncated.
std::uint8_t CliffPixelFromAngle(float slope, const CliffConstants& constants);

// The height the reader answers for a stored sample: sample / 65535 as float.
float ElevationOfSample(std::uint16_t sample);

// ElevationOfSample(sample) * heightFactor in single precision, as the mask computes it:
// multiplying by 1 / 65535 gives the same float as dividing for every sample, and unlike a
// division it costs little in vector registers.
inline float ScaledElevation(std::uint16_t sample, float heightFactor)
{
    return static_cast<float>(double(sample) * (1.0 / 65535.0)) * heightFactor;
}

// The same pixels from the decoded samples (positions beyond the map take the edge sample, as
// the reader answers them), on `threads` threads (0: every core). Byte-identical to the
// straightforward per-sample reading through the DAT reader. Progress goes from the sink's
// position up by `progressSpan` as rows finish; the sink is only called from the calling thread.
void ComputeCliffMask(ConstRasterView<std::uint16_t> samples, float pixelSize, const CliffSettings& settings,
                      RasterView<std::uint8_t> image, IProgressSink& progress, int progressSpan = 0, int threads = 0);

// Reads the height file, computes the mask and writes it as an 8-bit grey BMP atomically (an
// older file of that name survives a failure). Progress 0..200 when the sink is shown. A failure's
// message is one line for the command line, naming the file concerned: cannotOpen (not a
// readable height file; the desktop page says nothing), invalidInput (a tile does not decode),
// tooLarge (the bitmap would not fit in memory or in a BMP file), writeFailed (the desktop page
// says nothing).
Status ExportCliffBitmap(const std::string& datPath, const std::string& bmpPath, const CliffSettings& settings,
                         IProgressSink& progress);

// The same export, asking `chooseTarget` for the file to write once the height file has been
// read (the desktop asks with its save dialog then); no answer ends it with noTarget, nothing
// written.
using CliffTargetChooser = std::function<std::optional<std::string>()>;
Status ExportCliffBitmap(const std::string& datPath, const CliffTargetChooser& chooseTarget,
                         const CliffSettings& settings, IProgressSink& progress);
