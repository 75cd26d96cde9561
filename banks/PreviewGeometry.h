#pragma once
// The view arithmetic of the banks preview, free of any window system: fitting a new image,
// zoom, pan by dragging, where the image and its frame go in the client area and which part of
// the image is stretched there, where a shoreline point lands, the line colours and the end
// ticks. RenderPreview (PreviewDrawing.h) draws the picture with it, for the desktop preview and
// the command line alike.
//
// Client coordinates: R x B pixels (width x height), origin at the top left, y down. Image
// coordinates: W x H pixels, row 0 at the top. Shoreline points are metres, x from the image's
// left edge and z upward from its bottom edge, at `metresPerPixel` metres per image pixel (the
// desktop preview always uses kPreviewMetresPerPixel).
//
// Integer results are truncated toward zero; products and quotients with the zoom are formed in
// double. Conversions saturate at the int range, so no zoom, however large, overflows.
#include "banks/Shoreline.h"

#include <cstdint>

// The fixed scale at which the desktop preview draws lines: the initial "Water PSize (m)" (10)
// times the initial resolution scale (5).
inline constexpr double kPreviewMetresPerPixel = 50.0;

struct PreviewColor
{
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// Line i is drawn in colour i mod 7: blue, green, red, cyan, magenta, yellow, dark green.
inline constexpr PreviewColor kPreviewLineColors[7] = {
    {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {0, 128, 0},
};
// The frame around the image; everything else outside the image is black.
inline constexpr PreviewColor kPreviewFrameColor = {128, 128, 128};

inline const PreviewColor& PreviewLineColor(std::size_t lineIndex)
{
    return kPreviewLineColors[lineIndex % 7];
}

struct PreviewPoint
{
    int x = 0;
    int y = 0;
    friend bool operator==(const PreviewPoint&, const PreviewPoint&) = default;
};

// A client position before it is limited to the int range: truncated toward zero, but as far
// outside the client area as a deep zoom puts it.
struct PreviewPointD
{
    double x = 0;
    double y = 0;
};

// Where one paint puts the image.
struct PreviewPlacement
{
    // The grey one-pixel frame around the whole, unclipped image: the outline of the rectangle
    // from (frameLeft, frameTop) inclusive to (frameRight, frameBottom) exclusive. Edges that lie
    // outside the client area are given as just outside it (-1, or the client size + 1), so the
    // numbers stay small at any zoom.
    int frameLeft = 0;
    int frameTop = 0;
    int frameRight = 0;
    int frameBottom = 0;
    // The part of the image that is stretched, (sourceX, sourceY, sourceWidth, sourceHeight) in
    // image pixels, onto the client rectangle (x, y, width, height). It reaches at most about
    // one image pixel beyond the client area.
    int sourceX = 0;
    int sourceY = 0;
    int sourceWidth = 0;
    int sourceHeight = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A shoreline's end tick in metres: from the last point, 100 m to the left of the direction of
// the last segment (z up); no length when the last two points coincide.
struct PreviewTick
{
    double fromX = 0;
    double fromZ = 0;
    double toX = 0;
    double toZ = 0;
};

// The view state. The image point at the client area's centre is the image centre moved by
// (panX, panY) image pixels (x right, y down); one image pixel covers `zoom` client pixels.
struct PreviewGeometry
{
    float zoom = 1.0f;
    float panX = 0.0f;
    float panY = 0.0f;
    int imageWidth = 0;
    int imageHeight = 0;

    // A new image: zoom and pan reset so that the whole image is shown centred, as large as
    // fits but never above 1:1. A 1000 x 800 image in 500 x 300 gets 0.5 from the width, then
    // 0.375 from the height.
    void fit(int width, int height, int clientWidth, int clientHeight);
    // The page's "In" and "Out": zoom times 2 or 0.5, without limit. The image point at the
    // centre stays there.
    void zoomIn() { zoom = static_cast<float>(double(zoom) * 2.0); }
    void zoomOut() { zoom = static_cast<float>(double(zoom) * 0.5); }
    // A drag by (dx, dy) client pixels moves the image and the lines by as much.
    void drag(int dx, int dy);

    PreviewPlacement place(int clientWidth, int clientHeight) const;
    // The client pixel of a point in metres.
    PreviewPoint map(double x, double z, int clientWidth, int clientHeight,
                     double metresPerPixel = kPreviewMetresPerPixel) const;
    PreviewPoint map(const ShorePoint& point, int clientWidth, int clientHeight,
                     double metresPerPixel = kPreviewMetresPerPixel) const
    {
        return map(point.x, point.z, clientWidth, clientHeight, metresPerPixel);
    }
    // The same position without the limit to the int range, for clipping a line before it is
    // drawn.
    PreviewPointD mapUnlimited(double x, double z, int clientWidth, int clientHeight,
                               double metresPerPixel = kPreviewMetresPerPixel) const;
};

// Clips the segment from `from` to `to` to the rectangle [left, right] x [top, bottom]; false
// when no part of it lies inside. A line drawn between the clipped ends has the direction of
// the whole segment, however far outside its ends were.
bool ClipSegment(PreviewPointD& from, PreviewPointD& to, double left, double top, double right, double bottom);

// The end tick of a line of at least two points.
PreviewTick EndTick(const Shoreline& line);

// Truncation toward zero to int, saturating at the int range (NaN gives 0).
int TruncateToInt(double value);
