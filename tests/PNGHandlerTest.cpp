#include <gtest/gtest.h>

#include <array>
#include <cmath>
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
        const Bitmap original = RandomBitmap(random, palette.WholePalette ? 0 : 127, 13, 13);
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

namespace {

// A palette whose entries 130, 131, ... are the given colours and whose other entries are
// all different from them, so that each colour matches exactly its own entry.
PaletteModel PaletteWith(const std::vector<uint32_t>& colours)
{
    PaletteModel palette;
    for (uint32_t i = 0; i < 256; ++i)
        palette.Palette[i] = 0x800000 | i << 8 | 0x01; // none of these is a test colour
    palette.Palette[255] = 0x00FF00;
    for (size_t k = 0; k < colours.size(); ++k)
        palette.Palette[130 + k] = colours[k];
    return palette;
}

PNGPicture OneRow(uint8_t colourType, uint8_t depth, std::vector<std::array<uint16_t, 4>> samples)
{
    PNGPicture picture;
    picture.width = static_cast<uint32_t>(samples.size());
    picture.height = 1;
    picture.colourType = colourType;
    picture.depth = depth;
    picture.samples = std::move(samples);
    return picture;
}

DataArray ReadOrFail(const PNGPicture& picture, const PaletteModel& palette)
{
    Bitmap bitmap;
    EXPECT_EQ(DecodePNG(HandMadePNG(picture), palette, bitmap), BitmapOK);
    return bitmap.BitmapPixels;
}

} // namespace

TEST(PNGImport, GreySamplesScaleToTheirEightBitValue)
{
    // Greys 00, 55, AA, FF, 33, 12: entries 130 ... 135.
    const PaletteModel palette
        = PaletteWith({ 0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF, 0x333333, 0x121212 });
    EXPECT_EQ(ReadOrFail(OneRow(Grey, 1, { { 0 }, { 1 }, { 1 }, { 0 } }), palette),
        (DataArray { 130, 133, 133, 130 }));
    EXPECT_EQ(ReadOrFail(OneRow(Grey, 2, { { 0 }, { 1 }, { 2 }, { 3 }, { 1 } }), palette),
        (DataArray { 130, 131, 132, 133, 131 }));
    EXPECT_EQ(ReadOrFail(OneRow(Grey, 4, { { 3 }, { 5 }, { 15 } }), palette),
        (DataArray { 134, 131, 133 }));
    EXPECT_EQ(
        ReadOrFail(OneRow(Grey, 8, { { 0x12 }, { 0x33 } }), palette), (DataArray { 135, 134 }));
    // A 16-bit sample gives its high byte, not a rounded value.
    EXPECT_EQ(ReadOrFail(OneRow(Grey, 16, { { 0x12FF }, { 0x3300 }, { 0xAA80 } }), palette),
        (DataArray { 135, 134, 132 }));
}

TEST(PNGImport, ColourChannelsComeInPNGOrder)
{
    const PaletteModel palette = PaletteWith({ 0x030201, 0xCCBBAA });
    // Red 01, green 02, blue 03 is the colour value 0x030201.
    EXPECT_EQ(ReadOrFail(OneRow(RGB, 8, { { 1, 2, 3 }, { 0xAA, 0xBB, 0xCC } }), palette),
        (DataArray { 130, 131 }));
    EXPECT_EQ(
        ReadOrFail(OneRow(RGB, 16, { { 0x01FF, 0x0280, 0x0301 } }), palette), (DataArray { 130 }));
    EXPECT_EQ(ReadOrFail(OneRow(RGBA, 16, { { 0xAA00, 0xBB00, 0xCC00, 0xFFFF } }), palette),
        (DataArray { 131 }));
}

TEST(PNGImport, AlphaBelow128IsTransparent)
{
    const PaletteModel palette = PaletteWith({ 0x030201, 0x505050 });
    EXPECT_EQ(
        ReadOrFail(OneRow(RGBA, 8,
                       { { 1, 2, 3, 127 }, { 1, 2, 3, 128 }, { 1, 2, 3, 0 }, { 1, 2, 3, 255 } }),
            palette),
        (DataArray { 255, 130, 255, 130 }));
    // 16 bits: the high byte decides, 7FFF is below the threshold and 8000 is not.
    EXPECT_EQ(ReadOrFail(OneRow(RGBA, 16,
                             { { 0x100, 0x200, 0x300, 0x7FFF }, { 0x100, 0x200, 0x300, 0x8000 } }),
                  palette),
        (DataArray { 255, 130 }));
    EXPECT_EQ(ReadOrFail(OneRow(GreyAlpha, 8, { { 0x50, 127 }, { 0x50, 128 } }), palette),
        (DataArray { 255, 131 }));
    EXPECT_EQ(
        ReadOrFail(OneRow(GreyAlpha, 16, { { 0x5001, 0x7F00 }, { 0x50FF, 0x80FF } }), palette),
        (DataArray { 255, 131 }));
    // The exact transparent colour becomes 255 even when opaque, as in a BMP.
    EXPECT_EQ(ReadOrFail(OneRow(RGB, 8, { { 0, 0xFF, 0 } }), palette), (DataArray { 255 }));
}

TEST(PNGImport, TRNSNamesTheTransparentGreyOrColourAtFullPrecision)
{
    const PaletteModel palette = PaletteWith({ 0x121212, 0x030201 });
    PNGPicture grey = OneRow(Grey, 16, { { 0x1234 }, { 0x1235 } });
    grey.trns = { 0x12, 0x34 };
    EXPECT_EQ(ReadOrFail(grey, palette), (DataArray { 255, 130 }));
    PNGPicture grey2 = OneRow(Grey, 2, { { 1 }, { 2 } });
    grey2.trns = { 0, 2 };
    EXPECT_EQ(ReadOrFail(grey2, PaletteWith({ 0x555555 })), (DataArray { 130, 255 }));
    PNGPicture colour = OneRow(RGB, 8, { { 1, 2, 3 }, { 1, 2, 4 } });
    colour.trns = { 0, 1, 0, 2, 0, 3 };
    EXPECT_EQ(ReadOrFail(colour, palette), (DataArray { 255, 131 }));
}

TEST(PNGImport, PaletteEntriesAndTheirAlphaMapOnce)
{
    const PaletteModel palette = PaletteWith({ 0x030201, 0x060504 });
    // Three entries, tRNS shorter than PLTE: entry 2 has no alpha and is opaque.
    PNGPicture picture = OneRow(Indexed, 2, { { 0 }, { 1 }, { 2 }, { 1 }, { 0 } });
    picture.plte = { 1, 2, 3, 4, 5, 6, 4, 5, 6 };
    picture.trns = { 255, 127 };
    EXPECT_EQ(ReadOrFail(picture, palette), (DataArray { 130, 255, 131, 255, 130 }));
    picture.trns = { 128, 0 };
    EXPECT_EQ(ReadOrFail(picture, palette), (DataArray { 130, 255, 131, 255, 130 }));

    // 1-bit and 4-bit packing, most significant bits first.
    PNGPicture bits1
        = OneRow(Indexed, 1, { { 1 }, { 0 }, { 0 }, { 1 }, { 1 }, { 1 }, { 0 }, { 1 }, { 0 } });
    bits1.plte = { 1, 2, 3, 4, 5, 6 };
    EXPECT_EQ(
        ReadOrFail(bits1, palette), (DataArray { 131, 130, 130, 131, 131, 131, 130, 131, 130 }));
    PNGPicture bits4 = OneRow(Indexed, 4, { { 15 }, { 0 }, { 15 } });
    bits4.plte.assign(16 * 3, 0x40);
    bits4.plte[0] = 1, bits4.plte[1] = 2, bits4.plte[2] = 3;
    bits4.plte[45] = 4, bits4.plte[46] = 5, bits4.plte[47] = 6;
    EXPECT_EQ(ReadOrFail(bits4, palette), (DataArray { 131, 130, 131 }));

    // Reserved colours are kept out unless the whole palette is in use.
    PaletteModel reserved = palette;
    reserved.Palette[5] = 0x0A0A0A;
    PNGPicture exact = OneRow(Indexed, 8, { { 0 } });
    exact.plte = { 10, 10, 10 };
    EXPECT_NE(ReadOrFail(exact, reserved)[0], 5);
    reserved.WholePalette = true;
    EXPECT_EQ(ReadOrFail(exact, reserved)[0], 5);
}

namespace {

// A small sound file and its chunk starts, to break in every way.
struct SoundFile {
    std::vector<uint8_t> bytes;
    std::vector<size_t> chunkStarts;
};

SoundFile Sound(uint8_t colourType = Indexed)
{
    std::mt19937 random(7);
    PNGPicture picture = RandomPicture(random, colourType, 8, 5, 4, false);
    if (colourType == Indexed && picture.trns.empty())
        picture.trns = { 255 };
    std::vector<uint8_t> text = { 'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i' };
    picture.trailer.clear();
    PutChunk(picture.trailer, "tEXt", text);
    SoundFile sound { HandMadePNG(picture), {} };
    for (size_t at = 8; at < sound.bytes.size(); at += 12 + GetBig32(sound.bytes, at))
        sound.chunkStarts.push_back(at);
    return sound;
}

std::vector<uint8_t> WithChunkCrc(std::vector<uint8_t> bytes, size_t start)
{
    const uint32_t length = GetBig32(bytes, start);
    const uint32_t crc = Crc32(bytes.data() + start + 4, length + 4);
    for (int i = 0; i < 4; ++i)
        bytes[start + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    return bytes;
}

std::vector<uint8_t> ChunkFile(const PNGPicture& header,
    const std::vector<std::pair<const char*, std::vector<uint8_t>>>& chunks)
{
    std::vector<uint8_t> out(std::begin(PNGSignature), std::end(PNGSignature));
    PutChunk(out, "IHDR", IHDR(header));
    for (const auto& [type, data] : chunks)
        PutChunk(out, type, data);
    return out;
}

} // namespace

TEST(PNGImport, DamagedFilesOfEveryKindGiveTwo)
{
    const PaletteModel palette = DistinctPalette(12);
    const SoundFile sound = Sound();
    ASSERT_EQ(sound.chunkStarts.size(), 6u); // IHDR PLTE tRNS IDAT tEXt IEND
    Bitmap bitmap;
    ASSERT_EQ(DecodePNG(sound.bytes, palette, bitmap), BitmapOK);

    auto refused = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        Bitmap untouched { 9, 9, { 1, 2, 3 } };
        EXPECT_EQ(DecodePNG(bytes, palette, untouched), BitmapUnsupported) << what;
        EXPECT_EQ(untouched.BitmapWidth, 9u) << what;
        EXPECT_EQ(untouched.BitmapPixels, (DataArray { 1, 2, 3 })) << what;
        EXPECT_EQ(DecodeImageFile(bytes, palette, untouched), BitmapUnsupported) << what;
    };

    // Cut short anywhere, the end of IEND included.
    for (size_t length = 0; length < sound.bytes.size(); ++length)
        refused(std::vector<uint8_t>(sound.bytes.begin(), sound.bytes.begin() + length),
            "cut at " + std::to_string(length));

    // A checksum error in any chunk, ancillary ones included.
    for (size_t start : sound.chunkStarts) {
        std::vector<uint8_t> bytes = sound.bytes;
        bytes[start + 8 + GetBig32(bytes, start) + 3] ^= 1;
        refused(bytes, "CRC of the chunk at " + std::to_string(start));
    }
    // A changed byte inside IDAT with its CRC mended: the zlib checksum catches it.
    {
        std::vector<uint8_t> bytes = sound.bytes;
        const size_t idat = sound.chunkStarts[3];
        bytes[idat + 8 + 10] ^= 0x40;
        refused(WithChunkCrc(bytes, idat), "pixel byte changed, Adler-32 wrong");
    }

    // Header fields the standard does not allow.
    struct Field {
        const char* what;
        size_t at; // within IHDR data
        uint8_t value;
    } fields[] = { { "bit depth 3", 8, 3 }, { "bit depth 16 for a palette", 8, 16 },
        { "colour type 1", 9, 1 }, { "colour type 7", 9, 7 }, { "compression 1", 10, 1 },
        { "filter method 1", 11, 1 }, { "interlace 2", 12, 2 }, { "width 0", 3, 0 } };
    for (const Field& f : fields) {
        std::vector<uint8_t> bytes = sound.bytes;
        if (std::string(f.what) == "width 0")
            std::fill(bytes.begin() + 16, bytes.begin() + 20, 0);
        else
            bytes[16 + f.at] = f.value;
        refused(WithChunkCrc(bytes, 8), f.what);
    }
    {
        std::vector<uint8_t> bytes = sound.bytes;
        bytes[16] = 0x80; // width 2^31 + 5
        refused(WithChunkCrc(bytes, 8), "width beyond 31 bits");
        bytes = sound.bytes;
        std::fill(bytes.begin() + 20, bytes.begin() + 24, 0);
        refused(WithChunkCrc(bytes, 8), "height 0");
        bytes = sound.bytes;
        bytes[23] = 5; // one row more than the data holds
        refused(WithChunkCrc(bytes, 8), "rows missing");
    }

    // Chunks missing, misplaced or unknown.
    PNGPicture header;
    header.width = 2;
    header.height = 1;
    header.colourType = Indexed;
    const std::vector<uint8_t> plte = { 1, 2, 3, 4, 5, 6 };
    const std::vector<uint8_t> idat = StoredZlib({ 0, 0, 1 });
    refused(ChunkFile(header, { { "PLTE", plte }, { "IDAT", idat } }), "no IEND");
    refused(ChunkFile(header, { { "PLTE", plte }, { "IEND", {} } }), "no IDAT");
    refused(ChunkFile(header, { { "IDAT", idat }, { "IEND", {} } }), "palette type without PLTE");
    refused(ChunkFile(
                header, { { "PLTE", plte }, { "IDAT", StoredZlib({ 0, 0, 2 }) }, { "IEND", {} } }),
        "index beyond the palette");
    refused(ChunkFile(header, { { "PLTE", { 1, 2, 3, 4, 5 } }, { "IDAT", idat }, { "IEND", {} } }),
        "PLTE not a multiple of three");
    refused(ChunkFile(
                header, { { "PLTE", plte }, { "IDAT", StoredZlib({ 5, 0, 1 }) }, { "IEND", {} } }),
        "filter type 5");
    refused(
        ChunkFile(header, { { "PLTE", plte }, { "IDAT", StoredZlib({ 0, 0 }) }, { "IEND", {} } }),
        "scanline too short");
    refused(ChunkFile(
                header, { { "PLTE", plte }, { "CrIT", { 1 } }, { "IDAT", idat }, { "IEND", {} } }),
        "unknown critical chunk");
    refused(
        ChunkFile(header, { { "PLTE", plte }, { "IDAT", { 0x78, 0x01, 0xFF } }, { "IEND", {} } }),
        "zlib stream broken");
    EXPECT_EQ(DecodePNG(ChunkFile(header, { { "PLTE", plte }, { "IDAT", idat }, { "IEND", {} } }),
                  palette, bitmap),
        BitmapOK);
    // An unknown ancillary chunk is skipped, as the standard wants.
    EXPECT_EQ(
        DecodePNG(ChunkFile(header,
                      { { "PLTE", plte }, { "prIv", { 1 } }, { "IDAT", idat }, { "IEND", {} } }),
            palette, bitmap),
        BitmapOK);
}

TEST(PNGImport, MoreThan64MiPixelsAreRefusedFromTheHeader)
{
    const PaletteModel palette = DistinctPalette(13);
    const uint32_t sizes[][2] = { { 8192, 8193 }, { 67108865, 1 }, { 1, 67108865 },
        { 0x7FFFFFFF, 0x7FFFFFFF }, { 65536, 65536 } };
    for (const auto& size : sizes) {
        PNGPicture header;
        header.width = size[0];
        header.height = size[1];
        header.colourType = Grey;
        header.depth = 1;
        // A tiny stream: the reader must refuse from IHDR alone, before it allocates.
        const std::vector<uint8_t> bytes
            = ChunkFile(header, { { "IDAT", StoredZlib({ 0 }) }, { "IEND", {} } });
        Bitmap bitmap;
        EXPECT_EQ(DecodePNG(bytes, palette, bitmap), BitmapUnsupported)
            << size[0] << "x" << size[1];
    }
}

namespace {

// The chunk of the given type: its data, or nothing with found false.
std::vector<uint8_t> ChunkData(const std::vector<uint8_t>& png, const char* type, bool& found)
{
    found = false;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + GetBig32(png, at))
        if (std::memcmp(png.data() + at + 4, type, 4) == 0) {
            found = true;
            return std::vector<uint8_t>(
                png.begin() + at + 8, png.begin() + at + 8 + GetBig32(png, at));
        }
    return {};
}

} // namespace

TEST(PNGExport, EightBitsIsAPaletteFileWithAllEntriesAndEntry255Transparent)
{
    PaletteModel palette = DistinctPalette(20);
    palette.Palette[255] = 0xFF123456; // a top byte from the settings is not written
    const Bitmap bitmap { 2, 1, { 7, 255 } };
    const std::vector<uint8_t> png = EncodePNG(bitmap, palette, 8);
    bool found = false;
    const std::vector<uint8_t> header = ChunkData(png, "IHDR", found);
    ASSERT_TRUE(found);
    EXPECT_EQ(GetBig32(header, 0), 2u);
    EXPECT_EQ(GetBig32(header, 4), 1u);
    EXPECT_EQ(header[8], 8); // bit depth
    EXPECT_EQ(header[9], Indexed);
    EXPECT_EQ(header[12], 0); // not interlaced
    const std::vector<uint8_t> plte = ChunkData(png, "PLTE", found);
    ASSERT_EQ(plte.size(), 768u);
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(plte[3 * i], palette.Palette[i] & 0xFF) << i;
        EXPECT_EQ(plte[3 * i + 1], palette.Palette[i] >> 8 & 0xFF) << i;
        EXPECT_EQ(plte[3 * i + 2], palette.Palette[i] >> 16 & 0xFF) << i;
    }
    std::vector<uint8_t> alphas(256, 255);
    alphas[255] = 0;
    EXPECT_EQ(ChunkData(png, "tRNS", found), alphas);
}

TEST(PNGExport, TwentyFourBitsIsRGBWithTheTransparentColourNamed)
{
    PaletteModel palette = DistinctPalette(21);
    palette.Palette[255] = 0x334455; // red 55, green 44, blue 33
    const Bitmap bitmap { 3, 1, { 0x80, 255, 0x90 } };
    const std::vector<uint8_t> png = EncodePNG(bitmap, palette, 24);
    bool found = false;
    const std::vector<uint8_t> header = ChunkData(png, "IHDR", found);
    EXPECT_EQ(header[8], 8);
    EXPECT_EQ(header[9], RGB);
    ChunkData(png, "PLTE", found);
    EXPECT_FALSE(found);
    EXPECT_EQ(ChunkData(png, "tRNS", found), (std::vector<uint8_t> { 0, 0x55, 0, 0x44, 0, 0x33 }));
    // Nothing is produced for what no PNG can hold.
    EXPECT_TRUE(EncodePNG(bitmap, palette, 16).empty());
    EXPECT_TRUE(EncodePNG(Bitmap { 0, 0, {} }, palette, 8).empty());
    EXPECT_TRUE(EncodePNG(Bitmap { 3, 2, { 1, 2, 3 } }, palette, 8).empty());
}

TEST(PNGExport, RoundTripsMapLikeTheBMPRoundTripsWithRepeatedAndReservedColours)
{
    // With repeated colours an export cannot always come back unchanged; it must come back
    // exactly as the same picture exported and imported as a BMP does.
    std::mt19937 random(22);
    for (int round = 0; round < 20; ++round) {
        PaletteModel palette;
        for (uint32_t& entry : palette.Palette)
            entry = random() % 6 * 0x332211; // few colours, many repeats
        palette.Palette[200] = palette.Palette[255];
        palette.WholePalette = round % 2 == 0;
        const Bitmap original = RandomBitmap(random, 0, 20, 20);
        for (uint32_t bits : { 8u, 24u }) {
            Bitmap viaPNG, viaBMP;
            ASSERT_EQ(DecodePNG(EncodePNG(original, palette, bits), palette, viaPNG), BitmapOK);
            ASSERT_EQ(
                DecodeBitmap(EncodeBitmap(original, palette, bits), palette, viaBMP), BitmapOK);
            EXPECT_EQ(viaPNG.BitmapPixels, viaBMP.BitmapPixels) << round << " " << bits;
        }
    }
}

TEST(PNGExport, PicturesTooLargeToPackWholeGoARowAtATimeIntoSeveralIDATChunks)
{
    // Just above and just below the size packed in one piece, both bit counts: the same
    // chunks before the pixels, every IDAT within its 1 MiB, and the same picture back.
    std::mt19937 random(5);
    PaletteModel palette = DistinctPalette(8);
    palette.WholePalette = true;
    for (uint32_t bits : { 8u, 24u }) {
        const uint64_t bytesPerPixel = bits / 8;
        const auto side
            = static_cast<uint32_t>(std::sqrt(double(PNGPackedWholeLimit) / double(bytesPerPixel)));
        for (uint32_t width : { side - 8, side + 8 }) {
            const bool packedWhole = (1 + width * bytesPerPixel) * width <= PNGPackedWholeLimit;
            Bitmap original { width, width, std::vector<uint8_t>(size_t { width } * width) };
            // Noise that deflate cannot pack below a megabyte, and some flat stretches.
            for (size_t i = 0; i < original.BitmapPixels.size(); ++i)
                original.BitmapPixels[i] = i % 4096 < 1024 ? 255 : static_cast<uint8_t>(random());
            const std::vector<uint8_t> png = EncodePNG(original, palette, bits);
            uint32_t chunks = 0;
            for (size_t at = 8; at + 12 <= png.size(); at += 12 + GetBig32(png, at))
                if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0) {
                    ++chunks;
                    if (!packedWhole)
                        EXPECT_LE(GetBig32(png, at), 1u << 20);
                }
            if (packedWhole)
                EXPECT_EQ(chunks, 1u) << bits << " " << width;
            else
                EXPECT_GT(chunks, 2u) << bits << " " << width;
            Bitmap decoded;
            ASSERT_EQ(DecodePNG(png, palette, decoded), BitmapOK) << bits << " " << width;
            EXPECT_EQ(decoded.BitmapWidth, width);
            EXPECT_TRUE(decoded.BitmapPixels == original.BitmapPixels) << bits << " " << width;
        }
    }
}

TEST(PNGExport, WriteGoesThroughATemporaryFile)
{
    TempDir dir;
    const PaletteModel palette = DistinctPalette(23);
    const Bitmap bitmap { 3, 2, { 0x80, 0x81, 0x82, 0x83, 0x84, 0xFF } };
    const std::string path = dir.File("out.png");
    ASSERT_EQ(WritePNG(path, bitmap, palette, 8), BitmapWritten);
    const std::vector<uint8_t> before = ReadBytes(path);
    AtomicFileWriter::SetFailAfterBytesForTesting(40);
    const uint8_t failed = WritePNG(path, bitmap, palette, 24);
    AtomicFileWriter::SetFailAfterBytesForTesting(-1);
    EXPECT_EQ(failed, BitmapCannotCreate);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(WritePNG(dir.File("odd.png"), bitmap, palette, 16), BitmapCannotCreate);
    EXPECT_FALSE(FileExists(dir.File("odd.png")));
}

TEST(ImageFiles, ExportFormatFollowsThePNGExtensionInAnyCase)
{
    EXPECT_EQ(ExportFormatForName("a.png"), ImageFileFormat::PNG);
    EXPECT_EQ(ExportFormatForName("/x/B.PNG"), ImageFileFormat::PNG);
    EXPECT_EQ(ExportFormatForName("c.pNg"), ImageFileFormat::PNG);
    EXPECT_EQ(ExportFormatForName(".png"), ImageFileFormat::PNG);
    EXPECT_EQ(ExportFormatForName("d.bmp"), ImageFileFormat::BMP);
    EXPECT_EQ(ExportFormatForName("e.png.bmp"), ImageFileFormat::BMP);
    EXPECT_EQ(ExportFormatForName("png"), ImageFileFormat::BMP);
    EXPECT_EQ(ExportFormatForName("f.pngx"), ImageFileFormat::BMP);
    EXPECT_EQ(ExportFormatForName(""), ImageFileFormat::BMP);
}

TEST(PNGImport, FilesWrittenByOtherProgramsReadAsTheirDrawing)
{
    // tests/data/png: PNGs written by Pillow and ImageMagick (make-png-samples.py), each with
    // the RGBA picture it was drawn from, top row first.
    const std::string folder = std::string(VORNIX_TEST_DATA) + "/png/";
    const char* names[]
        = { "pillow-rgb", "pillow-rgba", "pillow-grey", "pillow-grey-alpha", "pillow-1bit",
              "pillow-grey16", "pillow-palette-alpha", "pillow-rgb-trns", "magick-rgba-interlaced",
              "magick-rgba16", "magick-rgb16-interlaced", "magick-grey2-interlaced" };
    std::mt19937 random(30);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> drawing = ReadBytes(folder + name + ".rgba");
        ASSERT_GE(drawing.size(), 8u);
        const uint32_t width = GetBig32(drawing, 0), height = GetBig32(drawing, 4);
        ASSERT_EQ(drawing.size(), 8 + 4ull * width * height);
        for (bool whole : { false, true }) {
            PaletteModel palette = DistinctPalette(random());
            palette.WholePalette = whole;
            DataArray expected(size_t { width } * height);
            for (uint32_t row = 0; row < height; ++row)
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* p = drawing.data() + 8 + 4 * (size_t { row } * width + x);
                    expected[size_t { height - 1 - row } * width + x] = p[3] < 128
                        ? 255
                        : ReferenceNearest(palette, p[0] + 256u * p[1] + 65536u * p[2]);
                }
            Bitmap bitmap;
            ASSERT_EQ(ReadPNG(folder + name + ".png", palette, bitmap), BitmapOK);
            EXPECT_EQ(bitmap.BitmapWidth, width);
            EXPECT_EQ(bitmap.BitmapHeight, height);
            EXPECT_EQ(bitmap.BitmapPixels, expected);
        }
    }
}
