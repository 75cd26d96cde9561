#pragma once
// The levering steps written the plain way, on 24-bit bitmaps with a second work bitmap, pixel
// by pixel. Slow and memory-hungry; kept as the oracle the fast stages in Lever.cpp are tested
// and benchmarked against.
#include "heightproc/Lever.h"

namespace reference
{

// Interior blue = 255 where red is not 0, else 0; red and the border ring unchanged.
void BinarizeLever(BITMAP_* lever);
// `passes` passes alternating between source and destination; returns the bitmap holding the
// result (the source itself when passes <= 0).
BITMAP_* BlurLever(BITMAP_* source, BITMAP_* destination, int passes, IProgressSink& progress);
void BlendLever(const BITMAP_* lever, RasterView<std::uint16_t> height, float factor);
// The whole stage: load, size check, work bitmap, the three steps, release.
Status ApplyLever(const ProcessSettings& settings, const std::string& leverPath, RasterView<std::uint16_t> height,
                  IProgressSink& progress, IMessageSink& messages);

} // namespace reference
