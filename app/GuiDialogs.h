#pragma once

#include "app/Dialogs.h"
#include "app/LastFolders.h"

// The real dialogs: QMessageBox, QFileDialog, QColorDialog and QDialog::exec.
class GuiDialogs : public Dialogs {
public:
    void ShowMessage(const QString& text, const QString& title, MessageIcon icon) override;
    bool AskYesNo(const QString& text, const QString& title) override;
    Answer Ask(const Question& question) override;
    std::optional<QString> OpenFileName(const FileDialogOptions& options) override;
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override;
    std::optional<SavedFileChoice> SaveFileNameAndFilter(const FileDialogOptions& options) override;
    std::optional<uint32_t> ChooseColour(uint32_t initial) override;
    int ExecModal(QDialog& dialog) override;

private:
    // Each kind of file dialog opens in the folder it was last used in.
    LastFolders folders;
};
