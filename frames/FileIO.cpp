#include "frames/FileIO.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frames/FileWriteSet.h"

namespace {

std::atomic<int64_t> failAfterBytes { -1 };

// Retries a system call interrupted by a signal.
template <typename Call> auto Retry(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

std::string TemporaryNameFor(const std::string& target)
{
    static std::mt19937_64 random { std::random_device {}() };
    return target + ".tmp" + std::to_string(random() % 100000000);
}

} // namespace

namespace {

// Reads the first min(size, maxBytes) bytes, or refuses a file above maxSize.
ReadResult ReadFile(
    const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxSize, uint64_t maxBytes)
{
    int descriptor = Retry([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
    if (descriptor < 0)
        return ReadResult::CannotOpen;
    struct stat info { };
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return ReadResult::CannotOpen;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size > maxSize) {
        ::close(descriptor);
        return ReadResult::TooLarge;
    }
    size = std::min(size, maxBytes);
    bytes.resize(size);
    uint64_t done = 0;
    while (done < size) {
        ssize_t got = Retry([&] { return ::read(descriptor, bytes.data() + done, size - done); });
        if (got < 0) {
            ::close(descriptor);
            bytes.clear();
            return ReadResult::CannotOpen;
        }
        if (got == 0)
            break; // the file shrank while being read: keep what is there
        done += static_cast<uint64_t>(got);
    }
    bytes.resize(done);
    ::close(descriptor);
    return ReadResult::Ok;
}

} // namespace

ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxSize)
{
    return ReadFile(path, bytes, maxSize, UINT64_MAX);
}

ReadResult ReadFileHead(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes)
{
    return ReadFile(path, bytes, UINT64_MAX, maxBytes);
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool DeleteFileIfExists(const std::string& path)
{
    std::error_code error;
    // A folder is removed (or refused) at once, as it always was; files wait for the set.
    FileWriteSet* set = FileWriteSet::Current();
    if (set && !std::filesystem::is_directory(std::filesystem::symlink_status(path, error))
        && set->StageDelete(path)) {
        FileWriteSet::CrashPoint();
        return true; // the file goes when the set is applied
    }
    std::filesystem::remove(path, error);
    return !std::filesystem::exists(path, error);
}

AtomicFileWriter::AtomicFileWriter(std::string targetPath)
    : target(std::move(targetPath))
{
}

AtomicFileWriter::~AtomicFileWriter()
{
    Abandon();
}

bool AtomicFileWriter::Open()
{
    Abandon();
    failed = false;
    written = 0;
    if (target.empty())
        return false;
    // A folder (or anything else that is not a file) at the target is never replaced.
    std::error_code error;
    auto status = std::filesystem::status(target, error);
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return false;
    mode_t mode = 0666;
    struct stat existing { };
    if (::stat(target.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777; // a replaced file keeps its permissions
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        temporary = TemporaryNameFor(target);
        descriptor = Retry([&] {
            return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        });
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor < 0) {
        temporary.clear();
        return false;
    }
    return true;
}

bool AtomicFileWriter::Write(std::span<const uint8_t> bytes)
{
    if (descriptor < 0 || failed)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        size_t chunk = bytes.size() - done;
        int64_t limit = failAfterBytes.load();
        if (limit >= 0) {
            uint64_t room = written >= static_cast<uint64_t>(limit) ? 0 : limit - written;
            if (room == 0) {
                failed = true;
                errno = ENOSPC;
                return false;
            }
            chunk = std::min<uint64_t>(chunk, room);
        }
        ssize_t put = Retry([&] { return ::write(descriptor, bytes.data() + done, chunk); });
        if (put <= 0) {
            failed = true;
            return false;
        }
        done += static_cast<size_t>(put);
        written += static_cast<uint64_t>(put);
    }
    if (FileWriteSet::Current())
        FileWriteSet::CrashPoint();
    return true;
}

bool AtomicFileWriter::Write(const std::string& text)
{
    return Write(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool AtomicFileWriter::Commit()
{
    if (descriptor < 0)
        return false;
    bool good = !failed && ::fsync(descriptor) == 0;
    good = (::close(descriptor) == 0) && good;
    descriptor = -1;
    if (good) {
        if (FileWriteSet* set = FileWriteSet::Current();
            set && set->StageReplace(temporary, target)) {
            // The set renames the file when it is applied; until then it keeps its name.
            temporary.clear();
            FileWriteSet::CrashPoint();
            return true;
        }
        good = ::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!good)
        ::unlink(temporary.c_str());
    temporary.clear();
    return good;
}

void AtomicFileWriter::Abandon()
{
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
    if (!temporary.empty()) {
        ::unlink(temporary.c_str());
        temporary.clear();
    }
}

void AtomicFileWriter::SetFailAfterBytesForTesting(int64_t bytes)
{
    failAfterBytes.store(bytes);
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes)
{
    AtomicFileWriter writer(path);
    return writer.Open() && writer.Write(bytes) && writer.Commit();
}
