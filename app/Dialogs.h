#pragma once

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

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

// The answer to a question of Dialogs::Ask.
enum class Answer : uint8_t { Yes, No, Cancel };

// A question with Yes and No buttons, and Cancel when WithCancel. Detail, when not empty, is a
// second line under the text (the file the question is about). DefaultYes chooses the button
// that Enter presses.
struct Question {
    QString Text;
    QString Title;
    QString Detail;
    bool DefaultYes = true;
    bool WithCancel = false;
};

// A file chosen in a save dialog, with the filter that was in use (0 for the first).
struct SavedFileChoice {
    QString FileName;
    int Filter = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Message box with one OK button, shown without an owner window.
    virtual void ShowMessage(const QString& text, const QString& title, MessageIcon icon) = 0;
    // Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& title) = 0;
    // A question with its second line, default button and perhaps Cancel. Closing the box
    // without a button gives Cancel, or No when there is no Cancel. Dialogs that know only
    // Yes and No ask the text alone.
    virtual Answer Ask(const Question& question)
    {
        return AskYesNo(question.Text, question.Title) ? Answer::Yes : Answer::No;
    }
    // A chosen file name, or nothing when cancelled.
    virtual std::optional<QString> OpenFileName(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> SaveFileName(const FileDialogOptions& options) = 0;
    // The save dialog for files whose format the filter chooses. Unless overridden, the
    // filter is the first whose pattern "*.ext" matches the chosen name's extension, or the
    // first filter when none does.
    virtual std::optional<SavedFileChoice> SaveFileNameAndFilter(const FileDialogOptions& options)
    {
        const std::optional<QString> name = SaveFileName(options);
        if (!name)
            return std::nullopt;
        SavedFileChoice choice { *name, 0 };
        const QStringList parts = options.Filter.split('|');
        for (qsizetype k = 1; k < parts.size(); k += 2) {
            for (const QString& pattern : parts[k].split(';')) {
                if (pattern.startsWith("*.")
                    && name->endsWith(pattern.mid(1), Qt::CaseInsensitive)) {
                    choice.Filter = int(k / 2);
                    return choice;
                }
            }
        }
        return choice;
    }
    // Colour dialog in its full form; colours are red + 256 x green + 65536 x blue.
    virtual std::optional<uint32_t> ChooseColour(uint32_t initial) = 0;
    // Shows one of the program's own modal windows (input dialog, list generator) and returns
    // its result (QDialog::Accepted or QDialog::Rejected).
    virtual int ExecModal(QDialog& dialog) = 0;
};
