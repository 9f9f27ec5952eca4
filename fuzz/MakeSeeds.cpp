// Writes the seed corpora of the fuzz harnesses: small, valid (and a few nearly valid) files of
// each kind, so that the fuzzers start from the formats' real structure. Run by hand:
//     MakeSeeds <folder>     (normally fuzz/corpus)
// It stands alone, without the core library, so that a fault in a reader cannot shape the
// seeds that are meant to find it.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
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
