#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "frames/FileIO.h"

// The settings file "Vornix.ini" in the start directory: what each window reads at creation
// and the whole file written when the CEL list window closes. Each Read function opens its
// own INIToRead; it returns false, leaving its argument untouched, when the file cannot be
// read. On true, each key present and accepted by its getter overwrites its field; the
// fields a caller passes in are the defaults (the window's current values). Two kinds of
// field are exceptions: a check box key (Offset, WholePal) only ever sets its field to true,
// and Unnamed with UnnamedHeaders is always replaced (default 0, no Frame Headers). Each
// FromBytes form reads the bytes of a settings file already in memory, exactly as its file
// form reads the file.

std::string SettingsFileName(const std::string& startDir);

struct WindowPlacement {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Left = 0;
    int32_t Top = 0;
};

// Upper bound on the Unnamed count taken from the file. The store holds a handful of CELs;
// a hand-edited huge count would otherwise make the CEL list window try to reopen billions
// of files and this reader allocate one flag for each.
constexpr uint32_t MaxStoredUnnamed = 100000;

struct MainSettings {
    WindowPlacement Placement; // MainWidth, MainHeight, MainLeft, MainTop
    uint32_t Unnamed = 0; // stored unnamed CELs to reopen, at most MaxStoredUnnamed
    std::vector<bool> UnnamedHeaders; // UnnHH0 ... UnnHH(Unnamed - 1), filled on read
};
bool ReadMainSettings(const std::string& fileName, MainSettings& settings);
bool ReadMainSettingsFromBytes(std::span<const uint8_t> bytes, MainSettings& settings);

struct ViewerSettings {
    WindowPlacement Placement; // ViewWidth, ViewHeight, ViewLeft, ViewTop
    uint32_t PalExp = 0; // item index of ComboBPP
    bool Offset = false; // ticked only when the value is above 0
    uint32_t OffsCol = 0; // BoundsColour
};
bool ReadViewerSettings(const std::string& fileName, ViewerSettings& settings);
bool ReadViewerSettingsFromBytes(std::span<const uint8_t> bytes, ViewerSettings& settings);

struct PaletteSettings {
    std::string Palette; // palette file name
    uint32_t Transparent = 16777215; // entry 255, stored as read
    int32_t Left = 558;
    int32_t Top = 118;
    bool WholePal = false;
    uint8_t SelCol = 255; // low byte of the value read
};
bool ReadPaletteSettings(const std::string& fileName, PaletteSettings& settings);
bool ReadPaletteSettingsFromBytes(std::span<const uint8_t> bytes, PaletteSettings& settings);

bool ReadFrameSettings(const std::string& fileName, WindowPlacement& placement);
bool ReadFrameSettingsFromBytes(std::span<const uint8_t> bytes, WindowPlacement& placement);

// Everything the first 21 lines hold, taken from the windows at close.
struct SettingsSnapshot {
    std::string Palette;
    uint32_t Transparent = 0;
    WindowPlacement Main;
    WindowPlacement Frame;
    WindowPlacement View;
    int32_t PalLeft = 0;
    int32_t PalTop = 0;
    bool WholePal = false;
    uint8_t SelCol = 0;
    int32_t PalExp = 0; // -1 when ComboBPP has no item selected
    bool Offset = false;
    uint32_t OffsCol = 0;
};

// The 21 fixed lines, each "key = value" ended by CR LF.
std::string FormatFixedLines(const SettingsSnapshot& snapshot);

// Writes the settings file at close: Begin creates the file (a temporary one beside it) and
// writes the fixed lines; AddUnnamed writes "UnnHHn = 0|1" for each CEL stored; Finish writes
// "Unnamed = n" and puts the file in place. If Begin fails, nothing may be stored.
class SettingsWriter {
public:
    bool Begin(const std::string& fileName, const SettingsSnapshot& snapshot);
    void AddUnnamed(bool withHeaders);
    bool Finish();
    uint32_t StoredCount() const { return stored; }

private:
    std::unique_ptr<AtomicFileWriter> file;
    uint32_t stored = 0;
};
