// The close writes the settings file and the unnamed CELs as one set of files: killed at any
// moment, it leaves either the whole old store or the whole new one, and start-up reopens
// exactly one of them with no temporary file or journal left behind. Also the write set on
// its own: staging, discarding, superseding, and journals that were not written by it.

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/UnnamedStore.h"
#include "cel/CELHandler.h"
#include "frames/FileIO.h"
#include "frames/FileWriteSet.h"
#include "settings/Settings.h"

namespace {

namespace fs = std::filesystem;

// Every regular file below a folder, by its path relative to it, with its bytes.
using Tree = std::map<std::string, std::vector<uint8_t>>;

Tree ReadTree(const fs::path& root)
{
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            tree[fs::relative(entry.path(), root).generic_string()] = ReadBytes(entry.path());
    }
    return tree;
}

void WriteTree(const fs::path& root, const Tree& tree)
{
    for (const auto& [name, bytes] : tree) {
        fs::create_directories((root / name).parent_path());
        WriteBytes((root / name).string(), bytes);
    }
}

std::vector<std::string> Names(const Tree& tree)
{
    std::vector<std::string> names;
    for (const auto& entry : tree)
        names.push_back(entry.first);
    return names;
}

struct CELPlan {
    uint32_t Frames;
    bool Headers;
    bool Database;
    uint8_t Seed;
    bool Named = false;
};

// A CEL of encoded frames with names; frames that admit several widths get their last one
// chosen, so that the database's width bytes matter.
std::unique_ptr<CELObject> MakeStoreCEL(const CELPlan& plan, const std::string& namedPath)
{
    auto cel = CELObject::CreateEmpty(plan.Frames);
    for (uint32_t i = 0; i < plan.Frames; ++i) {
        const uint32_t width = 4 + (i + plan.Seed) % 5;
        const uint32_t height = 2 + (i * 3 + plan.Seed) % 4;
        DataArray image(size_t { width } * height, TransparentIndex);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                if (x < (width + 1) / 2 || x == width - 1)
                    image[size_t { y } * width + x] = uint8_t((x * 5 + y * 3 + plan.Seed) % 200);
        auto frame = CELFrame::CreateEmpty();
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        frame->AnalyseData();
        if (frame->WidthCount > 1)
            frame->SelectWidth(frame->WidthCount - 1u);
        frame->Name = "frame " + std::to_string(plan.Seed) + "." + std::to_string(i);
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frame);
    }
    cel->WithHeaders = plan.Headers ? 1 : 0;
    cel->HasDatabase = plan.Database ? 1 : 0;
    if (plan.Named)
        cel->FileName = namedPath;
    return cel;
}

SettingsSnapshot Snapshot(int32_t left)
{
    SettingsSnapshot snapshot;
    snapshot.Main = { 224, 300, left, 131 };
    snapshot.Frame = { 200, 300, 663, 115 };
    snapshot.View = { 208, 370, 740, 143 };
    snapshot.PalLeft = 558;
    snapshot.PalTop = 118;
    snapshot.SelCol = 0x7F;
    return snapshot;
}

// The close of a CEL list holding CELs made from plans.
uint32_t CloseWith(const std::string& dir, const std::vector<CELPlan>& plans, int32_t left)
{
    std::vector<std::unique_ptr<CELObject>> cels;
    for (const CELPlan& plan : plans)
        cels.push_back(MakeStoreCEL(plan, dir + "/named.cel"));
    uint32_t stored = 0;
    StoreAtClose(
        dir, Snapshot(left), cels.size(), [&](size_t k) { return cels[k].get(); }, stored);
    return stored;
}

// What one stored CEL is, as far as a user can tell: its flags and the bytes of its files.
struct StoredCEL {
    uint8_t WithHeaders;
    uint8_t HasDatabase;
    std::vector<uint8_t> CEL;
    std::vector<uint8_t> Database;
    bool operator==(const StoredCEL&) const = default;
};

std::vector<StoredCEL> Expected(const std::vector<CELPlan>& plans)
{
    std::vector<StoredCEL> expected;
    for (const CELPlan& plan : plans) {
        if (plan.Named || plan.Frames == 0)
            continue;
        auto cel = MakeStoreCEL(plan, "");
        expected.push_back({ cel->WithHeaders, cel->HasDatabase, cel->CELBytes(),
            plan.Database ? cel->DatabaseBytes() : std::vector<uint8_t> {} });
    }
    return expected;
}

// Start-up as the CEL list window does it: recover, read the settings, reopen the store.
std::vector<StoredCEL> Reopen(const std::string& dir)
{
    RecoverInterruptedClose(dir);
    std::vector<StoredCEL> reopened;
    MainSettings settings;
    if (!ReadMainSettings(SettingsFileName(dir), settings))
        return reopened;
    for (uint32_t n = 0; n < settings.Unnamed; ++n) {
        const bool headers = n < settings.UnnamedHeaders.size() && settings.UnnamedHeaders[n];
        auto cel = CELObject::CreateFromFile(UnnamedCELFileName(dir, n), headers);
        if (cel->Status != LoadOK)
            continue;
        reopened.push_back({ cel->WithHeaders, cel->HasDatabase, cel->CELBytes(),
            cel->HasDatabase ? cel->DatabaseBytes() : std::vector<uint8_t> {} });
    }
    return reopened;
}

// Runs work in a child process with the crash hook at point; true when the child was killed
// there, false when it ended first (the run has fewer crash points).
bool KilledAt(int64_t point, const std::function<void()>& work)
{
    pid_t child = fork();
    if (child == 0) {
        FileWriteSet::SetCrashAtPointForTesting(point);
        work();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return false;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
    return true;
}

// The old store: three CELs, with and without Frame Headers and databases.
const std::vector<CELPlan> OldCELs = {
    { 2, true, true, 1 },
    { 3, false, true, 2 },
    { 1, true, false, 3 },
};
// The new list: the first CEL loses its database, an empty and a named CEL are passed over,
// the next ones change their flags, and one more CEL is stored than before.
const std::vector<CELPlan> NewCELs = {
    { 3, false, false, 11 },
    { 0, true, true, 12 },
    { 2, true, true, 13, true },
    { 2, true, true, 14 },
    { 4, true, true, 15 },
    { 1, false, true, 16 },
};

// The old store and the files beside it that the close must not touch: a user's file, a
// named CEL and what looks like another program's temporary file.
Tree OldTree()
{
    TempDir dir;
    EXPECT_EQ(CloseWith(dir.Path().string(), OldCELs, 100), 3u);
    WriteBytes(dir.File("notes.txt"), { 'h', 'i' });
    WriteBytes(dir.File("other.cel.tmp12"), { 7 });
    WriteBytes(dir.File("Unnamed/mine.cel.tmp4"), { 8 });
    return ReadTree(dir.Path());
}

} // namespace

TEST(CloseStore, AnUninterruptedCloseReplacesTheWholeStore)
{
    const Tree before = OldTree();
    TempDir dir;
    WriteTree(dir.Path(), before);
    EXPECT_EQ(Reopen(dir.Path().string()), Expected(OldCELs));
    EXPECT_EQ(ReadTree(dir.Path()), before) << "start-up changed a file";

    EXPECT_EQ(CloseWith(dir.Path().string(), NewCELs, 200), 4u);
    const Tree after = ReadTree(dir.Path());
    EXPECT_EQ(Names(after),
        (std::vector<std::string> { "Unnamed/0.cel", "Unnamed/1.cel", "Unnamed/1.cel.cdb",
            "Unnamed/2.cel", "Unnamed/2.cel.cdb", "Unnamed/3.cel", "Unnamed/3.cel.cdb",
            "Unnamed/mine.cel.tmp4", "Vornix.ini", "notes.txt", "other.cel.tmp12" }));
    EXPECT_EQ(Reopen(dir.Path().string()), Expected(NewCELs));
    EXPECT_EQ(after.at("notes.txt"), before.at("notes.txt"));
}

// The heart of it: a child closes over the old store and is killed at each crash point in
// turn (every write and staged commit or deletion, the journal half-way and in place, every
// rename and deletion, before the journal goes). After each kill, start-up finds the tree of
// files to be exactly the old one or exactly the new one, byte for byte, and reopens the CELs
// of that one. Where a journal was left, start-up is itself killed at each of its points and
// the next start-up still ends with the new store.
TEST(CloseStore, CloseKilledAtEveryPointLeavesTheOldStoreOrTheNew)
{
    const Tree oldTree = OldTree();
    Tree newTree;
    {
        TempDir dir;
        WriteTree(dir.Path(), oldTree);
        CloseWith(dir.Path().string(), NewCELs, 200);
        newTree = ReadTree(dir.Path());
    }
    ASSERT_NE(oldTree, newTree);
    const auto oldCELs = Expected(OldCELs);
    const auto newCELs = Expected(NewCELs);

    int olds = 0, news = 0, journals = 0;
    int64_t point = 1;
    for (; point < 1000; ++point) {
        SCOPED_TRACE("crash point " + std::to_string(point));
        TempDir dir;
        const std::string start = dir.Path().string();
        WriteTree(dir.Path(), oldTree);
        const bool killed = KilledAt(point, [&] { CloseWith(start, NewCELs, 200); });
        const Tree left = ReadTree(dir.Path());

        if (left.count("Vornix.journal")) {
            ++journals;
            for (int64_t recoveryPoint = 1; recoveryPoint < 100; ++recoveryPoint) {
                TempDir again;
                WriteTree(again.Path(), left);
                const bool recoveryKilled = KilledAt(
                    recoveryPoint, [&] { RecoverInterruptedClose(again.Path().string()); });
                EXPECT_EQ(Reopen(again.Path().string()), newCELs);
                EXPECT_EQ(ReadTree(again.Path()), newTree) << "recovery point " << recoveryPoint;
                if (!recoveryKilled)
                    break;
            }
        }

        const auto reopened = Reopen(start);
        const Tree after = ReadTree(dir.Path());
        if (after == oldTree) {
            ++olds;
            EXPECT_EQ(reopened, oldCELs);
        } else if (after == newTree) {
            ++news;
            EXPECT_EQ(reopened, newCELs);
        } else {
            ADD_FAILURE() << "neither the old nor the new store";
        }
        if (!killed) {
            EXPECT_EQ(after, newTree);
            break;
        }
    }
    EXPECT_LT(point, 1000) << "the close never ended";
    // Six CELs, two of them passed over: the writes and commits of the settings file and of
    // seven stored files, a staged deletion, the journal, nine steps.
    EXPECT_GT(point, 30);
    EXPECT_GT(olds, 0);
    EXPECT_GT(news, 0);
    EXPECT_GT(journals, 0);
}

// A disk that fills up while the settings file is written: the close reports failure and
// every file of the old store is kept, the CELs written before included.
TEST(CloseStore, SettingsFileNotWrittenWholeKeepsTheOldStore)
{
    const Tree oldTree = OldTree();
    TempDir dir;
    WriteTree(dir.Path(), oldTree);
    std::vector<std::unique_ptr<CELObject>> cels;
    for (const CELPlan& plan : NewCELs)
        cels.push_back(MakeStoreCEL(plan, dir.File("named.cel")));
    uint32_t stored = 0;
    // The CEL files are small; the settings file's fixed lines alone are larger.
    AtomicFileWriter::SetFailAfterBytesForTesting(300);
    const bool written = StoreAtClose(
        dir.Path().string(), Snapshot(200), cels.size(), [&](size_t k) { return cels[k].get(); },
        stored);
    AtomicFileWriter::SetFailAfterBytesForTesting(-1);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadTree(dir.Path()), oldTree);
    EXPECT_EQ(Reopen(dir.Path().string()), Expected(OldCELs));
}

// No settings file can be created: nothing is stored and prepare is never asked for a CEL.
TEST(CloseStore, NoSettingsFileStoresNothing)
{
    TempDir dir;
    fs::create_directory(SettingsFileName(dir.Path().string()));
    int asked = 0;
    uint32_t stored = 7;
    EXPECT_FALSE(StoreAtClose(
        dir.Path().string(), Snapshot(1), 1,
        [&](size_t) -> CELObject* {
            ++asked;
            return nullptr;
        },
        stored));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(stored, 7u);
    EXPECT_FALSE(fs::exists(dir.Path() / "Unnamed"));
    EXPECT_FALSE(fs::exists(CloseJournalFileName(dir.Path().string())));
}

TEST(WriteSet, StagedChangesLandOnlyWhenApplied)
{
    TempDir dir;
    WriteBytes(dir.File("a"), { 1 });
    WriteBytes(dir.File("b"), { 2 });
    fs::create_directory(dir.Path() / "sub");
    {
        FileWriteSet set(dir.File("journal"));
        EXPECT_EQ(FileWriteSet::Current(), &set);
        EXPECT_TRUE(WriteFileAtomically(dir.File("a"), std::vector<uint8_t> { 10 }));
        EXPECT_TRUE(WriteFileAtomically(dir.File("sub/c"), std::vector<uint8_t> { 30 }));
        EXPECT_TRUE(DeleteFileIfExists(dir.File("b")));
        EXPECT_EQ(set.StagedCount(), 3u);
        // Readers still see the old files.
        EXPECT_EQ(ReadBytes(dir.File("a")), (std::vector<uint8_t> { 1 }));
        EXPECT_TRUE(FileExists(dir.File("b")));
        EXPECT_FALSE(FileExists(dir.File("sub/c")));
        EXPECT_TRUE(set.Apply());
        EXPECT_EQ(FileWriteSet::Current(), nullptr);
    }
    EXPECT_EQ(ReadTree(dir.Path()), (Tree { { "a", { 10 } }, { "sub/c", { 30 } } }));
}

TEST(WriteSet, DiscardedOrDroppedSetsChangeNothing)
{
    TempDir dir;
    WriteBytes(dir.File("a"), { 1 });
    for (bool discard : { true, false }) {
        FileWriteSet set(dir.File("journal"));
        EXPECT_TRUE(WriteFileAtomically(dir.File("a"), std::vector<uint8_t> { 10 }));
        EXPECT_TRUE(WriteFileAtomically(dir.File("n"), std::vector<uint8_t> { 11 }));
        EXPECT_TRUE(DeleteFileIfExists(dir.File("a")));
        EXPECT_TRUE(WriteFileAtomically(dir.File("a"), std::vector<uint8_t> { 12 }));
        if (discard) {
            set.Discard();
            EXPECT_EQ(FileWriteSet::Current(), nullptr);
            EXPECT_TRUE(set.Apply()); // closed: nothing left to do
        }
    }
    EXPECT_EQ(ReadTree(dir.Path()), (Tree { { "a", { 1 } } }));
}

TEST(WriteSet, LaterChangesOfOneFileSupersedeEarlierOnes)
{
    TempDir dir;
    WriteBytes(dir.File("a"), { 1 });
    FileWriteSet set(dir.File("journal"));
    EXPECT_TRUE(WriteFileAtomically(dir.File("a"), std::vector<uint8_t> { 2 }));
    EXPECT_TRUE(WriteFileAtomically(dir.File("a"), std::vector<uint8_t> { 3 }));
    EXPECT_TRUE(DeleteFileIfExists(dir.File("x")));
    EXPECT_TRUE(WriteFileAtomically(dir.File("x"), std::vector<uint8_t> { 4 }));
    EXPECT_EQ(set.StagedCount(), 2u);
    EXPECT_EQ(ReadTree(dir.Path()).size(), 3u) << "a superseded temporary file was kept";
    EXPECT_TRUE(set.Apply());
    EXPECT_EQ(ReadTree(dir.Path()), (Tree { { "a", { 3 } }, { "x", { 4 } } }));
}

// Only files below the journal's folder join the set; others are written as ever, and a
// second set while one is open joins nothing.
TEST(WriteSet, FilesOutsideTheFolderAndNestedSetsAreWrittenAtOnce)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "store");
    FileWriteSet set(dir.File("store/journal"));
    EXPECT_TRUE(WriteFileAtomically(dir.File("outside"), std::vector<uint8_t> { 5 }));
    EXPECT_EQ(ReadBytes(dir.File("outside")), (std::vector<uint8_t> { 5 }));
    {
        FileWriteSet inner(dir.File("journal"));
        EXPECT_EQ(FileWriteSet::Current(), &set);
        EXPECT_TRUE(WriteFileAtomically(dir.File("store/in"), std::vector<uint8_t> { 6 }));
        EXPECT_TRUE(inner.Apply());
    }
    EXPECT_EQ(FileWriteSet::Current(), &set);
    EXPECT_FALSE(FileExists(dir.File("store/in")));
    // A folder in the way is refused at once, as without a set.
    fs::create_directory(dir.Path() / "store/folder");
    fs::create_directory(dir.Path() / "store/folder/x");
    EXPECT_FALSE(DeleteFileIfExists(dir.File("store/folder")));
    EXPECT_TRUE(set.Apply());
    EXPECT_EQ(ReadBytes(dir.File("store/in")), (std::vector<uint8_t> { 6 }));
}

TEST(WriteSet, JournalTextRoundTripsAndRefusesWhatItNeverWrites)
{
    const std::vector<FileWriteSet::Step> steps = {
        { false, "Vornix.ini", "123" },
        { true, "Unnamed/0.cel.cdb", "" },
        { false, "Unnamed/name with blanks\nand a line end", "0" },
    };
    const std::string text = FormatWriteSetJournal(steps);
    std::vector<FileWriteSet::Step> back;
    ASSERT_TRUE(ParseWriteSetJournal(text, back));
    ASSERT_EQ(back.size(), steps.size());
    for (size_t k = 0; k < steps.size(); ++k) {
        EXPECT_EQ(back[k].Delete, steps[k].Delete);
        EXPECT_EQ(back[k].Target, steps[k].Target);
        EXPECT_EQ(back[k].Suffix, steps[k].Suffix);
    }
    const std::string head = "Vornix write set 1\n";
    for (const std::string& bad : {
             std::string(),
             head,
             text.substr(0, text.size() - 1),
             text + "x",
             head + "E 1\n",
             head + "D 3 ../x\nE 1\n",
             head + "D 6 /etc/x\nE 1\n",
             head + "D 4 a//b\nE 1\n",
             head + "D 3 a/.\nE 1\n",
             head + "D 0 \nE 1\n",
             head + "R 1x 1 a\nE 1\n",
             head + "R 123456789 1 a\nE 1\n",
             head + "R 5 9 a\nE 1\n",
             head + "X 1 a\nE 1\n",
             std::string("Vornix write set 2\nE 0\n"),
         }) {
        EXPECT_FALSE(ParseWriteSetJournal(bad, back)) << bad;
    }
    EXPECT_TRUE(ParseWriteSetJournal(head + "E 0\n", back));
    EXPECT_TRUE(back.empty());
}

// A journal that reaches outside its folder is removed unread: the file it names survives.
TEST(WriteSet, HostileJournalIsRemovedWithoutTouchingAnything)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "start");
    WriteBytes(dir.File("victim"), { 1 });
    const std::string journal = dir.File("start/Vornix.journal");
    const std::string text = "Vornix write set 1\nD 9 ../victim\nE 1\n";
    WriteBytes(journal, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(FileWriteSet::FinishInterrupted(journal), FileWriteSet::Recovery::Unreadable);
    EXPECT_TRUE(FileExists(dir.File("victim")));
    EXPECT_FALSE(FileExists(journal));
    EXPECT_EQ(FileWriteSet::FinishInterrupted(journal), FileWriteSet::Recovery::NoJournal);
}

// Finishing is idempotent: steps already done are passed over, the rest done.
TEST(WriteSet, FinishingAJournalRedoesOnlyWhatIsLeft)
{
    TempDir dir;
    WriteBytes(dir.File("a"), { 1 });
    WriteBytes(dir.File("a.tmp7"), { 2 });
    WriteBytes(dir.File("b"), { 3 }); // already renamed from b.tmp8
    WriteBytes(dir.File("c"), { 4 });
    const std::string journal = dir.File("j");
    const std::string text = FormatWriteSetJournal(
        { { false, "a", "7" }, { false, "b", "8" }, { true, "c", "" }, { true, "d", "" } });
    WriteBytes(journal, std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(FileWriteSet::FinishInterrupted(journal), FileWriteSet::Recovery::Finished);
    EXPECT_EQ(ReadTree(dir.Path()), (Tree { { "a", { 2 } }, { "b", { 3 } } }));
}

// With no journal, start-up removes the temporary files of the settings file, the journal and
// the stored CELs, and nothing else.
TEST(CloseStore, StartUpRemovesOnlyTheCloseTemporaryFiles)
{
    TempDir dir;
    const Tree keep = {
        { "Vornix.ini", { 1 } },
        { "other.cel.tmp1", { 2 } },
        { "Vornix.ini.tmpx", { 3 } },
        { "Vornix.ini.tmp123456789", { 4 } },
        { "Unnamed/mine.cel.tmp3", { 5 } },
        { "Unnamed/0.cel", { 6 } },
        { "Unnamed/0.cel.tmp", { 7 } },
        { "Unnamed/x0.cel.tmp5", { 8 } },
        { "Unnamed/0.cel.cdb.cdb.tmp5", { 9 } },
    };
    const Tree strays = {
        { "Vornix.ini.tmp123", { 1 } },
        { "Vornix.journal.tmp0", { 1 } },
        { "Unnamed/0.cel.tmp55", { 1 } },
        { "Unnamed/12.cel.cdb.tmp12345678", { 1 } },
    };
    WriteTree(dir.Path(), keep);
    WriteTree(dir.Path(), strays);
    RecoverInterruptedClose(dir.Path().string());
    EXPECT_EQ(ReadTree(dir.Path()), keep);
}

TEST(WriteSet, TemporaryFileNames)
{
    std::string base;
    EXPECT_TRUE(IsTemporaryFileName("0.cel.tmp12", base));
    EXPECT_EQ(base, "0.cel");
    EXPECT_TRUE(IsTemporaryFileName("a.tmp.tmp0", base));
    EXPECT_EQ(base, "a.tmp");
    for (const char* name : { ".tmp1", "a.tmp", "a.tmp1x", "a.tmp123456789", "a.tmq1", "a" })
        EXPECT_FALSE(IsTemporaryFileName(name, base)) << name;
}
