#include "fs/fat/fat_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/bytes.h"
#include "common/text_format.h"
#include "fs/fat/fat_boot.h"

namespace delvora {

void FatTable::SetBootParams(const FatBootParams& params) {
    m_bpb = params;
    m_bBpbGiven = true;
}

bool FatTable::ReadBpb() {
    if (m_bBpbGiven) return true;
    if (!m_pDataSource) return false;
    std::array<uint8_t, 512> sector{};
    if (!m_pDataSource->GetData(sector.data(), 512, m_dwSectorNo)) return false;
    std::memcpy(m_bpb.data(), sector.data() + 3, m_bpb.size());
    m_bBpbGiven = true;
    return true;
}

uint32_t FatTable::FatSize() const {
    const FatBootFields f = ParseFatBootParams(m_bpb);
    return m_nKind == 3 ? f.fatSize32 : f.fatSize16;
}

uint32_t FatTable::ReservedSectors() const { return ParseFatBootParams(m_bpb).reservedSectors; }

bool FatTable::ReadAllBuffer(Log& log) {
    ReleaseAllBuffer();
    if (!m_pDataSource) return false;
    uint64_t sectors = FatSize();
    if (sectors == 0) return false;
    // Entries beyond the data area's clusters are never followed; reading
    // them would only cost time and memory on a boot sector that lies.
    if (m_nUsefulBytes) sectors = std::min<uint64_t>(sectors, (m_nUsefulBytes + 511) / 512);
    try {
        m_allBuffer.assign(sectors * 512, 0);
    } catch (const std::bad_alloc&) {
        ReleaseAllBuffer();
        return false;
    }
    const uint32_t first = m_dwSectorNo + ReservedSectors();
    // One read per sector so that a bad sector costs only its own entries.
    for (uint64_t k = 0; k < sectors; ++k) {
        uint8_t* dest = m_allBuffer.data() + k * 512;
        if (!m_pDataSource->GetData(dest, 512, static_cast<uint32_t>(first + k))) {
            std::memset(dest, 0, 512);
            log.AppendLog(Format("Read FAT Error %d", static_cast<int>(k)));
        }
    }
    m_bAllBuffer = true;
    return true;
}

void FatTable::ReleaseAllBuffer() {
    std::vector<uint8_t>().swap(m_allBuffer);
    m_bAllBuffer = false;
    m_nWindow = -1;
}

void FatTable::SetAllBuffer(std::vector<uint8_t> fat) {
    m_allBuffer = std::move(fat);
    m_bAllBuffer = true;
}

uint32_t FatTable::EntryAt(const uint8_t* p, size_t available, uint32_t n) const {
    const ByteSpan bytes(p, available);
    switch (m_nKind) {
        case 1: {
            const uint16_t v = Le16(bytes, 0);
            return (n & 1) ? (v >> 4) : (v & 0x0FFF);
        }
        case 2: return Le16(bytes, 0);
        default: return Le32(bytes, 0);
    }
}

uint32_t FatTable::NextCluster(uint32_t n) {
    const uint64_t offset = m_nKind == 1 ? uint64_t{n} * 3 / 2 : m_nKind == 2 ? uint64_t{n} * 2 : uint64_t{n} * 4;
    const size_t width = m_nKind == 3 ? 4 : 2;
    if (m_bAllBuffer) {
        if (!Has(m_allBuffer, offset, width)) return 0;
        return EntryAt(m_allBuffer.data() + offset, width, n);
    }
    if (!m_pDataSource) return 0;
    const uint64_t w = offset / 512;
    if (w >= FatSize()) return 0;
    if (m_nWindow != static_cast<int64_t>(w)) {
        m_nWindow = -1;
        const uint64_t sector = uint64_t{m_dwSectorNo} + ReservedSectors() + w;
        if (sector > UINT32_MAX || !m_pDataSource->GetData(m_window.data(), 1024, static_cast<uint32_t>(sector)))
            return 0;
        m_nWindow = static_cast<int64_t>(w);
    }
    const size_t at = static_cast<size_t>(offset - 512 * w);
    return EntryAt(m_window.data() + at, m_window.size() - at, n);
}

}  // namespace delvora
