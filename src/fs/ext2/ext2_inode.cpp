#include "fs/ext2/ext2_inode.h"

#include <ctime>

#include "common/text_format.h"

namespace delvora {

Ext2Inode DecodeExt2Inode(ByteSpan b) {
    Ext2Inode inode;
    inode.wMode = Le16(b, 0);
    inode.dwSize = Le32(b, 4);
    inode.dwAccessTime = Le32(b, 8);
    inode.dwChangeTime = Le32(b, 12);
    inode.dwModifyTime = Le32(b, 16);
    inode.dwDeleteTime = Le32(b, 20);
    inode.dwBlocks512 = Le32(b, 28);
    inode.dwFlags = Le32(b, 32);
    for (uint32_t i = 0; i < kExt2MapEntries; ++i) inode.blockMap[i] = Le32(b, 40 + 4 * i);
    inode.dwFileAcl = Le32(b, 104);
    return inode;
}

void Ext2InodeTable::Reset(uint32_t count) {
    Release();
    m_summaries.assign(count, Summary{});
    m_pool.reserve(size_t{count} + 1);
    m_pool.push_back(0);
}

void Ext2InodeTable::Release() {
    std::vector<Summary>().swap(m_summaries);
    std::vector<uint32_t>().swap(m_pool);
}

void Ext2InodeTable::Store(uint32_t n, const Ext2Inode& inode) {
    if (n == 0 || n > m_summaries.size()) return;
    uint32_t used = kExt2MapEntries;
    while (used > 0 && inode.blockMap[used - 1] == 0) --used;  // ends at 0
    uint32_t ref = 0;
    if (used > 0) {
        ref = static_cast<uint32_t>(m_pool.size());
        m_pool.push_back(used);
        m_pool.insert(m_pool.end(), inode.blockMap.begin(), inode.blockMap.begin() + used);
    }
    m_summaries[n - 1] = {inode.dwSize,       inode.dwAccessTime, inode.dwChangeTime,
                          inode.dwModifyTime, inode.dwDeleteTime, inode.dwBlocks512,
                          inode.dwFlags,      ref,                inode.dwFileAcl,
                          inode.wMode};
}

bool Ext2InodeTable::Fetch(uint32_t n, Ext2Inode& inode) const {
    if (n == 0 || n > m_summaries.size()) return false;
    const Summary& s = m_summaries[n - 1];
    inode = Ext2Inode{};
    inode.wMode = static_cast<uint16_t>(s.dwMode);
    inode.dwSize = s.dwSize;
    inode.dwAccessTime = s.dwAccessTime;
    inode.dwChangeTime = s.dwChangeTime;
    inode.dwModifyTime = s.dwModifyTime;
    inode.dwDeleteTime = s.dwDeleteTime;
    inode.dwBlocks512 = s.dwBlocks512;
    inode.dwFlags = s.dwFlags;
    inode.dwFileAcl = s.dwFileAcl;
    if (s.dwMapRef != 0) {
        const uint32_t used = m_pool[s.dwMapRef];
        for (uint32_t i = 0; i < used; ++i) inode.blockMap[i] = m_pool[s.dwMapRef + 1 + i];
    }
    return true;
}

bool Ext2InodeTable::HasBlockMap(uint32_t n) const {
    return n != 0 && n <= m_summaries.size() && m_summaries[n - 1].dwMapRef != 0;
}

void Ext2TimeToDos(uint32_t unixTime, uint16_t& date, uint16_t& time) {
    // Unsigned on disk, so every 32-bit value is a time up to 2106; UTC.
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) {
        date = 0;
        time = 0;
        return;
    }
    PackDosDateTime(tm, date, time);
}

}  // namespace delvora
