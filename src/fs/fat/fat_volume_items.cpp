// The item operations of a FAT volume: cluster lists, sizes and reads.
#include <algorithm>
#include <cstring>
#include <new>

#include "fs/fat/fat_volume.h"

namespace delvora {

bool FatVolume::ReadCluster(uint32_t cluster, uint8_t* dest, uint32_t clusters) {
    if (!m_pDataSource || !m_pFatTree->ValidCluster(cluster) ||
        !m_pFatTree->ValidCluster(uint64_t{cluster} + clusters - 1))
        return false;
    const uint64_t sector = uint64_t{m_dwSectorNo} + ClusterToSector(cluster);
    const uint64_t bytes = uint64_t{m_geometry.clusterBytes} * clusters;
    if (sector > UINT32_MAX || bytes > UINT32_MAX) return false;
    return m_pDataSource->GetData(dest, static_cast<uint32_t>(bytes), static_cast<uint32_t>(sector)) != 0;
}

FatVolume::RunsResult FatVolume::CollectRuns(FileItem* item, ClusterRunList& runs) {
    if (!item || !m_pDataSource) return RunsResult::NoItem;
    runs.Clear();
    if (item->IsFound()) {
        if (item->runs)
            for (const ClusterRun& run : *item->runs) runs.Add(run.first, run.count);
        return RunsResult::Ok;
    }
    const uint32_t cb = m_geometry.clusterBytes;
    if (cb == 0) return RunsResult::NoItem;
    if (item == RootItem()) {
        if (m_nFatType != 3) {
            // The fixed root region as pseudo-clusters 2, 3, ...
            const uint64_t last = 1 + uint64_t{m_geometry.rootEntries} * 32 / cb;
            for (uint64_t c = 2; c <= last; ++c) runs.Add(static_cast<uint32_t>(c), 1);
        } else {
            for (uint32_t c : m_pFatTree->DirectoryChain(m_geometry.rootCluster, m_geometry.clusterCount, false))
                runs.Add(c, 1);
        }
        return RunsResult::Ok;
    }
    if (item->IsDeleted()) {
        // The FAT no longer holds a deleted item's chain: a folder keeps its
        // first cluster, a file the consecutive clusters its size needs
        // (and one more), as far as the volume reaches.
        if (!m_pFatTree->ValidCluster(item->startCluster)) return RunsResult::Ok;
        const uint64_t wanted = item->IsDirectory() ? 1 : uint64_t{item->size} / cb + 1;
        const uint64_t end = std::min<uint64_t>(uint64_t{item->startCluster} + wanted, uint64_t{m_geometry.clusterCount} + 2);
        for (uint64_t c = item->startCluster; c < end; ++c) runs.Add(static_cast<uint32_t>(c), 1);
        return RunsResult::Ok;
    }
    std::vector<uint32_t> chain;
    uint32_t cluster = item->startCluster;
    ChainLoopGuard guard;
    // Bounded by the volume's cluster count, and a looping chain is cut
    // where it comes back: each cluster is listed once.
    while (chain.size() < m_geometry.clusterCount && m_pFatTree->ValidCluster(cluster)) {
        if (guard.Closes(cluster)) {
            guard.CutLoop(chain, cluster);
            break;
        }
        chain.push_back(cluster);
        const uint32_t next = m_fat.NextCluster(cluster);
        if (!m_pFatTree->ItemChainContinues(next)) break;
        cluster = next;
    }
    for (uint32_t c : chain) runs.Add(c, 1);
    if (runs.Size() * uint64_t{cb} < item->size) return RunsResult::ShortChain;
    return RunsResult::Ok;
}

bool FatVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    switch (CollectRuns(item, runs)) {
        case RunsResult::Ok: return true;
        case RunsResult::ShortChain:
            runs.Clear();
            Context().Notify().Message("FAT表异常!");
            return false;
        default: return false;
    }
}

bool FatVolume::GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) {
    if (!item || !m_pDataSource || m_geometry.clusterBytes == 0) return false;
    if (item->IsFound()) {
        valid = item->size;
        allocated = (item->size + 511) / 512 * 512;
        return true;
    }
    const uint64_t bytes = uint64_t{m_geometry.clusterBytes} * runs.Size();
    allocated = bytes;
    valid = item->size;
    if (bytes < valid) return false;
    if (item->IsDirectory()) valid = allocated;
    return true;
}

bool FatVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                              const ClusterRunList* runs) {
    if (!item || !dest || !m_pDataSource) return false;
    ClusterRunList own;
    if (!runs) {
        if (!GetItemRuns(item, own)) return false;
        runs = &own;
    }
    if (count == 0) return true;
    const uint64_t end = uint64_t{offset} + count;
    if (item->IsFound()) {
        // Sector runs: walk them to the sector that holds each byte.
        uint64_t runStart = 0, copied = 0;
        uint8_t sector[512];
        for (const ClusterRun& run : *runs) {
            const uint64_t runEnd = runStart + uint64_t{run.count} * 512;
            for (uint64_t pos = std::max<uint64_t>(runStart, offset + copied) & ~uint64_t{511};
                 pos < runEnd && offset + copied < end; pos += 512) {
                const uint64_t s = uint64_t{m_dwSectorNo} + run.first + (pos - runStart) / 512;
                if (s > UINT32_MAX || !m_pDataSource->GetData(sector, 512, static_cast<uint32_t>(s))) {
                    Context().Notify().Message("获取数据错!");
                    return false;
                }
                const uint64_t from = offset + copied - pos;
                const uint64_t n = std::min<uint64_t>(512 - from, end - (offset + copied));
                std::memcpy(dest + copied, sector + from, n);
                copied += n;
            }
            runStart = runEnd;
            if (copied == count) return true;
        }
        return copied == count;
    }
    const uint32_t cb = m_geometry.clusterBytes;
    if (cb == 0 || uint64_t{cb} * runs->Size() < end) return false;
    // Only the clusters that hold the requested bytes are read; neighbours
    // on the medium are read together.
    std::vector<uint8_t> buffer;
    uint64_t copied = 0;
    const uint64_t lastIndex = (end - 1) / cb;
    for (uint64_t index = offset / cb; index <= lastIndex;) {
        if (index >= runs->Size()) {
            Context().Notify().Message("超出数组下标!");
            return false;
        }
        uint64_t n = 1;
        while (index + n <= lastIndex && n < 256 && (*runs)[index + n].first == (*runs)[index].first + n) ++n;
        try {
            buffer.resize(n * cb);
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (!ReadCluster((*runs)[index].first, buffer.data(), static_cast<uint32_t>(n))) {
            Context().Notify().Message("获取数据错!");
            return false;
        }
        const uint64_t groupStart = index * cb;
        const uint64_t from = std::max<uint64_t>(offset, groupStart) - groupStart;
        const uint64_t take = std::min<uint64_t>(n * cb - from, count - copied);
        std::memcpy(dest + copied, buffer.data() + from, take);
        copied += take;
        index += n;
    }
    return true;
}

bool FatVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    if (!item || !m_pDataSource) return false;
    try {
        if (item == RootItem() && m_nFatType != 3) {
            const uint32_t sectors = m_geometry.rootEntries / 16;
            buffer.assign(size_t{sectors} * 512, 0);
            for (uint32_t k = 0; k < sectors; ++k) {
                const uint32_t s = m_dwSectorNo + m_geometry.dataStart - sectors + k;
                if (!m_pDataSource->GetData(&buffer[size_t{k} * 512], 512, s)) {
                    Context().Notify().Message("获取数据错!");
                    buffer.clear();
                    return false;
                }
            }
            allocated = valid = static_cast<uint32_t>(buffer.size());
            return true;
        }
        ClusterRunList runs;
        if (!GetItemRuns(item, runs)) return false;
        const uint32_t cb = m_geometry.clusterBytes;
        const uint64_t bytes = uint64_t{cb} * runs.Size();
        if (bytes > UINT32_MAX) return false;
        buffer.assign(bytes, 0);
        for (size_t i = 0; i < runs.Size(); ++i) {
            if (!ReadCluster(runs[i].first, &buffer[i * cb])) {
                Context().Notify().Message("获取数据错!");
                buffer.clear();
                return false;
            }
        }
        allocated = static_cast<uint32_t>(bytes);
        valid = item->IsDirectory() || item == RootItem() ? allocated : item->size;
        return true;
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
}

bool FatVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    if (!item || !m_pDataSource) return false;
    if (item->IsFound()) {
        allocated = (item->size + 511) / 512 * 512;
        firstSector = item->startCluster;
        return true;
    }
    const uint64_t cb = m_geometry.clusterBytes;
    if (cb == 0) return false;
    allocated = (item->size + cb - 1) / cb * cb;
    firstSector = ClusterToSector(item->startCluster);
    return true;
}

}  // namespace delvora
