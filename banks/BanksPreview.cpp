#include "banks/BanksPreview.h"

#include "banks/PreviewDrawing.h"

#include <QMouseEvent>
#include <QPainter>
#include <QImage>
#include <QtMath>

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
        m_bitmap = WaterImage();
        return;
    }
    m_bitmap = *image;
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
    // The view works in logical pixels; the picture is drawn in the screen's device pixels (the
    // view scaled by the ratio), so lines stay one device pixel wide and sharp on a HiDPI screen.
    // The whole picture is composed off-screen and shown in one go, so a repaint never shows a
    // half-drawn state.
    const qreal ratio = devicePixelRatioF();
    const int pictureWidth = qCeil(clientWidth * ratio);
    const int pictureHeight = qCeil(clientHeight * ratio);
    if (HasImage())
    {
        PreviewGeometry view = Geometry();
        view.zoom = static_cast<float>(double(view.zoom) * ratio);
        RenderPreview(m_bitmap, m_lines, view, pictureWidth, pictureHeight, kPreviewMetresPerPixel, m_picture);
    }
    else
        m_picture.assign(std::size_t(pictureWidth) * std::size_t(pictureHeight) * 3, 0);
    QImage picture(m_picture.data(), pictureWidth, pictureHeight, pictureWidth * 3, QImage::Format_RGB888);
    picture.setDevicePixelRatio(ratio);
    QPainter(this).drawImage(0, 0, picture);
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
