#include "banks/PreviewDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

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
    // points cost nothing and, at any zoom, no end limited to the int range bends the line.
    void line(PreviewPointD from, PreviewPointD to, PreviewColor color)
    {
        if (!ClipSegment(from, to, 0, 0, m_width - 1, m_height - 1))
            return;
        int ax = static_cast<int>(std::lround(from.x)), ay = static_cast<int>(std::lround(from.y));
        const int bx = static_cast<int>(std::lround(to.x)), by = static_cast<int>(std::lround(to.y));
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

    // Stretch the source rectangle onto the destination, only where both lie inside the client
    // area and the image. Each client pixel shows the image pixels whose left (top) edges map into
    // it: enlarged that is one pixel, repeated; shrunk, their average (a half-tone stretch).
    if (place.width > 0 && place.height > 0 && place.sourceWidth > 0 && place.sourceHeight > 0)
    {
        const int yBegin = std::max(place.y, 0);
        const int yEnd = static_cast<int>(std::min<long long>((long long)place.y + place.height, clientHeight));
        const int xBegin = std::max(place.x, 0);
        const int xEnd = static_cast<int>(std::min<long long>((long long)place.x + place.width, clientWidth));
        const auto span = [](int c, int origin, int extent, int source, int sourceExtent, int limit) {
            const long long first = source + (long long)(c - origin) * sourceExtent / extent;
            const long long next = source + (long long)(c + 1 - origin) * sourceExtent / extent;
            return std::pair<long long, long long>(first, std::min<long long>(std::max(next, first + 1), limit));
        };
        for (int y = yBegin; y < yEnd; ++y)
        {
            const auto [rowFirst, rowEnd] = span(y, place.y, place.height, place.sourceY, place.sourceHeight, image.height);
            if (rowFirst < 0 || rowFirst >= image.height)
                continue;
            for (int x = xBegin; x < xEnd; ++x)
            {
                const auto [columnFirst, columnEnd] =
                    span(x, place.x, place.width, place.sourceX, place.sourceWidth, image.width);
                if (columnFirst < 0 || columnFirst >= image.width)
                    continue;
                unsigned long long sum = 0;
                for (long long r = rowFirst; r < rowEnd; ++r)
                    for (long long c = columnFirst; c < columnEnd; ++c)
                        sum += image.atTop(int(c), int(r));
                const unsigned long long count =
                    static_cast<unsigned long long>((rowEnd - rowFirst) * (columnEnd - columnFirst));
                const auto v = static_cast<std::uint8_t>((sum + count / 2) / count);
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
        PreviewPointD from = view.mapUnlimited(line[0].x, line[0].z, clientWidth, clientHeight, metresPerPixel);
        for (std::size_t j = 1; j < line.size(); ++j)
        {
            const PreviewPointD to = view.mapUnlimited(line[j].x, line[j].z, clientWidth, clientHeight, metresPerPixel);
            canvas.line(from, to, color);
            from = to;
        }
        const PreviewTick tick = EndTick(line);
        canvas.line(view.mapUnlimited(tick.fromX, tick.fromZ, clientWidth, clientHeight, metresPerPixel),
                    view.mapUnlimited(tick.toX, tick.toZ, clientWidth, clientHeight, metresPerPixel), color);
    }
}

