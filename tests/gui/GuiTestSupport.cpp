#include "gui/GuiTestSupport.h"

#include <QDialog>
#include <QtTest>

void ScriptedDialogs::ShowMessage(const QString& text, const QString& title, MessageIcon icon)
{
    Messages.push_back({text, title, icon});
}

bool ScriptedDialogs::AskYesNo(const QString& text, const QString& title)
{
    Questions.push_back({text, title});
    if (YesNoAnswers.empty()) {
        qWarning("unscripted question: %s", qPrintable(text));
        return false;
    }
    bool answer = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return answer;
}

Answer ScriptedDialogs::Ask(const ::Question& question)
{
    if (!question.WithCancel) {
        const bool yes = AskYesNo(question.Text, question.Title);
        Questions.back().Detail = question.Detail;
        Questions.back().DefaultYes = question.DefaultYes;
        return yes ? Answer::Yes : Answer::No;
    }
    Questions.push_back(
        { question.Text, question.Title, question.Detail, question.DefaultYes, true });
    if (CancelAnswers.empty()) {
        qWarning("unscripted question: %s", qPrintable(question.Text));
        return Answer::No;
    }
    const Answer answer = CancelAnswers.front();
    CancelAnswers.pop_front();
    return answer;
}

size_t ScriptedDialogs::CancelQuestions() const
{
    size_t count = 0;
    for (const Question& question : Questions)
        count += question.WithCancel ? 1 : 0;
    return count;
}

std::optional<QString> ScriptedDialogs::OpenFileName(const FileDialogOptions& options)
{
    FileDialogs.push_back(options);
    if (FileAnswers.empty()) {
        qWarning("unscripted file dialog: %s", qPrintable(options.Title));
        return std::nullopt;
    }
    auto answer = FileAnswers.front();
    FileAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::SaveFileName(const FileDialogOptions& options)
{
    return OpenFileName(options);
}

std::optional<uint32_t> ScriptedDialogs::ChooseColour(uint32_t initial)
{
    ColourRequests.push_back(initial);
    if (ColourAnswers.empty()) {
        qWarning("unscripted colour dialog");
        return std::nullopt;
    }
    auto answer = ColourAnswers.front();
    ColourAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::ExecModal(QDialog& dialog)
{
    if (ModalAnswers.empty()) {
        qWarning("unscripted modal window: %s", qPrintable(dialog.windowTitle()));
        return QDialog::Rejected;
    }
    auto answer = std::move(ModalAnswers.front());
    ModalAnswers.pop_front();
    return answer(dialog);
}

bool ScriptedDialogs::AllAnswersUsed() const
{
    return YesNoAnswers.empty() && CancelAnswers.empty() && FileAnswers.empty() && ColourAnswers.empty() &&
           ModalAnswers.empty();
}

void ExpectOnlyError(const ScriptedDialogs& dialogs, const char* text)
{
    QCOMPARE(dialogs.Messages.size(), size_t(1));
    QCOMPARE(dialogs.Messages[0].Text, QString(text));
    QCOMPARE(dialogs.Messages[0].Title, QString("Error"));
    QVERIFY(dialogs.Messages[0].Icon == MessageIcon::Error);
}

namespace {

QtMessageHandler previousHandler = nullptr;

} // namespace

void QuietOffscreenRaise()
{
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text == "This plugin does not support raise()")
                return;
            previousHandler(type, context, text);
        });
}
