#pragma once
// EXT2/3/4 directory records. Pure parsing of one directory block (or the
// records kept inline in an inode), no I/O.
#include <cstdint>
#include <functional>
#include <string_view>

#include "common/bytes.h"

namespace delvora {

inline constexpr uint8_t kExt2TypeFile = 1;
inline constexpr uint8_t kExt2TypeDirectory = 2;

struct Ext2DirEntry {
    uint32_t dwInode = 0;
    uint8_t type = 0;         // 1 regular file, 2 directory; 0 when records carry no type
    std::string_view name;    // the stored bytes, not terminated
    bool deleted = false;     // found in the room a live record left unused
};

/// Calls visit for each file or directory record of one directory block, in
/// on-disk order: the live ones, named records with inode 0 (a deleted first
/// record of its block: deleted, no inode), and (scanDeleted) the deleted
/// ones still readable in the room between a record's name and its end.
/// Skipped: an empty name (unused room, an index node, a checksum tail), a type other than file or directory (0
/// allowed when withType is false), and the "." and ".." records. A live
/// record length below 9, a record reaching past the block, or a name longer
/// than its record ends the block. visit answers false to stop; the function
/// then answers false. Without file types (withType false) the name length
/// is 16-bit and every type is 0.
bool ParseExt2DirectoryBlock(ByteSpan block, const std::function<bool(const Ext2DirEntry&)>& visit,
                             bool withType = true, bool scanDeleted = false);

/// The records of a directory kept inline in its inode: i_block holds the
/// parent's inode number, then records; extra (the inline-data attribute)
/// holds more records.
bool ParseExt2InlineDirectory(ByteSpan blockField, ByteSpan extra,
                              const std::function<bool(const Ext2DirEntry&)>& visit, bool withType,
                              bool scanDeleted);

}  // namespace delvora
