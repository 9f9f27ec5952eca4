#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How ParseLine classifies one line of an INI file.
enum class LineKind : uint8_t { Skip = 0, Entry = 1, Group = 2, Bad = 3 };

// Reads a small text file of "name = value" lines, optionally split into "[group]" sections.
// The whole file is validated before anything is kept: one malformed line, a repeated name
// within a section, a repeated group name or a file without any entry makes Open fail. Every
// failure is only recorded in LastError; getters fall back to the caller's default.
//
// Lookups search one section: the entries before the first group line when there are any,
// otherwise the entries of the first group. Later groups are validated but never searched.
//
// Calling order: construct, Open; only after a successful Open any number of getters, then
// Close. A lookup made at another time finds nothing and returns its default.
class INIToRead {
public:
    // Create: no contents, all counters zero, options off.
    INIToRead();
    ~INIToRead();
    INIToRead(const INIToRead&) = delete;
    INIToRead& operator=(const INIToRead&) = delete;

    // Reads, validates and indexes the file. Releases earlier contents first. True on
    // success, with LastError emptied; false with LastError telling why.
    bool Open(const std::string& fileName);
    // The same on the bytes of a file already in memory; Open reads the file and calls this.
    bool OpenBytes(std::span<const uint8_t> bytes);

    // Optional "-" then decimal digits; 32-bit arithmetic that wraps, no range check.
    int32_t GetInteger(const std::string& name, int32_t defaultValue);
    // Decimal digits only ("0" included); 32-bit arithmetic that wraps.
    uint32_t GetPositive(const std::string& name, uint32_t defaultValue);
    // The stored value unchanged, which may be empty.
    std::string GetString(const std::string& name, const std::string& defaultValue);

    // Releases the contents of a loaded reader; on a reader that holds nothing, records
    // "File is not open". Counters and Loaded stay as they were.
    void Close();

    // Classifies a line and rewrites it into its normal form: the bare group name for a
    // group line, "name=value" (or the bare name when the value is empty) for an entry.
    // A Bad line leaves its reason in LastError.
    LineKind ParseLine(std::string& line);
    // Non-empty and free of blank, ";", "=", "[" and "]". Any other byte, tab included, is
    // allowed; names compare byte for byte.
    static bool IsValidName(std::string_view name);
    // Index + 1 of the entry named so in the current section, or 0.
    uint32_t FindEntry(const std::string& name) const;
    // The names of the section that lookups search, in file order; empty when nothing is
    // loaded. Lets a caller look for a family of keys without trying every possible name.
    std::span<const std::string> SearchedNames() const;
    // Releases the five arrays (and the lookup index built from them).
    void FreeContents();

    std::vector<std::string> GroupNames;
    std::vector<uint32_t> GroupStart; // first entry of each group
    std::vector<uint32_t> GroupSize; // entries of each group
    std::vector<std::string> EntryNames; // all entries, in file order
    std::vector<std::string> EntryValues; // same index; empty when nothing followed "="
    uint32_t CurrentGroup = 0; // a group index, or NumGroups for the global section
    uint32_t NumGroups = 0;
    uint32_t NumGlobal = 0; // entries before the first group
    bool Loaded = false;
    std::string LastError;
    bool ValueComments = false; // a ";" after the value's first character ends the value
    bool EmptyIsZero = false; // an empty value makes the numeric getters return 0

    // Files above this size are refused as unreadable; a settings file holds a few dozen
    // short lines, so this only keeps a stray huge file from exhausting memory.
    static constexpr uint64_t MaxFileSize = 64ull * 1024 * 1024;

private:
    // Section bounds [first, end) of CurrentGroup, clipped to the arrays actually held.
    bool SectionRange(uint32_t& first, uint32_t& end) const;
    void ResetCounters();
    // The value of a numeric entry, ready for its digits to be read; nullptr when the entry
    // is missing or empty ("" or a lone "-"), with LastError set and empty telling which.
    const std::string* NumericValue(const std::string& name, bool& empty);

    // Name -> index of the section chosen at the end of Open, so that lookups stay cheap
    // even on a very large file. Views point into EntryNames, which is never resized while
    // the index exists.
    mutable std::unordered_map<std::string_view, uint32_t> lookupIndex;
    mutable uint32_t indexedGroup = 0;
    mutable bool indexBuilt = false;
};
