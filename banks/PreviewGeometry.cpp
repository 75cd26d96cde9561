#include "banks/PreviewGeometry.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cmath>

int TruncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    if (value <= double(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

namespace
{
// When one image pixel covers more than the whole client area, at most two pixels are visible,
// with at most one boundary between them inside the area. Their stretch is redrawn with pixels
// just large enough to cover the area on either side of that boundary: the same picture, in
// numbers that fit an int at any zoom.
void ShrinkHugePixels(double& origin, double& extent, double sourceExtent, double k, int client)
{
    if (k <= client + 2.0 || sourceExtent > 2 || sourceExtent < 1)
        return;
    // The stretch is uniform, so the boundary lies halfway along it.
    const double cover = client + 2.0;
    if (sourceExtent == 1)
    {
        origin = -1;
        extent = cover;
        return;
    }
    const double boundary = std::clamp(std::floor(origin + extent / 2), -1.0, client + 1.0);
    origin = boundary - cover;
    extent = 2 * cover;
}
} // namespace

void PreviewGeometry::fit(int width, int height, int clientWidth, int clientHeight)
{
    zoom = 1.0f;
    panX = 0.0f;
    panY = 0.0f;
    imageWidth = width;
    imageHeight = height;
    long long h = height;
    if (width > clientWidth)
    {
        zoom = static_cast<float>(double(clientWidth) / double(width));
        h = (static_cast<long long>(clientWidth) * height) / width;
    }
    if (h > clientHeight)
        zoom = static_cast<float>((double(clientHeight) / double(h)) * double(zoom));
}

void PreviewGeometry::drag(int dx, int dy)
{
    panX = static_cast<float>(double(panX) - double(dx) / double(zoom));
    panY = static_cast<float>(double(panY) - double(dy) / double(zoom));
}

PreviewPlacement PreviewGeometry::place(int clientWidth, int clientHeight) const
{
    PreviewPlacement p;
    const double k = zoom;
    if (!(k > 0.0) || !std::isfinite(k))
    {
        // Zoomed out to nothing, or "In" pressed until the factor is infinite: nothing to place.
        p.frameLeft = p.frameTop = p.frameRight = p.frameBottom = -1;
        return p;
    }
    // Everything in double until the clipping is done: at a deep zoom the unclipped image is far
    // larger than an int holds, and limiting it any earlier would move it off the centre.
    double width = std::trunc(imageWidth * k);
    double height = std::trunc(imageHeight * k);
    double x = std::trunc(double(clientWidth / 2) - std::trunc(width / 2) - k * double(panX));
    double y = std::trunc(double(clientHeight / 2) - std::trunc(height / 2) - k * double(panY));
    double sourceX = std::trunc(-x / k);
    double sourceY = std::trunc(-y / k);
    double sourceWidth = imageWidth;
    double sourceHeight = imageHeight;

    // Frame edges beyond the client area are moved to just outside it: they stay invisible, and
    // the outline's visible edges and extent are the same.
    const auto edge = [](double value, int client) { return TruncateToInt(std::clamp(value, -1.0, client + 1.0)); };
    p.frameLeft = edge(x - 1, clientWidth);
    p.frameTop = edge(y - 1, clientHeight);
    p.frameRight = edge(x + width + 1, clientWidth);
    p.frameBottom = edge(y + height + 1, clientHeight);

    // Clipping keeps the stretched area within about one image pixel of the client area.
    if (sourceX > 0)
    {
        const double d = std::trunc(sourceX * k);
        width -= d;
        x += d;
        sourceWidth -= sourceX;
    }
    else
        sourceX = 0;
    if (sourceY > 0)
    {
        const double d = std::trunc(sourceY * k);
        height -= d;
        y += d;
        sourceHeight -= sourceY;
    }
    else
        sourceY = 0;
    if (x + width > clientWidth)
    {
        sourceWidth = std::trunc((clientWidth - x) / k) + 1;
        width = std::trunc(sourceWidth * k);
    }
    if (y + height > clientHeight)
    {
        sourceHeight = std::trunc((clientHeight - y) / k) + 1;
        height = std::trunc(sourceHeight * k);
    }
    ShrinkHugePixels(x, width, sourceWidth, k, clientWidth);
    ShrinkHugePixels(y, height, sourceHeight, k, clientHeight);

    p.x = TruncateToInt(x);
    p.y = TruncateToInt(y);
    p.width = TruncateToInt(width);
    p.height = TruncateToInt(height);
    p.sourceX = TruncateToInt(sourceX);
    p.sourceY = TruncateToInt(sourceY);
    p.sourceWidth = TruncateToInt(sourceWidth);
    p.sourceHeight = TruncateToInt(sourceHeight);
    return p;
}

PreviewPointD PreviewGeometry::mapUnlimited(double x, double z, int clientWidth, int clientHeight,
                                           double metresPerPixel) const
{
    const double k = zoom;
    return {std::trunc(clientWidth * 0.5 - (imageWidth * 0.5 - x / metresPerPixel + double(panX)) * k),
            std::trunc((imageHeight * 0.5 - z / metresPerPixel - double(panY)) * k + clientHeight * 0.5)};
}

PreviewPoint PreviewGeometry::map(double x, double z, int clientWidth, int clientHeight, double metresPerPixel) const
{
    const PreviewPointD point = mapUnlimited(x, z, clientWidth, clientHeight, metresPerPixel);
    return {TruncateToInt(point.x), TruncateToInt(point.y)};
}

bool ClipSegment(PreviewPointD& from, PreviewPointD& to, double left, double top, double right, double bottom)
{
    // Liang-Barsky: the part of from + t (to - from), 0 <= t <= 1, inside the four edges.
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {from.x - left, right - from.x, from.y - top, bottom - from.y};
    for (int i = 0; i < 4; ++i)
    {
        if (p[i] == 0.0)
        {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    if (!std::isfinite(t0) || !std::isfinite(t1))
        return false;
    const PreviewPointD start = from;
    if (t0 > 0.0)
        from = {start.x + t0 * dx, start.y + t0 * dy};
    if (t1 < 1.0)
        to = {start.x + t1 * dx, start.y + t1 * dy};
    return true;
}

PreviewTick EndTick(const Shoreline& line)
{
    assert(line.size() >= 2);
    const ShorePoint& last = line[line.size() - 1];
    const ShorePoint& before = line[line.size() - 2];
    float dx = static_cast<float>(double(last.x) - double(before.x));
    float dz = static_cast<float>(double(last.z) - double(before.z));
    const double length = std::sqrt(double(dx) * double(dx) + double(dz) * double(dz));
    if (length > 0.00001)
    {
        dx = static_cast<float>(dx / length);
        dz = static_cast<float>(dz / length);
    }
    return {double(last.x), double(last.z), last.x - 100.0 * double(dz), last.z + 100.0 * double(dx)};
}
