#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "palette/ColourUse.h"
#include "palette/Remap.h"

namespace {

// The obviously right remap: every allowed entry of to tried in order, the first of the
// smallest distance kept.
uint8_t SlowNearest(uint32_t colour, const PaletteModel& to, bool wholePalette)
{
    auto distance = [](uint32_t a, uint32_t b) {
        int sum = 0;
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF));
        return sum;
    };
    int best = -1;
    for (int j = wholePalette ? 0 : 127; j < 255; ++j)
        if (best < 0 || distance(colour, to.Palette[j]) < distance(colour, to.Palette[best]))
            best = j;
    return static_cast<uint8_t>(best);
}

} // namespace

TEST(ColourUse, CountsOfImagesFramesAndCELsMatchACountOfEveryPixel)
{
    std::mt19937 random(2103);
    auto cel = CELObject::CreateEmpty(0);
    ColourCounts expectedCEL {};
    for (int round = 0; round < 40; ++round) {
        const uint32_t width = 1 + random() % 70;
        const uint32_t height = 1 + random() % 70;
        DataArray image(size_t { width } * height);
        const uint32_t spread = 1 + random() % 256; // few colours or many
        for (uint8_t& pixel : image)
            pixel = static_cast<uint8_t>(255 - random() % spread);
        ColourCounts expected {};
        for (uint8_t pixel : image)
            ++expected[pixel];
        ASSERT_EQ(CountImageColours(image), expected);
        uint32_t distinct = 0;
        for (uint32_t i = 0; i < 255; ++i)
            distinct += expected[i] != 0;
        EXPECT_EQ(DistinctColours(expected), distinct);
        EXPECT_EQ(DistinctColours(expected, true), distinct + (expected[255] != 0));

        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        slot->Frame->SetSize(width, height);
        slot->Frame->EncodeImage(image);
        slot->Frame->AnalyseData();
        for (uint32_t i = 0; i < slot->Frame->WidthCount; ++i)
            if (slot->Frame->Widths[i] == width) {
                slot->Frame->SelectWidth(i);
                break;
            }
        ColourCounts frameCounts {};
        ASSERT_TRUE(AddFrameColours(*slot->Frame, frameCounts));
        EXPECT_EQ(frameCounts, expected);
        for (uint32_t i = 0; i < 256; ++i)
            expectedCEL[i] += expected[i];
        cel->Frames.push_back(slot);
    }
    // A frame that cannot be shown adds nothing.
    auto broken = std::make_shared<FrameSlot>();
    broken->Frame = CELFrame::CreateEmpty();
    broken->Frame->Data = { 5, 1 };
    broken->Frame->DataLength = 2;
    broken->Frame->AnalyseData();
    ColourCounts untouched {};
    EXPECT_FALSE(AddFrameColours(*broken->Frame, untouched));
    EXPECT_EQ(untouched, ColourCounts {});
    cel->Frames.insert(cel->Frames.begin() + 3, broken);
    cel->Frames.push_back(nullptr);
    uint32_t counted = 0;
    EXPECT_EQ(CountCELColours(*cel, &counted), expectedCEL);
    EXPECT_EQ(counted, 40u);
}

TEST(Remap, EachIndexGoesToTheNearestAllowedEntryAndNothingBecomesTransparent)
{
    std::mt19937 random(2104);
    for (int round = 0; round < 40; ++round) {
        PaletteModel from, to;
        // Few distinct channel values give ties and exact matches often.
        const uint32_t levels = round % 2 ? 4 : 256;
        auto colour = [&] {
            uint32_t c = 0;
            for (int shift = 0; shift < 24; shift += 8)
                c |= (random() % levels * (255 / (levels - 1))) << shift;
            return c;
        };
        for (uint32_t i = 0; i < 256; ++i) {
            from.Palette[i] = colour();
            to.Palette[i] = colour();
        }
        // An opaque colour equal to the transparent colour stays opaque.
        to.Palette[255] = from.Palette[200];
        const bool whole = round % 4 < 2;
        const TranslationTable table = BuildRemapTable(from, to, whole);
        for (uint32_t i = 0; i < 255; ++i)
            ASSERT_EQ(table[i], SlowNearest(from.Palette[i], to, whole)) << round << " " << i;
        EXPECT_EQ(table[255], 255);
    }
    // Remapping to the same palette of distinct colours keeps every allowed index.
    const PaletteModel same = DistinctPalette(5);
    const TranslationTable table = BuildRemapTable(same, same, false);
    for (uint32_t i = 127; i < 256; ++i)
        EXPECT_EQ(table[i], i);
    EXPECT_TRUE(IsIdentity(BuildRemapTable(same, same, true)));
}
