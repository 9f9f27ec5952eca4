// The PNG reader, fed from memory. The input is the file.
//
// Whatever the bytes, the result is 0 or 2, and a refused file leaves the bitmap untouched. A
// picture that was read has exactly width x height pixels, none of them a reserved colour
// without the whole-palette option; written again as an 8- and a 24-bit PNG it reads back to
// the same pixels.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSupport.h"
#include "bitmaps/PNGHandler.h"

namespace {

// Pictures above this size are read but not taken through the slower round trips.
constexpr uint64_t MaxRoundTripPixels = 1u << 12;

// Returns the number of pixels read, 0 for a refused file.
uint64_t ReadOnce(std::span<const uint8_t> file, const PaletteModel& palette, bool roundTrips)
{
    Bitmap bitmap { 3, 1, DataArray(3, 7) };
    const uint8_t result = DecodePNG(file, palette, bitmap);
    FuzzCheck(result == BitmapOK || result == BitmapUnsupported, "PNG result out of range");
    if (result != BitmapOK) {
        FuzzCheck(bitmap.BitmapWidth == 3 && bitmap.BitmapHeight == 1
                && bitmap.BitmapPixels == DataArray(3, 7),
            "a refused PNG changed the bitmap");
        return 0;
    }
    const uint64_t pixels = uint64_t { bitmap.BitmapWidth } * bitmap.BitmapHeight;
    FuzzCheck(pixels > 0 && pixels <= MaxPNGPixels, "a picture read outside the size bounds");
    FuzzCheck(bitmap.BitmapPixels.size() == pixels, "the picture is not width x height pixels");
    for (uint8_t pixel : bitmap.BitmapPixels)
        FuzzCheck(palette.WholePalette || pixel >= FirstFreeColour,
            "a reserved colour was matched without the whole-palette option");
    if (!roundTrips || pixels > MaxRoundTripPixels)
        return pixels;
    for (uint32_t bits : { 8u, 24u }) {
        const std::vector<uint8_t> written = EncodePNG(bitmap, palette, bits);
        Bitmap back;
        FuzzCheck(DecodePNG(written, palette, back) == BitmapOK, "a written PNG is refused");
        FuzzCheck(
            back.BitmapWidth == bitmap.BitmapWidth && back.BitmapHeight == bitmap.BitmapHeight,
            "a written PNG reads back with another size");
        FuzzCheck(
            back.BitmapPixels == bitmap.BitmapPixels, "a written PNG reads back with other pixels");
    }
    return pixels;
}

// A few kilobytes of deflate can stand for tens of millions of pixels, which take seconds to
// decode under the sanitizers; such pictures are read with one palette only.
constexpr uint64_t MaxTwicePixels = 1u << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PaletteModel reserved = MakeFuzzPalette(false);
    static const PaletteModel whole = MakeFuzzPalette(true);
    const std::span<const uint8_t> file(data, size);
    // The round trips run with one palette per input.
    if (ReadOnce(file, reserved, (size & 1) == 0) <= MaxTwicePixels)
        ReadOnce(file, whole, (size & 1) == 1);
    return 0;
}
