#pragma once

// Shared pieces of the fuzz harnesses: a failure that libFuzzer records as a crash, a scratch
// file per process for the readers that only take a path, and the image round trip that both
// the codec and the bitmap harness hold the frame coder to.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "frames/FrameHandler.h"

// A broken promise of the code under test: print what was expected and abort, so that the
// input is saved as a crash.
[[noreturn]] inline void FuzzFail(const char* what)
{
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void FuzzCheck(bool condition, const char* what)
{
    if (!condition)
        FuzzFail(what);
}

// A file name private to this process, in memory when /dev/shm exists, so that the readers
// that open a path can be fed each input without wearing a disk.
// The files are removed when the process ends normally (libFuzzer's time limit ends it so).
inline std::string FuzzScratchPath(const std::string& suffix)
{
    struct Cleaner {
        std::vector<std::string> paths;
        ~Cleaner()
        {
            for (const auto& path : paths)
                std::remove(path.c_str());
        }
    };
    static Cleaner cleaner;
    std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp && folder == "/tmp")
        folder = tmp;
    std::string path = folder + "/vornix-fuzz-" + std::to_string(getpid()) + suffix;
    cleaner.paths.push_back(path);
    return path;
}

inline void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FuzzCheck(file != nullptr, "cannot create the scratch file");
    if (size > 0)
        FuzzCheck(std::fwrite(data, 1, size, file) == size, "cannot write the scratch file");
    FuzzCheck(std::fclose(file) == 0, "cannot close the scratch file");
}

inline std::vector<uint8_t> FuzzReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    uint8_t buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

// Encodes a width x height image into a frame, analyses it, selects the first candidate equal
// to width and decodes: the image must come back unchanged. A literal 255 cannot survive the
// coder as a literal, but it comes back as 255 all the same since 255 is the transparent index.
// When more than 255 widths fit, the list may be cut before width; that is the one outcome in
// which width may be missing.
inline void CheckImageRoundTrip(uint32_t width, uint32_t height, const DataArray& image)
{
    FuzzCheck(width > 0 && height > 0 && image.size() == uint64_t { width } * height,
        "round trip called with an inconsistent image");
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    FuzzCheck(frame->Data.size() == frame->DataLength, "DataLength differs from the data");
    FuzzCheck(frame->Header[0] == FrameHeaderSize, "the first Frame Header word is not 10");
    for (uint32_t block = 1; block < 5; ++block) {
        bool rowExists = height > 32 * block;
        FuzzCheck(rowExists == (frame->Header[block] != 0) || frame->DataLength + 10 > 0xFFFF,
            "a Frame Header word disagrees with the rows of the image");
    }
    uint8_t diagnosis = frame->AnalyseData();
    FuzzCheck(diagnosis == frame->Diagnosis, "AnalyseData returned another code than it stored");
    FuzzCheck(frame->Viewable(), "an encoded image is not viewable");
    uint32_t index = 0;
    while (index < frame->WidthCount && frame->Widths[index] != width)
        ++index;
    if (index == frame->WidthCount) {
        FuzzCheck(diagnosis == DiagLimit && frame->WidthCount == 255,
            "the image's own width is not among the candidate widths");
        return;
    }
    FuzzCheck(frame->SelectWidth(index), "SelectWidth refused a listed index");
    FuzzCheck(frame->Width == width && frame->Height == height,
        "selecting the image's width does not give back its size");
    DataArray decoded;
    frame->DecodeImage(decoded);
    FuzzCheck(decoded == image, "decoding an encoded image does not give it back");
}
