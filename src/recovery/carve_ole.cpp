// Compound files (Word, Excel, PowerPoint, Outlook items): the length from
// the header and FAT (the highest sector any chain uses), the kind from the
// root storage's streams, the title from the SummaryInformation stream.
#include <cstring>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "recovery/carve_format.h"

namespace delvora {
namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD, kMaxRegSect = 0xFFFFFFFA;
constexpr uint32_t kHeaderFatEntries = 109;
constexpr uint32_t kMaxFatSectors = 1u << 16;  // 8 GiB of 4,096-byte sectors
constexpr uint32_t kMaxDirectoryEntries = 1u << 16;
constexpr uint32_t kMaxPropertyBytes = 64 * 1024;
constexpr uint32_t kTitleProperty = 2, kCodepageProperty = 1;

class Compound {
public:
    explicit Compound(CarveInput& in) : m_in(in) {}

    /// Header, DIFAT and FAT; false when they contradict each other.
    bool Load();
    /// Bytes up to one sector past the highest sector any chain uses; 0 when
    /// a chain leads into free sectors.
    uint64_t Length() const;
    /// The directory's entries (128 bytes each).
    bool ReadDirectory(std::vector<uint8_t>& out) const { return ReadChain(m_dirStart, kMaxDirectoryEntries * 128, out); }
    /// A stream's bytes (from the mini stream when below the cutoff).
    bool ReadStream(const std::vector<uint8_t>& dir, size_t entry, std::vector<uint8_t>& out) const;

private:
    ByteSpan Sector(uint32_t n) const { return m_in.Get((uint64_t{n} + 1) * m_secBytes, m_secBytes); }
    uint32_t Next(uint32_t n) const { return n < m_fat.size() ? m_fat[n] : kFree; }
    bool ReadChain(uint32_t first, uint64_t cap, std::vector<uint8_t>& out) const;

    CarveInput& m_in;
    uint32_t m_secBytes = 0;
    uint32_t m_dirStart = 0, m_miniCutoff = 0, m_miniFatStart = 0;
    std::vector<uint32_t> m_fatSectors;
    std::vector<uint32_t> m_fat;
};

bool Compound::Load() {
    const ByteSpan h = m_in.Get(0, 512);
    if (h.size() < 512 || Le16(h, 0x1C) != 0xFFFE) return false;
    const uint16_t shift = Le16(h, 0x1E);
    if (shift != 9 && shift != 12) return false;
    m_secBytes = 1u << shift;
    const uint32_t fatCount = Le32(h, 0x2C);
    if (fatCount == 0 || fatCount > kMaxFatSectors) return false;
    m_dirStart = Le32(h, 0x30);
    m_miniCutoff = Le32(h, 0x38);
    m_miniFatStart = Le32(h, 0x3C);
    for (uint32_t j = 0; j < kHeaderFatEntries && m_fatSectors.size() < fatCount; ++j) m_fatSectors.push_back(Le32(h, 0x4C + 4 * j));
    // The DIFAT chain: each sector lists more FAT sectors and, last, the next one.
    uint32_t difat = Le32(h, 0x44);
    const uint32_t per = m_secBytes / 4 - 1;
    for (uint32_t k = 0; m_fatSectors.size() < fatCount; ++k) {
        if (difat > kMaxRegSect || k > Le32(h, 0x48)) return false;
        const ByteSpan d = Sector(difat);
        if (d.size() != m_secBytes) return false;
        for (uint32_t j = 0; j < per && m_fatSectors.size() < fatCount; ++j) m_fatSectors.push_back(Le32(d, 4 * j));
        difat = Le32(d, 4 * per);
    }
    m_fat.reserve(size_t{fatCount} * (m_secBytes / 4));
    for (uint32_t sector : m_fatSectors) {
        if (sector > kMaxRegSect) return false;
        const ByteSpan s = Sector(sector);
        if (s.size() != m_secBytes) return false;
        for (uint32_t j = 0; j < m_secBytes / 4; ++j) m_fat.push_back(Le32(s, 4 * j));
    }
    for (uint32_t sector : m_fatSectors)
        if (Next(sector) != kFatSect) return false;
    return m_dirStart < m_fat.size() && Next(m_dirStart) != kFree;
}

uint64_t Compound::Length() const {
    uint32_t highest = 0;
    const uint32_t entries = static_cast<uint32_t>(m_fat.size());
    // One pass over the FAT.
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t next = m_fat[i];
        if (next == kFree) continue;
        if (next <= kMaxRegSect && (next >= entries || m_fat[next] == kFree)) return 0;
        highest = i;
    }
    return (uint64_t{highest} + 2) * m_secBytes;
}

bool Compound::ReadChain(uint32_t first, uint64_t cap, std::vector<uint8_t>& out) const {
    out.clear();
    // A chain visits each sector at most once: the FAT's size bounds it.
    for (uint32_t n = first, steps = 0; n <= kMaxRegSect; n = Next(n), ++steps) {
        if (steps > m_fat.size() || out.size() >= cap) return false;
        const ByteSpan s = Sector(n);
        if (s.size() != m_secBytes) return false;
        out.insert(out.end(), s.begin(), s.end());
    }
    return true;
}

bool Compound::ReadStream(const std::vector<uint8_t>& dir, size_t entry, std::vector<uint8_t>& out) const {
    const ByteSpan e = ByteSpan(dir).subspan(entry * 128, 128);
    const uint32_t start = Le32(e, 0x74), size = Le32(e, 0x78);
    if (size > kMaxPropertyBytes) return false;
    if (size >= m_miniCutoff) {
        if (!ReadChain(start, size + m_secBytes, out) || out.size() < size) return false;
        out.resize(size);
        return true;
    }
    std::vector<uint8_t> mini, miniFat;
    if (!ReadChain(Le32(ByteSpan(dir), 0x74), 1u << 26, mini) || !ReadChain(m_miniFatStart, 1u << 24, miniFat)) return false;
    out.clear();
    const ByteSpan mf(miniFat);
    // The mini FAT's size bounds the chain.
    for (uint32_t n = start, steps = 0; n <= kMaxRegSect && out.size() < size; n = Le32(mf, size_t{n} * 4), ++steps) {
        if (steps > miniFat.size() / 4 || !Has(mf, size_t{n} * 4, 4) || !Has(ByteSpan(mini), size_t{n} * 64, 64)) return false;
        out.insert(out.end(), mini.begin() + n * 64, mini.begin() + n * 64 + 64);
    }
    if (out.size() < size) return false;
    out.resize(size);
    return true;
}

std::string EntryName(ByteSpan e) {
    const uint16_t bytes = std::min<uint16_t>(Le16(e, 0x40), 64);
    std::vector<uint16_t> units;
    for (size_t i = 0; i + 1 < bytes; i += 2)
        if (const uint16_t u = Le16(e, i)) units.push_back(u);
    return Utf16ToUtf8(units);
}

/// The title property of a SummaryInformation property set.
std::string SummaryTitle(ByteSpan set) {
    if (Le16(set, 0) != 0xFFFE || Le32(set, 0x18) == 0) return {};
    const uint32_t section = Le32(set, 0x2C);
    const uint32_t count = Le32(set, section + 4);
    uint32_t codepage = 0, titleAt = 0;
    for (uint32_t i = 0; i < count && i < 256; ++i) {
        const size_t p = section + 8 + size_t{i} * 8;
        if (!Has(set, p, 8)) return {};
        const uint32_t id = Le32(set, p), at = section + Le32(set, p + 4);
        if (id == kCodepageProperty && Le32(set, at) == 2) codepage = Le16(set, at + 4);
        if (id == kTitleProperty) titleAt = at;
    }
    if (!titleAt) return {};
    const uint32_t type = Le32(set, titleAt), length = Le32(set, titleAt + 4);
    if (length > 1024) return {};
    const ByteSpan text = Slice(set, titleAt + 8, type == 0x1F ? length * 2 : length);
    if (type == 0x1F || codepage == 1200) return Utf16LeBytesToUtf8(text);
    const std::string_view raw(reinterpret_cast<const char*>(text.data()), text.size());
    if (codepage == 65001) return std::string(raw);
    if (codepage == 936) return ToUtf8(raw, "GBK");
    return ToUtf8(raw, "CP1252");
}

}  // namespace

bool OleHeader(ByteSpan head) { return Has(head, 0, 512) && std::memcmp(head.data(), kSignature, 8) == 0; }

CarveWalk WalkOle(CarveInput& in) {
    using namespace carve_type;
    Compound file(in);
    uint64_t length = 0;
    if (!file.Load() || (length = file.Length()) == 0) return Carved(CarveStatus::Rejected, 0, kDoc, "DOC", "doc");
    std::vector<uint8_t> dir;
    const bool haveDir = file.ReadDirectory(dir);
    CarveWalk w = Carved(CarveStatus::Complete, length, kDoc, "DOC", "doc");
    size_t summary = SIZE_MAX;
    // The root storage's streams tell the application.
    for (size_t i = 0; haveDir && (i + 1) * 128 <= dir.size(); ++i) {
        const ByteSpan e = ByteSpan(dir).subspan(i * 128, 128);
        const std::string name = EntryName(e);
        if (name == "WordDocument") w = Carved(CarveStatus::Complete, length, kDoc, "DOC", "doc");
        else if (name == "Workbook" || name == "Book") w = Carved(CarveStatus::Complete, length, kXls, "XLS", "xls");
        else if (name == "PowerPoint Document") w = Carved(CarveStatus::Complete, length, kPpt, "PPT", "ppt");
        else if (name == "__properties_version1.0" || name.rfind("__substg1.0_", 0) == 0) w = Carved(CarveStatus::Complete, length, kMsg, "MSG", "msg");
        else if (name == "\x05SummaryInformation") summary = i;
        else continue;
    }
    std::vector<uint8_t> set;
    if (summary != SIZE_MAX && file.ReadStream(dir, summary, set)) w.title = SummaryTitle(set);
    if (length > in.Available()) {
        w.status = CarveStatus::Truncated;
        w.length = in.Available();
    }
    return w;
}

}  // namespace delvora
