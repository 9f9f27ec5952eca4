// Every file of the hostile regression folder goes through its reader on every run, and must
// give exactly the result its folder's expected.txt names, without a crash, a hang or a stray
// allocation. The folder holds one subfolder per reader; a fuzzer finding becomes a file there
// with its line in expected.txt. Files too large to keep in the repository are made here, in
// a temporary folder, as sparse files.

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "cel/CELHandler.h"
#include "cel/GroupedFile.h"
#include "frames/FileIO.h"
#include "palette/PaletteModel.h"
#include "settings/INIHandler.h"
#include "settings/Settings.h"

namespace {

namespace fs = std::filesystem;

fs::path HostileFolder(const std::string& reader)
{
    return fs::path(VORNIX_TEST_DATA) / "hostile" / reader;
}

// expected.txt: one line per file, the name, a blank, and the expectation; "#" starts a
// comment line.
std::map<std::string, std::string> ReadExpectations(const fs::path& folder)
{
    std::map<std::string, std::string> expected;
    std::ifstream in(folder / "expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        size_t blank = line.find(' ');
        if (blank == std::string::npos) {
            ADD_FAILURE() << "expected.txt line without an expectation: " << line;
            continue;
        }
        expected[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return expected;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// The folder and its expectations agree: each file has its line, each line its file. A
// database (".cdb") belongs to the CEL whose name it continues.
void CheckFolderMatchesExpectations(
    const fs::path& folder, const std::map<std::string, std::string>& expected)
{
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    ASSERT_FALSE(expected.empty()) << "no expectations in " << folder;
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name == "expected.txt")
            continue;
        if (entry.path().extension() == ".cdb") {
            std::string cel = entry.path().stem().string();
            EXPECT_TRUE(expected.count(cel)) << name << " has no CEL file with an expectation";
            continue;
        }
        present.insert(name);
        EXPECT_TRUE(expected.count(name)) << name << " has no line in expected.txt";
    }
    for (const auto& [name, expectation] : expected)
        EXPECT_TRUE(present.count(name)) << "expected.txt names a missing file " << name;
}

// Makes a file of the given size without writing its bytes: the blocks stay unallocated.
void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<uint8_t>& start = {})
{
    WriteBytes(path, start);
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

// Runs body in a child process and returns its exit code, or -1 when it died of a signal.
// Loading a file that the core might take whole into memory runs this way, so that a fault
// fails one test instead of taking the whole program down. Without AddressSanitizer, whose
// shadow memory needs terabytes of address space, the child may not use more than 8 GB.
template <typename Body> int InChild(Body body)
{
    pid_t child = fork();
    if (child == 0) {
#ifndef VORNIX_UNDER_ASAN
        rlimit limit { 8ull << 30, 8ull << 30 };
        setrlimit(RLIMIT_AS, &limit);
#endif
        int code = 100;
        try {
            code = body();
        } catch (...) {
            code = 101; // an exception escaped the core
        }
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint8_t ParseStatus(const std::string& word)
{
    return static_cast<uint8_t>(std::stoul(word));
}

PaletteModel TestPalette()
{
    PaletteModel model;
    for (uint32_t i = 0; i < 256; ++i)
        model.Palette[i] = (i * 2654435761u >> 7) & 0xFFFFFF;
    model.Palette[255] = 0xFFFFFF;
    return model;
}

} // namespace

TEST(HostileFiles, EveryFileHasExactlyOneExpectation)
{
    for (const char* reader : { "cel", "grouped", "bmp", "png", "ini", "pal" }) {
        SCOPED_TRACE(reader);
        CheckFolderMatchesExpectations(
            HostileFolder(reader), ReadExpectations(HostileFolder(reader)));
    }
}

TEST(HostileFiles, CELFilesLoadWithTheirExpectedStatus)
{
    auto expected = ReadExpectations(HostileFolder("cel"));
    for (const auto& [name, expectation] : expected) {
        auto statuses = Words(expectation);
        ASSERT_EQ(statuses.size(), 2u) << name;
        const std::string path = (HostileFolder("cel") / name).string();
        for (int flag = 0; flag < 2; ++flag) {
            SCOPED_TRACE(name + " with the default flag " + std::to_string(flag));
            auto cel = CELObject::CreateFromFile(path, flag == 1);
            ASSERT_NE(cel, nullptr);
            EXPECT_EQ(cel->Status, ParseStatus(statuses[flag]));
            if (cel->Status != LoadOK) {
                // A failed load keeps nothing of what it read.
                EXPECT_EQ(cel->FrameCount, 0u);
                EXPECT_TRUE(cel->Frames.empty());
                EXPECT_TRUE(cel->FileName.empty());
                continue;
            }
            EXPECT_EQ(cel->FileName, path);
            EXPECT_EQ(cel->HasDatabase, FileExists(DatabaseFileName(path)) ? 1 : 0);
            ASSERT_EQ(cel->Frames.size(), cel->FrameCount);
            for (const auto& slot : cel->Frames) {
                ASSERT_TRUE(slot && slot->Frame);
                EXPECT_EQ(slot->Frame->Data.size(), slot->Frame->DataLength);
            }
            // What was read is written back byte for byte.
            EXPECT_EQ(cel->CELBytes(), ReadBytes(path));
        }
    }
}

// Grouped files are read as sprite files: the coding from the name, plain first, grouped only
// when that fails and every group loads. A file that loads writes back its own bytes.
TEST(HostileFiles, GroupedFilesLoadWithTheirExpectedStatusAndGroups)
{
    auto expected = ReadExpectations(HostileFolder("grouped"));
    for (const auto& [name, expectation] : expected) {
        auto words = Words(expectation);
        ASSERT_EQ(words.size(), 4u) << name;
        const std::string path = (HostileFolder("grouped") / name).string();
        for (int flag = 0; flag < 2; ++flag) {
            SCOPED_TRACE(name + " with the default flag " + std::to_string(flag));
            SpriteFile file = LoadSpriteFile(path, flag == 1);
            EXPECT_EQ(file.Status, ParseStatus(words[2 * flag]));
            const size_t groups = std::stoul(words[2 * flag + 1]);
            EXPECT_EQ(file.Grouped, groups > 0);
            if (file.Status != LoadOK) {
                EXPECT_TRUE(file.Groups.empty());
                continue;
            }
            ASSERT_EQ(file.Groups.size(), std::max<size_t>(groups, 1));
            EXPECT_EQ(file.Coding, CodingFromName(path));
            const bool database = FileExists(DatabaseFileName(path));
            for (size_t g = 0; g < file.Groups.size(); ++g) {
                const CELObject& group = *file.Groups[g];
                EXPECT_EQ(group.FileName, path);
                EXPECT_EQ(group.HasDatabase, database ? 1 : 0);
                EXPECT_EQ(group.GroupIndex, file.Grouped ? static_cast<int32_t>(g) : -1);
                EXPECT_EQ(group.Coding, file.Coding);
            }
            EXPECT_EQ(
                file.Grouped ? GroupedFileBytes(file.GroupList()) : file.Groups[0]->CELBytes(),
                ReadBytes(path));
        }
    }
    // The database's groups follow one another: names from each, the first flag for all.
    SpriteFile named = LoadSpriteFile((HostileFolder("grouped") / "database.cel").string(), true);
    ASSERT_EQ(named.Status, LoadOK);
    EXPECT_EQ(named.Groups[0]->Frames[0]->Frame->Name, "a");
    EXPECT_EQ(named.Groups[1]->Frames[0]->Frame->Name, "b");
    EXPECT_EQ(named.Groups[1]->WithHeaders, 0);
    EXPECT_EQ(
        GroupedDatabaseBytes(named.GroupList()), (std::vector<uint8_t> { 0, 1, 'a', 0, 1, 'b' }));
    SpriteFile cut = LoadSpriteFile((HostileFolder("grouped") / "database-cut.cel").string(), true);
    ASSERT_EQ(cut.Status, LoadOK);
    EXPECT_EQ(cut.Groups[0]->Frames[0]->Frame->Name, "a");
    EXPECT_EQ(cut.Groups[1]->Frames[0]->Frame->Name, "");
}

TEST(HostileFiles, ShortDatabasesGiveEmptyNamesAndFirstWidths)
{
    const auto folder = HostileFolder("cel");
    auto cut = CELObject::CreateFromFile((folder / "database-name-cut.cel").string(), true);
    ASSERT_EQ(cut->Status, LoadOK);
    EXPECT_EQ(cut->WithHeaders, 0);
    EXPECT_EQ(cut->Frames[0]->Frame->Name, "");

    auto missing
        = CELObject::CreateFromFile((folder / "database-selection-missing.cel").string(), true);
    ASSERT_EQ(missing->Status, LoadOK);
    const CELFrame& frame = *missing->Frames[0]->Frame;
    EXPECT_EQ(frame.Name, "Walk");
    EXPECT_EQ(frame.WidthCount, 10);
    EXPECT_EQ(frame.WidthIndex, 0);
    EXPECT_EQ(frame.Width, 10u);

    auto tooBig
        = CELObject::CreateFromFile((folder / "database-selection-too-big.cel").string(), true);
    ASSERT_EQ(tooBig->Status, LoadOK);
    EXPECT_EQ(tooBig->Frames[0]->Frame->WidthIndex, 0);
    EXPECT_EQ(tooBig->Frames[0]->Frame->Width, 10u);

    // A flag byte other than 1 means "without Frame Headers" and is kept as read.
    auto odd = CELObject::CreateFromFile((folder / "database-odd-flag.cel").string(), true);
    ASSERT_EQ(odd->Status, LoadOK);
    EXPECT_EQ(odd->WithHeaders, 7);
    EXPECT_EQ(odd->Frames[0]->Frame->DataLength, 1u);
    EXPECT_EQ(odd->Frames[0]->Frame->Name, "Walk");
    EXPECT_EQ(odd->DatabaseBytes(), (std::vector<uint8_t> { 7, 4, 'W', 'a', 'l', 'k' }));
}

TEST(HostileFiles, CELPathsThatAreNoFileCannotBeOpened)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "folder.cel");
    WriteBytes(dir.File("plain"), { 1, 2, 3 });
    for (const std::string& path : { dir.File("folder.cel"), dir.File("missing.cel"),
             dir.File("plain") + "/inside.cel", std::string() }) {
        SCOPED_TRACE(path);
        auto cel = CELObject::CreateFromFile(path, false);
        EXPECT_EQ(cel->Status, LoadCannotOpen);
        EXPECT_TRUE(cel->Frames.empty());
    }
    // A folder where the database would be is no database: the CEL loads without one.
    WriteBytes(dir.File("a.cel"), { 1, 0, 0, 0, 12, 0, 0, 0, 13, 0, 0, 0, 0xFF });
    fs::create_directory(dir.Path() / "a.cel.cdb");
    auto cel = CELObject::CreateFromFile(dir.File("a.cel"), false);
    EXPECT_EQ(cel->Status, LoadOK);
    EXPECT_EQ(cel->HasDatabase, 0);
}

// A CEL file of more than 4 GB cannot match its 32-bit offsets: the load fails by its rules
// without taking the whole file into memory.
TEST(HostileFiles, CELFileBeyond4GBIsRefused)
{
    TempDir dir;
    const std::string cel = dir.File("huge.cel");
    MakeSparseFile(cel, 5ull << 30, { 1, 0, 0, 0, 12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF });
    int code = InChild([&] { return int { CELObject::CreateFromFile(cel, false)->Status }; });
    EXPECT_EQ(code, LoadBadOffsets) << "exit code of the loading child";
}

// A database holds at most a flag byte and 257 bytes per frame; one of 64 GB beside a sound
// CEL must neither crash the load nor be taken into memory whole, and it is still the CEL's
// database (saving must not delete it). (It once made the reader allocate the whole file and
// throw std::bad_alloc out of CreateFromFile.)
TEST(HostileFiles, HugeDatabaseBesideASoundCELDoesNotFailTheLoad)
{
    TempDir dir;
    const std::string sound = dir.File("sound.cel");
    WriteBytes(sound, { 1, 0, 0, 0, 12, 0, 0, 0, 13, 0, 0, 0, 0xFF });
    MakeSparseFile(DatabaseFileName(sound), 64ull << 30);
    int code = InChild([&] {
        auto cel = CELObject::CreateFromFile(sound, true);
        return cel->Status == LoadOK && cel->HasDatabase == 1 && cel->WithHeaders == 0 ? 0 : 7;
    });
    EXPECT_EQ(code, 0) << "exit code of the loading child (7: wrong result, 101: an exception "
                          "escaped, 1 or -1: it died)";
}

// A hostile frame count made the reader take up to 257 bytes per counted frame of a database
// into memory (a terabyte for a count of 2^32 - 1) before the file failed its size check. Only
// what the frames a file can hold could use is read now, for plain and grouped files alike.
TEST(HostileFiles, HugeDatabaseBesideAHostileCountIsNotReadWhole)
{
    TempDir dir;
    const std::string cel = dir.File("count.cel");
    WriteBytes(cel, { 0xFF, 0xFF, 0xFF, 0xFF, 12, 0, 0, 0, 16, 0, 0, 0 });
    MakeSparseFile(DatabaseFileName(cel), 64ull << 30);
    int code = InChild([&] {
        auto plain = CELObject::CreateFromFile(cel, true);
        SpriteFile sprite = LoadSpriteFile(cel, true);
        return plain->Status == LoadTooShort && sprite.Status == LoadTooShort ? 0 : 7;
    });
    EXPECT_EQ(code, 0) << "exit code of the loading child (7: wrong result, 101: an exception "
                          "escaped, 1 or -1: it died)";
}

TEST(HostileFiles, BitmapsAreReadWithTheirExpectedResult)
{
    const PaletteModel palette = TestPalette();
    auto expected = ReadExpectations(HostileFolder("bmp"));
    for (const auto& [name, expectation] : expected) {
        SCOPED_TRACE(name);
        Bitmap bitmap;
        uint8_t result = ReadBitmap((HostileFolder("bmp") / name).string(), palette, bitmap);
        EXPECT_EQ(result, ParseStatus(expectation));
        if (result == BitmapOK) {
            EXPECT_GT(bitmap.BitmapWidth, 0u);
            EXPECT_EQ(
                bitmap.BitmapPixels.size(), uint64_t { bitmap.BitmapWidth } * bitmap.BitmapHeight);
        }
        // An import of a refused file leaves the frame as it was.
        auto frame = CELFrame::CreateEmpty();
        frame->Data = { 0x02, 0x90, 0x91 };
        frame->DataLength = 3;
        uint8_t imported = ImportBitmap((HostileFolder("bmp") / name).string(), palette, *frame);
        EXPECT_EQ(imported, result);
        if (imported != BitmapOK)
            EXPECT_EQ(frame->Data, (DataArray { 0x02, 0x90, 0x91 }));
    }
}

TEST(HostileFiles, PNGFilesAreReadWithTheirExpectedResult)
{
    const PaletteModel palette = TestPalette();
    auto expected = ReadExpectations(HostileFolder("png"));
    for (const auto& [name, expectation] : expected) {
        SCOPED_TRACE(name);
        const std::string path = (HostileFolder("png") / name).string();
        // In a child with limited address space: a reader that allocated for the size in a
        // header instead of refusing it fails here instead of taking the test program down.
        const int code = InChild([&] {
            Bitmap bitmap;
            const uint8_t result = ReadPNG(path, palette, bitmap);
            if (result == BitmapOK
                && bitmap.BitmapPixels.size()
                    != uint64_t { bitmap.BitmapWidth } * bitmap.BitmapHeight)
                return 99;
            Bitmap again;
            if (ReadImageFile(path, palette, again) != result)
                return 98;
            return int { result };
        });
        EXPECT_EQ(code, int { ParseStatus(expectation) });
        auto frame = CELFrame::CreateEmpty();
        frame->Data = { 0x02, 0x90, 0x91 };
        frame->DataLength = 3;
        const uint8_t imported = ImportImageFile(path, palette, *frame);
        EXPECT_EQ(imported, ParseStatus(expectation));
        if (imported != BitmapOK)
            EXPECT_EQ(frame->Data, (DataArray { 0x02, 0x90, 0x91 }));
    }
}

TEST(HostileFiles, BitmapPathsThatAreNoFileCannotBeOpened)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "folder.bmp");
    const PaletteModel palette = TestPalette();
    Bitmap bitmap;
    EXPECT_EQ(ReadBitmap(dir.File("folder.bmp"), palette, bitmap), BitmapCannotOpen);
    EXPECT_EQ(ReadBitmap(dir.File("missing.bmp"), palette, bitmap), BitmapCannotOpen);
    // 5 GB cannot match a 32-bit file size field.
    MakeSparseFile(dir.File("huge.bmp"), 5ull << 30, { 'B', 'M' });
    int code = InChild([&] {
        Bitmap big;
        return int { ReadBitmap(dir.File("huge.bmp"), palette, big) };
    });
    EXPECT_EQ(code, BitmapUnsupported);
}

TEST(HostileFiles, INIFilesOpenOrFailWithTheirExpectedText)
{
    auto expected = ReadExpectations(HostileFolder("ini"));
    for (const auto& [name, expectation] : expected) {
        SCOPED_TRACE(name);
        const std::string path = (HostileFolder("ini") / name).string();
        INIToRead ini;
        bool opened = ini.Open(path);
        if (expectation == "true") {
            EXPECT_TRUE(opened) << ini.LastError;
            EXPECT_EQ(ini.LastError, "");
            ini.Close();
        } else {
            ASSERT_EQ(expectation.rfind("false ", 0), 0u) << expectation;
            EXPECT_FALSE(opened);
            EXPECT_EQ(ini.LastError, expectation.substr(6));
            EXPECT_EQ(ini.GetInteger("MainWidth", 77), 77);
        }
        // The settings readers take the file exactly when the reader does.
        MainSettings main;
        EXPECT_EQ(ReadMainSettings(path, main), opened);
        EXPECT_EQ(main.UnnamedHeaders.size(), opened ? main.Unnamed : 0u);
        PaletteSettings palette;
        EXPECT_EQ(ReadPaletteSettings(path, palette), opened);
    }
}

TEST(HostileFiles, INIValuesThatDoNotFitAreReadByTheirRules)
{
    const auto folder = HostileFolder("ini");
    INIToRead ini;
    ASSERT_TRUE(ini.Open((folder / "nul-in-name.ini").string()));
    EXPECT_EQ(ini.GetInteger(std::string("Ma\0in", 5), -1), 5);
    EXPECT_EQ(ini.GetInteger("Main", -1), -1);
    ini.Close();

    ASSERT_TRUE(ini.Open((folder / "numbers-overflow.ini").string()));
    // 32-bit arithmetic that wraps, digit by digit.
    uint32_t wrapped = 0;
    for (char digit : std::string("99999999999999999999"))
        wrapped = wrapped * 10u + static_cast<uint32_t>(digit - '0');
    EXPECT_EQ(ini.GetPositive("MainWidth", 0), wrapped);
    EXPECT_EQ(ini.GetInteger("SelCol", 0), 2147483647);
    ini.Close();

    // A stored-CEL count of 2^32 - 1 must not make the start-up read billions of keys.
    MainSettings main;
    ASSERT_TRUE(ReadMainSettings((folder / "unnamed-huge.ini").string(), main));
    EXPECT_LE(main.Unnamed, MaxStoredUnnamed);
    ASSERT_EQ(main.UnnamedHeaders.size(), main.Unnamed);
    EXPECT_TRUE(main.UnnamedHeaders[0]);
}

TEST(HostileFiles, INIPathsThatAreNoReadableFileAreRefused)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "folder.ini");
    MakeSparseFile(dir.File("huge.ini"), INIToRead::MaxFileSize + 1, { 'A', '=', '1', '\n' });
    for (const std::string& path :
        { dir.File("folder.ini"), dir.File("missing.ini"), dir.File("huge.ini") }) {
        SCOPED_TRACE(path);
        INIToRead ini;
        EXPECT_FALSE(ini.Open(path));
        EXPECT_EQ(ini.LastError, "Cannot read INI file");
        EXPECT_FALSE(ini.Loaded);
    }
}

TEST(HostileFiles, PaletteFilesLoadOnlyAtTheirOneSize)
{
    auto expected = ReadExpectations(HostileFolder("pal"));
    for (const auto& [name, expectation] : expected) {
        SCOPED_TRACE(name);
        const std::string path = (HostileFolder("pal") / name).string();
        PaletteModel model = TestPalette();
        model.SelectedColour = 0x90;
        const PaletteModel before = model;
        PaletteFileResult result = LoadPaletteFile(path, model);
        if (expectation == "Done") {
            EXPECT_EQ(result, PaletteFileResult::Done);
            auto bytes = ReadBytes(path);
            EXPECT_EQ(model.Palette[254], bytes[762] | bytes[763] << 8 | bytes[764] << 16);
            EXPECT_EQ(model.Palette[255], before.Palette[255]);
        } else {
            ASSERT_EQ(expectation, "WrongSize");
            EXPECT_EQ(result, PaletteFileResult::WrongSize);
            EXPECT_EQ(model.Palette, before.Palette);
        }
        EXPECT_EQ(model.SelectedColour, 0x90);
    }
}

TEST(HostileFiles, PalettePathsThatAreNoFileCannotBeOpened)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "folder.pal");
    MakeSparseFile(dir.File("huge.pal"), 6ull << 30);
    PaletteModel model = TestPalette();
    const PaletteModel before = model;
    EXPECT_EQ(LoadPaletteFile(dir.File("folder.pal"), model), PaletteFileResult::CannotOpen);
    EXPECT_EQ(LoadPaletteFile(dir.File("missing.pal"), model), PaletteFileResult::CannotOpen);
    EXPECT_EQ(LoadPaletteFile(dir.File("huge.pal"), model), PaletteFileResult::WrongSize);
    EXPECT_EQ(LoadPaletteFile("", model), PaletteFileResult::NoFileName);
    EXPECT_EQ(model.Palette, before.Palette);
}
