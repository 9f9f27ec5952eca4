#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "frames/FrameHandler.h"

// The 256-colour palette, the drawing colour and the pending colour operation. Colours are
// red + 256 x green + 65536 x blue. Entry 255 is the transparent colour itself.

constexpr uint8_t FirstFreeColour = 0x7F; // 00 ... 7E are reserved

enum : uint8_t { OpNone = 0, OpReplace = 1, OpExchange = 2 };

struct PaletteModel {
    std::array<uint32_t, 256> Palette {}; // all black at start
    uint8_t SelectedColour = 0;
    bool WholePalette = false; // mirrors the "Use whole palette" box
    uint8_t PendingColourOp = OpNone;

    uint32_t TransparentColour() const { return Palette[255]; }
};

// The palette of vornix-cel and the Python module when no palette file is given: entry i grey
// (i, i, i), entry 255 the transparent colour.
PaletteModel GreyPalette(uint32_t transparent);

enum class PaletteFileResult : uint8_t {
    Done, // loaded or saved
    NoFileName, // empty name: nothing done, nothing said
    CannotOpen, // "Cannot open palette file"
    WrongSize, // "Palette file must be 768 bytes long"
    CannotCreate, // "Cannot create palette file"
};

// Loads entries 0 ... 254 from a 768-byte file; entry 255 keeps the transparent colour.
// On anything but Done the palette is unchanged.
PaletteFileResult LoadPaletteFile(const std::string& fileName, PaletteModel& model);
// The same on the bytes of a file already in memory: Done or WrongSize.
PaletteFileResult LoadPaletteBytes(std::span<const uint8_t> bytes, PaletteModel& model);
// The 768 bytes SavePaletteFile writes.
std::vector<uint8_t> PaletteFileBytes(const PaletteModel& model);
// Writes entries 0 ... 254 and FF FF FF as the last triplet.
PaletteFileResult SavePaletteFile(const std::string& fileName, const PaletteModel& model);
// The message a window shows for a result, empty for Done and NoFileName.
std::string PaletteFileMessage(PaletteFileResult result);

// "7F (127): (12; 34; 56)".
std::string CellHint(uint8_t index, uint32_t colour);

// The settings rule applied at start: without the whole-palette option the selected colour is
// raised to 7F.
void RaiseSelectedColour(PaletteModel& model);

// What PickColour did, so the window can repaint outlines, raise buttons and redraw.
struct PickOutcome {
    bool Ignored = false; // reserved colour with the option off
    uint8_t CompletedOp = OpNone; // the Replace or Exchange performed, if any
    uint8_t PreviousSelected = 0; // the selection before a plain pick
};

// The right-button action on a colour: completes a pending Replace or Exchange on image, or
// selects colour n.
PickOutcome PickColour(PaletteModel& model, DataArray& image, uint8_t n);
