#include <filesystem>

#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "app/ListWnd.h"
#include "frames/FileIO.h"
#include "gui/ShellFixtures.h"

// The CEL list window: every button with its messages, and the layout rule.
class MainWndTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    void ExpectOnlyMessage(const QString& text, const QString& title, MessageIcon icon)
    {
        QCOMPARE(rig->Script.Messages.size(), size_t(1));
        QCOMPARE(rig->Script.Messages[0].Text, text);
        QCOMPARE(rig->Script.Messages[0].Title, title);
        QCOMPARE(rig->Script.Messages[0].Icon, icon);
    }

private slots:
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
        rig->Start();
    }
    void cleanup() { rig.reset(); }

    void openAsksAboutHeadersOnlyWithoutDatabase()
    {
        std::string bare = rig->File("bare.cel");
        std::string withDb = rig->File("named.cel");
        QVERIFY(WriteCEL(bare, { { 8, 4, "" }, { 6, 2, "" } }, true, false));
        QVERIFY(WriteCEL(withDb, { { 8, 4, "stand" } }, false, true));

        rig->Open(bare, true);
        QCOMPARE(rig->Script.FileDialogs.size(), size_t(1));
        const FileDialogOptions& options = rig->Script.FileDialogs[0];
        QCOMPARE(options.Title, QString("Open CEL file"));
        QCOMPARE(options.Filter, QString("CEL file|*.cel|CL2 files|*.cl2"));
        QCOMPARE(options.DefaultExtension, QString("cel"));
        QVERIFY(!options.MustExist);
        QCOMPARE(rig->Script.Questions.size(), size_t(1));
        QCOMPARE(rig->Script.Questions[0].Text, QString("Does this file contain Frame headers?"));
        QCOMPARE(rig->Script.Questions[0].Title, QString("Open CEL"));
        QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { QString::fromStdString(bare) });
        QCOMPARE(rig->Main().ListCEL->currentRow(), 0);
        QCOMPARE(rig->Main().HolderAt(0)->CEL->FrameCount, 2u);
        QCOMPARE(rig->Main().HolderAt(0)->CEL->WithHeaders, uint8_t(1));

        rig->Open(withDb);
        QCOMPARE(rig->Script.Questions.size(), size_t(1)); // no second question
        QCOMPARE(rig->Main().ListCEL->count(), 2);
        QCOMPARE(rig->Main().ListCEL->currentRow(), 1);
        QCOMPARE(rig->Main().HolderAt(1)->CEL->Frames[0]->Frame->Name, std::string("stand"));
        QVERIFY(rig->Script.Messages.empty());
    }

    void openRefusesAnOpenFileAndReportsLoadFailures()
    {
        std::string path = rig->File("a.cel");
        QVERIFY(WriteCEL(path, { { 4, 4, "" } }, true, false));
        rig->Open(path);
        rig->Open(path);
        ExpectOnlyMessage("File is already open", "Error", MessageIcon::Error);
        QCOMPARE(rig->Main().ListCEL->count(), 1);

        // A missing file: the question comes first, then the failure.
        rig->Script.Messages.clear();
        rig->Open(rig->File("missing.cel"), false);
        QCOMPARE(rig->Script.Questions.size(), size_t(2));
        ExpectOnlyMessage("An error occured", "Error", MessageIcon::Error);
        QCOMPARE(rig->Main().ListCEL->count(), 1);

        // A file that is no CEL at all.
        rig->Script.Messages.clear();
        std::string junk = rig->File("junk.cel");
        WriteFileAtomically(junk, std::vector<uint8_t> { 1, 2 });
        rig->Open(junk, true);
        ExpectOnlyMessage("An error occured", "Error", MessageIcon::Error);
        QCOMPARE(rig->Main().ListCEL->count(), 1);

        // Cancelling the dialog does nothing.
        rig->Script.Messages.clear();
        rig->Script.FileAnswers.push_back(std::nullopt);
        rig->Main().BtnOpenClick();
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(rig->Main().ListCEL->count(), 1);
    }

    void newNumbersCaptionsAndSelectsTheNewItem()
    {
        QTest::mouseClick(rig->Main().BtnNewCEL, Qt::LeftButton);
        QTest::mouseClick(rig->Main().BtnNewCEL, Qt::LeftButton);
        QCOMPARE(ItemTexts(rig->Main().ListCEL), (QStringList { "<New> #0", "<New> #1" }));
        QCOMPARE(rig->Main().ListCEL->currentRow(), 1);
        QCOMPARE(rig->App().NewCELCount, 2u);
        const CELObject& cel = *rig->Main().HolderAt(1)->CEL;
        QCOMPARE(cel.FrameCount, 0u);
        QVERIFY(cel.FileName.empty());
        // Numbers are never reused within a run.
        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnCloseClick();
        rig->Main().BtnNewCELClick();
        QCOMPARE(ItemTexts(rig->Main().ListCEL), (QStringList { "<New> #1", "<New> #2" }));
    }

    void saveReportsEachFailure()
    {
        rig->Main().BtnNewCELClick();
        rig->Main().BtnSaveCELClick();
        ExpectOnlyMessage("CEL is not assigned to a file", "Error", MessageIcon::Error);

        // Save as on a CEL without frames renames it, then the save refuses.
        rig->Script.Messages.clear();
        std::string target = rig->File("empty.cel");
        rig->Script.FileAnswers.push_back(QString::fromStdString(target));
        rig->Main().BtnSaveAsCELClick();
        ExpectOnlyMessage("CEL has no frames", "Error", MessageIcon::Error);
        QCOMPARE(rig->Main().ListCEL->item(0)->text(), QString::fromStdString(target));
        QVERIFY(!FileExists(target));

        // A folder that does not exist.
        rig->Script.Messages.clear();
        std::string good = rig->File("good.cel");
        QVERIFY(WriteCEL(good, { { 4, 2, "" } }, true, false));
        rig->Open(good);
        rig->Main().HolderAt(1)->CEL->FileName = rig->File("no/such/folder/x.cel");
        rig->Main().BtnSaveCELClick();
        ExpectOnlyMessage("Cannot save CEL file", "Error", MessageIcon::Error);

        // The database path taken by a folder: the CEL is written, its database is not.
        rig->Script.Messages.clear();
        rig->Main().HolderAt(1)->CEL->FileName = good;
        rig->Main().HolderAt(1)->CEL->HasDatabase = 1;
        std::filesystem::create_directory(DatabaseFileName(good));
        rig->Main().BtnSaveCELClick();
        ExpectOnlyMessage("Cannot save Database", "Warning", MessageIcon::Exclamation);
    }

    void saveWritesTheOrderThePaneShows()
    {
        std::string path = rig->File("order.cel");
        QVERIFY(WriteCEL(path, { { 2, 2, "a" }, { 4, 2, "b" }, { 6, 2, "c" } }, true, true));
        rig->Open(path);
        rig->SendLeft(0);
        rig->SelectLeft(3);
        rig->Frames().BtnLFirstClick();
        rig->Frames().BtnLNewClick();
        rig->Main().ListCEL->setCurrentRow(0);
        rig->Main().BtnSaveCELClick();
        QVERIFY(rig->Script.Messages.empty());

        auto reread = CELObject::CreateFromFile(path, false);
        QCOMPARE(reread->Status, uint8_t(LoadOK));
        QCOMPARE(reread->FrameCount, 4u);
        QCOMPARE(reread->Frames[0]->Frame->Name, std::string("c"));
        QCOMPARE(reread->Frames[1]->Frame->Name, std::string(""));
        QCOMPARE(reread->Frames[2]->Frame->Name, std::string("a"));
        QCOMPARE(reread->Frames[3]->Frame->Name, std::string("b"));
    }

    void saveAsRefusesAnotherListedFileAndAcceptsItsOwn()
    {
        std::string first = rig->File("first.cel");
        std::string second = rig->File("second.cel");
        QVERIFY(WriteCEL(first, { { 4, 2, "" } }, true, false));
        QVERIFY(WriteCEL(second, { { 4, 2, "" }, { 4, 2, "" } }, true, false));
        rig->Open(first);
        rig->Open(second);

        rig->Script.FileAnswers.push_back(QString::fromStdString(first));
        rig->Main().BtnSaveAsCELClick();
        QCOMPARE(rig->Script.FileDialogs.back().Title, QString("Save CEL file"));
        QCOMPARE(rig->Script.FileDialogs.back().FileName, QString::fromStdString(second));
        QCOMPARE(rig->Script.FileDialogs.back().Filter, QString("CEL file|*.cel"));
        QCOMPARE(rig->Script.FileDialogs.back().DefaultExtension, QString("cel"));
        ExpectOnlyMessage(
            "The file with input name is open, cannot save", "Error", MessageIcon::Error);
        QCOMPARE(rig->Main().HolderAt(1)->CEL->FileName, second);
        QCOMPARE(rig->Main().ListCEL->item(1)->text(), QString::fromStdString(second));

        rig->Script.Messages.clear();
        rig->Script.FileAnswers.push_back(QString::fromStdString(second));
        rig->Main().BtnSaveAsCELClick();
        QVERIFY(rig->Script.Messages.empty());

        // An unnamed CEL becomes named and is saved.
        rig->Main().BtnNewCELClick();
        rig->SendRight(2);
        rig->Frames().BtnRNewClick();
        std::string third = rig->File("third.cel");
        rig->Script.FileAnswers.push_back(QString::fromStdString(third));
        rig->Main().BtnSaveAsCELClick();
        QVERIFY(rig->Script.FileDialogs.back().FileName.isEmpty());
        QVERIFY(rig->Script.Messages.empty());
        QCOMPARE(rig->Main().ListCEL->item(2)->text(), QString::fromStdString(third));
        QCOMPARE(rig->Frames().ListRight->toolTip(), QString::fromStdString(third));
        QCOMPARE(CELObject::CreateFromFile(third, true)->FrameCount, 1u);
        QCOMPARE(rig->App().NewCELCount, 1u);

        // Cancelled: nothing changes.
        rig->Script.FileAnswers.push_back(std::nullopt);
        rig->Main().BtnSaveAsCELClick();
        QCOMPARE(rig->Main().ListCEL->item(2)->text(), QString::fromStdString(third));
    }

    void buttonsNeedASelectedCEL()
    {
        rig->Main().BtnNewCELClick();
        rig->Main().ListCEL->setCurrentRow(-1);
        rig->Main().ListCEL->clearSelection();
        rig->Main().BtnSaveCELClick();
        rig->Main().BtnSaveAsCELClick();
        rig->Main().BtnCloseClick();
        rig->Main().BtnLLoadClick();
        QVERIFY(rig->Script.Messages.empty());
        QVERIFY(rig->Script.FileDialogs.empty());
        QCOMPARE(rig->Main().ListCEL->count(), 1);
        QVERIFY(!rig->App().LeftCEL);
    }

    void useLeftAndRightKeepOneCELPerPane()
    {
        std::string path = rig->File("pane.cel");
        QVERIFY(WriteCEL(path, { { 4, 2, "" }, { 6, 2, "" } }, true, false));
        rig->Open(path);
        rig->Main().BtnNewCELClick();
        rig->SendRight(0);
        CELHolderRef shown = rig->Main().HolderAt(0);
        QCOMPARE(rig->App().RightCEL, shown);
        QCOMPARE(rig->Frames().ListRight->count(), 3);

        rig->SendLeft(0); // shown on the right: nothing happens
        QVERIFY(!rig->App().LeftCEL);
        QCOMPARE(rig->Frames().ListLeft->count(), 0);

        // Sending the shown CEL again writes the pane back and reloads it.
        rig->SelectRight(1);
        rig->Frames().BtnRNewClick();
        QCOMPARE(shown->CEL->FrameCount, 2u); // not yet written back
        rig->SendRight(0);
        QCOMPARE(shown->CEL->FrameCount, 3u);
        QCOMPARE(rig->Frames().ListRight->count(), 4);
        QCOMPARE(rig->Frames().ListRight->currentRow(), 0);

        // Another CEL replaces it; the first is written back before.
        rig->SelectRight(1);
        rig->Frames().BtnRDeleteClick();
        rig->Frames().BtnRNewClick();
        rig->SendRight(1);
        QCOMPARE(rig->App().RightCEL, rig->Main().HolderAt(1));
        QCOMPARE(shown->CEL->FrameCount, 3u);
        QCOMPARE(ItemTexts(rig->Frames().ListRight), QStringList { "<Begin>" });
    }

    void closeEmptiesThePaneOfAShownCEL()
    {
        std::string path = rig->File("close.cel");
        QVERIFY(WriteCEL(path, { { 4, 2, "" }, { 6, 2, "" } }, true, false));
        rig->Main().BtnNewCELClick();
        rig->Open(path);
        rig->SendLeft(1);
        rig->SelectLeft(2);
        QVERIFY(rig->App().View.ViewedFrame);
        rig->Main().ListCEL->setCurrentRow(1);
        rig->Main().BtnCloseClick();
        QVERIFY(!rig->App().LeftCEL);
        QCOMPARE(rig->Frames().ListLeft->count(), 0);
        QVERIFY(!rig->App().View.ViewedFrame);
        QCOMPARE(rig->ViewCaption(), QString("View Frame"));
        QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { "<New> #0" });
        QCOMPARE(rig->Main().ListCEL->currentRow(), 0);
        QVERIFY(FileExists(path)); // the file on disk stays
        rig->Main().BtnCloseClick();
        QCOMPARE(rig->Main().ListCEL->count(), 0);
        QVERIFY(rig->Script.Messages.empty());
    }

    void mergeShowsItsNoticeAndTheListGeneratorOnTheCELPage()
    {
        rig->Main().BtnNewCELClick();
        TWindListGen& generator = rig->Vornix->WindListGen();
        generator.ListGenKind = 1;
        generator.PagesList->setCurrentIndex(1);
        generator.ListFiles->addItem("left over");
        int shownPage = -1;
        int shownFiles = -1;
        rig->Script.ModalAnswers.push_back([&](QDialog& dialog) {
            auto& shown = static_cast<TWindListGen&>(dialog);
            shownPage = shown.PagesList->currentIndex();
            shownFiles = shown.ListFiles->count();
            // A click on the other tab goes straight back to the chosen page.
            shown.PagesList->setCurrentIndex(1);
            if (shown.PagesList->currentIndex() != 0)
                shownPage = -2;
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(rig->Main().BtnMerge, Qt::LeftButton);
        ExpectOnlyMessage("You may close this window with no damage to your software ;)",
            "Not working yet", MessageIcon::Exclamation);
        QCOMPARE(shownPage, 0);
        QCOMPARE(shownFiles, 0);
        QCOMPARE(generator.ListGenKind, uint8_t(0));
        QVERIFY(rig->Script.AllAnswersUsed());
        QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { "<New> #0" });
    }

    void importAndExportDoNothing()
    {
        rig->Main().BtnNewCELClick();
        QTest::mouseClick(rig->Main().BtnImpCEL, Qt::LeftButton);
        QTest::mouseClick(rig->Main().BtnExpCEL, Qt::LeftButton);
        QVERIFY(rig->Script.Messages.empty());
        QVERIFY(rig->Script.FileDialogs.empty());
        QCOMPARE(ItemTexts(rig->Main().ListCEL), QStringList { "<New> #0" });
    }

    void designAndLayoutOnResize()
    {
        TMain& main = rig->Main();
        QCOMPARE(main.windowTitle(), QString("CELs list"));
        QCOMPARE(main.size(), QSize(216, 266));
        QCOMPARE(main.pos(), QPoint(183, 131));
        QCOMPARE(main.minimumSize(), QSize(216, 266));
        QCOMPARE(main.ListCEL->geometry(), QRect(0, 0, 216, 101));
        QCOMPARE(main.BtnSaveAsCEL->geometry(), QRect(112, 204, 96, 25));
        QCOMPARE(main.BtnClose->toolTip(),
            QString("Delete selected CEL from the list without saving. Does not delete "
                    "CEL's file"));
        main.resize(301, 300);
        main.FormResize();
        QCOMPARE(main.BtnLLoad->geometry(), QRect(8, 142, 138, 25));
        QCOMPARE(main.BtnRLoad->geometry(), QRect(154, 142, 138, 25));
        QCOMPARE(main.BtnClose->geometry(), QRect(154, 270, 138, 25));
        QCOMPARE(main.ListCEL->geometry(), QRect(0, 0, 301, 135));
    }
};

QTEST_MAIN(MainWndTest)
#include "MainWndTest.moc"
