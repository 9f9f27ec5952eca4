#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "frames/FileIO.h"
#include "palette/PaletteModel.h"

namespace {

PaletteModel RandomPalette(uint32_t seed)
{
    std::mt19937 random(seed);
    PaletteModel model;
    for (uint32_t& entry : model.Palette)
        entry = random() & 0xFFFFFF;
    return model;
}

} // namespace

TEST(PaletteFile, SaveThenLoadGivesBackEntriesButNeverTheTransparentColour)
{
    TempDir dir;
    const std::string path = dir.File("colours.pal");
    PaletteModel saved = RandomPalette(7);
    saved.Palette[255] = 0x123456;
    ASSERT_EQ(SavePaletteFile(path, saved), PaletteFileResult::Done);

    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 768u);
    // Red, green, blue per triplet; the last one always white whatever entry 255 is.
    EXPECT_EQ(bytes[3 * 10], saved.Palette[10] & 0xFF);
    EXPECT_EQ(bytes[3 * 10 + 1], (saved.Palette[10] >> 8) & 0xFF);
    EXPECT_EQ(bytes[3 * 10 + 2], saved.Palette[10] >> 16);
    EXPECT_EQ(bytes[765], 0xFF);
    EXPECT_EQ(bytes[766], 0xFF);
    EXPECT_EQ(bytes[767], 0xFF);

    PaletteModel loaded;
    loaded.Palette[255] = 0xABCDEF;
    loaded.SelectedColour = 0x90;
    ASSERT_EQ(LoadPaletteFile(path, loaded), PaletteFileResult::Done);
    for (int n = 0; n < 255; ++n)
        EXPECT_EQ(loaded.Palette[n], saved.Palette[n]) << n;
    EXPECT_EQ(loaded.TransparentColour(), 0xABCDEFu);
    EXPECT_EQ(loaded.SelectedColour, 0x90);
}

TEST(PaletteFile, TopByteIsNotWrittenAndLastTripletIsIgnoredOnLoad)
{
    TempDir dir;
    const std::string path = dir.File("p.pal");
    PaletteModel model;
    model.Palette[3] = 0xFF010203; // a stray top byte
    ASSERT_EQ(SavePaletteFile(path, model), PaletteFileResult::Done);
    std::vector<uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(bytes[9], 0x03);
    EXPECT_EQ(bytes[10], 0x02);
    EXPECT_EQ(bytes[11], 0x01);

    bytes[765] = 1;
    bytes[766] = 2;
    bytes[767] = 3;
    WriteBytes(path, bytes);
    PaletteModel loaded;
    loaded.Palette[255] = 0xFFFFFF;
    ASSERT_EQ(LoadPaletteFile(path, loaded), PaletteFileResult::Done);
    EXPECT_EQ(loaded.Palette[3], 0x010203u);
    EXPECT_EQ(loaded.Palette[255], 0xFFFFFFu);

    // Saving again puts white back into the last triplet.
    ASSERT_EQ(SavePaletteFile(path, loaded), PaletteFileResult::Done);
    bytes = ReadBytes(path);
    EXPECT_EQ(bytes[765], 0xFF);
    EXPECT_EQ(bytes[767], 0xFF);
}

TEST(PaletteFile, RefusalsLeaveThePaletteAlone)
{
    TempDir dir;
    const PaletteModel original = RandomPalette(11);
    for (size_t size : { 0u, 767u, 769u, 2000u }) {
        const std::string path = dir.File("size" + std::to_string(size) + ".pal");
        WriteBytes(path, std::vector<uint8_t>(size, 0x55));
        PaletteModel model = original;
        EXPECT_EQ(LoadPaletteFile(path, model), PaletteFileResult::WrongSize) << size;
        EXPECT_EQ(model.Palette, original.Palette) << size;
    }
    PaletteModel model = original;
    EXPECT_EQ(LoadPaletteFile(dir.File("missing.pal"), model), PaletteFileResult::CannotOpen);
    EXPECT_EQ(LoadPaletteFile("", model), PaletteFileResult::NoFileName);
    EXPECT_EQ(model.Palette, original.Palette);

    EXPECT_EQ(SavePaletteFile("", model), PaletteFileResult::NoFileName);
    EXPECT_EQ(
        SavePaletteFile(dir.File("no-such-folder/p.pal"), model), PaletteFileResult::CannotCreate);
    EXPECT_FALSE(FileExists(dir.File("no-such-folder/p.pal")));
}

TEST(PaletteFile, FailedSaveKeepsTheExistingFile)
{
    TempDir dir;
    const std::string path = dir.File("keep.pal");
    const std::vector<uint8_t> before(768, 0x42);
    WriteBytes(path, before);
    AtomicFileWriter::SetFailAfterBytesForTesting(100);
    const PaletteFileResult result = SavePaletteFile(path, RandomPalette(3));
    AtomicFileWriter::SetFailAfterBytesForTesting(-1);
    EXPECT_EQ(result, PaletteFileResult::CannotCreate);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(PaletteFile, Messages)
{
    EXPECT_EQ(PaletteFileMessage(PaletteFileResult::CannotOpen), "Cannot open palette file");
    EXPECT_EQ(
        PaletteFileMessage(PaletteFileResult::WrongSize), "Palette file must be 768 bytes long");
    EXPECT_EQ(PaletteFileMessage(PaletteFileResult::CannotCreate), "Cannot create palette file");
    EXPECT_EQ(PaletteFileMessage(PaletteFileResult::Done), "");
    EXPECT_EQ(PaletteFileMessage(PaletteFileResult::NoFileName), "");
}

TEST(PaletteCells, HintShowsIndexInHexAndDecimalAndTheThreeChannels)
{
    EXPECT_EQ(CellHint(0x7F, 12 + 256 * 34 + 65536 * 56), "7F (127): (12; 34; 56)");
    EXPECT_EQ(CellHint(0x00, 0), "00 (0): (0; 0; 0)");
    EXPECT_EQ(CellHint(0xFF, 0xFFFFFF), "FF (255): (255; 255; 255)");
    // Blue is the value shifted right by 16: a top byte from the settings shows in it.
    EXPECT_EQ(CellHint(0x0A, 0xFF0000FF), "0A (10): (255; 0; 65280)");
}

TEST(PaletteStart, SelectedColourIsRaisedOnlyWithoutTheWholePalette)
{
    PaletteModel model;
    model.SelectedColour = 300 & 0xFF; // "SelCol" 300 keeps its low byte, 44
    RaiseSelectedColour(model);
    EXPECT_EQ(model.SelectedColour, 0x7F);

    model.SelectedColour = 44;
    model.WholePalette = true;
    RaiseSelectedColour(model);
    EXPECT_EQ(model.SelectedColour, 44);

    model.WholePalette = false;
    model.SelectedColour = 0x80;
    RaiseSelectedColour(model);
    EXPECT_EQ(model.SelectedColour, 0x80);
}

TEST(PickColour, PlainPickSelectsAllowedColoursAndIgnoresReservedOnes)
{
    PaletteModel model;
    model.SelectedColour = 0x90;
    DataArray image { 1, 2, 0x90 };
    const DataArray original = image;

    PickOutcome outcome = PickColour(model, image, 0x7E);
    EXPECT_TRUE(outcome.Ignored);
    EXPECT_EQ(model.SelectedColour, 0x90);

    outcome = PickColour(model, image, 0x7F);
    EXPECT_FALSE(outcome.Ignored);
    EXPECT_EQ(outcome.CompletedOp, OpNone);
    EXPECT_EQ(outcome.PreviousSelected, 0x90);
    EXPECT_EQ(model.SelectedColour, 0x7F);

    model.WholePalette = true;
    outcome = PickColour(model, image, 0x05);
    EXPECT_FALSE(outcome.Ignored);
    EXPECT_EQ(model.SelectedColour, 0x05);
    EXPECT_EQ(image, original); // a plain pick never touches the image
}

TEST(PickColour, ReplaceTurnsEverySelectedPixelIntoThePickedOne)
{
    PaletteModel model;
    model.SelectedColour = 0x90;
    model.PendingColourOp = OpReplace;
    DataArray image { 0x90, 0xA0, 0x90, 0xFF, 0x01, 0x90 };

    // A reserved colour keeps the operation pending.
    PickOutcome outcome = PickColour(model, image, 0x10);
    EXPECT_TRUE(outcome.Ignored);
    EXPECT_EQ(model.PendingColourOp, OpReplace);
    EXPECT_EQ(image, (DataArray { 0x90, 0xA0, 0x90, 0xFF, 0x01, 0x90 }));

    outcome = PickColour(model, image, 0xA0);
    EXPECT_EQ(outcome.CompletedOp, OpReplace);
    EXPECT_EQ(model.PendingColourOp, OpNone);
    EXPECT_EQ(model.SelectedColour, 0x90); // the selection stays where it was
    EXPECT_EQ(image, (DataArray { 0xA0, 0xA0, 0xA0, 0xFF, 0x01, 0xA0 }));

    // Replacing a colour with itself changes nothing but still ends the operation.
    model.PendingColourOp = OpReplace;
    image = { 0x90, 0x91 };
    outcome = PickColour(model, image, 0x90);
    EXPECT_EQ(outcome.CompletedOp, OpReplace);
    EXPECT_EQ(model.PendingColourOp, OpNone);
    EXPECT_EQ(image, (DataArray { 0x90, 0x91 }));
}

TEST(PickColour, ExchangeSwapsTwoColoursInOnePassOnRandomImages)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 50; ++round) {
        PaletteModel model;
        model.WholePalette = round % 2 == 0;
        model.SelectedColour = static_cast<uint8_t>(0x80 + random() % 8);
        const uint8_t picked = static_cast<uint8_t>(0x80 + random() % 8);
        DataArray image(1 + random() % 300);
        for (uint8_t& pixel : image)
            pixel = static_cast<uint8_t>(0x7E + random() % 12);
        // Reference: pixel by pixel from the untouched copy.
        DataArray expected = image;
        for (size_t i = 0; i < image.size(); ++i) {
            if (image[i] == model.SelectedColour)
                expected[i] = picked;
            else if (image[i] == picked)
                expected[i] = model.SelectedColour;
        }
        const uint8_t selected = model.SelectedColour;
        model.PendingColourOp = OpExchange;
        const PickOutcome outcome = PickColour(model, image, picked);
        EXPECT_EQ(outcome.CompletedOp, OpExchange);
        EXPECT_EQ(model.PendingColourOp, OpNone);
        EXPECT_EQ(model.SelectedColour, selected);
        EXPECT_EQ(image, expected) << "round " << round;

        // Exchanging again restores the image.
        model.PendingColourOp = OpExchange;
        PickColour(model, image, picked);
        DataArray twice = expected;
        for (uint8_t& pixel : twice) {
            if (pixel == selected)
                pixel = picked;
            else if (pixel == picked)
                pixel = selected;
        }
        EXPECT_EQ(image, twice);
    }
}

TEST(PickColour, ReservedColourIsAcceptedForOperationsWithTheWholePalette)
{
    PaletteModel model;
    model.WholePalette = true;
    model.SelectedColour = 0x80;
    model.PendingColourOp = OpExchange;
    DataArray image { 0x80, 0x02, 0x33 };
    const PickOutcome outcome = PickColour(model, image, 0x02);
    EXPECT_FALSE(outcome.Ignored);
    EXPECT_EQ(image, (DataArray { 0x02, 0x80, 0x33 }));
}
