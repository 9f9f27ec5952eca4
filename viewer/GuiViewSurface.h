#pragma once

#include <vector>

#include <QImage>
#include <QWidget>

#include "viewer/ViewerState.h"

// The image control of the viewer: shows the 8-bit indexed surface that the viewer window
// fills, the block-bound lines with their labels over it, and reports mouse presses, moves
// and releases in surface coordinates. It owns no image state of its own beyond what it
// paints; the window decides everything.
class ViewSurface : public QWidget {
    Q_OBJECT
public:
    explicit ViewSurface(QWidget* parent);

    // The indexed surface; the window fills its bits and colour table.
    QImage Surface;
    // Bound lines drawn over the picture, with their colour (colour value layout).
    std::vector<BoundLine> Bounds;
    uint32_t BoundsColour = 0;

    // While confined, a pointer that leaves the control during a move is put back on its
    // nearest edge. The implicit mouse grab of a pressed button keeps events coming to this
    // control meanwhile, so the stroke cannot continue elsewhere.
    void SetConfined(bool on) { confined = on; }
    bool Confined() const { return confined; }

signals:
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseMove(Qt::MouseButtons buttons, int x, int y);
    void MouseUp(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool confined = false;
};
