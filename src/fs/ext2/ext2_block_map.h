#pragma once
// Turns an inode's block map (12 direct entries, then single, double and
// triple indirect blocks) into block runs.
#include <cstdint>
#include <functional>
#include <span>

#include "fs/cluster_run_list.h"
#include "fs/ext2/ext2_inode.h"

namespace delvora {

/// A run whose first block is 0 is a hole: the file reads as zeros there.
/// Block 0 always holds the boot block or the superblock, never file data.
inline bool IsExt2Hole(const ClusterRun& run) { return run.first == 0; }

/// Reads one whole block of the volume into out (block size bytes).
using Ext2BlockReader = std::function<bool(uint32_t block, std::span<uint8_t> out)>;

struct Ext2MapLimits {
    uint32_t dwBlockSize = 0;
    uint32_t dwBlockLimit = 0;  // block numbers must lie below it
};

/// Fills runs with the first logicalBlocks blocks of the map, joining
/// consecutive blocks into one run and holes (0 entries, or a 0 indirect
/// pointer standing for all the blocks below it) into hole runs. False when
/// a block number lies at or beyond the limit, when the map names more data
/// blocks than the volume has, or when an indirect block cannot be read.
bool Ext2BlockMapToRuns(const Ext2BlockMap& map, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                        const Ext2BlockReader& read, ClusterRunList& runs);

}  // namespace delvora
