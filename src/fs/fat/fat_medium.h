#pragma once
// Reads of a FAT volume's logical sectors. The volume counts sectors of its
// boot sector's size (512 to 4,096 bytes) from its own first sector; the
// data source counts 512-byte units from the start of the disk. This is the
// one place where one becomes the other.
#include <cstdint>

#include "disk/data_source.h"

namespace delvora {

class FatMedium {
public:
    FatMedium() = default;
    /// firstUnit: the source unit of the volume's first sector.
    FatMedium(DataSource* source, uint64_t firstUnit, uint32_t bytesPerSector);

    bool Attached() const { return m_pSource != nullptr; }
    uint32_t BytesPerSector() const { return m_nUnitsPerSector * 512; }

    /// The source unit where volume sector `sector` begins; false when the
    /// sum would not fit in 64 bits.
    bool UnitOf(uint64_t sector, uint64_t& unit) const;
    /// Reads count bytes starting at a volume sector (a read past the
    /// source's end fails, or is zero-filled where part of it was read).
    bool Read(uint64_t sector, uint8_t* dest, uint32_t count) const;
    /// Whether the source fetches hinted reads ahead (a remote disk).
    bool TakesPrefetch() const { return m_pSource && m_pSource->TakesPrefetch(); }
    /// Says that Read(sector, count) follows soon; changes no read.
    void Prefetch(uint64_t sector, uint32_t count) const;
    /// Whole volume sectors the source holds from the volume's first sector;
    /// UINT64_MAX when the source does not tell its size.
    uint64_t SectorsOnSource() const;

private:
    DataSource* m_pSource = nullptr;
    uint64_t m_nFirstUnit = 0;
    uint32_t m_nUnitsPerSector = 1;
};

}  // namespace delvora
