#include "viewer/ImageHistory.h"

#include <unordered_set>

ImageSnapshotRef TakeSnapshot(
    const ViewerState& view, const std::string& widthText, const std::string& heightText)
{
    auto snapshot = std::make_shared<ImageSnapshot>();
    snapshot->FrameImage = view.FrameImage;
    snapshot->ImageWidth = view.ImageWidth;
    snapshot->ImageHeight = view.ImageHeight;
    snapshot->WidthText = widthText;
    snapshot->HeightText = heightText;
    return snapshot;
}

bool RestoreSnapshot(ViewerState& view, const ImageSnapshot& snapshot)
{
    const bool resized
        = view.ImageWidth != snapshot.ImageWidth || view.ImageHeight != snapshot.ImageHeight;
    view.FrameImage = snapshot.FrameImage;
    view.ImageWidth = snapshot.ImageWidth;
    view.ImageHeight = snapshot.ImageHeight;
    return resized;
}

namespace {

// Adds the bytes of a snapshot not seen before.
uint64_t Count(const ImageSnapshotRef& snapshot, std::unordered_set<const ImageSnapshot*>& seen)
{
    if (!snapshot || !seen.insert(snapshot.get()).second)
        return 0;
    return snapshot->FrameImage.size();
}

} // namespace

uint64_t HistoryBytes(std::span<const ImageStep* const> steps)
{
    std::unordered_set<const ImageSnapshot*> seen;
    uint64_t bytes = 0;
    for (const ImageStep* step : steps) {
        bytes += Count(step->Before, seen);
        bytes += Count(step->After, seen);
    }
    return bytes;
}

size_t OldestStepsToDrop(std::span<const ImageStep* const> steps, const ImageHistoryLimits& limits)
{
    // Walk from the newest step back and keep steps while they fit.
    std::unordered_set<const ImageSnapshot*> seen;
    uint64_t bytes = 0;
    size_t kept = 0;
    for (size_t k = steps.size(); k-- > 0 && kept < limits.MaxSteps;) {
        const uint64_t more = Count(steps[k]->Before, seen) + Count(steps[k]->After, seen);
        if (bytes + more > limits.MaxBytes)
            break;
        bytes += more;
        ++kept;
    }
    return steps.size() - kept;
}
