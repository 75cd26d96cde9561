#pragma once
// The preview of the "Water banks" page: the filtered water image fitted into the window,
// with the shorelines over it in seven repeating colours, each ending in a tick to the left of
// its last segment, drawn by RenderPreview (banks/PreviewDrawing.h) as the command line's
// preview picture is. "In"/"Out" on the page scale m_zoom; dragging with the left button pans.
// The preview keeps its own copies of the image and the lines.
#include "banks/PreviewGeometry.h"
#include "banks/Shoreline.h"
#include "banks/WaterImage.h"

#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <vector>

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

    WaterImage m_bitmap; // the preview's own copy of the image; none while its width is 0
    bool HasImage() const { return m_bitmap.width > 0; }
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
    std::vector<std::uint8_t> m_picture; // one paint, red, green, blue
};
