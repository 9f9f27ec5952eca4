// Writing an animated GIF of 64 frames of 96 x 96 pixels, about half of each transparent, in
// memory: one iteration is the whole animation. bench/gif_anim.py times Pillow writing the same
// animation beside it: it names a file in VORNIX_GIF_FRAMES holding the palette (768 bytes)
// and then the frames (each 96 x 96 indices, top row first), and those frames are written
// instead of the built-in ones.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bitmaps/GIFHandler.h"
#include "frames/FileIO.h"

namespace {

constexpr uint32_t Side = 96;
constexpr size_t FrameCount = 64;

struct Animation {
    std::vector<Bitmap> Frames;
    PaletteModel Palette;
};

Animation BuiltIn()
{
    Animation animation;
    std::mt19937 random(64);
    for (size_t k = 0; k < FrameCount; ++k) {
        Bitmap frame { Side, Side, DataArray(Side * Side, TransparentIndex) };
        const double cx = 30 + random() % 36, cy = 30 + random() % 36;
        for (uint32_t y = 0; y < Side; ++y)
            for (uint32_t x = 0; x < Side; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= Side * Side / 2 / 3.14159)
                    frame.BitmapPixels[y * Side + x]
                        = static_cast<uint8_t>(127 + (x * 7 + y * 3 + random() % 4) % 128);
        animation.Frames.push_back(std::move(frame));
    }
    for (uint32_t i = 0; i < 256; ++i)
        animation.Palette.Palette[i] = i * 0x010101u;
    return animation;
}

Animation FromFile(const char* path)
{
    std::vector<uint8_t> bytes;
    Animation animation;
    if (ReadWholeFile(path, bytes) != ReadResult::Ok || bytes.size() < 768
        || (bytes.size() - 768) % (Side * Side) != 0)
        return animation;
    for (uint32_t i = 0; i < 256; ++i)
        animation.Palette.Palette[i] = bytes[3 * i] | bytes[3 * i + 1] << 8 | bytes[3 * i + 2] << 16;
    for (size_t at = 768; at < bytes.size(); at += Side * Side) {
        Bitmap frame { Side, Side, DataArray(Side * Side) };
        for (uint32_t y = 0; y < Side; ++y) // the bitmap's rows from the bottom
            std::copy_n(bytes.begin() + long(at + (Side - 1 - y) * Side), Side,
                frame.BitmapPixels.begin() + long(y * Side));
        animation.Frames.push_back(std::move(frame));
    }
    return animation;
}

const Animation& Frames()
{
    static const Animation animation
        = std::getenv("VORNIX_GIF_FRAMES") ? FromFile(std::getenv("VORNIX_GIF_FRAMES")) : BuiltIn();
    return animation;
}

void BM_WriteGIF(benchmark::State& state)
{
    const Animation& animation = Frames();
    GIFAnimation options;
    options.Zoom = static_cast<uint32_t>(state.range(0));
    if (animation.Frames.empty()) {
        state.SkipWithError("no frames in VORNIX_GIF_FRAMES");
        return;
    }
    size_t size = 0;
    for (auto _ : state) {
        std::vector<uint8_t> bytes = EncodeGIF(animation.Frames, animation.Palette, options);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * animation.Frames.size()));
    state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_WriteGIF)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

} // namespace
