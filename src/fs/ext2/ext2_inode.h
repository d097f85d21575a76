#pragma once
// EXT2/3/4 inodes: the fields the loader reads, the compact summary kept for
// every inode during a load, and the time conversions.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/bytes.h"

namespace delvora {

inline constexpr uint32_t kExt2MapEntries = 15;  // 12 direct, single, double, triple
inline constexpr uint32_t kExt2DirectBlocks = 12;
inline constexpr uint32_t kExt2BlockField = 40;  // i_block: map, extent root or inline data
inline constexpr uint32_t kExt2BlockFieldBytes = 60;
// Inode bytes read for an item; larger inodes keep only attributes beyond.
inline constexpr uint32_t kExt2InodeReadBytes = 1024;

/// i_block as 15 words: the block map, the root of the extent tree, or
/// inline data, as the inode's flags say.
using Ext2BlockMap = std::array<uint32_t, kExt2MapEntries>;

namespace ext2_inode_flag {
inline constexpr uint32_t kIndexedDirectory = 0x1000;
inline constexpr uint32_t kHugeFile = 0x40000;  // block count in file-system blocks
inline constexpr uint32_t kExtents = 0x80000;
inline constexpr uint32_t kInlineData = 0x10000000;
}  // namespace ext2_inode_flag

/// A time as stored: seconds (low 32 bits, signed) and the extra word (low
/// two bits: more epoch bits; the rest: nanoseconds) where the inode has it.
struct Ext2Time {
    uint32_t seconds = 0;
    uint32_t extra = 0;
    bool hasExtra = false;
};

/// The fields of one on-disk inode that loading and the item operations use.
struct Ext2Inode {
    uint16_t wMode = 0;        // file type in the top four bits
    uint64_t qwSize = 0;       // the high half counts for regular files only
    Ext2Time access, change, modify, create;
    bool bHasCreateTime = false;  // large inodes whose extra size covers it
    uint32_t dwDeleteTime = 0;
    uint64_t qwBlockCount = 0;    // i_blocks with its high half; see the huge-file flag
    uint32_t dwFlags = 0;
    uint32_t dwExtraSize = 0;     // i_extra_isize, 0 when it does not fit the inode
    Ext2BlockMap blockMap{};
};

inline constexpr uint16_t kExt2ModeTypeMask = 0xF000;
inline constexpr uint16_t kExt2ModeDirectory = 0x4000;
inline constexpr uint16_t kExt2ModeRegular = 0x8000;

/// Decodes an inode from its bytes (zeros where the bytes are short). bytes
/// holds the whole on-disk inode; fields past 128 bytes count only where
/// i_extra_isize covers them.
Ext2Inode DecodeExt2Inode(ByteSpan bytes);

/// The value of the inline-data attribute ("system.data") among the
/// attributes kept in the inode after its extra fields; empty when absent or
/// damaged. The span lies inside bytes.
ByteSpan Ext2InlineAttribute(ByteSpan bytes);

/// The data of an inline file: i_block, then the attribute, cut to size.
/// False when the two hold less than size bytes.
bool Ext2InlineData(ByteSpan bytes, uint64_t size, std::vector<uint8_t>& out);

/// A stored time as 100-ns ticks since 1601 (UTC): seconds are signed, the
/// extra word adds epoch bits and nanoseconds. 0 for a time of 0.
uint64_t Ext2TimeToUtcTicks(const Ext2Time& time);

/// Summaries of every inode of a volume, with i_block kept in one pooled
/// store: an inode's map is stored only up to its last non-zero word, so the
/// pass makes no allocation per inode.
class Ext2InodeTable {
public:
    /// Sizes the table for count inodes (numbers 1..count), all zero.
    /// Throws std::bad_alloc.
    void Reset(uint32_t count);
    void Release();
    uint32_t Count() const { return m_count; }

    /// Stores inode number n (1-based); ignored outside the table. Throws
    /// std::bad_alloc.
    void Store(uint32_t n, const Ext2Inode& inode);
    /// The summary of inode n: mode, size, flags, i_block and the seconds
    /// of the access and modification times; the time an item shows as its
    /// creation (the creation time of large inodes that keep a non-zero one,
    /// else the change time) comes as the change time, with no creation
    /// time. False outside the table.
    bool Fetch(uint32_t n, Ext2Inode& inode) const;
    /// True when inode n has a non-zero i_block word.
    bool HasBlockMap(uint32_t n) const;

private:
    // One per inode of the volume, used or not: 32 bytes, the creation
    // and change times folded into the one the tree shows.
    struct Summary {
        uint64_t qwSize;
        uint32_t dwAccessTime, dwModifyTime, dwCreatedTime;
        uint32_t dwFlags, dwMapRef;
        uint16_t wMode;
    };
    // Zeroed by the allocator (fresh pages from the system): the pages of
    // inodes never stored are never touched.
    std::unique_ptr<Summary[], void (*)(void*)> m_summaries{nullptr, &std::free};
    uint32_t m_count = 0;
    // Each stored map: its word count, then the words. Ref 0 is "no map".
    std::vector<uint32_t> m_pool;
};

/// A Unix time (seconds since 1970, UTC, unsigned) as a DOS date and time.
/// Times before 1980 give date and time 0; every later 32-bit time fits.
void Ext2TimeToDos(uint32_t unixTime, uint16_t& date, uint16_t& time);

}  // namespace delvora
