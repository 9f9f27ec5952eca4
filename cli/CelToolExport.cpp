#include "cli/CelTool.h"

#include <filesystem>
#include <limits>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/PNGHandler.h"
#include "viewer/ViewerState.h"

namespace {

// A BMP file states its own size in 32 bits; a picture whose file would be larger cannot be
// written truthfully, so it is refused instead of being written with a wrong size field.
bool FitsInBitmapFile(const CELFrame& frame, uint32_t bitsPerPixel)
{
    uint64_t rowSize = (uint64_t { bitsPerPixel } * frame.Width + 31) / 32 * 4;
    uint64_t offset = bitsPerPixel == 8 ? 1078 : 54;
    uint64_t total = offset + rowSize * frame.Height;
    return frame.Height == 0 || total <= std::numeric_limits<uint32_t>::max();
}

struct ExportItem {
    const CELFrame* Frame;
    std::string Target;
};

} // namespace

std::string PictureFormatChoice(const std::optional<std::string>& given, bool& png)
{
    png = false;
    if (!given || *given == "bmp")
        return {};
    if (*given == "png") {
        png = true;
        return {};
    }
    return "--format must be bmp or png, not '" + PrintableText(*given) + "'";
}

std::string BitsChoice(const std::optional<std::string>& given, uint32_t& bitsPerPixel)
{
    bitsPerPixel = 8;
    if (given) {
        if (*given == "24")
            bitsPerPixel = 24;
        else if (*given != "8")
            return "--bpp must be 8 or 24, not '" + PrintableText(*given) + "'";
    }
    return {};
}

CELFrame* ViewableFrame(const ToolStreams& streams, const std::string& file, CELObject& cel,
    uint32_t index, uint32_t width)
{
    CELFrame* frame = cel.Frames[index] ? cel.Frames[index]->Frame.get() : nullptr;
    if (frame && width != 0)
        ChooseWidth(streams, file, index, *frame, width);
    if (frame && frame->Viewable())
        return frame;
    const uint8_t code = frame ? frame->Diagnosis : uint8_t { DiagWidth };
    Warning(streams, file,
        "frame " + std::to_string(index) + " skipped: not viewable ("
            + std::string(DiagnosisName(code)) + ")");
    return nullptr;
}

std::vector<uint8_t> PictureBytes(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel, bool png)
{
    return png ? EncodePNG(bitmap, palette, bitsPerPixel)
               : EncodeBitmap(bitmap, palette, bitsPerPixel);
}

int RunExport(const ToolStreams& streams, const ExportOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    const PictureChoices& choices = options.Choices;
    const uint32_t bitsPerPixel = choices.BitsPerPixel;
    const bool png = options.Png;
    const bool oneFrame = options.Frame.has_value();
    const uint32_t frameNumber = options.Frame.value_or(0);
    PaletteModel palette;
    if (int result = PreparePalette(streams, options.Palette, palette); result != ExitSuccess)
        return result;
    std::optional<TranslationTable> translation;
    if (int result = PrepareTranslation(streams, options.Translation, translation);
        result != ExitSuccess)
        return result;

    const std::string& file = options.File;
    const std::filesystem::path outputFolder(options.OutputFolder);
    std::unique_ptr<CELObject> cel
        = LoadToolCEL(file, choices.WithHeaders, choices.HeadersGiven);
    if (!cel || cel->Status != LoadOK)
        return FileError(
            streams, file, LoadFailureReason(cel ? cel->Status : uint8_t { LoadCannotOpen }));
    const uint32_t count = static_cast<uint32_t>(cel->Frames.size());
    if (oneFrame && frameNumber >= count)
        return UsageError(streams, "export",
            "frame " + std::to_string(frameNumber) + " does not exist; " + PrintableText(file)
                + " has " + FrameCount(count));

    // Everything that can be decided before writing is: the width, the frames skipped, the
    // frames refused and the targets, each reported in frame order.
    const std::string stem = std::filesystem::path(file).stem().string();
    const std::string extension = png ? "png" : "bmp";
    const uint32_t lastIndex = count == 0 ? 0 : count - 1;
    int result = ExitSuccess;
    std::vector<ExportItem> items;
    for (uint32_t i = oneFrame ? frameNumber : 0; i < (oneFrame ? frameNumber + 1 : count); ++i) {
        CELFrame* frame = ViewableFrame(streams, file, *cel, i, choices.Width);
        if (!frame)
            continue;
        // A few bytes of run data can stand for billions of pixels: a whole-CEL export does
        // not decode such a frame unasked, but --frame N naming it does.
        if (!oneFrame && ViewerState::TooLargeToShow(*frame)) {
            Warning(streams, file,
                "frame " + std::to_string(i) + " skipped: too large to show ("
                    + std::to_string(frame->Width) + "x" + std::to_string(frame->Height)
                    + "); name it with --frame to export it");
            continue;
        }
        const std::string target
            = (outputFolder / IndexedFileName(stem, i, lastIndex, extension)).string();
        if (!png && !FitsInBitmapFile(*frame, bitsPerPixel)) {
            result = FileError(streams, target, "Frame too large for a BMP file");
            continue;
        }
        items.push_back({ frame, target });
    }
    if (options.NoOverwrite) {
        for (const ExportItem& item : items)
            if (std::error_code error; std::filesystem::exists(item.Target, error))
                return FileError(
                    streams, item.Target, "File exists; nothing written (--no-overwrite)");
    }

    std::error_code error;
    std::filesystem::create_directories(outputFolder, error);
    if (!std::filesystem::is_directory(outputFolder, error))
        return FileError(streams, outputFolder.string(), "Cannot create folder");

    // Each frame is decoded, coded and written by one worker; a file depends on its frame
    // alone, so the bytes are the same for any number of workers. The first write failure
    // stops the batch: a full disk would otherwise fail every remaining frame in turn.
    enum : uint8_t { NotStarted, Written, Failed };
    std::vector<uint8_t> state(items.size(), NotStarted);
    const bool quiet = options.Quiet;
    RunBatch(
        streams, "exporting", items.size(), choices.Jobs, streams.ErrIsTerminal && !quiet, [&](size_t n) {
            const CELFrame& frame = *items[n].Frame;
            Bitmap bitmap;
            bitmap.BitmapWidth = frame.Width;
            bitmap.BitmapHeight = frame.Height;
            frame.DecodeImage(bitmap.BitmapPixels);
            TranslateOutput(translation, bitmap.BitmapPixels);
            const std::vector<uint8_t> bytes = PictureBytes(bitmap, palette, bitsPerPixel, png);
            state[n] = !bytes.empty() && WriteBatchFile(items[n].Target, bytes) ? Written : Failed;
            return state[n] == Written;
        });
    size_t left = 0;
    for (size_t n = 0; n < items.size(); ++n) {
        if (state[n] == Failed)
            result = FileError(streams, items[n].Target, "Cannot write file");
        left += state[n] == NotStarted ? 1 : 0;
    }
    if (left > 0)
        result = FileError(
            streams, outputFolder.string(), FrameCount(left) + " not written after the failure");
    if (!FlushBatch(outputFolder.string()))
        return FileError(streams, outputFolder.string(), "Cannot flush the files to disk");
    if (result == ExitSuccess && !quiet)
        streams.Out << "exported " << FrameCount(items.size()) << " to "
                    << PrintableText(outputFolder.string()) << " in " << ElapsedText(start) << "\n";
    return result;
}
