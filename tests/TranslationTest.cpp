#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "TestSupport.h"
#include "palette/Translation.h"

namespace {

TranslationTable RandomTable(std::mt19937& random)
{
    TranslationTable table {};
    for (uint8_t& entry : table)
        entry = static_cast<uint8_t>(random());
    return table;
}

// A frame coded from a random image of width x height, about a third transparent, with the
// image's own width selected.
std::unique_ptr<CELFrame> RandomFrame(std::mt19937& random, uint32_t width, uint32_t height)
{
    DataArray image(size_t { width } * height);
    for (uint8_t& pixel : image)
        pixel = random() % 3 == 0 ? TransparentIndex : static_cast<uint8_t>(random() % 40 + 120);
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    for (uint32_t i = 0; i < frame->WidthCount; ++i)
        if (frame->Widths[i] == width) {
            frame->SelectWidth(i);
            break;
        }
    frame->Name = "frame " + std::to_string(width);
    return frame;
}

DataArray Decoded(const CELFrame& frame)
{
    DataArray image;
    frame.DecodeImage(image);
    return image;
}

} // namespace

TEST(TranslationFile, SaveLoadRoundTripAndEveryWrongSizeRefusedWithItsSize)
{
    TempDir dir;
    std::mt19937 random(21);
    const TranslationTable saved = RandomTable(random);
    const std::string path = dir.File("scheme.trn");
    ASSERT_EQ(SaveTranslationFile(path, saved), TranslationFileResult::Done);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>(saved.begin(), saved.end()));
    TranslationTable loaded = IdentityTranslation();
    ASSERT_EQ(LoadTranslationFile(path, loaded), TranslationFileResult::Done);
    EXPECT_EQ(loaded, saved); // entry 255 is kept in the file, only never applied

    for (const size_t size : { 0, 1, 255, 257, 768, 100000 }) {
        WriteBytes(path, std::vector<uint8_t>(size, 7));
        TranslationTable table = saved;
        uint64_t found = 12345;
        EXPECT_EQ(LoadTranslationFile(path, table, &found), TranslationFileResult::WrongSize);
        EXPECT_EQ(found, size);
        EXPECT_EQ(table, saved) << size;
    }
    EXPECT_EQ(TranslationFileMessage(TranslationFileResult::WrongSize, 300),
        "Translation table must be 256 bytes long (this file has 300 bytes)");
    EXPECT_EQ(TranslationFileMessage(TranslationFileResult::WrongSize, 1),
        "Translation table must be 256 bytes long (this file has 1 byte)");

    TranslationTable table = saved;
    EXPECT_EQ(
        LoadTranslationFile(dir.File("missing.trn"), table), TranslationFileResult::CannotOpen);
    EXPECT_EQ(
        TranslationFileMessage(TranslationFileResult::CannotOpen), "Cannot open translation table");
    EXPECT_EQ(table, saved);
    EXPECT_EQ(SaveTranslationFile(dir.File("no/such/folder/a.trn"), saved),
        TranslationFileResult::CannotCreate);
    EXPECT_EQ(TranslationFileMessage(TranslationFileResult::CannotCreate),
        "Cannot create translation table");
    EXPECT_FALSE(std::filesystem::exists(dir.File("no")));
}

TEST(Translation, ApplyMatchesThePlainRuleAndTheShownColoursAgree)
{
    std::mt19937 random(2101);
    std::array<uint32_t, 256> colours {};
    for (uint32_t& colour : colours)
        colour = random() & 0xFFFFFF;
    for (int round = 0; round < 50; ++round) {
        TranslationTable table = RandomTable(random);
        DataArray image(random() % 3000);
        for (uint8_t& pixel : image)
            pixel = static_cast<uint8_t>(random());
        DataArray copied;
        ApplyTranslation(table, image, copied);
        DataArray inPlace = image;
        ApplyTranslation(table, inPlace);
        const std::array<uint32_t, 256> seen = TranslatedColours(colours, table);
        ASSERT_EQ(copied.size(), image.size());
        for (size_t i = 0; i < image.size(); ++i) {
            const uint8_t expected = image[i] == 255 ? 255 : table[image[i]];
            ASSERT_EQ(copied[i], expected);
            ASSERT_EQ(inPlace[i], expected);
            ASSERT_EQ(seen[image[i]], colours[expected]);
        }
    }

    TranslationTable table = IdentityTranslation();
    EXPECT_TRUE(IsIdentity(table));
    EXPECT_EQ(TranslationHint(table, 0x3A), "");
    table[255] = 0; // never applied
    EXPECT_TRUE(IsIdentity(table));
    EXPECT_EQ(TranslationHint(table, 255), "");
    for (uint32_t i : { 0u, 0x7Fu, 254u }) {
        TranslationTable moved = IdentityTranslation();
        moved[i] = static_cast<uint8_t>(i ^ 0x45);
        EXPECT_FALSE(IsIdentity(moved)) << i;
    }
    table[0x10] = 0x3A;
    EXPECT_EQ(TranslationHint(table, 0x10), "-> 3A");
}

TEST(Translation, FramesAreRecodedAtTheirWidthAndTheOnesThatCannotBeShownStayAsTheyAre)
{
    std::mt19937 random(2102);
    for (int round = 0; round < 60; ++round) {
        const uint32_t width = 1 + random() % 90;
        const uint32_t height = 1 + random() % 200;
        auto frame = RandomFrame(random, width, height);
        ASSERT_EQ(frame->Width, width);
        const DataArray before = Decoded(*frame);
        TranslationTable table = RandomTable(random);
        const std::string name = frame->Name;

        const FrameTranslationResult result = TranslateFrame(table, *frame);
        DataArray expected = before;
        for (uint8_t& pixel : expected)
            pixel = pixel == 255 ? 255 : table[pixel];
        ASSERT_EQ(result,
            expected == before ? FrameTranslationResult::Unchanged
                               : FrameTranslationResult::Changed);
        EXPECT_EQ(frame->Width, width);
        EXPECT_EQ(frame->Height, height);
        EXPECT_EQ(frame->Name, name);
        EXPECT_TRUE(frame->Viewable());
        EXPECT_EQ(Decoded(*frame), expected) << "round " << round;
    }

    // A table that changes no pixel leaves the data as another tool grouped its runs: here one
    // row of four pixels stored as two literal runs of two.
    auto split = CELFrame::CreateEmpty();
    split->Data = { 2, 130, 131, 2, 132, 133 };
    split->DataLength = 6;
    split->AnalyseData();
    ASSERT_TRUE(split->Viewable());
    const CELFrame original = *split;
    TranslationTable table = IdentityTranslation();
    table[200] = 7;
    EXPECT_EQ(TranslateFrame(table, *split), FrameTranslationResult::Unchanged);
    EXPECT_EQ(*split, original);

    // Frames that cannot be shown: one no width fits, one too large for the viewer.
    auto broken = CELFrame::CreateEmpty();
    broken->Data = { 5, 1, 2 }; // a literal run of 5 with 2 bytes
    broken->DataLength = 3;
    broken->AnalyseData();
    ASSERT_FALSE(broken->Viewable());
    auto huge = CELFrame::CreateEmpty();
    huge->Data.clear();
    for (int i = 0; i < 2000; ++i) // 2000 rows of 128 transparent pixels... then one wide row
        huge->Data.push_back(0x80);
    huge->DataLength = static_cast<uint32_t>(huge->Data.size());
    huge->AnalyseData();
    huge->SetSize(16385, 1); // wider than the viewer holds
    ASSERT_FALSE(FrameCanBeShown(*huge));

    std::vector<FrameSlotRef> slots;
    for (CELFrame* kept : { broken.get(), huge.get() }) {
        slots.push_back(std::make_shared<FrameSlot>());
        slots.back()->Frame = CELFrame::CreateCopy(*kept);
    }
    slots.insert(slots.begin() + 1, std::make_shared<FrameSlot>());
    slots[1]->Frame = RandomFrame(random, 20, 20);
    slots.push_back(nullptr);
    const CELFrame brokenBefore = *slots[0]->Frame;
    const CELFrame hugeBefore = *slots[2]->Frame;
    table = IdentityTranslation();
    for (uint32_t i = 120; i < 160; ++i)
        table[i] = static_cast<uint8_t>(i + 50);
    const FramesTranslation outcome = TranslateFrames(table, slots);
    EXPECT_EQ(outcome.Changed, 1u);
    EXPECT_EQ(outcome.NotShown, (std::vector<uint32_t> { 0, 2 }));
    EXPECT_EQ(*slots[0]->Frame, brokenBefore);
    EXPECT_EQ(*slots[2]->Frame, hugeBefore);
}
