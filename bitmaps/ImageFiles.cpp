#include "bitmaps/ImageFiles.h"

#include <algorithm>
#include <vector>


ImageFileFormat DetectImageFileFormat(std::span<const uint8_t> head)
{
    if (head.size() >= 2 && head[0] == 'B' && head[1] == 'M')
        return ImageFileFormat::BMP;
    if (head.size() >= sizeof PNGSignature
        && std::equal(std::begin(PNGSignature), std::end(PNGSignature), head.begin()))
        return ImageFileFormat::PNG;
    if (head.size() >= sizeof GIF89Signature
        && (std::equal(std::begin(GIF87Signature), std::end(GIF87Signature), head.begin())
            || std::equal(std::begin(GIF89Signature), std::end(GIF89Signature), head.begin())))
        return ImageFileFormat::GIF;
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
    case ImageFileFormat::GIF:
        return DecodeGIFFirstFrame(file, palette, bitmap);
    case ImageFileFormat::Unknown:
        break;
    }
    return BitmapUnsupported;
}

uint8_t ReadImageFile(const std::string& path, const PaletteModel& palette, Bitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    const uint8_t result = ReadPictureBytes(path, bytes);
    return result == BitmapOK ? DecodeImageFile(bytes, palette, bitmap) : result;
}

uint8_t ImportImageFile(const std::string& path, const PaletteModel& palette, CELFrame& frame)
{
    Bitmap bitmap;
    return PutPictureInFrame(ReadImageFile(path, palette, bitmap), bitmap, frame);
}
