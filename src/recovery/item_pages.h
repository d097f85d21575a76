#pragma once
// An item's data read a page at a time, for views that show a window of a
// file of any size: only the pages asked for are read, and only a few are
// kept, so memory stays flat whatever the file's size.
#include <cstdint>
#include <list>
#include <vector>

#include "fs/cluster_run_list.h"
#include "fs/item_ref.h"

namespace delvora {

class Volume;
struct FileItem;

class ItemPages {
public:
    static constexpr uint32_t kPageBytes = 65536;
    /// Pages kept at most (2 MiB).
    static constexpr size_t kMaxPages = 32;

    /// Fetches the item's runs once; Ok() tells whether that worked. Pages
    /// are read while the item exists: one a residual search or reload took
    /// away reads as unreadable, never through freed memory.
    ItemPages(Volume& volume, FileItem& item);

    bool Ok() const { return m_bOk; }
    uint64_t Size() const { return m_nSize; }

    /// Copies up to count bytes from offset into out (replacing its contents);
    /// stops early at the end of the data or at a page that cannot be read.
    /// A page that failed once is not read again (its message is shown once).
    void Read(uint64_t offset, size_t count, std::vector<uint8_t>& out);

private:
    struct Page {
        uint64_t index = 0;
        bool ok = false;
        std::vector<uint8_t> bytes;
    };
    const Page& PageAt(uint64_t index);

    ItemRef m_item;
    ClusterRunList m_runs;
    uint64_t m_nSize = 0;
    bool m_bOk = false;
    std::list<Page> m_pages;  // most recently used first
};

}  // namespace delvora
