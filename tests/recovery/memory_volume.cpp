#include "recovery/memory_volume.h"

#include <cstring>
#include <span>

namespace delvora::test {

MemoryVolume::MemoryVolume() = default;

FileItem* MemoryVolume::AddChild(FileItem& folder, FileItem record) {
    std::vector<FileItem> records(folder.children, folder.children + folder.childCount);
    const uint32_t id = record.startCluster;
    records.push_back(record);
    if (!SetChildren(folder, records)) return nullptr;
    for (uint32_t i = 0; i < folder.childCount; ++i)
        if (folder.children[i].startCluster == id) return &folder.children[i];
    return nullptr;
}

FileItem* MemoryVolume::AddFile(FileItem& folder, std::string_view name, std::vector<uint8_t> data, uint8_t flags) {
    FileItem record = MakeItem(name);
    record.startCluster = m_nextId++;
    record.size = static_cast<uint32_t>(data.size());
    record.flags = flags;
    m_data[record.startCluster] = std::move(data);
    return AddChild(folder, record);
}

FileItem* MemoryVolume::AddFolder(FileItem& folder, std::string_view name, uint8_t flags) {
    FileItem record = MakeItem(name);
    record.startCluster = m_nextId++;
    record.flags = static_cast<uint8_t>(flags | item_flags::kDirectory);
    record.attributes = item_attributes::kDirectory;
    return AddChild(folder, record);
}

bool MemoryVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                               const ClusterRunList* runs) {
    reads.push_back({offset, count});
    // The copy procedure must hand over the runs it fetched for this item.
    if (!item || !runs || runs->Size() != 1 || (*runs)[0].first != item->startCluster) return false;
    auto failing = m_failReadAt.find(item->startCluster);
    if (failing != m_failReadAt.end() && uint64_t(offset) + count > failing->second) return false;
    const auto& data = m_data[item->startCluster];
    if (uint64_t(offset) + count > data.size()) return false;
    std::memcpy(dest, data.data() + offset, count);
    return true;
}

bool MemoryVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    ++runsCalls;
    if (!item || m_failRuns.count(item->startCluster)) return false;
    runs.Clear();
    runs.Add(item->startCluster, 1);
    return true;
}

bool MemoryVolume::GetItemSizes(FileItem* item, const ClusterRunList&, uint64_t& allocated, uint64_t& valid) {
    if (!item) return false;
    allocated = valid = item->size;
    return true;
}

bool MemoryVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    if (!item) return false;
    buffer = m_data[item->startCluster];
    allocated = valid = static_cast<uint32_t>(buffer.size());
    return true;
}

std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed) {
    std::vector<uint8_t> out(count);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

}  // namespace delvora::test
