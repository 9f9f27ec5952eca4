#include "frames/FileWriteSet.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "frames/FileIO.h"

namespace fs = std::filesystem;

namespace {

// The open set. Writers on other threads (the command-line tool's) only ever read it; sets
// themselves are opened and applied on one thread.
std::atomic<FileWriteSet*> current { nullptr };
std::atomic<int64_t> crashAtPoint { -1 };
std::atomic<int64_t> crashPointsPassed { 0 };

const char* const JournalFirstLine = "Vornix write set 1\n";
// A journal lists a handful of files; anything far larger is not one.
constexpr uint64_t MaxJournalSize = 16u << 20;

bool AllDigits(const std::string& text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A journal names files below its own folder only: a relative path of plain names, never
// "..", ".", an empty name or a NUL, so that a journal can neither reach nor create anything
// elsewhere.
bool SafeRelativePath(const std::string& text)
{
    if (text.empty() || text.front() == '/' || text.back() == '/')
        return false;
    if (text.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string name = text.substr(start, end - start);
        if (name.empty() || name == "." || name == "..")
            return false;
        start = end + 1;
    }
    return true;
}

void SyncFolder(const fs::path& folder)
{
    int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

void SyncFoldersOf(const fs::path& folder, const std::vector<FileWriteSet::Step>& steps)
{
    std::set<fs::path> folders;
    for (const auto& step : steps)
        folders.insert((folder / step.Target).parent_path());
    for (const auto& each : folders)
        SyncFolder(each);
}

// Does the steps in order; each is idempotent: a rename whose temporary file is gone was
// done before, a deletion of a missing file is done. True when none failed otherwise.
bool RunSteps(const fs::path& folder, const std::vector<FileWriteSet::Step>& steps)
{
    bool good = true;
    for (const auto& step : steps) {
        const std::string target = (folder / step.Target).string();
        if (step.Delete) {
            if (::unlink(target.c_str()) != 0 && errno != ENOENT)
                good = false;
        } else {
            const std::string temporary = target + ".tmp" + step.Suffix;
            if (::rename(temporary.c_str(), target.c_str()) != 0 && errno != ENOENT)
                good = false;
        }
        FileWriteSet::CrashPoint();
    }
    SyncFoldersOf(folder, steps);
    return good;
}

} // namespace

bool IsTemporaryFileName(const std::string& name, std::string& base)
{
    const size_t mark = name.rfind(".tmp");
    if (mark == std::string::npos || mark == 0)
        return false;
    const std::string digits = name.substr(mark + 4);
    if (!AllDigits(digits) || digits.size() > 8)
        return false;
    base = name.substr(0, mark);
    return true;
}

std::string FormatWriteSetJournal(const std::vector<FileWriteSet::Step>& steps)
{
    std::string text = JournalFirstLine;
    for (const auto& step : steps) {
        if (step.Delete)
            text += "D ";
        else
            text += "R " + step.Suffix + " ";
        text += std::to_string(step.Target.size()) + " " + step.Target + "\n";
    }
    text += "E " + std::to_string(steps.size()) + "\n";
    return text;
}

bool ParseWriteSetJournal(const std::string& text, std::vector<FileWriteSet::Step>& steps)
{
    steps.clear();
    const std::string first = JournalFirstLine;
    if (text.compare(0, first.size(), first) != 0)
        return false;
    size_t at = first.size();
    // The text from here up to the next end character, which is consumed too.
    auto word = [&](std::string& out, char end) {
        const size_t stop = text.find(end, at);
        if (stop == std::string::npos)
            return false;
        out = text.substr(at, stop - at);
        at = stop + 1;
        return true;
    };
    while (at < text.size()) {
        std::string kind;
        if (text.compare(at, 2, "E ") == 0) {
            at += 2;
            std::string count;
            if (!word(count, '\n') || !AllDigits(count) || count.size() > 9)
                return false;
            return at == text.size() && std::stoul(count) == steps.size();
        }
        if (!word(kind, ' ') || (kind != "R" && kind != "D"))
            return false;
        FileWriteSet::Step step;
        step.Delete = kind == "D";
        if (!step.Delete
            && (!word(step.Suffix, ' ') || !AllDigits(step.Suffix) || step.Suffix.size() > 8))
            return false;
        std::string length;
        if (!word(length, ' ') || !AllDigits(length) || length.size() > 5)
            return false;
        const size_t size = std::stoul(length);
        if (size > text.size() - at || text.compare(at + size, 1, "\n") != 0)
            return false;
        step.Target = text.substr(at, size);
        at += size + 1;
        if (!SafeRelativePath(step.Target))
            return false;
        steps.push_back(std::move(step));
    }
    return false; // no end line: not a whole journal
}

FileWriteSet::FileWriteSet(std::string journalPath)
    : journal(std::move(journalPath))
{
    std::error_code error;
    const fs::path absolute = fs::absolute(journal, error);
    if (error || journal.empty() || current.load())
        return;
    journal = absolute.lexically_normal().string();
    folder = absolute.lexically_normal().parent_path();
    current = this;
    active = true;
}

FileWriteSet::~FileWriteSet()
{
    Discard();
}

FileWriteSet* FileWriteSet::Current()
{
    return current.load();
}

bool FileWriteSet::Within(const std::string& target, std::string& relative) const
{
    std::error_code error;
    const fs::path absolute = fs::absolute(target, error).lexically_normal();
    if (error)
        return false;
    const fs::path inside = absolute.lexically_relative(folder);
    relative = inside.generic_string();
    if (inside.empty() || relative == "." || !SafeRelativePath(relative))
        return false;
    return absolute != fs::path(journal);
}

void FileWriteSet::Supersede(const std::string& relative)
{
    auto same = [&](const Step& step) { return step.Target == relative; };
    for (const auto& step : steps) {
        if (same(step) && !step.Delete)
            ::unlink(((folder / step.Target).string() + ".tmp" + step.Suffix).c_str());
    }
    steps.erase(std::remove_if(steps.begin(), steps.end(), same), steps.end());
}

bool FileWriteSet::StageReplace(const std::string& temporary, const std::string& target)
{
    if (!active)
        return false;
    std::string relative;
    if (!Within(target, relative))
        return false;
    if (temporary.compare(0, target.size(), target) != 0
        || temporary.compare(target.size(), 4, ".tmp") != 0)
        return false;
    const std::string suffix = temporary.substr(target.size() + 4);
    if (!AllDigits(suffix) || suffix.size() > 8)
        return false;
    Supersede(relative);
    steps.push_back({ false, relative, suffix });
    return true;
}

bool FileWriteSet::StageDelete(const std::string& target)
{
    if (!active)
        return false;
    std::string relative;
    if (!Within(target, relative))
        return false;
    Supersede(relative);
    steps.push_back({ true, relative, "" });
    return true;
}

bool FileWriteSet::WriteJournal() const
{
    const std::string text = FormatWriteSetJournal(steps);
    AtomicFileWriter writer(journal);
    if (!writer.Open() || !writer.Write(text))
        return false;
    CrashPoint(); // the journal half-way: not yet in place, so the set has not happened
    if (!writer.Commit())
        return false;
    SyncFolder(folder);
    CrashPoint(); // the journal in place: from here on the set happens
    return true;
}

bool FileWriteSet::Apply()
{
    if (!active)
        return true;
    // From here on the set's own files (the journal) are written directly.
    active = false;
    current = nullptr;
    if (steps.empty())
        return true;
    // The temporary files' names must be as lasting as the journal that will refer to them.
    SyncFoldersOf(folder, steps);
    CrashPoint();
    const bool journaled = WriteJournal();
    bool good = RunSteps(folder, steps);
    steps.clear();
    CrashPoint(); // every step done, the journal still there
    if (journaled && good) {
        ::unlink(journal.c_str());
        SyncFolder(folder);
    }
    return good;
}

void FileWriteSet::Discard()
{
    for (const auto& step : steps) {
        if (!step.Delete)
            ::unlink(((folder / step.Target).string() + ".tmp" + step.Suffix).c_str());
    }
    steps.clear();
    if (active) {
        active = false;
        current = nullptr;
    }
}

FileWriteSet::Recovery FileWriteSet::FinishInterrupted(const std::string& journalPath)
{
    std::vector<uint8_t> bytes;
    if (!FileExists(journalPath))
        return Recovery::NoJournal;
    std::vector<Step> steps;
    if (ReadWholeFile(journalPath, bytes, MaxJournalSize) != ReadResult::Ok
        || !ParseWriteSetJournal(std::string(bytes.begin(), bytes.end()), steps)) {
        ::unlink(journalPath.c_str());
        return Recovery::Unreadable;
    }
    std::error_code error;
    const fs::path folder = fs::absolute(journalPath, error).lexically_normal().parent_path();
    if (!RunSteps(folder, steps))
        return Recovery::Incomplete;
    ::unlink(journalPath.c_str());
    SyncFolder(folder);
    return Recovery::Finished;
}

void FileWriteSet::SetCrashAtPointForTesting(int64_t point)
{
    crashAtPoint.store(point);
    crashPointsPassed.store(0);
}

void FileWriteSet::CrashPoint()
{
    const int64_t point = crashAtPoint.load();
    if (point < 1)
        return;
    if (++crashPointsPassed == point)
        ::raise(SIGKILL);
}
