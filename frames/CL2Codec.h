#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "frames/FrameHandler.h"

// The CL2 frame coding, the second coding a CEL-like sprite file can hold. A CL2 frame always
// carries the 10-byte Frame Header; its data is a sequence of runs, each starting with a
// control byte b (unsigned):
//
//   01 ... 7F  b transparent pixels (index 255); 1 byte
//   80 ... BE  a fill run of 191 - b pixels (1 to 63), all of the index in the next byte
//   BF ... FF  a literal run of 256 - b pixels (1 to 65), the bytes that follow
//   00         never valid (DiagNull)
//
// The pixel stream fills the image row by row, bottom row first. A transparent run may cross
// a row end; fill and literal runs never do. So a CL2 frame admits every width that divides
// its pixel total and cuts no fill or literal run, and the Frame Header, which the encoder
// always writes, tells the true width of any frame of more than 32 rows.
//
// CELFrame dispatches to these functions when its Coding is FrameCoding::CL2; they are
// exposed for the tests, the benchmarks and the fuzz harnesses.

// Rebuilds Widths, BlockRows, WidthCount, Width, Height, WidthIndex and Diagnosis from Data
// and Header, as AnalyseData does for a CEL frame; returns the diagnosis. On a code of 4 or
// more only Diagnosis changes (WidthCount becomes 0 for DiagWidth after a scan that found no
// fitting width, as for a CEL).
uint8_t AnalyseCL2(CELFrame& frame);

// 0 (w fits and agrees with the Frame Header), 3 (fits, does not agree) or 4 (does not fit)
// for width w of a frame AnalyseCL2 found no fault in (no zero control byte, no run past the
// data). rows gets the block rows of w. A plain walk over the runs: AnalyseCL2 does not use
// it.
uint8_t CheckCL2Width(const CELFrame& frame, uint32_t w, BlockRowSet& rows);

// Fills image with exactly width x height pixels of data; pixels beyond are dropped, missing
// ones are transparent. Safe for any bytes: a zero control byte carries no pixels and a run
// cut by the end of the data gives the pixels that are there.
void DecodeCL2(std::span<const uint8_t> data, uint32_t width, uint32_t height, DataArray& image);

// Codes width x height pixels of image into data and header. Nothing is coded (data empty,
// header zero) for an empty size or an image too small for it.
void EncodeCL2(const DataArray& image, uint32_t width, uint32_t height, DataArray& data,
    std::array<uint16_t, 5>& header);
