#pragma once

#include <cstdint>
#include <string>

#include "edit/GridOps.h"
#include "formats/Result.h"
#include "worldmap/RowCode.h"

namespace formats {

// 256 lines of 256 comma-separated decimal tile numbers, LF line ends, a final newline.
std::string WriteGridCsv(worldmap::GridView grid);

// Reads the same form into `grid` (65,536 cells). Accepts CRLF line ends, spaces and tabs
// around numbers, a UTF-8 byte order mark, a missing final newline and blank lines at the
// end. Fails with Fault::BadData naming `name`, the line and the column of the first fault;
// `grid` is then left as it was.
Result ParseGridCsv(const std::string& text, const std::string& name, worldmap::GridSpan grid);

// Reads a block to paste: lines of comma-separated tile numbers 0 to 127, every line as long
// as the first, at most 256 lines of at most 256 numbers. The same looser forms and the same
// messages as ParseGridCsv; a file with no numbers at all is bad data too. A refused file
// leaves `block` as it was.
Result ParseBlockCsv(const std::string& text, const std::string& name, edit::Block& block);

} // namespace formats
