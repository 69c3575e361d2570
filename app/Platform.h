#pragma once

// The program's message boxes and its open-file dialog. Both go through replaceable
// functions so that tests can answer the dialog and record every message.

#include <QString>
#include <functional>
#include <optional>

namespace app {

// The application's name: the base name of the program file ("atlasforge").
QString ApplicationName();

// Modal message box: warning icon, one OK button, captioned with ApplicationName().
void MessageBox(const QString& text);
using MessageBoxFunction = std::function<void(const QString& text)>;
void SetMessageBoxFunction(MessageBoxFunction fn); // empty restores the real box

// The open-file dialog: open mode, default extension ".nes", filter "NES ROM Files (*.nes)"
// (selected) then "All Files". The full path, or nullopt when cancelled.
std::optional<QString> GetOpenFileName();
using OpenFileFunction = std::function<std::optional<QString>()>;
void SetOpenFileFunction(OpenFileFunction fn); // empty restores the real dialog

} // namespace app
