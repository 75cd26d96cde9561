#pragma once
// The command line's preview PNG: the banks preview's picture (banks/PreviewDrawing.h) of the
// whole filtered water image with the shorelines.
#include "banks/GenerateShorelines.h"
#include "banks/PreviewDrawing.h"
#include "banks/PreviewGeometry.h"
#include "banks/Shoreline.h"
#include "banks/WaterImage.h"

#include <cstdint>
#include <string>
#include <vector>

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

// SavePreviewPng of a generation's filtered image and lines, as the banks job's preview writer:
// writeFailed ("PATH: what: the system's reason"), or invalidInput for an empty water image.
Status WriteBanksPreview(const std::string& path, const BanksResult& generated);

// The picture SavePreviewPng writes, into `rgb` (width x height pixels, 3 bytes each, rows top
// first); false and nothing drawn when the image is empty.
bool RenderPreviewPngImage(const WaterImage& image, const ShorelineSet& lines, double metresPerPixel,
                           std::vector<std::uint8_t>& rgb, int& width, int& height);
