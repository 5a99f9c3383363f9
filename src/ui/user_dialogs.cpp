// Message boxes and pickers on Qt Widgets.
#include "ui/user_dialogs.h"
#include "ui/qt_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "text/catalog.h"

namespace tarnwick {

namespace {

// Catalog texts use "\r\n" for line breaks; a message box wants "\n".
QString MessageText(const std::string& s) {
    return Q(s).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QWidget* Owner() {
    QWidget* w = QApplication::activeWindow();
    return (w && w->isEnabled()) ? w : nullptr;
}

QMessageBox::StandardButton Box(QMessageBox::Icon icon, const std::string& title,
                                const std::string& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, Q(title), MessageText(text), buttons, Owner());
    box.setTextFormat(Qt::PlainText);
    if (buttons & QMessageBox::No) box.setDefaultButton(QMessageBox::Yes);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void ShowWarning(const std::string& text) {
    Box(QMessageBox::Warning, CatalogText("Msg", "Warning"), text, QMessageBox::Ok);
}

void ShowError(const std::string& text) {
    Box(QMessageBox::Critical, CatalogText("Msg", "Error"), text, QMessageBox::Ok);
}

void ShowInfo(const std::string& title, const std::string& text) {
    Box(QMessageBox::Information, title, text, QMessageBox::Ok);
}

bool AskYesNo(const std::string& title, const std::string& text, bool warningIcon) {
    return Box(warningIcon ? QMessageBox::Warning : QMessageBox::Question, title, text,
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void QtUserDialogs::Warning(const std::string& text) { ShowWarning(text); }
void QtUserDialogs::Error(const std::string& text) { ShowError(text); }
void QtUserDialogs::Info(const std::string& title, const std::string& text) {
    ShowInfo(title, text);
}
bool QtUserDialogs::Question(const std::string& title, const std::string& text, bool warningIcon) {
    return AskYesNo(title, text, warningIcon);
}

std::optional<std::string> QtUserDialogs::ChooseInputFile(
    QWidget* parent, const std::string& title, const std::string& initialFile,
    const std::vector<std::string>& nameFilters) {
    QFileDialog dialog(parent, Q(title));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters;
    for (const std::string& f : nameFilters) filters << Q(f);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    if (!initialFile.empty()) {
        const QFileInfo info(Q(initialFile));
        if (info.dir().exists()) dialog.setDirectory(info.dir());
        dialog.selectFile(info.fileName());
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty()) return std::nullopt;
        const QFileInfo chosen(files.front());
        // A typed name may name a file that does not exist yet, but its folder must.
        if (chosen.dir().exists() && !chosen.isDir())
            return chosen.absoluteFilePath().toStdString();
    }
}

std::optional<std::string> QtUserDialogs::ChooseFolder(QWidget* parent, const std::string& title,
                                                       const std::string& startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(parent, Q(title), Q(startFolder));
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

bool AskBreakConversion(UserDialogs& dialogs) {
    return dialogs.Question(CatalogText("Msg", "Warning"),
                            CatalogText("Msg", "Ask break conversion"), true);
}

}  // namespace tarnwick
