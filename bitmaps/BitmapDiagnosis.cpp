#include "bitmaps/BitmapDiagnosis.h"

namespace {

constexpr uint32_t InfoHeaderSize = 40;
constexpr uint32_t Offset8 = 1078; // file header, information header, 256-entry colour table
constexpr uint32_t Offset24 = 54;

// The little-endian field at position, or false when the file ends before it.
bool Field(std::span<const uint8_t> file, uint64_t position, uint32_t size, uint32_t& value)
{
    if (position + size > file.size())
        return false;
    value = 0;
    for (uint32_t i = 0; i < size; ++i)
        value |= static_cast<uint32_t>(file[position + i]) << (8 * i);
    return true;
}

std::string HeaderName(uint32_t size)
{
    switch (size) {
    case 12:
        return "12-byte BITMAPCOREHEADER (OS/2 1.x)";
    case 52:
        return "52-byte BITMAPV2INFOHEADER";
    case 56:
        return "56-byte BITMAPV3INFOHEADER";
    case 64:
        return "64-byte OS/2 2.x header";
    case 108:
        return "108-byte BITMAPV4 header";
    case 124:
        return "124-byte BITMAPV5 header";
    default:
        return std::to_string(size) + "-byte information header";
    }
}

std::string CompressionName(uint32_t compression)
{
    switch (compression) {
    case 1:
        return "RLE8 compression";
    case 2:
        return "RLE4 compression";
    case 3:
        return "BITFIELDS compression";
    case 4:
        return "JPEG compression";
    case 5:
        return "PNG compression";
    case 6:
        return "ALPHABITFIELDS compression";
    default:
        return "compression method " + std::to_string(compression);
    }
}

} // namespace

std::string ExplainBitmapRefusal(std::span<const uint8_t> file)
{
    const std::string truncated = "file ends inside its header";
    uint32_t signature = 0, fileSize = 0, reserved = 0, offset = 0, infoSize = 0;
    uint32_t width = 0, height = 0, planes = 0, bits = 0, compression = 0;
    if (!Field(file, 0, 2, signature) || signature != 0x4D42)
        return "no \"BM\" signature";
    if (!Field(file, 2, 4, fileSize))
        return truncated;
    if (fileSize != file.size())
        return "file size field says " + std::to_string(fileSize) + " bytes, the file has "
            + std::to_string(file.size());
    if (!Field(file, 6, 4, reserved))
        return truncated;
    if (reserved != 0)
        return "reserved field is not 0";
    if (!Field(file, 10, 4, offset) || !Field(file, 14, 4, infoSize))
        return truncated;
    if (infoSize != InfoHeaderSize)
        return HeaderName(infoSize);
    if (!Field(file, 18, 4, width) || !Field(file, 22, 4, height) || !Field(file, 26, 2, planes))
        return truncated;
    if (planes != 1)
        return std::to_string(planes) + " colour planes";
    if (!Field(file, 28, 2, bits))
        return truncated;
    if (bits != 8 && bits != 24)
        return std::to_string(bits) + (bits == 1 ? " bit per pixel" : " bits per pixel");
    const uint32_t expected = bits == 8 ? Offset8 : Offset24;
    if (offset != expected) {
        if (offset > Offset24 && (offset - Offset24) % 4 == 0) {
            const uint32_t entries = (offset - Offset24) / 4;
            return "colour table of " + std::to_string(entries)
                + (entries == 1 ? " entry" : " entries");
        }
        return "pixels at offset " + std::to_string(offset) + ", not " + std::to_string(expected);
    }
    // Compressed rows are shorter than the reader's size check expects: the compression is
    // named before that check, as the reason a tool's RLE8 file is refused.
    if (!Field(file, 30, 4, compression))
        return truncated;
    if (compression != 0)
        return CompressionName(compression);
    if (width == 0 || height == 0)
        return "empty picture of " + std::to_string(width) + " x " + std::to_string(height)
            + " pixels";
    // The reader's size check: every pixel row must lie inside the file. A negative height
    // (rows stored top-down) reads as a huge number and fails it first of all.
    const uint64_t rowSize = (uint64_t { bits } * width + 31) / 32 * 4;
    if (file.size() < offset || rowSize > (file.size() - offset) / height) {
        if (height >= 0x80000000u)
            return "rows stored top-down (negative height)";
        return "pixel rows of " + std::to_string(width) + " x " + std::to_string(height)
            + " run past the end of the file";
    }
    if (file.size() < 54)
        return truncated;
    return {};
}
