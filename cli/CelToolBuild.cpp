#include "cli/CelTool.h"

#include <array>
#include <filesystem>
#include <limits>

#include "bitmaps/BMPHandler.h"

namespace {

constexpr std::array<OptionRule, 6> BuildOptions { {
    { "--headers", false },
    { "--no-headers", false },
    { "--palette", true },
    { "--whole-palette", false },
    { "--transparent", true },
    { "--database", false },
} };

constexpr size_t MaximumNameLength = 255;

// What the frame database can hold of a name: one length byte.
bool NameFits(const std::string& name)
{
    return name.size() <= MaximumNameLength;
}

// Reads one BMP as the viewer's Import does and encodes it into a fresh frame, analysed as
// after "Save Frame". Returns the bitmap read result; on 0 frame holds the encoded picture
// and bitmapWidth the picture's width.
uint8_t EncodeBitmapFile(const std::string& path, const PaletteModel& palette,
    std::unique_ptr<CELFrame>& frame, uint32_t& bitmapWidth)
{
    Bitmap bitmap;
    uint8_t result = ReadBitmap(path, palette, bitmap);
    if (result != BitmapOK)
        return result;
    // An empty picture passes the header checks but cannot be coded as frame data.
    if (bitmap.BitmapWidth == 0 || bitmap.BitmapHeight == 0)
        return BitmapUnsupported;
    frame = CELFrame::CreateEmpty();
    frame->SetSize(bitmap.BitmapWidth, bitmap.BitmapHeight);
    frame->EncodeImage(bitmap.BitmapPixels);
    bitmapWidth = bitmap.BitmapWidth;
    frame->AnalyseData();
    return BitmapOK;
}

std::string BitmapFailureReason(uint8_t result)
{
    return result == BitmapCannotOpen ? "Cannot read file" : "File has unsupported format";
}

} // namespace

int RunBuild(const ToolStreams& streams, std::span<const std::string> arguments)
{
    ParsedArguments parsed;
    if (std::string problem = ParseArguments(arguments, BuildOptions, parsed); !problem.empty())
        return UsageError(streams, "build", problem);
    if (parsed.Positional.size() < 2)
        return UsageError(streams, "build",
            parsed.Positional.empty() ? "no CEL file given" : "no BMP file given");
    bool withHeaders = true;
    if (std::string problem = HeaderChoice(parsed, true, withHeaders); !problem.empty())
        return UsageError(streams, "build", problem);
    PaletteModel palette;
    if (int result = PreparePalette(streams, "build", parsed, palette); result != ExitSuccess)
        return result;

    const std::string& output = parsed.Positional[0];
    const std::span<const std::string> inputs(
        parsed.Positional.begin() + 1, parsed.Positional.end());
    const bool database = parsed.Has("--database");

    // Every input is read and encoded before anything is written, so a refused BMP leaves the
    // output file as it was.
    std::vector<std::unique_ptr<CELFrame>> frames;
    std::vector<uint32_t> bitmapWidths;
    for (const std::string& input : inputs) {
        std::string name;
        if (database) {
            name = std::filesystem::path(input).stem().string();
            if (!NameFits(name))
                return FileError(streams, input, "Name must be less than 256 characters long");
        }
        std::unique_ptr<CELFrame> frame;
        uint32_t bitmapWidth = 0;
        if (uint8_t result = EncodeBitmapFile(input, palette, frame, bitmapWidth);
            result != BitmapOK)
            return FileError(streams, input, BitmapFailureReason(result));
        frame->Name = std::move(name);
        frames.push_back(std::move(frame));
        bitmapWidths.push_back(bitmapWidth);
    }

    // Offsets in a CEL file are 32-bit; a file that would outgrow them cannot be written.
    uint64_t total = 4 * (uint64_t { frames.size() } + 1) + 4;
    for (const auto& frame : frames)
        total += frame->DataLength + (withHeaders ? FrameHeaderSize : 0);
    if (frames.size() > std::numeric_limits<uint32_t>::max() / 16
        || total > std::numeric_limits<uint32_t>::max())
        return FileError(streams, output, "CEL file would exceed 4 GiB");

    std::unique_ptr<CELObject> cel = CELObject::CreateEmpty(static_cast<uint32_t>(frames.size()));
    cel->FileName = output;
    cel->WithHeaders = withHeaders ? 1 : 0;
    cel->HasDatabase = database ? 1 : 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        CELFrame& frame = *frames[i];
        if (database) {
            // The width of the picture is selected when it is a candidate; the stored
            // position makes the CEL open at that width.
            size_t listed = std::min<size_t>(frame.WidthCount, frame.Widths.size());
            size_t chosen = listed;
            for (size_t w = 0; w < listed && chosen == listed; ++w)
                if (frame.Widths[w] == bitmapWidths[i])
                    chosen = w;
            if (chosen < listed)
                frame.SelectWidth(static_cast<uint32_t>(chosen));
            else
                Warning(streams, inputs[i],
                    "width " + std::to_string(bitmapWidths[i])
                        + " is not among the candidate widths; the first one is selected");
        }
        if (i < cel->Frames.size()) {
            if (!cel->Frames[i])
                cel->Frames[i] = std::make_shared<FrameSlot>();
            cel->Frames[i]->Frame = std::move(frames[i]);
        } else {
            auto slot = std::make_shared<FrameSlot>();
            slot->Frame = std::move(frames[i]);
            cel->Frames.push_back(std::move(slot));
        }
    }
    cel->FrameCount = static_cast<uint32_t>(cel->Frames.size());

    switch (cel->SaveToFile()) {
    case SaveOK:
        return ExitSuccess;
    case SaveCannotWriteDatabase:
        return FileError(streams, DatabaseFileName(output), "Cannot save Database");
    default:
        return FileError(streams, output, "Cannot save CEL file");
    }
}
