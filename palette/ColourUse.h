#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "cel/CELHandler.h"
#include "frames/FrameHandler.h"

// Which palette indices pictures use, and how many pixels each: counts[i] is the number of
// pixels of index i (255, the transparent index, included).

using ColourCounts = std::array<uint64_t, 256>;

// Adds the pixels of image to counts.
void AddImageColours(std::span<const uint8_t> image, ColourCounts& counts);
// The counts of one image.
ColourCounts CountImageColours(std::span<const uint8_t> image);

// Adds the pixels of frame, decoded at its selected width, to counts. A frame that cannot be
// shown (FrameCanBeShown, palette/Translation.h) is not decoded: false, counts unchanged.
bool AddFrameColours(const CELFrame& frame, ColourCounts& counts);

// The counts of every frame of a list that can be shown (null entries and empty slots are
// skipped); framesCounted, when given, receives how many frames were counted.
ColourCounts CountFramesColours(
    std::span<const FrameSlotRef> frames, uint32_t* framesCounted = nullptr);
// The same for every frame of a CEL's frame table.
ColourCounts CountCELColours(const CELObject& cel, uint32_t* framesCounted = nullptr);

// How many indices have at least one pixel; with withTransparent false, index 255 is not
// counted.
uint32_t DistinctColours(const ColourCounts& counts, bool withTransparent = false);
