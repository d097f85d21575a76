// The item operations of an exFAT volume: cluster runs, sizes and reads,
// with bytes past a file's valid-data length read as zeros.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/translation.h"
#include "fs/exfat/exfat_volume.h"

namespace delvora {
namespace {

// Reads go to the medium in groups of at most this many bytes.
constexpr uint64_t kReadGroupBytes = 1u << 20;

}  // namespace

ExfatVolume::RunsResult ExfatVolume::CollectRuns(FileItem* item, ClusterRunList& runs) {
    if (!item || !m_pDataSource) return RunsResult::NoItem;
    runs.Clear();
    const ExfatGeometry& g = m_geometry;
    if (item->IsFound() && !FactsOf(item)) {
        if (item->runs)
            for (const ClusterRun& run : *item->runs) runs.Add(run.first, run.count);
        return RunsResult::Ok;
    }
    if (item == RecycleItem()) return RunsResult::Ok;
    if (item == RootItem()) {
        for (uint32_t c : m_rootClusters) runs.AddJoined(c, 1);
        return RunsResult::Ok;
    }
    const uint64_t cb = g.clusterBytes;
    const uint64_t needed = (item->size + cb - 1) / cb;
    if (needed == 0 || item->startCluster == 0) return RunsResult::Ok;
    if (!g.ValidCluster(item->startCluster)) {
        Context().Logger().AppendLog(Format(Tr("ExfatVolumeItems", "exFAT 文件的首簇 %u 不在簇堆内: %s"), item->startCluster,
                                            item->name ? item->name : ""));
        return RunsResult::ShortChain;
    }
    const uint64_t left = uint64_t{g.clusterCount} + 2 - item->startCluster;
    if (NoFatChain(item)) {
        // One run, as long as the size needs and the heap allows.
        runs.Add(item->startCluster, std::min(needed, left));
        if (needed <= left) return RunsResult::Ok;
        Context().Logger().AppendLog(Format(Tr("ExfatVolumeItems", "exFAT 文件的簇超出簇堆: %s"), item->name ? item->name : ""));
        return item->IsDeleted() ? RunsResult::Ok : RunsResult::ShortChain;
    }
    if (item->IsDeleted() && !SetInUse(item)) {
        // The FAT no longer speaks for a deleted file: its first cluster,
        // then the clusters after it that the bitmap shows free, as far as
        // the heap reaches.
        runs.Add(item->startCluster, 1);
        uint64_t taken = 1;
        for (uint64_t c = uint64_t{item->startCluster} + 1; taken < needed && g.ValidCluster(c); ++c) {
            if (ClusterInUse(c)) continue;
            runs.AddJoined(c, 1);
            ++taken;
        }
        return RunsResult::Ok;
    }
    std::vector<uint32_t> chain;
    const bool whole = FollowChain(item->startCluster, needed, chain);
    for (uint32_t c : chain) runs.AddJoined(c, 1);
    if (whole) return RunsResult::Ok;
    Context().Logger().AppendLog(Format(Tr("ExfatVolumeItems", "exFAT 簇链短于文件长度: %s"), item->name ? item->name : ""));
    return RunsResult::ShortChain;
}

bool ExfatVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
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
            Context().Notify().Message(Tr("ExfatVolumeItems", "FAT表异常!"));
            return false;
        default: return false;
    }
}

uint32_t ExfatVolume::CountOverwrittenClusters(FileItem* item) {
    // Items whose set is in use read their own FAT chain: nothing of theirs is another's.
    if (!item || !item->IsDeleted() || SetInUse(item)) return 0;
    ClusterRunList runs;
    try {
        if (CollectRuns(item, runs) != RunsResult::Ok) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // A deleted item's clusters that the bitmap shows in use belong to
    // another item now.
    uint64_t count = 0;
    for (const ClusterRun& run : runs)
        for (uint64_t k = 0; k < run.count; ++k) count += ClusterInUse(run.first + k) ? 1 : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX));
}

bool ExfatVolume::GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) {
    const uint64_t cb = m_geometry.clusterBytes, bps = m_geometry.bytesPerSector;
    if (!item || !m_pDataSource || cb == 0) return false;
    if (item->IsFound() && !FactsOf(item)) {
        valid = item->size;
        allocated = (item->size + bps - 1) / bps * bps;
        return true;
    }
    const uint64_t clusters = runs.TotalCount();
    if (clusters > UINT64_MAX / cb) return false;
    allocated = clusters * cb;
    valid = item->size;
    if (item == RootItem() || item->IsDirectory()) valid = allocated;
    // A deleted file near the heap's end may keep fewer clusters than its size.
    if (allocated < valid) valid = allocated;
    return true;
}

bool ExfatVolume::ReadRunBytes(const ClusterRunList& runs, bool sectorRuns, uint8_t* dest, uint64_t offset,
                               uint32_t count) {
    const ExfatGeometry& g = m_geometry;
    const uint64_t unit = sectorRuns ? g.bytesPerSector : g.clusterBytes;
    if (unit == 0 || offset > UINT64_MAX - count) return false;
    const uint64_t end = offset + count;
    const uint64_t maxGroup = std::max<uint64_t>(1, kReadGroupBytes / unit);
    const uint64_t volumeSectors = g.volumeLength ? g.volumeLength : UINT64_MAX;
    std::vector<uint8_t> buffer;
    uint64_t runStart = 0, copied = 0;
    // One pass over the runs; inside a run each read copies at least one byte.
    for (const ClusterRun& run : runs) {
        if (copied == count) break;
        if (sectorRuns ? (run.count > volumeSectors || run.first > volumeSectors - run.count)
                       : (!g.ValidCluster(run.first) || run.count > uint64_t{g.clusterCount} + 2 - run.first))
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
                Context().Notify().Message(Tr("ExfatVolumeItems", "获取数据错!"));
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

bool ExfatVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                                const ClusterRunList* runs) {
    if (!item || (!dest && count) || !m_pDataSource) return false;
    try {
        ClusterRunList own;
        if (!runs) {
            if (!GetItemRuns(item, own)) return false;
            runs = &own;
        }
        if (count == 0) return true;
        // Bytes past the valid-data length were never written: zeros, and
        // not read (a large preallocated file costs nothing).
        const bool fileData = item != RootItem() && !item->IsDirectory();
        const uint64_t valid = fileData ? ValidLength(item) : UINT64_MAX;
        const uint32_t readable = offset >= valid ? 0 : static_cast<uint32_t>(std::min<uint64_t>(count, valid - offset));
        if (readable < count) std::memset(dest + readable, 0, count - readable);
        if (readable == 0) {
            // The range must still lie inside the item's clusters.
            const uint64_t allocated = runs->TotalCount() * (item->IsFound() && !FactsOf(item)
                                                                 ? m_geometry.bytesPerSector
                                                                 : m_geometry.clusterBytes);
            return offset <= allocated && count <= allocated - offset;
        }
        return ReadRunBytes(*runs, item->IsFound() && !FactsOf(item), dest, offset, readable);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ExfatVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    if (!item || !m_pDataSource) return false;
    try {
        ClusterRunList runs;
        if (!GetItemRuns(item, runs)) return false;
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

bool ExfatVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    if (!item || !m_pDataSource) return false;
    const uint64_t bps = m_geometry.bytesPerSector, cb = m_geometry.clusterBytes;
    if (item->IsFound() && !FactsOf(item)) {
        allocated = (item->size + bps - 1) / bps * bps;
        firstSector = item->Address();
        return true;
    }
    if (item == RootItem()) {
        allocated = m_rootClusters.size() * cb;
        firstSector = ClusterToSector(m_geometry.rootCluster);
        return true;
    }
    allocated = (item->size + cb - 1) / cb * cb;
    firstSector = item->startCluster ? ClusterToSector(item->startCluster) : 0;
    return true;
}

bool ExfatVolume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    if (!item || m_geometry.clusterCount == 0) return false;
    if (item->IsFound() && !FactsOf(item)) {
        for (const ClusterRun& run : source) sectors.AddJoined(run.first, run.count);
        return true;
    }
    for (const ClusterRun& run : source) {
        if (!m_geometry.ValidCluster(run.first) || run.count > uint64_t{m_geometry.clusterCount} + 2 - run.first)
            return false;
        sectors.AddJoined(ClusterToSector(run.first), run.count << m_geometry.sectorsPerClusterShift);
    }
    return true;
}

}  // namespace delvora
