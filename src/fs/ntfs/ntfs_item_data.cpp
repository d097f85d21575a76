// The per-item operations of an NTFS volume: runs, sizes, extent and data.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_volume.h"

namespace delvora {
namespace {

constexpr uint32_t kBlockBytes = 65536;
// Larger aligned pieces go straight into the caller's buffer in one read.
constexpr uint32_t kDirectReadBytes = 16u << 20;


}  // namespace

bool NtfsVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    runs.Clear();
    if (!item || !m_pDataSource) return false;
    if (item->IsFound()) {
        if (item->runs)
            for (const ClusterRun& run : *item->runs) runs.Add(run.first, run.count);
        return true;
    }
    if (item->flags & item_flags::kInRecord) {
        const uint32_t clusterBytes = m_boot.clusterBytes;
        const uint32_t recordBytes = m_boot.recordBytes;
        runs.Add(item->Address(), clusterBytes != 0 && clusterBytes < recordBytes ? recordBytes / clusterBytes : 1);
        return true;
    }
    try {
        NtfsFileFacts facts;
        return ReadItemFacts(item, facts, runs);
    } catch (const std::bad_alloc&) {
        runs.Clear();
        return false;
    }
}

bool NtfsVolume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    if (!item || !m_pDataSource) return false;
    const uint32_t spc = m_boot.sectorsPerCluster;
    for (const ClusterRun& run : source) {
        // Found items carry sector runs already.
        if (item->IsFound()) {
            sectors.Add(run.first, run.count);
            continue;
        }
        // A hole has no sectors.
        if (run.first == ntfs::kSparseRun) continue;
        if (!(item->flags & item_flags::kInRecord)) {
            sectors.Add(uint64_t{spc} * run.first, run.count * spc);
            continue;
        }
        // Data inside its record: the record's sectors, not the whole
        // cluster around it (which holds other files' records).
        sectors.Add(RecordToSector(run.first, item->flags & item_flags::kVolumePosition),
                    std::max<uint64_t>(1, (uint64_t{m_boot.recordBytes} + 511) / 512));
    }
    return true;
}

bool NtfsVolume::Sizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid,
                       bool acceptInRecord) {
    allocated = 0;
    valid = 0;
    if (!item || !m_pDataSource) return false;
    if (item->IsFound()) {
        valid = item->size;
        allocated = (item->size + 511) / 512 * 512;
        return true;
    }
    const uint64_t c = m_boot.clusterBytes;
    if (c == 0) return false;
    uint64_t all = c * runs.TotalCount();
    // Runs that reach beyond the data by more than a cluster are cut back to
    // the clusters the size needs.
    if (all > c + item->size) all = c * (item->size / c + 1);
    valid = item->size;
    allocated = all;
    if (allocated < valid)
        Context().Logger().AppendLog(Format(Tr("NtfsItemData", "取文件数据块错误:dwSizeAll<dwSizeAvail,文件名:%s"), item->name ? item->name : ""));
    const bool ok = allocated >= valid || (acceptInRecord && (item->flags & item_flags::kInRecord));
    if (ok && item->IsDirectory()) valid = allocated;
    return ok;
}

bool NtfsVolume::GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) {
    return Sizes(item, runs, allocated, valid, true);
}

bool NtfsVolume::GetItemSizes(FileItem* item, uint64_t& allocated, uint64_t& valid) {
    allocated = 0;
    valid = 0;
    if (!item || !m_pDataSource) return false;
    ClusterRunList runs;
    if (!item->IsFound() && !GetItemRuns(item, runs)) return false;
    return Sizes(item, runs, allocated, valid, false);
}

bool NtfsVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                               const ClusterRunList* runs) {
    if (!item || !dest || !m_pDataSource) return false;
    if (count == 0) return true;
    if (item->IsFound()) return ReadFound(item, dest, offset, count);
    if (item->flags & item_flags::kInRecord) return ReadResident(item, dest, offset, count);
    try {
        uint64_t initialized = 0;
        if (runs) {
            if (!InitializedLength(item, initialized)) return false;
            return ReadData(*runs, dest, offset, count, initialized, item->size);
        }
        NtfsFileFacts facts;
        ClusterRunList own;
        if (!ReadItemFacts(item, facts, own) || !facts.hasData) return false;
        return ReadData(own, dest, offset, count, facts.initialized, facts.size);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void NtfsVolume::ListPlainStretches(FileItem* item, const ClusterRunList& runs,
                                    std::vector<PlainStretch>& stretches) {
    stretches.clear();
    if (!item || !m_pDataSource || item->IsFound() || (item->flags & item_flags::kInRecord)) return;
    const uint64_t clusterBytes = m_boot.clusterBytes;
    const uint32_t spc = m_boot.sectorsPerCluster;
    uint64_t initialized = 0;
    if (clusterBytes == 0 || spc == 0 || !InitializedLength(item, initialized)) return;
    // From the initialized length on ReadData answers zeros.
    const uint64_t end = std::min(initialized, item->size);
    const uint64_t volumeClusters = m_nUsableSectors / spc;
    uint64_t runBegin = 0;
    // One pass over the runs, as ReadRuns walks them.
    for (const ClusterRun& run : runs) {
        if (runBegin >= end || run.count > (UINT64_MAX - runBegin) / clusterBytes) break;
        const uint64_t runEnd = runBegin + clusterBytes * run.count;
        if (run.first != ntfs::kSparseRun) {
            // ReadRuns fails every read that walks past such a run: nothing
            // from here on is read straight.
            if (run.count > volumeClusters || run.first > volumeClusters - run.count) break;
            const uint64_t sector = m_dwSectorNo + uint64_t{spc} * run.first;
            if (sector > UINT64_MAX / 512) break;
            AddPlainStretch(stretches, runBegin, sector * 512, std::min(runEnd, end) - runBegin);
        }
        runBegin = runEnd;
    }
}

bool NtfsVolume::InitializedLength(FileItem* item, uint64_t& initialized) {
    {
        const std::lock_guard<std::mutex> lock(m_initializedMutex);
        if (m_pInitializedItem == item && m_nInitializedRecord == item->Address()) {
            initialized = m_nInitialized;
            return true;
        }
    }
    NtfsFileFacts facts;
    ClusterRunList runs;
    if (!ReadItemFacts(item, facts, runs) || !facts.hasData) return false;
    initialized = facts.initialized;
    const std::lock_guard<std::mutex> lock(m_initializedMutex);
    m_pInitializedItem = item;
    m_nInitializedRecord = item->Address();
    m_nInitialized = initialized;
    return true;
}

bool NtfsVolume::ReadFound(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count) {
    if (!item->runs) return false;
    uint8_t sector[512];
    uint64_t runBegin = 0;
    uint32_t done = 0;
    for (const ClusterRun& run : *item->runs) {
        const uint64_t runEnd = runBegin + uint64_t{512} * run.count;
        // Sector by sector inside the run until the count is reached.
        while (done < count && offset + done < runEnd) {
            const uint64_t position = offset + done - runBegin;
            const uint64_t number = m_dwSectorNo + run.first + position / 512;
            if (!m_pDataSource->GetData(sector, 512, number)) {
                Context().Notify().Message(Tr("NtfsItemData", "获取数据错!"), "提示", MessageIcon::Error);
                return false;
            }
            const uint32_t skip = static_cast<uint32_t>(position % 512);
            const uint32_t piece = std::min(512 - skip, count - done);
            std::memcpy(dest + done, sector + skip, piece);
            done += piece;
        }
        if (done == count) return true;
        runBegin = runEnd;
    }
    return false;
}

bool NtfsVolume::ReadResident(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count) {
    std::memset(dest, 0, count);
    // A folder's "data" is its record itself.
    if (item->IsDirectory()) {
        const uint64_t sector = RecordToSector(item->Address(), item->flags & item_flags::kVolumePosition);
        std::vector<uint8_t> record;
        if (sector == 0 || !ReadRecord(sector, record)) return false;
        if (offset < record.size())
            std::memcpy(dest, record.data() + offset, std::min<uint64_t>(record.size() - offset, count));
        return true;
    }
    try {
        NtfsFileFacts facts;
        ClusterRunList runs;
        if (!ReadItemFacts(item, facts, runs)) return false;
        // The data may have moved out of the record since the load.
        if (!facts.resident) return facts.hasData && ReadData(runs, dest, offset, count, facts.initialized, facts.size);
        // Only the value's own bytes: anything asked beyond them reads as 0.
        const std::vector<uint8_t>& value = facts.residentValue;
        if (offset < value.size())
            std::memcpy(dest, value.data() + offset, std::min<uint64_t>(value.size() - offset, count));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool NtfsVolume::ReadData(const ClusterRunList& runs, uint8_t* dest, uint64_t offset, uint32_t count,
                          uint64_t initialized, uint64_t size) {
    // Bytes from the initialized length up to the size were never written:
    // zeros, as the file system itself answers them. Below and beyond
    // (the slack of the last cluster) the clusters are read as they are.
    const uint64_t end = offset + count;
    const uint64_t zeroFrom = std::clamp(initialized, offset, end);
    const uint64_t zeroTo = std::clamp(size, zeroFrom, end);
    if (zeroFrom > offset && !ReadRuns(runs, dest, offset, static_cast<uint32_t>(zeroFrom - offset))) return false;
    std::memset(dest + (zeroFrom - offset), 0, zeroTo - zeroFrom);
    if (zeroTo < end && !ReadRuns(runs, dest + (zeroTo - offset), zeroTo, static_cast<uint32_t>(end - zeroTo)))
        return false;
    return true;
}

bool NtfsVolume::ReadRuns(const ClusterRunList& runs, uint8_t* dest, uint64_t offset, uint32_t count) {
    const uint64_t clusterBytes = m_boot.clusterBytes;
    if (clusterBytes == 0 || m_boot.sectorsPerCluster == 0) return false;
    std::vector<uint8_t> block;
    uint64_t runBegin = 0;
    uint32_t done = 0;
    for (const ClusterRun& run : runs) {
        const uint64_t runBytes = clusterBytes * run.count;
        const uint64_t runEnd = runBegin + runBytes;
        if (run.first == ntfs::kSparseRun) {
            if (offset + done < runEnd) {
                const auto piece = static_cast<uint32_t>(std::min<uint64_t>(runEnd - (offset + done), count - done));
                std::memset(dest + done, 0, piece);
                done += piece;
            }
            if (done == count) return true;
            runBegin = runEnd;
            continue;
        }
        // Runs come from records, found ones among them: only clusters of the volume are read.
        const uint64_t volumeClusters = m_nUsableSectors / m_boot.sectorsPerCluster;
        if (run.count > volumeClusters || run.first > volumeClusters - run.count) return false;
        const uint64_t runSector = m_dwSectorNo + uint64_t{m_boot.sectorsPerCluster} * run.first;
        // Each step copies at least one byte, until the count or the run's end.
        while (done < count && offset + done < runEnd) {
            const uint64_t position = offset + done - runBegin;
            const uint64_t sector = runSector + position / 512;
            const auto skip = static_cast<uint32_t>(position % 512);
            const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(runBytes - position, count - done));
            if (skip == 0 && wanted >= 512) {
                const uint32_t piece = std::min(wanted / 512 * 512, kDirectReadBytes);
                if (!m_pDataSource->GetData(dest + done, piece, sector)) return false;
                done += piece;
                continue;
            }
            if (block.empty()) block.resize(kBlockBytes);
            const uint32_t blockBytes = std::min<uint32_t>(kBlockBytes, (skip + wanted + 511) / 512 * 512);
            if (!m_pDataSource->GetData(block.data(), blockBytes, sector)) return false;
            const uint32_t piece = std::min(wanted, blockBytes - skip);
            std::memcpy(dest + done, block.data() + skip, piece);
            done += piece;
        }
        if (done == count) return true;
        runBegin = runEnd;
    }
    return false;
}

bool NtfsVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) {
    buffer.clear();
    ClusterRunList runs;
    if (!item || !m_pDataSource) return false;
    if (!item->IsFound() && !GetItemRuns(item, runs)) return false;
    if (!Sizes(item, runs, allocated, valid, false)) return false;
    try {
        buffer.assign(allocated, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const uint64_t wanted = std::min(valid, allocated);
    // Pieces of at most 1 GiB, as a read takes a 32-bit count.
    for (uint64_t done = 0; done < wanted;) {
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(wanted - done, 1u << 30));
        if (!ReadItemRange(item, buffer.data() + done, done, piece, &runs)) {
            buffer.clear();
            return false;
        }
        done += piece;
    }
    return true;
}

bool NtfsVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    allocated = 0;
    firstSector = 0;
    if (!item || !m_pDataSource) return false;
    if (item->IsFound()) {
        allocated = (item->size + 511) / 512 * 512;
        firstSector = item->Address();
        return true;
    }
    const uint64_t c = m_boot.clusterBytes;
    allocated = (item->size != 0 && c != 0) ? c * (item->size / c + 1) : 0;
    // The record's real place, also when the MFT is in several pieces.
    firstSector = RecordToSector(item->Address(), item->flags & item_flags::kVolumePosition);
    return true;
}

bool NtfsVolume::ListRegions(std::vector<DiskRegion>& regions) {
    const uint64_t total = m_boot.totalSectors;
    const uint32_t spc = m_boot.sectorsPerCluster;
    if (total == 0 || spc == 0 || m_boot.mftCluster == 0) return false;
    if (m_boot.mftCluster > total / spc) return false;
    regions.push_back({0, uint64_t{spc} * m_boot.mftCluster - 1, 12});
    // Each piece of the MFT where it really lies, also when it is in
    // fragments; runs reaching past the volume are cut at its end.
    for (const ClusterRun& run : m_mftRuns) {
        if (run.count == 0 || run.first > total / spc) continue;
        const uint64_t first = run.first * spc;
        const uint64_t count = std::min(run.count, (total - first) / spc + 1);
        regions.push_back({first, std::min(first + count * spc - 1, total), 18});
    }
    regions.push_back({uint64_t{spc} * m_boot.mftCluster, total, 7});
    return true;
}

uint64_t NtfsVolume::ClusterToSector(uint64_t cluster) const {
    return cluster * m_boot.sectorsPerCluster;
}

uint64_t NtfsVolume::SectorToCluster(uint64_t sector) const {
    return m_boot.sectorsPerCluster == 0 ? 0 : sector / m_boot.sectorsPerCluster;
}

bool NtfsVolume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool) {
    if (!dest || !m_pDataSource) return false;
    return m_pDataSource->GetData(dest, count, m_dwSectorNo + position);
}

}  // namespace delvora
