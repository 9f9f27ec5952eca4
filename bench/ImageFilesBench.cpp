// Speed of reading and writing one 96 x 96 frame as BMP and as PNG, in memory (the file
// wrappers add only one read or one write of the bytes). Each benchmark reports frames per
// second (items) and picture bytes per second; BM_ImageMemcpy copies the same 9,216 picture
// bytes as the yardstick of the machine.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/PNGHandler.h"

namespace {

constexpr uint32_t Side = 96;

// A sprite as modders draw them: colour patches inside an ellipse, transparent around it.
// The colours are from 7F up, so that every format gives the picture back unchanged.
Bitmap MakeSprite()
{
    std::mt19937 random(96);
    Bitmap bitmap { Side, Side, DataArray(Side * Side, TransparentIndex) };
    for (uint32_t y = 0; y < Side; ++y) {
        uint8_t colour = static_cast<uint8_t>(0x7F + random() % 0x80);
        for (uint32_t x = 0; x < Side; ++x) {
            const double dx = (x - 47.5) / 40.0, dy = (y - 47.5) / 44.0;
            if (dx * dx + dy * dy > 1.0)
                continue;
            if (random() % 6 == 0)
                colour = static_cast<uint8_t>(0x7F + random() % 0x80);
            bitmap.BitmapPixels[y * Side + x] = colour;
        }
    }
    return bitmap;
}

PaletteModel MakePalette()
{
    PaletteModel palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.Palette[i] = (i * 2654435761u >> 5) & 0xFFFFFF;
    palette.Palette[255] = 0xFF00FF;
    return palette;
}

const Bitmap& Sprite()
{
    static const Bitmap sprite = MakeSprite();
    return sprite;
}

const PaletteModel& Palette()
{
    static const PaletteModel palette = MakePalette();
    return palette;
}

void Count(benchmark::State& state)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Side * Side);
}

void BM_ImageMemcpy(benchmark::State& state)
{
    const DataArray& source = Sprite().BitmapPixels;
    DataArray target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    Count(state);
}
BENCHMARK(BM_ImageMemcpy);

template <bool PNG> std::vector<uint8_t> Encode(uint32_t bits)
{
    return PNG ? EncodePNG(Sprite(), Palette(), bits) : EncodeBitmap(Sprite(), Palette(), bits);
}

template <bool PNG> void BM_Write(benchmark::State& state)
{
    const uint32_t bits = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        std::vector<uint8_t> bytes = Encode<PNG>(bits);
        benchmark::DoNotOptimize(bytes.data());
    }
    Count(state);
    state.counters["file_bytes"] = static_cast<double>(Encode<PNG>(bits).size());
}

template <bool PNG> void BM_Read(benchmark::State& state)
{
    const uint32_t bits = static_cast<uint32_t>(state.range(0));
    const std::vector<uint8_t> bytes = Encode<PNG>(bits);
    Bitmap check;
    const uint8_t result
        = PNG ? DecodePNG(bytes, Palette(), check) : DecodeBitmap(bytes, Palette(), check);
    if (result != BitmapOK || check.BitmapPixels != Sprite().BitmapPixels) {
        state.SkipWithError("the written picture does not read back");
        return;
    }
    for (auto _ : state) {
        Bitmap bitmap;
        benchmark::DoNotOptimize(
            PNG ? DecodePNG(bytes, Palette(), bitmap) : DecodeBitmap(bytes, Palette(), bitmap));
        benchmark::DoNotOptimize(bitmap.BitmapPixels.data());
    }
    Count(state);
}

void BM_WriteBMP(benchmark::State& state)
{
    BM_Write<false>(state);
}
void BM_WritePNG(benchmark::State& state)
{
    BM_Write<true>(state);
}
void BM_ReadBMP(benchmark::State& state)
{
    BM_Read<false>(state);
}
void BM_ReadPNG(benchmark::State& state)
{
    BM_Read<true>(state);
}
BENCHMARK(BM_WriteBMP)->Arg(8)->Arg(24);
BENCHMARK(BM_ReadBMP)->Arg(8)->Arg(24);
BENCHMARK(BM_WritePNG)->Arg(8)->Arg(24);
BENCHMARK(BM_ReadPNG)->Arg(8)->Arg(24);

} // namespace
