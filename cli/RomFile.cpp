#include "cli/RomFile.h"

#include <cstdio>

namespace cli {

formats::Result WriteRom(formats::RomUpdate& update, const void* data, std::size_t size) {
    std::string note;
    formats::Result written = update.Write(data, size, note);
    if (!note.empty()) {
        std::fprintf(stderr, "atlasforge-cli: warning: %s\n", note.c_str());
    }
    return written;
}

} // namespace cli
