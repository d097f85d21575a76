#pragma once
// Finds the physical disks, walks their master and extended boot records and
// builds the partition list that the add-data wizard shows, with drive
// letters tied to mounted drives by comparing first sectors.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/reporting.h"
#include "disk/data_source.h"
#include "disk/remote_disk.h"

namespace delvora {

struct PartitionEntry {
    std::string source;      // PHYSICALDRIVE0.., A: for the floppy
    std::string letter;      // drive letter shown to the user
    std::string label;       // volume label (floppy row only)
    std::string fsName;      // type name, or the floppy's file-system string
    std::string walkLetter;  // letter in walk order (exchanged with letter at the end)
    uint8_t typeId = 0;
    uint32_t totalSectors = 0;
    uint32_t startSector = 0;
    uint64_t sizeBytes = 0;
};

/// What the wizard keeps of a chosen list row.
struct ChosenRow {
    uint8_t typeId = 0;
    uint64_t startSector = 0;
    uint64_t totalSectors = 0;
    std::string sourceDevice;
    std::string itemName;  // e.g. C:(NTFS)
};

class DiskScan {
public:
    explicit DiskScan(const CoreContext& context = DefaultContext());

    void SetOptions(int includeFloppy, int includePartitions, int includeWholeDisks);
    /// Scans a remote machine through this interface instead of local disks.
    void SetRemote(std::shared_ptr<RemoteDisk> remote);

    /// Tries PHYSICALDRIVE0..4; answers 1 when any could be read.
    int EnumeratePhysicalDrives(std::vector<std::string>& drives);
    /// Rebuilds the list. Answers 1, or 0 when a remote call fails.
    int Scan();
    /// Walks one disk's boot records, appending its partitions. Answers 1, or
    /// 0 when the disk or an extended record is unreadable or unsigned (rows
    /// already added stay).
    int WalkDisk(const std::string& deviceName);

    const std::vector<PartitionEntry>& Entries() const { return m_entries; }
    /// A copy of an entry; an empty entry when index is out of range.
    PartitionEntry GetEntry(size_t index) const;

    /// The seven list columns of an entry: drive, file system, identifier
    /// ("%3d(0x%02X)"), start sector, total sectors, size, source; a remote
    /// machine's address follows its source as "(\\address)".
    static std::vector<std::string> RowTexts(const PartitionEntry& entry, const std::string& remoteAddress = {});
    static const std::vector<std::string>& ColumnTitles();
    static const std::vector<int>& ColumnWidths();

private:
    int WalkExtended(const uint8_t* record, uint32_t base, uint32_t current,
                     std::vector<uint32_t>& visited);
    void AppendPartition(const std::string& source, uint8_t type, uint32_t start, uint32_t count);
    int ReadSectors(const std::string& name, uint8_t* buffer, uint32_t count, uint32_t sector);
    void MatchLettersSortExchange(const std::vector<std::string>& mounted, char nextFree);
    int ScanLocal();
    int ScanRemote();

    const CoreContext* m_pContext;
    DataSource m_source;
    std::vector<PartitionEntry> m_entries;
    // Sources that would not open during this scan: each is tried once, so
    // a remote export that never answers costs one deadline, not one a read.
    std::vector<std::string> m_failedSources;
    size_t m_nOpened = 0;
    int m_bIncludeFloppy = 0;
    int m_bIncludePartitions = 1;
    int m_bIncludeWholeDisks = 0;
    char m_chNextWalkLetter = 'C';
};

/// What the add-data flow takes of a partition row: type, start and total
/// sectors, the source, and the item name "letter(file system)".
ChosenRow ChosenRowOf(const PartitionEntry& entry);

}  // namespace delvora
