// Writes the seed corpora of the fuzz harnesses: small, valid (and a few nearly valid) files of
// each kind, so that the fuzzers start from the formats' real structure. With --hostile it
// writes instead the small hostile files of the regression folder, one folder per reader, each
// with its expected.txt that tests/HostileFilesTest.cpp holds the readers to. Run by hand:
//     MakeSeeds <folder>                (normally fuzz/corpus)
//     MakeSeeds --hostile <folder>      (normally tests/data/hostile)
// Findings of the fuzzers are added to the regression folder by hand, with their line in
// expected.txt.
// It stands alone, without the core library, so that a fault in a reader cannot shape the
// seeds that are meant to find it.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// Each row on its own: transparent stretches in runs of up to 128, others in runs of up to 127.
Bytes EncodeRows(
    const Bytes& image, uint32_t width, uint32_t height, std::vector<uint32_t>* rowStarts)
{
    Bytes data;
    for (uint32_t y = 0; y < height; ++y) {
        if (rowStarts)
            rowStarts->push_back(static_cast<uint32_t>(data.size()));
        uint32_t x = 0;
        while (x < width) {
            const uint8_t* row = &image[size_t { y } * width];
            uint32_t n = 0;
            if (row[x] == 0xFF) {
                while (x + n < width && n < 128 && row[x + n] == 0xFF)
                    ++n;
                data.push_back(static_cast<uint8_t>(256 - n));
            } else {
                while (x + n < width && n < 127 && row[x + n] != 0xFF)
                    ++n;
                data.push_back(static_cast<uint8_t>(n));
                data.insert(data.end(), row + x, row + x + n);
            }
            x += n;
        }
    }
    return data;
}

Bytes Picture(uint32_t width, uint32_t height, uint32_t seed)
{
    Bytes image(size_t { width } * height);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& pixel : image) {
        state = state * 1103515245u + 12345u;
        uint32_t r = state >> 16;
        pixel = (r % 3 == 0) ? 0xFF : static_cast<uint8_t>(0x7F + r % 0x7F);
    }
    return image;
}

struct Frame {
    Bytes header; // 10 bytes
    Bytes data;
};

Frame MakeFrame(uint32_t width, uint32_t height, uint32_t seed)
{
    Frame frame;
    std::vector<uint32_t> rowStarts;
    frame.data = EncodeRows(Picture(width, height, seed), width, height, &rowStarts);
    for (uint32_t block = 0; block < 5; ++block) {
        uint32_t row = block * 32;
        Put16(frame.header, row < height ? (rowStarts[row] + 10) & 0xFFFF : 0);
    }
    return frame;
}

Bytes CelFile(const std::vector<Frame>& frames, bool withHeaders)
{
    Bytes out;
    uint32_t count = static_cast<uint32_t>(frames.size());
    Put32(out, count);
    uint32_t position = 4 * count + 8;
    for (const auto& frame : frames) {
        Put32(out, position);
        position += static_cast<uint32_t>(frame.data.size()) + (withHeaders ? 10 : 0);
    }
    Put32(out, position);
    for (const auto& frame : frames) {
        if (withHeaders)
            out.insert(out.end(), frame.header.begin(), frame.header.end());
        out.insert(out.end(), frame.data.begin(), frame.data.end());
    }
    return out;
}

// The CEL harness's input: a 16-bit database length, the database, the CEL file.
Bytes CelInput(const Bytes& database, const Bytes& cel)
{
    Bytes out;
    Put16(out, static_cast<uint32_t>(database.size()));
    out.insert(out.end(), database.begin(), database.end());
    out.insert(out.end(), cel.begin(), cel.end());
    return out;
}

Bytes Database(uint8_t withHeaders, const std::vector<std::string>& names, const Bytes& selections)
{
    Bytes out { withHeaders };
    for (size_t i = 0; i < names.size(); ++i) {
        out.push_back(static_cast<uint8_t>(names[i].size()));
        out.insert(out.end(), names[i].begin(), names[i].end());
        if (i < selections.size())
            out.push_back(selections[i]);
    }
    return out;
}

Bytes BmpFile(uint32_t width, int32_t height, uint32_t bits, uint32_t seed)
{
    uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    uint32_t rowSize = (bits * width / 8 + 3) / 4 * 4;
    uint32_t offset = bits == 8 ? 1078 : 54;
    Bytes out { 'B', 'M' };
    Put32(out, offset + rowSize * rows);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, bits);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    if (bits == 8)
        for (uint32_t i = 0; i < 256; ++i) {
            out.push_back(static_cast<uint8_t>(i * 7));
            out.push_back(static_cast<uint8_t>(i * 13));
            out.push_back(static_cast<uint8_t>(i));
            out.push_back(0);
        }
    Bytes image = Picture(rowSize, rows, seed);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

void Write(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes)
{
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Words32(std::initializer_list<uint32_t> words)
{
    Bytes out;
    for (uint32_t word : words)
        Put32(out, word);
    return out;
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Collects the files of one regression folder with their expectations.
class HostileFolder {
public:
    HostileFolder(std::filesystem::path folder, std::string heading)
        : folder(std::move(folder))
        , heading(std::move(heading))
    {
    }
    ~HostileFolder()
    {
        std::string text = heading;
        for (const auto& [name, expectation] : expected)
            text += name + " " + expectation + "\n";
        Write(folder, "expected.txt", Text(text));
    }
    void Add(const std::string& name, const Bytes& bytes, const std::string& expectation)
    {
        Write(folder, name, bytes);
        expected[name] = expectation;
    }
    // A companion file (a database beside its CEL) has no line of its own.
    void AddCompanion(const std::string& name, const Bytes& bytes) { Write(folder, name, bytes); }

private:
    std::filesystem::path folder;
    std::string heading;
    std::map<std::string, std::string> expected;
};

Bytes FrameHeader(std::initializer_list<uint32_t> words)
{
    Bytes out;
    for (uint32_t word : words)
        Put16(out, word);
    return out;
}

// A CL2 frame as stored: the Frame Header 10, 0, 0, 0, 0 and one run of n transparent pixels.
Bytes TransparentCL2Frame(uint8_t n)
{
    return Concat(FrameHeader({ 10, 0, 0, 0, 0 }), { n });
}

// A grouped file: the table of group offsets, then the groups.
Bytes GroupedFile(const std::vector<Bytes>& groups)
{
    Bytes out;
    uint32_t position = 4 * static_cast<uint32_t>(groups.size());
    for (const auto& group : groups) {
        Put32(out, position);
        position += static_cast<uint32_t>(group.size());
    }
    for (const auto& group : groups)
        out.insert(out.end(), group.begin(), group.end());
    return out;
}

void WriteHostile(const std::filesystem::path& root)
{
    {
        HostileFolder cel(
            root / "cel", "# file, then the load status with the default flag 0 and with 1\n");
        cel.Add("empty.cel", {}, "3 3");
        cel.Add("three-bytes.cel", { 1, 0, 0 }, "3 3");
        cel.Add("count-zero.cel", { 0, 0, 0, 0 }, "1 1");
        cel.Add("count-zero-long.cel", Words32({ 0, 8, 12 }), "1 1");
        // Counts whose size checks overflow in 32 bits: 15 x 11111112h + 8 wraps to 22,
        // 5 x 33333334h + 8 to 12, 4 x 40000000h + 8 to 8. The tables would need gigabytes.
        cel.Add("count-ffffffff.cel", Words32({ 0xFFFFFFFF, 12, 16, 20 }), "3 3");
        cel.Add("count-11111112.cel",
            Concat(Words32({ 0x11111112, 0x4444444C, 24 }), Bytes(12, 0xFF)), "3 3");
        cel.Add("count-33333334.cel", Words32({ 0x33333334, 0xCCCCCCD8, 16, 0 }), "3 3");
        cel.Add(
            "count-40000000.cel", Concat(Words32({ 0x40000000, 8, 64 }), Bytes(52, 0xFF)), "3 3");
        cel.Add("table-cut.cel", Words32({ 4, 24, 25, 26, 27 }), "3 3");
        // Table entries past the end, going backwards, wrapping around 2^32.
        cel.Add("last-offset-past-end.cel", Concat(Words32({ 1, 12, 100 }), Bytes(1, 0xFF)), "4 3");
        cel.Add("first-offset-wrong.cel", Concat(Words32({ 1, 13, 24 }), Bytes(12, 0xFF)), "4 4");
        cel.Add(
            "offsets-backwards.cel", Concat(Words32({ 2, 16, 10, 40 }), Bytes(24, 0xFF)), "4 4");
        cel.Add("offset-near-2-32.cel", Concat(Words32({ 2, 16, 0xFFFFFFF8, 40 }), Bytes(24, 0xFF)),
            "4 4");
        cel.Add("offset-ffffffff.cel", Concat(Words32({ 2, 16, 0xFFFFFFFF, 40 }), Bytes(24, 0xFF)),
            "4 4");
        cel.Add("equal-offsets.cel", Concat(Words32({ 2, 16, 16, 40 }), Bytes(24, 0xFF)), "4 4");
        cel.Add("trailing-byte.cel", Concat(Words32({ 1, 12, 24 }), Bytes(13, 0xFF)), "4 4");
        // Two frames of 10 and 13 bytes: sound without Frame Headers, a header without data with.
        cel.Add(
            "header-without-data.cel", Concat(Words32({ 2, 16, 26, 39 }), Bytes(23, 0xFF)), "0 4");
        cel.Add("header-only-22-bytes.cel", Concat(Words32({ 1, 12, 22 }), Bytes(10, 0xFF)), "0 3");
        // Frames whose data is broken inside: the load succeeds, the frames are not viewable.
        cel.Add("control-byte-zero.cel", Concat(Words32({ 1, 12, 16 }), { 0x01, 0x05, 0x00, 0xFF }),
            "0 3");
        cel.Add(
            "literal-past-end.cel", Concat(Words32({ 1, 12, 15 }), { 0x05, 0x07, 0x08 }), "0 3");
        cel.Add("run-crosses-width.cel",
            Concat(Words32({ 1, 12, 20 }), { 0x02, 0x07, 0x07, 0x03, 0x07, 0x07, 0x07, 0x80 }),
            "0 3");
        // Databases shorter than their records, or with flags that overrule the default.
        const Bytes oneByteFrame = Concat(Words32({ 1, 12, 13 }), { 0xFF });
        cel.Add("database-empty.cel", oneByteFrame, "0 3");
        cel.AddCompanion("database-empty.cel.cdb", {});
        cel.Add("database-flag-only.cel", oneByteFrame, "0 0");
        cel.AddCompanion("database-flag-only.cel.cdb", { 0 });
        cel.Add("database-says-headers.cel", oneByteFrame, "3 3");
        cel.AddCompanion("database-says-headers.cel.cdb", { 1 });
        cel.Add("database-name-cut.cel", oneByteFrame, "0 0");
        cel.AddCompanion("database-name-cut.cel.cdb", { 0, 255, 'W', 'a', 'l' });
        cel.Add("database-odd-flag.cel", oneByteFrame, "0 0");
        cel.AddCompanion("database-odd-flag.cel.cdb", { 7, 4, 'W', 'a', 'l', 'k', 9, 9, 9 });
        Bytes alternating;
        for (int i = 0; i < 5; ++i)
            alternating.insert(alternating.end(), { 0x01, 0x90, 0xFF });
        cel.Add(
            "database-selection-missing.cel", Concat(Words32({ 1, 12, 27 }), alternating), "0 0");
        cel.AddCompanion("database-selection-missing.cel.cdb", { 0, 4, 'W', 'a', 'l', 'k' });
        cel.Add(
            "database-selection-too-big.cel", Concat(Words32({ 1, 12, 27 }), alternating), "0 0");
        cel.AddCompanion("database-selection-too-big.cel.cdb", { 0, 0, 200 });
    }
    {
        // Grouped files, read as sprite files (as grouped only when the plain read fails and
        // every group loads): the status and group count (0: not grouped) with the default
        // Frame Header flag 0, then with 1.
        HostileFolder grouped(root / "grouped",
            "# file, then status and group count with the default flag 0, then with 1\n");
        const Bytes small = Concat(Words32({ 1, 12, 13 }), { 0xFF }); // a CEL without headers
        // One frame of 50 bytes: it loads with and without Frame Headers, and two of them
        // make a file long enough for the plain read to reach its offsets.
        Bytes literal { 49 };
        for (uint8_t i = 0; i < 49; ++i)
            literal.push_back(i);
        const Bytes big = Concat(Words32({ 1, 12, 62 }), literal);
        const Bytes bigBroken = Concat(Words32({ 1, 12, 61 }), literal);
        const Bytes cl2 = Concat(Words32({ 1, 12, 23 }), TransparentCL2Frame(4));
        grouped.Add("two-groups.cel", GroupedFile({ small, small }), "0 2 3 0");
        grouped.Add("two-big-groups.cel", GroupedFile({ big, big }), "0 2 0 2");
        grouped.Add("three-big-groups.cel", GroupedFile({ big, big, big }), "0 3 0 3");
        grouped.Add("two-groups.cl2", GroupedFile({ cl2, cl2 }), "0 2 0 2");
        grouped.Add("one-group.CL2", GroupedFile({ cl2 }), "0 1 0 1");
        // A CL2 grouped file read as a CEL: its frames are no CEL frames of the layout.
        grouped.Add("cl2-groups-as-cel.cel", GroupedFile({ cl2, cl2 }), "0 2 0 2");
        // Tables that fall, point past the end, or only fit in a file cut short.
        grouped.Add("falling.cel", Concat(Words32({ 12, 136, 74 }), Concat(Concat(big, big), big)),
            "4 0 4 0");
        grouped.Add("equal-offsets.cel", Concat(Words32({ 8, 8 }), Concat(big, big)), "4 0 4 0");
        grouped.Add("past-the-end.cel", Concat(Words32({ 8, 132 }), Concat(big, big)), "4 0 4 0");
        grouped.Add("table-only.cel", Words32({ 8, 12 }), "3 0 3 0");
        const Bytes twoBig = GroupedFile({ big, big });
        grouped.Add("cut.cel", Bytes(twoBig.begin(), twoBig.end() - 1), "4 0 4 0");
        // A group that does not load keeps the plain status.
        grouped.Add("broken-group.cel", GroupedFile({ big, bigBroken }), "4 0 4 0");
        grouped.Add("group-without-frames.cel", GroupedFile({ Words32({ 0 }), small }), "3 0 3 0");
        grouped.Add("small-broken-group.cel",
            GroupedFile({ small, Concat(Words32({ 1, 12, 14 }), { 0xFF }) }), "3 0 3 0");
        // The database: one after another, its first flag byte for every group.
        grouped.Add("database.cel", GroupedFile({ small, small }), "0 2 0 2");
        grouped.AddCompanion("database.cel.cdb", { 0, 1, 'a', 1, 1, 'b' });
        grouped.Add("database-cut.cel", GroupedFile({ small, small }), "0 2 0 2");
        grouped.AddCompanion("database-cut.cel.cdb", { 0, 1, 'a' });
        grouped.Add("database-says-headers.cel", GroupedFile({ small, small }), "3 0 3 0");
        grouped.AddCompanion("database-says-headers.cel.cdb", { 1, 1 });
        grouped.Add("database-zero-flag.cl2", GroupedFile({ cl2, cl2 }), "0 2 0 2");
        grouped.AddCompanion("database-zero-flag.cl2.cdb", { 0, 0, 0, 0 });
    }
    {
        HostileFolder bmp(root / "bmp", "# file, then the read result\n");
        bmp.Add("empty.bmp", {}, "2");
        bmp.Add("signature-only.bmp", { 'B', 'M' }, "2");
        const Bytes whole = BmpFile(2, 2, 24, 1);
        bmp.Add("header-cut.bmp", Bytes(whole.begin(), whole.begin() + 30), "2");
        bmp.Add("sound-8bit-2x2.bmp", BmpFile(2, 2, 8, 1), "0");
        bmp.Add("sound-24bit-3x2.bmp", BmpFile(3, 2, 24, 2), "0");
        auto patched = [](Bytes file, size_t at, uint32_t value, size_t size = 4) {
            for (size_t i = 0; i < size; ++i)
                file[at + i] = static_cast<uint8_t>(value >> (8 * i));
            return file;
        };
        const Bytes eight = BmpFile(2, 2, 8, 3);
        const Bytes twentyFour = BmpFile(3, 2, 24, 4);
        // Width x height and row size x height that overflow 32 bits.
        bmp.Add("pixels-overflow-65536x65536.bmp",
            patched(patched(eight, 18, 0x10000), 22, 0x10000), "2");
        bmp.Add("row-overflow-24bit.bmp", patched(patched(twentyFour, 18, 0xAAAAAAAB), 22, 1), "2");
        bmp.Add("row-overflow-8bit.bmp", patched(patched(eight, 18, 0xFFFFFFFF), 22, 2), "2");
        bmp.Add("row-times-height-overflow.bmp", patched(patched(eight, 18, 0x10000), 22, 0x10001),
            "2");
        bmp.Add("width-zero.bmp", patched(eight, 18, 0), "2");
        bmp.Add("height-zero.bmp", patched(eight, 22, 0), "2");
        bmp.Add("height-negative.bmp", patched(twentyFour, 22, static_cast<uint32_t>(-2)), "2");
        bmp.Add("height-too-big.bmp", patched(twentyFour, 22, 3), "2");
        bmp.Add("file-size-field-wrong.bmp", patched(eight, 2, 1078 + 7), "2");
        bmp.Add("reserved-set.bmp", patched(eight, 6, 1), "2");
        bmp.Add("offset-1077.bmp", patched(eight, 10, 1077), "2");
        bmp.Add("offset-54-for-8bit.bmp", patched(eight, 10, 54), "2");
        bmp.Add("core-header.bmp", patched(eight, 14, 12), "2");
        bmp.Add("planes-2.bmp", patched(eight, 26, 2, 2), "2");
        bmp.Add("bits-32.bmp", patched(twentyFour, 28, 32, 2), "2");
        bmp.Add("bits-4.bmp", patched(eight, 28, 4, 2), "2");
        bmp.Add("compressed.bmp", patched(eight, 30, 1), "2");
    }
    {
        HostileFolder ini(root / "ini", "# file, then true, or false and the error text\n");
        Bytes garbage;
        uint32_t state = 12345;
        for (int i = 0; i < 600; ++i) {
            state = state * 1103515245u + 12345u;
            garbage.push_back(static_cast<uint8_t>(0x80 | (state >> 16)));
            if (i % 50 == 0)
                garbage.push_back(0);
        }
        ini.Add("garbage.ini", garbage, "false Row without \"=\"");
        ini.Add("nul-bytes-only.ini", Bytes(64, 0), "false Row without \"=\"");
        ini.Add(
            "nul-in-name.ini", Concat(Text("Ma"), Concat(Bytes(1, 0), Text("in = 5\r\n"))), "true");
        ini.Add("nul-in-value.ini",
            Concat(Text("MainWidth = 3"), Concat(Bytes(1, 0), Text("0\r\n"))), "true");
        ini.Add("empty.ini", {}, "false File does not contain any entry");
        ini.Add("comments-and-groups.ini", Text("; note\r\n[Main]\r\n\r\n[Other] ; x\r\n"),
            "false File does not contain any entry");
        ini.Add("line-without-equals.ini", Text("MainWidth = 300\r\nMainHeight 300\r\n"),
            "false Row without \"=\"");
        ini.Add("line-of-blanks.ini", Text("MainWidth = 300\r\n   \r\nMainHeight = 3\r\n"),
            "false Row without \"=\"");
        ini.Add("void-name.ini", Text("= 300\r\n"), "false Void entry name");
        ini.Add("blank-in-name.ini", Text("Main Width = 300\r\n"), "false Invalid entry name");
        ini.Add("unfinished-group.ini", Text("A = 1\r\n[Main\r\n"), "false Unfinished group name");
        ini.Add("void-group.ini", Text("A = 1\r\n[]\r\n"), "false Void group name");
        ini.Add("blank-group.ini", Text("A = 1\r\n[ Main ]\r\n"), "false Invalid group name");
        ini.Add("garbage-after-group.ini", Text("A = 1\r\n[Main] x\r\n"),
            "false Garbage after a group name");
        ini.Add("repeated-entry.ini", Text("SelCol = 1\r\nSelCol = 2\r\n"),
            "false Repeating entry name");
        ini.Add("repeated-group.ini", Text("[G]\r\nA = 1\r\n[G]\r\nB = 1\r\n"),
            "false Repeating group name");
        // The bad line decides before the repeated name, found only in the second pass.
        ini.Add("repeat-then-bad.ini", Text("A = 1\r\nA = 2\r\n[]\r\n"), "false Void group name");
        ini.Add("no-line-end.ini", Text("MainWidth = 300"), "true");
        ini.Add("lone-cr.ini", Text("A = 1\rB = 2\r"), "true");
        ini.Add("unnamed-huge.ini", Text("Unnamed = 4294967295\r\nUnnHH0 = 1\r\n"), "true");
        ini.Add("numbers-overflow.ini",
            Text("MainWidth = 99999999999999999999\r\nSelCol = -2147483649\r\n"), "true");
    }
    {
        HostileFolder pal(root / "pal", "# file, then the load result\n");
        Bytes palette;
        for (uint32_t i = 0; i < 768; ++i)
            palette.push_back(static_cast<uint8_t>(i * 11));
        pal.Add("empty.pal", {}, "WrongSize");
        pal.Add("767.pal", Bytes(palette.begin(), palette.end() - 1), "WrongSize");
        pal.Add("769.pal", Concat(palette, { 0 }), "WrongSize");
        pal.Add("1536.pal", Concat(palette, palette), "WrongSize");
        pal.Add("768.pal", palette, "Done");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--hostile") {
        WriteHostile(argv[2]);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [--hostile] <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];

    // CEL files with and without Frame Headers, with and without a database.
    const auto cel = root / "FuzzCEL";
    std::vector<Frame> frames { MakeFrame(4, 3, 1), MakeFrame(9, 40, 2), MakeFrame(1, 1, 3) };
    Write(cel, "three-frames-no-headers", CelInput({}, CelFile(frames, false)));
    Write(cel, "three-frames-headers", CelInput({}, CelFile(frames, true)));
    Write(cel, "three-frames-headers-database",
        CelInput(Database(1, { "Walk", "", "Run" }, { 0, 1, 0 }), CelFile(frames, true)));
    Write(cel, "three-frames-database-no-headers",
        CelInput(Database(0, { "a", "bb", "" }, {}), CelFile(frames, false)));
    Write(cel, "one-byte-frame", CelInput({}, { 1, 0, 0, 0, 12, 0, 0, 0, 13, 0, 0, 0, 0xFF }));
    Bytes alternating;
    for (int i = 0; i < 5; ++i)
        alternating.insert(alternating.end(), { 0x01, static_cast<uint8_t>(0x80 + i), 0xFF });
    Write(cel, "alternating-runs",
        CelInput(Database(0, { "Walk" }, { 1 }), CelFile({ { {}, alternating } }, false)));
    Write(cel, "zero-count", CelInput({}, { 0, 0, 0, 0 }));
    Write(cel, "headers-22-bytes",
        CelInput({}, { 1, 0, 0, 0, 12, 0, 0, 0, 22, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0 }));
    Write(cel, "tall-frame-headers", CelInput({}, CelFile({ MakeFrame(3, 170, 4) }, true)));

    // CL2 frames, pictures for the CL2 coder, and grouped files of both codings.
    const auto cl2 = root / "FuzzCL2";
    auto frameInput = [](const Bytes& header, const Bytes& data) {
        return Concat(Concat(Bytes { 0 }, header), data);
    };
    Bytes tall;
    for (uint32_t row = 0; row < 40; ++row)
        tall.insert(tall.end(), { 0xBD, static_cast<uint8_t>(row) }); // a fill of 2 per row
    Write(cl2, "frame-one-pixel", frameInput(TransparentCL2Frame(1), {}));
    Write(cl2, "frame-3x2",
        frameInput(FrameHeader({ 10, 0, 0, 0, 0 }), { 0xFF, 0x05, 0x03, 0xFE, 0x06, 0x07 }));
    Write(cl2, "frame-40-rows", frameInput(FrameHeader({ 10, 74, 0, 0, 0 }), tall));
    Write(cl2, "frame-fills",
        frameInput(FrameHeader({ 10, 0, 0, 0, 0 }), { 0x80, 0x05, 0xBE, 0x05, 0x7F, 0x7F, 0x2E }));
    auto pictureInput = [](uint8_t mode, uint32_t width, const Bytes& pixels) {
        Bytes out { static_cast<uint8_t>(64 + mode) };
        Put16(out, width - 1);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    };
    Write(cl2, "picture-3x2", pictureInput(0, 3, { 5, 255, 255, 255, 6, 7 }));
    Write(cl2, "picture-40-rows", pictureInput(1, 20, Picture(20, 40, 13)));
    Write(cl2, "picture-fills", pictureInput(0, 70, Bytes(140, 9)));
    auto fileInput = [](uint8_t coding, const Bytes& database, const Bytes& file) {
        Bytes out { static_cast<uint8_t>(128 + coding) };
        Put16(out, static_cast<uint32_t>(database.size()));
        return Concat(Concat(out, database), file);
    };
    const Bytes cl2Group = Concat(
        Words32({ 2, 16, 27, 38 }), Concat(TransparentCL2Frame(6), TransparentCL2Frame(3)));
    const Bytes celGroup = CelFile(frames, true);
    Write(cl2, "file-grouped-cl2", fileInput(1, {}, GroupedFile({ cl2Group, cl2Group, cl2Group })));
    Write(cl2, "file-grouped-cl2-database",
        fileInput(1, Concat(Database(1, { "a", "" }, { 0, 1 }), Database(1, { "", "b" }, { 1, 0 })),
            GroupedFile({ cl2Group, cl2Group })));
    Write(cl2, "file-grouped-cel", fileInput(0, {}, GroupedFile({ celGroup, celGroup })));
    Write(cl2, "file-plain-cl2", fileInput(1, {}, cl2Group));

    // BMP files of 8 and 24 bits, with and without row padding.
    const auto bmp = root / "FuzzBitmap";
    Write(bmp, "8bit-5x3", BmpFile(5, 3, 8, 5));
    Write(bmp, "8bit-4x4", BmpFile(4, 4, 8, 6));
    Write(bmp, "24bit-1x2", BmpFile(1, 2, 24, 7));
    Write(bmp, "24bit-4x3", BmpFile(4, 3, 24, 8));
    Write(bmp, "24bit-top-down", BmpFile(2, -2, 24, 9));
    Write(bmp, "8bit-empty", BmpFile(0, 0, 8, 10));

    // Settings-style INI files.
    const auto ini = root / "FuzzINI";
    Write(ini, "settings",
        Text("Palette = pal/default.pal\r\nTransparent = 16777215\r\n"
             "MainWidth = 224\r\nMainHeight = 300\r\nMainLeft = -8\r\n"
             "MainTop = 131\r\nWholePal = 0\r\nSelCol = 127\r\nPalExp = -1\r\n"
             "Offset = 1\r\nOffsCol = 255\r\nUnnHH0 = 1\r\nUnnamed = 1\r\n"));
    Write(ini, "groups",
        Text("; comment\n[Main] ; trailing\nMainWidth=300\nKey = a=b\n\n"
             "[Other]\nMainWidth = 5 ; note\nPalette = \n"));
    Write(ini, "global-and-group", Text("A=1\n  B   =   -2  \n[G]\nA=3\n"));
    Write(ini, "bad-blanks", Text("A=1\n   \n"));
    Write(ini, "bad-group", Text("[ Main ]\nA=1\n"));
    Write(ini, "repeat", Text("SelCol=1\nSelCol=2\n"));

    // Palette files.
    const auto pal = root / "FuzzPalette";
    Bytes palette;
    for (uint32_t i = 0; i < 768; ++i)
        palette.push_back(static_cast<uint8_t>(i * 31 + 7));
    Write(pal, "768", palette);
    Write(pal, "767", Bytes(palette.begin(), palette.end() - 1));
    Bytes longer = palette;
    longer.push_back(0);
    Write(pal, "769", longer);

    // Images for the frame coder: mode byte, width, pixels.
    const auto codec = root / "FuzzFrameCodec";
    auto image = [](uint8_t mode, uint32_t width, const Bytes& pixels) {
        Bytes out { mode };
        Put16(out, width - 1);
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    };
    Write(codec, "3x2", image(0, 3, { 5, 255, 255, 255, 6, 7 }));
    Write(codec, "runs-of-128", image(0, 300, Bytes(600, 0xFF)));
    Write(codec, "mixed-40-rows", image(1, 20, Picture(20, 40, 11)));
    Write(codec, "wide-literals", image(0, 260, Picture(260, 3, 12)));
    return 0;
}
