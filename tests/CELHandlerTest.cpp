#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "cel/CELHandler.h"
#include "frames/FileIO.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A CEL file assembled by hand from the stored frames (header included when present).
Bytes BuildCEL(const std::vector<Bytes>& frames)
{
    Bytes out;
    Put32(out, static_cast<uint32_t>(frames.size()));
    uint32_t position = 4 * static_cast<uint32_t>(frames.size()) + 8;
    for (const auto& frame : frames) {
        Put32(out, position);
        position += static_cast<uint32_t>(frame.size());
    }
    Put32(out, position);
    for (const auto& frame : frames)
        out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

// A count and an offset table given word by word, then the payload.
Bytes RawCEL(const std::vector<uint32_t>& words, size_t payload)
{
    Bytes out;
    for (uint32_t word : words)
        Put32(out, word);
    out.insert(out.end(), payload, 0xFF);
    return out;
}

uint8_t Load(const Bytes& cel, bool withHeaders, const Bytes* database = nullptr)
{
    CELObject object;
    const uint8_t status = object.LoadFromBytes(cel, database, withHeaders);
    EXPECT_EQ(status, object.Status);
    if (status != LoadOK) {
        EXPECT_EQ(object.FrameCount, 0u);
        EXPECT_TRUE(object.Frames.empty());
    }
    return status;
}

// Frames encoded from random images, some with names and another width selected.
std::unique_ptr<CELObject> RandomCEL(std::mt19937& random, uint32_t count)
{
    auto cel = CELObject::CreateEmpty(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto frame = CELFrame::CreateEmpty();
        const uint32_t width = 1 + random() % 30;
        const uint32_t height = 1 + random() % 70;
        std::vector<uint8_t> image(size_t { width } * height);
        for (auto& pixel : image)
            pixel = random() % 3 == 0 ? 255 : static_cast<uint8_t>(random() % 255);
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        frame->AnalyseData();
        if (frame->WidthCount > 1)
            frame->SelectWidth(random() % frame->WidthCount);
        if (random() % 2 == 0)
            frame->Name = "frame " + std::to_string(random() % 1000);
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frame);
    }
    return cel;
}

void ExpectSameFrames(const CELObject& a, const CELObject& b, bool names)
{
    ASSERT_EQ(a.FrameCount, b.FrameCount);
    for (uint32_t i = 0; i < a.FrameCount; ++i) {
        const CELFrame& x = *a.Frames[i]->Frame;
        const CELFrame& y = *b.Frames[i]->Frame;
        EXPECT_EQ(x.Data, y.Data) << i;
        EXPECT_EQ(x.Widths, y.Widths) << i;
        if (names) {
            EXPECT_EQ(x.Name, y.Name) << i;
            EXPECT_EQ(x.WidthIndex, y.WidthIndex) << i;
            EXPECT_EQ(x.Width, y.Width) << i;
            EXPECT_EQ(x.Height, y.Height) << i;
        }
    }
}

// Restores the write hook whatever a test does.
struct FailAfter {
    explicit FailAfter(int64_t bytes) { AtomicFileWriter::SetFailAfterBytesForTesting(bytes); }
    ~FailAfter() { AtomicFileWriter::SetFailAfterBytesForTesting(-1); }
};

} // namespace

// ---- Reading: structure checks --------------------------------------------------------------

TEST(CELLoad, CountAndSizeChecks)
{
    EXPECT_EQ(Load(RawCEL({ 0 }, 0), false), LoadNoFrames);
    EXPECT_EQ(Load(RawCEL({ 0 }, 0), true), LoadNoFrames);
    EXPECT_EQ(Load(Bytes { 1, 0, 0 }, false), LoadTooShort);
    EXPECT_EQ(Load(Bytes {}, false), LoadTooShort);

    // One frame of one byte without Frame Headers: table 12, 13.
    const Bytes single = RawCEL({ 1, 12, 13 }, 1);
    CELObject object;
    ASSERT_EQ(object.LoadFromBytes(single, nullptr, false), LoadOK);
    EXPECT_EQ(object.FrameCount, 1u);
    EXPECT_EQ(object.Frames[0]->Frame->DataLength, 1u);
    EXPECT_EQ(object.WithHeaders, 0);
    EXPECT_EQ(object.HasDatabase, 0);

    // With Frame Headers a frame needs 11 bytes: 22 bytes in all fail the size check.
    EXPECT_EQ(Load(RawCEL({ 1, 12, 22 }, 10), true), LoadTooShort);
    EXPECT_EQ(Load(RawCEL({ 1, 12, 23 }, 11), true), LoadOK);
    // The same 22 bytes read without Frame Headers are one frame of 10 bytes.
    EXPECT_EQ(Load(RawCEL({ 1, 12, 22 }, 10), false), LoadOK);
}

TEST(CELLoad, OffsetTableChecks)
{
    EXPECT_EQ(Load(RawCEL({ 2, 16, 16, 18 }, 2), false), LoadBadOffsets); // an empty frame
    EXPECT_EQ(Load(RawCEL({ 3, 20, 22, 21, 23 }, 3), false), LoadBadOffsets); // falling
    EXPECT_EQ(Load(RawCEL({ 3, 20, 21, 22, 23 }, 3), false), LoadOK);
    EXPECT_EQ(Load(RawCEL({ 2, 16, 17, 18 }, 2), false), LoadOK);
    EXPECT_EQ(Load(RawCEL({ 2, 16, 26, 39 }, 23), true), LoadBadOffsets); // a 10-byte frame
    EXPECT_EQ(Load(RawCEL({ 2, 16, 27, 39 }, 23), true), LoadOK);
    EXPECT_EQ(Load(RawCEL({ 1, 12, 13 }, 2), false), LoadBadOffsets); // a trailing byte
    EXPECT_EQ(Load(RawCEL({ 1, 12, 14 }, 1), false), LoadBadOffsets); // past the end
    EXPECT_EQ(Load(RawCEL({ 1, 13, 14 }, 2), false), LoadBadOffsets); // O[0] not after table
}

TEST(CELLoad, HostileFrameCountsNeverAllocateOrWrap)
{
    for (uint32_t count : { 0x11111112u, 0xFFFFFFFFu, 0x40000000u, 0x40000001u, 0x33333334u }) {
        SCOPED_TRACE(count);
        // 4 x N + 8 wraps to a small number in 32 bits for some of these counts; the offsets
        // are made to match the wrapped value.
        const auto wrapped = static_cast<uint32_t>(4u * count + 8u);
        Bytes cel = RawCEL({ count, wrapped, wrapped + 1 }, 64);
        EXPECT_EQ(Load(cel, false), LoadTooShort);
        EXPECT_EQ(Load(cel, true), LoadTooShort);
    }
    // A count that passes the size check but whose table does not match the file.
    Bytes plausible = RawCEL({ 3, 20, 21, 22, 23 }, 3);
    plausible[0] = 2;
    EXPECT_EQ(Load(plausible, false), LoadBadOffsets);
}

TEST(CELLoad, BrokenFramesStillLoad)
{
    const Bytes cel = BuildCEL({ { 0x00 }, { 0x05, 0x01 }, { 0xFF } });
    CELObject object;
    ASSERT_EQ(object.LoadFromBytes(cel, nullptr, false), LoadOK);
    EXPECT_EQ(object.Frames[0]->Frame->Diagnosis, DiagNull);
    EXPECT_EQ(object.Frames[1]->Frame->Diagnosis, DiagBounds);
    EXPECT_EQ(object.Frames[2]->Frame->Diagnosis, DiagOK);
    EXPECT_EQ(object.Frames[1]->Frame->Width, 1u);
}

// ---- Writing and round trips ----------------------------------------------------------------

TEST(CELRoundTrip, ByteForByteWithAndWithoutFrameHeaders)
{
    std::mt19937 random(5);
    for (int round = 0; round < 40; ++round) {
        auto cel = RandomCEL(random, 1 + random() % 12);
        cel->WithHeaders = static_cast<uint8_t>(random() % 2);
        const Bytes bytes = cel->CELBytes();
        CELObject loaded;
        ASSERT_EQ(loaded.LoadFromBytes(bytes, nullptr, cel->WithHeaders == 1), LoadOK);
        EXPECT_EQ(loaded.CELBytes(), bytes);
        ExpectSameFrames(*cel, loaded, false);
        if (cel->WithHeaders == 1) {
            for (uint32_t i = 0; i < cel->FrameCount; ++i)
                EXPECT_EQ(loaded.Frames[i]->Frame->Header, cel->Frames[i]->Frame->Header);
        }
    }
}

TEST(CELRoundTrip, DroppingFrameHeadersAndRestoringThem)
{
    std::mt19937 random(6);
    auto cel = RandomCEL(random, 5);
    cel->WithHeaders = 1;
    const Bytes withHeaders = cel->CELBytes();
    CELObject loaded;
    ASSERT_EQ(loaded.LoadFromBytes(withHeaders, nullptr, true), LoadOK);

    loaded.WithHeaders = 0;
    const Bytes without = loaded.CELBytes();
    ASSERT_EQ(without.size(), withHeaders.size() - 50);
    for (uint32_t i = 0; i <= 5; ++i) {
        const uint32_t a
            = withHeaders[4 + 4 * i] | withHeaders[5 + 4 * i] << 8 | withHeaders[6 + 4 * i] << 16;
        const uint32_t b = without[4 + 4 * i] | without[5 + 4 * i] << 8 | without[6 + 4 * i] << 16;
        EXPECT_EQ(a - b, 10 * i);
    }
    loaded.WithHeaders = 1;
    EXPECT_EQ(loaded.CELBytes(), withHeaders);

    // Read back without headers, the frames hold zero words and are written with them.
    CELObject bare;
    ASSERT_EQ(bare.LoadFromBytes(without, nullptr, false), LoadOK);
    bare.WithHeaders = 1;
    const Bytes zeroHeaders = bare.CELBytes();
    ASSERT_EQ(zeroHeaders.size(), withHeaders.size());
    EXPECT_EQ(Bytes(zeroHeaders.begin() + 28, zeroHeaders.begin() + 38), Bytes(10, 0));
}

TEST(CELObjectLife, CreateEmptyAndEmptySlots)
{
    auto none = CELObject::CreateEmpty(0);
    EXPECT_EQ(none->FrameCount, 0u);
    EXPECT_TRUE(none->Frames.empty());
    EXPECT_EQ(none->WithHeaders, 1);
    EXPECT_EQ(none->HasDatabase, 0);
    EXPECT_EQ(none->Status, LoadOK);
    EXPECT_TRUE(none->FileName.empty());
    EXPECT_TRUE(none->CELBytes().empty());

    // An entry without a frame is stored as one transparent pixel, keeping the count.
    auto holes = CELObject::CreateEmpty(2);
    ASSERT_EQ(holes->Frames.size(), 2u);
    EXPECT_EQ(holes->Frames[0], nullptr);
    holes->Frames[1] = std::make_shared<FrameSlot>();
    holes->WithHeaders = 0;
    EXPECT_EQ(holes->CELBytes(), BuildCEL({ { 0xFF }, { 0xFF } }));
}

TEST(CELObjectLife, SlotsKeepTheirIdentityAcrossTables)
{
    std::mt19937 random(8);
    auto left = RandomCEL(random, 3);
    const FrameSlotRef moved = left->Frames[1];
    const CELFrame* frame = moved->Frame.get();

    auto right = CELObject::CreateEmpty(1);
    right->Frames[0] = moved;
    left->Frames.erase(left->Frames.begin() + 1);
    left->FrameCount = 2;
    EXPECT_EQ(right->Frames[0], moved);
    EXPECT_EQ(right->Frames[0]->Frame.get(), frame);

    // Releasing a table without freeing frames leaves the slot's frame alive.
    right->Dispose(false);
    EXPECT_TRUE(right->Frames.empty());
    EXPECT_EQ(moved->Frame.get(), frame);

    // Releasing with frames empties every slot, also for others who still hold it.
    const FrameSlotRef kept = left->Frames[0];
    left->FileName = "x.cel";
    left->Dispose(true);
    EXPECT_TRUE(left->FileName.empty());
    EXPECT_EQ(left->FrameCount, 0u);
    EXPECT_EQ(kept->Frame, nullptr);
}

// ---- Frame database -------------------------------------------------------------------------

TEST(FrameDatabase, ExampleRecords)
{
    auto cel = CELObject::CreateEmpty(2);
    cel->WithHeaders = 0;
    cel->HasDatabase = 1;
    cel->Frames[0] = std::make_shared<FrameSlot>();
    cel->Frames[0]->Frame = CELFrame::CreateEmpty();
    cel->Frames[1] = std::make_shared<FrameSlot>();
    auto walk = CELFrame::CreateEmpty();
    walk->Data = { 0x01, 0x05, 0xFF, 0x01, 0x06 }; // widths 3, 1, 1
    walk->DataLength = 5;
    ASSERT_EQ(walk->AnalyseData(), DiagOK);
    ASSERT_EQ(walk->WidthCount, 3);
    ASSERT_TRUE(walk->SelectWidth(1));
    walk->Name = "Walk";
    cel->Frames[1]->Frame = std::move(walk);

    const Bytes database = cel->DatabaseBytes();
    EXPECT_EQ(database, (Bytes { 0x00, 0x00, 0x04, 0x57, 0x61, 0x6C, 0x6B, 0x01 }));

    CELObject loaded;
    ASSERT_EQ(loaded.LoadFromBytes(cel->CELBytes(), &database, true), LoadOK);
    EXPECT_EQ(loaded.HasDatabase, 1);
    EXPECT_EQ(loaded.WithHeaders, 0); // the database's flag wins over the default
    EXPECT_EQ(loaded.Frames[0]->Frame->Name, "");
    EXPECT_EQ(loaded.Frames[1]->Frame->Name, "Walk");
    EXPECT_EQ(loaded.Frames[1]->Frame->WidthIndex, 1);
    EXPECT_EQ(loaded.Frames[1]->Frame->Width, 1u);
    EXPECT_EQ(loaded.Frames[1]->Frame->Height, 3u);
    EXPECT_EQ(loaded.DatabaseBytes(), database);
}

TEST(FrameDatabase, FlagByteDecidesFrameHeaders)
{
    const Bytes withHeaders = RawCEL({ 1, 12, 23 }, 11);
    const Bytes flagOn { 0x01, 0x00 };
    CELObject object;
    ASSERT_EQ(object.LoadFromBytes(withHeaders, &flagOn, false), LoadOK);
    EXPECT_EQ(object.WithHeaders, 1);
    EXPECT_EQ(object.Frames[0]->Frame->DataLength, 1u);

    // An empty database has no flag byte: the caller's default stands.
    const Bytes empty;
    ASSERT_EQ(object.LoadFromBytes(withHeaders, &empty, true), LoadOK);
    EXPECT_EQ(object.HasDatabase, 1);
    EXPECT_EQ(object.WithHeaders, 1);
    ASSERT_EQ(object.LoadFromBytes(withHeaders, &empty, false), LoadOK);
    EXPECT_EQ(object.WithHeaders, 0);
    EXPECT_EQ(object.Frames[0]->Frame->DataLength, 11u);
}

TEST(FrameDatabase, ShortOrOddDatabasesNeverFailTheLoad)
{
    // Three frames of three candidate widths each.
    const Bytes frame { 0x01, 0x05, 0xFF, 0x01, 0x06 };
    const Bytes cel = BuildCEL({ frame, frame, frame });
    struct Case {
        Bytes database;
        std::vector<std::string> names;
        std::vector<uint32_t> widths;
    };
    const std::vector<Case> cases = {
        { { 0x00 }, { "", "", "" }, { 3, 3, 3 } },
        { { 0x00, 0x02, 'a', 'b', 0x02 }, { "ab", "", "" }, { 1, 3, 3 } },
        { { 0x00, 0x02, 'a', 'b' }, { "ab", "", "" }, { 3, 3, 3 } }, // selection missing
        { { 0x00, 0x05, 'a', 'b' }, { "", "", "" }, { 3, 3, 3 } }, // name cut short
        { { 0x00, 0x00, 0x01, 0x03, 'x', 0, 'y', 0x07 }, { "", "x", "" },
            { 1, 3, 3 } }, // zero ends name
        { { 0x00, 0x00, 0x03, 0x00, 0x03, 0x00, 0x02 }, { "", "", "" },
            { 3, 3, 1 } }, // 3 is no index
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        CELObject object;
        ASSERT_EQ(object.LoadFromBytes(cel, &cases[i].database, true), LoadOK);
        EXPECT_EQ(object.WithHeaders, 0);
        for (size_t f = 0; f < 3; ++f) {
            EXPECT_EQ(object.Frames[f]->Frame->Name, cases[i].names[f]) << f;
            EXPECT_EQ(object.Frames[f]->Frame->Width, cases[i].widths[f]) << f;
        }
    }
}

TEST(FrameDatabase, NamesLongerThan255BytesHaveNoStoredForm)
{
    auto cel = CELObject::CreateEmpty(1);
    cel->Frames[0] = std::make_shared<FrameSlot>();
    cel->Frames[0]->Frame = CELFrame::CreateEmpty();
    cel->Frames[0]->Frame->Name = std::string(255, 'n');
    EXPECT_EQ(cel->DatabaseBytes().size(), 257u);
    // 128 two-byte characters: 256 bytes.
    std::string wide;
    for (int i = 0; i < 128; ++i)
        wide += "\xC3\xA9";
    cel->Frames[0]->Frame->Name = wide;
    EXPECT_TRUE(cel->DatabaseBytes().empty());
}

TEST(FrameDatabase, RandomCELsKeepNamesAndSelections)
{
    std::mt19937 random(9);
    for (int round = 0; round < 30; ++round) {
        auto cel = RandomCEL(random, 1 + random() % 10);
        cel->WithHeaders = static_cast<uint8_t>(random() % 2);
        cel->HasDatabase = 1;
        const Bytes database = cel->DatabaseBytes();
        CELObject loaded;
        ASSERT_EQ(loaded.LoadFromBytes(cel->CELBytes(), &database, random() % 2 == 0), LoadOK);
        ExpectSameFrames(*cel, loaded, true);
        EXPECT_EQ(loaded.DatabaseBytes(), database);
    }
}

// ---- Files ----------------------------------------------------------------------------------

TEST(CELFiles, SaveAndLoadThroughFiles)
{
    TempDir dir;
    std::mt19937 random(10);
    auto cel = RandomCEL(random, 6);
    cel->FileName = dir.File("walk.cel");
    cel->HasDatabase = 1;
    ASSERT_EQ(cel->SaveToFile(), SaveOK);
    EXPECT_EQ(ReadBytes(dir.File("walk.cel")), cel->CELBytes());
    EXPECT_EQ(ReadBytes(dir.File("walk.cel.cdb")), cel->DatabaseBytes());
    EXPECT_EQ(DatabaseFileName(cel->FileName), dir.File("walk.cel.cdb"));

    auto loaded = CELObject::CreateFromFile(dir.File("walk.cel"), false);
    ASSERT_EQ(loaded->Status, LoadOK);
    EXPECT_EQ(loaded->FileName, dir.File("walk.cel"));
    EXPECT_EQ(loaded->HasDatabase, 1);
    EXPECT_EQ(loaded->WithHeaders, 1);
    ExpectSameFrames(*cel, *loaded, true);
    loaded->ClearFileName();
    EXPECT_TRUE(loaded->FileName.empty());

    // Without a database the default flag decides.
    loaded->FileName = dir.File("walk.cel");
    loaded->HasDatabase = 0;
    ASSERT_EQ(loaded->SaveToFile(), SaveOK);
    EXPECT_FALSE(FileExists(dir.File("walk.cel.cdb")));
    auto plain = CELObject::CreateFromFile(dir.File("walk.cel"), true);
    ASSERT_EQ(plain->Status, LoadOK);
    EXPECT_EQ(plain->HasDatabase, 0);
    EXPECT_TRUE(plain->Frames[0]->Frame->Name.empty());
    auto wrongFlag = CELObject::CreateFromFile(dir.File("walk.cel"), false);
    EXPECT_EQ(wrongFlag->Status, LoadOK); // frames read as headerless data
    EXPECT_EQ(wrongFlag->Frames[0]->Frame->DataLength, plain->Frames[0]->Frame->DataLength + 10);
}

TEST(CELFiles, LoadStatusFromFiles)
{
    TempDir dir;
    auto missing = CELObject::CreateFromFile(dir.File("none.cel"), true);
    EXPECT_EQ(missing->Status, LoadCannotOpen);
    EXPECT_TRUE(missing->FileName.empty());
    auto folder = CELObject::CreateFromFile(dir.Path().string(), true);
    EXPECT_EQ(folder->Status, LoadCannotOpen);

    WriteBytes(dir.File("short.cel"), { 1, 0 });
    auto tooShort = CELObject::CreateFromFile(dir.File("short.cel"), true);
    EXPECT_EQ(tooShort->Status, LoadTooShort);
    EXPECT_TRUE(tooShort->Frames.empty());
    EXPECT_TRUE(tooShort->FileName.empty());

    // A database larger than any of its CEL's can be is read as far as its records go; it
    // stays the CEL's database, so that saving keeps it instead of deleting it.
    WriteBytes(dir.File("one.cel"), RawCEL({ 1, 12, 13 }, 1));
    auto longer = Bytes(259, 0);
    longer[0] = 1;
    longer[1] = 3;
    longer[2] = 'A';
    longer[3] = 'b';
    longer[4] = 'c';
    WriteBytes(dir.File("one.cel.cdb"), longer);
    auto tooLong = CELObject::CreateFromFile(dir.File("one.cel"), false);
    EXPECT_EQ(tooLong->Status, LoadTooShort) << "its flag says Frame Headers: 13 bytes is too short";
    longer[0] = 0;
    WriteBytes(dir.File("one.cel.cdb"), longer);
    tooLong = CELObject::CreateFromFile(dir.File("one.cel"), true);
    EXPECT_EQ(tooLong->Status, LoadOK);
    EXPECT_EQ(tooLong->HasDatabase, 1);
    EXPECT_EQ(tooLong->WithHeaders, 0);
    EXPECT_EQ(tooLong->Frames[0]->Frame->Name, "Abc");
    WriteBytes(dir.File("one.cel.cdb"), Bytes(258, 0)); // flag, length 0, trailing bytes
    auto longest = CELObject::CreateFromFile(dir.File("one.cel"), true);
    EXPECT_EQ(longest->Status, LoadOK);
    EXPECT_EQ(longest->HasDatabase, 1);
    EXPECT_EQ(longest->WithHeaders, 0);

    WriteBytes(dir.File("huge.cel"), RawCEL({ 0xFFFFFFFF, 0, 0 }, 0));
    EXPECT_EQ(CELObject::CreateFromFile(dir.File("huge.cel"), false)->Status, LoadTooShort);
}

TEST(CELFiles, SaveResults)
{
    TempDir dir;
    auto empty = CELObject::CreateEmpty(0);
    empty->FileName = dir.File("empty.cel");
    EXPECT_EQ(empty->SaveToFile(), SaveNoFrames);
    EXPECT_FALSE(FileExists(dir.File("empty.cel")));

    std::mt19937 random(11);
    auto cel = RandomCEL(random, 2);
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteCEL); // no file name
    cel->FileName = dir.File("no such folder/x.cel");
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteCEL);
    cel->FileName = dir.Path().string(); // a folder is never replaced
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteCEL);
}

TEST(CELFiles, DatabaseThatCannotBeWrittenOrRemovedIs5)
{
    TempDir dir;
    std::mt19937 random(13);
    auto cel = RandomCEL(random, 2);
    cel->FileName = dir.File("b.cel");
    std::filesystem::create_directories(dir.Path() / "b.cel.cdb" / "inside");
    cel->HasDatabase = 1;
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteDatabase);
    EXPECT_EQ(ReadBytes(dir.File("b.cel")), cel->CELBytes()); // the CEL itself is written
    // A stale database that cannot be removed would give wrong names next time.
    cel->HasDatabase = 0;
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteDatabase);
    std::filesystem::remove_all(dir.Path() / "b.cel.cdb");
    EXPECT_EQ(cel->SaveToFile(), SaveOK);
}

TEST(CELFiles, WriteFailuresLeaveTheOldFilesIntact)
{
    TempDir dir;
    std::mt19937 random(12);
    auto old = RandomCEL(random, 3);
    old->FileName = dir.File("a.cel");
    old->HasDatabase = 1;
    ASSERT_EQ(old->SaveToFile(), SaveOK);
    const Bytes oldCEL = ReadBytes(dir.File("a.cel"));
    const Bytes oldDatabase = ReadBytes(dir.File("a.cel.cdb"));

    auto changed = RandomCEL(random, 4);
    changed->FileName = dir.File("a.cel");
    changed->HasDatabase = 1;
    {
        FailAfter full(static_cast<int64_t>(changed->CELBytes().size()) - 1);
        EXPECT_EQ(changed->SaveToFile(), SaveCannotWriteCEL);
    }
    EXPECT_EQ(ReadBytes(dir.File("a.cel")), oldCEL);
    EXPECT_EQ(ReadBytes(dir.File("a.cel.cdb")), oldDatabase);

    // The CEL fits, the database (long names) does not.
    changed = CELObject::CreateEmpty(4);
    changed->FileName = dir.File("a.cel");
    changed->HasDatabase = 1;
    for (auto& slot : changed->Frames) {
        slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        slot->Frame->Name = std::string(200, 'q');
    }
    const int64_t celSize = static_cast<int64_t>(changed->CELBytes().size());
    ASSERT_GT(static_cast<int64_t>(changed->DatabaseBytes().size()), celSize);
    {
        FailAfter full(celSize);
        EXPECT_EQ(changed->SaveToFile(), SaveCannotWriteDatabase);
    }
    EXPECT_EQ(ReadBytes(dir.File("a.cel")), changed->CELBytes());
    EXPECT_EQ(ReadBytes(dir.File("a.cel.cdb")), oldDatabase);

    // A name without a stored form: the CEL is written, the database is not.
    changed->Frames[0]->Frame->Name = std::string(256, 'z');
    EXPECT_EQ(changed->SaveToFile(), SaveCannotWriteDatabase);
    EXPECT_EQ(ReadBytes(dir.File("a.cel.cdb")), oldDatabase);

    // No temporary files are left behind.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

TEST(CELFiles, RegressionFrameWithNoDataWasSavedAsACELThatNeverLoadedAgain)
{
    TempDir dir;
    std::mt19937 random(14);
    auto old = RandomCEL(random, 3);
    old->FileName = dir.File("walk.cel");
    old->HasDatabase = 1;
    ASSERT_EQ(old->SaveToFile(), SaveOK);
    const Bytes oldCEL = ReadBytes(dir.File("walk.cel"));
    const Bytes oldDatabase = ReadBytes(dir.File("walk.cel.cdb"));

    // An image 0 pixels high encodes to no data at all, with or without Frame Headers.
    for (uint8_t withHeaders : { 0, 1 }) {
        old->WithHeaders = withHeaders;
        CELFrame& frame = *old->Frames[1]->Frame;
        const auto kept = CELFrame::CreateCopy(frame);
        frame.SetSize(10, 0);
        frame.EncodeImage({});
        ASSERT_EQ(frame.DataLength, 0u);
        EXPECT_FALSE(old->Readable());
        EXPECT_EQ(old->SaveToFile(), SaveCannotWriteCEL);
        EXPECT_EQ(ReadBytes(dir.File("walk.cel")), oldCEL);
        EXPECT_EQ(ReadBytes(dir.File("walk.cel.cdb")), oldDatabase);
        // A Data array shorter than DataLength stores nothing either.
        frame.DataLength = 5;
        EXPECT_EQ(old->SaveToFile(), SaveCannotWriteCEL);
        old->Frames[1]->Frame = CELFrame::CreateCopy(*kept);
    }
    EXPECT_TRUE(old->Readable());
    auto missing = CELObject::CreateEmpty(2);
    EXPECT_TRUE(missing->Readable()); // empty slots are written as one transparent pixel
}

// Whatever SaveToFile reports as saved, CreateFromFile reads back with Status 0 and the same
// frames; whatever it refuses leaves no file behind.
TEST(CELFiles, EverySavedCELLoadsBackWithTheSameFrames)
{
    TempDir dir;
    std::mt19937 random(15);
    int saved = 0;
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        auto cel = RandomCEL(random, 1 + random() % 8);
        cel->WithHeaders = static_cast<uint8_t>(random() % 3); // 2 counts as without
        cel->HasDatabase = static_cast<uint8_t>(random() % 2);
        for (auto& slot : cel->Frames) {
            // Now and then a frame whose image lost a side, as a width choice can make it.
            if (random() % 6 == 0) {
                slot->Frame->SetSize(slot->Frame->Width, 0);
                slot->Frame->EncodeImage({});
            }
        }
        const std::string path = dir.File("r" + std::to_string(round) + ".cel");
        cel->FileName = path;
        const uint8_t result = cel->SaveToFile();
        if (result != SaveOK) {
            EXPECT_EQ(result, SaveCannotWriteCEL);
            EXPECT_FALSE(FileExists(path));
            ++refused;
            continue;
        }
        ++saved;
        auto loaded = CELObject::CreateFromFile(path, cel->WithHeaders == 1);
        ASSERT_EQ(loaded->Status, LoadOK) << round;
        EXPECT_EQ(loaded->WithHeaders == 1, cel->WithHeaders == 1);
        ExpectSameFrames(*cel, *loaded, cel->HasDatabase == 1);
        EXPECT_EQ(loaded->CELBytes(), cel->CELBytes());
    }
    EXPECT_GT(saved, 10);
    EXPECT_GT(refused, 10);
}
