#include "cli/CelTool.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>

#include <nlohmann/json.hpp>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/BitmapDiagnosis.h"
#include "bitmaps/GIFHandler.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "frames/FileIO.h"

namespace {

constexpr size_t MaximumNameLength = 255;

// What the frame database can hold of a name: one length byte.
bool NameFits(const std::string& name)
{
    return name.size() <= MaximumNameLength;
}

// One picture to become one frame: where it comes from, the name it gets with --database,
// and, once read, its frame or the reason it was refused.
struct BuildInput {
    std::string Path;
    std::string Name;
    std::unique_ptr<CELFrame> Frame;
    std::vector<std::unique_ptr<CELFrame>> LaterFrames; // of an animated GIF, after Frame
    uint32_t PictureWidth = 0;
    std::string Refusal; // the whole message after "<file>: "
    bool FormatRefusal = false; // the picture's format was refused, not the file's access
    std::optional<uint32_t> Group; // from an atlas of a grouped file
};

// Codes a picture into a fresh frame of the coding, analysed as after "Save Frame".
std::unique_ptr<CELFrame> EncodePicture(const Bitmap& bitmap, FrameCoding coding)
{
    auto frame = CELFrame::CreateEmpty(coding);
    frame->SetSize(bitmap.BitmapWidth, bitmap.BitmapHeight);
    frame->EncodeImage(bitmap.BitmapPixels);
    frame->AnalyseData();
    return frame;
}

bool IsPictureName(const std::filesystem::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".bmp" || extension == ".png";
}

// Turns the arguments into the list of pictures, in the order given: a file stands for
// itself, a folder for its .bmp and .png files in natural order, @LIST for the paths on its
// lines. What cannot be listed is refused like a picture that cannot be read.
void CollectInputs(std::span<const std::string> arguments, std::vector<BuildInput>& inputs)
{
    auto refuse = [&](const std::string& path, std::string reason) {
        BuildInput input;
        input.Path = path;
        input.Refusal = std::move(reason);
        inputs.push_back(std::move(input));
    };
    auto add = [&](const std::string& path) {
        BuildInput input;
        input.Path = path;
        input.Name = std::filesystem::path(path).stem().string();
        inputs.push_back(std::move(input));
    };
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (argument.size() > 1 && argument[0] == '@') {
            const std::string listPath = argument.substr(1);
            std::ifstream list(listPath, std::ios::binary);
            if (!list || std::filesystem::is_directory(listPath, error)) {
                refuse(listPath, "Cannot read file");
                continue;
            }
            const std::filesystem::path base = std::filesystem::path(listPath).parent_path();
            std::string line;
            while (std::getline(list, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back(); // lists written on Windows
                if (line.empty())
                    continue;
                std::filesystem::path entry(line);
                add(entry.is_absolute() ? line : (base / entry).string());
            }
            continue;
        }
        if (std::filesystem::is_directory(argument, error)) {
            std::vector<std::string> found;
            for (const auto& entry : std::filesystem::directory_iterator(argument, error))
                if (IsPictureName(entry.path()) && entry.is_regular_file(error))
                    found.push_back(entry.path().filename().string());
            std::sort(found.begin(), found.end(), NaturalLess);
            if (found.empty())
                refuse(argument, "folder holds no .bmp or .png file");
            for (const std::string& name : found)
                add((std::filesystem::path(argument) / name).string());
            continue;
        }
        add(argument);
    }
}

// Reads one picture by its content, as Import reads it, and codes it into a frame.
void ReadInput(
    BuildInput& input, const PaletteModel& palette, ColourTableCache& tables, FrameCoding coding)
{
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(input.Path, bytes) != ReadResult::Ok) {
        input.Refusal = "Cannot read file";
        return;
    }
    Bitmap bitmap;
    std::string reason;
    switch (DetectImageFileFormat(bytes)) {
    case ImageFileFormat::BMP:
        if (DecodeBitmap(bytes, palette, bitmap, &tables) != BitmapOK)
            reason = ExplainBitmapRefusal(bytes);
        break;
    case ImageFileFormat::PNG:
        if (DecodePNG(bytes, palette, bitmap) != BitmapOK)
            reason = "not a readable PNG (damaged, truncated, or above 64 Mi pixels)";
        break;
    case ImageFileFormat::GIF: {
        // Every frame, each as a viewer shows it on the whole canvas.
        std::vector<std::unique_ptr<CELFrame>> frames;
        const auto take = [&](const Bitmap& canvas) {
            bitmap.BitmapWidth = canvas.BitmapWidth;
            frames.push_back(EncodePicture(canvas, coding));
            return true;
        };
        if (DecodeGIF(bytes, palette, take, &reason) != BitmapOK)
            break;
        input.PictureWidth = bitmap.BitmapWidth;
        input.Frame = std::move(frames.front());
        std::move(frames.begin() + 1, frames.end(), std::back_inserter(input.LaterFrames));
        return;
    }
    default:
        reason = "neither a BMP nor a PNG file";
        break;
    }
    if (reason.empty() && (bitmap.BitmapWidth == 0 || bitmap.BitmapHeight == 0))
        reason = "empty picture";
    if (!reason.empty()) {
        input.Refusal = "File has unsupported format (" + reason + ")";
        input.FormatRefusal = true;
        return;
    }
    input.PictureWidth = bitmap.BitmapWidth;
    input.Frame = EncodePicture(bitmap, coding);
}

// Each frame of an animated GIF becomes an input of its own, in order, named <stem>_<n> (n with
// the digits of the last one, as export names its files); a one-frame GIF stays as it was.
void SplitAnimations(std::vector<BuildInput>& inputs, bool database)
{
    std::vector<BuildInput> split;
    split.reserve(inputs.size());
    for (BuildInput& input : inputs) {
        if (input.LaterFrames.empty()) {
            split.push_back(std::move(input));
            continue;
        }
        const uint32_t last = static_cast<uint32_t>(input.LaterFrames.size());
        auto name = [&](uint32_t k) {
            std::string text = IndexedFileName(input.Name, k, last, "");
            text.pop_back(); // no extension: the "." of an empty one
            return text;
        };
        // Every name has the same length.
        if (database && !NameFits(name(0))) {
            input.Refusal = "Name must be less than 256 characters long";
            input.Frame.reset();
            input.LaterFrames.clear();
            split.push_back(std::move(input));
            continue;
        }
        for (uint32_t k = 0; k <= last; ++k) {
            BuildInput frame;
            frame.Path = input.Path;
            frame.Name = name(k);
            frame.PictureWidth = input.PictureWidth;
            frame.Frame = k == 0 ? std::move(input.Frame) : std::move(input.LaterFrames[k - 1]);
            split.push_back(std::move(frame));
        }
    }
    inputs = std::move(split);
}

struct SheetRectangle {
    uint32_t X = 0, Y = 0, Width = 0, Height = 0; // Y counted from the top
    std::string Name;
    std::optional<uint32_t> Group; // the atlas entry's "group", of a grouped file's sheet
};

// The rectangles of an atlas as "vornix-cel sheet" writes it. Returns the problem, or an
// empty string.
std::string ReadAtlas(const std::string& path, uint32_t sheetWidth, uint32_t sheetHeight,
    std::vector<SheetRectangle>& rectangles)
{
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(path, bytes, 1u << 30) != ReadResult::Ok)
        return "Cannot read file";
    nlohmann::json atlas = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (atlas.is_discarded())
        return "not an atlas: not valid JSON";
    if (!atlas.is_object() || !atlas.contains("frames") || !atlas["frames"].is_array())
        return "not an atlas: no \"frames\" list";
    const auto& frames = atlas["frames"];
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto& entry = frames[i];
        const std::string where = "not an atlas: frame entry " + std::to_string(i) + " ";
        SheetRectangle rectangle;
        std::array<std::pair<const char*, uint32_t*>, 4> fields { { { "x", &rectangle.X },
            { "y", &rectangle.Y }, { "width", &rectangle.Width },
            { "height", &rectangle.Height } } };
        if (!entry.is_object())
            return where + "is not an object";
        for (auto& [key, value] : fields) {
            if (!entry.contains(key) || !entry[key].is_number_unsigned()
                || entry[key].get<uint64_t>() > std::numeric_limits<uint32_t>::max())
                return where + "has no whole number \"" + key + "\"";
            *value = entry[key].get<uint32_t>();
        }
        if (entry.contains("name")) {
            if (!entry["name"].is_string())
                return where + "has a \"name\" that is not a string";
            rectangle.Name = entry["name"].get<std::string>();
        }
        // A grouped file's sheet: every entry names its group, the groups in order from 0.
        if (entry.contains("group") != (i == 0 ? entry.contains("group") : rectangles[0].Group.has_value()))
            return where + (entry.contains("group") ? "has a \"group\" while the first has none"
                                                    : "has no \"group\" while the first has one");
        if (entry.contains("group")) {
            const uint32_t before = i == 0 ? 0 : *rectangles.back().Group;
            if (!entry["group"].is_number_unsigned() || entry["group"].get<uint64_t>() < before
                || entry["group"].get<uint64_t>() > before + (i == 0 ? 0 : 1))
                return where + "has a \"group\" that does not follow the one before";
            rectangle.Group = entry["group"].get<uint32_t>();
        }
        if (rectangle.Width == 0 || rectangle.Height == 0
            || uint64_t { rectangle.X } + rectangle.Width > sheetWidth
            || uint64_t { rectangle.Y } + rectangle.Height > sheetHeight)
            return where + "lies outside the " + std::to_string(sheetWidth) + " x "
                + std::to_string(sheetHeight) + " picture";
        rectangles.push_back(std::move(rectangle));
    }
    return {};
}

// The pixels of a rectangle of the sheet (rows of the sheet bottom first, as read).
Bitmap CutOut(const Bitmap& sheet, const SheetRectangle& rectangle)
{
    Bitmap bitmap;
    bitmap.BitmapWidth = rectangle.Width;
    bitmap.BitmapHeight = rectangle.Height;
    bitmap.BitmapPixels.resize(size_t { rectangle.Width } * rectangle.Height);
    const size_t bottom = sheet.BitmapHeight - rectangle.Y - rectangle.Height;
    for (size_t k = 0; k < rectangle.Height; ++k)
        std::copy_n(sheet.BitmapPixels.begin() + (bottom + k) * sheet.BitmapWidth + rectangle.X,
            rectangle.Width, bitmap.BitmapPixels.begin() + k * rectangle.Width);
    return bitmap;
}

bool HasVisiblePixel(const Bitmap& bitmap)
{
    return std::any_of(bitmap.BitmapPixels.begin(), bitmap.BitmapPixels.end(),
        [](uint8_t p) { return p != TransparentIndex; });
}

// Reads the sheet and cuts it into inputs; ExitSuccess, or the exit code of the error line
// printed.
int CollectSheet(const ToolStreams& streams, const BuildOptions& options,
    const PaletteModel& palette, std::vector<BuildInput>& inputs, std::vector<Bitmap>& pictures)
{
    const std::string& sheetPath = *options.Sheet;
    Bitmap sheet;
    if (uint8_t result = ReadImageFile(sheetPath, palette, sheet); result != BitmapOK)
        return FileError(streams, sheetPath,
            result == BitmapCannotOpen ? "Cannot read file" : "File has unsupported format");
    std::vector<SheetRectangle> rectangles;
    const std::string stem = std::filesystem::path(sheetPath).stem().string();
    if (options.Atlas) {
        if (std::string problem
            = ReadAtlas(*options.Atlas, sheet.BitmapWidth, sheet.BitmapHeight, rectangles);
            !problem.empty())
            return FileError(streams, *options.Atlas, problem);
    } else {
        const uint32_t cellWidth = options.CellWidth, cellHeight = options.CellHeight;
        const uint32_t columns = sheet.BitmapWidth / cellWidth;
        const uint32_t rows = sheet.BitmapHeight / cellHeight;
        const uint64_t cells = uint64_t { columns } * rows;
        for (uint64_t c = 0; c < cells; ++c)
            rectangles.push_back({ static_cast<uint32_t>(c % columns) * cellWidth,
                static_cast<uint32_t>(c / columns) * cellHeight, cellWidth, cellHeight, {}, std::nullopt });
        uint32_t count = 0;
        if (options.Count) {
            count = *options.Count;
            if (count > cells)
                return FileError(streams, sheetPath,
                    "the picture holds " + std::to_string(cells) + " cells of "
                        + std::to_string(cellWidth) + " x " + std::to_string(cellHeight) + ", not "
                        + std::to_string(count));
        } else {
            for (uint64_t c = cells; c > 0 && count == 0; --c)
                if (HasVisiblePixel(CutOut(sheet, rectangles[c - 1])))
                    count = static_cast<uint32_t>(c);
        }
        rectangles.resize(count);
        const uint32_t last = count == 0 ? 0 : count - 1;
        for (uint32_t c = 0; c < count; ++c) {
            std::string name = IndexedFileName(stem, c, last, "");
            name.pop_back(); // no extension: the "." of an empty one
            rectangles[c].Name = std::move(name);
        }
    }
    for (const SheetRectangle& rectangle : rectangles) {
        BuildInput input;
        input.Path = sheetPath;
        input.Name = rectangle.Name;
        input.Group = rectangle.Group;
        inputs.push_back(std::move(input));
        pictures.push_back(CutOut(sheet, rectangle));
    }
    return ExitSuccess;
}

} // namespace

int RunBuild(const ToolStreams& streams, const BuildOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    const bool fromSheet = options.Sheet.has_value();
    const bool withHeaders = options.WithHeaders;
    const uint32_t jobs = options.Jobs;
    PaletteModel palette;
    if (int result = PreparePalette(streams, options.Palette, palette); result != ExitSuccess)
        return result;

    const std::string& output = options.Output;
    const bool database = options.Database;
    const bool quiet = options.Quiet;
    const bool showProgress = streams.ErrIsTerminal && !quiet;

    // Every input is read and coded before anything is written, so a refused picture leaves
    // the output file as it was; and every refusal is listed, not only the first.
    std::vector<BuildInput> inputs;
    std::vector<Bitmap> pictures; // the cells of a sheet, already read
    if (fromSheet) {
        if (int result = CollectSheet(streams, options, palette, inputs, pictures);
            result != ExitSuccess)
            return result;
    } else {
        CollectInputs(options.Inputs, inputs);
    }
    ColourTableCache tables;
    RunBatch(streams, "reading", inputs.size(), jobs, showProgress, [&](size_t n) {
        BuildInput& input = inputs[n];
        if (!input.Refusal.empty())
            return true;
        if (database && !NameFits(input.Name)) {
            input.Refusal = "Name must be less than 256 characters long";
            return true;
        }
        if (fromSheet) {
            input.PictureWidth = pictures[n].BitmapWidth;
            input.Frame = EncodePicture(pictures[n], options.Coding);
            pictures[n] = Bitmap {};
        } else {
            ReadInput(input, palette, tables, options.Coding);
        }
        return true;
    });
    if (!fromSheet)
        SplitAnimations(inputs, database);
    size_t refused = 0;
    bool formatRefused = false;
    for (const BuildInput& input : inputs) {
        if (input.Refusal.empty())
            continue;
        FileError(streams, input.Path, input.Refusal);
        refused += 1;
        formatRefused = formatRefused || input.FormatRefusal;
    }
    if (refused > 0) {
        if (formatRefused)
            streams.Err << "vornix-cel: hint: save such pictures as PNG, or as uncompressed 8- "
                           "or 24-bit BMP with a 40-byte header and a full colour table\n";
        return ExitFileFailure;
    }
    if (inputs.empty())
        return FileError(streams, fromSheet ? *options.Sheet : output,
            "no frame to build");

    // How the frames are grouped: --groups N equal groups, or the groups of an atlas.
    std::vector<size_t> groupSizes;
    if (options.Groups > 0) {
        if (inputs.size() % options.Groups != 0)
            return UsageError(streams, "build",
                FrameCount(inputs.size()) + " cannot be cut into " + std::to_string(options.Groups)
                    + " equal groups");
        groupSizes.assign(options.Groups, inputs.size() / options.Groups);
    } else if (!inputs.empty() && inputs[0].Group) {
        for (const BuildInput& input : inputs) {
            if (*input.Group == groupSizes.size())
                groupSizes.push_back(0);
            ++groupSizes.back();
        }
    }

    // Offsets in a CEL file are 32-bit; a file that would outgrow them cannot be written.
    uint64_t total = 4 * (uint64_t { inputs.size() } + 1) + 4;
    for (const auto& input : inputs)
        total += input.Frame->DataLength + (withHeaders ? FrameHeaderSize : 0);
    if (inputs.size() > std::numeric_limits<uint32_t>::max() / 16
        || total > std::numeric_limits<uint32_t>::max())
        return FileError(streams, output, "CEL file would exceed 4 GiB");

    // One CEL per group (one for a plain file), the frames in input order.
    const bool grouped = !groupSizes.empty();
    if (!grouped)
        groupSizes.push_back(inputs.size());
    std::vector<std::unique_ptr<CELObject>> cels;
    size_t next = 0;
    for (size_t size : groupSizes) {
        auto cel = CELObject::CreateEmpty(0);
        cel->FileName = output;
        cel->Coding = options.Coding;
        cel->WithHeaders = withHeaders || options.Coding == FrameCoding::CL2 ? 1 : 0;
        cel->HasDatabase = database ? 1 : 0;
        cel->GroupIndex = grouped ? static_cast<int32_t>(cels.size()) : -1;
        for (size_t i = next; i < next + size; ++i) {
            CELFrame& frame = *inputs[i].Frame;
            if (database) {
                frame.Name = inputs[i].Name;
                // The width of the picture is selected when it is a candidate; the stored
                // position makes the CEL open at that width.
                if (!frame.SelectCandidateWidth(inputs[i].PictureWidth))
                    Warning(streams, inputs[i].Path,
                        "width " + std::to_string(inputs[i].PictureWidth)
                            + " is not among the candidate widths; the first one is selected");
            }
            auto slot = std::make_shared<FrameSlot>();
            slot->Frame = std::move(inputs[i].Frame);
            cel->Frames.push_back(std::move(slot));
        }
        cel->FrameCount = static_cast<uint32_t>(cel->Frames.size());
        next += size;
        cels.push_back(std::move(cel));
    }
    std::vector<const CELObject*> list;
    for (const auto& cel : cels)
        list.push_back(cel.get());

    switch (SaveSpriteFile(output, list, grouped)) {
    case SaveOK:
        break;
    case SaveCannotWriteDatabase:
        return FileError(streams, DatabaseFileName(output), "Cannot save Database");
    default:
        return FileError(streams, output, "Cannot save CEL file");
    }
    if (!quiet)
        streams.Out << "built " << PrintableText(output) << " from " << FrameCount(inputs.size())
                    << (grouped ? " in " + std::to_string(list.size()) + " groups" : std::string())
                    << " in " << ElapsedText(start) << "\n";
    return ExitSuccess;
}
