#include "fs/fat/fat_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_format.h"
#include "common/translation.h"
#include "fs/fat/fat_directory.h"

namespace delvora {
namespace {

const char* KindName(int kind) { return kind == 1 ? "FAT12" : kind == 2 ? "FAT16" : kind == 3 ? "FAT32" : ""; }

}  // namespace

FatVolume::FatVolume() : Volume(std::make_unique<FatFileTree>()) {
    m_pFatTree = static_cast<FatFileTree*>(m_pTree.get());
}

bool FatVolume::Prepare() {
    try {
        return PrepareSteps();
    } catch (const std::bad_alloc&) {
        Context().Logger().AppendLog("!FatVolume::Prepare(): out of memory");
        return false;
    }
}

bool FatVolume::PrepareSteps() {
    Log& log = Context().Logger();
    Notifier& notify = Context().Notify();
    m_pTree->Destroy();
    SetDescription(KindName(m_nFatType));
    if (!m_pDataSource) {
        log.AppendLog("m_pDataSource==NULL || m_pFat==NULL");
        return false;
    }
    if (!m_pDataSource->IsOpen()) {
        log.AppendLog("m_pDataSource->IsOpen()");
        return false;
    }
    if (!m_pDataSource->ReadFat_BPB(m_dwSectorNo)) {
        log.AppendLog("!m_pDataSource->ReadFat_BPB(m_dwSectorNo)");
        return false;
    }

    RootItem()->flags |= item_flags::kDirectory;
    RecycleItem()->flags |= item_flags::kDirectory;
    m_pDataSource->SetReportErrors(0);

    // The boot sector, not the partition type, tells which FAT this is: a
    // FAT32 volume in a FAT16 partition (or with few clusters) is FAT32.
    const FatBootFields fields = ParseFatBootParams(m_pDataSource->GetFat_BPB());
    m_nFatType = static_cast<uint8_t>(FatKindOf(fields));
    SetDescription(KindName(m_nFatType));
    if (ComputeFatGeometry(fields, m_nFatType, m_geometry) != GeometryResult::Ok) {
        notify.Message(Tr("FatVolume", "DOS引导记录区损坏,请重建!"));
        return false;
    }
    m_medium = FatMedium(m_pDataSource, m_dwSectorNo, m_geometry.bytesPerSector);

    // A boot sector may claim far more than the medium holds: the FAT is
    // read only for the clusters the kind can number and only as far as the
    // medium goes, and the bitmap covers only clusters on the medium.
    uint64_t usableClusters = m_geometry.clusterCount;
    uint64_t fatBytes = std::min(m_geometry.FatBytes(), FatBytesNeeded(m_nFatType, m_geometry.clusterCount));
    if (const uint64_t onSource = m_medium.SectorsOnSource(); onSource != UINT64_MAX) {
        usableClusters = std::min<uint64_t>(
            usableClusters,
            onSource > m_geometry.dataStart ? (onSource - m_geometry.dataStart) / m_geometry.sectorsPerCluster : 0);
        const uint64_t fatSectorsOnSource =
            onSource > m_geometry.reservedSectors ? onSource - m_geometry.reservedSectors : 0;
        fatBytes = std::min(fatBytes, fatSectorsOnSource * m_geometry.bytesPerSector);
    }
    m_fat.SetKind(m_nFatType);
    m_fat.Attach(m_medium, m_geometry.reservedSectors, fatBytes, &log);
    if (!m_fat.ReadAllBuffer()) log.AppendLog("!m_pFat->ReadAllBuffer()");

    m_pFatTree->Attach(m_medium, &m_fat, m_geometry, Context());
    if (m_nFatType == 3) {
        m_rootClusters = m_pFatTree->DirectoryChain(m_geometry.rootCluster, m_pFatTree->MaxDirectoryClusters(), false);
        m_geometry.rootEnd = m_geometry.dataStart +
                             uint64_t{std::max<size_t>(1, m_rootClusters.size())} * m_geometry.sectorsPerCluster;
        m_geometry.rootEntries = static_cast<uint32_t>(m_rootClusters.size() * m_geometry.clusterBytes / kFatEntryBytes);
        m_pFatTree->Attach(m_medium, &m_fat, m_geometry, Context());
        for (uint32_t c : m_rootClusters) m_pFatTree->MarkVisited(c);
        RootItem()->startCluster = m_geometry.rootCluster;
    }
    if (m_geometry.rootEnd <= m_geometry.rootStart) {
        notify.Message(Tr("FatVolume", "计算错误1!"));
        return false;
    }
    // One bit for each cluster number the volume can have, no more.
    if (!m_pTree->AllocateBitmap(static_cast<size_t>((usableClusters + 2 + 7) / 8))) {
        notify.Message(Tr("FatVolume", "分配簇使用位图失败!"));
        return false;
    }
    // The FAT32 root's clusters hold a loaded folder like any other.
    for (uint32_t c : m_rootClusters) m_pTree->SetBit(c, true);
    return ReadRootDirectory();
}

bool FatVolume::ReadRootDirectory() {
    Log& log = Context().Logger();
    m_rootBuffer.clear();
    if (m_nFatType != 3) {
        const uint64_t sectors = FixedRootSectors();
        const uint32_t bps = m_geometry.bytesPerSector;
        m_rootBuffer.assign(static_cast<size_t>(sectors * bps), 0);
        // Sector by sector: the root is at most 65,535 entries, and any
        // sector of it that cannot be read stops the load.
        for (uint64_t k = 0; k < sectors; ++k) {
            if (!m_medium.Read(m_geometry.rootStart + k, &m_rootBuffer[static_cast<size_t>(k * bps)], bps)) {
                std::vector<uint8_t>().swap(m_rootBuffer);
                log.AppendLog("!m_pDataSource->GetData(&buf[dwBufIndex],512,dw)");
                return false;
            }
        }
        return true;
    }
    const uint32_t cb = m_geometry.clusterBytes;
    m_rootBuffer.assign(m_rootClusters.size() * cb, 0);
    for (size_t i = 0; i < m_rootClusters.size(); ++i) {
        if (!ReadCluster(m_rootClusters[i], &m_rootBuffer[i * cb])) {
            log.AppendLog("!m_pDataSource->GetData(&buf[dwBufIndex],dwClustorByte,dw)");
            // Entries of 0x09 bytes read as volume labels and are skipped.
            std::memset(&m_rootBuffer[i * cb], 0x09, cb);
        }
    }
    return true;
}

bool FatVolume::LoadTree() {
    try {
        if (!m_pFatTree->GetSubDirector(*RootItem(), m_rootBuffer))
            Context().Logger().AppendLog("!GetSubDirector(&m_RootItem,(DIRECTOR_ITEM*)buf,dwRootItemCount)");
        std::vector<uint8_t>().swap(m_rootBuffer);
        m_pFatTree->WalkSubfolders();
    } catch (const std::bad_alloc&) {
        Context().Logger().AppendLog("!FatVolume::LoadTree(): out of memory");
    }
    m_bootParams = m_pDataSource ? m_pDataSource->GetFat_BPB() : FatBootParams{};
    return true;
}

void FatVolume::ReleaseLoadTables() {
    m_fat.ReleaseAllBuffer();
    m_pFatTree->ReleaseScratch();
    std::vector<uint8_t>().swap(m_rootBuffer);
}

uint64_t FatVolume::ClusterToSector(uint64_t cluster) const { return m_geometry.ClusterSector(cluster); }

uint64_t FatVolume::SectorToCluster(uint64_t sector) const {
    if (m_geometry.sectorsPerCluster == 0) return 0;
    if (sector < m_geometry.dataStart) return 2;
    return (sector - m_geometry.dataStart) / m_geometry.sectorsPerCluster + 2;
}

bool FatVolume::ListRootSectors(ClusterRunList& runs) {
    if (m_geometry.sectorsPerCluster == 0) return false;
    if (m_nFatType != 3) {
        if (FixedRootSectors() > 0) runs.Add(m_geometry.rootStart, FixedRootSectors());
        return true;
    }
    for (uint32_t c : m_pFatTree->DirectoryChain(m_geometry.rootCluster, m_pFatTree->MaxDirectoryClusters(), false))
        runs.AddJoined(ClusterToSector(c), m_geometry.sectorsPerCluster);
    return true;
}

bool FatVolume::ListRegions(std::vector<DiskRegion>& regions) {
    const FatGeometry& g = m_geometry;
    if (g.sectorsPerCluster == 0) return false;
    const uint64_t fatStart = g.reservedSectors;
    if (fatStart > 0) regions.push_back({0, fatStart - 1, 1});
    if (g.fatSize > 0) {
        // The first FAT, then its copies (at most 255).
        for (uint32_t copy = 0; copy < g.fatCount; ++copy) {
            const uint64_t first = fatStart + uint64_t{copy} * g.fatSize;
            regions.push_back({first, first + g.fatSize - 1, static_cast<uint8_t>(copy == 0 ? 2 : 3)});
        }
    }
    if (m_nFatType != 3) {
        if (g.dataStart > g.rootStart) regions.push_back({g.rootStart, g.dataStart - 1, 6});
    } else {
        const uint64_t first = ClusterToSector(g.rootCluster);
        regions.push_back({first, first + g.sectorsPerCluster - 1, 6});
    }
    // Whole clusters only: sectors after the last one belong to no cluster.
    if (g.clusterCount > 0)
        regions.push_back({g.dataStart, g.dataStart + uint64_t{g.clusterCount} * g.sectorsPerCluster - 1, 7});
    return true;
}

void FatVolume::MoveStartSector(uint64_t sector) {
    m_dwSectorNo = sector;
    if (!m_pDataSource || m_geometry.bytesPerSector == 0) return;
    // Three readers hold the medium: the volume, its FAT and its tree.
    m_medium = FatMedium(m_pDataSource, sector, m_geometry.bytesPerSector);
    m_fat.MoveMedium(m_medium);
    m_pFatTree->MoveMedium(m_medium);
}

bool FatVolume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) {
    if (!dest || !m_pDataSource || m_geometry.sectorsPerCluster == 0) return false;
    if (position < 2 && !allowLow) return false;
    const uint64_t spc = m_geometry.sectorsPerCluster;
    uint64_t sector = 0;
    if (position >= 2) {
        if (position - 2 > (UINT64_MAX - m_geometry.dataStart) / spc) return false;
        sector = m_geometry.dataStart + spc * (position - 2);
    } else {
        // Below cluster 2 the position reaches back before the data area;
        // it must not wrap past the volume's first sector.
        const uint64_t back = spc * (2 - position);
        if (back > m_geometry.dataStart) return false;
        sector = m_geometry.dataStart - back;
    }
    return m_medium.Read(sector, dest, count);
}

bool FatVolume::ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) {
    if (!item || m_geometry.sectorsPerCluster == 0) return false;
    if (item->IsFound()) {
        for (const ClusterRun& run : source) sectors.AddJoined(run.first, run.count);
        return true;
    }
    if (IsFixedRoot(item)) {
        if (FixedRootSectors() > 0) sectors.Add(m_geometry.rootStart, FixedRootSectors());
        return true;
    }
    for (const ClusterRun& run : source) {
        // Runs from a caller are checked: clusters of the data area only.
        if (!m_geometry.ValidCluster(run.first) || run.count > uint64_t{m_geometry.clusterCount} + 2 - run.first)
            return false;
        sectors.AddJoined(ClusterToSector(run.first), run.count * m_geometry.sectorsPerCluster);
    }
    return true;
}

}  // namespace delvora
