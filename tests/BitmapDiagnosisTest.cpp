// The explanation of a refused BMP agrees with the BMP reader: a reason for every file the
// reader refuses, none for a file it accepts, and the reasons a user meets from common tools
// worded as they are printed.

#include <gtest/gtest.h>

#include <random>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/BitmapDiagnosis.h"

namespace {

PaletteModel GreyPalette()
{
    PaletteModel palette;
    for (uint32_t i = 0; i < 255; ++i)
        palette.Palette[i] = i * 0x010101u;
    palette.Palette[255] = 0xFFFFFF;
    return palette;
}

std::vector<uint8_t> ValidBitmap(uint32_t width, uint32_t height, uint32_t bits, uint32_t seed)
{
    std::mt19937 random(seed);
    Bitmap bitmap { width, height, DataArray(size_t { width } * height) };
    for (auto& pixel : bitmap.BitmapPixels)
        pixel = static_cast<uint8_t>(random());
    return EncodeBitmap(bitmap, GreyPalette(), bits);
}

void Put(std::vector<uint8_t>& file, size_t at, uint32_t value, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Accepted(const std::vector<uint8_t>& file)
{
    Bitmap bitmap;
    return DecodeBitmap(file, GreyPalette(), bitmap) == BitmapOK;
}

} // namespace

TEST(BitmapDiagnosis, AgreesWithTheReaderOnSeededDamagedHeaders)
{
    std::mt19937 random(1212);
    size_t refused = 0;
    for (int round = 0; round < 4000; ++round) {
        const uint32_t bits = round % 2 ? 8 : 24;
        std::vector<uint8_t> file = ValidBitmap(1 + round % 13, 1 + round % 7, bits, round);
        // Damage one header field to a value near a valid one, or cut the file short.
        switch (random() % 4) {
        case 0:
            file[random() % 54] = static_cast<uint8_t>(random());
            break;
        case 1: {
            static constexpr size_t fields[] = { 2, 6, 10, 14, 18, 22, 26, 28, 30 };
            const size_t at = fields[random() % std::size(fields)];
            file[at] = static_cast<uint8_t>(file[at] + (random() % 3) - 1);
            break;
        }
        case 2:
            file.resize(random() % (file.size() + 1));
            break;
        default:
            break; // some files stay valid
        }
        const std::string reason = ExplainBitmapRefusal(file);
        EXPECT_EQ(reason.empty(), Accepted(file)) << round << ": " << reason;
        refused += reason.empty() ? 0 : 1;
    }
    EXPECT_GT(refused, 1000u); // the damage did reach the checks
}

TEST(BitmapDiagnosis, NamesTheRulesCommonToolsBreak)
{
    const std::vector<uint8_t> good = ValidBitmap(5, 3, 8, 1);
    ASSERT_EQ(ExplainBitmapRefusal(good), "");
    ASSERT_EQ(ExplainBitmapRefusal(ValidBitmap(5, 3, 24, 1)), "");

    std::vector<uint8_t> fourBits = good;
    Put(fourBits, 28, 4, 2);
    std::vector<uint8_t> rle = good;
    Put(rle, 30, 1, 4);
    std::vector<uint8_t> v5 = good;
    Put(v5, 14, 124, 4);
    // 16 colour entries: the pixels start 64 bytes after the information header.
    std::vector<uint8_t> sixteen = good;
    Put(sixteen, 10, 54 + 64, 4);
    std::vector<uint8_t> topDown = good;
    Put(topDown, 22, static_cast<uint32_t>(-3), 4);
    std::vector<uint8_t> planes = good;
    Put(planes, 26, 2, 2);
    std::vector<uint8_t> empty = good;
    Put(empty, 18, 0, 4);
    std::vector<uint8_t> shortRows = good;
    Put(shortRows, 22, 4, 4);
    // As image editors write RLE8: runs shorter than the rows, the file shorter with them.
    std::vector<uint8_t> packed = good;
    Put(packed, 30, 1, 4);
    packed.resize(packed.size() - 8);
    Put(packed, 2, static_cast<uint32_t>(packed.size()), 4);
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases {
        { fourBits, "4 bits per pixel" },
        { rle, "RLE8 compression" },
        { packed, "RLE8 compression" },
        { v5, "124-byte BITMAPV5 header" },
        { sixteen, "colour table of 16 entries" },
        { topDown, "rows stored top-down (negative height)" },
        { planes, "2 colour planes" },
        { empty, "empty picture of 0 x 3 pixels" },
        { shortRows, "pixel rows of 5 x 4 run past the end of the file" },
        { { 'P', 'K', 3, 4 }, "no \"BM\" signature" },
        { { 'B', 'M', 9 }, "file ends inside its header" },
    };
    for (const auto& [file, reason] : cases) {
        EXPECT_EQ(ExplainBitmapRefusal(file), reason);
        EXPECT_FALSE(Accepted(file)) << reason;
    }
}
