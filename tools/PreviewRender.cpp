#include "tools/PreviewRender.h"

#include "tools/Image.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace
{
class Canvas
{
public:
    Canvas(std::vector<std::uint8_t>& rgb, int width, int height) : m_rgb(rgb), m_width(width), m_height(height)
    {
        m_rgb.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    }

    void set(int x, int y, PreviewColor color)
    {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return;
        std::uint8_t* p = &m_rgb[(std::size_t(y) * std::size_t(m_width) + std::size_t(x)) * 3];
        p[0] = color.red;
        p[1] = color.green;
        p[2] = color.blue;
    }

    // The outline of the rectangle [left, right) x [top, bottom).
    void outline(int left, int top, int right, int bottom, PreviewColor color)
    {
        if (right <= left || bottom <= top)
            return;
        const int x0 = std::max(left, -1);
        const int x1 = std::min(right - 1, m_width);
        const int y0 = std::max(top, -1);
        const int y1 = std::min(bottom - 1, m_height);
        for (int x = x0; x <= x1; ++x)
        {
            set(x, top, color);
            set(x, bottom - 1, color);
        }
        for (int y = y0; y <= y1; ++y)
        {
            set(left, y, color);
            set(right - 1, y, color);
        }
    }

    // A line with both end pixels, clipped to the canvas first (Liang-Barsky) so that far-away
    // points cost nothing.
    void line(PreviewPoint from, PreviewPoint to, PreviewColor color)
    {
        double x0 = from.x, y0 = from.y, x1 = to.x, y1 = to.y;
        if (!clip(x0, y0, x1, y1))
            return;
        int ax = static_cast<int>(std::lround(x0)), ay = static_cast<int>(std::lround(y0));
        const int bx = static_cast<int>(std::lround(x1)), by = static_cast<int>(std::lround(y1));
        const int dx = std::abs(bx - ax), dy = -std::abs(by - ay);
        const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
        int error = dx + dy;
        for (;;)
        {
            set(ax, ay, color);
            if (ax == bx && ay == by)
                break;
            const int twice = 2 * error;
            if (twice >= dy)
            {
                error += dy;
                ax += sx;
            }
            if (twice <= dx)
            {
                error += dx;
                ay += sy;
            }
        }
    }

private:
    bool clip(double& x0, double& y0, double& x1, double& y1) const
    {
        double t0 = 0.0, t1 = 1.0;
        const double dx = x1 - x0, dy = y1 - y0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0, m_width - 1 - x0, y0, m_height - 1 - y0};
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
        const double ox = x0, oy = y0;
        x0 = ox + t0 * dx;
        y0 = oy + t0 * dy;
        x1 = ox + t1 * dx;
        y1 = oy + t1 * dy;
        return true;
    }

    std::vector<std::uint8_t>& m_rgb;
    int m_width;
    int m_height;
};
} // namespace

void RenderPreview(const WaterImage& image, const ShorelineSet& lines, const PreviewGeometry& view, int clientWidth,
                   int clientHeight, double metresPerPixel, std::vector<std::uint8_t>& rgb)
{
    Canvas canvas(rgb, clientWidth, clientHeight);
    const PreviewPlacement place = view.place(clientWidth, clientHeight);
    canvas.outline(place.frameLeft, place.frameTop, place.frameRight, place.frameBottom, kPreviewFrameColor);

    // Stretch the source rectangle onto the destination, nearest pixel, only where both lie
    // inside the client area and the image.
    if (place.width > 0 && place.height > 0 && place.sourceWidth > 0 && place.sourceHeight > 0)
    {
        const int yBegin = std::max(place.y, 0);
        const int yEnd = static_cast<int>(std::min<long long>((long long)place.y + place.height, clientHeight));
        const int xBegin = std::max(place.x, 0);
        const int xEnd = static_cast<int>(std::min<long long>((long long)place.x + place.width, clientWidth));
        for (int y = yBegin; y < yEnd; ++y)
        {
            const long long sy = place.sourceY + (long long)(y - place.y) * place.sourceHeight / place.height;
            if (sy < 0 || sy >= image.height)
                continue;
            for (int x = xBegin; x < xEnd; ++x)
            {
                const long long sx = place.sourceX + (long long)(x - place.x) * place.sourceWidth / place.width;
                if (sx < 0 || sx >= image.width)
                    continue;
                const std::uint8_t v = image.atTop(int(sx), int(sy));
                canvas.set(x, y, {v, v, v});
            }
        }
    }

    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const Shoreline& line = lines[i];
        if (line.size() < 2)
            continue;
        const PreviewColor color = PreviewLineColor(i);
        PreviewPoint from = view.map(line[0], clientWidth, clientHeight, metresPerPixel);
        for (std::size_t j = 1; j < line.size(); ++j)
        {
            const PreviewPoint to = view.map(line[j], clientWidth, clientHeight, metresPerPixel);
            canvas.line(from, to, color);
            from = to;
        }
        const PreviewTick tick = EndTick(line);
        canvas.line(view.map(tick.fromX, tick.fromZ, clientWidth, clientHeight, metresPerPixel),
                    view.map(tick.toX, tick.toZ, clientWidth, clientHeight, metresPerPixel), color);
    }
}

int PreviewPngFactor(int width, int height)
{
    int factor = 1;
    while (width > 0 && height > 0 && std::max(width, height) * factor * 2 <= kPreviewPngEnlargeTo)
        factor *= 2;
    return factor;
}

bool RenderPreviewPngImage(const WaterImage& image, const ShorelineSet& lines, double metresPerPixel,
                           std::vector<std::uint8_t>& rgb, int& width, int& height)
{
    if (image.width <= 0 || image.height <= 0)
        return false;
    PreviewGeometry view;
    view.fit(image.width, image.height, image.width, image.height);
    const int factor = PreviewPngFactor(image.width, image.height);
    for (int zoom = 1; zoom < factor; zoom *= 2)
        view.zoomIn();
    width = image.width * factor;
    height = image.height * factor;
    RenderPreview(image, lines, view, width, height, metresPerPixel, rgb);
    return true;
}

bool SavePreviewPng(const std::string& path, const WaterImage& image, const ShorelineSet& lines, double metresPerPixel)
{
    std::vector<std::uint8_t> rgb;
    int width = 0;
    int height = 0;
    return RenderPreviewPngImage(image, lines, metresPerPixel, rgb, width, height) &&
           SavePng(path, rgb.data(), width, height, 3);
}
