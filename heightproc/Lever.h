#pragma once
// Levering: a 24-bit lever bitmap as large as the height map pulls the painted areas towards
// the painted heights (red * 256) with a soft edge, in place.
//
// The lever's blue byte is its mask (0 no lever .. 255 full lever), red the target's high byte;
// green is never read. Only interior pixels and samples (1 .. size - 2 along both axes) are ever
// written; the outermost ring of the height raster keeps its values.
#include "base/RasterView.h"
#include "base/Sinks.h"
#include "base/Status.h"
#include "heightproc/ProcessSettings.h"
#include "support/Bitmap.h"

#include <cstdint>
#include <string>

inline constexpr const char* kLeverSizeMessage = "Lever bitmap size is different from height map";

// Reads settings.blur and settings.sharpness; advances the progress bar by up to 100. Bad input
// leaves `height` unchanged: an unreadable bitmap silently (cannotOpen, "could not read the lever
// bitmap PATH" for the callers that tell of it), a bitmap whose size differs from the raster
// (invalidInput) shown with kLeverSizeMessage (caption kAppName).
Status ApplyLever(const ProcessSettings& settings, const std::string& leverPath, RasterView<std::uint16_t> height,
                  IProgressSink& progress, IMessageSink& messages);

// The lever in the compact form the fast stages work on, inside a loaded bitmap's own memory:
// stored row y (bottom row first, as in the bitmap) holds `width` mask bytes followed by `width`
// lever-height bytes. Needs bytesPerRow >= 2 * width, which every 24-bit record satisfies.
struct LeverPlanes
{
    std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0; // bytes from one stored row to the next

    std::uint8_t* mask(int storedRow) const { return data + storedRow * stride; }
    std::uint8_t* red(int storedRow) const { return data + storedRow * stride + width; }
};

// Binarises the mask of a loaded 24-bit bitmap (interior blue = 255 where red is not 0, else 0;
// the border ring keeps the file's blue) and repacks every row into LeverPlanes form in place.
// The record keeps its memory but no longer holds BGR pixels afterwards.
LeverPlanes BinarizeLever(BITMAP_& lever);

// `passes` passes of the lever blur, in place (rows a pass still needs are kept aside). After
// every pass the border ring holds 0. Progress: base + (100 * i) / (passes - 1) after pass i,
// base + 100 after a single pass.
void BlurLever(const LeverPlanes& lever, int passes, IProgressSink& progress);

// Pulls every interior height sample towards its lever pixel's red * 256 by the weight that the
// blurred mask and `factor` (1 - sharpness, in single precision) give.
void BlendLever(const LeverPlanes& lever, RasterView<std::uint16_t> height, float factor);

// 1 - sharpness, computed in double and converted to single precision.
float LeverFactor(float sharpness);
