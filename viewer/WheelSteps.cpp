#include "viewer/WheelSteps.h"

#include <algorithm>

int32_t WheelScrollStep(int32_t viewAreaLength)
{
    return std::max(1, viewAreaLength / 10);
}

int32_t WheelAccumulator::Add(int32_t angleDelta)
{
    // Opposite turns cancel what was pending rather than adding up to a late notch.
    if ((pending > 0 && angleDelta < 0) || (pending < 0 && angleDelta > 0))
        pending = 0;
    const int64_t total = int64_t(pending) + angleDelta;
    const int64_t notches = total / WheelNotch;
    pending = int32_t(total - notches * WheelNotch);
    return int32_t(notches);
}

int32_t WheelScrollPosition(int32_t position, int32_t maximum, int32_t notches, int32_t step)
{
    const int64_t moved = int64_t(position) - int64_t(notches) * step;
    return int32_t(std::clamp<int64_t>(moved, 0, std::max(maximum, 0)));
}

int32_t WheelZoom(int32_t zoom, int32_t notches)
{
    return int32_t(std::clamp<int64_t>(int64_t(zoom) + notches, 1, 8));
}
