#include "fs/ext2/ext2_extents.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

namespace delvora {

bool ReadExt2ExtentHeader(ByteSpan node, Ext2ExtentHeader& header) {
    if (Le16(node, 0) != kExt2ExtentMagic) return false;
    header.entries = Le16(node, 2);
    const uint16_t max = Le16(node, 4);
    header.depth = Le16(node, 6);
    const size_t room = node.size() / kExt2ExtentEntryBytes;
    return room > 0 && header.entries <= max && header.entries <= room - 1 &&
           header.depth <= kExt2MaxExtentDepth;
}

Ext2Extent ReadExt2Leaf(ByteSpan node, uint32_t i) {
    const size_t at = size_t{i + 1} * kExt2ExtentEntryBytes;
    Ext2Extent e;
    e.logical = Le32(node, at);
    uint32_t length = Le16(node, at + 4);
    // Lengths above 32768 mark an uninitialized extent of length - 32768.
    if (length > 32768) {
        e.uninitialized = true;
        length -= 32768;
    }
    e.count = length;
    e.physical = uint64_t{Le16(node, at + 6)} << 32 | Le32(node, at + 8);
    return e;
}

Ext2Extent ReadExt2Index(ByteSpan node, uint32_t i) {
    const size_t at = size_t{i + 1} * kExt2ExtentEntryBytes;
    Ext2Extent e;
    e.logical = Le32(node, at);
    e.physical = Le32(node, at + 4) | uint64_t{Le16(node, at + 8)} << 32;
    return e;
}

namespace {

ByteSpan RootBytes(const Ext2BlockMap& root, std::array<uint8_t, kExt2BlockFieldBytes>& bytes) {
    for (uint32_t i = 0; i < kExt2MapEntries; ++i) PutLe32(&bytes[4 * i], root[i]);
    return ByteSpan(bytes);
}

}  // namespace

bool Ext2FirstExtentBlock(const Ext2BlockMap& root, uint64_t& first) {
    std::array<uint8_t, kExt2BlockFieldBytes> bytes;
    const ByteSpan node = RootBytes(root, bytes);
    Ext2ExtentHeader header;
    first = 0;
    if (!ReadExt2ExtentHeader(node, header)) return true;
    if (header.depth != 0) return false;
    if (header.entries > 0) first = ReadExt2Leaf(node, 0).physical;
    return true;
}

bool Ext2ExtentsToRuns(const Ext2BlockMap& root, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                       const Ext2BlockReader& read, ClusterRunList& runs) {
    runs.Clear();
    if (limits.dwBlockSize < 1024) return false;
    std::array<uint8_t, kExt2BlockFieldBytes> rootBytes;
    // One node per level: its bytes, its entry count and the next entry.
    struct Level {
        std::vector<uint8_t> bytes;
        Ext2ExtentHeader header;
        uint32_t next = 0;
    };
    std::array<Level, kExt2MaxExtentDepth + 1> levels;
    Level& top = levels[0];
    const ByteSpan rootNode = RootBytes(root, rootBytes);
    top.bytes.assign(rootNode.begin(), rootNode.end());
    if (!ReadExt2ExtentHeader(rootNode, top.header)) return false;

    Ext2RunBuilder builder(logicalBlocks, limits, runs);
    uint64_t nodes = 0;
    // A file needs at most one leaf per block it holds and fewer index nodes
    // than leaves: the budget follows from its own size, not the volume's.
    const uint64_t budget = std::min(limits.qwBlockLimit, logicalBlocks > (UINT64_MAX - 64) / 2
                                                              ? UINT64_MAX
                                                              : 2 * logicalBlocks + 64);
    // A tree never shares a node: one reached again (a damaged or forged
    // tree, whose walk would multiply with every level) adds nothing and is
    // passed by.
    std::unordered_set<uint64_t> visited;
    size_t at = 0;  // the level in use; its depth is top depth - at
    // Every step consumes an entry of the node in use or leaves the node;
    // nodes read are bounded by the volume's blocks, so the walk ends.
    while (!builder.Done() && !builder.Failed()) {
        Level& level = levels[at];
        const ByteSpan node(level.bytes);
        if (level.next >= level.header.entries) {
            if (at == 0) break;
            --at;
            continue;
        }
        const uint32_t i = level.next++;
        if (level.header.depth == 0) {
            Ext2Extent e = ReadExt2Leaf(node, i);
            const uint64_t position = builder.Position();
            uint64_t first = e.logical, count = e.count;
            if (first + count <= position) continue;  // nothing new
            if (first < position) {
                e.physical += position - first;
                count -= position - first;
                first = position;
            }
            builder.TakeHoles(first - position);
            if (e.uninitialized) builder.TakeHoles(count);
            else builder.TakeData(e.physical, count);
            continue;
        }
        const Ext2Extent index = ReadExt2Index(node, i);
        // A child that starts at or past the wanted blocks has nothing to add.
        if (index.logical >= logicalBlocks) continue;
        if (index.physical != 0 && index.physical < limits.qwBlockLimit && !visited.insert(index.physical).second)
            continue;
        if (index.physical == 0 || index.physical >= limits.qwBlockLimit || ++nodes > budget) {
            builder.Fail();
            break;
        }
        Level& child = levels[at + 1];
        child.bytes.resize(limits.dwBlockSize);
        if (!read(index.physical, child.bytes) || !ReadExt2ExtentHeader(ByteSpan(child.bytes), child.header) ||
            child.header.depth + 1 != level.header.depth) {
            builder.Fail();
            break;
        }
        child.next = 0;
        ++at;
    }
    // The tree may end before the size: the rest is a hole (a file extended
    // without writing).
    if (!builder.Failed()) builder.TakeHoles(logicalBlocks - std::min(logicalBlocks, builder.Position()));
    if (builder.Failed()) {
        runs.Clear();
        return false;
    }
    return true;
}

}  // namespace delvora
