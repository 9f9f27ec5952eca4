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

void ColourCell::SetInset(std::optional<uint32_t> colour)
{
    if (inset == colour)
        return;
    inset = colour;
    update();
}

void ColourCell::SetMarked(bool on)
{
    if (marked == on)
        return;
    marked = on;
    update();
}

void ColourCell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(outline));
    const QRect inner = rect().adjusted(outlineWidth, outlineWidth, -outlineWidth, -outlineWidth);
    if (!inner.isValid())
        return;
    painter.fillRect(inner, ToQColor(fill));
    if (inset) {
        const int side = (inner.width() + 1) / 2;
        painter.fillRect(QRect(inner.right() - side + 1, inner.bottom() - side + 1, side, side),
            ToQColor(*inset));
    }
    if (marked) {
        const QColor shown = ToQColor(fill);
        const bool light = shown.red() * 299 + shown.green() * 587 + shown.blue() * 114 >= 128000;
        const QPoint centre = inner.center();
        painter.fillRect(
            QRect(centre.x() - 1, centre.y() - 1, 3, 3), light ? Qt::black : Qt::white);
    }
}

void ColourCell::mousePressEvent(QMouseEvent* event)
{
    emit Pressed(event->button());
    event->accept();
}
