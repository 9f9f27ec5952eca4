#include "palette/Remap.h"

#include "bitmaps/BMPHandler.h"

TranslationTable BuildRemapTable(
    const PaletteModel& from, const PaletteModel& to, bool wholePalette)
{
    TranslationTable table = IdentityTranslation();
    const uint32_t first = wholePalette ? 0 : FirstFreeColour;
    for (uint32_t i = 0; i < TransparentIndex; ++i) {
        const uint32_t colour = from.Palette[i];
        uint32_t best = first;
        uint32_t bestDistance = ColourDistance(colour, to.Palette[first]);
        for (uint32_t j = first + 1; j < TransparentIndex && bestDistance != 0; ++j) {
            const uint32_t distance = ColourDistance(colour, to.Palette[j]);
            if (distance < bestDistance) {
                best = j;
                bestDistance = distance;
            }
        }
        table[i] = static_cast<uint8_t>(best);
    }
    return table;
}
