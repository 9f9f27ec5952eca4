#include "app/UnnamedStore.h"

#include <filesystem>
#include <system_error>

#include "frames/FileWriteSet.h"
#include "settings/Settings.h"

namespace fs = std::filesystem;

namespace {

// A stored CEL's name: decimal digits followed by ".cel", or that and ".cdb".
bool StoredCELName(const std::string& name)
{
    std::string number = name;
    if (number.size() > 4 && number.compare(number.size() - 4, 4, ".cdb") == 0)
        number.resize(number.size() - 4);
    if (number.size() <= 4 || number.compare(number.size() - 4, 4, ".cel") != 0)
        return false;
    number.resize(number.size() - 4);
    return number.find_first_not_of("0123456789") == std::string::npos;
}

// Removes the regular files in folder that are temporary files of a target accepted by keep.
template <typename Keep> void RemoveTemporaryFiles(const fs::path& folder, Keep keep)
{
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error)
        return;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        std::string base;
        if (!IsTemporaryFileName(name, base) || !keep(base))
            continue;
        std::error_code ignored;
        if (entry.symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(entry.path(), ignored);
    }
}

} // namespace

std::string UnnamedStoreFolder(const std::string& startDir)
{
    return (fs::path(startDir) / "Unnamed").string();
}

std::string CloseJournalFileName(const std::string& startDir)
{
    return (fs::path(startDir) / "Vornix.journal").string();
}

void RecoverInterruptedClose(const std::string& startDir)
{
    const std::string journal = CloseJournalFileName(startDir);
    // A journal whose steps could not all be done keeps the temporary files it names.
    if (FileWriteSet::FinishInterrupted(journal) == FileWriteSet::Recovery::Incomplete)
        return;
    const std::string settingsName = fs::path(SettingsFileName(startDir)).filename().string();
    const std::string journalName = fs::path(journal).filename().string();
    RemoveTemporaryFiles(startDir,
        [&](const std::string& base) { return base == settingsName || base == journalName; });
    RemoveTemporaryFiles(UnnamedStoreFolder(startDir), StoredCELName);
}

std::string UnnamedCELFileName(const std::string& startDir, uint32_t number)
{
    return (fs::path(UnnamedStoreFolder(startDir)) / (std::to_string(number) + ".cel")).string();
}

bool StoreAtClose(const std::string& startDir, const SettingsSnapshot& snapshot, size_t count,
    const std::function<CELObject*(size_t)>& prepare, uint32_t& stored)
{
    // Until the set is applied every file keeps its old contents; a close killed half-way is
    // finished or forgotten whole at the next start.
    FileWriteSet store(CloseJournalFileName(startDir));
    SettingsWriter writer;
    if (!writer.Begin(SettingsFileName(startDir), snapshot))
        return false;
    // The store folder is made when missing, so that new CELs are not lost silently.
    std::error_code error;
    fs::create_directories(UnnamedStoreFolder(startDir), error);
    stored = 0;
    for (size_t k = 0; k < count; ++k) {
        CELObject* cel = prepare(k);
        if (!cel || !cel->FileName.empty())
            continue;
        cel->FileName = UnnamedCELFileName(startDir, stored);
        if (cel->SaveToFile() == SaveOK) {
            writer.AddUnnamed(cel->WithHeaders != 0);
            ++stored;
        }
    }
    // A settings file that could not be written whole stores nothing: the old settings stay
    // with the old CEL files they describe.
    if (!writer.Finish()) {
        store.Discard();
        return false;
    }
    return store.Apply();
}
