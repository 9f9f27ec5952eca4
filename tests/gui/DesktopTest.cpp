#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <QtTest>

#include "bitmaps/BMPHandler.h"
#include "bitmaps/GIFHandler.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"

// The program on the desktop: files dropped on its windows, files named on its command line,
// keyboard shortcuts, the mouse wheel over the viewer, and windows brought back onto a screen.
class DesktopTest : public QObject {
    Q_OBJECT

    // Drags files over target and drops them when the target takes the drag; returns whether
    // it took it.
    static bool Drop(QWidget* target, const QStringList& files)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    static void Wheel(QWidget* target, QPoint angle, Qt::KeyboardModifiers modifiers)
    {
        QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), angle,
            Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }

    static void Activate(QWidget& window)
    {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    // A width x height 8-bit BMP of pixels from seed; true when written.
    static bool WriteBMP(const std::string& path, uint32_t width, uint32_t height, uint8_t seed,
        const PaletteModel& palette)
    {
        Bitmap bitmap;
        bitmap.BitmapWidth = width;
        bitmap.BitmapHeight = height;
        for (uint32_t k = 0; k < width * height; ++k)
            bitmap.BitmapPixels.push_back(uint8_t(127 + (k * 13 + seed) % 128));
        return WriteBitmap(path, bitmap, palette, 8) == BitmapWritten;
    }

    static void WriteSettings(const ShellRig& rig, const QByteArray& text)
    {
        QFile file(QString::fromStdString(rig.File("Vornix.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static QStringList SettingsLines(const ShellRig& rig)
    {
        QFile file(QString::fromStdString(rig.File("Vornix.ini")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }

    void celFilesDroppedOnTheListOpenAsOpenDoes()
    {
        ShellRig rig;
        rig.Start();
        const std::string withDatabase = rig.File("hero.cel");
        const std::string without = rig.File("items.CEL");
        QVERIFY(WriteCEL(withDatabase, { { 8, 6, "stand" }, { 5, 5, "" } }, true, true));
        QVERIFY(WriteCEL(without, { { 4, 4, "" } }, false, false));
        const QString text = QString::fromStdString(rig.File("notes.txt"));
        QFile(text).open(QIODevice::WriteOnly);

        // Nothing that is not a CEL is taken.
        QVERIFY(!Drop(&rig.Main(), { text }));
        rig.Script.YesNoAnswers = { false };
        QVERIFY(Drop(&rig.Main(),
            { QString::fromStdString(withDatabase), text, QString::fromStdString(without) }));
        QCOMPARE(ItemTexts(rig.Main().ListCEL),
            QStringList({ QString::fromStdString(withDatabase), QString::fromStdString(without) }));
        // Only the file without a database asked the question.
        QCOMPARE(rig.Script.Questions.size(), size_t(1));
        QCOMPARE(rig.Script.Questions[0].Text, QString("Does this file contain Frame headers?"));
        QCOMPARE(rig.Script.Questions[0].Title, QString("Open CEL"));
        QCOMPARE(rig.Main().ListCEL->currentRow(), 1);
        QVERIFY(rig.Script.Messages.empty());

        // Dropped again: refused as Open refuses it. A file that cannot be read: the question,
        // then the error, and the list is unchanged.
        rig.Script.YesNoAnswers = { true };
        QVERIFY(Drop(&rig.Main(),
            { QString::fromStdString(withDatabase), QString::fromStdString(rig.File("gone.cel")) }));
        QCOMPARE(rig.Script.Messages.size(), size_t(2));
        QCOMPARE(rig.Script.Messages[0].Text, QString("File is already open"));
        QCOMPARE(rig.Script.Messages[1].Text, QString("An error occured"));
        QCOMPARE(rig.Main().ListCEL->count(), 2);
        QVERIFY(rig.Script.AllAnswersUsed());
    }

    void aBitmapDroppedOnTheViewerImportsAsImportDoes()
    {
        ShellRig rig;
        rig.Start();
        const std::string cel = rig.File("hero.cel");
        QVERIFY(WriteCEL(cel, { { 8, 6, "" }, { 5, 5, "" } }, true, true));
        rig.Open(cel);
        rig.SendLeft(0);
        const std::string bmp = rig.File("picture.bmp");
        QVERIFY(WriteBMP(bmp, 7, 3, 9, rig.App().Pal));
        TWindView& view = rig.Vornix->WindView();

        // With no frame in view a drop changes nothing.
        QVERIFY(Drop(&view, { QString::fromStdString(bmp) }));
        QVERIFY(!rig.App().View.HasFrame());

        rig.SelectLeft(1);
        QVERIFY(!Drop(&view, { QString::fromStdString(rig.File("notes.txt")) }));
        QVERIFY(Drop(&view, { QString::fromStdString(bmp) }));
        const CELFrame& dropped = *rig.Frames().LeftPane.SlotAt(1)->Frame;
        QCOMPARE(dropped.Width, 7u);
        QCOMPARE(dropped.Height, 3u);
        QCOMPARE(rig.App().View.ImageWidth, 7u);
        QCOMPARE(view.EditFrWidth->text(), QString("7"));
        QCOMPARE(view.EditFrHeight->text(), QString("3"));
        QCOMPARE(rig.Frames().ListLeft->item(1)->text(), QString::fromStdString(FrameCaption(0, dropped)));

        // The same file through "Import" gives the same frame.
        rig.SelectLeft(2);
        rig.Script.FileAnswers.push_back(QString::fromStdString(bmp));
        view.BtnImpFrClick();
        const CELFrame& imported = *rig.Frames().LeftPane.SlotAt(2)->Frame;
        QCOMPARE(imported.Width, dropped.Width);
        QCOMPARE(imported.Height, dropped.Height);
        QVERIFY(imported.Data == dropped.Data);
        QVERIFY(rig.Script.Messages.empty());

        // A file that is no bitmap is told of as Import tells of it.
        const std::string fake = rig.File("fake.bmp");
        QFile file(QString::fromStdString(fake));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a bitmap");
        file.close();
        QVERIFY(Drop(&view, { QString::fromStdString(fake) }));
        ExpectOnlyError(rig.Script, "File has unsupported format");
        QCOMPARE(rig.Frames().LeftPane.SlotAt(2)->Frame->Width, 7u);

        // A GIF is taken by its first frame, on its whole canvas.
        const std::string gif = rig.File("walk.gif");
        const Bitmap small { 2, 3, DataArray(6, 0x90) }, wide { 5, 1, DataArray(5, 0xA0) };
        rig.App().Pal.Palette[0x90] = 0x102030;
        rig.App().Pal.Palette[0xA0] = 0x405060;
        rig.App().Pal.Palette[0xFF] = 0xFFFFFF;
        QCOMPARE(WriteGIF(gif, std::vector<Bitmap> { small, wide }, rig.App().Pal, {}),
            uint8_t(BitmapWritten));
        QVERIFY(Drop(&view, { QString::fromStdString(gif) }));
        QCOMPARE(rig.App().View.ImageWidth, 5u);
        QCOMPARE(rig.App().View.ImageHeight, 3u);
        QCOMPARE(rig.Script.Messages.size(), size_t(1)); // the one above
    }

    void aFileDroppedOnThePaletteWindowIsLoadedAsLoadDoes()
    {
        ShellRig rig;
        rig.Start();
        QByteArray bytes(768, '\0');
        bytes[3 * 40] = char(250);
        bytes[3 * 40 + 1] = char(5);
        const QString good = QString::fromStdString(rig.File("fire.pal"));
        QFile file(good);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        TWindPal& pal = rig.Vornix->WindPal();
        QVERIFY(Drop(&pal, { good }));
        QCOMPARE(pal.EditPalFile->text(), good);
        QCOMPARE(rig.App().Pal.Palette[40], 250u + 256u * 5u);
        QVERIFY(rig.Script.Messages.empty());

        const QString wrong = QString::fromStdString(rig.File("short.pal"));
        QFile shortFile(wrong);
        QVERIFY(shortFile.open(QIODevice::WriteOnly));
        shortFile.write(bytes.left(700));
        shortFile.close();
        QVERIFY(Drop(&pal, { wrong }));
        QCOMPARE(pal.EditPalFile->text(), wrong);
        ExpectOnlyError(rig.Script, "Palette file must be 768 bytes long");
        QCOMPARE(rig.App().Pal.Palette[40], 250u + 256u * 5u);
    }

    void commandLineFilesOpenAfterTheStoredUnnamedCELs()
    {
        ShellRig rig;
        QVERIFY(QDir(rig.Dir.path()).mkpath("Unnamed"));
        QVERIFY(WriteCEL(rig.File("Unnamed/0.cel"), { { 4, 4, "" } }, false, false));
        WriteSettings(rig, "Unnamed = 1\r\nUnnHH0 = 0\r\n");
        QVERIFY(WriteCEL(rig.File("walk.cel"), { { 6, 6, "" } }, true, true));
        QVERIFY(WriteCEL(rig.File("run.cel"), { { 6, 6, "" } }, false, false));
        rig.Start();
        rig.Script.YesNoAnswers = { false };
        // A name relative to the start folder, an absolute one, and the first again.
        rig.Vornix->OpenFiles({ "walk.cel", rig.File("run.cel"), rig.File("walk.cel") });
        QCOMPARE(ItemTexts(rig.Main().ListCEL),
            QStringList({ "<New> #0", QString::fromStdString(rig.File("walk.cel")),
                QString::fromStdString(rig.File("run.cel")) }));
        QCOMPARE(rig.Script.Questions.size(), size_t(1));
        ExpectOnlyError(rig.Script, "File is already open");
        QCOMPARE(rig.App().NewCELCount, 1u);
    }

    void cl2AndGroupedFilesOpenFromDropsAndTheCommandLine()
    {
        ShellRig rig;
        QVERIFY(WriteSprite(
            rig.File("walk.cl2"), { { { 6, 40, "" } } }, FrameCoding::CL2, true, false));
        QVERIFY(WriteSprite(rig.File("unit.CL2"), { { { 4, 4, "" } }, { { 5, 5, "" } } },
            FrameCoding::CL2, true, false));
        QVERIFY(WriteSprite(rig.File("dirs.cel"), { { { 4, 4, "" } }, { { 5, 5, "" } } },
            FrameCoding::CEL, true, false));
        rig.Start();
        rig.Script.YesNoAnswers = { true };
        rig.Vornix->OpenFiles({ "walk.cl2", "dirs.cel" });
        QVERIFY(Drop(&rig.Main(), { QString::fromStdString(rig.File("unit.CL2")) }));
        const QString dirs = QString::fromStdString(rig.File("dirs.cel"));
        const QString unit = QString::fromStdString(rig.File("unit.CL2"));
        QCOMPARE(ItemTexts(rig.Main().ListCEL),
            QStringList({ QString::fromStdString(rig.File("walk.cl2")), dirs + " [0]",
                dirs + " [1]", unit + " [0]", unit + " [1]" }));
        // Only the grouped CEL asked; the CL2 files never do.
        QCOMPARE(rig.Script.Questions.size(), size_t(1));
        QVERIFY(rig.Script.Messages.empty());
    }

    void theCELListShortcutsRunTheButtonsHandlers()
    {
        ShellRig rig;
        rig.Start();
        TMain& main = rig.Main();
        Activate(main);
        QTest::keyClick(&main, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(ItemTexts(main.ListCEL), QStringList({ "<New> #0" }));
        QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier);
        ExpectOnlyError(rig.Script, "CEL is not assigned to a file");
        rig.Script.FileAnswers.push_back(std::nullopt);
        QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(rig.Script.FileDialogs.size(), size_t(1));
        QCOMPARE(rig.Script.FileDialogs[0].Title, QString("Save CEL file"));
        const std::string cel = rig.File("hero.cel");
        QVERIFY(WriteCEL(cel, { { 8, 6, "" } }, true, true));
        rig.Script.FileAnswers.push_back(QString::fromStdString(cel));
        QTest::keyClick(&main, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(rig.Script.FileDialogs.back().Title, QString("Open CEL file"));
        QCOMPARE(main.ListCEL->count(), 2);
        QVERIFY(rig.Script.AllAnswersUsed());
    }

    void theViewerZoomsByKeysAndByCtrlWheel()
    {
        ShellRig rig;
        rig.Start();
        TWindView& view = rig.Vornix->WindView();
        Activate(view);
        QTest::keyClick(&view, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 1);
        QCOMPARE(rig.App().View.Zoom, uint8_t(2));
        QTest::keyClick(&view, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 2);
        QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 1);
        QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 0);
        view.ComboZoom->setCurrentIndex(7);
        QTest::keyClick(&view, Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 7);

        Wheel(view.ImgView, QPoint(0, -120), Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 6);
        Wheel(view.ImgView, QPoint(0, 240), Qt::ControlModifier);
        QCOMPARE(view.ComboZoom->currentIndex(), 7);
        QCOMPARE(rig.App().View.Zoom, uint8_t(8));
    }

    void aWheelNotchScrollsATenthOfTheViewThroughTheBars()
    {
        ShellRig rig;
        rig.Start();
        const std::string cel = rig.File("big.cel");
        QVERIFY(WriteCEL(cel, { { 126, 160, "" } }, true, true));
        rig.Open(cel);
        rig.SendLeft(0);
        rig.SelectLeft(1);
        TWindView& view = rig.Vornix->WindView();
        view.ComboZoom->setCurrentIndex(7);
        const ViewerState& state = rig.App().View;
        QVERIFY(view.ScrViewV->isEnabled());
        QVERIFY(view.ScrViewH->isEnabled());
        // The arrows and pages keep their steps of one pixel.
        QCOMPARE(view.ScrViewV->singleStep(), 1);
        QCOMPARE(view.ScrViewH->pageStep(), 1);

        const uint64_t redraws = view.RedrawCount;
        Wheel(view.ImgView, QPoint(0, -120), Qt::NoModifier);
        QCOMPARE(view.ScrViewV->value(), state.ViewAreaHeight / 10);
        QCOMPARE(state.ScrollV, state.ViewAreaHeight / 10);
        QVERIFY(view.RedrawCount > redraws); // the bar's change handler ran
        Wheel(view.ScrViewV, QPoint(0, -240), Qt::NoModifier);
        QCOMPARE(view.ScrViewV->value(), 3 * (state.ViewAreaHeight / 10));
        Wheel(view.ImgView, QPoint(0, 120 * 10), Qt::NoModifier);
        QCOMPARE(view.ScrViewV->value(), 0);

        Wheel(view.ImgView, QPoint(0, -120), Qt::ShiftModifier);
        QCOMPARE(view.ScrViewH->value(), state.ViewAreaWidth / 10);
        QCOMPARE(state.ScrollH, state.ViewAreaWidth / 10);
        // A sideways wheel scrolls across too; half notches add up.
        Wheel(view.ImgView, QPoint(-60, 0), Qt::NoModifier);
        QCOMPARE(view.ScrViewH->value(), state.ViewAreaWidth / 10);
        Wheel(view.ImgView, QPoint(-60, 0), Qt::NoModifier);
        QCOMPARE(view.ScrViewH->value(), 2 * (state.ViewAreaWidth / 10));
        QCOMPARE(view.ScrViewV->value(), 0);
    }

    void aWindowOffEveryScreenIsMovedOnAndTheSettingsFollowIt()
    {
        ShellRig rig;
        WriteSettings(rig, "PalLeft = 2500\r\nPalTop = 118\r\nViewLeft = 1700\r\nViewTop = 143\r\n");
        rig.Start();
        TWindPal& pal = rig.Vornix->WindPal();
        TWindView& view = rig.Vornix->WindView();
        QCOMPARE(pal.x(), 2500);
        rig.Vornix->KeepWindowsOnScreen({ { 0, 0, 1920, 1080 } });
        QCOMPARE(pal.x(), 1920 - (pal.width() + FrameExtraWidth));
        QCOMPARE(pal.y(), 118);
        // Reachable places stay exactly as read.
        QCOMPARE(view.x(), 1700);
        QCOMPARE(rig.Main().x(), 183);
        QCOMPARE(rig.Frames().x(), 663);
        const int movedTo = pal.x();
        rig.Main().FormClose();
        const QStringList lines = SettingsLines(rig);
        QVERIFY(lines.contains(QString("PalLeft = %1").arg(movedTo)));
        QVERIFY(lines.contains("PalTop = 118"));
        QVERIFY(lines.contains("ViewLeft = 1700"));
        QVERIFY(lines.contains("MainLeft = 183"));
    }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
