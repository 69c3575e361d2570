#include "gfx/StandardPalette.h"

#include <algorithm>
#include <cmath>

namespace gfx {

namespace {

constexpr double LowLevel[4] = {0.350, 0.518, 0.962, 1.550};
constexpr double HighLevel[4] = {1.094, 1.506, 1.962, 1.962};
constexpr double Black = 0.518;
constexpr double White = 1.962;
constexpr double Pi = 3.14159265358979323846;
// The colour burst's place against the phases above: with it hue 1 decodes blue, 6 red and
// 10 green, as on the console.
constexpr double BurstPhase = 4.0;

uint8_t ToByte(double linear) {
    const double corrected = linear <= 0.0 ? 0.0 : std::pow(linear, 2.2 / 1.8);
    return static_cast<uint8_t>(std::clamp(std::lround(corrected * 255.0), 0L, 255L));
}

// One colour: hue in the low four bits, luma row in bits 4 and 5.
void Colour(int number, uint8_t* rgb) {
    const int hue = number & 0x0F;
    // Hues 14 and 15 are forced black by the console.
    const int row = hue < 14 ? (number >> 4) & 3 : 1;
    double low = LowLevel[row];
    double high = HighLevel[row];
    if (hue == 0) {
        low = high; // greys carry no subcarrier
    } else if (hue > 12) {
        high = low;
    }
    double y = 0.0;
    double i = 0.0;
    double q = 0.0;
    for (int phase = 0; phase < 12; ++phase) {
        // Hue h is the high half of the square wave for 6 of the 12 phases.
        const bool on = (hue + phase) % 12 < 6;
        const double level = ((on ? high : low) - Black) / (White - Black);
        y += level;
        i += level * std::cos(Pi * (phase + BurstPhase) / 6.0);
        q += level * std::sin(Pi * (phase + BurstPhase) / 6.0);
    }
    y /= 12.0;
    i /= 12.0;
    q /= 12.0;
    rgb[0] = ToByte(y + 0.946882 * i + 0.623557 * q);
    rgb[1] = ToByte(y - 0.274788 * i - 0.635691 * q);
    rgb[2] = ToByte(y - 1.108545 * i + 1.709007 * q);
}

std::array<uint8_t, PaletteFileSize> Build() {
    std::array<uint8_t, PaletteFileSize> bytes{};
    for (int n = 0; n < static_cast<int>(ColourCount); ++n) {
        Colour(n, bytes.data() + 3 * n);
    }
    return bytes;
}

} // namespace

const std::array<uint8_t, PaletteFileSize>& StandardPalette() {
    static const std::array<uint8_t, PaletteFileSize> palette = Build();
    return palette;
}

} // namespace gfx
