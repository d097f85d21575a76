#pragma once
// An in-memory volume for testing what sits above the Volume interface:
// items with byte contents, reads that fail at chosen offsets, run lists
// that cannot be fetched, and a record of every range read.
#include <cstdint>
#include <map>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "fs/volume.h"
#include "support/stub_volume.h"

namespace delvora::test {

class MemoryVolume final : public StubVolume {
public:
    MemoryVolume();

    /// Adds a file below folder; answers the added record (valid until the
    /// folder gets another child). Its size is the data's length unless given.
    FileItem* AddFile(FileItem& folder, std::string_view name, std::vector<uint8_t> data, uint8_t flags = 0);
    FileItem* AddFolder(FileItem& folder, std::string_view name, uint8_t flags = 0);

    /// Range reads of the item that reach offset fail.
    void FailReadAt(const FileItem& item, uint32_t offset) { m_failReadAt[item.startCluster] = offset; }
    void FailRuns(const FileItem& item) { m_failRuns.insert(item.startCluster); }

    struct Read {
        uint64_t offset;
        uint32_t count;
        bool operator==(const Read&) const = default;
    };
    std::vector<Read> reads;
    int runsCalls = 0;

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    uint64_t ClusterToSector(uint64_t cluster) const override { return cluster; }
    uint64_t SectorToCluster(uint64_t sector) const override { return sector; }

private:
    FileItem* AddChild(FileItem& folder, FileItem record);

    uint32_t m_nextId = 100;
    std::map<uint32_t, std::vector<uint8_t>> m_data;  // by start cluster, which is unique here
    std::map<uint32_t, uint32_t> m_failReadAt;
    std::set<uint32_t> m_failRuns;
};

/// count bytes of a pattern that differs from file to file (seed).
std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed);

}  // namespace delvora::test
