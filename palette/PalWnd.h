#pragma once

#include <array>
#include <cstdint>

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QMenu;
class QPushButton;
class ColourCell;
struct AppContext;

// The palette window "Palette": the 256 palette entries as a 16 x 16 grid of colour cells,
// the palette file controls, the whole-palette option and the Replace / Exchange buttons.
// The palette itself lives in AppContext::Pal; the window shows it and edits it through the
// core operations. Created once at start, after the viewer, and never closed by the user.
class TWindPal : public QWidget {
    Q_OBJECT
public:
    explicit TWindPal(AppContext& app);

    std::array<ColourCell*, 256> PalCells {};
    QLineEdit* EditPalFile = nullptr;
    QPushButton* BtnPalSelect = nullptr;
    QPushButton* BtnPalLoad = nullptr;
    QPushButton* BtnPalSave = nullptr;
    QCheckBox* CheckPalWhole = nullptr;
    QPushButton* BtnRepl = nullptr; // checkable; with BtnExch at most one is down
    QPushButton* BtnExch = nullptr;

    void FormCreate();
    void PalCellMouseDown(uint8_t index, Qt::MouseButton button);
    void BtnPalSelectClick();
    void BtnPalLoadClick();
    void BtnPalSaveClick();
    void CheckPalWholeClick();
    void BtnReplClick();
    void BtnExchClick();

    // Loads the file named in EditPalFile; failures are told by message box.
    void LoadPaletteFile();
    void SavePaletteFile();

    // The right-button action on colour n, shared by the cells and the viewer: completes a
    // pending Replace or Exchange on the viewed image, or selects n; reserved colours are
    // ignored without the whole-palette option.
    void PickColour(uint8_t n);
    // Raises both colour-operation buttons without running their handlers; nothing pending.
    void RaiseColourOps();

    // Repaints every cell in the colour it is shown in (its translated colour while a
    // translation table is loaded) and gives it its hint.
    void RefreshCells();
    // Marks the cells of the colours in use (ColourDisplay::Used).
    void ShowUsedColours();
    // After the palette changed from outside the cells (an imported palette, a remap or its
    // undo): the cells, the viewer, the animation and the Colours window follow.
    void PaletteReplaced();
    // The context menu of the window outside the colour grid at position (in the window):
    // the colour work of the Colours window. Shown without blocking; it deletes itself when
    // closed. Null, with no menu, for a position on the grid, whose right button picks.
    QMenu* ShowColourMenu(const QPoint& position);
    // The context menu last opened (null once closed).
    QPointer<QMenu> ColourMenu;

protected:
    void closeEvent(QCloseEvent* event) override;
    // A file dropped on the window becomes the text of EditPalFile and is loaded as "Load"
    // does.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Repaints cell n with its palette colour and gives it its hint.
    void RefreshCell(uint8_t n);
    void SetSelectionOutline(uint8_t n, bool selected);
    void RedrawViewer(bool relayout);

    AppContext& app;
};
