#pragma once
// The straightforward forms of the stages that have faster implementations, written as the
// definitions read: the oracle that tests compare the fast stages with on random inputs, and
// the baseline that the benchmark measures the chaining against. Not used by the generation.
#include "banks/ShoreTracing.h"
#include "base/RasterView.h"

#include <cstdint>
#include <vector>

class CBufferMask;

// Cell by cell: row r, column c at (trunc(x + c / scale), trunc(y + r / scale)) with float
// accumulation, every cell written.
void DrawMaskBlockReference(RasterView<std::uint8_t> image, int x, int y, const std::uint8_t* block, int blockSize,
                            int scale);

// The full (2R + 1)^2 window summed for every water pixel.
void FilterNarrowWaterReference(ConstRasterView<std::uint8_t> source, RasterView<std::uint8_t> destination, int R);

// Snapping with every sample taken by mask.getInterpolated instead of ShoreSampler.
void SnapLineToShoreReference(Shoreline& line, CBufferMask& mask, float psize, float shore);

// The boundary list searched linearly from its beginning for every candidate, entries removed
// by moving the rest up: quadratic in the number of boundary pixels.
ShorelineSet ChainBoundaryReference(std::vector<BoundaryPixel> boundary, float f);
