#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rom/RomImage.h"

namespace text {

// Fills rom.TextTable with the game's fixed text encoding.
void BuildTextTable(CRomImage& rom);

// `text` in the game's encoding into `out`, no terminator; false when a character has no
// code. Decoding the bytes through the table gives `text` back.
bool EncodeText(const std::string& text, std::vector<uint8_t>& out);

// The text of one byte value: slot characters up to the first 0, at most two.
std::string TextOf(const CRomImage& rom, uint8_t value);

// Decodes `count` zero-terminated names back to back from file offset `start`. A name
// that runs into the end of the ROM bytes ends there, and so do all names after it.
std::vector<std::string> DecodeNames(const CRomImage& rom, uint32_t start, int count);

} // namespace text
