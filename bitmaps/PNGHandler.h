#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bitmaps/BMPHandler.h"
#include "palette/PaletteModel.h"

// PNG files, to and from palette indices, beside the BMP files of BMPHandler: the same Bitmap,
// the same result codes and the same colour matching (NearestColour).
//
// Reading takes every PNG of the standard: grey, grey + alpha, RGB, RGBA and palette colour
// types, bit depths 1 to 16, interlaced or not. Each pixel becomes 8-bit red, green, blue and
// alpha (a 16-bit sample gives its high byte, grey gives red = green = blue, tRNS gives
// alpha); alpha below 128 is the transparent index 255, every other pixel NearestColour of
// its colour.

// The eight bytes every PNG starts with.
inline constexpr uint8_t PNGSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

// The largest picture a PNG may hold to be read: 64 Mi pixels. Larger ones are refused from
// their header, before any pixel buffer exists.
inline constexpr uint64_t MaxPNGPixels = 64ull << 20;

// PNG bytes to palette indices, row 0 the bottom row (PNG rows are reversed). 0, or 2 for
// anything that is not a readable PNG (bad signature, damaged or truncated stream, CRC error,
// more than 64 Mi pixels). On 2 the bitmap is unchanged.
uint8_t DecodePNG(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap);
// 0 read, 1 the file cannot be opened, 2 not a readable PNG.
uint8_t ReadPNG(const std::string& path, const PaletteModel& palette, Bitmap& bitmap);

// The colours of a palette PNG's PLTE chunk, in order, each red + 256 x green + 65536 x blue
// (1 ... 256 of them). The file must be a PNG whose chunks are sound (CRCs included) up to its
// IEND; its pixels are not decoded. 0, or 2 with reason saying why: not a PNG, a damaged
// file, a colour type other than palette. On 2 colours is unchanged.
uint8_t DecodePNGPalette(
    std::span<const uint8_t> file, std::vector<uint32_t>& colours, std::string& reason);

// Pictures of up to this many bytes of rows (a filter byte and the samples of each row) are
// packed in one piece; larger ones, such as sprite sheets, a row at a time into IDAT chunks of
// 1 MiB. Both give the same chunks otherwise.
inline constexpr uint64_t PNGPackedWholeLimit = 8u << 20;

// The bytes of a PNG of the picture: 8 bits = palette colour type with a PLTE of all 256
// palette entries and a tRNS giving entry 255 alpha 0 and every other entry 255, each pixel
// its index; 24 bits = RGB, each pixel the colour of its entry, with a tRNS naming the
// transparent colour. Empty for another bit count, an empty picture or pixels that do not
// cover the stated size.
std::vector<uint8_t> EncodePNG(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel);
// Written through a temporary file and renamed: 0 written, 1 the file cannot be created.
uint8_t WritePNG(const std::string& path, const Bitmap& bitmap, const PaletteModel& palette,
    uint32_t bitsPerPixel);
