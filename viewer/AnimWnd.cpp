#include "viewer/AnimWnd.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/Dialogs.h"
#include "bitmaps/GIFHandler.h"
#include "framelists/FrameWnd.h"
#include "viewer/GuiViewSurface.h"
#include "viewer/ViewerWnd.h"

namespace {
QPushButton* MakeButton(QWidget* parent, const char* caption, const char* hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}
} // namespace

TWindAnim::TWindAnim(AppContext& app)
    : app(app)
{
    app.WindAnim = this;
    setWindowTitle("Animation");
    setWindowFlags(Qt::Tool);
    resize(280, 300);
    move(420, 450);

    BtnBack = MakeButton(this, "<", "Previous frame");
    BtnPlay = MakeButton(this, "Play", "Play or pause the animation");
    BtnForward = MakeButton(this, ">", "Next frame");
    CheckLoop = new QCheckBox("Loop", this);
    CheckLoop->setToolTip("Start again after the last frame");
    CheckLoop->setChecked(State.Loop);
    SpinSpeed = new QSpinBox(this);
    SpinSpeed->setRange(int(AnimationState::MinSpeed), int(AnimationState::MaxSpeed));
    SpinSpeed->setValue(int(State.Speed()));
    SpinSpeed->setSuffix(" fps");
    SpinSpeed->setToolTip("Frames per second");
    SpinZoom = new QSpinBox(this);
    SpinZoom->setRange(AnimationState::MinZoom, AnimationState::MaxZoom);
    SpinZoom->setValue(State.Zoom());
    SpinZoom->setSuffix("x");
    SpinZoom->setToolTip("Zoom the animation. Does not affect the frames");
    BtnSaveGIF = MakeButton(this, "Save as GIF...", "Save the animation as it plays to a GIF file");
    TextFrame = new QLabel(this);
    ImgAnim = new ViewSurface(nullptr);
    area = new QScrollArea(this);
    area->setWidget(ImgAnim);
    area->setAlignment(Qt::AlignCenter);
    area->setBackgroundRole(QPalette::Dark);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BtnBack);
    buttons->addWidget(BtnPlay);
    buttons->addWidget(BtnForward);
    buttons->addWidget(CheckLoop);
    auto* options = new QHBoxLayout;
    options->addWidget(new QLabel("Speed", this));
    options->addWidget(SpinSpeed);
    options->addWidget(new QLabel("Zoom", this));
    options->addWidget(SpinZoom);
    auto* saving = new QHBoxLayout;
    saving->addWidget(BtnSaveGIF);
    saving->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addLayout(options);
    layout->addLayout(saving);
    layout->addWidget(TextFrame);
    layout->addWidget(area, 1);

    Timer = new QTimer(this);
    Timer->setTimerType(Qt::PreciseTimer);
    Timer->setInterval(State.IntervalMilliseconds());

    for (int i = 0; i < 256; ++i)
        colourTable.push_back(qRgb(i, i, i));
    ApplyPalette();

    connect(BtnBack, &QPushButton::clicked, this, [this] { BtnBackClick(); });
    connect(BtnPlay, &QPushButton::clicked, this, [this] { BtnPlayClick(); });
    connect(BtnForward, &QPushButton::clicked, this, [this] { BtnForwardClick(); });
    connect(CheckLoop, &QCheckBox::toggled, this, [this] { CheckLoopClick(); });
    connect(SpinSpeed, &QSpinBox::valueChanged, this, [this] { SpinSpeedChange(); });
    connect(SpinZoom, &QSpinBox::valueChanged, this, [this] { SpinZoomChange(); });
    connect(BtnSaveGIF, &QPushButton::clicked, this, [this] { BtnSaveGIFClick(); });
    connect(Timer, &QTimer::timeout, this, [this] { TimerTick(); });
    Redraw();
}

std::vector<FrameSlotRef> TWindAnim::PaneFrames()
{
    std::vector<FrameSlotRef> frames;
    if (!app.WindFrame || !holder)
        return frames;
    const CELHolderRef& shown = left ? app.LeftCEL : app.RightCEL;
    if (shown != holder) {
        // The pane was given another CEL, or none, without being cleared through this window.
        holder = nullptr;
        SetPlaying(false);
        State.Stop();
        return frames;
    }
    const PaneModel& pane = left ? app.WindFrame->LeftPane : app.WindFrame->RightPane;
    for (int32_t k = 1; k < pane.Count(); ++k)
        frames.push_back(pane.Items[size_t(k)].Slot);
    return frames;
}

void TWindAnim::Play(bool leftPane)
{
    left = leftPane;
    holder = left ? app.LeftCEL : app.RightCEL;
    State.Stop();
    State.Begin(PaneFrames());
    SetPlaying(State.Showing());
    Redraw();
    show();
    raise();
}

void TWindAnim::SetPlaying(bool playing)
{
    State.Playing = playing;
    if (playing) {
        Timer->setInterval(State.IntervalMilliseconds());
        Timer->start();
    } else {
        Timer->stop();
    }
    BtnPlay->setText(playing ? "Pause" : "Play");
}

void TWindAnim::BtnPlayClick()
{
    if (State.Playing) {
        SetPlaying(false);
        return;
    }
    // Play after the end of a pass without looping starts the next pass.
    const std::vector<FrameSlotRef> frames = PaneFrames();
    if (!State.Showing() || State.Position + 1 >= int32_t(State.Pass.size()))
        State.Begin(frames);
    SetPlaying(State.Showing());
    Redraw();
}

void TWindAnim::BtnBackClick()
{
    SetPlaying(false);
    State.StepBack(PaneFrames());
    Redraw();
}

void TWindAnim::BtnForwardClick()
{
    SetPlaying(false);
    State.StepForward(PaneFrames(), true);
    Redraw();
}

void TWindAnim::CheckLoopClick()
{
    State.Loop = CheckLoop->isChecked();
}

void TWindAnim::SpinSpeedChange()
{
    State.SetSpeed(SpinSpeed->value());
    Timer->setInterval(State.IntervalMilliseconds());
}

void TWindAnim::SpinZoomChange()
{
    State.SetZoom(SpinZoom->value());
    Redraw();
}

void TWindAnim::BtnSaveGIFClick()
{
    const std::vector<Bitmap> pictures = AnimationState::PassPictures(PaneFrames());
    if (pictures.empty())
        return;
    FileDialogOptions options;
    options.Title = "Save as GIF";
    options.Filter = "GIF image|*.gif";
    options.DefaultExtension = "gif";
    const std::optional<QString> chosen = app.dialogs.SaveFileName(options);
    if (!chosen)
        return;
    // The colours the window shows: the palette once one is applied, the grey ramp before.
    PaletteModel palette;
    for (size_t i = 0; i < palette.Palette.size() && i < size_t(colourTable.size()); ++i) {
        const QRgb colour = colourTable[qsizetype(i)];
        palette.Palette[i] = uint32_t(qRed(colour)) | uint32_t(qGreen(colour)) << 8
            | uint32_t(qBlue(colour)) << 16;
    }
    GIFAnimation animation;
    animation.FramesPerSecond = State.Speed();
    animation.Zoom = State.Zoom();
    animation.LoopCount = State.Loop ? 0 : GIFAnimation::PlayOnce;
    if (WriteGIF(chosen->toStdString(), pictures, palette, animation) != BitmapWritten)
        app.dialogs.ShowMessage("Cannot write file", "Error", MessageIcon::Error);
}

void TWindAnim::TimerTick()
{
    if (!State.Playing)
        return;
    State.Tick(PaneFrames());
    if (!State.Playing || !State.Showing())
        SetPlaying(false);
    Redraw();
}

void TWindAnim::FramesDestroyed()
{
    if (!State.PassOverLost(PaneFrames()))
        return;
    if (!State.Playing)
        SetPlaying(false);
    Redraw();
}

void TWindAnim::PaneCleared(bool leftPane)
{
    if (leftPane != left || !holder)
        return;
    holder = nullptr;
    SetPlaying(false);
    State.Stop();
    Redraw();
}

void TWindAnim::ApplyPalette()
{
    // The frames look as they do in the viewer: its table is the palette once one has been
    // applied, and the grey ramp before that (an untouched palette is all black, which would
    // show nothing).
    if (app.WindView)
        colourTable = app.WindView->ColourTable();
    if (!ImgAnim->Surface.isNull()) {
        ImgAnim->Surface.setColorTable(colourTable);
        ImgAnim->update();
    }
}

void TWindAnim::Redraw()
{
    std::vector<uint8_t> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
    State.Render(pixels, width, height);
    BtnSaveGIF->setEnabled(!pixels.empty());
    if (pixels.empty()) {
        ImgAnim->Surface = QImage();
        ImgAnim->resize(0, 0);
        ImgAnim->hide();
        TextFrame->setText(QString());
        return;
    }
    QImage& surface = ImgAnim->Surface;
    if (surface.width() != int(width) || surface.height() != int(height)
        || surface.format() != QImage::Format_Indexed8) {
        surface = QImage(int(width), int(height), QImage::Format_Indexed8);
        surface.setColorTable(colourTable);
    }
    for (uint32_t y = 0; y < height; ++y)
        std::copy_n(pixels.data() + size_t(y) * width, width, surface.scanLine(int(y)));
    ImgAnim->resize(int(width), int(height));
    ImgAnim->show();
    ImgAnim->update();
    const FrameSlotRef slot = State.Current();
    const int32_t paneIndex = [&] {
        const PaneModel* pane = app.WindFrame
            ? (left ? &app.WindFrame->LeftPane : &app.WindFrame->RightPane)
            : nullptr;
        if (pane)
            for (int32_t k = 1; k < pane->Count(); ++k)
                if (pane->Items[size_t(k)].Slot == slot)
                    return k - 1;
        return -1;
    }();
    QString caption = paneIndex >= 0 ? QString("#%1").arg(paneIndex) : QString("-");
    if (slot && slot->Frame && !slot->Frame->Name.empty())
        caption += " " + QString::fromStdString(slot->Frame->Name);
    TextFrame->setText(QString("%1   (%2 / %3)")
                           .arg(caption)
                           .arg(State.Position + 1)
                           .arg(State.Pass.size()));
}

void TWindAnim::closeEvent(QCloseEvent* event)
{
    SetPlaying(false);
    QWidget::closeEvent(event);
}

void TWindAnim::hideEvent(QHideEvent* event)
{
    // Nothing plays unseen.
    SetPlaying(false);
    QWidget::hideEvent(event);
}
