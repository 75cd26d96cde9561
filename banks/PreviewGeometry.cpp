#include "banks/PreviewGeometry.h"

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
    const double k = zoom;
    PreviewPlacement p;
    p.width = TruncateToInt(imageWidth * k);
    p.height = TruncateToInt(imageHeight * k);
    p.x = TruncateToInt(double(clientWidth / 2 - p.width / 2) - k * double(panX));
    p.y = TruncateToInt(double(clientHeight / 2 - p.height / 2) - k * double(panY));
    p.sourceX = TruncateToInt(-double(p.x) / k);
    p.sourceY = TruncateToInt(-double(p.y) / k);
    p.sourceWidth = imageWidth;
    p.sourceHeight = imageHeight;

    p.frameLeft = p.x - 1;
    p.frameTop = p.y - 1;
    p.frameRight = TruncateToInt(double(p.x) + p.width + 1);
    p.frameBottom = TruncateToInt(double(p.y) + p.height + 1);

    // Clipping keeps the stretched area within about one image pixel of the client area.
    if (p.sourceX > 0)
    {
        const int d = TruncateToInt(p.sourceX * k);
        p.width -= d;
        p.x += d;
        p.sourceWidth -= p.sourceX;
    }
    else
        p.sourceX = 0;
    if (p.sourceY > 0)
    {
        const int d = TruncateToInt(p.sourceY * k);
        p.height -= d;
        p.y += d;
        p.sourceHeight -= p.sourceY;
    }
    else
        p.sourceY = 0;
    if (double(p.x) + p.width > clientWidth)
    {
        p.sourceWidth = TruncateToInt(double(clientWidth - double(p.x)) / k) + 1;
        p.width = TruncateToInt(p.sourceWidth * k);
    }
    if (double(p.y) + p.height > clientHeight)
    {
        p.sourceHeight = TruncateToInt(double(clientHeight - double(p.y)) / k) + 1;
        p.height = TruncateToInt(p.sourceHeight * k);
    }
    return p;
}

PreviewPoint PreviewGeometry::map(double x, double z, int clientWidth, int clientHeight, double metresPerPixel) const
{
    const double k = zoom;
    return {TruncateToInt(clientWidth * 0.5 - (imageWidth * 0.5 - x / metresPerPixel + double(panX)) * k),
            TruncateToInt((imageHeight * 0.5 - z / metresPerPixel - double(panY)) * k + clientHeight * 0.5)};
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
