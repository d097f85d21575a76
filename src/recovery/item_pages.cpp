#include "recovery/item_pages.h"

#include <algorithm>

#include "fs/file_item.h"
#include "fs/volume.h"

namespace delvora {

ItemPages::ItemPages(Volume& volume, FileItem& item) : m_item(volume, &item) {
    m_bOk = volume.GetItemRuns(&item, m_runs);
    m_nSize = m_bOk ? item.size : 0;
}

const ItemPages::Page& ItemPages::PageAt(uint64_t index) {
    const auto it = std::find_if(m_pages.begin(), m_pages.end(), [index](const Page& page) { return page.index == index; });
    if (it != m_pages.end()) {
        m_pages.splice(m_pages.begin(), m_pages, it);
        return m_pages.front();
    }
    if (m_pages.size() >= kMaxPages) m_pages.pop_back();
    Page page;
    page.index = index;
    const uint64_t start = index * kPageBytes;
    const auto length = static_cast<uint32_t>(std::min<uint64_t>(kPageBytes, m_nSize - start));
    page.bytes.resize(length);
    Volume* volume = m_item.GetVolume();
    FileItem* item = m_item.Item();
    page.ok = volume && item && volume->ReadItemRange(item, page.bytes.data(), start, length, &m_runs);
    if (!page.ok) page.bytes.clear();
    m_pages.push_front(std::move(page));
    return m_pages.front();
}

void ItemPages::Read(uint64_t offset, size_t count, std::vector<uint8_t>& out) {
    out.clear();
    if (!m_bOk || offset >= m_nSize) return;
    const uint64_t end = offset + std::min<uint64_t>(count, m_nSize - offset);
    // Each pass copies from one page and moves past it, or stops at a page
    // that could not be read.
    while (offset < end) {
        const Page& page = PageAt(offset / kPageBytes);
        if (!page.ok) return;
        const uint64_t inPage = offset % kPageBytes;
        const uint64_t take = std::min<uint64_t>(end - offset, page.bytes.size() - inPage);
        if (take == 0) return;
        out.insert(out.end(), page.bytes.begin() + static_cast<ptrdiff_t>(inPage),
                   page.bytes.begin() + static_cast<ptrdiff_t>(inPage + take));
        offset += take;
    }
}

}  // namespace delvora
