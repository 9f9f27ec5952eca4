#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "bitmaps/BMPHandler.h"
#include "palette/PaletteModel.h"
#include "viewer/ViewerState.h"

TempDir::TempDir()
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("vornix-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ViewerState ViewerWith(uint32_t width, uint32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    ViewerState viewer;
    viewer.ImageWidth = width;
    viewer.ImageHeight = height;
    viewer.FrameImage.resize(size_t(width) * height);
    for (uint8_t& pixel : viewer.FrameImage)
        pixel = static_cast<uint8_t>(random());
    return viewer;
}

PaletteModel DistinctPalette(uint32_t seed)
{
    std::mt19937 random(seed);
    PaletteModel palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.Palette[i] = (random() & 0xFFFF00) | i;
    palette.Palette[255] = 0xFFFFFF;
    return palette;
}

Bitmap RandomBitmap(std::mt19937& random, uint32_t lowest, uint32_t maxWidth, uint32_t maxHeight)
{
    Bitmap bitmap;
    bitmap.BitmapWidth = 1 + random() % maxWidth;
    bitmap.BitmapHeight = 1 + random() % maxHeight;
    bitmap.BitmapPixels.resize(bitmap.BitmapWidth * bitmap.BitmapHeight);
    for (uint8_t& pixel : bitmap.BitmapPixels)
        pixel = static_cast<uint8_t>(lowest + random() % (256 - lowest));
    return bitmap;
}

uint8_t ReferenceNearest(const PaletteModel& palette, uint32_t colour)
{
    if (colour == (palette.Palette[255] & 0xFFFFFF))
        return 255;
    int best = -1;
    int bestDistance = 0;
    for (int i = palette.WholePalette ? 0 : 127; i < 255; ++i) {
        const uint32_t entry = palette.Palette[i];
        const int distance = std::abs(int(colour & 0xFF) - int(entry & 0xFF))
            + std::abs(int(colour >> 8 & 0xFF) - int(entry >> 8 & 0xFF))
            + std::abs(int(colour >> 16 & 0xFF) - int(entry >> 16 & 0xFF));
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}
