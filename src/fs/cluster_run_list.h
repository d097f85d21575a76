#pragma once
// A list of {first, count} runs: clusters or blocks for ordinary items,
// sectors relative to the volume for found items.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace delvora {

struct ClusterRun {
    uint64_t first = 0;
    uint64_t count = 0;
    bool operator==(const ClusterRun&) const = default;
};

class ClusterRunList {
public:
    virtual ~ClusterRunList() = default;

    void Add(uint64_t first, uint64_t count);
    /// Adds a run, joining it to the last one when it continues it.
    void AddJoined(uint64_t first, uint64_t count);
    void Clear() { m_runs.clear(); }
    size_t Size() const { return m_runs.size(); }
    bool Empty() const { return m_runs.empty(); }
    const ClusterRun& operator[](size_t i) const { return m_runs[i]; }
    ClusterRun& operator[](size_t i) { return m_runs[i]; }
    const std::vector<ClusterRun>& Runs() const { return m_runs; }
    std::vector<ClusterRun>::const_iterator begin() const { return m_runs.begin(); }
    std::vector<ClusterRun>::const_iterator end() const { return m_runs.end(); }
    /// Sum of the counts, in 64 bits.
    uint64_t TotalCount() const;
    /// Capacity grows geometrically, by at least this many elements.
    void SetGrowBy(size_t growBy) { m_growBy = growBy; }

private:
    std::vector<ClusterRun> m_runs;
    size_t m_growBy = 0;
};

}  // namespace delvora
