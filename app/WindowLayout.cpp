#include "app/WindowLayout.h"

#include <algorithm>

std::array<ScreenRect, 4> ArrangeSideBySide(
    const ScreenRect& screen, const std::array<ArrangeInput, 4>& windows)
{
    std::array<ScreenRect, 4> placed {};
    int64_t left = screen.Left;
    auto place = [&](ArrangedWindow which, int64_t width, int64_t height) {
        const ArrangeInput& window = windows[which];
        width = std::max<int64_t>(width, window.MinWidth);
        height = std::max<int64_t>(height, window.MinHeight);
        placed[which] = { int32_t(left), screen.Top, int32_t(width), int32_t(height) };
        left += width;
    };
    const int64_t screenHeight = std::max(screen.Height, 0);
    for (ArrangedWindow kept : { ArrangeMain, ArrangePalette })
        place(kept, windows[kept].Width, std::min<int64_t>(windows[kept].Height, screenHeight));
    // The room that is left goes to the frame lists and the viewer, a little more of it to
    // the viewer, which shows the frame zoomed.
    const int64_t room = std::max<int64_t>(int64_t(screen.Left) + screen.Width - left, 0);
    const int64_t framesWidth = std::max<int64_t>(
        room * 2 / 5, std::min<int64_t>(windows[ArrangeFrames].MinWidth, room));
    place(ArrangeFrames, framesWidth, screenHeight);
    place(ArrangeView, int64_t(screen.Left) + screen.Width - left, screenHeight);
    return placed;
}
