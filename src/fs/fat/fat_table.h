#pragma once
// The first FAT of a volume: which cluster follows which. During the tree
// load the whole FAT sits in memory so that the directory walk makes no FAT
// reads; afterwards lookups read two sectors at a time into a small window
// (two, so that a FAT12 entry spanning a sector boundary is read whole).
#include <array>
#include <cstdint>
#include <vector>

#include "common/reporting.h"
#include "disk/data_source.h"

namespace delvora {

class FatTable {
public:
    void SetKind(int kind) { m_nKind = kind; }
    int Kind() const { return m_nKind; }
    void SetDataSource(DataSource* source) { m_pDataSource = source; ReleaseAllBuffer(); }
    void SetStartSector(uint32_t sector) { m_dwSectorNo = sector; ReleaseAllBuffer(); }
    /// Takes the boot block; ReadBpb then answers true without reading.
    void SetBootParams(const FatBootParams& params);
    const FatBootParams& BootParams() const { return m_bpb; }
    /// Caps the FAT bytes read into memory (entries past the data area's
    /// clusters are never followed). 0: no cap.
    void SetUsefulBytes(uint64_t bytes) { m_nUsefulBytes = bytes; }

    /// Reads the volume's first sector unless the boot block was given.
    bool ReadBpb();
    /// Reads the first FAT whole, 512 bytes at a time; an unreadable sector
    /// is zero-filled and logged ("Read FAT Error %d"). False when the FAT
    /// size is 0 or memory fails.
    bool ReadAllBuffer(Log& log);
    /// Drops the whole FAT; lookups go through the two-sector window.
    void ReleaseAllBuffer();
    bool HasAllBuffer() const { return m_bAllBuffer; }

    /// The FAT entry of cluster n (FAT32 unmasked), or 0 when it cannot be had.
    uint32_t NextCluster(uint32_t n);

    /// Serves the FAT from memory (tests, fuzzing): the whole-FAT mode
    /// without a medium.
    void SetAllBuffer(std::vector<uint8_t> fat);

private:
    uint32_t FatSize() const;
    uint32_t ReservedSectors() const;
    uint32_t EntryAt(const uint8_t* p, size_t available, uint32_t n) const;

    DataSource* m_pDataSource = nullptr;
    uint32_t m_dwSectorNo = 0;
    std::array<uint8_t, 1024> m_window{};
    std::vector<uint8_t> m_allBuffer;
    int64_t m_nWindow = -1;
    int m_nKind = 0;
    FatBootParams m_bpb{};
    bool m_bBpbGiven = false;
    bool m_bAllBuffer = false;
    uint64_t m_nUsefulBytes = 0;
};

}  // namespace delvora
