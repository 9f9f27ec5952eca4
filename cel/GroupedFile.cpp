#include "cel/GroupedFile.h"

#include <limits>

#include "frames/FileIO.h"

namespace {

std::span<const uint8_t> GroupBytes(
    std::span<const uint8_t> bytes, const std::vector<uint32_t>& offsets, size_t g)
{
    const size_t from = offsets[g];
    const size_t to = g + 1 < offsets.size() ? offsets[g + 1] : bytes.size();
    return bytes.subspan(from, to - from);
}

// How many database bytes the groups of bytes can use: a flag byte and 257 bytes per frame
// that can load, per group; for a plain file, as CreateFromFile reads.
uint64_t DatabaseBound(std::span<const uint8_t> bytes)
{
    uint64_t bound = 1 + 257 * DatabaseFramesBound(bytes);
    std::vector<uint32_t> offsets;
    if (ParseGroupTable(bytes, offsets)) {
        uint64_t grouped = 0;
        for (size_t g = 0; g < offsets.size(); ++g)
            grouped += 1 + 257 * DatabaseFramesBound(GroupBytes(bytes, offsets, g));
        bound = std::max(bound, grouped);
    }
    return bound;
}

} // namespace

std::vector<const CELObject*> SpriteFile::GroupList() const
{
    std::vector<const CELObject*> list;
    for (const auto& group : Groups)
        list.push_back(group.get());
    return list;
}

uint64_t SpriteFile::FrameTotal() const
{
    uint64_t total = 0;
    for (const auto& group : Groups)
        total += group->FrameCount;
    return total;
}

bool ParseGroupTable(std::span<const uint8_t> bytes, std::vector<uint32_t>& offsets)
{
    offsets.clear();
    const uint64_t size = bytes.size();
    if (size < 4)
        return false;
    const uint64_t first = ReadWord32(bytes, 0);
    // The first offset is the table's own size: at least one entry, whole entries, and (being
    // below the file size) a table that fits in the file.
    if (first < 4 || first % 4 != 0 || first >= size)
        return false;
    const uint64_t count = first / 4;
    uint64_t previous = 0;
    for (uint64_t g = 0; g < count; ++g) {
        const uint64_t offset = ReadWord32(bytes, 4 * g);
        if ((g > 0 && offset <= previous) || offset >= size) {
            offsets.clear();
            return false;
        }
        offsets.push_back(static_cast<uint32_t>(offset));
        previous = offset;
    }
    return true;
}

uint8_t LoadSpriteBytes(std::span<const uint8_t> bytes, const std::vector<uint8_t>* database,
    bool defaultWithHeaders, FrameCoding coding, SpriteFile& file)
{
    file.Groups.clear();
    file.Grouped = false;
    file.Coding = coding;

    auto plain = std::make_unique<CELObject>();
    const uint8_t status = plain->LoadFromBytes(bytes, database, defaultWithHeaders, coding);
    if (status == LoadOK) {
        file.Groups.push_back(std::move(plain));
        return file.Status = LoadOK;
    }
    file.Status = status;
    std::vector<uint32_t> offsets;
    if ((status != LoadTooShort && status != LoadBadOffsets) || !ParseGroupTable(bytes, offsets))
        return status;

    const uint8_t flag = DatabaseFlag(database, defaultWithHeaders);
    const std::span<const uint8_t> databaseBytes
        = database != nullptr ? std::span<const uint8_t>(*database) : std::span<const uint8_t>();
    size_t at = 0;
    std::vector<std::unique_ptr<CELObject>> groups;
    for (size_t g = 0; g < offsets.size(); ++g) {
        auto group = std::make_unique<CELObject>();
        size_t used = 0;
        if (group->LoadFromBytes(GroupBytes(bytes, offsets, g), database != nullptr,
                databaseBytes.subspan(at), flag, coding, used)
            != LoadOK)
            return status; // the plain status stands
        at += used;
        group->GroupIndex = static_cast<int32_t>(g);
        groups.push_back(std::move(group));
    }
    if (database == nullptr && coding == FrameCoding::CL2) {
        std::vector<CELObject*> all;
        for (auto& group : groups)
            all.push_back(group.get());
        SelectCommonWidth(all);
    }
    file.Groups = std::move(groups);
    file.Grouped = true;
    return file.Status = LoadOK;
}

SpriteFile LoadSpriteFile(const std::string& path, bool defaultWithHeaders)
{
    return LoadSpriteFile(path, defaultWithHeaders, CodingFromName(path));
}

SpriteFile LoadSpriteFile(const std::string& path, bool defaultWithHeaders, FrameCoding coding)
{
    SpriteFile file;
    file.Coding = coding;
    std::vector<uint8_t> bytes;
    // Offsets are 32-bit: a larger file cannot have a valid offset table.
    const ReadResult read = ReadWholeFile(path, bytes, std::numeric_limits<uint32_t>::max());
    if (read == ReadResult::CannotOpen) {
        file.Status = LoadCannotOpen;
        return file;
    }
    if (read == ReadResult::TooLarge) {
        file.Status = LoadBadOffsets;
        return file;
    }
    std::vector<uint8_t> database;
    const bool hasDatabase
        = ReadFileHead(DatabaseFileName(path), database, DatabaseBound(bytes)) == ReadResult::Ok;
    LoadSpriteBytes(bytes, hasDatabase ? &database : nullptr, defaultWithHeaders, coding, file);
    for (auto& group : file.Groups)
        group->FileName = path;
    return file;
}

std::vector<uint8_t> GroupedFileBytes(std::span<const CELObject* const> groups)
{
    if (groups.empty())
        return {};
    std::vector<std::vector<uint8_t>> parts;
    uint64_t total = 4 * uint64_t { groups.size() };
    for (const CELObject* group : groups) {
        parts.push_back(group->CELBytes());
        if (parts.back().empty())
            return {};
        total += parts.back().size();
    }
    if (total > std::numeric_limits<uint32_t>::max())
        return {};
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    uint64_t offset = 4 * uint64_t { groups.size() };
    for (const auto& part : parts) {
        AppendWord32(out, static_cast<uint32_t>(offset));
        offset += part.size();
    }
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

std::vector<uint8_t> GroupedDatabaseBytes(std::span<const CELObject* const> groups)
{
    std::vector<uint8_t> out;
    for (const CELObject* group : groups) {
        std::vector<uint8_t> part = group->DatabaseBytes();
        if (part.empty())
            return {};
        if (!out.empty())
            part[0] = out[0];
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

uint8_t SpriteFileProblem(std::span<const CELObject* const> groups, bool grouped)
{
    if (groups.empty())
        return SaveNoFrames;
    if (!grouped && groups.size() != 1)
        return SaveCannotWriteCEL;
    for (const CELObject* group : groups) {
        if (group == nullptr || group->FrameCount == 0)
            return SaveNoFrames;
        if (!group->Readable() || group->Coding != groups[0]->Coding
            || group->StoredWithHeaders() != groups[0]->StoredWithHeaders())
            return SaveCannotWriteCEL;
    }
    return SaveOK;
}

uint8_t SaveSpriteFile(
    const std::string& path, std::span<const CELObject* const> groups, bool grouped)
{
    const uint8_t problem = SpriteFileProblem(groups, grouped);
    if (problem != SaveOK)
        return problem;
    if (path.empty())
        return SaveCannotWriteCEL;
    const std::vector<uint8_t> bytes = grouped ? GroupedFileBytes(groups) : groups[0]->CELBytes();
    if (bytes.empty())
        return SaveCannotWriteCEL;
    // The reader tries a plain file first: grouped bytes that happen to form a sound plain
    // table (read with the file's own Frame Header flag) would come back as one CEL of other
    // frames.
    if (grouped) {
        const uint8_t plain = CELLayoutStatus(bytes, groups[0]->StoredWithHeaders());
        if (plain != LoadTooShort && plain != LoadBadOffsets)
            return SaveCannotWriteCEL;
    }
    if (!WriteFileAtomically(path, bytes))
        return SaveCannotWriteCEL;

    const std::string databasePath = DatabaseFileName(path);
    bool withDatabase = false;
    for (const CELObject* group : groups)
        withDatabase = withDatabase || group->HasDatabase == 1;
    if (!withDatabase)
        return DeleteFileIfExists(databasePath) ? SaveOK : SaveCannotWriteDatabase;
    const std::vector<uint8_t> database
        = grouped ? GroupedDatabaseBytes(groups) : groups[0]->DatabaseBytes();
    if (database.empty() || !WriteFileAtomically(databasePath, database))
        return SaveCannotWriteDatabase;
    return SaveOK;
}
