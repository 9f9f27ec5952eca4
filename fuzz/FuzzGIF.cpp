// The GIF reader, fed from memory. The input is the file.
//
// Whatever the bytes, the result is 0 or 2, every frame given is a whole canvas of the same
// size within the limits, none of its pixels a reserved colour without the whole-palette
// option, and a refusal says why. A file read whole is written again as an animation and must
// read back to the same frames; the first frame alone, as Import reads it, is the first of
// them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "bitmaps/GIFHandler.h"

namespace {

// Lower than the import limits: a few bytes of image descriptor stand for a whole canvas.
constexpr GIFReadLimits Limits { 1u << 14, 1u << 16 };
// Animations above this many pixels in all are read but not written again.
constexpr uint64_t MaxRoundTripPixels = 1u << 14;

void ReadOnce(std::span<const uint8_t> file, const PaletteModel& palette, bool roundTrip)
{
    std::vector<Bitmap> frames;
    uint64_t pixels = 0;
    uint32_t width = 0, height = 0;
    std::string reason;
    const uint8_t result = DecodeGIF(
        file, palette,
        [&](const Bitmap& canvas) {
            if (frames.empty() && pixels == 0) {
                width = canvas.BitmapWidth;
                height = canvas.BitmapHeight;
            }
            FuzzCheck(canvas.BitmapWidth == width && canvas.BitmapHeight == height,
                "the frames of one GIF differ in size");
            FuzzCheck(canvas.BitmapPixels.size() == uint64_t { width } * height,
                "a frame is not width x height pixels");
            for (uint8_t pixel : canvas.BitmapPixels)
                FuzzCheck(palette.WholePalette || pixel >= FirstFreeColour,
                    "a reserved colour was matched without the whole-palette option");
            pixels += canvas.BitmapPixels.size();
            FuzzCheck(pixels <= Limits.TotalPixels, "more pixels than the limit were given");
            if (pixels <= MaxRoundTripPixels)
                frames.push_back(canvas);
            return true;
        },
        &reason, UINT32_MAX, Limits);
    FuzzCheck(result == BitmapOK || result == BitmapUnsupported, "GIF result out of range");
    FuzzCheck((result == BitmapOK) == reason.empty(), "a refusal without a reason, or the reverse");
    FuzzCheck(result != BitmapOK || pixels > 0, "a GIF read without a frame");
    if (!roundTrip || result != BitmapOK)
        return;
    Bitmap first;
    FuzzCheck(DecodeGIFFirstFrame(file, palette, first) == BitmapOK,
        "a GIF read whole is refused for its first frame");
    if (pixels > MaxRoundTripPixels)
        return;
    FuzzCheck(first.BitmapPixels == frames[0].BitmapPixels, "the first frame reads differently");
    const std::vector<uint8_t> written = EncodeGIF(frames, palette, GIFAnimation {});
    FuzzCheck(!written.empty(), "frames read from a GIF cannot be written");
    size_t k = 0;
    FuzzCheck(DecodeGIF(written, palette,
                  [&](const Bitmap& canvas) {
                      FuzzCheck(k < frames.size(), "a written GIF reads back with more frames");
                      FuzzCheck(canvas.BitmapPixels == frames[k].BitmapPixels,
                          "a written GIF reads back with other pixels");
                      ++k;
                      return true;
                  })
            == BitmapOK,
        "a written GIF is refused");
    FuzzCheck(k == frames.size(), "a written GIF reads back with fewer frames");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PaletteModel reserved = MakeFuzzPalette(false);
    static const PaletteModel whole = MakeFuzzPalette(true);
    const std::span<const uint8_t> file(data, size);
    // The round trip runs with one palette per input.
    ReadOnce(file, reserved, (size & 1) == 0);
    ReadOnce(file, whole, (size & 1) == 1);
    return 0;
}
