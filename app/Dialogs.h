#pragma once

#include <cstdint>
#include <optional>

#include <QString>

class QDialog;

// Every modal question and message of the program goes through one Dialogs object, given to
// each window at construction. The program uses GuiDialogs (real Qt dialogs); the window tests
// pass a scripted fake that answers and records what was shown.

enum class MessageIcon : uint8_t {
    Error = 0x10,
    Exclamation = 0x30,
    Information = 0x40,
};

struct FileDialogOptions {
    QString Title;
    QString Filter;            // "CEL file|*.cel" form: description, bar, pattern
    QString DefaultExtension;  // without the dot
    QString FileName;          // preset name
    bool MustExist = false;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Message box with one OK button, shown without an owner window.
    virtual void ShowMessage(const QString& text, const QString& title, MessageIcon icon) = 0;
    // Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& title) = 0;
    // A chosen file name, or nothing when cancelled.
    virtual std::optional<QString> OpenFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> SaveFileName(const FileDialogOptions& options) = 0;
    // Colour dialog in its full form; colours are red + 256 x green + 65536 x blue.
    virtual std::optional<uint32_t> ChooseColour(uint32_t initial) = 0;
    // Shows one of the program's own modal windows (input dialog, list generator) and returns
    // its result (QDialog::Accepted or QDialog::Rejected).
    virtual int ExecModal(QDialog& dialog) = 0;
};
