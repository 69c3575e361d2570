#pragma once

// The editor's own command line: `atlasforge [ROM]`, `--help` and `--version`. The toolkit
// takes its own options out before the rest is read, but --help and --version are answered
// before the toolkit starts, so that they work without a display.

#include <QString>
#include <QStringList>
#include <optional>

namespace app {

struct CommandLine {
    enum class Action { Run, Help, Version, UsageError };
    Action action = Action::Run;
    std::optional<QString> rom; // as given (main makes it absolute)
    QString error;              // for UsageError: one line, without the program's name
};

// Reads the arguments after the program's name. --help (or -h) wins over anything else on
// the line, then --version; otherwise at most one ROM, "--" ending the options.
CommandLine ParseCommandLine(const QStringList& args);

// The text of --help, and of --version (each ending in a newline).
QString HelpText();
QString VersionText();

} // namespace app
