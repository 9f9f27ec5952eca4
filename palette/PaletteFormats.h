#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "palette/PaletteModel.h"

// Palettes in the formats of other tools, beside the 768-byte ".pal" of Load and Save (which
// keep their own rules, PaletteModel.h).
//
// Import tells a file apart by its content, never by its name, in this order:
//   - the PNG signature: the PLTE of a palette PNG;
//   - "JASC-PAL": a JASC-PAL text file ("JASC-PAL", "0100", a count, then one "r g b" line
//     per entry);
//   - "GIMP Palette": a GIMP palette (optional "Name:" and "Columns:" lines, comments starting
//     with "#" and blank lines, then "r g b [name]" lines);
//   - "BM", for a file of neither 768 nor 772 bytes: the colour table of an 8-bit BMP that the
//     BMP reader accepts (no 8-bit BMP is that short);
//   - 768 bytes: 256 triplets of red, green, blue, read as Load reads a ".pal" (this is also
//     an Adobe colour table without a count);
//   - 772 bytes: an Adobe colour table with a count: 256 triplets, then the number of colours
//     and the transparent index as big-endian 16-bit words. The transparent index is not used:
//     here transparency is always index 255.
// A text file may start with a UTF-8 byte order mark; its lines end in LF or CR LF.
//
// Entries 0 to n - 1 come from the file (at most 255); entry 255 keeps the transparent colour
// and entries from n on keep their colours. Colours are red + 256 x green + 65536 x blue.

enum class PaletteFileFormat : uint8_t {
    Unknown,
    Pal, // 768 bytes: the ".pal" of Load, or an Adobe colour table without a count
    AdobeCounted, // 772 bytes: Adobe colour table with a count and a transparent index
    JascPal,
    Gimp,
    Bitmap, // the colour table of an 8-bit BMP
    PNG, // the PLTE of a palette PNG
};

// "JASC-PAL palette", "GIMP palette", "Adobe colour table", ...
std::string PaletteFormatName(PaletteFileFormat format);

enum class PaletteImportResult : uint8_t {
    Done,
    CannotOpen, // "Cannot open palette file"
    Refused, // none of the formats, or a broken one: Reason says which and why
};

struct ImportedPalette {
    PaletteFileFormat Format = PaletteFileFormat::Unknown; // what the content looked like
    std::vector<uint32_t> Colours; // the file's entries in order, 1 ... 256 of them on Done
    std::string Reason; // on Refused: what was expected, or what is wrong with the file
};

// The largest file Import reads; a larger one is refused before it is read in.
constexpr uint64_t MaxImportedPaletteFileSize = 256ull << 20;

// Reads a palette from a file's bytes. Done: Format and Colours hold it. Refused: Reason holds
// a text naming what was expected ("not a palette file: expected ...", "JASC-PAL line 7 is
// not \"r g b\" with values 0 to 255", "GIMP palette without a colour", ...).
PaletteImportResult DecodeImportedPalette(
    std::span<const uint8_t> bytes, ImportedPalette& imported);
// The same from a file: CannotOpen when it cannot be opened.
PaletteImportResult ReadImportedPalette(const std::string& path, ImportedPalette& imported);

// Puts entries 0 ... n - 1 of imported into model (n the file's count, at most 255); nothing
// else of the model changes. Returns n.
uint32_t ApplyImportedPalette(const ImportedPalette& imported, PaletteModel& model);

// Read and apply in one: on Done the model has the file's entries; otherwise it is unchanged
// and message holds what a window or the command line shows.
PaletteImportResult ImportPaletteFile(
    const std::string& path, PaletteModel& model, std::string& message);

// "Cannot open palette file", or "Unsupported palette file: <reason>"; empty for Done.
std::string PaletteImportMessage(PaletteImportResult result, const ImportedPalette& imported);

// The formats Export writes. Gimp, JascPal and AdobeAct hold all of entries 0 ... 255, entry
// 255 being the transparent colour; Pal is the 768-byte file of Save (entries 0 ... 254, then
// FF FF FF).
enum class PaletteExportFormat : uint8_t { Gimp, JascPal, AdobeAct, Pal };

// The bytes of the palette in a format. A GIMP palette is named name (control characters
// become blanks), 16 columns, lines "r g b<TAB>Index i" ending in LF; a JASC-PAL file has
// CR LF line ends; an Adobe colour table is 768 bytes of triplets.
std::vector<uint8_t> EncodePaletteFile(
    const PaletteModel& model, PaletteExportFormat format, const std::string& name = "Vornix");

// Writes the palette to path whole (temporary file, then rename): Done or CannotCreate
// ("Cannot create palette file"). A GIMP palette takes the file's stem as its name.
PaletteFileResult ExportPaletteFile(
    const std::string& path, const PaletteModel& model, PaletteExportFormat format);

// The format an export takes from a file name's extension, in any case: ".gpl" Gimp, ".act"
// AdobeAct, ".pal" Pal; nothing for any other name (".pal" is also JASC-PAL's extension, so a
// JASC-PAL file is only written when asked for by name).
std::optional<PaletteExportFormat> PaletteExportFormatForName(const std::string& path);
