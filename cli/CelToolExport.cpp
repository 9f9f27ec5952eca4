#include "cli/CelTool.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <sstream>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/PNGHandler.h"
#include "viewer/ViewerState.h"

namespace {

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

namespace {

// What one file's export writes: each viewable frame chosen by --group and --frame, at the
// width of --width, with its target. Warnings and refusals go to streams, in frame order.
// Returns ExitSuccess or ExitFileFailure (a frame too large for a BMP file); a --group or
// --frame that the file does not have is set in problem (a usage error for a single file).
int PlanExport(const ToolStreams& streams, const ExportOptions& options, const std::string& file,
    SpriteFile& sprite, const std::filesystem::path& outputFolder,
    std::vector<ExportItem>& items, std::string& problem)
{
    const PictureChoices& choices = options.Choices;
    const bool oneFrame = options.Frame.has_value();
    const uint32_t frameNumber = options.Frame.value_or(0);
    const uint32_t groupCount = static_cast<uint32_t>(sprite.Groups.size());
    if (options.Group && *options.Group >= groupCount) {
        problem = "group " + std::to_string(*options.Group) + " does not exist; "
            + PrintableText(file) + " has " + std::to_string(groupCount)
            + (groupCount == 1 ? " group" : " groups");
        return ExitUsage;
    }
    uint32_t largest = 0;
    for (const auto& group : sprite.Groups)
        largest = std::max(largest, static_cast<uint32_t>(group->Frames.size()));
    if (oneFrame && frameNumber >= largest) {
        problem = "frame " + std::to_string(frameNumber) + " does not exist; "
            + PrintableText(file) + " has " + FrameCount(largest)
            + (sprite.Grouped ? " in its largest group" : "");
        return ExitUsage;
    }

    // Everything that can be decided before writing is: the width, the frames skipped, the
    // frames refused and the targets, each reported in frame order.
    const std::string stem = std::filesystem::path(file).stem().string();
    const std::string extension = options.Png ? "png" : "bmp";
    const uint32_t lastIndex = largest == 0 ? 0 : largest - 1;
    int result = ExitSuccess;
    for (uint32_t g = options.Group.value_or(0); g < (options.Group ? *options.Group + 1 : groupCount);
         ++g) {
        CELObject& cel = *sprite.Groups[g];
        const uint32_t count = static_cast<uint32_t>(cel.Frames.size());
        // A grouped file's messages name the group as the windows list it: "path [g]".
        const std::string where = sprite.Grouped ? file + " [" + std::to_string(g) + "]" : file;
        for (uint32_t i = oneFrame ? frameNumber : 0; i < (oneFrame ? frameNumber + 1 : count);
             ++i) {
            if (i >= count)
                continue;
            CELFrame* frame = ViewableFrame(streams, where, cel, i, choices.Width);
            if (!frame)
                continue;
            // A few bytes of run data can stand for billions of pixels: a whole-CEL export
            // does not decode such a frame unasked, but --frame N naming it does.
            if (!oneFrame && ViewerState::TooLargeToShow(*frame)) {
                Warning(streams, where,
                    "frame " + std::to_string(i) + " skipped: too large to show ("
                        + std::to_string(frame->Width) + "x" + std::to_string(frame->Height)
                        + "); name it with --frame to export it");
                continue;
            }
            const std::string name = sprite.Grouped
                ? GroupedFileName(stem, g, groupCount - 1, i, lastIndex, extension)
                : IndexedFileName(stem, i, lastIndex, extension);
            const std::string target = (outputFolder / name).string();
            // Refused rather than written with a wrong size field.
            if (!options.Png && !BitmapFileFits(frame->Width, frame->Height, choices.BitsPerPixel)) {
                result = FileError(streams, target, "Frame too large for a BMP file");
                continue;
            }
            items.push_back({ frame, target });
        }
    }
    return result;
}

bool IsSpriteName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".cel" || extension == ".cl2";
}

std::vector<uint8_t> ItemBytes(const ExportItem& item, const PaletteModel& palette,
    const std::optional<TranslationTable>& translation, uint32_t bitsPerPixel, bool png)
{
    const CELFrame& frame = *item.Frame;
    Bitmap bitmap;
    bitmap.BitmapWidth = frame.Width;
    bitmap.BitmapHeight = frame.Height;
    frame.DecodeImage(bitmap.BitmapPixels);
    TranslateOutput(translation, bitmap.BitmapPixels);
    return PictureBytes(bitmap, palette, bitsPerPixel, png);
}

// export of a folder: every .cel and .cl2 file below it, in natural order of their paths,
// each into OUTDIR/<its path without extension>/. The files are shared out among the workers,
// each loading and writing a file at a time; what each file reports is printed in file order.
int ExportFolder(const ToolStreams& streams, const ExportOptions& options,
    const PaletteModel& palette, const std::optional<TranslationTable>& translation,
    std::chrono::steady_clock::time_point start)
{
    namespace fs = std::filesystem;
    const fs::path root(options.File);
    const fs::path outputFolder(options.OutputFolder);
    std::vector<std::string> relative;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied,
             error),
         end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error) && IsSpriteName(it->path()))
            relative.push_back(it->path().lexically_relative(root).generic_string());
    }
    if (error)
        return FileError(streams, root.string(), "Cannot read folder");
    std::sort(relative.begin(), relative.end(), NaturalLess);
    if (relative.empty())
        return FileError(streams, root.string(), "no .cel or .cl2 file in the folder");

    struct FileReport {
        std::ostringstream Err;
        int Result = ExitSuccess;
        size_t Written = 0;
        size_t Planned = 0;
        bool WriteFailed = false;
    };
    std::vector<FileReport> reports(relative.size());
    std::atomic<bool> existing { false };
    // Loads and plans file n; with write set, writes its frames too.
    auto work = [&](size_t n, bool write) {
        FileReport& report = reports[n];
        std::ostringstream ignored;
        const ToolStreams local { ignored, report.Err, false };
        const std::string file = (root / relative[n]).string();
        const fs::path folder = outputFolder / fs::path(relative[n]).replace_extension();
        SpriteFile sprite = LoadToolSprite(
            file, options.Choices.WithHeaders, options.Choices.HeadersGiven, options.Choices.Coding);
        if (sprite.Status != LoadOK) {
            report.Result = FileError(local, file, LoadFailureReason(sprite.Status));
            return true;
        }
        std::vector<ExportItem> items;
        std::string problem;
        report.Result = PlanExport(local, options, file, sprite, folder, items, problem);
        if (!problem.empty()) {
            report.Result = FileError(local, file, problem + "; skipped");
            return true;
        }
        report.Planned = items.size();
        if (!write) {
            for (const ExportItem& item : items)
                if (std::error_code e; fs::exists(item.Target, e)) {
                    report.Result = FileError(
                        local, item.Target, "File exists; nothing written (--no-overwrite)");
                    existing = true;
                    return false;
                }
            return true;
        }
        std::error_code e;
        fs::create_directories(folder, e);
        if (!fs::is_directory(folder, e)) {
            report.Result = FileError(local, folder.string(), "Cannot create folder");
            report.WriteFailed = true;
            return false;
        }
        for (const ExportItem& item : items) {
            const std::vector<uint8_t> bytes
                = ItemBytes(item, palette, translation, options.Choices.BitsPerPixel, options.Png);
            if (bytes.empty() || !WriteBatchFile(item.Target, bytes)) {
                report.Result = FileError(local, item.Target, "Cannot write file");
                report.WriteFailed = true;
                return false; // a full disk would fail every file after it in turn
            }
            ++report.Written;
        }
        return true;
    };
    const bool progress = streams.ErrIsTerminal && !options.Quiet;
    if (options.NoOverwrite) {
        RunBatch(streams, "checking", relative.size(), options.Choices.Jobs, progress,
            [&](size_t n) { return work(n, false); });
        if (existing) {
            for (const FileReport& report : reports)
                streams.Err << report.Err.str();
            return ExitFileFailure;
        }
        for (FileReport& report : reports)
            report = FileReport {};
    }
    const bool finished = RunBatch(streams, "exporting", relative.size(), options.Choices.Jobs,
        progress, [&](size_t n) { return work(n, true); });
    int result = ExitSuccess;
    size_t written = 0, loaded = 0;
    for (const FileReport& report : reports) {
        streams.Err << report.Err.str();
        if (report.Result != ExitSuccess)
            result = ExitFileFailure;
        written += report.Written;
        loaded += report.Planned > 0 || report.Result == ExitSuccess ? 1 : 0;
    }
    if (!finished)
        result = FileError(streams, outputFolder.string(), "files not written after the failure");
    if (fs::exists(outputFolder, error) && !FlushBatch(outputFolder.string()))
        return FileError(streams, outputFolder.string(), "Cannot flush the files to disk");
    if (result == ExitSuccess && !options.Quiet)
        streams.Out << "exported " << FrameCount(written) << " of " << loaded
                    << (loaded == 1 ? " file" : " files") << " to "
                    << PrintableText(outputFolder.string()) << " in " << ElapsedText(start) << "\n";
    return result;
}

} // namespace

int RunExport(const ToolStreams& streams, const ExportOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    const PictureChoices& choices = options.Choices;
    const uint32_t bitsPerPixel = choices.BitsPerPixel;
    const bool png = options.Png;
    PaletteModel palette;
    std::optional<TranslationTable> translation;
    if (int result = PrepareColours(streams, options.Palette, options.Translation, palette, translation);
        result != ExitSuccess)
        return result;

    const std::string& file = options.File;
    if (std::error_code error; std::filesystem::is_directory(file, error))
        return ExportFolder(streams, options, palette, translation, start);
    const std::filesystem::path outputFolder(options.OutputFolder);
    SpriteFile sprite
        = LoadToolSprite(file, choices.WithHeaders, choices.HeadersGiven, choices.Coding);
    if (sprite.Status != LoadOK)
        return FileError(streams, file, LoadFailureReason(sprite.Status));
    std::vector<ExportItem> items;
    std::string problem;
    int result = PlanExport(streams, options, file, sprite, outputFolder, items, problem);
    if (!problem.empty())
        return UsageError(streams, "export", problem);
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
            const std::vector<uint8_t> bytes
                = ItemBytes(items[n], palette, translation, bitsPerPixel, png);
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
