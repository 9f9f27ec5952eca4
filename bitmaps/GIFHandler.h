#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/PNGHandler.h"
#include "palette/PaletteModel.h"

// Animated GIF files, to and from palette indices, through giflib. A GIF's colour table of 256
// entries maps one to one onto the palette: written files keep every pixel's index, and read
// files take Import's colour rules (NearestColour, each colour table entry matched once).

// Every GIF starts with one of these six-byte signatures.
inline constexpr uint8_t GIF87Signature[6] = { 'G', 'I', 'F', '8', '7', 'a' };
inline constexpr uint8_t GIF89Signature[6] = { 'G', 'I', 'F', '8', '9', 'a' };

// A GIF canvas of more pixels than a PNG may hold is refused from its header, before any pixel
// buffer exists. An animation is also refused once its frames, each a whole canvas, add up to
// more than MaxGIFTotalPixels: a few bytes of image descriptor stand for a whole canvas each.
inline constexpr uint64_t MaxGIFCanvasPixels = MaxPNGPixels;
inline constexpr uint64_t MaxGIFTotalPixels = 1ull << 30;

// GIF delays are counted in hundredths of a second, so frames a second go from 1 to 100.
inline constexpr uint32_t MaxGIFFramesPerSecond = 100;
inline constexpr uint32_t MaxGIFZoom = 8;
// A GIF states its sides in 16 bits.
inline constexpr uint32_t MaxGIFSide = 65535;

// How an animation is written.
struct GIFAnimation {
    uint32_t FramesPerSecond = 15; // 1 ... 100
    uint32_t Zoom = 1;             // 1 ... 8, each pixel a Zoom x Zoom square
    // The loop count of the NETSCAPE2.0 block, 0 for ever (1 ... 65535 as given); PlayOnce
    // writes no such block, and players show the frames once.
    int32_t LoopCount = 0;
    static constexpr int32_t PlayOnce = -1;
};

// The delay of each of count frames in hundredths of a second at framesPerSecond: frame k ends
// at round(100 x (k + 1) / framesPerSecond), so the delays add up to the time the frames take
// at that speed, never more than half a hundredth away from it (15 frames a second: 7, 6, 7,
// 7, 6, 7, ...).
std::vector<uint16_t> GIFDelays(size_t count, uint32_t framesPerSecond);

// The canvas an animation is written on: the largest width and the largest height of the
// frames, before Zoom.
void GIFCanvasSize(std::span<const Bitmap> frames, uint32_t& width, uint32_t& height);

// Where the bytes of a GIF go as they are made, in pieces of up to 64 KiB; false stops the
// writing.
using GIFOutput = std::function<bool(std::span<const uint8_t>)>;

// Writes the frames (row 0 the bottom row, as every Bitmap) as one animated GIF: one canvas of
// the largest width and height, each frame at its bottom left corner, magnified by Zoom. The
// colour table is palette entries 0 ... 254 and the transparent colour as entry 255; index 255
// is the transparent index of every frame, and every frame is disposed of by "restore to
// background" (the canvas background is index 255 too), so nothing of one frame shows under
// the next. False, with nothing or part of a file given to output, when there is no frame, a
// frame is empty or its pixels do not cover its size, an option is out of range, the zoomed
// canvas has a side above 65535, or output refused.
bool EncodeGIF(std::span<const Bitmap> frames, const PaletteModel& palette,
    const GIFAnimation& animation, const GIFOutput& output);
// The whole file in memory; empty when EncodeGIF fails.
std::vector<uint8_t> EncodeGIF(
    std::span<const Bitmap> frames, const PaletteModel& palette, const GIFAnimation& animation);
// Written through a temporary file and renamed: 0 written, 1 not written (nothing is left at
// path then, and an older file there stays as it was).
uint8_t WriteGIF(const std::string& path, std::span<const Bitmap> frames,
    const PaletteModel& palette, const GIFAnimation& animation);

// Receives each frame of a GIF as a viewer shows it: the whole canvas, row 0 the bottom row,
// every pixel a palette index (255 where nothing is drawn). The bitmap is reused for the next
// frame. False stops the reading; the result is then 2.
using GIFFrameSink = std::function<bool(const Bitmap& canvas)>;

// The limits of a read; the defaults are the import limits above. The fuzz harness lowers them.
struct GIFReadLimits {
    uint64_t CanvasPixels = MaxGIFCanvasPixels;
    uint64_t TotalPixels = MaxGIFTotalPixels;
};

// Reads a GIF (GIF87a or GIF89a) from memory. Frames are composited as a viewer plays them: the
// canvas starts transparent; a frame's transparent pixels leave the canvas as it is; after a
// frame is shown its disposal method applies (none and "do not dispose" leave it, "restore to
// background" clears its rectangle to transparent, "restore to previous" puts back what was
// under it); a frame reaching beyond the canvas is cut to it. Each colour of a colour table
// takes NearestColour's index once, the frame's transparent index 255.
//
// The first maxFrames frames go to sink; the rest of the file is still read through, so that a
// file damaged anywhere is refused whole. 0, or 2 for anything that is not a sound GIF (bad
// signature, damaged or truncated data, an index beyond its colour table, no frame, a canvas
// or a sum of frames beyond the limits), with the rule that refused it in reason when given.
uint8_t DecodeGIF(std::span<const uint8_t> file, const PaletteModel& palette,
    const GIFFrameSink& sink, std::string* reason = nullptr, uint32_t maxFrames = UINT32_MAX,
    const GIFReadLimits& limits = {});
// The first frame alone, as Import takes it. On 2 the bitmap is unchanged.
uint8_t DecodeGIFFirstFrame(std::span<const uint8_t> file, const PaletteModel& palette,
    Bitmap& bitmap);
