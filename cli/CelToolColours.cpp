#include "cli/CelTool.h"

#include <algorithm>
#include <filesystem>

#include "palette/PaletteFormats.h"
#include "palette/Remap.h"

int PrepareColours(const ToolStreams& streams, const PaletteChoice& paletteChoice,
    const std::string& translationFile, PaletteModel& palette,
    std::optional<TranslationTable>& translation)
{
    if (int result = PreparePalette(streams, paletteChoice, palette); result != ExitSuccess)
        return result;
    return PrepareTranslation(streams, translationFile, translation);
}

int PrepareTranslation(
    const ToolStreams& streams, const std::string& file, std::optional<TranslationTable>& table)
{
    table.reset();
    if (file.empty())
        return ExitSuccess;
    TranslationTable loaded {};
    uint64_t size = 0;
    const TranslationFileResult result = LoadTranslationFile(file, loaded, &size);
    if (result != TranslationFileResult::Done)
        return FileError(streams, file, TranslationFileMessage(result, size));
    table = loaded;
    return ExitSuccess;
}

void TranslateOutput(const std::optional<TranslationTable>& table, DataArray& image)
{
    if (table)
        ApplyTranslation(*table, image);
}

int LoadToolPalette(const ToolStreams& streams, const std::string& file, PaletteModel& palette,
    bool keepLoaderMessage)
{
    ImportedPalette imported;
    const PaletteImportResult result = ReadImportedPalette(file, imported);
    if (result == PaletteImportResult::Done) {
        ApplyImportedPalette(imported, palette);
        return ExitSuccess;
    }
    // A file that is none of the formats is refused as the 768-byte loader always refused it.
    if (keepLoaderMessage && result == PaletteImportResult::Refused
        && imported.Format == PaletteFileFormat::Unknown)
        return FileError(streams, file, PaletteFileMessage(PaletteFileResult::WrongSize));
    return FileError(streams, file, PaletteImportMessage(result, imported));
}

namespace {

// Translates every frame of IN (every group of a grouped file) with table and writes the file
// to OUT in IN's coding, as recolour and remap do.
int RecodeCEL(const ToolStreams& streams, std::string_view verb, const RecodeChoices& choices,
    const std::string& file, const std::string& output, const TranslationTable& table)
{
    const auto start = std::chrono::steady_clock::now();
    SpriteFile sprite
        = LoadToolSprite(file, choices.WithHeaders, choices.HeadersGiven, std::nullopt);
    if (sprite.Status != LoadOK)
        return FileError(streams, file, LoadFailureReason(sprite.Status));
    struct Place {
        uint32_t Group, Index;
        FrameSlot* Slot;
    };
    std::vector<Place> places;
    for (uint32_t g = 0; g < sprite.Groups.size(); ++g) {
        CELObject& cel = *sprite.Groups[g];
        for (uint32_t i = 0; i < cel.Frames.size(); ++i) {
            places.push_back({ g, i, cel.Frames[i].get() });
            if (choices.Width != 0 && cel.Frames[i] && cel.Frames[i]->Frame)
                ChooseWidth(streams, file, i, *cel.Frames[i]->Frame, choices.Width);
        }
    }
    const size_t count = places.size();

    // Each frame is translated by one worker; frames do not share anything.
    std::vector<FrameTranslationResult> results(count, FrameTranslationResult::Unchanged);
    RunBatch(
        streams, verb, count, choices.Jobs, streams.ErrIsTerminal && !choices.Quiet, [&](size_t n) {
            FrameSlot* slot = places[n].Slot;
            if (slot && slot->Frame)
                results[n] = TranslateFrame(table, *slot->Frame);
            else
                results[n] = FrameTranslationResult::NotShown;
            return true;
        });
    size_t changed = 0;
    for (size_t n = 0; n < count; ++n) {
        if (results[n] == FrameTranslationResult::Changed)
            ++changed;
        if (results[n] != FrameTranslationResult::NotShown)
            continue;
        const CELFrame* frame = places[n].Slot ? places[n].Slot->Frame.get() : nullptr;
        const std::string why = !frame ? "no frame"
            : !frame->Viewable()
            ? "not viewable (" + std::string(DiagnosisName(frame->Diagnosis)) + ")"
            : "too large to show (" + std::to_string(frame->Width) + "x"
                + std::to_string(frame->Height) + ")";
        const std::string where = sprite.Grouped
            ? "group " + std::to_string(places[n].Group) + " frame " + std::to_string(places[n].Index)
            : "frame " + std::to_string(places[n].Index);
        Warning(streams, file, where + " copied as it is: " + why);
    }

    const std::filesystem::path target(output);
    if (target.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
    }
    switch (SaveSpriteFile(output, sprite.GroupList(), sprite.Grouped)) {
    case SaveOK:
        break;
    case SaveCannotWriteDatabase:
        return FileError(streams, DatabaseFileName(output), "Cannot save Database");
    default:
        return FileError(streams, output, "Cannot save CEL file");
    }
    if (!choices.Quiet)
        streams.Out << verb << " " << FrameCount(changed) << " of " << count << " into "
                    << PrintableText(output) << " in " << ElapsedText(start) << "\n";
    return ExitSuccess;
}

} // namespace

int RunRecolour(const ToolStreams& streams, const RecolourOptions& options)
{
    std::optional<TranslationTable> table;
    if (int result = PrepareTranslation(streams, options.Translation, table); result != ExitSuccess)
        return result;
    return RecodeCEL(streams, "recoloured", options.Choices, options.File, options.Output,
        table.value_or(IdentityTranslation()));
}

int RunRemap(const ToolStreams& streams, const RemapOptions& options)
{
    PaletteModel from = GreyPalette(0xFFFFFF);
    PaletteModel to = GreyPalette(0xFFFFFF);
    if (int result = LoadToolPalette(streams, options.From, from, false); result != ExitSuccess)
        return result;
    if (int result = LoadToolPalette(streams, options.To, to, false); result != ExitSuccess)
        return result;
    return RecodeCEL(streams, "remapped", options.Choices, options.File, options.Output,
        BuildRemapTable(from, to, options.WholePalette));
}

int RunPalette(const ToolStreams& streams, const PaletteOptions& options)
{
    PaletteModel palette = GreyPalette(options.Transparent);
    if (int result = LoadToolPalette(streams, options.Input, palette, false); result != ExitSuccess)
        return result;
    const std::optional<PaletteExportFormat> format
        = options.Format ? options.Format : PaletteExportFormatForName(options.Output);
    if (!format)
        return UsageError(streams, "palette",
            "cannot tell the format of '" + PrintableText(options.Output)
                + "' from its name (.pal, .gpl, .act); name it with --format");
    const std::filesystem::path target(options.Output);
    if (target.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
    }
    if (ExportPaletteFile(options.Output, palette, *format) != PaletteFileResult::Done)
        return FileError(
            streams, options.Output, PaletteFileMessage(PaletteFileResult::CannotCreate));
    return ExitSuccess;
}

CELColours CountToolColours(const CELObject& cel)
{
    CELColours colours;
    colours.Frames.resize(cel.Frames.size());
    for (size_t i = 0; i < cel.Frames.size(); ++i) {
        ColourCounts counts {};
        if (cel.Frames[i] && cel.Frames[i]->Frame
            && AddFrameColours(*cel.Frames[i]->Frame, counts)) {
            for (uint32_t c = 0; c < 256; ++c)
                colours.All[c] += counts[c];
            colours.Frames[i] = counts;
        }
    }
    return colours;
}

namespace {

std::string CountsLine(const ColourCounts& counts)
{
    const uint32_t distinct = DistinctColours(counts);
    std::string line = std::to_string(distinct) + (distinct == 1 ? " colour " : " colours");
    for (uint32_t i = 0; i < counts.size(); ++i)
        if (counts[i] != 0)
            line += " " + std::to_string(i) + ":" + std::to_string(counts[i]);
    return line;
}

} // namespace

void PrintColours(std::ostream& out, const CELColours& colours)
{
    const size_t digits = std::max<size_t>(3, std::to_string(colours.Frames.size()).size());
    auto label = [digits](std::string text) {
        return std::string(digits > text.size() ? digits - text.size() : 0, ' ') + text;
    };
    out << "\nColours (index:pixels; 255 is transparent and not counted as a colour):\n";
    for (size_t i = 0; i < colours.Frames.size(); ++i)
        out << label(std::to_string(i)) << "  "
            << (colours.Frames[i] ? CountsLine(*colours.Frames[i]) : "cannot be shown") << "\n";
    out << label("all") << "  " << CountsLine(colours.All) << "\n";
}
