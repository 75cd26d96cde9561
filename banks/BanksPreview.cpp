#include "banks/BanksPreview.h"

#include "banks/WaterImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QtMath>
#include <cmath>
#include <vector>

CBanksPreview::CBanksPreview(QWidget* parent) : QWidget(parent)
{
    // Every paint covers the whole area, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CBanksPreview::~CBanksPreview() = default;

void CBanksPreview::SetImage(const WaterImage* image)
{
    if (!image)
    {
        m_bitmap = QImage();
        return;
    }
    // Grey v shows as (v, v, v); the image's memory rows run bottom-up.
    m_bitmap = QImage(image->width, image->height, QImage::Format_RGB32);
    for (int y = 0; y < image->height; ++y)
    {
        auto* line = reinterpret_cast<QRgb*>(m_bitmap.scanLine(y));
        for (int x = 0; x < image->width; ++x)
        {
            const int grey = image->atTop(x, y);
            line[x] = qRgb(grey, grey, grey);
        }
    }
    m_imageWidth = image->width;
    m_imageHeight = image->height;
    PreviewGeometry view = Geometry();
    view.fit(m_imageWidth, m_imageHeight, width(), height());
    m_zoom = view.zoom;
    m_panX = view.panX;
    m_panY = view.panY;
    update();
}

PreviewGeometry CBanksPreview::Geometry() const
{
    PreviewGeometry view;
    view.zoom = m_zoom;
    view.panX = m_panX;
    view.panY = m_panY;
    view.imageWidth = m_imageWidth;
    view.imageHeight = m_imageHeight;
    return view;
}

void CBanksPreview::ClearLines()
{
    m_lines.clear();
}

void CBanksPreview::AddLine(const ShorePoint* points, short count)
{
    if (count <= 0)
        m_lines.emplace_back();
    else
        m_lines.emplace_back(points, points + count);
}

void CBanksPreview::paintEvent(QPaintEvent*)
{
    const int clientWidth = width();
    const int clientHeight = height();
    if (clientWidth <= 0 || clientHeight <= 0)
        return;
    // The whole picture is composed off-screen and copied to the window in one go, so a
    // repaint never shows a half-drawn state. The view works in logical pixels; the canvas has
    // the screen's device pixels, so lines stay one device pixel wide and sharp on a HiDPI screen.
    const qreal ratio = devicePixelRatioF();
    QPixmap canvas(QSize(qCeil(clientWidth * ratio), qCeil(clientHeight * ratio)));
    canvas.setDevicePixelRatio(ratio);
    {
        QPainter painter(&canvas);
        const QColor frameColor(kPreviewFrameColor.red, kPreviewFrameColor.green, kPreviewFrameColor.blue);
        painter.fillRect(canvas.rect(), Qt::black);
        if (!m_bitmap.isNull())
        {
            const PreviewGeometry view = Geometry();
            const PreviewPlacement place = view.place(clientWidth, clientHeight);
            // The outline of the rectangle from frameLeft/frameTop inclusive to
            // frameRight/frameBottom exclusive; a one-pixel pen draws both edges of a QRect.
            painter.setPen(QPen(frameColor, 0));
            painter.setBrush(Qt::black);
            if (place.frameRight > place.frameLeft && place.frameBottom > place.frameTop)
                painter.drawRect(QRect(place.frameLeft, place.frameTop, place.frameRight - place.frameLeft - 1,
                                       place.frameBottom - place.frameTop - 1));
            const QRect target(place.x, place.y, place.width, place.height);
            const QRect source(place.sourceX, place.sourceY, place.sourceWidth, place.sourceHeight);
            if (view.zoom < 1.0f && !target.isEmpty())
                // Shrunk, a screen pixel shows the average of the image pixels it covers (a
                // half-tone stretch) rather than a blend of the few nearest ones.
                painter.drawImage(target.topLeft(), Shrunk(source, target.size(), ratio));
            else
                // Enlarged, every image pixel becomes a block of its own colour.
                painter.drawImage(target, m_bitmap, source);
            DrawLines(painter, view, clientWidth, clientHeight);
        }
    }
    QPainter(this).drawPixmap(0, 0, canvas);
}

const QImage& CBanksPreview::Shrunk(const QRect& source, const QSize& size, qreal ratio)
{
    const QSize pixels(qCeil(size.width() * ratio), qCeil(size.height() * ratio));
    if (m_shrunk.isNull() || m_shrunkFrom != m_bitmap.cacheKey() || m_shrunkSource != source ||
        m_shrunk.size() != pixels)
    {
        // Qt's smooth scaling averages the covered pixels when it shrinks; made once per view.
        m_shrunk = m_bitmap.copy(source).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_shrunkFrom = m_bitmap.cacheKey();
        m_shrunkSource = source;
    }
    m_shrunk.setDevicePixelRatio(ratio);
    return m_shrunk;
}

namespace
{
// How far outside the client area a line end may lie and still be handed to the painter as it
// is; beyond this (a deep zoom) a segment is clipped first, so that no coordinate overflows and
// no limited coordinate bends the line.
constexpr double kLineReach = 1 << 16;

bool WithinReach(const PreviewPointD& point, int clientWidth, int clientHeight)
{
    return point.x >= -kLineReach && point.x <= clientWidth + kLineReach && point.y >= -kLineReach &&
           point.y <= clientHeight + kLineReach;
}

void DrawSegment(QPainter& painter, PreviewPointD from, PreviewPointD to, int clientWidth, int clientHeight)
{
    if (!WithinReach(from, clientWidth, clientHeight) || !WithinReach(to, clientWidth, clientHeight))
    {
        if (!ClipSegment(from, to, -kLineReach, -kLineReach, clientWidth + kLineReach, clientHeight + kLineReach))
            return;
    }
    painter.drawLine(QPoint(int(std::lround(from.x)), int(std::lround(from.y))),
                     QPoint(int(std::lround(to.x)), int(std::lround(to.y))));
}
} // namespace

void CBanksPreview::DrawLines(QPainter& painter, const PreviewGeometry& view, int clientWidth, int clientHeight) const
{
    painter.setBrush(Qt::NoBrush);
    QPolygon polygon;
    std::vector<PreviewPointD> mapped;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
    {
        const Shoreline& line = m_lines[i];
        if (line.size() < 2)
            continue; // an empty line, or a single point, has no segment and no direction
        const PreviewColor& color = PreviewLineColor(i);
        painter.setPen(QPen(QColor(color.red, color.green, color.blue), 0));
        mapped.clear();
        bool near = true;
        for (const ShorePoint& point : line)
        {
            mapped.push_back(view.mapUnlimited(point.x, point.z, clientWidth, clientHeight));
            near = near && WithinReach(mapped.back(), clientWidth, clientHeight);
        }
        if (near)
        {
            polygon.clear();
            for (const PreviewPointD& point : mapped)
                polygon << QPoint(int(point.x), int(point.y));
            painter.drawPolyline(polygon);
        }
        else
        {
            for (std::size_t j = 1; j < mapped.size(); ++j)
                DrawSegment(painter, mapped[j - 1], mapped[j], clientWidth, clientHeight);
        }
        const PreviewTick tick = EndTick(line);
        DrawSegment(painter, view.mapUnlimited(tick.fromX, tick.fromZ, clientWidth, clientHeight),
                    view.mapUnlimited(tick.toX, tick.toZ, clientWidth, clientHeight), clientWidth, clientHeight);
    }
}

void CBanksPreview::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        m_lastPoint = event->position().toPoint();
}

void CBanksPreview::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    PreviewGeometry view = Geometry();
    view.drag(point.x() - m_lastPoint.x(), point.y() - m_lastPoint.y());
    m_panX = view.panX;
    m_panY = view.panY;
    m_lastPoint = point;
    update();
}

void CBanksPreview::mouseReleaseEvent(QMouseEvent* event)
{
    // The press grabbed the mouse for this window; the release ends that grab.
    QWidget::mouseReleaseEvent(event);
}
