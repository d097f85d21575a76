#pragma once
// The quick tests the residual searches put every slot and inode through
// before anything is allocated: a handful of comparisons on raw bytes.
#include <cstdint>

#include "common/bytes.h"

namespace delvora {

/// A slot of record size that may hold a lost MFT record: the "FILE"
/// signature, an update-sequence offset below 256, a first attribute at
/// 0x30 or later inside the slot that is $STANDARD_INFORMATION 0x60 bytes
/// long (or 0x48, the older form ntfs-3g writes).
bool LooksLikeLostRecord(ByteSpan slot);

/// An on-disk EXT2 inode that may describe a lost file: a size, a change
/// time, 512-byte blocks and a first block; no ACL blocks; owner id below
/// 4,096 and group 0; fewer than 4,096 links; each of the 15 block
/// pointers below the volume's block count, or, for an ext4 inode with
/// extents, a sound extent root whose blocks lie inside the volume.
bool LooksLikeLostInode(ByteSpan inode, uint64_t blockCount);

}  // namespace delvora
