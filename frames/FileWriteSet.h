#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Files that are replaced or deleted together, so that a process killed at any moment leaves
// either all of the old files or all of the new ones.
//
// While a set is open, every commit of an AtomicFileWriter whose target lies in the set's
// folder (the folder of the journal, or below it) is staged instead of done: the temporary
// file stays, flushed, under its temporary name, and the commit reports success. A deletion
// with DeleteFileIfExists is staged the same way. Apply then writes the journal (the list of
// renames and deletions, itself written atomically), does what it lists, flushes the folders
// and removes the journal. A process killed before the journal is in place has changed no
// file; one killed after it is finished by FinishInterrupted at the next start. Every step is
// idempotent, so a start killed while finishing is finished at the start after.
//
// One set is open at a time in the process: a set made while another is open stays inert
// (stages nothing; Apply does nothing). Between staging and Apply, readers still see the old
// files. A set destroyed without Apply is discarded.
class FileWriteSet {
public:
    explicit FileWriteSet(std::string journalPath);
    ~FileWriteSet();
    FileWriteSet(const FileWriteSet&) = delete;
    FileWriteSet& operator=(const FileWriteSet&) = delete;

    // Lands every staged change and closes the set. True when every step was done; a step
    // that failed leaves the journal in place so that the next start tries again. Should the
    // journal itself not be writable (a full disk), the steps are still done, unjournaled, so
    // that the result is what the writes reported.
    bool Apply();
    // Closes the set and removes every staged temporary file: no file is changed.
    void Discard();

    // The open set that writers stage into, or null.
    static FileWriteSet* Current();

    // Takes over a flushed and closed temporary file (named target + ".tmp" + digits) that is
    // to replace target. False when the set does not take it (not open, target outside the
    // folder, another kind of name): the caller then renames it itself. A later change of the
    // same target supersedes an earlier one, whose temporary file is removed.
    bool StageReplace(const std::string& temporary, const std::string& target);
    // Takes over the deletion of target; false as for StageReplace.
    bool StageDelete(const std::string& target);

    size_t StagedCount() const { return steps.size(); }

    enum class Recovery : uint8_t {
        NoJournal, // nothing was left to finish
        Finished, // a journal was found and every step in it is done; the journal is gone
        Incomplete, // a step failed: the journal stays for the next attempt
        Unreadable, // the journal was not one this program writes; it was removed unread
    };
    // Finishes the set whose journal a killed process left at journalPath.
    static Recovery FinishInterrupted(const std::string& journalPath);

    // Test hook: the process raises SIGKILL at the given crash point (1 is the first) of the
    // writes made through sets: each write and each staged commit or deletion while a set is
    // open, and each stage of Apply (folders flushed, journal written, journal in place, each
    // step done, before the journal is removed). Below 1: never.
    static void SetCrashAtPointForTesting(int64_t point);
    // Counts one crash point; raises SIGKILL when it is the one the test hook names.
    static void CrashPoint();

    struct Step {
        bool Delete = false;
        std::string Target; // relative to the set's folder, with '/' between names
        std::string Suffix; // the digits after ".tmp" of the temporary file replacing Target
    };

private:
    bool Within(const std::string& target, std::string& relative) const;
    void Supersede(const std::string& relative);
    bool WriteJournal() const;

    std::string journal;
    std::filesystem::path folder;
    std::vector<Step> steps;
    bool active = false;
};

// The journal's text for steps, and back; false for anything Apply would not have written.
std::string FormatWriteSetJournal(const std::vector<FileWriteSet::Step>& steps);
bool ParseWriteSetJournal(const std::string& text, std::vector<FileWriteSet::Step>& steps);

// True for a name that AtomicFileWriter gives its temporary files: base + ".tmp" + 1 to 8
// digits, with base non-empty; base is then set to the target's name.
bool IsTemporaryFileName(const std::string& name, std::string& base);
