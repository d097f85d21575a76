#include "fs/fat/fat_medium.h"

#include <algorithm>

namespace delvora {

FatMedium::FatMedium(DataSource* source, uint64_t firstUnit, uint32_t bytesPerSector)
    : m_pSource(source), m_nFirstUnit(firstUnit), m_nUnitsPerSector(std::max<uint32_t>(1, bytesPerSector / 512)) {}

bool FatMedium::UnitOf(uint64_t sector, uint64_t& unit) const {
    if (sector > (UINT64_MAX - m_nFirstUnit) / m_nUnitsPerSector) return false;
    unit = m_nFirstUnit + sector * m_nUnitsPerSector;
    return true;
}

bool FatMedium::Read(uint64_t sector, uint8_t* dest, uint32_t count) const {
    uint64_t unit = 0;
    if (!m_pSource || !dest || !UnitOf(sector, unit)) return false;
    return m_pSource->GetData(dest, count, unit) != 0;
}

void FatMedium::Prefetch(uint64_t sector, uint32_t count) const {
    uint64_t unit = 0;
    if (m_pSource && UnitOf(sector, unit)) m_pSource->Prefetch(count, unit);
}

uint64_t FatMedium::SectorsOnSource() const {
    const uint64_t units = m_pSource ? m_pSource->SizeBytes() / 512 : 0;
    if (units == 0) return UINT64_MAX;
    return units > m_nFirstUnit ? (units - m_nFirstUnit) / m_nUnitsPerSector : 0;
}

}  // namespace delvora
