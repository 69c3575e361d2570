#pragma once

#include <cstdint>
#include <string>

#include "cli/Outcome.h"

namespace cli {

// 256 lines of 256 comma-separated decimal tile numbers, LF line ends, a final newline.
std::string WriteGridCsv(const uint8_t* grid);

// Reads the same form into `grid` (65,536 cells). Accepts CRLF line ends, spaces and tabs
// around numbers, a UTF-8 byte order mark, a missing final newline and blank lines at the
// end. Fails with ExitBadData naming `name`, the line and the column of the first fault;
// `grid` may then be partly written.
Outcome ParseGridCsv(const std::string& text, const std::string& name, uint8_t* grid);

} // namespace cli
