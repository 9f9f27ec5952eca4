#include "viewer/GuiViewSurface.h"

#include <algorithm>

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

#include "palette/GuiColourCell.h"

ViewSurface::ViewSurface(QWidget* parent)
    : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont labelFont = font();
    labelFont.setPixelSize(10);
    setFont(labelFont);
}

void ViewSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!Surface.isNull())
        painter.drawImage(0, 0, Surface);
    if (Bounds.empty())
        return;
    const QColor colour = ColourCell::ToQColor(BoundsColour);
    painter.setPen(QPen(colour, 1));
    for (const BoundLine& line : Bounds) {
        painter.drawLine(0, line.Y, Surface.width() - 1, line.Y);
        painter.drawText(QRect(0, line.LabelTop, Surface.width(), 15), Qt::AlignLeft | Qt::AlignTop,
            QString::number(line.Block));
    }
}

void ViewSurface::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    emit MouseDown(event->button(), p.x(), p.y());
    event->accept();
}

void ViewSurface::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    if (confined && !rect().contains(p) && width() > 0 && height() > 0) {
        const QPoint inside(std::clamp(p.x(), 0, width() - 1), std::clamp(p.y(), 0, height() - 1));
        QCursor::setPos(mapToGlobal(inside));
    }
    emit MouseMove(event->buttons(), p.x(), p.y());
    event->accept();
}

void ViewSurface::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event->button());
    event->accept();
}
