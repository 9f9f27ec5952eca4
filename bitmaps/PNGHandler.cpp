#include "bitmaps/PNGHandler.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include <spng.h>

#include "frames/FileIO.h"

namespace {

struct ContextRelease {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextRelease>;

struct BufferRelease {
    void operator()(void* buffer) const { std::free(buffer); }
};

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

} // namespace

uint8_t DecodePNG(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap)
{
    if (file.size() < sizeof PNGSignature
        || !std::equal(std::begin(PNGSignature), std::end(PNGSignature), file.begin()))
        return BitmapUnsupported;
    Context context(spng_ctx_new(0));
    if (!context)
        return BitmapUnsupported;
    // A checksum error in any chunk, ancillary ones included, makes the file damaged: the
    // library would otherwise drop such a chunk silently, and with it perhaps the tRNS.
    // No chunk is longer than the file; the library wants the cache at least that large.
    const size_t chunkLimit = std::min<size_t>(file.size(), std::numeric_limits<int32_t>::max());
    if (spng_set_crc_action(context.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR) != 0
        || spng_set_chunk_limits(context.get(), chunkLimit, std::max(chunkLimit, ChunkCacheLimit))
            != 0
        || spng_set_png_buffer(context.get(), file.data(), file.size()) != 0)
        return BitmapUnsupported;
    spng_ihdr header {};
    if (spng_get_ihdr(context.get(), &header) != 0)
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

    Context context(spng_ctx_new(SPNG_CTX_ENCODER));
    // Sprites are flat patches of few colours: unfiltered rows compress smaller than any
    // filter makes them (the filters were made for photographs), and the fastest zlib level
    // costs about a tenth in size for three times the speed, which an export of thousands of
    // frames feels.
    if (!context || spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1) != 0
        || spng_set_option(context.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE) != 0
        || spng_set_option(context.get(), SPNG_IMG_COMPRESSION_LEVEL, 1) != 0)
        return {};
    spng_ihdr header {};
    header.width = width;
    header.height = height;
    header.bit_depth = 8;
    header.color_type = indexed ? SPNG_COLOR_TYPE_INDEXED : SPNG_COLOR_TYPE_TRUECOLOR;
    if (spng_set_ihdr(context.get(), &header) != 0)
        return {};
    spng_trns transparency {};
    const uint32_t transparent = palette.TransparentColour();
    if (indexed) {
        spng_plte table {};
        table.n_entries = 256;
        for (uint32_t i = 0; i < 256; ++i) {
            table.entries[i].red = Channel(palette.Palette[i], 0);
            table.entries[i].green = Channel(palette.Palette[i], 8);
            table.entries[i].blue = Channel(palette.Palette[i], 16);
        }
        if (spng_set_plte(context.get(), &table) != 0)
            return {};
        transparency.n_type3_entries = 256;
        std::fill(std::begin(transparency.type3_alpha), std::end(transparency.type3_alpha),
            uint8_t { 255 });
        transparency.type3_alpha[TransparentIndex] = 0;
    } else {
        // Pixels of index 255 are written in the transparent colour, as in a 24-bit BMP; the
        // tRNS makes viewers show that colour as transparent.
        transparency.red = Channel(transparent, 0);
        transparency.green = Channel(transparent, 8);
        transparency.blue = Channel(transparent, 16);
    }
    if (spng_set_trns(context.get(), &transparency) != 0)
        return {};

    if (spng_encode_image(
            context.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE)
        != 0)
        return {};
    // The first PNG row is the top of the picture, the last row of the bitmap.
    std::vector<uint8_t> row(indexed ? 0 : size_t { width } * 3);
    for (uint64_t y = height; y-- > 0;) {
        const uint8_t* source = bitmap.BitmapPixels.data() + y * width;
        int result = 0;
        if (indexed) {
            result = spng_encode_row(context.get(), source, width);
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t colour = palette.Palette[source[x]];
                row[3 * x] = Channel(colour, 0);
                row[3 * x + 1] = Channel(colour, 8);
                row[3 * x + 2] = Channel(colour, 16);
            }
            result = spng_encode_row(context.get(), row.data(), row.size());
        }
        // The last row ends the image: the library says so instead of 0.
        if (result != 0 && !(result == SPNG_EOI && y == 0))
            return {};
    }

    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, BufferRelease> buffer(spng_get_png_buffer(context.get(), &size, &error));
    if (!buffer || error != 0)
        return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer.get());
    return std::vector<uint8_t>(bytes, bytes + size);
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
