#include <cstdint>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <iconv.h>

#include "frames/FrameHandler.h"
#include "frames/FrameName.h"

namespace {

// The C library's own Windows-1252 converter, the slow and independent reference. It knows
// no character for the five undefined bytes and gives nullopt-like empty results for them.
bool ReferenceWindows1252(const std::string& bytes, std::string& utf8)
{
    iconv_t converter = iconv_open("UTF-8", "WINDOWS-1252");
    if (converter == iconv_t(-1))
        return false;
    std::string in = bytes;
    utf8.assign(in.size() * 4 + 4, '\0');
    char* from = in.data();
    char* to = utf8.data();
    size_t fromLeft = in.size();
    size_t toLeft = utf8.size();
    const size_t done = iconv(converter, &from, &fromLeft, &to, &toLeft);
    iconv_close(converter);
    if (done == size_t(-1))
        return false;
    utf8.resize(utf8.size() - toLeft);
    return true;
}

bool Undefined(uint8_t byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

} // namespace

TEST(FrameNameUtf8, WellFormedAndMalformedSequences)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("Walk 1"));
    EXPECT_TRUE(IsValidUtf8("Caf\xC3\xA9"));
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC")); // U+20AC
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80")); // U+1F600
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF")); // U+10FFFF, the last code point
    EXPECT_TRUE(IsValidUtf8("\xED\x9F\xBF")); // U+D7FF, just below the surrogates
    EXPECT_FALSE(IsValidUtf8("Caf\xE9")); // a Windows-1252 letter
    EXPECT_FALSE(IsValidUtf8("\xC3")); // cut short
    EXPECT_FALSE(IsValidUtf8("\xE2\x82")); // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\x80")); // overlong zero
    EXPECT_FALSE(IsValidUtf8("\xC1\xBF")); // overlong
    EXPECT_FALSE(IsValidUtf8("\xE0\x9F\xBF")); // overlong three-byte form
    EXPECT_FALSE(IsValidUtf8("\xF0\x8F\xBF\xBF")); // overlong four-byte form
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(IsValidUtf8("\x80")); // a lone continuation byte
    EXPECT_FALSE(IsValidUtf8("\xC3\xA9\xA9")); // one continuation too many
}

TEST(FrameNameDisplay, ValidUtf8ShowsAsItIsOtherBytesAsWindows1252)
{
    EXPECT_EQ(NameForDisplay("Walk"), "Walk");
    EXPECT_EQ(NameForDisplay("Caf\xC3\xA9"), "Caf\xC3\xA9");
    EXPECT_EQ(NameForDisplay("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(NameForDisplay("\x80 5"), "\xE2\x82\xAC 5"); // the euro sign
    EXPECT_EQ(NameForDisplay("\x9F\xE9"), "\xC5\xB8\xC3\xA9"); // Ÿ é
    EXPECT_EQ(NameForDisplay("\x81\xE9"), "\xC2\x81\xC3\xA9"); // undefined byte kept as U+0081
    // One invalid byte makes the whole name Windows-1252, also its UTF-8-looking parts.
    EXPECT_EQ(NameForDisplay("\xC3\xA9\xE9"), "\xC3\x83\xC2\xA9\xC3\xA9");
}

TEST(FrameNameDisplay, EveryByteAgreesWithTheLibraryConverterAndAllDiffer)
{
    std::set<std::string> shown;
    for (int value = 1; value < 256; ++value) {
        const uint8_t byte = static_cast<uint8_t>(value);
        // "\xFF" + byte is never valid UTF-8, so the code page decides.
        const std::string stored { char(0xFF), char(byte) };
        const std::string display = NameForDisplay(stored);
        EXPECT_TRUE(IsValidUtf8(display)) << value;
        shown.insert(display);
        std::string reference;
        if (Undefined(byte))
            continue;
        ASSERT_TRUE(ReferenceWindows1252(stored, reference)) << value;
        EXPECT_EQ(display, reference) << value;
    }
    EXPECT_EQ(shown.size(), 255u); // no two bytes look alike
}

TEST(FrameNameDisplay, RandomNamesMatchTheReferenceAndSurviveAnUntouchedRename)
{
    std::mt19937 random(1252);
    for (int round = 0; round < 2000; ++round) {
        std::string stored(1 + random() % 40, '\0');
        for (char& c : stored) {
            do
                c = static_cast<char>(1 + random() % 255);
            while (Undefined(static_cast<uint8_t>(c)));
        }
        const std::string display = NameForDisplay(stored);
        ASSERT_TRUE(IsValidUtf8(display));
        if (!IsValidUtf8(stored)) {
            std::string reference;
            ASSERT_TRUE(ReferenceWindows1252(stored, reference));
            EXPECT_EQ(display, reference);
        }
        EXPECT_TRUE(NameShownAs(stored, display));
        EXPECT_EQ(NameFromEntry(display, stored), stored);
    }
}

TEST(FrameNameRename, RegressionUntouchedWindows1252NameBecameAReplacementCharacter)
{
    const std::string stored = "Caf\xE9";
    EXPECT_EQ(NameFromEntry("Caf\xC3\xA9", stored), stored);
    EXPECT_EQ(NameFromEntry("Cafe", stored), "Cafe");
    EXPECT_EQ(NameFromEntry("Caf\xC3\xA9!", stored), "Caf\xC3\xA9!"); // changed: UTF-8
    EXPECT_EQ(NameFromEntry("", stored), "");
    EXPECT_EQ(NameFromEntry("Walk", "Walk"), "Walk");
    EXPECT_EQ(NameFromEntry("Walk", ""), "Walk");
}

TEST(FrameNameSearch, RegressionWindows1252NameWasNotFoundByItsShownText)
{
    EXPECT_TRUE(NameShownAs("Caf\xE9", "Caf\xC3\xA9"));
    EXPECT_FALSE(NameShownAs("Caf\xE9", "Caf\xE9")); // the raw bytes are not what is shown
    EXPECT_FALSE(NameShownAs("Caf\xE9", "caf\xC3\xA9"));
    EXPECT_FALSE(NameShownAs("Caf\xE9", "Caf"));
    EXPECT_TRUE(NameShownAs("Walk", "Walk"));
    EXPECT_FALSE(NameShownAs("Walk", "walk"));
}

TEST(FrameNameCaption, CaptionsShowTheNameAsText)
{
    auto frame = CELFrame::CreateEmpty();
    frame->Name = "Caf\xE9";
    EXPECT_EQ(FrameCaption(3, *frame), " Caf\xC3\xA9");
    EXPECT_EQ(frame->Name, "Caf\xE9"); // the stored bytes stay
    frame->Name = "Caf\xC3\xA9";
    EXPECT_EQ(FrameCaption(3, *frame), " Caf\xC3\xA9");
}
