#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "gui/ShellFixtures.h"

// The size fields of the viewer: what counts as incorrect input and what as an incorrect size,
// in the whole program with a frame shown from the left pane.
class ViewerWndSizeEntryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ShellRig> rig;

    TWindView& View() { return rig->Vornix->WindView(); }

    // Resizes with the two texts; returns the one message shown, or an empty text.
    QString Resize(const QString& width, const QString& height)
    {
        rig->Script.Messages.clear();
        View().EditFrWidth->setText(width);
        View().EditFrHeight->setText(height);
        View().BtnResize->click();
        if (rig->Script.Messages.empty())
            return QString();
        const ScriptedDialogs::Message& shown = rig->Script.Messages.back();
        if (rig->Script.Messages.size() != 1 || shown.Title != "Error"
            || shown.Icon != MessageIcon::Error)
            return "unexpected message box: " + shown.Title + ": " + shown.Text;
        return shown.Text;
    }

private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void init()
    {
        rig = std::make_unique<ShellRig>();
        QVERIFY(rig->Dir.isValid());
        rig->Start();
        const std::string path = rig->File("sizes.cel");
        QVERIFY(WriteCEL(path, { { 6, 4, "" } }, true, true));
        rig->Open(path);
        rig->SendLeft(0);
        rig->SelectLeft(1);
        QVERIFY(rig->App().View.ViewedFrame);
    }
    void cleanup() { rig.reset(); }

    void digitsBeyondEveryLimitAreAnIncorrectSizeNotIncorrectInput()
    {
        const DataArray before = rig->App().View.FrameImage;
        const QString huge = "99999999999"; // beyond a signed 32-bit number
        const QString endless = QString(300, '7'); // longer than any name or number field
        struct Case {
            QString Width;
            QString Height;
            QString Message;
        };
        const Case cases[] = {
            { huge, "4", "Incorrect sizes" }, { "6", huge, "Incorrect sizes" },
            { endless, "4", "Incorrect sizes" }, { "2147483648", "1", "Incorrect sizes" },
            { huge, "4x", "Incorrect input" }, // any non-digit text still wins
            { "x", huge, "Incorrect input" }, { huge, "", "Incorrect input" },
            { QString::fromUtf8("\u0663"), "4", "Incorrect input" }, // a digit, but not 0 to 9
        };
        for (const Case& c : cases) {
            QCOMPARE(Resize(c.Width, c.Height), c.Message);
            QCOMPARE(rig->App().View.ImageWidth, 6u);
            QCOMPARE(rig->App().View.ImageHeight, 4u);
            QCOMPARE(rig->App().View.FrameImage, before);
        }
        // A plain size still goes through, leading zeros included.
        QCOMPARE(Resize("003", "0002"), QString());
        QCOMPARE(rig->App().View.ImageWidth, 3u);
        QCOMPARE(rig->App().View.ImageHeight, 2u);
    }
};

QTEST_MAIN(ViewerWndSizeEntryTest)
#include "ViewerWndSizeEntryTest.moc"
