#pragma once

#include <cstdint>
#include <optional>

#include <QWidget>

// A small square filled with one colour and outlined: a palette cell of the palette window
// (15 x 15, 3-pixel outline) and the bounds-colour swatch of the viewer (17 x 17, 1-pixel
// outline). A mouse press is reported with its button; the owner decides what it means.
class ColourCell : public QWidget {
    Q_OBJECT
public:
    ColourCell(QWidget* parent, int side, int outlineWidth);

    // Colours are red + 256 x green + 65536 x blue; the top byte is ignored for display.
    void SetFill(uint32_t colour);
    void SetOutline(uint32_t colour);
    uint32_t Fill() const { return fill; }
    uint32_t Outline() const { return outline; }
    // A square of a second colour in the lower right quarter (the colour an entry of a
    // translation table becomes); none at first.
    void SetInset(std::optional<uint32_t> colour);
    std::optional<uint32_t> Inset() const { return inset; }
    // A small dot in the middle, black or white, whichever stands out from the fill (a colour
    // in use); none at first.
    void SetMarked(bool on);
    bool Marked() const { return marked; }

    static QColor ToQColor(uint32_t colour);

signals:
    void Pressed(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int outlineWidth;
    uint32_t fill = 0;
    uint32_t outline = 0;
    std::optional<uint32_t> inset;
    bool marked = false;
};
