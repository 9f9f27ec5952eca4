#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "frames/FrameHandler.h"
#include "palette/PaletteModel.h"

// Uncompressed 8- and 24-bit Windows BMP files, to and from palette indices.

enum : uint8_t { BitmapOK = 0, BitmapCannotOpen = 1, BitmapUnsupported = 2 };
enum : uint8_t { BitmapWritten = 0, BitmapCannotCreate = 1 };

// A picture of palette indices, row 0 first (the first row stored, the bottom of the picture).
struct Bitmap {
    uint32_t BitmapWidth = 0;
    uint32_t BitmapHeight = 0;
    DataArray BitmapPixels;
};

uint32_t ColourDistance(uint32_t a, uint32_t b);
// The transparent colour maps to 255; otherwise the nearest of 7F ... FE (00 ... FE with the
// whole-palette option); ties keep the lower index.
uint8_t NearestColour(const PaletteModel& palette, uint32_t colour);

// NearestColour for many colours against one palette: the same answer for every colour, found
// without trying every entry. The entries are kept sorted by the sum of their channels; the
// distance between two colours is at least the difference of their sums, so the search walks
// outwards from the colour's own sum and stops on each side once that difference exceeds the
// best distance found.
class ColourMatcher {
public:
    explicit ColourMatcher(const PaletteModel& palette);
    uint8_t Nearest(uint32_t colour) const;

private:
    struct Entry {
        uint32_t Sum;
        uint32_t Colour;
        uint8_t Index;
    };
    std::vector<Entry> entries; // by Sum, then Index
    uint32_t transparent;
};

// The palette index of each entry of an 8-bit BMP's colour table, remembered per distinct
// table, so that a batch of files sharing a table matches its colours once. One cache serves
// one palette; it may be shared between threads.
class ColourTableCache {
public:
    std::array<uint8_t, 256> Map(const PaletteModel& palette, std::span<const uint8_t> table);

private:
    std::mutex guard;
    std::unordered_map<std::string, std::array<uint8_t, 256>> maps;
};

// Decodes BMP bytes; 0, or 2 for anything that is not an accepted BMP. With a cache, the
// colour table of an 8-bit file is matched through it.
uint8_t DecodeBitmap(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap,
    ColourTableCache* cache = nullptr);
uint8_t ReadBitmap(const std::string& path, const PaletteModel& palette, Bitmap& bitmap);
// On 0 the frame has the bitmap's size and its encoded pixels; otherwise it is unchanged.
uint8_t ImportBitmap(const std::string& path, const PaletteModel& palette, CELFrame& frame);

// What every picture reader shares. ReadPictureBytes reads a file whole: BitmapCannotOpen when
// it cannot be opened, BitmapUnsupported beyond 4 GB, which no BMP or PNG we accept reaches.
// PutPictureInFrame stores a decoded picture as the frame's image when result is BitmapOK and
// gives result back.
uint8_t ReadPictureBytes(const std::string& path, std::vector<uint8_t>& bytes);
uint8_t PutPictureInFrame(uint8_t result, const Bitmap& bitmap, CELFrame& frame);

// Whether a BMP file of 8 or 24 bits per pixel can hold a picture of this size: the file
// states its own size in 32 bits, and a larger one could not be written truthfully.
bool BitmapFileFits(uint32_t width, uint32_t height, uint32_t bitsPerPixel);
// The bytes of a BMP file of 8 or 24 bits per pixel; none when the picture does not fit.
std::vector<uint8_t> EncodeBitmap(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel);
uint8_t WriteBitmap(const std::string& path, const Bitmap& bitmap, const PaletteModel& palette,
    uint32_t bitsPerPixel);
