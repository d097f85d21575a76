#pragma once
// Geometry of an EXT2/3/4 volume: the superblock fields we use, the values
// worked out from them, the feature check, and the group descriptor table.
// Pure decoding, no I/O.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "disk/data_source.h"

namespace delvora {

inline constexpr uint32_t kExt2SuperblockOffset = 1024;
inline constexpr uint32_t kExt2SuperblockBytes = 1024;
inline constexpr uint32_t kExt2DescriptorBytes = 32;   // without the 64-bit feature
inline constexpr uint32_t kExt2HeadBytes = 65536;      // first read of a volume
inline constexpr uint32_t kExt2RootInode = 2;
// Bounds the group count; the descriptor table must also lie inside the volume.
inline constexpr uint32_t kExt2MaxGroups = 1u << 21;
// Groups whose structures the disk map lists one by one.
inline constexpr uint32_t kExt2MappedGroups = 1u << 16;

namespace ext2_feature {
// Compatible.
inline constexpr uint32_t kHasJournal = 0x0004;
// Incompatible: a reader that does not know one must not read the volume.
inline constexpr uint32_t kCompression = 0x0001;
inline constexpr uint32_t kFileType = 0x0002;
inline constexpr uint32_t kRecover = 0x0004;
inline constexpr uint32_t kJournalDevice = 0x0008;
inline constexpr uint32_t kMetaGroups = 0x0010;
inline constexpr uint32_t kExtents = 0x0040;
inline constexpr uint32_t k64Bit = 0x0080;
inline constexpr uint32_t kMultiMountProtection = 0x0100;
inline constexpr uint32_t kFlexGroups = 0x0200;
inline constexpr uint32_t kAttributeInodes = 0x0400;
inline constexpr uint32_t kDirData = 0x1000;
inline constexpr uint32_t kChecksumSeed = 0x2000;
inline constexpr uint32_t kLargeDirectories = 0x4000;
inline constexpr uint32_t kInlineData = 0x8000;
inline constexpr uint32_t kEncryption = 0x10000;
inline constexpr uint32_t kCaseFolding = 0x20000;
// Read-only compatible.
inline constexpr uint32_t kSparseSuper = 0x0001;  // backups only in groups 0, 1 and powers of 3, 5, 7
inline constexpr uint32_t kLargeFile = 0x0002;
inline constexpr uint32_t kHugeFile = 0x0008;
inline constexpr uint32_t kGroupChecksums = 0x0010;
inline constexpr uint32_t kMetadataChecksums = 0x0400;
}  // namespace ext2_feature

struct Ext2Geometry {
    // As stored (superblock or typed-in parameters).
    uint32_t dwInodeCount = 0;
    uint64_t qwBlockCount = 0;       // high half only with the 64-bit feature
    uint32_t dwFirstDataBlock = 0;   // block of the superblock: 1 for 1 KiB blocks
    uint32_t dwLogBlockSize = 0;
    uint32_t dwBlocksPerGroup = 0;
    uint32_t dwInodesPerGroup = 0;
    uint32_t dwInodeSize = 128;
    uint32_t dwDescriptorSize = kExt2DescriptorBytes;
    uint32_t dwFirstInodeTable = 0;  // typed-in parameters only
    uint32_t dwCompat = 0;
    uint32_t dwIncompat = 0;
    uint32_t dwRoCompat = 0;
    bool bRecordFileType = true;     // directory records carry a file type
    // Worked out by CompleteExt2Geometry.
    uint32_t dwBlockSize = 0;
    uint32_t dwSectorsPerBlock = 0;
    uint64_t qwSectorsPerGroup = 0;
    uint32_t dwGroupCount = 0;
};

/// Takes the fields of a 1024-byte superblock. Revision 1 and later store
/// their inode size and features; older volumes have 128-byte inodes and
/// directory records without a file type.
Ext2Geometry ReadExt2Superblock(ByteSpan superblock);

/// Takes the eight typed-in values: inode count, block count, log block size,
/// log fragment size, blocks per group, fragments per group, inodes per
/// group, first inode table block.
Ext2Geometry ReadExt2FixedParams(const Ext2Params& params);

/// True when group g holds a copy of the superblock and descriptors.
bool Ext2GroupHasSuper(const Ext2Geometry& g, uint32_t group);

/// Works out block size, sectors per block and group, and the group count.
/// False for a geometry that cannot be a volume: no blocks per group or
/// inodes per group, a block size of 64 KiB or more, no blocks or too many
/// groups, fewer than two inodes, an inode size that is no power of two
/// between 128 and the block size, more inodes than the groups hold, or a
/// descriptor size that is no power of two between 32 and 1024.
bool CompleteExt2Geometry(Ext2Geometry& geometry);

/// The first incompatible feature bit this reader does not understand, with
/// its name in name; 0 when every bit set is understood.
uint32_t UnsupportedExt2Feature(uint32_t incompat, std::string& name);

/// "EXT4" when the volume uses a feature that came with ext4, "EXT3" when it
/// has a journal, else "EXT2".
const char* Ext2KindName(const Ext2Geometry& g);

/// Byte offset of the group descriptor table in the volume: the block after
/// the superblock's block.
inline uint64_t Ext2DescriptorOffset(const Ext2Geometry& g) {
    return g.dwBlockSize == 1024 ? 2048 : g.dwBlockSize;
}

/// The group descriptor table as on disk, G entries of the descriptor size.
class Ext2GroupTable {
public:
    /// Copies count entries of entryBytes each; false when bytes are too short.
    bool Assign(ByteSpan bytes, uint32_t count, uint32_t entryBytes);
    /// Typed-in parameters: group g's inode table is first + g * blocks per
    /// group; the other fields stay zero.
    void AssignFixed(const Ext2Geometry& g);
    uint32_t Count() const { return m_entry ? static_cast<uint32_t>(m_bytes.size() / m_entry) : 0; }
    /// Block of group g's inode table (the high half from 64-byte entries);
    /// 0 for a group outside the table.
    uint64_t InodeTableBlock(uint32_t group) const;
    /// Blocks of group g's block and inode bitmaps; 0 outside the table.
    uint64_t BlockBitmapBlock(uint32_t group) const { return BlockField(group, 0); }
    uint64_t InodeBitmapBlock(uint32_t group) const { return BlockField(group, 4); }
    /// Inodes of group g that may have been used: all of them, or, where
    /// group checksums make the fields trustworthy (checksummed), none for a
    /// group whose table was never initialised and otherwise those below the
    /// never-used tail.
    uint32_t UsedInodes(uint32_t group, uint32_t inodesPerGroup, bool checksummed) const;
    /// Group g's count of free inodes as the descriptor states it (the high
    /// half from 64-byte entries); 0 outside the table. Not trustworthy on
    /// its own: a hint of where no inode is in use.
    uint32_t FreeInodes(uint32_t group) const;
    void Clear() { m_bytes.clear(); }

private:
    /// A block number at a descriptor offset, its high half 0x20 further on
    /// in 64-byte entries.
    uint64_t BlockField(uint32_t group, size_t offset) const;

    std::vector<uint8_t> m_bytes;
    uint32_t m_entry = kExt2DescriptorBytes;
};

}  // namespace delvora
