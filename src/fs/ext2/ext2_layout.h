#pragma once
// Geometry of an EXT2 volume: the superblock fields we use, the values worked
// out from them, and the group descriptor table. Pure decoding, no I/O.
#include <cstdint>
#include <vector>

#include "common/bytes.h"
#include "disk/data_source.h"

namespace delvora {

inline constexpr uint32_t kExt2SuperblockOffset = 1024;
inline constexpr uint32_t kExt2SuperblockBytes = 1024;
inline constexpr uint32_t kExt2DescriptorBytes = 32;
inline constexpr uint32_t kExt2HeadBytes = 65536;  // first read of a volume
inline constexpr uint32_t kExt2RootInode = 2;
// More groups than a 32-bit volume of 1 KiB blocks with the smallest group
// size can have; bounds the descriptor table to 64 MiB.
inline constexpr uint32_t kExt2MaxGroups = 1u << 21;

struct Ext2Geometry {
    // As stored (superblock or typed-in parameters).
    uint32_t dwInodeCount = 0;
    uint32_t dwBlockCount = 0;
    uint32_t dwLogBlockSize = 0;
    uint32_t dwBlocksPerGroup = 0;
    uint32_t dwInodesPerGroup = 0;
    uint32_t dwInodeSize = 128;
    uint32_t dwFirstInodeTable = 0;  // typed-in parameters only
    bool bRecordFileType = true;     // directory records carry a file type
    // Worked out by CompleteExt2Geometry.
    uint32_t dwBlockSize = 0;
    uint32_t dwSectorsPerBlock = 0;
    uint32_t dwSectorsPerGroup = 0;
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

/// Works out block size, sectors per block and group, and the group count.
/// False for a geometry that cannot be a volume: no blocks per group or
/// inodes per group, a block size of 64 KiB or more, no blocks or too many groups, fewer than
/// two inodes, an inode size that is no power of two between 128 and the
/// block size, more inodes than the groups hold, or a group larger than the
/// 32-bit sector space.
bool CompleteExt2Geometry(Ext2Geometry& geometry);

/// Byte offset of the group descriptor table in the volume: the block after
/// the superblock's block.
inline uint32_t Ext2DescriptorOffset(const Ext2Geometry& g) {
    return g.dwBlockSize == 1024 ? 2048 : g.dwBlockSize;
}

/// The group descriptor table as on disk, G entries of 32 bytes.
class Ext2GroupTable {
public:
    /// Copies count entries from bytes; false when bytes are too short.
    bool Assign(ByteSpan bytes, uint32_t count);
    /// Typed-in parameters: group g's inode table is first + g * blocks per
    /// group; the other fields stay zero.
    void AssignFixed(const Ext2Geometry& g);
    uint32_t Count() const { return static_cast<uint32_t>(m_bytes.size() / kExt2DescriptorBytes); }
    /// Block of group g's inode table; 0 for a group outside the table.
    uint32_t InodeTableBlock(uint32_t group) const;
    void Clear() { m_bytes.clear(); }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace delvora
