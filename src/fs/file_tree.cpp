#include "fs/file_tree.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "fs/name_pool.h"

namespace delvora {

FileItem MakeItem(std::string_view name) {
    FileItem item;
    item.name = NamePool::Global().Add(name);
    return item;
}

FileTree::FileTree() : m_RootItem(MakeItem("ROOT")), m_RecycleItem(MakeItem("回收站")) {
    m_RootItem.startCluster = 2;
    m_RecycleItem.startCluster = 2;
}

FileTree::~FileTree() {
    Destroy();
    m_pEpochs->alive = false;
}

void FileTree::Destroy() {
    ClearTop(m_RootItem);
    ClearTop(m_RecycleItem);
    m_owned.clear();
    FreeBitmap();
    m_pCurrent = nullptr;
}

void FileTree::ClearTop(FileItem& top) {
    // The new generation is counted first: a reference checked from now on
    // no longer leads into the arrays about to be freed.
    if (&top == &m_RootItem) ++m_pEpochs->root;
    if (&top == &m_RecycleItem) ++m_pEpochs->recycle;
    FreeSubtree(top);
}

uint64_t FileTree::Generation(const FileItem& top) const {
    return &top == &m_RecycleItem ? m_pEpochs->recycle.load() : m_pEpochs->root.load();
}

bool FileTree::AllocateBitmap(size_t bytes) {
    try {
        m_bitmap.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        m_bitmap.clear();
        return false;
    }
    return true;
}

bool FileTree::SetBit(uint64_t n, bool value) {
    if (n / 8 >= m_bitmap.size()) return false;
    const uint8_t mask = static_cast<uint8_t>(1u << (n & 7));
    if (value) m_bitmap[n / 8] |= mask; else m_bitmap[n / 8] &= static_cast<uint8_t>(~mask);
    return true;
}

bool FileTree::GetBit(uint64_t n) const {
    if (n / 8 >= m_bitmap.size()) return false;
    return (m_bitmap[n / 8] >> (n & 7)) & 1;
}

ClusterRunList* FileTree::OwnRunList(std::unique_ptr<ClusterRunList> list) {
    m_owned.push_back(std::move(list));
    return m_owned.back().get();
}

void FileTree::MarkCurrent(FileItem* item) {
    if (m_pCurrent) m_pCurrent->flags &= static_cast<uint8_t>(~item_flags::kCurrent);
    m_pCurrent = item;
    if (item) item->flags |= item_flags::kCurrent;
}

namespace {

/// Copies records into a new children array of folder, in their order.
bool CopyChildren(FileItem& folder, std::span<const FileItem> records) {
    FileItem* array = nullptr;
    if (!records.empty()) {
        array = new (std::nothrow) FileItem[records.size()];
        if (!array) return false;
        std::copy(records.begin(), records.end(), array);
    }
    delete[] folder.children;
    folder.children = array;
    folder.childCount = static_cast<uint32_t>(records.size());
    return true;
}

}  // namespace

bool SetChildren(FileItem& folder, std::span<const FileItem> records) {
    if (!CopyChildren(folder, records)) return false;
    SortChildren(folder);
    RelinkParents(folder);
    return true;
}

bool SetChildrenInOrder(FileItem& folder, std::span<const FileItem> records) {
    if (!CopyChildren(folder, records)) return false;
    RelinkParents(folder);
    return true;
}

bool ChildLess(const FileItem& a, const FileItem& b) {
    const bool aDir = a.IsDirectory(), bDir = b.IsDirectory();
    if (aDir != bDir) return aDir;
    const auto* pa = reinterpret_cast<const unsigned char*>(a.name ? a.name : "");
    const auto* pb = reinterpret_cast<const unsigned char*>(b.name ? b.name : "");
    for (;; ++pa, ++pb) {
        // Names of one folder often share long prefixes: equal bytes need
        // no folding.
        while (*pa == *pb && *pa != 0) {
            ++pa;
            ++pb;
        }
        unsigned ca = *pa, cb = *pb;
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb) return ca < cb;
        if (ca == 0) return false;
    }
}

void SortChildren(FileItem& folder) {
    if (folder.childCount < 2) return;
    // Folders are often stored in name order already; one pass tells.
    if (std::is_sorted(folder.children, folder.children + folder.childCount, ChildLess)) return;
    std::sort(folder.children, folder.children + folder.childCount, ChildLess);
}

void FreeSubtree(FileItem& item) {
    // Arrays still to free form a list through their first record: its
    // parent field links the next array, its link field holds the length.
    // Each array is detached from its owner before it is listed, so each is
    // freed once, and the loop ends when the list is empty.
    FileItem* pending = nullptr;
    auto detach = [&pending](FileItem& owner) {
        FileItem* array = owner.children;
        const uint32_t count = owner.childCount;
        owner.children = nullptr;
        owner.childCount = 0;
        if (!array) return;
        if (count == 0) {
            delete[] array;
            return;
        }
        array[0].parent = pending;
        array[0].link = count;
        pending = array;
    };
    detach(item);
    while (pending) {
        FileItem* array = pending;
        pending = array[0].parent;
        const uint32_t count = array[0].link;
        for (uint32_t i = 0; i < count; ++i) detach(array[i]);
        delete[] array;
    }
}

bool HasLargeCluster(const FileItem& item) {
    bool found = false;
    ForEachBelow(item, [&found](const FileItem& below) {
        found = !below.IsDirectory() && below.startCluster > 0xFFFF;
        return !found;
    });
    return found;
}

std::string FullPath(const FileItem& item) {
    // A top item (the root, the recycle item) shows its own name.
    if (!item.parent) return item.name ? item.name : "";
    std::vector<const char*> parts;
    // Bounded by the tree's depth: parents end at a top item (null parent).
    for (const FileItem* p = &item; p && p->parent; p = p->parent) parts.push_back(p->name ? p->name : "");
    std::string path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        path += '\\';
        path += *it;
    }
    return path;
}

std::string ShownPath(const FileItem& item, const FileItem* recycle) {
    const FileItem* top = &item;
    // Bounded by the tree's depth, as in FullPath.
    while (top->parent) top = top->parent;
    if (!recycle || top != recycle || &item == recycle) return FullPath(item);
    return std::string("\\") + (recycle->name ? recycle->name : "") + FullPath(item);
}

void RelinkParents(FileItem& item) {
    // Each record points its children back at itself before the walk goes
    // below it, so the walk climbs through parent fields already set.
    const auto link = [](FileItem& folder) {
        for (uint32_t i = 0; folder.children && i < folder.childCount; ++i) folder.children[i].parent = &folder;
        return true;
    };
    link(item);
    ForEachBelow(item, link);
}

}  // namespace delvora
