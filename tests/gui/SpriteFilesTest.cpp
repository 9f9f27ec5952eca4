#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include "frames/FileIO.h"
#include "gui/ShellFixtures.h"
#include "viewer/GuiViewSurface.h"

// CL2 and grouped sprite files in the windows: one item per group, the groups of a file saved,
// renamed and closed together, conversion by "Save as", Copy and Move between codings, and
// the Frame Headers box.
class SpriteFilesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TMain& M() { return rig->Main(); }
    TWindFrame& F() { return rig->Frames(); }
    static QString Q(const std::string& text) { return QString::fromStdString(text); }
    bool Marked(int row) { return M().ListCEL->item(row)->font().bold(); }
    void Click(int row, QPushButton* button)
    {
        M().ListCEL->setCurrentRow(row);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    void SaveAs(int row, const std::string& path)
    {
        rig->Script.FileAnswers.push_back(Q(path));
        Click(row, M().BtnSaveAsCEL);
    }
    // What a frame shows: its coding, name, width and pixels.
    static std::tuple<FrameCoding, std::string, uint32_t, DataArray> Shown(const CELFrame& frame)
    {
        DataArray pixels;
        frame.DecodeImage(pixels);
        return { frame.Coding, frame.Name, frame.Width, pixels };
    }
    static std::vector<std::tuple<FrameCoding, std::string, uint32_t, DataArray>> Shown(
        const CELObject& cel)
    {
        std::vector<std::tuple<FrameCoding, std::string, uint32_t, DataArray>> frames;
        for (const FrameSlotRef& slot : cel.Frames)
            frames.push_back(Shown(*slot->Frame));
        return frames;
    }
    // Every group's frames as the file at path gives them back.
    static std::vector<std::vector<std::tuple<FrameCoding, std::string, uint32_t, DataArray>>>
    OnDisk(const std::string& path)
    {
        SpriteFile file = LoadSpriteFile(path, true);
        std::vector<std::vector<std::tuple<FrameCoding, std::string, uint32_t, DataArray>>> all;
        for (const auto& group : file.Groups)
            all.push_back(Shown(*group));
        return all;
    }
    // A CEL file whose second frame cannot be shown (a control byte 0).
    static bool WriteBroken(const std::string& path)
    {
        auto cel = CELObject::CreateEmpty(2);
        cel->Frames[0] = std::make_shared<FrameSlot>();
        cel->Frames[0]->Frame = MakeFrame(5, 4, 1);
        cel->Frames[1] = std::make_shared<FrameSlot>();
        cel->Frames[1]->Frame = CELFrame::CreateEmpty();
        cel->Frames[1]->Frame->Data = { 2, 0x90, 0x91, 0, 0xFF };
        cel->Frames[1]->Frame->DataLength = 5;
        cel->Frames[1]->Frame->AnalyseData();
        cel->FileName = path;
        cel->HasDatabase = 1;
        return cel->SaveToFile() == SaveOK;
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

    void groupedAndCL2FilesOpenAsOneItemPerGroup()
    {
        const std::string grouped = rig->File("dirs.cel");
        const std::string cl2 = rig->File("walk.cl2");
        const std::string groupedCL2 = rig->File("unit.CL2");
        QVERIFY(WriteSprite(grouped,
            { { { 8, 4, "" } }, { { 6, 6, "" }, { 3, 3, "" } }, { { 5, 2, "" } } },
            FrameCoding::CEL, false, false));
        QVERIFY(
            WriteSprite(cl2, { { { 12, 40, "" }, { 7, 5, "" } } }, FrameCoding::CL2, true, false));
        QVERIFY(WriteSprite(
            groupedCL2, { { { 4, 4, "n" } }, { { 9, 3, "" } } }, FrameCoding::CL2, true, true));

        rig->Open(grouped, false);
        QCOMPARE(rig->Script.FileDialogs.at(0).Filter, QString("CEL file|*.cel|CL2 files|*.cl2"));
        QCOMPARE(rig->Script.Questions.size(), size_t(1));
        rig->Open(cl2);
        rig->Open(groupedCL2);
        QCOMPARE(rig->Script.Questions.size(), size_t(1)); // a CL2 never asks
        QCOMPARE(ItemTexts(M().ListCEL),
            QStringList({ Q(grouped + " [0]"), Q(grouped + " [1]"), Q(grouped + " [2]"), Q(cl2),
                Q(groupedCL2 + " [0]"), Q(groupedCL2 + " [1]") }));
        QCOMPARE(M().ListCEL->currentRow(), 4);
        for (int row = 0; row < 6; ++row) {
            const CELObject& cel = *M().HolderAt(row)->CEL;
            QCOMPARE(cel.GroupIndex, row < 3 ? row : row == 3 ? -1 : row - 4);
            QCOMPARE(cel.Coding, row < 3 ? FrameCoding::CEL : FrameCoding::CL2);
            QCOMPARE(cel.WithHeaders, uint8_t(row < 3 ? 0 : 1));
        }
        QCOMPARE(M().HolderAt(1)->CEL->FrameCount, 2u);

        // Open again, by name, by drop or from the command line: refused whole.
        rig->Open(grouped);
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(Q(groupedCL2)) });
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&M(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&M(), &drop);
        QCOMPARE(rig->Script.Messages.size(), size_t(2));
        QCOMPARE(rig->Script.LastMessage(), QString("File is already open"));
        QCOMPARE(M().ListCEL->count(), 6);

        // A group in a pane: its frames, its file as the hint.
        rig->SendLeft(1);
        QCOMPARE(F().ListLeft->count(), 3);
        QCOMPARE(F().ListLeft->toolTip(), Q(grouped));
    }

    void savingOneGroupWritesTheWholeFileAndCloseClosesIt()
    {
        const std::string path = rig->File("unit.cl2");
        QVERIFY(WriteSprite(path,
            { { { 8, 4, "a" }, { 6, 6, "b" } }, { { 5, 5, "c" } },
                { { 4, 2, "d" }, { 3, 3, "e" } } },
            FrameCoding::CL2, true, true));
        QVERIFY(WriteCEL(rig->File("other.cel"), { { 4, 4, "" } }, true, true));
        rig->Open(path);
        rig->Open(rig->File("other.cel"));
        rig->SendLeft(0);
        rig->SendRight(2);
        rig->SelectLeft(2);
        QTest::mouseClick(F().BtnLNew, Qt::LeftButton); // a CL2 frame, 1 x 1
        QCOMPARE(F().LeftPane.SelectedSlot()->Frame->Coding, FrameCoding::CL2);
        rig->SelectRight(1);
        QTest::mouseClick(F().BtnRDelete, Qt::LeftButton);
        // One file: every group is marked while any has changes.
        QVERIFY(Marked(0) && Marked(1) && Marked(2) && !Marked(3));

        // "Save" of the untouched group writes every group as its pane shows it.
        Click(1, M().BtnSaveCEL);
        QVERIFY(rig->Script.Messages.empty());
        QVERIFY(!Marked(0) && !Marked(1) && !Marked(2) && !Marked(3));
        auto disk = OnDisk(path);
        QCOMPARE(disk.size(), size_t(3));
        for (int g = 0; g < 3; ++g)
            QVERIFY(disk[size_t(g)] == Shown(*M().HolderAt(g)->CEL));
        QCOMPARE(disk[0].size(), size_t(3));
        QCOMPARE(std::get<1>(disk[2][0]), std::string("e"));

        // "Save as" onto another open file is refused; to a new name every item is renamed.
        SaveAs(2, rig->File("other.cel"));
        QCOMPARE(
            rig->Script.LastMessage(), QString("The file with input name is open, cannot save"));
        const std::string renamed = rig->File("renamed.cl2");
        SaveAs(2, renamed);
        QCOMPARE(ItemTexts(M().ListCEL),
            QStringList({ Q(renamed + " [0]"), Q(renamed + " [1]"), Q(renamed + " [2]"),
                Q(rig->File("other.cel")) }));
        QCOMPARE(F().ListLeft->toolTip(), Q(renamed));
        QCOMPARE(F().ListRight->toolTip(), Q(renamed));
        QVERIFY(OnDisk(renamed) == disk);

        // "Close" of one group closes the whole file and both panes it filled.
        Click(1, M().BtnClose);
        QCOMPARE(ItemTexts(M().ListCEL), QStringList({ Q(rig->File("other.cel")) }));
        QVERIFY(!rig->App().LeftCEL && !rig->App().RightCEL);
        QCOMPARE(F().ListLeft->count() + F().ListRight->count(), 0);
    }

    void saveAsToTheOtherCodingConvertsOrRefuses()
    {
        const std::string hero = rig->File("hero.cel");
        QVERIFY(WriteCEL(hero, { { 24, 14, "stand" }, { 30, 40, "" }, { 6, 3, "" } }, false, true));
        rig->Open(hero);
        rig->SendLeft(0);
        rig->SelectLeft(1);
        F().ComboLSelW->setCurrentIndex(F().ComboLSelW->count() - 1); // another width
        F().ComboLSelWChange();
        const auto before = Shown(*M().HolderAt(0)->CEL);

        for (const std::string& name : { rig->File("hero.cl2"), rig->File("back.cel") }) {
            const FrameCoding coding = CodingFromName(name);
            SaveAs(0, name);
            QVERIFY(rig->Script.Messages.empty());
            const CELObject& cel = *M().HolderAt(0)->CEL;
            QCOMPARE(cel.Coding, coding);
            auto expected = before;
            for (auto& frame : expected)
                std::get<0>(frame) = coding;
            QVERIFY(Shown(cel) == expected);
            QVERIFY(OnDisk(name) == decltype(OnDisk(name)) { expected });
            QCOMPARE(F().CheckLHeader->isEnabled(), coding == FrameCoding::CEL);
            QVERIFY(F().CheckLHeader->isChecked());
            QVERIFY(!F().ActUndo->isEnabled());
            QCOMPARE(ItemTexts(F().ListLeft).mid(1),
                QStringList({ " stand", Q(FrameCaption(1, *cel.Frames[1]->Frame)),
                    Q(FrameCaption(2, *cel.Frames[2]->Frame)) }));
        }

        // A frame that cannot be shown stops the conversion: nothing written, nothing renamed.
        const std::string broken = rig->File("broken.cel");
        QVERIFY(WriteBroken(broken));
        rig->Open(broken);
        SaveAs(1, rig->File("broken.cl2"));
        ExpectOnlyError(rig->Script, "Cannot convert: frame #1 cannot be shown");
        QVERIFY(!std::filesystem::exists(rig->File("broken.cl2")));
        QCOMPARE(M().ListCEL->item(1)->text(), Q(broken));
        QCOMPARE(M().HolderAt(1)->CEL->Coding, FrameCoding::CEL);
    }

    void copyAndMoveAcrossCodingsRecodeOrRefuse()
    {
        QVERIFY(WriteSprite(rig->File("a.cl2"), { { { 10, 40, "" }, { 8, 6, "x" } } },
            FrameCoding::CL2, true, true));
        QVERIFY(WriteBroken(rig->File("b.cel")));
        rig->Open(rig->File("a.cl2"));
        rig->Open(rig->File("b.cel"));
        rig->SendLeft(0);
        rig->SendRight(1);
        const FrameSlotRef first = F().LeftPane.Items[1].Slot;
        const CELFrame x = *F().LeftPane.Items[2].Slot->Frame;

        rig->SelectLeft(1);
        QTest::mouseClick(F().BtnLCopy, Qt::LeftButton);
        auto expected = Shown(*first->Frame);
        std::get<0>(expected) = FrameCoding::CEL;
        QVERIFY(Shown(*F().RightPane.SelectedSlot()->Frame) == expected);
        QCOMPARE(rig->ViewCaption(), QString("View Frame: #0 (R)"));

        rig->SelectLeft(2);
        QTest::mouseClick(F().BtnLMove, Qt::LeftButton);
        const FrameSlotRef moved = F().RightPane.SelectedSlot();
        QCOMPARE(moved->Frame->Coding, FrameCoding::CEL);
        QCOMPARE(moved->Frame->Name, std::string("x"));
        F().ActUndo->trigger();
        QVERIFY(*F().LeftPane.Items[2].Slot->Frame == x);
        F().ActRedo->trigger();
        QCOMPARE(F().RightPane.SelectedSlot()->Frame->Coding, FrameCoding::CEL);

        // The frame that cannot be shown goes nowhere.
        rig->SelectRight(F().RightPane.Count() - 1);
        QVERIFY(!F().RightPane.SelectedSlot()->Frame->Viewable());
        QTest::mouseClick(F().BtnRCopy, Qt::LeftButton);
        QTest::mouseClick(F().BtnRMove, Qt::LeftButton);
        QCOMPARE(rig->Script.Messages.size(), size_t(2));
        QCOMPARE(rig->Script.Messages[0].Text,
            QString("Cannot copy: a frame that cannot be shown cannot change coding"));
        QCOMPARE(rig->Script.Messages[1].Text,
            QString("Cannot move: a frame that cannot be shown cannot change coding"));
        QCOMPARE(F().LeftPane.Count(), 2);

        // Save Frame in a CL2 pane stores a CL2 frame, and the file reads back.
        rig->SelectLeft(1);
        F().ListLeftClick();
        QCOMPARE(rig->App().View.ViewedFrame, first);
        rig->App().View.FrameImage[0] = 7;
        QTest::mouseClick(rig->Vornix->WindView().BtnSaveFrame, Qt::LeftButton);
        QCOMPARE(first->Frame->Coding, FrameCoding::CL2);
        Click(0, M().BtnSaveCEL);
        QVERIFY(rig->Script.Messages.size() == 2);
        QCOMPARE(std::get<3>(OnDisk(rig->File("a.cl2"))[0][0]), rig->App().View.FrameImage);
    }

    void frameHeaderBoxesOfCL2AndGroupedFiles()
    {
        const std::string grouped = rig->File("g.cel");
        QVERIFY(WriteSprite(grouped, { { { 4, 4, "" } }, { { 5, 5, "" } }, { { 6, 6, "" } } },
            FrameCoding::CEL, true, true));
        QVERIFY(
            WriteSprite(rig->File("s.cl2"), { { { 4, 4, "" } } }, FrameCoding::CL2, true, false));
        rig->Open(grouped);
        rig->Open(rig->File("s.cl2"));
        rig->SendLeft(3);
        QVERIFY(F().CheckLHeader->isChecked() && !F().CheckLHeader->isEnabled());
        QTest::mouseClick(F().CheckLHeader, Qt::LeftButton);
        F().CheckLHeader->setChecked(false);
        QVERIFY(F().CheckLHeader->isChecked());
        QCOMPARE(M().HolderAt(3)->CEL->WithHeaders, uint8_t(1));

        // A grouped CEL: one box sets the flags of every group, and undo takes them all back.
        rig->SendLeft(0);
        rig->SendRight(1);
        QVERIFY(F().CheckLHeader->isEnabled());
        QTest::mouseClick(F().CheckLHeader, Qt::LeftButton);
        QTest::mouseClick(F().CheckRDB, Qt::LeftButton);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(M().HolderAt(row)->CEL->WithHeaders, uint8_t(0));
            QCOMPARE(M().HolderAt(row)->CEL->HasDatabase, uint8_t(0));
            QVERIFY(Marked(row));
        }
        QVERIFY(!F().CheckRHeader->isChecked() && !F().CheckLDB->isChecked());
        F().ActUndo->trigger();
        F().ActUndo->trigger();
        for (int row = 0; row < 3; ++row)
            QCOMPARE(M().HolderAt(row)->CEL->WithHeaders, uint8_t(1));
        QVERIFY(F().CheckRHeader->isChecked() && F().CheckLDB->isChecked());
        F().ActRedo->trigger();
        Click(2, M().BtnSaveCEL);
        QVERIFY(rig->Script.Messages.empty());
        SpriteFile file = LoadSpriteFile(grouped, true);
        QCOMPARE(file.Groups.size(), size_t(3));
        for (const auto& group : file.Groups)
            QCOMPARE(group->WithHeaders, uint8_t(0));
    }

    void aNewCELStaysACELAndIsStoredAsOne()
    {
        QVERIFY(
            WriteSprite(rig->File("w.cl2"), { { { 9, 36, "" } } }, FrameCoding::CL2, true, false));
        rig->Open(rig->File("w.cl2"));
        QTest::mouseClick(M().BtnNewCEL, Qt::LeftButton);
        rig->SendLeft(0);
        rig->SendRight(1);
        rig->SelectLeft(1);
        QTest::mouseClick(F().BtnLCopy, Qt::LeftButton);
        QTest::mouseClick(F().BtnRNew, Qt::LeftButton);
        const auto copy = Shown(*F().RightPane.Items[1].Slot->Frame);
        QCOMPARE(std::get<0>(copy), FrameCoding::CEL);
        QCOMPARE(F().RightPane.Items[2].Slot->Frame->Coding, FrameCoding::CEL);
        M().close();
        rig->Stop();
        rig->Start();
        QCOMPARE(ItemTexts(M().ListCEL), QStringList({ "<New> #0" }));
        const CELObject& stored = *M().HolderAt(0)->CEL;
        QCOMPARE(stored.Coding, FrameCoding::CEL);
        QCOMPARE(stored.FrameCount, 2u);
        QVERIFY(Shown(*stored.Frames[0]->Frame) == copy);
    }

    void cl2FramesShowTheirBlockBounds()
    {
        QVERIFY(WriteSprite(
            rig->File("tall.cl2"), { { { 12, 70, "" } } }, FrameCoding::CL2, true, false));
        rig->Open(rig->File("tall.cl2"));
        rig->SendLeft(0);
        rig->SelectLeft(1);
        TWindView& view = rig->Vornix->WindView();
        QTest::mouseClick(view.CheckOffs, Qt::LeftButton);
        BlockRowSet rows;
        F().LeftPane.SelectedSlot()->Frame->GetBlockRows(rows);
        QCOMPARE(rows, (BlockRowSet { 0, 32, 64, -1, -1 }));
        QCOMPARE(view.ImgView->Bounds.size(), size_t(3));
        QCOMPARE(view.ImgView->Bounds[1].Y, 70 - 32 - 1);
    }
};

QTEST_MAIN(SpriteFilesTest)
#include "SpriteFilesTest.moc"
