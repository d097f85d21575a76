#include "fs/fat/fat_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/bytes.h"
#include "common/text_format.h"

namespace delvora {
namespace {

// Whole-FAT reads go in pieces of this size: few calls, and a bad stretch
// costs only its own piece.
constexpr uint32_t kReadPieceBytes = 1u << 20;

}  // namespace

void FatTable::Attach(const FatMedium& medium, uint64_t firstSector, uint64_t usefulBytes, Log* log) {
    ReleaseAllBuffer();
    m_medium = medium;
    m_nFirstSector = firstSector;
    m_nUsefulBytes = usefulBytes;
    m_pLog = log;
}

void FatTable::ReadFatBytes(uint64_t offset, uint8_t* dest, size_t count) {
    std::memset(dest, 0, count);
    const uint32_t bps = m_medium.BytesPerSector();
    const uint64_t onSource = m_medium.SectorsOnSource();
    // Pieces start on sector boundaries (offset is one); each pass reads at
    // least one byte further, so the loop ends.
    for (size_t done = 0; done < count;) {
        const uint64_t sector = (offset + done) / bps;
        const uint64_t fatSector = m_nFirstSector + sector;
        size_t n = std::min<size_t>(count - done, kReadPieceBytes);
        // What lies past the source's end cannot be read: one line for it.
        if (fatSector >= onSource) {
            if (m_pLog) m_pLog->AppendLog(Format("Read FAT Error %llu", static_cast<unsigned long long>(sector)));
            return;
        }
        if (const uint64_t left = onSource - fatSector; left < (n + bps - 1) / bps) n = static_cast<size_t>(left * bps);
        if (!m_medium.Read(fatSector, dest + done, static_cast<uint32_t>(n))) {
            std::memset(dest + done, 0, n);
            if (m_pLog) m_pLog->AppendLog(Format("Read FAT Error %llu", static_cast<unsigned long long>(sector)));
        }
        done += n;
    }
}

bool FatTable::ReadAllBuffer() {
    ReleaseAllBuffer();
    if (!m_medium.Attached() || m_nUsefulBytes == 0) return false;
    if (m_nUsefulBytes > kWholeFatBytes) return true;  // windowed: read as the walk asks
    try {
        m_allBuffer.resize(static_cast<size_t>(m_nUsefulBytes));
    } catch (const std::bad_alloc&) {
        ReleaseAllBuffer();
        return false;
    }
    ReadFatBytes(0, m_allBuffer.data(), m_allBuffer.size());
    m_bAllBuffer = true;
    return true;
}

void FatTable::ReleaseAllBuffer() {
    std::vector<uint8_t>().swap(m_allBuffer);
    std::vector<Window>().swap(m_windows);
    m_bAllBuffer = false;
}

size_t FatTable::HeldBytes() const {
    size_t held = m_allBuffer.capacity();
    for (const Window& w : m_windows) held += w.bytes.capacity();
    return held;
}

void FatTable::SetAllBuffer(std::vector<uint8_t> fat) {
    m_nUsefulBytes = fat.size();
    m_allBuffer = std::move(fat);
    m_bAllBuffer = true;
}

const FatTable::Window* FatTable::WindowAt(uint64_t offset) {
    const uint64_t index = offset / kWindowBytes;
    ++m_nUseTick;
    for (Window& w : m_windows)
        if (w.index == index) {
            w.lastUse = m_nUseTick;
            return &w;
        }
    Window* slot = nullptr;
    try {
        if (m_windows.size() < kWindows) {
            slot = &m_windows.emplace_back();
        } else {
            slot = &*std::min_element(m_windows.begin(), m_windows.end(),
                                      [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; });
        }
        const uint64_t start = index * kWindowBytes;
        slot->bytes.resize(static_cast<size_t>(std::min<uint64_t>(kWindowBytes, m_nUsefulBytes - start)));
    } catch (const std::bad_alloc&) {
        ReleaseAllBuffer();
        return nullptr;
    }
    slot->index = index;
    slot->lastUse = m_nUseTick;
    ReadFatBytes(index * kWindowBytes, slot->bytes.data(), slot->bytes.size());
    return slot;
}

uint32_t FatTable::Decode(const uint8_t* p, uint32_t n) const {
    const ByteSpan bytes(p, 4);
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
    if (offset + width > m_nUsefulBytes) return 0;
    uint8_t entry[4] = {};
    if (m_bAllBuffer) {
        if (!Has(m_allBuffer, static_cast<size_t>(offset), width)) return 0;
        std::memcpy(entry, m_allBuffer.data() + offset, width);
        return Decode(entry, n);
    }
    if (!m_medium.Attached()) return 0;
    // An entry may straddle two windows (FAT12): then byte by byte.
    for (size_t k = 0; k < width;) {
        const Window* w = WindowAt(offset + k);
        if (!w) return 0;
        const uint64_t at = offset + k - w->index * kWindowBytes;
        if (at >= w->bytes.size()) return 0;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(width - k, w->bytes.size() - at));
        std::memcpy(entry + k, w->bytes.data() + at, take);
        k += take;
    }
    return Decode(entry, n);
}

}  // namespace delvora
