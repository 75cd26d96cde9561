#pragma once
// One paint of the banks preview, drawn in software into an RGB buffer: black, the grey frame,
// the visible part of the water image, and every line of at least two points in its colour
// with its end tick. The desktop preview shows this picture and the command line's preview PNG
// is this picture, so for the same view and the same metres per pixel the two agree.
#include "banks/PreviewGeometry.h"
#include "banks/Shoreline.h"
#include "banks/WaterImage.h"

#include <cstdint>
#include <vector>

// Draws into `rgb` (clientWidth x clientHeight pixels, 3 bytes each, red, green, blue, rows
// top first; resized here). Grey v shows as (v, v, v); enlarged, an image pixel becomes a block
// of its own grey, shrunk, a client pixel shows the average of the image pixels it covers.
// Lines of fewer than two points draw nothing. Segments are clipped to the buffer before they
// are drawn, so points far outside cost nothing and bend nothing, at any zoom.
void RenderPreview(const WaterImage& image, const ShorelineSet& lines, const PreviewGeometry& view, int clientWidth,
                   int clientHeight, double metresPerPixel, std::vector<std::uint8_t>& rgb);
