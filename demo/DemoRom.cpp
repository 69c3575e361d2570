#include "demo/DemoRom.h"

#include <cstring>

#include "demo/DemoParts.h"

namespace demo {

namespace {

// An iNES header for 32 banks of 16 KiB program data, no character banks, mapper 4 with
// battery-backed save memory: what a cartridge of this size and kind carries.
constexpr uint8_t Header[16] = {'N', 'E', 'S', 0x1A, 0x20, 0x00, 0x42, 0x00};

} // namespace

void BuildDemoRom(CRomImage& rom) {
    std::memset(rom.RomBytes, 0, RomFileSize);
    std::memcpy(rom.RomBytes, Header, sizeof Header);
    WriteDemoGraphics(rom);
    WriteDemoMaps(rom);
    WriteDemoEnemies(rom);
}

} // namespace demo
