#pragma once

// Trying a ROM in an emulator: the command comes from ATLASFORGE_EMULATOR, else the first
// of fceux, nestopia and mednafen on the PATH. The ROM goes to a temporary file of its own,
// so the emulator never sees the user's file, and the temporary files go when the program
// ends. The program does not wait for the emulator.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace app {

inline constexpr const char* EmulatorVariable = "ATLASFORGE_EMULATOR";

// Splits a command line into words as a POSIX shell does, without expanding anything:
// blanks separate words, single quotes keep everything up to the next one, double quotes
// keep blanks (a backslash there escapes ", \, $ and `), and a backslash elsewhere keeps
// the next character. nullopt for an unmatched quote or a trailing backslash.
std::optional<QStringList> SplitCommandLine(const QString& line);

// The words of the command with `file` put in: "%f" in any word stands for the file and
// "%%" for a percent sign; without "%f" the file is added as the last word.
QStringList CommandForFile(const QStringList& words, const QString& file);

// Why trying a ROM failed: a line, and the details (what to set, the system's reason).
struct EmulatorFailure {
    QString text;
    QString detail;
};

// Where Debian puts emulators, a folder not on every user's PATH: when the PATH has none of
// the known emulators but this folder does, the failure says so. Tests name another.
inline constexpr const char* SystemGamesFolder = "/usr/games";
void SetGamesFolder(const QString& folder); // empty restores SystemGamesFolder

// Writes `bytes` to a new temporary file named after `romName` and starts the emulator on
// it without waiting. nullopt when it started.
std::optional<EmulatorFailure> RunInEmulator(const std::vector<uint8_t>& bytes,
                                             const QString& romName);

// Removes the temporary copies made so far, now rather than when the program ends (for an
// end that skips the usual clean-up). A later RunInEmulator makes a new folder.
void RemoveTestCopies();

} // namespace app
