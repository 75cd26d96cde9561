#include "gui/MainDialog.h"

#include <QWidget>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace
{
// The packaged icon (packaging/altimo.svg) drawn with the painter, so the application needs no
// image plugin: sky, a mountain ridge with a snow cap, and water in front.
QPixmap DrawIcon(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(side / 64.0, side / 64.0);
    painter.setPen(Qt::NoPen);

    QLinearGradient sky(0, 2, 0, 62);
    sky.setColorAt(0, QColor(0x2b, 0x5d, 0x8a));
    sky.setColorAt(1, QColor(0x8f, 0xc1, 0xe3));
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    QLinearGradient rock(0, 14, 0, 52);
    rock.setColorAt(0, QColor(0xf2, 0xef, 0xe6));
    rock.setColorAt(0.35, QColor(0x9a, 0x8a, 0x6c));
    rock.setColorAt(1, QColor(0x4d, 0x6b, 0x35));
    QPainterPath ridge;
    ridge.moveTo(4, 46);
    for (const QPointF point : {QPointF(18, 26), QPointF(25, 34), QPointF(36, 14), QPointF(50, 36), QPointF(56, 30),
                                QPointF(60, 38), QPointF(60, 52), QPointF(4, 52)})
        ridge.lineTo(point);
    ridge.closeSubpath();
    painter.setBrush(rock);
    painter.drawPath(ridge);

    QPainterPath water;
    water.moveTo(4, 50);
    water.quadTo(20, 44, 32, 50);
    water.quadTo(44, 56, 60, 48);
    water.lineTo(60, 56);
    water.quadTo(60, 60, 56, 60);
    water.lineTo(8, 60);
    water.quadTo(4, 60, 4, 56);
    water.closeSubpath();
    painter.setBrush(QColor(0x1f, 0x6f, 0xb5));
    painter.drawPath(water);

    QPainterPath snow;
    snow.moveTo(36, 14);
    for (const QPointF point : {QPointF(40, 20), QPointF(37, 19), QPointF(35, 22), QPointF(33, 19)})
        snow.lineTo(point);
    snow.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(snow);
    return pixmap;
}
} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (const int side : {16, 32, 48, 64})
        icon.addPixmap(DrawIcon(side));
    return icon;
}

IMainDialog* FindMainDialog(QWidget* page)
{
    // The sheet keeps its pages in a stack of its own, so the dialog is the first ancestor of
    // its kind rather than exactly two levels up.
    for (QWidget* widget = page ? page->parentWidget() : nullptr; widget; widget = widget->parentWidget())
    {
        if (auto* dialog = dynamic_cast<IMainDialog*>(widget))
            return dialog;
    }
    return nullptr;
}
