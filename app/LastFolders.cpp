#include "app/LastFolders.h"

#include <filesystem>

void LastFolders::Remember(const std::string& kind, const std::string& chosenFile)
{
    const std::filesystem::path folder = std::filesystem::path(chosenFile).parent_path();
    if (!folder.empty())
        folders[kind] = folder.string();
}

std::string LastFolders::FolderFor(const std::string& kind) const
{
    const auto found = folders.find(kind);
    return found == folders.end() ? std::string() : found->second;
}

std::string LastFolders::PresetName(const std::string& kind, const std::string& preset) const
{
    const std::string folder = FolderFor(kind);
    if (folder.empty() || std::filesystem::path(preset).has_parent_path())
        return preset;
    if (preset.empty())
        return {};
    return (std::filesystem::path(folder) / preset).string();
}
