#pragma once
// Turns an inode's i_block into block runs: the classic block map (12
// direct entries, then single, double and triple indirect blocks) or an
// extent tree.
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
using Ext2BlockReader = std::function<bool(uint64_t block, std::span<uint8_t> out)>;

struct Ext2MapLimits {
    uint32_t dwBlockSize = 0;
    uint64_t qwBlockLimit = 0;  // block numbers must lie below it
};

/// Collects the logical blocks of one file in order into runs, joining
/// neighbours, up to the wanted count. Fails on a block at or beyond the
/// limit, or once more data blocks are named than the volume has (which also
/// bounds the run list by the volume's size).
class Ext2RunBuilder {
public:
    Ext2RunBuilder(uint64_t wanted, const Ext2MapLimits& limits, ClusterRunList& runs)
        : m_wanted(wanted), m_limits(limits), m_runs(runs) {}

    bool Done() const { return m_taken >= m_wanted; }
    bool Failed() const { return m_failed; }
    void Fail() { m_failed = true; }
    /// Logical blocks taken so far.
    uint64_t Position() const { return m_taken; }
    /// count data blocks from first on (cut to what is still wanted).
    void TakeData(uint64_t first, uint64_t count);
    /// count logical blocks of holes (cut to what is still wanted).
    void TakeHoles(uint64_t count);

private:
    uint64_t m_wanted;
    uint64_t m_taken = 0;
    uint64_t m_mapped = 0;
    bool m_failed = false;
    const Ext2MapLimits& m_limits;
    ClusterRunList& m_runs;
};

/// Fills runs with the first logicalBlocks blocks of the block map, holes
/// (0 entries, or a 0 indirect pointer standing for all the blocks below it)
/// as hole runs. False when a block number lies at or beyond the limit, when
/// the map names more data blocks than the volume has, or when an indirect
/// block cannot be read.
bool Ext2BlockMapToRuns(const Ext2BlockMap& map, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                        const Ext2BlockReader& read, ClusterRunList& runs);

}  // namespace delvora
