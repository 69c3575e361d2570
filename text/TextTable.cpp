#include "text/TextTable.h"

#include <array>
#include <cstring>

namespace text {

namespace {

// The entry string of every byte value; nullptr stands for the empty entry. 0xC9 is built
// from three full stops, of which a slot keeps two.
const char* EntryOf(int b) {
    static const char* const pairs[] = {
        "Th", "an", "ar", "as", "at", "ea", "ed", "en", "er", "es", "gh", "ha", "he",
        "in", "is", "it", "ld", "le", "me", "ne", "on", "or", "ou", "ow", "re", "st",
        "th", "to", "us", "ve", "d ", "e ", "f ", "g ", "o ", "s ", "t ", " a", " b",
        " c", " I", " d", " f", " h", " m", " o", " p", " s", " t", " w", " y",
    };                                                                             // 0x29 to 0x5B
    static const char* const apostrophes[] = {"'d", "'l", "'r", "'s", "'t", "'v"}; // 0x7A-0x7F
    static const char* const marks[] = {
        "'",  "'",  ",",     ".",  "-",  "..", "!", "?",  "%",  "/", ":",  "...",
        "\"", "\"", nullptr, "il", "li", "ll", "i", "li", "ll", "l", "il",
    }; // 0xBE to 0xD4
    static const char* const capitals[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                           "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                           "S", "T", "U", "V", "W", "X", "Y", "Z"};
    static const char* const smalls[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                         "j", "k", "l", "m", "n", "o", "p", "q", "r",
                                         "s", "t", "u", "v", "w", "x", "y", "z"};
    if (b >= 0x29 && b <= 0x5B) {
        return pairs[b - 0x29];
    }
    if (b == 0x76) {
        return "I'";
    }
    if (b >= 0x7A && b <= 0x7F) {
        return apostrophes[b - 0x7A];
    }
    if (b >= 0x8A && b <= 0xA3) {
        return capitals[b - 0x8A];
    }
    if (b >= 0xA4 && b <= 0xBD) {
        return smalls[b - 0xA4];
    }
    if (b >= 0xBE && b <= 0xD4) {
        return marks[b - 0xBE];
    }
    if (b == 0xFF) {
        return " ";
    }
    return nullptr;
}

// What a slot holds: the first two bytes of the zero-terminated entry (a one-character
// entry brings its terminator along).
std::array<char, 2> SlotOf(int b) {
    const char* entry = EntryOf(b);
    if (entry == nullptr) {
        return {0, 0};
    }
    return {entry[0], entry[0] != 0 ? entry[1] : char(0)};
}

std::string SlotText(int b) {
    const std::array<char, 2> slot = SlotOf(b);
    return std::string(slot.data(), slot[0] == 0 ? 0 : slot[1] == 0 ? 1 : 2);
}

} // namespace

void BuildTextTable(CRomImage& rom) {
    for (int b = 0; b < 256; ++b) {
        std::memcpy(rom.TextTable[b], SlotOf(b).data(), 2);
    }
}

bool EncodeText(const std::string& text, std::vector<uint8_t>& out) {
    // Longest slot first, so "The" takes "Th" and "e" rather than three bytes. Every
    // character that can be coded at all has a one-character slot, so this never gets stuck.
    out.clear();
    std::size_t at = 0;
    while (at < text.size()) {
        int best = -1;
        std::size_t bestLength = 0;
        for (int b = 1; b < 256; ++b) {
            const std::string slot = SlotText(b);
            if (slot.size() > bestLength && text.compare(at, slot.size(), slot) == 0) {
                best = b;
                bestLength = slot.size();
            }
        }
        if (best < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(best));
        at += bestLength;
    }
    return true;
}

std::string TextOf(const CRomImage& rom, uint8_t value) {
    const char* slot = rom.TextTable[value];
    if (slot[0] == 0) {
        return {};
    }
    return slot[1] == 0 ? std::string(1, slot[0]) : std::string(slot, 2);
}

std::vector<std::string> DecodeNames(const CRomImage& rom, uint32_t start, int count) {
    std::vector<std::string> names;
    if (count < 1) {
        return names;
    }
    names.reserve(static_cast<std::size_t>(count));
    std::size_t p = start;
    for (int i = 0; i < count; ++i) {
        std::string name;
        // The end of the ROM bytes ends a name that has no terminator before it.
        while (p < RomFileSize && rom.RomBytes[p] != 0) {
            name += TextOf(rom, rom.RomBytes[p]);
            ++p;
        }
        names.push_back(std::move(name));
        ++p;
    }
    return names;
}

} // namespace text
