#pragma once
// An exFAT volume: the boot region (the backup one when the main one is
// damaged), the FAT, the allocation bitmap, the up-case table and the tree
// of entry sets, and the item operations over the cluster heap. Sector
// numbers it answers count its own sectors (BytesPerSector()) from its
// first sector, as on FAT.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/text_format.h"
#include "fs/exfat/exfat_boot.h"
#include "fs/exfat/exfat_entries.h"
#include "fs/fat/fat_medium.h"
#include "fs/fat/fat_table.h"
#include "fs/volume.h"

namespace delvora {

/// Map region kinds of the exFAT tables (the boot region, FATs, root and
/// heap use FAT's kinds).
inline constexpr uint8_t kRegionAllocationBitmap = 21;
inline constexpr uint8_t kRegionUpcaseTable = 24;

/// Largest directory read: 256 MiB, the format's own limit.
inline constexpr uint64_t kExfatMaxDirectoryBytes = 256u << 20;
/// A valid up-case table maps at most 65,536 units: 128 KiB uncompressed.
inline constexpr uint64_t kExfatMaxUpcaseBytes = 128u << 10;

class ExfatVolume final : public Volume {
public:
    ExfatVolume();

    bool Prepare() override;
    bool LoadTree() override;
    void ReleaseLoadTables() override;
    LoadTraits Traits() const override { return {true, 200, false}; }

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    /// Cluster runs: the FAT chain, one run for NoFatChain data, and for a
    /// deleted file the first cluster and then the clusters the bitmap
    /// shows free. A found item's runs are volume sectors.
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    using Volume::GetItemSizes;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    /// The set's times in UTC: with their 10-ms part, through their UTC
    /// offset where the set records one, else read as the host's local time.
    bool GetItemTimes(FileItem* item, ItemTimes& times) override;
    uint32_t CountOverwrittenClusters(FileItem* item) override;
    bool ListRootSectors(ClusterRunList& runs) override;
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t FirstDataSector() const override { return m_geometry.heapOffset; }
    void MoveStartSector(uint64_t sector) override;
    bool StartClusterFits(uint64_t cluster) const override { return cluster == 0 || m_geometry.ValidCluster(cluster); }
    uint64_t ClusterToSector(uint64_t cluster) const override { return m_geometry.ClusterSector(cluster); }
    uint64_t SectorToCluster(uint64_t sector) const override;
    uint32_t BytesPerSector() const override { return m_geometry.bytesPerSector; }
    uint32_t BytesPerCluster() const override { return m_geometry.clusterBytes; }
    uint32_t SectorsPerCluster() const override { return m_geometry.sectorsPerCluster; }
    /// position: a cluster number of the heap.
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return kExfat; }
    bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source, ClusterRunList& sectors) override;

    const ExfatGeometry& Geometry() const { return m_geometry; }
    /// The volume label ("" when the root has none).
    const std::string& Label() const { return m_label; }
    /// Whether the main boot region failed its checks and the backup was read.
    bool UsedBackupBoot() const { return m_usedBackup; }
    /// Whether the allocation bitmap marks a cluster in use; clusters past a
    /// short or unreadable bitmap count as in use.
    bool ClusterInUse(uint64_t cluster) const;
    /// Reads whole clusters of the heap; false outside it or on a failed read.
    bool ReadClusters(uint64_t cluster, uint8_t* dest, uint32_t clusters);
    FatMedium& Medium() { return m_medium; }
    /// Volume byte where an item's file entry lies; 0 for items without one.
    uint64_t EntryByte(const FileItem* item) const;
    /// First cluster of the allocation bitmap the volume uses (0: none).
    uint64_t BitmapCluster() const { return m_bitmapCluster; }

    /// Gives a new record of this volume its set's facts: where its file
    /// entry lies (volume byte), its valid-data length and stream flags.
    bool AttachSetFacts(FileItem& item, uint64_t entryByte, const ExfatEntrySet& set);

private:
    struct SetFacts {
        uint64_t entryByte = 0;  // volume byte of the file entry; bit 0: NoFatChain, bit 1: set in use
    };
    bool PrepareSteps();
    bool ReadBootRegion();
    bool ReadBitmap(ByteSpan entry);
    void ReadUpcase(ByteSpan entry);
    /// The clusters of a folder (root: its FAT chain), each once, bounded
    /// by the format's largest directory; folderBytes: the bytes to read.
    std::vector<uint32_t> FolderClusters(const FileItem& folder, uint64_t& folderBytes);
    /// Reads a folder's bytes and makes its children; child folders to read
    /// next are appended to pending.
    bool ReadFolder(FileItem& folder, std::vector<FileItem*>& pending);
    /// The cluster chain from first, at most `needed` clusters, cut where it
    /// leaves the heap or loops; false when it ended early.
    bool FollowChain(uint32_t first, uint64_t needed, std::vector<uint32_t>& chain);
    enum class RunsResult { Ok, ShortChain, NoItem };
    RunsResult CollectRuns(FileItem* item, ClusterRunList& runs);
    bool ReadRunBytes(const ClusterRunList& runs, bool sectorRuns, uint8_t* dest, uint64_t offset, uint32_t count);
    const SetFacts* FactsOf(const FileItem* item) const;
    bool NoFatChain(const FileItem* item) const;
    /// Whether the item's own set is in use (its FAT chain still stands),
    /// true for items without a set.
    bool SetInUse(const FileItem* item) const;
    uint64_t ValidLength(const FileItem* item) const;

    ExfatGeometry m_geometry;
    FatMedium m_medium;
    FatTable m_fat;
    std::vector<uint8_t> m_bitmap;  // bit n - 2 for cluster n
    uint64_t m_bitmapCluster = 0, m_bitmapBytes = 0;
    uint64_t m_upcaseCluster = 0, m_upcaseBytes = 0;
    std::vector<uint32_t> m_rootClusters;
    std::vector<SetFacts> m_facts;                          // link - 1 indexes it
    std::unordered_map<uint32_t, uint64_t> m_shortValid;    // link -> valid length below the size
    std::vector<uint32_t> m_visitedFolders;                 // first clusters of folders read
    std::string m_label;
    bool m_usedBackup = false;
    uint32_t m_faultLines = 0;  // rejected sets logged so far
    DosLocalTimeCache m_localTimes;
};

}  // namespace delvora
