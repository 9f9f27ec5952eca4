#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "viewer/AnimationState.h"

// One frame of the animation window: a 96 x 96 frame decoded and drawn at 4x (384 x 384
// indices), which has 1/60 s at the highest speed. Beside it, a memcpy of the same picture.

namespace {

FrameSlotRef Frame96(uint32_t seed)
{
    DataArray image(96 * 96);
    for (size_t k = 0; k < image.size(); ++k)
        image[k] = (k / 7 + seed) % 5 == 0 ? TransparentIndex : uint8_t((k * 31 + seed) % 255);
    auto slot = std::make_shared<FrameSlot>();
    slot->Frame = CELFrame::CreateEmpty();
    slot->Frame->SetSize(96, 96);
    slot->Frame->EncodeImage(image);
    slot->Frame->AnalyseData();
    for (uint32_t k = 0; k < slot->Frame->WidthCount; ++k)
        if (slot->Frame->Widths[k] == 96)
            slot->Frame->SelectWidth(k);
    return slot;
}

void BM_MemcpyAnimationPicture(benchmark::State& state)
{
    std::vector<uint8_t> from(384 * 384, 7);
    std::vector<uint8_t> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(from.size()));
}

void BM_AnimationStep96Zoom4(benchmark::State& state)
{
    const std::vector<FrameSlotRef> pane = { Frame96(1), Frame96(2), Frame96(3), Frame96(4) };
    AnimationState animation;
    animation.SetZoom(4);
    animation.Begin(pane);
    animation.Playing = true;
    std::vector<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    for (auto _ : state) {
        animation.Tick(pane);
        animation.Render(pixels, width, height);
        benchmark::DoNotOptimize(pixels.data());
    }
    if (width != 384 || height != 384)
        state.SkipWithError("the picture is not 384 x 384");
    state.SetBytesProcessed(int64_t(state.iterations()) * 384 * 384);
}

} // namespace

BENCHMARK(BM_MemcpyAnimationPicture);
BENCHMARK(BM_AnimationStep96Zoom4);
