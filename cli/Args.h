#pragma once

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "formats/Result.h"

namespace cli {

using formats::Done;
using formats::Fail;
using formats::Fault;
using formats::Result;

// The tool's exit code for a result: 0 done, else the kind of fault (1 to 4).
inline int ExitCode(const Result& result) {
    return static_cast<int>(result.fault);
}

// A command whose positional words go on as long as the user writes them.
inline constexpr int AnyCount = INT_MAX;

// What one command accepts.
struct CommandSyntax {
    const char* name;
    const char* usage;   // the argument line after the command's name
    const char* summary; // one line for the tool's help
    const char* details; // the command's own help, after the usage line
    int minPositional;
    int maxPositional;       // AnyCount for no limit
    bool json;               // takes --json
    bool palette;            // takes --palette FILE
    bool dryRun;             // takes --dry-run
    bool import = false;     // takes --import FILE
    bool usageTable = false; // takes --usage
};

struct Args {
    std::vector<std::string> positional;
    bool json = false;
    bool help = false;
    bool dryRun = false;
    bool usage = false;
    std::optional<std::string> palette;
    std::optional<std::string> import;
};

// Parses the words after the command's name. Options may stand anywhere; "--" ends them.
// A word of a minus sign and a digit is a (negative) number, not an option, so that it
// reaches the command and is refused there with the reason.
Result ParseArgs(const CommandSyntax& syntax, const std::vector<std::string>& words, Args& out);

// A map by number (0 to 3) or by name: floating, water, standard, underwater.
Result ParseMapId(const std::string& word, int& mapId);

// True when `path` ends in `extension` (".csv"), ignoring case.
bool HasExtension(const std::string& path, const std::string& extension);

} // namespace cli
