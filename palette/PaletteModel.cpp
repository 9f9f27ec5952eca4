#include "palette/PaletteModel.h"

#include <cstdio>
#include <vector>

#include "frames/FileIO.h"

namespace {

constexpr uint64_t PaletteFileSize = 768;
constexpr uint32_t StoredEntries = 255; // the last triplet never reaches entry 255

} // namespace

PaletteFileResult LoadPaletteFile(const std::string& fileName, PaletteModel& model)
{
    if (fileName.empty())
        return PaletteFileResult::NoFileName;
    std::vector<uint8_t> bytes;
    // A larger file is refused before it is read in, so a stray huge file costs nothing.
    switch (ReadWholeFile(fileName, bytes, PaletteFileSize)) {
    case ReadResult::Ok:
        break;
    case ReadResult::CannotOpen:
        return PaletteFileResult::CannotOpen;
    case ReadResult::TooLarge:
        return PaletteFileResult::WrongSize;
    }
    return LoadPaletteBytes(bytes, model);
}

PaletteFileResult LoadPaletteBytes(std::span<const uint8_t> bytes, PaletteModel& model)
{
    if (bytes.size() != PaletteFileSize)
        return PaletteFileResult::WrongSize;
    for (uint32_t n = 0; n < StoredEntries; ++n) {
        const uint32_t red = bytes[3 * n];
        const uint32_t green = bytes[3 * n + 1];
        const uint32_t blue = bytes[3 * n + 2];
        model.Palette[n] = red + 256 * green + 65536 * blue;
    }
    return PaletteFileResult::Done;
}

std::vector<uint8_t> PaletteFileBytes(const PaletteModel& model)
{
    std::vector<uint8_t> bytes(PaletteFileSize, 0xFF); // the last triplet is always white
    for (uint32_t n = 0; n < StoredEntries; ++n) {
        const uint32_t colour = model.Palette[n];
        bytes[3 * n] = static_cast<uint8_t>(colour & 0xFF);
        bytes[3 * n + 1] = static_cast<uint8_t>((colour >> 8) & 0xFF);
        bytes[3 * n + 2] = static_cast<uint8_t>((colour >> 16) & 0xFF);
    }
    return bytes;
}

PaletteFileResult SavePaletteFile(const std::string& fileName, const PaletteModel& model)
{
    if (fileName.empty())
        return PaletteFileResult::NoFileName;
    const std::vector<uint8_t> bytes = PaletteFileBytes(model);
    // Written beside the target and renamed over it: a failed write never leaves a truncated
    // palette where the user's file was.
    if (!WriteFileAtomically(fileName, bytes))
        return PaletteFileResult::CannotCreate;
    return PaletteFileResult::Done;
}

std::string PaletteFileMessage(PaletteFileResult result)
{
    switch (result) {
    case PaletteFileResult::CannotOpen:
        return "Cannot open palette file";
    case PaletteFileResult::WrongSize:
        return "Palette file must be 768 bytes long";
    case PaletteFileResult::CannotCreate:
        return "Cannot create palette file";
    case PaletteFileResult::Done:
    case PaletteFileResult::NoFileName:
        break;
    }
    return {};
}

std::string CellHint(uint8_t index, uint32_t colour)
{
    // Blue is all of the value above green: a transparent colour read from the settings keeps
    // any top byte it had, and the hint shows it as it is.
    char text[64];
    std::snprintf(text, sizeof text, "%02X (%u): (%u; %u; %u)", static_cast<unsigned>(index),
        static_cast<unsigned>(index), static_cast<unsigned>(colour & 0xFF),
        static_cast<unsigned>((colour >> 8) & 0xFF), static_cast<unsigned>(colour >> 16));
    return text;
}

void RaiseSelectedColour(PaletteModel& model)
{
    if (!model.WholePalette && model.SelectedColour < FirstFreeColour)
        model.SelectedColour = FirstFreeColour;
}

PickOutcome PickColour(PaletteModel& model, DataArray& image, uint8_t n)
{
    PickOutcome outcome;
    outcome.PreviousSelected = model.SelectedColour;
    // Reserved colours cannot be picked without the option; a pending operation waits for an
    // allowed colour.
    if (!model.WholePalette && n < FirstFreeColour) {
        outcome.Ignored = true;
        return outcome;
    }
    const uint8_t selected = model.SelectedColour;
    switch (model.PendingColourOp) {
    case OpReplace:
        for (uint8_t& pixel : image)
            if (pixel == selected)
                pixel = n;
        break;
    case OpExchange:
        // One pass: a pixel that was just changed is never looked at again, so A and B swap
        // instead of both ending as one colour.
        for (uint8_t& pixel : image) {
            if (pixel == selected)
                pixel = n;
            else if (pixel == n)
                pixel = selected;
        }
        break;
    default:
        model.SelectedColour = n;
        return outcome;
    }
    outcome.CompletedOp = model.PendingColourOp;
    model.PendingColourOp = OpNone;
    return outcome;
}

PaletteModel GreyPalette(uint32_t transparent)
{
    PaletteModel model;
    for (uint32_t i = 0; i < 255; ++i)
        model.Palette[i] = i * 0x010101u;
    model.Palette[255] = transparent;
    return model;
}
