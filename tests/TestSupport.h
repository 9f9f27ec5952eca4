#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

// VORNIX_UNDER_ASAN is defined when AddressSanitizer is built in: tests that measure memory or
// impose their own address-space limits step aside under it.
#if defined(__SANITIZE_ADDRESS__)
#define VORNIX_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORNIX_UNDER_ASAN 1
#endif
#endif

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

class ViewerState;
struct Bitmap;
struct PaletteModel;

// A viewer holding a width x height image of pseudo-random pixels drawn from seed; zoom, view
// area and scroll positions are left at their defaults.
ViewerState ViewerWith(uint32_t width, uint32_t height, uint32_t seed);

// A palette whose entries all differ from each other and from entry 255 (white).
PaletteModel DistinctPalette(uint32_t seed);

// A picture of 1 ... maxWidth by 1 ... maxHeight pixels, each from lowest to 255.
Bitmap RandomBitmap(std::mt19937& random, uint32_t lowest, uint32_t maxWidth, uint32_t maxHeight);

// The obviously right nearest colour: every distance, the first smallest one.
uint8_t ReferenceNearest(const PaletteModel& palette, uint32_t colour);
