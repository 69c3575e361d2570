#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "cli/RomFile.h"
#include "demo/DemoRom.h"
#include "formats/FileIo.h"

namespace cli {

using namespace formats;

Result RunDemo(const Args& args) {
    const std::string& out = args.positional[0];
    auto rom = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*rom);
    RomUpdate update;
    if (Result locked = update.Lock(out); !locked.Ok()) {
        return locked;
    }
    if (Result written = WriteRom(update, rom->RomBytes, RomFileSize); !written.Ok()) {
        return written;
    }
    std::printf("Wrote the demo ROM to %s\n", Shown(out).c_str());
    return Done();
}

} // namespace cli
