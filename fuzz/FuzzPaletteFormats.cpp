// The palette import of other tools' formats, fed from memory. The input is the file.
//
// Import either refuses with a reason and no colour, or gives 1 ... 256 colours of 24 bits
// and a recognised format. Applying them changes entries below min(count, 255) and nothing
// else; the palette then exported as GIMP, JASC-PAL or Adobe colour table (one of them, by the
// input's length) reads back to the same entries 0 ... 254.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "palette/PaletteFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImportedPalette imported;
    const PaletteImportResult result
        = DecodeImportedPalette(std::span<const uint8_t>(data, size), imported);
    if (result != PaletteImportResult::Done) {
        FuzzCheck(result == PaletteImportResult::Refused, "decoding gave CannotOpen");
        FuzzCheck(!imported.Reason.empty(), "a refusal without a reason");
        FuzzCheck(imported.Colours.empty(), "a refused file gave colours");
        return 0;
    }
    FuzzCheck(imported.Format != PaletteFileFormat::Unknown, "a palette of no format");
    FuzzCheck(!imported.Colours.empty() && imported.Colours.size() <= 256, "not 1 to 256 colours");
    for (uint32_t colour : imported.Colours)
        FuzzCheck(colour <= 0xFFFFFF, "a colour wider than 24 bits");

    // Made once: it checks its 256 colours against each other.
    static const PaletteModel before = MakeFuzzPalette(false);
    PaletteModel model = before;
    const uint32_t applied = ApplyImportedPalette(imported, model);
    FuzzCheck(applied == std::min<size_t>(imported.Colours.size(), 255), "wrong entry count");
    for (uint32_t i = 0; i < 256; ++i)
        FuzzCheck(model.Palette[i] == (i < applied ? imported.Colours[i] : before.Palette[i]),
            "an entry is not the file's or the old one");

    for (PaletteExportFormat format : { PaletteExportFormat::Gimp, PaletteExportFormat::JascPal,
             PaletteExportFormat::AdobeAct }) {
        const std::vector<uint8_t> bytes = EncodePaletteFile(model, format);
        ImportedPalette again;
        FuzzCheck(DecodeImportedPalette(bytes, again) == PaletteImportResult::Done,
            "an exported palette does not read back");
        PaletteModel reread = before;
        ApplyImportedPalette(again, reread);
        for (uint32_t i = 0; i < 255; ++i)
            FuzzCheck(reread.Palette[i] == model.Palette[i], "an export changed an entry");
    }
    return 0;
}
