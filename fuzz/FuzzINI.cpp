// The INI reader, fed through a scratch file. The input is the file.
//
// Open either fails with one of the reader's own error texts, or succeeds with arrays that
// agree with its counters; then every entry of the section that lookups search is found with
// its value, the numeric getters agree with a plain reference parse of that value, and an
// entry of a later group is never found.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "settings/INIHandler.h"
#include "settings/Settings.h"

namespace {

const std::set<std::string> OpenErrors = {
    "Cannot read INI file",
    "File does not contain any entry",
    "Void entry name",
    "Row without \"=\"",
    "Invalid entry name",
    "Unfinished group name",
    "Void group name",
    "Invalid group name",
    "Garbage after a group name",
    "Repeating entry name",
    "Repeating group name",
};

// The numeric getters, written out the slow, obvious way: nullopt means "the default".
std::optional<uint32_t> ReferenceNumber(const std::string& value, bool allowMinus)
{
    if (value.empty() || value == "-")
        return std::nullopt;
    size_t start = allowMinus && value[0] == '-' ? 1 : 0;
    uint32_t number = 0;
    for (size_t i = start; i < value.size(); ++i) {
        if (value[i] < '0' || value[i] > '9')
            return std::nullopt;
        number = number * 10u + static_cast<uint32_t>(value[i] - '0');
    }
    return start == 1 ? 0u - number : number;
}

void CheckLookups(INIToRead& ini)
{
    FuzzCheck(ini.GroupNames.size() == ini.NumGroups && ini.GroupStart.size() == ini.NumGroups
            && ini.GroupSize.size() == ini.NumGroups,
        "group arrays differ from NumGroups");
    FuzzCheck(ini.EntryNames.size() == ini.EntryValues.size(), "entry arrays differ in size");
    FuzzCheck(!ini.EntryNames.empty(), "a loaded file without entries");
    uint32_t first = 0;
    uint32_t end = ini.NumGlobal;
    if (ini.NumGlobal == 0) {
        FuzzCheck(ini.NumGroups > 0 && ini.CurrentGroup == 0, "no section to search");
        first = ini.GroupStart[0];
        end = first + ini.GroupSize[0];
    } else {
        FuzzCheck(ini.CurrentGroup == ini.NumGroups, "global entries but a group is searched");
    }
    FuzzCheck(first <= end && end <= ini.EntryNames.size(), "section outside the entries");

    std::set<std::string> searched(ini.EntryNames.begin() + first, ini.EntryNames.begin() + end);
    const std::string sentinel = "\x01 not a value";
    for (uint32_t i = first; i < end && i < first + 32; ++i) {
        const std::string name = ini.EntryNames[i];
        const std::string value = ini.EntryValues[i];
        FuzzCheck(INIToRead::IsValidName(name), "an invalid name was kept");
        FuzzCheck(ini.FindEntry(name) == i + 1, "FindEntry misses an entry of the section");
        FuzzCheck(ini.GetString(name, sentinel) == value, "GetString differs from the value");
        auto integer = ReferenceNumber(value, true);
        int32_t gotInteger = ini.GetInteger(name, 123456789);
        FuzzCheck(gotInteger == (integer ? static_cast<int32_t>(*integer) : 123456789),
            "GetInteger differs from the reference parse");
        auto positive = ReferenceNumber(value, false);
        uint32_t gotPositive = ini.GetPositive(name, 987654321u);
        FuzzCheck(gotPositive == positive.value_or(987654321u),
            "GetPositive differs from the reference parse");
    }
    for (uint32_t i = 0; i < ini.EntryNames.size() && i < 64; ++i) {
        if (searched.count(ini.EntryNames[i]))
            continue;
        FuzzCheck(ini.GetString(ini.EntryNames[i], sentinel) == sentinel,
            "an entry outside the searched section was found");
        FuzzCheck(ini.LastError == "Value is not found", "wrong text for a missing string");
    }
    if (!searched.count("MainWidth")) {
        FuzzCheck(ini.GetInteger("MainWidth", -7) == -7, "a missing integer not defaulted");
        FuzzCheck(ini.LastError == "Entry is not found", "wrong text for a missing integer");
    }
}

// The settings readers on the same file: each reads it exactly when the reader opens it, and
// never takes more stored CELs than it has flags for.
void CheckSettingsReaders(const std::string& path, bool opened)
{
    MainSettings main;
    FuzzCheck(ReadMainSettings(path, main) == opened, "ReadMainSettings disagrees with Open");
    FuzzCheck(main.UnnamedHeaders.size() == (opened ? main.Unnamed : 0),
        "the stored-CEL flags differ from their count");
    ViewerSettings viewer;
    FuzzCheck(ReadViewerSettings(path, viewer) == opened, "ReadViewerSettings disagrees with Open");
    PaletteSettings palette;
    FuzzCheck(
        ReadPaletteSettings(path, palette) == opened, "ReadPaletteSettings disagrees with Open");
    WindowPlacement frame;
    FuzzCheck(ReadFrameSettings(path, frame) == opened, "ReadFrameSettings disagrees with Open");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = FuzzScratchPath(".ini");
    FuzzWriteFile(path, data, size);

    INIToRead ini;
    bool opened = ini.Open(path);
    FuzzCheck(opened == ini.Loaded, "Open's result differs from Loaded");
    CheckSettingsReaders(path, opened);
    if (!opened) {
        FuzzCheck(OpenErrors.count(ini.LastError) == 1, "Open failed with an unknown text");
        FuzzCheck(ini.GetString("MainWidth", "d") == "d", "a failed reader answered a lookup");
        return 0;
    }
    FuzzCheck(ini.LastError.empty(), "a successful Open left an error text");
    CheckLookups(ini);
    ini.Close();

    // Opening again releases the earlier contents and must give the same result.
    FuzzCheck(ini.Open(path), "the same file failed the second time");
    ini.Close();
    return 0;
}
