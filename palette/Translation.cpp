#include "palette/Translation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "frames/FileIO.h"
#include "viewer/ViewerState.h"

TranslationTable IdentityTranslation()
{
    TranslationTable table {};
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(i);
    return table;
}

bool IsIdentity(const TranslationTable& table)
{
    for (uint32_t i = 0; i < TransparentIndex; ++i)
        if (table[i] != i)
            return false;
    return true;
}

TranslationFileResult DecodeTranslation(std::span<const uint8_t> bytes, TranslationTable& table)
{
    if (bytes.size() != TranslationFileSize)
        return TranslationFileResult::WrongSize;
    std::copy(bytes.begin(), bytes.end(), table.begin());
    return TranslationFileResult::Done;
}

TranslationFileResult LoadTranslationFile(
    const std::string& path, TranslationTable& table, uint64_t* sizeFound)
{
    // Read up to one byte more than a table: enough to tell a longer file, never more, so a
    // stray huge file costs nothing.
    std::vector<uint8_t> bytes;
    if (ReadFileHead(path, bytes, TranslationFileSize + 1) != ReadResult::Ok)
        return TranslationFileResult::CannotOpen;
    if (bytes.size() != TranslationFileSize && sizeFound) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        *sizeFound = error ? bytes.size() : static_cast<uint64_t>(size);
    }
    return DecodeTranslation(bytes, table);
}

std::vector<uint8_t> TranslationFileBytes(const TranslationTable& table)
{
    return std::vector<uint8_t>(table.begin(), table.end());
}

TranslationFileResult SaveTranslationFile(const std::string& path, const TranslationTable& table)
{
    if (!WriteFileAtomically(path, TranslationFileBytes(table)))
        return TranslationFileResult::CannotCreate;
    return TranslationFileResult::Done;
}

std::string TranslationFileMessage(TranslationFileResult result, uint64_t sizeFound)
{
    switch (result) {
    case TranslationFileResult::CannotOpen:
        return "Cannot open translation table";
    case TranslationFileResult::WrongSize:
        return "Translation table must be 256 bytes long (this file has "
            + std::to_string(sizeFound) + (sizeFound == 1 ? " byte)" : " bytes)");
    case TranslationFileResult::CannotCreate:
        return "Cannot create translation table";
    case TranslationFileResult::Done:
        break;
    }
    return {};
}

namespace {

// The table as applied: entry 255 forced to 255, so one lookup serves every pixel.
TranslationTable Applied(const TranslationTable& table)
{
    TranslationTable applied = table;
    applied[TransparentIndex] = TransparentIndex;
    return applied;
}

} // namespace

void ApplyTranslation(const TranslationTable& table, std::span<uint8_t> image)
{
    const TranslationTable applied = Applied(table);
    for (uint8_t& pixel : image)
        pixel = applied[pixel];
}

void ApplyTranslation(
    const TranslationTable& table, std::span<const uint8_t> source, DataArray& target)
{
    const TranslationTable applied = Applied(table);
    target.resize(source.size());
    std::transform(source.begin(), source.end(), target.begin(),
        [&applied](uint8_t pixel) { return applied[pixel]; });
}

bool FrameCanBeShown(const CELFrame& frame)
{
    return frame.Viewable() && !ViewerState::TooLargeToShow(frame);
}

FrameTranslationResult TranslateFrame(const TranslationTable& table, CELFrame& frame)
{
    if (!FrameCanBeShown(frame))
        return FrameTranslationResult::NotShown;
    DataArray image;
    frame.DecodeImage(image);
    DataArray translated;
    ApplyTranslation(table, image, translated);
    // An image the table leaves as it was keeps its data byte for byte: coding it again could
    // group its runs otherwise than the tool that wrote it did.
    if (translated == image)
        return FrameTranslationResult::Unchanged;
    const uint32_t width = frame.Width;
    const uint32_t height = frame.Height;
    frame.SetSize(width, height);
    frame.EncodeImage(translated);
    frame.AnalyseData();
    frame.SelectCandidateWidth(width);
    return FrameTranslationResult::Changed;
}

FramesTranslation TranslateFrames(
    const TranslationTable& table, std::span<const FrameSlotRef> frames)
{
    FramesTranslation outcome;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!frames[i] || !frames[i]->Frame)
            continue;
        switch (TranslateFrame(table, *frames[i]->Frame)) {
        case FrameTranslationResult::Changed:
            ++outcome.Changed;
            break;
        case FrameTranslationResult::NotShown:
            outcome.NotShown.push_back(static_cast<uint32_t>(i));
            break;
        case FrameTranslationResult::Unchanged:
            break;
        }
    }
    return outcome;
}

std::array<uint32_t, 256> TranslatedColours(
    const std::array<uint32_t, 256>& colours, const TranslationTable& table)
{
    std::array<uint32_t, 256> seen {};
    for (uint32_t i = 0; i < TransparentIndex; ++i)
        seen[i] = colours[table[i]];
    seen[TransparentIndex] = colours[TransparentIndex];
    return seen;
}

std::string TranslationHint(const TranslationTable& table, uint8_t index)
{
    if (index == TransparentIndex || table[index] == index)
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "-> %02X", static_cast<unsigned>(table[index]));
    return text;
}
