#include "settings/INIHandler.h"

#include <array>
#include <unordered_set>
#include <utility>

#include "frames/FileIO.h"

namespace {

constexpr char Blank = ' ';

// Sections up to this size are searched by a plain scan; larger ones get a hash index so that
// a hostile file with a huge section cannot make a series of lookups quadratic.
constexpr uint32_t LinearLookupLimit = 32;

const char* const RowWithoutEquals = "Row without \"=\"";

// Calls visit(line) for each line of text, stopping early when visit returns false. A line
// ends at LF; a CR right before the LF, or at the very end of the text, belongs to the line
// end, so files with CR LF and with LF line ends read alike, and a last line without a line
// end is read like any other. Returns false when visit stopped the walk.
template <typename Visit> bool ForEachLine(std::string_view text, Visit&& visit)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t next = end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
            next = end;
        }
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        if (!visit(text.substr(start, stop - start)))
            return false;
        start = next;
    }
    return true;
}

// Empties a container and gives its memory back. (Assigning "{}" would pick the
// initializer-list overload, which keeps the memory and, for hash containers, costs the
// full bucket count every time.)
template <typename Container> void Release(Container& container)
{
    Container().swap(container);
}

// Reads decimal digits into result; false at the first byte that is not a digit. Unsigned
// arithmetic: the value wraps at 32 bits without undefined behaviour.
bool AccumulateDigits(std::string_view digits, uint32_t& result)
{
    result = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return false;
        result = result * 10u + static_cast<uint32_t>(c - '0');
    }
    return true;
}

} // namespace

INIToRead::INIToRead() = default;

INIToRead::~INIToRead()
{
    if (Loaded)
        FreeContents();
}

void INIToRead::ResetCounters()
{
    CurrentGroup = 0;
    NumGroups = 0;
    NumGlobal = 0;
    Loaded = false;
}

void INIToRead::FreeContents()
{
    Release(lookupIndex);
    indexBuilt = false;
    Release(GroupNames);
    Release(GroupStart);
    Release(GroupSize);
    Release(EntryNames);
    Release(EntryValues);
}

bool INIToRead::IsValidName(std::string_view name)
{
    // One table look-up per byte instead of five comparisons: names are checked twice per
    // line on every Open.
    static constexpr std::array<bool, 256> Forbidden = [] {
        std::array<bool, 256> table {};
        for (unsigned char c : { ' ', ';', '=', '[', ']' })
            table[c] = true;
        return table;
    }();
    if (name.empty())
        return false;
    for (char c : name) {
        if (Forbidden[static_cast<unsigned char>(c)])
            return false;
    }
    return true;
}

LineKind INIToRead::ParseLine(std::string& line)
{
    if (line.empty())
        return LineKind::Skip;
    const size_t first = line.find_first_not_of(Blank);
    if (first == std::string::npos) {
        // Only blanks: not skipped like an empty line, but an entry line without "=".
        LastError = RowWithoutEquals;
        return LineKind::Bad;
    }
    const char lead = line[first];
    if (lead == ';')
        return LineKind::Skip;
    if (lead == '=') {
        LastError = "Void entry name";
        return LineKind::Bad;
    }
    if (lead == '[') {
        const size_t close = line.find(']', first + 1);
        if (close == std::string::npos) {
            LastError = "Unfinished group name";
            return LineKind::Bad;
        }
        if (close == first + 1) {
            LastError = "Void group name";
            return LineKind::Bad;
        }
        // Blanks inside the brackets are not trimmed: "[ Main ]" is an invalid name.
        std::string name = line.substr(first + 1, close - first - 1);
        if (!IsValidName(name)) {
            LastError = "Invalid group name";
            return LineKind::Bad;
        }
        const size_t after = line.find_first_not_of(Blank, close + 1);
        if (after != std::string::npos && line[after] != ';') {
            LastError = "Garbage after a group name";
            return LineKind::Bad;
        }
        line = std::move(name);
        return LineKind::Group;
    }

    const size_t equals = line.find('=', first + 1);
    if (equals == std::string::npos) {
        LastError = RowWithoutEquals;
        return LineKind::Bad;
    }
    size_t nameEnd = equals;
    while (nameEnd > first && line[nameEnd - 1] == Blank)
        --nameEnd;
    const std::string_view name(line.data() + first, nameEnd - first);
    if (!IsValidName(name)) {
        LastError = "Invalid entry name";
        return LineKind::Bad;
    }
    const size_t valueStart = line.find_first_not_of(Blank, equals + 1);
    if (valueStart == std::string::npos) {
        // Nothing after "=": the bare name stands for an entry with an empty value.
        line = std::string(name);
        return LineKind::Entry;
    }
    // Only the first "=" separates; further ones, and any ";", belong to the value unless
    // value comments are on.
    size_t valueEnd = line.find_last_not_of(Blank) + 1;
    if (ValueComments) {
        const size_t semicolon = line.find(';', valueStart + 1);
        if (semicolon != std::string::npos)
            valueEnd = semicolon;
    }
    // Rewritten in place: the name moves to the front, the value follows the "=". Both
    // moves go leftwards, so nothing is overwritten before it is copied.
    const size_t nameLength = name.size();
    const size_t valueLength = valueEnd - valueStart;
    // A line already in its normal form ("name=value", the usual case) moves nothing.
    if (first != 0)
        line.replace(0, nameLength, name);
    line[nameLength] = '=';
    if (valueStart != nameLength + 1)
        line.replace(nameLength + 1, valueLength, line, valueStart, valueLength);
    line.resize(nameLength + 1 + valueLength);
    return LineKind::Entry;
}

bool INIToRead::Open(const std::string& fileName)
{
    if (Loaded)
        FreeContents();
    // Reset even when not loaded: a failed Open may have left counts of its counting pass.
    ResetCounters();

    std::vector<uint8_t> bytes;
    if (ReadWholeFile(fileName, bytes, MaxFileSize) != ReadResult::Ok) {
        LastError = "Cannot read INI file";
        return false;
    }
    return OpenBytes(bytes);
}

bool INIToRead::OpenBytes(std::span<const uint8_t> bytes)
{
    if (Loaded)
        FreeContents();
    ResetCounters();
    if (bytes.size() > MaxFileSize) {
        LastError = "Cannot read INI file";
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::string line;

    // Counting pass: validates every line and counts, storing nothing.
    uint32_t entryCount = 0;
    uint32_t groupCount = 0;
    const bool wellFormed = ForEachLine(text, [&](std::string_view raw) {
        line.assign(raw);
        switch (ParseLine(line)) {
        case LineKind::Entry:
            ++entryCount;
            break;
        case LineKind::Group:
            ++groupCount;
            break;
        case LineKind::Bad:
            return false;
        case LineKind::Skip:
            break;
        }
        return true;
    });
    NumGroups = groupCount;
    if (!wellFormed) {
        ResetCounters();
        return false;
    }
    if (entryCount == 0) {
        ResetCounters();
        LastError = "File does not contain any entry";
        return false;
    }

    // Filling pass: every array is allocated once at its exact size.
    GroupNames.resize(NumGroups);
    GroupStart.resize(NumGroups);
    GroupSize.resize(NumGroups);
    EntryNames.resize(entryCount);
    EntryValues.resize(entryCount);
    CurrentGroup = NumGroups;
    uint32_t e = 0;
    // The names seen so far in the current section and in the file's group lines. The views
    // point into EntryNames and GroupNames, which are not resized during the pass. A hash set
    // gives the same verdict as comparing with every earlier name, in linear time.
    std::unordered_set<std::string_view> sectionNames;
    std::unordered_set<std::string_view> groupNames;
    sectionNames.reserve(entryCount); // the global section may hold every entry
    auto fail = [&](const char* reason) {
        FreeContents();
        ResetCounters();
        LastError = reason;
        return false;
    };
    const bool filled = ForEachLine(text, [&](std::string_view raw) {
        line.assign(raw);
        const LineKind kind = ParseLine(line);
        if (kind == LineKind::Entry) {
            if (e >= EntryNames.size())
                return fail("Cannot read INI file");
            const size_t equals = line.find('=');
            if (equals == std::string::npos) {
                EntryValues[e].clear();
            } else {
                EntryValues[e].assign(line, equals + 1);
                line.resize(equals);
            }
            EntryNames[e] = std::move(line);
            if (!sectionNames.insert(EntryNames[e]).second)
                return fail("Repeating entry name");
            if (CurrentGroup == NumGroups)
                ++NumGlobal;
            else
                ++GroupSize[CurrentGroup];
            ++e;
        } else if (kind == LineKind::Group) {
            const uint32_t next = CurrentGroup == NumGroups ? 0 : CurrentGroup + 1;
            if (next >= NumGroups)
                return fail("Cannot read INI file");
            CurrentGroup = next;
            GroupSize[CurrentGroup] = 0;
            GroupStart[CurrentGroup] = e;
            GroupNames[CurrentGroup] = std::move(line);
            if (!groupNames.insert(GroupNames[CurrentGroup]).second)
                return fail("Repeating group name");
            // A fresh set rather than clear(): clear() costs the bucket count, which stays
            // as large as the biggest section seen.
            Release(sectionNames);
        }
        return true;
    });
    if (!filled)
        return false;

    LastError.clear();
    Loaded = true;
    CurrentGroup = NumGlobal > 0 ? NumGroups : 0;
    return true;
}

bool INIToRead::SectionRange(uint32_t& first, uint32_t& end) const
{
    uint64_t begin = 0;
    uint64_t stop = 0;
    if (CurrentGroup == NumGroups) {
        stop = NumGlobal;
    } else if (CurrentGroup < NumGroups && CurrentGroup < GroupStart.size()
        && CurrentGroup < GroupSize.size()) {
        begin = GroupStart[CurrentGroup];
        stop = begin + GroupSize[CurrentGroup];
    } else {
        return false;
    }
    // After Close, or after a failed Open, the arrays are gone while counters may remain.
    if (stop > EntryNames.size() || stop > EntryValues.size())
        return false;
    first = static_cast<uint32_t>(begin);
    end = static_cast<uint32_t>(stop);
    return true;
}

std::span<const std::string> INIToRead::SearchedNames() const
{
    uint32_t first = 0;
    uint32_t end = 0;
    if (!Loaded || !SectionRange(first, end))
        return {};
    return std::span<const std::string>(EntryNames).subspan(first, end - first);
}

uint32_t INIToRead::FindEntry(const std::string& name) const
{
    uint32_t first = 0;
    uint32_t end = 0;
    if (!SectionRange(first, end))
        return 0;
    if (end - first <= LinearLookupLimit) {
        for (uint32_t i = first; i < end; ++i) {
            if (EntryNames[i] == name)
                return i + 1;
        }
        return 0;
    }
    if (!indexBuilt || indexedGroup != CurrentGroup) {
        Release(lookupIndex);
        lookupIndex.reserve(end - first);
        // try_emplace keeps the first of equal names, as a scan in file order would.
        for (uint32_t i = first; i < end; ++i)
            lookupIndex.try_emplace(EntryNames[i], i);
        indexedGroup = CurrentGroup;
        indexBuilt = true;
    }
    const auto found = lookupIndex.find(name);
    return found == lookupIndex.end() ? 0 : found->second + 1;
}

const std::string* INIToRead::NumericValue(const std::string& name, bool& empty)
{
    empty = false;
    const uint32_t index = FindEntry(name);
    if (index == 0) {
        LastError = "Entry is not found";
        return nullptr;
    }
    const std::string& value = EntryValues[index - 1];
    if (value.empty() || value == "-") {
        LastError = "Value is empty";
        empty = true;
        return nullptr;
    }
    return &value;
}

int32_t INIToRead::GetInteger(const std::string& name, int32_t defaultValue)
{
    bool empty = false;
    const std::string* value = NumericValue(name, empty);
    if (value == nullptr)
        return empty && EmptyIsZero ? 0 : defaultValue;
    const bool negative = (*value)[0] == '-';
    uint32_t result = 0;
    if (!AccumulateDigits(std::string_view(*value).substr(negative ? 1 : 0), result)) {
        LastError = "Value is not integer";
        return defaultValue;
    }
    if (negative)
        result = 0u - result;
    return static_cast<int32_t>(result);
}

uint32_t INIToRead::GetPositive(const std::string& name, uint32_t defaultValue)
{
    bool empty = false;
    const std::string* value = NumericValue(name, empty);
    if (value == nullptr)
        return empty && EmptyIsZero ? 0 : defaultValue;
    uint32_t result = 0;
    if (!AccumulateDigits(*value, result)) {
        LastError = "Value is not a positive integer";
        return defaultValue;
    }
    return result;
}

std::string INIToRead::GetString(const std::string& name, const std::string& defaultValue)
{
    const uint32_t index = FindEntry(name);
    if (index == 0) {
        LastError = "Value is not found";
        return defaultValue;
    }
    return EntryValues[index - 1];
}

void INIToRead::Close()
{
    if (Loaded)
        FreeContents();
    else
        LastError = "File is not open";
}
