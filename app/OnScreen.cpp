#include "app/OnScreen.h"

#include <algorithm>
#include <limits>

namespace {
int64_t Overlap(int64_t start1, int64_t length1, int64_t start2, int64_t length2)
{
    return std::max<int64_t>(
        0, std::min(start1 + length1, start2 + length2) - std::max(start1, start2));
}

// Distance from one interval to another along an axis, 0 when they overlap.
int64_t Gap(int64_t start1, int64_t length1, int64_t start2, int64_t length2)
{
    if (start1 + length1 <= start2)
        return start2 - (start1 + length1);
    if (start2 + length2 <= start1)
        return start1 - (start2 + length2);
    return 0;
}

int64_t Place(int64_t position, int64_t length, int64_t screenStart, int64_t screenLength)
{
    if (length >= screenLength)
        return screenStart;
    return std::clamp(position, screenStart, screenStart + screenLength - length);
}
} // namespace

bool TitleReachable(const ScreenRect& window, const std::vector<ScreenRect>& screens)
{
    const int64_t titleHeight = std::min<int64_t>(TitleBarHeight, std::max(window.Height, 1));
    for (const ScreenRect& screen : screens) {
        const int64_t across = Overlap(window.Left, window.Width, screen.Left, screen.Width);
        const int64_t down = Overlap(window.Top, titleHeight, screen.Top, screen.Height);
        if (across >= MinVisibleTitle && down > 0)
            return true;
    }
    return false;
}

void KeepOnScreen(const ScreenRect& window, const std::vector<ScreenRect>& screens,
    int32_t& left, int32_t& top)
{
    left = window.Left;
    top = window.Top;
    if (screens.empty() || TitleReachable(window, screens))
        return;
    const int64_t titleHeight = std::min<int64_t>(TitleBarHeight, std::max(window.Height, 1));
    const ScreenRect* nearest = nullptr;
    int64_t best = std::numeric_limits<int64_t>::max();
    for (const ScreenRect& screen : screens) {
        if (screen.Width <= 0 || screen.Height <= 0)
            continue;
        const int64_t dx = Gap(window.Left, window.Width, screen.Left, screen.Width);
        const int64_t dy = Gap(window.Top, titleHeight, screen.Top, screen.Height);
        const int64_t distance = dx * dx + dy * dy;
        if (distance < best) {
            best = distance;
            nearest = &screen;
        }
    }
    if (!nearest)
        return;
    left = int32_t(Place(window.Left, window.Width, nearest->Left, nearest->Width));
    top = int32_t(Place(window.Top, window.Height, nearest->Top, nearest->Height));
}
