#pragma once

// The program's message boxes and its open-file dialog. Both go through replaceable
// functions so that tests can answer the dialog and record every message.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace app {

// The application's name, "Atlasforge": the title of its message boxes, whatever the
// program file is called.
QString ApplicationName();

// Modal message box: warning icon, one OK button, captioned with ApplicationName().
// `detail`, when not empty, is the box's detailed text: the numbers, the path, the reason.
void MessageBox(const QString& text, const QString& detail = QString());
using MessageBoxFunction = std::function<void(const QString& text, const QString& detail)>;
void SetMessageBoxFunction(MessageBoxFunction fn); // empty restores the real box
// For a test that only records the text.
void SetMessageBoxFunction(std::function<void(const QString& text)> fn);

// A question before something is lost: a modal box with a question icon and the given
// buttons, captioned with ApplicationName(). Esc and the close box answer Cancel. The
// default button is Cancel when offered, else Recover.
enum class Answer { Save, Discard, Cancel, Recover, Overwrite };
Answer Ask(const QString& text, const std::vector<Answer>& buttons);
using AskFunction = std::function<Answer(const QString& text, const std::vector<Answer>& buttons)>;
void SetAskFunction(AskFunction fn); // empty restores the real box

// The open-file dialog: open mode, default extension ".nes", filter "NES ROM Files (*.nes)"
// (selected) then "All Files". The full path, or nullopt when cancelled.
std::optional<QString> GetOpenFileName();
using OpenFileFunction = std::function<std::optional<QString>()>;
void SetOpenFileFunction(OpenFileFunction fn); // empty restores the real dialog

} // namespace app
