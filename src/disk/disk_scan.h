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
    /// The type byte; a GPT row's is that of the file system found in it
    /// (or the byte its type GUID stands for), since GPT has none.
    uint8_t typeId = 0;
    uint64_t totalSectors = 0;  // in the disk's logical sectors
    uint64_t startSector = 0;   // in the disk's logical sectors
    uint64_t sizeBytes = 0;
    uint32_t sectorSize = 512;  // the disk's logical sector size
    std::string scheme;         // "mbr" or "gpt"; empty for floppy and whole-disk rows
    std::string typeGuid;       // GPT rows: the entry's type GUID,
    std::string partitionGuid;  // its own GUID
    std::string name;           // and its name
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
    /// Walks one disk's partition table, appending its partitions: the GPT
    /// when the master boot record holds a protective entry and the GPT is
    /// sound, else the boot records. Answers 1, or 0 when the disk or an
    /// extended record is unreadable or unsigned (rows already added stay).
    int WalkDisk(const std::string& deviceName);
    /// Damage the walks met (a GPT read from its backup, entries left out),
    /// one line each; each is also logged.
    const std::vector<std::string>& Notes() const { return m_notes; }

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
    void AppendPartition(const std::string& source, uint8_t type, uint64_t start, uint64_t count);
    bool WalkGpt(const std::string& deviceName, uint32_t sectorSizeHint);
    void Note(const std::string& text);
    /// The logical sector size a device name is known to have: the device
    /// map's or --sector-size, else what the opened medium reports; 0 when
    /// only the partition table can tell.
    uint32_t SectorSizeHint(const std::string& deviceName) const;
    int ReadSectors(const std::string& name, uint8_t* buffer, uint32_t count, uint64_t sector);
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
    uint32_t m_nSectorSize = 512;  // of the disk being walked
    std::vector<std::string> m_notes;
};

/// The first 512-byte unit of a row on its source: what volumes address.
uint64_t FirstUnitOf(const PartitionEntry& entry);

/// What the add-data flow takes of a partition row: type, start and total
/// sectors (in 512-byte units, which volumes and case files count in,
/// whatever the disk's logical sector size), the source, and the item name
/// "letter(file system)".
ChosenRow ChosenRowOf(const PartitionEntry& entry);

}  // namespace delvora
