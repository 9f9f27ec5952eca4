#pragma once

#include <cstdint>

// The mouse wheel over the viewer. A notch is 120 units of wheel angle (finer wheels and touch
// pads send parts of it); a notch scrolls a tenth of the view area, so that a large frame at
// a high zoom moves at a useful pace while the scroll bars keep their steps of one pixel for
// the arrows and pages.

constexpr int32_t WheelNotch = 120;

// Screen pixels one notch scrolls across a view area this long (at least 1).
int32_t WheelScrollStep(int32_t viewAreaLength);

// Adds wheel angle and hands out whole notches, keeping the remainder for the next event, so
// that many small deltas add up to exactly the notches a plain wheel would give.
class WheelAccumulator {
public:
    // Positive notches for a wheel turned away from the user (up, or left for a tilt).
    int32_t Add(int32_t angleDelta);
    void Reset() { pending = 0; }

private:
    int32_t pending = 0;
};

// The new position of a scroll bar from 0 to maximum after notches of the wheel: turning it
// away from the user moves towards 0.
int32_t WheelScrollPosition(int32_t position, int32_t maximum, int32_t notches, int32_t step);

// The new zoom (1 ... 8) after notches with Ctrl held: away from the user zooms in.
int32_t WheelZoom(int32_t zoom, int32_t notches);
