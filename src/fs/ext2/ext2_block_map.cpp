#include "fs/ext2/ext2_block_map.h"

#include <algorithm>
#include <array>
#include <vector>

namespace delvora {

void Ext2RunBuilder::TakeData(uint64_t first, uint64_t count) {
    count = std::min(count, m_wanted - std::min(m_wanted, m_taken));
    if (count == 0 || m_failed) return;
    // A map naming more data blocks than the volume holds is damaged.
    if (first == 0 || first >= m_limits.qwBlockLimit || count > m_limits.qwBlockLimit - first ||
        count > m_limits.qwBlockLimit - m_mapped) {
        m_failed = true;
        return;
    }
    m_mapped += count;
    m_taken += count;
    if (!m_runs.Empty()) {
        ClusterRun& last = m_runs[m_runs.Size() - 1];
        if (!IsExt2Hole(last) && last.first + last.count == first) {
            last.count += count;
            return;
        }
    }
    m_runs.Add(first, count);
}

void Ext2RunBuilder::TakeHoles(uint64_t count) {
    count = std::min(count, m_wanted - std::min(m_wanted, m_taken));
    if (count == 0 || m_failed) return;
    m_taken += count;
    if (!m_runs.Empty() && IsExt2Hole(m_runs[m_runs.Size() - 1]))
        m_runs[m_runs.Size() - 1].count += count;
    else
        m_runs.Add(0, count);
}

namespace {

class MapWalker {
public:
    MapWalker(Ext2RunBuilder& builder, const Ext2MapLimits& limits, const Ext2BlockReader& read)
        : m_builder(builder), m_limits(limits), m_read(read) {}

    void Take(uint32_t block) {
        if (block == 0) m_builder.TakeHoles(1);
        else m_builder.TakeData(block, 1);
    }

    /// The blocks below an indirect pointer of the given level (1 single,
    /// 2 double, 3 triple). Recursion depth is the level, at most 3.
    void TakeIndirect(uint32_t pointer, int level) {
        if (m_builder.Done() || m_builder.Failed()) return;
        const uint64_t perBlock = m_limits.dwBlockSize / 4;
        uint64_t span = 1;
        for (int i = 0; i < level; ++i) span *= perBlock;
        if (pointer == 0) {
            m_builder.TakeHoles(span);
            return;
        }
        if (pointer >= m_limits.qwBlockLimit) {
            m_builder.Fail();
            return;
        }
        std::vector<uint8_t>& buffer = m_buffers[static_cast<size_t>(level - 1)];
        buffer.resize(m_limits.dwBlockSize);
        if (!m_read(pointer, buffer)) {
            m_builder.Fail();
            return;
        }
        // Ends after the block's entries, or earlier once enough blocks are taken.
        for (uint64_t i = 0; i < perBlock && !m_builder.Done() && !m_builder.Failed(); ++i) {
            const uint32_t entry = Le32(ByteSpan(buffer), i * 4);
            if (level == 1) Take(entry); else TakeIndirect(entry, level - 1);
        }
    }

private:
    Ext2RunBuilder& m_builder;
    const Ext2MapLimits& m_limits;
    const Ext2BlockReader& m_read;
    std::array<std::vector<uint8_t>, 3> m_buffers;
};

}  // namespace

bool Ext2BlockMapToRuns(const Ext2BlockMap& map, uint64_t logicalBlocks, const Ext2MapLimits& limits,
                        const Ext2BlockReader& read, ClusterRunList& runs) {
    runs.Clear();
    if (limits.dwBlockSize < 1024) return false;
    Ext2RunBuilder builder(logicalBlocks, limits, runs);
    MapWalker walker(builder, limits, read);
    for (uint32_t i = 0; i < kExt2DirectBlocks && !builder.Failed(); ++i) walker.Take(map[i]);
    for (int level = 1; level <= 3; ++level) walker.TakeIndirect(map[kExt2DirectBlocks + level - 1], level);
    if (builder.Failed()) {
        runs.Clear();
        return false;
    }
    return true;
}

}  // namespace delvora
