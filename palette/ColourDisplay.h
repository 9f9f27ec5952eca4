#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "palette/Translation.h"

// What the windows show of the colour work, without any toolkit: the translation table that
// every picture of a frame is shown through, the entry being edited in it, and the colours
// marked as in use in the palette window. Nothing here changes a frame or the palette.

// Whose colours the palette window marks as in use.
enum class ColourUseScope : uint8_t { None, Frame, LeftPane, RightPane };

struct ColourDisplay {
    // While TableLoaded, index i (but 255) is shown in the colour of palette entry Table[i].
    bool TableLoaded = false;
    TranslationTable Table = IdentityTranslation();
    std::string TableFile; // the file it was last loaded from or saved to
    // The entry chosen in the Colours window, waiting for the index it is to become; -1 none.
    int32_t EditEntry = -1;

    ColourUseScope UseScope = ColourUseScope::None;
    std::array<bool, 256> Used {}; // the colours marked
    uint32_t UsedCount = 0; // how many are marked

    // The palette index whose colour index is shown in: its table entry while a table is
    // loaded; 255 always stays 255.
    uint8_t ShownIndex(uint8_t index) const
    {
        return TableLoaded && index != 255 ? Table[index] : index;
    }
    bool Translated(uint8_t index) const { return ShownIndex(index) != index; }

    // Marks exactly the indices whose count is not 0.
    void SetUsed(const std::array<uint64_t, 256>& counts);
    void ClearUsed();
};

// The colour table a picture of indices is painted with: entry i of colours shown as the
// display shows index i. Any 32-bit colour layout passes through unchanged.
std::array<uint32_t, 256> ShownColours(
    const std::array<uint32_t, 256>& colours, const ColourDisplay& display);

// The hint of a palette cell: CellHint of the entry's own colour, followed by " -> NN" (the
// index in two upper-case hexadecimal digits) when the table translates it.
std::string DisplayCellHint(uint8_t index, uint32_t colour, const ColourDisplay& display);

// The frames named in a message about frames left as they were: "#n" (n counted from 0) or
// the frame's name, joined with ", "; at most limit of them, then ", ...".
std::string FrameListText(const std::vector<std::string>& names, size_t limit = 20);
