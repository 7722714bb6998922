#include "panel/qt_user_prompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "dialogs/address_dialog.h"
#include "dialogs/read_options_dialog.h"

namespace {

// The program's texts end their lines the Windows way; a message box wants "\n".
QString ForDisplay(QString text) { return text.remove(QLatin1Char('\r')); }

}  // namespace

void QtUserPrompts::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), ForDisplay(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtUserPrompts::AskWarning(const QString& text, const QString& caption, Buttons buttons) {
    const bool yesNo = buttons == Buttons::YesNo;
    // The warnings are asked before a window exists or must not hide behind one.
    QMessageBox box(QMessageBox::Warning, caption, ForDisplay(text),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel,
                    nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    if (yesNo) box.setDefaultButton(QMessageBox::No);
    const int answer = box.exec();
    return answer == (yesNo ? QMessageBox::Yes : QMessageBox::Ok);
}

UserPrompts::Keep QtUserPrompts::AskSaveDiscard(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, ForDisplay(text),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    return answer == QMessageBox::Save ? Keep::Save : answer == QMessageBox::Discard ? Keep::Discard : Keep::Cancel;
}

void QtUserPrompts::ShowInformation(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Information, caption, ForDisplay(text), QMessageBox::Ok, parent_);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

std::optional<UserPrompts::FileAnswer> QtUserPrompts::AskOpenFile(const FileQuestion& question) {
    return AskFile(question, false);
}

std::optional<UserPrompts::FileAnswer> QtUserPrompts::AskSaveFile(const FileQuestion& question) {
    return AskFile(question, true);
}

std::optional<QString> QtUserPrompts::AskAddress(const QString& prompt) {
    AddressDialog dialog(prompt, parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.address();
}

QStringList QtUserPrompts::NameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        const QString label = parts[i].trimmed();
        filters << (label.contains('(') ? label : label + " (" + parts[i + 1] + ")");
    }
    return filters;
}

std::optional<UserPrompts::FileAnswer> QtUserPrompts::AskFile(const FileQuestion& question, bool save) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    const QStringList filters = NameFilters(question.filter);
    dialog.setNameFilters(filters);
    if (!question.defaultExtension.isEmpty()) dialog.setDefaultSuffix(question.defaultExtension);
    if (const QString folder = StartFolder(); !folder.isEmpty()) dialog.setDirectory(folder);
    if (!question.initialName.isEmpty() && !question.initialName.contains('*'))
        dialog.selectFile(question.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    RememberFolder(dialog.selectedFiles().first());
    return FileAnswer{dialog.selectedFiles().first(),
                      int(std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())))};
}

// A folder that has gone since leaves the dialog where Qt would start it.
QString QtUserPrompts::StartFolder() const {
    const QString folder = folders_.recall ? folders_.recall() : QString();
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

void QtUserPrompts::RememberFolder(const QString& path) {
    if (folders_.remember) folders_.remember(QFileInfo(path).absolutePath());
}

std::optional<ReadOptions> QtUserPrompts::AskReadOptions() {
    ReadOptionsDialog dialog(parent_);
    if (lastReadOptions_) dialog.SetOptions(*lastReadOptions_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    lastReadOptions_ = dialog.options();
    return lastReadOptions_;
}
