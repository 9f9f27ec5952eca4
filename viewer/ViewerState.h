#pragma once

#include <cstdint>
#include <vector>

#include "cel/CELHandler.h"
#include "frames/FrameHandler.h"

// The frame in view, its working image and the display state of the viewer, without any
// toolkit. Row 0 of FrameImage is the bottom row of the picture.

struct BoundLine {
    int32_t Block = 0; // 0 ... 4, the label written
    int32_t Y = 0; // surface line of the bound
    int32_t LabelTop = 0; // top of the label, kept 15 pixels above the bottom edge
};

class ViewerState {
public:
    DataArray FrameImage;
    uint32_t ImageWidth = 0;
    uint32_t ImageHeight = 0;
    FrameSlotRef ViewedFrame; // none when null

    uint8_t Zoom = 1;
    int32_t ViewAreaWidth = 0;
    int32_t ViewAreaHeight = 0;

    // Size of the visible part of the magnified image (the ImgView surface).
    int32_t SurfaceWidth = 0;
    int32_t SurfaceHeight = 0;

    // Scroll bars, in screen pixels of the magnified image.
    int32_t ScrollH = 0;
    int32_t ScrollV = 0;
    int32_t ScrollHMax = 0;
    int32_t ScrollVMax = 0;
    bool ScrollHEnabled = false;
    bool ScrollVEnabled = false;

    uint32_t BoundsColour = 0;

    // Largest image the viewer accepts on a side and in all.
    static constexpr uint32_t MaxSide = 16384;
    static constexpr uint64_t MaxPixels = 64ull * 1024 * 1024;

    bool HasFrame() const { return ViewedFrame != nullptr; }

    // True when the frame at its selected width is beyond what the viewer holds (MaxSide on a
    // side or MaxPixels in all). Such a frame is listed but never decoded: a few bytes of run
    // data can stand for billions of pixels, and decoding them would take that much memory.
    static bool TooLargeToShow(const CELFrame& frame);

    // Zoom as a divisor: a zero Zoom counts as 1, so no mapping ever divides by zero.
    uint32_t ZoomFactor() const;
    // True when FrameImage holds at least ImageWidth x ImageHeight pixels; the pixel
    // operations leave an image that does not alone.
    bool ImageComplete() const;

    // Step 3 of a redraw with relayout: surface size and scroll ranges; positions beyond a
    // new maximum come down to it.
    void Relayout();

    // No frame in view: scroll bars at 0 and disabled.
    void ClearLayout();

    // Fills the visible part into an 8-bit surface of SurfaceWidth x SurfaceHeight whose rows
    // are stride bytes apart, the top of the picture at the top of the surface.
    void FillSurface(uint8_t* surface, int32_t stride) const;

    // The block-bound lines in view for the given block rows.
    std::vector<BoundLine> BoundLines(const BlockRowSet& blockRows) const;

    // New size; the top-left part of the old picture is kept, the rest is transparent.
    // False (nothing changes) for a zero side or a size beyond MaxSide / MaxPixels.
    bool ResizeImage(uint32_t newWidth, uint32_t newHeight);

    // Image column and row (from the bottom) under surface point x, y.
    int32_t ColumnAt(int32_t x) const;
    int32_t RowAt(int32_t y) const;

    bool InImage(int32_t column, int32_t row) const;
    uint8_t PixelAt(int32_t column, int32_t row) const;
    void PutPixel(int32_t column, int32_t row, uint8_t colour); // ignores points outside

    // A stroke from (fromX, fromY) to (toX, toY), both ends included, the minor coordinate
    // truncated from the start point.
    void DrawStroke(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, uint8_t colour);

    // Rotations by one pixel as seen on screen.
    void ShiftUp();
    void ShiftDown();
    void ShiftLeft();
    void ShiftRight();
};
