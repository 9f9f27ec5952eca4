// The CEL reader with its frame database, fed from memory.
//
// Input: bytes 0 and 1 give the length L of the database (little-endian, cut to what is
// there); the next L bytes are the database, the rest is the CEL file. Each input is loaded
// four times: without and with the database, each with both default Frame Header flags.
// Whatever the bytes, the load must end in a status of 0 to 4; a failed load keeps no frame;
// a successful one keeps frames whose fields agree with each other, whose viewable frames
// decode inside their image, and whose CEL bytes written back equal the input, and saving the
// CEL and its database and loading them again gives the same frames.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzSupport.h"
#include "cel/CELHandler.h"

namespace {

// An image of more pixels than this is not decoded here; real frames stay far below it, and
// the reader's own bound is what the width detection allows.
constexpr uint64_t MaxDecodedPixels = 1u << 22;

void CheckFrame(const CELFrame& frame)
{
    FuzzCheck(frame.DataLength == frame.Data.size(), "DataLength differs from the data");
    FuzzCheck(frame.DataLength > 0, "a loaded frame has no data");
    FuzzCheck(frame.Diagnosis <= DiagBounds, "diagnosis out of range");
    FuzzCheck(frame.Name.size() <= 255, "a name longer than 255 bytes");
    FuzzCheck(frame.Name.find('\0') == std::string::npos, "a name holds a zero byte");
    if (frame.WidthCount > 0) {
        FuzzCheck(frame.Widths.size() >= frame.WidthCount, "fewer widths than WidthCount");
        FuzzCheck(frame.BlockRows.size() >= frame.WidthCount, "fewer block rows than widths");
        FuzzCheck(frame.WidthIndex < frame.WidthCount, "WidthIndex past the candidates");
        FuzzCheck(frame.Width == frame.Widths[frame.WidthIndex], "Width is not the selected one");
    }
    if (!frame.Viewable())
        return;
    FuzzCheck(frame.WidthCount > 0, "a viewable frame has no candidate width");
    FuzzCheck(frame.Width > 0, "a viewable frame of width 0");
    // Every candidate must decode inside its image: select each in turn on a copy.
    auto copy = CELFrame::CreateCopy(frame);
    for (uint32_t i = 0; i < frame.WidthCount; i += 1 + frame.WidthCount / 4) {
        FuzzCheck(copy->SelectWidth(i), "SelectWidth refused a listed index");
        uint64_t pixels = uint64_t { copy->Width } * copy->Height;
        if (pixels > MaxDecodedPixels)
            continue;
        DataArray image;
        copy->DecodeImage(image);
        FuzzCheck(image.size() == pixels, "the decoded image is not Width x Height");
    }
}

void CheckSameFrames(const CELObject& a, const CELObject& b)
{
    FuzzCheck(a.FrameCount == b.FrameCount, "reloading changed the frame count");
    FuzzCheck(a.WithHeaders == b.WithHeaders, "reloading changed the Frame Header flag");
    for (uint32_t i = 0; i < a.FrameCount; ++i) {
        const CELFrame& x = *a.Frames[i]->Frame;
        const CELFrame& y = *b.Frames[i]->Frame;
        FuzzCheck(x.Data == y.Data, "reloading changed a frame's data");
        FuzzCheck(x.Header == y.Header, "reloading changed a Frame Header");
        FuzzCheck(x.Name == y.Name, "reloading changed a name");
        FuzzCheck(x.Diagnosis == y.Diagnosis, "reloading changed a diagnosis");
        FuzzCheck(x.WidthCount == y.WidthCount, "reloading changed the candidate count");
        FuzzCheck(x.WidthIndex == y.WidthIndex, "reloading changed the selected width");
        FuzzCheck(x.Width == y.Width && x.Height == y.Height, "reloading changed the size");
    }
}

void LoadOnce(
    std::span<const uint8_t> cel, const std::vector<uint8_t>* database, bool defaultWithHeaders)
{
    auto object = CELObject::CreateEmpty(0);
    uint8_t status = object->LoadFromBytes(cel, database, defaultWithHeaders);
    FuzzCheck(status <= LoadBadOffsets, "load status out of range");
    FuzzCheck(status == object->Status, "LoadFromBytes returned another status than it stored");
    if (status != LoadOK) {
        FuzzCheck(object->Frames.empty(), "a failed load kept frames");
        return;
    }
    FuzzCheck(object->FrameCount > 0, "a loaded CEL without frames");
    FuzzCheck(object->Frames.size() == object->FrameCount, "table size differs from FrameCount");
    FuzzCheck(object->HasDatabase == (database != nullptr ? 1 : 0), "HasDatabase is wrong");
    if (!database)
        FuzzCheck(object->WithHeaders == (defaultWithHeaders ? 1 : 0),
            "without a database the default flag was not used");
    else if (!database->empty())
        FuzzCheck(object->WithHeaders == (*database)[0], "the database flag was not used");
    for (const auto& slot : object->Frames) {
        FuzzCheck(slot && slot->Frame, "an empty slot after a load");
        CheckFrame(*slot->Frame);
    }

    std::vector<uint8_t> written = object->CELBytes();
    FuzzCheck(
        written.size() == cel.size() && std::equal(written.begin(), written.end(), cel.begin()),
        "the CEL bytes written back differ from the bytes read");
    std::vector<uint8_t> writtenDatabase = object->DatabaseBytes();
    auto again = CELObject::CreateEmpty(0);
    uint8_t statusAgain = again->LoadFromBytes(written, &writtenDatabase, defaultWithHeaders);
    FuzzCheck(statusAgain == LoadOK, "a CEL written back does not load");
    CheckSameFrames(*object, *again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t databaseLength
        = std::min<size_t>(size_t { data[0] } | size_t { data[1] } << 8, size - 2);
    std::vector<uint8_t> database(data + 2, data + 2 + databaseLength);
    std::span<const uint8_t> cel(data + 2 + databaseLength, size - 2 - databaseLength);
    for (bool defaultWithHeaders : { false, true }) {
        LoadOnce(cel, nullptr, defaultWithHeaders);
        LoadOnce(cel, &database, defaultWithHeaders);
    }
    return 0;
}
