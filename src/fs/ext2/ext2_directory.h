#pragma once
// EXT2 directory records. Pure parsing of one directory block, no I/O.
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
};

/// Calls visit for each live file or directory record of one directory
/// block, in on-disk order. Skipped: records with inode 0 (unused or
/// deleted), an empty name, a type other than file or directory, and the
/// "." and ".." records. A record length below 9, a record reaching past the
/// block, or a name longer than its record ends the block. visit answers
/// false to stop; the function then answers false. Without file types
/// (withType false) the name length is 16-bit and every type is 0.
bool ParseExt2DirectoryBlock(ByteSpan block, const std::function<bool(const Ext2DirEntry&)>& visit,
                             bool withType = true);

}  // namespace delvora
