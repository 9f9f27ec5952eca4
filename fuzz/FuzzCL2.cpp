// The CL2 frame coding and the grouped sprite file reader, fed from memory.
//
// Input: byte 0 chooses what the rest is.
//   0 ... 63: CL2 frame data, after a 10-byte Frame Header. Whatever the bytes, the analysis
//     must give a diagnosis the slow per-width check agrees with for every listed width, a
//     viewable frame must decode inside its image at each candidate, and its picture, coded
//     again, must come back at the selected width.
//   64 ... 127: a picture (bytes 1 and 2 the width, 1 to 1024; the rest its pixels, values
//     from C0 up transparent when bit 0 of byte 0 is set) coded as CL2: it must come back at
//     its own width, and through RecodeFrame into a CEL frame and back.
//   128 ... 255: a sprite file: bytes 1 and 2 give the length L of the database, the next L
//     bytes are the database, the rest is the file, read as CL2 when bit 0 of byte 0 is set
//     and as CEL otherwise, with both default Frame Header flags, with and without the
//     database. The status must be 0 to 4; a failed load keeps no group; a loaded file writes
//     back its own bytes, and writing it with its database and reading that again gives the
//     same frames.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "cel/GroupedFile.h"
#include "frames/CL2Codec.h"

namespace {

// A few bytes of transparent runs stand for a great many pixels. Frames up to this size are
// decoded; the smaller ones, all that real sprites are, also go through the coder again.
// (A buffer of a megabyte costs the sanitizers' allocator fresh pages on every input.)
constexpr uint64_t MaxDecodedPixels = 1u << 17;
constexpr uint64_t MaxRecodedPixels = 1u << 16;

void CheckFrameFields(const CELFrame& frame)
{
    FuzzCheck(frame.Diagnosis <= DiagBounds, "diagnosis out of range");
    FuzzCheck(frame.DataLength == frame.Data.size(), "DataLength differs from the data");
    if (!frame.Viewable())
        return;
    FuzzCheck(frame.WidthCount > 0, "a viewable frame has no candidate width");
    FuzzCheck(frame.Widths.size() >= frame.WidthCount, "fewer widths than WidthCount");
    FuzzCheck(frame.BlockRows.size() >= frame.WidthCount, "fewer block rows than widths");
    FuzzCheck(frame.WidthIndex < frame.WidthCount, "WidthIndex past the candidates");
    FuzzCheck(frame.Width == frame.Widths[frame.WidthIndex], "Width is not the selected one");
}

void CheckFrameData(std::span<const uint8_t> bytes)
{
    auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
    frame->LoadData(bytes, true);
    CheckFrameFields(*frame);
    if (!frame->Viewable())
        return;
    const uint8_t code = frame->Diagnosis;
    for (uint32_t i = 0; i < frame->WidthCount; ++i) {
        BlockRowSet rows;
        const uint8_t check = frame->CheckWidth(frame->Widths[i], rows);
        FuzzCheck(check == (code == DiagBlocks ? DiagBlocks : DiagOK) || code == DiagLimit,
            "a listed width does not pass its own check");
        FuzzCheck(rows == frame->BlockRows[i], "the block rows differ from the width check");
        if (i > 0)
            FuzzCheck(frame->Widths[i] < frame->Widths[i - 1], "widths not falling");
    }
    const uint64_t pixels = uint64_t { frame->Width } * frame->Height;
    if (pixels > MaxDecodedPixels)
        return;
    DataArray image;
    frame->DecodeImage(image);
    FuzzCheck(image.size() == pixels, "the decoded image is not Width x Height");
    if (pixels <= MaxRecodedPixels)
        CheckImageRoundTrip(frame->Width, frame->Height, image, FrameCoding::CL2);
}

void CheckPicture(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    const bool manyTransparent = (data[0] & 1) != 0;
    const uint32_t width = 1 + ((uint32_t { data[1] } | uint32_t { data[2] } << 8) % 1024);
    const uint32_t height = static_cast<uint32_t>((size - 3) / width);
    if (height == 0)
        return;
    DataArray image(size_t { width } * height);
    for (size_t i = 0; i < image.size(); ++i) {
        const uint8_t value = data[3 + i];
        image[i] = manyTransparent && value >= 0xC0 ? TransparentIndex : value;
    }
    CheckImageRoundTrip(width, height, image, FrameCoding::CL2);

    auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    const auto listed = frame->Widths.begin() + frame->WidthCount;
    const auto at = std::find(frame->Widths.begin(), listed, width);
    if (at == listed)
        return; // cut from a list of more than 255: the round trip above allowed that
    frame->SelectWidth(static_cast<uint32_t>(at - frame->Widths.begin()));
    for (FrameCoding coding : { FrameCoding::CEL, FrameCoding::CL2 }) {
        if (!RecodeFrame(*frame, coding))
            return; // only when the other coding lists more than 255 widths before it
        FuzzCheck(frame->Coding == coding, "RecodeFrame did not change the coding");
        FuzzCheck(frame->Width == width && frame->Height == height, "RecodeFrame lost the size");
        DataArray decoded;
        frame->DecodeImage(decoded);
        FuzzCheck(decoded == image, "RecodeFrame changed the picture");
    }
}

void CheckSameGroups(const SpriteFile& a, const SpriteFile& b)
{
    FuzzCheck(a.Groups.size() == b.Groups.size(), "reloading changed the group count");
    FuzzCheck(a.Grouped == b.Grouped, "reloading changed whether the file is grouped");
    for (size_t g = 0; g < a.Groups.size(); ++g) {
        const CELObject& x = *a.Groups[g];
        const CELObject& y = *b.Groups[g];
        FuzzCheck(x.FrameCount == y.FrameCount, "reloading changed a frame count");
        for (uint32_t i = 0; i < x.FrameCount; ++i) {
            const CELFrame& p = *x.Frames[i]->Frame;
            const CELFrame& q = *y.Frames[i]->Frame;
            FuzzCheck(p.Data == q.Data && p.Header == q.Header, "reloading changed a frame");
            FuzzCheck(p.Name == q.Name, "reloading changed a name");
            FuzzCheck(p.WidthIndex == q.WidthIndex, "reloading changed a selected width");
        }
    }
}

void LoadOnce(std::span<const uint8_t> bytes, const std::vector<uint8_t>* database,
    bool defaultWithHeaders, FrameCoding coding)
{
    SpriteFile file;
    const uint8_t status = LoadSpriteBytes(bytes, database, defaultWithHeaders, coding, file);
    FuzzCheck(status <= LoadBadOffsets && status == file.Status, "load status out of range");
    if (status != LoadOK) {
        FuzzCheck(file.Groups.empty() && !file.Grouped, "a failed load kept groups");
        return;
    }
    FuzzCheck(!file.Groups.empty(), "a loaded file without groups");
    FuzzCheck(file.Grouped || file.Groups.size() == 1, "a plain file of several groups");
    for (const auto& group : file.Groups) {
        FuzzCheck(group->Coding == coding, "a group of another coding");
        FuzzCheck(coding == FrameCoding::CEL || group->WithHeaders == 1, "a CL2 without headers");
        for (const auto& slot : group->Frames)
            CheckFrameFields(*slot->Frame);
    }
    const auto groups = file.GroupList();
    const std::vector<uint8_t> written
        = file.Grouped ? GroupedFileBytes(groups) : groups[0]->CELBytes();
    FuzzCheck(
        written.size() == bytes.size() && std::equal(written.begin(), written.end(), bytes.begin()),
        "the bytes written back differ from the bytes read");
    FuzzCheck(
        SpriteFileProblem(groups, file.Grouped) == SaveOK, "a loaded file could not be saved");
    const std::vector<uint8_t> writtenDatabase
        = file.Grouped ? GroupedDatabaseBytes(groups) : groups[0]->DatabaseBytes();
    SpriteFile again;
    FuzzCheck(
        LoadSpriteBytes(written, &writtenDatabase, defaultWithHeaders, coding, again) == LoadOK,
        "a file written back does not load");
    CheckSameGroups(file, again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] < 64) {
        CheckFrameData(std::span<const uint8_t>(data + 1, size - 1));
    } else if (data[0] < 128) {
        CheckPicture(data, size);
    } else {
        if (size < 3)
            return 0;
        const size_t databaseLength
            = std::min<size_t>(size_t { data[1] } | size_t { data[2] } << 8, size - 3);
        const std::vector<uint8_t> database(data + 3, data + 3 + databaseLength);
        const std::span<const uint8_t> file(data + 3 + databaseLength, size - 3 - databaseLength);
        const FrameCoding coding = (data[0] & 1) != 0 ? FrameCoding::CL2 : FrameCoding::CEL;
        for (bool defaultWithHeaders : { false, true }) {
            LoadOnce(file, nullptr, defaultWithHeaders, coding);
            LoadOnce(file, &database, defaultWithHeaders, coding);
            if (coding == FrameCoding::CL2)
                break; // the flag plays no part
        }
    }
    return 0;
}
