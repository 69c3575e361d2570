#pragma once

#include <string>
#include <utility>

namespace cli {

// The tool's exit codes.
enum ExitCode {
    ExitDone = 0,
    ExitUsage = 1,   // wrong arguments
    ExitFile = 2,    // a file cannot be read or written
    ExitMap = 3,     // the map does not fit, or the ROM's map region is broken
    ExitBadData = 4, // malformed input: CSV, TMX, patch, palette
};

// The result of a step that can fail: an exit code and one line for the user.
struct Outcome {
    int code = ExitDone;
    std::string message;

    bool Ok() const { return code == ExitDone; }
};

inline Outcome Done() {
    return {};
}
inline Outcome Fail(int code, std::string message) {
    return {code, std::move(message)};
}

} // namespace cli
