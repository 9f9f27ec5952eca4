#pragma once

#include <array>
#include <cstdint>

#include "app/OnScreen.h"

// "Arrange windows": the four windows side by side on one screen, left to right the CEL list,
// the palette, the frame lists and the viewer. The CEL list and the palette keep their sizes;
// the frame lists and the viewer share the width that is left and take the screen's height.
// Sizes are outer sizes (frame included). Toolkit-free.

enum ArrangedWindow : uint8_t { ArrangeMain, ArrangePalette, ArrangeFrames, ArrangeView };

struct ArrangeInput {
    int32_t Width = 0; // outer size now
    int32_t Height = 0;
    int32_t MinWidth = 0; // outer minimum size
    int32_t MinHeight = 0;
};

// The outer rectangle of each window. Every window starts where the one before it ends, so
// none overlaps another; all lie on the screen whenever their minimum widths fit side by
// side (otherwise the last ones run past its right edge, at their minimum widths).
std::array<ScreenRect, 4> ArrangeSideBySide(
    const ScreenRect& screen, const std::array<ArrangeInput, 4>& windows);
