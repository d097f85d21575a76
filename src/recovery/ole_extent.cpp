#include "recovery/ole_extent.h"

#include <algorithm>
#include <cstring>

namespace delvora {
namespace {

constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kHeaderFatEntries = 109;

}  // namespace

bool OleExtent::Begin(ByteSpan header) {
    m_fatSectors.clear();
    m_fat.clear();
    m_have.clear();
    m_fatEnd = 0;
    if (header.size() < 512 || Le16(header, 0x1C) != 0xFFFE) return false;
    const uint16_t shift = Le16(header, 0x1E);
    if (shift != 9 && shift != 12) return false;
    m_secBytes = 1u << shift;
    const uint32_t fatCount = Le32(header, 0x2C);
    // A FAT beyond the header's own list needs DIFAT sectors: not followed.
    if (fatCount == 0 || fatCount > kHeaderFatEntries) return false;
    if (Le32(header, 0x48) != 0 || (Le32(header, 0x44) != kEndOfChain && Le32(header, 0x44) != kFreeSect))
        return false;
    const uint64_t entries = uint64_t{fatCount} * m_secBytes / 4;
    for (uint32_t j = 0; j < kHeaderFatEntries; ++j) {
        const uint32_t sector = Le32(header, 0x4C + 4 * j);
        if (j >= fatCount) {
            if (sector != kFreeSect) return false;
            continue;
        }
        if (sector >= entries) return false;
        m_fatSectors.push_back(sector);
        m_fatEnd = std::max(m_fatEnd, (uint64_t{sector} + 2) * m_secBytes);
    }
    m_dirStart = Le32(header, 0x30);
    m_fat.assign(static_cast<size_t>(fatCount) * m_secBytes, 0);
    m_have.assign(fatCount, 0);
    return true;
}

void OleExtent::Feed(ByteSpan bytes, uint64_t offset) {
    const uint64_t end = offset + bytes.size();
    // At most 109 FAT sectors, each compared once per call.
    for (size_t j = 0; j < m_fatSectors.size(); ++j) {
        const uint64_t from = (uint64_t{m_fatSectors[j]} + 1) * m_secBytes;
        const uint64_t to = from + m_secBytes;
        const uint64_t a = std::max(from, offset), b = std::min(to, end);
        if (a >= b) continue;
        std::memcpy(&m_fat[j * m_secBytes + (a - from)], bytes.data() + (a - offset), static_cast<size_t>(b - a));
        m_have[j] += static_cast<uint32_t>(b - a);
    }
}

uint64_t OleExtent::Length() const {
    if (m_fatSectors.empty()) return 0;
    for (uint32_t have : m_have)
        if (have != m_secBytes) return 0;
    const ByteSpan fat(m_fat);
    const uint32_t entries = static_cast<uint32_t>(m_fat.size() / 4);
    auto entry = [&](uint32_t i) { return Le32(fat, size_t{i} * 4); };
    for (uint32_t sector : m_fatSectors)
        if (entry(sector) != kFatSect) return 0;
    if (m_dirStart >= entries || entry(m_dirStart) == kFreeSect) return 0;
    uint32_t highest = 0;
    bool any = false;
    // One pass over a FAT of at most 109 sectors.
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t next = entry(i);
        if (next == kFreeSect) continue;
        if (next <= kMaxRegSect && (next >= entries || entry(next) == kFreeSect)) return 0;
        highest = i;
        any = true;
    }
    return any ? (uint64_t{highest} + 2) * m_secBytes : 0;
}

}  // namespace delvora
