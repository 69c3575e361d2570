#pragma once

#include <array>
#include <cstdint>

#include "gfx/ColourTable.h"

namespace gfx {

// The 64 colours of the console's NTSC picture as a 192-byte "palette.pal" (red, green,
// blue per colour). Used when no palette file is at hand; the file of the same name at the
// top of the source tree is this table written out.
//
// Derived, not copied: each colour's composite signal is sampled at the 12 phases of the
// colour subcarrier, using the voltage levels measured on the console (low 0.350, 0.518,
// 0.962, 1.550 and high 1.094, 1.506, 1.962, 1.962 volts for luma rows 0 to 3, black at
// 0.518 and white at 1.962), demodulated into YIQ and turned into RGB with the FCC matrix
// and a display gamma of 2.2 over an assumed source gamma of 1.8.
const std::array<uint8_t, PaletteFileSize>& StandardPalette();

} // namespace gfx
