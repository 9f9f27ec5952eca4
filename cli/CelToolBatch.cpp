#include "cli/CelTool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t MaximumJobs = 256;

// Retries a system call interrupted by a signal.
template <typename Call> auto Retry(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

bool WriteAll(int descriptor, std::span<const uint8_t> bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put
            = Retry([&] { return ::write(descriptor, bytes.data() + done, bytes.size() - done); });
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// A new file written without a name (O_TMPFILE) and linked under its name once whole: one
// entry added to the folder, where a temporary name and a rename change it three times.
// Unknown when the file system cannot do it or the name was taken meanwhile: the caller then
// writes through a temporary name.
enum class LinkResult { Linked, Failed, Unknown };

LinkResult WriteUnnamedThenLink(const std::string& path, std::span<const uint8_t> bytes)
{
    const size_t slash = path.rfind('/');
    const std::string folder
        = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int descriptor
        = Retry([&] { return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
    if (descriptor < 0)
        return LinkResult::Unknown;
    LinkResult result = LinkResult::Failed;
    if (WriteAll(descriptor, bytes)) {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            result = LinkResult::Linked;
        else if (errno == EEXIST || errno == ENOENT)
            result = LinkResult::Unknown; // taken meanwhile, or no /proc
    }
    // The unnamed file disappears with its last descriptor when it was not linked.
    if (::close(descriptor) != 0 && result == LinkResult::Linked) {
        ::unlink(path.c_str());
        result = LinkResult::Failed;
    }
    return result;
}

} // namespace

std::string JobChoice(const std::optional<std::string>& given, uint32_t& jobs)
{
    if (!given) {
        jobs = std::clamp(std::thread::hardware_concurrency(), 1u, MaximumJobs);
        return {};
    }
    if (!ParseBoundedNumber(*given, MaximumJobs, jobs) || jobs == 0)
        return "--jobs needs a number from 1 to " + std::to_string(MaximumJobs) + ", not '"
            + PrintableText(*given) + "'";
    return {};
}

std::string WidthChoice(const std::optional<std::string>& given, uint32_t& width)
{
    width = 0;
    if (!given)
        return {};
    if (!ParseBoundedNumber(*given, UINT32_MAX, width) || width == 0)
        return "--width needs a width in pixels (digits only, above 0), not '"
            + PrintableText(*given) + "'";
    return {};
}

void ChooseWidth(const ToolStreams& streams, std::string_view file, uint32_t index, CELFrame& frame,
    uint32_t width)
{
    if (frame.SelectCandidateWidth(width))
        return;
    if (frame.Viewable())
        Warning(streams, file,
            "frame " + std::to_string(index) + " has no candidate width " + std::to_string(width)
                + "; it keeps width " + std::to_string(frame.Width));
}

std::string IndexedFileName(
    const std::string& stem, uint32_t index, uint32_t lastIndex, std::string_view extension)
{
    std::string digits = std::to_string(index);
    const size_t wanted = std::to_string(lastIndex).size();
    if (digits.size() < wanted)
        digits.insert(0, wanted - digits.size(), '0');
    return stem + "_" + digits + "." + std::string(extension);
}

bool NaturalLess(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Compare the numbers without converting them: leading zeros dropped, then the
            // longer is larger, then digit by digit. No run of digits is too long for this.
            std::string_view x = a.substr(i, endA - i), y = b.substr(j, endB - j);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size())
                return x.size() < y.size();
            if (x != y)
                return x < y;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

bool RunBatch(const ToolStreams& streams, std::string_view verb, size_t count, uint32_t jobs,
    bool showProgress, const std::function<bool(size_t)>& work)
{
    std::atomic<size_t> next { 0 };
    std::atomic<size_t> done { 0 };
    std::atomic<bool> stopped { false };
    std::mutex mutex;
    std::condition_variable finished;
    size_t running = 0;

    auto worker = [&] {
        for (;;) {
            if (stopped.load())
                break;
            const size_t item = next.fetch_add(1);
            if (item >= count)
                break;
            if (!work(item))
                stopped.store(true);
            done.fetch_add(1);
        }
        std::lock_guard lock(mutex);
        --running;
        finished.notify_all();
    };

    const size_t threads = std::max<size_t>(1, std::min<size_t>(jobs, count));
    std::vector<std::thread> pool;
    running = threads;
    for (size_t t = 0; t < threads; ++t)
        pool.emplace_back(worker);
    {
        std::unique_lock lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            if (showProgress && running > 0)
                streams.Err << "\r" << verb << " " << done.load() << "/" << count << std::flush;
        }
    }
    for (auto& thread : pool)
        thread.join();
    if (showProgress)
        streams.Err << "\r\033[K" << std::flush; // the progress line goes, the summary follows
    return !stopped.load();
}

bool WriteBatchFile(const std::string& path, std::span<const uint8_t> bytes)
{
    struct stat existing { };
    mode_t mode = 0666;
    if (::stat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode))
            return false; // a folder or device at the target is never replaced
        mode = existing.st_mode & 07777;
    } else if (errno == ENOENT) {
        const LinkResult linked = WriteUnnamedThenLink(path, bytes);
        if (linked != LinkResult::Unknown)
            return linked == LinkResult::Linked;
    }
    // One process writes each target once, so the process id makes the temporary name
    // unique; O_EXCL guards against a stale file left by a killed run.
    std::string temporary;
    int descriptor = -1;
    for (int attempt = 0; attempt < 16 && descriptor < 0; ++attempt) {
        temporary = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
        descriptor = Retry([&] {
            return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        });
        if (descriptor < 0 && errno != EEXIST)
            return false;
    }
    if (descriptor < 0)
        return false;
    bool good = WriteAll(descriptor, bytes);
    good = ::close(descriptor) == 0 && good;
    if (good)
        good = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!good)
        ::unlink(temporary.c_str());
    return good;
}

bool FlushBatch(const std::string& path)
{
    int descriptor = Retry([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
    if (descriptor < 0)
        return false;
    // One flush of the whole file system: every file of the batch, and the folder entries
    // that name them, reach the disk before the command reports success.
    bool good = ::syncfs(descriptor) == 0;
    ::close(descriptor);
    return good;
}

std::string ElapsedText(std::chrono::steady_clock::time_point start)
{
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string FrameCount(size_t count)
{
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}
