// Encode, analyse and decode random images: whatever the picture, the frame coder must give it
// back unchanged at the picture's own width.
//
// Input: byte 0 chooses how pixel bytes are read (bit 0 set: values from C0 up become the
// transparent 255, so that transparent stretches are common); bytes 1 and 2 give the width
// (1 to 1024); the rest are the pixels, cut into as many whole rows as they fill.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "frames/FrameHandler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    bool manyTransparent = (data[0] & 1) != 0;
    uint32_t width = 1 + ((uint32_t { data[1] } | uint32_t { data[2] } << 8) % 1024);
    size_t pixels = size - 3;
    uint32_t height = static_cast<uint32_t>(pixels / width);
    if (height == 0)
        return 0;
    DataArray image(size_t { width } * height);
    for (size_t i = 0; i < image.size(); ++i) {
        uint8_t value = data[3 + i];
        image[i] = manyTransparent && value >= 0xC0 ? TransparentIndex : value;
    }
    CheckImageRoundTrip(width, height, image);
    return 0;
}
