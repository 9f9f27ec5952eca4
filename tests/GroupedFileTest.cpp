#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cel/GroupedFile.h"
#include "frames/FileIO.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<CELFrame> EncodedFrame(
    FrameCoding coding, uint32_t width, uint32_t height, std::mt19937& random)
{
    auto frame = CELFrame::CreateEmpty(coding);
    Bytes image(size_t { width } * height);
    for (auto& pixel : image)
        pixel = random() % 3 == 0 ? 255 : static_cast<uint8_t>(random() % 4);
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    return frame;
}

// A CEL of random frames of the coding, some named, some with another width selected.
std::unique_ptr<CELObject> RandomGroup(
    std::mt19937& random, FrameCoding coding, uint8_t withHeaders, uint32_t count)
{
    auto cel = CELObject::CreateEmpty(count);
    cel->Coding = coding;
    cel->WithHeaders = withHeaders;
    for (uint32_t i = 0; i < count; ++i) {
        auto frame = EncodedFrame(coding, 1 + random() % 20, 1 + random() % 50, random);
        if (frame->WidthCount > 1)
            frame->SelectWidth(random() % frame->WidthCount);
        if (random() % 2 == 0)
            frame->Name = "f" + std::to_string(random() % 100);
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frame);
    }
    return cel;
}

std::vector<const CELObject*> List(const std::vector<std::unique_ptr<CELObject>>& groups)
{
    std::vector<const CELObject*> list;
    for (const auto& group : groups)
        list.push_back(group.get());
    return list;
}

void ExpectSameGroup(const CELObject& a, const CELObject& b, bool selections)
{
    ASSERT_EQ(a.FrameCount, b.FrameCount);
    EXPECT_EQ(a.Coding, b.Coding);
    for (uint32_t i = 0; i < a.FrameCount; ++i) {
        const CELFrame& x = *a.Frames[i]->Frame;
        const CELFrame& y = *b.Frames[i]->Frame;
        EXPECT_EQ(x.Data, y.Data) << i;
        EXPECT_EQ(x.Coding, y.Coding) << i;
        if (selections) {
            EXPECT_EQ(x.Name, y.Name) << i;
            EXPECT_EQ(x.Width, y.Width) << i;
            EXPECT_EQ(x.Height, y.Height) << i;
        }
    }
}

} // namespace

TEST(CodingFromName, OnlyCl2InAnyCaseIsCL2)
{
    EXPECT_EQ(CodingFromName("a/b.cl2"), FrameCoding::CL2);
    EXPECT_EQ(CodingFromName("B.CL2"), FrameCoding::CL2);
    EXPECT_EQ(CodingFromName(".Cl2"), FrameCoding::CL2);
    for (const char* name : { "a.cel", "a.cl2x", "cl2", "a.cl", "", "a.cl2/b.cel" })
        EXPECT_EQ(CodingFromName(name), FrameCoding::CEL) << name;
}

// A CL2 is always stored with Frame Headers, and its database says so, whatever the flag.
TEST(CL2Files, AlwaysWithFrameHeadersAndByteForByte)
{
    std::mt19937 random(11);
    for (int i = 0; i < 30; ++i) {
        auto cel = RandomGroup(random, FrameCoding::CL2, static_cast<uint8_t>(i % 2), 1 + i % 5);
        cel->HasDatabase = 1;
        const Bytes bytes = cel->CELBytes();
        const Bytes database = cel->DatabaseBytes();
        ASSERT_EQ(database.at(0), 1);
        uint64_t expected = 4 + 4 * (cel->FrameCount + 1);
        for (const auto& slot : cel->Frames)
            expected += 10 + slot->Frame->DataLength;
        EXPECT_EQ(bytes.size(), expected);

        CELObject loaded;
        Bytes zeroFlag = database;
        zeroFlag[0] = 0; // a database that says otherwise does not count for a CL2
        ASSERT_EQ(loaded.LoadFromBytes(bytes, &zeroFlag, false, FrameCoding::CL2), LoadOK);
        EXPECT_EQ(loaded.WithHeaders, 1);
        EXPECT_EQ(loaded.Coding, FrameCoding::CL2);
        ExpectSameGroup(*cel, loaded, true);
        EXPECT_EQ(loaded.CELBytes(), bytes);
        EXPECT_EQ(loaded.DatabaseBytes(), database);
    }
    // A frame of the other coding would be read back as other pixels: no such file is written.
    auto mixed = RandomGroup(random, FrameCoding::CL2, 1, 2);
    mixed->Frames[1]->Frame = CELFrame::CreateEmpty();
    EXPECT_FALSE(mixed->Readable());
    TempDir dir;
    mixed->FileName = dir.File("m.cl2");
    EXPECT_EQ(mixed->SaveToFile(), SaveCannotWriteCEL);
    EXPECT_FALSE(FileExists(dir.File("m.cl2")));
}

// Without a database, frames of several candidates take the width most single-candidate
// viewable frames have, when they can; with one, the database decides.
TEST(CL2Files, CommonWidthRuleWithoutDatabase)
{
    struct Case {
        std::vector<std::pair<uint32_t, uint32_t>> sizes; // width, height of each frame
        std::vector<uint32_t> widths; // the width each frame has after loading
    };
    // Frames of 33 rows or more have one candidate; 2 x 4 has 8, 4, 2, 1; 3 x 2 has 6, 3, 2, 1.
    const Case cases[] = {
        { { { 4, 40 }, { 2, 40 }, { 4, 40 }, { 2, 4 }, { 3, 2 } }, { 4, 2, 4, 4, 6 } },
        { { { 2, 40 }, { 4, 40 }, { 4, 40 }, { 2, 40 }, { 2, 4 } }, { 2, 4, 4, 2, 2 } }, // tie
        { { { 2, 4 }, { 5, 40 } }, { 8, 5 } },
        { { { 2, 4 } }, { 8 } },
    };
    for (const Case& c : cases) {
        auto cel = CELObject::CreateEmpty(static_cast<uint32_t>(c.sizes.size()));
        cel->Coding = FrameCoding::CL2;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            auto frame = CELFrame::CreateEmpty(FrameCoding::CL2);
            const auto [width, height] = c.sizes[i];
            frame->SetSize(width, height);
            frame->EncodeImage(Bytes(size_t { width } * height, 255));
            frame->AnalyseData();
            cel->Frames[i] = std::make_shared<FrameSlot>(FrameSlot { std::move(frame) });
        }
        const Bytes bytes = cel->CELBytes();
        CELObject loaded;
        ASSERT_EQ(loaded.LoadFromBytes(bytes, nullptr, false, FrameCoding::CL2), LoadOK);
        for (size_t i = 0; i < c.widths.size(); ++i) {
            const CELFrame& frame = *loaded.Frames[i]->Frame;
            EXPECT_EQ(frame.Width, c.widths[i]) << i;
            EXPECT_EQ(uint64_t { frame.Width } * frame.Height,
                uint64_t { c.sizes[i].first } * c.sizes[i].second);
        }
        // The same frames cut into groups: the rule covers the whole file.
        std::vector<std::unique_ptr<CELObject>> groups;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            groups.push_back(CELObject::CreateEmpty(1));
            groups.back()->Coding = FrameCoding::CL2;
            groups.back()->Frames[0] = std::make_shared<FrameSlot>(
                FrameSlot { CELFrame::CreateCopy(*cel->Frames[i]->Frame) });
        }
        SpriteFile file;
        ASSERT_EQ(
            LoadSpriteBytes(GroupedFileBytes(List(groups)), nullptr, false, FrameCoding::CL2, file),
            LoadOK);
        ASSERT_TRUE(file.Grouped);
        for (size_t i = 0; i < c.widths.size(); ++i)
            EXPECT_EQ(file.Groups[i]->Frames[0]->Frame->Width, c.widths[i]) << i;
        // With a database its selection stands: every frame on its first candidate.
        loaded.HasDatabase = 1;
        for (auto& slot : loaded.Frames)
            slot->Frame->SelectWidth(0);
        const Bytes database = loaded.DatabaseBytes();
        CELObject withDatabase;
        ASSERT_EQ(withDatabase.LoadFromBytes(bytes, &database, false, FrameCoding::CL2), LoadOK);
        for (size_t i = 0; i < c.widths.size(); ++i)
            EXPECT_EQ(withDatabase.Frames[i]->Frame->WidthIndex, 0) << i;
    }
}

// Random grouped files of both codings: read back as grouped with the same frames, and
// written again byte for byte, database included; through files the same, and a stale
// database goes when none is kept.
TEST(GroupedFiles, RoundTripsByteForByte)
{
    std::mt19937 random(8);
    TempDir dir;
    for (int i = 0; i < 40; ++i) {
        const FrameCoding coding = i % 2 ? FrameCoding::CL2 : FrameCoding::CEL;
        const uint8_t withHeaders = static_cast<uint8_t>(i % 4 < 2 ? 1 : 0);
        std::vector<std::unique_ptr<CELObject>> groups;
        const uint32_t groupCount = 1 + random() % 8;
        for (uint32_t g = 0; g < groupCount; ++g) {
            groups.push_back(RandomGroup(random, coding, withHeaders, 1 + random() % 4));
            groups.back()->HasDatabase = 1;
        }
        const auto list = List(groups);
        const Bytes bytes = GroupedFileBytes(list);
        const Bytes database = GroupedDatabaseBytes(list);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(database.size(), [&] {
            size_t n = 0;
            for (const auto* group : list)
                n += group->DatabaseBytes().size();
            return n;
        }());

        for (bool withDatabase : { true, false }) {
            SpriteFile file;
            ASSERT_EQ(LoadSpriteBytes(bytes, withDatabase ? &database : nullptr, withHeaders == 1,
                          coding, file),
                LoadOK);
            ASSERT_TRUE(file.Grouped);
            ASSERT_EQ(file.Groups.size(), groupCount);
            for (uint32_t g = 0; g < groupCount; ++g) {
                EXPECT_EQ(file.Groups[g]->GroupIndex, static_cast<int32_t>(g));
                ExpectSameGroup(*groups[g], *file.Groups[g], withDatabase);
            }
            EXPECT_EQ(GroupedFileBytes(file.GroupList()), bytes);
            if (withDatabase)
                EXPECT_EQ(GroupedDatabaseBytes(file.GroupList()), database);
        }

        const std::string path = dir.File(coding == FrameCoding::CL2 ? "g.CL2" : "g.cel");
        WriteBytes(DatabaseFileName(path), { 9, 9 });
        groups[0]->HasDatabase = static_cast<uint8_t>(i % 3 != 0);
        for (auto& group : groups)
            group->HasDatabase = groups[0]->HasDatabase;
        ASSERT_EQ(SaveSpriteFile(path, List(groups), true), SaveOK);
        EXPECT_EQ(ReadBytes(path), bytes);
        EXPECT_EQ(FileExists(DatabaseFileName(path)), groups[0]->HasDatabase == 1);
        SpriteFile fromDisk = LoadSpriteFile(path, withHeaders == 1);
        ASSERT_EQ(fromDisk.Status, LoadOK);
        ASSERT_TRUE(fromDisk.Grouped);
        EXPECT_EQ(fromDisk.Coding, coding);
        for (const auto& group : fromDisk.Groups) {
            EXPECT_EQ(group->FileName, path);
            EXPECT_EQ(group->HasDatabase, groups[0]->HasDatabase);
            EXPECT_EQ(group->SaveToFile(), SaveCannotWriteCEL) << "a group alone is not saved";
        }
        EXPECT_EQ(ReadBytes(path), bytes);
        ASSERT_EQ(SaveSpriteFile(path, fromDisk.GroupList(), true), SaveOK);
        EXPECT_EQ(ReadBytes(path), bytes);
        if (groups[0]->HasDatabase == 1)
            EXPECT_EQ(ReadBytes(DatabaseFileName(path)), database);
        // One group written as a plain file reads back as one.
        ASSERT_EQ(SaveSpriteFile(path, { list.data(), 1 }, false), SaveOK);
        SpriteFile plain = LoadSpriteFile(path, withHeaders == 1);
        ASSERT_EQ(plain.Status, LoadOK);
        EXPECT_FALSE(plain.Grouped);
        EXPECT_EQ(plain.Groups[0]->GroupIndex, -1);
        EXPECT_EQ(ReadBytes(path), groups[0]->CELBytes());
    }
}

// Group tables that are no table, or groups that do not load: the plain file's status stands.
TEST(GroupedFiles, BrokenTablesAndGroupsKeepThePlainStatus)
{
    std::mt19937 random(4);
    std::vector<std::unique_ptr<CELObject>> groups;
    for (int g = 0; g < 3; ++g)
        groups.push_back(RandomGroup(random, FrameCoding::CEL, 1, 2));
    const Bytes good = GroupedFileBytes(List(groups));
    auto setWord = [](Bytes bytes, size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return bytes;
    };
    auto word = [&](size_t at) { return ReadWord32(good, at); };
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        { "falling", setWord(good, 8, word(4) - 1) },
        { "equal", setWord(good, 8, word(4)) },
        { "past the end", setWord(good, 8, static_cast<uint32_t>(good.size())) },
        { "first not 4 x G", setWord(good, 0, 16) },
        { "first not a multiple of 4", setWord(good, 0, 13) },
        { "cut", Bytes(good.begin(), good.end() - 1) },
        { "table only", Bytes(good.begin(), good.begin() + 12) },
        { "broken group", setWord(good, word(4) + 4, 99) },
        { "empty group", setWord(good, word(4), 0) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CELObject plain;
        const uint8_t expected = plain.LoadFromBytes(c.bytes, nullptr, true);
        ASSERT_NE(expected, LoadOK);
        SpriteFile file;
        EXPECT_EQ(LoadSpriteBytes(c.bytes, nullptr, true, FrameCoding::CEL, file), expected);
        EXPECT_EQ(file.Status, expected);
        EXPECT_TRUE(file.Groups.empty());
        EXPECT_FALSE(file.Grouped);
    }
    std::vector<uint32_t> offsets;
    EXPECT_TRUE(ParseGroupTable(good, offsets));
    EXPECT_EQ(offsets, (std::vector<uint32_t> { 12, word(4), word(8) }));
    for (const Bytes& small : { Bytes {}, Bytes { 4, 0, 0 }, Bytes { 4, 0, 0, 0 } })
        EXPECT_FALSE(ParseGroupTable(small, offsets));
    EXPECT_TRUE(offsets.empty());

    // A file with a grouped table whose CEL loads as a plain file is a plain file.
    SpriteFile plain;
    const Bytes single = groups[0]->CELBytes();
    ASSERT_EQ(LoadSpriteBytes(single, nullptr, true, FrameCoding::CEL, plain), LoadOK);
    EXPECT_FALSE(plain.Grouped);
}

TEST(GroupedFiles, SavingRefusesWhatCouldNotBeReadBack)
{
    std::mt19937 random(6);
    TempDir dir;
    const std::string path = dir.File("x.cel");
    auto a = RandomGroup(random, FrameCoding::CEL, 1, 2);
    auto b = RandomGroup(random, FrameCoding::CEL, 1, 2);
    auto cl2 = RandomGroup(random, FrameCoding::CL2, 1, 2);
    auto bare = RandomGroup(random, FrameCoding::CEL, 0, 2);
    auto none = CELObject::CreateEmpty(0);
    auto hollow = RandomGroup(random, FrameCoding::CEL, 1, 1);
    hollow->Frames[0]->Frame->Data.clear();
    hollow->Frames[0]->Frame->DataLength = 0;
    struct Case {
        std::vector<const CELObject*> groups;
        bool grouped;
        uint8_t result;
    };
    const Case cases[] = {
        { {}, true, SaveNoFrames },
        { { a.get(), none.get() }, true, SaveNoFrames },
        { { a.get(), cl2.get() }, true, SaveCannotWriteCEL },
        { { a.get(), bare.get() }, true, SaveCannotWriteCEL },
        { { a.get(), hollow.get() }, true, SaveCannotWriteCEL },
        { { a.get(), b.get() }, false, SaveCannotWriteCEL },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SaveSpriteFile(path, c.groups, c.grouped), c.result);
        EXPECT_FALSE(FileExists(path));
    }
    const std::vector<const CELObject*> two { a.get(), b.get() };
    EXPECT_EQ(SaveSpriteFile("", two, true), SaveCannotWriteCEL);
    EXPECT_EQ(SaveSpriteFile(path, two, true), SaveOK);
}
