#include "fs/fat/fat_volume.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/text_format.h"
#include "fs/fat/fat_directory.h"

namespace delvora {

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
    switch (m_nFatType) {
        case 1: SetDescription("FAT12"); break;
        case 2: SetDescription("FAT16"); break;
        case 3: SetDescription("FAT32"); break;
        default: SetDescription(""); break;
    }
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
    m_fat.SetKind(m_nFatType);
    m_fat.SetDataSource(m_pDataSource);
    m_fat.SetStartSector(m_dwSectorNo);
    m_fat.SetBootParams(m_pDataSource->GetFat_BPB());
    m_pDataSource->SetReportErrors(0);
    if (!m_fat.ReadBpb()) log.AppendLog("!m_pFat->ReadBpb()");

    const GeometryResult geometry = ComputeFatGeometry(ParseFatBootParams(m_fat.BootParams()), m_nFatType, m_geometry);

    // Clusters past the end of the medium cannot be read: a boot sector that
    // claims more must not make us read or hold a FAT for them.
    uint64_t usableClusters = m_geometry.clusterCount;
    if (const uint64_t mediumSectors = m_pDataSource->SizeBytes() / 512) {
        const uint64_t dataFirst = uint64_t{m_dwSectorNo} + m_geometry.dataStart;
        const uint64_t spc = std::max<uint32_t>(1, m_geometry.sectorsPerCluster);
        usableClusters = std::min(usableClusters, mediumSectors > dataFirst ? (mediumSectors - dataFirst) / spc : 0);
    }
    m_fat.SetUsefulBytes(FatBytesNeeded(m_nFatType, static_cast<uint32_t>(usableClusters)));
    if (!m_fat.ReadAllBuffer(log)) log.AppendLog("!m_pFat->ReadAllBuffer()");

    if (geometry == GeometryResult::DamagedBoot) {
        notify.Message("DOS引导记录区损坏,请重建!");
        return false;
    }
    if (geometry == GeometryResult::UnknownKind) {
        notify.Message("还没写呢");
        return false;
    }
    m_pFatTree->Attach(m_pDataSource, &m_fat, m_dwSectorNo, m_geometry, Context());
    if (m_nFatType == 3) {
        m_rootClusters = m_pFatTree->DirectoryChain(m_geometry.rootCluster, m_pFatTree->MaxDirectoryClusters(), false);
        const uint64_t rootEnd =
            uint64_t{m_geometry.dataStart} + uint64_t{std::max<size_t>(1, m_rootClusters.size())} * m_geometry.sectorsPerCluster;
        m_geometry.rootEnd = static_cast<uint32_t>(std::min<uint64_t>(rootEnd, UINT32_MAX));
        m_geometry.rootEntries = static_cast<uint32_t>(m_rootClusters.size() * m_geometry.clusterBytes / kFatEntryBytes);
        m_pFatTree->Attach(m_pDataSource, &m_fat, m_dwSectorNo, m_geometry, Context());
        for (uint32_t c : m_rootClusters) m_pFatTree->MarkVisited(c);
        RootItem()->startCluster = m_geometry.rootCluster;
    }
    if (m_geometry.rootEnd <= m_geometry.rootStart) {
        notify.Message("计算错误1!");
        return false;
    }
    const uint64_t bitmapClusters = std::min<uint64_t>(m_geometry.bitmapClusters, usableClusters + 2);
    if (!m_pTree->AllocateBitmap(static_cast<size_t>(bitmapClusters / 8 + 1))) {
        notify.Message("分配簇使用位图失败!");
        return false;
    }
    return ReadRootDirectory();
}

bool FatVolume::ReadRootDirectory() {
    Log& log = Context().Logger();
    m_rootBuffer.clear();
    if (m_nFatType != 3) {
        const uint32_t sectors = m_geometry.rootEnd - m_geometry.rootStart;
        m_rootBuffer.assign(size_t{sectors} * 512, 0);
        for (uint32_t k = 0; k < sectors; ++k) {
            const uint32_t sector = m_dwSectorNo + m_geometry.rootStart + k;
            if (!m_pDataSource->GetData(&m_rootBuffer[size_t{k} * 512], 512, sector)) {
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

uint64_t FatVolume::ClusterToSector(uint64_t cluster) const {
    if (cluster < 2) return m_geometry.dataStart;
    return m_geometry.dataStart + m_geometry.sectorsPerCluster * (cluster - 2);
}

uint64_t FatVolume::SectorToCluster(uint64_t sector) const {
    if (m_geometry.sectorsPerCluster == 0) return 0;
    if (sector < m_geometry.dataStart) return 2;
    return (sector - m_geometry.dataStart) / m_geometry.sectorsPerCluster + 2;
}

bool FatVolume::ListRootSectors(ClusterRunList& runs) {
    if (m_nFatType != 3) {
        const uint32_t sectors = m_geometry.rootEntries / 16;
        for (uint32_t s = m_geometry.dataStart - sectors; s < m_geometry.dataStart; ++s) runs.Add(s, 1);
        return true;
    }
    const auto chain = m_pFatTree->DirectoryChain(m_geometry.rootCluster, m_pFatTree->MaxDirectoryClusters(), false);
    for (uint32_t c : chain)
        for (uint32_t k = 0; k < m_geometry.sectorsPerCluster; ++k) runs.Add(ClusterToSector(c) + k, 1);
    return true;
}

bool FatVolume::ListRegions(std::vector<DiskRegion>& regions) {
    const FatGeometry& g = m_geometry;
    if (g.sectorsPerCluster == 0) return false;
    const uint32_t fatStart = g.reservedSectors;
    if (fatStart > 0) regions.push_back({0, fatStart - 1, 1});
    if (g.fatSize > 0) {
        regions.push_back({fatStart, fatStart + g.fatSize - 1, 2});
        regions.push_back({fatStart + g.fatSize, fatStart + 2 * g.fatSize - 1, 3});
    }
    if (m_nFatType != 3) {
        if (g.dataStart > g.rootStart) regions.push_back({g.rootStart, g.dataStart - 1, 6});
    } else {
        const uint32_t first = ClusterToSector(g.rootCluster);
        regions.push_back({first, first + g.sectorsPerCluster - 1, 6});
    }
    if (g.totalSectors > g.dataStart) regions.push_back({g.dataStart, g.totalSectors - 1, 7});
    return true;
}

bool FatVolume::ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) {
    if (!dest || !m_pDataSource) return false;
    if (position < 2 && !allowLow) return false;
    // Below cluster 2 (allowed on request) the position reaches back before
    // the data area; it must not wrap past the volume's first sector.
    if (position > UINT32_MAX) return false;
    const int64_t sector = static_cast<int64_t>(m_dwSectorNo) + m_geometry.dataStart +
                           int64_t{m_geometry.sectorsPerCluster} * (static_cast<int64_t>(position) - 2);
    if (sector < 0) return false;
    return m_pDataSource->GetData(dest, count, static_cast<uint64_t>(sector)) != 0;
}

}  // namespace delvora
