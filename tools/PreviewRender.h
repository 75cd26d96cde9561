#pragma once
// A software rendering of the banks preview: the filtered water image with the shorelines in
// the preview's colours and end ticks, drawn with the preview's view arithmetic into an RGB
// buffer. Used for the command line's preview PNG.
#include "banks/PreviewGeometry.h"
#include "banks/Shoreline.h"
#include "banks/WaterImage.h"

#include <cstdint>
#include <string>
#include <vector>

// Draws one paint of the preview into `rgb` (clientWidth x clientHeight pixels, 3 bytes each,
// red, green, blue, rows top first; resized here): black, the grey frame, the visible part of
// the image (grey v shows as (v, v, v); nearest pixel when zoomed), then every line of at least
// two points in colour (index mod 7) with its end tick. Lines of fewer than two points draw
// nothing. Segments are clipped to the buffer, so points far outside cost nothing.
void RenderPreview(const WaterImage& image, const ShorelineSet& lines, const PreviewGeometry& view, int clientWidth,
                   int clientHeight, double metresPerPixel, std::vector<std::uint8_t>& rgb);

// Small images are enlarged by the largest power of two that keeps both sides at most this many
// pixels, so that the lines stay visible.
inline constexpr int kPreviewPngEnlargeTo = 1024;
// The enlargement of an image of width x height: 1, 2, 4, ...
int PreviewPngFactor(int width, int height);

// The whole image, unpanned, at zoom 1 or enlarged (see above), in a client area of exactly its
// size, with the lines at `metresPerPixel` (the generation's water-image pixel size puts them
// on the shores for any settings; the desktop preview's fixed kPreviewMetresPerPixel equals it
// at the initial settings), written as an RGB PNG atomically. False when the file could not be
// written or the image is empty.
bool SavePreviewPng(const std::string& path, const WaterImage& image, const ShorelineSet& lines, double metresPerPixel);

// The picture SavePreviewPng writes, into `rgb` (width x height pixels, 3 bytes each, rows top
// first); false and nothing drawn when the image is empty.
bool RenderPreviewPngImage(const WaterImage& image, const ShorelineSet& lines, double metresPerPixel,
                           std::vector<std::uint8_t>& rgb, int& width, int& height);
