#include "viewer/ViewerWnd.h"

#include <cstdlib>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWheelEvent>

#include "app/AppContext.h"
#include "app/GuiDropFiles.h"
#include "app/GuiUndoActions.h"
#include "app/GuiWindowKind.h"
#include "bitmaps/BMPHandler.h"
#include "bitmaps/ImageFiles.h"
#include "bitmaps/PNGHandler.h"
#include "framelists/FrameWnd.h"
#include "frames/CommVar.h"
#include "palette/ColoursWnd.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "settings/Settings.h"
#include "viewer/AnimWnd.h"
#include "viewer/GuiViewSurface.h"

namespace {

// Pictures that a drop imports, as "Import" would read them.
const QStringList PictureSuffixes { "bmp", "png", "gif" };

// Design client area; everything from BtnUp down keeps its distance to the bottom edge.
constexpr int DesignClientWidth = 200;
constexpr int DesignClientHeight = 336;
constexpr int ScrollBarExtent = 17;
constexpr int ComboZoomHeight = 21;
constexpr int DesignScrollHTop = 129;

const QString ImgViewHint = "Left mouse button to draw, right mouse button to select the colour";

void Message(AppContext& app, const char* text)
{
    app.dialogs.ShowMessage(QString::fromUtf8(text), "Error", MessageIcon::Error);
}

// True for a non-empty text of the characters 0 to 9 only.
bool DigitsOnly(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar ch : text)
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
    return true;
}

// Wraps one step of the viewer. The change has been made when the command is pushed, so its
// first redo does nothing.
class ImageCommand : public QUndoCommand {
public:
    ImageCommand(TWindView& window, std::shared_ptr<const ImageStep> step,
        std::function<void(bool)> alongside = nullptr)
        : QUndoCommand(QString::fromStdString(step->Name))
        , window(window)
        , step(std::move(step))
        , alongside(std::move(alongside))
    {
    }
    void undo() override
    {
        window.ApplyImageStep(*step, false);
        if (alongside)
            alongside(false);
    }
    void redo() override
    {
        if (done) {
            window.ApplyImageStep(*step, true);
            if (alongside)
                alongside(true);
        }
        done = true;
    }
    const std::function<void(bool)>& Alongside() const { return alongside; }
    const std::shared_ptr<const ImageStep>& Step() const { return step; }

private:
    TWindView& window;
    std::shared_ptr<const ImageStep> step;
    std::function<void(bool)> alongside;
    bool done = false;
};

} // namespace

TWindView::TWindView(AppContext& app)
    : QWidget(nullptr)
    , app(app)
{
    app.WindView = this;
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    AskForTitleBarOnly(*this);
    setWindowTitle("View Frame");
    setMinimumSize(208 - FrameExtraWidth, 370 - FrameExtraHeight);
    resize(DesignClientWidth, DesignClientHeight);
    move(740, 143);

    ComboZoom = new QComboBox(this);
    ComboZoom->addItems(
        { "Normal", "2x Zoom", "3x Zoom", "4x Zoom", "5x Zoom", "6x Zoom", "7x Zoom", "8x Zoom" });
    ComboZoom->setCurrentIndex(0);
    ComboZoom->setToolTip("Zoom the frame image. Does not affect the frame");

    ImgView = new ViewSurface(this);
    ImgView->move(0, ComboZoomHeight);
    ImgView->resize(0, 0);
    ImgView->setToolTip(ImgViewHint);
    ImgView->hide();

    ScrViewV = new QScrollBar(Qt::Vertical, this);
    ScrViewH = new QScrollBar(Qt::Horizontal, this);
    for (QScrollBar* bar : { ScrViewV, ScrViewH }) {
        bar->setRange(0, 0);
        bar->setSingleStep(1);
        bar->setPageStep(1);
        bar->setEnabled(false);
    }

    auto button = [this](const char* caption, const char* hint) {
        auto* b = new QPushButton(QString::fromUtf8(caption), this);
        b->setToolTip(QString::fromUtf8(hint));
        return b;
    };
    BtnUp = button("Up", "Move the image up by 1 pixel");
    BtnDown = button("Down", "Move the image down by 1 pixel");
    BtnLeft = button("Left", "Move the image left by 1 pixel");
    BtnRight = button("Right", "Move the image right by 1 pixel");
    EditFrWidth = new QLineEdit("0", this);
    EditFrWidth->setToolTip("Width. Cannot be more than 126");
    EditFrHeight = new QLineEdit("0", this);
    EditFrHeight->setToolTip("Height. Cannot be more than 160");
    BtnResize = button("Resize",
        "Resize the frame to the given sizes. New image will contain a "
        "left top part of the old one.");
    BtnSaveFrame = button("Save Frame", "Save changes temporarily");
    BtnImpFr = button("Import", "Select a BMP file to get a frame from");
    BtnExpFr = button("Export", "Select a BMP file to save the current frame to");
    TextBPP = new QLabel("Bits per pixel", this);
    TextBPP->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ComboBPP = new QComboBox(this);
    ComboBPP->addItems({ "8", "24" });
    ComboBPP->setCurrentIndex(0);
    ComboBPP->setToolTip("Bits per pixel value for export");
    CheckOffs = new QCheckBox("View bounds of Blocks", this);
    CheckOffs->setToolTip("Draw rows  pointed by the Frame Header");
    ImgOffs = new ColourCell(this, 17, 1);
    ImgOffs->setToolTip("Colour to draw bounds");

    // A grey ramp stands in for the toolkit's default table until a palette is applied.
    paletteTable.resize(256);
    for (int i = 0; i < 256; ++i)
        paletteTable[i] = qRgb(i, i, i);
    colourTable = paletteTable;

    LayOutControls();

    ImageHistory = new QUndoStack(this);
    // No step is taken back in the middle of a stroke.
    UndoActions actions = MakeUndoActions(*ImageHistory, *this, [this](bool) { return !Drawing; });
    ActUndo = actions.Undo;
    ActRedo = actions.Redo;
    connect(ImageHistory, &QUndoStack::cleanChanged, this, [this] { ShowEditMark(); });

    connect(ComboZoom, &QComboBox::currentIndexChanged, this, [this] { ComboZoomChange(); });
    connect(ScrViewH, &QScrollBar::valueChanged, this, [this] { ScrViewHChange(); });
    connect(ScrViewV, &QScrollBar::valueChanged, this, [this] { ScrViewVChange(); });
    connect(ImgView, &ViewSurface::MouseDown, this,
        [this](Qt::MouseButton b, int x, int y) { ImgViewMouseDown(b, x, y); });
    connect(ImgView, &ViewSurface::MouseMove, this,
        [this](Qt::MouseButtons b, int x, int y) { ImgViewMouseMove(b, x, y); });
    connect(ImgView, &ViewSurface::MouseUp, this, [this](Qt::MouseButton b) { ImgViewMouseUp(b); });
    connect(BtnUp, &QPushButton::clicked, this, [this] { BtnUpClick(); });
    connect(BtnDown, &QPushButton::clicked, this, [this] { BtnDownClick(); });
    connect(BtnLeft, &QPushButton::clicked, this, [this] { BtnLeftClick(); });
    connect(BtnRight, &QPushButton::clicked, this, [this] { BtnRightClick(); });
    connect(BtnResize, &QPushButton::clicked, this, [this] { BtnResizeClick(); });
    connect(BtnSaveFrame, &QPushButton::clicked, this, [this] { BtnSaveFrameClick(); });
    connect(BtnImpFr, &QPushButton::clicked, this, [this] { BtnImpFrClick(); });
    connect(BtnExpFr, &QPushButton::clicked, this, [this] { BtnExpFrClick(); });
    connect(CheckOffs, &QCheckBox::clicked, this, [this] { CheckOffsClick(); });
    connect(ImgOffs, &ColourCell::Pressed, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            ImgOffsClick();
    });

    // Ctrl+= as well as Ctrl++, since "+" is a shifted key on most keyboards.
    auto shortcut = [this](const QList<QKeySequence>& keys, void (TWindView::*handler)()) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        addAction(action);
    };
    shortcut({ QKeySequence("Ctrl++"), QKeySequence("Ctrl+=") }, &TWindView::ZoomIn);
    shortcut({ QKeySequence("Ctrl+-") }, &TWindView::ZoomOut);
    for (QWidget* child : { static_cast<QWidget*>(ImgView), static_cast<QWidget*>(ScrViewH),
             static_cast<QWidget*>(ScrViewV) })
        child->installEventFilter(this);
    setAcceptDrops(true);

    FormCreate();
}

TWindView::~TWindView()
{
    // The history is a child, emptied after this window's own part is gone: its last clean
    // change must not reach the caption of a window that is already destroyed.
    QObject::disconnect(ImageHistory, nullptr, this, nullptr);
}

void TWindView::FormCreate()
{
    ViewerSettings settings;
    settings.Placement = { width() + FrameExtraWidth, height() + FrameExtraHeight, x(), y() };
    if (ReadViewerSettings(SettingsFileName(app.StartDir), settings)) {
        resize(settings.Placement.Width - FrameExtraWidth, height());
        resize(width(), settings.Placement.Height - FrameExtraHeight);
        move(settings.Placement.Left, y());
        move(x(), settings.Placement.Top);
        // An index the list does not have leaves no item selected; Export then writes 8 bits.
        ComboBPP->setCurrentIndex(settings.PalExp <= 1 ? int(settings.PalExp) : -1);
        if (settings.Offset)
            CheckOffs->setChecked(true);
        app.View.BoundsColour = settings.OffsCol;
    } else {
        app.View.BoundsColour = 0;
    }
    app.View.ViewedFrame = nullptr;
    app.View.Zoom = 1;
    LayOutControls();
    MeasureViewArea();
    ImgView->Surface = QImage();
    ImgOffs->SetFill(app.View.BoundsColour);
    ImgOffs->SetOutline(0);
    created = true;
}

void TWindView::LayOutControls()
{
    const int w = width();
    const int dh = height() - DesignClientHeight;
    const int areaWidth = w - ScrollBarExtent;
    const int scrollHTop = DesignScrollHTop + dh;
    ComboZoom->setGeometry(0, 0, w, ComboZoomHeight);
    ScrViewH->setGeometry(0, scrollHTop, areaWidth, ScrollBarExtent);
    ScrViewV->setGeometry(
        areaWidth, ComboZoomHeight, ScrollBarExtent, scrollHTop - ComboZoomHeight);
    BtnUp->setGeometry(8, 160 + dh, 41, 25);
    BtnDown->setGeometry(56, 160 + dh, 41, 25);
    BtnLeft->setGeometry(104, 160 + dh, 41, 25);
    BtnRight->setGeometry(152, 160 + dh, 41, 25);
    EditFrWidth->setGeometry(8, 194 + dh, 57, 21);
    EditFrHeight->setGeometry(72, 194 + dh, 57, 21);
    BtnResize->setGeometry(136, 194 + dh, 57, 25);
    BtnSaveFrame->setGeometry(8, 224 + dh, 185, 25);
    BtnImpFr->setGeometry(8, 258 + dh, 89, 25);
    BtnExpFr->setGeometry(104, 258 + dh, 89, 25);
    TextBPP->setGeometry(8, 288 + dh, 121, 17);
    ComboBPP->setGeometry(136, 288 + dh, 57, 21);
    CheckOffs->setGeometry(8, 312 + dh, 161, 17);
    ImgOffs->move(176, 312 + dh);
}

void TWindView::MeasureViewArea()
{
    app.View.ViewAreaWidth = width() - ScrViewV->width();
    app.View.ViewAreaHeight = ScrViewH->y() - ComboZoom->height();
}

void TWindView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (created)
        FormResize();
}

void TWindView::closeEvent(QCloseEvent* event)
{
    // The user cannot close the viewer; the program closes it when it ends.
    if (event->spontaneous())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TWindView::FormResize()
{
    const int32_t oldWidth = app.View.ViewAreaWidth;
    const int32_t oldHeight = app.View.ViewAreaHeight;
    LayOutControls();
    MeasureViewArea();
    if (!app.View.HasFrame())
        return;
    app.View.Zoom = uint8_t(ComboZoom->currentIndex() + 1);
    const int64_t zw = int64_t(app.View.Zoom) * app.View.ImageWidth;
    const int64_t zh = int64_t(app.View.Zoom) * app.View.ImageHeight;
    const int32_t newWidth = app.View.ViewAreaWidth;
    const int32_t newHeight = app.View.ViewAreaHeight;
    // An image that fits in both the old and the new area needs no new layout.
    const bool widthNeeds = (oldWidth < zw || newWidth < zw) && oldWidth != newWidth;
    const bool heightNeeds = (oldHeight < zh || newHeight < zh) && oldHeight != newHeight;
    if (widthNeeds || heightNeeds)
        RedrawView(true);
}

void TWindView::ComboZoomChange()
{
    app.View.Zoom = uint8_t(std::max(ComboZoom->currentIndex(), 0) + 1);
    RedrawView(true);
}

void TWindView::ScrViewHChange()
{
    RedrawView(false);
}

void TWindView::ScrViewVChange()
{
    RedrawView(false);
}

void TWindView::SyncScrollBars()
{
    const ViewerState& v = app.View;
    const QSignalBlocker blockH(ScrViewH);
    const QSignalBlocker blockV(ScrViewV);
    ScrViewH->setMaximum(v.ScrollHMax);
    ScrViewH->setValue(v.ScrollH);
    ScrViewH->setEnabled(v.ScrollHEnabled);
    ScrViewV->setMaximum(v.ScrollVMax);
    ScrViewV->setValue(v.ScrollV);
    ScrViewV->setEnabled(v.ScrollVEnabled);
}

void TWindView::EnsureSurfaceSize()
{
    const ViewerState& v = app.View;
    QImage& surface = ImgView->Surface;
    if (surface.width() != v.SurfaceWidth || surface.height() != v.SurfaceHeight
        || surface.format() != QImage::Format_Indexed8) {
        if (v.SurfaceWidth > 0 && v.SurfaceHeight > 0) {
            surface = QImage(v.SurfaceWidth, v.SurfaceHeight, QImage::Format_Indexed8);
            surface.setColorTable(colourTable);
        } else {
            surface = QImage();
        }
    }
    ImgView->resize(v.SurfaceWidth, v.SurfaceHeight);
}

void TWindView::RedrawView(bool relayout)
{
    ++RedrawCount;
    ViewerState& v = app.View;
    if (!v.HasFrame()) {
        ImgView->hide();
        ImgView->Bounds.clear();
        v.ClearLayout();
        SyncScrollBars();
        if (app.WindPal)
            app.WindPal->RaiseColourOps();
        if (app.WindColours)
            app.WindColours->ImageChanged();
        return;
    }
    ImgView->show();
    v.ScrollH = ScrViewH->value();
    v.ScrollV = ScrViewV->value();
    if (relayout) {
        v.Relayout();
        SyncScrollBars();
    }
    EnsureSurfaceSize();
    QImage& surface = ImgView->Surface;
    if (!surface.isNull())
        v.FillSurface(surface.bits(), int32_t(surface.bytesPerLine()));
    ImgView->Bounds.clear();
    if (CheckOffs->isChecked() && v.ViewedFrame->Frame) {
        BlockRowSet rows;
        v.ViewedFrame->Frame->GetBlockRows(rows);
        ImgView->Bounds = v.BoundLines(rows);
    }
    ImgView->BoundsColour = v.BoundsColour;
    ImgView->update();
    // Every edit of the image ends in a redraw, so the colours marked as in use follow it.
    if (app.WindColours)
        app.WindColours->ImageChanged();
}

void TWindView::ZoomIn()
{
    if (ComboZoom->currentIndex() < ComboZoom->count() - 1)
        ComboZoom->setCurrentIndex(ComboZoom->currentIndex() + 1);
}

void TWindView::ZoomOut()
{
    if (ComboZoom->currentIndex() > 0)
        ComboZoom->setCurrentIndex(ComboZoom->currentIndex() - 1);
}

void TWindView::ViewWheel(const QPoint& angleDelta, Qt::KeyboardModifiers modifiers)
{
    // Some systems turn a Shift + wheel into a sideways wheel themselves; either way the
    // larger part of the turn counts.
    const int delta
        = std::abs(angleDelta.y()) >= std::abs(angleDelta.x()) ? angleDelta.y() : angleDelta.x();
    if (modifiers & Qt::ControlModifier) {
        const int32_t notches = wheelZoom.Add(delta);
        if (notches != 0)
            ComboZoom->setCurrentIndex(WheelZoom(ComboZoom->currentIndex() + 1, notches) - 1);
        return;
    }
    const bool across = (modifiers & Qt::ShiftModifier) || angleDelta.y() == 0;
    QScrollBar* bar = across ? ScrViewH : ScrViewV;
    WheelAccumulator& accumulator = across ? wheelAcross : wheelDown;
    const int32_t notches = accumulator.Add(delta);
    if (notches == 0 || !bar->isEnabled())
        return;
    const int32_t step
        = WheelScrollStep(across ? app.View.ViewAreaWidth : app.View.ViewAreaHeight);
    bar->setValue(WheelScrollPosition(bar->value(), bar->maximum(), notches, step));
}

void TWindView::wheelEvent(QWheelEvent* event)
{
    ViewWheel(event->angleDelta(), event->modifiers());
    event->accept();
}

bool TWindView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel
        && (watched == ImgView || watched == ScrViewH || watched == ScrViewV)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        ViewWheel(wheel->angleDelta(), wheel->modifiers());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TWindView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFiles(event->mimeData(), PictureSuffixes).isEmpty())
        event->acceptProposedAction();
}

void TWindView::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedFiles(event->mimeData(), PictureSuffixes);
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // One frame is in view, so one picture is imported: the first.
    ImportFile(files.front());
}

void TWindView::ApplyPaletteToView()
{
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = app.Pal.Palette[size_t(i)];
        paletteTable[i] = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    }
    ApplyTranslationToView();
}

void TWindView::ApplyTranslationToView()
{
    // The pixels stay indices: the table only changes which colour each index is painted in.
    for (int i = 0; i < 256; ++i)
        colourTable[i] = paletteTable[app.Colours.ShownIndex(uint8_t(i))];
    if (!ImgView->Surface.isNull())
        ImgView->Surface.setColorTable(colourTable);
    // The animation window shows the same palette; it recolours at once.
    if (app.WindAnim)
        app.WindAnim->ApplyPalette();
}

void TWindView::ImgViewMouseDown(Qt::MouseButton button, int x, int y)
{
    ViewerState& v = app.View;
    if (!v.HasFrame())
        return;
    LastDrawX = v.ColumnAt(x);
    LastDrawY = v.RowAt(y);
    ImgView->setToolTip(QString());
    QToolTip::hideText();
    if (button == Qt::RightButton) {
        if (v.InImage(LastDrawX, LastDrawY) && app.WindPal)
            app.WindPal->PickColour(v.PixelAt(LastDrawX, LastDrawY));
        return;
    }
    if (button == Qt::LeftButton) {
        BeginImageStep("Stroke");
        Drawing = true;
        v.PutPixel(LastDrawX, LastDrawY, app.Pal.SelectedColour);
        RedrawView(false);
        ImgView->SetConfined(true);
    }
}

void TWindView::ImgViewMouseMove(Qt::MouseButtons buttons, int x, int y)
{
    ViewerState& v = app.View;
    if (x < 0 || x >= ImgView->width() || y < 0 || y >= ImgView->height())
        return;
    if (!v.HasFrame())
        return;
    const int32_t column = v.ColumnAt(x);
    const int32_t row = v.RowAt(y);
    if (buttons & Qt::RightButton) {
        if (v.InImage(column, row) && app.WindPal)
            app.WindPal->PickColour(v.PixelAt(column, row));
        return;
    }
    if (!Drawing)
        return;
    if (column == LastDrawX && row == LastDrawY)
        return;
    v.DrawStroke(LastDrawX, LastDrawY, column, row, app.Pal.SelectedColour);
    LastDrawX = column;
    LastDrawY = row;
    RedrawView(false);
}

void TWindView::ImgViewMouseUp(Qt::MouseButton button)
{
    if (button == Qt::LeftButton) {
        const bool wasDrawing = Drawing;
        Drawing = false;
        ImgView->SetConfined(false);
        if (wasDrawing)
            EndImageStep();
    }
    ImgView->setToolTip(ImgViewHint);
}

void TWindView::BtnResizeClick()
{
    if (!app.View.HasFrame()) {
        Message(app, "No image");
        return;
    }
    if (!DigitsOnly(EditFrWidth->text()) || !DigitsOnly(EditFrHeight->text())) {
        Message(app, "Incorrect input");
        return;
    }
    // A text of digits is a size, however long: a number beyond what ParseDecimal holds, like
    // one the core refuses as too large to hold, is an incorrect size, not incorrect input.
    const int32_t w = ParseDecimal(EditFrWidth->text().toStdString());
    const int32_t h = ParseDecimal(EditFrHeight->text().toStdString());
    BeginImageStep("Resize");
    if (w < 0 || h < 0 || !app.View.ResizeImage(uint32_t(w), uint32_t(h))) {
        pendingBefore = nullptr;
        Message(app, "Incorrect sizes");
        return;
    }
    EndImageStep();
    RedrawView(true);
}

void TWindView::BtnUpClick()
{
    if (!app.View.HasFrame())
        return;
    BeginImageStep("Up");
    app.View.ShiftUp();
    EndImageStep();
    RedrawView(false);
}

void TWindView::BtnDownClick()
{
    if (!app.View.HasFrame())
        return;
    BeginImageStep("Down");
    app.View.ShiftDown();
    EndImageStep();
    RedrawView(false);
}

void TWindView::BtnLeftClick()
{
    if (!app.View.HasFrame())
        return;
    BeginImageStep("Left");
    app.View.ShiftLeft();
    EndImageStep();
    RedrawView(false);
}

void TWindView::BtnRightClick()
{
    if (!app.View.HasFrame())
        return;
    BeginImageStep("Right");
    app.View.ShiftRight();
    EndImageStep();
    RedrawView(false);
}

void TWindView::StoreFrame(bool encode, const CELFrame* original)
{
    ViewerState& v = app.View;
    if (!v.HasFrame() || !v.ViewedFrame->Frame)
        return;
    CELFrame& frame = *v.ViewedFrame->Frame;
    const CELFrame before = original ? *original : frame;
    frame.SetSize(v.ImageWidth, v.ImageHeight);
    if (encode)
        frame.EncodeImage(v.FrameImage);
    frame.AnalyseData();
    frame.SelectCandidateWidth(v.ImageWidth);
    if (app.WindFrame) {
        app.WindFrame->RefreshViewedFrameItem();
        app.WindFrame->RecordFrameChange(
            encode ? "Save Frame" : "Import", v.ViewedFrame, before, true);
    }
}

void TWindView::BtnSaveFrameClick()
{
    // A width choice derives the height from the current size, so the image in view can be
    // 0 pixels high (or wide); encoding it would give a frame with no data, and a CEL that
    // holds one can never be read again.
    if (app.View.HasFrame() && (app.View.ImageWidth == 0 || app.View.ImageHeight == 0)) {
        Message(app, "Incorrect sizes");
        return;
    }
    StoreFrame(true);
    // What the image shows is now what the frame holds.
    if (app.View.HasFrame())
        ImageHistory->setClean();
}

void TWindView::BtnImpFrClick()
{
    ViewerState& v = app.View;
    if (!v.HasFrame() || !v.ViewedFrame->Frame)
        return;
    FileDialogOptions options;
    options.Title = "Import Bitmap file";
    options.Filter = "Bitmap|*.bmp|PNG image|*.png|GIF image|*.gif";
    options.DefaultExtension = "bmp";
    options.MustExist = true;
    const std::optional<QString> chosen = app.dialogs.OpenFileName(options);
    if (!chosen)
        return;
    ImportFile(*chosen);
}

void TWindView::ImportFile(const QString& fileName)
{
    ViewerState& v = app.View;
    if (!v.HasFrame() || !v.ViewedFrame->Frame)
        return;
    CELFrame& frame = *v.ViewedFrame->Frame;
    // The import writes into the frame at once; the step of the frame lists gives the frame
    // as it was back. BMP, PNG or GIF (its first frame), whichever the file's first bytes say
    // it is.
    const CELFrame original = frame;
    const uint8_t result = ImportImageFile(fileName.toStdString(), app.Pal, frame);
    if (result == BitmapCannotOpen) {
        Message(app, "Cannot read file");
        return;
    }
    if (result != BitmapOK) {
        Message(app, "File has unsupported format");
        return;
    }
    v.ImageWidth = frame.Width;
    v.ImageHeight = frame.Height;
    StoreFrame(false, &original);
    EditFrWidth->setText(QString::number(v.ImageWidth));
    EditFrHeight->setText(QString::number(v.ImageHeight));
    const bool tooLarge = frame.Viewable() && ViewerState::TooLargeToShow(frame);
    if (!frame.Viewable() || tooLarge) {
        // A picture whose data admits no width cannot be decoded; it is treated like any
        // frame that cannot be shown, and so is one whose width makes it too large to hold.
        v.ViewedFrame = nullptr;
        setWindowTitle("View Frame");
        RedrawView(true);
        ResetHistory();
        if (tooLarge)
            Message(app, "Frame is too large to show");
        return;
    }
    frame.DecodeImage(v.FrameImage);
    // The decoded image has the size of the selected width; keep the sizes in step with it
    // so that drawing never reads beyond the image.
    v.ImageWidth = frame.Width;
    v.ImageHeight = frame.Height;
    RedrawView(true);
    // The edits made before belonged to the picture the import replaced.
    ResetHistory();
}

void TWindView::BtnExpFrClick()
{
    const ViewerState& v = app.View;
    if (!v.HasFrame())
        return;
    FileDialogOptions options;
    options.Title = "Export Bitmap file";
    options.Filter = "Bitmap|*.bmp|PNG image|*.png";
    options.DefaultExtension = "bmp";
    const std::optional<QString> chosen = app.dialogs.SaveFileName(options);
    if (!chosen)
        return;
    Bitmap bitmap;
    bitmap.BitmapWidth = v.ImageWidth;
    bitmap.BitmapHeight = v.ImageHeight;
    bitmap.BitmapPixels = v.FrameImage;
    // No selected item (an odd index from the settings) exports 8 bits.
    const uint32_t bits = ComboBPP->currentIndex() == 1 ? 24 : 8;
    const std::string path = chosen->toStdString();
    const uint8_t result = ExportFormatForName(path) == ImageFileFormat::PNG
        ? WritePNG(path, bitmap, app.Pal, bits)
        : WriteBitmap(path, bitmap, app.Pal, bits);
    if (result != BitmapWritten)
        Message(app, "Cannot write file");
}

void TWindView::CheckOffsClick()
{
    if (app.View.HasFrame())
        RedrawView(false);
}

void TWindView::ImgOffsClick()
{
    const std::optional<uint32_t> chosen = app.dialogs.ChooseColour(lastBoundsDialogColour);
    if (!chosen)
        return;
    lastBoundsDialogColour = *chosen;
    app.View.BoundsColour = *chosen;
    ImgOffs->SetFill(*chosen);
    if (app.View.HasFrame())
        RedrawView(false);
}

void TWindView::BeginImageStep(const char* name)
{
    pendingBefore = nullptr;
    if (!app.View.HasFrame())
        return;
    if (!current)
        current = TakeSnapshot(app.View, baseWidthText, baseHeightText);
    pendingBefore = current;
    pendingName = name;
}

void TWindView::EndImageStep()
{
    EndImageStep(nullptr);
}

void TWindView::EndImageStep(std::function<void(bool forward)> alongside)
{
    ImageSnapshotRef before = std::move(pendingBefore);
    pendingBefore = nullptr;
    if (!before || !app.View.HasFrame())
        return;
    const ViewerState& v = app.View;
    if (!alongside && v.ImageWidth == before->ImageWidth && v.ImageHeight == before->ImageHeight
        && v.FrameImage == before->FrameImage) {
        // Nothing changed: no step. A copy taken for it alone is not kept.
        if (ImageHistory->count() == 0)
            current = nullptr;
        return;
    }
    auto step = std::make_shared<ImageStep>();
    step->Name = pendingName;
    step->Before = std::move(before);
    step->After = TakeSnapshot(
        v, EditFrWidth->text().toStdString(), EditFrHeight->text().toStdString());
    current = step->After;
    ImageHistory->push(new ImageCommand(*this, std::move(step), std::move(alongside)));
    TrimHistory();
}

void TWindView::TrimHistory()
{
    std::vector<std::shared_ptr<const ImageStep>> steps;
    std::vector<std::function<void(bool)>> alongside;
    std::vector<const ImageStep*> view;
    for (int i = 0; i < ImageHistory->count(); ++i) {
        const auto* command = static_cast<const ImageCommand*>(ImageHistory->command(i));
        steps.push_back(command->Step());
        alongside.push_back(command->Alongside());
        view.push_back(steps.back().get());
    }
    const size_t drop = OldestStepsToDrop(view, HistoryLimits);
    if (drop == 0)
        return;
    // The stack cannot let go of its oldest commands by itself: it is filled again with the
    // steps that stay, whose changes are all made already. Trimming follows a new step only,
    // so there is nothing to redo that could be lost.
    // The state "Save Frame" stored stays the clean one, or none when it was dropped.
    const int clean = ImageHistory->cleanIndex();
    ImageHistory->clear();
    if (clean < int(drop))
        ImageHistory->resetClean();
    for (size_t k = drop; k < steps.size(); ++k) {
        ImageHistory->push(new ImageCommand(*this, steps[k], alongside[k]));
        if (clean == int(k + 1))
            ImageHistory->setClean();
    }
    if (ImageHistory->count() == 0) {
        baseWidthText = EditFrWidth->text().toStdString();
        baseHeightText = EditFrHeight->text().toStdString();
        current = nullptr;
    }
}

void TWindView::ResetHistory()
{
    ImageHistory->clear();
    current = nullptr;
    pendingBefore = nullptr;
    baseWidthText = EditFrWidth->text().toStdString();
    baseHeightText = EditFrHeight->text().toStdString();
    ShowEditMark();
}

void TWindView::ApplyImageStep(const ImageStep& step, bool forward)
{
    const ImageSnapshotRef& target = forward ? step.After : step.Before;
    if (!target || !app.View.HasFrame())
        return;
    const bool resized = RestoreSnapshot(app.View, *target);
    EditFrWidth->setText(QString::fromStdString(target->WidthText));
    EditFrHeight->setText(QString::fromStdString(target->HeightText));
    current = target;
    RedrawView(resized);
}

uint64_t TWindView::HistoryBytes() const
{
    std::vector<const ImageStep*> steps;
    for (int i = 0; i < ImageHistory->count(); ++i)
        steps.push_back(static_cast<const ImageCommand*>(ImageHistory->command(i))->Step().get());
    return ::HistoryBytes(steps);
}

bool TWindView::HasUnstoredEdits() const
{
    if (!ImageHistory || !app.View.HasFrame())
        return false;
    return !ImageHistory->isClean();
}

bool TWindView::ConfirmLeaveFrame(bool* stored)
{
    if (stored)
        *stored = false;
    // A stroke in progress ends here, so that it counts as an edit.
    if (Drawing)
        ImgViewMouseUp(Qt::LeftButton);
    if (!HasUnstoredEdits())
        return true;
    Question question;
    question.Text = "The image in view has changes that \"Save Frame\" did not store. Store "
                    "them in the frame?";
    question.Title = "View Frame";
    question.Detail = plainTitle.startsWith("View Frame: ") ? plainTitle.mid(12) : plainTitle;
    question.WithCancel = true;
    switch (app.dialogs.Ask(question)) {
    case Answer::Yes:
        BtnSaveFrameClick();
        if (HasUnstoredEdits())
            return false;
        if (stored)
            *stored = true;
        return true;
    case Answer::No:
        DropEdits();
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

void TWindView::DropEdits()
{
    ViewerState& v = app.View;
    if (!v.HasFrame() || !v.ViewedFrame->Frame)
        return;
    const CELFrame& frame = *v.ViewedFrame->Frame;
    frame.DecodeImage(v.FrameImage);
    v.ImageWidth = frame.Width;
    v.ImageHeight = frame.Height;
    EditFrWidth->setText(QString::number(v.ImageWidth));
    EditFrHeight->setText(QString::number(v.ImageHeight));
    RedrawView(true);
    ResetHistory();
}

void TWindView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange && !markingTitle) {
        plainTitle = windowTitle();
        ShowEditMark();
    }
}

void TWindView::ShowEditMark()
{
    const QString wanted = HasUnstoredEdits() ? plainTitle + " *" : plainTitle;
    if (windowTitle() == wanted)
        return;
    markingTitle = true;
    setWindowTitle(wanted);
    markingTitle = false;
}
