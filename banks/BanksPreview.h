#pragma once
// The preview of the "Water banks" page: the filtered water image fitted into the window,
// with the shorelines over it in seven repeating colours, each ending in a tick to the left of
// its last segment. "In"/"Out" on the page scale m_zoom; dragging with the left button pans.
// The preview keeps its own copies of the image and the lines.
#include "banks/PreviewGeometry.h"
#include "banks/Shoreline.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

struct WaterImage;

class QPainter;

class CBanksPreview : public QWidget
{
    Q_OBJECT

public:
    explicit CBanksPreview(QWidget* parent = nullptr);
    ~CBanksPreview() override;

    // With an image: copies it, resets zoom and pan to show all of it centred and at most
    // 1:1, and repaints. With none: only drops the image; the window shows black from its next
    // repaint on.
    void SetImage(const WaterImage* image);
    void ClearLines();
    // Appends a copy of the first `count` points; a count of zero or less appends an empty line.
    void AddLine(const ShorePoint* points, short count);

    QImage m_bitmap; // the image, converted for drawing; null: none
    float m_zoom = 1.0f;   // screen pixels per image pixel
    QPoint m_lastPoint;    // cursor at the last press or drag step, client coordinates
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    float m_panX = 0.0f; // image pixels; the window's centre shows the image centre moved by the pan
    float m_panY = 0.0f;
    ShorelineSet m_lines;

    // The view arithmetic over the fields above.
    PreviewGeometry Geometry() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The part `source` of the image shrunk to `size` logical pixels by averaging, kept while
    // the image and the view stay the same.
    const QImage& Shrunk(const QRect& source, const QSize& size, qreal ratio);
    void DrawLines(QPainter& painter, const PreviewGeometry& view, int clientWidth, int clientHeight) const;

    QImage m_shrunk;
    qint64 m_shrunkFrom = 0;
    QRect m_shrunkSource;
};
