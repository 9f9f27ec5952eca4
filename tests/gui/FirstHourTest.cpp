#include <functional>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUndoStack>
#include <QScreen>
#include <QtTest>

#include "app/GuiArrange.h"
#include "bitmaps/BMPHandler.h"
#include "framelists/InputWnd.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"

// What a newcomer meets in the first hour: unsaved work is asked about before it is dropped,
// the "All" buttons copy and move, the small helps around the dialogs and lists, and
// "Arrange windows".

namespace {

// A colour no frame of MakeFrame holds (they hold 0 ... 199 and 255).
constexpr uint8_t EditColour = 201;

struct Leaving {
    const char* Name;
    std::function<void(ShellRig&)> Leave;
    // Where the selection stays (and what the viewer keeps) when the question is cancelled.
    bool ProgramCloses = false;
};

QString Mark(const QString& caption)
{
    return caption + " *";
}

} // namespace

class FirstHourTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    // hero.cel (with its database) in the left pane, other.cel ready in the list, frame 1 of
    // hero (64 x 32, widths 32 and 64 among its candidates) in view.
    void StartWithFrameInView()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(WriteCEL(rig->File("hero.cel"), { { 4, 2, "" }, { 64, 32, "" }, { 6, 3, "c" } },
            true, true));
        QVERIFY(WriteCEL(rig->File("other.cel"), { { 5, 5, "" } }, false, true));
        rig->Start();
        rig->Vornix->Show();
        rig->Open(rig->File("hero.cel"));
        rig->Open(rig->File("other.cel"));
        rig->SendLeft(0);
        rig->SelectLeft(2);
        QVERIFY(rig->App().View.HasFrame());
    }

    // A stroke of one pixel at the view's top left corner.
    void Draw()
    {
        rig->App().Pal.SelectedColour = EditColour;
        TWindView& view = rig->Vornix->WindView();
        view.ImgViewMouseDown(Qt::LeftButton, 0, 0);
        view.ImgViewMouseUp(Qt::LeftButton);
    }

    CELFrame& LeftFrame(int item) { return *rig->Frames().LeftPane.Items[size_t(item)].Slot->Frame; }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }

    // Every way of leaving an edited frame asks once; Yes stores the edits as "Save Frame"
    // does, No drops them, Cancel leaves the selection, the image and the frame alone.
    void leavingAnEditedFrameAsks()
    {
        const std::vector<Leaving> ways = {
            { "another frame", [](ShellRig& r) { r.SelectLeft(1); } },
            { "the same frame again", [](ShellRig& r) { r.Frames().ListLeftClick(); } },
            { "a width",
                [](ShellRig& r) {
                    QComboBox* combo = r.Frames().ComboLSelW;
                    combo->setCurrentIndex(combo->findText("32"));
                    r.Frames().ComboLSelWChange();
                } },
            { "another CEL in the pane", [](ShellRig& r) { r.SendLeft(1); } },
            { "a frame operation", [](ShellRig& r) { r.Frames().BtnLNewClick(); } },
            { "the CEL closed",
                [](ShellRig& r) {
                    r.Main().ListCEL->setCurrentRow(0);
                    r.Main().BtnCloseClick();
                } },
            { "the program closed", [](ShellRig& r) { r.Main().close(); }, true },
        };
        for (const Leaving& way : ways) {
            for (Answer answer : { Answer::Yes, Answer::No, Answer::Cancel }) {
                const QByteArray at = QByteArray(way.Name) + " / answer "
                    + QByteArray::number(int(answer));
                StartWithFrameInView();
                const QString caption = rig->ViewCaption();
                const DataArray stored = LeftFrame(2).Data;
                Draw();
                QCOMPARE(rig->ViewCaption(), Mark(caption));
                const DataArray edited = rig->App().View.FrameImage;
                const FrameSlotRef slot = rig->App().View.ViewedFrame;
                rig->Script.CancelAnswers = { answer, Answer::No };
                way.Leave(*rig);
                QVERIFY2(rig->Script.CancelQuestions() >= 1, at);
                QCOMPARE(rig->Script.Questions.back().WithCancel, true);
                const ScriptedDialogs::Question& asked = *std::find_if(rig->Script.Questions.begin(),
                    rig->Script.Questions.end(), [](const auto& q) { return q.WithCancel; });
                QVERIFY2(asked.Title == "View Frame", at);
                QVERIFY2(asked.Detail == caption.mid(12), at);
                if (answer == Answer::Cancel) {
                    QVERIFY2(rig->App().View.ViewedFrame == slot, at);
                    QVERIFY2(rig->App().View.FrameImage == edited, at);
                    QVERIFY2(rig->Frames().ListLeft->currentRow() == 2, at);
                    QVERIFY2(rig->ViewCaption() == Mark(caption), at);
                    QVERIFY2(slot->Frame->Data == stored, at);
                    QVERIFY2(rig->Main().isVisible() || !way.ProgramCloses, at);
                } else if (slot->Frame) { // a closed CEL takes its frames with it
                    DataArray image;
                    slot->Frame->DecodeImage(image);
                    QVERIFY2((image == edited) == (answer == Answer::Yes), at);
                    QVERIFY2(!rig->ViewCaption().endsWith(" *"), at);
                }
                rig->Script.CancelAnswers.clear();
                rig->Script.CancelAnswers.assign(4, Answer::No);
            }
        }
    }

    // Nothing asks when nothing changed, and the mark follows undo back to the stored image.
    void noQuestionWithoutEdits()
    {
        StartWithFrameInView();
        const QString caption = rig->ViewCaption();
        rig->SelectLeft(1);
        rig->SelectLeft(2);
        rig->Frames().ListLeftClick();
        rig->SendLeft(1);
        QVERIFY(rig->Main().close());
        QCOMPARE(rig->Script.Questions.size(), size_t(0));

        StartWithFrameInView();
        Draw();
        rig->Vornix->WindView().ActUndo->trigger();
        QCOMPARE(rig->ViewCaption(), caption);
        rig->SelectLeft(1);
        QCOMPARE(rig->Script.CancelQuestions(), size_t(0));
        // A stored image is no edit any more.
        rig->SelectLeft(2);
        Draw();
        rig->Vornix->WindView().BtnSaveFrameClick();
        QCOMPARE(rig->ViewCaption(), caption);
        rig->SelectLeft(1);
        QCOMPARE(rig->Script.CancelQuestions(), size_t(0));
    }

    // Closing the program or a CEL with unsaved changes names the CEL; Yes saves it as "Save"
    // does, No goes on as before, Cancel keeps it open; a failed save keeps it open too.
    void unsavedCELsAreAskedAbout()
    {
        for (bool program : { true, false }) {
            for (Answer answer : { Answer::Yes, Answer::No, Answer::Cancel }) {
                StartWithFrameInView();
                const std::string file = rig->File("hero.cel");
                rig->Script.ModalAnswers.push_back([](QDialog& dialog) {
                    static_cast<TWindInput&>(dialog).EditStr->setText("renamed");
                    return int(QDialog::Accepted);
                });
                rig->Frames().BtnLRenameClick();
                QVERIFY(rig->Main().ListCEL->item(0)->font().bold());
                rig->Main().ListCEL->setCurrentRow(0);
                rig->Script.CancelAnswers = { answer };
                const bool closed = program ? rig->Main().close()
                                            : (rig->Main().BtnCloseClick(), rig->Main().ListCEL->count() == 1);
                QCOMPARE(rig->Script.CancelQuestions(), size_t(1));
                QCOMPARE(rig->Script.Questions.back().Detail, QString::fromStdString(file));
                QCOMPARE(closed, answer != Answer::Cancel);
                auto disk = CELObject::CreateFromFile(file, true);
                QCOMPARE(disk->Frames[1]->Frame->Name == "renamed", answer == Answer::Yes);
                rig->Stop();
            }
        }
        // A save that fails keeps the program open, with its message.
        StartWithFrameInView();
        rig->Frames().BtnLDeleteClick();
        QVERIFY(QFile::remove(QString::fromStdString(rig->File("hero.cel"))));
        QVERIFY(QDir().mkdir(QString::fromStdString(rig->File("hero.cel"))));
        rig->Script.CancelAnswers = { Answer::Yes };
        QVERIFY(!rig->Main().close());
        QCOMPARE(rig->Script.LastMessage(), QString("Cannot save CEL file"));
        // Unnamed CELs go to the store without a question.
        StartWithFrameInView();
        rig->Main().BtnNewCELClick();
        rig->SendRight(2);
        rig->Frames().BtnRNewClick();
        QVERIFY(rig->Main().close());
        QCOMPARE(rig->Script.Questions.size(), size_t(0));
    }

    // The "All" buttons through the window (the steps' own test compares them with the single
    // Copy and Move): one undo step each, and nothing with either pane empty.
    void allButtonsCopyAndMoveEveryFrame()
    {
        StartWithFrameInView();
        TWindFrame& f = rig->Frames();
        const QStringList left = ItemTexts(f.ListLeft);
        for (QPushButton* button : { f.BtnLCopyAll, f.BtnLMoveAll, f.BtnRCopyAll, f.BtnRMoveAll })
            QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(ItemTexts(f.ListLeft), left);
        QCOMPARE(f.FrameHistory->count(), 0);
        rig->SendRight(1);
        QTest::mouseClick(f.BtnLMoveAll, Qt::LeftButton);
        QCOMPARE(ItemTexts(f.ListLeft), QStringList { "<Begin>" });
        QCOMPARE(f.RightPane.Count(), 5);
        QVERIFY(!rig->App().View.HasFrame());
        QTest::mouseClick(f.BtnRCopyAll, Qt::LeftButton);
        QCOMPARE(f.LeftPane.Count(), 5);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: c (L)"));
        QCOMPARE(f.FrameHistory->count(), 2);
        f.ActUndo->trigger();
        f.ActUndo->trigger();
        QCOMPARE(ItemTexts(f.ListLeft), left);
        QCOMPARE(f.RightPane.Count(), 2);
    }

    // The Frame Headers question: its own text and title, the file on a second line, and the
    // reading that leaves more frames viewable as its default.
    void frameHeadersQuestionNamesTheFileAndDefaultsToTheBetterReading()
    {
        rig = std::make_unique<ShellRig>();
        // Frames of more than 32 rows need their Frame Header to be read right.
        for (bool headers : { true, false }) {
            const std::string file = rig->File(headers ? "with.cel" : "without.cel");
            QVERIFY(WriteCEL(file, { { 20, 40, "" }, { 8, 50, "" }, { 6, 3, "" } }, headers, false));
        }
        rig->Start();
        for (bool headers : { true, false }) {
            const std::string file = rig->File(headers ? "with.cel" : "without.cel");
            rig->Open(file, headers);
            const ScriptedDialogs::Question& asked = rig->Script.Questions.back();
            QCOMPARE(asked.Text, QString("Does this file contain Frame headers?"));
            QCOMPARE(asked.Title, QString("Open CEL"));
            QCOMPARE(asked.Detail, QString::fromStdString(file));
            QCOMPARE(asked.DefaultYes, headers);
        }
    }

    // After "Save Frame" or "Import" the width list holds the frame's new widths with its
    // choice; after "Rename" the viewer names the frame anew, its mark kept.
    void widthListAndCaptionFollowTheFrame()
    {
        StartWithFrameInView();
        TWindView& view = rig->Vornix->WindView();
        auto widths = [this] {
            QStringList texts;
            for (int k = 0; k < rig->Frames().ComboLSelW->count(); ++k)
                texts << rig->Frames().ComboLSelW->itemText(k);
            return texts;
        };
        auto expected = [this] {
            const CELFrame& frame = LeftFrame(2);
            QStringList texts;
            for (uint32_t k = 0; k < frame.WidthCount; ++k)
                texts << QString::number(frame.Widths[k]);
            return texts;
        };
        view.EditFrWidth->setText("7");
        view.EditFrHeight->setText("3");
        view.BtnResizeClick();
        view.BtnSaveFrameClick();
        QCOMPARE(widths(), expected());
        QVERIFY(!widths().contains("64"));
        QCOMPARE(rig->Frames().ComboLSelW->currentIndex(), int(LeftFrame(2).WidthIndex));

        Bitmap picture;
        picture.BitmapWidth = 9;
        picture.BitmapHeight = 2;
        picture.BitmapPixels.assign(18, 0x90);
        PaletteModel palette;
        QVERIFY(WriteBitmap(rig->File("nine.bmp"), picture, palette, 8) == BitmapWritten);
        rig->Script.FileAnswers.push_back(QString::fromStdString(rig->File("nine.bmp")));
        view.BtnImpFrClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(LeftFrame(2).Width * LeftFrame(2).Height, 18u);
        QCOMPARE(widths(), expected());
        QCOMPARE(rig->Frames().ComboLSelW->currentIndex(), int(LeftFrame(2).WidthIndex));

        Draw();
        rig->Script.ModalAnswers.push_back([](QDialog& dialog) {
            static_cast<TWindInput&>(dialog).EditStr->setText("hero pose");
            return int(QDialog::Accepted);
        });
        rig->Frames().BtnLRenameClick();
        QCOMPARE(rig->ViewCaption(), Mark("View Frame: hero pose (L)"));
    }

    // "Arrange windows": side by side on the screen of the CEL list, without overlap, and the
    // next start brings them back there. In every context menu and behind a shortcut.
    void arrangeWindowsLaysThemOutAndTheCloseStoresIt()
    {
        StartWithFrameInView();
        TMain& main = rig->Main();
        QWidget* windows[] = { &main, &rig->Vornix->WindPal(), &rig->Frames(), &rig->Vornix->WindView() };
        const QRect area = main.screen()->availableGeometry();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        // The offscreen screen is narrower than the four windows' minimum widths: they run
        // past its right edge, still one after another (the layout's own test covers screens
        // where they fit).
        std::vector<QRect> places;
        for (QWidget* window : windows) {
            const QRect place = window->frameGeometry();
            QCOMPARE(place.top(), area.top());
            QCOMPARE(place.left(), places.empty() ? area.left() : places.back().right() + 1);
            places.push_back(place);
        }
        QVERIFY(places[2].height() >= area.height());
        for (QMenu* menu : { rig->Frames().ShowListMenu(rig->Frames().ListLeft, QPoint(2, 2)),
                 main.ShowListMenu(QPoint(2, 2)) }) {
            QStringList entries;
            for (QAction* action : menu->actions())
                entries << action->text();
            QVERIFY(entries.contains("Arrange windows"));
            menu->close();
        }
        rig->Script.CancelAnswers = { Answer::No };
        QVERIFY(main.close());
        rig->Stop();
        rig->Start();
        QWidget* again[] = { &rig->Main(), &rig->Vornix->WindPal(), &rig->Frames(),
            &rig->Vornix->WindView() };
        for (size_t k = 0; k < places.size(); ++k)
            QCOMPARE(again[k]->frameGeometry().topLeft(), places[k].topLeft());
    }
};

QTEST_MAIN(FirstHourTest)
#include "FirstHourTest.moc"
