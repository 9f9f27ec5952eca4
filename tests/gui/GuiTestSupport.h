#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

#include "app/Dialogs.h"

// Dialogs for the window tests: answers come from queues filled by the test, and everything
// shown is recorded. An unscripted question fails the test loudly instead of blocking.
class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        QString Text;
        QString Title;
        MessageIcon Icon;
    };
    struct Question {
        QString Text;
        QString Title;
        QString Detail;
        bool DefaultYes = true;
        bool WithCancel = false;
    };

    std::vector<Message> Messages;
    std::vector<Question> Questions;
    std::vector<FileDialogOptions> FileDialogs;  // every open and save dialog, in order
    std::vector<uint32_t> ColourRequests;        // initial colour of every colour dialog

    std::deque<bool> YesNoAnswers;      // Yes/No questions, Ask without Cancel included
    // Questions with Cancel. Unscripted, one is answered No, which drops the unsaved work as
    // the program did before it asked.
    std::deque<Answer> CancelAnswers;
    std::deque<std::optional<QString>> FileAnswers;   // nullopt: cancelled
    std::deque<std::optional<uint32_t>> ColourAnswers;
    // Each modal window shown takes the next function, which may fill its controls and
    // returns the dialog's result.
    std::deque<std::function<int(QDialog&)>> ModalAnswers;

    void ShowMessage(const QString& text, const QString& title, MessageIcon icon) override;
    bool AskYesNo(const QString& text, const QString& title) override;
    Answer Ask(const ::Question& question) override;
    std::optional<QString> OpenFileName(const FileDialogOptions& options) override;
    std::optional<QString> SaveFileName(const FileDialogOptions& options) override;
    std::optional<uint32_t> ChooseColour(uint32_t initial) override;
    int ExecModal(QDialog& dialog) override;

    // Text of the last message, empty when none was shown.
    QString LastMessage() const { return Messages.empty() ? QString() : Messages.back().Text; }
    bool AllAnswersUsed() const;
    // Questions asked with Cancel, in order.
    size_t CancelQuestions() const;
};

// Checks that exactly one message was shown: an error titled "Error" with this text.
void ExpectOnlyError(const ScriptedDialogs& dialogs, const char* text);

// Hides the warning the offscreen platform gives on every tool window shown; every other
// message still reaches the previous handler. Call once, from initTestCase.
void QuietOffscreenRaise();
