#include "palette/GuiColourCell.h"

#include <QMouseEvent>
#include <QPainter>

ColourCell::ColourCell(QWidget* parent, int side, int outlineWidth)
    : QWidget(parent)
    , outlineWidth(outlineWidth)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor ColourCell::ToQColor(uint32_t colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

void ColourCell::SetFill(uint32_t colour)
{
    fill = colour;
    update();
}

void ColourCell::SetOutline(uint32_t colour)
{
    outline = colour;
    update();
}

void ColourCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(outline));
    const QRect inner = rect().adjusted(outlineWidth, outlineWidth, -outlineWidth, -outlineWidth);
    if (inner.isValid())
        painter.fillRect(inner, ToQColor(fill));
}

void ColourCell::mousePressEvent(QMouseEvent* event)
{
    emit Pressed(event->button());
    event->accept();
}
