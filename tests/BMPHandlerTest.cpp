#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "frames/FileIO.h"

namespace {

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

uint32_t Get16(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8;
}

void Patch32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void Patch16(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A BMP laid out by hand, independently of the writer: an 8-bit file takes the colour table
// and the raw row bytes (padding included) as given.
std::vector<uint8_t> HandMadeBmp(uint32_t width, uint32_t height, uint32_t bits,
    const std::vector<uint8_t>& table, const std::vector<uint8_t>& rows)
{
    const uint32_t offset = bits == 8 ? 1078 : 54;
    std::vector<uint8_t> bytes(offset, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Patch32(bytes, 10, offset);
    Patch32(bytes, 14, 40);
    Patch32(bytes, 18, width);
    Patch32(bytes, 22, height);
    Patch16(bytes, 26, 1);
    Patch16(bytes, 28, bits);
    if (bits == 8)
        std::copy(table.begin(), table.end(), bytes.begin() + 54);
    bytes.insert(bytes.end(), rows.begin(), rows.end());
    Patch32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    return bytes;
}

std::vector<uint8_t> TableOf(const PaletteModel& palette)
{
    std::vector<uint8_t> table;
    for (uint32_t colour : palette.Palette) {
        table.push_back(static_cast<uint8_t>(colour >> 16));
        table.push_back(static_cast<uint8_t>(colour >> 8));
        table.push_back(static_cast<uint8_t>(colour));
        table.push_back(0);
    }
    return table;
}

} // namespace

TEST(ColourMatching, DistanceIsTheSumOfChannelDifferences)
{
    EXPECT_EQ(ColourDistance(0x000000, 0xFFFFFF), 765u);
    EXPECT_EQ(ColourDistance(0x102030, 0x302010), 0x20u + 0u + 0x20u);
    EXPECT_EQ(ColourDistance(0x0A0B0C, 0x0A0B0C), 0u);
    EXPECT_EQ(ColourDistance(0xFF000001, 0x00000003), 2u); // only the colour bytes count
}

TEST(ColourMatching, NearestMatchesBruteForceOnRandomColours)
{
    std::mt19937 random(99);
    for (int round = 0; round < 20; ++round) {
        PaletteModel palette;
        for (uint32_t& entry : palette.Palette)
            entry = random() & 0x3F3F3F; // a small range makes ties frequent
        palette.WholePalette = round % 2 == 1;
        for (int i = 0; i < 200; ++i) {
            const uint32_t colour = random() & 0x3F3F3F;
            ASSERT_EQ(NearestColour(palette, colour), ReferenceNearest(palette, colour))
                << "round " << round << " colour " << colour;
        }
    }
}

TEST(ColourMatching, MatcherAgreesWithThePlainSearch)
{
    // Narrow ranges make ties and equal channel sums common; the wide one exercises the early
    // stop; stray top bytes on entries must not count.
    std::mt19937 random(4242);
    const uint32_t masks[] = { 0x030303, 0x0F0F0F, 0x3F3F3F, 0xFFFFFF, 0xFF0F0F0F };
    for (int round = 0; round < 40; ++round) {
        const uint32_t mask = masks[round % 5];
        PaletteModel palette;
        for (uint32_t& entry : palette.Palette)
            entry = random() & mask;
        palette.WholePalette = round % 2 == 1;
        const ColourMatcher matcher(palette);
        for (int i = 0; i < 500; ++i) {
            const uint32_t colour = random() & (mask & 0xFFFFFF);
            ASSERT_EQ(matcher.Nearest(colour), NearestColour(palette, colour))
                << "round " << round << " colour " << colour;
        }
        ASSERT_EQ(matcher.Nearest(palette.Palette[255]), 255);
    }
}

TEST(ColourMatching, RulesForReservedTiesAndTransparent)
{
    PaletteModel palette;
    palette.Palette[255] = 0x00FF00;
    palette.Palette[5] = 0x112233; // exact, but reserved
    palette.Palette[130] = 0x112235;
    palette.Palette[140] = 0x112231; // same distance as 130
    EXPECT_EQ(NearestColour(palette, 0x112233), 130);
    EXPECT_EQ(ColourMatcher(palette).Nearest(0x112233), 130);
    palette.WholePalette = true;
    EXPECT_EQ(NearestColour(palette, 0x112233), 5);
    EXPECT_EQ(ColourMatcher(palette).Nearest(0x112233), 5);
    EXPECT_EQ(NearestColour(palette, 0x00FF00), 255);

    // Entry 255 is never chosen by distance, only by equality.
    palette.Palette[255] = 0x010101;
    EXPECT_NE(NearestColour(palette, 0x010100), 255);
    // A top byte on the transparent colour does not stop the match.
    palette.Palette[255] = 0xFF00FF00;
    EXPECT_EQ(NearestColour(palette, 0x00FF00), 255);
}

TEST(BitmapExport, OnePixelFilesHaveTheDocumentedLayout)
{
    PaletteModel palette = DistinctPalette(1);
    palette.Palette[7] = 0x0A0B0C; // red 0C, green 0B, blue 0A
    Bitmap bitmap { 1, 1, { 7 } };

    const std::vector<uint8_t> eight = EncodeBitmap(bitmap, palette, 8);
    ASSERT_EQ(eight.size(), 1082u);
    EXPECT_EQ(eight[0], 'B');
    EXPECT_EQ(eight[1], 'M');
    EXPECT_EQ(Get32(eight, 2), 1082u);
    EXPECT_EQ(Get32(eight, 6), 0u);
    EXPECT_EQ(Get32(eight, 10), 1078u);
    EXPECT_EQ(Get32(eight, 14), 40u);
    EXPECT_EQ(Get32(eight, 18), 1u);
    EXPECT_EQ(Get32(eight, 22), 1u);
    EXPECT_EQ(Get16(eight, 26), 1u);
    EXPECT_EQ(Get16(eight, 28), 8u);
    for (size_t at = 30; at < 54; at += 4)
        EXPECT_EQ(Get32(eight, at), 0u) << at;
    EXPECT_EQ(std::vector<uint8_t>(eight.begin() + 54, eight.begin() + 1078), TableOf(palette));
    EXPECT_EQ(std::vector<uint8_t>(eight.begin() + 1078, eight.end()),
        (std::vector<uint8_t> { 7, 0, 0, 0 }));

    const std::vector<uint8_t> full = EncodeBitmap(bitmap, palette, 24);
    ASSERT_EQ(full.size(), 58u);
    EXPECT_EQ(Get32(full, 2), 58u);
    EXPECT_EQ(Get32(full, 10), 54u);
    EXPECT_EQ(Get16(full, 28), 24u);
    EXPECT_EQ(std::vector<uint8_t>(full.begin() + 54, full.end()),
        (std::vector<uint8_t> { 0x0A, 0x0B, 0x0C, 0 }));
}

TEST(BitmapExport, RowsArePaddedToFourBytesWithZeros)
{
    const PaletteModel palette = DistinctPalette(2);
    struct Case {
        uint32_t width, bits, rowSize;
    } cases[]
        = { { 4, 24, 12 }, { 5, 8, 8 }, { 1, 24, 4 }, { 3, 8, 4 }, { 4, 8, 4 }, { 2, 24, 8 } };
    for (const Case& c : cases) {
        Bitmap bitmap { c.width, 3, DataArray(c.width * 3, 0x90) };
        const std::vector<uint8_t> bytes = EncodeBitmap(bitmap, palette, c.bits);
        const uint32_t offset = c.bits == 8 ? 1078 : 54;
        ASSERT_EQ(bytes.size(), offset + 3 * c.rowSize) << c.width << "x" << c.bits;
        const uint32_t used = c.width * c.bits / 8;
        for (uint32_t row = 0; row < 3; ++row)
            for (uint32_t at = used; at < c.rowSize; ++at)
                EXPECT_EQ(bytes[offset + row * c.rowSize + at], 0);
    }
}

TEST(BitmapExport, TransparentPixelsCarryTheTransparentColour)
{
    PaletteModel palette = DistinctPalette(3);
    palette.Palette[255] = 0x334455; // red 55, green 44, blue 33
    Bitmap bitmap { 2, 1, { 0xFF, 0x80 } };
    const std::vector<uint8_t> full = EncodeBitmap(bitmap, palette, 24);
    EXPECT_EQ(std::vector<uint8_t>(full.begin() + 54, full.begin() + 57),
        (std::vector<uint8_t> { 0x33, 0x44, 0x55 }));
    const std::vector<uint8_t> eight = EncodeBitmap(bitmap, palette, 8);
    EXPECT_EQ(eight[1078], 0xFF);
    EXPECT_EQ(eight[54 + 4 * 255], 0x33); // table entry 255: blue, green, red
    EXPECT_EQ(eight[54 + 4 * 255 + 2], 0x55);
}

TEST(BitmapExport, ExportThenImportGivesBackTheImage)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 40; ++round) {
        PaletteModel palette = DistinctPalette(round);
        palette.WholePalette = round % 3 == 0;
        const Bitmap original = RandomBitmap(random, 127, 13, 9);
        for (uint32_t bits : { 8u, 24u }) {
            Bitmap decoded;
            ASSERT_EQ(
                DecodeBitmap(EncodeBitmap(original, palette, bits), palette, decoded), BitmapOK);
            EXPECT_EQ(decoded.BitmapWidth, original.BitmapWidth);
            EXPECT_EQ(decoded.BitmapHeight, original.BitmapHeight);
            EXPECT_EQ(decoded.BitmapPixels, original.BitmapPixels)
                << "round " << round << " bits " << bits;
        }
    }
}

TEST(BitmapExport, WriteGoesThroughATemporaryFile)
{
    TempDir dir;
    const PaletteModel palette = DistinctPalette(4);
    const Bitmap bitmap { 3, 2, { 0x80, 0x81, 0x82, 0x83, 0x84, 0xFF } };
    const std::string path = dir.File("out.bmp");
    ASSERT_EQ(WriteBitmap(path, bitmap, palette, 24), BitmapWritten);
    EXPECT_EQ(ReadBytes(path), EncodeBitmap(bitmap, palette, 24));
    Bitmap back;
    EXPECT_EQ(ReadBitmap(path, palette, back), BitmapOK);
    EXPECT_EQ(back.BitmapPixels, bitmap.BitmapPixels);

    // A failure while writing is reported and the earlier file stays whole.
    const std::vector<uint8_t> before = ReadBytes(path);
    AtomicFileWriter::SetFailAfterBytesForTesting(60);
    const uint8_t failed = WriteBitmap(path, bitmap, palette, 8);
    AtomicFileWriter::SetFailAfterBytesForTesting(-1);
    EXPECT_EQ(failed, BitmapCannotCreate);
    EXPECT_EQ(ReadBytes(path), before);

    EXPECT_EQ(WriteBitmap(dir.File("missing/out.bmp"), bitmap, palette, 8), BitmapCannotCreate);
    EXPECT_EQ(WriteBitmap(dir.File("odd.bmp"), bitmap, palette, 16), BitmapCannotCreate);
    EXPECT_FALSE(FileExists(dir.File("odd.bmp")));
    const Bitmap shortPixels { 3, 2, { 1, 2, 3 } };
    EXPECT_EQ(WriteBitmap(dir.File("short.bmp"), shortPixels, palette, 8), BitmapCannotCreate);
}

TEST(BitmapImport, EightBitColoursMapThroughTheTableToTheNearestAllowedEntry)
{
    std::mt19937 random(5);
    for (bool whole : { false, true }) {
        PaletteModel palette = DistinctPalette(whole ? 6 : 7);
        palette.WholePalette = whole;
        const uint32_t width = 17, height = 4;
        const uint32_t rowSize = 20;
        std::vector<uint8_t> rows(rowSize * height, 0xEE); // padding bytes are ignored
        DataArray indices(width * height);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                rows[y * rowSize + x] = indices[y * width + x] = static_cast<uint8_t>(random());
        Bitmap bitmap;
        ASSERT_EQ(
            DecodeBitmap(HandMadeBmp(width, height, 8, TableOf(palette), rows), palette, bitmap),
            BitmapOK);
        ASSERT_EQ(bitmap.BitmapPixels.size(), indices.size());
        for (size_t i = 0; i < indices.size(); ++i) {
            const uint8_t index = indices[i];
            uint8_t expected = index;
            if (!whole && index < 127)
                expected = ReferenceNearest(palette, palette.Palette[index]);
            EXPECT_EQ(bitmap.BitmapPixels[i], expected) << "index " << int(index);
            if (!whole && index < 127)
                EXPECT_GE(bitmap.BitmapPixels[i], 127);
        }
    }
}

TEST(BitmapImport, TwentyFourBitRowsKeepTheirOrderAndSkipPadding)
{
    PaletteModel palette = DistinctPalette(8);
    palette.Palette[255] = 0x010203;
    // Width 1: row size 4, three colour bytes and one padding byte. Row 0 is the bottom row,
    // stored first, and stays row 0.
    std::vector<uint8_t> rows;
    const uint32_t colours[] = { palette.Palette[200], 0x010203, palette.Palette[131] };
    for (uint32_t colour : colours) {
        rows.push_back(static_cast<uint8_t>(colour >> 16));
        rows.push_back(static_cast<uint8_t>(colour >> 8));
        rows.push_back(static_cast<uint8_t>(colour));
        rows.push_back(0x77);
    }
    Bitmap bitmap;
    ASSERT_EQ(DecodeBitmap(HandMadeBmp(1, 3, 24, {}, rows), palette, bitmap), BitmapOK);
    EXPECT_EQ(bitmap.BitmapWidth, 1u);
    EXPECT_EQ(bitmap.BitmapHeight, 3u);
    EXPECT_EQ(bitmap.BitmapPixels, (DataArray { 200, 255, 131 }));
}

TEST(BitmapImport, EveryBrokenFieldIsRefusedWithTwo)
{
    const PaletteModel palette = DistinctPalette(9);
    const std::vector<uint8_t> good8
        = HandMadeBmp(5, 2, 8, TableOf(palette), std::vector<uint8_t>(16, 0x80));
    const std::vector<uint8_t> good24 = HandMadeBmp(2, 2, 24, {}, std::vector<uint8_t>(16, 0));
    Bitmap bitmap;
    ASSERT_EQ(DecodeBitmap(good8, palette, bitmap), BitmapOK);
    ASSERT_EQ(DecodeBitmap(good24, palette, bitmap), BitmapOK);

    struct Case {
        const char* what;
        const std::vector<uint8_t>* base;
        size_t at;
        uint32_t value;
        int width; // 2 or 4 bytes
    } cases[] = {
        { "signature", &good8, 0, 0x4D43, 2 },
        { "size field larger", &good8, 2, uint32_t(good8.size() + 1), 4 },
        { "size field smaller", &good8, 2, uint32_t(good8.size() - 1), 4 },
        { "reserved", &good8, 6, 1, 4 },
        { "short colour table", &good8, 10, 1074, 4 },
        { "24-bit offset for 8 bits", &good8, 10, 54, 4 },
        { "8-bit offset for 24 bits", &good24, 10, 1078, 4 },
        { "core header", &good8, 14, 12, 4 },
        { "v4 header", &good8, 14, 108, 4 },
        { "planes", &good8, 26, 2, 2 },
        { "4 bits", &good8, 28, 4, 2 },
        { "16 bits", &good24, 28, 16, 2 },
        { "32 bits", &good24, 28, 32, 2 },
        { "compressed", &good8, 30, 1, 4 },
        { "bitfields", &good24, 30, 3, 4 },
        { "width 0", &good8, 18, 0, 4 },
        { "height 0", &good8, 22, 0, 4 },
        { "top-down", &good8, 22, uint32_t(-2), 4 },
        { "rows missing", &good8, 22, 3, 4 },
        { "too wide", &good8, 18, 9, 4 },
        { "huge width", &good24, 18, 0xFFFFFFFF, 4 },
        { "huge both", &good24, 22, 0xFFFFFFFF, 4 },
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = *c.base;
        if (c.width == 2)
            Patch16(bytes, c.at, c.value);
        else
            Patch32(bytes, c.at, c.value);
        Bitmap untouched { 9, 9, { 1, 2, 3 } };
        EXPECT_EQ(DecodeBitmap(bytes, palette, untouched), BitmapUnsupported) << c.what;
        EXPECT_EQ(untouched.BitmapWidth, 9u) << c.what;
        EXPECT_EQ(untouched.BitmapPixels, (DataArray { 1, 2, 3 })) << c.what;
    }

    // Width and height that overflow 32 bits together while the file is tiny.
    std::vector<uint8_t> both = good24;
    Patch32(both, 18, 0x80000000);
    Patch32(both, 22, 0x80000000);
    EXPECT_EQ(DecodeBitmap(both, palette, bitmap), BitmapUnsupported);

    // Files cut short anywhere in the headers.
    for (size_t length : { 0u, 1u, 2u, 10u, 29u, 30u, 53u, 200u }) {
        std::vector<uint8_t> cut(good8.begin(), good8.begin() + length);
        if (length >= 6)
            Patch32(cut, 2, uint32_t(length));
        EXPECT_EQ(DecodeBitmap(cut, palette, bitmap), BitmapUnsupported) << length;
    }
}

TEST(BitmapImport, FilesThatCannotBeOpenedGiveOne)
{
    TempDir dir;
    const PaletteModel palette = DistinctPalette(10);
    Bitmap bitmap;
    EXPECT_EQ(ReadBitmap(dir.File("none.bmp"), palette, bitmap), BitmapCannotOpen);
    EXPECT_EQ(ReadBitmap(dir.Path().string(), palette, bitmap), BitmapCannotOpen);
    WriteBytes(dir.File("text.bmp"), { 'h', 'e', 'l', 'l', 'o' });
    EXPECT_EQ(ReadBitmap(dir.File("text.bmp"), palette, bitmap), BitmapUnsupported);
}

TEST(BitmapImport, ImportEncodesIntoTheFrameOrLeavesItAlone)
{
    TempDir dir;
    const PaletteModel palette = DistinctPalette(11);
    Bitmap bitmap;
    bitmap.BitmapWidth = 6;
    bitmap.BitmapHeight = 5;
    bitmap.BitmapPixels.assign(30, 0xFF);
    for (size_t i = 0; i < 30; i += 2)
        bitmap.BitmapPixels[i] = static_cast<uint8_t>(0x80 + i);
    const std::string path = dir.File("in.bmp");
    ASSERT_EQ(WriteBitmap(path, bitmap, palette, 8), BitmapWritten);

    CELFrame frame;
    ASSERT_EQ(ImportBitmap(path, palette, frame), BitmapOK);
    EXPECT_EQ(frame.Width, 6u);
    EXPECT_EQ(frame.Height, 5u);
    DataArray decoded;
    frame.DecodeImage(decoded);
    EXPECT_EQ(decoded, bitmap.BitmapPixels);

    const DataArray data = frame.Data;
    WriteBytes(dir.File("bad.bmp"), std::vector<uint8_t>(100, 0));
    EXPECT_EQ(ImportBitmap(dir.File("bad.bmp"), palette, frame), BitmapUnsupported);
    EXPECT_EQ(ImportBitmap(dir.File("gone.bmp"), palette, frame), BitmapCannotOpen);
    EXPECT_EQ(frame.Width, 6u);
    EXPECT_EQ(frame.Data, data);
}

TEST(BitmapImport, DamagedHeadersAreEitherRefusedOrReadWithinTheFile)
{
    std::mt19937 random(404);
    const PaletteModel palette = DistinctPalette(12);
    const std::vector<std::vector<uint8_t>> goods
        = { HandMadeBmp(5, 3, 8, TableOf(palette), std::vector<uint8_t>(24, 0x81)),
              HandMadeBmp(3, 4, 24, {}, std::vector<uint8_t>(48, 0x20)) };
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes = goods[round % 2];
        for (int hits = 1 + random() % 3; hits > 0; --hits)
            bytes[random() % 54] = static_cast<uint8_t>(random());
        if (round % 3 == 0)
            bytes.resize(random() % bytes.size());
        Bitmap bitmap;
        const uint8_t result = DecodeBitmap(bytes, palette, bitmap);
        ASSERT_TRUE(result == BitmapOK || result == BitmapUnsupported);
        if (result == BitmapOK) {
            ASSERT_EQ(bitmap.BitmapPixels.size(), size_t(bitmap.BitmapWidth) * bitmap.BitmapHeight);
            ASSERT_GT(bitmap.BitmapPixels.size(), 0u);
        }
    }
}

TEST(BitmapImport, ColourTableCacheGivesTheSameIndicesAsMatchingEachFile)
{
    // Files of three distinct colour tables, read in turn through one cache: each result is
    // the uncached reader's, so a table remembered from one file never leaks into another.
    std::mt19937 random(77);
    PaletteModel palette;
    for (auto& colour : palette.Palette)
        colour = random() & 0xFFFFFF;
    std::vector<std::vector<uint8_t>> files;
    for (int table = 0; table < 3; ++table) {
        PaletteModel writer;
        for (auto& colour : writer.Palette)
            colour = random() & 0xFFFFFF;
        for (int picture = 0; picture < 3; ++picture) {
            Bitmap bitmap { 7, 5, DataArray(35) };
            for (auto& pixel : bitmap.BitmapPixels)
                pixel = static_cast<uint8_t>(random());
            files.push_back(EncodeBitmap(bitmap, writer, 8));
        }
    }
    ColourTableCache cache;
    for (size_t i = 0; i < files.size(); ++i) {
        Bitmap cached, plain;
        ASSERT_EQ(DecodeBitmap(files[i], palette, cached, &cache), BitmapOK);
        ASSERT_EQ(DecodeBitmap(files[i], palette, plain), BitmapOK);
        EXPECT_EQ(cached.BitmapPixels, plain.BitmapPixels) << i;
    }
}
