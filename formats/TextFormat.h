#pragma once

#include <string>

namespace formats {

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// `text` as one CSV field: quoted, with inner quotes doubled, when it holds a comma, a
// quote or a line break (RFC 4180).
std::string CsvField(const std::string& text);

} // namespace formats
