#pragma once
// EXT2 inodes: the fields the loader reads, the compact summary kept for
// every inode during a load, and the time conversion to DOS form.
#include <array>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace delvora {

inline constexpr uint32_t kExt2InodeReadBytes = 128;  // fields we read lie in the first 128
inline constexpr uint32_t kExt2MapEntries = 15;       // 12 direct, single, double, triple
inline constexpr uint32_t kExt2DirectBlocks = 12;

using Ext2BlockMap = std::array<uint32_t, kExt2MapEntries>;

/// The fields of one on-disk inode that loading and the item operations use.
struct Ext2Inode {
    uint16_t wMode = 0;        // file type in the top four bits
    uint32_t dwSize = 0;
    uint32_t dwAccessTime = 0;
    uint32_t dwChangeTime = 0;
    uint32_t dwModifyTime = 0;
    uint32_t dwDeleteTime = 0;
    uint32_t dwBlocks512 = 0;  // 512-byte blocks, indirect blocks included
    uint32_t dwFlags = 0;
    uint32_t dwFileAcl = 0;
    Ext2BlockMap blockMap{};
};

inline constexpr uint16_t kExt2ModeTypeMask = 0xF000;
inline constexpr uint16_t kExt2ModeDirectory = 0x4000;
inline constexpr uint16_t kExt2ModeRegular = 0x8000;

/// Decodes an inode from its bytes (zeros where the bytes are short).
Ext2Inode DecodeExt2Inode(ByteSpan bytes);

/// Summaries of every inode of a volume, nine 32-bit values each, with the
/// block maps kept in one pooled store: an inode's map is stored only up to
/// its last non-zero entry, so the pass makes no allocation per inode.
class Ext2InodeTable {
public:
    /// Sizes the table for count inodes (numbers 1..count), all zero.
    /// Throws std::bad_alloc.
    void Reset(uint32_t count);
    void Release();
    uint32_t Count() const { return static_cast<uint32_t>(m_summaries.size()); }

    /// Stores inode number n (1-based); ignored outside the table.
    void Store(uint32_t n, const Ext2Inode& inode);
    /// The summary of inode n with its block map; false outside the table.
    bool Fetch(uint32_t n, Ext2Inode& inode) const;
    /// True when inode n has a non-zero block map entry.
    bool HasBlockMap(uint32_t n) const;

private:
    struct Summary {
        uint32_t dwSize, dwAccessTime, dwChangeTime, dwModifyTime, dwDeleteTime;
        uint32_t dwBlocks512, dwFlags, dwMapRef, dwFileAcl;
        uint32_t dwMode;  // for folders whose records carry no file type
    };
    std::vector<Summary> m_summaries;
    // Each stored map: its entry count, then the entries. Ref 0 is "no map".
    std::vector<uint32_t> m_pool;
};

/// A Unix time (seconds since 1970, UTC, unsigned) as a DOS date and time.
/// Times before 1980 give date and time 0; every later 32-bit time fits.
void Ext2TimeToDos(uint32_t unixTime, uint16_t& date, uint16_t& time);

}  // namespace delvora
