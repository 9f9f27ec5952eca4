#include "palette/ColourDisplay.h"

#include <cstdio>

#include "palette/PaletteModel.h"

void ColourDisplay::SetUsed(const std::array<uint64_t, 256>& counts)
{
    UsedCount = 0;
    for (size_t i = 0; i < counts.size(); ++i) {
        Used[i] = counts[i] != 0;
        UsedCount += Used[i] ? 1 : 0;
    }
}

void ColourDisplay::ClearUsed()
{
    Used.fill(false);
    UsedCount = 0;
}

std::array<uint32_t, 256> ShownColours(
    const std::array<uint32_t, 256>& colours, const ColourDisplay& display)
{
    std::array<uint32_t, 256> shown {};
    for (size_t i = 0; i < shown.size(); ++i)
        shown[i] = colours[display.ShownIndex(static_cast<uint8_t>(i))];
    return shown;
}

std::string DisplayCellHint(uint8_t index, uint32_t colour, const ColourDisplay& display)
{
    std::string hint = CellHint(index, colour);
    if (display.Translated(index)) {
        char target[8];
        std::snprintf(target, sizeof target, " -> %02X", unsigned(display.ShownIndex(index)));
        hint += target;
    }
    return hint;
}

std::string FrameListText(const std::vector<std::string>& names, size_t limit)
{
    std::string text;
    for (size_t k = 0; k < names.size(); ++k) {
        if (k == limit) {
            text += ", ...";
            break;
        }
        if (k > 0)
            text += ", ";
        text += names[k];
    }
    return text;
}
