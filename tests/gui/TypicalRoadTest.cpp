#include <filesystem>
#include <fstream>
#include <map>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "framelists/InputWnd.h"
#include "frames/FileIO.h"
#include "gui/ShellFixtures.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "settings/Settings.h"
#include "viewer/GuiViewSurface.h"

namespace fs = std::filesystem;

// The road a user takes through the real windows, by mouse: open two CELs, look at a frame in
// a loaded palette, draw and recolour it, store it, copy and move frames between the panes,
// save both CELs with their databases, close the program and start it again.
class TypicalRoadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    static void ClickRow(QListWidget* list, int row)
    {
        QVERIFY(row < list->count());
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }

    static void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(widget, button);
    }

    // A palette file whose 255 entries all differ, and the colour value each entry gets.
    static uint32_t FileColour(int n)
    {
        return uint32_t(n) + 256u * ((n * 3) & 255) + 65536u * (255 - n);
    }
    static bool WritePalette(const std::string& path)
    {
        std::vector<uint8_t> bytes;
        for (int n = 0; n < 256; ++n) {
            const uint32_t c = FileColour(n);
            bytes.push_back(uint8_t(c));
            bytes.push_back(uint8_t(c >> 8));
            bytes.push_back(uint8_t(c >> 16));
        }
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return bool(out);
    }

    // Surface point of image column col, row (from the bottom) at zoom 1 without scrolling.
    QPoint At(int col, int row) const
    {
        return QPoint(col, int(rig->App().View.ImageHeight) - 1 - row);
    }

    uint8_t Pixel(int col, int row) const
    {
        const ViewerState& v = rig->App().View;
        return v.FrameImage[size_t(row) * v.ImageWidth + size_t(col)];
    }

    static DataArray Decoded(const CELFrame& frame)
    {
        DataArray image;
        frame.DecodeImage(image);
        return image;
    }

    // The viewer's surface shows FrameImage, top row first, in the palette's colours.
    void ExpectSurfaceShowsImage()
    {
        const ViewerState& v = rig->App().View;
        const QImage& s = rig->Vornix->WindView().ImgView->Surface;
        QCOMPARE(s.size(), QSize(int(v.ImageWidth), int(v.ImageHeight)));
        for (int y = 0; y < s.height(); ++y) {
            for (int x = 0; x < s.width(); ++x) {
                const int row = int(v.ImageHeight) - 1 - y;
                const uint8_t index = Pixel(x, row);
                QCOMPARE(s.pixelIndex(x, y), int(index));
                const uint32_t colour = rig->App().Pal.Palette[index];
                QCOMPARE(QColor(s.color(index)).rgb(), ColourCell::ToQColor(colour).rgb());
            }
        }
    }

    std::map<std::string, std::string> ReadSettings()
    {
        std::map<std::string, std::string> values;
        std::ifstream in(SettingsFileName(rig->StartDir()), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t equals = line.find(" = ");
            if (equals != std::string::npos)
                values[line.substr(0, equals)] = line.substr(equals + 3);
        }
        return values;
    }

    static std::vector<std::string> Captions(const CELObject& cel)
    {
        std::vector<std::string> captions;
        for (uint32_t k = 0; k < cel.FrameCount; ++k)
            captions.push_back(FrameCaption(k, *cel.Frames[k]->Frame));
        return captions;
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
    }
    void cleanup() { rig.reset(); }

    void openEditCopyMoveSaveCloseAndRestart();
    void aNewCELFilledFromTheOtherPaneComesBackAfterRestart();
    void aResizedFrameDrawnAtZoomIsSavedWithItsNewSize();
};

void TypicalRoadTest::openEditCopyMoveSaveCloseAndRestart()
{
    const std::string pathA = rig->File("hero.cel");
    const std::string pathB = rig->File("villain.cel");
    const std::string palPath = rig->File("game.pal");
    QVERIFY(WriteCEL(pathA, { { 8, 4, "" }, { 10, 6, "" }, { 6, 3, "" } }, true, false));
    QVERIFY(WriteCEL(pathB, { { 4, 2, "" }, { 12, 5, "" } }, false, false));
    QVERIFY(WritePalette(palPath));
    QVERIFY(!fs::exists(DatabaseFileName(pathA)));

    rig->Start();
    rig->Vornix->Show();
    TMain& main = rig->Main();
    TWindFrame& frames = rig->Frames();
    TWindView& view = rig->Vornix->WindView();
    TWindPal& pal = rig->Vornix->WindPal();
    AppContext& app = rig->App();
    ScriptedDialogs& script = rig->Script;

    // 1. Open the first CEL: without a database the Frame Headers question comes, answered Yes.
    script.FileAnswers.push_back(QString::fromStdString(pathA));
    script.YesNoAnswers.push_back(true);
    Click(main.BtnOpen);
    QCOMPARE(script.Questions.size(), size_t(1));
    QCOMPARE(script.Questions[0].Text, QString("Does this file contain Frame headers?"));
    QCOMPARE(script.Questions[0].Title, QString("Open CEL"));
    QCOMPARE(ItemTexts(main.ListCEL), QStringList { QString::fromStdString(pathA) });
    const CELObject& loadedA = *main.HolderAt(0)->CEL;
    QCOMPARE(loadedA.Status, uint8_t(LoadOK));
    QCOMPARE(loadedA.FrameCount, 3u);
    QCOMPARE(loadedA.WithHeaders, uint8_t(1));

    // 2. Use Left: "<Begin>" and one caption per frame.
    ClickRow(main.ListCEL, 0);
    Click(main.BtnLLoad);
    QCOMPARE(app.LeftCEL, main.HolderAt(0));
    QStringList expectedLeft { "<Begin>" };
    for (const std::string& caption : Captions(loadedA))
        expectedLeft << QString::fromStdString(caption);
    QCOMPARE(ItemTexts(frames.ListLeft), expectedLeft);
    QCOMPARE(frames.ListLeft->currentRow(), 0);
    QVERIFY(frames.CheckLHeader->isChecked());
    QVERIFY(!frames.CheckLDB->isChecked());
    QCOMPARE(frames.ListLeft->toolTip(), QString::fromStdString(pathA));

    // A palette file typed into the palette window and loaded.
    pal.EditPalFile->clear();
    QTest::keyClicks(pal.EditPalFile, QString::fromStdString(palPath));
    Click(pal.BtnPalLoad);
    QVERIFY(script.Messages.empty());
    for (int n = 0; n < 255; ++n)
        QCOMPARE(app.Pal.Palette[size_t(n)], FileColour(n));

    // 3. A click on the second frame shows it.
    const FrameSlotRef second = frames.LeftPane.Items[2].Slot;
    ClickRow(frames.ListLeft, 2);
    QCOMPARE(app.View.ViewedFrame, second);
    QCOMPARE(rig->ViewCaption(), QString("View Frame: #1 (L)"));
    QCOMPARE(app.View.ImageWidth, 10u);
    QCOMPARE(app.View.ImageHeight, 6u);
    QCOMPARE(view.EditFrWidth->text(), QString("10"));
    QCOMPARE(view.EditFrHeight->text(), QString("6"));
    QCOMPARE(app.View.FrameImage, Decoded(*second->Frame));
    QVERIFY(frames.ComboLSelW->count() >= 1);
    QCOMPARE(frames.ComboLSelW->currentText(), QString("10"));
    ExpectSurfaceShowsImage();

    // 4. Pick the drawing colour on the palette and draw a stroke from (0, 0) to (3, 1).
    Click(pal.PalCells[0x90], Qt::RightButton);
    QCOMPARE(app.Pal.SelectedColour, uint8_t(0x90));
    QTest::mousePress(view.ImgView, Qt::LeftButton, {}, At(0, 0));
    QTest::mouseMove(view.ImgView, At(3, 1));
    QTest::mouseRelease(view.ImgView, Qt::LeftButton, {}, At(3, 1));
    QVERIFY(!view.Drawing);
    DataArray expected = Decoded(*second->Frame);
    for (auto [col, row] : { std::pair { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 1 } })
        expected[size_t(row) * 10 + size_t(col)] = 0x90;
    QCOMPARE(app.View.FrameImage, expected);
    ExpectSurfaceShowsImage();
    // Only Save Frame changes the frame itself.
    QVERIFY(Decoded(*second->Frame) != expected);

    // 5. Pick a colour of the image with the right button. The generated frames use the low
    // colours only, so the whole palette is allowed first.
    Click(pal.CheckPalWhole);
    QVERIFY(pal.CheckPalWhole->isChecked());
    int pickCol = -1, pickRow = -1;
    for (int row = 0; row < 6 && pickCol < 0; ++row)
        for (int col = 0; col < 10 && pickCol < 0; ++col) {
            const uint8_t c = Pixel(col, row);
            if (c != 0x90 && c != TransparentIndex) {
                pickCol = col;
                pickRow = row;
            }
        }
    QVERIFY2(pickCol >= 0, "the generated frame has a free colour to pick");
    const uint8_t picked = Pixel(pickCol, pickRow);
    QTest::mouseClick(view.ImgView, Qt::RightButton, {}, At(pickCol, pickRow));
    QCOMPARE(app.Pal.SelectedColour, picked);
    QCOMPARE(pal.PalCells[picked]->Outline(), 255u);
    QCOMPARE(pal.PalCells[0x90]->Outline(), 0u);
    QCOMPARE(app.View.FrameImage, expected);

    // 6. Replace: every pixel of the picked colour takes the colour of the cell right-clicked.
    Click(pal.BtnRepl);
    QVERIFY(pal.BtnRepl->isChecked());
    QCOMPARE(app.Pal.PendingColourOp, uint8_t(OpReplace));
    Click(pal.PalCells[0xA5], Qt::RightButton);
    QVERIFY(!pal.BtnRepl->isChecked());
    QCOMPARE(app.Pal.PendingColourOp, uint8_t(OpNone));
    QCOMPARE(app.Pal.SelectedColour, picked);
    size_t replaced = 0;
    for (uint8_t& p : expected)
        if (p == picked) {
            p = 0xA5;
            ++replaced;
        }
    QVERIFY(replaced >= 1);
    QCOMPARE(app.View.FrameImage, expected);
    ExpectSurfaceShowsImage();

    // 7. Save Frame stores the edited image in the frame and refreshes its caption.
    Click(view.BtnSaveFrame);
    QCOMPARE(Decoded(*second->Frame), expected);
    QCOMPARE(second->Frame->Width, 10u);
    QCOMPARE(
        frames.ListLeft->item(2)->text(), QString::fromStdString(FrameCaption(1, *second->Frame)));
    QCOMPARE(frames.ComboLSelW->currentText(), QString("10"));

    // 8. The second CEL, without Frame Headers, goes to the right pane.
    script.FileAnswers.push_back(QString::fromStdString(pathB));
    script.YesNoAnswers.push_back(false);
    Click(main.BtnOpen);
    QCOMPARE(script.Questions.size(), size_t(2));
    QCOMPARE(main.ListCEL->count(), 2);
    ClickRow(main.ListCEL, 1);
    Click(main.BtnRLoad);
    QCOMPARE(app.RightCEL, main.HolderAt(1));
    QCOMPARE(frames.ListRight->count(), 3);
    QVERIFY(!frames.CheckRHeader->isChecked());
    const FrameSlotRef b0 = frames.RightPane.Items[1].Slot;
    const FrameSlotRef b1 = frames.RightPane.Items[2].Slot;
    const DataArray imageB0 = Decoded(*b0->Frame);
    const DataArray imageB1 = Decoded(*b1->Frame);
    // Sending a CEL did not touch the viewer.
    QCOMPARE(app.View.ViewedFrame, second);

    // 9. Copy the first left frame to the top of the right pane.
    const FrameSlotRef first = frames.LeftPane.Items[1].Slot;
    const DataArray imageA0 = Decoded(*first->Frame);
    const DataArray imageA2 = Decoded(*frames.LeftPane.Items[3].Slot->Frame);
    ClickRow(frames.ListLeft, 1);
    QCOMPARE(app.View.ViewedFrame, first);
    Click(frames.BtnLCopy);
    QCOMPARE(frames.ListRight->count(), 4);
    QCOMPARE(frames.ListRight->currentRow(), 1);
    QVERIFY(frames.RightPane.Items[1].Slot != first);
    QCOMPARE(app.View.ViewedFrame, frames.RightPane.Items[1].Slot);
    QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (R)"));
    QCOMPARE(frames.ListLeft->count(), 4);

    // 10. Move the edited frame right after the copy.
    ClickRow(frames.ListLeft, 2);
    QCOMPARE(app.View.ViewedFrame, second);
    Click(frames.BtnLMove);
    QCOMPARE(frames.ListLeft->count(), 3);
    QCOMPARE(frames.ListRight->count(), 5);
    QCOMPARE(frames.RightPane.Items[2].Slot, second);
    QCOMPARE(frames.ListRight->currentRow(), 2);
    // The left pane shows the frame that followed the moved one.
    QCOMPARE(frames.ListLeft->currentRow(), 2);
    QCOMPARE(rig->ViewCaption(), QString("View Frame: #1 (L)"));
    QCOMPARE(main.HolderAt(0)->CEL->FrameCount, 2u);

    // 11. Name the moved frame in the right pane.
    ClickRow(frames.ListRight, 2);
    script.ModalAnswers.push_back([](QDialog& dialog) {
        static_cast<TWindInput&>(dialog).EditStr->setText("hero walk");
        return int(QDialog::Accepted);
    });
    Click(frames.BtnRRename);
    QCOMPARE(second->Frame->Name, std::string("hero walk"));
    QCOMPARE(
        frames.ListRight->item(2)->text(), QString::fromStdString(FrameCaption(1, *second->Frame)));
    QStringList shownRight = ItemTexts(frames.ListRight);
    QStringList shownLeft = ItemTexts(frames.ListLeft);

    // 12. Tick "Save Database" in both panes, then save both CELs.
    Click(frames.CheckLDB);
    Click(frames.CheckRDB);
    QVERIFY(frames.CheckLDB->isChecked() && frames.CheckRDB->isChecked());
    ClickRow(main.ListCEL, 0);
    Click(main.BtnSaveCEL);
    ClickRow(main.ListCEL, 1);
    Click(main.BtnSaveCEL);
    QVERIFY2(script.Messages.empty(), qPrintable(script.LastMessage()));
    QVERIFY(fs::exists(DatabaseFileName(pathA)));
    QVERIFY(fs::exists(DatabaseFileName(pathB)));

    // Options and placements to be kept for the next run.
    Click(view.CheckOffs);
    QVERIFY(view.CheckOffs->isChecked());
    view.ComboBPP->setCurrentIndex(1);
    main.move(30, 40);
    view.move(500, 60);
    pal.move(300, 70);
    frames.move(700, 80);
    frames.resize(260, 340);
    const uint8_t selected = app.Pal.SelectedColour;

    // 13. Close the program.
    main.close();
    QVERIFY(script.AllAnswersUsed());

    // The first CEL: its first and third frames, with Frame Headers, no names.
    auto diskA = CELObject::CreateFromFile(pathA, false);
    QCOMPARE(diskA->Status, uint8_t(LoadOK));
    QCOMPARE(diskA->FrameCount, 2u);
    QCOMPARE(diskA->WithHeaders, uint8_t(1));
    QCOMPARE(diskA->HasDatabase, uint8_t(1));
    QCOMPARE(Decoded(*diskA->Frames[0]->Frame), imageA0);
    QCOMPARE(Decoded(*diskA->Frames[1]->Frame), imageA2);
    QStringList diskLeft { "<Begin>" };
    for (const std::string& caption : Captions(*diskA))
        diskLeft << QString::fromStdString(caption);
    QCOMPARE(diskLeft, shownLeft);

    // The second CEL: the copy, the edited frame with its name, then its own two frames.
    auto diskB = CELObject::CreateFromFile(pathB, true);
    QCOMPARE(diskB->Status, uint8_t(LoadOK));
    QCOMPARE(diskB->FrameCount, 4u);
    QCOMPARE(diskB->WithHeaders, uint8_t(0));
    QCOMPARE(diskB->HasDatabase, uint8_t(1));
    QCOMPARE(Decoded(*diskB->Frames[0]->Frame), imageA0);
    QCOMPARE(diskB->Frames[1]->Frame->Name, std::string("hero walk"));
    QCOMPARE(diskB->Frames[1]->Frame->Width, 10u);
    QCOMPARE(Decoded(*diskB->Frames[1]->Frame), expected);
    QCOMPARE(Decoded(*diskB->Frames[2]->Frame), imageB0);
    QCOMPARE(Decoded(*diskB->Frames[3]->Frame), imageB1);
    QStringList diskRight { "<Begin>" };
    for (const std::string& caption : Captions(*diskB))
        diskRight << QString::fromStdString(caption);
    QCOMPARE(diskRight, shownRight);

    // The settings file.
    auto settings = ReadSettings();
    QCOMPARE(settings["Palette"], palPath);
    QCOMPARE(settings["SelCol"], std::to_string(selected));
    QCOMPARE(settings["Offset"], std::string("1"));
    QCOMPARE(settings["PalExp"], std::string("1"));
    QCOMPARE(settings["WholePal"], std::string("1"));
    QCOMPARE(settings["MainLeft"], std::string("30"));
    QCOMPARE(settings["MainTop"], std::string("40"));
    QCOMPARE(settings["ViewLeft"], std::string("500"));
    QCOMPARE(settings["PalLeft"], std::string("300"));
    QCOMPARE(settings["PalTop"], std::string("70"));
    QCOMPARE(settings["FrameLeft"], std::string("700"));
    QCOMPARE(settings["FrameWidth"], std::to_string(260 + FrameExtraWidth));
    QCOMPARE(settings["FrameHeight"], std::to_string(340 + FrameExtraHeight));
    QCOMPARE(settings["Unnamed"], std::string("0"));

    // 14. The next run in the same folder comes back with the placements and options.
    rig->Stop();
    rig->Start();
    rig->Vornix->Show();
    QCOMPARE(rig->Main().pos(), QPoint(30, 40));
    QCOMPARE(rig->Vornix->WindView().pos(), QPoint(500, 60));
    QCOMPARE(rig->Vornix->WindPal().pos(), QPoint(300, 70));
    QCOMPARE(rig->Frames().pos(), QPoint(700, 80));
    QCOMPARE(rig->Frames().size(), QSize(260, 340));
    QVERIFY(rig->Vornix->WindView().CheckOffs->isChecked());
    QCOMPARE(rig->Vornix->WindView().ComboBPP->currentIndex(), 1);
    QCOMPARE(rig->Vornix->WindPal().EditPalFile->text(), QString::fromStdString(palPath));
    QCOMPARE(rig->App().Pal.SelectedColour, selected);
    QVERIFY(rig->Vornix->WindPal().CheckPalWhole->isChecked());
    for (int n = 0; n < 255; ++n)
        QCOMPARE(rig->App().Pal.Palette[size_t(n)], FileColour(n));
    QCOMPARE(rig->Main().ListCEL->count(), 0);
    QVERIFY(rig->Script.Messages.empty());
}

void TypicalRoadTest::aNewCELFilledFromTheOtherPaneComesBackAfterRestart()
{
    const std::string pathA = rig->File("hero.cel");
    QVERIFY(WriteCEL(pathA, { { 8, 4, "" }, { 10, 6, "" } }, true, false));
    std::vector<uint8_t> bytesA;
    QCOMPARE(ReadWholeFile(pathA, bytesA), ReadResult::Ok);

    rig->Start();
    rig->Vornix->Show();
    TMain& main = rig->Main();
    TWindFrame& frames = rig->Frames();
    ScriptedDialogs& script = rig->Script;

    script.FileAnswers.push_back(QString::fromStdString(pathA));
    script.YesNoAnswers.push_back(true);
    Click(main.BtnOpen);
    Click(main.BtnNewCEL);
    QCOMPARE(ItemTexts(main.ListCEL), (QStringList { QString::fromStdString(pathA), "<New> #0" }));
    QCOMPARE(main.ListCEL->currentRow(), 1);
    Click(main.BtnRLoad);
    ClickRow(main.ListCEL, 0);
    Click(main.BtnLLoad);
    QCOMPARE(frames.ListRight->count(), 1);

    // The new CEL gets a copy of the second frame, then a new empty frame moved above it.
    ClickRow(frames.ListLeft, 2);
    const DataArray copied = Decoded(*frames.LeftPane.Items[2].Slot->Frame);
    Click(frames.BtnLCopy);
    Click(frames.BtnRNew);
    QCOMPARE(frames.ListRight->currentRow(), 2);
    QCOMPARE(rig->App().View.ImageWidth, 1u);
    Click(frames.BtnRUp);
    QCOMPARE(frames.ListRight->currentRow(), 1);
    const QStringList shownRight = ItemTexts(frames.ListRight);
    QCOMPARE(shownRight.size(), 3);

    // A change to the named CEL that is never saved does not reach its file.
    ClickRow(frames.ListLeft, 1);
    Click(frames.BtnLDelete);
    QCOMPARE(frames.ListLeft->count(), 2);

    main.close();
    QVERIFY(script.AllAnswersUsed());
    QVERIFY(script.Messages.empty());
    std::vector<uint8_t> after;
    QCOMPARE(ReadWholeFile(pathA, after), ReadResult::Ok);
    QCOMPARE(after, bytesA);
    auto settings = ReadSettings();
    QCOMPARE(settings["Unnamed"], std::string("1"));
    QCOMPARE(settings["UnnHH0"], std::string("1"));
    QVERIFY(fs::exists(rig->File("Unnamed/0.cel")));

    // The next run lists the stored CEL unnamed, with the frames in the order the pane showed.
    rig->Stop();
    rig->Start();
    rig->Vornix->Show();
    QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { "<New> #0" });
    ClickRow(rig->Main().ListCEL, 0);
    Click(rig->Main().BtnLLoad);
    QCOMPARE(ItemTexts(rig->Frames().ListLeft), shownRight);
    ClickRow(rig->Frames().ListLeft, 2);
    QCOMPARE(rig->App().View.FrameImage, copied);
    QCOMPARE(rig->ViewCaption(), QString("View Frame: #1 (L)"));
    // Still unnamed: Save refuses it.
    Click(rig->Main().BtnSaveCEL);
    ExpectOnlyError(rig->Script, "CEL is not assigned to a file");
}

void TypicalRoadTest::aResizedFrameDrawnAtZoomIsSavedWithItsNewSize()
{
    const std::string pathA = rig->File("hero.cel");
    QVERIFY(WriteCEL(pathA, { { 8, 4, "" }, { 10, 6, "" } }, true, false));
    rig->Start();
    rig->Vornix->Show();
    TMain& main = rig->Main();
    TWindFrame& frames = rig->Frames();
    TWindView& view = rig->Vornix->WindView();
    AppContext& app = rig->App();
    rig->Script.FileAnswers.push_back(QString::fromStdString(pathA));
    rig->Script.YesNoAnswers.push_back(true);
    Click(main.BtnOpen);
    ClickRow(main.ListCEL, 0);
    Click(main.BtnLLoad);
    ClickRow(frames.ListLeft, 1);
    const FrameSlotRef slot = frames.LeftPane.Items[1].Slot;
    DataArray expected = Decoded(*slot->Frame);
    QCOMPARE(app.View.ImageWidth, 8u);

    // Grow the image to 12 x 5 through the edit fields: the old picture stays at the top left.
    view.EditFrWidth->clear();
    QTest::keyClicks(view.EditFrWidth, "12");
    view.EditFrHeight->clear();
    QTest::keyClicks(view.EditFrHeight, "5");
    Click(view.BtnResize);
    QVERIFY(rig->Script.Messages.empty());
    QCOMPARE(app.View.ImageWidth, 12u);
    QCOMPARE(app.View.ImageHeight, 5u);
    DataArray grown(12 * 5, TransparentIndex);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 8; ++col)
            grown[size_t(row + 1) * 12 + size_t(col)] = expected[size_t(row) * 8 + size_t(col)];
    QCOMPARE(app.View.FrameImage, grown);

    // At 3x zoom a press in the middle of a magnified pixel draws that image pixel.
    view.ComboZoom->setFocus();
    QTest::keyClick(view.ComboZoom, Qt::Key_Down);
    QTest::keyClick(view.ComboZoom, Qt::Key_Down);
    QCOMPARE(view.ComboZoom->currentText(), QString("3x Zoom"));
    QCOMPARE(view.ImgView->Surface.size(), QSize(36, 15));
    Click(rig->Vornix->WindPal().PalCells[0x99], Qt::RightButton);
    const QPoint at(11 * 3 + 1, (5 - 1 - 0) * 3 + 1); // column 11, row 0
    QTest::mouseClick(view.ImgView, Qt::LeftButton, {}, at);
    grown[11] = 0x99;
    QCOMPARE(app.View.FrameImage, grown);
    QCOMPARE(view.ImgView->Surface.pixelIndex(at), 0x99);

    // Save Frame stores the new size; the caption and the width choice follow it.
    Click(view.BtnSaveFrame);
    QCOMPARE(slot->Frame->Width, 12u);
    QCOMPARE(slot->Frame->Height, 5u);
    QCOMPARE(Decoded(*slot->Frame), grown);
    QCOMPARE(
        frames.ListLeft->item(1)->text(), QString::fromStdString(FrameCaption(0, *slot->Frame)));
    QCOMPARE(frames.ComboLSelW->currentIndex(), int(slot->Frame->WidthIndex));
    QCOMPARE(slot->Frame->Widths[slot->Frame->WidthIndex], 12u);

    // Saved with its database, the CEL keeps the chosen width.
    Click(frames.CheckLDB);
    Click(main.BtnSaveCEL);
    QVERIFY(rig->Script.Messages.empty());
    auto disk = CELObject::CreateFromFile(pathA, false);
    QCOMPARE(disk->Status, uint8_t(LoadOK));
    QCOMPARE(disk->Frames[0]->Frame->Width, 12u);
    QCOMPARE(Decoded(*disk->Frames[0]->Frame), grown);
}

QTEST_MAIN(TypicalRoadTest)
#include "TypicalRoadTest.moc"
