#include "app/MainWnd.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include <QApplication>
#include <QCheckBox>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

#include "app/AppContext.h"
#include "app/GuiArrange.h"
#include "app/GuiDropFiles.h"
#include "app/GuiSelection.h"
#include "app/ListWnd.h"
#include "app/SpriteFileItems.h"
#include "app/UnnamedStore.h"
#include "cel/HeaderGuess.h"
#include "cel/GroupedFile.h"
#include "framelists/FrameWnd.h"
#include "frames/FileIO.h"
#include "palette/PalWnd.h"
#include "viewer/AnimWnd.h"
#include "settings/Settings.h"
#include "viewer/ViewerWnd.h"

namespace {
constexpr int DesignClientWidth = 224 - FrameExtraWidth;
constexpr int DesignClientHeight = 300 - FrameExtraHeight;
constexpr int ButtonHeight = 25;

const char* const CELFilter = "CEL file|*.cel";
// CL2 files open beside CEL files; a CL2 is saved as a CL2 unless another name is typed.
const char* const OpenFilter = "CEL file|*.cel|CL2 files|*.cl2";
const char* const CL2SaveFilter = "CL2 files|*.cl2|CEL file|*.cel";

std::string UnnamedFileName(const std::string& startDir, uint32_t number)
{
    return (std::filesystem::path(startDir) / "Unnamed" / (std::to_string(number) + ".cel"))
        .string();
}

QString NewCaption(uint32_t number)
{
    return QString("<New> #%1").arg(number);
}

WindowPlacement OuterPlacement(const QWidget& window)
{
    return { window.width() + FrameExtraWidth, window.height() + FrameExtraHeight, window.x(),
        window.y() };
}

// Width, height, left, top in this order; the toolkit keeps the minimum size.
void ApplyPlacement(QWidget& window, const WindowPlacement& placement)
{
    window.resize(placement.Width - FrameExtraWidth, window.height());
    window.resize(window.width(), placement.Height - FrameExtraHeight);
    window.move(placement.Left, window.y());
    window.move(window.x(), placement.Top);
}
} // namespace

TMain::TMain(AppContext& app)
    : app(app)
{
    app.Main = this;
    setWindowTitle("CELs list");
    setMinimumSize(DesignClientWidth, DesignClientHeight);
    resize(DesignClientWidth, DesignClientHeight);
    move(183, 131);

    ListCEL = new QListWidget(this);
    ListCEL->setToolTip("List of open CEL files");
    KeepOneSelected(ListCEL);
    auto makeButton = [this](const char* caption, const char* hint) {
        auto* button = new QPushButton(caption, this);
        button->setToolTip(hint);
        button->setAutoDefault(false);
        return button;
    };
    BtnLLoad = makeButton("Use Left", "Send selected CEL file to the left Frames list");
    BtnRLoad = makeButton("Use Right", "Send selected CEL file to the right Frames list");
    BtnOpen = makeButton("Open", "Open a CEL file");
    BtnMerge = makeButton("Merge", "Unite existing CEL files");
    BtnImpCEL = makeButton("Import", "Import a BMP image as CEL");
    BtnExpCEL = makeButton("Export", "Export selected CEL to one or several BMP files");
    BtnSaveCEL = makeButton("Save", "Save selected CEL to its file");
    BtnSaveAsCEL = makeButton("Save as", "Save selected CEL to another file");
    BtnNewCEL = makeButton("New", "Create a new empty CEL");
    BtnClose = makeButton("Close",
        "Delete selected CEL from the list without saving. Does not delete "
        "CEL's file");

    connect(BtnLLoad, &QPushButton::clicked, this, [this] { BtnLLoadClick(); });
    connect(BtnRLoad, &QPushButton::clicked, this, [this] { BtnRLoadClick(); });
    connect(BtnOpen, &QPushButton::clicked, this, [this] { BtnOpenClick(); });
    connect(BtnMerge, &QPushButton::clicked, this, [this] { BtnMergeClick(); });
    connect(BtnSaveCEL, &QPushButton::clicked, this, [this] { BtnSaveCELClick(); });
    connect(BtnSaveAsCEL, &QPushButton::clicked, this, [this] { BtnSaveAsCELClick(); });
    connect(BtnNewCEL, &QPushButton::clicked, this, [this] { BtnNewCELClick(); });
    connect(BtnClose, &QPushButton::clicked, this, [this] { BtnCloseClick(); });
    // "Import" and "Export" have no handler: clicking them does nothing.

    // Keyboard shortcuts run the buttons' own handlers.
    auto shortcut = [this](const char* keys, void (TMain::*handler)()) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        addAction(action);
    };
    shortcut("Ctrl+O", &TMain::BtnOpenClick);
    shortcut("Ctrl+S", &TMain::BtnSaveCELClick);
    shortcut("Ctrl+Shift+S", &TMain::BtnSaveAsCELClick);
    shortcut("Ctrl+N", &TMain::BtnNewCELClick);
    setAcceptDrops(true);
    ListCEL->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListCEL, &QListWidget::customContextMenuRequested, this,
        [this](const QPoint& position) { ShowListMenu(position); });
    AddArrangeShortcut(*this, app);

    FormResize();
    FormCreate();
}

TMain::~TMain() = default;

void TMain::FormCreate()
{
    app.NewCELCount = 0;
    uint32_t failed = 0;
    // A close that was killed is finished (or its leftovers removed) before anything is read,
    // so that the settings and the stored CELs read below are one set.
    RecoverInterruptedClose(app.StartDir);
    MainSettings settings;
    settings.Placement = OuterPlacement(*this);
    if (ReadMainSettings(SettingsFileName(app.StartDir), settings)) {
        ApplyPlacement(*this, settings.Placement);
        app.NewCELCount = settings.Unnamed;
        for (uint32_t n = 0; n < settings.Unnamed; ++n) {
            bool headers = n < settings.UnnamedHeaders.size() && settings.UnnamedHeaders[n];
            auto holder = std::make_shared<CELHolder>();
            holder->CEL = CELObject::CreateFromFile(UnnamedFileName(app.StartDir, n), headers);
            if (holder->CEL && holder->CEL->Status == LoadOK) {
                AppendCEL(NewCaption(n - failed), holder);
                holder->CEL->ClearFileName();
            } else {
                if (holder->CEL)
                    holder->CEL->Dispose(true);
                ++failed;
            }
        }
        app.NewCELCount -= failed;
    }
    ListCEL->setCurrentRow(-1);
    ListCEL->clearSelection();
    // A hidden window gets its resize notification only when shown; lay out now.
    FormResize();
    // The list spans the client width, so this keeps the width just applied; the window can
    // then not be made narrower than it started.
    resize(ListCEL->width(), height());
    setMinimumWidth(width());
}

void TMain::FormClose()
{
    if (closed)
        return;
    closed = true;

    SettingsSnapshot snapshot;
    snapshot.Main = OuterPlacement(*this);
    if (app.WindPal) {
        snapshot.Palette = app.WindPal->EditPalFile->text().toStdString();
        snapshot.PalLeft = app.WindPal->x();
        snapshot.PalTop = app.WindPal->y();
        snapshot.WholePal = app.WindPal->CheckPalWhole->isChecked();
    }
    snapshot.Transparent = app.Pal.Palette[255];
    snapshot.SelCol = app.Pal.SelectedColour;
    if (app.WindFrame)
        snapshot.Frame = OuterPlacement(*app.WindFrame);
    if (app.WindView) {
        snapshot.View = OuterPlacement(*app.WindView);
        snapshot.PalExp = app.WindView->ComboBPP->currentIndex();
        snapshot.Offset = app.WindView->CheckOffs->isChecked();
    }
    snapshot.OffsCol = app.View.BoundsColour;

    // The settings file and the stored CELs replace the old ones together, or not at all.
    auto prepare = [this](size_t k) -> CELObject* {
        const CELHolderRef& holder = holders[k];
        if (!holder || !holder->CEL)
            return nullptr;
        WriteBackPane(holder);
        return holder->CEL.get();
    };
    StoreAtClose(app.StartDir, snapshot, holders.size(), prepare, app.NewCELCount);
    for (const CELHolderRef& holder : holders)
        if (holder && holder->CEL)
            holder->CEL->Dispose(true);
}

void TMain::FormResize()
{
    int clientWidth = width();
    int half = clientWidth / 2;
    int dy = height() - DesignClientHeight;
    ListCEL->setGeometry(0, 0, clientWidth, 101 + dy);
    QPushButton* rows[5][2] = { { BtnLLoad, BtnRLoad }, { BtnOpen, BtnMerge },
        { BtnImpCEL, BtnExpCEL }, { BtnSaveCEL, BtnSaveAsCEL }, { BtnNewCEL, BtnClose } };
    for (int r = 0; r < 5; ++r) {
        int top = 108 + 32 * r + dy;
        rows[r][0]->setGeometry(8, top, half - 12, ButtonHeight);
        rows[r][1]->setGeometry(half + 4, top, half - 12, ButtonHeight);
    }
}

void TMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TMain::closeEvent(QCloseEvent* event)
{
    if (!closed && !ConfirmCloseProgram()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    QApplication::quit();
}

CELHolderRef TMain::HolderAt(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= holders.size())
        return nullptr;
    return holders[static_cast<size_t>(row)];
}

void TMain::AppendCEL(const QString& caption, CELHolderRef holder)
{
    holders.push_back(std::move(holder));
    ListCEL->addItem(caption);
}

void TMain::RefreshChangeMarks()
{
    // Every item of a grouped file is marked when any of its groups changed.
    for (int row = 0; row < ListCEL->count() && size_t(row) < holders.size(); ++row) {
        QListWidgetItem* item = ListCEL->item(row);
        const CELHolderRef& holder = holders[size_t(row)];
        const bool changed = holder && FileChanged(holder);
        if (item->font().bold() != changed) {
            QFont font = item->font();
            font.setBold(changed);
            item->setFont(font);
        }
    }
}

void TMain::ForgetDestroyedViewedFrame()
{
    FrameSlotRef& viewed = app.View.ViewedFrame;
    if (!viewed || viewed->Frame)
        return;
    viewed = nullptr;
    if (app.WindView) {
        app.WindView->setWindowTitle("View Frame");
        app.WindView->RedrawView(true);
    }
}

void TMain::BtnOpenClick()
{
    FileDialogOptions options;
    options.Title = "Open CEL file";
    options.Filter = OpenFilter;
    options.DefaultExtension = "cel";
    options.MustExist = false;
    std::optional<QString> chosen = app.dialogs.OpenFileName(options);
    if (!chosen)
        return;
    OpenCELFile(*chosen);
}

void TMain::OpenCELFile(const QString& fileName)
{
    std::string path = fileName.toStdString();
    for (int row = 0; row < ListCEL->count(); ++row) {
        // The items of a grouped file carry their group number after the path.
        const CELHolderRef holder = HolderAt(row);
        const bool group = holder && holder->CEL && holder->CEL->GroupIndex >= 0
            && holder->CEL->FileName == path;
        if (ListCEL->item(row)->text() == fileName || group) {
            app.dialogs.ShowMessage("File is already open", "Error", MessageIcon::Error);
            return;
        }
    }
    bool headers = false;
    // A CL2 always has Frame Headers: the question is for CEL files only.
    if (CodingFromName(path) == FrameCoding::CEL && !FileExists(DatabaseFileName(path)))
        headers = AskFrameHeaders(fileName);
    SpriteFile file = LoadSpriteFile(path, headers);
    if (file.Status != LoadOK || file.Groups.empty()) {
        for (auto& group : file.Groups)
            group->Dispose(true);
        app.dialogs.ShowMessage("An error occured", "Error", MessageIcon::Error);
        return;
    }
    // A plain file is one item; a grouped file one item per group, "path [g]".
    const int first = ListCEL->count();
    for (auto& group : file.Groups) {
        const int32_t index = group->GroupIndex;
        auto holder = std::make_shared<CELHolder>();
        holder->CEL = std::move(group);
        AppendCEL(
            index < 0 ? fileName : QString::fromStdString(SpriteItemCaption(path, index)), holder);
    }
    ListCEL->setCurrentRow(first);
}

void TMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFiles(event->mimeData(), { "cel", "cl2" }).isEmpty())
        event->acceptProposedAction();
}

void TMain::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedFiles(event->mimeData(), { "cel", "cl2" });
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    for (const QString& file : files)
        OpenCELFile(file);
}

void TMain::SendToPane(bool left)
{
    CELHolderRef holder = HolderAt(ListCEL->currentRow());
    if (!holder || !app.WindFrame || ListCEL->selectedItems().isEmpty())
        return;
    CELHolderRef& own = left ? app.LeftCEL : app.RightCEL;
    const CELHolderRef& other = left ? app.RightCEL : app.LeftCEL;
    QListWidget* list = left ? app.WindFrame->ListLeft : app.WindFrame->ListRight;
    if (holder == other)
        return;
    if (own && !app.WindFrame->ConfirmClearPane(list))
        return;
    if (own) {
        app.WindFrame->RebuildCELFromList(own, list);
        own = nullptr;
        app.WindFrame->ClearFrameList(list);
    }
    app.WindFrame->FillPane(list, holder);
}

void TMain::BtnLLoadClick()
{
    SendToPane(true);
}

void TMain::BtnRLoadClick()
{
    SendToPane(false);
}

void TMain::BtnSaveCELClick()
{
    if (ListCEL->count() == 0 || ListCEL->selectedItems().isEmpty())
        return;
    CELHolderRef holder = HolderAt(ListCEL->currentRow());
    if (!holder || !holder->CEL)
        return;
    if (holder->CEL->FileName.empty()) {
        app.dialogs.ShowMessage("CEL is not assigned to a file", "Error", MessageIcon::Error);
        return;
    }
    // The groups of a grouped file are written together, each as its pane shows it.
    const std::vector<CELHolderRef> file = FileHolders(holder);
    for (const CELHolderRef& member : file)
        WriteBackPane(member);
    const uint8_t saved = SaveFileOf(file);
    // Only a whole write clears the mark: after "Cannot save Database" the names and widths
    // on disk are not those of the CEL.
    if (saved == SaveOK) {
        for (const CELHolderRef& member : file)
            member->MarkSaved();
        RefreshChangeMarks();
    }
    switch (saved) {
    case SaveNoFrames:
        app.dialogs.ShowMessage("CEL has no frames", "Error", MessageIcon::Error);
        break;
    case SaveCannotWriteCEL:
        app.dialogs.ShowMessage("Cannot save CEL file", "Error", MessageIcon::Error);
        break;
    case SaveCannotWriteDatabase:
        app.dialogs.ShowMessage("Cannot save Database", "Warning", MessageIcon::Exclamation);
        break;
    default:
        break;
    }
}

void TMain::BtnSaveAsCELClick()
{
    if (ListCEL->count() == 0 || ListCEL->selectedItems().isEmpty())
        return;
    int row = ListCEL->currentRow();
    CELHolderRef holder = HolderAt(row);
    if (!holder || !holder->CEL)
        return;
    const bool cl2 = holder->CEL->Coding == FrameCoding::CL2;
    FileDialogOptions options;
    options.Title = "Save CEL file";
    options.Filter = cl2 ? CL2SaveFilter : CELFilter;
    options.DefaultExtension = cl2 ? "cl2" : "cel";
    options.FileName = QString::fromStdString(holder->CEL->FileName);
    std::optional<QString> chosen = app.dialogs.SaveFileName(options);
    if (!chosen)
        return;
    std::string path = chosen->toStdString();
    // The groups of a grouped file are saved and renamed together.
    const std::vector<CELHolderRef> file = FileHolders(holder);
    for (const CELHolderRef& other : holders) {
        if (other && other->CEL && other->CEL->FileName == path
            && std::find(file.begin(), file.end(), other) == file.end()) {
            app.dialogs.ShowMessage(
                "The file with input name is open, cannot save", "Error", MessageIcon::Error);
            return;
        }
    }
    if (!ConvertForName(file, path))
        return;
    for (const CELHolderRef& member : file) {
        member->CEL->FileName = path;
        const int32_t group = member->CEL->GroupIndex;
        const QString caption
            = group < 0 ? *chosen : QString::fromStdString(SpriteItemCaption(path, group));
        for (int r = 0; r < ListCEL->count(); ++r)
            if (HolderAt(r) == member)
                ListCEL->item(r)->setText(caption);
        if (app.WindFrame) {
            if (member == app.LeftCEL)
                app.WindFrame->ListLeft->setToolTip(*chosen);
            else if (member == app.RightCEL)
                app.WindFrame->ListRight->setToolTip(*chosen);
        }
    }
    BtnSaveCELClick();
}

void TMain::BtnNewCELClick()
{
    auto holder = std::make_shared<CELHolder>();
    holder->CEL = CELObject::CreateEmpty(0);
    AppendCEL(NewCaption(app.NewCELCount), holder);
    ++app.NewCELCount;
    ListCEL->setCurrentRow(ListCEL->count() - 1);
}

void TMain::BtnCloseClick()
{
    if (ListCEL->count() == 0 || ListCEL->selectedItems().isEmpty())
        return;
    int row = ListCEL->currentRow();
    CELHolderRef holder = HolderAt(row);
    if (!holder || !ConfirmCloseCEL(row))
        return;
    // The groups of a grouped file close together.
    for (const CELHolderRef& member : FileHolders(holder))
        CloseItem(member);
    ForgetDestroyedViewedFrame();
    // The animation may still hold a frame of the closed CEL that a step moved out of its pane.
    if (app.WindAnim)
        app.WindAnim->FramesDestroyed();
    if (ListCEL->count() > 0)
        ListCEL->setCurrentRow(0);
}

void TMain::BtnMergeClick()
{
    if (!app.WindListGen)
        return;
    app.WindListGen->ListGenKind = 0;
    app.dialogs.ShowMessage("You may close this window with no damage to your software ;)",
        "Not working yet", MessageIcon::Exclamation);
    // The scripted dialogs of the tests do not show the window, so the showing's own
    // preparation runs here as well; it is the same on the real showing.
    app.WindListGen->FormShow();
    app.dialogs.ExecModal(*app.WindListGen);
}

bool TMain::AskFrameHeaders(const QString& fileName)
{
    Question question;
    question.Text = "Does this file contain Frame headers?";
    question.Title = "Open CEL";
    question.Detail = fileName;
    question.DefaultYes = HeadersLeaveMoreViewable(fileName.toStdString());
    return app.dialogs.Ask(question) == Answer::Yes;
}

bool TMain::ConfirmCloseCEL(int row)
{
    const CELHolderRef holder = HolderAt(row);
    if (!holder || !holder->CEL)
        return true;
    // The groups of a grouped file close together: any of them may be in a pane.
    if (app.WindFrame) {
        for (const CELHolderRef& member : FileHolders(holder)) {
            if (member == app.LeftCEL
                && !app.WindFrame->ConfirmClearPane(app.WindFrame->ListLeft))
                return false;
            if (member == app.RightCEL
                && !app.WindFrame->ConfirmClearPane(app.WindFrame->ListRight))
                return false;
        }
    }
    if (!FileChanged(holder))
        return true;
    Question question;
    question.Text = "The CEL has unsaved changes. Save them before it is closed?";
    question.Title = "Close";
    question.Detail = ListCEL->item(row)->text();
    question.WithCancel = true;
    const Answer answer = app.dialogs.Ask(question);
    if (answer != Answer::Yes)
        return answer == Answer::No;
    // "Save" and "Save as" act on the selected CEL, which is the one being closed.
    if (holder->CEL->FileName.empty())
        BtnSaveAsCELClick();
    else
        BtnSaveCELClick();
    return !FileChanged(holder);
}

bool TMain::ConfirmCloseProgram()
{
    if (app.WindView && !app.WindView->ConfirmLeaveFrame())
        return false;
    std::vector<int> rows;
    QStringList names;
    for (int row = 0; row < ListCEL->count(); ++row) {
        const CELHolderRef holder = HolderAt(row);
        if (holder && holder->CEL && !holder->CEL->FileName.empty() && FileChanged(holder)) {
            rows.push_back(row);
            names << ListCEL->item(row)->text();
        }
    }
    if (rows.empty())
        return true;
    Question question;
    question.Text = rows.size() == 1 ? "A CEL has unsaved changes. Save it before closing?"
                                     : "Some CELs have unsaved changes. Save them before closing?";
    question.Title = "CELs list";
    question.Detail = names.join('\n');
    question.WithCancel = true;
    const Answer answer = app.dialogs.Ask(question);
    if (answer != Answer::Yes)
        return answer == Answer::No;
    for (int row : rows) {
        const CELHolderRef holder = HolderAt(row);
        ListCEL->setCurrentRow(row);
        BtnSaveCELClick();
        if (FileChanged(holder))
            return false;
    }
    return true;
}

QMenu* TMain::ShowListMenu(const QPoint& position)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddArrangeEntry(*menu, app);
    menu->popup(ListCEL->viewport()->mapToGlobal(position));
    return menu;
}

bool TMain::FileChanged(const CELHolderRef& holder) const
{
    for (const CELHolderRef& member : FileHolders(holder))
        if (member->Changed())
            return true;
    return false;
}

std::vector<CELHolderRef> TMain::FileHolders(const CELHolderRef& holder) const
{
    std::vector<const CELObject*> cels;
    size_t own = holders.size();
    for (size_t k = 0; k < holders.size(); ++k) {
        cels.push_back(holders[k] ? holders[k]->CEL.get() : nullptr);
        if (holder && holders[k] == holder)
            own = k;
    }
    if (own == holders.size())
        return {};
    if (!holder->CEL)
        return { holder };
    std::vector<CELHolderRef> file;
    for (size_t k : ItemsOfFile(cels, own))
        file.push_back(holders[k]);
    return file;
}

void TMain::WriteBackPane(const CELHolderRef& holder)
{
    if (!app.WindFrame || !holder)
        return;
    if (holder == app.LeftCEL)
        app.WindFrame->RebuildCELFromList(holder, app.WindFrame->ListLeft);
    else if (holder == app.RightCEL)
        app.WindFrame->RebuildCELFromList(holder, app.WindFrame->ListRight);
}

uint8_t TMain::SaveFileOf(const std::vector<CELHolderRef>& file)
{
    if (file.empty() || !file.front()->CEL)
        return SaveCannotWriteCEL;
    CELObject& first = *file.front()->CEL;
    if (file.size() == 1 && first.GroupIndex < 0)
        return first.SaveToFile();
    std::vector<const CELObject*> groups;
    for (const CELHolderRef& member : file)
        groups.push_back(member->CEL.get());
    return SaveSpriteFile(first.FileName, groups, true);
}

bool TMain::ConvertForName(const std::vector<CELHolderRef>& file, const std::string& path)
{
    const FrameCoding coding = CodingFromName(path);
    std::vector<CELObject*> cels;
    bool differs = false;
    for (const CELHolderRef& member : file) {
        WriteBackPane(member);
        cels.push_back(member->CEL.get());
        differs = differs || (member->CEL && member->CEL->Coding != coding);
    }
    if (!differs)
        return true;
    if (const std::optional<ConversionRefusal> refusal = ConvertSpriteFile(cels, coding)) {
        app.dialogs.ShowMessage(
            QString::fromStdString(ConversionRefusalText(*refusal)), "Error", MessageIcon::Error);
        return false;
    }
    for (const CELHolderRef& member : file) {
        member->MarkChanged();
        if (app.WindFrame)
            app.WindFrame->CodingChanged(member);
    }
    RefreshChangeMarks();
    return true;
}

void TMain::CloseItem(const CELHolderRef& holder)
{
    if (app.WindFrame) {
        if (holder == app.LeftCEL) {
            app.WindFrame->ClearFrameList(app.WindFrame->ListLeft);
            app.LeftCEL = nullptr;
        } else if (holder == app.RightCEL) {
            app.WindFrame->ClearFrameList(app.WindFrame->ListRight);
            app.RightCEL = nullptr;
        }
    }
    if (holder->CEL) {
        holder->CEL->Dispose(true);
        holder->CEL.reset();
    }
    for (size_t row = 0; row < holders.size(); ++row) {
        if (holders[row] == holder) {
            holders.erase(holders.begin() + std::ptrdiff_t(row));
            delete ListCEL->takeItem(int(row));
            return;
        }
    }
}
