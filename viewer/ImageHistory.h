#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "viewer/ViewerState.h"

// The undoable steps of the viewer, without any toolkit: every change to the working image (a
// stroke, a completed Replace or Exchange, a shift, a resize) is kept as the image before it
// and the image after it. Consecutive steps share the image between them, so a history of n
// steps holds n + 1 copies at most.

// The working image at one moment, with the texts of the width and height fields.
struct ImageSnapshot {
    DataArray FrameImage;
    uint32_t ImageWidth = 0;
    uint32_t ImageHeight = 0;
    std::string WidthText;
    std::string HeightText;

    bool operator==(const ImageSnapshot& other) const = default;
};
using ImageSnapshotRef = std::shared_ptr<const ImageSnapshot>;

ImageSnapshotRef TakeSnapshot(
    const ViewerState& view, const std::string& widthText, const std::string& heightText);

// Puts the snapshot's image and sizes into the viewer; true when the size changed, so that
// the caller redraws with relayout.
bool RestoreSnapshot(ViewerState& view, const ImageSnapshot& snapshot);

struct ImageStep {
    std::string Name; // "Stroke", "Replace", "Exchange", "Up", ..., "Resize"
    ImageSnapshotRef Before;
    ImageSnapshotRef After;
};

// The history keeps at least MinSteps steps as long as their images fit into MaxBytes; the
// oldest steps go first.
struct ImageHistoryLimits {
    static constexpr size_t MinSteps = 100;
    size_t MaxSteps = 1000;
    uint64_t MaxBytes = 64ull * 1024 * 1024;
};

// Bytes of image held by the steps, each shared image counted once.
uint64_t HistoryBytes(std::span<const ImageStep* const> steps);

// How many of the oldest steps (steps run oldest first) must go so that the rest are at most
// MaxSteps and hold at most MaxBytes. A newest step that alone holds more than MaxBytes goes
// too: the history is then empty.
size_t OldestStepsToDrop(std::span<const ImageStep* const> steps, const ImageHistoryLimits& limits);
