// vornix-cel's colour commands and options, run as a program: recolour, remap, palette,
// info --colours and --trn of export and sheet.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/wait.h>

#include "CelToolSupport.h"
#include "TestSupport.h"
#include "cel/CELHandler.h"
#include "palette/PaletteFormats.h"
#include "palette/Translation.h"

namespace {

// A CEL of count random sprites over indices 127 ... 255 (named, some with a second width
// selected), then a frame no width fits.
struct ColourCEL {
    std::string Path;
    std::vector<DataArray> Images;

    ColourCEL(const TempDir& dir, std::mt19937& random, uint32_t count, bool database)
        : Path(dir.File("c.cel"))
    {
        auto cel = CELObject::CreateEmpty(count + 1);
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t width = 1 + random() % 50, height = 1 + random() % 50;
            DataArray image(size_t { width } * height);
            for (uint8_t& pixel : image)
                pixel = static_cast<uint8_t>(127 + random() % 129);
            auto frame = EncodedFrame(width, height, image, "f" + std::to_string(i));
            for (uint32_t w = 0; w < frame->WidthCount; ++w)
                if (frame->Widths[w] == width)
                    frame->SelectWidth(w);
            Images.push_back(std::move(image));
            cel->Frames[i] = std::make_shared<FrameSlot>();
            cel->Frames[i]->Frame = std::move(frame);
        }
        auto broken = CELFrame::CreateEmpty();
        broken->Data = { 5, 1, 2 };
        broken->DataLength = 3;
        broken->AnalyseData();
        cel->Frames[count] = std::make_shared<FrameSlot>();
        cel->Frames[count]->Frame = std::move(broken);
        cel->FileName = Path;
        cel->WithHeaders = 1;
        cel->HasDatabase = database ? 1 : 0;
        EXPECT_EQ(cel->SaveToFile(), SaveOK);
    }
};

} // namespace

TEST(CelToolColours, RecolourAndRemapTranslateEveryShownFrameAndKeepTheRest)
{
    TempDir dir;
    std::mt19937 random(2105);
    const ColourCEL sample(dir, random, 12, true);
    TranslationTable table {};
    for (uint8_t& entry : table)
        entry = static_cast<uint8_t>(random());
    WriteBytes(dir.File("t.trn"), std::vector<uint8_t>(table.begin(), table.end()));

    // Remap between two palettes of distinct colours where entry i of the first is entry
    // moved[i] of the second: every index must go to its moved place.
    PaletteModel from = DistinctPalette(3), to = from;
    TranslationTable moved = IdentityTranslation();
    std::vector<uint8_t> upper(128);
    for (uint32_t i = 0; i < 128; ++i)
        upper[i] = static_cast<uint8_t>(127 + i);
    std::shuffle(upper.begin(), upper.end(), random);
    for (uint32_t i = 0; i < 128; ++i) {
        moved[127 + i] = upper[i];
        to.Palette[upper[i]] = from.Palette[127 + i];
    }
    ASSERT_EQ(ExportPaletteFile(dir.File("from.gpl"), from, PaletteExportFormat::Gimp),
        PaletteFileResult::Done);
    ASSERT_EQ(ExportPaletteFile(dir.File("to.act"), to, PaletteExportFormat::AdobeAct),
        PaletteFileResult::Done);

    const auto original = Load(sample.Path, true);
    for (const auto& [arguments, expectedTable] : {
             std::pair { std::vector<std::string> { "recolour", sample.Path, dir.File("o/r.cel"),
                             "--trn", dir.File("t.trn"), "--jobs", "3" },
                 table },
             std::pair { std::vector<std::string> { "remap", sample.Path, dir.File("o/r.cel"),
                             "--from", dir.File("from.gpl"), "--to", dir.File("to.act") },
                 moved },
         }) {
        const ToolRun run = RunTool(dir, arguments);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Err,
            "vornix-cel: " + sample.Path
                + ": warning: frame 12 copied as it is: not viewable (DiagBounds)\n");
        ASSERT_TRUE(std::filesystem::exists(dir.File("o/r.cel.cdb")));
        const auto result = Load(dir.File("o/r.cel"), true);
        ASSERT_EQ(result->Frames.size(), 13u);
        EXPECT_EQ(result->WithHeaders, 1);
        for (uint32_t i = 0; i < 12; ++i) {
            const CELFrame& frame = *result->Frames[i]->Frame;
            EXPECT_EQ(frame.Name, "f" + std::to_string(i));
            EXPECT_EQ(frame.Width, original->Frames[i]->Frame->Width);
            DataArray expected = sample.Images[i];
            for (uint8_t& pixel : expected)
                pixel = pixel == 255 ? 255 : expectedTable[pixel];
            EXPECT_EQ(Decoded(frame), expected) << arguments[0] << " frame " << i;
        }
        EXPECT_EQ(result->Frames[12]->Frame->Data, original->Frames[12]->Frame->Data);
    }

    // Refusals change nothing and name the file.
    WriteBytes(dir.File("short.trn"), std::vector<uint8_t>(255));
    WriteBytes(dir.File("bad.gpl"), { 'G', 'I', 'M', 'P', ' ', 'P', 'a', 'l', 'e', 't', 't', 'e' });
    std::filesystem::remove(dir.File("o/r.cel"));
    for (const auto& [arguments, message] :
        {
            std::pair { std::vector<std::string> { "recolour", sample.Path, dir.File("o/r.cel"),
                            "--trn", dir.File("short.trn") },
                dir.File("short.trn")
                    + ": Translation table must be 256 bytes long (this file has 255 bytes)" },
            std::pair { std::vector<std::string> { "remap", sample.Path, dir.File("o/r.cel"),
                            "--from", dir.File("bad.gpl"), "--to", dir.File("to.act") },
                dir.File("bad.gpl") + ": Unsupported palette file: GIMP palette without a colour" },
        }) {
        const ToolRun run = RunTool(dir, arguments);
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err, "vornix-cel: " + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("o/r.cel")));
    }
}

TEST(CelToolColours, TrnOfExportAndSheetWritesWhatARecolouredCELWrites)
{
    TempDir dir;
    std::mt19937 random(2106);
    const ColourCEL sample(dir, random, 5, false);
    TranslationTable table {};
    for (uint8_t& entry : table)
        entry = static_cast<uint8_t>(random());
    WriteBytes(dir.File("t.trn"), std::vector<uint8_t>(table.begin(), table.end()));
    ASSERT_EQ(
        RunTool(dir,
            { "recolour", sample.Path, dir.File("r.cel"), "--trn", dir.File("t.trn"), "--quiet" })
            .ExitCode,
        0);
    // The palette of the exports in a GIMP file: --palette takes it as it takes a .pal.
    ASSERT_EQ(ExportPaletteFile(dir.File("p.gpl"), DistinctPalette(8), PaletteExportFormat::Gimp),
        PaletteFileResult::Done);
    for (const std::string format : { "bmp", "png" }) {
        ASSERT_EQ(RunTool(dir,
                      { "export", sample.Path, dir.File("a"), "--trn", dir.File("t.trn"),
                          "--format", format, "--palette", dir.File("p.gpl"), "--quiet" })
                      .ExitCode,
            0);
        ASSERT_EQ(RunTool(dir,
                      { "export", dir.File("r.cel"), dir.File("b"), "--format", format, "--palette",
                          dir.File("p.gpl"), "--quiet" })
                      .ExitCode,
            0);
        for (int i = 0; i < 5; ++i) {
            const std::string name = "_" + std::to_string(i) + "." + format;
            EXPECT_EQ(ReadBytes(dir.File("a/c" + name)), ReadBytes(dir.File("b/r" + name)));
        }
    }
    ASSERT_EQ(
        RunTool(dir, { "sheet", sample.Path, dir.File("a.png"), "--trn", dir.File("t.trn") }).ExitCode,
        0);
    ASSERT_EQ(RunTool(dir, { "sheet", dir.File("r.cel"), dir.File("b.png") }).ExitCode, 0);
    EXPECT_EQ(ReadBytes(dir.File("a.png")), ReadBytes(dir.File("b.png")));
}

TEST(CelToolColours, InfoColoursCountsEveryPixelOfEachShownFrame)
{
    TempDir dir;
    std::mt19937 random(2107);
    const ColourCEL sample(dir, random, 4, true);
    const ToolRun run = RunTool(dir, { "info", sample.Path, "--colours", "--json" });
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    // The counts as "index": count pairs, in index order, for one picture.
    auto expectedText = [](const std::vector<DataArray>& images) {
        std::array<uint64_t, 256> counts {};
        for (const DataArray& image : images)
            for (uint8_t pixel : image)
                ++counts[pixel];
        std::string text = "\"colours\":{";
        bool first = true;
        for (uint32_t i = 0; i < 256; ++i)
            if (counts[i]) {
                text += (first ? "\"" : ",\"") + std::to_string(i)
                    + "\":" + std::to_string(counts[i]);
                first = false;
            }
        return text + "}";
    };
    size_t at = 0;
    for (const DataArray& image : sample.Images) {
        at = run.Out.find(expectedText({ image }), at);
        ASSERT_NE(at, std::string::npos) << run.Out;
        ++at;
    }
    // The frame that cannot be shown has none; the whole file's come last.
    EXPECT_EQ(run.Out.find("\"colours\"", at), run.Out.rfind(expectedText(sample.Images)));
    EXPECT_TRUE(run.Out.ends_with(expectedText(sample.Images) + "}\n")) << run.Out;

    // Without --colours the JSON is as it always was.
    const ToolRun plain = RunTool(dir, { "info", sample.Path, "--json" });
    EXPECT_EQ(plain.Out.find("colours"), std::string::npos);
    const ToolRun table = RunTool(dir, { "info", sample.Path, "--colours" });
    EXPECT_NE(table.Out.find("Colours"), std::string::npos) << table.Out;
}

TEST(CelToolColours, PaletteConvertsBetweenEveryFormatAndBack)
{
    TempDir dir;
    std::mt19937 random(2108);
    std::vector<uint8_t> pal(768);
    for (uint8_t& byte : pal)
        byte = static_cast<uint8_t>(random());
    WriteBytes(dir.File("a.pal"), pal);
    const std::vector<std::vector<std::string>> steps {
        { "palette", dir.File("a.pal"), dir.File("b.gpl") },
        { "palette", dir.File("b.gpl"), dir.File("c.act") },
        { "palette", dir.File("c.act"), dir.File("d.txt"), "--format", "jasc" },
        { "palette", dir.File("d.txt"), dir.File("e.pal") },
    };
    for (const auto& step : steps) {
        const ToolRun run = RunTool(dir, step);
        ASSERT_EQ(run.ExitCode, 0) << run.Err;
    }
    std::vector<uint8_t> expected = pal;
    expected[765] = expected[766] = expected[767] = 0xFF;
    EXPECT_EQ(ReadBytes(dir.File("e.pal")), expected);
    EXPECT_TRUE(ReadBytes(dir.File("d.txt")).size() > 256 * 6);

    const ToolRun unknown = RunTool(dir, { "palette", dir.File("a.pal"), dir.File("x.txt") });
    EXPECT_EQ(unknown.ExitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.txt")));
    const ToolRun missing = RunTool(dir, { "palette", dir.File("none.gpl"), dir.File("x.pal") });
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_EQ(missing.Err, "vornix-cel: " + dir.File("none.gpl") + ": Cannot open palette file\n");
}
