#include "app/Platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace app {

namespace {

MessageBoxFunction& MessageBoxHook() {
    static MessageBoxFunction fn;
    return fn;
}

OpenFileFunction& OpenFileHook() {
    static OpenFileFunction fn;
    return fn;
}

void ShowMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::Warning, ApplicationName(), text, QMessageBox::Ok,
                    QApplication::activeModalWidget());
    box.exec();
}

std::optional<QString> ShowOpenFileDialog() {
    // An empty caption gives the toolkit's own title ("Open").
    QFileDialog dialog(nullptr, QString());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("nes"));
    const QString romFilter = QStringLiteral("NES ROM Files (*.nes)");
    dialog.setNameFilters({romFilter, QStringLiteral("All Files (*)")});
    dialog.selectNameFilter(romFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
}

} // namespace

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void MessageBox(const QString& text) {
    if (MessageBoxHook()) {
        MessageBoxHook()(text);
    } else {
        ShowMessageBox(text);
    }
}

void SetMessageBoxFunction(MessageBoxFunction fn) {
    MessageBoxHook() = std::move(fn);
}

std::optional<QString> GetOpenFileName() {
    if (OpenFileHook()) {
        return OpenFileHook()();
    }
    return ShowOpenFileDialog();
}

void SetOpenFileFunction(OpenFileFunction fn) {
    OpenFileHook() = std::move(fn);
}

} // namespace app
