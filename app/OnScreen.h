#pragma once

#include <cstdint>
#include <vector>

// Keeping windows reachable: a window placed from the settings file where its title bar can
// no longer be grabbed (a monitor that was unplugged, a hand-edited position) is brought back
// onto a screen. Toolkit-free: screens and windows are plain rectangles in desktop pixels.

struct ScreenRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// How much of a title bar must show on one screen for the window to count as reachable, and
// how tall the title bar is taken to be (the window's outer top strip).
constexpr int32_t MinVisibleTitle = 40;
constexpr int32_t TitleBarHeight = 26;

// True when at least MinVisibleTitle pixels of the window's title bar (its top TitleBarHeight
// pixels across its whole width) lie on one of the screens.
bool TitleReachable(const ScreenRect& window, const std::vector<ScreenRect>& screens);

// The top left corner the window should take: its own when it is reachable (or when there are
// no screens to judge by), otherwise the nearest point that puts it on the screen nearest to
// its title bar, wholly inside that screen when it fits and with its top left corner on the
// screen when it does not.
void KeepOnScreen(const ScreenRect& window, const std::vector<ScreenRect>& screens,
    int32_t& left, int32_t& top);
