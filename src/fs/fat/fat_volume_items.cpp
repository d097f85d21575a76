// The item operations of a FAT volume: cluster runs, sizes and reads.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/options.h"
#include "common/translation.h"
#include "fs/fat/fat_volume.h"

namespace delvora {
namespace {

// Reads go to the medium in groups of at most this many bytes.
constexpr uint64_t kReadGroupBytes = 1u << 20;

// Found folders nest far less deep than this; the walk up to the top-level
// item stops here whatever the tree holds.
constexpr uint32_t kMaxFoundDepth = 1u << 16;

/// True when two runs share a cluster: a chain that came back on itself.
bool RunsOverlap(const ClusterRunList& runs) {
    std::vector<ClusterRun> sorted(runs.begin(), runs.end());
    std::sort(sorted.begin(), sorted.end(), [](const ClusterRun& a, const ClusterRun& b) { return a.first < b.first; });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i - 1].first + sorted[i - 1].count > sorted[i].first) return true;
    return false;
}

}  // namespace

bool FatVolume::ReadCluster(uint32_t cluster, uint8_t* dest, uint32_t clusters) {
    if (!m_pDataSource || !m_geometry.ValidCluster(cluster) || !m_geometry.ValidCluster(uint64_t{cluster} + clusters - 1))
        return false;
    const uint64_t bytes = uint64_t{m_geometry.clusterBytes} * clusters;
    if (bytes > UINT32_MAX) return false;
    return m_medium.Read(ClusterToSector(cluster), dest, static_cast<uint32_t>(bytes));
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
    // The FAT12/16 root has its own region, the recycle item is no folder
    // on the medium: neither has clusters.
    if (IsFixedRoot(item) || item == RecycleItem()) return RunsResult::Ok;
    if (item == RootItem() || (item->IsDirectory() && !item->IsDeleted())) {
        // Folders as the load read them: each cluster once, a looping chain cut.
        const uint32_t first = item == RootItem() ? m_geometry.rootCluster : item->startCluster;
        for (uint32_t c : m_pFatTree->DirectoryChain(first, m_pFatTree->MaxDirectoryClusters(), false))
            runs.AddJoined(c, 1);
        return RunsResult::Ok;
    }
    const uint64_t needed = (item->size + cb - 1) / cb;
    if (item->IsDeleted()) {
        // The FAT no longer holds a deleted item's chain: a folder keeps its
        // first cluster, a file the consecutive clusters its size needs, as
        // far as the volume reaches. One run, however large.
        if (!m_geometry.ValidCluster(item->startCluster)) return RunsResult::Ok;
        if (!item->IsDirectory() && CollectFoundFolderChain(item, needed, runs)) return RunsResult::Ok;
        if (!item->IsDirectory() && Context().Options().skipAllocatedClusters) {
            CollectFreeClusters(item->startCluster, needed, runs);
            return RunsResult::Ok;
        }
        const uint64_t wanted = item->IsDirectory() ? 1 : needed;
        const uint64_t count = std::min<uint64_t>(wanted, uint64_t{m_geometry.clusterCount} + 2 - item->startCluster);
        if (count > 0) runs.Add(item->startCluster, count);
        return RunsResult::Ok;
    }
    uint32_t cluster = item->startCluster;
    uint64_t taken = 0;
    // A file's chain is followed as far as its size needs, never further
    // than the volume has clusters.
    while (taken < needed && m_geometry.ValidCluster(cluster)) {
        runs.AddJoined(cluster, 1);
        ++taken;
        if (taken == needed) break;
        const uint32_t next = m_fat.NextInChain(cluster);
        if (!m_pFatTree->ItemChainContinues(next)) break;
        cluster = next;
    }
    // A chain that came back on itself would hand out clusters twice.
    if (taken < needed || RunsOverlap(runs)) return RunsResult::ShortChain;
    return RunsResult::Ok;
}

void FatVolume::CollectFreeClusters(uint32_t first, uint64_t needed, ClusterRunList& runs) {
    // The first cluster is the file's by its entry; after it only free ones
    // count. Each step moves to the next cluster, so the walk ends at the
    // volume's last cluster at the latest.
    runs.AddJoined(first, 1);
    uint64_t taken = 1;
    for (uint64_t c = uint64_t{first} + 1; taken < needed && m_geometry.ValidCluster(c); ++c) {
        if (m_fat.NextInChain(static_cast<uint32_t>(c)) != 0) continue;
        runs.AddJoined(c, 1);
        ++taken;
    }
}

uint32_t FatVolume::CountOverwrittenClusters(FileItem* item) {
    if (!item || !item->IsDeleted() || item->IsDirectory() || item->IsFound() || item->size == 0) return 0;
    try {
        ClusterRunList runs;
        const uint32_t cb = m_geometry.clusterBytes;
        // A file of a found folder whose chain is intact is read by its own chain.
        if (cb == 0 || CollectFoundFolderChain(item, (item->size + cb - 1) / cb, runs)) return 0;
        runs.Clear();
        if (CollectRuns(item, runs) != RunsResult::Ok) return 0;
        const uint32_t badMark = m_geometry.kind == 1 ? 0xFF7 : m_geometry.kind == 2 ? 0xFFF7 : 0x0FFFFFF7;
        uint32_t owned = 0;
        for (const ClusterRun& run : runs)
            for (uint64_t c = run.first; c < run.first + run.count; ++c) {
                const uint32_t next = m_fat.NextInChain(static_cast<uint32_t>(c));
                if (next != 0 && next != badMark && owned < UINT32_MAX) ++owned;
            }
        return owned;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool FatVolume::CollectFoundFolderChain(FileItem* item, uint64_t needed, ClusterRunList& runs) {
    // Every entry of a found folder counts as deleted because its folder is
    // lost, yet a file that was never deleted still has its chain: read
    // consecutively, a fragmented one would take other files' clusters.
    const FileItem* top = item;
    for (uint32_t depth = 0; top->parent && depth < kMaxFoundDepth; ++depth) top = top->parent;
    if (top != RecycleItem() || needed < 2) return false;
    uint32_t cluster = item->startCluster;
    // At most `needed` steps, each to a cluster of the volume.
    for (uint64_t taken = 1; m_geometry.ValidCluster(cluster); ++taken) {
        runs.AddJoined(cluster, 1);
        const uint32_t next = m_fat.NextInChain(cluster);
        if (taken == needed) {
            const uint32_t endMark = m_geometry.kind == 1 ? 0xFF8 : m_geometry.kind == 2 ? 0xFFF8 : 0x0FFFFFF8;
            if (next >= endMark && !RunsOverlap(runs)) return true;
            break;
        }
        if (!m_pFatTree->ItemChainContinues(next)) break;
        cluster = next;
    }
    runs.Clear();
    return false;
}

bool FatVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    RunsResult result = RunsResult::NoItem;
    try {
        result = CollectRuns(item, runs);
    } catch (const std::bad_alloc&) {
        runs.Clear();
        return false;
    }
    switch (result) {
        case RunsResult::Ok: return true;
        case RunsResult::ShortChain:
            runs.Clear();
            Context().Notify().Message(Tr("FatVolumeItems", "FAT表异常!"));
            return false;
        default: return false;
    }
}

bool FatVolume::GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) {
    const uint64_t cb = m_geometry.clusterBytes, bps = m_geometry.bytesPerSector;
    if (!item || !m_pDataSource || cb == 0) return false;
    if (item->IsFound()) {
        valid = item->size;
        allocated = (item->size + bps - 1) / bps * bps;
        return true;
    }
    if (IsFixedRoot(item)) {
        allocated = valid = FixedRootSectors() * bps;
        return true;
    }
    const uint64_t clusters = runs.TotalCount();
    if (clusters > UINT64_MAX / cb) return false;
    allocated = clusters * cb;
    valid = item->size;
    if (allocated < valid) return false;
    if (item->IsDirectory()) valid = allocated;
    return true;
}

bool FatVolume::ReadRunBytes(const ClusterRunList& runs, bool sectorRuns, uint8_t* dest, uint64_t offset,
                             uint32_t count, bool report) {
    const uint64_t unit = sectorRuns ? m_geometry.bytesPerSector : m_geometry.clusterBytes;
    if (unit == 0 || offset > UINT64_MAX - count) return false;
    const uint64_t end = offset + count;
    const uint64_t maxGroup = std::max<uint64_t>(1, kReadGroupBytes / unit);
    std::vector<uint8_t> buffer;
    uint64_t runStart = 0, copied = 0;
    // One pass over the runs; inside a run each read copies at least one byte.
    for (const ClusterRun& run : runs) {
        if (copied == count) break;
        // Runs may come from a caller: only clusters of the data area, or
        // sectors of the volume.
        if (sectorRuns ? (run.count > m_geometry.totalSectors || run.first > m_geometry.totalSectors - run.count)
                       : (!m_geometry.ValidCluster(run.first) ||
                          run.count > uint64_t{m_geometry.clusterCount} + 2 - run.first))
            return false;
        const uint64_t runBytes = run.count * unit;
        if (runBytes > UINT64_MAX - runStart) return false;
        const uint64_t runEnd = runStart + runBytes;
        while (copied < count && offset + copied < runEnd) {
            const uint64_t pos = offset + copied;
            const uint64_t index = (pos - runStart) / unit;
            const uint64_t lastIndex = (std::min(end, runEnd) - 1 - runStart) / unit;
            const uint64_t n = std::min(lastIndex - index + 1, maxGroup);
            buffer.resize(static_cast<size_t>(n * unit));
            const uint64_t sector = sectorRuns ? run.first + index : ClusterToSector(run.first + index);
            if (!m_medium.Read(sector, buffer.data(), static_cast<uint32_t>(buffer.size()))) {
                if (report) Context().Notify().Message(Tr("FatVolumeItems", "获取数据错!"));
                return false;
            }
            const uint64_t from = pos - runStart - index * unit;
            const uint64_t take = std::min<uint64_t>(n * unit - from, count - copied);
            std::memcpy(dest + copied, buffer.data() + from, static_cast<size_t>(take));
            copied += take;
        }
        runStart = runEnd;
    }
    return copied == count;
}

bool FatVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                              const ClusterRunList* runs) {
    if (!item || (!dest && count) || !m_pDataSource) return false;
    try {
        if (IsFixedRoot(item)) {
            ClusterRunList region;
            region.Add(m_geometry.rootStart, FixedRootSectors());
            return count == 0 || ReadRunBytes(region, true, dest, offset, count, true);
        }
        ClusterRunList own;
        if (!runs) {
            if (!GetItemRuns(item, own)) return false;
            runs = &own;
        }
        return count == 0 || ReadRunBytes(*runs, item->IsFound(), dest, offset, count, true);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool FatVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    if (!item || !m_pDataSource) return false;
    try {
        ClusterRunList runs;
        if (!IsFixedRoot(item) && !GetItemRuns(item, runs)) return false;
        if (!GetItemSizes(item, runs, allocated, valid) || allocated > UINT32_MAX) return false;
        buffer.assign(static_cast<size_t>(allocated), 0);
        if (!ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(allocated), &runs)) {
            buffer.clear();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        buffer.clear();
        return false;
    }
}

bool FatVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    if (!item || !m_pDataSource) return false;
    const uint64_t bps = m_geometry.bytesPerSector, cb = m_geometry.clusterBytes;
    if (item->IsFound()) {
        allocated = (item->size + bps - 1) / bps * bps;
        firstSector = item->Address();
        return true;
    }
    if (IsFixedRoot(item)) {
        allocated = FixedRootSectors() * bps;
        firstSector = m_geometry.rootStart;
        return true;
    }
    if (cb == 0) return false;
    allocated = (item->size + cb - 1) / cb * cb;
    firstSector = ClusterToSector(item->startCluster);
    return true;
}

}  // namespace delvora
