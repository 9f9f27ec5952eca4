// The BMP reader, fed from memory. The input is the file.
//
// Whatever the bytes, the result is 0 or 2. A picture that was read has exactly width x height
// pixels, all of them colours the matching may choose; written again as an 8- and a 24-bit BMP
// it reads back to the same pixels; and imported into a frame it survives the frame coder.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSupport.h"
#include "bitmaps/BMPHandler.h"

namespace {

// Pictures above this size are read but not taken through the slower round trips.
constexpr uint64_t MaxRoundTripPixels = 1u << 12;

void ReadOnce(std::span<const uint8_t> file, const PaletteModel& palette, bool roundTrips)
{
    Bitmap bitmap;
    uint8_t result = DecodeBitmap(file, palette, bitmap);
    FuzzCheck(result == BitmapOK || result == BitmapUnsupported, "bitmap result out of range");
    if (result != BitmapOK)
        return;
    uint64_t pixels = uint64_t { bitmap.BitmapWidth } * bitmap.BitmapHeight;
    FuzzCheck(bitmap.BitmapPixels.size() == pixels, "the picture is not width x height pixels");
    for (uint8_t pixel : bitmap.BitmapPixels)
        FuzzCheck(palette.WholePalette || pixel >= FirstFreeColour,
            "a reserved colour was matched without the whole-palette option");
    if (!roundTrips || pixels == 0 || pixels > MaxRoundTripPixels)
        return;

    for (uint32_t bits : { 8u, 24u }) {
        std::vector<uint8_t> written = EncodeBitmap(bitmap, palette, bits);
        Bitmap back;
        FuzzCheck(DecodeBitmap(written, palette, back) == BitmapOK, "a written BMP is refused");
        FuzzCheck(
            back.BitmapWidth == bitmap.BitmapWidth && back.BitmapHeight == bitmap.BitmapHeight,
            "a written BMP reads back with another size");
        FuzzCheck(
            back.BitmapPixels == bitmap.BitmapPixels, "a written BMP reads back with other pixels");
    }
    CheckImageRoundTrip(bitmap.BitmapWidth, bitmap.BitmapHeight, bitmap.BitmapPixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PaletteModel reserved = MakeFuzzPalette(false);
    static const PaletteModel whole = MakeFuzzPalette(true);
    std::span<const uint8_t> file(data, size);
    // The colour search is the costly part; the round trips run with one palette per input.
    ReadOnce(file, reserved, (size & 1) == 0);
    ReadOnce(file, whole, (size & 1) == 1);
    return 0;
}
