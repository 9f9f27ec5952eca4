#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QUndoStack>
#include <QtTest>

#include "framelists/InputWnd.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"

// Undo and redo in the frame lists and the viewer, their shortcuts and context menus, and the
// mark of the CELs with unsaved changes.
class UndoTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TWindFrame& F() { return rig->Frames(); }
    TWindView& V() { return rig->Vornix->WindView(); }
    TWindPal& P() { return rig->Vornix->WindPal(); }
    TMain& M() { return rig->Main(); }

    // A CEL file with the given frames opened and sent to the left (or right) pane.
    void Load(const std::vector<FrameShape>& frames, bool left, const std::string& name)
    {
        std::string path = rig->File(name);
        QVERIFY(WriteCEL(path, frames, true, true));
        rig->Open(path, true);
        int row = M().ListCEL->count() - 1;
        if (left)
            rig->SendLeft(row);
        else
            rig->SendRight(row);
    }

    // Presses a shortcut in a window the way the user does: the window active, the keys sent.
    void Press(QWidget& window, QKeyCombination keys)
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, keys.key(), keys.keyboardModifiers());
    }

    std::vector<FrameSlotRef> PaneSlots(const PaneModel& pane)
    {
        std::vector<FrameSlotRef> found;
        for (int k = 1; k < pane.Count(); ++k)
            found.push_back(pane.Items[size_t(k)].Slot);
        return found;
    }

    bool Marked(int row) { return M().ListCEL->item(row)->font().bold(); }

    // A stroke with the left button from surface point (x0, y0) to (x1, y1).
    void Stroke(int x0, int y0, int x1, int y1)
    {
        V().ImgViewMouseDown(Qt::LeftButton, x0, y0);
        V().ImgViewMouseMove(Qt::LeftButton, x1, y1);
        V().ImgViewMouseUp(Qt::LeftButton);
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

    void ctrlZAndCtrlYTakeBackAndRedoADeleteInTheFramesWindow()
    {
        Load({ { 8, 4, "a" }, { 6, 2, "b" }, { 4, 4, "c" } }, true, "left.cel");
        const std::vector<FrameSlotRef> before = PaneSlots(F().LeftPane);
        rig->SelectLeft(2);
        QVERIFY(!F().ActUndo->isEnabled());
        QCOMPARE(F().ActUndo->text(), QString("Undo"));
        F().BtnLDeleteClick();
        QCOMPARE(F().ListLeft->count(), 3);
        QCOMPARE(F().ActUndo->text(), QString("Undo Delete"));
        QVERIFY(F().ActUndo->isEnabled());

        Press(F(), Qt::CTRL | Qt::Key_Z);
        QCOMPARE(PaneSlots(F().LeftPane), before); // the same frame, not a copy
        QCOMPARE(F().ListLeft->currentRow(), 2);
        QCOMPARE(rig->App().View.ViewedFrame, before[1]);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: b (L)"));
        QCOMPARE(ItemTexts(F().ListLeft).at(2), QString(" b"));
        // Written back as after the delete itself.
        QCOMPARE(rig->App().LeftCEL->CEL->Frames, before);
        QCOMPARE(F().ActRedo->text(), QString("Redo Delete"));

        Press(F(), Qt::CTRL | Qt::Key_Y);
        QCOMPARE(F().ListLeft->count(), 3);
        QCOMPARE(rig->App().LeftCEL->CEL->FrameCount, 2u);
        Press(F(), Qt::CTRL | Qt::Key_Z);
        QCOMPARE(F().ListLeft->count(), 4);
        Press(F(), Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        QCOMPARE(F().ListLeft->count(), 3);
        QVERIFY(rig->Script.Messages.empty());
    }

    void theContextMenuOfEachListOffersUndoAndRedoWithTheStepsName()
    {
        Load({ { 8, 4, "a" }, { 6, 2, "b" } }, true, "left.cel");
        Load({ { 4, 4, "r" } }, false, "right.cel");
        rig->SelectLeft(1);
        F().BtnLMoveClick(); // one step across both panes
        QCOMPARE(F().ListRight->count(), 3);
        QCOMPARE(F().ListLeft->count(), 2);

        for (QListWidget* list : { F().ListLeft, F().ListRight }) {
            F().ShowListMenu(list, QPoint(4, 4));
            QVERIFY(F().ListMenu);
            const QList<QAction*> entries = F().ListMenu->actions();
            QVERIFY(entries.size() >= 2);
            QCOMPARE(entries[0]->text(), QString("Undo Move"));
            QCOMPARE(entries[1]->text(), QString("Redo"));
            QVERIFY(!entries[1]->isEnabled());
            F().ListMenu->close();
        }
        F().ShowListMenu(F().ListRight, QPoint(4, 4));
        F().ListMenu->actions()[0]->trigger();
        QCOMPARE(ItemTexts(F().ListLeft), (QStringList { "<Begin>", " a", " b" }));
        QCOMPARE(ItemTexts(F().ListRight), (QStringList { "<Begin>", " r" }));
        QCOMPARE(rig->App().RightCEL->CEL->FrameCount, 1u);
        QCOMPARE(rig->App().LeftCEL->CEL->FrameCount, 2u);
        F().ListMenu->close();
        F().ShowListMenu(F().ListLeft, QPoint(4, 4));
        QCOMPARE(F().ListMenu->actions()[1]->text(), QString("Redo Move"));
        F().ListMenu->close();
    }

    void theCELListMarksUnsavedChangesWithoutTouchingTheCaption()
    {
        Load({ { 8, 4, "a" }, { 6, 2, "b" } }, true, "left.cel");
        const QString caption = M().ListCEL->item(0)->text();
        QVERIFY(!Marked(0));
        rig->SelectLeft(2);
        F().BtnLUpClick();
        QVERIFY(Marked(0));
        QCOMPARE(M().ListCEL->item(0)->text(), caption);

        M().ListCEL->setCurrentRow(0);
        M().BtnSaveCELClick();
        QVERIFY(rig->Script.Messages.empty());
        QVERIFY(!Marked(0));
        F().ActUndo->trigger(); // back before the saved state
        QVERIFY(Marked(0));
        F().ActRedo->trigger(); // the saved state again
        QVERIFY(!Marked(0));

        // A check box is a step of its own; Save as clears the mark too.
        F().CheckLHeader->click();
        QVERIFY(Marked(0));
        QCOMPARE(F().ActUndo->text(), QString("Undo Add Frame Headers"));
        F().ActUndo->trigger();
        QVERIFY(F().CheckLHeader->isChecked());
        QCOMPARE(rig->App().LeftCEL->CEL->WithHeaders, uint8_t(1));
        QVERIFY(!Marked(0));
        F().CheckLDB->click();
        QVERIFY(Marked(0));
        rig->Script.FileAnswers.push_back(QString::fromStdString(rig->File("other.cel")));
        M().BtnSaveAsCELClick();
        QVERIFY(!Marked(0));

        // A new CEL is unmarked until changed; giving a pane another CEL empties the history
        // but keeps the marks.
        M().BtnNewCELClick();
        rig->SelectLeft(1);
        F().BtnLNewClick();
        QVERIFY(Marked(0));
        rig->SendLeft(1);
        QVERIFY(!F().ActUndo->isEnabled());
        QVERIFY(Marked(0));
        QVERIFY(!Marked(1));
        F().BtnLNewClick();
        QVERIFY(Marked(1));
        // A failed save keeps it.
        M().ListCEL->setCurrentRow(1);
        M().BtnSaveCELClick();
        QCOMPARE(rig->Script.LastMessage(), QString("CEL is not assigned to a file"));
        QVERIFY(Marked(1));
    }

    void closingTheCELOfAPaneEmptiesTheHistory()
    {
        Load({ { 8, 4, "a" }, { 6, 2, "b" } }, true, "left.cel");
        rig->SelectLeft(1);
        F().BtnLDeleteClick();
        QVERIFY(F().ActUndo->isEnabled());
        M().ListCEL->setCurrentRow(0);
        M().BtnCloseClick();
        QVERIFY(!F().ActUndo->isEnabled());
        QCOMPARE(F().FrameHistory->count(), 0);
    }

    void renameAndWidthChoiceAreStepsThatGiveTheFrameBack()
    {
        Load({ { 8, 4, "" }, { 6, 2, "b" } }, true, "left.cel");
        FrameSlotRef slot = F().LeftPane.Items[2].Slot;
        // A name as an older tool wrote it, not UTF-8: undo gives the very bytes back.
        slot->Frame->Name = "Caf\xE9";
        rig->SelectLeft(2);
        rig->Script.ModalAnswers.push_back([](QDialog& dialog) {
            static_cast<TWindInput&>(dialog).EditStr->setText("new");
            return int(QDialog::Accepted);
        });
        F().BtnLRenameClick();
        QCOMPARE(slot->Frame->Name, std::string("new"));
        QCOMPARE(F().ActUndo->text(), QString("Undo Rename"));
        F().ActUndo->trigger();
        QCOMPARE(slot->Frame->Name, std::string("Caf\xE9"));
        QCOMPARE(
            F().ListLeft->item(2)->text(), QString::fromStdString(FrameCaption(1, *slot->Frame)));

        rig->SelectLeft(1);
        FrameSlotRef first = F().LeftPane.Items[1].Slot;
        const CELFrame before = *first->Frame;
        QVERIFY(F().ComboLSelW->count() >= 2);
        F().ComboLSelW->setCurrentIndex(1);
        F().ComboLSelWChange();
        QVERIFY(first->Frame->Width != before.Width);
        QCOMPARE(F().ActUndo->text(), QString("Undo Width"));
        F().ActUndo->trigger();
        QCOMPARE(*first->Frame, before);
        QCOMPARE(F().ComboLSelW->currentIndex(), int(before.WidthIndex));
        QCOMPARE(rig->App().View.ImageWidth, before.Width); // shown again
        QCOMPARE(rig->App().View.ImageHeight, before.Height);
    }

    void strokesAreUndoneInTheViewerAndRedoneFromThePalette()
    {
        Load({ { 8, 4, "" } }, true, "left.cel");
        rig->SelectLeft(1);
        const DataArray shown = rig->App().View.FrameImage;
        rig->App().Pal.SelectedColour = 0x90;
        Stroke(0, 0, 3, 0);
        const DataArray drawn = rig->App().View.FrameImage;
        QVERIFY(drawn != shown);
        QCOMPARE(V().ActUndo->text(), QString("Undo Stroke"));
        Press(V(), Qt::CTRL | Qt::Key_Z);
        QCOMPARE(rig->App().View.FrameImage, shown);
        Press(P(), Qt::CTRL | Qt::Key_Y);
        QCOMPARE(rig->App().View.FrameImage, drawn);
        Press(P(), Qt::CTRL | Qt::Key_Z);
        QCOMPARE(rig->App().View.FrameImage, shown);
        Press(V(), Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        QCOMPARE(rig->App().View.FrameImage, drawn);
        // The frames window's history is another one.
        QVERIFY(!F().ActUndo->isEnabled());

        // A press that paints a pixel its own colour changes nothing: no step.
        const int steps = V().ImageHistory->count();
        Stroke(0, 0, 0, 0);
        QCOMPARE(V().ImageHistory->count(), steps);
        // No step is taken back in the middle of a stroke.
        V().ImgViewMouseDown(Qt::LeftButton, 5, 2);
        V().ActUndo->trigger();
        V().ImgViewMouseUp(Qt::LeftButton);
        QCOMPARE(V().ImageHistory->count(), steps + 1);
    }

    void resizeShiftReplaceAndExchangeAreStepsAndResizeRelaysOut()
    {
        Load({ { 8, 4, "" } }, true, "left.cel");
        rig->SelectLeft(1);
        ViewerState& view = rig->App().View;
        const DataArray shown = view.FrameImage;
        V().EditFrWidth->setText("20");
        V().EditFrHeight->setText("6");
        V().BtnResizeClick();
        QCOMPARE(V().ImgView->width(), 20);
        V().BtnLeftClick();
        P().CheckPalWhole->setChecked(true);
        rig->App().Pal.SelectedColour = 0xFF;
        P().BtnRepl->click();
        P().PickColour(0x33); // every transparent pixel becomes 33
        QCOMPARE(V().ActUndo->text(), QString("Undo Replace"));
        const DataArray replaced = view.FrameImage;
        P().BtnExch->click();
        P().PickColour(0x33);
        QCOMPARE(V().ActUndo->text(), QString("Undo Exchange"));
        QCOMPARE(V().ImageHistory->count(), 4);

        V().ActUndo->trigger();
        QCOMPARE(view.FrameImage, replaced);
        V().ActUndo->trigger();
        V().ActUndo->trigger();
        QCOMPARE(V().ActUndo->text(), QString("Undo Resize"));
        V().ActUndo->trigger();
        QCOMPARE(view.FrameImage, shown);
        QCOMPARE(view.ImageWidth, 8u);
        QCOMPARE(view.ImageHeight, 4u);
        QCOMPARE(V().EditFrWidth->text(), QString("8"));
        QCOMPARE(V().EditFrHeight->text(), QString("4"));
        QCOMPARE(V().ImgView->width(), 8); // relaid out
        V().ActRedo->trigger();
        QCOMPARE(view.ImageWidth, 20u);
        QCOMPARE(V().EditFrWidth->text(), QString("20"));
        QCOMPARE(V().ImgView->width(), 20);
        // A refused resize is no step.
        V().EditFrWidth->setText("0");
        V().BtnResizeClick();
        QCOMPARE(rig->Script.LastMessage(), QString("Incorrect sizes"));
        QCOMPARE(V().ActRedo->text(), QString("Redo Left"));
    }

    void showingAnotherFrameEmptiesTheViewersHistory()
    {
        Load({ { 8, 4, "" }, { 6, 2, "" } }, true, "left.cel");
        rig->SelectLeft(1);
        V().BtnUpClick();
        QVERIFY(V().ActUndo->isEnabled());
        rig->SelectLeft(2);
        QVERIFY(!V().ActUndo->isEnabled());
        V().BtnUpClick();
        rig->SelectLeft(0); // "<Begin>": nothing in view
        QVERIFY(!V().ActUndo->isEnabled());
    }

    void saveFrameIsAStepOfTheFrameListsThatShowsTheFrameAgain()
    {
        Load({ { 8, 4, "" } }, true, "left.cel");
        rig->SelectLeft(1);
        FrameSlotRef slot = F().LeftPane.Items[1].Slot;
        const CELFrame before = *slot->Frame;
        const DataArray shown = rig->App().View.FrameImage;
        V().EditFrWidth->setText("5");
        V().EditFrHeight->setText("3");
        V().BtnResizeClick();
        V().BtnSaveFrameClick();
        QCOMPARE(slot->Frame->Width, 5u);
        QCOMPARE(F().ActUndo->text(), QString("Undo Save Frame"));
        QVERIFY(Marked(0));

        F().ActUndo->trigger();
        QCOMPARE(*slot->Frame, before);
        QCOMPARE(F().ListLeft->item(1)->text(), QString::fromStdString(FrameCaption(0, before)));
        QCOMPARE(rig->App().View.FrameImage, shown); // shown again from the frame
        QCOMPARE(V().EditFrWidth->text(), QString("8"));
        QVERIFY(!V().ActUndo->isEnabled());
        QVERIFY(!Marked(0));
        F().ActRedo->trigger();
        QCOMPARE(slot->Frame->Width, 5u);
        QCOMPARE(rig->App().View.ImageWidth, 5u);
    }

    void theViewersHistoryStaysWithinItsMemoryBoundOldestFirst()
    {
        Load({ { 8, 4, "" } }, true, "left.cel");
        rig->SelectLeft(1);
        ViewerState& view = rig->App().View;
        // Room for four images of 32 bytes: three steps.
        V().HistoryLimits.MaxBytes = 4 * 32;
        std::vector<DataArray> states { view.FrameImage };
        for (int k = 0; k < 6; ++k) {
            V().BtnRightClick();
            states.push_back(view.FrameImage);
            QVERIFY(V().HistoryBytes() <= V().HistoryLimits.MaxBytes);
        }
        QCOMPARE(V().ImageHistory->count(), 3);
        while (V().ActUndo->isEnabled())
            V().ActUndo->trigger();
        QCOMPARE(view.FrameImage, states[3]); // the three oldest steps are gone
        V().ActRedo->trigger();
        QCOMPARE(view.FrameImage, states[4]);
        // The history goes on after being trimmed.
        V().BtnUpClick();
        QCOMPARE(V().ActUndo->text(), QString("Undo Up"));
        QVERIFY(!V().ActRedo->isEnabled());
        QVERIFY(V().HistoryBytes() <= V().HistoryLimits.MaxBytes);
    }
};

QTEST_MAIN(UndoTest)
#include "UndoTest.moc"
