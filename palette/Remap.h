#pragma once

#include <cstdint>

#include "palette/PaletteModel.h"
#include "palette/Translation.h"

// Moving pictures drawn in one palette to another: each index is given the index of the
// other palette whose colour is nearest to its own, the way Import matches colours
// (ColourDistance, bitmaps/BMPHandler.h): the search covers entries 127 to 254, or 0 to 254
// with the whole-palette option, and ties keep the lower index.
//
// Unlike Import, a colour is never matched to the transparent index by being equal to the
// transparent colour: the pixels being moved already say which of them are transparent
// (index 255), and an opaque pixel that happens to have that colour (black, say) must not
// vanish. So 255 stays 255 and no other index becomes 255.

// The table that remaps from's indices to to's: entry i (0 ... 254) the nearest entry of to
// to from.Palette[i], entry 255 itself. Apply it with ApplyTranslation or TranslateFrame.
TranslationTable BuildRemapTable(
    const PaletteModel& from, const PaletteModel& to, bool wholePalette);
