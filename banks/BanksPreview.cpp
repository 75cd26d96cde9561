#include "banks/BanksPreview.h"

#include "banks/WaterImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

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
    // repaint never shows a half-drawn state.
    QPixmap canvas(clientWidth, clientHeight);
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
            painter.drawRect(QRect(place.frameLeft, place.frameTop, place.frameRight - place.frameLeft - 1,
                                   place.frameBottom - place.frameTop - 1));
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(place.x, place.y, place.width, place.height), m_bitmap,
                              QRect(place.sourceX, place.sourceY, place.sourceWidth, place.sourceHeight));
            DrawLines(painter, view, clientWidth, clientHeight);
        }
    }
    QPainter(this).drawPixmap(0, 0, canvas);
}

void CBanksPreview::DrawLines(QPainter& painter, const PreviewGeometry& view, int clientWidth, int clientHeight) const
{
    painter.setBrush(Qt::NoBrush);
    QPolygon polygon;
    for (std::size_t i = 0; i < m_lines.size(); ++i)
    {
        const Shoreline& line = m_lines[i];
        const PreviewColor& color = PreviewLineColor(i);
        painter.setPen(QPen(QColor(color.red, color.green, color.blue), 0));
        polygon.clear();
        for (const ShorePoint& point : line)
        {
            const PreviewPoint mapped = view.map(point, clientWidth, clientHeight);
            polygon << QPoint(mapped.x, mapped.y);
        }
        if (line.size() < 2)
            continue; // an empty line, or a single point, has no segment and no direction
        painter.drawPolyline(polygon);
        const PreviewTick tick = EndTick(line);
        const PreviewPoint from = view.map(tick.fromX, tick.fromZ, clientWidth, clientHeight);
        const PreviewPoint to = view.map(tick.toX, tick.toZ, clientWidth, clientHeight);
        painter.drawLine(from.x, from.y, to.x, to.y);
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
