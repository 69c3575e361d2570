#include "app/Platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace app {

namespace {

MessageBoxFunction& MessageBoxHook() {
    static MessageBoxFunction fn;
    return fn;
}

AskFunction& AskHook() {
    static AskFunction fn;
    return fn;
}

OpenFileFunction& OpenFileHook() {
    static OpenFileFunction fn;
    return fn;
}

void ShowMessageBox(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Warning, ApplicationName(), text, QMessageBox::Ok,
                    QApplication::activeModalWidget());
    if (!detail.isEmpty()) {
        box.setDetailedText(detail);
    }
    box.exec();
}

Answer ShowQuestion(const QString& text, const std::vector<Answer>& buttons) {
    QMessageBox box(QMessageBox::Question, ApplicationName(), text, QMessageBox::NoButton,
                    QApplication::activeModalWidget());
    std::vector<std::pair<QAbstractButton*, Answer>> map;
    for (const Answer answer : buttons) {
        QAbstractButton* button = nullptr;
        if (answer == Answer::Recover || answer == Answer::Overwrite) {
            button = box.addButton(answer == Answer::Recover ? QStringLiteral("Recover")
                                                             : QStringLiteral("Overwrite"),
                                   QMessageBox::AcceptRole);
        } else {
            button = box.addButton(answer == Answer::Save      ? QMessageBox::Save
                                   : answer == Answer::Discard ? QMessageBox::Discard
                                                               : QMessageBox::Cancel);
        }
        map.emplace_back(button, answer);
        // Enter should never be what loses work: Cancel where there is one, else Recover.
        if (answer == Answer::Cancel || answer == Answer::Recover) {
            box.setDefaultButton(static_cast<QPushButton*>(button));
        }
        if (answer == Answer::Cancel) {
            box.setEscapeButton(button);
        }
    }
    box.exec();
    for (const auto& [button, answer] : map) {
        if (box.clickedButton() == button) {
            return answer;
        }
    }
    return Answer::Cancel;
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
    return QStringLiteral("Atlasforge");
}

void MessageBox(const QString& text, const QString& detail) {
    if (MessageBoxHook()) {
        MessageBoxHook()(text, detail);
    } else {
        ShowMessageBox(text, detail);
    }
}

void SetMessageBoxFunction(MessageBoxFunction fn) {
    MessageBoxHook() = std::move(fn);
}

void SetMessageBoxFunction(std::function<void(const QString& text)> fn) {
    if (!fn) {
        MessageBoxHook() = {};
        return;
    }
    MessageBoxHook() = [fn = std::move(fn)](const QString& text, const QString&) { fn(text); };
}

Answer Ask(const QString& text, const std::vector<Answer>& buttons) {
    if (AskHook()) {
        return AskHook()(text, buttons);
    }
    return ShowQuestion(text, buttons);
}

void SetAskFunction(AskFunction fn) {
    AskHook() = std::move(fn);
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
