// End-to-end tests of vornix-cel: the built program is run on files generated here, and what it
// prints and writes is checked against the core read in-process.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <tuple>

#include "CelToolSupport.h"
#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "bitmaps/GIFHandler.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "cel/CELHandler.h"
#include "cel/GroupedFile.h"

namespace {

// --- A small, independent JSON reader: rejects anything that is not valid JSON -----------

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } Type = Null;
    double Value = 0;
    std::string Text;
    std::vector<Json> Items;
    std::vector<std::pair<std::string, Json>> Members;

    const Json& operator[](const std::string& key) const
    {
        for (const auto& [name, value] : Members)
            if (name == key)
                return value;
        throw std::runtime_error("no member " + key);
    }
    const Json& operator[](size_t i) const { return Items.at(i); }
    long long Int() const { return static_cast<long long>(Value); }
};

void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 63));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 63));
        out += static_cast<char>(0x80 | (code & 63));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 63));
        out += static_cast<char>(0x80 | (code >> 6 & 63));
        out += static_cast<char>(0x80 | (code & 63));
    }
}

class JsonReader {
public:
    explicit JsonReader(std::string text)
        : s(std::move(text))
    {
    }
    Json ParseDocument()
    {
        Json value = ParseValue();
        Skip();
        Expect(pos == s.size());
        return value;
    }

private:
    std::string s;
    size_t pos = 0;

    static void Expect(bool condition)
    {
        if (!condition)
            throw std::runtime_error("invalid JSON");
    }
    void Skip()
    {
        while (
            pos < s.size() && (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            ++pos;
    }
    bool Take(char c)
    {
        Skip();
        if (pos < s.size() && s[pos] == c)
            return ++pos, true;
        return false;
    }
    uint32_t Hex4()
    {
        Expect(pos + 4 <= s.size());
        for (size_t i = 0; i < 4; ++i)
            Expect(std::isxdigit(static_cast<unsigned char>(s[pos + i])) != 0);
        uint32_t value = static_cast<uint32_t>(std::stoul(s.substr(pos, 4), nullptr, 16));
        pos += 4;
        return value;
    }
    // Decodes one UTF-8 character of the raw text, refusing overlong forms and surrogates.
    void CopyUtf8(std::string& out)
    {
        unsigned char lead = static_cast<unsigned char>(s[pos]);
        int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        Expect(extra > 0 && lead < 0xF5 && pos + static_cast<size_t>(extra) < s.size());
        uint32_t code = lead & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i) {
            unsigned char next = static_cast<unsigned char>(s[pos + static_cast<size_t>(i)]);
            Expect((next & 0xC0) == 0x80);
            code = code << 6 | (next & 63);
        }
        static const uint32_t minimum[] = { 0, 0x80, 0x800, 0x10000 };
        Expect(code >= minimum[extra] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF));
        out.append(s, pos, static_cast<size_t>(extra) + 1);
        pos += static_cast<size_t>(extra) + 1;
    }
    std::string ParseString()
    {
        Expect(Take('"'));
        std::string out;
        while (true) {
            Expect(pos < s.size());
            unsigned char c = static_cast<unsigned char>(s[pos]);
            if (c == '"')
                return ++pos, out;
            Expect(c >= 0x20);
            if (c >= 0x80) {
                CopyUtf8(out);
            } else if (c != '\\') {
                out += static_cast<char>(c), ++pos;
            } else {
                Expect(++pos < s.size());
                char e = s[pos++];
                static const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
                if (auto k = simple.find(e); k != std::string::npos) {
                    out += meaning[k];
                } else {
                    Expect(e == 'u');
                    uint32_t code = Hex4();
                    if (code >= 0xD800 && code < 0xDC00) {
                        Expect(s.compare(pos, 2, "\\u") == 0);
                        pos += 2;
                        uint32_t low = Hex4();
                        Expect(low >= 0xDC00 && low < 0xE000);
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    Expect(code < 0xDC00 || code >= 0xE000);
                    AppendUtf8(out, code);
                }
            }
        }
    }
    Json ParseValue()
    {
        Skip();
        Expect(pos < s.size());
        Json value;
        char c = s[pos];
        if (c == '"') {
            value.Type = Json::String;
            value.Text = ParseString();
        } else if (Take('[')) {
            value.Type = Json::Array;
            if (!Take(']')) {
                do
                    value.Items.push_back(ParseValue());
                while (Take(','));
                Expect(Take(']'));
            }
        } else if (Take('{')) {
            value.Type = Json::Object;
            if (!Take('}')) {
                do {
                    Skip();
                    std::string key = ParseString();
                    Expect(Take(':'));
                    value.Members.emplace_back(key, ParseValue());
                } while (Take(','));
                Expect(Take('}'));
            }
        } else if (s.compare(pos, 4, "true") == 0 || s.compare(pos, 5, "false") == 0) {
            value.Type = Json::Bool;
            value.Value = c == 't';
            pos += c == 't' ? 4 : 5;
        } else if (s.compare(pos, 4, "null") == 0) {
            pos += 4;
        } else {
            size_t start = pos;
            if (s[pos] == '-')
                ++pos;
            Expect(pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])));
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])))
                ++pos;
            value.Type = Json::Number;
            value.Value = std::stod(s.substr(start, pos - start));
        }
        return value;
    }
};

Json ParseJson(const std::string& text)
{
    return JsonReader(text).ParseDocument();
}

// --- Generated sprites -------------------------------------------------------------------

// Colours 127 ... 255 only, so that export and import give the same indices back; runs of
// one value make both kinds of runs, short and full.
DataArray RandomImage(std::mt19937& random, uint32_t width, uint32_t height)
{
    DataArray image(size_t { width } * height);
    std::uniform_int_distribution<int> colour(127, 255), length(1, 200);
    for (size_t i = 0; i < image.size();) {
        uint8_t value = static_cast<uint8_t>(colour(random));
        for (int n = length(random); n > 0 && i < image.size(); --n)
            image[i++] = value;
    }
    return image;
}

// The palette the tool uses without --palette: grey ramp, entry 255 the transparent colour.
PaletteModel DefaultPalette(uint32_t transparent = 0xFFFFFF, bool whole = false)
{
    PaletteModel palette;
    for (uint32_t i = 0; i < 255; ++i)
        palette.Palette[i] = i * 0x010101u;
    palette.Palette[255] = transparent;
    palette.WholePalette = whole;
    return palette;
}

std::string Usage(const std::string& command)
{
    std::string help = command.empty() ? "vornix-cel COMMAND" : "vornix-cel " + command;
    return "usage: " + help;
}

// A CEL of three frames: a random sprite, a sprite named Walk with several candidate widths
// and the second selected, and an unnamed frame of ten alternating single-pixel runs.
struct SampleCEL {
    std::string Path;
    std::vector<DataArray> Images;
    explicit SampleCEL(const TempDir& dir, bool withHeaders, bool database, std::string name = "s")
        : Path(dir.File(name + ".cel"))
    {
        std::mt19937 random(7);
        std::vector<std::unique_ptr<CELFrame>> frames;
        Images.push_back(RandomImage(random, 37, 21));
        frames.push_back(EncodedFrame(37, 21, Images.back()));
        Images.push_back(DataArray(40, 0x90));
        for (size_t i = 0; i < 40; i += 2)
            Images.back()[i] = 255; // alternating: no forced row end, many widths fit
        frames.push_back(EncodedFrame(40, 1, Images.back(), "Walk"));
        frames.back()->SelectWidth(1);
        Images.push_back({ 0x81, 255, 0x82, 255, 0x83, 255, 0x84, 255, 0x85, 255 });
        frames.push_back(EncodedFrame(10, 1, Images.back()));
        SaveCEL(Path, std::move(frames), withHeaders, database);
    }
};

} // namespace

TEST(CelToolInfo, JsonMatchesTheCoreForEachHeaderAndDatabaseChoice)
{
    for (bool withHeaders : { false, true }) {
        for (bool database : { false, true }) {
            TempDir dir;
            SampleCEL sample(dir, withHeaders, database);
            std::vector<std::string> args { "info", sample.Path, "--json" };
            if (withHeaders)
                args.push_back("--headers");
            ToolRun run = RunTool(dir, args);
            ASSERT_EQ(run.ExitCode, 0) << run.Err;
            EXPECT_EQ(run.Err, "");
            Json json = ParseJson(run.Out);
            auto reference = Load(sample.Path, withHeaders);
            EXPECT_EQ(json["file"].Text, sample.Path);
            EXPECT_EQ(json["status"].Int(), 0);
            EXPECT_EQ(json["with_headers"].Value, withHeaders);
            EXPECT_EQ(json["has_database"].Value, database);
            ASSERT_EQ(json["frame_count"].Int(), 3);
            ASSERT_EQ(json["frames"].Items.size(), 3u);
            for (uint32_t i = 0; i < 3; ++i) {
                const CELFrame& frame = *reference->Frames[i]->Frame;
                const Json& f = json["frames"][i];
                EXPECT_EQ(f["index"].Int(), i);
                EXPECT_EQ(f["name"].Text, frame.Name);
                EXPECT_EQ(f["caption"].Text, FrameCaption(i, frame));
                EXPECT_EQ(f["diagnosis"].Int(), frame.Diagnosis);
                EXPECT_EQ(f["width"].Int(), frame.Width);
                EXPECT_EQ(f["height"].Int(), frame.Height);
                EXPECT_EQ(f["data_length"].Int(), frame.DataLength);
                EXPECT_EQ(f["width_index"].Int(), frame.WidthIndex);
                for (size_t w = 0; w < 5; ++w)
                    EXPECT_EQ(f["header"][w].Int(), frame.Header[w]);
                ASSERT_EQ(f["widths"].Items.size(), frame.WidthCount);
                ASSERT_EQ(f["block_rows"].Items.size(), frame.WidthCount);
                for (size_t w = 0; w < frame.WidthCount; ++w) {
                    EXPECT_EQ(f["widths"][w].Int(), frame.Widths[w]);
                    for (size_t b = 0; b < 5; ++b)
                        EXPECT_EQ(f["block_rows"][w][b].Int(), frame.BlockRows[w][b]);
                }
            }
            // Database: the name and the chosen width come back; without, neither does.
            EXPECT_EQ(json["frames"][1]["name"].Text, database ? "Walk" : "");
            EXPECT_EQ(json["frames"][1]["width_index"].Int(), database ? 1 : 0);
            // Ten alternating runs of one pixel admit these widths, largest first, repeats kept.
            std::vector<long long> widths;
            for (const auto& w : json["frames"][2]["widths"].Items)
                widths.push_back(w.Int());
            EXPECT_EQ(widths, (std::vector<long long> { 10, 5, 3, 2, 2, 1, 1, 1, 1, 1 }));
        }
    }
}

TEST(CelToolInfo, TableListsCaptionsSizesDiagnosisAndMarksTheSelectedWidth)
{
    TempDir dir;
    SampleCEL sample(dir, false, true);
    ToolRun run = RunTool(dir, { "info", sample.Path });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    auto reference = Load(sample.Path);
    EXPECT_NE(run.Out.find("Frames: 3\n"), std::string::npos);
    EXPECT_NE(run.Out.find("Database: yes\n"), std::string::npos);
    std::istringstream lines(run.Out);
    std::string line;
    std::vector<std::string> rows;
    bool tableStarted = false;
    while (std::getline(lines, line)) {
        if (tableStarted)
            rows.push_back(line);
        tableStarted = tableStarted || line.rfind("Index  Caption", 0) == 0;
    }
    ASSERT_EQ(rows.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        const CELFrame& frame = *reference->Frames[i]->Frame;
        std::string widths;
        for (size_t w = 0; w < frame.WidthCount; ++w)
            widths += (w ? " " : "") + std::string(w == frame.WidthIndex ? "*" : "")
                + std::to_string(frame.Widths[w]);
        EXPECT_NE(rows[i].find(FrameCaption(i, frame)), std::string::npos) << rows[i];
        EXPECT_NE(rows[i].find(std::to_string(frame.Width) + "x" + std::to_string(frame.Height)),
            std::string::npos);
        EXPECT_NE(rows[i].find("0 DiagOK"), std::string::npos) << rows[i];
        EXPECT_EQ(rows[i].substr(rows[i].size() - widths.size()), widths) << rows[i];
    }
}

TEST(CelToolInfo, JsonEscapesNamesAndPathsIntoValidJson)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> names {
        { "Quote\"Back\\slash/", "Quote\"Back\\slash/" },
        { "Tab\tLine\nBell\x07\x1f\x7f", "Tab\tLine\nBell\x07\x1f\x7f" },
        { "Gr\xC3\xBC\xC3\x9F"
          "e \xE2\x82\xAC \xF0\x9D\x84\x9E",
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC \xF0\x9D\x84\x9E" },
        // A name that is not valid UTF-8 (stray, truncated, overlong, surrogate, beyond
        // U+10FFFF) is shown as Windows-1252, as the windows show it; 90 is undefined there
        // and shows as U+0090.
        { "a\xFF"
          "b\xE2\x82",
            "a\xC3\xBF"
            "b\xC3\xA2\xE2\x80\x9A" },
        { "\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80",
            "\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xE2\x82\xAC\xC3\xB4\xC2\x90\xE2\x82\xAC"
            "\xE2\x82\xAC" },
    };
    std::vector<std::unique_ptr<CELFrame>> frames;
    for (const auto& [raw, expected] : names)
        frames.push_back(EncodedFrame(1, 1, { 0x90 }, raw));
    const std::string path = dir.File("we\"ird\\name.cel");
    SaveCEL(path, std::move(frames), false, true);

    ToolRun run = RunTool(dir, { "info", path, "--json" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    Json json = ParseJson(run.Out); // throws on anything but valid JSON
    EXPECT_EQ(json["file"].Text, path);
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(json["frames"][i]["name"].Text, names[i].second) << i;
        EXPECT_EQ(json["frames"][i]["caption"].Text, " " + names[i].second) << i;
    }
    // Control characters never appear raw: the document is one line.
    EXPECT_EQ(run.Out.find_first_of(std::string("\t\x07\x1f\r")), std::string::npos);
    EXPECT_EQ(run.Out.find('\n'), run.Out.size() - 1);
}

TEST(CelToolInfo, LoadFailuresExitOneWithTheStatus)
{
    TempDir dir;
    WriteBytes(dir.File("short.cel"), { 1, 0, 0 }); // status 3
    WriteBytes(dir.File("empty.cel"), { 0, 0, 0, 0 }); // status 1
    WriteBytes(dir.File("offsets.cel"), { 1, 0, 0, 0, 12, 0, 0, 0, 14, 0, 0, 0, 0x80 }); // 4
    const std::vector<std::pair<std::string, int>> cases { { dir.File("missing.cel"), 2 },
        { dir.File("short.cel"), 3 }, { dir.File("empty.cel"), 1 },
        { dir.File("offsets.cel"), 4 } };
    const std::vector<std::string> details { "", "the file holds no frames", "cannot open the file",
        "the file is too short", "bad offset table" };
    for (const auto& [path, status] : cases) {
        std::string line = "vornix-cel: " + path + ": An error occured (status "
            + std::to_string(status) + ": " + details[static_cast<size_t>(status)] + ")\n";
        ToolRun table = RunTool(dir, { "info", path });
        EXPECT_EQ(table.ExitCode, 1);
        EXPECT_EQ(table.Err, line);
        EXPECT_EQ(table.Out, "");
        ToolRun json = RunTool(dir, { "info", "--json", path });
        EXPECT_EQ(json.ExitCode, 1);
        EXPECT_EQ(json.Err, line);
        Json parsed = ParseJson(json.Out);
        EXPECT_EQ(parsed.Members.size(), 2u);
        EXPECT_EQ(parsed["file"].Text, path);
        EXPECT_EQ(parsed["status"].Int(), status);
        ToolRun exported = RunTool(dir, { "export", path, dir.File("out") });
        EXPECT_EQ(exported.ExitCode, 1);
        EXPECT_EQ(exported.Err, line);
    }
}

TEST(CelToolExport, BothDepthsRoundTripToTheDecodedFramesAndMatchTheCoreWriter)
{
    for (uint32_t bpp : { 8u, 24u }) {
        TempDir dir;
        SampleCEL sample(dir, true, true, "walk");
        const std::string out = dir.File("out/nested"); // created by the tool
        ToolRun run = RunTool(dir,
            { "export", sample.Path, out, "--bpp", std::to_string(bpp), "--transparent", "1,2,3" });
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
        auto reference = Load(sample.Path);
        PaletteModel palette = DefaultPalette(0x030201);
        for (uint32_t i = 0; i < 3; ++i) {
            const CELFrame& frame = *reference->Frames[i]->Frame;
            const std::string file = out + "/walk_" + std::to_string(i) + ".bmp";
            Bitmap expected { frame.Width, frame.Height, Decoded(frame) };
            EXPECT_EQ(ReadBytes(file), EncodeBitmap(expected, palette, bpp)) << file;
            Bitmap back;
            ASSERT_EQ(ReadBitmap(file, palette, back), BitmapOK);
            EXPECT_EQ(back.BitmapWidth, frame.Width);
            EXPECT_EQ(back.BitmapHeight, frame.Height);
            EXPECT_EQ(back.BitmapPixels, expected.BitmapPixels);
        }
        // Frame 1 was exported at the width chosen in the database, not the first candidate.
        EXPECT_EQ(reference->Frames[1]->Frame->Width, reference->Frames[1]->Frame->Widths[1]);
    }
}

TEST(CelToolExport, PaletteFileGivesEntriesUpTo254AndTheTransparentColourStays)
{
    TempDir dir;
    SampleCEL sample(dir, false, false);
    std::vector<uint8_t> pal(768);
    std::mt19937 random(11);
    for (auto& byte : pal)
        byte = static_cast<uint8_t>(random());
    WriteBytes(dir.File("p.pal"), pal);
    ToolRun run = RunTool(dir,
        { "export", sample.Path, dir.Path().string(), "--palette", dir.File("p.pal"), "--frame",
            "0" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    std::vector<uint8_t> bmp = ReadBytes(dir.File("s_0.bmp"));
    ASSERT_GE(bmp.size(), 1078u);
    for (size_t n = 0; n < 256; ++n) {
        std::vector<uint8_t> bgr(bmp.begin() + 54 + 4 * n, bmp.begin() + 57 + 4 * n);
        std::vector<uint8_t> expected = n < 255
            ? std::vector<uint8_t> { pal[3 * n + 2], pal[3 * n + 1], pal[3 * n] }
            : std::vector<uint8_t> { 255, 255, 255 };
        EXPECT_EQ(bgr, expected) << n;
    }
    // --frame 0 writes that frame alone.
    EXPECT_FALSE(std::filesystem::exists(dir.File("s_1.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("s_2.bmp")));

    WriteBytes(dir.File("bad.pal"), std::vector<uint8_t>(767));
    for (const auto& [name, message] : std::vector<std::pair<std::string, std::string>> {
             { "bad.pal", "Palette file must be 768 bytes long" },
             { "none.pal", "Cannot open palette file" } }) {
        ToolRun refused
            = RunTool(dir, { "export", sample.Path, dir.File("x"), "--palette", dir.File(name) });
        EXPECT_EQ(refused.ExitCode, 1);
        EXPECT_EQ(refused.Err, "vornix-cel: " + dir.File(name) + ": " + message + "\n");
    }
}

TEST(CelToolExport, NonViewableFramesAreSkippedAndFrameOutOfRangeIsAUsageError)
{
    TempDir dir;
    // Two frames without Frame Headers: a literal run of one pixel, then a control byte 0.
    const std::string path = dir.File("mixed.cel");
    WriteBytes(path, { 2, 0, 0, 0, 16, 0, 0, 0, 18, 0, 0, 0, 19, 0, 0, 0, 0x01, 0x80, 0x00 });
    const std::string out = dir.File("out");
    ToolRun all = RunTool(dir, { "export", path, out });
    EXPECT_EQ(all.ExitCode, 0);
    EXPECT_EQ(
        all.Err, "vornix-cel: " + path + ": warning: frame 1 skipped: not viewable (DiagNull)\n");
    EXPECT_TRUE(std::filesystem::exists(out + "/mixed_0.bmp"));
    EXPECT_FALSE(std::filesystem::exists(out + "/mixed_1.bmp"));

    ToolRun one = RunTool(dir, { "export", "--frame", "1", path, dir.File("one") });
    EXPECT_EQ(one.ExitCode, 0);
    EXPECT_EQ(one.Err, all.Err);

    for (std::string n : { "2", "4294967295" }) {
        ToolRun outside = RunTool(dir, { "export", path, dir.File("none"), "--frame", n });
        EXPECT_EQ(outside.ExitCode, 2);
        EXPECT_EQ(outside.Err.substr(0, outside.Err.find('\n')),
            "vornix-cel: frame " + n + " does not exist; " + path + " has 2 frames");
        EXPECT_NE(outside.Err.find("\n" + Usage("export")), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(dir.File("none")));
    }
}

TEST(CelToolExport, RegressionHugeFrameWasDecodedUnaskedAndFrameNExportsIt)
{
    TempDir dir;
    // Without Frame Headers: 128 full transparent runs and one of a single pixel make a
    // frame of 16,385 x 1, one pixel beyond what the viewer shows; then a 1 x 1 frame.
    std::vector<uint8_t> huge(128, 0x80);
    huge.push_back(0xFF);
    std::vector<uint8_t> cel;
    for (uint32_t word : { 2u, 16u, uint32_t(16 + huge.size()), uint32_t(16 + huge.size() + 2) })
        for (int i = 0; i < 4; ++i)
            cel.push_back(uint8_t(word >> (8 * i)));
    cel.insert(cel.end(), huge.begin(), huge.end());
    cel.insert(cel.end(), { 0x01, 0x05 });
    const std::string path = dir.File("big.cel");
    WriteBytes(path, cel);
    auto loaded = Load(path);
    ASSERT_EQ(loaded->Frames[0]->Frame->Width, 16385u);
    ASSERT_EQ(loaded->Frames[0]->Frame->Height, 1u);

    const std::string out = dir.File("out");
    ToolRun all = RunTool(dir, { "export", path, out });
    EXPECT_EQ(all.ExitCode, 0);
    EXPECT_EQ(all.Err,
        "vornix-cel: " + path
            + ": warning: frame 0 skipped: too large to show (16385x1); name it with --frame "
              "to export it\n");
    EXPECT_FALSE(std::filesystem::exists(out + "/big_0.bmp"));
    EXPECT_TRUE(std::filesystem::exists(out + "/big_1.bmp"));

    ToolRun one = RunTool(dir, { "export", "--frame", "0", path, dir.File("one") });
    EXPECT_EQ(one.ExitCode, 0);
    EXPECT_EQ(one.Err, "");
    Bitmap bitmap;
    ASSERT_EQ(ReadBitmap(dir.File("one") + "/big_0.bmp", DefaultPalette(), bitmap), BitmapOK);
    EXPECT_EQ(bitmap.BitmapWidth, 16385u);
    EXPECT_EQ(bitmap.BitmapHeight, 1u);
}

namespace {

struct BuiltSprites {
    std::vector<std::string> Paths;
    std::vector<Bitmap> Bitmaps;
};

// Writes BMP files of random sprites in both depths with the default palette.
BuiltSprites WriteSprites(const TempDir& dir, std::mt19937& random, size_t count)
{
    BuiltSprites sprites;
    std::uniform_int_distribution<uint32_t> side(1, 300), rows(41, 80);
    for (size_t i = 0; i < count; ++i) {
        Bitmap bitmap;
        bitmap.BitmapWidth = side(random);
        bitmap.BitmapHeight = rows(random); // past the second Frame Header block
        bitmap.BitmapPixels = RandomImage(random, bitmap.BitmapWidth, bitmap.BitmapHeight);
        if (i == 0) {
            // Single pixels alternating over an even width: no row end is forced, so the
            // picture's width is only one of many candidates, far from the first.
            bitmap.BitmapWidth += bitmap.BitmapWidth % 2;
            bitmap.BitmapPixels.resize(size_t { bitmap.BitmapWidth } * bitmap.BitmapHeight);
            for (size_t p = 0; p < bitmap.BitmapPixels.size(); ++p)
                bitmap.BitmapPixels[p] = p % 2 ? 0x90 : 0xFF;
        }
        sprites.Paths.push_back(dir.File("sprite " + std::to_string(i) + ".bmp"));
        EXPECT_EQ(WriteBitmap(sprites.Paths.back(), bitmap, DefaultPalette(), i % 2 ? 24 : 8),
            BitmapWritten);
        sprites.Bitmaps.push_back(std::move(bitmap));
    }
    return sprites;
}

} // namespace

TEST(CelToolBuild, BuildThenLoadGivesTheSpritesBackWithAndWithoutHeadersAndDatabase)
{
    std::mt19937 random(2024);
    for (bool withHeaders : { true, false }) {
        for (bool database : { true, false }) {
            TempDir dir;
            BuiltSprites sprites = WriteSprites(dir, random, 4);
            const std::string out = dir.File("built.cel");
            WriteBytes(out + ".cdb", { 7, 7, 7 }); // stale database: replaced or removed
            std::vector<std::string> args { "build", out };
            if (!withHeaders)
                args.push_back("--no-headers");
            if (database)
                args.push_back("--database");
            args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
            ToolRun run = RunTool(dir, args);
            ASSERT_EQ(run.ExitCode, 0) << run.Err;
            EXPECT_EQ(run.Out.rfind("built " + out + " from 4 frames in ", 0), 0u) << run.Out;
            EXPECT_EQ(std::filesystem::exists(out + ".cdb"), database);

            auto cel = Load(out, withHeaders);
            ASSERT_EQ(cel->FrameCount, sprites.Paths.size());
            EXPECT_EQ(cel->WithHeaders, withHeaders ? 1 : 0);
            uint64_t dataBytes = 0;
            for (size_t i = 0; i < sprites.Paths.size(); ++i) {
                CELFrame& frame = *cel->Frames[i]->Frame;
                const Bitmap& bitmap = sprites.Bitmaps[i];
                auto expected
                    = EncodedFrame(bitmap.BitmapWidth, bitmap.BitmapHeight, bitmap.BitmapPixels);
                EXPECT_EQ(frame.Data, expected->Data);
                const std::array<uint16_t, 5> noHeader {};
                EXPECT_EQ(frame.Header, withHeaders ? expected->Header : noHeader);
                dataBytes += frame.DataLength + (withHeaders ? 10 : 0);
                EXPECT_EQ(frame.Name, database ? "sprite " + std::to_string(i) : "");
                if (!database) {
                    for (uint32_t w = 0; w < frame.WidthCount; ++w)
                        if (frame.Widths[w] == bitmap.BitmapWidth && frame.SelectWidth(w))
                            break;
                }
                ASSERT_EQ(frame.Width, bitmap.BitmapWidth) << i;
                EXPECT_EQ(Decoded(frame), bitmap.BitmapPixels) << i;
            }
            EXPECT_EQ(ReadBytes(out).size(), 8 + 4 * cel->FrameCount + dataBytes);

            // info reads what build wrote.
            ToolRun info = RunTool(dir, { "info", out, "--json" });
            ASSERT_EQ(info.ExitCode, 0);
            Json json = ParseJson(info.Out);
            EXPECT_EQ(json["has_database"].Value, database);
            for (size_t i = 0; i < sprites.Paths.size(); ++i) {
                EXPECT_EQ(
                    json["frames"][i]["name"].Text, database ? "sprite " + std::to_string(i) : "");
                if (database) {
                    EXPECT_EQ(json["frames"][i]["width"].Int(), sprites.Bitmaps[i].BitmapWidth);
                }
            }
        }
    }
}

TEST(CelToolBuild, RefusalsLeaveTheOutputUntouched)
{
    TempDir dir;
    std::mt19937 random(5);
    BuiltSprites sprites = WriteSprites(dir, random, 2);
    const std::string out = dir.File("keep.cel");
    const std::vector<uint8_t> before { 1, 2, 3, 4, 5 }, database { 9, 9 };
    WriteBytes(out, before);
    WriteBytes(out + ".cdb", database);

    std::vector<uint8_t> sixteenBit = ReadBytes(sprites.Paths[0]);
    sixteenBit[28] = 16;
    WriteBytes(dir.File("16.bmp"), sixteenBit);
    WriteBytes(dir.File("junk.bmp"), { 'B', 'M', 0, 0 });
    std::vector<uint8_t> noWidth = ReadBytes(sprites.Paths[0]); // passes the header checks,
    std::fill(noWidth.begin() + 18, noWidth.begin() + 22, 0); // but no frame can be empty
    WriteBytes(dir.File("0.bmp"), noWidth);
    const std::string longStem = dir.File(std::string(300, 'n') + ".bmp"); // cannot exist
    const std::string hint = "vornix-cel: hint: save such pictures as PNG, or as uncompressed 8- "
                             "or 24-bit BMP with a 40-byte header and a full colour table\n";
    const std::vector<std::tuple<std::string, std::string, bool>> refusals {
        { dir.File("16.bmp"), "File has unsupported format (16 bits per pixel)\n" + hint, false },
        { dir.File("junk.bmp"),
            "File has unsupported format (file ends inside its header)\n" + hint, false },
        { dir.File("0.bmp"),
            "File has unsupported format (empty picture of 0 x "
                + std::to_string(sprites.Bitmaps[0].BitmapHeight) + " pixels)\n" + hint,
            false },
        { dir.File("missing.bmp"), "Cannot read file\n", false },
        { longStem, "Name must be less than 256 characters long\n", true },
    };
    for (const auto& [bad, message, needsDatabase] : refusals) {
        for (const std::string& target : { out, dir.File("new.cel") }) {
            std::vector<std::string> args { "build", target, sprites.Paths[0], sprites.Paths[1],
                bad };
            if (needsDatabase)
                args.push_back("--database");
            ToolRun run = RunTool(dir, args);
            EXPECT_EQ(run.ExitCode, 1) << bad;
            EXPECT_EQ(run.Err, "vornix-cel: " + bad + ": " + message);
            EXPECT_FALSE(std::filesystem::exists(dir.File("new.cel")));
            EXPECT_FALSE(std::filesystem::exists(dir.File("new.cel.cdb")));
            EXPECT_EQ(ReadBytes(out), before);
            EXPECT_EQ(ReadBytes(out + ".cdb"), database);
        }
    }
    // A stem of exactly 255 bytes is a valid name.
    const std::string longest = dir.File(std::string(255, 'm'));
    std::filesystem::copy_file(sprites.Paths[0], longest);
    ToolRun fits = RunTool(dir, { "build", "--database", out, longest });
    ASSERT_EQ(fits.ExitCode, 0) << fits.Err;
    EXPECT_EQ(Load(out)->Frames[0]->Frame->Name, std::string(255, 'm'));
}

TEST(CelToolBuild, WholePaletteAndTransparentColourReachTheColourMatch)
{
    TempDir dir;
    // Pixels: grey 10 (reserved index), white, and the colour 1,2,3.
    Bitmap bitmap { 3, 1, { 10, 200, 201 } };
    PaletteModel writer = DefaultPalette();
    writer.Palette[200] = 0xFFFFFF;
    writer.Palette[201] = 0x030201;
    WriteBitmap(dir.File("a.bmp"), bitmap, writer, 24);
    const std::vector<std::pair<std::vector<std::string>, DataArray>> cases {
        { {}, { 127, 255, 127 } }, // 10 goes to the nearest free grey
        { { "--whole-palette" }, { 10, 255, 2 } }, // reserved greys may be chosen
        { { "--transparent", "1,2,3" }, { 127, 254, 255 } }, // white is now an ordinary colour
    };
    for (const auto& [options, expected] : cases) {
        std::vector<std::string> args { "build", dir.File("a.cel"), dir.File("a.bmp") };
        args.insert(args.end(), options.begin(), options.end());
        ToolRun run = RunTool(dir, args);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        auto cel = Load(dir.File("a.cel"), true);
        EXPECT_EQ(Decoded(*cel->Frames[0]->Frame), expected);
    }
}

TEST(CelToolArguments, UsageErrorsExitTwoBeforeAnyFileIsTouched)
{
    TempDir dir;
    const std::string cel = dir.File("absent.cel");
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases {
        { {}, "", "no command given" },
        { { "frobnicate" }, "", "unknown command 'frobnicate'" },
        { { "info" }, "info", "no CEL file given" },
        { { "info", cel, cel }, "info", "too many arguments" },
        { { "info", cel, "--bogus" }, "info", "unknown option '--bogus'" },
        { { "info", cel, "--json", "--json" }, "info", "option --json given twice" },
        { { "info", cel, "--json=1" }, "info", "option --json takes no value" },
        { { "info", cel, "--headers", "--no-headers" }, "info",
            "options --headers and --no-headers exclude each other" },
        { { "export", cel }, "export", "a CEL file and an output folder are needed" },
        { { "export", cel, "o", "--bpp" }, "export", "option --bpp needs a value" },
        { { "export", cel, "o", "--bpp", "16" }, "export", "--bpp must be 8 or 24, not '16'" },
        { { "export", cel, "o", "--bpp=" }, "export", "option --bpp needs a value" },
        { { "export", cel, "o", "--frame", "-1" }, "export",
            "--frame needs a frame number (digits only), not '-1'" },
        { { "export", cel, "o", "--frame=+1" }, "export",
            "--frame needs a frame number (digits only), not '+1'" },
        { { "export", cel, "o", "--frame", "1x" }, "export",
            "--frame needs a frame number (digits only), not '1x'" },
        { { "export", cel, "o", "--frame", "4294967296" }, "export",
            "--frame needs a frame number (digits only), not '4294967296'" },
        { { "build", cel }, "build", "no picture file given" },
        { { "build", cel, "a.bmp", "--whole-palette=yes" }, "build",
            "option --whole-palette takes no value" },
    };
    for (const auto& [args, command, problem] : cases) {
        ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.ExitCode, 2) << problem;
        EXPECT_EQ(run.Err.substr(0, run.Err.find('\n')), "vornix-cel: " + problem);
        EXPECT_NE(run.Err.find("\n" + Usage(command)), std::string::npos) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    for (std::string colour :
        { "256,0,0", "1,2", "1,2,3,4", "1,,3", "a,b,c", " 1,2,3", "1,2,3," }) {
        ToolRun run = RunTool(dir, { "build", cel, "--transparent", colour, "a.bmp" });
        EXPECT_EQ(run.ExitCode, 2) << colour;
        EXPECT_NE(run.Err.find("not '" + colour + "'"), std::string::npos) << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(cel));
    // The colour's edges are accepted: the missing CEL is then what fails.
    for (std::string colour : { "0,0,0", "255,255,255", "007,08,9" })
        EXPECT_EQ(RunTool(dir, { "export", cel, "o", "--transparent=" + colour }).ExitCode, 1);
}

TEST(CelToolArguments, HelpPrintsUsageAndSucceeds)
{
    TempDir dir;
    for (const auto& [args, command] :
        std::vector<std::pair<std::vector<std::string>, std::string>> { { { "--help" }, "" },
            { { "info", "--help" }, "info" }, { { "export", "x.cel", "--help" }, "export" },
            { { "build", "--bogus", "--help" }, "build" } }) {
        ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Out.rfind(Usage(command), 0), 0u) << run.Out;
        EXPECT_EQ(run.Err, "");
    }
}

// --- Batch work: names, order, width, sheets, refusals, safety ---------------------------

namespace {

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A CEL of count random frames of the given sizes (cycled), each named "f<i>".
std::vector<DataArray> WriteFrames(const std::string& path, size_t count,
    const std::vector<std::pair<uint32_t, uint32_t>>& sizes, uint32_t seed, bool database = true)
{
    std::mt19937 random(seed);
    std::vector<std::unique_ptr<CELFrame>> frames;
    std::vector<DataArray> images;
    for (size_t i = 0; i < count; ++i) {
        auto [width, height] = sizes[i % sizes.size()];
        images.push_back(RandomImage(random, width, height));
        frames.push_back(EncodedFrame(width, height, images.back(), "f" + std::to_string(i)));
        for (uint32_t w = 0; w < frames.back()->WidthCount; ++w)
            if (frames.back()->Widths[w] == width && frames.back()->SelectWidth(w))
                break;
    }
    SaveCEL(path, std::move(frames), true, database);
    return images;
}

std::string ReadText(const std::string& path)
{
    auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

Bitmap ReadPicture(const std::string& path)
{
    Bitmap bitmap;
    EXPECT_EQ(ReadImageFile(path, DefaultPalette(), bitmap), BitmapOK) << path;
    return bitmap;
}

} // namespace

TEST(CelToolBatch, ExportNamesArePaddedToTheDigitsOfTheLastIndex)
{
    for (const auto& [count, first, last] :
        std::vector<std::tuple<size_t, std::string, std::string>> { { 1, "a_0.png", "a_0.png" },
            { 10, "a_0.png", "a_9.png" }, { 12, "a_00.png", "a_11.png" },
            { 101, "a_000.png", "a_100.png" } }) {
        TempDir dir;
        WriteFrames(dir.File("a.cel"), count, { { 3, 2 } }, 1);
        ToolRun run
            = RunTool(dir, { "export", dir.File("a.cel"), dir.File("out"), "--format", "png" });
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Out.rfind("exported " + std::to_string(count)
                          + (count == 1 ? " frame" : " frames") + " to " + dir.File("out") + " in ",
                      0),
            0u)
            << run.Out;
        auto names = FilesIn(dir.File("out"));
        ASSERT_EQ(names.size(), count);
        EXPECT_EQ(names.front(), first);
        EXPECT_EQ(names.back(), last);
        // Sorted by name is frame order: each file holds the frame of its position.
        auto cel = Load(dir.File("a.cel"));
        for (size_t i = 0; i < count; i += 7)
            EXPECT_EQ(ReadPicture(dir.File("out/" + names[i])).BitmapPixels,
                Decoded(*cel->Frames[i]->Frame));
        // --frame keeps the padding of the whole CEL.
        ToolRun one = RunTool(
            dir, { "export", dir.File("a.cel"), dir.File("one"), "--frame", "0", "--quiet" });
        EXPECT_EQ(one.Out, "");
        EXPECT_EQ(FilesIn(dir.File("one")),
            std::vector<std::string> { first.substr(0, first.size() - 3) + "bmp" });
    }
}

TEST(CelToolBatch, FoldersAreTakenInNaturalOrderAndListsRelativeToTheirFolder)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("in/sub"));
    std::mt19937 random(3);
    std::vector<DataArray> images;
    for (int i = 1; i <= 120; ++i) {
        Bitmap bitmap { 4, 3, RandomImage(random, 4, 3) };
        images.push_back(bitmap.BitmapPixels);
        // BMP and PNG side by side, the extension in either case.
        const std::string name = "in/a_" + std::to_string(i) + (i % 3 ? ".bmp" : ".PNG");
        if (i % 3)
            ASSERT_EQ(WriteBitmap(dir.File(name), bitmap, DefaultPalette(), 8), BitmapWritten);
        else
            ASSERT_EQ(WritePNG(dir.File(name), bitmap, DefaultPalette(), 24), BitmapWritten);
    }
    WriteBytes(dir.File("in/notes.txt"), { 'x' }); // neither picture extension: left out
    ToolRun run
        = RunTool(dir, { "build", dir.File("all.cel"), dir.File("in"), "--database", "--quiet" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    auto cel = Load(dir.File("all.cel"));
    ASSERT_EQ(cel->FrameCount, 120u);
    for (uint32_t i = 0; i < 120; ++i) {
        EXPECT_EQ(cel->Frames[i]->Frame->Name, "a_" + std::to_string(i + 1));
        EXPECT_EQ(Decoded(*cel->Frames[i]->Frame), images[i]) << i;
    }

    // @LIST: a relative line is taken from the list's folder, an absolute one as it is;
    // blank lines and Windows line ends are ignored. Arguments keep their order.
    WriteBytes(dir.File("in/sub/list.txt"), [&] {
        std::string text = "../a_10.bmp\r\n\n" + dir.File("in/a_2.bmp") + "\n../a_3.PNG";
        return std::vector<uint8_t>(text.begin(), text.end());
    }());
    ToolRun listed = RunTool(dir,
        { "build", dir.File("list.cel"), dir.File("in/a_7.bmp"), "@" + dir.File("in/sub/list.txt"),
            "--database", "--quiet" });
    ASSERT_EQ(listed.ExitCode, 0) << listed.Err;
    auto fromList = Load(dir.File("list.cel"));
    std::vector<std::string> names;
    for (const auto& slot : fromList->Frames)
        names.push_back(slot->Frame->Name);
    EXPECT_EQ(names, (std::vector<std::string> { "a_7", "a_10", "a_2", "a_3" }));
    EXPECT_EQ(Decoded(*fromList->Frames[1]->Frame), images[9]);

    ToolRun missing = RunTool(dir, { "build", dir.File("x.cel"), "@" + dir.File("none.txt") });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(missing.Err, "vornix-cel: " + dir.File("none.txt") + ": Cannot read file\n");
}

TEST(CelToolBatch, WidthOptionSelectsThatCandidateOrWarnsOncePerFrame)
{
    TempDir dir;
    // 40 x 30 single-pixel runs: no row end is forced, so 1200 is the first candidate and 40
    // one of many.
    DataArray image(1200);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = i % 2 ? 0x90 : 0xFF;
    std::vector<std::unique_ptr<CELFrame>> frames;
    frames.push_back(EncodedFrame(40, 30, image));
    frames.push_back(EncodedFrame(7, 3, DataArray(21, 0x91))); // one run per row: 7 only
    SaveCEL(dir.File("w.cel"), std::move(frames), false, false);
    auto plain = Load(dir.File("w.cel"));
    ASSERT_EQ(plain->Frames[0]->Frame->Width, 1200u);

    const std::string warning = "vornix-cel: " + dir.File("w.cel")
        + ": warning: frame 1 has no candidate width 40; it keeps width 7\n";
    ToolRun run = RunTool(
        dir, { "export", dir.File("w.cel"), dir.File("out"), "--width", "40", "--quiet" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err, warning);
    Bitmap first = ReadPicture(dir.File("out/w_0.bmp"));
    EXPECT_EQ(first.BitmapWidth, 40u);
    EXPECT_EQ(first.BitmapHeight, 30u);
    EXPECT_EQ(first.BitmapPixels, image);
    EXPECT_EQ(ReadPicture(dir.File("out/w_1.bmp")).BitmapWidth, 7u);

    ToolRun info = RunTool(dir, { "info", dir.File("w.cel"), "--width", "40", "--json" });
    ASSERT_EQ(info.ExitCode, 0);
    EXPECT_EQ(info.Err, warning);
    Json json = ParseJson(info.Out);
    EXPECT_EQ(json["frames"][0]["width"].Int(), 40);
    EXPECT_EQ(json["frames"][0]["height"].Int(), 30);
    EXPECT_EQ(json["frames"][1]["width"].Int(), 7);

    ToolRun sheet = RunTool(
        dir, { "sheet", dir.File("w.cel"), dir.File("s.png"), "--width", "40", "--quiet" });
    ASSERT_EQ(sheet.ExitCode, 0);
    EXPECT_EQ(sheet.Err, warning);
    EXPECT_EQ(ParseJson(ReadText(dir.File("s.json")))["cell_height"].Int(), 30);

    for (std::string bad : { "0", "-4", "x" }) {
        ToolRun refused
            = RunTool(dir, { "export", dir.File("w.cel"), dir.File("o"), "--width", bad });
        EXPECT_EQ(refused.ExitCode, 2) << bad;
    }
}

TEST(CelToolSheet, MixedSizesGoIntoEqualCellsAndUnviewableFramesAreSkipped)
{
    TempDir dir;
    // Frames 0 ... 5 of mixed sizes; frame 3 is replaced by one that cannot be shown.
    std::vector<std::pair<uint32_t, uint32_t>> sizes { { 5, 4 }, { 9, 2 }, { 3, 7 }, { 1, 1 },
        { 6, 6 }, { 2, 3 } };
    std::vector<DataArray> images = WriteFrames(dir.File("m.cel"), 6, sizes, 9);
    {
        auto cel = Load(dir.File("m.cel"), true);
        std::vector<uint8_t> bytes = ReadBytes(dir.File("m.cel"));
        // Rewrite frame 3 as a lone control byte 0 (DiagNull), keeping the others' bytes.
        std::vector<std::unique_ptr<CELFrame>> frames;
        for (uint32_t i = 0; i < 6; ++i)
            frames.push_back(CELFrame::CreateCopy(*cel->Frames[i]->Frame));
        frames[3]->Data = { 0x00 };
        frames[3]->DataLength = 1;
        frames[3]->AnalyseData();
        ASSERT_FALSE(frames[3]->Viewable());
        SaveCEL(dir.File("m.cel"), std::move(frames), true, true);
    }
    ToolRun run = RunTool(dir, { "sheet", dir.File("m.cel"), dir.File("out/m.png") });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err,
        "vornix-cel: " + dir.File("m.cel")
            + ": warning: frame 3 skipped: not viewable (DiagNull)\n");
    EXPECT_EQ(run.Out.rfind("wrote 5 frames to " + dir.File("out/m.png") + " in ", 0), 0u);

    Json atlas = ParseJson(ReadText(dir.File("out/m.json")));
    EXPECT_EQ(atlas["image"].Text, "m.png");
    EXPECT_EQ(atlas["cel"].Text, "m.cel");
    EXPECT_EQ(atlas["columns"].Int(), 3); // 3 x 3 >= 5 > 2 x 2
    EXPECT_EQ(atlas["cell_width"].Int(), 9);
    EXPECT_EQ(atlas["cell_height"].Int(), 7);
    ASSERT_EQ(atlas["frames"].Items.size(), 5u);

    Bitmap sheet = ReadPicture(dir.File("out/m.png"));
    ASSERT_EQ(sheet.BitmapWidth, 27u);
    ASSERT_EQ(sheet.BitmapHeight, 14u);
    // Expected sheet, built from the frames: top-left corners of cells, the rest 255.
    DataArray expected(27 * 14, 255);
    const std::vector<uint32_t> placedIndex { 0, 1, 2, 4, 5 };
    for (size_t j = 0; j < placedIndex.size(); ++j) {
        const uint32_t i = placedIndex[j];
        const Json& entry = atlas["frames"][j];
        const uint32_t x = static_cast<uint32_t>(j % 3) * 9, y = static_cast<uint32_t>(j / 3) * 7;
        EXPECT_EQ(entry["index"].Int(), i);
        EXPECT_EQ(entry["name"].Text, "f" + std::to_string(i));
        EXPECT_EQ(entry["x"].Int(), x);
        EXPECT_EQ(entry["y"].Int(), y);
        EXPECT_EQ(entry["width"].Int(), sizes[i].first);
        EXPECT_EQ(entry["height"].Int(), sizes[i].second);
        for (uint32_t row = 0; row < sizes[i].second; ++row) // row 0 is the frame's bottom
            for (uint32_t col = 0; col < sizes[i].first; ++col)
                expected[(14 - y - sizes[i].second + row) * 27 + x + col]
                    = images[i][row * sizes[i].first + col];
    }
    EXPECT_EQ(sheet.BitmapPixels, expected);

    // --columns; a 24-bit sheet reads back to the same indices.
    ToolRun wide = RunTool(dir,
        { "sheet", dir.File("m.cel"), dir.File("w.png"), "--columns", "5", "--bpp", "24",
            "--quiet" });
    ASSERT_EQ(wide.ExitCode, 0);
    Bitmap row = ReadPicture(dir.File("w.png"));
    EXPECT_EQ(row.BitmapWidth, 45u);
    EXPECT_EQ(row.BitmapHeight, 7u);
}

TEST(CelToolSheet, SheetThenBuildFromTheAtlasGivesBackEveryFrameByteForByte)
{
    TempDir dir;
    std::vector<std::pair<uint32_t, uint32_t>> sizes { { 12, 41 }, { 30, 5 }, { 7, 7 },
        { 64, 50 } };
    WriteFrames(dir.File("r.cel"), 11, sizes, 21);
    ToolRun sheet = RunTool(dir, { "sheet", dir.File("r.cel"), dir.File("r.png"), "--quiet" });
    ASSERT_EQ(sheet.ExitCode, 0) << sheet.Err;
    for (bool withHeaders : { true, false }) {
        std::vector<std::string> args { "build", dir.File("back.cel"), "--sheet", dir.File("r.png"),
            "--atlas", dir.File("r.json"), "--database", "--quiet" };
        if (!withHeaders)
            args.push_back("--no-headers");
        ToolRun build = RunTool(dir, args);
        ASSERT_EQ(build.ExitCode, 0) << build.Err;
        auto original = Load(dir.File("r.cel"));
        auto back = Load(dir.File("back.cel"));
        ASSERT_EQ(back->FrameCount, 11u);
        for (uint32_t i = 0; i < 11; ++i) {
            const CELFrame& a = *original->Frames[i]->Frame;
            const CELFrame& b = *back->Frames[i]->Frame;
            EXPECT_EQ(b.Data, a.Data) << i;
            EXPECT_EQ(b.Name, a.Name);
            EXPECT_EQ(b.Width, a.Width);
            if (withHeaders)
                EXPECT_EQ(b.Header, a.Header);
        }
    }
    // A damaged atlas is refused with what is wrong, and nothing is written.
    for (const auto& [text, problem] : std::vector<std::pair<std::string, std::string>> {
             { "{\"frames\": [", "not an atlas: not valid JSON" },
             { "{\"frame\": []}", "not an atlas: no \"frames\" list" },
             { "{\"frames\": [{\"x\": 0, \"y\": 0, \"width\": 5}]}",
                 "not an atlas: frame entry 0 has no whole number \"height\"" },
             { "{\"frames\": [{\"x\": -1, \"y\": 0, \"width\": 5, \"height\": 1}]}",
                 "not an atlas: frame entry 0 has no whole number \"x\"" },
             { "{\"frames\": [{\"x\": 252, \"y\": 0, \"width\": 5, \"height\": 1}]}",
                 "not an atlas: frame entry 0 lies outside the 256 x 150 picture" } }) {
        WriteBytes(dir.File("bad.json"), std::vector<uint8_t>(text.begin(), text.end()));
        ToolRun refused = RunTool(dir,
            { "build", dir.File("no.cel"), "--sheet", dir.File("r.png"), "--atlas",
                dir.File("bad.json") });
        EXPECT_EQ(refused.ExitCode, 1) << text;
        EXPECT_EQ(refused.Err, "vornix-cel: " + dir.File("bad.json") + ": " + problem + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("no.cel")));
    }
}

TEST(CelToolSheet, CellsAreCutRowByRowUpToTheCountOrTheLastVisibleCell)
{
    TempDir dir;
    // A 4 x 3 grid of 5 x 2 cells: cell c filled with colour 130 + c, cells 7 and up empty,
    // and strips to the right (3 pixels) and below (1 row) that are no cell.
    const uint32_t width = 23, height = 7;
    Bitmap sheet { width, height, DataArray(width * height, 255) };
    for (uint32_t c = 0; c < 7; ++c) {
        const uint32_t x = c % 4 * 5, yTop = c / 4 * 2;
        for (uint32_t r = 0; r < 2; ++r)
            for (uint32_t k = 0; k < 5; ++k)
                sheet.BitmapPixels[(height - 1 - yTop - r) * width + x + k]
                    = static_cast<uint8_t>(130 + c + (r == 0 ? 0 : 100));
    }
    sheet.BitmapPixels[0] = 140; // in the strip below the last row of cells: ignored
    ASSERT_EQ(WritePNG(dir.File("g.png"), sheet, DefaultPalette(), 8), BitmapWritten);

    auto cells = [&](std::vector<std::string> extra) {
        std::vector<std::string> args { "build", dir.File("g.cel"), "--sheet", dir.File("g.png"),
            "--cell", "5x2", "--database", "--quiet" };
        args.insert(args.end(), extra.begin(), extra.end());
        ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        return Load(dir.File("g.cel"));
    };
    auto found = cells({});
    ASSERT_EQ(found->FrameCount, 7u);
    for (uint32_t c = 0; c < 7; ++c) {
        const CELFrame& frame = *found->Frames[c]->Frame;
        DataArray expected(10);
        for (size_t p = 0; p < 10; ++p) // bottom row first: the cell's lower row
            expected[p] = static_cast<uint8_t>(130 + c + (p < 5 ? 100 : 0));
        EXPECT_EQ(Decoded(frame), expected) << c;
        EXPECT_EQ(frame.Name, "g_" + std::to_string(c));
    }
    EXPECT_EQ(cells({ "--count", "2" })->FrameCount, 2u);
    auto all = cells({ "--count", "12" });
    ASSERT_EQ(all->FrameCount, 12u);
    EXPECT_EQ(Decoded(*all->Frames[11]->Frame), DataArray(10, 255));
    EXPECT_EQ(all->Frames[11]->Frame->Name, "g_11");

    ToolRun tooMany = RunTool(dir,
        { "build", dir.File("h.cel"), "--sheet", dir.File("g.png"), "--cell", "5x2", "--count",
            "13" });
    EXPECT_EQ(tooMany.ExitCode, 1);
    EXPECT_EQ(tooMany.Err,
        "vornix-cel: " + dir.File("g.png") + ": the picture holds 12 cells of 5 x 2, not 13\n");
    for (const auto& args :
        std::vector<std::vector<std::string>> { { "--sheet", dir.File("g.png") },
            { "--sheet", dir.File("g.png"), "--cell", "5x2", "--atlas", dir.File("a.json") },
            { "--sheet", dir.File("g.png"), "--cell", "5by2" },
            { "--sheet", dir.File("g.png"), "--cell", "0x2" },
            { "--count", "2", dir.File("g.png") } }) {
        std::vector<std::string> full { "build", dir.File("h.cel") };
        full.insert(full.end(), args.begin(), args.end());
        EXPECT_EQ(RunTool(dir, full).ExitCode, 2) << args[1];
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("h.cel")));
}

// Grouped CL2 and CEL files through every command: build --groups, info, export (names
// m_<g>_<i>) and build back, sheet and build --sheet --atlas, convert both ways: each way back
// gives the same bytes, and what info says matches the core.
TEST(CelToolGroups, EveryCommandRoundTripsGroupedFilesOfBothCodings)
{
    std::mt19937 random(20);
    for (const char* name : { "m.cl2", "m.cel" }) {
        SCOPED_TRACE(name);
        TempDir dir;
        BuiltSprites sprites = WriteSprites(dir, random, 12);
        const std::string out = dir.File(name);
        // A CL2 of frames past 32 rows knows its widths; a CEL keeps them in its database.
        const bool cl2 = CodingFromName(out) == FrameCoding::CL2;
        std::vector<std::string> args { "build", out, "--groups", "3", "--quiet" };
        if (!cl2)
            args.push_back("--database");
        args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
        ToolRun built = RunTool(dir, args);
        ASSERT_EQ(built.ExitCode, 0) << built.Err;
        const auto bytes = ReadBytes(out);
        SpriteFile sprite = LoadSpriteFile(out, true);
        ASSERT_EQ(sprite.Status, LoadOK);
        ASSERT_TRUE(sprite.Grouped);
        ASSERT_EQ(sprite.Groups.size(), 3u);
        EXPECT_EQ(sprite.Coding, cl2 ? FrameCoding::CL2 : FrameCoding::CEL);

        ToolRun info = RunTool(dir, { "info", out, "--json" });
        ASSERT_EQ(info.ExitCode, 0) << info.Err;
        Json json = ParseJson(info.Out);
        EXPECT_EQ(json["coding"].Text, cl2 ? "cl2" : "cel");
        EXPECT_EQ(json["group_count"].Int(), 3);
        EXPECT_THROW(json["frames"], std::runtime_error);
        for (size_t g = 0; g < 3; ++g) {
            EXPECT_EQ(json["groups"][g]["index"].Int(), static_cast<long long>(g));
            ASSERT_EQ(json["groups"][g]["frame_count"].Int(), 4);
            for (size_t i = 0; i < 4; ++i) {
                const CELFrame& frame = *sprite.Groups[g]->Frames[i]->Frame;
                EXPECT_EQ(json["groups"][g]["frames"][i]["index"].Int(), static_cast<long long>(i));
                EXPECT_EQ(json["groups"][g]["frames"][i]["data_length"].Int(), frame.DataLength);
                EXPECT_EQ(frame.Width, sprites.Bitmaps[4 * g + i].BitmapWidth);
            }
        }
        ToolRun table = RunTool(dir, { "info", out });
        EXPECT_NE(table.Out.find(std::string("Coding: ") + (cl2 ? "cl2" : "cel") + "\n"),
            std::string::npos);
        EXPECT_NE(table.Out.find("Group 2: 4 frames\n"), std::string::npos) << table.Out;

        // export, then build --groups from what it wrote.
        ToolRun exported = RunTool(dir, { "export", out, dir.File("out"), "--format", "png" });
        ASSERT_EQ(exported.ExitCode, 0) << exported.Err;
        for (const char* file : { "m_0_0.png", "m_1_3.png", "m_2_3.png" })
            EXPECT_TRUE(std::filesystem::exists(dir.Path() / "out" / file)) << file;
        const std::string again = dir.File(std::string("again") + (cl2 ? ".cl2" : ".cel"));
        ASSERT_EQ(RunTool(dir, { "build", again, dir.File("out"), "--groups", "3" }).ExitCode, 0);
        EXPECT_EQ(ReadBytes(again), bytes);

        // sheet, then build from its atlas: each group a row of its own.
        ToolRun sheet = RunTool(dir, { "sheet", out, dir.File("s.png") });
        ASSERT_EQ(sheet.ExitCode, 0) << sheet.Err;
        Json atlas = ParseJson(ReadText(dir.File("s.json")));
        EXPECT_EQ(atlas["columns"].Int(), 4);
        EXPECT_EQ(atlas["frames"][5]["group"].Int(), 1);
        EXPECT_EQ(atlas["frames"][5]["index"].Int(), 1);
        EXPECT_EQ(atlas["frames"][5]["y"].Int(), atlas["cell_height"].Int());
        const std::string fromSheet = dir.File(std::string("sheet") + (cl2 ? ".cl2" : ".cel"));
        ASSERT_EQ(
            RunTool(dir,
                { "build", fromSheet, "--sheet", dir.File("s.png"), "--atlas", dir.File("s.json") })
                .ExitCode,
            0);
        EXPECT_EQ(ReadBytes(fromSheet), bytes);

        // convert into the other coding and back; the database only when asked or kept.
        const std::string other = dir.File(cl2 ? "o.cel" : "o.cl2");
        ToolRun converted = RunTool(dir, { "convert", out, other, "--database" });
        ASSERT_EQ(converted.ExitCode, 0) << converted.Err;
        EXPECT_TRUE(std::filesystem::exists(other + ".cdb"));
        SpriteFile otherSprite = LoadSpriteFile(other, true);
        ASSERT_EQ(otherSprite.Status, LoadOK);
        ASSERT_TRUE(otherSprite.Grouped);
        for (size_t g = 0; g < 3; ++g)
            for (size_t i = 0; i < 4; ++i)
                EXPECT_EQ(Decoded(*otherSprite.Groups[g]->Frames[i]->Frame),
                    sprites.Bitmaps[4 * g + i].BitmapPixels);
        const std::string back = dir.File(std::string("back") + (cl2 ? ".cl2" : ".cel"));
        ASSERT_EQ(RunTool(dir, { "convert", other, back }).ExitCode, 0);
        EXPECT_EQ(ReadBytes(back), bytes);
        EXPECT_TRUE(std::filesystem::exists(back + ".cdb")) << "kept from the input";
        EXPECT_EQ(std::filesystem::exists(dir.File("again.cel.cdb")), false);
        // --coding and --from/--to override the names.
        const std::string renamed = dir.File("renamed.bin");
        ASSERT_EQ(
            RunTool(dir, { "convert", out, renamed, "--to", cl2 ? "cl2" : "cel" }).ExitCode, 0);
        EXPECT_EQ(ReadBytes(renamed), bytes);
        ToolRun named
            = RunTool(dir, { "info", renamed, "--coding", cl2 ? "cl2" : "cel", "--json" });
        EXPECT_EQ(ParseJson(named.Out)["group_count"].Int(), 3);
    }
}

TEST(CelToolGroups, RefusalsExitWithTheirCodeAndWriteNothing)
{
    std::mt19937 random(21);
    TempDir dir;
    BuiltSprites sprites = WriteSprites(dir, random, 4);
    struct Case {
        std::vector<std::string> Args;
        int Exit;
    };
    std::vector<Case> cases {
        { { "build", dir.File("a.cl2"), "--groups", "3" }, 2 },
        { { "build", dir.File("a.cl2"), "--no-headers" }, 2 },
        { { "build", dir.File("a.cel"), "--coding", "cl3" }, 2 },
        { { "build", dir.File("a.cel"), "--coding", "cl2", "--no-headers" }, 2 },
        { { "build", dir.File("a.cel"), "--groups", "0" }, 2 },
    };
    for (Case& c : cases) {
        c.Args.insert(c.Args.end(), sprites.Paths.begin(), sprites.Paths.end());
        ToolRun run = RunTool(dir, c.Args);
        EXPECT_EQ(run.ExitCode, c.Exit) << c.Args[2] << run.Err;
        EXPECT_FALSE(std::filesystem::exists(c.Args[1]));
    }
    std::vector<std::string> args { "build", dir.File("g.cl2"), "--groups", "2" };
    args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
    ASSERT_EQ(RunTool(dir, args).ExitCode, 0);
    EXPECT_EQ(
        RunTool(dir, { "export", dir.File("g.cl2"), dir.File("x"), "--group", "2" }).ExitCode, 2);
    EXPECT_EQ(RunTool(dir, { "info", dir.File("g.cl2"), "--coding", "x" }).ExitCode, 2);
    EXPECT_EQ(
        RunTool(dir, { "convert", dir.File("g.cl2"), dir.File("c.cl2"), "--no-headers" }).ExitCode,
        2);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x"));

    // A frame that cannot be shown cannot change coding: named, and nothing written.
    std::vector<std::unique_ptr<CELFrame>> frames;
    frames.push_back(EncodedFrame(3, 2, { 5, 255, 255, 255, 6, 7 }));
    frames.push_back(CELFrame::CreateEmpty());
    frames.back()->Data = { 0x05, 0x07, 0x08 }; // a literal run past the data
    frames.back()->DataLength = 3;
    frames.back()->AnalyseData();
    SaveCEL(dir.File("broken.cel"), std::move(frames), true, true);
    ToolRun refused = RunTool(dir, { "convert", dir.File("broken.cel"), dir.File("broken.cl2") });
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Err.find("frame 1 cannot be shown (DiagBounds)"), std::string::npos)
        << refused.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("broken.cl2")));
    // The same coding copies every frame as it is.
    ASSERT_EQ(
        RunTool(dir, { "convert", dir.File("broken.cel"), dir.File("copy.cel") }).ExitCode, 0);
    EXPECT_EQ(ReadBytes(dir.File("copy.cel")), ReadBytes(dir.File("broken.cel")));
}

// export of a folder: every .cel and .cl2 below it, each into its own folder; a file that does
// not load is reported and skipped, the rest exported, exit 1.
TEST(CelToolGroups, ExportOfAFolderTakesEverySpriteFileBelowIt)
{
    std::mt19937 random(22);
    TempDir dir;
    BuiltSprites sprites = WriteSprites(dir, random, 4);
    std::filesystem::create_directories(dir.Path() / "tree" / "sub");
    std::vector<std::string> args { "build", dir.File("tree/sub/u.CL2"), "--groups", "2" };
    args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
    ASSERT_EQ(RunTool(dir, args).ExitCode, 0);
    args = { "build", dir.File("tree/p.cel") };
    args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
    ASSERT_EQ(RunTool(dir, args).ExitCode, 0);
    WriteBytes(dir.File("tree/notes.txt"), { 1, 2, 3 });
    for (bool broken : { false, true }) {
        if (broken)
            WriteBytes(dir.File("tree/sub/bad.cel"), { 1, 2, 3 });
        const std::string out = dir.File(broken ? "out2" : "out1");
        ToolRun run = RunTool(dir, { "export", dir.File("tree"), out, "--jobs", "2" });
        EXPECT_EQ(run.ExitCode, broken ? 1 : 0) << run.Err;
        EXPECT_EQ(run.Err.find("bad.cel") != std::string::npos, broken) << run.Err;
        size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
            files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(files, 8u);
        EXPECT_TRUE(
            std::filesystem::exists(std::filesystem::path(out) / "sub" / "u" / "u_1_1.bmp"));
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(out) / "p" / "p_3.bmp"));
    }
}

TEST(CelToolBatch, BuildListsEveryRefusedInputWithItsRuleAndWritesNothing)
{
    TempDir dir;
    std::mt19937 random(8);
    Bitmap bitmap { 6, 4, RandomImage(random, 6, 4) };
    const std::vector<uint8_t> good = EncodeBitmap(bitmap, DefaultPalette(), 8);
    auto changed = [&](size_t at, uint32_t value, size_t size) {
        std::vector<uint8_t> file = good;
        for (size_t i = 0; i < size; ++i)
            file[at + i] = static_cast<uint8_t>(value >> (8 * i));
        return file;
    };
    WriteBytes(dir.File("good.bmp"), good);
    WriteBytes(dir.File("four.bmp"), changed(28, 4, 2));
    WriteBytes(dir.File("rle.bmp"), changed(30, 1, 4));
    WriteBytes(dir.File("v5.bmp"), changed(14, 124, 4));
    WriteBytes(dir.File("sixteen.bmp"), changed(10, 54 + 64, 4));
    std::vector<uint8_t> png = EncodePNG(bitmap, DefaultPalette(), 8);
    png.resize(png.size() - 20); // the end of the stream is missing
    WriteBytes(dir.File("cut.png"), png);
    WriteBytes(dir.File("text.bmp"), { 'h', 'e', 'l', 'l', 'o' });
    WriteBytes(dir.File("out.cel"), { 1, 2, 3 });

    ToolRun run = RunTool(dir,
        { "build", dir.File("out.cel"), dir.File("four.bmp"), dir.File("good.bmp"),
            dir.File("rle.bmp"), dir.File("v5.bmp"), dir.File("missing.png"),
            dir.File("sixteen.bmp"), dir.File("cut.png"), dir.File("text.bmp") });
    EXPECT_EQ(run.ExitCode, 1);
    auto line = [&](const std::string& name, const std::string& reason) {
        return "vornix-cel: " + dir.File(name) + ": " + reason + "\n";
    };
    EXPECT_EQ(run.Err,
        line("four.bmp", "File has unsupported format (4 bits per pixel)")
            + line("rle.bmp", "File has unsupported format (RLE8 compression)")
            + line("v5.bmp", "File has unsupported format (124-byte BITMAPV5 header)")
            + line("missing.png", "Cannot read file")
            + line("sixteen.bmp", "File has unsupported format (colour table of 16 entries)")
            + line("cut.png",
                "File has unsupported format (not a readable PNG (damaged, truncated, or above "
                "64 Mi pixels))")
            + line("text.bmp", "File has unsupported format (neither a BMP nor a PNG file)")
            + "vornix-cel: hint: save such pictures as PNG, or as uncompressed 8- or 24-bit BMP "
              "with a 40-byte header and a full colour table\n");
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(ReadBytes(dir.File("out.cel")), (std::vector<uint8_t> { 1, 2, 3 }));

    // A PNG named .bmp is read as the PNG it is.
    WriteBytes(dir.File("png.bmp"), EncodePNG(bitmap, DefaultPalette(), 8));
    ToolRun byContent
        = RunTool(dir, { "build", dir.File("out.cel"), dir.File("png.bmp"), "--quiet" });
    ASSERT_EQ(byContent.ExitCode, 0) << byContent.Err;
    EXPECT_EQ(Decoded(*Load(dir.File("out.cel"), true)->Frames[0]->Frame), bitmap.BitmapPixels);

    // info on a picture says what it is.
    ToolRun info = RunTool(dir, { "info", dir.File("png.bmp") });
    EXPECT_EQ(info.ExitCode, 1);
    EXPECT_EQ(info.Err,
        line("png.bmp",
            "a PNG picture, not a CEL file (vornix-cel build OUT.cel " + dir.File("png.bmp")
                + " makes a CEL of it)"));
    ToolRun bmpInfo = RunTool(dir, { "info", "--json", dir.File("good.bmp") });
    EXPECT_EQ(ParseJson(bmpInfo.Out)["format"].Text, "BMP");
}

TEST(CelToolBatch, NoOverwriteRefusesBeforeWritingAnything)
{
    TempDir dir;
    WriteFrames(dir.File("n.cel"), 3, { { 4, 4 } }, 2);
    std::filesystem::create_directories(dir.File("out"));
    WriteBytes(dir.File("out/n_2.bmp"), { 7 });
    ToolRun run = RunTool(dir, { "export", dir.File("n.cel"), dir.File("out"), "--no-overwrite" });
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err,
        "vornix-cel: " + dir.File("out/n_2.bmp")
            + ": File exists; nothing written (--no-overwrite)\n");
    EXPECT_EQ(FilesIn(dir.File("out")), std::vector<std::string> { "n_2.bmp" });
    // As PNG the targets are free.
    EXPECT_EQ(
        RunTool(dir,
            { "export", dir.File("n.cel"), dir.File("out"), "--no-overwrite", "--format", "png" })
            .ExitCode,
        0);
    // Without the option the file is replaced.
    ASSERT_EQ(RunTool(dir, { "export", dir.File("n.cel"), dir.File("out") }).ExitCode, 0);
    EXPECT_GT(ReadBytes(dir.File("out/n_2.bmp")).size(), 1u);

    for (const std::string existing : { "s.png", "s.json" }) {
        TempDir sheetDir;
        WriteBytes(sheetDir.File(existing), { 7 });
        ToolRun sheet = RunTool(
            sheetDir, { "sheet", dir.File("n.cel"), sheetDir.File("s.png"), "--no-overwrite" });
        EXPECT_EQ(sheet.ExitCode, 1);
        EXPECT_EQ(sheet.Err,
            "vornix-cel: " + sheetDir.File(existing)
                + ": File exists; nothing written (--no-overwrite)\n");
        EXPECT_EQ(ReadBytes(sheetDir.File(existing)), std::vector<uint8_t> { 7 });
    }
}

TEST(CelToolBatch, OneJobAndTwoJobsWriteTheSameBytes)
{
    TempDir dir;
    WriteFrames(dir.File("j.cel"), 40, { { 17, 9 }, { 96, 96 }, { 3, 50 } }, 4);
    auto run = [&](std::vector<std::string> args) {
        ToolRun result = RunTool(dir, args);
        EXPECT_EQ(result.ExitCode, 0) << result.Err;
    };
    for (const std::string jobs : { "1", "2" }) {
        for (const std::string format : { "bmp", "png" })
            run({ "export", dir.File("j.cel"), dir.File(format + jobs), "--format", format,
                "--jobs", jobs, "--bpp", format == "png" ? "24" : "8" });
        run({ "sheet", dir.File("j.cel"), dir.File("sheet" + jobs + "/s.png"), "--jobs", jobs });
        run({ "build", dir.File("b" + jobs + ".cel"), dir.File("png" + jobs), "--database",
            "--jobs", jobs });
    }
    for (const std::string folder : { "bmp", "png" }) {
        auto names = FilesIn(dir.File(folder + "1"));
        ASSERT_EQ(names.size(), 40u);
        EXPECT_EQ(names, FilesIn(dir.File(folder + "2")));
        for (const auto& name : names)
            EXPECT_EQ(ReadBytes(dir.File(folder + "1/" + name)),
                ReadBytes(dir.File(folder + "2/" + name)))
                << name;
    }
    EXPECT_EQ(ReadBytes(dir.File("sheet1/s.png")), ReadBytes(dir.File("sheet2/s.png")));
    EXPECT_EQ(ReadBytes(dir.File("sheet1/s.json")), ReadBytes(dir.File("sheet2/s.json")));
    EXPECT_EQ(ReadBytes(dir.File("b1.cel")), ReadBytes(dir.File("b2.cel")));
    EXPECT_EQ(ReadBytes(dir.File("b1.cel.cdb")), ReadBytes(dir.File("b2.cel.cdb")));
    EXPECT_EQ(ReadBytes(dir.File("b1.cel")), ReadBytes(dir.File("j.cel")));
    for (std::string bad : { "0", "257", "two" })
        EXPECT_EQ(
            RunTool(dir, { "export", dir.File("j.cel"), dir.File("x"), "--jobs", bad }).ExitCode,
            2);
}

TEST(CelToolBatch, AWriteFailureInTheMiddleLeavesNoHalfFileAndExitsOne)
{
    TempDir dir;
    // Frame 5 makes a BMP of 41,078 bytes, the others of 1,094; files may grow to 10,240.
    std::vector<std::pair<uint32_t, uint32_t>> sizes(10, { 4, 4 });
    sizes[5] = { 200, 200 };
    WriteFrames(dir.File("f.cel"), 10, sizes, 6);
    ToolRun run = RunTool(
        dir, { "export", dir.File("f.cel"), dir.File("out"), "--jobs", "1" }, "ulimit -f 20; ");
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err,
        "vornix-cel: " + dir.File("out/f_5.bmp") + ": Cannot write file\n"
            + "vornix-cel: " + dir.File("out") + ": 4 frames not written after the failure\n");
    EXPECT_EQ(run.Out, "");
    // The frames before it are whole; of frame 5 nothing is left, not even a temporary file.
    EXPECT_EQ(FilesIn(dir.File("out")),
        (std::vector<std::string> { "f_0.bmp", "f_1.bmp", "f_2.bmp", "f_3.bmp", "f_4.bmp" }));
    auto cel = Load(dir.File("f.cel"));
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(ReadPicture(dir.File("out/f_" + std::to_string(i) + ".bmp")).BitmapPixels,
            Decoded(*cel->Frames[i]->Frame));
}

TEST(CelToolBatch, ReplacedFilesKeepTheirModeAndAFailedReplacementKeepsTheOldFile)
{
    TempDir dir;
    std::vector<std::pair<uint32_t, uint32_t>> sizes(10, { 4, 4 });
    sizes[5] = { 200, 200 }; // 41,078 bytes as a BMP, beyond the file size limit below
    WriteFrames(dir.File("r.cel"), 10, sizes, 6);
    std::filesystem::create_directories(dir.File("out"));
    WriteBytes(dir.File("out/r_3.bmp"), { 3 });
    WriteBytes(dir.File("out/r_5.bmp"), { 5 });
    std::filesystem::permissions(dir.File("out/r_3.bmp"), std::filesystem::perms(0640));

    ToolRun failed = RunTool(
        dir, { "export", dir.File("r.cel"), dir.File("out"), "--jobs", "1" }, "ulimit -f 20; ");
    EXPECT_EQ(failed.ExitCode, 1);
    // r_3 was replaced; r_5, whose new bytes could not be written, is the old file, and no
    // temporary file is left beside it.
    EXPECT_GT(ReadBytes(dir.File("out/r_3.bmp")).size(), 1u);
    EXPECT_EQ(ReadBytes(dir.File("out/r_5.bmp")), std::vector<uint8_t> { 5 });
    EXPECT_EQ(FilesIn(dir.File("out")),
        (std::vector<std::string> {
            "r_0.bmp", "r_1.bmp", "r_2.bmp", "r_3.bmp", "r_4.bmp", "r_5.bmp" }));

    ASSERT_EQ(RunTool(dir, { "export", dir.File("r.cel"), dir.File("out") }).ExitCode, 0);
    auto mode = [&](const std::string& name) {
        return std::filesystem::status(dir.File("out/" + name)).permissions()
            & std::filesystem::perms::all;
    };
    EXPECT_EQ(mode("r_3.bmp"), std::filesystem::perms(0640));
    // New files get the usual mode for the umask: the same as a file the test creates.
    WriteBytes(dir.File("plain"), { 1 });
    EXPECT_EQ(mode("r_9.bmp"),
        std::filesystem::status(dir.File("plain")).permissions() & std::filesystem::perms::all);
    auto cel = Load(dir.File("r.cel"));
    for (uint32_t i : { 3u, 5u, 9u })
        EXPECT_EQ(ReadPicture(dir.File("out/r_" + std::to_string(i) + ".bmp")).BitmapPixels,
            Decoded(*cel->Frames[i]->Frame));
}

TEST(CelToolBuild, ACELBuiltWithoutDatabaseIsReadBackWithTheFrameHeadersItWasWrittenWith)
{
    // build writes Frame Headers by default, and without --database nothing records that:
    // info, export and sheet read such a CEL with headers because more frames are viewable
    // so, unless told otherwise; a CEL without headers keeps being read without them.
    std::mt19937 random(77);
    for (bool withHeaders : { true, false }) {
        TempDir dir;
        BuiltSprites sprites = WriteSprites(dir, random, 3);
        const std::string out = dir.File("plain.cel");
        std::vector<std::string> args { "build", out, "--quiet" };
        if (!withHeaders)
            args.push_back("--no-headers");
        args.insert(args.end(), sprites.Paths.begin(), sprites.Paths.end());
        ASSERT_EQ(RunTool(dir, args).ExitCode, 0);

        ToolRun info = RunTool(dir, { "info", out });
        ASSERT_EQ(info.ExitCode, 0) << info.Err;
        EXPECT_NE(info.Out.find(withHeaders
                          ? "Frame Headers: yes (no .cdb file; more frames are viewable so)\n"
                          : "Frame Headers: no (no .cdb file; as chosen)\n"),
            std::string::npos)
            << info.Out;
        Json json = ParseJson(RunTool(dir, { "info", out, "--json" }).Out);
        EXPECT_EQ(json["with_headers"].Value, withHeaders);

        ToolRun exported = RunTool(dir, { "export", out, dir.File("frames"), "--quiet" });
        ASSERT_EQ(exported.ExitCode, 0) << exported.Err;
        EXPECT_EQ(exported.Err, "");
        auto cel = Load(out, withHeaders);
        for (uint32_t i = 0; i < 3; ++i)
            EXPECT_EQ(
                ReadPicture(dir.File("frames/plain_" + std::to_string(i) + ".bmp")).BitmapPixels,
                Decoded(*cel->Frames[i]->Frame))
                << i;
        ToolRun sheet = RunTool(dir, { "sheet", out, dir.File("s.png"), "--quiet" });
        EXPECT_EQ(sheet.ExitCode, 0);
        EXPECT_EQ(sheet.Err, "");

        // A choice given is followed, even when it leaves frames unviewable.
        if (withHeaders) {
            ToolRun forced = RunTool(dir, { "info", out, "--no-headers", "--json" });
            EXPECT_EQ(ParseJson(forced.Out)["with_headers"].Value, false);
        }
    }
}

TEST(CelToolArguments, VersionPrintsTheProgramAndItsVersion)
{
    TempDir dir;
    ToolRun run = RunTool(dir, { "--version" });
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Out.rfind("vornix-cel ", 0), 0u);
    EXPECT_EQ(run.Out.back(), '\n');
    EXPECT_GT(run.Out.size(), std::string("vornix-cel \n").size());
}

// --- Animated GIF: anim writes it, build reads it ------------------------------------------

namespace {

// Every frame of a GIF as the core reads it, each the whole canvas.
std::vector<Bitmap> GIFFrames(const std::string& path, const PaletteModel& palette)
{
    std::vector<Bitmap> frames;
    EXPECT_EQ(DecodeGIF(ReadBytes(path), palette, [&](const Bitmap& canvas) {
        frames.push_back(canvas);
        return true;
    }), BitmapOK) << path;
    return frames;
}

} // namespace

TEST(CelToolAnim, WritesTheChosenViewableFramesAsTheWindowPlaysThem)
{
    TempDir dir;
    const std::string cel = dir.File("walk.cel");
    const std::vector<DataArray> images = WriteFrames(cel, 5, { { 7, 5 }, { 3, 9 }, { 10, 2 } }, 22);
    const PaletteModel grey = DefaultPalette(0xFFFFFF, true);
    for (const auto& [extra, first, last, zoom] :
        std::vector<std::tuple<std::vector<std::string>, size_t, size_t, uint32_t>> {
            { {}, 0, 4, 1 },
            { { "--zoom", "3", "--from", "1", "--to", "3", "--group", "0" }, 1, 3, 3 },
            { { "--to=0", "--fps", "100" }, 0, 0, 1 } }) {
        std::vector<std::string> args { "anim", cel, dir.File("walk.gif") };
        args.insert(args.end(), extra.begin(), extra.end());
        ToolRun run = RunTool(dir, args);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
        const std::vector<Bitmap> read = GIFFrames(dir.File("walk.gif"), grey);
        ASSERT_EQ(read.size(), last - first + 1);
        // The canvas is the largest width and height of the frames written.
        uint32_t width = 0, height = 0;
        for (size_t k = first; k <= last; ++k) {
            width = std::max(width, std::vector<uint32_t> { 7, 3, 10 }[k % 3]);
            height = std::max(height, std::vector<uint32_t> { 5, 9, 2 }[k % 3]);
        }
        EXPECT_EQ(run.Out,
            "wrote " + dir.File("walk.gif") + ": " + std::to_string(read.size())
                + (read.size() == 1 ? " frame" : " frames") + " of " + std::to_string(width * zoom)
                + " x " + std::to_string(height * zoom) + " at " + (extra.size() == 3 ? "100" : "15")
                + " frames a second\n");
        for (size_t k = first; k <= last; ++k) {
            const Bitmap& frame = read[k - first];
            ASSERT_EQ(frame.BitmapWidth, width * zoom);
            ASSERT_EQ(frame.BitmapHeight, height * zoom);
            const uint32_t w = std::vector<uint32_t> { 7, 3, 10 }[k % 3];
            const uint32_t h = std::vector<uint32_t> { 5, 9, 2 }[k % 3];
            for (uint32_t y = 0; y < frame.BitmapHeight; ++y) // from the bottom
                for (uint32_t x = 0; x < frame.BitmapWidth; ++x) {
                    const uint32_t column = x / zoom, row = y / zoom;
                    const uint8_t want = column < w && row < h ? images[k][row * w + column] : 255;
                    ASSERT_EQ(frame.BitmapPixels[size_t(y) * frame.BitmapWidth + x], want)
                        << "frame " << k << " at " << x << "," << y;
                }
        }
    }
    // Refusals: groups a plain file does not have, and what a GIF cannot hold.
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused {
        { { "anim", cel, "a.gif", "--group", "1" },
            "--group 1 does not exist: " + cel + " is not a grouped file; its one group is 0" },
        { { "anim", cel, "a.gif", "--fps", "101" }, "--fps needs frames a second from 1 to 100, not '101'" },
        { { "anim", cel, "a.gif", "--zoom", "0" }, "--zoom needs a zoom from 1 to 8, not '0'" },
        { { "anim", cel, "a.gif", "--loop", "65536" },
            "--loop needs a loop count from 0 (for ever) to 65535, not '65536'" },
        { { "anim", cel, "a.gif", "--from", "3", "--to", "2" }, "--from 3 comes after --to 2" },
        { { "anim", cel, "a.gif", "--to", "5" }, "frame 5 does not exist; " + cel + " has 5 frames" },
        { { "anim", cel }, "a sprite file and a GIF file are needed" },
    };
    for (const auto& [args, problem] : refused) {
        ToolRun run = RunTool(dir, args);
        EXPECT_EQ(run.ExitCode, 2) << problem;
        EXPECT_EQ(run.Err.substr(0, run.Err.find('\n')), "vornix-cel: " + problem);
        EXPECT_NE(run.Err.find("\n" + Usage("anim")), std::string::npos) << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.gif")));
}

TEST(CelToolBuild, EachFrameOfAnAnimatedGIFBecomesAFrameNamedAfterItsStem)
{
    TempDir dir;
    const PaletteModel grey = DefaultPalette();
    std::mt19937 random(5);
    std::vector<Bitmap> pictures;
    for (auto [width, height] : { std::pair { 4u, 6u }, { 9u, 2u }, { 5u, 5u } })
        pictures.push_back({ width, height, RandomImage(random, width, height) });
    const std::string gif = dir.File("walk.gif");
    ASSERT_EQ(WriteGIF(gif, pictures, grey, {}), BitmapWritten);
    ASSERT_EQ(WriteGIF(dir.File("one.gif"), std::vector<Bitmap> { pictures[1] }, grey, {}),
        BitmapWritten);
    const std::string out = dir.File("out.cel");
    ToolRun run = RunTool(dir, { "build", out, gif, dir.File("one.gif"), "--database" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    auto cel = Load(out);
    ASSERT_EQ(cel->Frames.size(), 4u);
    const std::vector<Bitmap> read = GIFFrames(gif, grey);
    const std::vector<std::string> names { "walk_0", "walk_1", "walk_2", "one" };
    for (size_t k = 0; k < 4; ++k) {
        const CELFrame& frame = *cel->Frames[k]->Frame;
        EXPECT_EQ(frame.Name, names[k]);
        const Bitmap expected = k < 3 ? read[k] : pictures[1];
        EXPECT_EQ(frame.Width, expected.BitmapWidth) << k; // the canvas's width selected
        EXPECT_EQ(Decoded(frame), expected.BitmapPixels) << k;
    }
    // A damaged GIF is refused with its reason, and nothing is written.
    std::vector<uint8_t> bytes = ReadBytes(gif);
    bytes.resize(bytes.size() - 20);
    WriteBytes(dir.File("cut.gif"), bytes);
    ToolRun cut = RunTool(dir, { "build", dir.File("cut.cel"), dir.File("cut.gif") });
    EXPECT_EQ(cut.ExitCode, 1);
    EXPECT_EQ(cut.Err.substr(0, cut.Err.find('\n')),
        "vornix-cel: " + dir.File("cut.gif") + ": File has unsupported format (file ends inside frame 2)");
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.cel")));
    // info names a GIF for what it is.
    ToolRun info = RunTool(dir, { "info", gif });
    EXPECT_EQ(info.ExitCode, 1);
    EXPECT_NE(info.Err.find("a GIF picture, not a CEL file"), std::string::npos) << info.Err;
}
