#include "app/SpriteFileItems.h"

#include <algorithm>

#include "frames/FrameName.h"

std::string SpriteItemCaption(const std::string& path, int32_t groupIndex)
{
    if (groupIndex < 0)
        return path;
    return path + " [" + std::to_string(groupIndex) + "]";
}

std::vector<size_t> ItemsOfFile(std::span<const CELObject* const> cels, size_t k)
{
    if (k >= cels.size() || !cels[k])
        return {};
    const CELObject& own = *cels[k];
    if (own.GroupIndex < 0 || own.FileName.empty())
        return { k };
    std::vector<size_t> items;
    for (size_t j = 0; j < cels.size(); ++j)
        if (cels[j] && cels[j]->GroupIndex >= 0 && cels[j]->FileName == own.FileName)
            items.push_back(j);
    std::stable_sort(items.begin(), items.end(),
        [&](size_t a, size_t b) { return cels[a]->GroupIndex < cels[b]->GroupIndex; });
    return items;
}

std::string ConversionRefusalText(const ConversionRefusal& refusal)
{
    std::string text = "Cannot convert: frame #" + std::to_string(refusal.Frame);
    if (!refusal.Name.empty())
        text += " \"" + NameForDisplay(refusal.Name) + "\"";
    if (refusal.Group >= 0)
        text += " of group " + std::to_string(refusal.Group);
    text += " cannot be shown";
    if (refusal.Others > 0)
        text += " (and " + std::to_string(refusal.Others) + " more)";
    return text;
}

std::optional<ConversionRefusal> ConvertSpriteFile(
    std::span<CELObject* const> cels, FrameCoding coding)
{
    // Every frame is re-coded aside first, so that a refusal leaves the file as it was.
    std::vector<std::vector<CELFrame>> recoded(cels.size());
    std::optional<ConversionRefusal> refusal;
    for (size_t g = 0; g < cels.size(); ++g) {
        if (!cels[g])
            continue;
        const CELObject& cel = *cels[g];
        recoded[g].reserve(cel.Frames.size());
        for (size_t i = 0; i < cel.Frames.size(); ++i) {
            const FrameSlotRef& slot = cel.Frames[i];
            CELFrame frame = slot && slot->Frame ? *slot->Frame : CELFrame();
            if (slot && slot->Frame && RecodeFrame(frame, coding)) {
                recoded[g].push_back(std::move(frame));
                continue;
            }
            if (refusal) {
                ++refusal->Others;
                continue;
            }
            refusal = ConversionRefusal { cel.GroupIndex, static_cast<uint32_t>(i),
                slot && slot->Frame ? slot->Frame->Name : std::string(), 0 };
        }
    }
    if (refusal)
        return refusal;
    for (size_t g = 0; g < cels.size(); ++g) {
        if (!cels[g])
            continue;
        CELObject& cel = *cels[g];
        for (size_t i = 0; i < cel.Frames.size(); ++i)
            *cel.Frames[i]->Frame = std::move(recoded[g][i]);
        cel.Coding = coding;
        cel.WithHeaders = 1;
    }
    return std::nullopt;
}
