#pragma once
// An NTFS volume: the Master File Table read into a tree of items, live and
// deleted, and the item operations (runs, sizes, data) over it.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "fs/ntfs/ntfs_attribute_info.h"
#include "disk/data_source.h"
#include "fs/ntfs/ntfs_boot.h"
#include "fs/ntfs/ntfs_file_facts.h"
#include "fs/volume.h"

namespace delvora {

class NtfsFileTree final : public FileTree {};

class NtfsVolume final : public Volume {
public:
    NtfsVolume();

    bool Prepare() override;
    bool LoadTree() override;
    void ReleaseLoadTables() override;
    LoadTraits Traits() const override { return {true, 300, true}; }

    bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                       const ClusterRunList* runs) override;
    bool GetItemRuns(FileItem* item, ClusterRunList& runs) override;
    void ListPlainStretches(FileItem* item, const ClusterRunList& runs, std::vector<PlainStretch>& stretches) override;
    /// Sizes from the runs given; items held in their record succeed even
    /// when the runs cover less than the size.
    bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemSizes(FileItem* item, uint64_t& allocated, uint64_t& valid) override;
    bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated, uint64_t& valid) override;
    bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) override;
    /// $STANDARD_INFORMATION's times of the item's record (the root: record
    /// 5); false for found items and records without them.
    bool GetItemTimes(FileItem* item, ItemTimes& times) override;
    bool ListRootSectors(ClusterRunList&) override { return true; }
    bool ListRegions(std::vector<DiskRegion>& regions) override;
    uint64_t ClusterToSector(uint64_t cluster) const override;
    uint64_t SectorToCluster(uint64_t sector) const override;
    uint32_t BytesPerCluster() const override { return m_boot.clusterBytes; }
    uint32_t SectorsPerCluster() const override { return m_boot.sectorsPerCluster; }
    bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) override;
    int FileSystemKind() const override { return kNtfs; }
    bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source,
                              ClusterRunList& sectors) override;

    /// Volume-relative first sector (512-byte units) of an MFT record,
    /// following the MFT's runs; with the volume-position flag the number is
    /// a position in record-size units. 0 when the record lies outside the MFT.
    uint64_t RecordToSector(uint64_t record, bool volumePosition) const;

    /// Reads the base record at a volume-relative sector and, when it has an
    /// attribute list, the extension records the list names whose base
    /// reference is number; the $DATA pieces end up joined in runs. Names
    /// found in extension records go to extensionNames when given. False
    /// when the base record cannot be read or is torn.
    bool CollectFile(uint64_t sector, uint64_t number, NtfsFileFacts& facts, ClusterRunList& runs,
                     std::vector<NtfsNameFact>* extensionNames);

    const NtfsBootInfo& Boot() const { return m_boot; }
    const ClusterRunList& MftRuns() const { return m_mftRuns; }
    uint32_t RecordBytes() const { return m_boot.recordBytes; }
    /// Capacity of the record table of the last load.
    uint32_t RecordCapacity() const { return m_dwCapacity; }
    /// Where the next load stores item names (the process-wide pool unless
    /// a caller that loads many volumes in one process keeps its own).
    void SetNamePool(NamePool& names) { m_pNames = &names; }

private:
    // Reads one record at a volume-relative sector into a fixed-up copy.
    bool ReadRecord(uint64_t sector, std::vector<uint8_t>& record);
    bool ReadMft(NtfsLoadTables& tables);
    bool ReadMftExtensions();
    void ResolveAttributeLists(NtfsLoadTables& tables);
    bool BuildTree(NtfsLoadTables& tables);
    bool ReadItemFacts(FileItem* item, NtfsFileFacts& facts, ClusterRunList& runs);
    bool ReadResident(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count);
    bool ReadFound(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count);
    // Reads from runs; holes give zeros.
    bool ReadRuns(const ClusterRunList& runs, uint8_t* dest, uint64_t offset, uint32_t count);
    // The same for an item's data: bytes from initialized up to size are zeros.
    bool ReadData(const ClusterRunList& runs, uint8_t* dest, uint64_t offset, uint32_t count,
                  uint64_t initialized, uint64_t size);
    // The initialized length of an item's data, remembered for the last item asked.
    bool InitializedLength(FileItem* item, uint64_t& initialized);
    bool Sizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated, uint64_t& valid,
               bool acceptInRecord);

    NtfsBootParams m_bootBytes{};
    NtfsBootInfo m_boot;
    ClusterRunList m_mftRuns;
    uint64_t m_nUsableSectors = 0;   // total sectors bounded by what the source holds
    uint32_t m_dwCapacity = 0;
    std::unique_ptr<NtfsLoadTables> m_pTables;
    // The last item whose initialized length was read: a copy reads one item
    // chunk by chunk with runs fetched once, and each chunk needs that length.
    std::mutex m_initializedMutex;
    const FileItem* m_pInitializedItem = nullptr;
    uint64_t m_nInitializedRecord = 0;
    uint64_t m_nInitialized = 0;
    NamePool* m_pNames = &NamePool::Global();
};

}  // namespace delvora
