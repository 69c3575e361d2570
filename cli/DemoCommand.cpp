#include <cstdio>
#include <memory>

#include "cli/Commands.h"
#include "cli/DemoRom.h"
#include "cli/FileIo.h"

namespace cli {

Outcome RunDemo(const Args& args) {
    const std::string& out = args.positional[0];
    auto rom = std::make_unique<CRomImage>();
    demo::BuildDemoRom(*rom);
    if (Outcome written = WriteFileAtomic(out, rom->RomBytes, RomFileSize); !written.Ok()) {
        return written;
    }
    std::printf("Wrote the demo ROM to %s\n", out.c_str());
    return Done();
}

} // namespace cli
