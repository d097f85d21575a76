#include "fs/ext2/ext2_inode.h"

#include <ctime>
#include <new>
#include <string_view>
#include <type_traits>

#include "common/text_format.h"

namespace delvora {

Ext2Inode DecodeExt2Inode(ByteSpan b) {
    Ext2Inode inode;
    inode.wMode = Le16(b, 0);
    inode.qwSize = Le32(b, 4);
    // For folders of ext2 the high half was the directory ACL.
    if ((inode.wMode & kExt2ModeTypeMask) == kExt2ModeRegular) inode.qwSize |= uint64_t{Le32(b, 108)} << 32;
    inode.access.seconds = Le32(b, 8);
    inode.change.seconds = Le32(b, 12);
    inode.modify.seconds = Le32(b, 16);
    inode.dwDeleteTime = Le32(b, 20);
    inode.qwBlockCount = Le32(b, 28) | uint64_t{Le16(b, 116)} << 32;
    inode.dwFlags = Le32(b, 32);
    for (uint32_t i = 0; i < kExt2MapEntries; ++i) inode.blockMap[i] = Le32(b, kExt2BlockField + 4 * i);
    // The extra fields of a large inode count as far as i_extra_isize
    // covers them and the inode holds them.
    const uint32_t extra = Le16(b, 128);
    if (b.size() > 128 && extra >= 4 && 128 + size_t{extra} <= b.size()) {
        inode.dwExtraSize = extra;
        const std::pair<Ext2Time*, uint32_t> fields[] = {
            {&inode.change, 0x84}, {&inode.modify, 0x88}, {&inode.access, 0x8C}, {&inode.create, 0x94}};
        for (const auto& [time, offset] : fields) {
            if (offset + 4 > 128 + extra) continue;
            time->extra = Le32(b, offset);
            time->hasExtra = true;
        }
        if (0x94 <= 128 + extra) {
            inode.create.seconds = Le32(b, 0x90);
            inode.bHasCreateTime = true;
        }
    }
    return inode;
}

ByteSpan Ext2InlineAttribute(ByteSpan b) {
    const uint32_t extra = Le16(b, 128);
    const size_t header = 128 + size_t{extra};
    constexpr uint32_t kAttributeMagic = 0xEA020000;
    constexpr uint8_t kSystemNames = 7;
    if (b.size() <= 128 || Le32(b, header) != kAttributeMagic) return {};
    const size_t first = header + 4;  // value offsets count from here
    size_t at = first;
    // Each entry is at least 16 bytes; the walk ends at the end marker (a
    // zero word) or at the end of the inode.
    while (Has(b, at, 16) && Le32(b, at) != 0) {
        const uint8_t nameLength = Le8(b, at);
        const uint8_t nameIndex = Le8(b, at + 1);
        const size_t valueOffset = Le16(b, at + 2);
        const uint32_t valueInode = Le32(b, at + 4);
        const size_t valueSize = Le32(b, at + 8);
        if (!Has(b, at + 16, nameLength)) return {};
        const std::string_view name(reinterpret_cast<const char*>(b.data() + at + 16), nameLength);
        if (nameIndex == kSystemNames && name == "data" && valueInode == 0) {
            if (!Has(b, first + valueOffset, valueSize)) return {};
            return b.subspan(first + valueOffset, valueSize);
        }
        at += (16 + size_t{nameLength} + 3) & ~size_t{3};
    }
    return {};
}

bool Ext2InlineData(ByteSpan b, uint64_t size, std::vector<uint8_t>& out) {
    const ByteSpan field = Slice(b, kExt2BlockField, kExt2BlockFieldBytes);
    const ByteSpan more = Ext2InlineAttribute(b);
    if (size > uint64_t{field.size()} + more.size()) return false;
    out.assign(field.begin(), field.end());
    out.insert(out.end(), more.begin(), more.end());
    out.resize(static_cast<size_t>(size));
    return true;
}

uint64_t Ext2TimeToUtcTicks(const Ext2Time& time) {
    int64_t seconds = static_cast<int32_t>(time.seconds);
    uint32_t nanoseconds = 0;
    if (time.hasExtra) {
        seconds += int64_t{time.extra & 3} << 32;
        nanoseconds = time.extra >> 2;
        if (nanoseconds >= 1000000000) nanoseconds = 0;  // not a time the kernel writes
    }
    if (seconds == 0 && nanoseconds == 0) return 0;
    return UnixToUtcTicks(seconds, nanoseconds);
}

void Ext2InodeTable::Reset(uint32_t count) {
    Release();
    static_assert(std::is_trivially_copyable_v<Summary>);
    // calloc, not a vector: a vector writes every zero, touching every page.
    m_summaries.reset(static_cast<Summary*>(std::calloc(count, sizeof(Summary))));
    if (!m_summaries && count > 0) throw std::bad_alloc();
    m_count = count;
    m_pool.reserve(size_t{count} + 1);
    m_pool.push_back(0);
}

void Ext2InodeTable::Release() {
    m_summaries.reset();
    m_count = 0;
    std::vector<uint32_t>().swap(m_pool);
}

void Ext2InodeTable::Store(uint32_t n, const Ext2Inode& inode) {
    if (n == 0 || n > m_count) return;
    uint32_t used = kExt2MapEntries;
    while (used > 0 && inode.blockMap[used - 1] == 0) --used;  // ends at 0
    uint32_t ref = 0;
    // References are 32-bit: a pool that would pass them keeps no more maps.
    if (used > 0 && m_pool.size() + used + 1 <= UINT32_MAX) {
        ref = static_cast<uint32_t>(m_pool.size());
        m_pool.push_back(used);
        m_pool.insert(m_pool.end(), inode.blockMap.begin(), inode.blockMap.begin() + used);
    }
    const uint32_t created =
        inode.bHasCreateTime && inode.create.seconds != 0 ? inode.create.seconds : inode.change.seconds;
    m_summaries[n - 1] = {inode.qwSize, inode.access.seconds, inode.modify.seconds, created,
                          inode.dwFlags, ref, inode.wMode};
}

bool Ext2InodeTable::Fetch(uint32_t n, Ext2Inode& inode) const {
    if (n == 0 || n > m_count) return false;
    const Summary& s = m_summaries[n - 1];
    inode = Ext2Inode{};
    inode.wMode = s.wMode;
    inode.qwSize = s.qwSize;
    inode.access.seconds = s.dwAccessTime;
    inode.change.seconds = s.dwCreatedTime;
    inode.modify.seconds = s.dwModifyTime;
    inode.dwFlags = s.dwFlags;
    if (s.dwMapRef != 0) {
        const uint32_t used = m_pool[s.dwMapRef];
        for (uint32_t i = 0; i < used; ++i) inode.blockMap[i] = m_pool[s.dwMapRef + 1 + i];
    }
    return true;
}

bool Ext2InodeTable::HasBlockMap(uint32_t n) const {
    return n != 0 && n <= m_count && m_summaries[n - 1].dwMapRef != 0;
}

void Ext2TimeToDos(uint32_t unixTime, uint16_t& date, uint16_t& time) {
    // Unsigned on disk, so every 32-bit value is a time up to 2106; UTC.
    PackDosDateTime(int64_t{unixTime}, date, time);
}

}  // namespace delvora
