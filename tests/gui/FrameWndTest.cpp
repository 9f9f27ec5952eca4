#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "framelists/InputWnd.h"
#include "gui/ShellFixtures.h"

// The frame lists window: the panes, showing frames in the viewer, widths, check boxes and
// every operation of both panes.
class FrameWndTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TWindFrame& F() { return rig->Frames(); }

    // A CEL file with the given frames opened and sent to the left (or right) pane.
    void Load(
        const std::vector<FrameShape>& frames, bool left, bool headers = true, bool database = true)
    {
        std::string path = rig->File(std::string(left ? "left" : "right") + ".cel");
        QVERIFY(WriteCEL(path, frames, headers, database));
        rig->Open(path, headers);
        int row = rig->Main().ListCEL->count() - 1;
        if (left)
            rig->SendLeft(row);
        else
            rig->SendRight(row);
    }

    // Pane item k against the caption rule, and the names of its frames in order.
    std::vector<std::string> Names(const PaneModel& pane)
    {
        std::vector<std::string> names;
        for (int k = 1; k < pane.Count(); ++k)
            names.push_back(pane.Items[size_t(k)].Slot->Frame->Name);
        return names;
    }

    void ExpectCaptions(QListWidget* list, const PaneModel& pane)
    {
        QCOMPARE(list->count(), pane.Count());
        QCOMPARE(list->item(0)->text(), QString("<Begin>"));
        for (int k = 1; k < pane.Count(); ++k)
            QCOMPARE(list->item(k)->text(),
                QString::fromStdString(
                    FrameCaption(uint32_t(k - 1), *pane.Items[size_t(k)].Slot->Frame)));
        QCOMPARE(list->currentRow(), pane.Selected);
    }

    // Scripts one answer of the input dialog.
    void Answer(const QString& text, int result = QDialog::Accepted, bool* searchUp = nullptr,
        bool* searchEnabled = nullptr)
    {
        rig->Script.ModalAnswers.push_back([=](QDialog& dialog) {
            auto& input = static_cast<TWindInput&>(dialog);
            if (searchUp)
                *searchUp = input.CheckSearchDir->isChecked();
            if (searchEnabled)
                *searchEnabled = input.CheckSearchDir->isEnabled();
            input.EditStr->setText(text);
            return result;
        });
    }

private slots:
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
        rig->Start();
    }
    void cleanup() { rig.reset(); }

    void fillingAPaneListsFramesAndSetsItsBoxes()
    {
        QCOMPARE(F().windowTitle(), QString("Frames list"));
        QVERIFY(!rig->App().LeftCEL && !rig->App().RightCEL);
        QString before = rig->ViewCaption();
        Load({ { 8, 4, "" }, { 6, 2, "run" } }, true, false, true);
        QCOMPARE(F().ListLeft->count(), 3);
        ExpectCaptions(F().ListLeft, F().LeftPane);
        QCOMPARE(F().ListLeft->item(2)->text(), QString(" run"));
        QCOMPARE(F().ListLeft->currentRow(), 0);
        QCOMPARE(F().ListLeft->toolTip(), QString::fromStdString(rig->File("left.cel")));
        QVERIFY(!F().CheckLHeader->isChecked());
        QVERIFY(F().CheckLDB->isChecked());
        QCOMPARE(rig->ViewCaption(), before); // the viewer is not touched
        QVERIFY(!rig->App().View.ViewedFrame);

        // A flag of 2 shows a ticked box and holds 1 afterwards.
        rig->Main().BtnNewCELClick();
        CELHolderRef holder = rig->Main().HolderAt(1);
        holder->CEL->WithHeaders = 2;
        rig->SendRight(1);
        QVERIFY(F().CheckRHeader->isChecked());
        QVERIFY(!F().CheckRDB->isChecked());
        QCOMPARE(holder->CEL->WithHeaders, uint8_t(1));
        QCOMPARE(ItemTexts(F().ListRight), QStringList { "<Begin>" });
        QVERIFY(F().ListRight->toolTip().isEmpty());
    }

    void selectingAFrameShowsItInTheViewer()
    {
        Load({ { 8, 4, "" }, { 6, 2, "run" } }, true);
        Load({ { 10, 3, "jump" } }, false);
        rig->SelectLeft(1);
        const CELFrame& first = *F().LeftPane.Items[1].Slot->Frame;
        QCOMPARE(rig->App().View.ViewedFrame, F().LeftPane.Items[1].Slot);
        DataArray expected;
        first.DecodeImage(expected);
        QCOMPARE(rig->App().View.FrameImage, expected);
        QCOMPARE(rig->App().View.ImageWidth, first.Width);
        QCOMPARE(rig->App().View.ImageHeight, first.Height);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (L)"));
        QCOMPARE(rig->Vornix->WindView().EditFrWidth->text(), QString::number(first.Width));
        QCOMPARE(rig->Vornix->WindView().EditFrHeight->text(), QString::number(first.Height));
        QCOMPARE(F().ComboLSelW->count(), int(first.WidthCount));
        QCOMPARE(F().ComboLSelW->currentIndex(), int(first.WidthIndex));
        QCOMPARE(F().ComboLSelW->itemText(0), QString::number(first.Widths[0]));

        rig->SelectRight(1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: jump (R)"));
        QCOMPARE(F().ComboLSelW->count(), int(first.WidthCount)); // the left list stays

        rig->SelectLeft(2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: run (L)"));

        rig->SelectLeft(0);
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(F().ComboLSelW->count(), 0);
    }

    void mouseAndKeyboardSelectionShowTheFrame()
    {
        Load({ { 8, 4, "" }, { 6, 2, "run" }, { 4, 4, "" } }, true);
        F().show();
        QListWidget* list = F().ListLeft;
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: run (L)"));
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(F().LeftPane.Selected, 3);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #2 (L)"));
        QCOMPARE(rig->App().View.ViewedFrame, F().LeftPane.Items[3].Slot);
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
    }

    void aClickOnTheSelectedItemShowsItAgainAndOnlyTheLeftButtonSelects()
    {
        Load({ { 8, 4, "" }, { 6, 2, "run" }, { 4, 4, "" } }, true);
        Load({ { 10, 3, "jump" } }, false);
        F().show();
        QListWidget* left = F().ListLeft;
        auto click = [](QListWidget* list, int row, Qt::MouseButton button = Qt::LeftButton) {
            QTest::mouseClick(
                list->viewport(), button, {}, list->visualItemRect(list->item(row)).center());
        };
        click(left, 2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: run (L)"));
        rig->SelectRight(1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: jump (R)"));
        // The left selection is unchanged, yet clicking it shows its frame again.
        click(left, 2);
        QCOMPARE(left->currentRow(), 2);
        QCOMPARE(rig->App().View.ViewedFrame, F().LeftPane.Items[2].Slot);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: run (L)"));
        QCOMPARE(F().ComboLSelW->count(), int(F().LeftPane.Items[2].Slot->Frame->WidthCount));
        // An unsaved edit is dropped by the same click: the frame is decoded afresh.
        DataArray decoded = rig->App().View.FrameImage;
        rig->App().View.FrameImage[0] = uint8_t(decoded[0] ^ 0x55);
        click(left, 2);
        QCOMPARE(rig->App().View.FrameImage, decoded);

        // The right and middle buttons neither select nor show.
        click(left, 3, Qt::RightButton);
        click(left, 1, Qt::MiddleButton);
        QCOMPARE(left->currentRow(), 2);
        QCOMPARE(F().LeftPane.Selected, 2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: run (L)"));
        // A click on another item shows it once more through the usual path.
        click(left, 3);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #2 (L)"));
    }

    void anUnviewableFrameStaysListedButIsNotShown()
    {
        Load({ { 8, 4, "" }, { 6, 2, "" } }, true);
        rig->SelectLeft(1);
        DataArray shown = rig->App().View.FrameImage;
        CELFrame& broken = *F().LeftPane.Items[2].Slot->Frame;
        broken.Diagnosis = DiagNull;
        rig->SelectLeft(2);
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->App().View.FrameImage, shown);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(F().ComboLSelW->count(), 0);
    }

    void choosingAWidthRewrapsTheSamePixels()
    {
        Load({ { 4, 2, "" }, { 64, 32, "" } }, true);
        rig->SelectLeft(2);
        CELFrame& frame = *F().LeftPane.Items[2].Slot->Frame;
        NumArray widths(frame.Widths.begin(), frame.Widths.begin() + frame.WidthCount);
        QVERIFY(std::find(widths.begin(), widths.end(), 32u) != widths.end());
        QVERIFY(std::find(widths.begin(), widths.end(), 64u) != widths.end());
        // Show it 64 wide first, then pick 32.
        int wide = int(std::find(widths.begin(), widths.end(), 64u) - widths.begin());
        int narrow = int(std::find(widths.begin(), widths.end(), 32u) - widths.begin());
        F().ComboLSelW->setCurrentIndex(wide);
        F().ComboLSelWChange();
        rig->SelectLeft(2);
        QCOMPARE(frame.Width, 64u);
        QCOMPARE(F().ComboLSelW->currentIndex(), wide);
        DataArray pixels = rig->App().View.FrameImage;
        QCOMPARE(pixels.size(), size_t(64 * 32));
        QString caption = rig->ViewCaption();
        F().ComboLSelW->setCurrentIndex(narrow);
        F().ComboLSelWChange();
        QCOMPARE(frame.Width, 32u);
        QCOMPARE(frame.Height, 64u);
        QCOMPARE(rig->App().View.ImageWidth, 32u);
        QCOMPARE(rig->App().View.ImageHeight, 64u);
        QCOMPARE(rig->App().View.FrameImage, pixels);
        QCOMPARE(F().ListLeft->item(2)->text(), QString::fromStdString(FrameCaption(1, frame)));
        QVERIFY(F().ListLeft->item(2)->text().startsWith("1, 32x64"));
        QCOMPARE(F().ListLeft->currentRow(), 2);
        QCOMPARE(rig->ViewCaption(), caption);

        // Nothing in view: the old width list is ignored.
        rig->SelectLeft(0);
        F().ComboLSelW->addItem("64");
        F().ComboLSelW->setCurrentIndex(0);
        F().ComboLSelWChange();
        QCOMPARE(frame.Width, 32u);
    }

    void aWidthChoiceAfterAResizeNeverLeavesTheImageShort()
    {
        Load({ { 64, 32, "" } }, true);
        rig->SelectLeft(1);
        CELFrame& frame = *F().LeftPane.Items[1].Slot->Frame;
        // The viewer's working image was resized to 10 x 10 and not yet saved.
        QVERIFY(rig->App().View.ResizeImage(10, 10));
        F().ComboLSelW->setCurrentIndex(frame.WidthIndex == 0 ? 1 : 0);
        F().ComboLSelWChange();
        QCOMPARE(rig->App().View.FrameImage.size(),
            size_t(rig->App().View.ImageWidth) * rig->App().View.ImageHeight);
    }

    void checkBoxesCopyIntoTheCELAndUndoWithoutOne()
    {
        QTest::mouseClick(F().CheckLHeader, Qt::LeftButton);
        QVERIFY(!F().CheckLHeader->isChecked());
        F().CheckRDB->setChecked(true);
        QVERIFY(!F().CheckRDB->isChecked());

        Load({ { 4, 2, "" } }, true, true, false);
        CELObject& cel = *rig->App().LeftCEL->CEL;
        QVERIFY(F().CheckLHeader->isChecked());
        F().CheckLHeader->setChecked(false);
        QCOMPARE(cel.WithHeaders, uint8_t(0));
        F().CheckLDB->setChecked(true);
        QCOMPARE(cel.HasDatabase, uint8_t(1));
        F().CheckLDB->setChecked(false);
        QCOMPARE(cel.HasDatabase, uint8_t(0));
    }

    void newInsertsAfterTheSelectionAndShowsIt()
    {
        F().BtnLNewClick(); // no CEL: nothing
        QCOMPARE(F().ListLeft->count(), 0);
        rig->Main().BtnNewCELClick();
        rig->SendLeft(0);
        QTest::mouseClick(F().BtnLNew, Qt::LeftButton);
        QCOMPARE(F().ListLeft->count(), 2);
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (L)"));
        QCOMPARE(rig->App().View.ImageWidth, 1u);
        QCOMPARE(rig->App().View.FrameImage, DataArray { TransparentIndex });
        QCOMPARE(rig->App().LeftCEL->CEL->FrameCount, 0u); // not written back yet
        ExpectCaptions(F().ListLeft, F().LeftPane);
    }

    void renameLimitsTheStoredNameTo255Bytes()
    {
        Load({ { 8, 4, "old" }, { 6, 2, "" } }, true);
        F().BtnLRenameClick(); // "<Begin>": no dialog
        QVERIFY(rig->Script.AllAnswersUsed());

        rig->SelectLeft(1);
        CELFrame& frame = *F().LeftPane.Items[1].Slot->Frame;
        TWindInput& input = rig->Vornix->WindInput();
        input.CheckSearchDir->setChecked(true);
        QString shownText;
        bool enabled = true;
        rig->Script.ModalAnswers.push_back([&](QDialog&) {
            shownText = input.EditStr->text();
            enabled = input.CheckSearchDir->isEnabled();
            input.EditStr->setText(QString(256, 'x'));
            return int(QDialog::Accepted);
        });
        F().BtnLRenameClick();
        QCOMPARE(shownText, QString("old"));
        QVERIFY(!enabled);
        QVERIFY(input.CheckSearchDir->isChecked()); // state kept, only disabled
        QCOMPARE(rig->Script.Messages.size(), size_t(1));
        QCOMPARE(
            rig->Script.Messages[0].Text, QString("Name must be less than 256 characters long"));
        QCOMPARE(rig->Script.Messages[0].Title, QString("Error"));
        QCOMPARE(rig->Script.Messages[0].Icon, MessageIcon::Error);
        QCOMPARE(frame.Name, std::string("old"));

        Answer(QString(255, 'y'));
        F().BtnLRenameClick();
        QCOMPARE(frame.Name, std::string(255, 'y'));
        QCOMPARE(F().ListLeft->item(1)->text(), " " + QString(255, 'y'));

        // 128 two-byte characters are 256 stored bytes: refused. 127 and one more byte: kept.
        rig->Script.Messages.clear();
        Answer(QString(128, QChar(0xE9)));
        F().BtnLRenameClick();
        QCOMPARE(rig->Script.Messages.size(), size_t(1));
        QCOMPARE(frame.Name, std::string(255, 'y'));
        QString accented = QString(127, QChar(0xE9)) + "a";
        Answer(accented);
        F().BtnLRenameClick();
        QCOMPARE(frame.Name, accented.toStdString());
        QCOMPARE(frame.Name.size(), size_t(255));
        QCOMPARE(rig->Script.Messages.size(), size_t(1));

        // Cancel keeps the name; an empty name gives the numbered caption back.
        Answer("ignored", QDialog::Rejected);
        F().BtnLRenameClick();
        QCOMPARE(frame.Name, accented.toStdString());
        Answer("");
        F().BtnLRenameClick();
        QVERIFY(frame.Name.empty());
        QCOMPARE(F().ListLeft->item(1)->text(), QString::fromStdString(FrameCaption(0, frame)));
        // The viewer caption follows the rename of the frame in view at once.
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (L)"));
    }

    void deleteWritesBackAndSelectsTheFollower()
    {
        Load({ { 2, 2, "a" }, { 4, 2, "b" }, { 6, 2, "c" } }, true);
        CELHolderRef holder = rig->App().LeftCEL;
        F().BtnLDeleteClick(); // "<Begin>": nothing
        QCOMPARE(F().ListLeft->count(), 4);
        rig->SelectLeft(2);
        F().BtnLDeleteClick();
        QCOMPARE(Names(F().LeftPane), (std::vector<std::string> { "a", "c" }));
        QCOMPARE(F().ListLeft->currentRow(), 2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: c (L)"));
        QCOMPARE(holder->CEL->FrameCount, 2u);
        QCOMPARE(holder->CEL->Frames[1]->Frame->Name, std::string("c"));
        F().BtnLDeleteClick(); // the last one: the new last is selected
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: a (L)"));
        F().BtnLDeleteClick(); // the only one
        QCOMPARE(ItemTexts(F().ListLeft), QStringList { "<Begin>" });
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(holder->CEL->FrameCount, 0u);
    }

    void searchFindsExactNamesUpAndDown()
    {
        Load({ { 2, 2, "walk" }, { 4, 2, "Walk" }, { 6, 2, "idle" }, { 8, 2, "walk" } }, true);
        // "<Begin>": down through all frames; the box is unchecked and disabled.
        bool up = true;
        bool enabled = true;
        Answer("walk", QDialog::Rejected);
        F().BtnLSearchClick();
        QCOMPARE(F().ListLeft->currentRow(), 0);
        Answer("walk", QDialog::Accepted, &up, &enabled);
        F().BtnLSearchClick();
        QVERIFY(!up);
        QVERIFY(!enabled);
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: walk (L)"));
        QCOMPARE(rig->Vornix->WindInput().EditStr->text(), QString("walk"));

        Answer("walk");
        F().BtnLSearchClick(); // first frame: down again, skipping "Walk"
        QCOMPARE(F().ListLeft->currentRow(), 4);

        // The last frame searches upward, not including itself.
        Answer("walk", QDialog::Accepted, &up, &enabled);
        F().BtnLSearchClick();
        QVERIFY(up);
        QVERIFY(!enabled);
        QCOMPARE(F().ListLeft->currentRow(), 1);

        // Case, part of a name, the item text: not found, selection kept.
        for (QString text : { "WALK", "wal", " idle" }) {
            rig->Script.Messages.clear();
            Answer(text);
            F().BtnLSearchClick();
            QCOMPARE(rig->Script.Messages.size(), size_t(1));
            QCOMPARE(rig->Script.Messages[0].Text, QString("Not found"));
            QCOMPARE(rig->Script.Messages[0].Title, QString("Information"));
            QCOMPARE(rig->Script.Messages[0].Icon, MessageIcon::Information);
            QCOMPARE(F().ListLeft->currentRow(), 1);
        }

        // From the middle the box is enabled and keeps the direction last used.
        rig->SelectLeft(3);
        rig->Vornix->WindInput().CheckSearchDir->setChecked(true);
        rig->Script.Messages.clear();
        Answer("Walk", QDialog::Accepted, &up, &enabled);
        F().BtnLSearchClick();
        QVERIFY(up);
        QVERIFY(enabled);
        QCOMPARE(F().ListLeft->currentRow(), 2);

        // Empty text or cancel: nothing, no message.
        Answer("");
        F().BtnLSearchClick();
        Answer("idle", QDialog::Rejected);
        F().BtnLSearchClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(F().ListLeft->currentRow(), 2);
        QVERIFY(rig->Script.AllAnswersUsed());
    }

    void searchNeedsTwoFramesAndKeepsTheDirectionAcrossPanes()
    {
        Load({ { 2, 2, "only" } }, true);
        F().BtnLSearchClick();
        QVERIFY(rig->Script.AllAnswersUsed()); // no dialog was asked for
        Load({ { 2, 2, "a" }, { 4, 2, "b" }, { 6, 2, "c" }, { 8, 2, "d" } }, false);
        rig->SelectRight(2);
        rig->Vornix->WindInput().CheckSearchDir->setChecked(true);
        Answer("a");
        F().BtnRSearchClick();
        QCOMPARE(F().ListRight->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: a (R)"));
        rig->SelectRight(3);
        bool up = false;
        Answer("zzz", QDialog::Accepted, &up);
        F().BtnRSearchClick();
        QVERIFY(up);
    }

    void reorderingKeepsCaptionsInPlace()
    {
        Load({ { 2, 2, "" }, { 4, 2, "" }, { 6, 2, "" }, { 8, 2, "" } }, true);
        std::vector<FrameSlotRef> original;
        for (int k = 1; k <= 4; ++k)
            original.push_back(F().LeftPane.Items[size_t(k)].Slot);
        rig->SelectLeft(1);
        F().BtnLUpClick();
        F().BtnLFirstClick();
        QCOMPARE(F().ListLeft->currentRow(), 1);
        rig->SelectLeft(2);
        QTest::mouseClick(F().BtnLUp, Qt::LeftButton);
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(F().LeftPane.Items[1].Slot, original[1]);
        QCOMPARE(F().LeftPane.Items[2].Slot, original[0]);
        // The numbers stay in place while the frames swap.
        QCOMPARE(F().ListLeft->item(1)->text(),
            QString::fromStdString(FrameCaption(0, *original[1]->Frame)));
        QCOMPARE(F().ListLeft->item(2)->text(),
            QString::fromStdString(FrameCaption(1, *original[0]->Frame)));
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (L)"));
        F().BtnLDownClick();
        F().BtnLDownClick();
        QCOMPARE(F().ListLeft->currentRow(), 3);
        F().BtnLLastClick();
        QCOMPARE(F().ListLeft->currentRow(), 4);
        F().BtnLLastClick();
        F().BtnLDownClick();
        QCOMPARE(F().ListLeft->currentRow(), 4);
        F().BtnLFirstClick();
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(F().LeftPane.Items[1].Slot, original[1]);
        ExpectCaptions(F().ListLeft, F().LeftPane);
        QCOMPARE(rig->App().LeftCEL->CEL->Frames[0], original[0]); // not written back

        // The right twins.
        Load({ { 2, 2, "p" }, { 4, 2, "q" }, { 6, 2, "r" } }, false);
        rig->SelectRight(3);
        F().BtnRFirstClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "r", "p", "q" }));
        F().BtnRLastClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "p", "q", "r" }));
        F().BtnRUpClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "p", "r", "q" }));
        F().BtnRDownClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "p", "q", "r" }));
        QCOMPARE(rig->ViewCaption(), QString("View Frame: r (R)"));
    }

    void copyAndMoveGoBetweenPanesInBothDirections()
    {
        Load({ { 2, 2, "a" }, { 4, 2, "b" } }, true);
        F().BtnLCopyClick(); // right pane empty: nothing
        F().BtnLMoveClick();
        QCOMPARE(F().ListLeft->count(), 3);
        Load({ { 6, 2, "x" } }, false);
        F().BtnLCopyClick(); // "<Begin>" on the left: nothing
        QCOMPARE(F().ListRight->count(), 2);

        rig->SelectLeft(2);
        FrameSlotRef source = F().LeftPane.Items[2].Slot;
        F().BtnLCopyClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "b", "x" }));
        QVERIFY(F().RightPane.Items[1].Slot != source);
        QCOMPARE(F().ListRight->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: b (R)"));
        QCOMPARE(F().LeftPane.Count(), 3);
        ExpectCaptions(F().ListRight, F().RightPane);

        // Move hands the same slot over and shows the source pane's new selection.
        rig->SelectLeft(1);
        FrameSlotRef moved = F().LeftPane.Items[1].Slot;
        F().BtnLMoveClick();
        QCOMPARE(F().RightPane.Items[2].Slot, moved);
        QCOMPARE(F().ListRight->currentRow(), 2);
        QCOMPARE(Names(F().LeftPane), (std::vector<std::string> { "b" }));
        QCOMPARE(F().ListLeft->currentRow(), 1);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: b (L)"));
        QCOMPARE(rig->App().LeftCEL->CEL->FrameCount, 1u);
        ExpectCaptions(F().ListLeft, F().LeftPane);
        ExpectCaptions(F().ListRight, F().RightPane);

        // Right to left: move the only remaining... first the copy back, then a move.
        rig->SelectLeft(0);
        rig->SelectRight(3);
        F().BtnRCopyClick();
        QCOMPARE(Names(F().LeftPane), (std::vector<std::string> { "x", "b" }));
        QCOMPARE(rig->ViewCaption(), QString("View Frame: x (L)"));
        F().BtnRMoveClick();
        QCOMPARE(Names(F().RightPane), (std::vector<std::string> { "b", "a" }));
        QCOMPARE(Names(F().LeftPane), (std::vector<std::string> { "x", "x", "b" }));
        QCOMPARE(F().ListRight->currentRow(), 2);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: a (R)"));
        QCOMPARE(rig->App().RightCEL->CEL->FrameCount, 2u);

        // Moving the only frame of a pane leaves "<Begin>" and nothing in view.
        rig->Main().BtnNewCELClick();
        rig->SendLeft(2);
        F().BtnLNewClick();
        F().BtnLMoveClick();
        QCOMPARE(ItemTexts(F().ListLeft), QStringList { "<Begin>" });
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(rig->App().LeftCEL->CEL->FrameCount, 0u);
        QCOMPARE(F().RightPane.Count(), 4);
    }

    void allButtonsCopyAndMoveWholePanes()
    {
        Load({ { 2, 2, "a" } }, true);
        Load({ { 2, 2, "b" } }, false);
        rig->SelectLeft(1);
        rig->SelectRight(1);
        // Copy all to the right, move all to the right, copy all back, move all back.
        for (QPushButton* button :
            { F().BtnLCopyAll, F().BtnLMoveAll, F().BtnRCopyAll, F().BtnRMoveAll }) {
            QCOMPARE(button->text(), QString("All"));
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(Names(F().LeftPane), (std::vector<std::string> { "b", "a", "a", "b", "a", "a" }));
        QCOMPARE(Names(F().RightPane), std::vector<std::string> {});
    }

    void clearingAPaneForgetsOnlyItsOwnFrameInView()
    {
        Load({ { 2, 2, "a" } }, true);
        Load({ { 4, 2, "b" } }, false);
        rig->SelectLeft(1);
        rig->SelectRight(1);
        F().ClearFrameList(F().ListLeft);
        QVERIFY(rig->App().View.ViewedFrame); // the right frame stays in view
        QCOMPARE(rig->ViewCaption(), QString("View Frame: b (R)"));
        QCOMPARE(F().ListLeft->count(), 0);
        QVERIFY(F().ListLeft->toolTip().isEmpty());
        QVERIFY(!F().CheckLHeader->isChecked());
        QVERIFY(!F().CheckLDB->isChecked());
        F().ClearFrameList(F().ListRight);
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(F().ComboRSelW->count(), 0);
    }

    void refreshAfterSaveFrameUpdatesTheItemInView()
    {
        Load({ { 2, 2, "" }, { 4, 2, "" } }, false);
        rig->SelectRight(2);
        CELFrame& frame = *F().RightPane.Items[2].Slot->Frame;
        frame.SetSize(5, 3);
        F().RefreshViewedFrameItem();
        QCOMPARE(F().ListRight->item(2)->text(), QString::fromStdString(FrameCaption(1, frame)));
        QVERIFY(F().ListRight->item(2)->text().startsWith("1, 5x3"));
    }

    void designAndLayoutOnResize()
    {
        QCOMPARE(F().size(), QSize(192, 266));
        QCOMPARE(F().pos(), QPoint(663, 115));
        QCOMPARE(F().minimumSize(), QSize(192, 266));
        QCOMPARE(F().TextNew->text(), QString("New"));
        QCOMPARE(F().TextFirstLast->text(), QString("Make first/last"));
        QCOMPARE(F().ComboLSelW->toolTip(), QString("Possible widths of loaded frame"));
        QCOMPARE(F().CheckRDB->toolTip(), QString("Save names and selected widths"));
        QCOMPARE(F().BtnLFirst->toolTip(), QString("Move selected frame to the begin of the list"));
        QCOMPARE(F().BtnRCopy->toolTip(), QString("Copy selected frame to left"));
        QVERIFY(F().BtnLNew->text().isEmpty());
        // Outer buttons sit at the window edges.
        QCOMPARE(F().BtnLUp->x(), 0);
        QCOMPARE(F().BtnRUp->geometry().right(), F().width() - 1);
        QVERIFY(F().BtnRDown->x() < F().BtnRUp->x());

        F().resize(301, 300);
        F().FormResize();
        QCOMPARE(F().ListLeft->geometry(), QRect(0, 0, 150, 72 + 34));
        QCOMPARE(F().ListRight->geometry(), QRect(150, 0, 150, 72 + 34));
        for (QLabel* label : { F().TextNew, F().TextSearch, F().TextRename, F().TextDelete,
                 F().TextUpDown, F().TextFirstLast, F().TextCopy, F().TextMove }) {
            QCOMPARE(label->width(), 200);
            QCOMPARE(label->x(), 50);
        }
        QCOMPARE(F().TextDB->width(), 113);
        QCOMPARE(F().TextDB->x(), 150 - 56);
        QCOMPARE(F().TextHeader->x(), 150 - 64);
        QCOMPARE(F().TextWidth->x(), 150 - 32);
        QCOMPARE(F().CheckLDB->y(), 248 + 34);
        QCOMPARE(F().BtnRNew->geometry().right(), 300);
    }
};

QTEST_MAIN(FrameWndTest)
#include "FrameWndTest.moc"
