// The palette file loader, fed from memory. The input is the file.
//
// Exactly the 768-byte files load: entries 0 ... 254 become the first 255 triplets and entry
// 255, the selection and the option stay; any other size is refused with the palette
// untouched. A loaded palette saved again holds the same 255 triplets and FF FF FF last.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "palette/PaletteModel.h"

namespace {

PaletteModel StartingPalette()
{
    PaletteModel model;
    for (uint32_t i = 0; i < 256; ++i)
        model.Palette[i] = 0x01000000u | (i * 0x010203u);
    model.SelectedColour = 0x93;
    model.WholePalette = true;
    return model;
}

bool SameModel(const PaletteModel& a, const PaletteModel& b)
{
    return a.Palette == b.Palette && a.SelectedColour == b.SelectedColour
        && a.WholePalette == b.WholePalette && a.PendingColourOp == b.PendingColourOp;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const PaletteModel before = StartingPalette();
    PaletteModel model = before;
    PaletteFileResult result = LoadPaletteBytes(std::span<const uint8_t>(data, size), model);
    if (size != 768) {
        FuzzCheck(
            result == PaletteFileResult::WrongSize, "a file not of 768 bytes was not refused");
        FuzzCheck(SameModel(model, before), "a refused file changed the palette");
        return 0;
    }
    FuzzCheck(result == PaletteFileResult::Done, "a 768-byte file did not load");
    for (uint32_t n = 0; n < 255; ++n) {
        uint32_t expected
            = data[3 * n] | uint32_t { data[3 * n + 1] } << 8 | uint32_t { data[3 * n + 2] } << 16;
        FuzzCheck(model.Palette[n] == expected, "an entry differs from its triplet");
    }
    FuzzCheck(model.Palette[255] == before.Palette[255], "loading changed the transparent colour");
    FuzzCheck(model.SelectedColour == before.SelectedColour, "loading changed the selection");
    FuzzCheck(model.WholePalette == before.WholePalette, "loading changed the option");

    std::vector<uint8_t> saved = PaletteFileBytes(model);
    FuzzCheck(saved.size() == 768, "a saved palette is not 768 bytes");
    FuzzCheck(std::equal(saved.begin(), saved.begin() + 765, data), "saving changed a triplet");
    FuzzCheck(saved[765] == 0xFF && saved[766] == 0xFF && saved[767] == 0xFF,
        "the last triplet saved is not FF FF FF");
    return 0;
}
