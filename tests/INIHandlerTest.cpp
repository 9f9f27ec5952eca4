#include "settings/INIHandler.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string RowWithoutEquals = "Row without \"=\"";

std::vector<uint8_t> Bytes(const std::string& text)
{
    return { text.begin(), text.end() };
}

class INIFileTest : public ::testing::Test {
protected:
    std::string WriteFile(const std::string& text, const std::string& name = "test.ini")
    {
        const std::string path = dir.File(name);
        WriteBytes(path, Bytes(text));
        return path;
    }

    TempDir dir;
};

// ---------------------------------------------------------------------------------------------
// The line rule

struct LineCase {
    std::string line;
    LineKind kind;
    std::string normal; // the rewritten line (Entry, Group) or the error text (Bad)
};

void ExpectLine(const LineCase& c, bool valueComments = false)
{
    SCOPED_TRACE("line '" + c.line + "'");
    INIToRead reader;
    reader.ValueComments = valueComments;
    reader.LastError = "untouched";
    std::string line = c.line;
    const LineKind kind = reader.ParseLine(line);
    EXPECT_EQ(static_cast<int>(kind), static_cast<int>(c.kind));
    if (c.kind == LineKind::Bad) {
        EXPECT_EQ(reader.LastError, c.normal);
    } else {
        EXPECT_EQ(reader.LastError, "untouched") << "only a bad line sets the error text";
        if (c.kind != LineKind::Skip) {
            EXPECT_EQ(line, c.normal);
        }
    }
}

TEST(INIParseLine, SkipsEmptyLinesAndComments)
{
    for (const LineCase& c : std::vector<LineCase> {
             { "", LineKind::Skip, "" },
             { ";", LineKind::Skip, "" },
             { "; a comment = with [brackets]", LineKind::Skip, "" },
             { "   ;indented comment", LineKind::Skip, "" },
         })
        ExpectLine(c);
}

TEST(INIParseLine, LineOfBlanksIsAnEntryWithoutEquals)
{
    for (const LineCase& c : std::vector<LineCase> {
             { " ", LineKind::Bad, RowWithoutEquals },
             { "   ", LineKind::Bad, RowWithoutEquals },
             { "MainWidth", LineKind::Bad, RowWithoutEquals },
             { "  MainWidth 300", LineKind::Bad, RowWithoutEquals },
         })
        ExpectLine(c);
}

TEST(INIParseLine, EntryLinesAreNormalised)
{
    for (const LineCase& c : std::vector<LineCase> {
             { "MainWidth=300", LineKind::Entry, "MainWidth=300" },
             { "MainWidth = 300", LineKind::Entry, "MainWidth=300" },
             { "  MainWidth   =   300  ", LineKind::Entry, "MainWidth=300" },
             { "Palette = ", LineKind::Entry, "Palette" },
             { "Palette=", LineKind::Entry, "Palette" },
             { "Key = a=b", LineKind::Entry, "Key=a=b" },
             { "Key = 5 ; note", LineKind::Entry, "Key=5 ; note" },
             { "Key = two  words", LineKind::Entry, "Key=two  words" },
             { "K=-", LineKind::Entry, "K=-" },
             // The tab is an ordinary character, in names and values alike.
             { "\tKey\t=\t1\t", LineKind::Entry, "\tKey\t=\t1\t" },
             { "Key = \t", LineKind::Entry, "Key=\t" },
             { std::string("K\0y=v\0", 6), LineKind::Entry, std::string("K\0y=v\0", 6) },
         })
        ExpectLine(c);
}

TEST(INIParseLine, RejectsBadEntryNames)
{
    for (const LineCase& c : std::vector<LineCase> {
             { "=5", LineKind::Bad, "Void entry name" },
             { "   = 5", LineKind::Bad, "Void entry name" },
             { "Main Width = 300", LineKind::Bad, "Invalid entry name" },
             { "a;b = 1", LineKind::Bad, "Invalid entry name" },
             { "a[b = 1", LineKind::Bad, "Invalid entry name" },
             { "a]b = 1", LineKind::Bad, "Invalid entry name" },
             { "]a = 1", LineKind::Bad, "Invalid entry name" },
         })
        ExpectLine(c);
}

TEST(INIParseLine, GroupLines)
{
    for (const LineCase& c : std::vector<LineCase> {
             { "[Main]", LineKind::Group, "Main" },
             { "  [Main]   ", LineKind::Group, "Main" },
             { "[Main]   ; trailing comment", LineKind::Group, "Main" },
             { "[Main];", LineKind::Group, "Main" },
             { "[Ma\tin]", LineKind::Group, "Ma\tin" },
             { "[Main", LineKind::Bad, "Unfinished group name" },
             { "[", LineKind::Bad, "Unfinished group name" },
             { "[]", LineKind::Bad, "Void group name" },
             { "[] ; comment", LineKind::Bad, "Void group name" },
             { "[ Main ]", LineKind::Bad, "Invalid group name" },
             { "[Ma;in]", LineKind::Bad, "Invalid group name" },
             { "[Ma=in]", LineKind::Bad, "Invalid group name" },
             { "[Ma[in]", LineKind::Bad, "Invalid group name" },
             { "[Main] x", LineKind::Bad, "Garbage after a group name" },
             { "[Main]]", LineKind::Bad, "Garbage after a group name" },
             { "[Main]=1", LineKind::Bad, "Garbage after a group name" },
         })
        ExpectLine(c);
}

TEST(INIParseLine, ValueCommentsEndTheValueAtTheFirstSemicolonAfterItsStart)
{
    for (const LineCase& c : std::vector<LineCase> {
             { "Key = 5 ; note", LineKind::Entry, "Key=5 " },
             { "Key = 5;note", LineKind::Entry, "Key=5" },
             { "Key = ;x;y", LineKind::Entry, "Key=;x" },
             { "Key = 5   ", LineKind::Entry, "Key=5" },
             { "Key = a=b", LineKind::Entry, "Key=a=b" },
         })
        ExpectLine(c, true);
}

TEST(INIParseLine, NameRule)
{
    EXPECT_TRUE(INIToRead::IsValidName("MainWidth"));
    EXPECT_TRUE(INIToRead::IsValidName("a\tb"));
    EXPECT_TRUE(INIToRead::IsValidName(std::string_view("a\0b", 3)));
    EXPECT_TRUE(INIToRead::IsValidName("\xff\x80"));
    EXPECT_FALSE(INIToRead::IsValidName(""));
    for (char forbidden : std::string(" ;=[]")) {
        EXPECT_FALSE(INIToRead::IsValidName(std::string("ab") + forbidden + "cd")) << forbidden;
        EXPECT_FALSE(INIToRead::IsValidName(std::string(1, forbidden))) << forbidden;
    }
}

// ---------------------------------------------------------------------------------------------
// Open: validation and errors

struct OpenFailure {
    std::string text;
    std::string error;
};

TEST_F(INIFileTest, OpenRejectsTheWholeFileWithTheRightText)
{
    for (const OpenFailure& c : std::vector<OpenFailure> {
             { "", "File does not contain any entry" },
             { "; only\r\n\r\n[Group]\r\n; comments\r\n[Other]\r\n",
                 "File does not contain any entry" },
             { "A = 1\r\n   \r\nB = 2\r\n", RowWithoutEquals },
             { "A = 1\r\nB\r\n", RowWithoutEquals },
             { "A = 1\r\n= 2\r\n", "Void entry name" },
             { "A = 1\r\nMain Width = 2\r\n", "Invalid entry name" },
             { "A = 1\r\n[Main\r\n", "Unfinished group name" },
             { "A = 1\r\n[]\r\n", "Void group name" },
             { "A = 1\r\n[ Main ]\r\n", "Invalid group name" },
             { "A = 1\r\n[Main] x\r\n", "Garbage after a group name" },
             { "SelCol = 1\r\nSelCol = 2\r\n", "Repeating entry name" },
             { "[G]\r\nA = 1\r\nB = 2\r\nA = 3\r\n", "Repeating entry name" },
             { "[G]\r\nA = 1\r\n[H]\r\nB = 1\r\n[G]\r\nC = 1\r\n", "Repeating group name" },
             // A name repeated with an empty value is still the same name.
             { "A = \r\nA = 1\r\n", "Repeating entry name" },
             // Malformed lines are found before repeated names, wherever they stand.
             { "A = 1\r\nA = 2\r\n[x\r\n", "Unfinished group name" },
             // The first malformed line decides the text.
             { "A = 1\r\n[]\r\n= 1\r\n", "Void group name" },
             { "A = 1\r\n= 1\r\n[]\r\n", "Void entry name" },
             // The first repeat decides between the two repeat texts.
             { "[G]\r\nA = 1\r\nA = 1\r\n[G]\r\nB = 1\r\n", "Repeating entry name" },
             { "[G]\r\nA = 1\r\n[G]\r\nB = 1\r\nB = 1\r\n", "Repeating group name" },
         }) {
        SCOPED_TRACE(c.text);
        INIToRead reader;
        EXPECT_FALSE(reader.Open(WriteFile(c.text)));
        EXPECT_EQ(reader.LastError, c.error);
        EXPECT_FALSE(reader.Loaded);
        EXPECT_TRUE(reader.EntryNames.empty());
        EXPECT_TRUE(reader.GroupNames.empty());
        // A failed reader answers every lookup with the default and does not crash.
        EXPECT_EQ(reader.GetInteger("A", 77), 77);
        EXPECT_EQ(reader.GetString("A", "d"), "d");
    }
}

TEST_F(INIFileTest, OpenOfAMissingFileOrAFolderCannotRead)
{
    INIToRead reader;
    EXPECT_FALSE(reader.Open(dir.File("absent.ini")));
    EXPECT_EQ(reader.LastError, "Cannot read INI file");
    INIToRead folder;
    EXPECT_FALSE(folder.Open(dir.Path().string()));
    EXPECT_EQ(folder.LastError, "Cannot read INI file");
}

TEST_F(INIFileTest, SameNameInDifferentSectionsIsAccepted)
{
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile("A = 1\r\n[G]\r\nA = 2\r\n[H]\r\nA = 3\r\n")))
        << reader.LastError;
    EXPECT_EQ(reader.GetInteger("A", 0), 1);
}

TEST_F(INIFileTest, OpenIndexesSectionsInFileOrder)
{
    INIToRead reader;
    reader.LastError = "stale";
    ASSERT_TRUE(reader.Open(WriteFile("; head\r\nG1 = x\r\nG2 = \r\n\r\n[First] ; c\r\n"
                                      "A = 1\r\nB = 2\r\nC = 3\r\n[Empty]\r\n[Last]\r\nZ = 9")));
    EXPECT_EQ(reader.LastError, "");
    EXPECT_TRUE(reader.Loaded);
    EXPECT_EQ(reader.NumGroups, 3u);
    EXPECT_EQ(reader.NumGlobal, 2u);
    EXPECT_EQ(reader.GroupNames, (std::vector<std::string> { "First", "Empty", "Last" }));
    EXPECT_EQ(reader.GroupStart, (std::vector<uint32_t> { 2, 5, 5 }));
    EXPECT_EQ(reader.GroupSize, (std::vector<uint32_t> { 3, 0, 1 }));
    EXPECT_EQ(reader.EntryNames, (std::vector<std::string> { "G1", "G2", "A", "B", "C", "Z" }));
    EXPECT_EQ(reader.EntryValues, (std::vector<std::string> { "x", "", "1", "2", "3", "9" }));
    EXPECT_EQ(reader.CurrentGroup, reader.NumGroups) << "global entries exist";
}

TEST_F(INIFileTest, LineEndsOfEveryKindReadAlike)
{
    const std::vector<std::string> files = {
        "A = 1\r\nB = two\r\n[G]\r\nC = 3\r\n",
        "A = 1\nB = two\n[G]\nC = 3\n",
        "A = 1\r\nB = two\n[G]\r\nC = 3",
        "A = 1\nB = two\r\n[G]\nC = 3\r",
    };
    for (const std::string& text : files) {
        SCOPED_TRACE(text);
        INIToRead reader;
        ASSERT_TRUE(reader.Open(WriteFile(text))) << reader.LastError;
        EXPECT_EQ(reader.EntryNames, (std::vector<std::string> { "A", "B", "C" }));
        EXPECT_EQ(reader.EntryValues, (std::vector<std::string> { "1", "two", "3" }));
        EXPECT_EQ(reader.GroupNames, (std::vector<std::string> { "G" }));
    }
}

TEST_F(INIFileTest, LookupsSearchGlobalEntriesOrElseTheFirstGroupOnly)
{
    INIToRead withGlobal;
    ASSERT_TRUE(withGlobal.Open(WriteFile("A = 1\r\n[G]\r\nB = 2\r\n")));
    EXPECT_EQ(withGlobal.GetInteger("A", -1), 1);
    EXPECT_EQ(withGlobal.GetInteger("B", -1), -1);
    EXPECT_EQ(withGlobal.LastError, "Entry is not found");

    INIToRead firstGroup;
    ASSERT_TRUE(firstGroup.Open(WriteFile("; none global\r\n[G]\r\nB = 2\r\n[H]\r\nC = 3\r\n")));
    EXPECT_EQ(firstGroup.CurrentGroup, 0u);
    EXPECT_EQ(firstGroup.GetInteger("B", -1), 2);
    EXPECT_EQ(firstGroup.GetInteger("C", -1), -1) << "later groups are never searched";

    INIToRead emptyFirstGroup;
    ASSERT_TRUE(emptyFirstGroup.Open(WriteFile("[G]\r\n[H]\r\nC = 3\r\n")));
    EXPECT_EQ(emptyFirstGroup.GetString("C", "d"), "d");
    EXPECT_EQ(emptyFirstGroup.LastError, "Value is not found");
}

TEST_F(INIFileTest, NamesCompareByteForByte)
{
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile("mainwidth = 5\r\nMainWidth  = 7\r\n")));
    EXPECT_EQ(reader.GetInteger("MainWidth", 0), 7);
    EXPECT_EQ(reader.GetInteger("mainwidth", 0), 5);
    EXPECT_EQ(reader.GetInteger("MAINWIDTH", 0), 0);
    EXPECT_EQ(reader.GetInteger("MainWidth ", 0), 0);
}

// ---------------------------------------------------------------------------------------------
// Getters

class INIGetterTest : public INIFileTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(reader.Open(WriteFile("Width = 300\r\n"
                                          "Left = -8\r\n"
                                          "Zero = 0\r\n"
                                          "Empty = \r\n"
                                          "Dash = -\r\n"
                                          "Plus = +5\r\n"
                                          "Spaced = 5 ; note\r\n"
                                          "TwoDashes = --5\r\n"
                                          "Inner = 1-2\r\n"
                                          "Max = 4294967295\r\n"
                                          "Wrap = 4294967296\r\n"
                                          "IntMin = -2147483648\r\n"
                                          "Above = 2147483648\r\n"
                                          "Text = a=b ; c\r\n")))
            << reader.LastError;
    }

    INIToRead reader;
};

TEST_F(INIGetterTest, GetIntegerReadsOptionalMinusAndDigits)
{
    EXPECT_EQ(reader.GetInteger("Width", 1), 300);
    EXPECT_EQ(reader.GetInteger("Left", 1), -8);
    EXPECT_EQ(reader.GetInteger("Zero", 1), 0);
    EXPECT_EQ(reader.GetInteger("IntMin", 1), INT32_MIN);
    // No range check: 32-bit arithmetic that wraps.
    EXPECT_EQ(reader.GetInteger("Max", 1), -1);
    EXPECT_EQ(reader.GetInteger("Wrap", 1), 0);
    EXPECT_EQ(reader.GetInteger("Above", 1), INT32_MIN);
}

TEST_F(INIGetterTest, GetIntegerFallsBackWithTheRightText)
{
    struct Case {
        std::string name;
        std::string error;
    };
    for (const Case& c : std::vector<Case> { { "Missing", "Entry is not found" },
             { "width", "Entry is not found" }, { "Empty", "Value is empty" },
             { "Dash", "Value is empty" }, { "Plus", "Value is not integer" },
             { "Spaced", "Value is not integer" }, { "TwoDashes", "Value is not integer" },
             { "Inner", "Value is not integer" }, { "Text", "Value is not integer" } }) {
        reader.LastError.clear();
        EXPECT_EQ(reader.GetInteger(c.name, -77), -77) << c.name;
        EXPECT_EQ(reader.LastError, c.error) << c.name;
    }
}

TEST_F(INIGetterTest, GetPositiveReadsDigitsOnly)
{
    EXPECT_EQ(reader.GetPositive("Width", 1), 300u);
    EXPECT_EQ(reader.GetPositive("Zero", 1), 0u);
    EXPECT_EQ(reader.GetPositive("Max", 1), 4294967295u);
    EXPECT_EQ(reader.GetPositive("Wrap", 1), 0u);
    struct Case {
        std::string name;
        std::string error;
    };
    for (const Case& c :
        std::vector<Case> { { "Missing", "Entry is not found" }, { "Empty", "Value is empty" },
            { "Dash", "Value is empty" }, { "Left", "Value is not a positive integer" },
            { "IntMin", "Value is not a positive integer" },
            { "Plus", "Value is not a positive integer" },
            { "Spaced", "Value is not a positive integer" } }) {
        reader.LastError.clear();
        EXPECT_EQ(reader.GetPositive(c.name, 77u), 77u) << c.name;
        EXPECT_EQ(reader.LastError, c.error) << c.name;
    }
}

TEST_F(INIGetterTest, EmptyIsZeroTurnsOnlyEmptyValuesIntoZero)
{
    reader.EmptyIsZero = true;
    EXPECT_EQ(reader.GetInteger("Empty", 5), 0);
    EXPECT_EQ(reader.LastError, "Value is empty");
    EXPECT_EQ(reader.GetInteger("Dash", 5), 0);
    EXPECT_EQ(reader.GetPositive("Empty", 5), 0u);
    EXPECT_EQ(reader.GetPositive("Dash", 5), 0u);
    EXPECT_EQ(reader.GetInteger("Missing", 5), 5);
    EXPECT_EQ(reader.GetInteger("Plus", 5), 5);
}

TEST_F(INIGetterTest, GetStringReturnsTheStoredValue)
{
    reader.LastError = "earlier";
    EXPECT_EQ(reader.GetString("Empty", "default"), "");
    EXPECT_EQ(reader.GetString("Dash", "default"), "-");
    EXPECT_EQ(reader.GetString("Text", "default"), "a=b ; c");
    EXPECT_EQ(reader.LastError, "earlier") << "a successful lookup keeps the last error";
    EXPECT_EQ(reader.GetInteger("Width", 0), 300);
    EXPECT_EQ(reader.LastError, "earlier");
    EXPECT_EQ(reader.GetString("Missing", "default"), "default");
    EXPECT_EQ(reader.LastError, "Value is not found");
}

// ---------------------------------------------------------------------------------------------
// Life cycle

TEST_F(INIFileTest, CloseReleasesAndLookupsAfterItFindNothing)
{
    INIToRead never;
    never.Close();
    EXPECT_EQ(never.LastError, "File is not open");
    EXPECT_EQ(never.GetInteger("A", 4), 4);

    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile("A = 1\r\n[G]\r\nB = 2\r\n")));
    reader.Close();
    EXPECT_EQ(reader.LastError, "");
    EXPECT_TRUE(reader.EntryNames.empty());
    EXPECT_TRUE(reader.GroupStart.empty());
    EXPECT_TRUE(reader.Loaded) << "Close leaves Loaded as it was";
    // Regression: a lookup after Close once indexed the released arrays.
    EXPECT_EQ(reader.GetInteger("A", 4), 4);
    EXPECT_EQ(reader.LastError, "Entry is not found");
    reader.Close();
    EXPECT_EQ(reader.LastError, "Entry is not found") << "a loaded reader may be closed twice";
}

TEST_F(INIFileTest, ReopeningReplacesTheContents)
{
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile("[G]\r\nA = 1\r\n[H]\r\nB = 2\r\n", "one.ini")));
    ASSERT_TRUE(reader.Open(WriteFile("C = 3\r\n", "two.ini")));
    EXPECT_EQ(reader.NumGroups, 0u);
    EXPECT_EQ(reader.EntryNames, std::vector<std::string> { "C" });
    EXPECT_EQ(reader.GetInteger("A", -1), -1);
    EXPECT_EQ(reader.GetInteger("C", -1), 3);

    // Regression: the group count of a failed counting pass once carried into the next Open.
    INIToRead failed;
    EXPECT_FALSE(failed.Open(WriteFile("[G]\r\n[H]\r\nbad\r\n", "bad.ini")));
    ASSERT_TRUE(failed.Open(dir.File("two.ini")));
    EXPECT_EQ(failed.NumGroups, 0u);
    EXPECT_EQ(failed.GroupNames.size(), 0u);
    EXPECT_EQ(failed.GetInteger("C", -1), 3);
}

// ---------------------------------------------------------------------------------------------
// Hashed duplicate check and lookup against plain scans, on random files

struct ModelResult {
    std::string error; // empty when the file is accepted
    std::vector<std::string> searched; // names of the section lookups search
    std::vector<std::string> values;
};

// Obviously right model of a file of entry and group lines: compares each name with every
// earlier one of its section, and each group name with every earlier group name.
ModelResult Model(const std::vector<std::pair<bool, std::string>>& lines)
{
    std::vector<std::vector<std::string>> sectionNames(1);
    std::vector<std::vector<std::string>> sectionValues(1);
    std::vector<std::string> groups;
    for (const auto& [isGroup, text] : lines) {
        if (isGroup) {
            for (const std::string& earlier : groups)
                if (earlier == text)
                    return { "Repeating group name", {}, {} };
            groups.push_back(text);
            sectionNames.emplace_back();
            sectionValues.emplace_back();
            continue;
        }
        const std::string name = text.substr(0, text.find('='));
        for (const std::string& earlier : sectionNames.back())
            if (earlier == name)
                return { "Repeating entry name", {}, {} };
        sectionNames.back().push_back(name);
        sectionValues.back().push_back(text.substr(text.find('=') + 1));
    }
    size_t total = 0;
    for (const auto& names : sectionNames)
        total += names.size();
    if (total == 0)
        return { "File does not contain any entry", {}, {} };
    const size_t chosen = !sectionNames[0].empty() ? 0 : 1;
    return { "", sectionNames[chosen], sectionValues[chosen] };
}

TEST_F(INIFileTest, RandomFilesAgreeWithPlainScans)
{
    std::mt19937 random(20240611);
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<std::pair<bool, std::string>> lines;
        std::string text;
        const int sections = static_cast<int>(random() % 4);
        for (int s = 0; s <= sections; ++s) {
            if (s > 0 || random() % 3 == 0) {
                const std::string group = "G" + std::to_string(random() % 6);
                lines.emplace_back(true, group);
                text += "[" + group + "]\r\n";
            }
            // Sections beyond the plain-scan limit use the hash index.
            const uint32_t entries = random() % 90;
            const uint32_t nameSpace = random() % 2 == 0 ? 8000u : 400u;
            for (uint32_t i = 0; i < entries; ++i) {
                const std::string name = "k" + std::to_string(random() % nameSpace);
                const std::string value = std::to_string(random() % 1000);
                lines.emplace_back(false, name + "=" + value);
                text += name + " = " + value + "\r\n";
                if (random() % 10 == 0)
                    text += "; comment\r\n\r\n";
            }
        }
        const ModelResult expected = Model(lines);
        INIToRead reader;
        const bool opened = reader.Open(WriteFile(text));
        ASSERT_EQ(opened, expected.error.empty()) << reader.LastError;
        if (!opened) {
            EXPECT_EQ(reader.LastError, expected.error);
            continue;
        }
        ++accepted;
        for (size_t i = 0; i < expected.searched.size(); ++i) {
            const uint32_t index = reader.FindEntry(expected.searched[i]);
            ASSERT_NE(index, 0u) << expected.searched[i];
            EXPECT_EQ(reader.EntryNames[index - 1], expected.searched[i]);
            EXPECT_EQ(reader.EntryValues[index - 1], expected.values[i]);
        }
        for (uint32_t probe = 0; probe < 50; ++probe) {
            const std::string name = "k" + std::to_string(random() % 8000);
            const bool present = std::find(expected.searched.begin(), expected.searched.end(), name)
                != expected.searched.end();
            EXPECT_EQ(reader.FindEntry(name) != 0, present) << name;
        }
    }
    // The generator must produce both verdicts for the comparison to mean anything.
    EXPECT_GT(accepted, 30);
    EXPECT_LT(accepted, 270);
}

// ---------------------------------------------------------------------------------------------
// Hostile files

TEST_F(INIFileTest, BinaryGarbageIsRejectedOrReadSoundly)
{
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> bytes(1 + random() % 200000);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        const std::string path = dir.File("garbage.ini");
        WriteBytes(path, bytes);
        INIToRead reader;
        if (reader.Open(path)) {
            EXPECT_EQ(reader.NumGlobal
                    + std::accumulate(reader.GroupSize.begin(), reader.GroupSize.end(), 0u),
                reader.EntryNames.size());
        } else {
            EXPECT_FALSE(reader.LastError.empty());
        }
    }
}

TEST_F(INIFileTest, NulBytesAreOrdinaryCharacters)
{
    const std::string value("a\0b\0", 4);
    const std::string name("N\0m", 3);
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile(name + " = " + value + "\r\nOther = 1\r\n")));
    EXPECT_EQ(reader.GetString(name, "d"), value);
    EXPECT_EQ(reader.GetString("N", "d"), "d");
    EXPECT_EQ(reader.GetInteger("Other", 0), 1);
}

TEST_F(INIFileTest, SingleHugeLine)
{
    const size_t size = 50u * 1024 * 1024;
    std::string text = "Key = ";
    text.append(size, 'v');
    {
        INIToRead reader;
        ASSERT_TRUE(reader.Open(WriteFile(text)));
        const std::string value = reader.GetString("Key", "");
        EXPECT_EQ(value.size(), size);
        EXPECT_EQ(value.find_first_not_of('v'), std::string::npos);
    }
    text[4] = 'x'; // no "=" left
    INIToRead reader;
    EXPECT_FALSE(reader.Open(WriteFile(text)));
    EXPECT_EQ(reader.LastError, RowWithoutEquals);
}

TEST_F(INIFileTest, FileAboveTheSizeLimitCannotBeRead)
{
    const std::string path = WriteFile("Key = v");
    std::filesystem::resize_file(path, INIToRead::MaxFileSize + 1);
    INIToRead reader;
    EXPECT_FALSE(reader.Open(path));
    EXPECT_EQ(reader.LastError, "Cannot read INI file");
}

TEST_F(INIFileTest, TenMegabytesOfDistinctEntriesOpenInLinearTime)
{
    // About a million entries: a duplicate check against every earlier entry would not end.
    std::string text;
    uint32_t count = 0;
    while (text.size() < 10u * 1024 * 1024) {
        text += "k" + std::to_string(count) + "=" + std::to_string(count % 97) + "\n";
        ++count;
    }
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile(text))) << reader.LastError;
    EXPECT_EQ(reader.NumGlobal, count);
    EXPECT_EQ(reader.GetInteger("k0", -1), 0);
    EXPECT_EQ(reader.GetInteger("k" + std::to_string(count - 1), -1),
        static_cast<int32_t>((count - 1) % 97));
    EXPECT_EQ(reader.GetInteger("k" + std::to_string(count), -1), -1);

    // A shorter one with its first name repeated at the very end.
    text.resize(text.find("\nk100000=") + 1);
    INIToRead repeated;
    EXPECT_FALSE(repeated.Open(WriteFile(text + "k0=5\n")));
    EXPECT_EQ(repeated.LastError, "Repeating entry name");
}

TEST_F(INIFileTest, ManySmallGroupsAfterALargeSection)
{
    // Regression: emptying a large section's name set once cost its full size per group.
    std::string text;
    const uint32_t count = 100000;
    for (uint32_t i = 0; i < count; ++i)
        text += "k" + std::to_string(i) + "=1\n";
    for (uint32_t i = 0; i < count; ++i)
        text += "[g" + std::to_string(i) + "]\nk=1\n";
    INIToRead reader;
    ASSERT_TRUE(reader.Open(WriteFile(text))) << reader.LastError;
    EXPECT_EQ(reader.NumGroups, count);
    EXPECT_EQ(reader.NumGlobal, count);
    EXPECT_EQ(reader.GroupStart.back(), 2 * count - 1);
}

} // namespace
