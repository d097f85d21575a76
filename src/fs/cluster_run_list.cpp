#include "fs/cluster_run_list.h"

#include <algorithm>

namespace delvora {

void ClusterRunList::Add(uint64_t first, uint64_t count) {
    if (m_runs.size() == m_runs.capacity()) {
        // Geometric growth keeps a list of millions of runs linear to build;
        // a hint only ever makes the step larger.
        const size_t n = m_runs.size();
        const size_t grow = std::max<size_t>({4, n / 2, m_growBy});
        m_runs.reserve(n + grow);
    }
    m_runs.push_back({first, count});
}

void ClusterRunList::AddJoined(uint64_t first, uint64_t count) {
    if (!m_runs.empty()) {
        ClusterRun& last = m_runs.back();
        if (last.first + last.count == first && last.count + count >= last.count) {
            last.count += count;
            return;
        }
    }
    Add(first, count);
}

uint64_t ClusterRunList::TotalCount() const {
    uint64_t total = 0;
    for (const auto& run : m_runs) total += run.count;
    return total;
}

}  // namespace delvora
