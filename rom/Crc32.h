#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of zip, PNG and BPS (reflected 0xEDB88320). Chain calls by passing the
// previous result as `crc`.
uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc = 0);
