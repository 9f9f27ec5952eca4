#include "bitmaps/PNGHandler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include <libdeflate.h>
#include <spng.h>
#include <zlib.h>

#include "frames/FileIO.h"

namespace {

struct ContextRelease {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextRelease>;

// Ancillary chunks (text, colour profiles, Exif) are kept by the library while it reads, some
// of them decompressed; a file whose chunks ask for more than this (or than the file's own
// size, when that is larger) is refused rather than allowed to take the memory.
constexpr size_t ChunkCacheLimit = 64u << 20;

uint32_t ColourOf(uint32_t red, uint32_t green, uint32_t blue)
{
    return red + 256u * green + 65536u * blue;
}

uint8_t Channel(uint32_t colour, int shift)
{
    return static_cast<uint8_t>((colour >> shift) & 0xFF);
}

// The palette search with a memory: pictures repeat few colours many times. A direct-mapped
// table of recent answers; a colour that meets another in its slot is simply searched again.
class RecentMatches {
public:
    explicit RecentMatches(const ColourMatcher& matcher)
        : matcher(matcher)
    {
        keys.fill(NoColour);
    }

    uint8_t Match(uint32_t colour)
    {
        const uint32_t slot = (colour * 2654435761u) >> (32 - SlotBits);
        if (keys[slot] != colour) {
            keys[slot] = colour;
            values[slot] = matcher.Nearest(colour);
        }
        return values[slot];
    }

private:
    static constexpr int SlotBits = 12;
    static constexpr uint32_t NoColour = 0xFFFFFFFF; // no 24-bit colour has a top byte
    const ColourMatcher& matcher;
    std::array<uint32_t, 1u << SlotBits> keys;
    std::array<uint8_t, 1u << SlotBits> values {};
};

// The index of pixel x in a row of packed samples of depth bits (1, 2, 4 or 8), most
// significant bits first.
uint32_t PackedSample(const uint8_t* row, uint32_t x, uint32_t depth)
{
    if (depth == 8)
        return row[x];
    const uint32_t perByte = 8 / depth;
    const uint32_t shift = 8 - depth * (x % perByte + 1);
    return (row[x / perByte] >> shift) & ((1u << depth) - 1);
}

// Palette images: each palette entry (with its tRNS alpha) is matched once, and the pixels
// take the answer of their entry. An index beyond the palette is a damaged file.
bool DecodeIndexed(
    spng_ctx* context, const spng_ihdr& header, const PaletteModel& palette, DataArray& pixels)
{
    spng_plte table {};
    if (spng_get_plte(context, &table) != 0 || table.n_entries == 0 || table.n_entries > 256)
        return false;
    spng_trns transparency {};
    const bool hasAlpha = spng_get_trns(context, &transparency) == 0;
    const ColourMatcher matcher(palette);
    std::array<uint8_t, 256> map {};
    for (uint32_t i = 0; i < table.n_entries; ++i) {
        const uint8_t alpha = hasAlpha && i < transparency.n_type3_entries
            ? transparency.type3_alpha[i]
            : uint8_t { 255 };
        const spng_plte_entry& entry = table.entries[i];
        map[i] = alpha < 128 ? TransparentIndex
                             : matcher.Nearest(ColourOf(entry.red, entry.green, entry.blue));
    }

    size_t size = 0;
    if (spng_decoded_image_size(context, SPNG_FMT_PNG, &size) != 0 || size % header.height != 0)
        return false;
    std::vector<uint8_t> raw(size);
    if (spng_decode_image(context, raw.data(), raw.size(), SPNG_FMT_PNG, 0) != 0)
        return false;
    const size_t stride = size / header.height;
    const uint32_t width = header.width;
    for (uint64_t y = 0; y < header.height; ++y) {
        const uint8_t* row = raw.data() + (header.height - 1 - y) * stride;
        uint8_t* target = pixels.data() + y * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t index = PackedSample(row, x, header.bit_depth);
            if (index >= table.n_entries)
                return false;
            target[x] = map[index];
        }
    }
    return true;
}

// Every other colour type, through 8-bit RGBA with tRNS applied.
bool DecodeColours(
    spng_ctx* context, const spng_ihdr& header, const PaletteModel& palette, DataArray& pixels)
{
    size_t size = 0;
    if (spng_decoded_image_size(context, SPNG_FMT_RGBA8, &size) != 0
        || size != uint64_t { header.width } * header.height * 4)
        return false;
    std::vector<uint8_t> raw(size);
    if (spng_decode_image(context, raw.data(), raw.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
        return false;
    const ColourMatcher search(palette);
    RecentMatches matcher(search);
    const uint32_t width = header.width;
    for (uint64_t y = 0; y < header.height; ++y) {
        const uint8_t* row = raw.data() + (header.height - 1 - y) * width * 4;
        uint8_t* target = pixels.data() + y * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = row + 4 * x;
            target[x] = pixel[3] < 128 ? TransparentIndex
                                       : matcher.Match(ColourOf(pixel[0], pixel[1], pixel[2]));
        }
    }
    return true;
}

constexpr uint32_t MaxDeflateRatio = 1032;

// Bits per pixel in the file's own form: samples per pixel of its colour type x bit depth.
uint64_t SampleBits(const spng_ihdr& header)
{
    uint64_t samples = 1; // grey and palette
    if (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR)
        samples = 3;
    else if (header.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA)
        samples = 2;
    else if (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA)
        samples = 4;
    return samples * header.bit_depth;
}

// True when the chunks from the signature on follow each other within the file up to an IEND
// chunk. The library stops quietly when the file ends between two chunks, so a file cut after
// its pixels, before or inside IEND, would otherwise pass for whole.
bool ChunksReachIEND(std::span<const uint8_t> file)
{
    uint64_t at = sizeof PNGSignature;
    while (file.size() - at >= 12) {
        const uint64_t length = uint64_t { file[at] } << 24 | uint64_t { file[at + 1] } << 16
            | uint64_t { file[at + 2] } << 8 | file[at + 3];
        if (std::memcmp(file.data() + at + 4, "IEND", 4) == 0)
            return true;
        if (length > file.size() - at - 12)
            return false;
        at += 12 + length;
    }
    return false;
}

void PutBig32(uint8_t* target, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        target[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void AppendBig32(std::vector<uint8_t>& png, uint32_t value)
{
    png.resize(png.size() + 4);
    PutBig32(png.data() + png.size() - 4, value);
}

// A chunk: the length of its data, its type, the data, and the CRC of type and data.
void PutChunk(std::vector<uint8_t>& png, const char (&type)[5], std::span<const uint8_t> data)
{
    AppendBig32(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    AppendBig32(png, libdeflate_crc32(0, png.data() + start, png.size() - start));
}

// Ends a chunk whose length word sits at start and whose type and data follow it up to the
// end of png.
void CloseChunk(std::vector<uint8_t>& png, size_t start)
{
    PutBig32(png.data() + start, static_cast<uint32_t>(png.size() - start - 8));
    AppendBig32(png, libdeflate_crc32(0, png.data() + start + 4, png.size() - start - 4));
}

size_t OpenChunk(std::vector<uint8_t>& png, const char (&type)[5])
{
    const size_t start = png.size();
    png.resize(start + 4);
    png.insert(png.end(), type, type + 4);
    return start;
}

struct CompressorRelease {
    void operator()(libdeflate_compressor* compressor) const
    {
        libdeflate_free_compressor(compressor);
    }
};

// Sprites are flat patches of few colours: unfiltered rows compress smaller than any filter
// makes them (the filters were made for photographs). libdeflate at its fastest level packs
// a frame two and a half times as fast as zlib's fastest for some 8% more bytes, which an
// export of thousands of frames feels. It takes the image whole, so pictures up to
// PNGPackedWholeLimit bytes of rows go through it, larger ones (sprite sheets) through zlib a
// row at a time.
template <typename FillRow>
bool DeflateWhole(std::vector<uint8_t>& png, size_t rowBytes, uint32_t height, FillRow& fillRow)
{
    // A compressor holds some hundred kilobytes of tables: one per thread, kept.
    thread_local std::unique_ptr<libdeflate_compressor, CompressorRelease> compressor(
        libdeflate_alloc_compressor(1));
    if (!compressor)
        return false;
    std::vector<uint8_t> rows(rowBytes * height);
    for (uint32_t y = 0; y < height; ++y)
        fillRow(y, rows.data() + y * rowBytes);
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), rows.size());
    const size_t start = OpenChunk(png, "IDAT");
    const size_t data = png.size();
    png.resize(data + bound);
    const size_t packed = libdeflate_zlib_compress(
        compressor.get(), rows.data(), rows.size(), png.data() + data, bound);
    if (packed == 0)
        return false;
    png.resize(data + packed);
    CloseChunk(png, start);
    return true;
}

struct StreamEnd {
    void operator()(z_stream* stream) const { deflateEnd(stream); }
};

template <typename FillRow>
bool DeflateByRows(std::vector<uint8_t>& png, size_t rowBytes, uint32_t height, FillRow& fillRow)
{
    // IDAT chunks of up to this size; a chunk's length is 31-bit.
    constexpr size_t ChunkBytes = 1u << 20;
    if (rowBytes > std::numeric_limits<uInt>::max())
        return false;
    z_stream stream {};
    if (deflateInit(&stream, 1) != Z_OK)
        return false;
    std::unique_ptr<z_stream, StreamEnd> end(&stream);
    std::vector<uint8_t> row(rowBytes);
    std::vector<uint8_t> packed(ChunkBytes);
    stream.next_out = packed.data();
    stream.avail_out = ChunkBytes;
    auto emit = [&] {
        const size_t start = OpenChunk(png, "IDAT");
        png.insert(png.end(), packed.data(), packed.data() + (ChunkBytes - stream.avail_out));
        CloseChunk(png, start);
        stream.next_out = packed.data();
        stream.avail_out = ChunkBytes;
    };
    // Each row in turn, then the end of the stream; the output goes out as chunks fill.
    for (uint32_t y = 0; y <= height; ++y) {
        const bool last = y == height;
        if (!last)
            fillRow(y, row.data());
        stream.next_in = last ? nullptr : row.data();
        stream.avail_in = last ? 0 : static_cast<uInt>(rowBytes);
        int result = Z_OK;
        do {
            result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR)
                return false;
            if (stream.avail_out == 0)
                emit();
        } while (last ? result != Z_STREAM_END : stream.avail_in != 0);
    }
    emit();
    return true;
}

} // namespace

namespace {

bool HasPNGSignature(std::span<const uint8_t> file)
{
    return file.size() >= sizeof PNGSignature
        && std::equal(std::begin(PNGSignature), std::end(PNGSignature), file.begin());
}

// A decoder of file with its header read, or null when the header cannot be read.
Context OpenPNG(std::span<const uint8_t> file, spng_ihdr& header)
{
    Context context(spng_ctx_new(0));
    if (!context)
        return context;
    // A checksum error in any chunk, ancillary ones included, makes the file damaged: the
    // library would otherwise drop such a chunk silently, and with it perhaps the tRNS.
    // No chunk is longer than the file; the library wants the cache at least that large.
    const size_t chunkLimit = std::min<size_t>(file.size(), std::numeric_limits<int32_t>::max());
    if (spng_set_crc_action(context.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR) != 0
        || spng_set_chunk_limits(context.get(), chunkLimit, std::max(chunkLimit, ChunkCacheLimit))
            != 0
        || spng_set_png_buffer(context.get(), file.data(), file.size()) != 0
        || spng_get_ihdr(context.get(), &header) != 0)
        context.reset();
    return context;
}

} // namespace

uint8_t DecodePNG(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap)
{
    if (!HasPNGSignature(file))
        return BitmapUnsupported;
    spng_ihdr header {};
    Context context = OpenPNG(file, header);
    if (!context)
        return BitmapUnsupported;
    const uint64_t count = uint64_t { header.width } * header.height;
    if (count == 0 || count > MaxPNGPixels)
        return BitmapUnsupported;
    // Deflate packs at most 1032 bytes into one, so a header that asks for more pixel bytes
    // than that many times the file cannot be backed by its data: the file is damaged, and is
    // refused before buffers of the claimed size are allocated and cleared.
    if (count * SampleBits(header) > uint64_t { MaxDeflateRatio } * 8 * file.size())
        return BitmapUnsupported;

    DataArray pixels(static_cast<size_t>(count));
    const bool decoded = header.color_type == SPNG_COLOR_TYPE_INDEXED
        ? DecodeIndexed(context.get(), header, palette, pixels)
        : DecodeColours(context.get(), header, palette, pixels);
    // The chunks after the image, up to IEND, must be there and sound too: a file cut after
    // its pixels is as damaged as one cut inside them.
    if (!decoded || spng_decode_chunks(context.get()) != 0 || !ChunksReachIEND(file))
        return BitmapUnsupported;
    bitmap.BitmapWidth = header.width;
    bitmap.BitmapHeight = header.height;
    bitmap.BitmapPixels = std::move(pixels);
    return BitmapOK;
}

uint8_t DecodePNGPalette(
    std::span<const uint8_t> file, std::vector<uint32_t>& colours, std::string& reason)
{
    if (!HasPNGSignature(file)) {
        reason = "no PNG signature";
        return BitmapUnsupported;
    }
    reason = "damaged or truncated PNG";
    spng_ihdr header {};
    const Context context = OpenPNG(file, header);
    if (!context || !ChunksReachIEND(file))
        return BitmapUnsupported;
    if (header.color_type != SPNG_COLOR_TYPE_INDEXED) {
        reason = "PNG of colour type " + std::to_string(header.color_type)
            + ", not a palette picture (colour type 3)";
        return BitmapUnsupported;
    }
    spng_plte table {};
    if (spng_get_plte(context.get(), &table) != 0 || table.n_entries == 0
        || table.n_entries > 256)
        return BitmapUnsupported;
    colours.clear();
    for (uint32_t i = 0; i < table.n_entries; ++i) {
        const spng_plte_entry& entry = table.entries[i];
        colours.push_back(ColourOf(entry.red, entry.green, entry.blue));
    }
    reason.clear();
    return BitmapOK;
}

uint8_t ReadPNG(const std::string& path, const PaletteModel& palette, Bitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    const uint8_t result = ReadPictureBytes(path, bytes);
    return result == BitmapOK ? DecodePNG(bytes, palette, bitmap) : result;
}

std::vector<uint8_t> EncodePNG(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel)
{
    const uint32_t width = bitmap.BitmapWidth;
    const uint32_t height = bitmap.BitmapHeight;
    // A PNG has no empty picture, and its sizes are 31-bit.
    constexpr uint32_t MaxSide = std::numeric_limits<int32_t>::max();
    if ((bitsPerPixel != 8 && bitsPerPixel != 24) || width == 0 || height == 0 || width > MaxSide
        || height > MaxSide || uint64_t { width } * height > bitmap.BitmapPixels.size())
        return {};
    const bool indexed = bitsPerPixel == 8;

    std::vector<uint8_t> png(std::begin(PNGSignature), std::end(PNGSignature));
    std::array<uint8_t, 13> header {};
    PutBig32(header.data(), width);
    PutBig32(header.data() + 4, height);
    header[8] = 8; // bit depth
    header[9] = indexed ? 3 : 2; // palette or RGB; compression, filter and interlace all 0
    PutChunk(png, "IHDR", header);
    const uint32_t transparent = palette.TransparentColour();
    if (indexed) {
        std::array<uint8_t, 768> table {};
        for (uint32_t i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c)
                table[3 * i + c] = Channel(palette.Palette[i], 8 * c);
        PutChunk(png, "PLTE", table);
        std::array<uint8_t, 256> alphas;
        alphas.fill(255);
        alphas[TransparentIndex] = 0;
        PutChunk(png, "tRNS", alphas);
    } else {
        // Pixels of index 255 are written in the transparent colour, as in a 24-bit BMP; the
        // tRNS makes viewers show that colour as transparent.
        const std::array<uint8_t, 6> colour { 0, Channel(transparent, 0), 0,
            Channel(transparent, 8), 0, Channel(transparent, 16) };
        PutChunk(png, "tRNS", colour);
    }

    // Each row as the PNG stores it: filter byte 0 (none), then the samples. The first PNG row
    // is the top of the picture, the last row of the bitmap.
    const size_t rowBytes = 1 + size_t { width } * (indexed ? 1 : 3);
    auto fillRow = [&](uint32_t pngRow, uint8_t* target) {
        const uint8_t* source = bitmap.BitmapPixels.data() + uint64_t { height - 1 - pngRow } * width;
        target[0] = 0;
        if (indexed) {
            std::memcpy(target + 1, source, width);
            return;
        }
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t colour = palette.Palette[source[x]];
            target[1 + 3 * x] = Channel(colour, 0);
            target[2 + 3 * x] = Channel(colour, 8);
            target[3 + 3 * x] = Channel(colour, 16);
        }
    };
    const bool compressed = uint64_t { rowBytes } * height <= PNGPackedWholeLimit
        ? DeflateWhole(png, rowBytes, height, fillRow)
        : DeflateByRows(png, rowBytes, height, fillRow);
    if (!compressed)
        return {};
    PutChunk(png, "IEND", {});
    return png;
}

uint8_t WritePNG(const std::string& path, const Bitmap& bitmap, const PaletteModel& palette,
    uint32_t bitsPerPixel)
{
    const std::vector<uint8_t> bytes = EncodePNG(bitmap, palette, bitsPerPixel);
    if (bytes.empty())
        return BitmapCannotCreate;
    if (!WriteFileAtomically(path, bytes))
        return BitmapCannotCreate;
    return BitmapWritten;
}
