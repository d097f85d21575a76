#pragma once
// CRC-32 (IEEE 802.3, reflected, as GPT headers and zip use it).
#include <cstdint>
#include <span>

namespace delvora {

/// CRC of bytes, continuing from a previous result (0 to start).
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t previous = 0);

}  // namespace delvora
