#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "bitmaps/GIFHandler.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "viewer/AnimWnd.h"
#include "viewer/GuiViewSurface.h"

// The animation window over the whole program: opened from a pane, stepped by its timer
// (driven here by calling the tick, never by waiting), following its pane and the palette.
class AnimWndTest : public QObject {
    Q_OBJECT

    // A CEL without Frame Headers: frames 0 and 2 of 6 x 4 and 3 x 5, frame 1 one that cannot
    // be shown (a literal run past the end of its data), frame 3 of 4 x 4.
    static bool WriteMixedCEL(const std::string& path)
    {
        auto cel = CELObject::CreateEmpty(4);
        const uint32_t sizes[4][2] = { { 6, 4 }, { 0, 0 }, { 3, 5 }, { 4, 4 } };
        for (size_t k = 0; k < 4; ++k) {
            cel->Frames[k] = std::make_shared<FrameSlot>();
            if (k == 1) {
                cel->Frames[k]->Frame = CELFrame::CreateEmpty();
                cel->Frames[k]->Frame->Data = { 0x05, 1, 2 };
                cel->Frames[k]->Frame->DataLength = 3;
                cel->Frames[k]->Frame->AnalyseData();
            } else {
                cel->Frames[k]->Frame = MakeFrame(sizes[k][0], sizes[k][1], uint8_t(k * 40));
            }
        }
        cel->FileName = path;
        cel->WithHeaders = 0;
        cel->HasDatabase = 0;
        return cel->SaveToFile() == SaveOK;
    }

    struct Rig : ShellRig {
        TWindAnim& Anim() { return Vornix->WindAnim(); }
        FrameSlotRef LeftSlot(int item) { return Frames().LeftPane.SlotAt(item); }
        // Opens a mixed CEL and shows it in the left pane.
        void OpenMixed(const char* name = "walk.cel")
        {
            const std::string path = File(name);
            QVERIFY(WriteMixedCEL(path));
            Open(path, false);
            SendLeft(Main().ListCEL->count() - 1);
        }
    };

    static QAction* MenuAction(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }

    void theListMenuPlaysThePaneInOrderPassingOverWhatCannotBeShown()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        QVERIFY(!rig.Anim().isVisible());
        QVERIFY(rig.LeftSlot(2)->Frame && !rig.LeftSlot(2)->Frame->Viewable());

        QMenu* menu = rig.Frames().ShowListMenu(rig.Frames().ListLeft, QPoint(4, 4));
        QAction* play = MenuAction(menu, "Play animation");
        QVERIFY(play);
        play->trigger();
        menu->close();

        TWindAnim& anim = rig.Anim();
        QVERIFY(anim.isVisible());
        QCOMPARE(anim.windowTitle(), QString("Animation"));
        QVERIFY(anim.PlaysLeftPane());
        QVERIFY(anim.Timer->isActive());
        QCOMPARE(anim.Timer->interval(), 67); // 15 frames a second
        QCOMPARE(anim.BtnPlay->text(), QString("Pause"));
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(3));
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(4));
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        // The viewer is not touched by playing.
        QVERIFY(!rig.App().View.HasFrame());
    }

    void framesShareTheirBottomLeftCornerAtTheChosenZoom()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        TWindAnim& anim = rig.Anim();
        anim.SpinZoom->setValue(3);
        // The canvas is 6 x 5 (the widest and the tallest frame), 18 x 15 at 3x.
        const QImage& surface = anim.ImgAnim->Surface;
        QCOMPARE(surface.size(), QSize(18, 15));
        DataArray image;
        rig.LeftSlot(1)->Frame->DecodeImage(image);
        // Frame 0 is 6 x 4: its bottom row is the surface's bottom, its top row one frame row
        // below the canvas top, which stays transparent.
        QCOMPARE(surface.pixelIndex(0, 14), int(image[0]));
        QCOMPARE(surface.pixelIndex(17, 3), int(image[3 * 6 + 5]));
        for (int x = 0; x < 18; ++x)
            QCOMPARE(surface.pixelIndex(x, 2), int(TransparentIndex));
        anim.BtnForwardClick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(3));
        QVERIFY(!anim.Timer->isActive()); // a step by hand pauses
        QCOMPARE(anim.BtnPlay->text(), QString("Play"));
        rig.LeftSlot(3)->Frame->DecodeImage(image);
        // 3 x 5: the right half of the canvas is transparent.
        QCOMPARE(surface.pixelIndex(0, 0), int(image[4 * 3]));
        QCOMPARE(surface.pixelIndex(9, 14), int(TransparentIndex));
        anim.BtnBackClick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        anim.BtnBackClick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(4));
    }

    void aPaletteChangeRecoloursItAtOnce()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        TWindAnim& anim = rig.Anim();
        // Before any palette is applied both show the grey ramp, not the all-black palette.
        QCOMPARE(anim.ColourTable(), rig.Vornix->WindView().ColourTable());
        QCOMPARE(anim.ColourTable()[200], qRgb(200, 200, 200));
        DataArray image;
        rig.LeftSlot(1)->Frame->DecodeImage(image);
        const int index = image[0];
        const QRgb before = anim.ImgAnim->Surface.pixel(0, anim.ImgAnim->Surface.height() - 1);

        QByteArray palette(768, '\0');
        palette[3 * index] = char(10);
        palette[3 * index + 1] = char(200);
        palette[3 * index + 2] = char(30);
        QFile file(QString::fromStdString(rig.File("green.pal")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(palette);
        file.close();
        rig.Vornix->WindPal().EditPalFile->setText(file.fileName());
        rig.Vornix->WindPal().BtnPalLoadClick();

        const QRgb after = anim.ImgAnim->Surface.pixel(0, anim.ImgAnim->Surface.height() - 1);
        QCOMPARE(after, qRgb(10, 200, 30));
        QVERIFY(after != before);
        QCOMPARE(anim.ColourTable()[index], qRgb(10, 200, 30));
    }

    void itFollowsThePaneAndStopsWhenThePaneIsEmptied()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        TWindFrame& frames = rig.Frames();
        frames.PlayAnimation(frames.ListLeft);
        TWindAnim& anim = rig.Anim();
        QCOMPARE(anim.State.Pass.size(), size_t(3));

        // A new frame after the last one reaches the next pass, not this one.
        frames.ListLeft->setCurrentRow(4);
        frames.BtnLNewClick();
        const FrameSlotRef added = rig.LeftSlot(5);
        QVERIFY(added);
        anim.TimerTick();
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(4));
        anim.TimerTick();
        // The pass ends before the new frame.
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        anim.TimerTick();
        anim.TimerTick();
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), added);

        // A frame moved first shows first from the next pass on.
        frames.ListLeft->setCurrentRow(4);
        frames.BtnLFirstClick();
        const FrameSlotRef moved = rig.LeftSlot(1);
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), moved);

        // A frame deleted is passed over at once.
        frames.ListLeft->setCurrentRow(3);
        const FrameSlotRef deleted = rig.LeftSlot(3);
        frames.BtnLDeleteClick();
        anim.TimerTick();
        QVERIFY(anim.State.Current() != deleted);
        QVERIFY(anim.State.Current() && anim.State.Current()->Frame);

        // Closing the CEL empties the pane: play stops with nothing shown.
        rig.Main().ListCEL->setCurrentRow(0);
        rig.Main().BtnCloseClick();
        QVERIFY(!anim.State.Showing());
        QVERIFY(!anim.Timer->isActive());
        QVERIFY(anim.ImgAnim->isHidden());
        anim.TimerTick();
        anim.BtnForwardClick();
        QVERIFY(!anim.State.Showing());
    }

    void anotherCELInThePaneStopsIt()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed("a.cel");
        rig.OpenMixed("b.cel");
        rig.SendLeft(0);
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        TWindAnim& anim = rig.Anim();
        QVERIFY(anim.State.Showing());
        rig.SendLeft(1);
        QVERIFY(!anim.State.Showing());
        QVERIFY(!anim.Timer->isActive());
        // The right pane's changes leave a player of the left pane alone.
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        rig.SendRight(0);
        QVERIFY(anim.State.Showing());
    }

    void speedLoopAndPlayControlTheTimer()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        TWindAnim& anim = rig.Anim();
        anim.SpinSpeed->setValue(30);
        QCOMPARE(anim.Timer->interval(), 33);
        anim.SpinSpeed->setValue(100);
        QCOMPARE(anim.SpinSpeed->value(), 60);
        QCOMPARE(anim.Timer->interval(), 17);

        anim.CheckLoop->setChecked(false);
        anim.TimerTick();
        anim.TimerTick();
        QCOMPARE(anim.State.Current(), rig.LeftSlot(4));
        anim.TimerTick();
        // Without looping it stays on the last.
        QCOMPARE(anim.State.Current(), rig.LeftSlot(4));
        QVERIFY(!anim.Timer->isActive());
        QCOMPARE(anim.BtnPlay->text(), QString("Play"));
        // Play after the end starts again from the first frame.
        QTest::mouseClick(anim.BtnPlay, Qt::LeftButton);
        QVERIFY(anim.Timer->isActive());
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        QTest::mouseClick(anim.BtnPlay, Qt::LeftButton);
        QVERIFY(!anim.Timer->isActive());
        anim.TimerTick();
        // A paused player does not move.
        QCOMPARE(anim.State.Current(), rig.LeftSlot(1));
        // Closing the window stops it.
        QTest::mouseClick(anim.BtnPlay, Qt::LeftButton);
        anim.close();
        QVERIFY(!anim.Timer->isActive());
    }

    // "Save as GIF..." writes what plays: the pane's frames that can be shown, at the speed,
    // zoom and loop set, in the colours shown; the GIF then comes back in through Import.
    void saveAsGIFWritesWhatPlaysAndImportReadsItsFirstFrame()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed();
        TWindAnim& anim = rig.Anim();
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        anim.SpinSpeed->setValue(20);
        anim.SpinZoom->setValue(3);
        anim.CheckLoop->setChecked(false);
        QVERIFY(anim.BtnSaveGIF->isEnabled());
        QCOMPARE(anim.BtnSaveGIF->text(), QString("Save as GIF..."));

        // Cancelled: nothing written, nothing said.
        rig.Script.FileAnswers.push_back(std::nullopt);
        QTest::mouseClick(anim.BtnSaveGIF, Qt::LeftButton);
        const FileDialogOptions& options = rig.Script.FileDialogs.back();
        QCOMPARE(options.Filter, QString("GIF image|*.gif"));
        QCOMPARE(options.DefaultExtension, QString("gif"));

        const std::string path = rig.File("walk.gif");
        rig.Script.FileAnswers.push_back(QString::fromStdString(path));
        QTest::mouseClick(anim.BtnSaveGIF, Qt::LeftButton);
        QVERIFY(rig.Script.Messages.empty());
        QFile file(QString::fromStdString(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        const std::vector<uint8_t> gif(bytes.begin(), bytes.end());
        // Read back with the colours shown (the grey ramp) and every entry allowed, each frame
        // must be the window's own drawing of it.
        PaletteModel shown;
        for (int i = 0; i < 256; ++i)
            shown.Palette[size_t(i)] = uint32_t(qRed(anim.ColourTable()[i]))
                | uint32_t(qGreen(anim.ColourTable()[i])) << 8
                | uint32_t(qBlue(anim.ColourTable()[i])) << 16;
        shown.WholePalette = true;
        std::vector<Bitmap> frames;
        QCOMPARE(DecodeGIF(gif, shown, [&](const Bitmap& canvas) {
            frames.push_back(canvas);
            return true;
        }), uint8_t(BitmapOK));
        QCOMPARE(frames.size(), size_t(3)); // frame 1 of the pane cannot be shown
        anim.State.Begin({ rig.LeftSlot(1), rig.LeftSlot(2), rig.LeftSlot(3), rig.LeftSlot(4) });
        for (const Bitmap& frame : frames) {
            std::vector<uint8_t> drawn;
            uint32_t width = 0, height = 0;
            anim.State.Render(drawn, width, height); // top row first, at 3x
            QCOMPARE(frame.BitmapWidth, width);
            QCOMPARE(frame.BitmapHeight, height);
            for (uint32_t y = 0; y < height; ++y)
                QVERIFY(std::equal(drawn.begin() + y * width, drawn.begin() + (y + 1) * width,
                    frame.BitmapPixels.begin() + (height - 1 - y) * width));
            anim.State.StepForward({}, false);
        }
        // 20 frames a second and played once: delays of 5 hundredths, no loop block.
        QVERIFY(bytes.contains(QByteArray("\x21\xF9\x04\x09\x05\x00\xFF", 7)));
        QVERIFY(!bytes.contains("NETSCAPE2.0"));
        anim.CheckLoop->setChecked(true);
        rig.Script.FileAnswers.push_back(QString::fromStdString(path));
        anim.BtnSaveGIFClick();
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("NETSCAPE2.0"));

        // A directory that does not exist: the usual message, no file.
        rig.Script.FileAnswers.push_back(QString::fromStdString(rig.File("none/x.gif")));
        anim.BtnSaveGIFClick();
        ExpectOnlyError(rig.Script, "Cannot write file");

        // Import (and a drop on "View Frame") read the first frame, zoom and all.
        rig.Script.Messages.clear();
        rig.App().Pal.Palette = shown.Palette; // Import matches against the palette
        rig.App().Pal.WholePalette = true;
        rig.SelectLeft(3);
        rig.Script.FileAnswers.push_back(QString::fromStdString(path));
        rig.Vornix->WindView().BtnImpFrClick();
        QVERIFY(rig.Script.Messages.empty());
        QCOMPARE(rig.Script.FileDialogs.back().Filter,
            QString("Bitmap|*.bmp|PNG image|*.png|GIF image|*.gif"));
        QCOMPARE(rig.App().View.ImageWidth, frames[0].BitmapWidth);
        QCOMPARE(rig.App().View.ImageHeight, frames[0].BitmapHeight);
        QVERIFY(rig.App().View.FrameImage == frames[0].BitmapPixels);

        // With the pane emptied there is nothing to save.
        rig.Main().ListCEL->setCurrentRow(0);
        rig.Main().BtnCloseClick();
        QVERIFY(!anim.BtnSaveGIF->isEnabled());
        anim.BtnSaveGIFClick();
        QVERIFY(rig.Script.AllAnswersUsed());
    }

    void ctrlPPlaysThePaneThatHasTheFocus()
    {
        Rig rig;
        rig.Start();
        rig.OpenMixed("a.cel");
        rig.OpenMixed("b.cel");
        rig.SendLeft(0);
        rig.SendRight(1);
        TWindFrame& frames = rig.Frames();
        frames.show();
        frames.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frames));
        frames.ListRight->setFocus();
        QTest::keyClick(frames.ListRight, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(rig.Anim().isVisible());
        QVERIFY(!rig.Anim().PlaysLeftPane());
        QCOMPARE(rig.Anim().State.Current(), frames.RightPane.SlotAt(1));
        frames.ListLeft->setFocus();
        QTest::keyClick(frames.ListLeft, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(rig.Anim().PlaysLeftPane());
    }
};

QTEST_MAIN(AnimWndTest)
#include "AnimWndTest.moc"
