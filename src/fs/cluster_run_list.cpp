#include "fs/cluster_run_list.h"

#include <algorithm>

namespace delvora {

void ClusterRunList::Add(uint32_t first, uint32_t count) {
    if (m_runs.size() == m_runs.capacity()) {
        const size_t n = m_runs.size();
        const size_t grow = m_growBy ? m_growBy : std::max<size_t>(4, std::min<size_t>(1024, n / 8));
        m_runs.reserve(n + grow);
    }
    m_runs.push_back({first, count});
}

void ClusterRunList::AddJoined(uint32_t first, uint32_t count) {
    if (!m_runs.empty()) {
        ClusterRun& last = m_runs.back();
        if (uint64_t{last.first} + last.count == first && uint64_t{last.count} + count <= UINT32_MAX) {
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
