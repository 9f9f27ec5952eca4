#include "palette/ColourUse.h"

#include "palette/Translation.h"

void AddImageColours(std::span<const uint8_t> image, ColourCounts& counts)
{
    // Four tables filled in turn and summed at the end: a run of one colour then does not
    // wait on the same counter pixel after pixel.
    std::array<std::array<uint32_t, 256>, 4> partial {};
    size_t i = 0;
    // The 32-bit partial counts are emptied into counts before they can overflow.
    constexpr size_t Chunk = size_t { 1 } << 30;
    while (i < image.size()) {
        const size_t end = image.size() - i > Chunk ? i + Chunk : image.size();
        for (; i + 4 <= end; i += 4) {
            ++partial[0][image[i]];
            ++partial[1][image[i + 1]];
            ++partial[2][image[i + 2]];
            ++partial[3][image[i + 3]];
        }
        for (; i < end; ++i)
            ++partial[0][image[i]];
        for (auto& table : partial) {
            for (uint32_t c = 0; c < 256; ++c)
                counts[c] += table[c];
            table.fill(0);
        }
    }
}

ColourCounts CountImageColours(std::span<const uint8_t> image)
{
    ColourCounts counts {};
    AddImageColours(image, counts);
    return counts;
}

bool AddFrameColours(const CELFrame& frame, ColourCounts& counts)
{
    if (!FrameCanBeShown(frame))
        return false;
    DataArray image;
    frame.DecodeImage(image);
    AddImageColours(image, counts);
    return true;
}

ColourCounts CountFramesColours(std::span<const FrameSlotRef> frames, uint32_t* framesCounted)
{
    ColourCounts counts {};
    uint32_t counted = 0;
    for (const FrameSlotRef& slot : frames)
        if (slot && slot->Frame && AddFrameColours(*slot->Frame, counts))
            ++counted;
    if (framesCounted)
        *framesCounted = counted;
    return counts;
}

ColourCounts CountCELColours(const CELObject& cel, uint32_t* framesCounted)
{
    return CountFramesColours(cel.Frames, framesCounted);
}

uint32_t DistinctColours(const ColourCounts& counts, bool withTransparent)
{
    uint32_t distinct = 0;
    for (uint32_t i = 0; i < 256; ++i)
        if (counts[i] != 0 && (withTransparent || i != TransparentIndex))
            ++distinct;
    return distinct;
}
