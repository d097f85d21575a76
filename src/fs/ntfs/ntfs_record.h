#pragma once
// One MFT record as bytes: the update-sequence fix-up, the first-attribute
// offset, and the two lookups the item operations need. Functions here do
// no I/O; a record is a span of exactly the record size.
#include <cstdint>
#include <span>

#include "common/bytes.h"
#include "common/reporting.h"
#include "fs/cluster_run_list.h"

namespace delvora {

namespace ntfs {
inline constexpr uint32_t kFileName = 0x30;
inline constexpr uint32_t kData = 0x80;
inline constexpr uint32_t kEndOfAttributes = 0xFFFFFFFF;
inline constexpr uint16_t kRecordInUse = 0x0001;
inline constexpr uint16_t kRecordDirectory = 0x0002;
inline constexpr uint32_t kMinFirstAttribute = 48;
inline constexpr uint32_t kMaxRecordBytes = 4096;
}  // namespace ntfs

enum class FixupResult { Applied, Absent, Mismatch };

/// Applies the update-sequence fix-up to a record copy: the last two bytes
/// of every 512-byte stride must hold the sequence number and get back the
/// saved bytes. Absent when the record carries no usable update-sequence
/// array (it is left as it is); Mismatch when a stride was torn (the copy is
/// left unchanged).
FixupResult ApplyFixup(std::span<uint8_t> record);

/// The u16 at 0x14 when it is at least 48 and below the record size, else 0.
uint32_t FirstAttributeOffset(ByteSpan record);

/// Decodes the run list of the record's first $DATA into runs. False (with a
/// log line) for a bad first-attribute offset, and for a zero attribute
/// length met before any $DATA; true with runs untouched when the walk
/// reaches the record's end.
bool GetRunArray(ByteSpan record, ClusterRunList& runs, Log& log);

/// Offset of the first attribute of a type, 0 when absent or the record is
/// malformed (a bad first-attribute offset is logged).
uint32_t GetAttrbuteByType(ByteSpan record, uint32_t type, Log& log);

}  // namespace delvora
