// Speed of the frame codec, the width detection and CEL loading. Every benchmark reports
// bytes per second, and each one has a plain memcpy of the same number of bytes beside it
// as the yardstick of the machine.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cel/CELHandler.h"
#include "frames/FileIO.h"
#include "frames/FrameHandler.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t SpriteSide = 96;
constexpr uint32_t SpriteCount = 2000;

// A sprite: a blob of colour patches inside an ellipse, transparent around it (about half).
Bytes MakeSprite(std::mt19937& random)
{
    Bytes image(SpriteSide * SpriteSide, TransparentIndex);
    const double a = 30 + random() % 16, b = 30 + random() % 16;
    const double cx = 44 + random() % 8, cy = 44 + random() % 8;
    for (uint32_t y = 0; y < SpriteSide; ++y) {
        uint8_t colour = static_cast<uint8_t>(random() % 200);
        for (uint32_t x = 0; x < SpriteSide; ++x) {
            const double dx = (x - cx) / a, dy = (y - cy) / b;
            if (dx * dx + dy * dy > 1.0)
                continue;
            if (random() % 6 == 0)
                colour = static_cast<uint8_t>(random() % 200);
            image[y * SpriteSide + x] = colour;
        }
    }
    return image;
}

struct SpriteSet {
    std::vector<Bytes> images;
    std::vector<std::unique_ptr<CELFrame>> frames;
    std::string celPath;
    uint64_t celSize = 0;
    uint64_t dataBytes = 0;

    SpriteSet()
    {
        std::mt19937 random(42);
        auto cel = CELObject::CreateEmpty(SpriteCount);
        for (uint32_t i = 0; i < SpriteCount; ++i) {
            images.push_back(MakeSprite(random));
            auto frame = CELFrame::CreateEmpty();
            frame->SetSize(SpriteSide, SpriteSide);
            frame->EncodeImage(images.back());
            frame->AnalyseData();
            dataBytes += frame->DataLength;
            cel->Frames[i] = std::make_shared<FrameSlot>();
            cel->Frames[i]->Frame = CELFrame::CreateCopy(*frame);
            frames.push_back(std::move(frame));
        }
        cel->WithHeaders = 1;
        const Bytes bytes = cel->CELBytes();
        celSize = bytes.size();
        celPath = (std::filesystem::temp_directory_path()
            / ("vornix-bench-" + std::to_string(std::random_device {}()) + ".cel"))
                      .string();
        WriteFileAtomically(celPath, bytes);
    }
    ~SpriteSet() { DeleteFileIfExists(celPath); }
};

SpriteSet& Sprites()
{
    static SpriteSet set;
    return set;
}

void Memcpy(benchmark::State& state, uint64_t bytes)
{
    Bytes from(bytes, 0x5A), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// ---- CEL loading with analysis, per byte of file -------------------------------------------

void BM_LoadCEL(benchmark::State& state)
{
    auto& set = Sprites();
    for (auto _ : state) {
        auto cel = CELObject::CreateFromFile(set.celPath, true);
        if (cel->Status != LoadOK)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(cel.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.celSize));
}
BENCHMARK(BM_LoadCEL)->Unit(benchmark::kMillisecond);

void BM_LoadCEL_Memcpy(benchmark::State& state)
{
    Memcpy(state, Sprites().celSize);
}
BENCHMARK(BM_LoadCEL_Memcpy)->Unit(benchmark::kMillisecond);

// ---- Width detection, decoding and encoding, in either coding -------------------------------
// The CL2 benchmarks work on the same 2000 images as their CEL twins, so the times per
// iteration compare directly: CL2 decoding should pass 1 GB/s of pixels, analysis and encoding
// should take at most twice the CEL figures.

using FrameList = std::vector<std::unique_ptr<CELFrame>>;

// Per byte of frame data.
void AnalyseAll(benchmark::State& state, FrameList& frames, uint64_t dataBytes)
{
    for (auto _ : state) {
        for (auto& frame : frames)
            benchmark::DoNotOptimize(frame->AnalyseData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * dataBytes));
}

// Per byte of pixels, as are the encodings.
void DecodeAll(benchmark::State& state, FrameList& frames)
{
    Bytes image;
    for (auto _ : state) {
        for (auto& frame : frames) {
            frame->DecodeImage(image);
            benchmark::DoNotOptimize(image.data());
        }
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * SpriteCount * SpriteSide * SpriteSide));
}

void EncodeAll(benchmark::State& state, FrameCoding coding)
{
    auto frame = CELFrame::CreateEmpty(coding);
    frame->SetSize(SpriteSide, SpriteSide);
    for (auto _ : state) {
        for (const auto& image : Sprites().images) {
            frame->EncodeImage(image);
            benchmark::DoNotOptimize(frame->Data.data());
        }
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * SpriteCount * SpriteSide * SpriteSide));
}

struct CL2SpriteSet {
    FrameList frames;
    uint64_t dataBytes = 0;

    CL2SpriteSet()
    {
        for (const auto& image : Sprites().images) {
            auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
            frame->SetSize(SpriteSide, SpriteSide);
            frame->EncodeImage(image);
            frame->AnalyseData();
            dataBytes += frame->DataLength;
            frames.push_back(std::move(frame));
        }
    }
};

CL2SpriteSet& CL2Sprites()
{
    static CL2SpriteSet set;
    return set;
}

void BM_AnalyseData(benchmark::State& state)
{
    AnalyseAll(state, Sprites().frames, Sprites().dataBytes);
}
BENCHMARK(BM_AnalyseData)->Unit(benchmark::kMillisecond);

void BM_AnalyseData_Memcpy(benchmark::State& state)
{
    Memcpy(state, Sprites().dataBytes);
}
BENCHMARK(BM_AnalyseData_Memcpy)->Unit(benchmark::kMillisecond);

void BM_DecodeImage(benchmark::State& state)
{
    DecodeAll(state, Sprites().frames);
}
BENCHMARK(BM_DecodeImage)->Unit(benchmark::kMillisecond);

void BM_EncodeImage(benchmark::State& state)
{
    EncodeAll(state, FrameCoding::CEL);
}
BENCHMARK(BM_EncodeImage)->Unit(benchmark::kMillisecond);

void BM_Pixels_Memcpy(benchmark::State& state)
{
    Memcpy(state, uint64_t { SpriteCount } * SpriteSide * SpriteSide);
}
BENCHMARK(BM_Pixels_Memcpy)->Unit(benchmark::kMillisecond);

void BM_CL2_AnalyseData(benchmark::State& state)
{
    AnalyseAll(state, CL2Sprites().frames, CL2Sprites().dataBytes);
}
BENCHMARK(BM_CL2_AnalyseData)->Unit(benchmark::kMillisecond);

void BM_CL2_DecodeImage(benchmark::State& state)
{
    DecodeAll(state, CL2Sprites().frames);
}
BENCHMARK(BM_CL2_DecodeImage)->Unit(benchmark::kMillisecond);

void BM_CL2_EncodeImage(benchmark::State& state)
{
    EncodeAll(state, FrameCoding::CL2);
}
BENCHMARK(BM_CL2_EncodeImage)->Unit(benchmark::kMillisecond);

// ---- Crafted frames: the time of one analysis must stay far below 50 ms ---------------------

constexpr size_t CraftedSize = 64 * 1024;

// One-pixel literal and transparent runs in turn: no forced row end, G = T, M = 1, and every
// width fits until the list is full.
Bytes AlternatingRuns()
{
    Bytes data;
    while (data.size() + 3 <= CraftedSize)
        data.insert(data.end(), { 0x01, 0x07, 0xFF });
    return data;
}

// The same, with one forced row end in the middle: G is half the pixels, and only widths that
// divide that half fit. A scan per width would run up to the middle for every k.
Bytes HalfForced()
{
    Bytes data;
    const size_t pairs = CraftedSize / 3 / 2;
    for (size_t i = 0; i < pairs; ++i)
        data.insert(data.end(), { 0x01, 0x07, 0xFF });
    data.push_back(0xFF); // transparent after transparent: a row ends here
    for (size_t i = 0; i + 1 < pairs; ++i)
        data.insert(data.end(), { 0x01, 0x07, 0xFF });
    data.insert(data.end(), { 0x01, 0x07 });
    return data;
}

// Full transparent runs only: 8 Mi pixels, G = T, M = 128, so 65536 values of k; only widths
// that are multiples of 128 fit.
Bytes FullTransparent()
{
    return Bytes(CraftedSize, 0x80);
}

// Runs of random kinds and short lengths, few same-kind neighbours.
Bytes RandomShortRuns()
{
    std::mt19937 random(3);
    Bytes data;
    bool transparent = false;
    while (data.size() + 4 <= CraftedSize) {
        if (random() % 200 != 0)
            transparent = !transparent;
        const uint32_t n = 1 + random() % 2;
        if (transparent) {
            data.push_back(static_cast<uint8_t>(256 - n));
        } else {
            data.push_back(static_cast<uint8_t>(n));
            for (uint32_t i = 0; i < n; ++i)
                data.push_back(7);
        }
    }
    return data;
}

void AnalyseCrafted(benchmark::State& state, Bytes data)
{
    auto frame = CELFrame::CreateEmpty();
    frame->Data = std::move(data);
    frame->DataLength = static_cast<uint32_t>(frame->Data.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(frame->AnalyseData());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame->DataLength));
    state.counters["widths"] = frame->WidthCount;
}

void BM_Crafted_AlternatingRuns(benchmark::State& state)
{
    AnalyseCrafted(state, AlternatingRuns());
}
BENCHMARK(BM_Crafted_AlternatingRuns)->Unit(benchmark::kMillisecond);
void BM_Crafted_HalfForced(benchmark::State& state)
{
    AnalyseCrafted(state, HalfForced());
}
BENCHMARK(BM_Crafted_HalfForced)->Unit(benchmark::kMillisecond);
void BM_Crafted_FullTransparent(benchmark::State& state)
{
    AnalyseCrafted(state, FullTransparent());
}
BENCHMARK(BM_Crafted_FullTransparent)->Unit(benchmark::kMillisecond);
void BM_Crafted_RandomShortRuns(benchmark::State& state)
{
    AnalyseCrafted(state, RandomShortRuns());
}
BENCHMARK(BM_Crafted_RandomShortRuns)->Unit(benchmark::kMillisecond);
void BM_Crafted_Memcpy(benchmark::State& state)
{
    Memcpy(state, CraftedSize);
}
BENCHMARK(BM_Crafted_Memcpy)->Unit(benchmark::kMillisecond);

} // namespace
