#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bitmaps/GIFHandler.h"
#include "cel/CELHandler.h"
#include "cel/GroupedFile.h"
#include "palette/ColourUse.h"
#include "palette/PaletteFormats.h"
#include "palette/PaletteModel.h"
#include "palette/Translation.h"

// vornix-cel, the command-line companion of the desktop program: it lists, exports and builds
// CEL files in bulk with the same core the windows use.
//
// Exit codes: 0 success, 1 a file-level failure, 2 a usage error. Every error goes to the error
// stream as one line "vornix-cel: <file>: <reason>"; a usage error is followed by the usage
// line of its command.

enum : int { ExitSuccess = 0, ExitFileFailure = 1, ExitUsage = 2 };

// Runs one invocation; arguments exclude the program name. errIsTerminal: the error stream
// is a terminal, so long commands show a progress line there.
int RunCelTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
    bool errIsTerminal = false);

// The version printed by "vornix-cel --version".
constexpr std::string_view ToolVersion = VORNIX_VERSION;

// --- Shared between the command files ------------------------------------------------------

struct ToolStreams {
    std::ostream& Out;
    std::ostream& Err;
    bool ErrIsTerminal = false;
};

// A decimal number made of digits only, at most maximum. Nothing else is accepted: no sign,
// no blank, no empty text.
bool ParseBoundedNumber(std::string_view text, uint32_t maximum, uint32_t& value);

// "R,G,B", each 0 ... 255, into red + 256 x green + 65536 x blue.
bool ParseColour(std::string_view text, uint32_t& colour);

// Prints "vornix-cel: <problem>" and the usage line of command; returns ExitUsage.
int UsageError(const ToolStreams& streams, std::string_view command, std::string_view problem);
// Prints "vornix-cel: <file>: <reason>"; returns ExitFileFailure.
int FileError(const ToolStreams& streams, std::string_view file, std::string_view reason);
void Warning(const ToolStreams& streams, std::string_view file, std::string_view text);

// The usage line and the full help of a command ("" for the program as a whole).
std::string UsageLine(std::string_view command);
std::string HelpText(std::string_view command);

// The Frame Header choice of --headers (with) / --no-headers (without), or fallback when
// neither is given. Giving both is a usage error, reported through the returned text.
std::string HeaderChoice(bool with, bool without, bool fallback, bool& withHeaders);

// "--coding cel|cl2": the coding named, or none without the option (the file's name then
// decides: CodingFromName). A malformed value is reported as for JobChoice.
std::string CodingChoice(const std::optional<std::string>& given, std::optional<FrameCoding>& coding);

// The sprite file (plain or grouped, CEL or CL2: coding, or the name's) that info, export,
// sheet and convert work on, read with or without Frame Headers as chosen. Without a .cdb file
// and without --headers or --no-headers (headersGiven false), a CEL's frames are read the way
// that leaves more of them viewable, without headers on a tie: build writes Frame Headers by
// default, and a CEL it wrote without --database reads back as it was written. When given,
// detected tells whether the frames were read against the default for that reason. A CL2
// always has Frame Headers.
SpriteFile LoadToolSprite(const std::string& file, bool withHeaders, bool headersGiven,
    std::optional<FrameCoding> coding, bool* detected = nullptr);

// "<stem>_<group>_<index>.<extension>" for a frame of a grouped file, the group zero-padded to
// the digits of lastGroup and the index to those of lastIndex (m_0_00.png ... m_7_15.png).
std::string GroupedFileName(const std::string& stem, uint32_t group, uint32_t lastGroup,
    uint32_t index, uint32_t lastIndex, std::string_view extension);

// The palette options of export, sheet and build.
struct PaletteChoice {
    std::string File; // --palette, empty without it
    uint32_t Transparent = 0xFFFFFF; // --transparent: red + 256 x green + 65536 x blue
    bool WholePalette = false; // --whole-palette
};

// "--transparent R,G,B" (white without it); a malformed colour is reported as for JobChoice.
std::string TransparentChoice(const std::optional<std::string>& given, uint32_t& colour);

// Sets up the palette as the commands use it: entries 0 ... 254 grey (i, i, i) or from the
// palette file, entry 255 the transparent colour. On a palette file failure the error line is
// printed and ExitFileFailure returned; ExitSuccess otherwise.
int PreparePalette(
    const ToolStreams& streams, const PaletteChoice& choice, PaletteModel& palette);


// Bytes as valid UTF-8 for a JSON text: valid sequences pass through, each byte of an
// invalid sequence becomes U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// Bytes made safe for a terminal: control characters are shown as \xNN.
std::string PrintableText(std::string_view bytes);

// --- Batches ------------------------------------------------------------------------------

// The worker count of "--jobs N" (1 ... 256), or the number of cores without it. A malformed
// value is a usage error, reported through the returned text.
std::string JobChoice(const std::optional<std::string>& given, uint32_t& jobs);

// The width of "--width W", 0 without it; a malformed value is reported as for JobChoice.
std::string WidthChoice(const std::optional<std::string>& given, uint32_t& width);

// Selects the first candidate width of frame equal to width (the height follows the width).
// A viewable frame without such a candidate keeps its selection and gets one warning line.
void ChooseWidth(const ToolStreams& streams, std::string_view file, uint32_t index, CELFrame& frame,
    uint32_t width);

// "<stem>_<index>.<extension>", the index zero-padded to the digits of lastIndex, so that
// the names sort in frame order.
std::string IndexedFileName(
    const std::string& stem, uint32_t index, uint32_t lastIndex, std::string_view extension);

// Natural order of names: runs of digits compare as numbers ("a_2" before "a_10"), the rest
// byte by byte; names equal that way fall back to plain byte order.
bool NaturalLess(std::string_view a, std::string_view b);

// Runs work(0) ... work(count - 1) on jobs threads. Items are handed out in order; once one
// returns false no further item starts, and RunBatch returns false. While showProgress, a
// line "<verb> done/count" is kept up to date on the error stream and cleared at the end.
bool RunBatch(const ToolStreams& streams, std::string_view verb, size_t count, uint32_t jobs,
    bool showProgress, const std::function<bool(size_t)>& work);

// Writes a file of a batch: complete before it takes its name (a new file is linked under
// it from an unnamed one, an existing one replaced by renaming a temporary file), but
// not flushed to disk; FlushBatch does that once for the whole batch. A failure leaves no
// file under path and nothing of the temporary file.
bool WriteBatchFile(const std::string& path, std::span<const uint8_t> bytes);
// Flushes the file system that holds path to disk; true when that succeeded.
bool FlushBatch(const std::string& path);

// "1.4 s": the time since start, for the summary lines.
std::string ElapsedText(std::chrono::steady_clock::time_point start);

// "12000 frames", "1 frame".
std::string FrameCount(size_t count);

// "--format bmp|png" (bmp without it) and "--bpp 8|24" (8 without it); a malformed value is
// reported as for JobChoice.
std::string PictureFormatChoice(const std::optional<std::string>& given, bool& png);
std::string BitsChoice(const std::optional<std::string>& given, uint32_t& bitsPerPixel);

// The choices export and sheet share: how frames are read without a .cdb file, the bits per
// pixel, --width and --jobs.
struct PictureChoices {
    bool WithHeaders = false;
    bool HeadersGiven = false; // --headers or --no-headers
    uint32_t BitsPerPixel = 8;
    uint32_t Width = 0;
    uint32_t Jobs = 1;
    std::optional<FrameCoding> Coding; // --coding
};

// Frame index of cel with the width of --width selected (width 0: as it is), or null with a
// warning line when it is missing or not viewable.
CELFrame* ViewableFrame(const ToolStreams& streams, const std::string& file, CELObject& cel,
    uint32_t index, uint32_t width);

// The bytes of a PNG or BMP file of bitmap.
struct Bitmap;
std::vector<uint8_t> PictureBytes(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel, bool png);

// --- The commands ---------------------------------------------------------------------------
// Each command runs on its options as the command line (CelTool.cpp) parsed and checked them.

struct InfoOptions {
    std::string File;
    bool WithHeaders = false;
    bool HeadersGiven = false; // --headers or --no-headers
    uint32_t Width = 0; // --width, 0 without it
    bool Json = false;
    bool Colours = false; // --colours
    std::optional<FrameCoding> Coding; // --coding
};
int RunInfo(const ToolStreams& streams, const InfoOptions& options);

struct ExportOptions {
    std::string File;
    std::string OutputFolder;
    PictureChoices Choices;
    bool Png = false; // --format png
    std::optional<uint32_t> Frame; // --frame, counted within each group
    std::optional<uint32_t> Group; // --group
    PaletteChoice Palette;
    std::string Translation; // --trn, empty without it
    bool NoOverwrite = false;
    bool Quiet = false;
};
int RunExport(const ToolStreams& streams, const ExportOptions& options);

struct SheetOptions {
    std::string File;
    std::string Picture;
    PictureChoices Choices;
    uint32_t Columns = 0; // --columns, 0 without it
    PaletteChoice Palette;
    std::string Translation; // --trn, empty without it
    bool NoOverwrite = false;
    bool Quiet = false;
};
int RunSheet(const ToolStreams& streams, const SheetOptions& options);

struct BuildOptions {
    std::string Output;
    std::vector<std::string> Inputs; // the INPUT arguments
    std::optional<std::string> Sheet; // --sheet
    std::optional<std::string> Atlas; // --atlas
    uint32_t CellWidth = 0; // --cell WxH, 0 x 0 without it
    uint32_t CellHeight = 0;
    std::optional<uint32_t> Count; // --count
    bool WithHeaders = true;
    PaletteChoice Palette;
    bool Database = false;
    bool Quiet = false;
    uint32_t Jobs = 1;
    FrameCoding Coding = FrameCoding::CEL; // --coding, or OUT's name
    uint32_t Groups = 0; // --groups, 0 without it
};
int RunBuild(const ToolStreams& streams, const BuildOptions& options);

// --- Colours (CelToolColours.cpp) ------------------------------------------------------------

// The table of "--trn T.trn" of export, sheet and anim: none when file is empty. On a file
// failure (cannot open, not 256 bytes) the error line is printed and ExitFileFailure returned.
int PrepareTranslation(
    const ToolStreams& streams, const std::string& file, std::optional<TranslationTable>& table);
// The palette of --palette and the table of --trn, as export, sheet and anim take them: the
// first failure is printed and its exit code returned.
int PrepareColours(const ToolStreams& streams, const PaletteChoice& paletteChoice,
    const std::string& translationFile, PaletteModel& palette,
    std::optional<TranslationTable>& translation);
// Puts the decoded pixels of a frame through the table of --trn, when there is one (255 stays
// 255); what every command that writes pictures does before coding them.
void TranslateOutput(const std::optional<TranslationTable>& table, DataArray& image);

// Reads a palette file of any format Import reads (palette/PaletteFormats.h) into entries
// 0 ... n - 1 of palette. On a failure the error line is printed and ExitFileFailure returned;
// with keepLoaderMessage, a file of no known format is refused as the 768-byte loader always
// refused it ("Palette file must be 768 bytes long").
int LoadToolPalette(const ToolStreams& streams, const std::string& file, PaletteModel& palette,
    bool keepLoaderMessage);

// The choices recolour and remap share: how frames are read without a .cdb file, --width,
// --jobs and --quiet.
struct RecodeChoices {
    bool WithHeaders = false;
    bool HeadersGiven = false; // --headers or --no-headers
    uint32_t Width = 0; // --width, 0 without it
    uint32_t Jobs = 1;
    bool Quiet = false;
};

struct RecolourOptions {
    std::string File;
    std::string Output;
    std::string Translation; // --trn
    RecodeChoices Choices;
};
int RunRecolour(const ToolStreams& streams, const RecolourOptions& options);

struct RemapOptions {
    std::string File;
    std::string Output;
    std::string From; // --from
    std::string To; // --to
    bool WholePalette = false; // --whole-palette
    RecodeChoices Choices;
};
int RunRemap(const ToolStreams& streams, const RemapOptions& options);

struct PaletteOptions {
    std::string Input;
    std::string Output;
    std::optional<PaletteExportFormat> Format; // --format, from Output's name without it
    uint32_t Transparent = 0xFFFFFF; // --transparent: entry 255
};
int RunPalette(const ToolStreams& streams, const PaletteOptions& options);

// The colours of info --colours: of each frame that can be shown (none for the others, and
// for empty slots), and of all of them together.
struct CELColours {
    std::vector<std::optional<ColourCounts>> Frames;
    ColourCounts All {};
};
CELColours CountToolColours(const CELObject& cel);
// The table form: a line per frame, "<index>  <n> colours  127:40 128:12 255:300" (255, the
// transparent index, listed but not counted among the colours), and one for all frames.
void PrintColours(std::ostream& out, const CELColours& colours);

struct ConvertOptions {
    std::string Input;
    std::string Output;
    FrameCoding From = FrameCoding::CEL; // --from (or --coding), or IN's name
    FrameCoding To = FrameCoding::CEL; // --to, or OUT's name
    bool WithHeaders = true; // of a CEL written: --no-headers clears it
    bool Database = false;
};
int RunConvert(const ToolStreams& streams, const ConvertOptions& options);

struct AnimOptions {
    std::string File;
    std::string Output; // OUT.gif
    std::optional<uint32_t> Group; // --group
    GIFAnimation Animation; // --fps, --zoom, --loop
    PaletteChoice Palette;
    uint32_t Width = 0; // --width, 0 without it
    bool WithHeaders = false;
    bool HeadersGiven = false; // --headers or --no-headers
    std::optional<uint32_t> From; // --from
    std::optional<uint32_t> To; // --to
    std::optional<FrameCoding> Coding; // --coding
    std::string Translation; // --trn, empty without it
};
int RunAnim(const ToolStreams& streams, const AnimOptions& options);
