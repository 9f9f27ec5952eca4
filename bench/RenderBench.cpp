#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "viewer/ViewerState.h"

// Filling the viewer's surface must cost in proportion to the surface, not to the image or the
// zoom: each case fills a 1920 x 1080 surface, beside a plain memset of the same surface.

namespace {

constexpr int32_t SurfaceWidth = 1920;
constexpr int32_t SurfaceHeight = 1080;

ViewerState LargeViewer(uint32_t width, uint32_t height, uint8_t zoom)
{
    ViewerState viewer = ViewerWith(width, height, 1);
    viewer.Zoom = zoom;
    viewer.ViewAreaWidth = SurfaceWidth;
    viewer.ViewAreaHeight = SurfaceHeight;
    viewer.Relayout();
    // Somewhere in the middle, not aligned to the zoom.
    viewer.ScrollH = viewer.ScrollHMax / 2 + 3;
    viewer.ScrollV = viewer.ScrollVMax / 2 + 5;
    return viewer;
}

void FillCase(benchmark::State& state, uint32_t width, uint32_t height, uint8_t zoom)
{
    const ViewerState viewer = LargeViewer(width, height, zoom);
    if (viewer.SurfaceWidth != SurfaceWidth || viewer.SurfaceHeight != SurfaceHeight)
        state.SkipWithError("the image does not cover the surface");
    std::vector<uint8_t> surface(size_t(SurfaceWidth) * SurfaceHeight);
    for (auto _ : state) {
        viewer.FillSurface(surface.data(), SurfaceWidth);
        benchmark::DoNotOptimize(surface.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * SurfaceWidth * SurfaceHeight);
}

void BM_MemsetSurface(benchmark::State& state)
{
    std::vector<uint8_t> surface(size_t(SurfaceWidth) * SurfaceHeight);
    uint8_t value = 0;
    for (auto _ : state) {
        std::memset(surface.data(), value++, surface.size());
        benchmark::DoNotOptimize(surface.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * SurfaceWidth * SurfaceHeight);
}

// 8x: a 1200 x 600 image magnifies to 9600 x 4800, five times the surface each way.
void BM_FillZoom8(benchmark::State& state) { FillCase(state, 1200, 600, 8); }

// 1x from a large image: 8000 x 6000 pixels, 23 times the surface.
void BM_FillZoom1(benchmark::State& state) { FillCase(state, 8000, 6000, 1); }

// 3x: a zoom that divides neither the surface nor the scroll position.
void BM_FillZoom3(benchmark::State& state) { FillCase(state, 2000, 1000, 3); }

} // namespace

BENCHMARK(BM_MemsetSurface);
BENCHMARK(BM_FillZoom8);
BENCHMARK(BM_FillZoom1);
BENCHMARK(BM_FillZoom3);
