// The PNG reader, fed from memory. The input is the file.
//
// Whatever the bytes, the result is 0 or 2, and the reader through ImageFiles agrees. A
// picture that was read has exactly width x height pixels, none of them a reserved colour
// unless the whole palette is in use; written again as an 8- and a 24-bit PNG it reads back
// to the same pixels; and imported into a frame it survives the frame coder.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSupport.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"

namespace {

// Pictures above this size are read but not taken through the slower round trips.
constexpr uint64_t MaxRoundTripPixels = 1u << 12;

// Entries 0 ... 254 differ from each other and from the transparent colour, so that every
// colour written from it matches its own index again.
PaletteModel MakePalette(bool wholePalette)
{
    PaletteModel model;
    for (uint32_t i = 0; i < 255; ++i)
        model.Palette[i] = (i * 2654435761u >> 5) & 0xFFFFFF;
    model.Palette[255] = 0xFF00FF;
    for (uint32_t i = 0; i < 256; ++i)
        for (uint32_t j = 0; j < i; ++j)
            FuzzCheck(model.Palette[i] != model.Palette[j], "the test palette repeats a colour");
    model.WholePalette = wholePalette;
    return model;
}

void ReadOnce(std::span<const uint8_t> file, const PaletteModel& palette, bool roundTrips)
{
    Bitmap bitmap;
    const uint8_t result = DecodePNG(file, palette, bitmap);
    FuzzCheck(result == BitmapOK || result == BitmapUnsupported, "PNG result out of range");
    if (DetectImageFileFormat(file) == ImageFileFormat::PNG) {
        Bitmap again;
        FuzzCheck(DecodeImageFile(file, palette, again) == result,
            "the reader by content disagrees with the PNG reader");
    }
    if (result != BitmapOK)
        return;
    const uint64_t pixels = uint64_t { bitmap.BitmapWidth } * bitmap.BitmapHeight;
    FuzzCheck(pixels > 0 && pixels <= MaxPNGPixels, "a picture beyond the pixel limit was read");
    FuzzCheck(bitmap.BitmapPixels.size() == pixels, "the picture is not width x height pixels");
    for (uint8_t pixel : bitmap.BitmapPixels)
        FuzzCheck(palette.WholePalette || pixel >= FirstFreeColour,
            "a reserved colour was matched without the whole-palette option");
    if (!roundTrips || pixels > MaxRoundTripPixels)
        return;

    for (uint32_t bits : { 8u, 24u }) {
        const std::vector<uint8_t> written = EncodePNG(bitmap, palette, bits);
        FuzzCheck(!written.empty(), "a picture that was read cannot be written");
        Bitmap back;
        FuzzCheck(DecodePNG(written, palette, back) == BitmapOK, "a written PNG is refused");
        FuzzCheck(
            back.BitmapWidth == bitmap.BitmapWidth && back.BitmapHeight == bitmap.BitmapHeight,
            "a written PNG reads back with another size");
        FuzzCheck(
            back.BitmapPixels == bitmap.BitmapPixels, "a written PNG reads back with other pixels");
    }
    CheckImageRoundTrip(bitmap.BitmapWidth, bitmap.BitmapHeight, bitmap.BitmapPixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PaletteModel reserved = MakePalette(false);
    static const PaletteModel whole = MakePalette(true);
    const std::span<const uint8_t> file(data, size);
    ReadOnce(file, reserved, (size & 1) == 0);
    ReadOnce(file, whole, (size & 1) == 1);
    return 0;
}
