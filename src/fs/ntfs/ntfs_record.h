#pragma once
// One MFT record as bytes: the update-sequence fix-up, the header fields and
// the first-attribute offset. Functions here do no I/O; a record is a span of
// exactly the record size.
#include <cstdint>
#include <span>

#include "common/bytes.h"

namespace delvora {

namespace ntfs {
inline constexpr uint32_t kStandardInformation = 0x10;
inline constexpr uint32_t kAttributeList = 0x20;
inline constexpr uint32_t kFileName = 0x30;
inline constexpr uint32_t kData = 0x80;
inline constexpr uint32_t kEndOfAttributes = 0xFFFFFFFF;
inline constexpr uint16_t kRecordInUse = 0x0001;
inline constexpr uint16_t kRecordDirectory = 0x0002;
inline constexpr uint32_t kMinFirstAttribute = 48;
inline constexpr uint32_t kMaxRecordBytes = 4096;
inline constexpr uint64_t kReferenceMask = 0x0000FFFFFFFFFFFFull;  // record number of a reference
}  // namespace ntfs

enum class FixupResult { Applied, Absent, Mismatch };

/// Applies the update-sequence fix-up to a record copy. The array's entry
/// count (1 + strides) gives the stride: 512 bytes on most volumes, the sector
/// size on some; a stride must be a power of two of at least 512 that divides
/// the record. The last two bytes of every stride must hold the sequence
/// number and get back the saved bytes. Absent when the record carries no
/// usable array (it is left as it is); Mismatch when a stride was torn (the
/// copy is left unchanged).
FixupResult ApplyFixup(std::span<uint8_t> record);

/// True for the "FILE" and "BAAD" signatures: a record that was once written.
bool HasRecordSignature(ByteSpan record);

/// The u16 at 0x14 when it is at least 48 and below the record size, else 0.
uint32_t FirstAttributeOffset(ByteSpan record);

/// The record number in the base reference at 0x20; 0 for a base record.
inline uint64_t BaseRecordOf(ByteSpan record) { return Le64(record, 0x20) & ntfs::kReferenceMask; }

}  // namespace delvora
