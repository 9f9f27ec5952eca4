#pragma once

// Shared pieces of the fuzz harnesses: a failure that libFuzzer records as a crash, the palette
// of the picture harnesses, and the image round trip that both the codec and the bitmap
// harness hold the frame coder to. Every
// harness feeds its reader from memory: none touches the disk.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "frames/FrameHandler.h"
#include "palette/PaletteModel.h"

// A broken promise of the code under test: print what was expected and abort, so that the
// input is saved as a crash.
[[noreturn]] inline void FuzzFail(const char* what)
{
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void FuzzCheck(bool condition, const char* what)
{
    if (!condition)
        FuzzFail(what);
}

// The palette of the picture harnesses: entries 0 ... 254 differ from each other and from the
// transparent colour, so that every colour written from it matches its own index again.
inline PaletteModel MakeFuzzPalette(bool wholePalette)
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

// Encodes a width x height image into a frame of the coding, analyses it, selects the first
// candidate equal to width and decodes: the image must come back unchanged. A literal 255
// cannot survive the coder as a literal, but it comes back as 255 all the same since 255 is
// the transparent index. When more than 255 widths fit, the list may be cut before width;
// that is the one outcome in which width may be missing.
inline void CheckImageRoundTrip(uint32_t width, uint32_t height, const DataArray& image,
    FrameCoding coding = FrameCoding::CEL)
{
    FuzzCheck(width > 0 && height > 0 && image.size() == uint64_t { width } * height,
        "round trip called with an inconsistent image");
    auto frame = CELFrame::CreateEmpty(coding);
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    FuzzCheck(frame->Data.size() == frame->DataLength, "DataLength differs from the data");
    FuzzCheck(frame->Header[0] == FrameHeaderSize, "the first Frame Header word is not 10");
    for (uint32_t block = 1; block < 5; ++block) {
        bool rowExists = height > 32 * block;
        FuzzCheck(rowExists == (frame->Header[block] != 0) || frame->DataLength + 10 > 0xFFFF,
            "a Frame Header word disagrees with the rows of the image");
    }
    uint8_t diagnosis = frame->AnalyseData();
    FuzzCheck(diagnosis == frame->Diagnosis, "AnalyseData returned another code than it stored");
    FuzzCheck(frame->Viewable(), "an encoded image is not viewable");
    uint32_t index = 0;
    while (index < frame->WidthCount && frame->Widths[index] != width)
        ++index;
    if (index == frame->WidthCount) {
        FuzzCheck(diagnosis == DiagLimit && frame->WidthCount == 255,
            "the image's own width is not among the candidate widths");
        return;
    }
    FuzzCheck(frame->SelectWidth(index), "SelectWidth refused a listed index");
    FuzzCheck(frame->Width == width && frame->Height == height,
        "selecting the image's width does not give back its size");
    DataArray decoded;
    frame->DecodeImage(decoded);
    FuzzCheck(decoded == image, "decoding an encoded image does not give it back");
}
