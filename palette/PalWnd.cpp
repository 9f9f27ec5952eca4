#include "palette/PalWnd.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "app/AppContext.h"
#include "app/GuiDropFiles.h"
#include "app/GuiWindowKind.h"
#include "palette/ColoursWnd.h"
#include "palette/GuiColourCell.h"
#include "palette/PaletteModel.h"
#include "settings/Settings.h"
#include "viewer/ViewerWnd.h"

namespace {

constexpr uint32_t OutlineRed = 255;
constexpr uint32_t OutlineBlack = 0;

} // namespace

TWindPal::TWindPal(AppContext& app)
    : QWidget(nullptr)
    , app(app)
{
    app.WindPal = this;
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    AskForTitleBarOnly(*this);
    setWindowTitle("Palette");
    setFixedSize(256, 361);
    move(558, 118);

    EditPalFile = new QLineEdit(this);
    EditPalFile->setGeometry(8, 264, 169, 21);
    EditPalFile->setToolTip("Name of Palette file to save to or load from");
    BtnPalSelect = new QPushButton("Browse...", this);
    BtnPalSelect->setGeometry(184, 264, 65, 25);
    BtnPalSelect->setToolTip("Select a palette file");
    BtnPalLoad = new QPushButton("Load", this);
    BtnPalLoad->setGeometry(8, 296, 57, 25);
    BtnPalLoad->setToolTip("Load a palette file of given name");
    BtnPalSave = new QPushButton("Save", this);
    BtnPalSave->setGeometry(72, 296, 57, 25);
    CheckPalWhole = new QCheckBox("Use whole palette", this);
    CheckPalWhole->setGeometry(136, 296, 113, 17);
    // The box keeps its 113 pixels; a smaller font keeps its text whole beside the indicator
    // (the frames list window does the same for its rows). How small depends on the style's
    // indicator and the font family, so the largest size from 11 pixels down that fits is
    // taken.
    QFont small = CheckPalWhole->font();
    for (int pixels = 11; pixels >= 7; --pixels) {
        small.setPixelSize(pixels);
        CheckPalWhole->setFont(small);
        if (CheckPalWhole->sizeHint().width() <= CheckPalWhole->width())
            break;
    }
    CheckPalWhole->setToolTip(
        "Colours from 00 to 7E are reserved. This option is to allow using them");
    BtnRepl = new QPushButton("Replace", this);
    BtnRepl->setGeometry(8, 328, 113, 25);
    BtnRepl->setCheckable(true);
    BtnRepl->setToolTip("Replace each pixel of current frame having the selected colour with a "
                        "picked colour. Select a new colour to pick it");
    BtnExch = new QPushButton("Exchange", this);
    BtnExch->setGeometry(136, 328, 113, 25);
    BtnExch->setCheckable(true);
    BtnExch->setToolTip("Exchange each pixel of current frame having the selected colour with a "
                        "picked colour. Select a new colour to pick it");

    connect(BtnPalSelect, &QPushButton::clicked, this, [this] { BtnPalSelectClick(); });
    connect(BtnPalLoad, &QPushButton::clicked, this, [this] { BtnPalLoadClick(); });
    connect(BtnPalSave, &QPushButton::clicked, this, [this] { BtnPalSaveClick(); });
    // The box runs its handler whenever its state changes, also when set by the program;
    // the handler keeps the model's mirror of the option in step.
    connect(CheckPalWhole, &QCheckBox::toggled, this, [this] { CheckPalWholeClick(); });
    // clicked is emitted for the user's press only, so raising a button from code never runs
    // its handler.
    connect(BtnRepl, &QPushButton::clicked, this, [this] { BtnReplClick(); });
    connect(BtnExch, &QPushButton::clicked, this, [this] { BtnExchClick(); });
    // The viewer's undo and redo work from here too: Replace and Exchange are its steps.
    if (app.WindView)
        addActions({ app.WindView->ActUndo, app.WindView->ActRedo });
    setAcceptDrops(true);

    FormCreate();
}

void TWindPal::FormCreate()
{
    PaletteSettings settings;
    settings.Left = x();
    settings.Top = y();
    if (ReadPaletteSettings(SettingsFileName(app.StartDir), settings)) {
        EditPalFile->setText(QString::fromStdString(settings.Palette));
        app.Pal.Palette[255] = settings.Transparent;
        move(settings.Left, settings.Top);
        if (settings.WholePal)
            CheckPalWhole->setChecked(true);
        app.Pal.SelectedColour = settings.SelCol;
    }
    app.Pal.WholePalette = CheckPalWhole->isChecked();
    RaiseSelectedColour(app.Pal);

    for (int i = 0; i < 256; ++i) {
        auto* cell = new ColourCell(this, 15, 3);
        cell->move((i % 16) * 16, (i / 16) * 16);
        cell->SetFill(app.Pal.TransparentColour());
        cell->SetOutline(i == app.Pal.SelectedColour ? OutlineRed : OutlineBlack);
        const auto index = uint8_t(i);
        connect(cell, &ColourCell::Pressed, this,
            [this, index](Qt::MouseButton b) { PalCellMouseDown(index, b); });
        PalCells[size_t(i)] = cell;
    }

    LoadPaletteFile();
    PalCells[255]->setToolTip(QString::fromStdString(CellHint(255, app.Pal.Palette[255])));
    app.Pal.PendingColourOp = OpNone;
}

void TWindPal::closeEvent(QCloseEvent* event)
{
    // The user cannot close the palette; the program closes it when it ends.
    if (event->spontaneous())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void TWindPal::RefreshCell(uint8_t n)
{
    // Without a translation table every cell shows its own colour.
    PalCells[n]->SetFill(app.Pal.Palette[app.Colours.ShownIndex(n)]);
    PalCells[n]->setToolTip(
        QString::fromStdString(DisplayCellHint(n, app.Pal.Palette[n], app.Colours)));
}

void TWindPal::RefreshCells()
{
    for (int n = 0; n < 256; ++n)
        RefreshCell(uint8_t(n));
}

void TWindPal::ShowUsedColours()
{
    for (size_t n = 0; n < PalCells.size(); ++n)
        PalCells[n]->SetMarked(app.Colours.Used[n]);
}

void TWindPal::PaletteReplaced()
{
    RefreshCells();
    if (app.WindView) {
        app.WindView->ApplyPaletteToView();
        app.WindView->RedrawView(false);
    }
    if (app.WindColours)
        app.WindColours->PaletteChanged();
}

void TWindPal::contextMenuEvent(QContextMenuEvent* event)
{
    if (ShowColourMenu(event->pos()))
        event->accept();
    else
        event->ignore();
}

QMenu* TWindPal::ShowColourMenu(const QPoint& position)
{
    // The grid's right button is the pick; a press between two cells is on the grid too.
    if (QRect(0, 0, 256, 256).contains(position) || !app.WindColours)
        return nullptr;
    QMenu* menu = app.WindColours->MakeMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    ColourMenu = menu;
    menu->popup(mapToGlobal(position));
    return menu;
}

void TWindPal::SetSelectionOutline(uint8_t n, bool selected)
{
    PalCells[n]->SetOutline(selected ? OutlineRed : OutlineBlack);
}

void TWindPal::RedrawViewer(bool relayout)
{
    if (app.WindView)
        app.WindView->RedrawView(relayout);
}

void TWindPal::LoadPaletteFile()
{
    const PaletteFileResult result = ::LoadPaletteFile(EditPalFile->text().toStdString(), app.Pal);
    if (result != PaletteFileResult::Done) {
        const std::string text = PaletteFileMessage(result);
        if (!text.empty())
            app.dialogs.ShowMessage(QString::fromStdString(text), "Error", MessageIcon::Error);
        return;
    }
    PaletteReplaced();
}

void TWindPal::SavePaletteFile()
{
    const PaletteFileResult result = ::SavePaletteFile(EditPalFile->text().toStdString(), app.Pal);
    const std::string text = PaletteFileMessage(result);
    if (!text.empty())
        app.dialogs.ShowMessage(QString::fromStdString(text), "Error", MessageIcon::Error);
}

void TWindPal::PalCellMouseDown(uint8_t index, Qt::MouseButton button)
{
    if (button == Qt::LeftButton) {
        const std::optional<uint32_t> chosen = app.dialogs.ChooseColour(app.Pal.Palette[index]);
        if (!chosen)
            return;
        app.Pal.Palette[index] = *chosen;
        // Under a translation table other cells may show this colour too.
        if (app.Colours.TableLoaded)
            RefreshCells();
        else
            RefreshCell(index);
        if (app.WindView) {
            app.WindView->ApplyPaletteToView();
            app.WindView->RedrawView(true);
        }
        if (app.WindColours)
            app.WindColours->PaletteChanged();
    } else if (button == Qt::RightButton) {
        PickColour(index);
    }
}

void TWindPal::PickColour(uint8_t n)
{
    app.Pal.WholePalette = CheckPalWhole->isChecked();
    const uint8_t pending = app.Pal.PendingColourOp;
    const bool step = pending != OpNone && app.WindView;
    if (step)
        app.WindView->BeginImageStep(pending == OpReplace ? "Replace" : "Exchange");
    const PickOutcome outcome = ::PickColour(app.Pal, app.View.FrameImage, n);
    if (step)
        app.WindView->EndImageStep();
    if (outcome.Ignored)
        return;
    if (outcome.CompletedOp != OpNone) {
        if (outcome.CompletedOp == OpReplace)
            BtnRepl->setChecked(false);
        else
            BtnExch->setChecked(false);
        app.Pal.PendingColourOp = OpNone;
        RedrawViewer(false);
        return;
    }
    SetSelectionOutline(outcome.PreviousSelected, false);
    SetSelectionOutline(app.Pal.SelectedColour, true);
}

void TWindPal::RaiseColourOps()
{
    BtnRepl->setChecked(false);
    BtnExch->setChecked(false);
    app.Pal.PendingColourOp = OpNone;
}

void TWindPal::BtnReplClick()
{
    // The two buttons form a group in which at most one is down.
    if (BtnRepl->isChecked())
        BtnExch->setChecked(false);
    if (!app.View.HasFrame())
        BtnRepl->setChecked(false);
    app.Pal.PendingColourOp = BtnRepl->isChecked() ? OpReplace : OpNone;
}

void TWindPal::BtnExchClick()
{
    if (BtnExch->isChecked())
        BtnRepl->setChecked(false);
    if (!app.View.HasFrame())
        BtnExch->setChecked(false);
    app.Pal.PendingColourOp = BtnExch->isChecked() ? OpExchange : OpNone;
}

void TWindPal::CheckPalWholeClick()
{
    app.Pal.WholePalette = CheckPalWhole->isChecked();
    if (!PalCells[255])
        return; // the settings tick the box before the cells exist
    if (!CheckPalWhole->isChecked() && app.Pal.SelectedColour < FirstFreeColour)
        PickColour(FirstFreeColour);
}

void TWindPal::BtnPalSelectClick()
{
    FileDialogOptions options;
    options.Filter = "Palette|*.pal";
    options.DefaultExtension = "pal";
    options.FileName = EditPalFile->text();
    const std::optional<QString> chosen = app.dialogs.OpenFileName(options);
    if (chosen)
        EditPalFile->setText(*chosen);
}

void TWindPal::BtnPalLoadClick()
{
    LoadPaletteFile();
}

void TWindPal::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedFiles(event->mimeData(), {}).isEmpty())
        event->acceptProposedAction();
}

void TWindPal::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedFiles(event->mimeData(), {});
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    EditPalFile->setText(files.front());
    BtnPalLoadClick();
}

void TWindPal::BtnPalSaveClick()
{
    SavePaletteFile();
}
