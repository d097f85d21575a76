#pragma once
// The extent tree of an ext4 inode: a header and up to four entries in
// i_block, index nodes and leaves in blocks below it.
#include <cstdint>

#include "common/bytes.h"
#include "fs/ext2/ext2_block_map.h"

namespace delvora {

inline constexpr uint16_t kExt2ExtentMagic = 0xF30A;
inline constexpr uint32_t kExt2ExtentEntryBytes = 12;  // the header too
inline constexpr uint16_t kExt2MaxExtentDepth = 5;

/// The header of one node, checked: magic, entries within the node's room
/// and the stored maximum, depth at most 5.
struct Ext2ExtentHeader {
    uint16_t entries = 0;
    uint16_t depth = 0;
};
bool ReadExt2ExtentHeader(ByteSpan node, Ext2ExtentHeader& header);

/// Entry i of a node (0-based, after the header).
struct Ext2Extent {
    uint32_t logical = 0;   // first logical block
    uint32_t count = 0;     // blocks (leaves)
    uint64_t physical = 0;  // first block (leaves) or the child node (index)
    bool uninitialized = false;  // allocated, reads as zeros
};
Ext2Extent ReadExt2Leaf(ByteSpan node, uint32_t i);
Ext2Extent ReadExt2Index(ByteSpan node, uint32_t i);

/// The first data block of an extent tree whose root is a leaf (0 when it
/// has no extent or is damaged). False when the root is an index node: the
/// first leaf is in another block.
bool Ext2FirstExtentBlock(const Ext2BlockMap& root, uint64_t& first);

/// Fills runs with the first logicalBlocks blocks of the tree rooted in
/// i_block, in logical order; gaps and uninitialized extents become hole
/// runs. Extents that go back before blocks already taken are cut to what is
/// new. False when a node is damaged (magic, counts, depth not one less than
/// its parent's), unreadable or outside the volume, when an extent lies
/// outside the volume, or when more nodes are visited than the volume has
/// blocks.
bool Ext2ExtentsToRuns(const Ext2BlockMap& root, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                       const Ext2BlockReader& read, ClusterRunList& runs);

}  // namespace delvora
