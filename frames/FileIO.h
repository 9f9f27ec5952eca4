#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// File access shared by every reader and writer of the core. Readers take a whole file into
// memory; writers never replace a file in place: they write a temporary file beside the
// target, flush it, and rename it over the target, so a failed or interrupted write leaves
// the previous file intact.

enum class ReadResult : uint8_t { Ok, CannotOpen, TooLarge };

// Reads the whole file at path into bytes. Files larger than maxSize are refused with
// TooLarge before anything is allocated.
ReadResult ReadWholeFile(
    const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxSize = UINT64_MAX);

// Reads at most maxBytes from the start of the file at path: the head of a file whose tail
// cannot matter to the reader.
ReadResult ReadFileHead(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes);

bool FileExists(const std::string& path);
// True when no file is left at path. While a FileWriteSet is open, a deletion inside its
// folder is staged: the file goes when the set is applied.
bool DeleteFileIfExists(const std::string& path);

// Streams bytes into a temporary file beside the target; Commit flushes it and renames it
// over the target. A writer that is destroyed without Commit removes its temporary file.
// While a FileWriteSet is open, Commit hands the flushed temporary file to the set, which
// renames it together with the set's other files (frames/FileWriteSet.h).
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string targetPath);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(); // creates the temporary file
    bool Write(std::span<const uint8_t> bytes); // false once any write failed
    bool Write(const std::string& text);
    bool Commit(); // flush, close, rename; false on any failure
    void Abandon(); // close and remove the temporary file

    // Test hook: every write after this many bytes fails, as on a full disk.
    static void SetFailAfterBytesForTesting(int64_t bytes);

private:
    std::string target;
    std::string temporary;
    int descriptor = -1;
    bool failed = false;
    uint64_t written = 0;
};

// One-shot form: true when the whole of bytes is in the file at path.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);
