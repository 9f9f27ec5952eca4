#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QtTest>

#include "app/ListWnd.h"
#include "framelists/InputWnd.h"
#include "gui/ShellFixtures.h"
#include "palette/PalWnd.h"
#include "viewer/AnimWnd.h"

// Renders each of the seven windows of a working session into a PNG file, so that anyone can
// look at what the program shows: a CEL opened into both panes with a frame in view.
class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void everyWindowRendersIntoAPicture()
    {
        ShellRig rig;
        QVERIFY(rig.Dir.isValid());
        rig.Start();
        rig.Vornix->Show();

        std::string left = rig.File("hero.cel");
        std::string right = rig.File("items.cel");
        QVERIFY(WriteCEL(
            left, { { 32, 24, "stand" }, { 40, 30, "" }, { 24, 24, "jump" } }, true, true));
        QVERIFY(WriteCEL(right, { { 16, 16, "" }, { 20, 12, "key" } }, false, false));
        rig.Open(left);
        rig.Open(right, false);
        rig.SendLeft(0);
        rig.SendRight(1);
        rig.SelectRight(1);
        rig.SelectLeft(2);
        QCOMPARE(rig.ViewCaption(), QString("View Frame: #1 (L)"));
        // The animation of the left pane, on its second frame.
        rig.Frames().PlayAnimation(rig.Frames().ListLeft);
        rig.Vornix->WindAnim().TimerTick();

        QDir shots(VORNIX_SHOTS_DIR);
        QVERIFY(shots.mkpath("."));
        struct Shot {
            QWidget* Window;
            const char* File;
        };
        const Shot windows[] = {
            { &rig.Main(), "main.png" },
            { &rig.Vornix->WindView(), "viewer.png" },
            { &rig.Vornix->WindPal(), "palette.png" },
            { &rig.Frames(), "frames.png" },
            { &rig.Vornix->WindListGen(), "listgen.png" },
            { &rig.Vornix->WindInput(), "input.png" },
            { &rig.Vornix->WindAnim(), "animation.png" },
        };
        for (const Shot& shot : windows) {
            QString path = shots.filePath(shot.File);
            QFile::remove(path);
            QVERIFY2(shot.Window->grab().save(path, "PNG"), shot.File);
            QImage image(path);
            QVERIFY2(!image.isNull(), shot.File);
            QCOMPARE(image.size(), shot.Window->size() * shot.Window->devicePixelRatioF());
        }
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
