#pragma once

#include "rom/RomImage.h"

namespace demo {

// Fills rom.RomBytes with the synthetic demo image: four generated world maps packed into
// the map region with free bytes left over, tile graphics of our own drawing for the three
// graphics sets, and 214 enemies. The result is the same on every run and every machine.
// Only RomBytes is written.
void BuildDemoRom(CRomImage& rom);

} // namespace demo
