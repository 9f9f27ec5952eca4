#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Frame record, its run-length codec, width detection and diagnosis.

using DataArray = std::vector<uint8_t>;
using NumArray = std::vector<uint32_t>;
using BlockRowSet = std::array<int32_t, 5>;  // one row per Frame Header word, -1 for none

constexpr uint8_t TransparentIndex = 0xFF;
constexpr uint32_t FrameHeaderSize = 10;

// How a frame's pixels are coded: the CEL runs, or the CL2 runs of frames/CL2Codec.h. A CL2
// frame always carries its Frame Header in a file.
enum class FrameCoding : uint8_t { CEL, CL2 };

enum : uint8_t {
    DiagOK = 0,
    DiagHeader = 1,
    DiagLimit = 2,
    DiagBlocks = 3,
    DiagWidth = 4,
    DiagNull = 5,
    DiagBounds = 6,
};

class CELFrame {
public:
    uint8_t Diagnosis = DiagOK;
    std::array<uint16_t, 5> Header{};
    uint32_t Width = 1;
    uint32_t Height = 1;
    uint32_t DataLength = 1;
    DataArray Data{TransparentIndex};
    uint8_t WidthCount = 1;
    uint8_t WidthIndex = 0;
    NumArray Widths{1};
    std::vector<BlockRowSet> BlockRows{BlockRowSet{-1, -1, -1, -1, -1}};
    std::string Name; // the stored bytes, at most 255; shown through NameForDisplay
    // The coding of Data; DecodeImage, EncodeImage, AnalyseData and CheckWidth follow it.
    FrameCoding Coding = FrameCoding::CEL;

    // One transparent pixel, 1 x 1, no name: data FF with a zero Frame Header.
    static std::unique_ptr<CELFrame> CreateEmpty();
    // The same in the given coding; a CL2 one has data 01 and the Frame Header 10, 0, 0, 0, 0.
    static std::unique_ptr<CELFrame> CreateEmpty(FrameCoding coding);
    // Deep copy; Widths and BlockRows are copied for WidthCount elements only.
    static std::unique_ptr<CELFrame> CreateCopy(const CELFrame& source);

    void SetSize(uint32_t width, uint32_t height);

    // Fills image with exactly Width x Height palette indices; surplus pixels of a short
    // last row are dropped. Only called for viewable frames (Diagnosis below DiagWidth).
    void DecodeImage(DataArray& image) const;

    // Codes Width x Height pixels of image into Data, DataLength and Header.
    void EncodeImage(const DataArray& image);

    // Rebuilds the candidate widths and the diagnosis from Data and Header.
    uint8_t AnalyseData();

    // 0, 3 or 4 for width w; the block rows of w go into widthBlockRows.
    uint8_t CheckWidth(uint32_t w, BlockRowSet& widthBlockRows) const;

    bool SelectWidth(uint32_t index);
    // Selects the first listed candidate equal to width; false, changing nothing, without one
    // (a picture's own width goes unlisted only when more than 255 widths fit).
    bool SelectCandidateWidth(uint32_t width);
    void GetBlockRows(BlockRowSet& rows) const;

    // Reads the frame from its bytes inside a CEL file (Frame Header first when withHeader),
    // then analyses it; returns the diagnosis.
    uint8_t LoadData(std::span<const uint8_t> bytes, bool withHeader);
    // Appends the frame as stored in a CEL file.
    void SaveData(std::vector<uint8_t>& out, bool withHeader) const;

    bool Viewable() const { return Diagnosis < DiagWidth; }

    // Every field alike: the undo steps use it to tell whether an operation changed a frame.
    bool operator==(const CELFrame& other) const = default;
};

// Puts frame into the other coding: decodes it at its selected width, encodes the image in
// coding, analyses the result and selects the same width again; the name stays. True when
// done (or when the frame is in coding already); false, with the frame unchanged, when the
// frame is not viewable or its width is no candidate of the new data.
bool RecodeFrame(CELFrame& frame, FrameCoding coding);

// "cel" or "cl2".
const char* CodingName(FrameCoding coding);
// "DiagOK" ... "DiagBounds" for a diagnosis, "DiagUnknown" for any other code.
std::string_view DiagnosisName(uint8_t code);

// "12, 64x32, #Width", or " Name" for a named frame (the name as shown, UTF-8).
std::string FrameCaption(uint32_t number, const CELFrame& frame);
