// Window tests of the colour work: translation tables shown through and edited, applied to the
// frame in view and to a pane, palettes of other tools imported and exported, the colours in
// use marked, remapping to another palette, and where it all lives (the Colours window, the
// palette window's context menu, the shortcuts). Each change to a picture is one undo step.

#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <set>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "gui/ShellFixtures.h"
#include "palette/ColourUse.h"
#include "palette/ColoursWnd.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "palette/PaletteFormats.h"
#include "palette/Translation.h"
#include "viewer/AnimWnd.h"
#include "viewer/GuiViewSurface.h"

namespace {

using Bytes = std::vector<uint8_t>;

QRgb Rgb(uint32_t colour)
{
    return qRgb(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

// Distinct colours for entries 0 ... 254 (the red byte alone tells them apart).
std::array<uint32_t, 256> DistinctColours(uint32_t seed)
{
    std::array<uint32_t, 256> colours {};
    std::mt19937 random(seed);
    for (uint32_t n = 0; n < 256; ++n)
        colours[n] = n | ((random() & 0xFF) << 8) | ((random() & 0xFF) << 16);
    return colours;
}

Bytes PalBytes(const std::array<uint32_t, 256>& colours)
{
    Bytes bytes;
    for (uint32_t colour : colours)
        for (int shift : { 0, 8, 16 })
            bytes.push_back(uint8_t(colour >> shift));
    return bytes;
}

// The slow, obvious translation: each pixel below 255 looked up, 255 kept.
DataArray Translated(const DataArray& image, const std::array<uint8_t, 256>& table)
{
    DataArray out = image;
    for (uint8_t& pixel : out)
        if (pixel != 255)
            pixel = table[pixel];
    return out;
}

DataArray Decoded(const CELFrame& frame)
{
    DataArray image;
    frame.DecodeImage(image);
    return image;
}

std::set<int> ColoursOf(const DataArray& image)
{
    std::set<int> used;
    for (uint8_t pixel : image)
        if (pixel != 255)
            used.insert(pixel);
    return used;
}

} // namespace

class ColoursWndTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TWindFrame& F() { return rig->Frames(); }
    TWindView& V() { return rig->Vornix->WindView(); }
    TWindPal& P() { return rig->Vornix->WindPal(); }
    TWindColours& C() { return rig->Vornix->WindColours(); }
    TMain& M() { return rig->Main(); }
    AppContext& A() { return rig->App(); }

    std::string Write(const std::string& name, const Bytes& bytes)
    {
        const std::string path = rig->File(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    Bytes Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    void Load(const std::vector<FrameShape>& frames, bool left, const std::string& name)
    {
        const std::string path = rig->File(name);
        QVERIFY(WriteCEL(path, frames, true, true));
        rig->Open(path, true);
        const int row = M().ListCEL->count() - 1;
        if (left)
            rig->SendLeft(row);
        else
            rig->SendRight(row);
    }

    // A palette of distinct colours loaded as "Load" does.
    std::array<uint32_t, 256> LoadPalette(uint32_t seed)
    {
        const std::array<uint32_t, 256> colours = DistinctColours(seed);
        P().EditPalFile->setText(QString::fromStdString(Write("game.pal", PalBytes(colours))));
        P().BtnPalLoadClick();
        return colours;
    }

    void LoadTable(const std::array<uint8_t, 256>& table)
    {
        rig->Script.FileAnswers.push_back(
            QString::fromStdString(Write("t.trn", Bytes(table.begin(), table.end()))));
        C().TrnLoadClick();
    }

    // What a colour table should hold: the palette through the table.
    void ExpectShownThrough(const std::array<uint8_t, 256>* table)
    {
        const QVector<QRgb>& shown = V().ColourTable();
        QCOMPARE(shown.size(), 256);
        for (int i = 0; i < 256; ++i) {
            const int source = table && i != 255 ? (*table)[size_t(i)] : i;
            QCOMPARE(shown[i], Rgb(A().Pal.Palette[size_t(source)]));
            QCOMPARE(P().PalCells[size_t(i)]->Fill(), A().Pal.Palette[size_t(source)]);
            char arrow[8] = "";
            if (source != i)
                std::snprintf(arrow, sizeof arrow, " -> %02X", source);
            QVERIFY2(P().PalCells[size_t(i)]->toolTip().endsWith(
                         QString::fromStdString(CellHint(uint8_t(i), A().Pal.Palette[size_t(i)]))
                         + arrow),
                qPrintable(P().PalCells[size_t(i)]->toolTip()));
        }
        if (!V().ImgView->Surface.isNull())
            QCOMPARE(V().ImgView->Surface.colorTable(), shown);
        QCOMPARE(rig->Vornix->WindAnim().ColourTable(), shown);
    }

    std::vector<int> MarkedCells()
    {
        std::vector<int> marked;
        for (int n = 0; n < 256; ++n)
            if (P().PalCells[size_t(n)]->Marked())
                marked.push_back(n);
        return marked;
    }

    std::vector<int> Sorted(const std::set<int>& colours)
    {
        return std::vector<int>(colours.begin(), colours.end());
    }

    std::vector<CELFrame> PaneFrames(const PaneModel& pane)
    {
        std::vector<CELFrame> frames;
        for (int k = 1; k < pane.Count(); ++k)
            frames.push_back(*pane.SlotAt(k)->Frame);
        return frames;
    }

    // A CEL whose second frame cannot be shown (a control byte of 0), sent to the left pane.
    void LoadWithBrokenFrame()
    {
        auto cel = CELObject::CreateEmpty(3);
        for (size_t k = 0; k < 3; ++k)
            cel->Frames[k] = std::make_shared<FrameSlot>();
        cel->Frames[0]->Frame = MakeFrame(24, 14, 3, "stand");
        cel->Frames[1]->Frame = CELFrame::CreateEmpty();
        cel->Frames[1]->Frame->Data = { 2, 0x90, 0x91, 0, 0xFF };
        cel->Frames[1]->Frame->DataLength = 5;
        cel->Frames[1]->Frame->AnalyseData();
        cel->Frames[2]->Frame = MakeFrame(9, 4, 77);
        cel->FileName = rig->File("broken.cel");
        cel->WithHeaders = 0;
        QCOMPARE(cel->SaveToFile(), SaveOK);
        rig->Open(cel->FileName, false);
        rig->SendLeft(M().ListCEL->count() - 1);
    }

    void Press(QWidget& window, QKeyCombination keys)
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
        rig->Start();
        rig->Vornix->Show();
    }
    void cleanup() { rig.reset(); }

    void aTableShowsEveryPictureThroughItUntilCleared()
    {
        Load({ { 24, 14, "stand" }, { 9, 4, "" } }, true, "hero.cel");
        rig->SelectLeft(1);
        LoadPalette(5);
        F().PlayAnimation(F().ListLeft);
        const DataArray image = A().View.FrameImage;

        std::mt19937 random(8);
        std::array<uint8_t, 256> table = IdentityTranslation();
        for (int i = 0; i < 256; i += 1 + int(random() % 3))
            table[size_t(i)] = uint8_t(random());
        LoadTable(table);
        QVERIFY(rig->Script.Messages.empty());
        ExpectShownThrough(&table);
        QCOMPARE(A().View.FrameImage, image); // shown through, never changed
        QVERIFY(C().TextTable->text().startsWith("t.trn"));

        // A file of another size is refused and names the size; nothing changes.
        for (size_t size : { size_t(255), size_t(257), size_t(0) }) {
            rig->Script.Messages.clear();
            rig->Script.FileAnswers.push_back(
                QString::fromStdString(Write("bad.trn", Bytes(size, 7))));
            C().TrnLoadClick();
            QCOMPARE(rig->Script.Messages.size(), size_t(1));
            QCOMPARE(rig->Script.Messages[0].Title, QString("Error"));
            QVERIFY2(rig->Script.Messages[0].Text.contains("256"),
                qPrintable(rig->Script.Messages[0].Text));
            ExpectShownThrough(&table);
        }

        // A colour edited shows at once in every entry translated to it.
        const uint8_t target = table[0x90];
        rig->Script.ColourAnswers.push_back(0x123456);
        P().PalCellMouseDown(target, Qt::LeftButton);
        ExpectShownThrough(&table);

        C().TrnClearClick();
        ExpectShownThrough(nullptr);
        QCOMPARE(C().TextTable->text(), QString("No translation table"));
    }

    void theTableIsEditedEntryByEntryAndSaved()
    {
        LoadPalette(6);
        ColourCell* entry = C().TrnCells[0x90];
        QTest::mouseClick(entry, Qt::LeftButton);
        QCOMPARE(entry->Outline(), 255u);
        QTest::mouseClick(C().TrnCells[0x10], Qt::LeftButton);
        QCOMPARE(entry->Outline(), 0u);
        QVERIFY(A().Colours.TableLoaded);
        std::array<uint8_t, 256> expected = IdentityTranslation();
        expected[0x90] = 0x10;
        QCOMPARE(A().Colours.Table, expected);
        QCOMPARE(entry->Inset(), std::optional<uint32_t>(A().Pal.Palette[0x10]));
        QCOMPARE(entry->Fill(), A().Pal.Palette[0x90]);
        ExpectShownThrough(&expected);

        // The transparent index is never an entry; the right button drops a choice.
        QTest::mouseClick(C().TrnCells[255], Qt::LeftButton);
        QCOMPARE(A().Colours.EditEntry, -1);
        QTest::mouseClick(C().TrnCells[0x20], Qt::LeftButton);
        QTest::mouseClick(C().TrnCells[0x30], Qt::RightButton);
        QCOMPARE(A().Colours.EditEntry, -1);
        QCOMPARE(C().TrnCells[0x20]->Outline(), 0u);
        // Any entry may become 255.
        QTest::mouseClick(C().TrnCells[0x21], Qt::LeftButton);
        QTest::mouseClick(C().TrnCells[255], Qt::LeftButton);
        expected[0x21] = 255;
        QCOMPARE(A().Colours.Table, expected);

        const std::string saved = rig->File("edited.trn");
        rig->Script.FileAnswers.push_back(QString::fromStdString(saved));
        C().TrnSaveClick();
        QCOMPARE(Read(saved), Bytes(expected.begin(), expected.end()));

        // Choosing the entry itself takes it back to itself.
        QTest::mouseClick(entry, Qt::LeftButton);
        QTest::mouseClick(entry, Qt::LeftButton);
        expected[0x90] = 0x90;
        QCOMPARE(A().Colours.Table, expected);
        QCOMPARE(entry->Inset(), std::optional<uint32_t>());
        ExpectShownThrough(&expected);
        QVERIFY(rig->Script.Messages.empty());
    }

    void applyingTheTableToTheFrameIsOneStepOfTheViewer()
    {
        Load({ { 24, 14, "stand" } }, true, "hero.cel");
        rig->SelectLeft(1);
        const CELFrame stored = *A().View.ViewedFrame->Frame;
        const DataArray image = A().View.FrameImage;
        C().ApplyTableToFrame(); // no table: nothing
        QVERIFY(!V().ActUndo->isEnabled());

        std::array<uint8_t, 256> table {};
        for (size_t i = 0; i < 256; ++i)
            table[i] = uint8_t(255 - i);
        LoadTable(table);
        QTest::mouseClick(C().BtnTrnFrame, Qt::LeftButton);
        QCOMPARE(A().View.FrameImage, Translated(image, table));
        QCOMPARE(*A().View.ViewedFrame->Frame, stored); // until Save Frame
        QCOMPARE(V().ActUndo->text(), QString("Undo Apply table"));
        V().ActUndo->trigger();
        QCOMPARE(A().View.FrameImage, image);
        V().ActRedo->trigger();
        QCOMPARE(A().View.FrameImage, Translated(image, table));
    }

    void applyingTheTableToAPaneIsOneStepOfTheFrameLists()
    {
        LoadWithBrokenFrame();
        const PaneModel& pane = F().LeftPane;
        // The first frame at a width of its own choice, shown with unsaved edits.
        rig->SelectLeft(1);
        QVERIFY(F().ComboLSelW->count() > 1);
        F().ComboLSelW->setCurrentIndex(1);
        F().ComboLSelWChange();
        const std::vector<CELFrame> before = PaneFrames(pane);
        V().BtnUpClick();

        std::mt19937 random(3);
        std::array<uint8_t, 256> table {};
        for (uint8_t& entry : table)
            entry = uint8_t(random() % 255); // no pixel becomes transparent
        LoadTable(table);
        rig->Script.Messages.clear();
        // Saved: the apply marks the CEL as changed, and its undo takes the mark back.
        M().ListCEL->setCurrentRow(0);
        M().BtnSaveCELClick();
        QVERIFY(!M().ListCEL->item(0)->font().bold());
        QTest::mouseClick(C().BtnTrnLeft, Qt::LeftButton);

        QCOMPARE(rig->Script.Messages.size(), size_t(1));
        QCOMPARE(rig->Script.Messages[0].Title, QString("Warning"));
        QVERIFY2(rig->Script.Messages[0].Text.endsWith(": #1"),
            qPrintable(rig->Script.Messages[0].Text));
        const std::vector<CELFrame> after = PaneFrames(pane);
        QCOMPARE(after.size(), before.size());
        for (size_t k = 0; k < after.size(); ++k) {
            if (!before[k].Viewable()) {
                QCOMPARE(after[k], before[k]);
                continue;
            }
            QCOMPARE(Decoded(after[k]), Translated(Decoded(before[k]), table));
            QCOMPARE(after[k].Width, before[k].Width);
            QCOMPARE(after[k].Height, before[k].Height);
            QCOMPARE(after[k].Name, before[k].Name);
            QCOMPARE(ItemTexts(F().ListLeft).at(int(k) + 1),
                QString::fromStdString(FrameCaption(uint32_t(k), after[k])));
        }
        // The frame in view is shown again from its new data; the edit is gone.
        QCOMPARE(A().View.FrameImage, Decoded(after[0]));
        QCOMPARE(F().ActUndo->text(), QString("Undo Apply table"));
        QVERIFY(M().ListCEL->item(0)->font().bold());

        F().ActUndo->trigger();
        QCOMPARE(PaneFrames(pane), before);
        QCOMPARE(A().View.FrameImage, Decoded(before[0]));
        QVERIFY(!M().ListCEL->item(0)->font().bold());
        F().ActRedo->trigger();
        QCOMPARE(PaneFrames(pane), after);

        // Undoing it shows the frame in view again, so edits of it not yet stored are asked
        // about first: Cancel keeps both them and the step.
        V().BtnUpClick();
        QVERIFY(V().HasUnstoredEdits());
        const size_t asked = rig->Script.CancelQuestions();
        rig->Script.CancelAnswers = { Answer::Cancel };
        F().ActUndo->trigger();
        QCOMPARE(rig->Script.CancelQuestions(), asked + 1);
        QCOMPARE(PaneFrames(pane), after);
        QVERIFY(V().HasUnstoredEdits());

        // Nothing for a pane without a CEL, nor without a table.
        rig->Script.Messages.clear();
        C().ApplyTableToPane(false);
        C().TrnClearClick();
        C().ApplyTableToPane(true);
        QCOMPARE(F().ActUndo->text(), QString("Undo Apply table"));
        QVERIFY(rig->Script.Messages.empty());
    }

    void palettesOfOtherToolsAreImportedAndExported()
    {
        LoadPalette(7);
        const std::array<uint32_t, 256> loaded = A().Pal.Palette;
        const QString fileName = P().EditPalFile->text();
        const std::string gimp = Write("ramp.gpl",
            { 'G', 'I', 'M', 'P', ' ', 'P', 'a', 'l', 'e', 't', 't', 'e', '\n', '1', ' ', '2', ' ',
                '3', '\n', '4', ' ', '5', ' ', '6', ' ', 'x', '\n' });
        rig->Script.FileAnswers.push_back(QString::fromStdString(gimp));
        QTest::mouseClick(C().BtnPalImport, Qt::LeftButton);
        QVERIFY(rig->Script.Messages.empty());
        std::array<uint32_t, 256> expected = loaded;
        expected[0] = 1 + 256 * 2 + 65536 * 3;
        expected[1] = 4 + 256 * 5 + 65536 * 6;
        QCOMPARE(A().Pal.Palette, expected);
        QCOMPARE(P().PalCells[1]->Fill(), expected[1]);
        QCOMPARE(V().ColourTable()[1], Rgb(expected[1]));
        QCOMPARE(P().EditPalFile->text(), fileName); // Load and Save keep their file

        // Refused: a message, nothing changes.
        rig->Script.FileAnswers.push_back(QString::fromStdString(Write("junk.gpl", { 'x', '1' })));
        C().PalImportClick();
        QCOMPARE(rig->Script.Messages.size(), size_t(1));
        QCOMPARE(rig->Script.Messages[0].Title, QString("Error"));
        QCOMPARE(A().Pal.Palette, expected);

        // Each filter writes its format, and the file imports back to every entry.
        A().Pal.Palette[255] = 0xABCDEF;
        const std::pair<const char*, PaletteFileFormat> exports[] = {
            { "out.gpl", PaletteFileFormat::Gimp },
            { "out.pal", PaletteFileFormat::JascPal },
            { "out.act", PaletteFileFormat::Pal },
        };
        for (const auto& [name, format] : exports) {
            rig->Script.FileAnswers.push_back(QString::fromStdString(rig->File(name)));
            QTest::mouseClick(C().BtnPalExport, Qt::LeftButton);
            QCOMPARE(rig->Script.FileDialogs.back().Title, QString("Export palette"));
            ImportedPalette back;
            QCOMPARE(ReadImportedPalette(rig->File(name), back), PaletteImportResult::Done);
            QCOMPARE(int(back.Format), int(format));
            // A 768-byte table reads as a ".pal" does: entries 0 to 254.
            QCOMPARE(back.Colours.size(), size_t(format == PaletteFileFormat::Pal ? 255 : 256));
            for (size_t n = 0; n < back.Colours.size(); ++n)
                QCOMPARE(back.Colours[n], A().Pal.Palette[n] & 0xFFFFFF);
        }
        // The Adobe table holds entry 255 as well.
        QCOMPARE(Read(rig->File("out.act")), PalBytes(A().Pal.Palette));
        // A place that cannot be written.
        rig->Script.FileAnswers.push_back(QString::fromStdString(rig->File("no/such.gpl")));
        C().PalExportClick();
        QCOMPARE(rig->Script.LastMessage(), QString("Cannot create palette file"));
    }

    void coloursInUseAreMarkedAndFollowEdits()
    {
        Load({ { 24, 14, "stand" }, { 9, 4, "" }, { 6, 3, "" } }, true, "hero.cel");
        rig->SelectLeft(1);
        QVERIFY(MarkedCells().empty());
        ActionTrigger(C().ActUseFrame);
        QCOMPARE(MarkedCells(), Sorted(ColoursOf(A().View.FrameImage)));
        QCOMPARE(C().TextUse->text(), QString("%1 colours").arg(MarkedCells().size()));
        QCOMPARE(C().ComboUse->currentIndex(), 1);

        // A stroke in a colour the frame does not use, and its undo.
        A().Pal.SelectedColour = 0xFE;
        V().ImgViewMouseDown(Qt::LeftButton, 0, 0);
        V().ImgViewMouseUp(Qt::LeftButton);
        QVERIFY(P().PalCells[0xFE]->Marked());
        QCOMPARE(MarkedCells(), Sorted(ColoursOf(A().View.FrameImage)));
        V().ActUndo->trigger();
        QVERIFY(!P().PalCells[0xFE]->Marked());
        rig->SelectLeft(2);
        QCOMPARE(MarkedCells(), Sorted(ColoursOf(A().View.FrameImage)));
        rig->SelectLeft(0);
        QVERIFY(MarkedCells().empty());

        // Every frame of a pane, through its steps.
        auto paneColours = [this] {
            std::set<int> used;
            for (const CELFrame& frame : PaneFrames(F().LeftPane))
                for (int colour : ColoursOf(Decoded(frame)))
                    used.insert(colour);
            return Sorted(used);
        };
        C().ComboUse->setCurrentIndex(2);
        emit C().ComboUse->activated(2);
        QCOMPARE(A().Colours.UseScope, ColourUseScope::LeftPane);
        QVERIFY(C().ActUseLeft->isChecked() && !C().ActUseFrame->isChecked());
        const std::vector<int> all = paneColours();
        QCOMPARE(MarkedCells(), all);
        rig->SelectLeft(1);
        F().BtnLDeleteClick();
        QCOMPARE(MarkedCells(), paneColours());
        QVERIFY(MarkedCells() != all);
        F().ActUndo->trigger();
        QCOMPARE(MarkedCells(), all);
        M().ListCEL->setCurrentRow(0);
        M().BtnCloseClick();
        QVERIFY(MarkedCells().empty());
        QCOMPARE(C().TextUse->text(), QString("0 colours"));

        ActionTrigger(C().ActUseLeft); // off again
        QCOMPARE(A().Colours.UseScope, ColourUseScope::None);
        QCOMPARE(C().TextUse->text(), QString());
    }

    void remappingMovesPicturesToAnotherPaletteAndUndoGivesTheOldOneBack()
    {
        Load({ { 24, 14, "stand" }, { 9, 4, "" } }, true, "hero.cel");
        P().CheckPalWhole->setChecked(true);
        LoadPalette(9);
        const std::array<uint32_t, 256> current = A().Pal.Palette;
        // The other palette holds the same colours in another order: each index must go to
        // where its colour went, and every pixel keeps the colour it showed in.
        std::vector<uint8_t> order(255);
        std::iota(order.begin(), order.end(), uint8_t(0));
        std::shuffle(order.begin(), order.end(), std::mt19937(4));
        std::array<uint8_t, 256> moved {};
        std::array<uint32_t, 256> other = current;
        for (size_t i = 0; i < 255; ++i) {
            moved[i] = order[i];
            other[order[i]] = current[i];
        }
        moved[255] = 255;
        const std::string otherFile = Write("other.pal", PalBytes(other));
        rig->SelectLeft(1);
        const DataArray image = A().View.FrameImage;
        auto shownColours = [this] {
            std::vector<QRgb> colours;
            for (uint8_t pixel : A().View.FrameImage)
                colours.push_back(V().ColourTable()[pixel]);
            return colours;
        };
        const std::vector<QRgb> looks = shownColours();

        rig->Script.FileAnswers.push_back(QString::fromStdString(otherFile));
        QTest::mouseClick(C().BtnRemapFrame, Qt::LeftButton);
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(A().View.FrameImage, Translated(image, moved));
        for (size_t i = 0; i < 255; ++i)
            QCOMPARE(A().Pal.Palette[i], other[i]);
        QCOMPARE(A().Pal.Palette[255], current[255]);
        QCOMPARE(shownColours(), looks);
        QCOMPARE(P().PalCells[order[7]]->Fill(), current[7]);
        V().ActUndo->trigger();
        QCOMPARE(A().View.FrameImage, image);
        QCOMPARE(A().Pal.Palette, current);
        QCOMPARE(P().PalCells[7]->Fill(), current[7]);
        V().ActRedo->trigger();
        QCOMPARE(A().View.FrameImage, Translated(image, moved));
        QCOMPARE(A().Pal.Palette[order[7]], current[7]);
        V().ActUndo->trigger();

        // A pane: one step of the frame lists, which gives the palette back too.
        const std::vector<CELFrame> before = PaneFrames(F().LeftPane);
        rig->Script.FileAnswers.push_back(QString::fromStdString(otherFile));
        QTest::mouseClick(C().BtnRemapLeft, Qt::LeftButton);
        QVERIFY(rig->Script.Messages.empty());
        const std::vector<CELFrame> after = PaneFrames(F().LeftPane);
        for (size_t k = 0; k < before.size(); ++k)
            QCOMPARE(Decoded(after[k]), Translated(Decoded(before[k]), moved));
        QCOMPARE(A().Pal.Palette[order[7]], current[7]);
        QCOMPARE(shownColours(), looks);
        QCOMPARE(F().ActUndo->text(), QString("Undo Remap"));
        F().ActUndo->trigger();
        QCOMPARE(PaneFrames(F().LeftPane), before);
        QCOMPARE(A().Pal.Palette, current);
        F().ActRedo->trigger();
        QCOMPARE(PaneFrames(F().LeftPane), after);
        QCOMPARE(A().Pal.Palette[order[7]], current[7]);

        // A file that is no palette: a message, and nothing changes.
        const std::array<uint32_t, 256> now = A().Pal.Palette;
        const DataArray shown = A().View.FrameImage;
        for (QPushButton* button : { C().BtnRemapFrame, C().BtnRemapLeft }) {
            rig->Script.Messages.clear();
            rig->Script.FileAnswers.push_back(
                QString::fromStdString(Write("junk.bin", { 1, 2, 3 })));
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(rig->Script.Messages.size(), size_t(1));
            QCOMPARE(A().Pal.Palette, now);
            QCOMPARE(A().View.FrameImage, shown);
        }
    }

    void theMenuLivesOutsideTheGridAndTheShortcutsReachTheActions()
    {
        TWindPal& pal = P();
        QVERIFY(!pal.ShowColourMenu(QPoint(100, 100)));
        QVERIFY(!pal.ShowColourMenu(QPoint(255, 15))); // between two cells
        // A context menu asked for on a cell reaches the window as on the grid: none.
        QContextMenuEvent onCell(
            QContextMenuEvent::Mouse, QPoint(5, 5), pal.PalCells[0x90]->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pal.PalCells[0x90], &onCell);
        QVERIFY(!pal.ColourMenu);
        // The right button on a cell still picks.
        QTest::mouseClick(pal.PalCells[0x90], Qt::RightButton);
        QCOMPARE(A().Pal.SelectedColour, uint8_t(0x90));
        QVERIFY(!pal.ColourMenu);

        QContextMenuEvent below(
            QContextMenuEvent::Mouse, QPoint(140, 320), pal.mapToGlobal(QPoint(140, 320)));
        QApplication::sendEvent(&pal, &below);
        QVERIFY(pal.ColourMenu);
        QStringList captions;
        for (QAction* action : pal.ColourMenu->actions())
            captions << action->text();
        for (const char* expected :
            { "Load translation table...", "Import palette...", "Export palette...",
                "Colours of the frame", "Remap frame to palette...", "Colours window" })
            QVERIFY2(captions.contains(expected), expected);
        pal.ColourMenu->close();

        // Shortcuts of the palette window.
        rig->Script.FileAnswers.push_back(std::nullopt);
        Press(pal, Qt::CTRL | Qt::Key_T);
        QCOMPARE(rig->Script.FileDialogs.back().Title, QString("Load translation table"));
        rig->Script.FileAnswers.push_back(std::nullopt);
        Press(pal, Qt::CTRL | Qt::Key_I);
        QCOMPARE(rig->Script.FileDialogs.back().Title, QString("Import palette"));
        // With the file name field in focus, as at start: it keeps none of these keys.
        pal.EditPalFile->setFocus();
        Press(pal, Qt::CTRL | Qt::Key_M);
        QCOMPARE(A().Colours.UseScope, ColourUseScope::Frame);
        QTest::keyClick(pal.EditPalFile, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(A().Colours.UseScope, ColourUseScope::None);
        QVERIFY(!C().isVisible());
        QTest::keyClick(pal.EditPalFile, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(C().isVisible());
        QVERIFY(rig->Script.AllAnswersUsed());
    }

private:
    static void ActionTrigger(QAction* action) { action->trigger(); }
};

QTEST_MAIN(ColoursWndTest)
#include "ColoursWndTest.moc"
