#include "TestSupport.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

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
