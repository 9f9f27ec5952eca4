#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cel/CELHandler.h"
#include "frames/FrameHandler.h"

// Translation tables: 256 bytes, entry i the index drawn in place of index i. Entry 255 is
// never applied, so the transparent index always stays transparent; any other entry may name
// any index, 255 included (that pixel then becomes transparent).

using TranslationTable = std::array<uint8_t, 256>;

// A translation table file (".trn") is the 256 entries, nothing else.
constexpr uint64_t TranslationFileSize = 256;

// Every entry its own index.
TranslationTable IdentityTranslation();

// True when applying the table changes no pixel: entries 0 ... 254 are their own index
// (entry 255 does not count, it is never applied).
bool IsIdentity(const TranslationTable& table);

enum class TranslationFileResult : uint8_t {
    Done, // loaded or saved
    CannotOpen, // "Cannot open translation table"
    WrongSize, // "Translation table must be 256 bytes long" (with the size found)
    CannotCreate, // "Cannot create translation table"
};

// The table of a file's bytes: Done for exactly 256 bytes, otherwise WrongSize and the table
// is unchanged.
TranslationFileResult DecodeTranslation(std::span<const uint8_t> bytes, TranslationTable& table);
// Reads a ".trn" file. On anything but Done the table is unchanged; on WrongSize sizeFound
// (when given) holds the file's size. A file far too large is refused before it is read in.
TranslationFileResult LoadTranslationFile(
    const std::string& path, TranslationTable& table, uint64_t* sizeFound = nullptr);
// The 256 bytes of the table, entry 255 as it is.
std::vector<uint8_t> TranslationFileBytes(const TranslationTable& table);
// Written whole to a temporary file beside path, then renamed: Done or CannotCreate, and on
// CannotCreate any file at path is as it was.
TranslationFileResult SaveTranslationFile(const std::string& path, const TranslationTable& table);
// The message a window or the command line shows for a result, empty for Done. sizeFound
// is named in the WrongSize message.
std::string TranslationFileMessage(TranslationFileResult result, uint64_t sizeFound = 0);

// Every pixel p below 255 becomes table[p]; pixels of 255 stay 255.
void ApplyTranslation(const TranslationTable& table, std::span<uint8_t> image);
// The same into a copy: target gets source's size.
void ApplyTranslation(
    const TranslationTable& table, std::span<const uint8_t> source, DataArray& target);

enum class FrameTranslationResult : uint8_t {
    Changed, // re-coded with the translated pixels
    Unchanged, // the table changes none of its pixels: the frame was not touched at all
    NotShown, // not viewable, or too large for the viewer: left as it is
};

// Translates one frame as the viewer's "Save Frame" stores an image: decoded at its selected
// width, translated, coded again, analysed, and the first candidate equal to the old width
// selected again (the height follows). The name and everything else of the frame stay. In the
// one case where the old width is not listed again (more than 255 widths fit and the list is
// cut before it), the first candidate stays selected. It goes through the frame's own
// DecodeImage, EncodeImage, AnalyseData and SelectWidth, so it serves every coding a frame
// may have. A frame that cannot be shown is never decoded.
FrameTranslationResult TranslateFrame(const TranslationTable& table, CELFrame& frame);

// Whether the viewer can show a frame: viewable and within the viewer's size limits.
bool FrameCanBeShown(const CELFrame& frame);

// What TranslateFrames did to a list of frames.
struct FramesTranslation {
    uint32_t Changed = 0; // frames re-coded
    std::vector<uint32_t> NotShown; // positions in the list of the frames left as they were
};

// TranslateFrame on every frame of a list, in order (null entries and empty slots are
// skipped without a mention).
FramesTranslation TranslateFrames(
    const TranslationTable& table, std::span<const FrameSlotRef> frames);

// The colours as seen through a table: entry i (0 ... 254) is colours[table[i]], entry 255
// stays colours[255]. Drawing untranslated pixels with these colours shows them exactly as
// their translated pixels would show with the plain colours.
std::array<uint32_t, 256> TranslatedColours(
    const std::array<uint32_t, 256>& colours, const TranslationTable& table);

// "-> 3A" (the target as two upper-case hexadecimal digits) for an entry the table moves to
// another index; empty for an entry that stays itself and for entry 255.
std::string TranslationHint(const TranslationTable& table, uint8_t index);
