#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "cel/CELHandler.h"

class QListWidget;
class QMenu;
class QPushButton;
struct AppContext;

// The CEL list window, the program's main window: every open CEL, new and unsaved ones
// included, with the buttons that open, create, save, close and send CELs to the panes of
// the frame lists window. It owns one CEL holder per list item. Closing it writes the
// settings file, stores the unnamed CELs and ends the program.
class TMain : public QWidget {
    Q_OBJECT
public:
    explicit TMain(AppContext& app);
    ~TMain() override;

    QListWidget* ListCEL = nullptr;
    QPushButton* BtnLLoad = nullptr;
    QPushButton* BtnRLoad = nullptr;
    QPushButton* BtnOpen = nullptr;
    QPushButton* BtnMerge = nullptr;
    QPushButton* BtnImpCEL = nullptr;
    QPushButton* BtnExpCEL = nullptr;
    QPushButton* BtnSaveCEL = nullptr;
    QPushButton* BtnSaveAsCEL = nullptr;
    QPushButton* BtnNewCEL = nullptr;
    QPushButton* BtnClose = nullptr;

    // Reads the window's settings and reopens the CELs stored unnamed at the last close.
    void FormCreate();
    // Writes the settings file, stores every unnamed CEL and disposes of all CELs. Runs once.
    void FormClose();
    void FormResize();

    void BtnOpenClick();
    void BtnLLoadClick();
    void BtnRLoadClick();
    void BtnSaveCELClick();
    void BtnSaveAsCELClick();
    void BtnNewCELClick();
    void BtnCloseClick();
    void BtnMergeClick();

    // Steps 2 to 6 of "Open" for a file name already chosen (duplicate check, the Frame
    // Headers question, loading, "An error occured"); used by "Open", by files dropped on the
    // window and by files named on the command line.
    void OpenCELFile(const QString& fileName);

    // Before the program closes: the viewer's unstored edits, then the named CELs with unsaved
    // changes (one Yes/No/Cancel naming them all). Yes saves each as "Save" does. False keeps
    // the program open: Cancel, or a save that failed (its message was shown).
    bool ConfirmCloseProgram();
    // The context menu of the CEL list at position (in the list's viewport); it deletes
    // itself when closed.
    QMenu* ShowListMenu(const QPoint& position);

    // The CEL holder of list item row (the item's object); null when there is no such item.
    CELHolderRef HolderAt(int row) const;
    // The holders of the items of holder's file, in group order: holder alone for a file of
    // its own, every group for a grouped file. Empty when holder is not listed.
    std::vector<CELHolderRef> FileHolders(const CELHolderRef& holder) const;

    // Marks every item whose CEL has changes that were not written (a bold caption font;
    // the caption text itself never changes, Open and Save as compare it with file names).
    // The groups of a grouped file are saved together, so each is marked while any is changed.
    void RefreshChangeMarks();
    // Whether the file of holder has changes that were not written: any of its groups.
    bool FileChanged(const CELHolderRef& holder) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Dropped ".cel" files open one after another, as if each had been chosen in "Open".
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void AppendCEL(const QString& caption, CELHolderRef holder);
    void SendToPane(bool left);
    // After a CEL went away: a frame in view whose frame was destroyed is no longer shown.
    void ForgetDestroyedViewedFrame();
    // "Close" of a CEL with unsaved changes: Yes saves it ("Save as" for an unnamed CEL), No
    // drops the changes. False: Cancel, or the save did not happen.
    bool ConfirmCloseCEL(int row);
    // The Frame Headers question for a file without a database; its default button is the
    // reading that leaves more frames viewable.
    bool AskFrameHeaders(const QString& fileName);
    // Writes the pane that shows holder, if any, back into its CEL.
    void WriteBackPane(const CELHolderRef& holder);
    // Writes a whole file from its holders (FileHolders): a plain file with SaveToFile, a
    // grouped one with all its groups. The result as SaveToFile gives it.
    uint8_t SaveFileOf(const std::vector<CELHolderRef>& file);
    // "Save as" to a name of the other coding re-codes the whole file first. False, with the
    // message shown and nothing changed, when a frame cannot be shown.
    bool ConvertForName(const std::vector<CELHolderRef>& file, const std::string& path);
    // Empties the pane that shows holder, disposes of its CEL and removes its item.
    void CloseItem(const CELHolderRef& holder);

    AppContext& app;
    std::vector<CELHolderRef> holders; // one per item of ListCEL, in list order
    bool closed = false;
};
