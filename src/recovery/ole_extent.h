#pragma once
// The length of a compound file (the container of Word documents) worked
// out from its own header and FAT, as its bytes stream past a carver. A
// parser without I/O: the caller feeds the document's bytes by offset.
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace delvora {

class OleExtent {
public:
    /// Reads the header (the file's first 512 bytes). False when it cannot
    /// give the length: an unknown byte order or sector size, no FAT, or
    /// more FAT sectors than the header itself lists (109).
    bool Begin(ByteSpan header);
    /// Takes the document's bytes that start at byte offset `offset`.
    void Feed(ByteSpan bytes, uint64_t offset);
    /// The offset past the last FAT byte: once the bytes up to here were
    /// fed, Length can answer.
    uint64_t FatEnd() const { return m_fatEnd; }
    /// The document's length in bytes, one sector past the highest sector any
    /// chain uses; 0 when some FAT byte was not fed or the FAT contradicts
    /// the header (its own sectors not marked as FAT, a chain into free
    /// sectors, the directory outside the FAT).
    uint64_t Length() const;

private:
    uint32_t m_secBytes = 0;
    uint32_t m_dirStart = 0;
    std::vector<uint32_t> m_fatSectors;  // sector numbers of the FAT, in FAT order
    std::vector<uint8_t> m_fat;          // the FAT's bytes as gathered
    std::vector<uint32_t> m_have;        // bytes gathered of each FAT sector
    uint64_t m_fatEnd = 0;
};

}  // namespace delvora
