#include "settings/Settings.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>

#include "settings/INIHandler.h"

namespace {

const char* const LineEnd = "\r\n";

// Reads the four geometry keys in the order width, height, left, top.
void ReadPlacement(INIToRead& ini, const std::string& prefix, WindowPlacement& placement)
{
    placement.Width = ini.GetInteger(prefix + "Width", placement.Width);
    placement.Height = ini.GetInteger(prefix + "Height", placement.Height);
    placement.Left = ini.GetInteger(prefix + "Left", placement.Left);
    placement.Top = ini.GetInteger(prefix + "Top", placement.Top);
}

// Opens fileName and lets read take what it needs from it. False when the file cannot be
// opened or is not a valid settings file; read is then not called and nothing changes.
template <typename Read> bool ReadSettingsFile(const std::string& fileName, Read&& read)
{
    INIToRead ini;
    if (!ini.Open(fileName))
        return false;
    read(ini);
    ini.Close();
    return true;
}

template <typename Read> bool ReadSettingsBytes(std::span<const uint8_t> bytes, Read&& read)
{
    INIToRead ini;
    if (!ini.OpenBytes(bytes))
        return false;
    read(ini);
    ini.Close();
    return true;
}

// n when name is "UnnHH" followed by n in decimal without leading zeros, else nullopt.
std::optional<uint32_t> StoredFlagNumber(const std::string& name)
{
    constexpr std::string_view Prefix = "UnnHH";
    if (name.size() <= Prefix.size() || name.compare(0, Prefix.size(), Prefix) != 0)
        return std::nullopt;
    const std::string_view digits = std::string_view(name).substr(Prefix.size());
    if (digits.size() > 9 || (digits.size() > 1 && digits[0] == '0'))
        return std::nullopt;
    uint32_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    return number;
}

void ReadMain(INIToRead& ini, MainSettings& settings)
{
    ReadPlacement(ini, "Main", settings.Placement);
    settings.Unnamed = std::min(ini.GetPositive("Unnamed", 0), MaxStoredUnnamed);
    settings.UnnamedHeaders.assign(settings.Unnamed, false);
    // The flags a file can hold are among its own names: walking those costs the size of
    // the file, where asking for UnnHH0 ... UnnHH(Unnamed - 1) one by one costs the count,
    // which a hand-edited file may set to the bound. A missing flag reads as 0 either way.
    for (const std::string& name : ini.SearchedNames()) {
        const std::optional<uint32_t> n = StoredFlagNumber(name);
        if (n && *n < settings.Unnamed)
            settings.UnnamedHeaders[*n] = ini.GetPositive(name, 0) != 0;
    }
}

void ReadViewer(INIToRead& ini, ViewerSettings& settings)
{
    ReadPlacement(ini, "View", settings.Placement);
    settings.PalExp = ini.GetPositive("PalExp", settings.PalExp);
    if (ini.GetPositive("Offset", 0) > 0)
        settings.Offset = true;
    settings.OffsCol = ini.GetPositive("OffsCol", settings.OffsCol);
}

void ReadPalette(INIToRead& ini, PaletteSettings& settings)
{
    settings.Palette = ini.GetString("Palette", settings.Palette);
    settings.Transparent = ini.GetPositive("Transparent", settings.Transparent);
    settings.Left = ini.GetInteger("PalLeft", settings.Left);
    settings.Top = ini.GetInteger("PalTop", settings.Top);
    if (ini.GetPositive("WholePal", 0) > 0)
        settings.WholePal = true;
    // The selected colour is a palette index: only the low byte of the number counts.
    settings.SelCol = static_cast<uint8_t>(ini.GetPositive("SelCol", settings.SelCol) & 0xFFu);
}

void AppendLine(std::string& text, const char* key, const std::string& value)
{
    text.append(key);
    text.append(" = ");
    text.append(value);
    text.append(LineEnd);
}

void AppendPlacement(std::string& text, const std::string& prefix, const WindowPlacement& placement)
{
    AppendLine(text, (prefix + "Width").c_str(), std::to_string(placement.Width));
    AppendLine(text, (prefix + "Height").c_str(), std::to_string(placement.Height));
    AppendLine(text, (prefix + "Left").c_str(), std::to_string(placement.Left));
    AppendLine(text, (prefix + "Top").c_str(), std::to_string(placement.Top));
}

} // namespace

std::string SettingsFileName(const std::string& startDir)
{
    return (std::filesystem::path(startDir) / "Vornix.ini").string();
}

bool ReadMainSettings(const std::string& fileName, MainSettings& settings)
{
    return ReadSettingsFile(fileName, [&](INIToRead& ini) { ReadMain(ini, settings); });
}

bool ReadMainSettingsFromBytes(std::span<const uint8_t> bytes, MainSettings& settings)
{
    return ReadSettingsBytes(bytes, [&](INIToRead& ini) { ReadMain(ini, settings); });
}

bool ReadViewerSettings(const std::string& fileName, ViewerSettings& settings)
{
    return ReadSettingsFile(fileName, [&](INIToRead& ini) { ReadViewer(ini, settings); });
}

bool ReadViewerSettingsFromBytes(std::span<const uint8_t> bytes, ViewerSettings& settings)
{
    return ReadSettingsBytes(bytes, [&](INIToRead& ini) { ReadViewer(ini, settings); });
}

bool ReadPaletteSettings(const std::string& fileName, PaletteSettings& settings)
{
    return ReadSettingsFile(fileName, [&](INIToRead& ini) { ReadPalette(ini, settings); });
}

bool ReadPaletteSettingsFromBytes(std::span<const uint8_t> bytes, PaletteSettings& settings)
{
    return ReadSettingsBytes(bytes, [&](INIToRead& ini) { ReadPalette(ini, settings); });
}

bool ReadFrameSettings(const std::string& fileName, WindowPlacement& placement)
{
    return ReadSettingsFile(
        fileName, [&](INIToRead& ini) { ReadPlacement(ini, "Frame", placement); });
}

bool ReadFrameSettingsFromBytes(std::span<const uint8_t> bytes, WindowPlacement& placement)
{
    return ReadSettingsBytes(
        bytes, [&](INIToRead& ini) { ReadPlacement(ini, "Frame", placement); });
}

std::string FormatFixedLines(const SettingsSnapshot& snapshot)
{
    std::string text;
    AppendLine(text, "Palette", snapshot.Palette);
    AppendLine(text, "Transparent", std::to_string(snapshot.Transparent));
    AppendPlacement(text, "Main", snapshot.Main);
    AppendPlacement(text, "Frame", snapshot.Frame);
    AppendPlacement(text, "View", snapshot.View);
    AppendLine(text, "PalLeft", std::to_string(snapshot.PalLeft));
    AppendLine(text, "PalTop", std::to_string(snapshot.PalTop));
    AppendLine(text, "WholePal", snapshot.WholePal ? "1" : "0");
    AppendLine(text, "SelCol", std::to_string(static_cast<unsigned>(snapshot.SelCol)));
    AppendLine(text, "PalExp", std::to_string(snapshot.PalExp));
    AppendLine(text, "Offset", snapshot.Offset ? "1" : "0");
    AppendLine(text, "OffsCol", std::to_string(snapshot.OffsCol));
    return text;
}

bool SettingsWriter::Begin(const std::string& fileName, const SettingsSnapshot& snapshot)
{
    stored = 0;
    // The new file is written beside the old one and only replaces it in Finish, so a close
    // that fails half-way leaves the previous settings intact.
    file = std::make_unique<AtomicFileWriter>(fileName);
    if (!file->Open() || !file->Write(FormatFixedLines(snapshot))) {
        file.reset();
        return false;
    }
    return true;
}

void SettingsWriter::AddUnnamed(bool withHeaders)
{
    if (!file)
        return;
    file->Write("UnnHH" + std::to_string(stored) + (withHeaders ? " = 1" : " = 0") + LineEnd);
    ++stored;
}

bool SettingsWriter::Finish()
{
    if (!file)
        return false;
    file->Write("Unnamed = " + std::to_string(stored) + LineEnd);
    const bool committed = file->Commit();
    file.reset();
    return committed;
}
