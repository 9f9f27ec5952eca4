#include "cel/CELHandler.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "frames/FileIO.h"

uint32_t ReadWord32(std::span<const uint8_t> bytes, uint64_t at)
{
    const auto i = static_cast<size_t>(at);
    return uint32_t { bytes[i] } | (uint32_t { bytes[i + 1] } << 8)
        | (uint32_t { bytes[i + 2] } << 16) | (uint32_t { bytes[i + 3] } << 24);
}

void AppendWord32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 24));
}

std::string LoadFailureReason(uint8_t status)
{
    switch (status) {
    case LoadNoFrames:
        return "An error occured (status 1: the file holds no frames)";
    case LoadCannotOpen:
        return "An error occured (status 2: cannot open the file)";
    case LoadTooShort:
        return "An error occured (status 3: the file is too short)";
    case LoadBadOffsets:
        return "An error occured (status 4: bad offset table)";
    default:
        return "An error occured (status " + std::to_string(status) + ")";
    }
}

namespace {

// The frame of table entry i, or the empty frame for an entry without one: an empty slot is
// written as one transparent pixel so that the file keeps its frame count.
const CELFrame& FrameAt(const std::vector<FrameSlotRef>& frames, uint32_t i, const CELFrame& empty)
{
    if (i < frames.size() && frames[i] && frames[i]->Frame)
        return *frames[i]->Frame;
    return empty;
}

uint64_t StoredLength(const CELFrame& frame)
{
    return std::min<uint64_t>(frame.DataLength, frame.Data.size());
}

// Reads the database records in frame order. A database shorter than its records is not an
// error: reading stops at the first record that is not whole, and the frames from there on
// keep their empty names and first widths.
class DatabaseReader {
public:
    explicit DatabaseReader(std::span<const uint8_t> bytes)
        : bytes(bytes)
    {
    }

    void ReadRecord(CELFrame& frame)
    {
        uint32_t selection = 0;
        if (!exhausted) {
            if (position >= bytes.size()) {
                exhausted = true;
            } else {
                const size_t length = bytes[position];
                if (bytes.size() - position - 1 < length) {
                    exhausted = true;
                } else {
                    const auto* name = bytes.data() + position + 1;
                    const auto* end = std::find(name, name + length, uint8_t { 0 });
                    frame.Name.assign(name, end);
                    position += 1 + length;
                    if (frame.WidthCount >= 2) {
                        if (position < bytes.size())
                            selection = bytes[position++];
                        else
                            exhausted = true;
                    }
                }
            }
        }
        // A stored position that is no longer below WidthCount is refused by SelectWidth,
        // leaving the first width.
        frame.SelectWidth(selection);
    }

    // The bytes taken so far, flag byte included; all of them once a record was cut.
    size_t Used() const { return exhausted ? bytes.size() : std::min(position, bytes.size()); }

private:
    std::span<const uint8_t> bytes;
    size_t position = 1; // after the flag byte
    bool exhausted = false;
};

} // namespace

uint64_t DatabaseFramesBound(std::span<const uint8_t> cel)
{
    // A CEL that loads has at least 5 bytes per frame; a larger count fails the load before
    // any record is read.
    if (cel.size() < 4)
        return 0;
    return std::min<uint64_t>(ReadWord32(cel, 0), cel.size() / 5);
}

std::string DatabaseFileName(const std::string& celPath)
{
    return celPath + ".cdb";
}

FrameCoding CodingFromName(const std::string& path)
{
    if (path.size() < 4)
        return FrameCoding::CEL;
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".cl2" ? FrameCoding::CL2 : FrameCoding::CEL;
}

uint8_t DatabaseFlag(const std::vector<uint8_t>* database, bool defaultWithHeaders)
{
    // An empty database has no flag byte: the caller's default stands.
    if (database != nullptr && !database->empty())
        return (*database)[0];
    return defaultWithHeaders ? 1 : 0;
}

uint8_t CELLayoutStatus(std::span<const uint8_t> cel, bool withHeaders)
{
    // All sizes in 64 bits: a hostile count must fail the size check, never wrap past it.
    const uint64_t size = cel.size();
    if (size < 4)
        return LoadTooShort;
    const uint64_t count = ReadWord32(cel, 0);
    if (count == 0)
        return LoadNoFrames;
    const uint64_t minimum = (withHeaders ? 15 : 5) * count + 8;
    if (size < minimum)
        return LoadTooShort;
    const uint64_t first = ReadWord32(cel, 4);
    const uint64_t last = ReadWord32(cel, 4 + 4 * count);
    if (first != 4 * count + 8 || last != size)
        return LoadBadOffsets;
    const uint64_t smallest = withHeaders ? FrameHeaderSize + 1 : 1;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t from = ReadWord32(cel, 4 + 4 * i);
        const uint64_t to = ReadWord32(cel, 8 + 4 * i);
        if (to < from + smallest)
            return LoadBadOffsets;
    }
    return LoadOK;
}

void SelectCommonWidth(std::span<CELObject* const> cels)
{
    // Votes in order of first appearance, so that a tie goes to the width met first.
    std::vector<std::pair<uint32_t, uint64_t>> votes;
    for (const CELObject* cel : cels) {
        for (const auto& slot : cel->Frames) {
            if (!slot || !slot->Frame)
                continue;
            const CELFrame& frame = *slot->Frame;
            if (!frame.Viewable() || frame.WidthCount != 1)
                continue;
            auto found = std::find_if(votes.begin(), votes.end(),
                [&](const auto& vote) { return vote.first == frame.Widths[0]; });
            if (found == votes.end())
                votes.emplace_back(frame.Widths[0], 1);
            else
                ++found->second;
        }
    }
    uint32_t common = 0;
    uint64_t most = 0;
    for (const auto& [width, count] : votes) {
        if (count > most) {
            most = count;
            common = width;
        }
    }
    for (CELObject* cel : cels) {
        for (const auto& slot : cel->Frames) {
            if (!slot || !slot->Frame)
                continue;
            CELFrame& frame = *slot->Frame;
            if (!frame.Viewable() || frame.WidthCount < 2)
                continue;
            uint32_t index = 0;
            while (index < frame.WidthCount && frame.Widths[index] != common)
                ++index;
            if (index == frame.WidthCount)
                index = 0;
            // Back to the first candidate (whose height is the pixel total's quotient), then
            // to the chosen one: SelectWidth derives the height from the current size.
            frame.SelectWidth(0);
            frame.SelectWidth(index);
        }
    }
}

std::unique_ptr<CELObject> CELObject::CreateEmpty(uint32_t count)
{
    auto cel = std::make_unique<CELObject>();
    cel->FrameCount = count;
    cel->Frames.resize(count);
    return cel;
}

std::unique_ptr<CELObject> CELObject::CreateFromFile(
    const std::string& path, bool defaultWithHeaders)
{
    return CreateFromFile(path, defaultWithHeaders, CodingFromName(path));
}

std::unique_ptr<CELObject> CELObject::CreateFromFile(
    const std::string& path, bool defaultWithHeaders, FrameCoding coding)
{
    auto cel = std::make_unique<CELObject>();
    std::vector<uint8_t> bytes;
    // Offsets are 32-bit: a larger file cannot have a valid offset table.
    const ReadResult read = ReadWholeFile(path, bytes, std::numeric_limits<uint32_t>::max());
    if (read == ReadResult::CannotOpen) {
        cel->Status = LoadCannotOpen;
        return cel;
    }
    if (read == ReadResult::TooLarge) {
        cel->Status = LoadBadOffsets;
        return cel;
    }
    // A database holds a flag byte and at most 257 bytes per frame: only that much of it can
    // be read, so a longer one is not taken into memory whole.
    const uint64_t frames = DatabaseFramesBound(bytes);
    std::vector<uint8_t> database;
    const bool hasDatabase
        = ReadFileHead(DatabaseFileName(path), database, 1 + 257 * frames) == ReadResult::Ok;
    cel->LoadFromBytes(bytes, hasDatabase ? &database : nullptr, defaultWithHeaders, coding);
    if (cel->Status == LoadOK)
        cel->FileName = path;
    return cel;
}

uint8_t CELObject::LoadFromBytes(std::span<const uint8_t> cel,
    const std::vector<uint8_t>* database, bool defaultWithHeaders, FrameCoding coding)
{
    size_t used = 0;
    const std::span<const uint8_t> databaseBytes = database != nullptr
        ? std::span<const uint8_t>(*database)
        : std::span<const uint8_t>();
    return LoadFromBytes(cel, database != nullptr, databaseBytes,
        DatabaseFlag(database, defaultWithHeaders), coding, used);
}

uint8_t CELObject::LoadFromBytes(std::span<const uint8_t> cel, bool hasDatabase,
    std::span<const uint8_t> databaseBytes, uint8_t withHeadersFlag, FrameCoding coding,
    size_t& databaseUsed)
{
    Frames.clear();
    FrameCount = 0;
    databaseUsed = 0;
    Coding = coding;
    HasDatabase = hasDatabase ? 1 : 0;
    auto fail = [this](uint8_t status) {
        Frames.clear();
        FrameCount = 0;
        Status = status;
        return status;
    };

    if (cel.size() < 4)
        return fail(LoadTooShort);
    const uint64_t count = ReadWord32(cel, 0);
    if (count == 0)
        return fail(LoadNoFrames);
    // A CL2 always has Frame Headers, whatever the flag byte says.
    WithHeaders = coding == FrameCoding::CL2 ? uint8_t { 1 } : withHeadersFlag;
    const bool withHeaders = WithHeaders == 1;
    const uint8_t layout = CELLayoutStatus(cel, withHeaders);
    if (layout != LoadOK)
        return fail(layout);

    Frames.reserve(static_cast<size_t>(count));
    DatabaseReader reader(HasDatabase ? databaseBytes : std::span<const uint8_t>());
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t from = ReadWord32(cel, 4 + 4 * i);
        const uint64_t to = ReadWord32(cel, 8 + 4 * i);
        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty(coding);
        slot->Frame->LoadData(
            cel.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)), withHeaders);
        if (HasDatabase)
            reader.ReadRecord(*slot->Frame);
        Frames.push_back(std::move(slot));
    }
    FrameCount = static_cast<uint32_t>(count);
    Status = LoadOK;
    if (HasDatabase)
        databaseUsed = reader.Used();
    else if (coding == FrameCoding::CL2) {
        CELObject* self = this;
        SelectCommonWidth(std::span<CELObject* const>(&self, 1));
    }
    return Status;
}

std::vector<uint8_t> CELObject::CELBytes() const
{
    const auto emptyFrame = CELFrame::CreateEmpty(Coding);
    const CELFrame& empty = *emptyFrame;
    const bool withHeaders = StoredWithHeaders();
    const uint64_t headerBytes = withHeaders ? FrameHeaderSize : 0;
    uint64_t total = 4 + 4 * (uint64_t { FrameCount } + 1);
    for (uint32_t i = 0; i < FrameCount; ++i)
        total += headerBytes + StoredLength(FrameAt(Frames, i, empty));
    // Offsets are 32-bit: a CEL that large cannot be stored, which the empty result says.
    if (FrameCount == 0 || total > std::numeric_limits<uint32_t>::max())
        return {};

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    AppendWord32(out, FrameCount);
    uint64_t position = 4 * uint64_t { FrameCount } + 8;
    for (uint32_t i = 0; i < FrameCount; ++i) {
        AppendWord32(out, static_cast<uint32_t>(position));
        position += headerBytes + StoredLength(FrameAt(Frames, i, empty));
    }
    AppendWord32(out, static_cast<uint32_t>(position));
    for (uint32_t i = 0; i < FrameCount; ++i)
        FrameAt(Frames, i, empty).SaveData(out, withHeaders);
    return out;
}

std::vector<uint8_t> CELObject::DatabaseBytes() const
{
    const auto emptyFrame = CELFrame::CreateEmpty(Coding);
    const CELFrame& empty = *emptyFrame;
    std::vector<uint8_t> out;
    out.push_back(Coding == FrameCoding::CL2 ? uint8_t { 1 } : WithHeaders);
    for (uint32_t i = 0; i < FrameCount; ++i) {
        const CELFrame& frame = FrameAt(Frames, i, empty);
        // The length byte counts the name's bytes; a longer name has no stored form, and a
        // truncated length byte would shift every later record.
        if (frame.Name.size() > 255)
            return {};
        out.push_back(static_cast<uint8_t>(frame.Name.size()));
        out.insert(out.end(), frame.Name.begin(), frame.Name.end());
        if (frame.WidthCount > 1)
            out.push_back(frame.WidthIndex);
    }
    return out;
}

bool CELObject::Readable() const
{
    // The reader wants at least one data byte per frame (with a Frame Header, 11 bytes in
    // all): a frame with no data, as an image 0 pixels high encodes to, would make it refuse
    // the whole file, every other frame with it.
    // A frame of the other coding would be read back as different pixels.
    const auto emptyFrame = CELFrame::CreateEmpty(Coding);
    for (uint32_t i = 0; i < FrameCount; ++i) {
        const CELFrame& frame = FrameAt(Frames, i, *emptyFrame);
        if (StoredLength(frame) == 0 || frame.Coding != Coding)
            return false;
    }
    return true;
}

uint8_t CELObject::SaveToFile()
{
    if (FrameCount == 0)
        return SaveNoFrames;
    if (FileName.empty() || GroupIndex >= 0)
        return SaveCannotWriteCEL;
    if (!Readable())
        return SaveCannotWriteCEL;
    const std::vector<uint8_t> bytes = CELBytes();
    if (bytes.empty() || !WriteFileAtomically(FileName, bytes))
        return SaveCannotWriteCEL;

    const std::string databasePath = DatabaseFileName(FileName);
    if (HasDatabase == 0) {
        // A database left behind would give the frames wrong names and widths next time.
        return DeleteFileIfExists(databasePath) ? SaveOK : SaveCannotWriteDatabase;
    }
    const std::vector<uint8_t> database = DatabaseBytes();
    if (database.empty() || !WriteFileAtomically(databasePath, database))
        return SaveCannotWriteDatabase;
    return SaveOK;
}

void CELObject::Dispose(bool freeFrames)
{
    FileName.clear();
    if (freeFrames) {
        for (auto& slot : Frames) {
            if (slot)
                slot->Frame.reset();
        }
    }
    Frames.clear();
    FrameCount = 0;
}
