#pragma once
// Shore tracing: the outlines of the water in the filtered image become the first shoreline set.
//
// The image is addressed by column c (0 at the left) and row r counted from the bottom, which is
// the memory row of a bitmap-layout image (WaterImage::view()). A value of 128 or more is water.
// f is the size of one image pixel in metres; a pixel (c, r) stands for the point at its centre,
// (trunc(c f + f / 2), trunc(r f + f / 2)).
#include "banks/Shoreline.h"
#include "base/RasterView.h"

#include <vector>

struct BoundaryPixel
{
    int c = 0;
    int r = 0;
    friend bool operator==(const BoundaryPixel&, const BoundaryPixel&) = default;
};

// The eight chaining directions (dc, dr), 0 = one row down, then clockwise on screen with r up:
// (0,-1), (1,-1), (1,0), (1,1), (0,1), (-1,1), (-1,0), (-1,-1).
inline constexpr BoundaryPixel kChainSteps[8] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};

// The whole tracer: empties `lines`, scans and marks the boundary (every boundary pixel of
// `image` is set to 190), chains it into outlines, repairs their seams, smooths them with four
// passes, drops outlines whose radius is below R f, and orients every line so that most of its
// probes find water on its right. R >= 0. Refuses (tooManyLines / lineTooLong, `lines` then
// unspecified) when the chaining keeps more than kMaxShoreCount outlines or one outline has
// more than kMaxShoreCount points. Coordinates must fit: width * f and height * f well inside
// the 32-bit range (GenerateShorelines checks that).
Status TraceShorelines(RasterView<std::uint8_t> image, ShorelineSet& lines, int R, float f);

// Three-point averaging, `passes` times (nothing for 0 or less): each inner point, from the front
// and in place, becomes the truncated integer average of itself and its two neighbours (the
// point before it already averaged in this pass). The first and last points never move.
void SmoothLine(Shoreline& line, int passes);

// The stages of TraceShorelines, public so that the chaining can be compared with its
// straightforward form and timed on its own.

// Boundary scan: water pixels with 1 to 3 water neighbours (of four) in rows and columns
// R + 1 .. size - R - 2, rows outer, both ascending; each is set to 190 when found (still water
// for the later tests).
std::vector<BoundaryPixel> ScanBoundary(RasterView<std::uint8_t> image, int R);

// Chaining of the boundary list (as ScanBoundary returns it: in scan order, each pixel once,
// every pixel with all eight neighbours inside width x height) into closed or open outlines in
// metres; keeps the outlines of more than 5 points, in the order they are completed.
// Linear in the number of boundary pixels (plus width x height bits of scratch): a pixel's
// presence in the list is a bit per image pixel, and the list's first entry is a cursor that
// only moves forward. ChainBoundaryReference (ShoreReference.h) is the definition.
ShorelineSet ChainBoundary(const std::vector<BoundaryPixel>& boundary, int width, int height, float f);

// Seam repair, four smoothing passes and the size test (radius below R f: dropped), in place.
void CleanUpLines(ShorelineSet& lines, int R, float f);

// Reverses every line whose orientation probes find more water than land in the (marked)
// filtered image, so that the water lies on the right of the direction of travel.
void OrientLines(ShorelineSet& lines, ConstRasterView<std::uint8_t> image, int R, float f);

// The point at the centre of pixel (c, r), in metres.
ShorePoint PixelCentre(int c, int r, float f);
// The distance of the tracer and of the size test: each integer difference converted to float,
// squared in double and rounded to float, the squares added in float, the root rounded to float.
float ShoreDistance(const ShorePoint& a, const ShorePoint& b);
