#include "palette/PaletteFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "bitmaps/BitmapDiagnosis.h"
#include "bitmaps/PNGHandler.h"
#include "frames/FileIO.h"

namespace {

constexpr uint64_t TripletBytes = 768;
constexpr uint64_t AdobeCountedBytes = 772;
constexpr uint32_t MaxEntries = 256;
constexpr uint32_t AppliedEntries = 255; // entry 255 is the transparent colour

const char* const Expected = "not a palette file: expected a JASC-PAL or GIMP palette, an Adobe "
                             "colour table of 768 or 772 bytes, an 8-bit BMP or a palette PNG";

uint32_t ColourOf(uint32_t red, uint32_t green, uint32_t blue)
{
    return red + 256u * green + 65536u * blue;
}

uint8_t Channel(uint32_t colour, int shift)
{
    return static_cast<uint8_t>((colour >> shift) & 0xFF);
}

bool StartsWith(std::span<const uint8_t> bytes, std::string_view text)
{
    return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The lines of a text, LF or CR LF ended, a leading UTF-8 byte order mark dropped. The last
// line may lack its end.
class TextLines {
public:
    explicit TextLines(std::span<const uint8_t> bytes)
        : text(reinterpret_cast<const char*>(bytes.data()), bytes.size())
    {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
    }

    // The next line, blanks around it removed; false at the end of the text.
    bool Next(std::string_view& line)
    {
        if (position >= text.size())
            return false;
        const size_t end = text.find('\n', position);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        line = TrimBlanks(text.substr(position, stop - position));
        position = stop == text.size() ? stop : stop + 1;
        ++number;
        return true;
    }

    uint64_t Number() const { return number; }

private:
    std::string_view text;
    size_t position = 0;
    uint64_t number = 0;
};

// A decimal number of digits only, at most maximum; the number's text is taken off the front
// of text.
bool TakeNumber(std::string_view& text, uint32_t maximum, uint32_t& value)
{
    size_t digits = 0;
    uint64_t number = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        number = number * 10 + static_cast<uint32_t>(text[digits] - '0');
        if (number > maximum)
            return false;
        ++digits;
    }
    if (digits == 0)
        return false;
    value = static_cast<uint32_t>(number);
    text.remove_prefix(digits);
    return true;
}

void SkipBlanks(std::string_view& text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
}

// "r g b" at the start of line: three numbers 0 ... 255 separated by blanks. What follows is
// left in line.
bool TakeColour(std::string_view& line, uint32_t& colour)
{
    uint32_t channels[3] {};
    for (int c = 0; c < 3; ++c) {
        if (c > 0) {
            if (line.empty() || !IsBlank(line.front()))
                return false;
            SkipBlanks(line);
        }
        if (!TakeNumber(line, 255, channels[c]))
            return false;
    }
    colour = ColourOf(channels[0], channels[1], channels[2]);
    return true;
}

std::string Entries(uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

PaletteImportResult Refuse(ImportedPalette& imported, std::string reason)
{
    imported.Colours.clear();
    imported.Reason = std::move(reason);
    return PaletteImportResult::Refused;
}

PaletteImportResult DecodeJasc(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    TextLines lines(bytes);
    std::string_view line;
    lines.Next(line); // "JASC-PAL", seen by the caller
    if (line != "JASC-PAL")
        return Refuse(imported, "JASC-PAL file whose first line is not \"JASC-PAL\"");
    if (!lines.Next(line) || line != "0100")
        return Refuse(imported, "JASC-PAL file whose second line is not \"0100\"");
    uint32_t count = 0;
    std::string_view countText;
    if (!lines.Next(countText) || !TakeNumber(countText, UINT32_MAX, count) || !countText.empty())
        return Refuse(imported, "JASC-PAL file whose third line is not a count of entries");
    if (count == 0)
        return Refuse(imported, "JASC-PAL file without an entry (its count is 0)");
    if (count > MaxEntries)
        return Refuse(
            imported, "JASC-PAL file with a count of " + std::to_string(count) + ", at most 256");
    std::vector<uint32_t> colours;
    colours.reserve(count);
    while (colours.size() < count) {
        if (!lines.Next(line))
            return Refuse(imported,
                "JASC-PAL file ends after " + Entries(colours.size()) + " of its "
                    + Entries(count));
        uint32_t colour = 0;
        if (!TakeColour(line, colour) || !line.empty())
            return Refuse(imported,
                "JASC-PAL line " + std::to_string(lines.Number())
                    + " is not \"r g b\" with values 0 to 255");
        colours.push_back(colour);
    }
    imported.Colours = std::move(colours);
    return PaletteImportResult::Done;
}

PaletteImportResult DecodeGimp(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    TextLines lines(bytes);
    std::string_view line;
    lines.Next(line);
    if (line != "GIMP Palette")
        return Refuse(imported, "GIMP palette whose first line is not \"GIMP Palette\"");
    std::vector<uint32_t> colours;
    // Every line is checked; the entries beyond the 256th are not kept.
    while (lines.Next(line)) {
        if (line.empty() || line.front() == '#' || line.starts_with("Name:")
            || line.starts_with("Columns:"))
            continue;
        uint32_t colour = 0;
        if (!TakeColour(line, colour) || (!line.empty() && !IsBlank(line.front())))
            return Refuse(imported,
                "GIMP palette line " + std::to_string(lines.Number())
                    + " is not \"r g b [name]\" with values 0 to 255");
        if (colours.size() < MaxEntries)
            colours.push_back(colour);
    }
    if (colours.empty())
        return Refuse(imported, "GIMP palette without a colour");
    imported.Colours = std::move(colours);
    return PaletteImportResult::Done;
}

PaletteImportResult DecodeTriplets(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    // Read as Load reads a ".pal": the same 255 entries, the last triplet never used.
    PaletteModel scratch;
    if (LoadPaletteBytes(bytes, scratch) != PaletteFileResult::Done)
        return Refuse(imported, Expected);
    imported.Colours.assign(scratch.Palette.begin(), scratch.Palette.begin() + AppliedEntries);
    return PaletteImportResult::Done;
}

PaletteImportResult DecodeAdobeCounted(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    const uint32_t count = uint32_t { bytes[768] } << 8 | bytes[769];
    if (count == 0)
        return Refuse(imported, "Adobe colour table without a colour (its count is 0)");
    if (count > MaxEntries)
        return Refuse(imported,
            "Adobe colour table with a count of " + std::to_string(count) + ", at most 256");
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < count; ++i)
        colours.push_back(ColourOf(bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]));
    imported.Colours = std::move(colours);
    return PaletteImportResult::Done;
}

PaletteImportResult DecodeBitmapTable(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    // Exactly the files the BMP reader takes, refused for the reason it would give.
    const std::string refusal = ExplainBitmapRefusal(bytes);
    if (!refusal.empty())
        return Refuse(imported, "BMP not read (" + refusal + ")");
    const uint32_t bits = bytes[28] | uint32_t { bytes[29] } << 8;
    if (bits != 8)
        return Refuse(imported,
            "BMP of " + std::to_string(bits)
                + " bits per pixel has no colour table; an 8-bit BMP has one");
    std::vector<uint32_t> colours;
    const uint8_t* table = bytes.data() + 54; // after the file and information headers
    for (uint32_t i = 0; i < MaxEntries; ++i)
        colours.push_back(ColourOf(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
    imported.Colours = std::move(colours);
    return PaletteImportResult::Done;
}

PaletteImportResult DecodePNGTable(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    std::vector<uint32_t> colours;
    std::string reason;
    if (DecodePNGPalette(bytes, colours, reason) != BitmapOK)
        return Refuse(imported, reason);
    imported.Colours = std::move(colours);
    return PaletteImportResult::Done;
}

} // namespace

std::string PaletteFormatName(PaletteFileFormat format)
{
    switch (format) {
    case PaletteFileFormat::Pal:
        return "768-byte palette";
    case PaletteFileFormat::AdobeCounted:
        return "Adobe colour table";
    case PaletteFileFormat::JascPal:
        return "JASC-PAL palette";
    case PaletteFileFormat::Gimp:
        return "GIMP palette";
    case PaletteFileFormat::Bitmap:
        return "BMP colour table";
    case PaletteFileFormat::PNG:
        return "PNG palette";
    case PaletteFileFormat::Unknown:
        break;
    }
    return "unknown";
}

PaletteImportResult DecodeImportedPalette(std::span<const uint8_t> bytes, ImportedPalette& imported)
{
    imported = ImportedPalette {};
    std::span<const uint8_t> text = bytes;
    if (StartsWith(text, "\xEF\xBB\xBF"))
        text = text.subspan(3);
    if (StartsWith(bytes, std::string_view(reinterpret_cast<const char*>(PNGSignature), 8))) {
        imported.Format = PaletteFileFormat::PNG;
        return DecodePNGTable(bytes, imported);
    }
    if (StartsWith(text, "JASC-PAL")) {
        imported.Format = PaletteFileFormat::JascPal;
        return DecodeJasc(bytes, imported);
    }
    if (StartsWith(text, "GIMP Palette")) {
        imported.Format = PaletteFileFormat::Gimp;
        return DecodeGimp(bytes, imported);
    }
    if (StartsWith(bytes, "BM") && bytes.size() != TripletBytes
        && bytes.size() != AdobeCountedBytes) {
        imported.Format = PaletteFileFormat::Bitmap;
        return DecodeBitmapTable(bytes, imported);
    }
    if (bytes.size() == TripletBytes) {
        imported.Format = PaletteFileFormat::Pal;
        return DecodeTriplets(bytes, imported);
    }
    if (bytes.size() == AdobeCountedBytes) {
        imported.Format = PaletteFileFormat::AdobeCounted;
        return DecodeAdobeCounted(bytes, imported);
    }
    return Refuse(imported, Expected);
}

PaletteImportResult ReadImportedPalette(const std::string& path, ImportedPalette& imported)
{
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(path, bytes, MaxImportedPaletteFileSize)) {
    case ReadResult::Ok:
        break;
    case ReadResult::CannotOpen:
        imported = ImportedPalette {};
        return PaletteImportResult::CannotOpen;
    case ReadResult::TooLarge:
        imported = ImportedPalette {};
        return Refuse(imported, std::string(Expected) + " (this file is larger than 256 MiB)");
    }
    return DecodeImportedPalette(bytes, imported);
}

uint32_t ApplyImportedPalette(const ImportedPalette& imported, PaletteModel& model)
{
    const uint32_t count
        = static_cast<uint32_t>(std::min<size_t>(imported.Colours.size(), AppliedEntries));
    std::copy_n(imported.Colours.begin(), count, model.Palette.begin());
    return count;
}

PaletteImportResult ImportPaletteFile(
    const std::string& path, PaletteModel& model, std::string& message)
{
    ImportedPalette imported;
    const PaletteImportResult result = ReadImportedPalette(path, imported);
    message = PaletteImportMessage(result, imported);
    if (result == PaletteImportResult::Done)
        ApplyImportedPalette(imported, model);
    return result;
}

std::string PaletteImportMessage(PaletteImportResult result, const ImportedPalette& imported)
{
    switch (result) {
    case PaletteImportResult::CannotOpen:
        return PaletteFileMessage(PaletteFileResult::CannotOpen);
    case PaletteImportResult::Refused:
        return "Unsupported palette file: " + imported.Reason;
    case PaletteImportResult::Done:
        break;
    }
    return {};
}

std::vector<uint8_t> EncodePaletteFile(
    const PaletteModel& model, PaletteExportFormat format, const std::string& name)
{
    std::string text;
    char line[64];
    switch (format) {
    case PaletteExportFormat::Pal:
        return PaletteFileBytes(model);
    case PaletteExportFormat::AdobeAct: {
        std::vector<uint8_t> bytes;
        bytes.reserve(TripletBytes);
        for (uint32_t colour : model.Palette)
            for (int shift = 0; shift < 24; shift += 8)
                bytes.push_back(Channel(colour, shift));
        return bytes;
    }
    case PaletteExportFormat::JascPal:
        text = "JASC-PAL\r\n0100\r\n256\r\n";
        for (uint32_t colour : model.Palette) {
            std::snprintf(line, sizeof line, "%u %u %u\r\n", Channel(colour, 0), Channel(colour, 8),
                Channel(colour, 16));
            text += line;
        }
        break;
    case PaletteExportFormat::Gimp: {
        std::string shownName = name;
        for (char& c : shownName)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = ' ';
        text = "GIMP Palette\nName: " + shownName + "\nColumns: 16\n#\n";
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t colour = model.Palette[i];
            std::snprintf(line, sizeof line, "%3u %3u %3u\tIndex %u\n", Channel(colour, 0),
                Channel(colour, 8), Channel(colour, 16), i);
            text += line;
        }
        break;
    }
    }
    return std::vector<uint8_t>(text.begin(), text.end());
}

PaletteFileResult ExportPaletteFile(
    const std::string& path, const PaletteModel& model, PaletteExportFormat format)
{
    const std::string name = std::filesystem::path(path).stem().string();
    if (!WriteFileAtomically(path, EncodePaletteFile(model, format, name)))
        return PaletteFileResult::CannotCreate;
    return PaletteFileResult::Done;
}

std::optional<PaletteExportFormat> PaletteExportFormatForName(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    if (extension == ".gpl")
        return PaletteExportFormat::Gimp;
    if (extension == ".act")
        return PaletteExportFormat::AdobeAct;
    if (extension == ".pal")
        return PaletteExportFormat::Pal;
    return std::nullopt;
}
