#include "fs/ext2/ext2_block_map.h"

#include <algorithm>
#include <array>
#include <vector>

namespace delvora {

namespace {

class RunBuilder {
public:
    RunBuilder(uint64_t wanted, const Ext2MapLimits& limits, const Ext2BlockReader& read,
               ClusterRunList& runs)
        : m_wanted(wanted), m_limits(limits), m_read(read), m_runs(runs) {}

    bool Done() const { return m_taken >= m_wanted; }
    bool Failed() const { return m_failed; }

    /// One logical block: a data block or (0) a hole.
    void Take(uint32_t block) {
        if (Done() || m_failed) return;
        if (block != 0) {
            // A map naming more data blocks than the volume holds is damaged;
            // stopping here also bounds the run list by the volume size.
            if (block >= m_limits.dwBlockLimit || ++m_mapped > m_limits.dwBlockLimit) {
                m_failed = true;
                return;
            }
        }
        ++m_taken;
        if (!m_runs.Empty()) {
            ClusterRun& last = m_runs[m_runs.Size() - 1];
            const bool hole = block == 0;
            if ((hole && IsExt2Hole(last)) || (!hole && !IsExt2Hole(last) && last.first + last.count == block)) {
                ++last.count;
                return;
            }
        }
        m_runs.Add(block, 1);
    }

    /// count logical blocks of holes (an absent indirect block).
    void TakeHoles(uint64_t count) {
        count = std::min(count, m_wanted - std::min(m_wanted, m_taken));
        if (count > 0 && !m_failed) {
            if (!m_runs.Empty() && IsExt2Hole(m_runs[m_runs.Size() - 1]))
                m_runs[m_runs.Size() - 1].count += count;
            else
                m_runs.Add(0, count);
            m_taken += count;
        }
    }

    /// The blocks below an indirect pointer of the given level (1 single,
    /// 2 double, 3 triple). Recursion depth is the level, at most 3.
    void TakeIndirect(uint32_t pointer, int level) {
        if (Done() || m_failed) return;
        const uint64_t perBlock = m_limits.dwBlockSize / 4;
        uint64_t span = 1;
        for (int i = 0; i < level; ++i) span *= perBlock;
        if (pointer == 0) {
            TakeHoles(span);
            return;
        }
        if (pointer >= m_limits.dwBlockLimit) {
            m_failed = true;
            return;
        }
        std::vector<uint8_t>& buffer = m_buffers[static_cast<size_t>(level - 1)];
        buffer.resize(m_limits.dwBlockSize);
        if (!m_read(pointer, buffer)) {
            m_failed = true;
            return;
        }
        // Ends after the block's entries, or earlier once enough blocks are taken.
        for (uint64_t i = 0; i < perBlock && !Done() && !m_failed; ++i) {
            const uint32_t entry = Le32(ByteSpan(buffer), i * 4);
            if (level == 1) Take(entry); else TakeIndirect(entry, level - 1);
        }
    }

private:
    uint64_t m_wanted;
    uint64_t m_taken = 0;
    uint64_t m_mapped = 0;
    bool m_failed = false;
    const Ext2MapLimits& m_limits;
    const Ext2BlockReader& m_read;
    ClusterRunList& m_runs;
    std::array<std::vector<uint8_t>, 3> m_buffers;
};

}  // namespace

bool Ext2BlockMapToRuns(const Ext2BlockMap& map, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                        const Ext2BlockReader& read, ClusterRunList& runs) {
    runs.Clear();
    if (limits.dwBlockSize < 1024) return false;
    RunBuilder builder(logicalBlocks, limits, read, runs);
    for (uint32_t i = 0; i < kExt2DirectBlocks; ++i) builder.Take(map[i]);
    for (int level = 1; level <= 3; ++level) builder.TakeIndirect(map[kExt2DirectBlocks + level - 1], level);
    if (builder.Failed()) {
        runs.Clear();
        return false;
    }
    return true;
}

}  // namespace delvora
