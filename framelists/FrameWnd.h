#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "cel/CELHandler.h"
#include "framelists/PaneModel.h"
#include "framelists/PaneSteps.h"

class QAction;
class QCheckBox;
class QMenu;
class QUndoStack;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
struct AppContext;

// The frame lists window: the left and the right pane, each showing one CEL, with the
// operations that create, rename, delete, search, reorder, copy and move frames. Every left
// handler has a right twin. The PaneModel of a pane is the authority for its items; the list
// widget mirrors it.
class TWindFrame : public QWidget {
    Q_OBJECT
public:
    explicit TWindFrame(AppContext& app);
    ~TWindFrame() override;

    QListWidget* ListLeft = nullptr;
    QListWidget* ListRight = nullptr;

    QPushButton* BtnLNew = nullptr;
    QPushButton* BtnLSearch = nullptr;
    QPushButton* BtnLRename = nullptr;
    QPushButton* BtnLDelete = nullptr;
    QPushButton* BtnLUp = nullptr;
    QPushButton* BtnLDown = nullptr;
    QPushButton* BtnLFirst = nullptr;
    QPushButton* BtnLLast = nullptr;
    QPushButton* BtnLCopy = nullptr;
    QPushButton* BtnLCopyAll = nullptr;
    QPushButton* BtnLMove = nullptr;
    QPushButton* BtnLMoveAll = nullptr;
    QPushButton* BtnRNew = nullptr;
    QPushButton* BtnRSearch = nullptr;
    QPushButton* BtnRRename = nullptr;
    QPushButton* BtnRDelete = nullptr;
    QPushButton* BtnRUp = nullptr;
    QPushButton* BtnRDown = nullptr;
    QPushButton* BtnRFirst = nullptr;
    QPushButton* BtnRLast = nullptr;
    QPushButton* BtnRCopy = nullptr;
    QPushButton* BtnRCopyAll = nullptr;
    QPushButton* BtnRMove = nullptr;
    QPushButton* BtnRMoveAll = nullptr;

    QLabel* TextNew = nullptr;
    QLabel* TextSearch = nullptr;
    QLabel* TextRename = nullptr;
    QLabel* TextDelete = nullptr;
    QLabel* TextUpDown = nullptr;
    QLabel* TextFirstLast = nullptr;
    QLabel* TextCopy = nullptr;
    QLabel* TextMove = nullptr;
    QLabel* TextWidth = nullptr;
    QLabel* TextHeader = nullptr;
    QLabel* TextDB = nullptr;

    QComboBox* ComboLSelW = nullptr;
    QComboBox* ComboRSelW = nullptr;
    QCheckBox* CheckLHeader = nullptr;
    QCheckBox* CheckLDB = nullptr;
    QCheckBox* CheckRHeader = nullptr;
    QCheckBox* CheckRDB = nullptr;

    PaneModel LeftPane;
    PaneModel RightPane;

    // Every change to the panes' frames, of both panes, as undo steps; emptied whenever a
    // pane is given another CEL or emptied. ActUndo and ActRedo carry the step's name and
    // Ctrl+Z, Ctrl+Shift+Z / Ctrl+Y; the lists' context menus offer them.
    QUndoStack* FrameHistory = nullptr;
    QAction* ActUndo = nullptr;
    QAction* ActRedo = nullptr;
    // The context menu last opened on a list (null once closed).
    QPointer<QMenu> ListMenu;

    void FormCreate();
    void FormResize();

    void ListLeftClick();
    void ListRightClick();
    void ComboLSelWChange();
    void ComboRSelWChange();
    void CheckLHeaderClick();
    void CheckLDBClick();
    void CheckRHeaderClick();
    void CheckRDBClick();

    void BtnLNewClick();
    void BtnRNewClick();
    void BtnLRenameClick();
    void BtnRRenameClick();
    void BtnLDeleteClick();
    void BtnRDeleteClick();
    void BtnLSearchClick();
    void BtnRSearchClick();
    void BtnLUpClick();
    void BtnRUpClick();
    void BtnLDownClick();
    void BtnRDownClick();
    void BtnLFirstClick();
    void BtnRFirstClick();
    void BtnLLastClick();
    void BtnRLastClick();
    void BtnLCopyClick();
    void BtnRCopyClick();
    void BtnLMoveClick();
    void BtnRMoveClick();
    // The four "All" buttons: every frame of the pane's CEL, in order, to the end of the other
    // pane, as one undo step.
    void BtnLCopyAllClick();
    void BtnRCopyAllClick();
    void BtnLMoveAllClick();
    void BtnRMoveAllClick();

    // Before a pane is emptied (another CEL sent to it, its CEL closed): when the frame in
    // view is its selected frame, the viewer's unstored edits are asked about. False: Cancel.
    bool ConfirmClearPane(QListWidget* list);

    // Fills an empty pane from holder: the pane's CEL global, "<Begin>" and one item per
    // frame, "<Begin>" selected, check boxes from the CEL's flags, the hint from its file.
    void FillPane(QListWidget* list, const CELHolderRef& holder);
    // Writes the pane's item order back into the CEL in holder (same holder, new object).
    void RebuildCELFromList(const CELHolderRef& holder, QListWidget* list);
    // Empties a pane; the caller sets the pane's CEL global to none.
    void ClearFrameList(QListWidget* list);
    // After "Save Frame" or an import: refreshes the caption of the item carrying the frame
    // in view and its width selection.
    void RefreshViewedFrameItem();
    // The frame slot of the list's selected item; null for "<Begin>" or no selection.
    FrameSlotRef SelectedSlot(QListWidget* list) const;
    // After the frames of holder were re-coded into another coding ("Save as" to a CL2 or a
    // CEL name): its pane's captions, width list and check boxes are brought up to date, and
    // the undo history, whose steps hold frames of the old coding, is emptied.
    void CodingChanged(const CELHolderRef& holder);

    // The context menu of a frame list at position (in the list's viewport): "Undo <step>"
    // and "Redo <step>" first, then "Play animation" and "Arrange windows". Shown without blocking; it deletes
    // itself when closed. Every entry of the menu is made here.
    QMenu* ShowListMenu(QListWidget* list, const QPoint& position);
    // "Play animation" (also Ctrl+P): the animation window plays the pane of list.
    void PlayAnimation(QListWidget* list);
    // The list whose pane Ctrl+P plays: the list that has the keyboard focus; with the focus
    // in neither, the left pane unless only the right one shows a CEL.
    QListWidget* ListOfFocus() const;
    // Records a change already made to the frame in slot (Save Frame, Import) as a step;
    // before is the frame as it was.
    void RecordFrameChange(
        const char* name, const FrameSlotRef& slot, const CELFrame& before, bool showChanged);
    // Takes a step back or does it again, bringing the lists, the boxes and the viewer up to
    // date; the undo commands call it.
    void ApplyStep(const PaneStep& step, bool forward);
    void ClearHistory();
    // Changes every frame of a pane with recode (false: a frame it left as it was because it
    // cannot be shown) as one step named name, and returns the positions of the frames left.
    // With alongside the step is made even when no frame changed; alongside(false) runs after
    // the frames are taken back, alongside(true) after they are changed again. Nothing happens
    // while the pane shows no CEL.
    std::vector<int32_t> RecodePane(bool leftPane, const char* name,
        const std::function<bool(CELFrame&)>& recode,
        std::function<void(bool)> alongside = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The lists select with the left button only, and a left click on an item runs the
    // pane's selection handler even when the item was selected already.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Everything that differs between the two panes.
    struct Side {
        QListWidget* List;
        PaneModel* Pane;
        CELHolderRef* CEL;
        QComboBox* Combo;
        QCheckBox* Header;
        QCheckBox* Database;
        const char* Suffix;
    };
    Side LeftSide();
    Side RightSide();
    Side SideOf(QListWidget* list);
    Side OtherSide(const Side& side);

    // Mirrors the pane's items and selection into its list widget without running handlers.
    void SyncList(const Side& side);
    void ShowSelection(const Side& side);
    void ChangeWidth(const Side& side);
    void CheckHeaderClick(const Side& side);
    void CheckDatabaseClick(const Side& side);
    // Sets the pane's two check boxes from its CEL's flags without running their handlers; a
    // CL2's Frame Headers box is ticked and cannot be changed.
    void ShowFlags(const Side& side);
    // The Frame Header and database flags belong to a whole file: the other groups of holder's
    // grouped file take its flags (and the pane showing one of them its boxes).
    void ShareFileFlags(const CELHolderRef& holder);
    void NewClick(const Side& side);
    void RenameClick(const Side& side);
    void DeleteClick(const Side& side);
    void SearchClick(const Side& side);
    void Reorder(const Side& side, ReorderKind kind);
    void FlagClicked(const Side& side, void (TWindFrame::*handler)());
    int32_t IndexOf(const Side& side) const;
    Side SideAt(int32_t index);
    PanePair Pair();
    void PushStep(std::unique_ptr<PaneStep> step);
    // A frame in view that no pane carries any more is no longer shown.
    void ForgetLostViewedFrame();
    void ResetViewerHistory();
    void CopyClick(const Side& source);
    void MoveClick(const Side& source);
    void AllClick(const Side& source, bool move);
    // The user's click or key chose a row of the pane's list: the selection is shown, unless
    // the viewer's unstored edits are kept (Cancel), which puts the old row back.
    void SelectionClick(const Side& side);
    // True when the operation would do nothing, or the frame in view may be left.
    bool MayLeaveFor(const Side& side, PaneOperation operation);
    // stored, when given, tells whether the edits were stored (Yes).
    bool LeaveViewedFrame(bool* stored = nullptr);
    // Undo (forward false) or redo of the frame lists may show another frame.
    bool MayStepHistory(bool forward);
    // The viewer's caption for the frame of the pane's selected item.
    QString ViewerCaption(const Side& side, const CELFrame& frame) const;
    // Fills the pane's width list with the frame's candidate widths, its choice selected.
    void FillWidthList(const Side& side, const CELFrame& frame);

    AppContext& app;
    bool syncing = false;
    int rowBeforePress = -1; // current row of the pressed list just before a left press
};
