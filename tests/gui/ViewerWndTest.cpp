// Window tests of the viewer: creation with and without settings, zoom and scrolling, drawing
// and picking with synthesised mouse events, resize, shifts, Save Frame, import and export.

#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "app/AppContext.h"
#include "bitmaps/PNGHandler.h"
#include "app/GuiApp.h"
#include "framelists/FrameWnd.h"
#include "gui/ViewPalFixtures.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "viewer/GuiViewSurface.h"
#include "viewer/ViewerWnd.h"

namespace {

using Pixel = std::pair<int32_t, int32_t>; // column, row from the bottom

// Windows of one test, with the viewer's own ways to show an image and to find its pixels.
struct Env : ViewPalRig {
    explicit Env(const QByteArray& settings = {})
        : ViewPalRig(settings)
    {
    }

    std::string File(const char* name) const { return dir.filePath(name).toStdString(); }

    // Puts an image in view as the frame lists do: the frame holds the coded image, the
    // viewer its pixels, and the viewer is redrawn with relayout.
    FrameSlotRef Show(uint32_t width, uint32_t height, const DataArray& pixels)
    {
        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        slot->Frame->SetSize(width, height);
        slot->Frame->EncodeImage(pixels);
        slot->Frame->AnalyseData();
        for (uint32_t i = 0; i < slot->Frame->WidthCount; ++i)
            if (slot->Frame->Widths[i] == width)
                slot->Frame->SelectWidth(i);
        app->View.ViewedFrame = slot;
        app->View.FrameImage = pixels;
        app->View.ImageWidth = width;
        app->View.ImageHeight = height;
        view->RedrawView(true);
        return slot;
    }

    // Centre of an image pixel on the surface, for the present zoom and scroll positions.
    QPoint At(int32_t column, int32_t row) const
    {
        const int z = app->View.Zoom;
        return QPoint(column * z + z / 2 - view->ScrViewH->value(),
            (int(app->View.ImageHeight) - 1 - row) * z + z / 2 - view->ScrViewV->value());
    }

    uint8_t Pixel(int32_t column, int32_t row) const
    {
        return app->View.FrameImage[size_t(row) * app->View.ImageWidth + size_t(column)];
    }
};

DataArray Filled(uint32_t width, uint32_t height, uint8_t value)
{
    return DataArray(size_t(width) * height, value);
}

DataArray Random(uint32_t width, uint32_t height, uint32_t seed, int low = 0x7F, int high = 0xFF)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> colour(low, high);
    DataArray pixels(size_t(width) * height);
    for (auto& p : pixels)
        p = uint8_t(colour(random));
    return pixels;
}

// The pixels that differ between two images of the same size.
std::set<Pixel> Changed(const DataArray& before, const DataArray& after, uint32_t width)
{
    std::set<Pixel> changed;
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i] != after[i])
            changed.insert({ int32_t(i % width), int32_t(i / width) });
    return changed;
}

void Put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

void Put32(QByteArray& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

// An uncompressed BMP built byte by byte; bits 8 takes indices and a colour table, bits 24
// takes colours (red low byte).
QByteArray MakeBmp(uint32_t width, uint32_t height, int bits, const std::vector<uint32_t>& values,
    const std::array<uint32_t, 256>& table)
{
    const uint32_t rowSize = (uint32_t(bits) * width / 8 + 3) / 4 * 4;
    const uint32_t offset = bits == 8 ? 1078 : 54;
    QByteArray b("BM");
    Put32(b, offset + rowSize * height);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, bits);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    if (bits == 8)
        for (uint32_t c : table) {
            b.append(char((c >> 16) & 0xFF));
            b.append(char((c >> 8) & 0xFF));
            b.append(char(c & 0xFF));
            b.append(char(0));
        }
    for (uint32_t y = 0; y < height; ++y) {
        QByteArray row;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = values[size_t(y) * width + x];
            if (bits == 8) {
                row.append(char(v));
            } else {
                row.append(char((v >> 16) & 0xFF));
                row.append(char((v >> 8) & 0xFF));
                row.append(char(v & 0xFF));
            }
        }
        row.append(QByteArray(int(rowSize) - row.size(), '\0'));
        b.append(row);
    }
    return b;
}

void WriteFile(const std::string& path, const QByteArray& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), bytes.size());
}

QByteArray Bytes(std::initializer_list<uint32_t> values)
{
    QByteArray b;
    for (uint32_t v : values)
        b.append(char(v & 0xFF));
    return b;
}

QByteArray ReadFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

uint32_t Get32(const QByteArray& b, int at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b[at + i]);
    return v;
}

// A palette whose entries 7F ... FE all differ from each other and from entry FF.
void DistinctPalette(PaletteModel& pal)
{
    for (uint32_t i = 0; i < 255; ++i)
        pal.Palette[i] = i | ((255 - i) << 8) | ((i * 7 % 256) << 16);
    pal.Palette[255] = 0x00FF00FF;
}

} // namespace

class ViewerWndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QuietOffscreenRaise(); }
    void createsWithoutSettingsFile();
    void createsFromSettingsFile();
    void zoomSetsSurfaceAndScrollMaxima();
    void surfaceMatchesImageAtEveryZoomAndScroll();
    void windowResizeRelaysOutOnlyWhenNeeded();
    void noFrameHidesImageAndRaisesColourOps();
    void strokesFollowTheirDirection();
    void stillPointerDrawsNothing();
    void drawingStopsOnReleaseAndIgnoresOutside();
    void rightButtonPicksColours();
    void rightDragWithReplacePending();
    void shiftsRotateAndUndo();
    void resizeMessages();
    void resizeThenSaveFrameStoresNewSize();
    void importReadsEightAndTwentyFourBits();
    void importRefusals();
    void exportWritesEightAndTwentyFourBits();
    void exportFailureAndOddBitsChoice();
    void importTakesPNGByContent();
    void exportWritesPNGForPNGNames();
    void blockBoundsAndTheirColour();
    void saveFrameRefreshesTheFrameList();
};

void ViewerWndTest::createsWithoutSettingsFile()
{
    Env env;
    TWindView& v = *env.view;
    QCOMPARE(v.windowTitle(), QString("View Frame"));
    QCOMPARE(v.size(), QSize(200, 336));
    QCOMPARE(v.minimumSize(), QSize(200, 336));
    QCOMPARE(v.pos(), QPoint(740, 143));
    QCOMPARE(v.ComboBPP->currentIndex(), 0);
    QVERIFY(!v.CheckOffs->isChecked());
    QCOMPARE(env.app->View.BoundsColour, 0u);
    QVERIFY(!env.app->View.HasFrame());
    QCOMPARE(int(env.app->View.Zoom), 1);
    QCOMPARE(env.app->View.ViewAreaWidth, 183);
    QCOMPARE(env.app->View.ViewAreaHeight, 108);
    QCOMPARE(v.ScrViewH->geometry(), QRect(0, 129, 183, 17));
    QCOMPARE(v.ScrViewV->geometry(), QRect(183, 21, 17, 108));
    QVERIFY(v.ImgView->isHidden());
    QVERIFY(!v.ScrViewH->isEnabled() && !v.ScrViewV->isEnabled());
    QCOMPARE(v.ScrViewH->maximum(), 0);
    QCOMPARE(v.ScrViewH->singleStep(), 1);
    QCOMPARE(v.ScrViewV->pageStep(), 1);
    QCOMPARE(v.ComboZoom->count(), 8);
    QCOMPARE(v.ComboZoom->itemText(7), QString("8x Zoom"));
    QCOMPARE(v.ComboZoom->currentIndex(), 0);
    QCOMPARE(v.EditFrWidth->text(), QString("0"));
    QCOMPARE(v.BtnSaveFrame->text(), QString("Save Frame"));
    QCOMPARE(v.BtnSaveFrame->geometry(), QRect(8, 224, 185, 25));
    QCOMPARE(v.TextBPP->text(), QString("Bits per pixel"));
    QCOMPARE(v.CheckOffs->toolTip(), QString("Draw rows  pointed by the Frame Header"));
    QCOMPARE(v.ImgOffs->geometry(), QRect(176, 312, 17, 17));
    QCOMPARE(v.ImgOffs->Fill(), 0u);
    QCOMPARE(v.ImgView->cursor().shape(), Qt::CrossCursor);
    QVERIFY(v.windowFlags() & Qt::Tool);
    QVERIFY(!(v.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(env.app->WindView, &v);
    QVERIFY(env.dialogs.Messages.empty());
}

void ViewerWndTest::createsFromSettingsFile()
{
    Env env("ViewWidth = 308\r\nViewHeight = 400\r\nViewLeft = -20\r\nViewTop = 55\r\n"
            "PalExp = 1\r\nOffset = 3\r\nOffsCol = 65280\r\n");
    TWindView& v = *env.view;
    QCOMPARE(v.size(), QSize(300, 366));
    QCOMPARE(v.pos(), QPoint(-20, 55));
    QCOMPARE(v.ComboBPP->currentIndex(), 1);
    QVERIFY(v.CheckOffs->isChecked());
    QCOMPARE(env.app->View.BoundsColour, 65280u);
    QCOMPARE(v.ImgOffs->Fill(), 65280u);
    QCOMPARE(env.app->View.ViewAreaWidth, 283);
    QCOMPARE(env.app->View.ViewAreaHeight, 138);
    QCOMPARE(v.BtnUp->geometry(), QRect(8, 190, 41, 25));
    // The bounds colour dialog opens on black the first time, whatever the settings gave.
    env.dialogs.ColourAnswers.push_back(std::nullopt);
    v.ImgOffsClick();
    QCOMPARE(env.dialogs.ColourRequests, std::vector<uint32_t> { 0 });
    QCOMPARE(env.app->View.BoundsColour, 65280u);

    // Sizes below the minimum are kept at the minimum; an index the list lacks selects none.
    Env small("ViewWidth = 50\r\nViewHeight = 60\r\nPalExp = 7\r\n");
    QCOMPARE(small.view->size(), QSize(200, 336));
    QCOMPARE(small.view->pos(), QPoint(740, 143));
    QCOMPARE(small.view->ComboBPP->currentIndex(), -1);

    // A file the reader rejects leaves everything as designed.
    Env bad("ViewWidth = 400\r\n   \r\nOffsCol = 5\r\n");
    QCOMPARE(bad.view->size(), QSize(200, 336));
    QCOMPARE(bad.app->View.BoundsColour, 0u);
}

void ViewerWndTest::zoomSetsSurfaceAndScrollMaxima()
{
    Env env;
    env.Show(126, 160, Random(126, 160, 1));
    QVERIFY(env.view->ImgView->isVisible());
    QCOMPARE(env.view->ImgView->size(), QSize(126, 108));
    QVERIFY(!env.view->ScrViewH->isEnabled());
    QCOMPARE(env.view->ScrViewV->maximum(), 52);

    env.view->ComboZoom->setCurrentIndex(7);
    QCOMPARE(int(env.app->View.Zoom), 8);
    QCOMPARE(env.view->ImgView->size(), QSize(183, 108));
    QCOMPARE(env.view->ImgView->Surface.size(), QSize(183, 108));
    QCOMPARE(env.view->ImgView->Surface.format(), QImage::Format_Indexed8);
    QCOMPARE(env.view->ScrViewH->maximum(), 825);
    QCOMPARE(env.view->ScrViewV->maximum(), 1172);
    QVERIFY(env.view->ScrViewH->isEnabled() && env.view->ScrViewV->isEnabled());

    // Positions beyond a smaller maximum come down to it.
    env.view->ScrViewH->setValue(800);
    env.view->ScrViewV->setValue(1172);
    env.view->ComboZoom->setCurrentIndex(1);
    QCOMPARE(env.view->ScrViewH->maximum(), 69);
    QCOMPARE(env.view->ScrViewH->value(), 69);
    QCOMPARE(env.view->ScrViewV->value(), 212);

    // An image narrower than the area: exactly zoom x width, no horizontal bar.
    env.Show(10, 5, Random(10, 5, 2));
    QCOMPARE(env.view->ImgView->size(), QSize(20, 10));
    QCOMPARE(env.view->ScrViewH->maximum(), 0);
    QVERIFY(!env.view->ScrViewH->isEnabled() && !env.view->ScrViewV->isEnabled());
}

void ViewerWndTest::surfaceMatchesImageAtEveryZoomAndScroll()
{
    Env env;
    const uint32_t w = 57, h = 43;
    env.Show(w, h, Random(w, h, 7, 0, 255));
    std::mt19937 random(11);
    for (int zoomIndex = 0; zoomIndex < 8; ++zoomIndex) {
        env.view->ComboZoom->setCurrentIndex(zoomIndex);
        for (int trial = 0; trial < 3; ++trial) {
            const int maxH = env.view->ScrViewH->maximum();
            const int maxV = env.view->ScrViewV->maximum();
            env.view->ScrViewH->setValue(int(random() % uint32_t(maxH + 1)));
            env.view->ScrViewV->setValue(int(random() % uint32_t(maxV + 1)));
            const QImage& s = env.view->ImgView->Surface;
            const int z = zoomIndex + 1;
            const int posH = env.view->ScrViewH->value(), posV = env.view->ScrViewV->value();
            QCOMPARE(s.width(), std::min(int(w) * z, 183));
            QCOMPARE(s.height(), std::min(int(h) * z, 108));
            for (int y = 0; y < s.height(); ++y)
                for (int x = 0; x < s.width(); ++x) {
                    const size_t at
                        = size_t(int(h) - 1 - (posV + y) / z) * w + size_t((posH + x) / z);
                    if (s.pixelIndex(x, y) != env.app->View.FrameImage[at])
                        QFAIL(qPrintable(QString("zoom %1 pixel %2,%3").arg(z).arg(x).arg(y)));
                }
        }
    }
}

void ViewerWndTest::windowResizeRelaysOutOnlyWhenNeeded()
{
    Env env;
    // Enlarging the window while no frame is shown is remembered for the next frame.
    env.view->resize(300, 436);
    QCOMPARE(env.app->View.ViewAreaWidth, 283);
    QCOMPARE(env.app->View.ViewAreaHeight, 208);
    QCOMPARE(env.view->ScrViewH->geometry(), QRect(0, 229, 283, 17));
    QCOMPARE(env.view->BtnResize->geometry(), QRect(136, 294, 57, 25));
    env.Show(126, 160, Random(126, 160, 3));
    QCOMPARE(env.view->ImgView->size(), QSize(126, 160));

    // The image fits in the old and the new area: no redraw.
    const uint64_t before = env.view->RedrawCount;
    env.view->resize(290, 420);
    QCOMPARE(env.view->RedrawCount, before);

    // Now it does not fit any more: the surface follows the area.
    env.view->resize(200, 336);
    QVERIFY(env.view->RedrawCount > before);
    QCOMPARE(env.view->ImgView->size(), QSize(126, 108));
    QCOMPARE(env.view->ScrViewV->maximum(), 52);

    // Too tall, but only the width changes and the width fits before and after: no redraw.
    const uint64_t tall = env.view->RedrawCount;
    env.view->resize(250, 336);
    QCOMPARE(env.view->RedrawCount, tall);
    // The height changes and the image is taller than the area: relayout.
    env.view->resize(250, 346);
    QCOMPARE(env.view->RedrawCount, tall + 1);
    QCOMPARE(env.view->ScrViewV->maximum(), 42);

    // The same with the roles swapped: too wide, and only the height changes.
    env.Show(300, 50, Random(300, 50, 6));
    const uint64_t wide = env.view->RedrawCount;
    env.view->resize(250, 356);
    QCOMPARE(env.view->RedrawCount, wide);
    env.view->resize(240, 356);
    QCOMPARE(env.view->RedrawCount, wide + 1);
    QCOMPARE(env.view->ScrViewH->maximum(), 300 - 223);
}

void ViewerWndTest::noFrameHidesImageAndRaisesColourOps()
{
    Env env;
    env.Show(20, 20, Random(20, 20, 4));
    env.view->ComboZoom->setCurrentIndex(7);
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QVERIFY(env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpReplace));

    env.app->View.ViewedFrame = nullptr;
    env.view->RedrawView(false);
    QVERIFY(env.view->ImgView->isHidden());
    QCOMPARE(env.view->ScrViewH->maximum(), 0);
    QVERIFY(!env.view->ScrViewH->isEnabled() && !env.view->ScrViewV->isEnabled());
    QVERIFY(!env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));

    // Handlers with nothing in view do nothing.
    const DataArray image = env.app->View.FrameImage;
    env.view->BtnUpClick();
    env.view->BtnRightClick();
    env.view->BtnSaveFrameClick();
    env.view->BtnImpFrClick();
    env.view->BtnExpFrClick();
    QCOMPARE(env.app->View.FrameImage, image);
    QVERIFY(env.dialogs.FileDialogs.empty() && env.dialogs.Messages.empty());
}

void ViewerWndTest::strokesFollowTheirDirection()
{
    Env env;
    env.app->Pal.SelectedColour = 0x90;
    struct Case {
        Pixel from, to;
        std::set<Pixel> expected;
    };
    const std::vector<Case> cases = {
        { { 0, 0 }, { 3, 1 }, { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 1 } } },
        { { 3, 1 }, { 0, 0 }, { { 3, 1 }, { 2, 1 }, { 1, 1 }, { 0, 0 } } },
        { { 1, 1 }, { 4, 4 }, { { 1, 1 }, { 2, 2 }, { 3, 3 }, { 4, 4 } } },
        { { 4, 0 }, { 2, 5 }, { { 4, 0 }, { 4, 1 }, { 4, 2 }, { 3, 3 }, { 3, 4 }, { 2, 5 } } },
        { { 2, 5 }, { 4, 0 }, { { 2, 5 }, { 2, 4 }, { 2, 3 }, { 3, 2 }, { 3, 1 }, { 4, 0 } } },
    };
    for (int zoomIndex : { 0, 3 }) {
        for (const Case& c : cases) {
            env.Show(6, 6, Filled(6, 6, 0x80));
            env.view->ComboZoom->setCurrentIndex(zoomIndex);
            const DataArray before = env.app->View.FrameImage;
            QTest::mousePress(
                env.view->ImgView, Qt::LeftButton, {}, env.At(c.from.first, c.from.second));
            QVERIFY(env.view->Drawing);
            QCOMPARE(env.view->LastDrawX, c.from.first);
            QCOMPARE(env.view->LastDrawY, c.from.second);
            QTest::mouseMove(env.view->ImgView, env.At(c.to.first, c.to.second));
            QTest::mouseRelease(
                env.view->ImgView, Qt::LeftButton, {}, env.At(c.to.first, c.to.second));
            QCOMPARE(Changed(before, env.app->View.FrameImage, 6), c.expected);
            for (const Pixel& p : c.expected)
                QCOMPARE(int(env.Pixel(p.first, p.second)), 0x90);
            // The surface shows the stroke at once.
            const QPoint at = env.At(c.to.first, c.to.second);
            QCOMPARE(env.view->ImgView->Surface.pixelIndex(at), 0x90);
        }
        env.view->ComboZoom->setCurrentIndex(0);
    }
}

void ViewerWndTest::stillPointerDrawsNothing()
{
    Env env;
    env.app->Pal.SelectedColour = 0xA0;
    env.Show(8, 8, Filled(8, 8, 0x80));
    env.view->ComboZoom->setCurrentIndex(3);
    QTest::mousePress(env.view->ImgView, Qt::LeftButton, {}, QPoint(9, 9));
    const DataArray afterPress = env.app->View.FrameImage;
    QCOMPARE(Changed(Filled(8, 8, 0x80), afterPress, 8), (std::set<Pixel> { { 2, 5 } }));
    const uint64_t redraws = env.view->RedrawCount;
    // Other points of the same 4 x 4 square.
    QTest::mouseMove(env.view->ImgView, QPoint(8, 11));
    QTest::mouseMove(env.view->ImgView, QPoint(11, 8));
    QCOMPARE(env.view->RedrawCount, redraws);
    QCOMPARE(env.app->View.FrameImage, afterPress);
    QTest::mouseMove(env.view->ImgView, QPoint(12, 8));
    QCOMPARE(env.view->RedrawCount, redraws + 1);
    QTest::mouseRelease(env.view->ImgView, Qt::LeftButton, {}, QPoint(12, 8));
}

void ViewerWndTest::drawingStopsOnReleaseAndIgnoresOutside()
{
    Env env;
    env.app->Pal.SelectedColour = 0xA0;
    env.Show(8, 8, Filled(8, 8, 0x80));
    QTest::mousePress(env.view->ImgView, Qt::LeftButton, {}, env.At(1, 1));
    QVERIFY(env.view->ImgView->Confined());
    QVERIFY(env.view->ImgView->toolTip().isEmpty());
    // Points outside the control are ignored.
    const DataArray pressed = env.app->View.FrameImage;
    env.view->ImgViewMouseMove(Qt::LeftButton, -1, 3);
    env.view->ImgViewMouseMove(Qt::LeftButton, 3, 8);
    env.view->ImgViewMouseMove(Qt::LeftButton, 8, 0);
    QCOMPARE(env.app->View.FrameImage, pressed);
    QTest::mouseRelease(env.view->ImgView, Qt::LeftButton, {}, env.At(1, 1));
    QVERIFY(!env.view->Drawing);
    QVERIFY(!env.view->ImgView->Confined());
    QCOMPARE(env.view->ImgView->toolTip(),
        QString("Left mouse button to draw, right mouse button to select the colour"));
    // A move with no button held after the release draws nothing.
    env.view->ImgViewMouseMove(Qt::NoButton, env.At(5, 5).x(), env.At(5, 5).y());
    QCOMPARE(env.app->View.FrameImage, pressed);
    // The middle button does not draw either.
    QTest::mousePress(env.view->ImgView, Qt::MiddleButton, {}, env.At(6, 6));
    QTest::mouseRelease(env.view->ImgView, Qt::MiddleButton, {}, env.At(6, 6));
    QCOMPARE(env.app->View.FrameImage, pressed);
}

void ViewerWndTest::rightButtonPicksColours()
{
    Env env;
    DataArray image = Filled(4, 4, 0x80);
    image[1 * 4 + 2] = 0xC3; // column 2, row 1
    image[3 * 4 + 0] = 0x10; // a reserved colour at the top left
    env.Show(4, 4, image);
    // At zoom 2 no pixel centre is the point (0, 0), which QTest takes for the middle.
    env.view->ComboZoom->setCurrentIndex(1);
    QTest::mouseClick(env.view->ImgView, Qt::RightButton, {}, env.At(2, 1));
    QCOMPARE(int(env.app->Pal.SelectedColour), 0xC3);
    QCOMPARE(env.pal->PalCells[0xC3]->Outline(), 255u);
    QCOMPARE(env.pal->PalCells[0x7F]->Outline(), 0u);
    QCOMPARE(env.app->View.FrameImage, image);
    // A reserved colour is ignored without the whole-palette option, taken with it.
    QTest::mouseClick(env.view->ImgView, Qt::RightButton, {}, env.At(0, 3));
    QCOMPARE(int(env.app->Pal.SelectedColour), 0xC3);
    env.pal->CheckPalWhole->setChecked(true);
    QTest::mouseClick(env.view->ImgView, Qt::RightButton, {}, env.At(0, 3));
    QCOMPARE(int(env.app->Pal.SelectedColour), 0x10);
}

void ViewerWndTest::rightDragWithReplacePending()
{
    Env env;
    const uint8_t a = 0x80, b = 0x90, c = 0xA0;
    DataArray image = { a, b, c, a, a, b, c, c, a };
    env.Show(3, 3, image);
    env.app->Pal.SelectedColour = a;
    QTest::mouseClick(env.pal->BtnRepl, Qt::LeftButton);
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpReplace));
    // The press completes the replacement with the colour under the pointer ...
    QTest::mousePress(env.view->ImgView, Qt::RightButton, {}, env.At(1, 0));
    DataArray replaced = image;
    for (auto& p : replaced)
        if (p == a)
            p = b;
    QCOMPARE(env.app->View.FrameImage, replaced);
    QVERIFY(!env.pal->BtnRepl->isChecked());
    QCOMPARE(int(env.app->Pal.PendingColourOp), int(OpNone));
    QCOMPARE(int(env.app->Pal.SelectedColour), int(a));
    QCOMPARE(env.view->ImgView->Surface.pixelIndex(env.At(0, 0)), int(b));
    // ... and the moves only select colours, also over the same pixel.
    QTest::mouseMove(env.view->ImgView, env.At(2, 0));
    QCOMPARE(int(env.app->Pal.SelectedColour), int(c));
    QTest::mouseMove(env.view->ImgView, env.At(1, 0));
    QCOMPARE(int(env.app->Pal.SelectedColour), int(b));
    QTest::mouseRelease(env.view->ImgView, Qt::RightButton, {}, env.At(1, 0));
    QCOMPARE(env.app->View.FrameImage, replaced);
}

void ViewerWndTest::shiftsRotateAndUndo()
{
    Env env;
    const uint32_t w = 7, h = 6;
    const DataArray image = Random(w, h, 21);
    env.Show(w, h, image);
    // Up: row r goes to r + 1, the top row becomes the bottom row.
    env.view->BtnUp->click();
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x)
            QCOMPARE(env.app->View.FrameImage[((r + 1) % h) * w + x], image[r * w + x]);
    env.view->BtnDown->click();
    QCOMPARE(env.app->View.FrameImage, image);
    // Left: column c goes to c - 1, the leftmost becomes the rightmost.
    env.view->BtnLeft->click();
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t x = 0; x < w; ++x)
            QCOMPARE(env.app->View.FrameImage[r * w + (x + w - 1) % w], image[r * w + x]);
    env.view->BtnRight->click();
    QCOMPARE(env.app->View.FrameImage, image);
    for (auto [forward, back] : { std::pair { env.view->BtnUp, env.view->BtnDown },
             std::pair { env.view->BtnRight, env.view->BtnLeft } }) {
        for (int i = 0; i < 4; ++i)
            forward->click();
        QVERIFY(env.app->View.FrameImage != image);
        for (int i = 0; i < 4; ++i)
            back->click();
        QCOMPARE(env.app->View.FrameImage, image);
    }
    // The surface follows a shift.
    env.view->BtnUp->click();
    QCOMPARE(env.view->ImgView->Surface.pixelIndex(0, 0), int(image[(h - 2) * w]));

    // A one-row image does not change by Up or Down.
    const DataArray row = Random(7, 1, 22);
    env.Show(7, 1, row);
    env.view->BtnUp->click();
    env.view->BtnDown->click();
    env.view->BtnDown->click();
    QCOMPARE(env.app->View.FrameImage, row);
}

void ViewerWndTest::resizeMessages()
{
    struct Case {
        const char* width;
        const char* height;
        const char* message;
    };
    const Case cases[] = {
        { "12a", "5", "Incorrect input" },
        { "", "5", "Incorrect input" },
        { "5", "-3", "Incorrect input" },
        { " 5", "5", "Incorrect input" },
        { "0", "5", "Incorrect sizes" },
        { "5", "0", "Incorrect sizes" },
        { "100000", "100000", "Incorrect sizes" },
        { "2000000", "1", "Incorrect sizes" },
    };
    {
        Env env;
        env.view->BtnResize->click();
        ExpectOnlyError(env.dialogs, "No image");
    }
    for (const Case& c : cases) {
        Env env;
        const DataArray image = Random(4, 3, 5);
        env.Show(4, 3, image);
        env.view->EditFrWidth->setText(c.width);
        env.view->EditFrHeight->setText(c.height);
        env.view->BtnResize->click();
        ExpectOnlyError(env.dialogs, c.message);
        QCOMPARE(env.app->View.FrameImage, image);
        QCOMPARE(env.app->View.ImageWidth, 4u);
        QCOMPARE(env.app->View.ImageHeight, 3u);
    }
    Env env;
    env.Show(4, 3, Random(4, 3, 5));
    env.view->EditFrWidth->setText("500");
    env.view->EditFrHeight->setText("2");
    env.view->BtnResize->click();
    QVERIFY(env.dialogs.Messages.empty());
    QCOMPARE(env.app->View.ImageWidth, 500u);
    QCOMPARE(env.app->View.FrameImage.size(), size_t(1000));
    QCOMPARE(env.view->ScrViewH->maximum(), 500 - 183);
}

void ViewerWndTest::resizeThenSaveFrameStoresNewSize()
{
    Env env;
    const DataArray image
        = { 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B };
    FrameSlotRef slot = env.Show(4, 3, image);
    const DataArray storedData = slot->Frame->Data;
    env.view->EditFrWidth->setText("2");
    env.view->EditFrHeight->setText("5");
    env.view->BtnResize->click();
    // The top three rows keep the left two columns; the rest is transparent.
    const DataArray expected = { 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x81, 0x84, 0x85, 0x88, 0x89 };
    QCOMPARE(env.app->View.FrameImage, expected);
    QCOMPARE(env.view->ImgView->Surface.size(), QSize(2, 5));
    // The frame record changes only with Save Frame.
    QCOMPARE(slot->Frame->Width, 4u);
    QCOMPARE(slot->Frame->Data, storedData);

    env.app->Pal.SelectedColour = 0x99;
    QTest::mouseClick(env.view->ImgView, Qt::LeftButton, {}, env.At(0, 0));
    QTest::mouseClick(env.view->BtnSaveFrame, Qt::LeftButton);
    QCOMPARE(slot->Frame->Width, 2u);
    QCOMPARE(slot->Frame->Height, 5u);
    QCOMPARE(slot->Frame->Widths[slot->Frame->WidthIndex], 2u);
    DataArray decoded;
    slot->Frame->DecodeImage(decoded);
    QCOMPARE(decoded, env.app->View.FrameImage);
    QCOMPARE(int(decoded[0]), 0x99);
    QVERIFY(env.dialogs.Messages.empty());
}

void ViewerWndTest::importReadsEightAndTwentyFourBits()
{
    Env env;
    DistinctPalette(env.app->Pal);
    FrameSlotRef slot = env.Show(3, 2, Random(3, 2, 8));
    std::vector<uint32_t> indices(5 * 4);
    std::mt19937 random(31);
    for (auto& i : indices)
        i = 0x7F + random() % 0x81; // 7F ... FF
    const std::string eight = env.File("eight.bmp");
    WriteFile(eight, MakeBmp(5, 4, 8, indices, env.app->Pal.Palette));
    env.dialogs.FileAnswers.push_back(QString::fromStdString(eight));
    env.view->BtnImpFr->click();
    QVERIFY(env.dialogs.Messages.empty());
    const FileDialogOptions& options = env.dialogs.FileDialogs.at(0);
    QCOMPARE(options.Title, QString("Import Bitmap file"));
    QCOMPARE(options.Filter, QString("Bitmap|*.bmp|PNG image|*.png|GIF image|*.gif"));
    QCOMPARE(options.DefaultExtension, QString("bmp"));
    QVERIFY(options.MustExist);
    QCOMPARE(env.app->View.ImageWidth, 5u);
    QCOMPARE(env.app->View.ImageHeight, 4u);
    QCOMPARE(slot->Frame->Width, 5u);
    QCOMPARE(slot->Frame->Height, 4u);
    QCOMPARE(env.view->EditFrWidth->text(), QString("5"));
    QCOMPARE(env.view->EditFrHeight->text(), QString("4"));
    QCOMPARE(env.view->ImgView->Surface.size(), QSize(5, 4));
    for (size_t i = 0; i < indices.size(); ++i)
        QCOMPARE(uint32_t(env.app->View.FrameImage[i]), indices[i]);

    // 24 bits: the colours of the palette map back to their indices.
    std::vector<uint32_t> colours(7 * 3);
    DataArray wanted(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        wanted[i] = uint8_t(0x7F + random() % 0x81);
        colours[i] = env.app->Pal.Palette[wanted[i]];
    }
    const std::string twentyFour = env.File("twentyfour.bmp");
    WriteFile(twentyFour, MakeBmp(7, 3, 24, colours, env.app->Pal.Palette));
    env.dialogs.FileAnswers.push_back(QString::fromStdString(twentyFour));
    env.view->BtnImpFrClick();
    QVERIFY(env.dialogs.Messages.empty());
    QCOMPARE(env.app->View.FrameImage, wanted);
    QCOMPARE(slot->Frame->Width, 7u);
    DataArray decoded;
    slot->Frame->DecodeImage(decoded);
    QCOMPARE(decoded, wanted);
}

void ViewerWndTest::importRefusals()
{
    Env env;
    const DataArray image = Random(3, 2, 9);
    FrameSlotRef slot = env.Show(3, 2, image);
    const DataArray data = slot->Frame->Data;
    QByteArray wrongBits = MakeBmp(2, 2, 24, { 1, 2, 3, 4 }, env.app->Pal.Palette);
    wrongBits[28] = 32;
    QByteArray wrongSize = MakeBmp(2, 2, 24, { 1, 2, 3, 4 }, env.app->Pal.Palette);
    wrongSize.append('\0');
    WriteFile(env.File("bits.bmp"), wrongBits);
    WriteFile(env.File("size.bmp"), wrongSize);
    WriteFile(env.File("text.bmp"), QByteArray("not a bitmap at all"));
    const std::pair<std::string, const char*> cases[] = {
        { env.File("missing.bmp"), "Cannot read file" },
        { env.File("bits.bmp"), "File has unsupported format" },
        { env.File("size.bmp"), "File has unsupported format" },
        { env.File("text.bmp"), "File has unsupported format" },
    };
    for (const auto& [file, message] : cases) {
        env.dialogs.Messages.clear();
        env.dialogs.FileAnswers.push_back(QString::fromStdString(file));
        env.view->BtnImpFr->click();
        ExpectOnlyError(env.dialogs, message);
        QCOMPARE(env.app->View.FrameImage, image);
        QCOMPARE(slot->Frame->Data, data);
        QCOMPARE(slot->Frame->Width, 3u);
        QCOMPARE(env.view->EditFrWidth->text(), QString("0"));
    }
    // A cancelled dialog changes nothing and says nothing.
    env.dialogs.Messages.clear();
    env.dialogs.FileAnswers.push_back(std::nullopt);
    env.view->BtnImpFr->click();
    QVERIFY(env.dialogs.Messages.empty());
    QCOMPARE(env.app->View.FrameImage, image);
}

void ViewerWndTest::exportWritesEightAndTwentyFourBits()
{
    Env env;
    DistinctPalette(env.app->Pal);
    env.Show(1, 1, DataArray { 7 });
    const std::string eight = env.File("eight.bmp");
    env.dialogs.FileAnswers.push_back(QString::fromStdString(eight));
    env.view->BtnExpFr->click();
    QCOMPARE(env.dialogs.FileDialogs.at(0).Title, QString("Export Bitmap file"));
    QCOMPARE(env.dialogs.FileDialogs.at(0).Filter, QString("Bitmap|*.bmp|PNG image|*.png"));
    QCOMPARE(env.dialogs.FileDialogs.at(0).DefaultExtension, QString("bmp"));
    QByteArray bytes = ReadFile(eight);
    QCOMPARE(bytes.size(), 1082);
    QCOMPARE(Get32(bytes, 2), 1082u);
    QCOMPARE(Get32(bytes, 10), 1078u);
    QCOMPARE(bytes.mid(1078), Bytes({ 7, 0, 0, 0 }));
    // Colour table entry 7: blue, green, red, 0.
    const uint32_t c7 = env.app->Pal.Palette[7];
    QCOMPARE(uint8_t(bytes[54 + 28]), uint8_t(c7 >> 16));
    QCOMPARE(uint8_t(bytes[54 + 29]), uint8_t(c7 >> 8));
    QCOMPARE(uint8_t(bytes[54 + 30]), uint8_t(c7));

    env.view->ComboBPP->setCurrentIndex(1);
    const std::string twentyFour = env.File("twentyfour.bmp");
    env.dialogs.FileAnswers.push_back(QString::fromStdString(twentyFour));
    env.view->BtnExpFr->click();
    bytes = ReadFile(twentyFour);
    QCOMPARE(bytes.size(), 58);
    QCOMPARE(int(uint8_t(bytes[28])), 24);
    QCOMPARE(bytes.mid(54), Bytes({ c7 >> 16, c7 >> 8, c7, 0 }));

    // Unsaved edits are exported, transparent pixels in the transparent colour; the frame
    // is not touched.
    DataArray image = Random(5, 3, 12);
    image[4] = 0xFF;
    FrameSlotRef slot = env.Show(5, 3, image);
    const DataArray data = slot->Frame->Data;
    env.app->Pal.SelectedColour = 0x85;
    QTest::mouseClick(env.view->ImgView, Qt::LeftButton, {}, env.At(0, 0));
    image[0] = 0x85;
    env.dialogs.FileAnswers.push_back(QString::fromStdString(twentyFour));
    env.view->BtnExpFr->click();
    bytes = ReadFile(twentyFour);
    QCOMPARE(bytes.size(), 54 + 16 * 3);
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t x = 0; x < 5; ++x) {
            const uint32_t c = env.app->Pal.Palette[image[r * 5 + x]];
            const int at = 54 + int(r) * 16 + int(x) * 3;
            QCOMPARE(uint8_t(bytes[at]), uint8_t(c >> 16));
            QCOMPARE(uint8_t(bytes[at + 1]), uint8_t(c >> 8));
            QCOMPARE(uint8_t(bytes[at + 2]), uint8_t(c));
        }
    QCOMPARE(slot->Frame->Data, data);
    QVERIFY(env.dialogs.Messages.empty());
}

void ViewerWndTest::exportFailureAndOddBitsChoice()
{
    Env env("PalExp = 2\r\n");
    QCOMPARE(env.view->ComboBPP->currentIndex(), -1);
    env.Show(5, 2, Random(5, 2, 13));
    const std::string file = env.File("odd.bmp");
    env.dialogs.FileAnswers.push_back(QString::fromStdString(file));
    env.view->BtnExpFr->click();
    const QByteArray bytes = ReadFile(file);
    QCOMPARE(int(uint8_t(bytes[28])), 8);
    QCOMPARE(bytes.size(), 1078 + 2 * 8);
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t x = 0; x < 5; ++x)
            QCOMPARE(uint8_t(bytes[1078 + int(r * 8 + x)]), env.app->View.FrameImage[r * 5 + x]);

    env.dialogs.FileAnswers.push_back(QString::fromStdString(env.File("no/such/folder/x.bmp")));
    env.view->BtnExpFr->click();
    ExpectOnlyError(env.dialogs, "Cannot write file");

    env.dialogs.Messages.clear();
    env.dialogs.FileAnswers.push_back(std::nullopt);
    env.view->BtnExpFr->click();
    QVERIFY(env.dialogs.Messages.empty());
}

void ViewerWndTest::blockBoundsAndTheirColour()
{
    Env env;
    // 40 x 40 coded with a Frame Header: block 0 starts at row 0 and block 1 at row 32.
    FrameSlotRef slot = env.Show(40, 40, Filled(40, 40, 0x80));
    QVERIFY(env.view->ImgView->Bounds.empty());
    const uint64_t redraws = env.view->RedrawCount;
    QTest::mouseClick(env.view->CheckOffs, Qt::LeftButton);
    QVERIFY(env.view->CheckOffs->isChecked());
    QCOMPARE(env.view->RedrawCount, redraws + 1);
    BlockRowSet rows;
    slot->Frame->GetBlockRows(rows);
    QCOMPARE(rows[0], 0);
    QCOMPARE(rows[1], 32);
    const auto& bounds = env.view->ImgView->Bounds;
    QCOMPARE(bounds.size(), size_t(2));
    QCOMPARE(bounds[0].Y, 39);
    QCOMPARE(bounds[0].LabelTop, 25);
    QCOMPARE(bounds[1].Y, 7);
    QCOMPARE(bounds[1].LabelTop, 7);

    // The first colour dialog opens on black, the next on the colour chosen before.
    env.dialogs.ColourAnswers.push_back(0x0000FFu);
    QTest::mouseClick(env.view->ImgOffs, Qt::LeftButton);
    env.dialogs.ColourAnswers.push_back(std::nullopt);
    env.view->ImgOffsClick();
    QCOMPARE(env.dialogs.ColourRequests, (std::vector<uint32_t> { 0, 0x0000FF }));
    QCOMPARE(env.app->View.BoundsColour, 0x0000FFu);
    QCOMPARE(env.view->ImgOffs->Fill(), 0x0000FFu);
    const QImage shown = env.view->ImgView->grab().toImage();
    QCOMPARE(shown.pixelColor(30, 39), QColor(255, 0, 0));
    QCOMPARE(shown.pixelColor(30, 38), QColor(128, 128, 128)); // grey ramp before a palette

    QTest::mouseClick(env.view->CheckOffs, Qt::LeftButton);
    QVERIFY(env.view->ImgView->Bounds.empty());

    // Without a frame the box changes and nothing is redrawn.
    env.app->View.ViewedFrame = nullptr;
    env.view->RedrawView(true);
    const uint64_t idle = env.view->RedrawCount;
    QTest::mouseClick(env.view->CheckOffs, Qt::LeftButton);
    QCOMPARE(env.view->RedrawCount, idle);
}

void ViewerWndTest::saveFrameRefreshesTheFrameList()
{
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    VornixApp program(dialogs, dir.path().toStdString());
    program.Show();
    AppContext& app = program.Context();
    TWindView& view = program.WindView();
    TWindFrame& frames = program.WindFrame();

    auto holder = std::make_shared<CELHolder>();
    holder->CEL = CELObject::CreateEmpty(2);
    for (uint32_t i = 0; i < 2; ++i) {
        auto slot = std::make_shared<FrameSlot>();
        slot->Frame = CELFrame::CreateEmpty();
        slot->Frame->SetSize(4, 3);
        slot->Frame->EncodeImage(Random(4, 3, 40 + i));
        slot->Frame->AnalyseData();
        holder->CEL->Frames[i] = slot;
    }
    frames.FillPane(frames.ListLeft, holder);
    frames.ListLeft->setCurrentRow(2);
    QCOMPARE(app.View.ViewedFrame, holder->CEL->Frames[1]);
    QCOMPARE(view.windowTitle(), QString("View Frame: #1 (L)"));
    QCOMPARE(view.EditFrWidth->text(), QString("4"));
    const QString before = frames.ListLeft->item(2)->text();

    view.EditFrWidth->setText("6");
    view.EditFrHeight->setText("5");
    QTest::mouseClick(view.BtnResize, Qt::LeftButton);
    QCOMPARE(frames.ListLeft->item(2)->text(), before);
    QTest::mouseClick(view.BtnSaveFrame, Qt::LeftButton);
    const CELFrame& saved = *holder->CEL->Frames[1]->Frame;
    QCOMPARE(saved.Width, 6u);
    QCOMPARE(saved.Height, 5u);
    QCOMPARE(frames.ListLeft->item(2)->text(), QString::fromStdString(FrameCaption(1, saved)));
    QVERIFY(frames.ListLeft->item(2)->text() != before);
    QCOMPARE(frames.ComboLSelW->currentIndex(), int(saved.WidthIndex));
    QVERIFY(dialogs.Messages.empty());
}

void ViewerWndTest::importTakesPNGByContent()
{
    Env env;
    DistinctPalette(env.app->Pal);
    FrameSlotRef slot = env.Show(3, 2, Random(3, 2, 40));
    std::mt19937 random(41);
    Bitmap picture { 6, 4, DataArray(24) };
    for (auto& pixel : picture.BitmapPixels)
        pixel = uint8_t(0x7F + random() % 0x81);
    // A PNG under a BMP name is read as the PNG it is, and one under its own name too.
    for (const char* name : { "sprite.bmp", "sprite.png" }) {
        const std::string file = env.File(name);
        QCOMPARE(int(WritePNG(file, picture, env.app->Pal, 24)), int(BitmapWritten));
        env.dialogs.FileAnswers.push_back(QString::fromStdString(file));
        env.view->BtnImpFr->click();
        QVERIFY(env.dialogs.Messages.empty());
        QCOMPARE(env.app->View.ImageWidth, 6u);
        QCOMPARE(env.app->View.ImageHeight, 4u);
        QCOMPARE(env.view->EditFrWidth->text(), QString("6"));
        QCOMPARE(env.app->View.FrameImage, picture.BitmapPixels);
        QCOMPARE(slot->Frame->Width, 6u);
        picture.BitmapPixels[0] = 0x90; // the second file differs
    }
    // A damaged PNG is refused with the same message as a refused BMP; the frame stays.
    const DataArray image = env.app->View.FrameImage;
    const DataArray data = slot->Frame->Data;
    std::vector<uint8_t> bytes = EncodePNG(picture, env.app->Pal, 8);
    bytes.resize(bytes.size() - 20);
    WriteFile(env.File("cut.png"),
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    env.dialogs.FileAnswers.push_back(QString::fromStdString(env.File("cut.png")));
    env.view->BtnImpFr->click();
    ExpectOnlyError(env.dialogs, "File has unsupported format");
    QCOMPARE(env.app->View.FrameImage, image);
    QCOMPARE(slot->Frame->Data, data);
}

void ViewerWndTest::exportWritesPNGForPNGNames()
{
    Env env;
    DistinctPalette(env.app->Pal);
    DataArray image = Random(5, 3, 42);
    image[2] = 0xFF;
    FrameSlotRef slot = env.Show(5, 3, image);
    const DataArray data = slot->Frame->Data;
    const QByteArray signature(reinterpret_cast<const char*>(PNGSignature), 8);
    for (int bits = 0; bits < 2; ++bits) {
        env.view->ComboBPP->setCurrentIndex(bits);
        for (const char* name : { "a.png", "b.PNG", "c.Png" }) {
            const std::string file = env.File((std::to_string(bits) + name).c_str());
            env.dialogs.FileAnswers.push_back(QString::fromStdString(file));
            env.view->BtnExpFr->click();
            QVERIFY(env.dialogs.Messages.empty());
            const QByteArray bytes = ReadFile(file);
            QCOMPARE(bytes.left(8), signature);
            // Colour type at byte 25 of the file: 3 palette, 2 RGB.
            QCOMPARE(int(uint8_t(bytes[25])), bits == 0 ? 3 : 2);
            Bitmap back;
            QCOMPARE(int(ReadPNG(file, env.app->Pal, back)), int(BitmapOK));
            QCOMPARE(back.BitmapPixels, image);
        }
    }
    // Any other name writes a BMP, ".png" inside a name included.
    for (const char* name : { "d.bmp", "e.png.bmp", "f", "g.pn" }) {
        const std::string file = env.File(name);
        env.dialogs.FileAnswers.push_back(QString::fromStdString(file));
        env.view->BtnExpFr->click();
        QCOMPARE(ReadFile(file).left(2), QByteArray("BM"));
    }
    env.dialogs.FileAnswers.push_back(QString::fromStdString(env.File("no/such/folder/x.png")));
    env.view->BtnExpFr->click();
    ExpectOnlyError(env.dialogs, "Cannot write file");
    QCOMPARE(slot->Frame->Data, data);
}

QTEST_MAIN(ViewerWndTest)
#include "ViewerWndTest.moc"
