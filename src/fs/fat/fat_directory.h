#pragma once
// FAT directory entries (32 bytes each) turned into FileItem records, and
// the check that tells whether a buffer of entries looks like a directory.
// Pure functions over bytes: the medium is read elsewhere.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/options.h"
#include "fs/file_item.h"

namespace delvora {

inline constexpr size_t kFatEntryBytes = 32;
inline constexpr uint8_t kFatLongNameAttr = 0x0F;
/// Set in a record's link when its low byte is the entry's byte 13.
inline constexpr uint32_t kFatHundredthsKnown = 0x100;

/// Byte 0 values that mark a deleted entry. 0x05 is not one of them: it
/// stands for a live name whose first byte is 0xE5 (a common GBK lead byte).
inline bool IsDeletedMark(uint8_t b0) { return b0 == 0xE5 || b0 == 0xEB; }

/// The name of the short entry at index j: the long name joined from the
/// long-name entries directly before it, else the 8.3 name (lower-case flags
/// of byte 12 honoured, a deleted first byte shown as '_', decoded from the
/// OEM code page). At most 259 bytes of UTF-8.
std::string FatEntryName(ByteSpan entries, size_t j, const std::string& codepage);

/// The 8.3 name of one 32-byte entry, as FatEntryName builds it.
std::string FatShortName(ByteSpan entry, const std::string& codepage);

/// Start cluster of an entry: FAT32 joins the high word.
inline uint32_t FatEntryCluster(ByteSpan entry, int fatKind) {
    const uint32_t low = Le16(entry, 26);
    return fatKind == 3 ? (uint32_t{Le16(entry, 20)} << 16) | low : low;
}

/// Appends one record per accepted entry of a directory buffer to out, in
/// the order found: long-name entries, "." and "..", and volume labels are
/// skipped, a 0 first byte ends the directory. Records are deleted when the
/// folder is. Names go to the NamePool; parent is left for SetChildren.
/// link holds kFatHundredthsKnown | byte 13 (creation time, 10-ms units).
void ConvertDirectoryEntries(ByteSpan entries, bool folderDeleted, int fatKind, const std::string& codepage,
                             std::vector<FileItem>& out);

/// True when a buffer of entryCount entries looks like a real directory
/// (used before trusting a deleted folder's cluster and by the residual
/// search): dates, reserved attribute bits, start clusters, names and sizes
/// must all be plausible, and after a 0 first byte only zeros may follow.
bool CheckDirectoryBuffer(ByteSpan buffer, uint32_t entryCount, uint32_t clusterCount, int fatKind,
                          uint64_t dataBytes, const AnalysisOptions& options);

}  // namespace delvora
