#include "bitmaps/GIFHandler.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>

#include <gif_lib.h>

#include "frames/FileIO.h"

namespace {

// ---- Writing ------------------------------------------------------------------------------

// giflib hands over its bytes a few at a time (a data block is at most 255 bytes); they are
// gathered here and passed on in pieces of this size.
constexpr size_t OutputPiece = 64u << 10;

struct WriteTarget {
    const GIFOutput& Output;
    std::vector<uint8_t> Pending;
    bool Failed = false;

    bool Flush()
    {
        if (!Failed && !Pending.empty())
            Failed = !Output(Pending);
        Pending.clear();
        return !Failed;
    }
};

int PutBytes(GifFileType* gif, const GifByteType* bytes, int length)
{
    auto* target = static_cast<WriteTarget*>(gif->UserData);
    if (target->Failed || length < 0)
        return 0;
    target->Pending.insert(target->Pending.end(), bytes, bytes + length);
    if (target->Pending.size() >= OutputPiece && !target->Flush())
        return 0;
    return length;
}

struct EncoderClose {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapRelease {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

GifColorType ColourEntry(uint32_t colour)
{
    return { static_cast<GifByteType>(colour & 0xFF), static_cast<GifByteType>((colour >> 8) & 0xFF),
        static_cast<GifByteType>((colour >> 16) & 0xFF) };
}

bool PutLoopBlock(GifFileType* gif, uint16_t loopCount)
{
    static constexpr char Application[] = "NETSCAPE2.0";
    const uint8_t loop[3] = { 1, static_cast<uint8_t>(loopCount & 0xFF),
        static_cast<uint8_t>(loopCount >> 8) };
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
        && EGifPutExtensionBlock(gif, sizeof Application - 1, Application) == GIF_OK
        && EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK
        && EGifPutExtensionTrailer(gif) == GIF_OK;
}

bool SoundFrames(std::span<const Bitmap> frames)
{
    return !frames.empty() && std::all_of(frames.begin(), frames.end(), [](const Bitmap& frame) {
        return frame.BitmapWidth > 0 && frame.BitmapHeight > 0
            && uint64_t { frame.BitmapWidth } * frame.BitmapHeight <= frame.BitmapPixels.size();
    });
}

// The LZW coding of a GIF image of 8-bit pixels, code for code as giflib's own encoder makes
// it (its table, its clear codes, its code widths), at several times its speed: giflib calls
// a function per pixel and probes a hash table for each, which made it slower than Pillow.
// Here a pixel costs one probe of a small hash table whose slots hold the string's key and
// code together, and a run of one byte (transparent margins, zoomed pixels) costs one step per
// code: the strings of one byte repeated are kept in lists of their own, so the longest one
// that matches is found at once. Both are the greedy coding, so the codes agree.
class LZWCoder {
public:
    // Starts an image: the clear code first, as giflib does.
    void Begin()
    {
        packed.resize(Slack);
        blocks.clear();
        current = NoCode;
        bits = 0;
        bitCount = 0;
        Reset();
        uint8_t* out = packed.data();
        Output(out, ClearCode);
        used = size_t(out - packed.data());
    }

    void Add(const uint8_t* pixels, size_t count)
    {
        // Room for a code of 12 bits and a clear code per pixel, at most, and for the whole
        // word Output stores.
        packed.resize(used + 3 * count + Slack);
        uint8_t* out = packed.data() + used;
        const uint8_t* const end = pixels + count;
        const uint8_t* at = pixels;
        // The string so far, in locals while coding: the compiler cannot keep members in
        // registers across the stores of the output bytes.
        uint32_t code = current, runByte = this->runByte, runLength = this->runLength;
        if (code == NoCode && at < end) {
            code = runByte = *at++;
            runLength = 1;
        }
        while (at < end) {
            const uint8_t pixel = *at;
            if (pixel == runByte && runLength > 0) {
                // The string so far is runLength times one byte, and so is what follows: jump
                // to the longest such string in the table instead of a probe per pixel.
                const uint32_t known = runCount[pixel];
                const uint8_t* const limit = at + std::min<size_t>(size_t(end - at), known - runLength + 1);
                const uint8_t* stop = at;
                while (stop < limit && *stop == pixel)
                    ++stop;
                const uint32_t reach = runLength + static_cast<uint32_t>(stop - at);
                if (reach <= known) {
                    code = RunCode(pixel, reach);
                    runLength = reach;
                    at = stop;
                    continue; // the image row ended, or another byte follows
                }
                // One byte more than the table holds: out with the longest, and the string
                // one byte longer becomes the next code.
                at += known - runLength + 1;
                Output(out, RunCode(pixel, known));
                if (nextCode >= MaxCode) {
                    Output(out, ClearCode);
                    Reset();
                } else {
                    // The list may hold codes of an earlier table beyond its count.
                    std::vector<uint16_t>& chain = runs[pixel];
                    if (chain.size() < known)
                        chain.push_back(static_cast<uint16_t>(nextCode++));
                    else
                        chain[known - 1] = static_cast<uint16_t>(nextCode++);
                    runCount[pixel] = static_cast<uint16_t>(known + 1);
                }
                code = runByte = pixel;
                runLength = 1;
                continue;
            }
            // A slot holds a string's code above its key, the prefix code and the pixel; an
            // empty slot is 0, which no string's slot is (codes start above 255).
            const uint32_t key = code << 8 | pixel;
            uint32_t slot = Slot(key);
            uint32_t held = table[slot];
            while (held != 0 && (held & KeyMask) != key) {
                slot = (slot + 1) & (TableSize - 1);
                held = table[slot];
            }
            ++at;
            if (held != 0) {
                code = held >> KeyBits;
                runLength = 0;
                continue;
            }
            Output(out, code);
            if (nextCode >= MaxCode) {
                Output(out, ClearCode);
                Reset();
            } else {
                table[slot] = nextCode++ << KeyBits | key;
                taken[takenCount++] = static_cast<uint16_t>(slot);
            }
            code = runByte = pixel;
            runLength = 1;
        }
        current = code;
        this->runByte = runByte;
        this->runLength = runLength;
        used = size_t(out - packed.data());
    }

    // Ends the image: its data as GIF sub-blocks (a length byte, then up to 255 bytes each).
    const std::vector<uint8_t>& End()
    {
        packed.resize(used + 2 * Slack);
        uint8_t* out = packed.data() + used;
        if (current != NoCode)
            Output(out, current);
        Output(out, EndCode);
        used = size_t(out - packed.data());
        if (bitCount > 0)
            packed[used++] = static_cast<uint8_t>(bits);
        packed.resize(used);
        blocks.reserve(used + used / 255 + 1);
        for (size_t from = 0; from < packed.size(); from += 255) {
            const size_t length = std::min<size_t>(255, packed.size() - from);
            blocks.push_back(static_cast<uint8_t>(length));
            blocks.insert(blocks.end(), packed.begin() + long(from), packed.begin() + long(from + length));
        }
        return blocks;
    }

private:
    static constexpr uint32_t ClearCode = 256;
    static constexpr uint32_t EndCode = 257;
    static constexpr uint32_t MaxCode = 4095; // giflib's LZ_MAX_CODE
    static constexpr uint32_t NoCode = 0xFFFFFFFF;
    static constexpr uint32_t TableBits = 14;
    static constexpr uint32_t TableSize = 1u << TableBits;
    static constexpr uint32_t KeyBits = 20; // 12 bits of prefix code, 8 of pixel
    static constexpr uint32_t KeyMask = (1u << KeyBits) - 1;
    static constexpr size_t Slack = 8; // Output stores a whole 64-bit word

    static uint32_t Slot(uint32_t key) { return (key * 2654435761u) >> (32 - TableBits); }

    // The code of n times byte b; runs holds those of two and more.
    uint32_t RunCode(uint8_t b, uint32_t n) const { return n == 1 ? b : runs[b][n - 2]; }

    // Empties the table: only its taken slots, since a small image takes few of them.
    void Reset()
    {
        for (uint32_t k = 0; k < takenCount; ++k)
            table[taken[k]] = 0;
        takenCount = 0;
        runCount.fill(1);
        nextCode = EndCode + 1;
        width = 9;
        widthLimit = 1u << width;
    }

    // Writes code at the current width, least significant bits first, then widens the codes
    // once the next code to be assigned no longer fits, as the decoder will. The whole bit
    // buffer is stored at out, little-endian, and out moves past its full bytes.
    void Output(uint8_t*& out, uint32_t code)
    {
        bits |= uint64_t { code } << bitCount;
        bitCount += width;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &bits, sizeof bits);
        } else {
            for (size_t b = 0; b < 8; ++b)
                out[b] = static_cast<uint8_t>(bits >> (8 * b));
        }
        out += bitCount >> 3;
        bits >>= bitCount & ~7u;
        bitCount &= 7;
        if (nextCode >= widthLimit && width < 12)
            widthLimit = 1u << ++width;
    }

    // On the heap: a coder on the stack is mostly these tables.
    std::vector<uint32_t> table = std::vector<uint32_t>(TableSize);
    std::vector<uint16_t> taken = std::vector<uint16_t>(MaxCode); // the table's slots in use
    uint32_t takenCount = 0;
    // runs[b][n - 2]: the code of n times b, for the first runCount[b] - 1 entries.
    std::array<std::vector<uint16_t>, 256> runs;
    std::array<uint16_t, 256> runCount {}; // how many strings of each byte repeated there are
    uint32_t runByte = 0;
    uint32_t runLength = 0; // of current, when it is one byte repeated; 0 otherwise

    uint32_t nextCode = EndCode + 1;
    uint32_t width = 9;
    uint32_t widthLimit = 512;
    uint32_t current = NoCode;
    uint64_t bits = 0;
    uint32_t bitCount = 0;
    std::vector<uint8_t> packed; // the codes; used bytes of it so far
    size_t used = 0;
    std::vector<uint8_t> blocks;
};

// ---- Reading ------------------------------------------------------------------------------

struct ReadSource {
    std::span<const uint8_t> File;
    size_t At = 0;
};

int TakeBytes(GifFileType* gif, GifByteType* buffer, int length)
{
    auto* source = static_cast<ReadSource*>(gif->UserData);
    if (length <= 0)
        return 0;
    const size_t count = std::min(static_cast<size_t>(length), source->File.size() - source->At);
    std::memcpy(buffer, source->File.data() + source->At, count);
    source->At += count;
    return static_cast<int>(count);
}

struct DecoderClose {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

std::string Pixels(uint64_t width, uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// The reason for a giflib failure inside frame number frame. giflib reports a read past the end
// of the file and a code size it cannot take alike; which one it was, the position tells.
std::string FrameFailure(int error, uint32_t frame, bool atEnd)
{
    const std::string where = " in frame " + std::to_string(frame);
    switch (error) {
    case D_GIF_ERR_READ_FAILED:
        if (!atEnd)
            return "damaged picture data" + where;
        return "file ends inside frame " + std::to_string(frame);
    case D_GIF_ERR_EOF_TOO_SOON:
        return "picture data ends before the last pixel" + where;
    case D_GIF_ERR_IMAGE_DEFECT:
        return "damaged picture data" + where;
    case D_GIF_ERR_DATA_TOO_BIG:
        return "more picture data than pixels" + where;
    case D_GIF_ERR_NOT_ENOUGH_MEM:
        return "out of memory" + where;
    default: {
        const char* text = GifErrorString(error);
        return (text ? std::string(text) : "error " + std::to_string(error)) + where;
    }
    }
}

// The rows of an interlaced frame come in four passes: every eighth row from row 0, every
// eighth from 4, every fourth from 2, every second from 1.
uint32_t InterlacedRow(uint32_t line, uint32_t height)
{
    static constexpr uint32_t Start[4] = { 0, 4, 2, 1 };
    static constexpr uint32_t Step[4] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass) {
        const uint32_t rows = height > Start[pass] ? (height - Start[pass] + Step[pass] - 1) / Step[pass] : 0;
        if (line < rows)
            return Start[pass] + line * Step[pass];
        line -= rows;
    }
    return height; // not reached for line < height
}

// A rectangle of the canvas, columns x0 ... x1 - 1 and GIF rows (from the top) y0 ... y1 - 1.
struct Area {
    uint32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

class Compositor {
public:
    Compositor(uint32_t width, uint32_t height)
        : width(width)
        , height(height)
    {
    }

    Bitmap Canvas;

    // Before the frame of area is drawn: the previous frame's disposal, then what "restore to
    // previous" needs of this frame.
    void Prepare(const Area& area, int disposal)
    {
        if (Canvas.BitmapPixels.empty()) {
            Canvas.BitmapWidth = width;
            Canvas.BitmapHeight = height;
            Canvas.BitmapPixels.assign(size_t { width } * height, TransparentIndex);
        }
        if (lastDisposal == DISPOSE_BACKGROUND)
            ForRows(last, [&](uint8_t* row, size_t k) {
                (void)k;
                std::fill(row + last.X0, row + last.X1, TransparentIndex);
            });
        else if (lastDisposal == DISPOSE_PREVIOUS)
            ForRows(last, [&](uint8_t* row, size_t k) {
                std::copy_n(saved.data() + k * (last.X1 - last.X0), last.X1 - last.X0, row + last.X0);
            });
        if (disposal == DISPOSE_PREVIOUS) {
            saved.resize(size_t { area.X1 - area.X0 } * (area.Y1 - area.Y0));
            ForRows(area, [&](uint8_t* row, size_t k) {
                std::copy_n(row + area.X0, area.X1 - area.X0, saved.data() + k * (area.X1 - area.X0));
            });
        }
        last = area;
        lastDisposal = disposal;
    }

    // GIF row y (from the top) of the canvas.
    uint8_t* Row(uint32_t y) { return Canvas.BitmapPixels.data() + size_t { height - 1 - y } * width; }

private:
    template <typename Body> void ForRows(const Area& area, Body body)
    {
        for (uint32_t y = area.Y0; y < area.Y1; ++y)
            body(Row(y), size_t { y - area.Y0 });
    }

    uint32_t width;
    uint32_t height;
    Area last;
    int lastDisposal = DISPOSAL_UNSPECIFIED;
    std::vector<uint8_t> saved;
};

// The palette index of each colour of a colour table, and which indices the table has.
struct TableMap {
    std::array<uint8_t, 256> Index {};
    int Count = 0;

    void Build(const ColorMapObject& table, const ColourMatcher& matcher)
    {
        Count = std::clamp(table.ColorCount, 0, 256);
        for (int i = 0; i < Count; ++i) {
            const GifColorType& c = table.Colors[i];
            Index[size_t(i)] = matcher.Nearest(uint32_t { c.Red } + 256u * c.Green + 65536u * c.Blue);
        }
    }
};

class Reader {
public:
    Reader(std::span<const uint8_t> file, const PaletteModel& palette, const GIFFrameSink& sink,
        uint32_t maxFrames, const GIFReadLimits& limits)
        : source { file }
        , palette(palette)
        , sink(sink)
        , maxFrames(maxFrames)
        , limits(limits)
    {
    }

    // Empty when the file was read whole, otherwise why it was refused.
    std::string Run()
    {
        if (source.File.size() < 6
            || (!std::equal(std::begin(GIF87Signature), std::end(GIF87Signature), source.File.begin())
                && !std::equal(
                    std::begin(GIF89Signature), std::end(GIF89Signature), source.File.begin())))
            return "no \"GIF87a\" or \"GIF89a\" signature";
        int error = 0;
        std::unique_ptr<GifFileType, DecoderClose> opened(DGifOpen(&source, TakeBytes, &error));
        if (!opened)
            return error == D_GIF_ERR_NOT_ENOUGH_MEM ? "out of memory" : "file ends inside its header";
        gif = opened.get();
        width = gif->SWidth > 0 ? uint32_t(gif->SWidth) : 0;
        height = gif->SHeight > 0 ? uint32_t(gif->SHeight) : 0;
        const uint64_t canvas = uint64_t { width } * height;
        if (canvas == 0)
            return "empty canvas of " + Pixels(width, height);
        if (canvas > limits.CanvasPixels)
            return "canvas of " + Pixels(width, height) + ", more than the "
                + std::to_string(limits.CanvasPixels) + " an import takes";
        Compositor compositor(width, height);
        this->compositor = &compositor;
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif, &type) != GIF_OK) {
                if (gif->Error == D_GIF_ERR_WRONG_RECORD) {
                    char text[8];
                    std::snprintf(text, sizeof text, "0x%02X", source.File[source.At - 1]);
                    return "unknown block " + std::string(text) + " after frame "
                        + std::to_string(frames);
                }
                return "file ends before its trailer";
            }
            std::string problem;
            if (type == IMAGE_DESC_RECORD_TYPE)
                problem = Frame();
            else if (type == EXTENSION_RECORD_TYPE)
                problem = Extension();
            else if (type == TERMINATE_RECORD_TYPE)
                return frames == 0 ? "no frame" : std::string();
            else
                problem = "unknown block after frame " + std::to_string(frames);
            if (!problem.empty())
                return problem;
        }
    }

    bool Stopped = false; // the sink asked to stop

private:
    std::string Failure() const
    {
        return FrameFailure(gif->Error, frames, source.At == source.File.size());
    }

    std::string Extension()
    {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK)
            return Failure();
        if (code == GRAPHICS_EXT_FUNC_CODE) {
            if (!block || block[0] != 4)
                return "graphic control block of " + std::to_string(block ? block[0] : 0)
                    + " bytes before frame " + std::to_string(frames);
            DGifExtensionToGCB(4, block + 1, &control);
        }
        while (block)
            if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                return Failure();
        return {};
    }

    std::string Frame()
    {
        if (DGifGetImageDesc(gif) != GIF_OK)
            return Failure();
        const GifImageDesc& desc = gif->Image;
        const ColorMapObject* table = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!table)
            return "no colour table for frame " + std::to_string(frames);
        if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0)
            return "frame " + std::to_string(frames) + " is empty ("
                + Pixels(uint32_t(std::max(desc.Width, 0)), uint32_t(std::max(desc.Height, 0)))
                + ")";
        const uint32_t frameWidth = uint32_t(desc.Width);
        const uint32_t frameHeight = uint32_t(desc.Height);
        const int transparent = control.TransparentColor;
        const bool shown = frames < maxFrames;
        Area area;
        if (shown) {
            if (uint64_t { width } * height > (limits.TotalPixels - shownPixels))
                return "frames of more than " + std::to_string(limits.TotalPixels)
                    + " pixels in all";
            shownPixels += uint64_t { width } * height;
            if (desc.ColorMap) {
                local.Build(*desc.ColorMap, Matcher());
            } else if (!globalBuilt) {
                global.Build(*gif->SColorMap, Matcher());
                globalBuilt = true;
            }
            area.X0 = std::min(uint32_t(desc.Left), width);
            area.Y0 = std::min(uint32_t(desc.Top), height);
            area.X1 = uint32_t(std::min<uint64_t>(uint64_t { area.X0 } + frameWidth, width));
            area.Y1 = uint32_t(std::min<uint64_t>(uint64_t { area.Y0 } + frameHeight, height));
            compositor->Prepare(area, control.DisposalMode);
        }
        const TableMap& map = desc.ColorMap ? local : global;
        const int count = std::clamp(table->ColorCount, 0, 256);
        line.resize(frameWidth);
        for (uint32_t k = 0; k < frameHeight; ++k) {
            if (DGifGetLine(gif, line.data(), int(frameWidth)) != GIF_OK)
                return Failure();
            for (uint32_t x = 0; x < frameWidth; ++x)
                if (line[x] >= count && line[x] != transparent)
                    return "pixel index " + std::to_string(line[x]) + " beyond the colour table of "
                        + std::to_string(count) + " entries in frame " + std::to_string(frames);
            if (!shown)
                continue;
            const uint32_t y = area.Y0 + (desc.Interlace ? InterlacedRow(k, frameHeight) : k);
            if (y >= area.Y1)
                continue;
            uint8_t* row = compositor->Row(y);
            for (uint32_t x = area.X0; x < area.X1; ++x) {
                const GifPixelType pixel = line[x - area.X0];
                if (pixel != transparent)
                    row[x] = map.Index[pixel];
            }
        }
        if (shown && !sink(compositor->Canvas)) {
            Stopped = true;
            return "stopped";
        }
        frames += 1;
        control = GraphicsControlBlock { DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR };
        return {};
    }

    ReadSource source;
    // Made when the first colour table is met: most refused files never get that far.
    const ColourMatcher& Matcher()
    {
        if (!matcher)
            matcher.emplace(palette);
        return *matcher;
    }

    const PaletteModel& palette;
    std::optional<ColourMatcher> matcher;
    const GIFFrameSink& sink;
    const uint32_t maxFrames;
    const GIFReadLimits limits;
    GifFileType* gif = nullptr;
    Compositor* compositor = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t frames = 0; // frames read so far
    uint64_t shownPixels = 0;
    GraphicsControlBlock control { DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR };
    TableMap global;
    bool globalBuilt = false;
    TableMap local;
    std::vector<GifPixelType> line;
};

} // namespace

std::vector<uint16_t> GIFDelays(size_t count, uint32_t framesPerSecond)
{
    std::vector<uint16_t> delays(count);
    if (framesPerSecond == 0)
        return delays;
    // round(100 k / n) as (200 k + n) / 2n: halves round up.
    auto end = [&](uint64_t k) { return (200 * k + framesPerSecond) / (2 * uint64_t { framesPerSecond }); };
    for (size_t k = 0; k < count; ++k)
        delays[k] = static_cast<uint16_t>(end(k + 1) - end(k));
    return delays;
}

void GIFCanvasSize(std::span<const Bitmap> frames, uint32_t& width, uint32_t& height)
{
    width = 0;
    height = 0;
    for (const Bitmap& frame : frames) {
        width = std::max(width, frame.BitmapWidth);
        height = std::max(height, frame.BitmapHeight);
    }
}

bool EncodeGIF(std::span<const Bitmap> frames, const PaletteModel& palette,
    const GIFAnimation& animation, const GIFOutput& output)
{
    const uint32_t zoom = animation.Zoom;
    if (!SoundFrames(frames) || animation.FramesPerSecond < 1
        || animation.FramesPerSecond > MaxGIFFramesPerSecond || zoom < 1 || zoom > MaxGIFZoom
        || animation.LoopCount < GIFAnimation::PlayOnce || animation.LoopCount > 65535)
        return false;
    uint32_t canvasWidth = 0, canvasHeight = 0;
    GIFCanvasSize(frames, canvasWidth, canvasHeight);
    if (uint64_t { canvasWidth } * zoom > MaxGIFSide || uint64_t { canvasHeight } * zoom > MaxGIFSide)
        return false;

    WriteTarget target { output, {} };
    target.Pending.reserve(OutputPiece + 1024);
    int error = 0;
    std::unique_ptr<GifFileType, EncoderClose> gif(EGifOpen(&target, PutBytes, &error));
    if (!gif)
        return false;
    // Graphic control and application blocks are GIF89a's.
    EGifSetGifVersion(gif.get(), true);
    std::array<GifColorType, 256> colours {};
    for (size_t i = 0; i < 256; ++i)
        colours[i] = ColourEntry(palette.Palette[i]);
    colours[TransparentIndex] = ColourEntry(palette.TransparentColour());
    std::unique_ptr<ColorMapObject, MapRelease> table(GifMakeMapObject(256, colours.data()));
    if (!table
        || EGifPutScreenDesc(gif.get(), int(canvasWidth * zoom), int(canvasHeight * zoom), 8,
               TransparentIndex, table.get())
            != GIF_OK)
        return false;
    if (animation.LoopCount != GIFAnimation::PlayOnce
        && !PutLoopBlock(gif.get(), static_cast<uint16_t>(animation.LoopCount)))
        return false;

    const std::vector<uint16_t> delays = GIFDelays(frames.size(), animation.FramesPerSecond);
    std::vector<uint8_t> line(size_t { canvasWidth } * zoom);
    LZWCoder coder;
    for (size_t k = 0; k < frames.size(); ++k) {
        const Bitmap& frame = frames[k];
        const GraphicsControlBlock control { DISPOSE_BACKGROUND, false, delays[k], TransparentIndex };
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        const uint32_t zoomedWidth = frame.BitmapWidth * zoom;
        // Bottom left: the frame's top row lies as far below the canvas top as the frame is
        // shorter than the canvas.
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, sizeof block, block) != GIF_OK
            || EGifPutImageDesc(gif.get(), 0, int((canvasHeight - frame.BitmapHeight) * zoom),
                   int(zoomedWidth), int(frame.BitmapHeight * zoom), false, nullptr)
                != GIF_OK)
            return false;
        // GIF rows run from the top, the bitmap's from the bottom.
        coder.Begin();
        for (uint32_t r = frame.BitmapHeight; r-- > 0;) {
            const uint8_t* source = frame.BitmapPixels.data() + size_t { r } * frame.BitmapWidth;
            if (zoom == 1) {
                coder.Add(source, frame.BitmapWidth);
                continue;
            }
            for (uint32_t x = 0; x < frame.BitmapWidth; ++x)
                std::fill_n(line.data() + size_t { x } * zoom, zoom, source[x]);
            for (uint32_t k2 = 0; k2 < zoom; ++k2)
                coder.Add(line.data(), zoomedWidth);
        }
        // The code blocks go out through the library, which wrote the code size with the
        // image descriptor; a null block ends the image.
        const std::vector<uint8_t>& blocks = coder.End();
        for (size_t at = 0; at < blocks.size(); at += size_t { blocks[at] } + 1)
            if (EGifPutCodeNext(gif.get(), blocks.data() + at) != GIF_OK)
                return false;
        if (EGifPutCodeNext(gif.get(), nullptr) != GIF_OK)
            return false;
    }
    // Closing writes the trailer; the library frees the file whatever the result.
    if (EGifCloseFile(gif.release(), &error) != GIF_OK)
        return false;
    return target.Flush();
}

std::vector<uint8_t> EncodeGIF(
    std::span<const Bitmap> frames, const PaletteModel& palette, const GIFAnimation& animation)
{
    // Room for about a byte a pixel, which most animations stay under, so that the file is
    // seldom moved as it grows.
    uint64_t pixels = 0;
    for (const Bitmap& frame : frames)
        pixels += uint64_t { frame.BitmapWidth } * frame.BitmapHeight * animation.Zoom * animation.Zoom;
    std::vector<uint8_t> bytes;
    bytes.reserve(std::min<uint64_t>(pixels, 64u << 20) + 4096);
    const GIFOutput append = [&](std::span<const uint8_t> piece) {
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        return true;
    };
    if (!EncodeGIF(frames, palette, animation, append))
        return {};
    return bytes;
}

uint8_t WriteGIF(const std::string& path, std::span<const Bitmap> frames,
    const PaletteModel& palette, const GIFAnimation& animation)
{
    // Streamed into the temporary file: an animation of thousands of frames never lies in
    // memory as a whole file.
    AtomicFileWriter writer(path);
    if (!writer.Open())
        return BitmapCannotCreate;
    const GIFOutput write = [&](std::span<const uint8_t> piece) { return writer.Write(piece); };
    if (!EncodeGIF(frames, palette, animation, write)) {
        writer.Abandon();
        return BitmapCannotCreate;
    }
    return writer.Commit() ? BitmapWritten : BitmapCannotCreate;
}

uint8_t DecodeGIF(std::span<const uint8_t> file, const PaletteModel& palette,
    const GIFFrameSink& sink, std::string* reason, uint32_t maxFrames, const GIFReadLimits& limits)
{
    Reader reader(file, palette, sink, maxFrames, limits);
    std::string problem = reader.Run();
    if (problem.empty())
        return BitmapOK;
    if (reason)
        *reason = std::move(problem);
    return BitmapUnsupported;
}

uint8_t DecodeGIFFirstFrame(
    std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap)
{
    Bitmap first;
    const uint8_t result = DecodeGIF(
        file, palette, [&](const Bitmap& canvas) {
            first = canvas;
            return true;
        },
        nullptr, 1);
    if (result == BitmapOK)
        bitmap = std::move(first);
    return result;
}
