// End-to-end tests of vornix-cel: the built program is run on files generated here, and what it
// prints and writes is checked against the core read in-process.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <tuple>

#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "cel/CELHandler.h"

namespace {

struct ToolRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& arguments)
{
    static int runs = 0;
    std::string outFile = dir.File("stdout" + std::to_string(runs));
    std::string errFile = dir.File("stderr" + std::to_string(runs++));
    std::string command = Quoted(VORNIX_CEL_TOOL);
    for (const auto& argument : arguments)
        command += " " + Quoted(argument);
    command += " >" + Quoted(outFile) + " 2>" + Quoted(errFile) + " </dev/null";
    int status = std::system(command.c_str());
    ToolRun run;
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto out = ReadBytes(outFile), err = ReadBytes(errFile);
    run.Out.assign(out.begin(), out.end());
    run.Err.assign(err.begin(), err.end());
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

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

std::unique_ptr<CELFrame> EncodedFrame(
    uint32_t width, uint32_t height, const DataArray& image, std::string name = {})
{
    auto frame = CELFrame::CreateEmpty();
    frame->SetSize(width, height);
    frame->EncodeImage(image);
    frame->AnalyseData();
    frame->Name = std::move(name);
    return frame;
}

void SaveCEL(const std::string& path, std::vector<std::unique_ptr<CELFrame>> frames,
    bool withHeaders, bool database)
{
    auto cel = CELObject::CreateEmpty(static_cast<uint32_t>(frames.size()));
    for (size_t i = 0; i < frames.size(); ++i) {
        cel->Frames[i] = std::make_shared<FrameSlot>();
        cel->Frames[i]->Frame = std::move(frames[i]);
    }
    cel->FileName = path;
    cel->WithHeaders = withHeaders ? 1 : 0;
    cel->HasDatabase = database ? 1 : 0;
    ASSERT_EQ(cel->SaveToFile(), SaveOK);
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

DataArray Decoded(const CELFrame& frame)
{
    DataArray image;
    frame.DecodeImage(image);
    return image;
}

std::string Usage(const std::string& command)
{
    std::string help = command.empty() ? "vornix-cel COMMAND" : "vornix-cel " + command;
    return "usage: " + help;
}

std::unique_ptr<CELObject> Load(const std::string& path, bool withHeaders = false)
{
    auto cel = CELObject::CreateFromFile(path, withHeaders);
    EXPECT_EQ(cel->Status, LoadOK);
    return cel;
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
    // Control characters never appear raw, and are written as \u00XX.
    EXPECT_NE(run.Out.find("Tab\\u0009Line\\u000aBell\\u0007\\u001f\\u007f"), std::string::npos);
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
            EXPECT_EQ(run.Out, "");
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
    const std::vector<std::tuple<std::string, std::string, bool>> refusals {
        { dir.File("16.bmp"), "File has unsupported format", false },
        { dir.File("junk.bmp"), "File has unsupported format", false },
        { dir.File("0.bmp"), "File has unsupported format", false },
        { dir.File("missing.bmp"), "Cannot read file", false },
        { longStem, "Name must be less than 256 characters long", true },
    };
    for (const auto& [bad, message, needsDatabase] : refusals) {
        for (const std::string& target : { out, dir.File("new.cel") }) {
            std::vector<std::string> args { "build", target, sprites.Paths[0], sprites.Paths[1],
                bad };
            if (needsDatabase)
                args.push_back("--database");
            ToolRun run = RunTool(dir, args);
            EXPECT_EQ(run.ExitCode, 1) << bad;
            EXPECT_EQ(run.Err, "vornix-cel: " + bad + ": " + message + "\n");
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
        { { "build", cel }, "build", "no BMP file given" },
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
