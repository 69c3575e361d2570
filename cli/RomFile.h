#pragma once

#include <cstddef>

#include "formats/FileIo.h"

namespace cli {

// Writes a command's new ROM through the update that locked it, and passes the update's
// note on other names of the file (hard links) on as a warning on stderr.
formats::Result WriteRom(formats::RomUpdate& update, const void* data, std::size_t size);

} // namespace cli
