#include "framelists/FrameWnd.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUndoCommand>
#include <QUndoStack>

#include "app/AppContext.h"
#include "app/GuiArrange.h"
#include "app/GuiSelection.h"
#include "app/GuiUndoActions.h"
#include "app/GuiWindowKind.h"
#include "app/MainWnd.h"
#include "framelists/InputWnd.h"
#include "framelists/PaneCoding.h"
#include "frames/FrameName.h"
#include "palette/ColoursWnd.h"
#include "settings/Settings.h"
#include "viewer/AnimWnd.h"
#include "viewer/ViewerWnd.h"

namespace {
// Design client area of the 200 x 300 window.
constexpr int DesignClientWidth = 200 - FrameExtraWidth;
constexpr int DesignClientHeight = 300 - FrameExtraHeight;
constexpr int ListDesignHeight = 72;
constexpr int RowHeight = 16;
constexpr int SingleButtonWidth = 48;
constexpr int HalfButtonWidth = 24;
constexpr int ComboWidth = 60;
constexpr int CheckWidth = 17;

const char* const ViewCaption = "View Frame";
const char* const MaxNameMessage = "Name must be less than 256 characters long";

QPushButton* MakeButton(QWidget* parent, const char* caption, const char* hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* caption, bool border)
{
    auto* label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignCenter);
    if (border)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

// Wraps one step of the frame lists. The operation has been done when the command is pushed,
// so its first redo does nothing.
class PaneCommand : public QUndoCommand {
public:
    PaneCommand(TWindFrame& window, std::unique_ptr<PaneStep> step,
        std::function<void(bool)> alongside = nullptr)
        : QUndoCommand(QString::fromStdString(step->Name))
        , window(window)
        , step(std::move(step))
        , alongside(std::move(alongside))
    {
    }
    const PaneStep& Step() const { return *step; }
    void undo() override
    {
        window.ApplyStep(*step, false);
        if (alongside)
            alongside(false);
    }
    void redo() override
    {
        if (done) {
            window.ApplyStep(*step, true);
            if (alongside)
                alongside(true);
        }
        done = true;
    }

private:
    TWindFrame& window;
    std::unique_ptr<PaneStep> step;
    std::function<void(bool)> alongside;
    bool done = false;
};

// More than enough to take back a session's work; deleted frames kept by older steps go with
// them.
constexpr int FrameHistoryLimit = 1000;
} // namespace

TWindFrame::TWindFrame(AppContext& app)
    : app(app)
{
    app.WindFrame = this;
    setWindowTitle("Frames list");
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    AskForTitleBarOnly(*this);
    // The rows are 16 pixels apart; a small font keeps the labels inside them.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setMinimumSize(DesignClientWidth, DesignClientHeight);
    resize(DesignClientWidth, DesignClientHeight);
    move(663, 115);

    // Left pane, created in its tab order.
    ListLeft = new QListWidget(this);
    BtnLNew = MakeButton(this, "", "Create a new frame after selected one");
    BtnLSearch = MakeButton(this, "", "Search up or down for an item with input name");
    BtnLRename = MakeButton(this, "", "Rename selected frame");
    BtnLDelete = MakeButton(this, "", "Delete selected frame from CEL");
    BtnLUp = MakeButton(this, "U", "Move selected frame up");
    BtnLDown = MakeButton(this, "D", "Move selected frame down");
    BtnLFirst = MakeButton(this, "F", "Move selected frame to the begin of the list");
    BtnLLast = MakeButton(this, "L", "Move selected frame to the end of the list");
    BtnLCopy = MakeButton(this, "", "Copy selected frame to right");
    BtnLCopyAll = MakeButton(this, "All", "Copy all frames to right");
    BtnLMove = MakeButton(this, "", "Move selected frame to right");
    BtnLMoveAll = MakeButton(this, "All", "Move all frames to right");
    ComboLSelW = new QComboBox(this);
    CheckLHeader = new QCheckBox(this);
    CheckLDB = new QCheckBox(this);

    // Right pane.
    ListRight = new QListWidget(this);
    BtnRNew = MakeButton(this, "", "Create a new frame after selected one");
    BtnRSearch = MakeButton(this, "", "Search up or down for an item with input name");
    BtnRRename = MakeButton(this, "", "Rename selected frame");
    BtnRDelete = MakeButton(this, "", "Delete selected frame from CEL");
    BtnRDown = MakeButton(this, "D", "Move selected frame down");
    BtnRUp = MakeButton(this, "U", "Move selected frame up");
    BtnRLast = MakeButton(this, "L", "Move selected frame to the end of the list");
    BtnRFirst = MakeButton(this, "F", "Move selected frame to the begin of the list");
    BtnRCopyAll = MakeButton(this, "All", "Copy all frames to left");
    BtnRCopy = MakeButton(this, "", "Copy selected frame to left");
    BtnRMoveAll = MakeButton(this, "All", "Move all frames to left");
    BtnRMove = MakeButton(this, "", "Move selected frame to left");
    ComboRSelW = new QComboBox(this);
    CheckRHeader = new QCheckBox(this);
    CheckRDB = new QCheckBox(this);

    TextNew = MakeLabel(this, "New", true);
    TextSearch = MakeLabel(this, "Search by Name", true);
    TextRename = MakeLabel(this, "Rename", true);
    TextDelete = MakeLabel(this, "Delete", true);
    TextUpDown = MakeLabel(this, "Up/Down", true);
    TextFirstLast = MakeLabel(this, "Make first/last", true);
    TextCopy = MakeLabel(this, "Copy", true);
    TextMove = MakeLabel(this, "Move", true);
    TextWidth = MakeLabel(this, "Width", false);
    TextHeader = MakeLabel(this, "Add Frame Headers", false);
    TextDB = MakeLabel(this, "Save Database", false);

    for (QComboBox* combo : { ComboLSelW, ComboRSelW })
        combo->setToolTip("Possible widths of loaded frame");
    for (QCheckBox* box : { CheckLHeader, CheckRHeader })
        box->setToolTip("If checked, CEL will be saved with Frame Headers");
    for (QCheckBox* box : { CheckLDB, CheckRDB })
        box->setToolTip("Save names and selected widths");

    QWidget* order[] = { ListLeft, BtnLNew, BtnLSearch, BtnLRename, BtnLDelete, BtnLUp, BtnLDown,
        BtnLFirst, BtnLLast, BtnLCopy, BtnLCopyAll, BtnLMove, BtnLMoveAll, ComboLSelW, CheckLHeader,
        CheckLDB, ListRight, BtnRNew, BtnRSearch, BtnRRename, BtnRDelete, BtnRDown, BtnRUp,
        BtnRLast, BtnRFirst, BtnRCopyAll, BtnRCopy, BtnRMoveAll, BtnRMove, ComboRSelW, CheckRHeader,
        CheckRDB };
    for (size_t k = 1; k < std::size(order); ++k)
        setTabOrder(order[k - 1], order[k]);

    connect(ListLeft, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!syncing && row >= 0)
            ListLeftClick();
    });
    connect(ListRight, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!syncing && row >= 0)
            ListRightClick();
    });
    // A click on the item that is already selected shows it again (after the other pane's
    // frame was shown, or to drop unsaved edits); the row did not change, so only the press
    // tells of it.
    connect(ListLeft, &QListWidget::pressed, this, [this](const QModelIndex& index) {
        if (!syncing && index.row() == rowBeforePress)
            ListLeftClick();
    });
    connect(ListRight, &QListWidget::pressed, this, [this](const QModelIndex& index) {
        if (!syncing && index.row() == rowBeforePress)
            ListRightClick();
    });
    KeepOneSelected(ListLeft);
    KeepOneSelected(ListRight);
    ListLeft->viewport()->installEventFilter(this);
    ListRight->viewport()->installEventFilter(this);
    ListLeft->installEventFilter(this);
    ListRight->installEventFilter(this);
    connect(ComboLSelW, &QComboBox::activated, this, [this](int) { ComboLSelWChange(); });
    connect(ComboRSelW, &QComboBox::activated, this, [this](int) { ComboRSelWChange(); });
    connect(CheckLHeader, &QCheckBox::toggled, this,
        [this](bool) { FlagClicked(LeftSide(), &TWindFrame::CheckLHeaderClick); });
    connect(CheckLDB, &QCheckBox::toggled, this,
        [this](bool) { FlagClicked(LeftSide(), &TWindFrame::CheckLDBClick); });
    connect(CheckRHeader, &QCheckBox::toggled, this,
        [this](bool) { FlagClicked(RightSide(), &TWindFrame::CheckRHeaderClick); });
    connect(CheckRDB, &QCheckBox::toggled, this,
        [this](bool) { FlagClicked(RightSide(), &TWindFrame::CheckRDBClick); });

    FrameHistory = new QUndoStack(this);
    FrameHistory->setUndoLimit(FrameHistoryLimit);
    UndoActions actions = MakeUndoActions(
        *FrameHistory, *this, [this](bool forward) { return MayStepHistory(forward); });
    ActUndo = actions.Undo;
    ActRedo = actions.Redo;
    // Every step, undo and redo may change which CELs have unsaved changes.
    connect(FrameHistory, &QUndoStack::indexChanged, this, [this] {
        if (this->app.Main)
            this->app.Main->RefreshChangeMarks();
    });
    for (QListWidget* list : { ListLeft, ListRight }) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QListWidget::customContextMenuRequested, this,
            [this, list](const QPoint& position) { ShowListMenu(list, position); });
    }

    auto bind = [this](QPushButton* button, void (TWindFrame::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    bind(BtnLNew, &TWindFrame::BtnLNewClick);
    bind(BtnRNew, &TWindFrame::BtnRNewClick);
    bind(BtnLSearch, &TWindFrame::BtnLSearchClick);
    bind(BtnRSearch, &TWindFrame::BtnRSearchClick);
    bind(BtnLRename, &TWindFrame::BtnLRenameClick);
    bind(BtnRRename, &TWindFrame::BtnRRenameClick);
    bind(BtnLDelete, &TWindFrame::BtnLDeleteClick);
    bind(BtnRDelete, &TWindFrame::BtnRDeleteClick);
    bind(BtnLUp, &TWindFrame::BtnLUpClick);
    bind(BtnRUp, &TWindFrame::BtnRUpClick);
    bind(BtnLDown, &TWindFrame::BtnLDownClick);
    bind(BtnRDown, &TWindFrame::BtnRDownClick);
    bind(BtnLFirst, &TWindFrame::BtnLFirstClick);
    bind(BtnRFirst, &TWindFrame::BtnRFirstClick);
    bind(BtnLLast, &TWindFrame::BtnLLastClick);
    bind(BtnRLast, &TWindFrame::BtnRLastClick);
    bind(BtnLCopy, &TWindFrame::BtnLCopyClick);
    bind(BtnRCopy, &TWindFrame::BtnRCopyClick);
    bind(BtnLMove, &TWindFrame::BtnLMoveClick);
    bind(BtnRMove, &TWindFrame::BtnRMoveClick);
    bind(BtnLCopyAll, &TWindFrame::BtnLCopyAllClick);
    bind(BtnRCopyAll, &TWindFrame::BtnRCopyAllClick);
    bind(BtnLMoveAll, &TWindFrame::BtnLMoveAllClick);
    bind(BtnRMoveAll, &TWindFrame::BtnRMoveAllClick);

    auto* play = new QAction(this);
    play->setShortcut(QKeySequence("Ctrl+P"));
    play->setShortcutContext(Qt::WindowShortcut);
    connect(play, &QAction::triggered, this, [this] { PlayAnimation(ListOfFocus()); });
    addAction(play);

    FormResize();
    FormCreate();
}

TWindFrame::~TWindFrame()
{
    // The history is a child, destroyed after this window's own part: emptying it then must
    // not reach the handlers of a window that is already gone.
    QObject::disconnect(FrameHistory, nullptr, this, nullptr);
}

QMenu* TWindFrame::ShowListMenu(QListWidget* list, const QPoint& position)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(ActUndo);
    menu->addAction(ActRedo);
    menu->addSeparator();
    QAction* play = menu->addAction("Play animation");
    play->setShortcut(QKeySequence("Ctrl+P"));
    connect(play, &QAction::triggered, this, [this, list] { PlayAnimation(list); });
    AddArrangeEntry(*menu, app);
    ListMenu = menu;
    menu->popup(list->viewport()->mapToGlobal(position));
    return menu;
}

void TWindFrame::PlayAnimation(QListWidget* list)
{
    if (app.WindAnim)
        app.WindAnim->Play(list != ListRight);
}

QListWidget* TWindFrame::ListOfFocus() const
{
    if (ListRight->hasFocus())
        return ListRight;
    if (ListLeft->hasFocus())
        return ListLeft;
    if (!app.LeftCEL && app.RightCEL)
        return ListRight;
    return ListLeft;
}

void TWindFrame::FormCreate()
{
    WindowPlacement placement { width() + FrameExtraWidth, height() + FrameExtraHeight, x(), y() };
    if (ReadFrameSettings(SettingsFileName(app.StartDir), placement)) {
        resize(placement.Width - FrameExtraWidth, height());
        resize(width(), placement.Height - FrameExtraHeight);
        move(placement.Left, y());
        move(x(), placement.Top);
        FormResize(); // a hidden window is notified of its new size only when shown
    }
    app.LeftCEL = nullptr;
    app.RightCEL = nullptr;
}

void TWindFrame::FormResize()
{
    int clientWidth = width();
    int half = clientWidth / 2;
    int dy = height() - DesignClientHeight;
    int listHeight = ListDesignHeight + dy;
    ListLeft->setGeometry(0, 0, half, listHeight);
    ListRight->setGeometry(half, 0, half, listHeight);

    auto row = [dy](int designTop) { return designTop + dy; };
    auto leftSingle
        = [&](QWidget* w, int top) { w->setGeometry(0, row(top), SingleButtonWidth, RowHeight); };
    auto rightSingle = [&](QWidget* w, int top) {
        w->setGeometry(clientWidth - SingleButtonWidth, row(top), SingleButtonWidth, RowHeight);
    };
    // Two buttons: the outer one is nearest the window edge.
    auto leftPair = [&](QWidget* outer, QWidget* inner, int top) {
        outer->setGeometry(0, row(top), HalfButtonWidth, RowHeight);
        inner->setGeometry(HalfButtonWidth, row(top), HalfButtonWidth, RowHeight);
    };
    auto rightPair = [&](QWidget* inner, QWidget* outer, int top) {
        inner->setGeometry(clientWidth - 2 * HalfButtonWidth, row(top), HalfButtonWidth, RowHeight);
        outer->setGeometry(clientWidth - HalfButtonWidth, row(top), HalfButtonWidth, RowHeight);
    };
    leftSingle(BtnLNew, 72);
    leftSingle(BtnLSearch, 88);
    leftSingle(BtnLRename, 104);
    leftSingle(BtnLDelete, 120);
    leftPair(BtnLUp, BtnLDown, 136);
    leftPair(BtnLFirst, BtnLLast, 152);
    leftPair(BtnLCopy, BtnLCopyAll, 168);
    leftPair(BtnLMove, BtnLMoveAll, 184);
    rightSingle(BtnRNew, 72);
    rightSingle(BtnRSearch, 88);
    rightSingle(BtnRRename, 104);
    rightSingle(BtnRDelete, 120);
    rightPair(BtnRDown, BtnRUp, 136);
    rightPair(BtnRLast, BtnRFirst, 152);
    rightPair(BtnRCopyAll, BtnRCopy, 168);
    rightPair(BtnRMoveAll, BtnRMove, 184);
    ComboLSelW->setGeometry(0, row(208), ComboWidth, 21);
    ComboRSelW->setGeometry(clientWidth - ComboWidth, row(208), ComboWidth, 21);
    CheckLHeader->setGeometry(4, row(232), CheckWidth, RowHeight);
    CheckLDB->setGeometry(4, row(248), CheckWidth, RowHeight);
    CheckRHeader->setGeometry(clientWidth - CheckWidth - 4, row(232), CheckWidth, RowHeight);
    CheckRDB->setGeometry(clientWidth - CheckWidth - 4, row(248), CheckWidth, RowHeight);

    // The command labels span the middle; the three lower labels keep their design widths.
    struct LabelRow {
        QLabel* Label;
        int Top;
        int Width;
    };
    const int commandWidth = 2 * half - 100;
    const LabelRow labels[] = {
        { TextNew, 72, commandWidth },
        { TextSearch, 88, commandWidth },
        { TextRename, 104, commandWidth },
        { TextDelete, 120, commandWidth },
        { TextUpDown, 136, commandWidth },
        { TextFirstLast, 152, commandWidth },
        { TextCopy, 168, commandWidth },
        { TextMove, 184, commandWidth },
        { TextWidth, 210, 65 },
        { TextHeader, 232, 129 },
        { TextDB, 248, 113 },
    };
    for (const LabelRow& label : labels)
        label.Label->setGeometry(half - label.Width / 2, row(label.Top), label.Width, RowHeight);
}

void TWindFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

namespace {
// Whether a key pressed in a frame list can choose another row: the arrows and page keys
// unless the current row is already at that end, and typed text (the list's search by
// first letters).
bool KeyMayChooseRow(const QListWidget& list, const QKeyEvent& key)
{
    const int row = list.currentRow();
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Home:
    case Qt::Key_PageUp:
    case Qt::Key_Left:
        return row > 0;
    case Qt::Key_Down:
    case Qt::Key_End:
    case Qt::Key_PageDown:
    case Qt::Key_Right:
        return row < list.count() - 1;
    default:
        return !key.text().isEmpty() && key.text().at(0).isPrint();
    }
}
} // namespace

bool TWindFrame::eventFilter(QObject* watched, QEvent* event)
{
    // A key that chooses another row shows it: the viewer's unstored edits are asked about
    // before the list moves, and Cancel takes the key back.
    if ((watched == ListLeft || watched == ListRight) && event->type() == QEvent::KeyPress
        && KeyMayChooseRow(*static_cast<QListWidget*>(watched), *static_cast<QKeyEvent*>(event))
        && !LeaveViewedFrame())
        return true;

    const bool onList = watched == ListLeft->viewport() || watched == ListRight->viewport();
    const QEvent::Type type = event->type();
    if (onList && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return true; // the right and middle buttons select nothing
        auto* list = static_cast<QListWidget*>(static_cast<QWidget*>(watched)->parentWidget());
        rowBeforePress = list->currentRow();
        // A click on an item shows it: the viewer's unstored edits are asked about before the
        // list selects anything, and Cancel takes the click back whole.
        if (list->indexAt(mouse->position().toPoint()).isValid() && !LeaveViewedFrame())
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TWindFrame::closeEvent(QCloseEvent* event)
{
    // The user cannot close this window; the program closes it when it ends.
    if (event->spontaneous())
        event->ignore();
    else
        event->accept();
}

TWindFrame::Side TWindFrame::LeftSide()
{
    return { ListLeft, &LeftPane, &app.LeftCEL, ComboLSelW, CheckLHeader, CheckLDB, " (L)" };
}

TWindFrame::Side TWindFrame::RightSide()
{
    return { ListRight, &RightPane, &app.RightCEL, ComboRSelW, CheckRHeader, CheckRDB, " (R)" };
}

TWindFrame::Side TWindFrame::SideOf(QListWidget* list)
{
    return list == ListRight ? RightSide() : LeftSide();
}

TWindFrame::Side TWindFrame::OtherSide(const Side& side)
{
    return side.List == ListLeft ? RightSide() : LeftSide();
}

FrameSlotRef TWindFrame::SelectedSlot(QListWidget* list) const
{
    const PaneModel& pane = list == ListRight ? RightPane : LeftPane;
    return pane.SelectedSlot();
}

void TWindFrame::SyncList(const Side& side)
{
    syncing = true;
    {
        QSignalBlocker block(side.List);
        const PaneModel& pane = *side.Pane;
        while (side.List->count() > pane.Count())
            delete side.List->takeItem(side.List->count() - 1);
        while (side.List->count() < pane.Count())
            side.List->addItem(QString());
        for (int32_t j = 0; j < pane.Count(); ++j) {
            QString text = QString::fromStdString(pane.Items[static_cast<size_t>(j)].Text);
            QListWidgetItem* item = side.List->item(j);
            if (item->text() != text)
                item->setText(text);
        }
        side.List->setCurrentRow(pane.Selected);
    }
    // The blocked selection signals also kept the view from updating its selection marks.
    side.List->viewport()->update();
    syncing = false;
}

void TWindFrame::ShowSelection(const Side& side)
{
    PaneModel& pane = *side.Pane;
    int row = side.List->currentRow();
    if (row >= 0 && row < pane.Count())
        pane.Selected = row;

    ViewerState& view = app.View;
    view.ViewedFrame = pane.SelectedSlot();
    bool tooLarge = false;
    if (view.ViewedFrame) {
        const CELFrame* frame = view.ViewedFrame->Frame.get();
        tooLarge = frame && frame->Viewable() && ViewerState::TooLargeToShow(*frame);
        if (frame && frame->Viewable() && !tooLarge) {
            frame->DecodeImage(view.FrameImage);
            view.ImageWidth = frame->Width;
            view.ImageHeight = frame->Height;
        } else {
            view.ViewedFrame = nullptr;
        }
    }
    if (app.WindView)
        app.WindView->RedrawView(true);
    {
        QSignalBlocker block(side.Combo);
        side.Combo->clear();
    }
    if (!view.ViewedFrame) {
        if (app.WindView)
            app.WindView->setWindowTitle(ViewCaption);
        ResetViewerHistory();
        // Shown like a frame that is not viewable, with the reason: the frame is listed, but
        // decoding it would take more memory than any picture the viewer holds.
        if (tooLarge)
            app.dialogs.ShowMessage("Frame is too large to show", "Error", MessageIcon::Error);
        return;
    }
    const CELFrame& frame = *view.ViewedFrame->Frame;
    if (app.WindView) {
        app.WindView->EditFrWidth->setText(QString::number(frame.Width));
        app.WindView->EditFrHeight->setText(QString::number(frame.Height));
    }
    FillWidthList(side, frame);
    if (app.WindView)
        app.WindView->setWindowTitle(ViewerCaption(side, frame));
    // The viewer's history belonged to the image it showed before.
    ResetViewerHistory();
}

void TWindFrame::ListLeftClick()
{
    SelectionClick(LeftSide());
}

void TWindFrame::ListRightClick()
{
    SelectionClick(RightSide());
}

void TWindFrame::ChangeWidth(const Side& side)
{
    // A width choice acts only while the frame in view is the frame of this pane's selected
    // item; otherwise the list belongs to a frame no longer shown and the choice is ignored.
    PaneModel& pane = *side.Pane;
    ViewerState& view = app.View;
    FrameSlotRef slot = pane.SelectedSlot();
    int index = side.Combo->currentIndex();
    if (!slot || slot != view.ViewedFrame || !slot->Frame || index < 0)
        return;
    CELFrame& frame = *slot->Frame;
    // Edits the user keeps stay at the width they were made at. Stored edits are analysed
    // anew, so the width picked is looked for among the frame's new candidates.
    const uint32_t chosenWidth = side.Combo->currentText().toUInt();
    const bool edited = app.WindView && app.WindView->HasUnstoredEdits();
    if (!LeaveViewedFrame()) {
        FillWidthList(side, frame);
        return;
    }
    if (edited) {
        index = -1;
        for (uint32_t k = 0; k < frame.WidthCount && k < frame.Widths.size(); ++k)
            if (frame.Widths[k] == chosenWidth && index < 0)
                index = int(k);
    }
    if (index < 0 || uint32_t(index) >= frame.WidthCount) {
        FillWidthList(side, frame);
        return;
    }
    const CELFrame before = frame;
    frame.SelectWidth(static_cast<uint32_t>(index));
    view.ImageWidth = frame.Width;
    view.ImageHeight = frame.Height;
    // The working image keeps its pixels; it is only re-wrapped. When it no longer holds
    // Width x Height pixels (it was resized in the viewer, or the width does not divide the
    // pixel count) it is cut or padded with transparent pixels, so the viewer never reads
    // past its end.
    uint64_t pixels = uint64_t(frame.Width) * frame.Height;
    if (view.FrameImage.size() != pixels)
        view.FrameImage.resize(static_cast<size_t>(pixels), TransparentIndex);
    if (app.WindView)
        app.WindView->RedrawView(true);
    pane.Relabel(pane.Selected);
    SyncList(side);
    // The image is wrapped anew; steps of the viewer made at the old width no longer fit it.
    ResetViewerHistory();
    PanePair panes = Pair();
    PushStep(FrameContentStep(panes, "Width", slot, before, true));
}

void TWindFrame::ComboLSelWChange()
{
    ChangeWidth(LeftSide());
}

void TWindFrame::ComboRSelWChange()
{
    ChangeWidth(RightSide());
}

void TWindFrame::CheckHeaderClick(const Side& side)
{
    if (*side.CEL && (*side.CEL)->CEL) {
        // A CL2 is always stored with Frame Headers.
        if ((*side.CEL)->CEL->Coding == FrameCoding::CL2 && !side.Header->isChecked()) {
            side.Header->setChecked(true);
            return;
        }
        (*side.CEL)->CEL->WithHeaders = side.Header->isChecked() ? 1 : 0;
        ShareFileFlags(*side.CEL);
    } else if (side.Header->isChecked()) {
        side.Header->setChecked(false);
    }
}

void TWindFrame::CheckDatabaseClick(const Side& side)
{
    if (*side.CEL && (*side.CEL)->CEL) {
        (*side.CEL)->CEL->HasDatabase = side.Database->isChecked() ? 1 : 0;
        ShareFileFlags(*side.CEL);
    } else if (side.Database->isChecked()) {
        side.Database->setChecked(false);
    }
}

void TWindFrame::ShowFlags(const Side& side)
{
    if (!*side.CEL || !(*side.CEL)->CEL)
        return;
    const CELObject& cel = *(*side.CEL)->CEL;
    QSignalBlocker blockHeader(side.Header);
    QSignalBlocker blockDatabase(side.Database);
    side.Header->setChecked(cel.WithHeaders != 0);
    side.Header->setEnabled(cel.Coding == FrameCoding::CEL);
    side.Database->setChecked(cel.HasDatabase != 0);
}

void TWindFrame::ShareFileFlags(const CELHolderRef& holder)
{
    if (!holder || !holder->CEL || holder->CEL->GroupIndex < 0 || !app.Main)
        return;
    const CELObject& own = *holder->CEL;
    bool changed = false;
    for (const CELHolderRef& other : app.Main->FileHolders(holder)) {
        if (other == holder || !other->CEL)
            continue;
        CELObject& cel = *other->CEL;
        if (cel.WithHeaders == own.WithHeaders && cel.HasDatabase == own.HasDatabase)
            continue;
        // The group is not marked itself: the step that changed holder marks the whole file.
        cel.WithHeaders = own.WithHeaders;
        cel.HasDatabase = own.HasDatabase;
        changed = true;
        for (const Side& side : { LeftSide(), RightSide() })
            if (*side.CEL == other)
                ShowFlags(side);
    }
    if (changed)
        app.Main->RefreshChangeMarks();
}

void TWindFrame::CodingChanged(const CELHolderRef& holder)
{
    for (const Side& side : { LeftSide(), RightSide() }) {
        if (!holder || *side.CEL != holder)
            continue;
        ClearHistory();
        side.Pane->RelabelFrom(1);
        SyncList(side);
        ShowFlags(side);
        // The frame in view keeps its image and width; its candidates are those of its new
        // data.
        const FrameSlotRef slot = side.Pane->SelectedSlot();
        if (slot && slot == app.View.ViewedFrame && slot->Frame)
            FillWidthList(side, *slot->Frame);
    }
}

void TWindFrame::CheckLHeaderClick()
{
    CheckHeaderClick(LeftSide());
}

void TWindFrame::CheckLDBClick()
{
    CheckDatabaseClick(LeftSide());
}

void TWindFrame::CheckRHeaderClick()
{
    CheckHeaderClick(RightSide());
}

void TWindFrame::CheckRDBClick()
{
    CheckDatabaseClick(RightSide());
}

void TWindFrame::FillPane(QListWidget* list, const CELHolderRef& holder)
{
    Side side = SideOf(list);
    if (!holder || !holder->CEL)
        return;
    ClearHistory();
    *side.CEL = holder;
    const CELObject& cel = *holder->CEL;
    side.Pane->Fill(cel);
    SyncList(side);
    ShowFlags(side);
    // A checked box stores 1, so a flag read as another non-zero value holds 1 from now on.
    CheckHeaderClick(side);
    CheckDatabaseClick(side);
    list->setToolTip(QString::fromStdString(holder->CEL->FileName));
    if (app.WindColours)
        app.WindColours->PanesChanged();
}

void TWindFrame::RebuildCELFromList(const CELHolderRef& holder, QListWidget* list)
{
    Side side = SideOf(list);
    // Only the pane that shows holder may write it back: an empty pane would leave the CEL
    // without its frames.
    if (!holder || holder != *side.CEL || side.Pane->Empty())
        return;
    RebuildCELFromPane(*holder, *side.Pane);
}

void TWindFrame::ClearFrameList(QListWidget* list)
{
    Side side = SideOf(list);
    PaneModel& pane = *side.Pane;
    // The steps would refer to frames no pane shows any more.
    ClearHistory();
    if (pane.Count() > 1 && pane.SelectedSlot() && pane.SelectedSlot() == app.View.ViewedFrame) {
        app.View.ViewedFrame = nullptr;
        if (app.WindView) {
            app.WindView->setWindowTitle(ViewCaption);
            app.WindView->RedrawView(true);
        }
        ResetViewerHistory();
    }
    pane.Clear();
    SyncList(side);
    list->setToolTip(QString());
    QSignalBlocker blockCombo(side.Combo);
    QSignalBlocker blockHeader(side.Header);
    QSignalBlocker blockDatabase(side.Database);
    side.Combo->clear();
    side.Header->setChecked(false);
    side.Header->setEnabled(true);
    side.Database->setChecked(false);
    if (app.WindAnim)
        app.WindAnim->PaneCleared(list == ListLeft);
    if (app.WindColours)
        app.WindColours->PanesChanged();
}

void TWindFrame::RefreshViewedFrameItem()
{
    FrameSlotRef viewed = app.View.ViewedFrame;
    if (!viewed || !viewed->Frame)
        return;
    for (Side side : { LeftSide(), RightSide() }) {
        if (side.Pane->SelectedSlot() != viewed)
            continue;
        side.Pane->Relabel(side.Pane->Selected);
        SyncList(side);
        // A stored or imported image is analysed anew: its widths are the list's entries.
        FillWidthList(side, *viewed->Frame);
        return;
    }
}

void TWindFrame::NewClick(const Side& side)
{
    if (!MayLeaveFor(side, PaneOperation::New))
        return;
    PanePair panes = Pair();
    std::unique_ptr<PaneStep> step = NewFrameStep(panes, IndexOf(side));
    if (!step)
        return;
    SyncList(side);
    ShowSelection(side);
    PushStep(std::move(step));
}

void TWindFrame::RenameClick(const Side& side)
{
    PaneModel& pane = *side.Pane;
    FrameSlotRef slot = pane.SelectedSlot();
    if (!*side.CEL || pane.Selected < 1 || !slot || !slot->Frame || !app.WindInput)
        return;
    TWindInput& input = *app.WindInput;
    input.EditStr->setText(QString::fromStdString(NameForDisplay(slot->Frame->Name)));
    input.CheckSearchDir->setEnabled(false);
    if (app.dialogs.ExecModal(input) != QDialog::Accepted)
        return;
    // A name is kept as its bytes: an untouched text keeps them (a Windows-1252 name is not
    // turned into UTF-8 by an OK), a new one is stored as UTF-8. The database keeps at most
    // 255 bytes, so the limit applies to the bytes stored, not to the characters typed.
    std::string name = NameFromEntry(input.EditStr->text().toStdString(), slot->Frame->Name);
    if (name.size() > MaxNameBytes) {
        app.dialogs.ShowMessage(MaxNameMessage, "Error", MessageIcon::Error);
        return;
    }
    const CELFrame before = *slot->Frame;
    slot->Frame->Name = name;
    pane.Relabel(pane.Selected);
    SyncList(side);
    // The viewer names the frame it shows by its new name at once.
    if (slot == app.View.ViewedFrame && app.WindView)
        app.WindView->setWindowTitle(ViewerCaption(side, *slot->Frame));
    PanePair panes = Pair();
    PushStep(FrameContentStep(panes, "Rename", slot, before, false));
}

void TWindFrame::DeleteClick(const Side& side)
{
    // The step keeps the deleted frame alive for as long as it can bring it back; the CEL is
    // written back at once all the same.
    if (!MayLeaveFor(side, PaneOperation::Delete))
        return;
    PanePair panes = Pair();
    std::unique_ptr<PaneStep> step = DeleteFrameStep(panes, IndexOf(side));
    if (!step)
        return;
    SyncList(side);
    ShowSelection(side);
    PushStep(std::move(step));
}

void TWindFrame::SearchClick(const Side& side)
{
    PaneModel& pane = *side.Pane;
    const int32_t n = pane.Count();
    if (!*side.CEL || n < 3 || !app.WindInput)
        return;
    const int32_t a = pane.Selected;
    TWindInput& input = *app.WindInput;
    input.EditStr->clear();
    input.CheckSearchDir->setEnabled(1 < a && a < n - 1);
    if (a < 2)
        input.CheckSearchDir->setChecked(false);
    if (a == n - 1)
        input.CheckSearchDir->setChecked(true);
    if (app.dialogs.ExecModal(input) != QDialog::Accepted)
        return;
    std::string text = input.EditStr->text().toStdString();
    if (text.empty())
        return;
    int32_t found = pane.FindByName(a, input.CheckSearchDir->isChecked(), text);
    if (found < 0) {
        app.dialogs.ShowMessage("Not found", "Information", MessageIcon::Information);
        return;
    }
    if (!LeaveViewedFrame())
        return;
    pane.Selected = found;
    SyncList(side);
    ShowSelection(side);
}

void TWindFrame::Reorder(const Side& side, ReorderKind kind)
{
    static const PaneOperation operations[]
        = { PaneOperation::Up, PaneOperation::Down, PaneOperation::First, PaneOperation::Last };
    if (!MayLeaveFor(side, operations[static_cast<size_t>(kind)]))
        return;
    PanePair panes = Pair();
    std::unique_ptr<PaneStep> step = ReorderStep(panes, IndexOf(side), kind);
    if (!step)
        return;
    SyncList(side);
    ShowSelection(side);
    PushStep(std::move(step));
}

void TWindFrame::CopyClick(const Side& source)
{
    Side destination = OtherSide(source);
    if (!MayLeaveFor(source, PaneOperation::Copy))
        return;
    PanePair panes = Pair();
    bool refused = false;
    std::unique_ptr<PaneStep> step = CopyFrameRecodedStep(panes, IndexOf(source), refused);
    if (refused)
        app.dialogs.ShowMessage("Cannot copy: a frame that cannot be shown cannot change coding",
            "Error", MessageIcon::Error);
    if (!step)
        return;
    SyncList(destination);
    ShowSelection(destination);
    PushStep(std::move(step));
}

void TWindFrame::MoveClick(const Side& source)
{
    // One step across both panes; the source CEL is written back at once.
    Side destination = OtherSide(source);
    if (!MayLeaveFor(source, PaneOperation::Move))
        return;
    PanePair panes = Pair();
    bool refused = false;
    std::unique_ptr<PaneStep> step = MoveFrameRecodedStep(panes, IndexOf(source), refused);
    if (refused)
        app.dialogs.ShowMessage("Cannot move: a frame that cannot be shown cannot change coding",
            "Error", MessageIcon::Error);
    if (!step)
        return;
    SyncList(destination);
    SyncList(source);
    ShowSelection(source);
    PushStep(std::move(step));
}

int32_t TWindFrame::IndexOf(const Side& side) const
{
    return side.List == ListRight ? PaneRightIndex : PaneLeftIndex;
}

TWindFrame::Side TWindFrame::SideAt(int32_t index)
{
    return index == PaneRightIndex ? RightSide() : LeftSide();
}

PanePair TWindFrame::Pair()
{
    PanePair panes;
    panes.Panes = { &LeftPane, &RightPane };
    panes.Holders = { app.LeftCEL, app.RightCEL };
    return panes;
}

void TWindFrame::PushStep(std::unique_ptr<PaneStep> step)
{
    if (step)
        FrameHistory->push(new PaneCommand(*this, std::move(step)));
}

std::vector<int32_t> TWindFrame::RecodePane(bool leftPane, const char* name,
    const std::function<bool(CELFrame&)>& recode, std::function<void(bool)> alongside)
{
    const Side side = leftPane ? LeftSide() : RightSide();
    PanePair panes = Pair();
    std::vector<int32_t> skipped;
    std::unique_ptr<PaneStep> step
        = RecodePaneStep(panes, IndexOf(side), name, recode, skipped, alongside != nullptr);
    if (!step)
        return skipped;
    SyncList(side);
    // The frame in view shows its new pixels; unsaved edits of it go, as with any step that
    // changes it.
    const FrameSlotRef viewed = app.View.ViewedFrame;
    for (const PaneStep::FrameChange& change : step->Recoded)
        if (viewed && change.Slot == viewed && side.Pane->SelectedSlot() == viewed)
            ShowSelection(side);
    FrameHistory->push(new PaneCommand(*this, std::move(step), std::move(alongside)));
    return skipped;
}

void TWindFrame::ClearHistory()
{
    FrameHistory->clear();
}

void TWindFrame::ResetViewerHistory()
{
    if (app.WindView)
        app.WindView->ResetHistory();
}

void TWindFrame::FlagClicked(const Side& side, void (TWindFrame::*handler)())
{
    const CELHolderRef holder = *side.CEL;
    const bool shown = holder && holder->CEL;
    const uint8_t withHeaders = shown ? holder->CEL->WithHeaders : 0;
    const uint8_t hasDatabase = shown ? holder->CEL->HasDatabase : 0;
    (this->*handler)();
    if (!shown || syncing)
        return;
    PanePair panes = Pair();
    PushStep(FlagStep(panes, IndexOf(side), withHeaders, hasDatabase));
}

void TWindFrame::RecordFrameChange(
    const char* name, const FrameSlotRef& slot, const CELFrame& before, bool showChanged)
{
    PanePair panes = Pair();
    PushStep(FrameContentStep(panes, name, slot, before, showChanged));
}

void TWindFrame::ApplyStep(const PaneStep& step, bool forward)
{
    PanePair panes = Pair();
    const StepEffect effect = forward ? step.Redo(panes) : step.Undo(panes);
    if (!effect.Applied)
        return;
    for (int32_t k : { PaneLeftIndex, PaneRightIndex }) {
        Side side = SideAt(k);
        if (effect.Items[static_cast<size_t>(k)])
            SyncList(side);
        if (effect.Flags[static_cast<size_t>(k)] && *side.CEL && (*side.CEL)->CEL) {
            ShowFlags(side);
            ShareFileFlags(*side.CEL);
        }
    }
    if (effect.ShowPane >= 0)
        ShowSelection(SideAt(effect.ShowPane));
    else
        ForgetLostViewedFrame();
}

void TWindFrame::ForgetLostViewedFrame()
{
    ViewerState& view = app.View;
    if (!view.ViewedFrame || PaneCarrying(Pair(), view.ViewedFrame) >= 0)
        return;
    view.ViewedFrame = nullptr;
    if (app.WindView) {
        app.WindView->setWindowTitle(ViewCaption);
        app.WindView->RedrawView(true);
    }
    ResetViewerHistory();
}

void TWindFrame::BtnLNewClick()
{
    NewClick(LeftSide());
}
void TWindFrame::BtnRNewClick()
{
    NewClick(RightSide());
}
void TWindFrame::BtnLRenameClick()
{
    RenameClick(LeftSide());
}
void TWindFrame::BtnRRenameClick()
{
    RenameClick(RightSide());
}
void TWindFrame::BtnLDeleteClick()
{
    DeleteClick(LeftSide());
}
void TWindFrame::BtnRDeleteClick()
{
    DeleteClick(RightSide());
}
void TWindFrame::BtnLSearchClick()
{
    SearchClick(LeftSide());
}
void TWindFrame::BtnRSearchClick()
{
    SearchClick(RightSide());
}
void TWindFrame::BtnLUpClick()
{
    Reorder(LeftSide(), ReorderKind::Up);
}
void TWindFrame::BtnRUpClick()
{
    Reorder(RightSide(), ReorderKind::Up);
}
void TWindFrame::BtnLDownClick()
{
    Reorder(LeftSide(), ReorderKind::Down);
}
void TWindFrame::BtnRDownClick()
{
    Reorder(RightSide(), ReorderKind::Down);
}
void TWindFrame::BtnLFirstClick()
{
    Reorder(LeftSide(), ReorderKind::First);
}
void TWindFrame::BtnRFirstClick()
{
    Reorder(RightSide(), ReorderKind::First);
}
void TWindFrame::BtnLLastClick()
{
    Reorder(LeftSide(), ReorderKind::Last);
}
void TWindFrame::BtnRLastClick()
{
    Reorder(RightSide(), ReorderKind::Last);
}
void TWindFrame::BtnLCopyClick()
{
    CopyClick(LeftSide());
}
void TWindFrame::BtnRCopyClick()
{
    CopyClick(RightSide());
}
void TWindFrame::BtnLMoveClick()
{
    MoveClick(LeftSide());
}
void TWindFrame::BtnRMoveClick()
{
    MoveClick(RightSide());
}

void TWindFrame::BtnLCopyAllClick()
{
    AllClick(LeftSide(), false);
}
void TWindFrame::BtnRCopyAllClick()
{
    AllClick(RightSide(), false);
}
void TWindFrame::BtnLMoveAllClick()
{
    AllClick(LeftSide(), true);
}
void TWindFrame::BtnRMoveAllClick()
{
    AllClick(RightSide(), true);
}

void TWindFrame::AllClick(const Side& source, bool move)
{
    if (!MayLeaveFor(source, move ? PaneOperation::MoveAll : PaneOperation::CopyAll))
        return;
    Side destination = OtherSide(source);
    PanePair panes = Pair();
    bool refused = false;
    std::unique_ptr<PaneStep> step = move
        ? MoveAllFramesRecodedStep(panes, IndexOf(source), refused)
        : CopyAllFramesRecodedStep(panes, IndexOf(source), refused);
    if (refused) {
        app.dialogs.ShowMessage(move
                ? "Cannot move: a frame that cannot be shown cannot change coding"
                : "Cannot copy: a frame that cannot be shown cannot change coding",
            "Error", MessageIcon::Error);
        return;
    }
    if (!step)
        return;
    SyncList(destination);
    SyncList(source);
    ShowSelection(move ? source : destination);
    PushStep(std::move(step));
}

void TWindFrame::SelectionClick(const Side& side)
{
    const int row = side.List->currentRow();
    if (!LeaveViewedFrame()) {
        SyncList(side);
        return;
    }
    // Storing the edits refreshed the list from its model, whose selection is still the one
    // being left: the row the user chose is put back.
    if (row >= 0 && row < side.Pane->Count() && side.List->currentRow() != row) {
        side.Pane->Selected = row;
        SyncList(side);
    }
    ShowSelection(side);
}

bool TWindFrame::LeaveViewedFrame(bool* stored)
{
    return !app.WindView || app.WindView->ConfirmLeaveFrame(stored);
}

bool TWindFrame::MayLeaveFor(const Side& side, PaneOperation operation)
{
    PanePair panes = Pair();
    return !OperationApplies(panes, IndexOf(side), operation) || LeaveViewedFrame();
}

bool TWindFrame::ConfirmClearPane(QListWidget* list)
{
    const PaneModel& pane = *SideOf(list).Pane;
    if (pane.Count() <= 1 || !pane.SelectedSlot() || pane.SelectedSlot() != app.View.ViewedFrame)
        return true;
    return LeaveViewedFrame();
}

bool TWindFrame::MayStepHistory(bool forward)
{
    const int index = FrameHistory->index() - (forward ? 0 : 1);
    if (index < 0 || index >= FrameHistory->count())
        return true;
    // Only a step that shows a selection again replaces the image in view: not a rename, not
    // a check box.
    const auto* command = static_cast<const PaneCommand*>(FrameHistory->command(index));
    if (!command->Step().ShowsSelection())
        return true;
    // Stored edits are the newest step now: Ctrl+Z would take the store itself back, and a
    // redo has nothing left to redo. The store is all that happens.
    bool stored = false;
    return LeaveViewedFrame(&stored) && !stored;
}

QString TWindFrame::ViewerCaption(const Side& side, const CELFrame& frame) const
{
    const QString caption = frame.Name.empty()
        ? QString("View Frame: #%1").arg(side.Pane->Selected - 1)
        : "View Frame: " + QString::fromStdString(NameForDisplay(frame.Name));
    return caption + side.Suffix;
}

void TWindFrame::FillWidthList(const Side& side, const CELFrame& frame)
{
    QSignalBlocker block(side.Combo);
    side.Combo->clear();
    for (uint32_t k = 0; k < frame.WidthCount && k < frame.Widths.size(); ++k)
        side.Combo->addItem(QString::number(frame.Widths[k]));
    side.Combo->setCurrentIndex(frame.WidthIndex);
}
