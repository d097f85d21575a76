#include "fs/ext2/ext2_layout.h"

#include <cstring>

namespace delvora {

Ext2Geometry ReadExt2Superblock(ByteSpan sb) {
    Ext2Geometry g;
    g.dwInodeCount = Le32(sb, 0);
    g.dwBlockCount = Le32(sb, 4);
    g.dwLogBlockSize = Le32(sb, 24);
    g.dwBlocksPerGroup = Le32(sb, 32);
    g.dwInodesPerGroup = Le32(sb, 40);
    const uint32_t dwRevision = Le32(sb, 76);
    g.dwInodeSize = dwRevision >= 1 ? Le16(sb, 88) : 128;
    constexpr uint32_t kFeatureFileType = 0x0002;  // incompatible-feature bit
    g.bRecordFileType = dwRevision >= 1 && (Le32(sb, 96) & kFeatureFileType) != 0;
    return g;
}

Ext2Geometry ReadExt2FixedParams(const Ext2Params& params) {
    const ByteSpan bytes(params.data(), params.size());
    Ext2Geometry g;
    g.dwInodeCount = Le32(bytes, 0);
    g.dwBlockCount = Le32(bytes, 4);
    g.dwLogBlockSize = Le32(bytes, 8);
    g.dwBlocksPerGroup = Le32(bytes, 16);
    g.dwInodesPerGroup = Le32(bytes, 24);
    g.dwFirstInodeTable = Le32(bytes, 28);
    g.dwInodeSize = 128;
    return g;
}

bool CompleteExt2Geometry(Ext2Geometry& g) {
    if (g.dwBlocksPerGroup == 0 || g.dwInodesPerGroup == 0) return false;
    // 1024 << 6 is 64 KiB: more than a 16-bit block size and more than the
    // reads of the loader are made for.
    if (g.dwLogBlockSize >= 6) return false;
    g.dwBlockSize = 1024u << g.dwLogBlockSize;
    g.dwSectorsPerBlock = g.dwBlockSize / 512;
    const uint64_t sectorsPerGroup = uint64_t{g.dwSectorsPerBlock} * g.dwBlocksPerGroup;
    if (sectorsPerGroup == 0 || sectorsPerGroup > UINT32_MAX) return false;
    g.dwSectorsPerGroup = static_cast<uint32_t>(sectorsPerGroup);
    g.dwGroupCount = static_cast<uint32_t>((uint64_t{g.dwBlockCount} + g.dwBlocksPerGroup - 1) /
                                           g.dwBlocksPerGroup);
    if (g.dwGroupCount == 0 || g.dwGroupCount > kExt2MaxGroups) return false;
    const uint32_t s = g.dwInodeSize;
    if (s < 128 || s > g.dwBlockSize || (s & (s - 1)) != 0) return false;
    // Inode 2 is the root; the tables cannot hold more inodes than the
    // groups have room for.
    if (g.dwInodeCount < kExt2RootInode) return false;
    if (g.dwInodeCount > uint64_t{g.dwGroupCount} * g.dwInodesPerGroup) return false;
    return true;
}

bool Ext2GroupTable::Assign(ByteSpan bytes, uint32_t count) {
    const size_t need = size_t{count} * kExt2DescriptorBytes;
    if (!Has(bytes, 0, need)) return false;
    m_bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(need));
    return true;
}

void Ext2GroupTable::AssignFixed(const Ext2Geometry& g) {
    m_bytes.assign(size_t{g.dwGroupCount} * kExt2DescriptorBytes, 0);
    for (uint32_t group = 0; group < g.dwGroupCount; ++group) {
        const uint64_t block = g.dwFirstInodeTable + uint64_t{group} * g.dwBlocksPerGroup;
        // A table beyond the 32-bit block space stays 0 (no table).
        if (block <= UINT32_MAX) PutLe32(&m_bytes[size_t{group} * kExt2DescriptorBytes + 8],
                                         static_cast<uint32_t>(block));
    }
}

uint32_t Ext2GroupTable::InodeTableBlock(uint32_t group) const {
    return Le32(ByteSpan(m_bytes), size_t{group} * kExt2DescriptorBytes + 8);
}

}  // namespace delvora
