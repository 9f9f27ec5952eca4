#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "palette/ColourDisplay.h"

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class ColourCell;
struct AppContext;

// The "Colours" window: the colour work beyond single colours. It loads, edits, saves and
// clears the translation table that every picture of a frame is shown through, applies it to
// the frame in view or to every frame of a pane, imports and exports palettes of other
// tools, marks the colours in use in the palette window, and remaps frames to another
// palette. Its actions carry shortcuts in this window and in the palette window, whose
// context menu (outside the colour grid) offers them too. Shown on demand; never written to
// the settings. Every change to a frame or an image is one undo step of the frame lists or
// of the viewer. Closing the window hides it; the table and the marks stay in force.
class TWindColours : public QWidget {
    Q_OBJECT
public:
    explicit TWindColours(AppContext& app);

    // The table's 256 entries: each cell is filled with the entry's own colour and, while the
    // entry is translated, shows the colour it becomes in its lower right quarter. A left
    // click chooses an entry (red outline), a second left click the index it becomes (the
    // entry itself: back to itself); a right click drops the choice.
    std::array<ColourCell*, 256> TrnCells {};
    QLabel* TextTable = nullptr; // the table in use
    QPushButton* BtnTrnLoad = nullptr;
    QPushButton* BtnTrnSave = nullptr;
    QPushButton* BtnTrnClear = nullptr;
    QPushButton* BtnTrnFrame = nullptr;
    QPushButton* BtnTrnLeft = nullptr;
    QPushButton* BtnTrnRight = nullptr;
    QPushButton* BtnPalImport = nullptr;
    QPushButton* BtnPalExport = nullptr;
    QComboBox* ComboUse = nullptr; // none, the frame in view, the left or the right CEL
    QLabel* TextUse = nullptr; // how many colours are marked
    QPushButton* BtnRemapFrame = nullptr;
    QPushButton* BtnRemapLeft = nullptr;
    QPushButton* BtnRemapRight = nullptr;

    // The actions, with their shortcuts; the buttons and the palette window's menu run them.
    // None of the keys is one a line edit takes for itself (the palette window's file name
    // field has the focus there): no Ctrl+A, Ctrl+E, Ctrl+K or Ctrl+U.
    QAction* ActTrnLoad = nullptr; // Ctrl+T
    QAction* ActTrnSave = nullptr; // Ctrl+Shift+T
    QAction* ActTrnClear = nullptr; // Ctrl+L
    QAction* ActTrnFrame = nullptr; // Ctrl+G
    QAction* ActTrnLeft = nullptr;
    QAction* ActTrnRight = nullptr;
    QAction* ActPalImport = nullptr; // Ctrl+I
    QAction* ActPalExport = nullptr; // Ctrl+Shift+I
    QAction* ActUseFrame = nullptr; // Ctrl+M, checkable; with the next two, at most one on
    QAction* ActUseLeft = nullptr;
    QAction* ActUseRight = nullptr;
    QAction* ActRemapFrame = nullptr; // Ctrl+R
    QAction* ActRemapLeft = nullptr;
    QAction* ActRemapRight = nullptr;
    QAction* ActShow = nullptr; // Ctrl+Shift+C: shows this window

    void TrnLoadClick();
    void TrnSaveClick();
    void TrnClearClick();
    void TrnCellMouseDown(uint8_t index, Qt::MouseButton button);
    // The table applied to the working image of the viewer (one step of the viewer), or to
    // every frame of a pane (one step of the frame lists). Nothing without a table.
    void ApplyTableToFrame();
    void ApplyTableToPane(bool leftPane);
    void PalImportClick();
    void PalExportClick();
    void SetUseScope(ColourUseScope scope);
    // The frame in view, or every frame of a pane, moved from the current palette to one
    // chosen in a file dialog; that palette then becomes the current one. One step, whose
    // undo gives the old palette back too.
    void RemapFrame();
    void RemapPane(bool leftPane);

    // Everything that shows frames shows them through the table as it is now.
    void TableChanged();
    // The palette changed: the cells of this window follow.
    void PaletteChanged();
    // The image in view or the panes changed: marks of that scope are counted again.
    void ImageChanged();
    void PanesChanged();
    // Counts the colours of the scope in use and marks them in the palette window.
    void RefreshColourUse();

    // A menu of every action, owned by parent.
    QMenu* MakeMenu(QWidget* parent);

private:
    void RefreshCell(uint8_t index);
    void RefreshCells();
    void RefreshTableText();
    // The shared palette's file filter of Import and Remap.
    std::optional<QString> AskPaletteFile(const QString& title);
    // A remap asked for: the palette file chosen and read (a failure shown), the table to it,
    // and the shared palette before and after.
    struct RemapChoice {
        TranslationTable Table;
        std::array<uint32_t, 256> Before;
        std::array<uint32_t, 256> After;
    };
    std::optional<RemapChoice> ChooseRemap();
    // Sets the shared palette to after (forward) or before, and shows it.
    void SwitchPalette(const RemapChoice& remap, bool forward);
    // Names the frames of a pane at positions in a warning.
    void ReportLeftFrames(bool leftPane, const std::vector<int32_t>& positions);
    bool PaneShowsCEL(bool leftPane) const;

    AppContext& app;
    QActionGroup* useGroup = nullptr;
};
