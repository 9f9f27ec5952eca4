// Window tests of the palette: creation with and without settings, the colour cells and their
// hints, palette files and their messages, colour editing, picking, the reserved colours, and
// Replace / Exchange on the viewed image.

#include <fstream>
#include <memory>
#include <random>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/AppContext.h"
#include "gui/ViewPalFixtures.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"
#include "viewer/ViewerWnd.h"

namespace {

struct Env : ViewPalRig {
    explicit Env(const QByteArray& settings = {})
        : ViewPalRig(settings)
    {
    }

    QString Path(const char* name) const { return dir.filePath(name); }

    void Write(const char* name, const QByteArray& bytes) const
    {
        std::ofstream out(Path(name).toStdString(), std::ios::binary);
        out.write(bytes.data(), bytes.size());
    }

    QByteArray Read(const char* name) const
    {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // An image in view, as the frame lists put it there.
    void Show(uint32_t width, uint32_t height, const DataArray& pixels)
    {
        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        app->View.ViewedFrame = slot;
        app->View.FrameImage = pixels;
        app->View.ImageWidth = width;
        app->View.ImageHeight = height;
        view->RedrawView(true);
    }

    QColor CellCentre(int i) const
    {
        return pal->PalCells[size_t(i)]->grab().toImage().pixelColor(7, 7);
    }
    QColor CellEdge(int i) const
    {
        return pal->PalCells[size_t(i)]->grab().toImage().pixelColor(0, 0);
    }
};

// 768 bytes: triplet n is (n, 2n, 255 - n), the last triplet as given.
QByteArray PaletteBytes(uint8_t lastRed = 1, uint8_t lastGreen = 2, uint8_t lastBlue = 3)
{
    QByteArray b;
    for (int n = 0; n < 255; ++n) {
        b.append(char(n));
        b.append(char((2 * n) & 0xFF));
        b.append(char(255 - n));
    }
    b.append(char(lastRed));
    b.append(char(lastGreen));
    b.append(char(lastBlue));
    return b;
}

uint32_t Colour(int r, int g, int b)
{
    return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

} // namespace

class PalWndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void createsWithoutSettingsFile();
    void createsFromSettingsFile();
    void cellsHintsAndOutlines();
    void loadMessagesAndRoundTrip();
    void saveMessages();
    void colourEditChangesTheViewer();
    void browseFillsTheFileName();
    void colourOperationButtonsFormAGroup();
    void replaceAndExchange();
    void reservedColours();
    void uncheckingWholePalette();
};

void PalWndTest::createsWithoutSettingsFile()
{
    Env env;
    TWindPal& p = *env.pal;
    QCOMPARE(p.windowTitle(), QString("Palette"));
    QCOMPARE(p.size(), QSize(256, 361));
    QCOMPARE(p.pos(), QPoint(558, 118));
    QCOMPARE(env.app->WindPal, &p);
    QVERIFY(p.EditPalFile->text().isEmpty());
    QVERIFY(!p.CheckPalWhole->isChecked());
    QVERIFY(!env.app->Pal.WholePalette);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x7F);
    QCOMPARE(env.app->Pal.Palette[255], 0u);
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));
    QVERIFY(env.dialogs.Messages.empty());
    QCOMPARE(p.PalCells[255]->toolTip(), QString("FF (255): (0; 0; 0)"));
    QVERIFY(p.PalCells[0]->toolTip().isEmpty());
    QVERIFY(p.PalCells[0xFE]->toolTip().isEmpty());
    QCOMPARE(p.BtnPalSelect->text(), QString("Browse..."));
    QCOMPARE(p.BtnRepl->geometry(), QRect(8, 328, 113, 25));
    QCOMPARE(p.BtnExch->text(), QString("Exchange"));
    QCOMPARE(p.CheckPalWhole->text(), QString("Use whole palette"));
    QVERIFY(p.BtnRepl->isCheckable() && p.BtnExch->isCheckable());
    QVERIFY(p.windowFlags() & Qt::Tool);
}

void PalWndTest::createsFromSettingsFile()
{
    {
        QTemporaryDir palDir;
        const QString palFile = palDir.filePath("game.pal");
        {
            std::ofstream out(palFile.toStdString(), std::ios::binary);
            const QByteArray bytes = PaletteBytes();
            out.write(bytes.data(), bytes.size());
        }
        Env env("Palette = " + palFile.toUtf8()
            + "\r\nTransparent = 4278190335\r\nPalLeft = -7\r\nPalTop = 30\r\n"
              "WholePal = 1\r\nSelCol = 300\r\n");
        QCOMPARE(env.pal->EditPalFile->text(), palFile);
        // Stored as read, top byte included; the file leaves it alone.
        QCOMPARE(env.app->Pal.Palette[255], 4278190335u);
        QCOMPARE(env.pal->pos(), QPoint(-7, 30));
        QVERIFY(env.pal->CheckPalWhole->isChecked());
        QVERIFY(env.app->Pal.WholePalette);
        QCOMPARE(int(env.app->Pal.SelectedColour), 44);
        QCOMPARE(env.pal->PalCells[44]->Outline(), 255u);
        QCOMPARE(env.app->Pal.Palette[10], Colour(10, 20, 245));
        QCOMPARE(env.pal->PalCells[10]->toolTip(), QString("0A (10): (10; 20; 245)"));
        // The load was handed to the viewer.
        QCOMPARE(env.view->ColourTable()[10], qRgb(10, 20, 245));
        QVERIFY(env.dialogs.Messages.empty());
    }
    {
        // Without the option the selection is raised to 7F; a missing palette file is told.
        Env env("Palette = nowhere.pal\r\nSelCol = 300\r\n");
        QCOMPARE(int(env.app->Pal.SelectedColour), 0x7F);
        QCOMPARE(env.app->Pal.Palette[255], 16777215u);
        ExpectOnlyError(env.dialogs, "Cannot open palette file");
        QCOMPARE(env.pal->PalCells[0x7F]->Outline(), 255u);
        QCOMPARE(env.pal->PalCells[44]->Outline(), 0u);
        // Cells start in the transparent colour.
        QCOMPARE(env.CellCentre(3), QColor(255, 255, 255));
        QCOMPARE(env.CellEdge(0x7F), QColor(255, 0, 0));
        QCOMPARE(env.CellEdge(3), QColor(0, 0, 0));
    }
    {
        Env env("SelCol = 200\r\n");
        QCOMPARE(int(env.app->Pal.SelectedColour), 200);
    }
}

void PalWndTest::cellsHintsAndOutlines()
{
    Env env;
    for (int i : { 0, 1, 15, 16, 0x7F, 0xFF }) {
        QCOMPARE(
            env.pal->PalCells[size_t(i)]->geometry(), QRect((i % 16) * 16, (i / 16) * 16, 15, 15));
    }
    const QByteArray bytes = PaletteBytes();
    env.Write("p.pal", bytes);
    env.pal->EditPalFile->setText(env.Path("p.pal"));
    QTest::mouseClick(env.pal->BtnPalLoad, Qt::LeftButton);
    QVERIFY(env.dialogs.Messages.empty());
    for (int n = 0; n < 255; ++n) {
        const QString hint = QString("%1 (%2): (%3; %4; %5)")
                                 .arg(n, 2, 16, QChar('0'))
                                 .toUpper()
                                 .arg(n)
                                 .arg(n)
                                 .arg((2 * n) & 0xFF)
                                 .arg(255 - n);
        QCOMPARE(env.pal->PalCells[size_t(n)]->toolTip(), hint);
    }
    QCOMPARE(env.CellCentre(0x90), QColor(0x90, 0x20, 255 - 0x90));
    // The selection outline moves with a right click on a cell.
    QTest::mouseClick(env.pal->PalCells[0xA0], Qt::RightButton);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0xA0);
    QCOMPARE(env.CellEdge(0xA0), QColor(255, 0, 0));
    QCOMPARE(env.CellEdge(0x7F), QColor(0, 0, 0));
    QCOMPARE(env.CellCentre(0xA0), QColor(0xA0, 0x40, 255 - 0xA0));
    // Other buttons do nothing.
    QTest::mouseClick(env.pal->PalCells[0xB0], Qt::MiddleButton);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0xA0);
    QVERIFY(env.dialogs.ColourRequests.empty());
}

void PalWndTest::loadMessagesAndRoundTrip()
{
    Env env;
    env.Write("good.pal", PaletteBytes(9, 9, 9));
    env.Write("short.pal", PaletteBytes().left(767));
    env.Write("long.pal", PaletteBytes() + QByteArray(1, '\0'));
    env.app->Pal.Palette[255] = 0x123456;
    env.app->Pal.SelectedColour = 0x99;

    struct Case {
        const char* file;
        const char* message;
    };
    const Case refusals[] = {
        { "missing.pal", "Cannot open palette file" },
        { "short.pal", "Palette file must be 768 bytes long" },
        { "long.pal", "Palette file must be 768 bytes long" },
    };
    const auto before = env.app->Pal.Palette;
    for (const Case& c : refusals) {
        env.dialogs.Messages.clear();
        env.pal->EditPalFile->setText(env.Path(c.file));
        const uint64_t redraws = env.view->RedrawCount;
        env.pal->BtnPalLoadClick();
        ExpectOnlyError(env.dialogs, c.message);
        QVERIFY(env.app->Pal.Palette == before);
        QCOMPARE(env.view->RedrawCount, redraws);
    }
    // An empty name does nothing and says nothing.
    env.dialogs.Messages.clear();
    env.pal->EditPalFile->clear();
    env.pal->BtnPalLoadClick();
    env.pal->BtnPalSaveClick();
    QVERIFY(env.dialogs.Messages.empty());

    // A last triplet that is not white loads without complaint and changes neither entry 255
    // nor the selection; saving writes FF FF FF there, and loading again gives entries 0 ... 254.
    env.pal->EditPalFile->setText(env.Path("good.pal"));
    env.pal->BtnPalLoadClick();
    QVERIFY(env.dialogs.Messages.empty());
    QCOMPARE(env.app->Pal.Palette[255], 0x123456u);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x99);
    QCOMPARE(env.app->Pal.Palette[200], Colour(200, 144, 55));
    const auto loaded = env.app->Pal.Palette;

    env.pal->EditPalFile->setText(env.Path("saved.pal"));
    QTest::mouseClick(env.pal->BtnPalSave, Qt::LeftButton);
    QVERIFY(env.dialogs.Messages.empty());
    const QByteArray saved = env.Read("saved.pal");
    QCOMPARE(saved.size(), 768);
    QCOMPARE(saved.left(765), PaletteBytes().left(765));
    QCOMPARE(saved.right(3), QByteArray(3, char(0xFF)));
    for (auto& entry : env.app->Pal.Palette)
        entry = 0;
    env.pal->BtnPalLoadClick();
    for (int n = 0; n < 255; ++n)
        QCOMPARE(env.app->Pal.Palette[size_t(n)], loaded[size_t(n)]);
}

void PalWndTest::saveMessages()
{
    Env env;
    env.pal->EditPalFile->setText(env.Path("no/such/folder/x.pal"));
    env.pal->BtnPalSaveClick();
    ExpectOnlyError(env.dialogs, "Cannot create palette file");
    QVERIFY(!QFile::exists(env.Path("no/such/folder/x.pal")));
}

void PalWndTest::colourEditChangesTheViewer()
{
    Env env;
    env.Show(2, 1, DataArray { 0xFF, 0x80 });
    const uint64_t redraws = env.view->RedrawCount;
    // The dialog opens on the entry; cancelling changes nothing.
    env.app->Pal.Palette[0x80] = Colour(1, 2, 3);
    env.dialogs.ColourAnswers.push_back(std::nullopt);
    QTest::mouseClick(env.pal->PalCells[0x80], Qt::LeftButton);
    QCOMPARE(env.dialogs.ColourRequests, (std::vector<uint32_t> { Colour(1, 2, 3) }));
    QCOMPARE(env.app->Pal.Palette[0x80], Colour(1, 2, 3));
    QCOMPARE(env.view->RedrawCount, redraws);
    QVERIFY(env.pal->PalCells[0x80]->toolTip().isEmpty());

    // Editing FF changes the transparent colour and how FF looks in the viewer at once.
    env.dialogs.ColourAnswers.push_back(Colour(10, 200, 30));
    QTest::mouseClick(env.pal->PalCells[0xFF], Qt::LeftButton);
    QCOMPARE(env.app->Pal.Palette[255], Colour(10, 200, 30));
    QCOMPARE(env.app->Pal.TransparentColour(), Colour(10, 200, 30));
    QCOMPARE(env.pal->PalCells[255]->toolTip(), QString("FF (255): (10; 200; 30)"));
    QCOMPARE(env.CellCentre(255), QColor(10, 200, 30));
    QCOMPARE(env.view->ColourTable()[255], qRgb(10, 200, 30));
    QCOMPARE(env.view->ImgView->Surface.color(255), qRgb(10, 200, 30));
    QCOMPARE(env.view->ImgView->grab().toImage().pixelColor(0, 0), QColor(10, 200, 30));
    QVERIFY(env.view->RedrawCount > redraws);

    // A reserved entry can be edited too; the outline keeps its colour.
    env.dialogs.ColourAnswers.push_back(Colour(5, 6, 7));
    env.pal->PalCellMouseDown(0x05, Qt::LeftButton);
    QCOMPARE(env.app->Pal.Palette[5], Colour(5, 6, 7));
    QCOMPARE(env.CellEdge(5), QColor(0, 0, 0));
    QCOMPARE(env.pal->PalCells[5]->toolTip(), QString("05 (5): (5; 6; 7)"));
}

void PalWndTest::browseFillsTheFileName()
{
    Env env;
    env.pal->EditPalFile->setText("old.pal");
    env.dialogs.FileAnswers.push_back(QString("/x/new.pal"));
    QTest::mouseClick(env.pal->BtnPalSelect, Qt::LeftButton);
    const FileDialogOptions& options = env.dialogs.FileDialogs.at(0);
    QCOMPARE(options.Filter, QString("Palette|*.pal"));
    QCOMPARE(options.DefaultExtension, QString("pal"));
    QCOMPARE(options.FileName, QString("old.pal"));
    QCOMPARE(env.pal->EditPalFile->text(), QString("/x/new.pal"));
    // Nothing is loaded.
    QVERIFY(env.dialogs.Messages.empty());
    env.dialogs.FileAnswers.push_back(std::nullopt);
    env.pal->BtnPalSelectClick();
    QCOMPARE(env.pal->EditPalFile->text(), QString("/x/new.pal"));
}

void PalWndTest::colourOperationButtonsFormAGroup()
{
    Env env;
    // With no frame in view both spring back.
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QVERIFY(!env.pal->BtnRepl->isChecked());
    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    QVERIFY(!env.pal->BtnExch->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));

    env.Show(2, 2, DataArray { 0x80, 0x81, 0x82, 0x83 });
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QVERIFY(env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpReplace));
    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    QVERIFY(!env.pal->BtnRepl->isChecked());
    QVERIFY(env.pal->BtnExch->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpExchange));
    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    QVERIFY(!env.pal->BtnExch->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));

    // And the other way round.
    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QVERIFY(!env.pal->BtnExch->isChecked());
    QVERIFY(env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpReplace));

    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    env.pal->RaiseColourOps();
    QVERIFY(!env.pal->BtnExch->isChecked() && !env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));
}

void PalWndTest::replaceAndExchange()
{
    Env env;
    const uint8_t a = 0x80, b = 0x90, c = 0xA0;
    std::mt19937 random(5);
    DataArray image(12 * 9);
    const uint8_t choices[] = { a, b, c, 0xFF, 0x10 };
    for (auto& p : image)
        p = choices[random() % 5];
    env.Show(12, 9, image);
    env.pal->PickColour(a);

    // Exchange swaps A and B everywhere; other pixels stay.
    QTest::mouseClick(env.pal->BtnExch, Qt::LeftButton);
    const uint64_t redraws = env.view->RedrawCount;
    QTest::mouseClick(env.pal->PalCells[b], Qt::RightButton);
    DataArray exchanged = image;
    for (auto& p : exchanged)
        p = p == a ? b : p == b ? a : p;
    QCOMPARE(env.app->View.FrameImage, exchanged);
    QVERIFY(!env.pal->BtnExch->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));
    QCOMPARE(env.view->RedrawCount, redraws + 1);
    // The selection and its outline stay where they were.
    QCOMPARE(int(env.app->Pal.SelectedColour), int(a));
    QCOMPARE(env.pal->PalCells[a]->Outline(), 255u);
    QCOMPARE(env.pal->PalCells[b]->Outline(), 0u);

    // Replace with the selected colour itself leaves the image and ends the operation.
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    env.pal->PickColour(a);
    QCOMPARE(env.app->View.FrameImage, exchanged);
    QVERIFY(!env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));

    // Replace A by C.
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    env.pal->PickColour(c);
    DataArray replaced = exchanged;
    for (auto& p : replaced)
        if (p == a)
            p = c;
    QCOMPARE(env.app->View.FrameImage, replaced);
    QCOMPARE(int(env.app->Pal.SelectedColour), int(a));

    // After an unsaved resize, Replace covers every pixel of the new image.
    env.view->EditFrWidth->setText("20");
    env.view->EditFrHeight->setText("11");
    env.view->BtnResizeClick();
    env.app->Pal.SelectedColour = 0xFF;
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    env.pal->PickColour(b);
    QCOMPARE(env.app->View.FrameImage.size(), size_t(220));
    for (uint8_t p : env.app->View.FrameImage)
        QVERIFY(p != 0xFF);
    QCOMPARE(int(env.app->View.FrameImage[0]), int(b));
}

void PalWndTest::reservedColours()
{
    Env env;
    const DataArray image = { 0x80, 0x10, 0x90, 0x7E };
    env.Show(2, 2, image);
    env.app->Pal.SelectedColour = 0x80;
    // Without the option a reserved pick does nothing, also with Replace pending.
    QTest::mouseClick(env.pal->PalCells[0x7E], Qt::RightButton);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x80);
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QTest::mouseClick(env.pal->PalCells[0x10], Qt::RightButton);
    QVERIFY(env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpReplace));
    QCOMPARE(env.app->View.FrameImage, image);
    // 7F is the first free colour.
    QTest::mouseClick(env.pal->PalCells[0x7F], Qt::RightButton);
    QCOMPARE(env.app->View.FrameImage, (DataArray { 0x7F, 0x10, 0x90, 0x7E }));
    // With the option on, reserved colours can be picked.
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    QVERIFY(env.app->Pal.WholePalette);
    QTest::mouseClick(env.pal->PalCells[0x10], Qt::RightButton);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x10);
}

void PalWndTest::uncheckingWholePalette()
{
    Env env("WholePal = 1\r\nSelCol = 5\r\n");
    QCOMPARE(int(env.app->Pal.SelectedColour), 5);
    // Nothing pending: the selection moves to 7F.
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    QVERIFY(!env.pal->CheckPalWhole->isChecked());
    QVERIFY(!env.app->Pal.WholePalette);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x7F);
    QCOMPARE(env.pal->PalCells[0x7F]->Outline(), 255u);
    QCOMPARE(env.pal->PalCells[5]->Outline(), 0u);

    // With Replace pending it completes the operation with 7F; the selection stays.
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    env.pal->PickColour(0x20);
    env.Show(2, 1, DataArray { 0x20, 0x90 });
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    QCOMPARE(env.app->View.FrameImage, (DataArray { 0x7F, 0x90 }));
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x20);
    QVERIFY(!env.pal->BtnRepl->isChecked());

    // Unchecking with a free colour selected changes nothing.
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    env.pal->PickColour(0x95);
    QTest::mouseClick(env.pal->CheckPalWhole, Qt::LeftButton);
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x95);
}

QTEST_MAIN(PalWndTest)
#include "PalWndTest.moc"
