#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "cel/CELHandler.h"
#include "settings/Settings.h"

// The files the CEL list window's close writes in the start directory: the settings file, and
// the CELs it stores unnamed in the folder "Unnamed" with their databases. The close writes
// them as one FileWriteSet whose journal is CloseJournalFileName, so that a close killed at
// any moment leaves the old store or the new one, and never a settings file that does not
// match the CEL files beside it.

std::string UnnamedStoreFolder(const std::string& startDir);
std::string CloseJournalFileName(const std::string& startDir);

// Run at start-up before the settings are read: finishes a close that was killed after its
// journal was written, and removes the temporary files that a killed close left (those of
// the settings file, the journal and the stored CELs, and no others). Nothing happens when
// the last close ended normally.
void RecoverInterruptedClose(const std::string& startDir);

// The store's file name of the CEL stored as number n: "Unnamed/n.cel" in the start directory.
std::string UnnamedCELFileName(const std::string& startDir, uint32_t number);

// The close's writing: the settings file with the fixed lines of snapshot, then, for each of
// count CELs in list order, the CEL that prepare(k) returns (after writing a pane back into
// it; null to pass over it) is stored when it has no file name, as the next "Unnamed/n.cel"
// with its own Frame Header and database flags, and counted with its "UnnHHn" line when the
// save succeeded. Everything lands as one FileWriteSet. stored is the count written as
// "Unnamed". False, with nothing stored and prepare never called, when the settings file
// cannot be begun; false, with the old files kept, when it could not be written whole.
bool StoreAtClose(const std::string& startDir, const SettingsSnapshot& snapshot, size_t count,
    const std::function<CELObject*(size_t)>& prepare, uint32_t& stored);
