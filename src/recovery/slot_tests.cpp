#include "recovery/slot_tests.h"

#include "fs/ext2/ext2_extents.h"
#include "fs/ext2/ext2_inode.h"

namespace delvora {
namespace {

/// An ext4 inode's i_block holds an extent tree's root, not block numbers:
/// a sound header with at least one entry, each leaf's blocks or child
/// node inside the volume.
bool ExtentRootInsideVolume(ByteSpan root, uint64_t blockCount) {
    Ext2ExtentHeader header;
    if (!ReadExt2ExtentHeader(root, header) || header.entries == 0) return false;
    // The header's check keeps the entries within the 60 bytes: four at most.
    for (uint32_t i = 0; i < header.entries; ++i) {
        const Ext2Extent e = header.depth == 0 ? ReadExt2Leaf(root, i) : ReadExt2Index(root, i);
        if (e.physical == 0 || e.physical >= blockCount || e.count > blockCount - e.physical) return false;
    }
    return true;
}

}  // namespace

bool LooksLikeLostRecord(ByteSpan slot) {
    if (Le32(slot, 0) != 0x454C4946 || Le8(slot, 5) != 0) return false;
    const uint32_t first = Le16(slot, 0x14);
    if (first < 0x30 || first >= slot.size()) return false;
    // 0x60: the 72-byte form Windows writes; 0x48: the 48-byte form of NTFS
    // 1.x, which ntfs-3g still writes for every file it creates.
    const uint32_t length = Has(slot, first, 8) ? Le32(slot, first + 4) : 0;
    return Has(slot, first, 8) && Le32(slot, first) == 0x10 && (length == 0x60 || length == 0x48);
}

bool LooksLikeLostInode(ByteSpan inode, uint64_t blockCount) {
    if (!Has(inode, 0, 128)) return false;
    if (Le32(inode, 4) == 0 || Le32(inode, 12) == 0 || Le32(inode, 104) != 0 || Le32(inode, 108) != 0) return false;
    if (Le16(inode, 2) >= 4096 || Le16(inode, 24) != 0 || Le16(inode, 26) >= 4096) return false;
    if (Le32(inode, 28) == 0 || Le32(inode, 40) == 0) return false;
    if (Le32(inode, 32) & ext2_inode_flag::kExtents) return ExtentRootInsideVolume(inode.subspan(40, 60), blockCount);
    for (size_t k = 0; k < 15; ++k)
        if (Le32(inode, 40 + 4 * k) >= blockCount) return false;
    return true;
}

}  // namespace delvora
