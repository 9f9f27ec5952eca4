// The Python module "vornix": sprite files, frames, palettes and pictures for scripts, through
// the same readers, writers, width detection and codecs as the program and vornix-cel.
//
// Ownership: a SpriteFile holds its groups, a group holds frame slots (cel/CELHandler.h), and a
// vornix.Frame refers to a slot, so the same frame may stand in several groups, as an object
// may stand in several Python lists. Everything that changes a group or a frame runs with the
// interpreter lock held. The codec work runs without it; to make that safe, a frame's coded
// data is never changed in place once the frame exists (from_pixels makes a new frame, a save
// re-codes copies), and the few fields that can change (the selected width, the name) are
// read while the lock is still held.

#include <pybind11/eval.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/BitmapDiagnosis.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "cel/CELHandler.h"
#include "cel/GroupedFile.h"
#include "frames/FileIO.h"
#include "frames/FrameHandler.h"
#include "frames/FrameName.h"
#include "palette/PaletteFormats.h"
#include "palette/PaletteModel.h"

namespace py = pybind11;

namespace {

// --- Errors ---------------------------------------------------------------------------------

// The module's own exception classes, defined in Python so that they carry plain attributes.
constexpr const char* ErrorClasses = R"PY(
class LoadError(OSError):
    """A sprite file that does not load.

    status is the core's load status: 1 the file holds no frames, 2 it cannot be opened,
    3 it is too short, 4 its offset table is bad. filename is the file's path. A subclass of
    OSError, so that ``except OSError`` also catches a file that cannot be loaded.
    """

    def __init__(self, status, message, filename=None):
        super().__init__(message)
        self.status = status
        self.filename = filename

    def __str__(self):
        return f"{self.filename}: {self.args[0]}" if self.filename else str(self.args[0])


class PictureError(ValueError):
    """A picture file that Import refuses.

    reason says which rule refused it ("4 bits per pixel", "RLE8 compression", "neither a
    BMP nor a PNG file", ...); filename is the file's path.
    """

    def __init__(self, reason, filename=None):
        super().__init__(f"File has unsupported format ({reason})")
        self.reason = reason
        self.filename = filename

    def __str__(self):
        text = str(self.args[0])
        return f"{self.filename}: {text}" if self.filename else text
)PY";

py::object ModuleClass(const char* name)
{
    // Kept for the whole run: a static py::object would be released after the interpreter.
    static PyObject* module = nullptr;
    if (!module)
        module = py::module_::import("vornix").release().ptr();
    return py::handle(module).attr(name);
}

[[noreturn]] void Raise(py::handle type, const py::object& value)
{
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
}

[[noreturn]] void RaiseLoadError(uint8_t status, const std::string& path)
{
    py::object type = ModuleClass("LoadError");
    Raise(type, type(status, LoadFailureReason(status), path));
}

[[noreturn]] void RaisePictureError(const std::string& reason, const std::string& path)
{
    py::object type = ModuleClass("PictureError");
    Raise(type, type(reason, path));
}

// The core reports only that a file could not be read or written; the error number is
// worked out from what the file system shows, so that FileNotFoundError and
// PermissionError come out as a script expects.
int ReadErrorNumber(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        return ENOENT;
    if (std::filesystem::is_directory(status))
        return EISDIR;
    return EACCES;
}

int WriteErrorNumber(const std::string& path)
{
    std::error_code error;
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty())
        parent = ".";
    if (!std::filesystem::exists(parent, error))
        return ENOENT;
    if (!std::filesystem::is_directory(parent, error))
        return ENOTDIR;
    if (std::filesystem::is_directory(path, error))
        return EISDIR;
    if (::access(parent.c_str(), W_OK) != 0)
        return EACCES;
    return EIO;
}

[[noreturn]] void RaiseOSError(int number, const std::string& message, const std::string& path)
{
    // OSError(errno, ...) gives the matching subclass (FileNotFoundError, ...).
    py::object error = py::reinterpret_borrow<py::object>(PyExc_OSError)(number, message, path);
    Raise(py::handle(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr()))), error);
}

// --- Arguments ------------------------------------------------------------------------------

FrameCoding ParseCoding(const std::string& name)
{
    if (name == "cel")
        return FrameCoding::CEL;
    if (name == "cl2")
        return FrameCoding::CL2;
    throw py::value_error("coding must be 'cel' or 'cl2', not '" + name + "'");
}

uint32_t PictureSide(long long value, const char* what)
{
    if (value < 1 || value > std::numeric_limits<uint32_t>::max())
        throw py::value_error(std::string(what) + " must be from 1 to 4294967295, not "
            + std::to_string(value) + " (Incorrect sizes)");
    return static_cast<uint32_t>(value);
}

// A palette argument: 256 (r, g, b) colours, entry 255 the transparent colour.
PaletteModel PaletteFrom(py::handle palette, bool wholePalette = false)
{
    PaletteModel model;
    model.WholePalette = wholePalette;
    if (PyUnicode_Check(palette.ptr()) || PyBytes_Check(palette.ptr())
        || !PySequence_Check(palette.ptr()))
        throw py::type_error("a palette is a sequence of 256 (r, g, b) colours");
    py::object entries = py::reinterpret_steal<py::object>(
        PySequence_Fast(palette.ptr(), "a palette is a sequence of 256 (r, g, b) colours"));
    if (!entries)
        throw py::error_already_set();
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(entries.ptr());
    if (count != 256)
        throw py::value_error("a palette has 256 (r, g, b) colours, not " + std::to_string(count));
    PyObject** items = PySequence_Fast_ITEMS(entries.ptr());
    for (Py_ssize_t i = 0; i < 256; ++i) {
        auto bad = [&] {
            return py::value_error("palette entry " + std::to_string(i)
                + " is not an (r, g, b) colour of values 0 to 255");
        };
        PyObject* item = items[i];
        if (PyUnicode_Check(item) || PyBytes_Check(item) || !PySequence_Check(item))
            throw bad();
        py::object colour = py::reinterpret_steal<py::object>(PySequence_Fast(item, ""));
        if (!colour) {
            PyErr_Clear();
            throw bad();
        }
        if (PySequence_Fast_GET_SIZE(colour.ptr()) != 3)
            throw bad();
        uint32_t value = 0;
        for (int c = 0; c < 3; ++c) {
            PyObject* channel = PySequence_Fast_GET_ITEM(colour.ptr(), c);
            if (!PyLong_Check(channel))
                throw bad();
            const long number = PyLong_AsLong(channel);
            if (number == -1 && PyErr_Occurred()) {
                PyErr_Clear();
                throw bad();
            }
            if (number < 0 || number > 255)
                throw bad();
            value |= static_cast<uint32_t>(number) << (8 * c);
        }
        model.Palette[static_cast<size_t>(i)] = value;
    }
    return model;
}

py::list PaletteToPython(const PaletteModel& model)
{
    py::list list;
    for (uint32_t colour : model.Palette)
        list.append(py::make_tuple(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
    return list;
}

uint32_t ColourFrom(const std::array<int, 3>& rgb, const char* what)
{
    for (int channel : rgb)
        if (channel < 0 || channel > 255)
            throw py::value_error(std::string(what) + " needs values from 0 to 255");
    return static_cast<uint32_t>(rgb[0]) + 256u * static_cast<uint32_t>(rgb[1])
        + 65536u * static_cast<uint32_t>(rgb[2]);
}

// The bytes of a pixels argument (bytes, bytearray, memoryview, a NumPy array of uint8, ...),
// held for as long as this object lives; the exporter cannot resize them meanwhile, so they
// may be read without the interpreter lock.
class PixelBuffer {
public:
    PixelBuffer(py::handle object, uint64_t expected)
    {
        if (PyObject_GetBuffer(object.ptr(), &view, PyBUF_C_CONTIGUOUS) != 0)
            throw py::error_already_set();
        held = true;
        if (view.itemsize != 1)
            throw py::type_error("pixels must be one byte per pixel (bytes, bytearray, a uint8 "
                                 "array), not items of "
                + std::to_string(view.itemsize) + " bytes");
        if (static_cast<uint64_t>(view.len) != expected)
            throw py::value_error("pixels hold " + std::to_string(view.len)
                + " bytes; width x height is " + std::to_string(expected));
    }
    ~PixelBuffer()
    {
        if (held)
            PyBuffer_Release(&view);
    }
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    const uint8_t* Data() const { return static_cast<const uint8_t*>(view.buf); }

private:
    Py_buffer view {};
    bool held = false;
};

// Python's pictures run top row first; the core's run bottom row first. Reversing the rows
// is the same operation both ways.
void ReverseRows(const uint8_t* source, uint32_t width, uint32_t height, uint8_t* target)
{
    const size_t stride = width;
    for (size_t y = 0; y < height; ++y)
        std::memcpy(target + (size_t { height } - 1 - y) * stride, source + y * stride, stride);
}

// A bytes object of width x height pixels, top row first, from an image row 0 first. The
// copy runs without the interpreter lock: nothing else can see the new object yet.
py::bytes TopFirstBytes(const DataArray& image, uint32_t width, uint32_t height)
{
    PyObject* out = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(image.size()));
    if (!out)
        throw py::error_already_set();
    auto* target = reinterpret_cast<uint8_t*>(PyBytes_AS_STRING(out));
    {
        py::gil_scoped_release release;
        ReverseRows(image.data(), width, height, target);
    }
    return py::reinterpret_steal<py::bytes>(out);
}

uint64_t PixelCount(uint32_t width, uint32_t height)
{
    return uint64_t { width } * uint64_t { height };
}

void CheckAllocatable(uint64_t count)
{
    if (count > static_cast<uint64_t>(std::numeric_limits<Py_ssize_t>::max())) {
        PyErr_NoMemory();
        throw py::error_already_set();
    }
}

// --- Frames, groups, files ------------------------------------------------------------------

struct Frame {
    FrameSlotRef Slot; // never null, and its frame never null
    std::optional<uint32_t> Index; // the position it was taken from, none for a new frame

    CELFrame& Get() const { return *Slot->Frame; }
};

Frame NewFrame(std::unique_ptr<CELFrame> frame)
{
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = std::move(frame);
    return Frame { std::move(slot), std::nullopt };
}

struct Group {
    std::vector<FrameSlotRef> Frames;
};
using GroupRef = std::shared_ptr<Group>;

struct Sprite {
    std::optional<std::string> Path;
    FrameCoding Coding = FrameCoding::CEL;
    bool Grouped = false;
    bool WithHeaders = true;
    bool HasDatabase = false;
    std::vector<GroupRef> Groups;
};
using SpriteRef = std::shared_ptr<Sprite>;

// The groups of a file, as s.groups shows them.
struct GroupList {
    SpriteRef File;
};

struct GroupIterator {
    GroupRef Of;
    size_t Next = 0;
};

struct GroupListIterator {
    SpriteRef Of;
    size_t Next = 0;
};

// A Python index into a list of count items, negative ones counted from the end.
size_t ListIndex(Py_ssize_t index, size_t count)
{
    const auto size = static_cast<Py_ssize_t>(count);
    if (index < 0)
        index += size;
    if (index < 0 || index >= size)
        throw py::index_error("index out of range");
    return static_cast<size_t>(index);
}

// The name in the frame database as text to show: UTF-8 or Windows-1252 bytes.
std::string StoredName(py::handle name, const std::string& current)
{
    std::string bytes;
    if (PyBytes_Check(name.ptr()) || PyByteArray_Check(name.ptr()))
        bytes = py::cast<std::string>(py::bytes(py::reinterpret_borrow<py::object>(name)));
    else if (PyUnicode_Check(name.ptr()))
        bytes = NameFromEntry(py::cast<std::string>(name), current);
    else
        throw py::type_error("a frame name is a str or bytes");
    if (bytes.size() > MaxNameBytes)
        throw py::value_error("Name must be less than 256 characters long (it has "
            + std::to_string(bytes.size()) + " bytes)");
    return bytes;
}

py::bytes FramePixels(const Frame& frame)
{
    const CELFrame& source = frame.Get();
    if (!source.Viewable())
        throw py::value_error("the frame cannot be decoded: its diagnosis is "
            + std::string(DiagnosisName(source.Diagnosis)));
    // What can change is read now; the coded data never changes in place.
    CELFrame view;
    view.Coding = source.Coding;
    view.SetSize(source.Width, source.Height);
    const uint64_t count = PixelCount(source.Width, source.Height);
    CheckAllocatable(count);
    const FrameSlotRef keep = frame.Slot;
    DataArray image;
    {
        py::gil_scoped_release release;
        view.Data = source.Data;
        view.DataLength = static_cast<uint32_t>(view.Data.size());
        view.DecodeImage(image);
    }
    return TopFirstBytes(image, view.Width, view.Height);
}

void SelectWidth(Frame& frame, long long width)
{
    CELFrame& target = frame.Get();
    if (width >= 0 && width <= UINT32_MAX && target.SelectCandidateWidth(static_cast<uint32_t>(width)))
        return;
    const size_t listed = std::min<size_t>(target.WidthCount, target.Widths.size());
    std::string candidates;
    for (size_t i = 0; i < listed; ++i)
        candidates += (i ? ", " : "") + std::to_string(target.Widths[i]);
    throw py::value_error(std::to_string(width) + " is not a candidate width of this frame ("
        + (candidates.empty() ? std::string("none") : candidates) + ")");
}

Frame FrameFromPixels(long long width, long long height, py::handle data,
    const std::string& codingName, py::handle name)
{
    const FrameCoding coding = ParseCoding(codingName);
    const uint32_t w = PictureSide(width, "width");
    const uint32_t h = PictureSide(height, "height");
    const uint64_t count = PixelCount(w, h);
    CheckAllocatable(count);
    PixelBuffer pixels(data, count);
    std::string stored = name.is_none() ? std::string() : StoredName(name, std::string());
    auto frame = CELFrame::CreateEmpty(coding);
    {
        py::gil_scoped_release release;
        DataArray image(static_cast<size_t>(count));
        ReverseRows(pixels.Data(), w, h, image.data());
        frame->SetSize(w, h);
        frame->EncodeImage(image);
        if (!frame->Data.empty()) {
            frame->AnalyseData();
            // The picture's own width, as "Save Frame" selects it; in the one case where it is
            // not listed (more than 255 widths fit), the first candidate stays.
            frame->SelectCandidateWidth(w);
        }
    }
    if (frame->Data.empty())
        throw py::value_error("the picture is too large to code as one frame");
    frame->Name = std::move(stored);
    return NewFrame(std::move(frame));
}

std::string FrameRepr(const Frame& frame)
{
    const CELFrame& f = frame.Get();
    std::string text = "<vornix.Frame ";
    if (frame.Index)
        text += std::to_string(*frame.Index) + " ";
    text += std::string(CodingName(f.Coding)) + " " + std::to_string(f.Width) + "x"
        + std::to_string(f.Height);
    if (!f.Name.empty())
        text += " '" + NameForDisplay(f.Name) + "'";
    if (f.Diagnosis != DiagOK)
        text += " " + std::string(DiagnosisName(f.Diagnosis));
    return text + ">";
}

SpriteRef SpriteFromCore(SpriteFile& file, const std::string& path)
{
    auto sprite = std::make_shared<Sprite>();
    sprite->Path = path;
    sprite->Coding = file.Coding;
    sprite->Grouped = file.Grouped;
    sprite->WithHeaders = file.Groups.front()->WithHeaders == 1;
    sprite->HasDatabase = file.Groups.front()->HasDatabase == 1;
    for (auto& cel : file.Groups) {
        auto group = std::make_shared<Group>();
        group->Frames = std::move(cel->Frames);
        cel->FrameCount = 0;
        sprite->Groups.push_back(std::move(group));
    }
    return sprite;
}

size_t ViewableFrames(const SpriteFile& file)
{
    size_t count = 0;
    for (const auto& group : file.Groups)
        for (const auto& slot : group->Frames)
            count += slot && slot->Frame && slot->Frame->Viewable() ? 1 : 0;
    return count;
}

SpriteRef OpenSprite(
    const std::string& path, std::optional<std::string> codingName, std::optional<bool> headers)
{
    const FrameCoding coding = codingName ? ParseCoding(*codingName) : CodingFromName(path);
    SpriteFile file;
    {
        py::gil_scoped_release release;
        file = LoadSpriteFile(path, headers.value_or(false), coding);
        // Without a choice, a CEL without a database is read as vornix-cel reads it: without
        // Frame Headers, unless reading it with them leaves more frames viewable.
        if (!headers && file.Status == LoadOK && coding == FrameCoding::CEL
            && file.Groups.front()->HasDatabase == 0 && ViewableFrames(file) < file.FrameTotal()) {
            SpriteFile other = LoadSpriteFile(path, true, coding);
            if (other.Status == LoadOK && ViewableFrames(other) > ViewableFrames(file))
                file = std::move(other);
        }
    }
    if (file.Status != LoadOK)
        RaiseLoadError(file.Status, path);
    return SpriteFromCore(file, path);
}

SpriteRef NewSprite(const std::string& codingName, std::optional<long long> groups)
{
    auto sprite = std::make_shared<Sprite>();
    sprite->Coding = ParseCoding(codingName);
    sprite->Grouped = groups.has_value();
    const long long count = groups.value_or(1);
    if (count < 1 || count > 1000000)
        throw py::value_error(
            "a grouped file has from 1 to 1000000 groups, not " + std::to_string(count));
    for (long long g = 0; g < count; ++g)
        sprite->Groups.push_back(std::make_shared<Group>());
    return sprite;
}

// Saves the file; the frames of the other coding are re-coded from their pixels into copies,
// and the frames themselves stay as they are.
void SaveSprite(Sprite& sprite, std::optional<std::string> target, std::optional<bool> database)
{
    if (!target && !sprite.Path)
        throw py::value_error("CEL is not assigned to a file: give save() a path");
    const std::string path = target ? *target : *sprite.Path;
    const bool withDatabase = database.value_or(sprite.HasDatabase);

    // Copies are made with the lock held: names and selected widths may change meanwhile.
    std::vector<std::unique_ptr<CELObject>> cels;
    struct Pending {
        size_t Group;
        size_t Position;
    };
    std::vector<Pending> recode;
    for (size_t g = 0; g < sprite.Groups.size(); ++g) {
        const Group& group = *sprite.Groups[g];
        if (group.Frames.empty())
            throw py::value_error(std::string("CEL has no frames: group ") + std::to_string(g)
                + " is empty, and a sprite file cannot hold an empty group");
        auto cel = CELObject::CreateEmpty(0);
        cel->Coding = sprite.Coding;
        cel->WithHeaders = sprite.WithHeaders ? 1 : 0;
        cel->HasDatabase = withDatabase ? 1 : 0;
        for (size_t i = 0; i < group.Frames.size(); ++i) {
            const CELFrame& frame = *group.Frames[i]->Frame;
            auto slot = std::make_shared<FrameSlot>();
            slot->Frame = CELFrame::CreateCopy(frame);
            if (frame.Coding != sprite.Coding)
                recode.push_back({ g, i });
            cel->Frames.push_back(std::move(slot));
        }
        cel->FrameCount = static_cast<uint32_t>(cel->Frames.size());
        cels.push_back(std::move(cel));
    }

    uint8_t result = SaveOK;
    bool readsAsPlain = false;
    std::optional<Pending> notRecoded;
    {
        py::gil_scoped_release release;
        for (const Pending& item : recode) {
            if (!RecodeFrame(*cels[item.Group]->Frames[item.Position]->Frame, sprite.Coding)) {
                notRecoded = item;
                break;
            }
        }
        if (!notRecoded) {
            std::vector<const CELObject*> groups;
            for (const auto& cel : cels)
                groups.push_back(cel.get());
            result = SaveSpriteFile(path, groups, sprite.Grouped);
            if (result == SaveCannotWriteCEL && sprite.Grouped
                && SpriteFileProblem(groups, true) == SaveOK) {
                // Refused, or not written? Grouped bytes that read as a plain file are refused.
                const std::vector<uint8_t> bytes = GroupedFileBytes(groups);
                for (bool withHeaders : { false, true }) {
                    const uint8_t plain = CELLayoutStatus(bytes, withHeaders);
                    if (!bytes.empty() && plain != LoadTooShort && plain != LoadBadOffsets)
                        readsAsPlain = true;
                }
            }
        }
    }
    if (notRecoded) {
        const CELFrame& frame
            = *sprite.Groups[notRecoded->Group]->Frames[notRecoded->Position]->Frame;
        throw py::value_error("frame " + std::to_string(notRecoded->Position) + " of group "
            + std::to_string(notRecoded->Group) + " is coded as " + CodingName(frame.Coding)
            + " and cannot be re-coded as " + CodingName(sprite.Coding) + " ("
            + (frame.Viewable() ? "its width is no candidate of the re-coded data"
                                : "diagnosis " + std::string(DiagnosisName(frame.Diagnosis)))
            + ")");
    }
    if (readsAsPlain)
        throw py::value_error("Cannot save CEL file: these groups would read back as a plain "
                              "file; change a group's frames or their order");
    switch (result) {
    case SaveOK:
        break;
    case SaveCannotWriteDatabase:
        sprite.Path = path;
        sprite.HasDatabase = withDatabase;
        RaiseOSError(WriteErrorNumber(DatabaseFileName(path)),
            "Cannot save Database (the sprite file itself was written)", DatabaseFileName(path));
    default:
        RaiseOSError(WriteErrorNumber(path), "Cannot save CEL file", path);
    }
    sprite.Path = path;
    sprite.HasDatabase = withDatabase;
}

std::string SpriteRepr(const Sprite& sprite)
{
    size_t frames = 0;
    for (const auto& group : sprite.Groups)
        frames += group->Frames.size();
    std::string text = "<vornix.SpriteFile ";
    text += sprite.Path ? "'" + *sprite.Path + "'" : std::string("(new)");
    text += std::string(" ") + CodingName(sprite.Coding);
    if (sprite.Grouped)
        text += ", " + std::to_string(sprite.Groups.size()) + " groups";
    return text + ", " + std::to_string(frames) + " frames>";
}

// --- Palettes and pictures ------------------------------------------------------------------

py::list LoadPalette(const std::string& path, std::array<int, 3> transparent)
{
    PaletteModel model = GreyPalette(ColourFrom(transparent, "transparent"));
    std::string message;
    PaletteImportResult result;
    {
        py::gil_scoped_release release;
        result = ImportPaletteFile(path, model, message);
    }
    if (result == PaletteImportResult::CannotOpen)
        RaiseOSError(ReadErrorNumber(path), "Cannot open palette file", path);
    if (result != PaletteImportResult::Done)
        throw py::value_error(path + ": " + message);
    return PaletteToPython(model);
}

py::tuple ReadPicture(const std::string& path, py::handle palette, bool wholePalette)
{
    const PaletteModel model = PaletteFrom(palette, wholePalette);
    std::vector<uint8_t> bytes;
    Bitmap bitmap;
    std::string reason;
    uint8_t read = BitmapOK;
    {
        py::gil_scoped_release release;
        read = ReadPictureBytes(path, bytes);
        if (read == BitmapOK) {
            // As vornix-cel build names its refusals.
            switch (DetectImageFileFormat(bytes)) {
            case ImageFileFormat::BMP:
                if (DecodeBitmap(bytes, model, bitmap) != BitmapOK)
                    reason = ExplainBitmapRefusal(bytes);
                break;
            case ImageFileFormat::PNG:
                if (DecodePNG(bytes, model, bitmap) != BitmapOK)
                    reason = "not a readable PNG (damaged, truncated, or above 64 Mi pixels)";
                break;
            default:
                reason = "neither a BMP nor a PNG file";
                break;
            }
            if (reason.empty() && (bitmap.BitmapWidth == 0 || bitmap.BitmapHeight == 0))
                reason = "empty picture";
        }
    }
    if (read == BitmapCannotOpen)
        RaiseOSError(ReadErrorNumber(path), "Cannot read file", path);
    if (read != BitmapOK)
        RaisePictureError("file larger than 4 GB", path);
    if (!reason.empty())
        RaisePictureError(reason, path);
    return py::make_tuple(bitmap.BitmapWidth, bitmap.BitmapHeight,
        TopFirstBytes(bitmap.BitmapPixels, bitmap.BitmapWidth, bitmap.BitmapHeight));
}

void WritePicture(const std::string& path, long long width, long long height, py::handle data,
    py::handle palette, int bits, bool png)
{
    if (bits != 8 && bits != 24)
        throw py::value_error("bits must be 8 or 24, not " + std::to_string(bits));
    const uint32_t w = PictureSide(width, "width");
    const uint32_t h = PictureSide(height, "height");
    const uint64_t count = PixelCount(w, h);
    CheckAllocatable(count);
    if (!png && !BitmapFileFits(w, h, static_cast<uint32_t>(bits)))
        throw py::value_error("Frame too large for a BMP file");
    const PaletteModel model = PaletteFrom(palette);
    PixelBuffer pixels(data, count);
    bool written = false;
    bool encoded = false;
    {
        py::gil_scoped_release release;
        Bitmap bitmap;
        bitmap.BitmapWidth = w;
        bitmap.BitmapHeight = h;
        bitmap.BitmapPixels.resize(static_cast<size_t>(count));
        ReverseRows(pixels.Data(), w, h, bitmap.BitmapPixels.data());
        const std::vector<uint8_t> bytes = png
            ? EncodePNG(bitmap, model, static_cast<uint32_t>(bits))
            : EncodeBitmap(bitmap, model, static_cast<uint32_t>(bits));
        encoded = !bytes.empty();
        written = encoded && WriteFileAtomically(path, bytes);
    }
    if (!encoded)
        throw py::value_error("the picture cannot be coded as PNG (its sides are 31-bit)");
    if (!written)
        RaiseOSError(WriteErrorNumber(path), "Cannot write file", path);
}

} // namespace

PYBIND11_MODULE(vornix, m)
{
    m.doc() = R"(CEL and CL2 sprite files for scripts.

The core of Vornix and vornix-cel: their readers and writers, width detection, diagnosis and
codecs. open() a sprite file, walk its groups and frames, decode a frame's pixels, make new
frames from pixels, save the file; read and write pictures (BMP, PNG) and palettes.

Pixels are bytes of palette indices, width x height, the top row first (as image libraries
and NumPy expect), 255 the transparent index. A palette is a list of 256 (r, g, b) tuples,
entry 255 the transparent colour. The codec work runs without the interpreter lock, so
threads decode frames on every core.)";

    py::exec(ErrorClasses, m.attr("__dict__"));

    py::class_<Frame>(m, "Frame", R"(One frame of a sprite file.

A frame does not record its width: the candidate widths are worked out from its coded data
(widths, largest first), and width is the one selected. diagnosis is the check of the data
(0 DiagOK, 1 DiagHeader, 2 DiagLimit, 3 DiagBlocks, 4 DiagWidth, 5 DiagNull, 6 DiagBounds);
a frame is viewable, and can be decoded, when it is below 4. Frames know their coding: one put
into a file of the other coding is re-coded from its pixels when the file is saved.
Two Frame objects are equal when they are the same frame.)")
        .def_property_readonly(
            "index", [](const Frame& f) { return f.Index; },
            "The frame's position in the group it was taken from (group[i] or a loop over the "
            "group), None for a frame made by from_pixels() or copy().")
        .def_property(
            "name", [](const Frame& f) { return NameForDisplay(f.Get().Name); },
            [](Frame& f, py::handle name) {
                f.Get().Name = name.is_none() ? std::string() : StoredName(name, f.Get().Name);
            },
            "The frame's name from the frame database, '' for none. Stored names that are not "
            "UTF-8 read as Windows-1252. Set it to a str (stored as UTF-8; the text as read "
            "keeps the stored bytes) or to bytes; at most 255 bytes, else ValueError.")
        .def_property_readonly(
            "name_bytes", [](const Frame& f) { return py::bytes(f.Get().Name); },
            "The name as the frame database stores it.")
        .def_property_readonly(
            "width", [](const Frame& f) { return f.Get().Width; }, "The selected width.")
        .def_property_readonly(
            "height", [](const Frame& f) { return f.Get().Height; },
            "The height for the selected width.")
        .def_property_readonly(
            "widths",
            [](const Frame& f) {
                const CELFrame& frame = f.Get();
                const size_t listed = std::min<size_t>(frame.WidthCount, frame.Widths.size());
                return std::vector<uint32_t>(frame.Widths.begin(),
                    frame.Widths.begin() + static_cast<std::ptrdiff_t>(listed));
            },
            "The candidate widths, largest first, as the frame database counts them (a width "
            "may repeat); empty when none fits.")
        .def_property_readonly(
            "diagnosis", [](const Frame& f) { return f.Get().Diagnosis; },
            "The diagnosis code, 0 to 6.")
        .def_property_readonly(
            "viewable", [](const Frame& f) { return f.Get().Viewable(); },
            "True when the diagnosis is below 4: the frame can be decoded.")
        .def_property_readonly(
            "coding", [](const Frame& f) { return std::string(CodingName(f.Get().Coding)); },
            "'cel' or 'cl2': how the frame's pixels are coded.")
        .def_property_readonly(
            "header",
            [](const Frame& f) {
                const auto& h = f.Get().Header;
                return py::make_tuple(h[0], h[1], h[2], h[3], h[4]);
            },
            "The five Frame Header words.")
        .def_property_readonly(
            "data",
            [](const Frame& f) {
                const CELFrame& frame = f.Get();
                const size_t length = std::min<size_t>(frame.DataLength, frame.Data.size());
                return py::bytes(reinterpret_cast<const char*>(frame.Data.data()), length);
            },
            "The coded pixel data, without the Frame Header.")
        .def_property_readonly(
            "caption", [](const Frame& f) { return FrameCaption(f.Index.value_or(0), f.Get()); },
            "The caption the frame lists show: '12, 64x32, #Width', or ' Name'.")
        .def("pixels", &FramePixels,
            R"(The decoded frame at its selected width: width x height bytes of palette indices,
the top row first, 255 transparent. ValueError when the frame is not viewable.

numpy.frombuffer(f.pixels(), numpy.uint8).reshape(f.height, f.width) views them without a
copy. The decoding runs without the interpreter lock.)")
        .def("select_width", &SelectWidth, py::arg("width"),
            R"(Selects the first candidate width equal to width; the height follows as in the
program ((width x height) // the new width). ValueError when width is not a candidate.)")
        .def(
            "copy", [](const Frame& f) { return NewFrame(CELFrame::CreateCopy(f.Get())); },
            "A new frame with the same data, widths, selection and name.")
        .def_static("from_pixels", &FrameFromPixels, py::arg("width"), py::arg("height"),
            py::arg("data"), py::arg("coding") = "cel", py::arg("name") = py::none(),
            R"(Codes a picture into a new frame, as the viewer's "Save Frame" does.

data is width x height bytes of palette indices, the top row first, 255 transparent (bytes,
bytearray, memoryview or a C-contiguous uint8 array). coding is 'cel' or 'cl2'. The frame is
analysed and its picture's width selected. The coding runs without the interpreter lock.)")
        .def("__eq__",
            [](const Frame& a, py::handle b) {
                return py::isinstance<Frame>(b) && a.Slot == py::cast<const Frame&>(b).Slot;
            })
        .def("__hash__", [](const Frame& f) { return std::hash<FrameSlot*>()(f.Slot.get()); })
        .def("__repr__", &FrameRepr);

    py::class_<GroupIterator>(m, "_GroupIterator", "Iterator over the frames of a group.")
        .def("__iter__", [](GroupIterator& it) -> GroupIterator& { return it; })
        .def("__next__", [](GroupIterator& it) {
            if (it.Next >= it.Of->Frames.size())
                throw py::stop_iteration();
            const size_t at = it.Next++;
            return Frame { it.Of->Frames[at], static_cast<uint32_t>(at) };
        });

    auto frameAt = [](const Group& g, size_t i) {
        return Frame { g.Frames[i], static_cast<uint32_t>(i) };
    };
    py::class_<Group, GroupRef>(m, "Group", R"(The frames of one group, in order; list-like.

A plain file has one group. len(), indexing (negative too, and slices), iteration, del,
assignment, append(), insert(), extend(), pop(), clear(), index() and `in` work as for a
list of Frame objects. A frame may stand in several groups at once: it is the same frame.)")
        .def("__len__", [](const Group& g) { return g.Frames.size(); })
        .def("__getitem__",
            [frameAt](
                const Group& g, Py_ssize_t i) { return frameAt(g, ListIndex(i, g.Frames.size())); })
        .def("__getitem__",
            [frameAt](const Group& g, const py::slice& slice) {
                size_t start = 0, stop = 0, step = 0, length = 0;
                if (!slice.compute(g.Frames.size(), &start, &stop, &step, &length))
                    throw py::error_already_set();
                std::vector<Frame> frames;
                for (size_t n = 0; n < length; ++n, start += step)
                    frames.push_back(frameAt(g, start));
                return frames;
            })
        .def("__setitem__",
            [](Group& g, Py_ssize_t i, const Frame& f) {
                g.Frames[ListIndex(i, g.Frames.size())] = f.Slot;
            })
        .def("__delitem__",
            [](Group& g, Py_ssize_t i) {
                g.Frames.erase(
                    g.Frames.begin() + static_cast<std::ptrdiff_t>(ListIndex(i, g.Frames.size())));
            })
        .def("__delitem__",
            [](Group& g, const py::slice& slice) {
                size_t start = 0, stop = 0, step = 0, length = 0;
                if (!slice.compute(g.Frames.size(), &start, &stop, &step, &length))
                    throw py::error_already_set();
                std::vector<bool> gone(g.Frames.size(), false);
                for (size_t n = 0; n < length; ++n, start += step)
                    gone[start] = true;
                std::vector<FrameSlotRef> kept;
                for (size_t i = 0; i < g.Frames.size(); ++i)
                    if (!gone[i])
                        kept.push_back(g.Frames[i]);
                g.Frames = std::move(kept);
            })
        .def("__iter__",
            [](const GroupRef& g) {
                return GroupIterator { g, 0 };
            })
        .def("__contains__",
            [](const Group& g, py::handle f) {
                if (!py::isinstance<Frame>(f))
                    return false;
                const auto& slot = py::cast<const Frame&>(f).Slot;
                return std::find(g.Frames.begin(), g.Frames.end(), slot) != g.Frames.end();
            })
        .def(
            "append", [](Group& g, const Frame& f) { g.Frames.push_back(f.Slot); },
            py::arg("frame"), "Adds frame at the end.")
        .def(
            "insert",
            [](Group& g, Py_ssize_t i, const Frame& f) {
                const auto size = static_cast<Py_ssize_t>(g.Frames.size());
                if (i < 0)
                    i = std::max<Py_ssize_t>(0, i + size);
                i = std::min(i, size);
                g.Frames.insert(g.Frames.begin() + i, f.Slot);
            },
            py::arg("index"), py::arg("frame"), "Inserts frame before index, as list.insert.")
        .def(
            "extend",
            [](Group& g, py::iterable frames) {
                std::vector<FrameSlotRef> added;
                for (py::handle f : frames)
                    added.push_back(py::cast<const Frame&>(f).Slot);
                g.Frames.insert(g.Frames.end(), added.begin(), added.end());
            },
            py::arg("frames"), "Adds every frame of an iterable at the end.")
        .def(
            "pop",
            [](Group& g, Py_ssize_t i) {
                const size_t at = ListIndex(i, g.Frames.size());
                Frame f { g.Frames[at], std::nullopt };
                g.Frames.erase(g.Frames.begin() + static_cast<std::ptrdiff_t>(at));
                return f;
            },
            py::arg("index") = -1,
            "Removes the frame at index (the last by default) and "
            "returns it.")
        .def(
            "clear", [](Group& g) { g.Frames.clear(); }, "Removes every frame.")
        .def(
            "index",
            [](const Group& g, const Frame& f) {
                auto found = std::find(g.Frames.begin(), g.Frames.end(), f.Slot);
                if (found == g.Frames.end())
                    throw py::value_error("the frame is not in this group");
                return static_cast<size_t>(found - g.Frames.begin());
            },
            py::arg("frame"), "The position of frame; ValueError when it is not in the group.")
        .def("__repr__", [](const Group& g) {
            return "<vornix.Group of " + std::to_string(g.Frames.size()) + " frames>";
        });

    py::class_<GroupListIterator>(m, "_GroupListIterator", "Iterator over the groups of a file.")
        .def("__iter__", [](GroupListIterator& it) -> GroupListIterator& { return it; })
        .def("__next__", [](GroupListIterator& it) {
            if (it.Next >= it.Of->Groups.size())
                throw py::stop_iteration();
            return it.Of->Groups[it.Next++];
        });

    py::class_<GroupList>(m, "GroupList", R"(The groups of a sprite file, in order; list-like.

len(), indexing and iteration give Group objects. A grouped file can gain a group (append())
and lose one (del); a plain file has exactly one group.)")
        .def("__len__", [](const GroupList& l) { return l.File->Groups.size(); })
        .def("__getitem__",
            [](const GroupList& l, Py_ssize_t i) {
                return l.File->Groups[ListIndex(i, l.File->Groups.size())];
            })
        .def("__iter__",
            [](const GroupList& l) {
                return GroupListIterator { l.File, 0 };
            })
        .def(
            "append",
            [](GroupList& l) {
                if (!l.File->Grouped)
                    throw py::value_error("a plain file has one group; make a grouped file "
                                          "with vornix.new(coding, groups=N)");
                l.File->Groups.push_back(std::make_shared<Group>());
                return l.File->Groups.back();
            },
            "Adds an empty group at the end of a grouped file and returns it.")
        .def("__delitem__",
            [](GroupList& l, Py_ssize_t i) {
                if (!l.File->Grouped)
                    throw py::value_error("a plain file keeps its one group");
                auto& groups = l.File->Groups;
                groups.erase(
                    groups.begin() + static_cast<std::ptrdiff_t>(ListIndex(i, groups.size())));
            })
        .def("__repr__", [](const GroupList& l) {
            return "<vornix.GroupList of " + std::to_string(l.File->Groups.size()) + " groups>";
        });

    py::class_<Sprite, SpriteRef>(
        m, "SpriteFile", R"(A CEL or CL2 sprite file: plain (one group) or grouped.

Made by vornix.open() and vornix.new(). Its frames are in groups[g][i]; save() writes the
file (and its frame database path + '.cdb' when has_database is set).)")
        .def_property_readonly(
            "path", [](const Sprite& s) { return s.Path; },
            "The file's path: where it was opened or last saved; None for a new file.")
        .def_property_readonly(
            "coding", [](const Sprite& s) { return std::string(CodingName(s.Coding)); },
            "'cel' or 'cl2'.")
        .def_property_readonly(
            "grouped", [](const Sprite& s) { return s.Grouped; },
            "True for a grouped file: a table of groups, each a complete CEL or CL2.")
        .def_property(
            "with_headers",
            [](const Sprite& s) { return s.Coding == FrameCoding::CL2 || s.WithHeaders; },
            [](Sprite& s, bool value) {
                if (s.Coding == FrameCoding::CL2 && !value)
                    throw py::value_error("a CL2 file always has Frame Headers");
                s.WithHeaders = value;
            },
            "Whether the frames are stored with Frame Headers (always for a CL2). Set it to "
            "choose how save() writes a CEL.")
        .def_property(
            "has_database", [](const Sprite& s) { return s.HasDatabase; },
            [](Sprite& s, bool value) { s.HasDatabase = value; },
            "Whether the frame database (path + '.cdb': names, selected widths, the Frame "
            "Header flag) was read, and is written by save(); without it save() removes one.")
        .def_property_readonly(
            "groups", [](const SpriteRef& s) { return GroupList { s }; },
            "The groups, list-like; a plain file has one.")
        .def("save", &SaveSprite, py::arg("path") = py::none(), py::kw_only(),
            py::arg("database") = py::none(),
            R"(Writes the file to path (its own path when None), whole before it takes its
name: a failure leaves the old file as it was. database=True also writes path + '.cdb',
False removes it, None keeps has_database. Frames of the other coding are re-coded from their
pixels (the frames themselves stay as they are). Afterwards path and has_database are the
saved ones.

ValueError when the file cannot be stored (an empty group, a frame that cannot be re-coded,
groups that would read back as a plain file); OSError when a file cannot be written.)")
        .def("__repr__", [](const Sprite& s) { return SpriteRepr(s); });

    m.def("open", &OpenSprite, py::arg("path"), py::arg("coding") = py::none(),
        py::arg("headers") = py::none(),
        R"(Reads a sprite file and, when present, its frame database (path + '.cdb').

coding: 'cel' or 'cl2'; None takes it from the name (CL2 for a name ending in '.cl2').
headers: for a CEL without a database, whether its frames carry Frame Headers; None reads it
as vornix-cel does (without, unless reading with them leaves more frames viewable). A plain
file has one group; a grouped file one per group. Raises LoadError (.status 1 to 4) when the
file does not load. Reading and analysing runs without the interpreter lock.)");

    m.def("new", &NewSprite, py::arg("coding") = "cel", py::arg("groups") = py::none(),
        R"(An empty sprite file of coding 'cel' or 'cl2': plain with one group, or grouped
with the given number of groups. It has no path until saved; a CEL gets Frame Headers.)");

    m.def("load_palette", &LoadPalette, py::arg("path"),
        py::arg("transparent") = std::array<int, 3> { 255, 255, 255 },
        R"(Reads a palette file as vornix-cel's --palette does: a 768-byte .pal (entries 0 to
254), a 772-byte Adobe colour table, JASC-PAL, GIMP, or the colours of an 8-bit BMP or a
palette PNG, told apart by content. Entries the file does not give stay grey (i, i, i), as
in vornix-cel; entry 255 is the transparent colour. Returns 256 (r, g, b) tuples. OSError when
the file cannot be read, ValueError when it is no palette.)");

    m.def(
        "default_palette",
        [](std::array<int, 3> transparent) {
            return PaletteToPython(GreyPalette(ColourFrom(transparent, "transparent")));
        },
        py::arg("transparent") = std::array<int, 3> { 255, 255, 255 },
        "vornix-cel's palette without --palette: entry i is (i, i, i), entry 255 the "
        "transparent colour.");

    m.def("read_picture", &ReadPicture, py::arg("path"), py::arg("palette"),
        py::arg("whole_palette") = false,
        R"(Reads a BMP (8 or 24 bits, uncompressed) or a PNG, told apart by content, into
palette indices as the viewer's "Import" does: the transparent colour (entry 255) and pixels of
alpha below 128 become 255; every other colour the nearest of entries 127 to 254 (0 to 254
with whole_palette). Returns (width, height, pixels), pixels top row first. OSError when the
file cannot be read; PictureError (with .reason) when it is refused.)");

    m.def(
        "write_png",
        [](const std::string& path, long long width, long long height, py::handle data,
            py::handle palette,
            int bits) { WritePicture(path, width, height, data, palette, bits, true); },
        py::arg("path"), py::arg("width"), py::arg("height"), py::arg("data"), py::arg("palette"),
        py::arg("bits") = 8,
        R"(Writes pixels (top row first) as a PNG, the bytes "vornix-cel export --format png"
writes: 8 bits, a palette picture whose entry 255 is transparent; 24 bits, RGB with a tRNS
naming the transparent colour. Written whole before it takes its name; OSError on failure.)");

    m.def(
        "write_bmp",
        [](const std::string& path, long long width, long long height, py::handle data,
            py::handle palette,
            int bits) { WritePicture(path, width, height, data, palette, bits, false); },
        py::arg("path"), py::arg("width"), py::arg("height"), py::arg("data"), py::arg("palette"),
        py::arg("bits") = 8,
        R"(Writes pixels (top row first) as an uncompressed BMP of 8 or 24 bits, the bytes
"vornix-cel export" writes. Written whole before it takes its name; OSError on failure.)");
}
