#include "bitmaps/BMPHandler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "frames/FileIO.h"

namespace {

constexpr uint32_t FileHeaderSize = 14;
constexpr uint32_t InfoHeaderSize = 40;
constexpr uint32_t ColourTableSize = 1024;
constexpr uint32_t Offset8 = FileHeaderSize + InfoHeaderSize + ColourTableSize; // 1078
constexpr uint32_t Offset24 = FileHeaderSize + InfoHeaderSize; // 54

// Reads the little-endian fields of a BMP in file order; a field past the end of the file
// fails like a field with a wrong value.
class FieldReader {
public:
    explicit FieldReader(std::span<const uint8_t> bytes)
        : bytes(bytes)
    {
    }

    bool Read16(uint32_t& value) { return Read(2, value); }
    bool Read32(uint32_t& value) { return Read(4, value); }
    bool Skip(uint64_t count)
    {
        if (count > bytes.size() - position)
            return false;
        position += count;
        return true;
    }

private:
    bool Read(uint32_t size, uint32_t& value)
    {
        if (size > bytes.size() - position)
            return false;
        value = 0;
        for (uint32_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(bytes[position + i]) << (8 * i);
        position += size;
        return true;
    }

    std::span<const uint8_t> bytes;
    uint64_t position = 0;
};

uint32_t Channel(uint32_t colour, int shift)
{
    return (colour >> shift) & 0xFF;
}

uint32_t Difference(uint32_t a, uint32_t b)
{
    return a > b ? a - b : b - a;
}

uint32_t ColourOf(uint8_t red, uint8_t green, uint8_t blue)
{
    return static_cast<uint32_t>(red) + 256u * green + 65536u * blue;
}

// Row size in bytes: bits x width / 8 rounded up to a multiple of 4. 64 bits wide, since
// 24 x a 32-bit width does not fit in 32.
uint64_t RowSize(uint32_t bitsPerPixel, uint32_t width)
{
    return (static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32 * 4;
}

void Put16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<uint8_t>& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

} // namespace

uint32_t ColourDistance(uint32_t a, uint32_t b)
{
    return Difference(Channel(a, 0), Channel(b, 0)) + Difference(Channel(a, 8), Channel(b, 8))
        + Difference(Channel(a, 16), Channel(b, 16));
}

uint8_t NearestColour(const PaletteModel& palette, uint32_t colour)
{
    // Bitmap colours are 24-bit while the transparent colour is kept as the settings gave it,
    // so only its colour bytes take part: a stray top byte must not stop transparency from
    // coming back in from an exported file.
    if ((colour & 0xFFFFFF) == (palette.TransparentColour() & 0xFFFFFF))
        return TransparentIndex;
    uint32_t best = palette.WholePalette ? 0 : FirstFreeColour;
    uint32_t bestDistance = ColourDistance(colour, palette.Palette[best]);
    for (uint32_t i = best + 1; i < TransparentIndex; ++i) {
        const uint32_t distance = ColourDistance(colour, palette.Palette[i]);
        if (distance < bestDistance) { // strictly: ties keep the lower index
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

ColourMatcher::ColourMatcher(const PaletteModel& palette)
    : transparent(palette.TransparentColour() & 0xFFFFFF)
{
    // Sorted by counting: the sums are below 766, and entries of one sum go in index order.
    const uint32_t first = palette.WholePalette ? 0 : FirstFreeColour;
    std::array<uint16_t, 3 * 255 + 2> start {};
    for (uint32_t i = first; i < TransparentIndex; ++i) {
        const uint32_t colour = palette.Palette[i];
        ++start[Channel(colour, 0) + Channel(colour, 8) + Channel(colour, 16) + 1];
    }
    for (size_t sum = 1; sum < start.size(); ++sum)
        start[sum] = static_cast<uint16_t>(start[sum] + start[sum - 1]);
    entries.resize(TransparentIndex - first);
    for (uint32_t i = first; i < TransparentIndex; ++i) {
        const uint32_t colour = palette.Palette[i];
        const uint32_t sum = Channel(colour, 0) + Channel(colour, 8) + Channel(colour, 16);
        entries[start[sum]++] = { sum, colour, static_cast<uint8_t>(i) };
    }
}

uint8_t ColourMatcher::Nearest(uint32_t colour) const
{
    if ((colour & 0xFFFFFF) == transparent)
        return TransparentIndex;
    const uint32_t sum = Channel(colour, 0) + Channel(colour, 8) + Channel(colour, 16);
    const auto start = std::lower_bound(entries.begin(), entries.end(), sum,
        [](const Entry& entry, uint32_t value) { return entry.Sum < value; });
    uint32_t bestDistance = std::numeric_limits<uint32_t>::max();
    uint32_t best = TransparentIndex;
    auto consider = [&](const Entry& entry) {
        const uint32_t distance = ColourDistance(colour, entry.Colour);
        // Ties keep the lower index, as the plain search over the palette in order does.
        if (distance < bestDistance || (distance == bestDistance && entry.Index < best)) {
            best = entry.Index;
            bestDistance = distance;
        }
    };
    // Upwards, then downwards. An entry whose sum differs by more than the best distance
    // cannot be nearer, and cannot tie either; one that differs by exactly as much can tie.
    for (auto it = start; it != entries.end() && it->Sum - sum <= bestDistance; ++it)
        consider(*it);
    for (auto it = start; it != entries.begin();) {
        --it;
        if (sum - it->Sum > bestDistance)
            break;
        consider(*it);
    }
    return static_cast<uint8_t>(best);
}

namespace {

std::array<uint8_t, 256> MapColourTable(const PaletteModel& palette, const uint8_t* table)
{
    const ColourMatcher matcher(palette);
    std::array<uint8_t, 256> map {};
    for (uint32_t i = 0; i < 256; ++i)
        map[i] = matcher.Nearest(ColourOf(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
    return map;
}

} // namespace

std::array<uint8_t, 256> ColourTableCache::Map(
    const PaletteModel& palette, std::span<const uint8_t> table)
{
    std::string key(table.begin(), table.end());
    {
        std::lock_guard lock(guard);
        if (auto found = maps.find(key); found != maps.end())
            return found->second;
    }
    // Matched outside the lock: two threads meeting a new table at once both match it and
    // store the same result.
    std::array<uint8_t, 256> map = MapColourTable(palette, table.data());
    std::lock_guard lock(guard);
    maps.emplace(std::move(key), map);
    return map;
}

uint8_t DecodeBitmap(std::span<const uint8_t> file, const PaletteModel& palette, Bitmap& bitmap,
    ColourTableCache* cache)
{
    FieldReader reader(file);
    uint32_t signature = 0, fileSize = 0, reserved = 0, offset = 0, infoSize = 0;
    uint32_t width = 0, height = 0, planes = 0, bits = 0, compression = 0;
    if (!reader.Read16(signature) || signature != 0x4D42) // "BM"
        return BitmapUnsupported;
    if (!reader.Read32(fileSize) || fileSize != file.size())
        return BitmapUnsupported;
    if (!reader.Read32(reserved) || reserved != 0)
        return BitmapUnsupported;
    if (!reader.Read32(offset))
        return BitmapUnsupported;
    if (!reader.Read32(infoSize) || infoSize != InfoHeaderSize)
        return BitmapUnsupported;
    if (!reader.Read32(width) || !reader.Read32(height))
        return BitmapUnsupported;
    if (!reader.Read16(planes) || planes != 1)
        return BitmapUnsupported;
    if (!reader.Read16(bits) || (bits != 8 && bits != 24))
        return BitmapUnsupported;
    if (offset != (bits == 8 ? Offset8 : Offset24))
        return BitmapUnsupported;

    // The size check. A negative (top-down) height reads as a huge unsigned number and fails
    // here; so does any size whose pixel rows the file cannot hold. An empty picture cannot
    // be made into a frame and is refused too. All of this before anything is allocated.
    if (width == 0 || height == 0)
        return BitmapUnsupported;
    const uint64_t rowSize = RowSize(bits, width);
    if (file.size() < offset || rowSize > (file.size() - offset) / height)
        return BitmapUnsupported;

    if (!reader.Read32(compression) || compression != 0)
        return BitmapUnsupported;
    if (!reader.Skip(20))
        return BitmapUnsupported;

    // width x height <= row size x height <= file size, so the pixel count fits in memory
    // exactly as well as the file did.
    DataArray pixels(static_cast<size_t>(width) * height);

    const uint8_t* data = file.data() + offset;
    const ColourMatcher matcher(palette);
    if (bits == 8) {
        const uint8_t* table = file.data() + Offset24;
        // Only the table entries that pixels use are matched, each once; a cache gives the
        // whole table's matches at once.
        std::array<uint8_t, 256> map {};
        std::array<bool, 256> matched {};
        if (cache) {
            map = cache->Map(palette, std::span<const uint8_t>(table, ColourTableSize));
            matched.fill(true);
        }
        for (uint64_t y = 0; y < height; ++y) {
            const uint8_t* row = data + y * rowSize;
            uint8_t* target = pixels.data() + y * width;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t i = row[x];
                if (!matched[i]) {
                    map[i] = matcher.Nearest(
                        ColourOf(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
                    matched[i] = true;
                }
                target[x] = map[i];
            }
        }
    } else {
        // Pictures repeat colours a lot; remember each colour's match instead of searching
        // 128 entries per pixel.
        std::unordered_map<uint32_t, uint8_t> matches;
        for (uint64_t y = 0; y < height; ++y) {
            const uint8_t* row = data + y * rowSize;
            uint8_t* target = pixels.data() + y * width;
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t colour = ColourOf(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                auto found = matches.find(colour);
                if (found == matches.end())
                    found = matches.emplace(colour, matcher.Nearest(colour)).first;
                target[x] = found->second;
            }
        }
    }
    bitmap.BitmapWidth = width;
    bitmap.BitmapHeight = height;
    bitmap.BitmapPixels = std::move(pixels);
    return BitmapOK;
}

uint8_t ReadBitmap(const std::string& path, const PaletteModel& palette, Bitmap& bitmap)
{
    std::vector<uint8_t> bytes;
    const uint8_t result = ReadPictureBytes(path, bytes);
    return result == BitmapOK ? DecodeBitmap(bytes, palette, bitmap) : result;
}

uint8_t ReadPictureBytes(const std::string& path, std::vector<uint8_t>& bytes)
{
    // A BMP's size field is 32 bits, and no PNG of at most 64 Mi pixels is plausible beyond
    // 4 GB, so a longer file is refused before it is read.
    switch (ReadWholeFile(path, bytes, std::numeric_limits<uint32_t>::max())) {
    case ReadResult::Ok:
        return BitmapOK;
    case ReadResult::CannotOpen:
        return BitmapCannotOpen;
    case ReadResult::TooLarge:
        break;
    }
    return BitmapUnsupported;
}

uint8_t PutPictureInFrame(uint8_t result, const Bitmap& bitmap, CELFrame& frame)
{
    if (result != BitmapOK)
        return result;
    frame.SetSize(bitmap.BitmapWidth, bitmap.BitmapHeight);
    frame.EncodeImage(bitmap.BitmapPixels);
    return BitmapOK;
}

uint8_t ImportBitmap(const std::string& path, const PaletteModel& palette, CELFrame& frame)
{
    Bitmap bitmap;
    return PutPictureInFrame(ReadBitmap(path, palette, bitmap), bitmap, frame);
}

bool BitmapFileFits(uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    const uint32_t offset = bitsPerPixel == 8 ? Offset8 : Offset24;
    return height == 0
        || RowSize(bitsPerPixel, width) <= (std::numeric_limits<uint32_t>::max() - offset) / height;
}

std::vector<uint8_t> EncodeBitmap(
    const Bitmap& bitmap, const PaletteModel& palette, uint32_t bitsPerPixel)
{
    // Nothing is produced for a bit count other than 8 or 24, for pixels that do not cover
    // the stated size, or for a picture whose file size would not fit the 32-bit size field.
    if (bitsPerPixel != 8 && bitsPerPixel != 24)
        return {};
    const uint64_t width = bitmap.BitmapWidth;
    const uint64_t height = bitmap.BitmapHeight;
    if (width * height > bitmap.BitmapPixels.size()) // two 32-bit factors: no overflow
        return {};
    if (!BitmapFileFits(bitmap.BitmapWidth, bitmap.BitmapHeight, bitsPerPixel))
        return {};
    const uint32_t offset = bitsPerPixel == 8 ? Offset8 : Offset24; // 1590 - 64 x bits
    const uint64_t rowSize = RowSize(bitsPerPixel, bitmap.BitmapWidth);
    const uint64_t fileSize = offset + rowSize * height;

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(fileSize));
    Put16(out, 0x4D42); // "BM"
    Put32(out, static_cast<uint32_t>(fileSize));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, InfoHeaderSize);
    Put32(out, bitmap.BitmapWidth);
    Put32(out, bitmap.BitmapHeight);
    Put16(out, 1);
    Put16(out, bitsPerPixel);
    for (int i = 0; i < 6; ++i) // compression, image size, resolutions, colour counts
        Put32(out, 0);
    if (bitsPerPixel == 8) {
        for (uint32_t colour : palette.Palette) {
            out.push_back(static_cast<uint8_t>(Channel(colour, 16)));
            out.push_back(static_cast<uint8_t>(Channel(colour, 8)));
            out.push_back(static_cast<uint8_t>(Channel(colour, 0)));
            out.push_back(0);
        }
    }
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* source = bitmap.BitmapPixels.data() + y * width;
        const size_t rowStart = out.size();
        out.resize(rowStart + static_cast<size_t>(rowSize), 0); // padding stays 0
        uint8_t* row = out.data() + rowStart;
        if (bitsPerPixel == 8) {
            std::memcpy(row, source, static_cast<size_t>(width));
        } else {
            // Index FF is written in the transparent colour, entry 255 like any other.
            for (uint64_t x = 0; x < width; ++x) {
                const uint32_t colour = palette.Palette[source[x]];
                row[3 * x] = static_cast<uint8_t>(Channel(colour, 16));
                row[3 * x + 1] = static_cast<uint8_t>(Channel(colour, 8));
                row[3 * x + 2] = static_cast<uint8_t>(Channel(colour, 0));
            }
        }
    }
    return out;
}

uint8_t WriteBitmap(const std::string& path, const Bitmap& bitmap, const PaletteModel& palette,
    uint32_t bitsPerPixel)
{
    const std::vector<uint8_t> bytes = EncodeBitmap(bitmap, palette, bitsPerPixel);
    if (bytes.empty())
        return BitmapCannotCreate;
    // Through a temporary file: a failed write is reported and never replaces the user's file
    // with half a picture.
    if (!WriteFileAtomically(path, bytes))
        return BitmapCannotCreate;
    return BitmapWritten;
}
