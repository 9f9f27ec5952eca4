#include "app/GuiDialogs.h"

#include <algorithm>

#include <QColor>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {
// "CEL file|*.cel" becomes "CEL file (*.cel)"; several pairs are joined with ";;".
QString QtFilter(const QString& filter)
{
    QStringList parts = filter.split('|');
    QStringList filters;
    for (int k = 0; k + 1 < parts.size(); k += 2)
        filters << QString("%1 (%2)").arg(parts[k], QString(parts[k + 1]).replace(';', ' '));
    return filters.join(";;");
}

std::optional<QString> RunFileDialog(
    const FileDialogOptions& options, bool save, LastFolders& folders, int* chosenFilter = nullptr)
{
    const std::string kind = options.Filter.toStdString();
    QFileDialog dialog(nullptr, options.Title, QString::fromStdString(folders.FolderFor(kind)),
        QtFilter(options.Filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(options.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(options.DefaultExtension);
    // A name typed without an extension takes the one of the filter in use: the default
    // extension belongs to the first filter, a later filter's own pattern gives its own.
    const QStringList filterNames = QtFilter(options.Filter).split(";;");
    const QStringList parts = options.Filter.split('|');
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& name) {
        const qsizetype index = filterNames.indexOf(name);
        QString suffix = options.DefaultExtension;
        if (index > 0 && 2 * index + 1 < parts.size()) {
            const QString pattern = parts[2 * index + 1].split(';').first();
            if (pattern.startsWith("*.") && pattern.indexOf('*', 2) < 0)
                suffix = pattern.mid(2);
        }
        dialog.setDefaultSuffix(suffix);
    });
    if (save)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QString preset
        = QString::fromStdString(folders.PresetName(kind, options.FileName.toStdString()));
    if (!preset.isEmpty())
        dialog.selectFile(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dialog.selectedFiles().first();
    folders.Remember(kind, chosen.toStdString());
    if (chosenFilter)
        *chosenFilter = std::max(0, int(filterNames.indexOf(dialog.selectedNameFilter())));
    return chosen;
}
} // namespace

void GuiDialogs::ShowMessage(const QString& text, const QString& title, MessageIcon icon)
{
    QMessageBox::Icon kind = QMessageBox::Critical;
    if (icon == MessageIcon::Exclamation)
        kind = QMessageBox::Warning;
    else if (icon == MessageIcon::Information)
        kind = QMessageBox::Information;
    QMessageBox box(kind, title, text, QMessageBox::Ok, nullptr);
    box.exec();
}

bool GuiDialogs::AskYesNo(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, nullptr);
    return box.exec() == QMessageBox::Yes;
}

Answer GuiDialogs::Ask(const Question& question)
{
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (question.WithCancel)
        buttons |= QMessageBox::Cancel;
    QMessageBox box(QMessageBox::NoIcon, question.Title, question.Text, buttons, nullptr);
    if (!question.Detail.isEmpty())
        box.setInformativeText(question.Detail);
    box.setDefaultButton(question.DefaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(question.WithCancel ? QMessageBox::Cancel : QMessageBox::No);
    const int chosen = box.exec();
    if (chosen == QMessageBox::Yes)
        return Answer::Yes;
    if (chosen == QMessageBox::No || !question.WithCancel)
        return Answer::No;
    return Answer::Cancel;
}

std::optional<QString> GuiDialogs::OpenFileName(const FileDialogOptions& options)
{
    return RunFileDialog(options, false, folders);
}

std::optional<QString> GuiDialogs::SaveFileName(const FileDialogOptions& options)
{
    return RunFileDialog(options, true, folders);
}

std::optional<SavedFileChoice> GuiDialogs::SaveFileNameAndFilter(const FileDialogOptions& options)
{
    int filter = 0;
    const std::optional<QString> name = RunFileDialog(options, true, folders, &filter);
    if (!name)
        return std::nullopt;
    return SavedFileChoice { *name, filter };
}

std::optional<uint32_t> GuiDialogs::ChooseColour(uint32_t initial)
{
    QColor start(int(initial & 0xFF), int((initial >> 8) & 0xFF), int((initial >> 16) & 0xFF));
    QColorDialog dialog(start);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QColor chosen = dialog.selectedColor();
    return uint32_t(chosen.red()) | (uint32_t(chosen.green()) << 8)
        | (uint32_t(chosen.blue()) << 16);
}

int GuiDialogs::ExecModal(QDialog& dialog)
{
    return dialog.exec();
}
