#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QVector>
#include <QWidget>

#include "viewer/ImageHistory.h"
#include "viewer/WheelSteps.h"

class CELFrame;
class QAction;
class QCheckBox;
class QUndoStack;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class ColourCell;
class ViewSurface;
struct AppContext;

// The viewer window "View Frame": shows FrameImage of the frame in view, zoomed and scrolled,
// in the colours of the palette, and edits it (drawing, picking, resizing, shifting, import,
// export, Save Frame). The image state itself lives in AppContext::View; the window holds the
// surface it is drawn into and the controls. Created once at start and never closed by the
// user.
class TWindView : public QWidget {
    Q_OBJECT
public:
    explicit TWindView(AppContext& app);
    ~TWindView() override;

    // Controls, named as in the design.
    QComboBox* ComboZoom = nullptr;
    ViewSurface* ImgView = nullptr;
    QScrollBar* ScrViewV = nullptr;
    QScrollBar* ScrViewH = nullptr;
    QPushButton* BtnUp = nullptr;
    QPushButton* BtnDown = nullptr;
    QPushButton* BtnLeft = nullptr;
    QPushButton* BtnRight = nullptr;
    QLineEdit* EditFrWidth = nullptr;
    QLineEdit* EditFrHeight = nullptr;
    QPushButton* BtnResize = nullptr;
    QPushButton* BtnSaveFrame = nullptr;
    QPushButton* BtnImpFr = nullptr;
    QPushButton* BtnExpFr = nullptr;
    QLabel* TextBPP = nullptr;
    QComboBox* ComboBPP = nullptr;
    QCheckBox* CheckOffs = nullptr;
    ColourCell* ImgOffs = nullptr;

    // Editing state: a left-button stroke in progress, and the last image pixel pressed or
    // drawn (column, row counted from the bottom).
    bool Drawing = false;
    int32_t LastDrawX = 0;
    int32_t LastDrawY = 0;

    // Number of RedrawView calls so far; lets tests see that an idle move did not redraw.
    uint64_t RedrawCount = 0;

    // Every change to the working image since the frame was shown, as undo steps. ActUndo and
    // ActRedo carry Ctrl+Z, Ctrl+Shift+Z / Ctrl+Y in this window and the palette window.
    QUndoStack* ImageHistory = nullptr;
    QAction* ActUndo = nullptr;
    QAction* ActRedo = nullptr;
    ImageHistoryLimits HistoryLimits;

    void FormCreate();
    void FormResize();
    void ComboZoomChange();
    void ScrViewHChange();
    void ScrViewVChange();
    void ImgViewMouseDown(Qt::MouseButton button, int x, int y);
    void ImgViewMouseMove(Qt::MouseButtons buttons, int x, int y);
    void ImgViewMouseUp(Qt::MouseButton button);
    void BtnResizeClick();
    void BtnUpClick();
    void BtnDownClick();
    void BtnLeftClick();
    void BtnRightClick();
    void BtnSaveFrameClick();
    void BtnImpFrClick();
    void BtnExpFrClick();
    void CheckOffsClick();
    void ImgOffsClick();

    // Steps 3 to 7 of "Import" for a file name already chosen; used by "Import" and by a
    // picture file dropped on the window. Does nothing while no frame is in view.
    void ImportFile(const QString& fileName);
    // Ctrl++ and Ctrl+-: the next or previous item of ComboZoom, so that the rules of a zoom
    // change hold; nothing past "Normal" or "8x Zoom".
    void ZoomIn();
    void ZoomOut();
    // The mouse wheel over the view: with Ctrl it zooms, with Shift it scrolls across, and
    // alone it scrolls down the view, a notch moving a tenth of the view area through the
    // scroll bars (so their change handlers run).
    void ViewWheel(const QPoint& angleDelta, Qt::KeyboardModifiers modifiers);

    // Redraws the visible part of FrameImage; with relayout the surface size and the scroll
    // ranges are computed first. With no frame in view the image is hidden, the bars are
    // disabled and the palette window's Replace / Exchange are raised.
    void RedrawView(bool relayout);
    // Installs the palette as the surface's colour table; callers redraw afterwards.
    void ApplyPaletteToView();
    // Installs the colour table anew after the translation table changed: each index shows
    // in the colour of its table entry. The animation window follows. Callers redraw.
    void ApplyTranslationToView();

    // A change to the working image begins and ends; the change becomes a step when it
    // changed the image or its size. The palette window brackets Replace and Exchange so.
    void BeginImageStep(const char* name);
    void EndImageStep();
    // The same for a change that goes with another one outside the image (a remap gives the
    // palette back): alongside(false) runs after the image is taken back, alongside(true)
    // after it is put forward again. The step is made even when the image did not change.
    void EndImageStep(std::function<void(bool forward)> alongside);
    // Empties the history: the image was replaced from outside (another frame shown, an
    // import, a width choice). The width and height fields as they are now belong to it.
    void ResetHistory();
    // Puts the image of one side of a step back; the undo commands call it.
    void ApplyImageStep(const ImageStep& step, bool forward);
    // Bytes of image the history holds, each shared copy once.
    uint64_t HistoryBytes() const;

    // True while the image in view has edits that "Save Frame" did not store; the caption
    // then ends in " *".
    bool HasUnstoredEdits() const;
    // Called before anything replaces the image in view (another frame shown, a width chosen,
    // the pane emptied, the program closed). With unstored edits it asks Yes/No/Cancel: Yes
    // stores them as "Save Frame" does, No drops them (the image shows the frame as stored).
    // False for Cancel, or when the store was refused: the caller then leaves everything as
    // it was. stored, when given, tells whether edits were stored (Yes).
    bool ConfirmLeaveFrame(bool* stored = nullptr);

    // The colour table in use (index -> ARGB), and the last colour picked for the bounds.
    const QVector<QRgb>& ColourTable() const { return colourTable; }
    uint32_t LastBoundsDialogColour() const { return lastBoundsDialogColour; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // The image and the scroll bars hand their wheel events to ViewWheel.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Whoever sets the caption sets it without the mark; the mark is added here.
    void changeEvent(QEvent* event) override;

private:
    // The image in view becomes the frame as stored again.
    void DropEdits();
    // The caption as last set, followed by " *" while there are unstored edits.
    void ShowEditMark();

    // Save Frame without the encoding step, as Import uses it; original is the frame as it
    // was before the import wrote into it.
    void StoreFrame(bool encode, const CELFrame* original = nullptr);
    void LayOutControls();
    void MeasureViewArea();
    void SyncScrollBars();
    void EnsureSurfaceSize();

    void TrimHistory();

    AppContext& app;
    // The image as the last step left it (shared with that step), null until first needed.
    ImageSnapshotRef current;
    std::string baseWidthText;
    std::string baseHeightText;
    ImageSnapshotRef pendingBefore;
    std::string pendingName;
    // The palette's colours (a grey ramp until a palette is first applied), and what the
    // surface shows: those colours through the translation table.
    QVector<QRgb> paletteTable;
    QVector<QRgb> colourTable;
    uint32_t lastBoundsDialogColour = 0;
    bool created = false;
    QString plainTitle; // the caption without the mark
    bool markingTitle = false;
    WheelAccumulator wheelAcross;
    WheelAccumulator wheelDown;
    WheelAccumulator wheelZoom;
};
