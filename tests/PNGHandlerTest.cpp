#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "frames/FileIO.h"

namespace {

// ---- A PNG writer of the test's own, independent of the library the reader uses: filter
// type 0 on every scanline, the zlib stream in stored (uncompressed) blocks, checksums
// computed bit by bit.

uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

uint32_t Adler32(const std::vector<uint8_t>& bytes)
{
    uint32_t a = 1, b = 0;
    for (uint8_t byte : bytes) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t GetBig32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out { 0x78, 0x01 };
    size_t at = 0;
    do {
        const size_t length = std::min<size_t>(raw.size() - at, 65535);
        const bool last = at + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + at, raw.begin() + at + length);
        at += length;
    } while (at < raw.size());
    PutBig32(out, Adler32(raw));
    return out;
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

enum : uint8_t { Grey = 0, RGB = 2, Indexed = 3, GreyAlpha = 4, RGBA = 6 };

uint32_t ChannelCount(uint8_t colourType)
{
    switch (colourType) {
    case GreyAlpha:
        return 2;
    case RGB:
        return 3;
    case RGBA:
        return 4;
    default:
        return 1;
    }
}

// A picture as a PNG stores it: top row first, each pixel its samples in PNG order.
struct PNGPicture {
    uint32_t width = 1;
    uint32_t height = 1;
    uint8_t depth = 8;
    uint8_t colourType = RGB;
    bool interlaced = false;
    std::vector<std::array<uint16_t, 4>> samples; // width x height, top row first
    std::vector<uint8_t> plte; // red, green, blue per entry
    std::vector<uint8_t> trns;
    std::vector<uint8_t> trailer; // chunks between IDAT and IEND, whole
};

void PackRow(
    std::vector<uint8_t>& out, const PNGPicture& picture, uint32_t y, uint32_t x0, uint32_t step)
{
    out.push_back(0); // filter: none
    const uint32_t channels = ChannelCount(picture.colourType);
    uint32_t bits = 0, pending = 0;
    for (uint32_t x = x0; x < picture.width; x += step) {
        const auto& pixel = picture.samples[size_t { y } * picture.width + x];
        for (uint32_t c = 0; c < channels; ++c) {
            if (picture.depth == 16) {
                out.push_back(static_cast<uint8_t>(pixel[c] >> 8));
                out.push_back(static_cast<uint8_t>(pixel[c]));
            } else {
                pending = pending << picture.depth | pixel[c];
                bits += picture.depth;
                if (bits == 8) {
                    out.push_back(static_cast<uint8_t>(pending));
                    bits = pending = 0;
                }
            }
        }
    }
    if (bits > 0)
        out.push_back(static_cast<uint8_t>(pending << (8 - bits)));
}

std::vector<uint8_t> Scanlines(const PNGPicture& picture)
{
    std::vector<uint8_t> raw;
    if (!picture.interlaced) {
        for (uint32_t y = 0; y < picture.height; ++y)
            PackRow(raw, picture, y, 0, 1);
        return raw;
    }
    // Adam7: start column, start row, column step, row step of the seven passes.
    const uint32_t passes[7][4] = { { 0, 0, 8, 8 }, { 4, 0, 8, 8 }, { 0, 4, 4, 8 }, { 2, 0, 4, 4 },
        { 0, 2, 2, 4 }, { 1, 0, 2, 2 }, { 0, 1, 1, 2 } };
    for (const auto& pass : passes) {
        if (pass[0] >= picture.width)
            continue; // an empty pass has no scanlines at all
        for (uint32_t y = pass[1]; y < picture.height; y += pass[3])
            PackRow(raw, picture, y, pass[0], pass[2]);
    }
    return raw;
}

std::vector<uint8_t> IHDR(const PNGPicture& picture)
{
    std::vector<uint8_t> data;
    PutBig32(data, picture.width);
    PutBig32(data, picture.height);
    data.push_back(picture.depth);
    data.push_back(picture.colourType);
    data.push_back(0);
    data.push_back(0);
    data.push_back(picture.interlaced ? 1 : 0);
    return data;
}

std::vector<uint8_t> HandMadePNG(const PNGPicture& picture)
{
    std::vector<uint8_t> out(std::begin(PNGSignature), std::end(PNGSignature));
    PutChunk(out, "IHDR", IHDR(picture));
    if (!picture.plte.empty())
        PutChunk(out, "PLTE", picture.plte);
    if (!picture.trns.empty())
        PutChunk(out, "tRNS", picture.trns);
    PutChunk(out, "IDAT", StoredZlib(Scanlines(picture)));
    out.insert(out.end(), picture.trailer.begin(), picture.trailer.end());
    PutChunk(out, "IEND", {});
    return out;
}

// ---- Palettes and pictures

// Entries all different from each other and from entry 255.
PaletteModel DistinctPalette(uint32_t seed)
{
    std::mt19937 random(seed);
    PaletteModel palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.Palette[i] = (random() & 0xFFFF00) | i;
    palette.Palette[255] = 0xFFFFFF;
    return palette;
}

Bitmap RandomBitmap(std::mt19937& random, uint32_t lowest, uint32_t maxSide = 13)
{
    Bitmap bitmap;
    bitmap.BitmapWidth = 1 + random() % maxSide;
    bitmap.BitmapHeight = 1 + random() % maxSide;
    bitmap.BitmapPixels.resize(bitmap.BitmapWidth * bitmap.BitmapHeight);
    for (uint8_t& pixel : bitmap.BitmapPixels)
        pixel = static_cast<uint8_t>(lowest + random() % (256 - lowest));
    return bitmap;
}

} // namespace

TEST(ImageFileFormat, ContentDecidesTheFormat)
{
    const std::vector<uint8_t> png(std::begin(PNGSignature), std::end(PNGSignature));
    EXPECT_EQ(DetectImageFileFormat(png), ImageFileFormat::PNG);
    EXPECT_EQ(DetectImageFileFormat(std::vector<uint8_t> { 'B', 'M' }), ImageFileFormat::BMP);
    EXPECT_EQ(DetectImageFileFormat(std::vector<uint8_t> { 'B', 'M', 0, 1 }), ImageFileFormat::BMP);
    EXPECT_EQ(DetectImageFileFormat(std::vector<uint8_t> { 'B' }), ImageFileFormat::Unknown);
    EXPECT_EQ(DetectImageFileFormat({}), ImageFileFormat::Unknown);
    EXPECT_EQ(DetectImageFileFormat(std::vector<uint8_t>(png.begin(), png.end() - 1)),
        ImageFileFormat::Unknown);
    std::vector<uint8_t> nearly = png;
    nearly[4] = '\n'; // a signature mangled by a text-mode transfer
    EXPECT_EQ(DetectImageFileFormat(nearly), ImageFileFormat::Unknown);
}

TEST(PNGExport, EightAndTwentyFourBitsReadBackToTheSameImage)
{
    std::mt19937 random(11);
    for (int round = 0; round < 30; ++round) {
        PaletteModel palette = DistinctPalette(round);
        palette.WholePalette = round % 3 == 0;
        const Bitmap original = RandomBitmap(random, palette.WholePalette ? 0 : 127);
        for (uint32_t bits : { 8u, 24u }) {
            const std::vector<uint8_t> bytes = EncodePNG(original, palette, bits);
            ASSERT_FALSE(bytes.empty());
            Bitmap decoded;
            ASSERT_EQ(DecodePNG(bytes, palette, decoded), BitmapOK);
            EXPECT_EQ(decoded.BitmapWidth, original.BitmapWidth);
            EXPECT_EQ(decoded.BitmapHeight, original.BitmapHeight);
            EXPECT_EQ(decoded.BitmapPixels, original.BitmapPixels)
                << "round " << round << " bits " << bits;
        }
    }
}

TEST(PNGImport, HandMadeRGBRowsAreReversed)
{
    PaletteModel palette = DistinctPalette(3);
    PNGPicture picture;
    picture.width = 2;
    picture.height = 2;
    auto rgb = [](uint32_t colour) {
        return std::array<uint16_t, 4> { uint16_t(colour & 0xFF), uint16_t(colour >> 8 & 0xFF),
            uint16_t(colour >> 16 & 0xFF), 0 };
    };
    // Top row: entries 130 and 131; bottom row: the transparent colour and entry 200.
    picture.samples = { rgb(palette.Palette[130]), rgb(palette.Palette[131]), rgb(0xFFFFFF),
        rgb(palette.Palette[200]) };
    Bitmap bitmap;
    ASSERT_EQ(DecodePNG(HandMadePNG(picture), palette, bitmap), BitmapOK);
    EXPECT_EQ(bitmap.BitmapWidth, 2u);
    EXPECT_EQ(bitmap.BitmapHeight, 2u);
    EXPECT_EQ(bitmap.BitmapPixels, (DataArray { 255, 200, 130, 131 }));
}

TEST(PNGImport, NoPNGSignatureGivesTwo)
{
    const PaletteModel palette = DistinctPalette(4);
    PNGPicture picture;
    picture.samples = { { 1, 2, 3, 0 } };
    std::vector<uint8_t> bytes = HandMadePNG(picture);
    Bitmap bitmap { 9, 9, { 1 } };
    bytes[1] = 'p';
    EXPECT_EQ(DecodePNG(bytes, palette, bitmap), BitmapUnsupported);
    EXPECT_EQ(DecodePNG({}, palette, bitmap), BitmapUnsupported);
    EXPECT_EQ(bitmap.BitmapWidth, 9u);
    EXPECT_EQ(DecodeImageFile(bytes, palette, bitmap), BitmapUnsupported);
}

TEST(ImageFiles, ImportReadsEitherFormatByContent)
{
    TempDir dir;
    const PaletteModel palette = DistinctPalette(5);
    const Bitmap bitmap { 3, 2, { 0x80, 0x81, 0x82, 0x83, 0x84, 0xFF } };
    // Names that lie: the content decides.
    WriteBytes(dir.File("really-png.bmp"), EncodePNG(bitmap, palette, 8));
    WriteBytes(dir.File("really-bmp.png"), EncodeBitmap(bitmap, palette, 24));
    for (const char* name : { "really-png.bmp", "really-bmp.png" }) {
        Bitmap back;
        ASSERT_EQ(ReadImageFile(dir.File(name), palette, back), BitmapOK) << name;
        EXPECT_EQ(back.BitmapPixels, bitmap.BitmapPixels) << name;
        auto frame = CELFrame::CreateEmpty();
        ASSERT_EQ(ImportImageFile(dir.File(name), palette, *frame), BitmapOK) << name;
        EXPECT_EQ(frame->Width, 3u);
        EXPECT_EQ(frame->Height, 2u);
        DataArray image;
        frame->DecodeImage(image);
        EXPECT_EQ(image, bitmap.BitmapPixels) << name;
    }
    Bitmap back;
    EXPECT_EQ(ReadImageFile(dir.File("missing.png"), palette, back), BitmapCannotOpen);
    WriteBytes(dir.File("text.png"), { 'h', 'e', 'l', 'l', 'o' });
    EXPECT_EQ(ReadImageFile(dir.File("text.png"), palette, back), BitmapUnsupported);
    EXPECT_EQ(ReadPNG(dir.File("missing.png"), palette, back), BitmapCannotOpen);

    ASSERT_EQ(WritePNG(dir.File("out.png"), bitmap, palette, 24), BitmapWritten);
    EXPECT_EQ(ReadBytes(dir.File("out.png")), EncodePNG(bitmap, palette, 24));
    EXPECT_EQ(WritePNG(dir.File("missing/out.png"), bitmap, palette, 8), BitmapCannotCreate);
}

namespace {

// ---- The obviously right reading of a hand-made picture, pixel by pixel.

// A sample of depth bits as 8 bits: 16-bit samples give their high byte, lower depths are
// scaled to the full range (a 2-bit 1 is 0x55).
uint32_t To8(uint32_t sample, uint32_t depth)
{
    if (depth == 16)
        return sample >> 8;
    return sample * 255 / ((1u << depth) - 1);
}

uint8_t ReferenceNearest(const PaletteModel& palette, uint32_t colour)
{
    if (colour == (palette.Palette[255] & 0xFFFFFF))
        return 255;
    int best = -1;
    int bestDistance = 0;
    for (int i = palette.WholePalette ? 0 : 127; i < 255; ++i) {
        const uint32_t entry = palette.Palette[i];
        const int distance = std::abs(int(colour & 0xFF) - int(entry & 0xFF))
            + std::abs(int(colour >> 8 & 0xFF) - int(entry >> 8 & 0xFF))
            + std::abs(int(colour >> 16 & 0xFF) - int(entry >> 16 & 0xFF));
        if (best < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

uint32_t Big16(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) << 8 | bytes[at + 1];
}

// What a picture reads as: rows reversed, each pixel to RGBA by the rules, alpha below 128
// transparent, every other colour its nearest entry.
Bitmap ReferenceRead(const PNGPicture& picture, const PaletteModel& palette)
{
    Bitmap bitmap;
    bitmap.BitmapWidth = picture.width;
    bitmap.BitmapHeight = picture.height;
    const bool hasTrns = !picture.trns.empty();
    for (uint32_t row = picture.height; row-- > 0;) {
        for (uint32_t x = 0; x < picture.width; ++x) {
            const auto& s = picture.samples[size_t { row } * picture.width + x];
            const uint32_t d = picture.depth;
            uint32_t red = 0, green = 0, blue = 0, alpha = 255;
            switch (picture.colourType) {
            case Grey:
                red = green = blue = To8(s[0], d);
                if (hasTrns && s[0] == Big16(picture.trns, 0))
                    alpha = 0;
                break;
            case GreyAlpha:
                red = green = blue = To8(s[0], d);
                alpha = To8(s[1], d);
                break;
            case RGB:
                red = To8(s[0], d);
                green = To8(s[1], d);
                blue = To8(s[2], d);
                if (hasTrns && s[0] == Big16(picture.trns, 0) && s[1] == Big16(picture.trns, 2)
                    && s[2] == Big16(picture.trns, 4))
                    alpha = 0;
                break;
            case RGBA:
                red = To8(s[0], d);
                green = To8(s[1], d);
                blue = To8(s[2], d);
                alpha = To8(s[3], d);
                break;
            case Indexed:
                red = picture.plte[3 * s[0]];
                green = picture.plte[3 * s[0] + 1];
                blue = picture.plte[3 * s[0] + 2];
                if (s[0] < picture.trns.size())
                    alpha = picture.trns[s[0]];
                break;
            }
            bitmap.BitmapPixels.push_back(alpha < 128
                    ? uint8_t { 255 }
                    : ReferenceNearest(palette, red + 256 * green + 65536 * blue));
        }
    }
    return bitmap;
}

// A picture of random samples of its type and depth, with a palette of paletteSize entries
// and random tRNS data for the types that take it.
PNGPicture RandomPicture(std::mt19937& random, uint8_t colourType, uint8_t depth, uint32_t width,
    uint32_t height, bool interlaced)
{
    PNGPicture picture;
    picture.width = width;
    picture.height = height;
    picture.depth = depth;
    picture.colourType = colourType;
    picture.interlaced = interlaced;
    const uint32_t limit = 1u << depth;
    uint32_t entries = limit;
    if (colourType == Indexed) {
        entries = 1 + random() % std::min(limit, 256u);
        for (uint32_t i = 0; i < 3 * entries; ++i)
            picture.plte.push_back(static_cast<uint8_t>(random()));
        const uint32_t alphas = random() % (entries + 1); // a tRNS may be shorter than PLTE
        for (uint32_t i = 0; i < alphas; ++i)
            picture.trns.push_back(static_cast<uint8_t>(random() % 3 == 0 ? random() : 255));
    }
    const uint32_t channels = ChannelCount(colourType);
    std::array<uint16_t, 4> keyed {};
    for (uint32_t i = 0; i < width * height; ++i) {
        std::array<uint16_t, 4> pixel {};
        for (uint32_t c = 0; c < channels; ++c)
            pixel[c] = static_cast<uint16_t>(random() % (colourType == Indexed ? entries : limit));
        // Alpha near the threshold more often than chance would put it there.
        if ((colourType == GreyAlpha || colourType == RGBA) && random() % 2 == 0 && depth >= 8)
            pixel[channels - 1] = static_cast<uint16_t>(
                (random() % 2 ? 127 : 128) << (depth - 8) | random() % (depth == 16 ? 256 : 1));
        if (i == 0)
            keyed = pixel;
        else if (random() % 5 == 0)
            pixel = keyed; // the tRNS colour below appears several times
        picture.samples.push_back(pixel);
    }
    if (colourType == Grey && random() % 2 == 0) {
        picture.trns = { static_cast<uint8_t>(keyed[0] >> 8), static_cast<uint8_t>(keyed[0]) };
    } else if (colourType == RGB && random() % 2 == 0) {
        for (uint32_t c = 0; c < 3; ++c) {
            picture.trns.push_back(static_cast<uint8_t>(keyed[c] >> 8));
            picture.trns.push_back(static_cast<uint8_t>(keyed[c]));
        }
    }
    return picture;
}

struct TypeAndDepth {
    uint8_t colourType;
    uint8_t depth;
};

// Every combination the PNG standard allows.
const TypeAndDepth AllTypesAndDepths[] = { { Grey, 1 }, { Grey, 2 }, { Grey, 4 }, { Grey, 8 },
    { Grey, 16 }, { RGB, 8 }, { RGB, 16 }, { Indexed, 1 }, { Indexed, 2 }, { Indexed, 4 },
    { Indexed, 8 }, { GreyAlpha, 8 }, { GreyAlpha, 16 }, { RGBA, 8 }, { RGBA, 16 } };

} // namespace

TEST(PNGImport, EveryTypeAndDepthMatchesTheReferenceReading)
{
    std::mt19937 random(2026);
    const uint32_t sizes[][2] = { { 1, 1 }, { 3, 5 }, { 9, 10 }, { 17, 3 }, { 8, 8 }, { 2, 13 } };
    for (const TypeAndDepth& kind : AllTypesAndDepths) {
        for (bool interlaced : { false, true }) {
            for (const auto& size : sizes) {
                PaletteModel palette = DistinctPalette(random());
                palette.WholePalette = random() % 2 == 0;
                const PNGPicture picture = RandomPicture(
                    random, kind.colourType, kind.depth, size[0], size[1], interlaced);
                const Bitmap expected = ReferenceRead(picture, palette);
                Bitmap bitmap;
                ASSERT_EQ(DecodePNG(HandMadePNG(picture), palette, bitmap), BitmapOK)
                    << "type " << int(kind.colourType) << " depth " << int(kind.depth)
                    << (interlaced ? " interlaced " : " ") << size[0] << "x" << size[1];
                EXPECT_EQ(bitmap.BitmapWidth, size[0]);
                EXPECT_EQ(bitmap.BitmapHeight, size[1]);
                EXPECT_EQ(bitmap.BitmapPixels, expected.BitmapPixels)
                    << "type " << int(kind.colourType) << " depth " << int(kind.depth)
                    << (interlaced ? " interlaced " : " ") << size[0] << "x" << size[1];
            }
        }
    }
}
