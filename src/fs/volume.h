#pragma once
// One recognised file system on a data source. Everything above this line
// (views, export, searches, scripts) reaches files only through these
// operations, without knowing which kind of volume it talks to.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/reporting.h"
#include "fs/cluster_run_list.h"
#include "fs/file_tree.h"

namespace delvora {

class DataSource;

/// File-system kind codes.
enum FsKind : int { kFat12 = 1, kFat16 = 2, kFat32 = 3, kNtfs = 4, kExt2 = 5, kExfat = 6 };

/// One region of the disk map: volume-relative sectors, both ends inclusive.
struct DiskRegion {
    uint64_t first = 0;
    uint64_t last = 0;
    uint8_t kind = 0;
    bool operator==(const DiskRegion&) const = default;
};

/// An item's times in UTC with the precision its file system keeps, as
/// 100-nanosecond ticks since 1601-01-01 (0: the file system has no such
/// time). Read on request from the medium; the tree keeps DOS local times only.
struct ItemTimes {
    uint64_t created = 0;
    uint64_t modified = 0;
    uint64_t accessed = 0;
    uint64_t changed = 0;  // metadata change (NTFS MFT change, EXT2 ctime)
};

/// Item bytes [itemOffset, itemOffset + count) are the data source's bytes
/// from sourceByte on, as they are on the medium.
struct PlainStretch {
    uint64_t itemOffset = 0;
    uint64_t sourceByte = 0;
    uint64_t count = 0;
    bool operator==(const PlainStretch&) const = default;
};

/// Appends a stretch to a list in item order, joining it to the last one
/// when it continues it both in the item and on the source.
inline void AddPlainStretch(std::vector<PlainStretch>& stretches, uint64_t itemOffset, uint64_t sourceByte,
                            uint64_t count) {
    if (count == 0) return;
    if (!stretches.empty()) {
        PlainStretch& last = stretches.back();
        if (last.itemOffset + last.count == itemOffset && last.sourceByte + last.count == sourceByte) {
            last.count += count;
            return;
        }
    }
    stretches.push_back({itemOffset, sourceByte, count});
}

/// How a kind of volume behaves around its tree load (the worker protocol).
struct LoadTraits {
    bool reportErrorsAfterLoad = true;  // switch the source's error reporting back on
    int pauseMs = 0;                    // pause before the tree view is built
    bool pauseBeforeTreeTexts = false;  // pause before, not after, the tree-view texts
};

class Volume {
public:
    explicit Volume(std::unique_ptr<FileTree> tree) : m_pTree(std::move(tree)) {}
    virtual ~Volume() = default;
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // Set by detection before loading.
    void SetDataSource(DataSource* source) { m_pDataSource = source; }
    void SetStartSector(uint64_t sector) { m_dwSectorNo = sector; }
    void SetTotalSectors(uint64_t total) { m_dwTotalSectors = total; }
    void SetFatType(uint8_t code) { m_nFatType = code; }
    void SetContext(const CoreContext& context) { m_pContext = &context; }
    /// The workspace's busy flag, polled by long scans: once it drops to 0
    /// the user asked to stop. Null (the command line): never stopped.
    void SetBusyFlag(const std::atomic<int>* busy) { m_pBusy = busy; }
    bool StopRequested() const { return m_pBusy && m_pBusy->load() == 0; }
    DataSource* GetDataSource() const { return m_pDataSource; }
    uint64_t StartSector() const { return m_dwSectorNo; }
    uint64_t TotalSectors() const { return m_dwTotalSectors; }
    uint8_t FatType() const { return m_nFatType; }
    const std::string& Description() const { return m_strDescription; }
    const CoreContext& Context() const { return *m_pContext; }
    FileTree& Tree() { return *m_pTree; }

    virtual int NodeKind() const { return 2; }

    // Loading is split in two so that one worker protocol serves every kind:
    // Prepare reads the boot sector and the tables the tree needs (and sets
    // the description); LoadTree fills the tree below the root, deleted
    // entries included; ReleaseLoadTables frees what only the load needed.
    virtual bool Prepare() = 0;
    virtual bool LoadTree() = 0;
    virtual void ReleaseLoadTables() {}
    virtual LoadTraits Traits() const = 0;

    /// Searches free space for lost entries (and, with the carving options,
    /// carves web pages and documents) and puts what it found under the
    /// recycle item, replacing an earlier search's results. Kinds without a
    /// search answer false.
    virtual bool ResidualSearch() { return false; }

    FileItem* RootItem() { return &m_pTree->m_RootItem; }
    FileItem* RecycleItem() { return &m_pTree->m_RecycleItem; }

    /// Reads count bytes of an item's data from a byte offset. runs may carry
    /// the item's runs already fetched (null: fetched here).
    virtual bool ReadItemRange(FileItem* item, uint8_t* dest, uint64_t offset, uint32_t count,
                               const ClusterRunList* runs) = 0;
    virtual bool GetItemRuns(FileItem* item, ClusterRunList& runs) = 0;
    /// The stretches of an item's data, below its size, that ReadItemRange
    /// with these runs (from GetItemRuns) reads unchanged from the data
    /// source, in item order. Holes, zeros past the written length, data
    /// kept in a record and runs a read refuses are left out: callers read
    /// those through ReadItemRange. Kinds that do not tell list none.
    virtual void ListPlainStretches(FileItem* item, const ClusterRunList& runs, std::vector<PlainStretch>& stretches) {
        (void)item, (void)runs;
        stretches.clear();
    }
    /// Allocated and valid (logical) byte counts of an item with its runs.
    virtual bool GetItemSizes(FileItem* item, const ClusterRunList& runs, uint64_t& allocated,
                              uint64_t& valid) = 0;
    virtual bool GetItemSizes(FileItem* item, uint64_t& allocated, uint64_t& valid) {
        ClusterRunList runs;
        if (!GetItemRuns(item, runs)) return false;
        return GetItemSizes(item, runs, allocated, valid);
    }
    /// The whole data of an item in a new buffer of allocated bytes.
    virtual bool ReadWholeItem(FileItem* item, std::vector<uint8_t>& buffer, uint64_t& allocated,
                               uint64_t& valid) = 0;
    /// Allocated bytes and the first sector of an item's data. Sector numbers
    /// a volume answers (here, in regions, runs and ClusterToSector) count its
    /// own sectors (BytesPerSector()) from its first sector.
    virtual bool GetItemExtent(FileItem* item, uint64_t& allocated, uint64_t& firstSector) = 0;
    /// The item's exact UTC times; false when the kind or the item has none.
    virtual bool GetItemTimes(FileItem*, ItemTimes&) { return false; }
    /// How many clusters a deleted item's data is read from that another
    /// item now owns (its bytes there are someone else's); 0 when none.
    virtual uint32_t CountOverwrittenClusters(FileItem* item) { (void)item; return 0; }
    virtual bool ListRootSectors(ClusterRunList& runs) = 0;
    virtual bool ListRegions(std::vector<DiskRegion>& regions) = 0;
    virtual uint64_t FirstDataSector() const { return m_dwSectorNo; }
    /// Makes every later read of the loaded volume start from another first
    /// sector (the examiner's correction); the tree stays as loaded.
    virtual void MoveStartSector(uint64_t sector) { m_dwSectorNo = sector; }
    /// Whether an item's start cluster (FAT cluster, NTFS record, EXT2
    /// inode) names something inside this volume; 0 (no data) always does.
    virtual bool StartClusterFits(uint64_t cluster) const { return cluster == 0 || cluster <= UINT32_MAX; }
    virtual uint64_t ClusterToSector(uint64_t cluster) const = 0;
    virtual uint64_t SectorToCluster(uint64_t sector) const = 0;
    virtual uint32_t BytesPerSector() const { return 512; }
    virtual uint32_t BytesPerCluster() const = 0;
    virtual uint32_t SectorsPerCluster() const = 0;
    virtual bool ReadRaw(uint8_t* dest, uint32_t count, uint64_t position, bool allowLow) = 0;
    virtual int FileSystemKind() const = 0;
    /// Turns an item's cluster or block runs into sector runs.
    virtual bool ConvertRunsToSectors(FileItem* item, const ClusterRunList& source,
                                      ClusterRunList& sectors) = 0;

protected:
    void SetDescription(std::string text) { m_strDescription = std::move(text); }

    std::unique_ptr<FileTree> m_pTree;
    DataSource* m_pDataSource = nullptr;
    uint64_t m_dwSectorNo = 0;
    uint64_t m_dwTotalSectors = 0;
    uint8_t m_nFatType = 0;
    std::string m_strDescription;
    const CoreContext* m_pContext = &DefaultContext();
    const std::atomic<int>* m_pBusy = nullptr;
};

}  // namespace delvora
