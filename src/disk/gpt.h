#pragma once
// GUID partition tables: the header at LBA 1 (or its backup at the disk's
// last LBA), the entry array, their CRCs, and the names of the common type
// GUIDs. Reads go through a callback, so the parser sees any source.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace delvora {

using Guid = std::array<uint8_t, 16>;

struct GptPartition {
    uint32_t index = 0;  // place in the entry array, from 0
    Guid typeGuid{};
    Guid partitionGuid{};
    uint64_t firstLba = 0;
    uint64_t lastLba = 0;  // inclusive
    uint64_t attributes = 0;
    std::string name;  // UTF-8 from the entry's UTF-16LE name
};

struct GptTable {
    uint32_t sectorSize = 0;
    uint64_t headerLba = 0;  // 1, or the backup's LBA when the primary is damaged
    Guid diskGuid{};
    std::vector<GptPartition> partitions;  // used entries, in entry order
    /// Damage found on the way (a backup in use, entries past the disk's
    /// end, overlaps), one line each.
    std::vector<std::string> notes;
};

/// Reads count bytes at a byte offset of the disk; false when it cannot.
using DiskReader = std::function<bool(uint8_t* buffer, uint32_t count, uint64_t offset)>;

/// Entry arrays larger than this are refused: the usual one is 16 KiB.
inline constexpr uint32_t kMaxGptArrayBytes = 4u << 20;

/// Reads the GPT of a disk of diskBytes bytes (0: unknown, then no backup
/// and no bounds). sectorSize 0 finds it at 512 or 4096. Answers false with
/// a one-line reason when neither header is sound.
bool ReadGpt(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize, GptTable& out, std::string& error);

/// True when one of the master boot record's four entries has type 0xEE.
bool HasProtectiveEntry(std::span<const uint8_t> mbr);

/// The registry form, e.g. EBD0A0A2-B9E5-4433-87C0-68B6B72699C7.
std::string GuidText(const Guid& guid);
/// The name of a common type GUID, or its text.
std::string GptTypeName(const Guid& typeGuid);
/// The MBR type byte that stands for a type GUID (0xEF for EFI system..),
/// 0 when none does.
uint8_t GptTypeByte(const Guid& typeGuid);

}  // namespace delvora
