#include "viewer/ViewerState.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int64_t LabelHeight = 15; // a label is kept this far above the bottom edge

int32_t ClampToInt32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<int32_t>::max()));
}

// Surface size and scroll range of one direction: the magnified extent against the view area.
void LayoutAxis(int64_t magnified, int32_t viewArea, int32_t& surface, int32_t& maximum,
    bool& enabled, int32_t& position)
{
    const int64_t area = std::max<int32_t>(viewArea, 0);
    surface = ClampToInt32(magnified < area ? magnified : area);
    enabled = magnified > area;
    maximum = enabled ? ClampToInt32(magnified - area) : 0;
    position = std::clamp(position, 0, maximum);
}

} // namespace

uint32_t ViewerState::ZoomFactor() const
{
    return Zoom == 0 ? 1u : Zoom;
}

bool ViewerState::ImageComplete() const
{
    return FrameImage.size() >= static_cast<uint64_t>(ImageWidth) * ImageHeight;
}

void ViewerState::Relayout()
{
    const uint32_t zoom = ZoomFactor();
    LayoutAxis(static_cast<int64_t>(zoom) * ImageWidth, ViewAreaWidth, SurfaceWidth, ScrollHMax,
        ScrollHEnabled, ScrollH);
    LayoutAxis(static_cast<int64_t>(zoom) * ImageHeight, ViewAreaHeight, SurfaceHeight, ScrollVMax,
        ScrollVEnabled, ScrollV);
}

void ViewerState::ClearLayout()
{
    SurfaceWidth = 0;
    SurfaceHeight = 0;
    ScrollH = ScrollV = 0;
    ScrollHMax = ScrollVMax = 0;
    ScrollHEnabled = ScrollVEnabled = false;
}

void ViewerState::FillSurface(uint8_t* surface, int32_t stride) const
{
    if (surface == nullptr || SurfaceWidth <= 0 || SurfaceHeight <= 0)
        return;
    const uint64_t zoom = ZoomFactor();
    const uint64_t posH = static_cast<uint64_t>(std::max(ScrollH, 0));
    const uint64_t posV = static_cast<uint64_t>(std::max(ScrollV, 0));
    const size_t width = static_cast<size_t>(SurfaceWidth);
    const bool complete = ImageComplete();

    // Surface column x shows image column (posH + x) div Zoom. The columns only grow, so the
    // ones inside the image form a prefix; anything past it (possible only when the layout is
    // stale) shows as transparent.
    size_t inside = 0;
    if (complete && posH < static_cast<uint64_t>(ImageWidth) * zoom)
        inside = static_cast<size_t>(
            std::min<uint64_t>(width, static_cast<uint64_t>(ImageWidth) * zoom - posH));
    const uint64_t firstColumn = posH / zoom;
    const size_t firstRun = static_cast<size_t>(zoom - posH % zoom); // what is left of column 1

    // At zoom 1 a surface row is a slice of an image row. Up to 8x a row is built in a buffer
    // by writing each pixel as 8 copies of itself and stepping on by Zoom, so the next pixel
    // overwrites the surplus; the buffer has 8 spare bytes for the last one. Larger zooms,
    // which the window never sets, look each column up in a table.
    constexpr size_t Spare = 8;
    const bool straight = zoom == 1;
    const bool replicate = zoom > 1 && zoom <= 8;
    std::vector<uint8_t> rowBuffer;
    std::vector<uint32_t> columns;
    if (replicate) {
        rowBuffer.resize(inside + Spare);
    } else if (!straight) {
        columns.resize(inside);
        for (size_t x = 0; x < inside; ++x)
            columns[x] = static_cast<uint32_t>((posH + x) / zoom);
    }

    // Each image row covers Zoom surface rows: build the first of them and copy it down.
    int32_t y = 0;
    while (y < SurfaceHeight) {
        const uint64_t magnifiedRow = posV + static_cast<uint64_t>(y);
        const uint64_t fromTop = magnifiedRow / zoom;
        const int32_t span = static_cast<int32_t>(std::min<uint64_t>(
            zoom - magnifiedRow % zoom, static_cast<uint64_t>(SurfaceHeight - y)));
        uint8_t* first = surface + static_cast<ptrdiff_t>(y) * stride;
        size_t filled = 0;
        if (fromTop < ImageHeight && inside > 0) {
            const uint8_t* source = FrameImage.data()
                + (ImageHeight - 1 - fromTop) * static_cast<uint64_t>(ImageWidth);
            if (straight) {
                std::memcpy(first, source + posH, inside);
            } else if (replicate) {
                uint8_t* buffer = rowBuffer.data();
                const uint8_t* pixel = source + firstColumn;
                uint64_t word = *pixel++ * 0x0101010101010101ull;
                std::memcpy(buffer, &word, Spare);
                for (size_t x = firstRun; x < inside; x += zoom) {
                    word = *pixel++ * 0x0101010101010101ull;
                    std::memcpy(buffer + x, &word, Spare);
                }
                std::memcpy(first, buffer, inside);
            } else {
                const uint32_t* column = columns.data();
                for (size_t x = 0; x < inside; ++x)
                    first[x] = source[column[x]];
            }
            filled = inside;
        }
        if (filled < width)
            std::memset(first + filled, TransparentIndex, width - filled);
        for (int32_t k = 1; k < span; ++k)
            std::memcpy(first + static_cast<ptrdiff_t>(k) * stride, first, width);
        y += span;
    }
}

std::vector<BoundLine> ViewerState::BoundLines(const BlockRowSet& blockRows) const
{
    std::vector<BoundLine> lines;
    const int64_t zoom = ZoomFactor();
    for (int32_t i = 0; i < static_cast<int32_t>(blockRows.size()); ++i) {
        const int32_t r = blockRows[static_cast<size_t>(i)];
        if (r < 0) // -1: no block starts here
            continue;
        // The lowest screen line of image row r.
        const int64_t y = (static_cast<int64_t>(ImageHeight) - r) * zoom - ScrollV - 1;
        if (y < 0 || y >= SurfaceHeight)
            continue;
        BoundLine line;
        line.Block = i;
        line.Y = static_cast<int32_t>(y);
        line.LabelTop = static_cast<int32_t>(std::min<int64_t>(y, SurfaceHeight - LabelHeight));
        lines.push_back(line);
    }
    return lines;
}

bool ViewerState::TooLargeToShow(const CELFrame& frame)
{
    return frame.Width > MaxSide || frame.Height > MaxSide
        || static_cast<uint64_t>(frame.Width) * frame.Height > MaxPixels;
}

bool ViewerState::ResizeImage(uint32_t newWidth, uint32_t newHeight)
{
    // Zero is refused as the window's "Incorrect sizes"; so is a size that could not sensibly
    // be held, instead of failing to allocate it.
    if (newWidth == 0 || newHeight == 0 || newWidth > MaxSide || newHeight > MaxSide
        || static_cast<uint64_t>(newWidth) * newHeight > MaxPixels)
        return false;
    DataArray resized(static_cast<size_t>(newWidth) * newHeight, TransparentIndex);
    if (!FrameImage.empty() && ImageComplete()) {
        // The top ch rows and left cw columns of the old picture become the top-left corner.
        const uint32_t cw = std::min(newWidth, ImageWidth);
        const uint32_t ch = std::min(newHeight, ImageHeight);
        for (uint32_t j = 1; j <= ch; ++j)
            std::memcpy(resized.data() + static_cast<size_t>(newHeight - j) * newWidth,
                FrameImage.data() + static_cast<size_t>(ImageHeight - j) * ImageWidth, cw);
    }
    FrameImage = std::move(resized);
    ImageWidth = newWidth;
    ImageHeight = newHeight;
    return true;
}

int32_t ViewerState::ColumnAt(int32_t x) const
{
    return static_cast<int32_t>((static_cast<int64_t>(ScrollH) + x) / ZoomFactor());
}

int32_t ViewerState::RowAt(int32_t y) const
{
    const int64_t fromTop
        = (static_cast<int64_t>(ScrollV) + y) / static_cast<int64_t>(ZoomFactor());
    return static_cast<int32_t>(static_cast<int64_t>(ImageHeight) - fromTop - 1);
}

bool ViewerState::InImage(int32_t column, int32_t row) const
{
    return column >= 0 && row >= 0 && static_cast<uint32_t>(column) < ImageWidth
        && static_cast<uint32_t>(row) < ImageHeight && ImageComplete();
}

uint8_t ViewerState::PixelAt(int32_t column, int32_t row) const
{
    if (!InImage(column, row))
        return TransparentIndex;
    return FrameImage[static_cast<size_t>(row) * ImageWidth + static_cast<size_t>(column)];
}

void ViewerState::PutPixel(int32_t column, int32_t row, uint8_t colour)
{
    if (InImage(column, row))
        FrameImage[static_cast<size_t>(row) * ImageWidth + static_cast<size_t>(column)] = colour;
}

void ViewerState::DrawStroke(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY, uint8_t colour)
{
    const int64_t dx = static_cast<int64_t>(toX) - fromX;
    const int64_t dy = static_cast<int64_t>(toY) - fromY;
    const int64_t adx = dx < 0 ? -dx : dx;
    const int64_t ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0) {
        PutPixel(fromX, fromY, colour);
        return;
    }
    // The minor coordinate is (d x i) / |major|, truncated toward zero from the start point,
    // so a stroke and its reverse may differ by a pixel. That is how strokes have always
    // looked; keep it.
    if (adx > ady) {
        const int64_t step = dx < 0 ? -1 : 1;
        for (int64_t i = 0; i <= adx; ++i)
            PutPixel(static_cast<int32_t>(fromX + i * step),
                static_cast<int32_t>(fromY + dy * i / adx), colour);
    } else {
        const int64_t step = dy < 0 ? -1 : 1;
        for (int64_t i = 0; i <= ady; ++i)
            PutPixel(static_cast<int32_t>(fromX + dx * i / ady),
                static_cast<int32_t>(fromY + i * step), colour);
    }
}

// Rows are stored bottom first, so moving the picture up on screen moves every row to the
// next higher index, the top row wrapping round to row 0.
void ViewerState::ShiftUp()
{
    if (ImageWidth == 0 || ImageHeight < 2 || !ImageComplete())
        return;
    const auto end = FrameImage.begin() + static_cast<ptrdiff_t>(ImageWidth) * ImageHeight;
    std::rotate(FrameImage.begin(), end - ImageWidth, end);
}

void ViewerState::ShiftDown()
{
    if (ImageWidth == 0 || ImageHeight < 2 || !ImageComplete())
        return;
    const auto end = FrameImage.begin() + static_cast<ptrdiff_t>(ImageWidth) * ImageHeight;
    std::rotate(FrameImage.begin(), FrameImage.begin() + ImageWidth, end);
}

void ViewerState::ShiftLeft()
{
    if (ImageWidth < 2 || !ImageComplete())
        return;
    for (uint32_t r = 0; r < ImageHeight; ++r) {
        const auto row = FrameImage.begin() + static_cast<ptrdiff_t>(r) * ImageWidth;
        std::rotate(row, row + 1, row + ImageWidth);
    }
}

void ViewerState::ShiftRight()
{
    if (ImageWidth < 2 || !ImageComplete())
        return;
    for (uint32_t r = 0; r < ImageHeight; ++r) {
        const auto row = FrameImage.begin() + static_cast<ptrdiff_t>(r) * ImageWidth;
        std::rotate(row, row + ImageWidth - 1, row + ImageWidth);
    }
}
