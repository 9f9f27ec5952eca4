#include "cli/CelTool.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include <nlohmann/json.hpp>

#include "bitmaps/BMPHandler.h"
#include "frames/FrameName.h"
#include "viewer/ViewerState.h"

namespace {

// The PNG reader refuses pictures above 64 Mi pixels, so a larger sheet is written (other
// tools read it) with a warning that build --sheet cannot take it back. A PNG's sides are
// below 2^31, and the sheet is held in memory whole: 4 Gi pixels at most.
constexpr uint64_t ReadableSheetPixels = uint64_t { 64 } << 20;
constexpr uint64_t MaximumSheetSide = (uint64_t { 1 } << 31) - 1;
constexpr uint64_t MaximumSheetPixels = uint64_t { 4 } << 30;

// The smallest n with n x n at least count.
uint32_t SquareColumns(uint64_t count)
{
    uint64_t n = static_cast<uint64_t>(std::sqrt(static_cast<double>(count)));
    while (n * n < count)
        ++n;
    while (n > 1 && (n - 1) * (n - 1) >= count)
        --n;
    return static_cast<uint32_t>(std::max<uint64_t>(n, 1));
}

struct Placed {
    uint32_t Group; // 0 for a plain file
    uint32_t Index;
    const CELFrame* Frame;
    uint32_t X, Y; // top-left pixel in the sheet, Y from the top
};

} // namespace

int RunSheet(const ToolStreams& streams, const SheetOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    const PictureChoices& choices = options.Choices;
    uint32_t columns = options.Columns;
    PaletteModel palette;
    std::optional<TranslationTable> translation;
    if (int result = PrepareColours(streams, options.Palette, options.Translation, palette, translation);
        result != ExitSuccess)
        return result;

    const std::string& file = options.File;
    const std::filesystem::path picture(options.Picture);
    std::filesystem::path description = picture;
    description.replace_extension(".json");
    if (description == picture)
        return UsageError(streams, "sheet", "the sheet's name must not end in .json");
    SpriteFile sprite
        = LoadToolSprite(file, choices.WithHeaders, choices.HeadersGiven, choices.Coding);
    if (sprite.Status != LoadOK)
        return FileError(streams, file, LoadFailureReason(sprite.Status));

    std::vector<Placed> placed;
    std::vector<uint32_t> perGroup(sprite.Groups.size(), 0); // viewable frames of each group
    uint32_t cellWidth = 0, cellHeight = 0;
    for (uint32_t g = 0; g < sprite.Groups.size(); ++g) {
        CELObject& cel = *sprite.Groups[g];
        const std::string where = sprite.Grouped ? file + " [" + std::to_string(g) + "]" : file;
        for (uint32_t i = 0; i < cel.Frames.size(); ++i) {
            CELFrame* frame = ViewableFrame(streams, where, cel, i, choices.Width);
            if (!frame)
                continue;
            // A few bytes of run data can stand for billions of pixels; such a frame would
            // make the whole sheet that large.
            if (ViewerState::TooLargeToShow(*frame)) {
                Warning(streams, where,
                    "frame " + std::to_string(i) + " skipped: too large to show ("
                        + std::to_string(frame->Width) + "x" + std::to_string(frame->Height)
                        + ")");
                continue;
            }
            cellWidth = std::max(cellWidth, frame->Width);
            cellHeight = std::max(cellHeight, frame->Height);
            placed.push_back({ g, i, frame, 0, 0 });
            ++perGroup[g];
        }
    }
    if (placed.empty())
        return FileError(streams, file, "no viewable frame to put in a sheet");
    if (columns == 0)
        columns = sprite.Grouped ? *std::max_element(perGroup.begin(), perGroup.end())
                                 : SquareColumns(placed.size());
    // Each group starts a row of its own.
    uint64_t rows = 0;
    for (uint32_t count : perGroup)
        rows += (uint64_t { count } + columns - 1) / columns;
    const uint64_t sheetWidth = uint64_t { columns } * cellWidth;
    const uint64_t sheetHeight = rows * cellHeight;
    const std::string size = std::to_string(sheetWidth) + " x " + std::to_string(sheetHeight);
    if (sheetWidth > MaximumSheetSide || sheetHeight > MaximumSheetSide
        || sheetWidth * sheetHeight > MaximumSheetPixels)
        return FileError(streams, picture.string(),
            "a sheet of " + size + " pixels is too large; try --columns");
    if (sheetWidth * sheetHeight > ReadableSheetPixels)
        Warning(streams, picture.string(),
            "a sheet of " + size
                + " pixels is above 64 Mi pixels: build --sheet cannot read it back");
    uint64_t row = 0, column = 0;
    for (size_t j = 0; j < placed.size(); ++j) {
        if (j > 0 && (column == columns || placed[j].Group != placed[j - 1].Group)) {
            ++row;
            column = 0;
        }
        placed[j].X = static_cast<uint32_t>(column++ * cellWidth);
        placed[j].Y = static_cast<uint32_t>(row * cellHeight);
    }
    if (options.NoOverwrite)
        for (const auto& target : { picture, description })
            if (std::error_code error; std::filesystem::exists(target, error))
                return FileError(
                    streams, target.string(), "File exists; nothing written (--no-overwrite)");

    // Frames are drawn by the workers into cells of their own; the PNG is then coded once.
    Bitmap sheet;
    sheet.BitmapWidth = static_cast<uint32_t>(sheetWidth);
    sheet.BitmapHeight = static_cast<uint32_t>(sheetHeight);
    sheet.BitmapPixels.assign(static_cast<size_t>(sheetWidth * sheetHeight), TransparentIndex);
    const bool quiet = options.Quiet;
    RunBatch(
        streams, "drawing", placed.size(), choices.Jobs, streams.ErrIsTerminal && !quiet, [&](size_t j) {
            const CELFrame& frame = *placed[j].Frame;
            DataArray image;
            frame.DecodeImage(image);
            TranslateOutput(translation, image);
            // Image rows are bottom first, in the frame and in the sheet alike.
            const uint64_t bottom = sheetHeight - placed[j].Y - frame.Height;
            for (uint64_t k = 0; k < frame.Height; ++k)
                std::copy_n(image.begin() + static_cast<ptrdiff_t>(k * frame.Width), frame.Width,
                    sheet.BitmapPixels.begin()
                        + static_cast<ptrdiff_t>((bottom + k) * sheetWidth + placed[j].X));
            return true;
        });

    nlohmann::ordered_json frames = nlohmann::ordered_json::array();
    for (const Placed& each : placed) {
        nlohmann::ordered_json entry;
        if (sprite.Grouped)
            entry["group"] = each.Group;
        entry["index"] = each.Index;
        entry["name"] = NameForDisplay(each.Frame->Name);
        entry["x"] = each.X;
        entry["y"] = each.Y;
        entry["width"] = each.Frame->Width;
        entry["height"] = each.Frame->Height;
        frames.push_back(std::move(entry));
    }
    const nlohmann::ordered_json atlas = {
        { "image", ValidUtf8(picture.filename().string()) },
        { "cel", ValidUtf8(std::filesystem::path(file).filename().string()) },
        { "columns", columns },
        { "cell_width", cellWidth },
        { "cell_height", cellHeight },
        { "frames", std::move(frames) },
    };
    const std::string text = atlas.dump(2) + "\n";

    const std::string folder = picture.has_parent_path() ? picture.parent_path().string() : ".";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error))
        return FileError(streams, folder, "Cannot create folder");
    const std::vector<uint8_t> bytes = PictureBytes(sheet, palette, choices.BitsPerPixel, true);
    if (bytes.empty() || !WriteBatchFile(picture.string(), bytes))
        return FileError(streams, picture.string(), "Cannot write file");
    if (!WriteBatchFile(description.string(),
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size())))
        return FileError(streams, description.string(), "Cannot write file");
    if (!FlushBatch(folder))
        return FileError(streams, folder, "Cannot flush the files to disk");
    if (!quiet)
        streams.Out << "wrote " << FrameCount(placed.size()) << " to "
                    << PrintableText(picture.string()) << " in " << ElapsedText(start) << "\n";
    return ExitSuccess;
}
