// The per-item operations of an NTFS volume: runs, sizes, extent and data.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_format.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_record.h"
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
        runs.Add(item->startCluster, clusterBytes != 0 && clusterBytes < 1024 ? 1024 / clusterBytes : 1);
        return true;
    }
    const uint32_t sector = RecordToSector(item->startCluster, item->flags & item_flags::kVolumePosition);
    std::vector<uint8_t> record;
    if (sector == 0 || !ReadRecord(sector, record)) return false;
    return GetRunArray(record, runs, Context().Logger());
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
        uint64_t first;
        if (!(item->flags & item_flags::kInRecord))
            first = uint64_t{spc} * run.first;
        else if (item->flags & item_flags::kVolumePosition)
            first = uint64_t{2} * run.first;
        else
            first = RecordToSector(run.first, false);
        sectors.Add(first, run.count * spc);
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
        Context().Logger().AppendLog(Format("取文件数据块错误:dwSizeAll<dwSizeAvail,文件名:%s", item->name ? item->name : ""));
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
    ClusterRunList own;
    if (!runs) {
        if (!GetItemRuns(item, own)) return false;
        runs = &own;
    }
    return ReadRuns(*runs, dest, offset, count);
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
                Context().Notify().Message("获取数据错!", "提示", MessageIcon::Error);
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
    const uint32_t sector = RecordToSector(item->startCluster, item->flags & item_flags::kVolumePosition);
    std::vector<uint8_t> record;
    if (sector == 0 || !ReadRecord(sector, record)) return false;
    uint64_t dataOffset = 0;
    if (!item->IsDirectory() && item->size != 0) {
        const uint32_t attribute = GetAttrbuteByType(record, ntfs::kData, Context().Logger());
        if (attribute == 0) return false;
        dataOffset = uint64_t{attribute} + 24;
    }
    // The data lives inside the record: bytes asked for beyond it read as 0.
    std::memset(dest, 0, count);
    const uint64_t from = dataOffset + offset;
    if (from < record.size()) {
        const auto available = static_cast<uint32_t>(record.size() - from);
        std::memcpy(dest, record.data() + from, std::min(available, count));
    }
    return true;
}

bool NtfsVolume::ReadRuns(const ClusterRunList& runs, uint8_t* dest, uint64_t offset, uint32_t count) {
    const uint64_t clusterBytes = m_boot.clusterBytes;
    if (clusterBytes == 0) return false;
    std::vector<uint8_t> block;
    uint64_t runBegin = 0;
    uint32_t done = 0;
    for (const ClusterRun& run : runs) {
        const uint64_t runBytes = clusterBytes * run.count;
        const uint64_t runEnd = runBegin + runBytes;
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
    if (wanted > UINT32_MAX || !ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(wanted), &runs)) {
        buffer.clear();
        return false;
    }
    return true;
}

bool NtfsVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    allocated = 0;
    firstSector = 0;
    if (!item || !m_pDataSource) return false;
    if (item->IsFound()) {
        allocated = (item->size + 511) / 512 * 512;
        firstSector = item->startCluster;
        return true;
    }
    const uint64_t c = m_boot.clusterBytes;
    allocated = (item->size != 0 && c != 0) ? c * (item->size / c + 1) : 0;
    // The record's real place, also when the MFT is in several pieces.
    firstSector = RecordToSector(item->startCluster, item->flags & item_flags::kVolumePosition);
    return true;
}

bool NtfsVolume::ListRegions(std::vector<DiskRegion>& regions) {
    const uint64_t total = m_boot.totalSectors;
    const uint32_t spc = m_boot.sectorsPerCluster;
    if (total == 0 || spc == 0 || m_boot.mftCluster == 0) return false;
    uint64_t last = uint64_t{spc} * m_boot.mftCluster - 1;
    regions.push_back({0, last, 12});
    for (const ClusterRun& run : m_mftRuns) {
        const uint64_t end = last + uint64_t{spc} * run.count;
        regions.push_back({last, end, 18});
        last = end;
    }
    regions.push_back({last, total, 7});
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
