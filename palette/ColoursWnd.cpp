#include "palette/ColoursWnd.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QUndoStack>

#include "app/AppContext.h"
#include "framelists/FrameWnd.h"
#include "frames/FrameName.h"
#include "palette/ColourUse.h"
#include "palette/GuiColourCell.h"
#include "palette/PalWnd.h"
#include "palette/PaletteFormats.h"
#include "palette/Remap.h"
#include "palette/Translation.h"
#include "viewer/ViewerWnd.h"

namespace {

constexpr uint32_t OutlineRed = 255;
constexpr uint32_t OutlineBlack = 0;

const QString PaletteFilter = "Palette files|*.pal;*.gpl;*.act;*.bmp;*.png|All files|*";
// The order of the filters is the order of the formats below.
const QString ExportFilter = "GIMP palette|*.gpl|JASC-PAL|*.pal|Adobe colour table|*.act";
const PaletteExportFormat ExportFormats[]
    = { PaletteExportFormat::Gimp, PaletteExportFormat::JascPal, PaletteExportFormat::AdobeAct };
const QString TableFilter = "Translation table|*.trn";

void Error(AppContext& app, const std::string& text)
{
    app.dialogs.ShowMessage(QString::fromStdString(text), "Error", MessageIcon::Error);
}

} // namespace

TWindColours::TWindColours(AppContext& app)
    : QWidget(nullptr)
    , app(app)
{
    app.WindColours = this;
    // A tool window like "Animation": the user closes it when done.
    setWindowFlags(Qt::Tool);
    setWindowTitle("Colours");
    setFixedSize(320, 464);

    for (int i = 0; i < 256; ++i) {
        auto* cell = new ColourCell(this, 15, 3);
        cell->move(32 + (i % 16) * 16, 8 + (i / 16) * 16);
        const auto index = uint8_t(i);
        connect(cell, &ColourCell::Pressed, this,
            [this, index](Qt::MouseButton b) { TrnCellMouseDown(index, b); });
        TrnCells[size_t(i)] = cell;
    }

    TextTable = new QLabel(this);
    TextTable->setGeometry(8, 268, 304, 17);

    auto action = [this](const char* caption, const char* hint, QKeySequence keys,
                      void (TWindColours::*handler)()) {
        auto* act = new QAction(caption, this);
        act->setToolTip(hint);
        act->setStatusTip(hint);
        if (!keys.isEmpty())
            act->setShortcut(keys);
        act->setShortcutContext(Qt::WindowShortcut);
        if (handler)
            connect(act, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        addAction(act);
        return act;
    };
    ActTrnLoad = action("Load translation table...", "Show every frame through a 256-byte table",
        QKeySequence("Ctrl+T"), &TWindColours::TrnLoadClick);
    ActTrnSave = action("Save translation table...", "Save the translation table in use",
        QKeySequence("Ctrl+Shift+T"), &TWindColours::TrnSaveClick);
    ActTrnClear = action("Clear translation table", "Show every frame in its own colours again",
        QKeySequence("Ctrl+L"), &TWindColours::TrnClearClick);
    ActTrnFrame
        = action("Apply table to frame", "Put the translated colours into the image in view",
            QKeySequence("Ctrl+G"), &TWindColours::ApplyTableToFrame);
    ActTrnLeft = action("Apply table to left CEL",
        "Put the translated colours into every frame of the left pane", QKeySequence(), nullptr);
    ActTrnRight = action("Apply table to right CEL",
        "Put the translated colours into every frame of the right pane", QKeySequence(), nullptr);
    connect(ActTrnLeft, &QAction::triggered, this, [this] { ApplyTableToPane(true); });
    connect(ActTrnRight, &QAction::triggered, this, [this] { ApplyTableToPane(false); });
    ActPalImport = action("Import palette...",
        "Load a palette of another tool: GIMP, JASC-PAL, Adobe, an 8-bit BMP or a palette PNG",
        QKeySequence("Ctrl+I"), &TWindColours::PalImportClick);
    ActPalExport
        = action("Export palette...", "Save the palette as GIMP, JASC-PAL or Adobe palette",
            QKeySequence("Ctrl+Shift+I"), &TWindColours::PalExportClick);
    ActUseFrame = action("Colours of the frame", "Mark the colours the image in view uses",
        QKeySequence("Ctrl+M"), nullptr);
    ActUseLeft = action("Colours of the left CEL",
        "Mark the colours every frame of the left pane uses", QKeySequence(), nullptr);
    ActUseRight = action("Colours of the right CEL",
        "Mark the colours every frame of the right pane uses", QKeySequence(), nullptr);
    useGroup = new QActionGroup(this);
    useGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const std::pair<QAction*, ColourUseScope> scopes[] = { { ActUseFrame, ColourUseScope::Frame },
        { ActUseLeft, ColourUseScope::LeftPane }, { ActUseRight, ColourUseScope::RightPane } };
    for (const auto& [act, scope] : scopes) {
        act->setCheckable(true);
        useGroup->addAction(act);
        const ColourUseScope chosen = scope;
        QAction* own = act;
        connect(act, &QAction::triggered, this,
            [this, own, chosen] { SetUseScope(own->isChecked() ? chosen : ColourUseScope::None); });
    }
    ActRemapFrame = action("Remap frame to palette...",
        "Give the image in view the nearest colours of another palette, which becomes the palette",
        QKeySequence("Ctrl+R"), &TWindColours::RemapFrame);
    ActRemapLeft = action("Remap left CEL to palette...",
        "Give every frame of the left pane the nearest colours of another palette", QKeySequence(),
        nullptr);
    ActRemapRight = action("Remap right CEL to palette...",
        "Give every frame of the right pane the nearest colours of another palette", QKeySequence(),
        nullptr);
    connect(ActRemapLeft, &QAction::triggered, this, [this] { RemapPane(true); });
    connect(ActRemapRight, &QAction::triggered, this, [this] { RemapPane(false); });
    ActShow = new QAction("Colours window", this);
    ActShow->setShortcut(QKeySequence("Ctrl+Shift+C"));
    ActShow->setShortcutContext(Qt::WindowShortcut);
    connect(ActShow, &QAction::triggered, this, [this] {
        show();
        raise();
        activateWindow();
    });

    auto button = [this](const char* caption, QAction* act, int left, int top, int width) {
        auto* b = new QPushButton(caption, this);
        b->setGeometry(left, top, width, 25);
        b->setToolTip(act->toolTip());
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, act, &QAction::trigger);
        return b;
    };
    // Three columns of 98 pixels, two of 149.
    BtnTrnLoad = button("Load table", ActTrnLoad, 8, 288, 98);
    BtnTrnSave = button("Save table", ActTrnSave, 111, 288, 98);
    BtnTrnClear = button("Clear table", ActTrnClear, 214, 288, 98);
    BtnTrnFrame = button("Apply to frame", ActTrnFrame, 8, 318, 98);
    BtnTrnLeft = button("Apply to left", ActTrnLeft, 111, 318, 98);
    BtnTrnRight = button("Apply to right", ActTrnRight, 214, 318, 98);
    BtnPalImport = button("Import palette", ActPalImport, 8, 356, 149);
    BtnPalExport = button("Export palette", ActPalExport, 163, 356, 149);
    ComboUse = new QComboBox(this);
    ComboUse->addItems({ "No colours marked", "Colours of the frame", "Colours of the left CEL",
        "Colours of the right CEL" });
    ComboUse->setGeometry(8, 394, 201, 23);
    ComboUse->setToolTip("Mark in the palette the colours in use");
    connect(ComboUse, &QComboBox::activated, this,
        [this](int index) { SetUseScope(ColourUseScope(std::max(index, 0))); });
    TextUse = new QLabel(this);
    TextUse->setGeometry(214, 394, 98, 23);
    BtnRemapFrame = button("Remap frame", ActRemapFrame, 8, 430, 98);
    BtnRemapLeft = button("Remap left", ActRemapLeft, 111, 430, 98);
    BtnRemapRight = button("Remap right", ActRemapRight, 214, 430, 98);

    // The shortcuts work in the palette window too.
    if (app.WindPal) {
        app.WindPal->addActions(actions());
        app.WindPal->addAction(ActShow);
    }
    // Marks of a pane follow every step of the frame lists, undo and redo included.
    if (app.WindFrame)
        connect(app.WindFrame->FrameHistory, &QUndoStack::indexChanged, this,
            [this] { PanesChanged(); });

    RefreshCells();
    RefreshTableText();
    RefreshColourUse();
}

QMenu* TWindColours::MakeMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->addAction(ActTrnLoad);
    menu->addAction(ActTrnSave);
    menu->addAction(ActTrnClear);
    menu->addAction(ActTrnFrame);
    menu->addAction(ActTrnLeft);
    menu->addAction(ActTrnRight);
    menu->addSeparator();
    menu->addAction(ActPalImport);
    menu->addAction(ActPalExport);
    menu->addSeparator();
    menu->addAction(ActUseFrame);
    menu->addAction(ActUseLeft);
    menu->addAction(ActUseRight);
    menu->addSeparator();
    menu->addAction(ActRemapFrame);
    menu->addAction(ActRemapLeft);
    menu->addAction(ActRemapRight);
    menu->addSeparator();
    menu->addAction(ActShow);
    return menu;
}

void TWindColours::RefreshCell(uint8_t index)
{
    ColourCell* cell = TrnCells[index];
    const ColourDisplay& shown = app.Colours;
    cell->SetFill(app.Pal.Palette[index]);
    if (shown.Translated(index))
        cell->SetInset(app.Pal.Palette[shown.ShownIndex(index)]);
    else
        cell->SetInset(std::nullopt);
    cell->SetOutline(shown.EditEntry == index ? OutlineRed : OutlineBlack);
    cell->setToolTip(QString::fromStdString(DisplayCellHint(index, app.Pal.Palette[index], shown)));
}

void TWindColours::RefreshCells()
{
    for (int i = 0; i < 256; ++i)
        RefreshCell(uint8_t(i));
}

void TWindColours::RefreshTableText()
{
    const ColourDisplay& shown = app.Colours;
    if (!shown.TableLoaded) {
        TextTable->setText("No translation table");
        return;
    }
    int translated = 0;
    for (int i = 0; i < 255; ++i)
        translated += shown.Translated(uint8_t(i)) ? 1 : 0;
    const QString name = shown.TableFile.empty()
        ? QString("Table")
        : QFileInfo(QString::fromStdString(shown.TableFile)).fileName();
    TextTable->setText(QString("%1: %2 entries translated").arg(name).arg(translated));
}

void TWindColours::TableChanged()
{
    RefreshCells();
    RefreshTableText();
    if (app.WindPal)
        app.WindPal->RefreshCells();
    if (app.WindView) {
        app.WindView->ApplyTranslationToView();
        if (app.View.HasFrame())
            app.WindView->RedrawView(false);
    }
}

void TWindColours::PaletteChanged()
{
    RefreshCells();
}

void TWindColours::TrnLoadClick()
{
    FileDialogOptions options;
    options.Title = "Load translation table";
    options.Filter = TableFilter;
    options.DefaultExtension = "trn";
    options.FileName = QString::fromStdString(app.Colours.TableFile);
    options.MustExist = true;
    const std::optional<QString> chosen = app.dialogs.OpenFileName(options);
    if (!chosen)
        return;
    TranslationTable table = IdentityTranslation();
    uint64_t size = 0;
    const TranslationFileResult result = LoadTranslationFile(chosen->toStdString(), table, &size);
    if (result != TranslationFileResult::Done) {
        Error(app, TranslationFileMessage(result, size));
        return;
    }
    app.Colours.Table = table;
    app.Colours.TableLoaded = true;
    app.Colours.TableFile = chosen->toStdString();
    app.Colours.EditEntry = -1;
    TableChanged();
}

void TWindColours::TrnSaveClick()
{
    FileDialogOptions options;
    options.Title = "Save translation table";
    options.Filter = TableFilter;
    options.DefaultExtension = "trn";
    options.FileName = QString::fromStdString(app.Colours.TableFile);
    const std::optional<QString> chosen = app.dialogs.SaveFileName(options);
    if (!chosen)
        return;
    // With no table loaded the table in use is every entry its own index.
    const TranslationTable table
        = app.Colours.TableLoaded ? app.Colours.Table : IdentityTranslation();
    const TranslationFileResult result = SaveTranslationFile(chosen->toStdString(), table);
    if (result != TranslationFileResult::Done) {
        Error(app, TranslationFileMessage(result));
        return;
    }
    if (app.Colours.TableLoaded) {
        app.Colours.TableFile = chosen->toStdString();
        RefreshTableText();
    }
}

void TWindColours::TrnClearClick()
{
    app.Colours.TableLoaded = false;
    app.Colours.Table = IdentityTranslation();
    app.Colours.TableFile.clear();
    app.Colours.EditEntry = -1;
    TableChanged();
}

void TWindColours::TrnCellMouseDown(uint8_t index, Qt::MouseButton button)
{
    ColourDisplay& shown = app.Colours;
    if (button == Qt::RightButton) {
        const int32_t chosen = shown.EditEntry;
        shown.EditEntry = -1;
        if (chosen >= 0)
            RefreshCell(uint8_t(chosen));
        return;
    }
    if (button != Qt::LeftButton)
        return;
    if (shown.EditEntry < 0) {
        // Entry 255 is never applied: the transparent index stays transparent.
        if (index == 255)
            return;
        shown.EditEntry = index;
        RefreshCell(index);
        return;
    }
    const auto entry = uint8_t(shown.EditEntry);
    shown.EditEntry = -1;
    // Editing without a table starts from every entry its own index.
    if (!shown.TableLoaded) {
        shown.Table = IdentityTranslation();
        shown.TableLoaded = true;
    }
    shown.Table[entry] = index;
    TableChanged();
}

void TWindColours::ApplyTableToFrame()
{
    TWindView* view = app.WindView;
    if (!view || !app.View.HasFrame() || !app.Colours.TableLoaded)
        return;
    view->BeginImageStep("Apply table");
    ApplyTranslation(app.Colours.Table, app.View.FrameImage);
    view->EndImageStep();
    view->RedrawView(false);
}

bool TWindColours::PaneShowsCEL(bool leftPane) const
{
    const CELHolderRef& holder = leftPane ? app.LeftCEL : app.RightCEL;
    return app.WindFrame && holder && holder->CEL;
}

void TWindColours::ReportLeftFrames(bool leftPane, const std::vector<int32_t>& positions)
{
    if (positions.empty() || !app.WindFrame)
        return;
    const PaneModel& pane = leftPane ? app.WindFrame->LeftPane : app.WindFrame->RightPane;
    std::vector<std::string> names;
    for (int32_t position : positions) {
        const FrameSlotRef slot = pane.SlotAt(position + 1);
        if (slot && slot->Frame && !slot->Frame->Name.empty())
            names.push_back(NameForDisplay(slot->Frame->Name));
        else
            names.push_back("#" + std::to_string(position));
    }
    app.dialogs.ShowMessage(
        QString::fromStdString(
            "Frames that cannot be shown were left as they are: " + FrameListText(names)),
        "Warning", MessageIcon::Exclamation);
}

void TWindColours::ApplyTableToPane(bool leftPane)
{
    if (!PaneShowsCEL(leftPane) || !app.Colours.TableLoaded)
        return;
    const TranslationTable table = app.Colours.Table;
    const std::vector<int32_t> left
        = app.WindFrame->RecodePane(leftPane, "Apply table", [&table](CELFrame& frame) {
              return TranslateFrame(table, frame) != FrameTranslationResult::NotShown;
          });
    ReportLeftFrames(leftPane, left);
}

std::optional<QString> TWindColours::AskPaletteFile(const QString& title)
{
    FileDialogOptions options;
    options.Title = title;
    options.Filter = PaletteFilter;
    options.MustExist = true;
    return app.dialogs.OpenFileName(options);
}

void TWindColours::PalImportClick()
{
    const std::optional<QString> chosen = AskPaletteFile("Import palette");
    if (!chosen)
        return;
    std::string message;
    if (ImportPaletteFile(chosen->toStdString(), app.Pal, message) != PaletteImportResult::Done) {
        Error(app, message);
        return;
    }
    if (app.WindPal)
        app.WindPal->PaletteReplaced();
}

void TWindColours::PalExportClick()
{
    FileDialogOptions options;
    options.Title = "Export palette";
    options.Filter = ExportFilter;
    options.DefaultExtension = "gpl";
    const std::optional<SavedFileChoice> chosen = app.dialogs.SaveFileNameAndFilter(options);
    if (!chosen)
        return;
    const int filter = std::clamp(chosen->Filter, 0, int(std::size(ExportFormats)) - 1);
    const PaletteFileResult result
        = ExportPaletteFile(chosen->FileName.toStdString(), app.Pal, ExportFormats[size_t(filter)]);
    const std::string text = PaletteFileMessage(result);
    if (!text.empty())
        Error(app, text);
}

void TWindColours::SetUseScope(ColourUseScope scope)
{
    app.Colours.UseScope = scope;
    RefreshColourUse();
}

void TWindColours::ImageChanged()
{
    if (app.Colours.UseScope == ColourUseScope::Frame)
        RefreshColourUse();
}

void TWindColours::PanesChanged()
{
    if (app.Colours.UseScope == ColourUseScope::LeftPane
        || app.Colours.UseScope == ColourUseScope::RightPane)
        RefreshColourUse();
}

void TWindColours::RefreshColourUse()
{
    ColourDisplay& shown = app.Colours;
    ColourCounts counts {};
    switch (shown.UseScope) {
    case ColourUseScope::None:
        break;
    case ColourUseScope::Frame:
        if (app.View.HasFrame())
            counts = CountImageColours(app.View.FrameImage);
        break;
    case ColourUseScope::LeftPane:
    case ColourUseScope::RightPane:
        if (app.WindFrame) {
            const PaneModel& pane = shown.UseScope == ColourUseScope::LeftPane
                ? app.WindFrame->LeftPane
                : app.WindFrame->RightPane;
            std::vector<FrameSlotRef> frames;
            for (int32_t k = 1; k < pane.Count(); ++k)
                frames.push_back(pane.SlotAt(k));
            counts = CountFramesColours(frames);
        }
        break;
    }
    // The transparent index is not a colour of the picture.
    counts[255] = 0;
    shown.SetUsed(counts);
    if (app.WindPal)
        app.WindPal->ShowUsedColours();

    const int index = int(shown.UseScope);
    if (ComboUse->currentIndex() != index)
        ComboUse->setCurrentIndex(index);
    ActUseFrame->setChecked(shown.UseScope == ColourUseScope::Frame);
    ActUseLeft->setChecked(shown.UseScope == ColourUseScope::LeftPane);
    ActUseRight->setChecked(shown.UseScope == ColourUseScope::RightPane);
    TextUse->setText(shown.UseScope == ColourUseScope::None
            ? QString()
            : QString("%1 colour%2").arg(shown.UsedCount).arg(shown.UsedCount == 1 ? "" : "s"));
}

std::optional<TWindColours::RemapChoice> TWindColours::ChooseRemap()
{
    const std::optional<QString> chosen = AskPaletteFile("Remap to palette");
    if (!chosen)
        return std::nullopt;
    PaletteModel target = app.Pal;
    std::string message;
    if (ImportPaletteFile(chosen->toStdString(), target, message) != PaletteImportResult::Done) {
        Error(app, message);
        return std::nullopt;
    }
    const bool whole = app.WindPal && app.WindPal->CheckPalWhole->isChecked();
    return RemapChoice { BuildRemapTable(app.Pal, target, whole), app.Pal.Palette, target.Palette };
}

void TWindColours::SwitchPalette(const RemapChoice& remap, bool forward)
{
    app.Pal.Palette = forward ? remap.After : remap.Before;
    if (app.WindPal)
        app.WindPal->PaletteReplaced();
}

void TWindColours::RemapFrame()
{
    TWindView* view = app.WindView;
    if (!view || !app.View.HasFrame())
        return;
    const std::optional<RemapChoice> remap = ChooseRemap();
    if (!remap)
        return;
    view->BeginImageStep("Remap");
    ApplyTranslation(remap->Table, app.View.FrameImage);
    app.Pal.Palette = remap->After;
    view->EndImageStep([this, remap = *remap](bool forward) { SwitchPalette(remap, forward); });
    SwitchPalette(*remap, true);
    view->RedrawView(false);
}

void TWindColours::RemapPane(bool leftPane)
{
    if (!PaneShowsCEL(leftPane))
        return;
    const std::optional<RemapChoice> remap = ChooseRemap();
    if (!remap)
        return;
    // The palette changes first: the frame in view is shown again in its new colours.
    SwitchPalette(*remap, true);
    const std::vector<int32_t> left = app.WindFrame->RecodePane(
        leftPane, "Remap",
        [&remap](CELFrame& frame) {
            return TranslateFrame(remap->Table, frame) != FrameTranslationResult::NotShown;
        },
        [this, remap = *remap](bool forward) { SwitchPalette(remap, forward); });
    ReportLeftFrames(leftPane, left);
}
