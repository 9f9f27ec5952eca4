// The INI reader and the settings readers, fed from memory. The input is the file.
//
// Open either fails with one of the reader's own error texts, or succeeds with arrays that
// agree with its counters; then every entry of the section that lookups search is found with
// its value, the numeric getters agree with a plain reference parse of that value, and an
// entry of a later group is never found.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
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

// The settings readers on the same bytes: each reads them exactly when the reader opens them,
// and never takes more stored CELs than it has flags for. Every flag it keeps is the value
// its key gives in the file.
void CheckMainReader(std::span<const uint8_t> file, INIToRead& ini, bool opened)
{
    MainSettings main;
    FuzzCheck(ReadMainSettingsFromBytes(file, main) == opened,
        "ReadMainSettings disagrees with Open");
    FuzzCheck(main.UnnamedHeaders.size() == (opened ? main.Unnamed : 0),
        "the stored-CEL flags differ from their count");
    FuzzCheck(main.Unnamed <= MaxStoredUnnamed, "more stored CELs than the bound");
    if (opened) {
        FuzzCheck(main.Unnamed == std::min(ini.GetPositive("Unnamed", 0), MaxStoredUnnamed),
            "Unnamed differs from its getter");
        // The flags are found by walking the file's names; the first few are checked here
        // against a lookup of each key by its full name.
        for (uint32_t n = 0; n < main.Unnamed && n < 64; ++n)
            FuzzCheck(main.UnnamedHeaders[n]
                    == (ini.GetPositive("UnnHH" + std::to_string(n), 0) != 0),
                "a stored-CEL flag differs from its key");
        for (const std::string& name : ini.SearchedNames()) {
            if (name.rfind("UnnHH", 0) != 0 || name.size() > 14)
                continue;
            uint32_t n = 0;
            bool canonical = name.size() > 5 && (name.size() == 6 || name[5] != '0');
            for (size_t i = 5; i < name.size() && canonical; ++i) {
                canonical = name[i] >= '0' && name[i] <= '9';
                n = n * 10 + static_cast<uint32_t>(name[i] - '0');
            }
            if (canonical && n < main.Unnamed)
                FuzzCheck(main.UnnamedHeaders[n] == (ini.GetPositive(name, 0) != 0),
                    "a stored-CEL flag of the file was not taken");
        }
    }
}

// Each settings reader opens the file again, which costs as much as the open under test: the
// four readers take turns by the input's length, each on an eighth of the inputs, and half
// of the inputs go to none of them.
void CheckSettingsReaders(std::span<const uint8_t> file, INIToRead& ini, bool opened)
{
    switch (file.size() % 8) {
    case 0:
        CheckMainReader(file, ini, opened);
        break;
    case 1: {
        ViewerSettings viewer;
        FuzzCheck(ReadViewerSettingsFromBytes(file, viewer) == opened,
            "ReadViewerSettings disagrees with Open");
        break;
    }
    case 2: {
        PaletteSettings palette;
        FuzzCheck(ReadPaletteSettingsFromBytes(file, palette) == opened,
            "ReadPaletteSettings disagrees with Open");
        break;
    }
    case 3: {
        WindowPlacement frame;
        FuzzCheck(ReadFrameSettingsFromBytes(file, frame) == opened,
            "ReadFrameSettings disagrees with Open");
        break;
    }
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> file(data, size);
    INIToRead ini;
    bool opened = ini.OpenBytes(file);
    FuzzCheck(opened == ini.Loaded, "Open's result differs from Loaded");
    if (!opened) {
        CheckSettingsReaders(file, ini, opened);
        FuzzCheck(OpenErrors.count(ini.LastError) == 1, "Open failed with an unknown text");
        FuzzCheck(ini.GetString("MainWidth", "d") == "d", "a failed reader answered a lookup");
        FuzzCheck(ini.SearchedNames().empty(), "a failed reader names entries");
        return 0;
    }
    FuzzCheck(ini.LastError.empty(), "a successful Open left an error text");
    CheckSettingsReaders(file, ini, opened);
    CheckLookups(ini);
    ini.Close();

    // Opening again releases the earlier contents and must give the same result (checked on
    // an eighth of the inputs, one that no settings reader took: it is a whole read more).
    if (file.size() % 8 == 4)
        FuzzCheck(ini.OpenBytes(file), "the same file failed the second time");
    ini.Close();
    return 0;
}
