#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace delvora {

/// Name of a partition type byte from the partition type table (first match
/// wins); empty for a byte the table does not list.
std::string TypeName(uint8_t typeId);

/// The type byte this program gives an exFAT volume: MBR type 0x07 serves
/// NTFS and exFAT alike, so an exFAT one is told apart by its boot sector
/// and carried (in the case file too) as this byte, which no partition
/// type of the table uses.
inline constexpr uint8_t kExfatTypeId = 0xE7;

/// typeId, or kExfatTypeId when typeId is 0x07 and the volume's first
/// sector names its file system "EXFAT   ".
uint8_t TypeOfBootSector(uint8_t typeId, std::span<const uint8_t> bootSector);

}  // namespace delvora
