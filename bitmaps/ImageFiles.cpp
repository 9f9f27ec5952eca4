#include "bitmaps/ImageFiles.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "frames/FileIO.h"

ImageFileFormat DetectImageFileFormat(std::span<const uint8_t> head)
{
    if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M')
        return ImageFileFormat::BMP;
    if (head.size() >= sizeof PNGSignature
        && std::equal(std::begin(PNGSignature), std::end(PNGSignature), head.begin()))
        return ImageFileFormat::PNG;
    return ImageFileFormat::Unknown;
}

ImageFileFormat ExportFormatForName(const std::string& path)
{
    static constexpr char Suffix[] = ".png";
    constexpr size_t length = sizeof Suffix - 1;
    if (path.size() < length)
        return ImageFileFormat::BMP;
    for (size_t i = 0; i < length; ++i) {
        const char c = path[path.size() - length + i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != Suffix[i])
            return ImageFileFormat::BMP;
    }
    return ImageFileFormat::PNG;
}

uint8_t DecodeImageFile(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap)
{
    switch (DetectImageFileFormat(file)) {
    case ImageFileFormat::BMP:
        return DecodeBitmap(file, palette, bitmap);
    case ImageFileFormat::PNG:
        return DecodePNG(file, palette, bitmap);
    case ImageFileFormat::Unknown:
        break;
    }
    return BitmapUnsupported;
}

uint8_t ReadImageFile(const std::string& path, const PaletteModel& palette, Bitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    // Both readers refuse files beyond 4 GB (a BMP's size field is 32 bits), so such a file
    // is refused before it is read.
    switch (ReadWholeFile(path, bytes, std::numeric_limits<uint32_t>::max())) {
    case ReadResult::Ok:
        break;
    case ReadResult::CannotOpen:
        return BitmapCannotOpen;
    case ReadResult::TooLarge:
        return BitmapUnsupported;
    }
    return DecodeImageFile(bytes, palette, bitmap);
}

uint8_t ImportImageFile(const std::string& path, const PaletteModel& palette, CELFrame& frame)
{
    Bitmap bitmap;
    const uint8_t result = ReadImageFile(path, palette, bitmap);
    if (result != BitmapOK)
        return result;
    frame.SetSize(bitmap.BitmapWidth, bitmap.BitmapHeight);
    frame.EncodeImage(bitmap.BitmapPixels);
    return BitmapOK;
}
