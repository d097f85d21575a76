#pragma once
// A FAT12, FAT16 or FAT32 volume: boot sector, geometry, the first FAT and
// the directory tree, and the item operations over its clusters.
#include <cstdint>
#include <vector>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_file_tree.h"
#include "fs/fat/fat_table.h"
#include "fs/volume.h"

namespace delvora {

class FatVolume final : public Volume {
public:
    FatVolume();

    bool Prepare() override;
    bool LoadTree() override;
    void ReleaseLoadTables() override;
    LoadTraits Traits() const override { return {true, 200, false}; }

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    bool ListRootSectors(ClusterRunList& runs) override;
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t FirstDataSector() const override { return m_geometry.dataStart; }
    uint64_t ClusterToSector(uint64_t cluster) const override;
    uint64_t SectorToCluster(uint64_t sector) const override;
    uint32_t BytesPerCluster() const override { return m_geometry.clusterBytes; }
    uint32_t SectorsPerCluster() const override { return m_geometry.sectorsPerCluster; }
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return m_nFatType; }
    bool ConvertRunsToSectors(FileItem*, const ClusterRunList&, ClusterRunList&) override { return true; }

    const FatGeometry& Geometry() const { return m_geometry; }
    FatTable& Fat() { return m_fat; }
    FatFileTree& FatTree() { return *m_pFatTree; }
    /// The boot block taken from the data source after a successful load.
    const FatBootParams& BootParams() const { return m_bootParams; }

private:
    bool PrepareSteps();
    bool ReadRootDirectory();
    /// Reads one cluster (whole) into dest; false for a cluster outside the
    /// data area or a failed read.
    bool ReadCluster(uint32_t cluster, uint8_t* dest, uint32_t clusters = 1);
    /// Cluster list of an item by the run rules, without any message.
    enum class RunsResult { Ok, ShortChain, NoItem };
    RunsResult CollectRuns(FileItem* item, ClusterRunList& runs);

    FatFileTree* m_pFatTree;
    FatTable m_fat;
    FatGeometry m_geometry;
    FatBootParams m_bootParams{};
    std::vector<uint8_t> m_rootBuffer;
    std::vector<uint32_t> m_rootClusters;  // FAT32 root chain
};

}  // namespace delvora
