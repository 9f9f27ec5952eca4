#pragma once

#include <cstdint>
#include <span>
#include <string>

// Why the BMP reader refuses a file, in words a user can act on: "4 bits per pixel",
// "RLE8 compression", "124-byte BITMAPV5 header", "colour table of 16 entries".
//
// The header is read field by field in the order DecodeBitmap checks it, so the reason named
// is the rule that refused the file. An empty result means DecodeBitmap accepts the file.
std::string ExplainBitmapRefusal(std::span<const uint8_t> file);
