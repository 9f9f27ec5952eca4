// Opening a large CEL costs at most about three times the file's size in memory: the file
// read whole, the frames' own copies of their data, and the bookkeeping of each frame. The
// load runs in a child process whose peak resident size is reset just before it, so that
// nothing the test program did earlier counts.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cel/CELHandler.h"

namespace {

// Rows of 320 pixels, each coded as literal runs of 127, 127 and 66 pixels: the run of 66
// followed by the next row's literal run marks the row end, so the width is found at once.
std::vector<uint8_t> FrameData(uint32_t rows, uint32_t seed)
{
    std::vector<uint8_t> data;
    data.reserve(rows * 323);
    for (uint32_t y = 0; y < rows; ++y) {
        uint32_t x = 0;
        for (uint32_t run : { 127u, 127u, 66u }) {
            data.push_back(static_cast<uint8_t>(run));
            for (uint32_t i = 0; i < run; ++i, ++x)
                data.push_back(static_cast<uint8_t>(0x80 + (x + y + seed) % 100));
        }
    }
    return data;
}

// Writes a CEL of count frames without Frame Headers, streaming it so that the test program
// itself never holds the whole file. Returns the file's size.
uint64_t WriteLargeCEL(const std::string& path, uint32_t count, uint32_t rows)
{
    std::vector<std::vector<uint8_t>> variants;
    for (uint32_t seed = 0; seed < 4; ++seed)
        variants.push_back(FrameData(rows, seed));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put32 = [&](uint32_t value) {
        uint8_t bytes[4] = { static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24) };
        out.write(reinterpret_cast<const char*>(bytes), 4);
    };
    put32(count);
    uint64_t position = 4ull * count + 8;
    for (uint32_t i = 0; i <= count; ++i) {
        put32(static_cast<uint32_t>(position));
        if (i < count)
            position += variants[i % variants.size()].size();
    }
    for (uint32_t i = 0; i < count; ++i) {
        const auto& data = variants[i % variants.size()];
        out.write(
            reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    out.close();
    return position;
}

// A "Vm...:" line of /proc/self/status, in kB; 0 when missing.
uint64_t StatusKilobytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stoull(line.substr(key.size() + 1));
    return 0;
}

struct LoadMeasure {
    uint64_t RSSBeforeKB = 0;
    uint64_t PeakAfterKB = 0;
    uint32_t Status = 255;
    uint32_t FrameCount = 0;
};

// Loads path in a child process and reports the resident size before and the peak after.
bool MeasureLoadInChild(const std::string& path, LoadMeasure& measure)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return false;
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(pipeEnds[0]);
        LoadMeasure inChild;
        // "5" resets the peak resident size (VmHWM) to the current one.
        bool reset = false;
        if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
            reset = std::fputs("5", refs) >= 0;
            reset = std::fclose(refs) == 0 && reset;
        }
        inChild.RSSBeforeKB = StatusKilobytes("VmRSS");
        {
            auto cel = CELObject::CreateFromFile(path, false);
            inChild.Status = cel->Status;
            inChild.FrameCount = cel->FrameCount;
            inChild.PeakAfterKB = StatusKilobytes("VmHWM");
        }
        if (!reset)
            inChild.PeakAfterKB = 0;
        ssize_t wrote = write(pipeEnds[1], &inChild, sizeof inChild);
        _exit(wrote == static_cast<ssize_t>(sizeof inChild) ? 0 : 1);
    }
    close(pipeEnds[1]);
    ssize_t got = read(pipeEnds[0], &measure, sizeof measure);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got == static_cast<ssize_t>(sizeof measure) && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(Memory, OpeningA100MegabyteCELTakesAtMostThreeTimesItsSize)
{
#ifdef VORNIX_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer changes memory use; measured in the plain build only";
#else
    TempDir dir;
    const std::string path = dir.File("large.cel");
    const uint32_t frames = 1000;
    const uint64_t size = WriteLargeCEL(path, frames, 330);
    ASSERT_GT(size, 100ull << 20);

    LoadMeasure measure;
    ASSERT_TRUE(MeasureLoadInChild(path, measure));
    ASSERT_EQ(measure.Status, LoadOK);
    ASSERT_EQ(measure.FrameCount, frames);
    ASSERT_GT(measure.PeakAfterKB, 0u) << "/proc/self/clear_refs could not reset the peak";
    const double growth = (static_cast<double>(measure.PeakAfterKB) - measure.RSSBeforeKB) * 1024;
    std::printf("CEL of %.1f MB: peak memory grew by %.1f MB (%.2f x the file)\n", size / 1048576.0,
        growth / 1048576.0, growth / static_cast<double>(size));
    EXPECT_LE(growth, 3.2 * static_cast<double>(size));
#endif
}
