#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <fstream>
#include <iterator>

#include "bitmaps/BMPHandler.h"
#include "framelists/InputWnd.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"

// Faults met when the program was first used as a newcomer would use it, each driven through
// the real windows: a width choice that made a frame 0 pixels high and a CEL unreadable,
// frame names in the Windows-1252 code page, lists that lost their only selection, a tiny
// CEL whose one frame stood for billions of pixels, and a cut check box text.
namespace {

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

class FirstUseFaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TWindFrame& F() { return rig->Frames(); }
    TWindView& V() { return rig->Vornix->WindView(); }

    static std::vector<uint8_t> Word32(uint32_t value)
    {
        return { uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24) };
    }

    // A CEL file without Frame Headers holding one frame of the given data.
    static std::vector<uint8_t> OneFrameCEL(const std::vector<uint8_t>& data)
    {
        std::vector<uint8_t> cel;
        for (uint32_t word : { 1u, 12u, uint32_t(12 + data.size()) }) {
            auto bytes = Word32(word);
            cel.insert(cel.end(), bytes.begin(), bytes.end());
        }
        cel.insert(cel.end(), data.begin(), data.end());
        return cel;
    }

    // Opens path (no database beside it: the Frame Headers question is answered No) and
    // sends it to the left pane.
    void OpenLeft(const std::string& path, bool headers = false)
    {
        rig->Open(path, headers);
        rig->SendLeft(rig->Main().ListCEL->count() - 1);
    }

    void PickWidth(int index)
    {
        F().ComboLSelW->setCurrentIndex(index);
        F().ComboLSelWChange();
    }

    void Answer(const QString& text)
    {
        rig->Script.ModalAnswers.push_back([=](QDialog& dialog) {
            static_cast<TWindInput&>(dialog).EditStr->setText(text);
            return int(QDialog::Accepted);
        });
    }

    static void CtrlClick(QListWidget* list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
            list->visualItemRect(list->item(row)).center());
    }

    static void ClickBelowItems(QListWidget* list)
    {
        QRect last = list->visualItemRect(list->item(list->count() - 1));
        QPoint below(last.center().x(), last.bottom() + 8);
        QVERIFY(below.y() < list->viewport()->height());
        QVERIFY(!list->itemAt(below));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
        rig->Start();
    }
    void cleanup() { rig.reset(); }

    // Widths 10, 5, 3, ...: choosing 3 and then 10 derives a height of 9 / 10 = 0.
    void regressionZeroHighFrameWasSavedIntoACELThatCouldNeverBeOpened()
    {
        const std::string path = rig->File("runs.cel");
        const std::vector<uint8_t> data { 1, 7, 0xFF, 1, 7, 0xFF, 1, 7, 0xFF, 1, 7, 0xFF, 1, 7,
            0xFF };
        WriteBytes(path, OneFrameCEL(data));
        OpenLeft(path);
        rig->SelectLeft(1);
        QCOMPARE(F().ComboLSelW->count(), 10);
        PickWidth(2);
        QCOMPARE(F().ListLeft->item(1)->text(), QString("0, 3x3"));
        PickWidth(0);
        QCOMPARE(F().ListLeft->item(1)->text(), QString("0, 10x0"));

        QTest::mouseClick(V().BtnSaveFrame, Qt::LeftButton);
        ExpectOnlyError(rig->Script, "Incorrect sizes");
        const CELFrame& frame = *F().LeftPane.Items[1].Slot->Frame;
        QCOMPARE(frame.Data, DataArray(data));
        QCOMPARE(frame.DataLength, uint32_t(data.size()));
        QCOMPARE(frame.Diagnosis, uint8_t(DiagOK));

        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnSaveCELClick();
        QCOMPARE(rig->Script.Messages.size(), size_t(1)); // "Save" reports nothing more
        auto loaded = CELObject::CreateFromFile(path, false);
        QCOMPARE(loaded->Status, uint8_t(LoadOK));
        QCOMPARE(loaded->FrameCount, 1u);
        QCOMPARE(loaded->Frames[0]->Frame->Data, DataArray(data));
    }

    // A CEL holding a frame with no data is refused by "Save" and the file on disk stays.
    void regressionFrameWithoutDataWasWrittenOverAGoodCEL()
    {
        const std::string path = rig->File("good.cel");
        QVERIFY(WriteCEL(path, { { 4, 2, "" }, { 3, 3, "" } }, true, false));
        const std::vector<uint8_t> before = ReadBytes(path);
        OpenLeft(path, true);
        CELFrame& frame = *F().LeftPane.Items[2].Slot->Frame;
        frame.SetSize(3, 0);
        frame.EncodeImage({});
        QCOMPARE(frame.DataLength, 0u);
        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnSaveCELClick();
        ExpectOnlyError(rig->Script, "Cannot save CEL file");
        QCOMPARE(ReadBytes(path), before);
    }

    // ".cdb" name bytes 43 61 66 E9: "Café" in Windows-1252.
    void regressionUntouchedRenameReplacedAWindows1252NameAndSearchMissedIt()
    {
        const std::string path = rig->File("names.cel");
        QVERIFY(WriteCEL(path, { { 4, 2, "" }, { 4, 2, "Caf\xE9" }, { 4, 2, "" } }, false, true));
        const std::vector<uint8_t> database = ReadBytes(path + ".cdb");
        OpenLeft(path);
        const QString cafe = QString::fromUtf8("Caf\xC3\xA9");
        QCOMPARE(F().ListLeft->item(2)->text(), " " + cafe);
        rig->SelectLeft(2);
        QCOMPARE(rig->ViewCaption(), "View Frame: " + cafe + " (L)");

        // OK with the text untouched keeps the bytes; the CEL saves to the same database.
        QString shown;
        rig->Script.ModalAnswers.push_back([&](QDialog& dialog) {
            shown = static_cast<TWindInput&>(dialog).EditStr->text();
            return int(QDialog::Accepted);
        });
        F().BtnLRenameClick();
        QCOMPARE(shown, cafe);
        QCOMPARE(F().LeftPane.Items[2].Slot->Frame->Name, std::string("Caf\xE9"));
        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnSaveCELClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(ReadBytes(path + ".cdb"), database);

        // Search compares with the name as shown.
        rig->SelectLeft(0);
        Answer(cafe);
        F().BtnLSearchClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(F().LeftPane.Selected, 2);
        rig->SelectLeft(0);
        Answer("Caf");
        F().BtnLSearchClick();
        QCOMPARE(rig->Script.LastMessage(), QString("Not found"));
        rig->Script.Messages.clear();

        // A new text is stored as UTF-8, and the limit counts the bytes stored: 128 letters é
        // take 256 bytes.
        rig->SelectLeft(2);
        Answer(QString::fromUtf8("Cr\xC3\xA8me"));
        F().BtnLRenameClick();
        QCOMPARE(F().LeftPane.Items[2].Slot->Frame->Name, std::string("Cr\xC3\xA8me"));
        Answer(QString(128, QChar(0xE9)));
        F().BtnLRenameClick();
        ExpectOnlyError(rig->Script, "Name must be less than 256 characters long");
        QCOMPARE(F().LeftPane.Items[2].Slot->Frame->Name, std::string("Cr\xC3\xA8me"));
        rig->Script.Messages.clear();
        Answer(QString(127, QChar(0xE9)) + "x");
        F().BtnLRenameClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(F().LeftPane.Items[2].Slot->Frame->Name.size(), size_t(255));
    }

    void regressionCtrlClickOrEmptyAreaLeftAListWithoutASelection()
    {
        const std::string left = rig->File("left.cel");
        const std::string right = rig->File("right.cel");
        QVERIFY(WriteCEL(left, { { 4, 2, "" }, { 4, 2, "b" } }, true, true));
        QVERIFY(WriteCEL(right, { { 6, 2, "c" } }, true, true));
        rig->Open(left);
        rig->Open(right);
        rig->SendLeft(0);
        rig->SendRight(1);
        rig->Main().show();
        F().show();
        for (QListWidget* list : { F().ListLeft, F().ListRight, rig->Main().ListCEL }) {
            list->setCurrentRow(1);
            CtrlClick(list, 1);
            QCOMPARE(list->selectedItems().size(), 1);
            QCOMPARE(list->currentRow(), 1);
            QVERIFY(list->item(1)->isSelected());
            ClickBelowItems(list);
            QCOMPARE(list->selectedItems().size(), 1);
            QVERIFY(list->item(1)->isSelected());
        }
        QCOMPARE(F().LeftPane.Selected, 1);
        QCOMPARE(F().RightPane.Selected, 1);
        QCOMPARE(rig->App().View.ViewedFrame, F().RightPane.Items[1].Slot);

        // The CEL list still acts on its selection: "Close" closes the right CEL.
        rig->Main().BtnCloseClick();
        QCOMPARE(rig->Main().ListCEL->count(), 1);
        QVERIFY(!rig->App().RightCEL);
        QCOMPARE(rig->Main().ListCEL->selectedItems().size(), 1);
    }

    void listsWithoutACurrentItemStayWithoutSelection()
    {
        // Right after start-up nothing is selected, and the guard invents no selection.
        const std::string path = rig->File("one.cel");
        QVERIFY(WriteCEL(path, { { 4, 2, "" } }, true, true));
        rig->Open(path);
        rig->Main().ListCEL->setCurrentRow(-1);
        rig->Main().ListCEL->clearSelection();
        QVERIFY(rig->Main().ListCEL->selectedItems().isEmpty());
        rig->Main().BtnCloseClick();
        QCOMPARE(rig->Main().ListCEL->count(), 1);
    }

    // 1,000 transparent runs of 128: a frame 128,000 pixels wide from 1,012 bytes of file.
    void regressionClickOnAHugeFrameDecodedBillionsOfPixels()
    {
        const std::string path = rig->File("huge.cel");
        WriteBytes(path, OneFrameCEL(std::vector<uint8_t>(1000, 0x80)));
        QVERIFY(WriteCEL(rig->File("small.cel"), { { 4, 2, "" } }, true, false));
        OpenLeft(path);
        QCOMPARE(F().ListLeft->item(1)->text(), QString("0, 128000x1"));

        // Another frame in view first: the huge one must replace it with nothing.
        rig->Open(rig->File("small.cel"), true);
        rig->SendRight(1);
        rig->SelectRight(1);
        QVERIFY(rig->App().View.ViewedFrame);
        const size_t imageBefore = rig->App().View.FrameImage.size();

        rig->SelectLeft(1);
        ExpectOnlyError(rig->Script, "Frame is too large to show");
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(rig->App().View.FrameImage.size(), imageBefore);
        QCOMPARE(F().ComboLSelW->count(), 0);
        QVERIFY(!V().ImgView->isVisibleTo(&V()));
        QCOMPARE(F().ListLeft->item(1)->text(), QString("0, 128000x1")); // still listed
    }

    // An imported picture one pixel wider than the viewer holds is stored, but not decoded.
    void regressionImportOfAHugeBitmapDecodedIt()
    {
        QVERIFY(WriteCEL(rig->File("one.cel"), { { 4, 2, "" } }, true, false));
        OpenLeft(rig->File("one.cel"), true);
        rig->SelectLeft(1);
        QVERIFY(rig->App().View.ViewedFrame);
        Bitmap wide;
        wide.BitmapWidth = 16385;
        wide.BitmapHeight = 1;
        wide.BitmapPixels.assign(16385, 0x90);
        const std::string path = rig->File("wide.bmp");
        QCOMPARE(WriteBitmap(path, wide, rig->App().Pal, 8), uint8_t(BitmapWritten));
        rig->Script.FileAnswers.push_back(QString::fromStdString(path));
        V().BtnImpFrClick();
        ExpectOnlyError(rig->Script, "Frame is too large to show");
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(F().ListLeft->item(1)->text(), QString("0, 16385x1"));
        QVERIFY(rig->App().View.FrameImage.size() < 16385);
    }

    void regressionUseWholePaletteWasCutInItsBox()
    {
        QCheckBox* box = rig->Vornix->WindPal().CheckPalWhole;
        QCOMPARE(box->text(), QString("Use whole palette"));
        QCOMPARE(box->geometry(), QRect(136, 296, 113, 17));
        QVERIFY(box->font().pixelSize() >= 9); // still a readable size
        QVERIFY2(box->sizeHint().width() <= box->width(),
            qPrintable(QString::number(box->sizeHint().width())));
    }
};

QTEST_MAIN(FirstUseFaultsTest)
#include "FirstUseFaultsTest.moc"
