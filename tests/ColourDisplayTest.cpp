#include <gtest/gtest.h>

#include <random>

#include "palette/ColourDisplay.h"

// What the windows show through a translation table: every index in the colour of its entry,
// 255 always in its own, the hint naming the entry an index becomes.

TEST(ColourDisplay, ShownColoursFollowTheTableAndNeverTranslateTheTransparentIndex)
{
    std::mt19937 random(21);
    for (int round = 0; round < 20; ++round) {
        std::array<uint32_t, 256> colours {};
        for (uint32_t& colour : colours)
            colour = random();
        ColourDisplay display;
        EXPECT_EQ(ShownColours(colours, display), colours) << "no table shows every own colour";
        for (uint8_t& entry : display.Table)
            entry = uint8_t(random());
        display.TableLoaded = round % 4 != 0;
        const std::array<uint32_t, 256> shown = ShownColours(colours, display);
        for (size_t i = 0; i < 256; ++i) {
            const bool translated = display.TableLoaded && i != 255;
            EXPECT_EQ(shown[i], colours[translated ? display.Table[i] : i]) << i;
            EXPECT_EQ(display.Translated(uint8_t(i)), translated && display.Table[i] != i) << i;
        }
    }
}

TEST(ColourDisplay, HintsNameTheTranslatedIndexOnlyForTranslatedEntries)
{
    ColourDisplay display;
    display.Table[0x80] = 0x0A;
    display.Table[0x81] = 0xFF;
    display.Table[0xFF] = 0x80;
    const uint32_t colour = 12 + 256 * 34 + 65536 * 56;
    EXPECT_EQ(DisplayCellHint(0x80, colour, display), "80 (128): (12; 34; 56)") << "not loaded";
    display.TableLoaded = true;
    EXPECT_EQ(DisplayCellHint(0x80, colour, display), "80 (128): (12; 34; 56) -> 0A");
    EXPECT_EQ(DisplayCellHint(0x81, colour, display), "81 (129): (12; 34; 56) -> FF");
    EXPECT_EQ(DisplayCellHint(0x82, colour, display), "82 (130): (12; 34; 56)");
    EXPECT_EQ(DisplayCellHint(0xFF, colour, display), "FF (255): (12; 34; 56)");
}

TEST(ColourDisplay, UsedMarksAndFrameListsAreExact)
{
    ColourDisplay display;
    std::array<uint64_t, 256> counts {};
    counts[3] = 1;
    counts[200] = 1ull << 40;
    display.SetUsed(counts);
    EXPECT_EQ(display.UsedCount, 2u);
    EXPECT_TRUE(display.Used[3] && display.Used[200] && !display.Used[4]);
    display.ClearUsed();
    EXPECT_EQ(display.UsedCount, 0u);
    EXPECT_FALSE(display.Used[3]);

    EXPECT_EQ(FrameListText({}), "");
    EXPECT_EQ(FrameListText({ "#0", "walk" }), "#0, walk");
    EXPECT_EQ(FrameListText({ "a", "b", "c" }, 2), "a, b, ...");
}
