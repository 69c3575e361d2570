// Arbitrary bytes as a palette file, read by both readers: the command-line tool's, which
// refuses a file under 192 bytes, and the windows', which takes the colours a short file
// holds whole and the rest from the standard palette. Besides memory errors it checks that
// each colour comes from the file's three bytes or from the standard palette, never a mix,
// and that a refusal names the file and its size and leaves the colours as they were.

#include <algorithm>
#include <memory>

#include "formats/Palette.h"
#include "fuzz/FuzzCheck.h"
#include "gfx/ColourTable.h"
#include "gfx/StandardPalette.h"

namespace {

uint32_t Colour(const uint8_t* rgb) {
    return static_cast<uint32_t>(rgb[0]) | static_cast<uint32_t>(rgb[1]) << 8 |
           static_cast<uint32_t>(rgb[2]) << 16;
}

// Colour i from the file when it holds all three of its bytes, else the standard one.
bool ColoursFrom(const CRomImage& rom, const std::vector<uint8_t>& bytes) {
    const uint8_t* standard = gfx::StandardPalette().data();
    for (std::size_t i = 0; i < ColourCount; ++i) {
        const uint32_t want =
            3 * i + 3 <= bytes.size() ? Colour(bytes.data() + 3 * i) : Colour(standard + 3 * i);
        if (rom.ColourTable[i] != want) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const auto rom = std::make_unique<CRomImage>();
    const std::vector<uint8_t> bytes(data, data + size);

    std::fill(std::begin(rom->ColourTable), std::end(rom->ColourTable), 0x01000000u);
    const formats::Result read = formats::ReadPalette(bytes, "fuzz.pal", *rom);
    if (size >= gfx::PaletteFileSize) {
        FUZZ_CHECK(read.Ok());
        FUZZ_CHECK(ColoursFrom(*rom, bytes));
    } else {
        FUZZ_CHECK_REFUSAL(read, "fuzz.pal", "a palette needs 192 bytes");
        FUZZ_CHECK(read.message.ends_with("this one has " + std::to_string(size)));
        FUZZ_CHECK(std::all_of(std::begin(rom->ColourTable), std::end(rom->ColourTable),
                               [](uint32_t c) { return c == 0x01000000u; }));
    }

    gfx::SetColourTable(*rom, bytes.data(), bytes.size());
    FUZZ_CHECK(ColoursFrom(*rom, bytes));
    return 0;
}
