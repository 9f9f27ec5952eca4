#include "settings/Settings.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "frames/FileIO.h"

// Comparison and printing for the expectations below.
bool operator==(const WindowPlacement& a, const WindowPlacement& b)
{
    return a.Width == b.Width && a.Height == b.Height && a.Left == b.Left && a.Top == b.Top;
}

std::ostream& operator<<(std::ostream& out, const WindowPlacement& p)
{
    return out << p.Width << "x" << p.Height << "@" << p.Left << "," << p.Top;
}

namespace {

std::string ReadText(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return { bytes.begin(), bytes.end() };
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, { text.begin(), text.end() });
}

// Design values of the windows, as the windows would pass them in.
WindowPlacement MainDesign()
{
    return { 224, 300, 183, 131 };
}
WindowPlacement FrameDesign()
{
    return { 200, 300, 663, 115 };
}
WindowPlacement ViewDesign()
{
    return { 208, 370, 740, 143 };
}

// Writes the whole file as the CEL list window does at close.
bool WriteSettings(const std::string& path, const SettingsSnapshot& snapshot,
    const std::vector<bool>& unnamedHeaders)
{
    SettingsWriter writer;
    if (!writer.Begin(path, snapshot))
        return false;
    for (bool headers : unnamedHeaders)
        writer.AddUnnamed(headers);
    return writer.Finish();
}

class SettingsFileTest : public ::testing::Test {
protected:
    std::string Path() const { return dir.File("Vornix.ini"); }

    TempDir dir;
};

TEST(SettingsFileName, JoinsTheStartDirectoryWithThePlatformSeparator)
{
    const std::string separator(1, std::filesystem::path::preferred_separator);
    EXPECT_EQ(SettingsFileName("start"), "start" + separator + "Vornix.ini");
    EXPECT_EQ(SettingsFileName(separator + "a" + separator + "b"),
        separator + "a" + separator + "b" + separator + "Vornix.ini");
    // A root keeps its single separator.
    EXPECT_EQ(SettingsFileName(separator), separator + "Vornix.ini");
}

TEST(SettingsFormat, FixedLinesInOrderWithCrLf)
{
    SettingsSnapshot s;
    s.Palette = "C:\\pal\\game.pal";
    s.Transparent = 4294967295u;
    s.Main = { 230, 310, -8, 131 };
    s.Frame = { 201, 302, 663, 115 };
    s.View = { 208, 370, 740, -143 };
    s.PalLeft = 558;
    s.PalTop = 118;
    s.WholePal = true;
    s.SelCol = 200;
    s.PalExp = -1;
    s.Offset = false;
    s.OffsCol = 16711680u;
    EXPECT_EQ(FormatFixedLines(s),
        "Palette = C:\\pal\\game.pal\r\n"
        "Transparent = 4294967295\r\n"
        "MainWidth = 230\r\n"
        "MainHeight = 310\r\n"
        "MainLeft = -8\r\n"
        "MainTop = 131\r\n"
        "FrameWidth = 201\r\n"
        "FrameHeight = 302\r\n"
        "FrameLeft = 663\r\n"
        "FrameTop = 115\r\n"
        "ViewWidth = 208\r\n"
        "ViewHeight = 370\r\n"
        "ViewLeft = 740\r\n"
        "ViewTop = -143\r\n"
        "PalLeft = 558\r\n"
        "PalTop = 118\r\n"
        "WholePal = 1\r\n"
        "SelCol = 200\r\n"
        "PalExp = -1\r\n"
        "Offset = 0\r\n"
        "OffsCol = 16711680\r\n");
}

TEST(SettingsFormat, EmptyPaletteKeepsTheBlankAfterTheEqualsSign)
{
    SettingsSnapshot s;
    s.WholePal = false;
    s.Offset = true;
    const std::string text = FormatFixedLines(s);
    EXPECT_EQ(text.substr(0, 12), "Palette = \r\n");
    EXPECT_NE(text.find("\r\nWholePal = 0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nOffset = 1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nSelCol = 0\r\n"), std::string::npos);
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 21u);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "no bare LF";
}

TEST_F(SettingsFileTest, WriterAddsOneLinePerStoredCelAndTheCount)
{
    SettingsSnapshot s;
    SettingsWriter writer;
    ASSERT_TRUE(writer.Begin(Path(), s));
    writer.AddUnnamed(true);
    writer.AddUnnamed(false);
    writer.AddUnnamed(true);
    EXPECT_EQ(writer.StoredCount(), 3u);
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(ReadText(Path()),
        FormatFixedLines(s) + "UnnHH0 = 1\r\nUnnHH1 = 0\r\nUnnHH2 = 1\r\nUnnamed = 3\r\n");
    // Only the settings file is left: the temporary file went into its place.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    SettingsWriter none;
    ASSERT_TRUE(none.Begin(Path(), s));
    ASSERT_TRUE(none.Finish());
    EXPECT_EQ(ReadText(Path()), FormatFixedLines(s) + "Unnamed = 0\r\n");
}

TEST_F(SettingsFileTest, WrittenFileReadsBackToTheSameValues)
{
    std::mt19937 random(4711);
    auto anyInt = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    for (int round = 0; round < 50; ++round) {
        SettingsSnapshot s;
        s.Palette = round % 5 == 0 ? "" : "pal" + std::to_string(round) + " with = and ; .pal";
        s.Transparent = static_cast<uint32_t>(random());
        s.Main = { anyInt(224, 3000), anyInt(300, 3000), anyInt(-3000, 3000), anyInt(-3000, 3000) };
        s.Frame
            = { anyInt(200, 3000), anyInt(300, 3000), anyInt(-3000, 3000), anyInt(-3000, 3000) };
        s.View = { anyInt(208, 3000), anyInt(370, 3000), anyInt(-3000, 3000), anyInt(-3000, 3000) };
        s.PalLeft = anyInt(INT32_MIN, INT32_MAX);
        s.PalTop = anyInt(INT32_MIN, INT32_MAX);
        s.WholePal = random() % 2 == 0;
        s.SelCol = static_cast<uint8_t>(random());
        s.PalExp = anyInt(0, 1);
        s.Offset = random() % 2 == 0;
        s.OffsCol = static_cast<uint32_t>(random());
        std::vector<bool> headers(random() % 6);
        for (size_t i = 0; i < headers.size(); ++i)
            headers[i] = random() % 2 == 0;
        ASSERT_TRUE(WriteSettings(Path(), s, headers));

        MainSettings main;
        main.Placement = MainDesign();
        ASSERT_TRUE(ReadMainSettings(Path(), main));
        EXPECT_EQ(main.Placement, s.Main);
        EXPECT_EQ(main.Unnamed, headers.size());
        EXPECT_EQ(main.UnnamedHeaders, headers);

        ViewerSettings viewer;
        viewer.Placement = ViewDesign();
        ASSERT_TRUE(ReadViewerSettings(Path(), viewer));
        EXPECT_EQ(viewer.Placement, s.View);
        EXPECT_EQ(viewer.PalExp, static_cast<uint32_t>(s.PalExp));
        EXPECT_EQ(viewer.Offset, s.Offset);
        EXPECT_EQ(viewer.OffsCol, s.OffsCol);

        PaletteSettings palette;
        ASSERT_TRUE(ReadPaletteSettings(Path(), palette));
        EXPECT_EQ(palette.Palette, s.Palette);
        EXPECT_EQ(palette.Transparent, s.Transparent);
        EXPECT_EQ(palette.Left, s.PalLeft);
        EXPECT_EQ(palette.Top, s.PalTop);
        EXPECT_EQ(palette.WholePal, s.WholePal);
        EXPECT_EQ(palette.SelCol, s.SelCol);

        WindowPlacement frame = FrameDesign();
        ASSERT_TRUE(ReadFrameSettings(Path(), frame));
        EXPECT_EQ(frame, s.Frame);
    }
}

TEST_F(SettingsFileTest, WithoutAReadableFileNothingIsTouched)
{
    const std::vector<std::string> unreadable = {
        dir.File("absent.ini"),
        dir.Path().string(), // a folder
    };
    WriteText(dir.File("blank.ini"), "Palette = x\r\n   \r\nSelCol = 3\r\n");
    WriteText(dir.File("inner.ini"), "Palette = x\r\nMain Width = 300\r\n");
    WriteText(dir.File("repeated.ini"), "SelCol = 1\r\nPalLeft = 5\r\nSelCol = 2\r\n");
    WriteText(dir.File("empty.ini"), "; nothing\r\n");
    std::vector<std::string> files = unreadable;
    for (const char* name : { "blank.ini", "inner.ini", "repeated.ini", "empty.ini" })
        files.push_back(dir.File(name));
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        MainSettings main;
        main.Placement = MainDesign();
        main.Unnamed = 9;
        EXPECT_FALSE(ReadMainSettings(file, main));
        EXPECT_EQ(main.Placement, MainDesign());
        EXPECT_EQ(main.Unnamed, 9u);

        ViewerSettings viewer;
        viewer.Placement = ViewDesign();
        viewer.OffsCol = 12345;
        EXPECT_FALSE(ReadViewerSettings(file, viewer));
        EXPECT_EQ(viewer.Placement, ViewDesign());
        EXPECT_EQ(viewer.OffsCol, 12345u);

        PaletteSettings palette;
        palette.Palette = "kept";
        EXPECT_FALSE(ReadPaletteSettings(file, palette));
        EXPECT_EQ(palette.Palette, "kept");
        EXPECT_EQ(palette.SelCol, 255);
        EXPECT_EQ(palette.Left, 558);

        WindowPlacement frame = FrameDesign();
        EXPECT_FALSE(ReadFrameSettings(file, frame));
        EXPECT_EQ(frame, FrameDesign());
    }
}

TEST_F(SettingsFileTest, RejectedValueFallsBackToItsOwnDefaultOnly)
{
    SettingsSnapshot s;
    s.Main = { 300, 400, -20, 50 };
    s.PalExp = -1; // written when the bits-per-pixel list had no selection
    s.SelCol = 9;
    ASSERT_TRUE(WriteSettings(Path(), s, {}));
    std::string text = ReadText(Path());
    const std::string width = "MainWidth = 300\r\n";
    text.replace(text.find(width), width.size(), "MainWidth = 300 ; wide\r\n");
    const std::string top = "MainTop = 50\r\n";
    text.replace(text.find(top), top.size(), "MainTop = +50\r\n");
    const std::string selected = "SelCol = 9\r\n";
    text.replace(text.find(selected), selected.size(), "SelCol = -9\r\n");
    WriteText(Path(), text);

    MainSettings main;
    main.Placement = MainDesign();
    ASSERT_TRUE(ReadMainSettings(Path(), main));
    EXPECT_EQ(main.Placement, (WindowPlacement { 224, 400, -20, 131 }));

    ViewerSettings viewer;
    viewer.PalExp = 0;
    ASSERT_TRUE(ReadViewerSettings(Path(), viewer));
    EXPECT_EQ(viewer.PalExp, 0u) << "'PalExp = -1' reads back as the default";

    PaletteSettings palette;
    ASSERT_TRUE(ReadPaletteSettings(Path(), palette));
    EXPECT_EQ(palette.SelCol, 255) << "a rejected SelCol takes its default";
}

TEST_F(SettingsFileTest, MissingKeysKeepTheirDefaultsAndCheckBoxesOnlyTick)
{
    WriteText(Path(),
        "Palette = \r\nWholePal = 0\r\nOffset = 0\r\nSelCol = 511\r\n"
        "Transparent = \r\nUnnamed = 3\r\nUnnHH1 = 7\r\nUnnHH2 = x\r\n");
    PaletteSettings palette;
    palette.Palette = "default.pal";
    palette.WholePal = true; // as designed by the caller: a 0 does not untick it
    ASSERT_TRUE(ReadPaletteSettings(Path(), palette));
    EXPECT_EQ(palette.Palette, "") << "an empty value is found and returned";
    EXPECT_TRUE(palette.WholePal);
    EXPECT_EQ(palette.SelCol, 255) << "low byte of 511";
    EXPECT_EQ(palette.Transparent, 16777215u) << "empty value: default";
    EXPECT_EQ(palette.Left, 558);
    EXPECT_EQ(palette.Top, 118);

    ViewerSettings viewer;
    viewer.Offset = true;
    viewer.Placement = ViewDesign();
    ASSERT_TRUE(ReadViewerSettings(Path(), viewer));
    EXPECT_TRUE(viewer.Offset);
    EXPECT_EQ(viewer.Placement, ViewDesign());

    MainSettings main;
    main.UnnamedHeaders = { true, true, true, true, true };
    ASSERT_TRUE(ReadMainSettings(Path(), main));
    EXPECT_EQ(main.Unnamed, 3u);
    EXPECT_EQ(main.UnnamedHeaders, (std::vector<bool> { false, true, false }));
}

TEST_F(SettingsFileTest, HugeUnnamedCountIsBounded)
{
    WriteText(Path(), "Unnamed = 4294967295\r\nUnnHH0 = 1\r\n");
    MainSettings main;
    ASSERT_TRUE(ReadMainSettings(Path(), main));
    EXPECT_EQ(main.Unnamed, MaxStoredUnnamed);
    ASSERT_EQ(main.UnnamedHeaders.size(), MaxStoredUnnamed);
    EXPECT_TRUE(main.UnnamedHeaders[0]);
    EXPECT_FALSE(main.UnnamedHeaders[1]);
}

TEST_F(SettingsFileTest, FailedWritesLeaveThePreviousFileInPlace)
{
    WriteText(Path(), "Palette = old\r\n");
    SettingsSnapshot s;
    s.Palette = "new";

    // Destroyed without Finish, as when closing is cut short.
    {
        SettingsWriter writer;
        ASSERT_TRUE(writer.Begin(Path(), s));
        writer.AddUnnamed(true);
    }
    EXPECT_EQ(ReadText(Path()), "Palette = old\r\n");

    // A disk that fills up while the stored CELs are listed.
    AtomicFileWriter::SetFailAfterBytesForTesting(
        static_cast<int64_t>(FormatFixedLines(s).size()) + 4);
    {
        SettingsWriter writer;
        const bool begun = writer.Begin(Path(), s);
        writer.AddUnnamed(false);
        const bool finished = writer.Finish();
        AtomicFileWriter::SetFailAfterBytesForTesting(-1);
        EXPECT_TRUE(begun);
        EXPECT_FALSE(finished);
    }
    // A disk already full: Begin fails, as for a file that cannot be created.
    AtomicFileWriter::SetFailAfterBytesForTesting(10);
    {
        SettingsWriter writer;
        const bool begun = writer.Begin(Path(), s);
        AtomicFileWriter::SetFailAfterBytesForTesting(-1);
        EXPECT_FALSE(begun);
        EXPECT_FALSE(writer.Finish());
    }
    EXPECT_EQ(ReadText(Path()), "Palette = old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "no temporary file is left behind";
}

TEST_F(SettingsFileTest, FileThatCannotBeCreatedStoresNothing)
{
    SettingsSnapshot s;
    SettingsWriter writer;
    const std::string path = dir.File("missing-folder/Vornix.ini");
    EXPECT_FALSE(writer.Begin(path, s));
    writer.AddUnnamed(true);
    EXPECT_EQ(writer.StoredCount(), 0u);
    EXPECT_FALSE(writer.Finish());
    EXPECT_FALSE(std::filesystem::exists(path));
    // A folder standing where the file should be is never replaced.
    std::filesystem::create_directory(Path());
    SettingsWriter blocked;
    EXPECT_FALSE(blocked.Begin(Path(), s));
    EXPECT_TRUE(std::filesystem::is_directory(Path()));
}

TEST_F(SettingsFileTest, WriterCanBeReused)
{
    SettingsSnapshot s;
    SettingsWriter writer;
    ASSERT_TRUE(writer.Begin(Path(), s));
    writer.AddUnnamed(true);
    ASSERT_TRUE(writer.Finish());
    ASSERT_TRUE(writer.Begin(Path(), s));
    EXPECT_EQ(writer.StoredCount(), 0u);
    writer.AddUnnamed(false);
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(ReadText(Path()), FormatFixedLines(s) + "UnnHH0 = 0\r\nUnnamed = 1\r\n");
}

} // namespace
