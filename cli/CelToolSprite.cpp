#include "cli/CelTool.h"

#include <algorithm>

std::string CodingChoice(
    const std::optional<std::string>& given, std::optional<FrameCoding>& coding)
{
    coding.reset();
    if (!given)
        return {};
    if (*given == "cel")
        coding = FrameCoding::CEL;
    else if (*given == "cl2")
        coding = FrameCoding::CL2;
    else
        return "--coding must be cel or cl2, not '" + PrintableText(*given) + "'";
    return {};
}

SpriteFile LoadToolSprite(const std::string& file, bool withHeaders, bool headersGiven,
    std::optional<FrameCoding> coding, bool* detected)
{
    if (detected)
        *detected = false;
    const FrameCoding chosen = coding.value_or(CodingFromName(file));
    SpriteFile sprite = LoadSpriteFile(file, withHeaders, chosen);
    if (sprite.Status != LoadOK || chosen == FrameCoding::CL2 || headersGiven
        || sprite.Groups[0]->HasDatabase == 1)
        return sprite;
    auto viewable = [](const SpriteFile& each) {
        uint64_t count = 0;
        for (const auto& group : each.Groups)
            count += static_cast<uint64_t>(std::count_if(group->Frames.begin(), group->Frames.end(),
                [](const auto& slot) { return slot && slot->Frame && slot->Frame->Viewable(); }));
        return count;
    };
    const uint64_t asChosen = viewable(sprite);
    if (asChosen == sprite.FrameTotal())
        return sprite;
    SpriteFile other = LoadSpriteFile(file, !withHeaders, chosen);
    if (other.Status != LoadOK || viewable(other) <= asChosen)
        return sprite;
    if (detected)
        *detected = true;
    return other;
}

std::string GroupedFileName(const std::string& stem, uint32_t group, uint32_t lastGroup,
    uint32_t index, uint32_t lastIndex, std::string_view extension)
{
    auto padded = [](uint32_t value, uint32_t last) {
        std::string digits = std::to_string(value);
        const size_t width = std::to_string(last).size();
        return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
    };
    return stem + "_" + padded(group, lastGroup) + "_" + padded(index, lastIndex) + "."
        + std::string(extension);
}
