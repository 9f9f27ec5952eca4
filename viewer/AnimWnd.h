#pragma once

#include <vector>

#include <QVector>
#include <QWidget>

#include "cel/CELHandler.h"
#include "viewer/AnimationState.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTimer;
class ViewSurface;
struct AppContext;

// The animation window "Animation": plays the frames of one pane of the frame lists window
// in pane order, each at its selected width, in the current palette, passing over frames
// that cannot be shown. A timer of the one event loop drives it. It follows its pane: each
// new pass takes the pane's frames anew, and it stops with nothing shown when the pane is
// emptied or given another CEL. Opened from the frame lists; never written to the settings.
class TWindAnim : public QWidget {
    Q_OBJECT
public:
    explicit TWindAnim(AppContext& app);

    QPushButton* BtnBack = nullptr;
    QPushButton* BtnPlay = nullptr; // "Play" while paused, "Pause" while playing
    QPushButton* BtnForward = nullptr;
    QCheckBox* CheckLoop = nullptr;
    QSpinBox* SpinSpeed = nullptr; // frames per second, 1 to 60
    QSpinBox* SpinZoom = nullptr;  // 1 to 8
    QPushButton* BtnSaveGIF = nullptr; // "Save as GIF...", while a frame is shown
    QLabel* TextFrame = nullptr;   // caption of the frame shown, and its place in the pass
    ViewSurface* ImgAnim = nullptr;
    QTimer* Timer = nullptr;

    AnimationState State;

    // Shows the window and plays the given pane from its first frame.
    void Play(bool leftPane);
    void BtnPlayClick();
    void BtnBackClick();
    void BtnForwardClick();
    void CheckLoopClick();
    void SpinSpeedChange();
    void SpinZoomChange();
    // Writes what the window plays (the pane's frames as a new pass takes them, the speed, the
    // zoom, looping for ever or playing once) as an animated GIF chosen in a save dialog, in
    // the colours the window shows.
    void BtnSaveGIFClick();
    // One tick of the timer: the next frame while playing.
    void TimerTick();

    // The frame lists window empties a pane: if it is this window's pane, play stops and
    // nothing is shown.
    void PaneCleared(bool leftPane);
    // Frames were destroyed (a CEL was closed): a frame in view that is gone is passed over.
    void FramesDestroyed();
    // Rebuilds the colour table from the palette and repaints.
    void ApplyPalette();

    bool PlaysLeftPane() const { return left; }
    const QVector<QRgb>& ColourTable() const { return colourTable; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The frames of the pane (its items after "<Begin>"), or nothing once the pane no longer
    // shows the CEL it showed when play began (then the window stops).
    std::vector<FrameSlotRef> PaneFrames();
    void SetPlaying(bool playing);
    void Redraw();

    AppContext& app;
    bool left = true;
    CELHolderRef holder; // the CEL the pane showed when play began
    QVector<QRgb> colourTable;
    QScrollArea* area = nullptr;
};
