#pragma once
// A FAT12, FAT16 or FAT32 volume: boot sector, geometry, the first FAT and
// the directory tree, and the item operations over its clusters. Every
// sector number this volume answers (extents, regions, root sectors, found
// items' runs, ClusterToSector) counts its own logical sectors
// (BytesPerSector()) from its first sector.
#include <cstdint>
#include <vector>

#include "common/text_format.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_file_tree.h"
#include "fs/fat/fat_medium.h"
#include "fs/fat/fat_table.h"
#include "fs/volume.h"

namespace delvora {

class FatVolume final : public Volume {
public:
    FatVolume();

    /// Reads the boot sector, whose fields (not the partition type) decide
    /// FAT12, FAT16 or FAT32, then the FAT and the root directory.
    bool Prepare() override;
    bool LoadTree() override;
    void ReleaseLoadTables() override;
    LoadTraits Traits() const override { return {true, 200, false}; }

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    /// Cluster runs; a found item's runs are volume sectors, and a FAT12/16
    /// root (outside the clusters) has none.
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    uint32_t CountOverwrittenClusters(FileItem* item) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    /// The entry's local times as UTC through the host's time zone (TZ
    /// honoured); creation keeps its 10-millisecond part.
    bool GetItemTimes(FileItem* item, ItemTimes& times) override;
    bool ListRootSectors(ClusterRunList& runs) override;
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t FirstDataSector() const override { return m_geometry.dataStart; }
    void MoveStartSector(uint64_t sector) override;
    bool StartClusterFits(uint64_t cluster) const override { return cluster == 0 || m_geometry.ValidCluster(cluster); }
    uint64_t ClusterToSector(uint64_t cluster) const override;
    uint64_t SectorToCluster(uint64_t sector) const override;
    uint32_t BytesPerSector() const override { return m_geometry.bytesPerSector; }
    uint32_t BytesPerCluster() const override { return m_geometry.clusterBytes; }
    uint32_t SectorsPerCluster() const override { return m_geometry.sectorsPerCluster; }
    /// position: a cluster number; below 2 (with allowLow) reaches back
    /// before the data area, never before the volume's first sector.
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return m_nFatType; }
    bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) override;

    const FatGeometry& Geometry() const { return m_geometry; }
    FatTable& Fat() { return m_fat; }
    FatFileTree& FatTree() { return *m_pFatTree; }
    /// The boot block taken from the data source after a successful load.
    const FatBootParams& BootParams() const { return m_bootParams; }

private:
    bool PrepareSteps();
    bool ReadRootDirectory();
    /// True for the FAT12/16 root, which lives in its own region.
    bool IsFixedRoot(const FileItem* item) { return item == RootItem() && m_nFatType != 3; }
    uint64_t FixedRootSectors() const { return m_geometry.dataStart - m_geometry.rootStart; }
    /// Reads whole clusters (consecutive ones) into dest; false for a
    /// cluster outside the data area or a failed read.
    bool ReadCluster(uint32_t cluster, uint8_t* dest, uint32_t clusters = 1);
    /// Reads bytes [offset, offset + count) of the data that runs describe:
    /// clusters, or volume sectors when sectorRuns. report: a failed read
    /// shows "获取数据错!".
    bool ReadRunBytes(const ClusterRunList& runs, bool sectorRuns, uint8_t* dest, uint64_t offset, uint32_t count,
                      bool report);
    /// Cluster list of an item by the run rules, without any message.
    enum class RunsResult { Ok, ShortChain, NoItem };
    RunsResult CollectRuns(FileItem* item, ClusterRunList& runs);
    /// A file of a folder the residual search found keeps its chain when the
    /// FAT still holds one of exactly `needed` clusters that ends with an
    /// end-of-chain mark; false (runs empty) otherwise.
    bool CollectFoundFolderChain(FileItem* item, uint64_t needed, ClusterRunList& runs);
    /// The first cluster, then the free clusters after it, needed in all.
    void CollectFreeClusters(uint32_t first, uint64_t needed, ClusterRunList& runs);
    FatFileTree* m_pFatTree;
    FatTable m_fat;
    FatMedium m_medium;
    FatGeometry m_geometry;
    FatBootParams m_bootParams{};
    std::vector<uint8_t> m_rootBuffer;
    std::vector<uint32_t> m_rootClusters;  // FAT32 root chain
    DosLocalTimeCache m_localTimes;
};

}  // namespace delvora
