#include "app/CelTool.h"

#include <array>
#include <filesystem>
#include <limits>

#include "bitmaps/BMPHandler.h"
#include "viewer/ViewerState.h"

namespace {

constexpr std::array<OptionRule, 6> ExportOptions { {
    { "--frame", true },
    { "--palette", true },
    { "--bpp", true },
    { "--transparent", true },
    { "--headers", false },
    { "--no-headers", false },
} };

// A BMP file states its own size in 32 bits; a picture whose file would be larger cannot be
// written truthfully, so it is refused instead of being written with a wrong size field.
bool FitsInBitmapFile(const CELFrame& frame, uint32_t bitsPerPixel)
{
    uint64_t rowSize = (uint64_t { bitsPerPixel } * frame.Width + 31) / 32 * 4;
    uint64_t offset = bitsPerPixel == 8 ? 1078 : 54;
    uint64_t total = offset + rowSize * frame.Height;
    return frame.Height == 0 || total <= std::numeric_limits<uint32_t>::max();
}

} // namespace

int RunExport(const ToolStreams& streams, std::span<const std::string> arguments)
{
    ParsedArguments parsed;
    if (std::string problem = ParseArguments(arguments, ExportOptions, parsed); !problem.empty())
        return UsageError(streams, "export", problem);
    if (parsed.Positional.size() != 2)
        return UsageError(streams, "export",
            parsed.Positional.size() < 2 ? "a CEL file and an output folder are needed"
                                         : "too many arguments");
    bool withHeaders = false;
    if (std::string problem = HeaderChoice(parsed, false, withHeaders); !problem.empty())
        return UsageError(streams, "export", problem);

    uint32_t bitsPerPixel = 8;
    if (auto found = parsed.Options.find("--bpp"); found != parsed.Options.end()) {
        if (found->second == "24")
            bitsPerPixel = 24;
        else if (found->second != "8")
            return UsageError(streams, "export",
                "--bpp must be 8 or 24, not '" + PrintableText(found->second) + "'");
    }
    bool oneFrame = false;
    uint32_t frameNumber = 0;
    if (auto found = parsed.Options.find("--frame"); found != parsed.Options.end()) {
        if (!ParseBoundedNumber(found->second, std::numeric_limits<uint32_t>::max(), frameNumber))
            return UsageError(streams, "export",
                "--frame needs a frame number (digits only), not '" + PrintableText(found->second)
                    + "'");
        oneFrame = true;
    }
    PaletteModel palette;
    if (int result = PreparePalette(streams, "export", parsed, palette); result != ExitSuccess)
        return result;

    const std::string& file = parsed.Positional[0];
    const std::filesystem::path outputFolder(parsed.Positional[1]);
    std::unique_ptr<CELObject> cel = CELObject::CreateFromFile(file, withHeaders);
    if (!cel || cel->Status != LoadOK)
        return FileError(
            streams, file, LoadFailureReason(cel ? cel->Status : uint8_t { LoadCannotOpen }));
    const uint32_t count = static_cast<uint32_t>(cel->Frames.size());
    if (oneFrame && frameNumber >= count)
        return UsageError(streams, "export",
            "frame " + std::to_string(frameNumber) + " does not exist; " + PrintableText(file)
                + " has " + std::to_string(count) + (count == 1 ? " frame" : " frames"));

    std::error_code error;
    std::filesystem::create_directories(outputFolder, error);
    if (!std::filesystem::is_directory(outputFolder, error))
        return FileError(streams, outputFolder.string(), "Cannot create folder");

    const std::string stem = std::filesystem::path(file).stem().string();
    int result = ExitSuccess;
    for (uint32_t i = oneFrame ? frameNumber : 0; i < (oneFrame ? frameNumber + 1 : count); ++i) {
        const CELFrame* frame = cel->Frames[i] ? cel->Frames[i]->Frame.get() : nullptr;
        if (!frame || !frame->Viewable()) {
            uint8_t code = frame ? frame->Diagnosis : uint8_t { DiagWidth };
            Warning(streams, file,
                "frame " + std::to_string(i) + " skipped: not viewable ("
                    + std::string(DiagnosisName(code)) + ")");
            continue;
        }
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
            = (outputFolder / (stem + "_" + std::to_string(i) + ".bmp")).string();
        if (!FitsInBitmapFile(*frame, bitsPerPixel)) {
            result = FileError(streams, target, "Frame too large for a BMP file");
            continue;
        }
        Bitmap bitmap;
        bitmap.BitmapWidth = frame->Width;
        bitmap.BitmapHeight = frame->Height;
        frame->DecodeImage(bitmap.BitmapPixels);
        if (WriteBitmap(target, bitmap, palette, bitsPerPixel) != BitmapWritten)
            result = FileError(streams, target, "Cannot write file");
    }
    return result;
}
