// Translation tables, fed from memory, and their application to a frame. The input is a
// table file; when it is longer than a table, its first 256 bytes are the table, the next
// byte says whether a Frame Header comes first, and the rest is the data of one frame.
//
// Exactly 256 bytes load, anything else is refused with the table untouched. A frame that
// can be shown is translated pixel by pixel at its width (255 staying 255); one that cannot
// is left exactly as it was.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzSupport.h"
#include "palette/Translation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> input(data, size);
    const TranslationTable before = IdentityTranslation();
    TranslationTable table = before;
    const TranslationFileResult result = DecodeTranslation(input, table);
    if (size == TranslationFileSize) {
        FuzzCheck(result == TranslationFileResult::Done, "a 256-byte table was refused");
        for (size_t i = 0; i < 256; ++i)
            FuzzCheck(table[i] == data[i], "an entry differs from its byte");
        FuzzCheck(TranslationFileBytes(table) == std::vector<uint8_t>(data, data + size),
            "a table does not save back to its bytes");
        return 0;
    }
    FuzzCheck(result == TranslationFileResult::WrongSize, "a table of another size was read");
    FuzzCheck(table == before, "a refused table changed the table");
    if (size <= TranslationFileSize + 1)
        return 0;

    DecodeTranslation(input.first(TranslationFileSize), table);
    auto frame = CELFrame::CreateEmpty();
    frame->LoadData(input.subspan(TranslationFileSize + 1), (data[TranslationFileSize] & 1) != 0);
    // Huge pictures are the decoder's harness's business; here they would only slow the run.
    if (uint64_t { frame->Width } * frame->Height > (1u << 20))
        return 0;
    const CELFrame original = *frame;
    const bool shown = FrameCanBeShown(*frame);
    DataArray expected;
    if (shown) {
        frame->DecodeImage(expected);
        for (uint8_t& pixel : expected)
            if (pixel != TransparentIndex)
                pixel = table[pixel];
    }
    const FrameTranslationResult translated = TranslateFrame(table, *frame);
    if (!shown) {
        FuzzCheck(translated == FrameTranslationResult::NotShown, "a hidden frame was translated");
        FuzzCheck(*frame == original, "a frame that cannot be shown changed");
        return 0;
    }
    if (translated == FrameTranslationResult::Unchanged)
        FuzzCheck(*frame == original, "an unchanged frame changed");
    FuzzCheck(translated != FrameTranslationResult::NotShown, "a viewable frame was not shown");
    FuzzCheck(frame->Viewable(), "a translated frame cannot be shown");
    FuzzCheck(frame->Width == original.Width || frame->WidthCount == 255,
        "the translated frame lost its width");
    if (frame->Width == original.Width) {
        FuzzCheck(frame->Height == original.Height, "the translated frame lost its height");
        DataArray image;
        frame->DecodeImage(image);
        FuzzCheck(image == expected, "a pixel is not its translation");
    }
    FuzzCheck(frame->Name == original.Name, "the name changed");
    return 0;
}
