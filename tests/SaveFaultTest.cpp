// Saves that fail: into a folder that cannot be written, onto a full disk, and killed half-way.
// Whatever happens, nothing is reported as saved that was not saved, and a file that was not
// saved is still the user's previous file, byte for byte. Tests run as root, for whom
// permission bits stop nothing, so unwritable places are made from paths whose parent is a
// regular file or does not exist.

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "cel/CELHandler.h"
#include "frames/FileIO.h"
#include "palette/PaletteModel.h"
#include "settings/Settings.h"

namespace {

namespace fs = std::filesystem;

// Every write past this many bytes of one file fails as on a full disk, until the object goes.
class DiskFullAfter {
public:
    explicit DiskFullAfter(int64_t bytes) { AtomicFileWriter::SetFailAfterBytesForTesting(bytes); }
    ~DiskFullAfter() { AtomicFileWriter::SetFailAfterBytesForTesting(-1); }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;
};

std::set<std::string> FilesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A CEL of count frames, each a small encoded picture with a long name, so that its
// database is larger than the CEL file itself.
std::unique_ptr<CELObject> MakeCEL(uint32_t count, uint8_t seed, const std::string& path)
{
    auto cel = CELObject::CreateEmpty(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto frame = CELFrame::CreateEmpty();
        const uint32_t width = 3 + i % 4;
        const uint32_t height = 2 + i % 3;
        DataArray image(width * height);
        for (size_t p = 0; p < image.size(); ++p)
            image[p] = (p + i + seed) % 5 == 0 ? TransparentIndex
                                               : static_cast<uint8_t>(0x80 + (p * 7 + seed) % 100);
        frame->SetSize(width, height);
        frame->EncodeImage(image);
        frame->AnalyseData();
        frame->Name = std::string(200, static_cast<char>('a' + (i + seed) % 26));
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frame);
    }
    cel->FileName = path;
    cel->HasDatabase = 1;
    cel->WithHeaders = 1;
    return cel;
}

// A CEL whose frames are large transparent runs: megabytes per frame, written quickly.
std::unique_ptr<CELObject> MakeLargeCEL(
    uint32_t count, uint32_t frameBytes, uint8_t fill, const std::string& path)
{
    auto cel = CELObject::CreateEmpty(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto frame = CELFrame::CreateEmpty();
        frame->Data.assign(frameBytes, fill);
        frame->DataLength = frameBytes;
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frame);
    }
    cel->FileName = path;
    cel->HasDatabase = 1;
    cel->WithHeaders = 0;
    return cel;
}

Bitmap MakeBitmap(uint32_t width, uint32_t height)
{
    Bitmap bitmap;
    bitmap.BitmapWidth = width;
    bitmap.BitmapHeight = height;
    bitmap.BitmapPixels.resize(size_t { width } * height);
    for (size_t i = 0; i < bitmap.BitmapPixels.size(); ++i)
        bitmap.BitmapPixels[i] = static_cast<uint8_t>(0x7F + i % 129);
    return bitmap;
}

PaletteModel MakePalette(uint32_t seed)
{
    PaletteModel model;
    for (uint32_t i = 0; i < 256; ++i)
        model.Palette[i] = (i * 0x00010305u + seed) & 0xFFFFFF;
    return model;
}

} // namespace

TEST(SaveFaults, CELSaveWhereNoFileCanBeCreatedFails)
{
    TempDir dir;
    WriteBytes(dir.File("plain"), { 1, 2, 3 });
    fs::create_directory(dir.Path() / "folder.cel");
    for (const std::string& path : { dir.File("plain") + "/a.cel", dir.File("missing/a.cel"),
             dir.File("folder.cel"), std::string() }) {
        SCOPED_TRACE(path);
        auto cel = MakeCEL(3, 1, path);
        EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteCEL);
        EXPECT_FALSE(FileExists(DatabaseFileName(path)));
    }
    EXPECT_EQ(ReadBytes(dir.File("plain")), (std::vector<uint8_t> { 1, 2, 3 }));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "folder.cel"));
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string> { "plain", "folder.cel" }));

    // No frames: nothing is written, even where it could be.
    auto empty = CELObject::CreateEmpty(0);
    empty->FileName = dir.File("empty.cel");
    EXPECT_EQ(empty->SaveToFile(), SaveNoFrames);
    EXPECT_FALSE(FileExists(dir.File("empty.cel")));
}

// The disk fills at every offset of the CEL file and of its database in turn. A save that
// says 0 wrote both files whole; one that says 2 left both old files; one that says 5 wrote
// the CEL and left the old database. No temporary file stays behind.
TEST(SaveFaults, FullDiskAtAnyOffsetNeverLosesTheOldFiles)
{
    TempDir dir;
    const std::string path = dir.File("a.cel");
    auto old = MakeCEL(4, 1, path);
    ASSERT_EQ(old->SaveToFile(), SaveOK);
    const auto oldCEL = ReadBytes(path);
    const auto oldDatabase = ReadBytes(DatabaseFileName(path));
    ASSERT_EQ(oldCEL, old->CELBytes());

    auto fresh = MakeCEL(6, 2, path);
    const auto newCEL = fresh->CELBytes();
    const auto newDatabase = fresh->DatabaseBytes();
    ASSERT_GT(newDatabase.size(), newCEL.size() + 10);
    const int64_t largest = static_cast<int64_t>(newDatabase.size());
    std::set<uint8_t> seen;
    const int64_t celSize = static_cast<int64_t>(newCEL.size());
    std::set<int64_t> limits { celSize - 1, celSize, largest - 1, largest, largest + 1 };
    for (int64_t limit = 0; limit <= largest; limit += 1 + limit / 8)
        limits.insert(limit);
    for (int64_t limit : limits) {
        SCOPED_TRACE("disk full after " + std::to_string(limit) + " bytes");
        uint8_t result;
        {
            DiskFullAfter full(limit);
            result = fresh->SaveToFile();
        }
        seen.insert(result);
        const auto cel = ReadBytes(path);
        const auto database = ReadBytes(DatabaseFileName(path));
        if (limit < celSize) {
            EXPECT_EQ(result, SaveCannotWriteCEL);
        } else if (limit < largest) {
            EXPECT_EQ(result, SaveCannotWriteDatabase);
        } else {
            EXPECT_EQ(result, SaveOK);
        }
        EXPECT_EQ(cel, result == SaveCannotWriteCEL ? oldCEL : newCEL);
        EXPECT_EQ(database, result == SaveOK ? newDatabase : oldDatabase);
        EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string> { "a.cel", "a.cel.cdb" }));
        // Back to the old pair for the next offset.
        WriteBytes(path, oldCEL);
        WriteBytes(DatabaseFileName(path), oldDatabase);
    }
    EXPECT_EQ(seen, (std::set<uint8_t> { SaveOK, SaveCannotWriteCEL, SaveCannotWriteDatabase }));
}

TEST(SaveFaults, DatabaseThatCannotBeReplacedIsReportedAs5)
{
    TempDir dir;
    const std::string path = dir.File("a.cel");
    // A folder stands where the database goes: the CEL is written, the folder stays.
    fs::create_directories(fs::path(DatabaseFileName(path)) / "inside");
    auto cel = MakeCEL(2, 3, path);
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteDatabase);
    EXPECT_EQ(ReadBytes(path), cel->CELBytes());
    EXPECT_TRUE(fs::is_directory(fs::path(DatabaseFileName(path)) / "inside"));

    // Without a database the old one must go; when it cannot, that is no success either.
    cel->HasDatabase = 0;
    EXPECT_EQ(cel->SaveToFile(), SaveCannotWriteDatabase);

    // Once the obstacle is gone, the same CEL saves and loads back.
    fs::remove_all(DatabaseFileName(path));
    cel->HasDatabase = 1;
    ASSERT_EQ(cel->SaveToFile(), SaveOK);
    auto back = CELObject::CreateFromFile(path, false);
    ASSERT_EQ(back->Status, LoadOK);
    EXPECT_EQ(back->CELBytes(), cel->CELBytes());
    EXPECT_EQ(back->DatabaseBytes(), cel->DatabaseBytes());
}

// A child saves a large CEL over an existing one and is killed while the new file is being
// written. The parent then finds the previous CEL and database intact, byte for byte, and
// loading. The child is killed as soon as any new file appears beside the target, which with
// tens of megabytes to write and flush is long before the save could end; should a save
// nevertheless finish first, the new file must then be whole, and the attempt is repeated.
TEST(SaveFaults, SaveKilledHalfWayLeavesThePreviousCEL)
{
    TempDir dir;
    const std::string path = dir.File("big.cel");
    auto old = MakeLargeCEL(3, 1000, 0x81, path);
    ASSERT_EQ(old->SaveToFile(), SaveOK);
    const auto oldCEL = ReadBytes(path);
    const auto oldDatabase = ReadBytes(DatabaseFileName(path));
    const std::set<std::string> before = FilesIn(dir.Path());

    const uint32_t frames = 48;
    const uint32_t frameBytes = 1 << 20; // 48 MB in all
    int interrupted = 0;
    for (int attempt = 0; attempt < 5 && interrupted == 0; ++attempt) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto big = MakeLargeCEL(frames, frameBytes, 0x80, path);
            _exit(big->SaveToFile() == SaveOK ? 0 : 1);
        }
        bool killed = false;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(dir.Path(), error)) {
                if (!before.count(entry.path().filename().string())) {
                    kill(child, SIGKILL);
                    killed = true;
                    break;
                }
            }
            if (killed) {
                waitpid(child, &status, 0);
                break;
            }
            sched_yield();
        }
        if (WIFSIGNALED(status)) {
            ++interrupted;
            EXPECT_EQ(ReadBytes(path), oldCEL) << "the previous CEL was damaged";
            EXPECT_EQ(ReadBytes(DatabaseFileName(path)), oldDatabase);
            auto loaded = CELObject::CreateFromFile(path, true);
            EXPECT_EQ(loaded->Status, LoadOK);
            EXPECT_EQ(loaded->FrameCount, 3u);
        } else {
            // The save won the race: it must then have put the whole new file in place.
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
            EXPECT_EQ(fs::file_size(path), 4ull * frames + 8 + uint64_t { frames } * frameBytes);
            WriteBytes(path, oldCEL);
            WriteBytes(DatabaseFileName(path), oldDatabase);
        }
        // What a killed save leaves is its own temporary file; it is no CEL and goes here.
        for (const auto& name : FilesIn(dir.Path()))
            if (!before.count(name))
                fs::remove(dir.Path() / name);
    }
    EXPECT_GT(interrupted, 0) << "no save was caught while writing";
}

TEST(SaveFaults, BitmapExportNeverLeavesHalfAPicture)
{
    TempDir dir;
    WriteBytes(dir.File("plain"), { 1 });
    const PaletteModel palette = MakePalette(5);
    const Bitmap bitmap = MakeBitmap(13, 7);
    for (const std::string& path :
        { dir.File("plain") + "/a.bmp", dir.File("missing/a.bmp"), dir.Path().string() }) {
        SCOPED_TRACE(path);
        EXPECT_EQ(WriteBitmap(path, bitmap, palette, 8), BitmapCannotCreate);
    }

    const std::string path = dir.File("a.bmp");
    const std::vector<uint8_t> old { 'o', 'l', 'd' };
    for (uint32_t bits : { 8u, 24u }) {
        const auto full = EncodeBitmap(bitmap, palette, bits);
        ASSERT_FALSE(full.empty());
        const int64_t size = static_cast<int64_t>(full.size());
        for (int64_t limit : { int64_t { 0 }, int64_t { 1 }, int64_t { 14 }, int64_t { 54 },
                 size / 2, size - 1, size }) {
            SCOPED_TRACE(std::to_string(bits) + " bits, disk full after " + std::to_string(limit));
            WriteBytes(path, old);
            uint8_t result;
            {
                DiskFullAfter fullDisk(limit);
                result = WriteBitmap(path, bitmap, palette, bits);
            }
            EXPECT_EQ(result, limit < size ? BitmapCannotCreate : BitmapWritten);
            EXPECT_EQ(ReadBytes(path), result == BitmapWritten ? full : old);
        }
    }
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string> { "plain", "a.bmp" }));
}

TEST(SaveFaults, PaletteSaveNeverLeavesAShortFile)
{
    TempDir dir;
    WriteBytes(dir.File("plain"), { 1 });
    const PaletteModel palette = MakePalette(9);
    EXPECT_EQ(
        SavePaletteFile(dir.File("plain") + "/a.pal", palette), PaletteFileResult::CannotCreate);
    EXPECT_EQ(SavePaletteFile(dir.File("missing/a.pal"), palette), PaletteFileResult::CannotCreate);

    const std::string path = dir.File("a.pal");
    ASSERT_EQ(SavePaletteFile(path, MakePalette(1)), PaletteFileResult::Done);
    const auto old = ReadBytes(path);
    ASSERT_EQ(old.size(), 768u);
    for (int64_t limit : { 0, 1, 3, 384, 765, 767 }) {
        SCOPED_TRACE("disk full after " + std::to_string(limit));
        DiskFullAfter full(limit);
        EXPECT_EQ(SavePaletteFile(path, palette), PaletteFileResult::CannotCreate);
        EXPECT_EQ(ReadBytes(path), old);
    }
    ASSERT_EQ(SavePaletteFile(path, palette), PaletteFileResult::Done);
    PaletteModel back = MakePalette(1);
    ASSERT_EQ(LoadPaletteFile(path, back), PaletteFileResult::Done);
    for (uint32_t n = 0; n < 255; ++n)
        EXPECT_EQ(back.Palette[n], palette.Palette[n]) << n;
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string> { "plain", "a.pal" }));
}

TEST(SaveFaults, SettingsWriterKeepsTheOldFileUnlessItFinishes)
{
    TempDir dir;
    WriteBytes(dir.File("plain"), { 1 });
    SettingsSnapshot snapshot;
    snapshot.Palette = "pal/default.pal";
    snapshot.Main = { 224, 300, -8, 131 };
    snapshot.SelCol = 0x90;
    snapshot.PalExp = -1;

    // Begin fails where no file can be created: nothing may be stored then.
    for (const std::string& path :
        { dir.File("plain") + "/Vornix.ini", dir.File("missing/Vornix.ini") }) {
        SettingsWriter writer;
        EXPECT_FALSE(writer.Begin(path, snapshot));
        writer.AddUnnamed(true);
        EXPECT_FALSE(writer.Finish());
        EXPECT_FALSE(FileExists(path));
    }

    const std::string path = dir.File("Vornix.ini");
    const std::vector<uint8_t> old { 'A', ' ', '=', ' ', '1', '\r', '\n' };
    const std::string fixed = FormatFixedLines(snapshot);
    const std::string whole = fixed + "UnnHH0 = 1\r\nUnnHH1 = 0\r\nUnnamed = 2\r\n";
    for (int64_t limit : { int64_t { 0 }, int64_t { 10 }, static_cast<int64_t>(fixed.size()),
             static_cast<int64_t>(whole.size()) - 1 }) {
        SCOPED_TRACE("disk full after " + std::to_string(limit));
        WriteBytes(path, old);
        DiskFullAfter full(limit);
        SettingsWriter writer;
        if (writer.Begin(path, snapshot)) {
            writer.AddUnnamed(true);
            writer.AddUnnamed(false);
            EXPECT_FALSE(writer.Finish());
        }
        EXPECT_EQ(ReadBytes(path), old);
    }

    WriteBytes(path, old);
    SettingsWriter writer;
    ASSERT_TRUE(writer.Begin(path, snapshot));
    writer.AddUnnamed(true);
    writer.AddUnnamed(false);
    EXPECT_EQ(writer.StoredCount(), 2u);
    ASSERT_TRUE(writer.Finish());
    const auto written = ReadBytes(path);
    EXPECT_EQ(std::string(written.begin(), written.end()), whole);
    EXPECT_EQ(FilesIn(dir.Path()), (std::set<std::string> { "plain", "Vornix.ini" }));
}
