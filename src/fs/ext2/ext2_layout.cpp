#include "fs/ext2/ext2_layout.h"

#include <cstring>

namespace delvora {

Ext2Geometry ReadExt2Superblock(ByteSpan sb) {
    Ext2Geometry g;
    g.dwInodeCount = Le32(sb, 0);
    g.qwBlockCount = Le32(sb, 4);
    g.dwFirstDataBlock = Le32(sb, 20);
    g.dwLogBlockSize = Le32(sb, 24);
    g.dwBlocksPerGroup = Le32(sb, 32);
    g.dwInodesPerGroup = Le32(sb, 40);
    const uint32_t dwRevision = Le32(sb, 76);
    if (dwRevision >= 1) {
        g.dwInodeSize = Le16(sb, 88);
        g.dwCompat = Le32(sb, 92);
        g.dwIncompat = Le32(sb, 96);
        g.dwRoCompat = Le32(sb, 100);
    }
    g.bRecordFileType = (g.dwIncompat & ext2_feature::kFileType) != 0;
    if (g.dwIncompat & ext2_feature::k64Bit) {
        g.qwBlockCount |= uint64_t{Le32(sb, 0x150)} << 32;
        g.dwDescriptorSize = Le16(sb, 0xFE);
    }
    return g;
}

Ext2Geometry ReadExt2FixedParams(const Ext2Params& params) {
    const ByteSpan bytes(params.data(), params.size());
    Ext2Geometry g;
    g.dwInodeCount = Le32(bytes, 0);
    g.qwBlockCount = Le32(bytes, 4);
    g.dwLogBlockSize = Le32(bytes, 8);
    g.dwBlocksPerGroup = Le32(bytes, 16);
    g.dwInodesPerGroup = Le32(bytes, 24);
    g.dwFirstInodeTable = Le32(bytes, 28);
    g.dwInodeSize = 128;
    g.bRecordFileType = true;
    return g;
}

bool CompleteExt2Geometry(Ext2Geometry& g) {
    if (g.dwBlocksPerGroup == 0 || g.dwInodesPerGroup == 0) return false;
    // 1024 << 6 is 64 KiB: more than a 16-bit record length can span and
    // more than the reads of the loader are made for.
    if (g.dwLogBlockSize >= 6) return false;
    g.dwBlockSize = 1024u << g.dwLogBlockSize;
    g.dwSectorsPerBlock = g.dwBlockSize / 512;
    g.qwSectorsPerGroup = uint64_t{g.dwSectorsPerBlock} * g.dwBlocksPerGroup;
    const uint64_t groups = (g.qwBlockCount + g.dwBlocksPerGroup - 1) / g.dwBlocksPerGroup;
    if (groups == 0 || groups > kExt2MaxGroups) return false;
    g.dwGroupCount = static_cast<uint32_t>(groups);
    const uint32_t s = g.dwInodeSize;
    if (s < 128 || s > g.dwBlockSize || (s & (s - 1)) != 0) return false;
    const uint32_t d = g.dwDescriptorSize;
    if (d < kExt2DescriptorBytes || d > 1024 || (d & (d - 1)) != 0) return false;
    // Inode 2 is the root; the tables cannot hold more inodes than the
    // groups have room for.
    if (g.dwInodeCount < kExt2RootInode) return false;
    if (g.dwInodeCount > uint64_t{g.dwGroupCount} * g.dwInodesPerGroup) return false;
    return true;
}

uint32_t UnsupportedExt2Feature(uint32_t incompat, std::string& name) {
    using namespace ext2_feature;
    // What the reader follows, or may ignore because it only reads: the
    // journal is not replayed, checksums and hash seeds are not checked,
    // extended attributes and name folding do not change what is listed.
    constexpr uint32_t kUnderstood = kFileType | kRecover | kExtents | k64Bit | kMultiMountProtection |
                                     kFlexGroups | kAttributeInodes | kChecksumSeed | kLargeDirectories |
                                     kInlineData | kCaseFolding;
    static constexpr struct {
        uint32_t bit;
        const char* name;
    } kNames[] = {{kCompression, "compression"}, {kJournalDevice, "journal_dev"}, {kMetaGroups, "meta_bg"},
                  {kDirData, "dirdata"},         {kEncryption, "encrypt"}};
    const uint32_t unknown = incompat & ~kUnderstood;
    if (unknown == 0) return 0;
    const uint32_t bit = unknown & (~unknown + 1);  // the lowest one
    name = "unknown";
    for (const auto& known : kNames)
        if (known.bit == bit) name = known.name;
    return bit;
}

const char* Ext2KindName(const Ext2Geometry& g) {
    using namespace ext2_feature;
    constexpr uint32_t kExt4Incompat = kExtents | k64Bit | kFlexGroups | kInlineData | kLargeDirectories;
    constexpr uint32_t kExt4RoCompat = kHugeFile | kGroupChecksums | 0x0020 /* dir nlink */ |
                                       0x0040 /* extra isize */ | kMetadataChecksums;
    if ((g.dwIncompat & kExt4Incompat) || (g.dwRoCompat & kExt4RoCompat)) return "EXT4";
    if (g.dwCompat & kHasJournal) return "EXT3";
    return "EXT2";
}

bool Ext2GroupTable::Assign(ByteSpan bytes, uint32_t count, uint32_t entryBytes) {
    const size_t need = size_t{count} * entryBytes;
    if (entryBytes < kExt2DescriptorBytes || !Has(bytes, 0, need)) return false;
    m_bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(need));
    m_entry = entryBytes;
    return true;
}

void Ext2GroupTable::AssignFixed(const Ext2Geometry& g) {
    m_entry = kExt2DescriptorBytes;
    m_bytes.assign(size_t{g.dwGroupCount} * m_entry, 0);
    for (uint32_t group = 0; group < g.dwGroupCount; ++group) {
        const uint64_t block = g.dwFirstInodeTable + uint64_t{group} * g.dwBlocksPerGroup;
        // Typed-in tables lie in the 32-bit block space of 32-byte entries.
        if (block <= UINT32_MAX) PutLe32(&m_bytes[size_t{group} * m_entry + 8], static_cast<uint32_t>(block));
    }
}

uint64_t Ext2GroupTable::InodeTableBlock(uint32_t group) const { return BlockField(group, 8); }

uint64_t Ext2GroupTable::BlockField(uint32_t group, size_t offset) const {
    const ByteSpan bytes(m_bytes);
    const size_t at = size_t{group} * m_entry;
    if (!Has(bytes, at, m_entry)) return 0;
    uint64_t block = Le32(bytes, at + offset);
    if (m_entry >= 64) block |= uint64_t{Le32(bytes, at + 0x20 + offset)} << 32;
    return block;
}

bool Ext2GroupHasSuper(const Ext2Geometry& g, uint32_t group) {
    if (group <= 1 || !(g.dwRoCompat & ext2_feature::kSparseSuper)) return true;
    // Powers of 3, 5 and 7; each loop multiplies until it passes group.
    for (uint32_t base : {3u, 5u, 7u}) {
        uint64_t p = base;
        while (p < group) p *= base;
        if (p == group) return true;
    }
    return false;
}

}  // namespace delvora

namespace delvora {

uint32_t Ext2GroupTable::FreeInodes(uint32_t group) const {
    const ByteSpan bytes(m_bytes);
    const size_t at = size_t{group} * m_entry;
    if (!Has(bytes, at, m_entry)) return 0;
    uint32_t free = Le16(bytes, at + 0x0E);
    if (m_entry >= 64) free |= uint32_t{Le16(bytes, at + 0x2E)} << 16;
    return free;
}

uint32_t Ext2GroupTable::UsedInodes(uint32_t group, uint32_t inodesPerGroup, bool checksummed) const {
    const ByteSpan bytes(m_bytes);
    const size_t at = size_t{group} * m_entry;
    if (!checksummed || !Has(bytes, at, m_entry)) return inodesPerGroup;
    constexpr uint16_t kInodesUninitialised = 0x0001;
    if (Le16(bytes, at + 0x12) & kInodesUninitialised) return 0;
    uint32_t unused = Le16(bytes, at + 0x1C);
    if (m_entry >= 64) unused |= uint32_t{Le16(bytes, at + 0x32)} << 16;
    return unused < inodesPerGroup ? inodesPerGroup - unused : 0;
}

}  // namespace delvora
