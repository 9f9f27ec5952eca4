#pragma once

#include <map>
#include <string>

// The folder each kind of file was last chosen in during the session, so that a file dialog
// opens where the user last was for that kind (CEL files, pictures, palettes) rather than in
// the start folder. A kind is named by the dialog's filter: the dialogs of one kind share it.
class LastFolders {
public:
    // Notes the folder of a file chosen in a dialog of this kind.
    void Remember(const std::string& kind, const std::string& chosenFile);
    // The folder to open a dialog of this kind in; empty when none was chosen yet (the dialog
    // then opens where it always did).
    std::string FolderFor(const std::string& kind) const;
    // The name to preset in a dialog of this kind: a preset with a folder of its own is
    // kept, a bare name (or none) goes into the folder last used.
    std::string PresetName(const std::string& kind, const std::string& preset) const;

private:
    std::map<std::string, std::string> folders;
};
