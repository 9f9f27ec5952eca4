#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TestSupport.h"
#include "bitmaps/BMPHandler.h"
#include "bitmaps/PNGHandler.h"
#include "palette/PaletteFormats.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

PaletteModel RandomModel(uint32_t seed)
{
    std::mt19937 random(seed);
    PaletteModel model;
    for (uint32_t& colour : model.Palette)
        colour = random() & 0xFFFFFF;
    return model;
}

// Decodes bytes into a copy of start; the copy.
PaletteModel Imported(const std::vector<uint8_t>& bytes, const PaletteModel& start,
    PaletteFileFormat format, size_t count)
{
    ImportedPalette imported;
    EXPECT_EQ(DecodeImportedPalette(bytes, imported), PaletteImportResult::Done) << imported.Reason;
    EXPECT_EQ(imported.Format, format);
    EXPECT_EQ(imported.Colours.size(), count);
    PaletteModel model = start;
    EXPECT_EQ(ApplyImportedPalette(imported, model), std::min<size_t>(count, 255));
    return model;
}

std::vector<uint8_t> Adobe772(uint32_t count, uint32_t transparent)
{
    std::vector<uint8_t> bytes(768);
    for (size_t i = 0; i < 768; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    for (uint32_t word : { count, transparent }) {
        bytes.push_back(static_cast<uint8_t>(word >> 8));
        bytes.push_back(static_cast<uint8_t>(word));
    }
    return bytes;
}

} // namespace

TEST(PaletteFormats, EveryExportReadsBackToEntries0To254AndLeaves255)
{
    TempDir dir;
    const struct {
        PaletteExportFormat Export;
        PaletteFileFormat Read;
        const char* Name;
        size_t Count;
        size_t Size;
    } cases[] = {
        { PaletteExportFormat::Gimp, PaletteFileFormat::Gimp, "a.gpl", 256, 0 },
        { PaletteExportFormat::JascPal, PaletteFileFormat::JascPal, "a.jasc", 256, 0 },
        { PaletteExportFormat::AdobeAct, PaletteFileFormat::Pal, "a.act", 255, 768 },
        { PaletteExportFormat::Pal, PaletteFileFormat::Pal, "a.pal", 255, 768 },
    };
    for (uint32_t seed = 0; seed < 4; ++seed) {
        for (const auto& c : cases) {
            const PaletteModel saved = RandomModel(seed);
            const std::string path = dir.File(c.Name);
            ASSERT_EQ(ExportPaletteFile(path, saved, c.Export), PaletteFileResult::Done);
            const std::vector<uint8_t> bytes = ReadBytes(path);
            if (c.Size)
                EXPECT_EQ(bytes.size(), c.Size);
            PaletteModel start = RandomModel(seed + 100);
            const PaletteModel loaded = Imported(bytes, start, c.Read, c.Count);
            for (int i = 0; i < 255; ++i)
                ASSERT_EQ(loaded.Palette[i], saved.Palette[i]) << c.Name << " " << i;
            EXPECT_EQ(loaded.Palette[255], start.Palette[255]);

            // The whole road through a file, as the windows and the command line take it.
            std::string message = "x";
            PaletteModel model = start;
            ASSERT_EQ(ImportPaletteFile(path, model, message), PaletteImportResult::Done);
            EXPECT_EQ(message, "");
            EXPECT_EQ(model.Palette, loaded.Palette);
        }
    }
    // Entry 255 is written as the transparent colour in the three formats of other tools.
    PaletteModel model = RandomModel(9);
    model.Palette[255] = 0x332211;
    const std::string gimp = [&] {
        auto b = EncodePaletteFile(model, PaletteExportFormat::Gimp, "my\nname");
        return std::string(b.begin(), b.end());
    }();
    EXPECT_TRUE(gimp.starts_with("GIMP Palette\nName: my name\nColumns: 16\n#\n")) << gimp;
    EXPECT_TRUE(gimp.ends_with(" 17  34  51\tIndex 255\n"));
    const auto jasc = EncodePaletteFile(model, PaletteExportFormat::JascPal);
    EXPECT_TRUE(std::string(jasc.begin(), jasc.end()).starts_with("JASC-PAL\r\n0100\r\n256\r\n"));
    EXPECT_TRUE(std::string(jasc.begin(), jasc.end()).ends_with("\r\n17 34 51\r\n"));
    const auto act = EncodePaletteFile(model, PaletteExportFormat::AdobeAct);
    EXPECT_EQ(
        std::vector<uint8_t>(act.end() - 3, act.end()), (std::vector<uint8_t> { 17, 34, 51 }));

    EXPECT_EQ(PaletteExportFormatForName("x/Y.GPL"), PaletteExportFormat::Gimp);
    EXPECT_EQ(PaletteExportFormatForName("y.Act"), PaletteExportFormat::AdobeAct);
    EXPECT_EQ(PaletteExportFormatForName("z.pal"), PaletteExportFormat::Pal);
    EXPECT_EQ(PaletteExportFormatForName("z.txt"), std::nullopt);
    EXPECT_EQ(ExportPaletteFile(dir.File("none/a.gpl"), model, PaletteExportFormat::Gimp),
        PaletteFileResult::CannotCreate);
}

TEST(PaletteFormats, FilesOfOtherToolsSetTheirEntriesAndKeepTheRest)
{
    const PaletteModel start = RandomModel(5);
    // GIMP with a byte order mark, CR LF, name, columns, comments, blanks and colour names.
    PaletteModel model = Imported(Bytes("\xEF\xBB\xBFGIMP Palette\r\nName: Town\r\nColumns: 4\r\n"
                                        "# a comment\r\n\r\n  1   2   3\tDark red\r\n"
                                        "255 0 128\n\t7 8 9 Sky blue\n  \n"),
        start, PaletteFileFormat::Gimp, 3);
    EXPECT_EQ(model.Palette[0], 0x030201u);
    EXPECT_EQ(model.Palette[1], 0x8000FFu);
    EXPECT_EQ(model.Palette[2], 0x090807u);
    for (int i = 3; i < 256; ++i)
        ASSERT_EQ(model.Palette[i], start.Palette[i]);

    model = Imported(
        Bytes("JASC-PAL\n0100\n2\n10 20 30\n40 50 60"), start, PaletteFileFormat::JascPal, 2);
    EXPECT_EQ(model.Palette[1], 0x3C3228u); // 40, 50, 60
    EXPECT_EQ(model.Palette[2], start.Palette[2]);

    // A GIMP palette of 300 colours gives its first 255.
    std::string many = "GIMP Palette\n";
    for (int i = 0; i < 300; ++i)
        many += std::to_string(i % 256) + " 0 0\n";
    model = Imported(Bytes(many), start, PaletteFileFormat::Gimp, 256);
    EXPECT_EQ(model.Palette[254], 254u);
    EXPECT_EQ(model.Palette[255], start.Palette[255]);

    // Adobe with a count: that many colours; the transparent index is not used.
    model = Imported(Adobe772(3, 1), start, PaletteFileFormat::AdobeCounted, 3);
    EXPECT_EQ(model.Palette[2], 0x38312Au); // the triplet at byte 6: 42, 49, 56
    EXPECT_EQ(model.Palette[3], start.Palette[3]);

    // The colour tables of an 8-bit BMP and of a palette PNG, as the exports write them.
    const PaletteModel drawn = RandomModel(77);
    Bitmap picture { 3, 2, DataArray { 1, 2, 3, 4, 5, 255 } };
    for (const auto& [bytes, format] :
        { std::pair { EncodeBitmap(picture, drawn, 8), PaletteFileFormat::Bitmap },
            std::pair { EncodePNG(picture, drawn, 8), PaletteFileFormat::PNG } }) {
        model = Imported(bytes, start, format, 256);
        for (int i = 0; i < 255; ++i)
            ASSERT_EQ(model.Palette[i], drawn.Palette[i]) << i;
        EXPECT_EQ(model.Palette[255], start.Palette[255]);
    }
}

TEST(PaletteFormats, BrokenFilesAreRefusedWithTheirReasonAndChangeNothing)
{
    const std::string expected = "not a palette file: expected a JASC-PAL or GIMP palette, an "
                                 "Adobe colour table of 768 or 772 bytes, an 8-bit BMP or a "
                                 "palette PNG";
    const PaletteModel drawn = RandomModel(3);
    const Bitmap picture { 2, 2, DataArray { 130, 131, 132, 255 } };
    std::vector<uint8_t> fourBits = EncodeBitmap(picture, drawn, 8);
    fourBits[28] = 4;
    std::vector<uint8_t> truncatedPNG = EncodePNG(picture, drawn, 8);
    truncatedPNG.resize(truncatedPNG.size() - 6);
    const struct {
        std::vector<uint8_t> Bytes;
        std::string Reason;
    } cases[] = {
        { {}, expected },
        { std::vector<uint8_t>(767, 1), expected },
        { std::vector<uint8_t>(769, 1), expected },
        { Bytes("Some text\n1 2 3\n"), expected },
        { Bytes("JASC-PAL\n0101\n1\n1 2 3\n"), "JASC-PAL file whose second line is not \"0100\"" },
        { Bytes("JASC-PAL\n0100\nmany\n1 2 3\n"),
            "JASC-PAL file whose third line is not a count of entries" },
        { Bytes("JASC-PAL\n0100\n0\n"), "JASC-PAL file without an entry (its count is 0)" },
        { Bytes("JASC-PAL\n0100\n257\n"), "JASC-PAL file with a count of 257, at most 256" },
        { Bytes("JASC-PAL\n0100\n2\n1 2 3\n"),
            "JASC-PAL file ends after 1 entry of its 2 entries" },
        { Bytes("JASC-PAL\r\n0100\r\n2\r\n1 2 3\r\n1 256 3\r\n"),
            "JASC-PAL line 5 is not \"r g b\" with values 0 to 255" },
        { Bytes("JASC-PAL\n0100\n1\n1 2 3 4\n"),
            "JASC-PAL line 4 is not \"r g b\" with values 0 to 255" },
        { Bytes("GIMP Palette\nName: empty\n# nothing\n"), "GIMP palette without a colour" },
        { Bytes("GIMP Palette\n1 2 3\n4 5\n"),
            "GIMP palette line 3 is not \"r g b [name]\" with values 0 to 255" },
        { Bytes("GIMP Palette\n1 2 3x\n"),
            "GIMP palette line 2 is not \"r g b [name]\" with values 0 to 255" },
        { Bytes("GIMP Palette\n-1 2 3\n"),
            "GIMP palette line 2 is not \"r g b [name]\" with values 0 to 255" },
        { Adobe772(0, 0xFFFF), "Adobe colour table without a colour (its count is 0)" },
        { Adobe772(257, 0xFFFF), "Adobe colour table with a count of 257, at most 256" },
        { EncodeBitmap(picture, drawn, 24),
            "BMP of 24 bits per pixel has no colour table; an 8-bit BMP has one" },
        { fourBits, "BMP not read (4 bits per pixel)" },
        { EncodePNG(picture, drawn, 24),
            "PNG of colour type 2, not a palette picture (colour type 3)" },
        { truncatedPNG, "damaged or truncated PNG" },
    };
    for (const auto& c : cases) {
        ImportedPalette imported;
        EXPECT_EQ(DecodeImportedPalette(c.Bytes, imported), PaletteImportResult::Refused);
        EXPECT_EQ(imported.Reason, c.Reason);
        EXPECT_TRUE(imported.Colours.empty());

        TempDir dir;
        WriteBytes(dir.File("p"), c.Bytes);
        PaletteModel model = drawn;
        std::string message;
        EXPECT_EQ(ImportPaletteFile(dir.File("p"), model, message), PaletteImportResult::Refused);
        EXPECT_EQ(message, "Unsupported palette file: " + c.Reason);
        EXPECT_EQ(model.Palette, drawn.Palette);
    }
    TempDir dir;
    PaletteModel model = drawn;
    std::string message;
    EXPECT_EQ(ImportPaletteFile(dir.File("missing.gpl"), model, message),
        PaletteImportResult::CannotOpen);
    EXPECT_EQ(message, "Cannot open palette file");
    EXPECT_EQ(model.Palette, drawn.Palette);
}
