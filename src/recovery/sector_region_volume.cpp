#include "recovery/sector_region_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/options.h"
#include "common/text_format.h"
#include "common/translation.h"
#include "disk/data_source.h"
#include "recovery/carver.h"
#include "recovery/residual_search.h"

namespace delvora {
namespace {

constexpr uint32_t kSectorBytes = 512;
// Sequential reads of 4 MiB keep the pass at the medium's streaming rate.
constexpr uint32_t kScanBlockSectors = 8192;

}  // namespace

SectorRegionVolume::SectorRegionVolume() : Volume(std::make_unique<FileTree>()) {}

bool SectorRegionVolume::Prepare() {
    RootItem()->flags |= item_flags::kDirectory;
    RecycleItem()->flags |= item_flags::kDirectory;
    SetDescription("RAW");
    return m_pDataSource && m_pDataSource->IsOpen() && m_dwTotalSectors > 0;
}

bool SectorRegionVolume::ReadSectors(uint64_t sector, uint8_t* dest, uint32_t count) {
    const uint64_t sectors = (uint64_t{count} + kSectorBytes - 1) / kSectorBytes;
    if (!m_pDataSource || sector > m_dwTotalSectors || sectors > m_dwTotalSectors - sector) return false;
    return m_pDataSource->GetData(dest, count, m_dwSectorNo + sector) != 0;
}

void SectorRegionVolume::SetCarveRuns(std::vector<std::pair<uint64_t, uint64_t>> runs, uint32_t clusterBytes) {
    m_carveRuns = std::move(runs);
    m_carveStarts.clear();
    uint64_t at = 0;
    for (const auto& run : m_carveRuns) {
        m_carveStarts.push_back(at);
        at += run.second;
    }
    m_clusterBytes = std::max<uint32_t>(clusterBytes, kSectorBytes);
}

uint64_t SectorRegionVolume::StreamSectors() const {
    if (m_carveRuns.empty()) return m_dwTotalSectors;
    return m_carveStarts.back() + m_carveRuns.back().second;
}

void SectorRegionVolume::MapStream(uint64_t first, uint64_t count, ClusterRunList& runs) const {
    if (m_carveRuns.empty()) {
        runs.AddJoined(first, count);
        return;
    }
    size_t i = static_cast<size_t>(std::upper_bound(m_carveStarts.begin(), m_carveStarts.end(), first) - m_carveStarts.begin());
    // One step per free run the stretch crosses.
    while (count > 0 && i > 0 && i - 1 < m_carveRuns.size()) {
        const auto& run = m_carveRuns[i - 1];
        const uint64_t skip = first - m_carveStarts[i - 1];
        if (skip >= run.second) break;
        const uint64_t take = std::min(count, run.second - skip);
        runs.AddJoined(run.first + skip, take);
        first += take;
        count -= take;
        ++i;
    }
}

bool SectorRegionVolume::ReadStream(uint64_t sector, uint8_t* dest, size_t bytes) {
    ClusterRunList runs;
    MapStream(sector, (bytes + kSectorBytes - 1) / kSectorBytes, runs);
    size_t done = 0;
    for (const ClusterRun& run : runs) {
        const size_t part = static_cast<size_t>(std::min<uint64_t>(run.count * kSectorBytes, bytes - done));
        if (part > UINT32_MAX || !ReadSectors(run.first, dest + done, static_cast<uint32_t>(part))) return false;
        done += part;
    }
    return done == bytes;
}

bool SectorRegionVolume::ResidualSearch() {
    if (!m_pDataSource) return false;
    const AnalysisOptions& options = Context().Options();
    Progress& progress = Context().Prog();
    try {
        Carver carver(CarveTypes(options));
        const uint64_t total = StreamSectors();
        carver.SetReader([this](uint64_t sector, uint8_t* dest, size_t bytes) { return ReadStream(sector, dest, bytes); },
                         total);
        if (!m_carveRuns.empty())
            carver.SetNameSector([this](uint64_t sector) {
                ClusterRunList runs;
                MapStream(sector, 1, runs);
                return runs.Empty() ? sector : runs[0].first;
            });
        carver.SetGapRetry(m_clusterBytes, static_cast<uint32_t>(std::max(0, options.carveMaxGap)));
        carver.SetPart(m_partFirst, m_partEnd);
        carver.SetEntry(m_entrySkip, m_entryHtml);
        std::vector<uint8_t> block(size_t{kScanBlockSectors} * kSectorBytes);
        // Positions in blocks keep the bar's 32-bit range for any size.
        progress.SetProgressRange(0, static_cast<uint32_t>(std::min<uint64_t>(total / kScanBlockSectors + 1, UINT32_MAX)));
        progress.SetProgressText(Tr("SectorRegionVolume", "查找残余文件..."));
        m_pDataSource->SetReportErrors(0);
        // Every step moves on to the next block of the whole pass's grid (a
        // part's first block begins at the part): the pass ends at the
        // region's end, or once the part needs no more sectors.
        for (uint64_t s = std::min(m_partFirst, total); carver.Enabled() && s < total && carver.NeedsSectorsFrom(s) &&
                                                        !StopRequested();
             s = (s / kScanBlockSectors + 1) * kScanBlockSectors) {
            const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kScanBlockSectors - s % kScanBlockSectors, total - s));
            progress.SetProgressPos(static_cast<uint32_t>(std::min<uint64_t>(s / kScanBlockSectors, UINT32_MAX)));
            if (!ReadStream(s, block.data(), size_t{n} * kSectorBytes)) continue;
            carver.Carve(ByteSpan(block.data(), size_t{n} * kSectorBytes), s);
        }
        m_pDataSource->SetReportErrors(1);
        if (!HangCarved(carver.HtmlHits(), carver.Files())) return false;
        m_events = carver.Events();
        m_pages = carver.HtmlHits();
        progress.SetPaneText(Format(Tr("SectorRegionVolume", "找到 %zu 个"), carver.HtmlHits().size() + carver.Files().size()));
        m_rejected = carver.Rejected();
        m_carved = carver.Files();
        // The files' sectors as the region counts them.
        for (CarvedFile& f : m_carved) {
            ClusterRunList first, gap;
            MapStream(f.startSector, 1, first);
            if (!first.Empty()) f.startSector = first[0].first;
            if (f.gapSectors) MapStream(f.gapSector, 1, gap);
            if (!gap.Empty()) f.gapSector = gap[0].first;
        }
    } catch (const std::bad_alloc&) {
        m_pDataSource->SetReportErrors(1);
        return false;
    }
    EndSearchProgress(progress);
    return true;
}

bool SectorRegionVolume::HangCarved(const std::vector<CarvedFile>& pages, const std::vector<CarvedFile>& files) {
    std::vector<FileItem> folders;
    const CarveRunMap map = [this](uint64_t first, uint64_t count, ClusterRunList& runs) { MapStream(first, count, runs); };
    if (!MakeCarvedFolders(*m_pTree, pages, files, folders, map)) return false;
    Tree().ClearTop(*RecycleItem());
    RecycleItem()->flags |= item_flags::kDirectory;
    if (!SetChildrenInOrder(*RecycleItem(), folders)) {
        for (FileItem& f : folders) FreeSubtree(f);
        return false;
    }
    return true;
}

bool SectorRegionVolume::AdoptCarved(std::vector<CarvedFile> pages, std::vector<CarvedFile> files, uint64_t rejected) {
    try {
        if (!HangCarved(pages, files)) return false;
        m_pages = std::move(pages);
        m_carved = std::move(files);
        m_rejected = rejected;
        m_events.clear();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool SectorRegionVolume::GetItemRuns(FileItem* item, ClusterRunList& runs) {
    runs.Clear();
    if (!item) return false;
    if (item->runs)
        for (const ClusterRun& run : *item->runs) runs.Add(run.first, run.count);
    return true;
}

bool SectorRegionVolume::ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                                       const ClusterRunList* runs) {
    if (!item || (!dest && count)) return false;
    if (count == 0) return true;
    try {
        ClusterRunList own;
        if (!runs) {
            GetItemRuns(item, own);
            runs = &own;
        }
        std::vector<uint8_t> buffer;
        uint64_t runStart = 0;
        uint32_t done = 0;
        // One pass over the runs, each read copying at least one byte.
        for (const ClusterRun& run : *runs) {
            if (run.count > m_dwTotalSectors || run.first > m_dwTotalSectors - run.count) return false;
            const uint64_t runEnd = runStart + run.count * kSectorBytes;
            while (done < count && offset + done < runEnd) {
                const uint64_t pos = offset + done;
                const uint64_t index = (pos - runStart) / kSectorBytes;
                const uint32_t skip = static_cast<uint32_t>((pos - runStart) % kSectorBytes);
                const uint64_t left = std::min<uint64_t>(runEnd - pos, count - done);
                const uint64_t sectors = std::min<uint64_t>((skip + left + kSectorBytes - 1) / kSectorBytes, 2048);
                buffer.resize(static_cast<size_t>(sectors * kSectorBytes));
                if (!ReadSectors(run.first + index, buffer.data(), static_cast<uint32_t>(buffer.size()))) return false;
                const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(left, buffer.size() - skip));
                std::memcpy(dest + done, buffer.data() + skip, take);
                done += take;
            }
            if (done == count) return true;
            runStart = runEnd;
        }
        return done == count;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool SectorRegionVolume::GetItemSizes(FileItem* item, const ClusterRunList&, uint64_t& allocated, uint64_t& valid) {
    if (!item) return false;
    valid = item->size;
    allocated = (item->size + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    return true;
}

bool SectorRegionVolume::ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated,
                                       uint64_t& valid) {
    if (!GetItemSizes(item, allocated, valid) || allocated > UINT32_MAX) return false;
    try {
        buffer.assign(static_cast<size_t>(allocated), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(valid), nullptr)) return true;
    buffer.clear();
    return false;
}

bool SectorRegionVolume::GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) {
    if (!item) return false;
    allocated = (item->size + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
    firstSector = item->runs && !item->runs->Empty() ? (*item->runs)[0].first : item->Address();
    return true;
}

bool SectorRegionVolume::ListRegions(std::vector<DiskRegion>& regions) {
    if (m_dwTotalSectors > 0) regions.push_back({0, m_dwTotalSectors - 1, 7});
    return true;
}

bool SectorRegionVolume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool) {
    return dest && ReadSectors(position, dest, count);
}

bool SectorRegionVolume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    if (!item) return false;
    for (const ClusterRun& run : source) sectors.AddJoined(run.first, run.count);
    return true;
}

}  // namespace delvora
