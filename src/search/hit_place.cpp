#include "search/hit_place.h"

#include <algorithm>
#include <new>

#include "disk/data_source.h"
#include "fs/cluster_run_list.h"
#include "fs/file_item.h"
#include "fs/volume.h"

namespace delvora {
namespace {

// An NTFS record's on-disk sectors end in their update sequence number
// instead of the last two bytes the data holds there.
bool SameOutsideFixups(const std::vector<uint8_t>& record, size_t at, const std::vector<uint8_t>& data) {
    for (size_t i = 0; i < data.size(); ++i)
        if (record[at + i] != data[i] && (at + i) % 512 < 510) return false;
    return true;
}

}  // namespace

bool HitPlacer::Find(FileItem& item, uint64_t byteOffset, uint64_t& fileOffset) {
    if (&item != m_pItem) {
        m_pItem = &item;
        m_pieces.clear();
        try {
            m_bOk = Prepare(item);
        } catch (const std::bad_alloc&) {
            m_bOk = false;
        }
    }
    if (!m_bOk) return false;
    auto it = std::upper_bound(m_pieces.begin(), m_pieces.end(), byteOffset,
                               [](uint64_t byte, const Piece& piece) { return byte < piece.from; });
    if (it == m_pieces.begin()) return false;
    --it;
    if (byteOffset - it->from >= it->length) return false;
    fileOffset = it->fileOffset + (byteOffset - it->from);
    return fileOffset < item.size;
}

bool HitPlacer::Prepare(FileItem& item) {
    const uint64_t sectorBytes = m_volume.BytesPerSector(), clusterBytes = m_volume.BytesPerCluster();
    if (item.IsDirectory() || item.size == 0 || sectorBytes == 0 || m_volume.StartSector() > UINT64_MAX / 512)
        return false;
    const uint64_t origin = m_volume.StartSector() * 512;
    ClusterRunList runs, one, sectors;
    if (!m_volume.GetItemRuns(&item, runs)) return false;
    const bool inRecord = (item.flags & item_flags::kInRecord) != 0;
    uint64_t at = 0;  // the file offset of the run's first byte
    // One run a round, each converted alone so that a hole (no sectors)
    // still moves the file offset on; the file's size ends the walk early.
    for (const ClusterRun& run : runs) {
        one.Clear();
        one.Add(run.first, run.count);
        sectors.Clear();
        if (!m_volume.ConvertRunsToSectors(&item, one, sectors)) return false;
        if (sectors.Empty()) {
            if (clusterBytes == 0 || run.count > (UINT64_MAX - at) / clusterBytes) return false;
            at += run.count * clusterBytes;
        }
        for (const ClusterRun& piece : sectors) {
            if (piece.first > (UINT64_MAX - origin) / sectorBytes || piece.count > (UINT64_MAX - at) / sectorBytes)
                return false;
            const uint64_t from = origin + piece.first * sectorBytes, length = piece.count * sectorBytes;
            // The record's sectors hold the data somewhere after the record's header.
            if (inRecord) return PrepareInRecord(item, from, length);
            m_pieces.push_back({from, length, at});
            at += length;
        }
        if (at >= item.size) break;
    }
    std::sort(m_pieces.begin(), m_pieces.end(), [](const Piece& a, const Piece& b) { return a.from < b.from; });
    return !m_pieces.empty();
}

bool HitPlacer::PrepareInRecord(FileItem& item, uint64_t recordFrom, uint64_t recordBytes) {
    DataSource* source = m_volume.GetDataSource();
    // A record is a few KiB; anything larger is no record.
    if (!source || recordFrom % 512 || recordBytes > 65536 || item.size > recordBytes) return false;
    std::vector<uint8_t> record(static_cast<size_t>(recordBytes)), data(static_cast<size_t>(item.size));
    if (!source->GetData(record.data(), static_cast<uint32_t>(record.size()), recordFrom / 512) ||
        !m_volume.ReadItemRange(&item, data.data(), 0, static_cast<uint32_t>(data.size()), nullptr))
        return false;
    // The data attribute comes after the name attributes: the last place
    // that holds the data is taken. Each round moves one byte back.
    for (size_t at = record.size() - data.size() + 1; at-- > 0;) {
        if (SameOutsideFixups(record, at, data)) {
            m_pieces.push_back({recordFrom + at, data.size(), 0});
            return true;
        }
    }
    return false;
}

}  // namespace delvora
