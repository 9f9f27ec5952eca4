#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/GIFHandler.h"
#include "bitmaps/PNGHandler.h"

// Picture files of either kind Vornix reads, told apart by their first bytes and never by
// their names: a PNG saved as "x.bmp" is still read as the PNG it is.

enum class ImageFileFormat : uint8_t { Unknown, BMP, PNG, GIF };

// "BM" starts a BMP, the eight-byte PNG signature a PNG, "GIF87a" or "GIF89a" a GIF; anything
// else, a head too short included, is Unknown.
ImageFileFormat DetectImageFileFormat(std::span<const uint8_t> head);

// The format an export writes under a chosen name: PNG for a name ending in ".png" in any
// case, BMP for every other name.
ImageFileFormat ExportFormatForName(const std::string& path);

// Reads a BMP, a PNG or the first frame of a GIF by its first bytes; results as ReadBitmap
// (unknown content gives 2).
uint8_t DecodeImageFile(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap);
uint8_t ReadImageFile(const std::string& path, const PaletteModel& palette, Bitmap& bitmap);
// As ImportBitmap, for any of the formats: on 0 the frame has the picture's size and its encoded
// pixels; otherwise it is unchanged.
uint8_t ImportImageFile(const std::string& path, const PaletteModel& palette, CELFrame& frame);
