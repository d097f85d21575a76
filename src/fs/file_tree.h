#pragma once
// The tree of one loaded volume: "ROOT" with the volume's folders and files,
// "回收站" with what searches and carving find, the cluster usage bitmap and
// the objects (run lists of found items) that live as long as the tree.
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "fs/cluster_run_list.h"
#include "fs/file_item.h"

namespace delvora {

/// How often each top item's subtree was replaced, shared with references
/// taken into the tree, so that they can tell, even after the tree is gone,
/// whether the item they point at still exists.
struct TreeEpochs {
    std::atomic<bool> alive{true};
    std::atomic<uint64_t> root{0};
    std::atomic<uint64_t> recycle{0};
};

class FileTree {
public:
    FileTree();
    virtual ~FileTree();
    FileTree(const FileTree&) = delete;
    FileTree& operator=(const FileTree&) = delete;

    FileItem m_RootItem;
    FileItem m_RecycleItem;

    /// Frees both subtrees and the owned objects; the tree is then as built.
    virtual void Destroy();
    /// Frees what lies below top (the root or the recycle item): references
    /// taken into it before resolve to nothing from now on.
    void ClearTop(FileItem& top);
    /// The generation of top's subtree (the root's or the recycle item's).
    uint64_t Generation(const FileItem& top) const;
    const std::shared_ptr<TreeEpochs>& Epochs() const { return m_pEpochs; }

    // Cluster usage bitmap: bit n & 7 of byte n / 8 stands for cluster n.
    bool AllocateBitmap(size_t bytes);
    bool SetBit(uint64_t n, bool value);
    bool GetBit(uint64_t n) const;
    size_t BitmapBytes() const { return m_bitmap.size(); }
    void FreeBitmap() { std::vector<uint8_t>().swap(m_bitmap); }

    /// Keeps a run list alive as long as the tree and answers it.
    ClusterRunList* OwnRunList(std::unique_ptr<ClusterRunList> list);

    /// Selection of the case document: clears the mark on the previous item.
    void MarkCurrent(FileItem* item);
    FileItem* CurrentItem() const { return m_pCurrent; }

private:
    std::shared_ptr<TreeEpochs> m_pEpochs = std::make_shared<TreeEpochs>();
    std::vector<uint8_t> m_bitmap;
    std::vector<std::unique_ptr<ClusterRunList>> m_owned;
    FileItem* m_pCurrent = nullptr;
};

/// Makes a zeroed record with a pooled name.
FileItem MakeItem(std::string_view name);

/// Gives a folder its children: copies records into one new array owned by
/// the folder (replacing any old one, whose subtrees the caller has moved or
/// freed), sets their parent and sorts them. False when allocation fails; the
/// folder then keeps what it had.
bool SetChildren(FileItem& folder, std::span<const FileItem> records);

/// The same, keeping the records in the order given.
bool SetChildrenInOrder(FileItem& folder, std::span<const FileItem> records);

/// Folders before files, then names compared byte by byte with ASCII letters
/// folded. Arrays of fewer than two records are left as they are.
void SortChildren(FileItem& folder);
/// Answers whether a sorts before b in the order above.
bool ChildLess(const FileItem& a, const FileItem& b);

/// Frees every children array below item and sets its child count to 0.
/// Needs neither recursion nor memory, however deep the tree.
void FreeSubtree(FileItem& item);

/// True as soon as a file below item has a start cluster above 0xFFFF.
bool HasLargeCluster(const FileItem& item);

/// The file-list path text of an item: \folder\sub\name (top items
/// excluded from the path); a top item gives its own name.
std::string FullPath(const FileItem& item);
/// FullPath led by the recycle item's name when item lies below it: the
/// path the command line shows, which keeps found items apart from the
/// volume's own.
std::string ShownPath(const FileItem& item, const FileItem* recycle);

/// Re-points the parent fields of item's children (and deeper) after their
/// arrays have moved.
void RelinkParents(FileItem& item);

/// Calls visit(record) for every record below top, each folder before its
/// children; visit answers false to stop. Without recursion or memory: the
/// walk goes down through children arrays and back up through parent
/// fields, and stops where a parent field does not lead back to the array
/// it came from (a tree whose parents were not relinked). Item is FileItem
/// or const FileItem.
template <class Item, class Visit>
void ForEachBelow(Item& top, Visit&& visit) {
    Item* folder = &top;
    uint32_t next = 0;  // index of the next child of folder to visit
    // Every step moves down to an unvisited child or up past a finished
    // folder; arrays are owned by one record each, so the walk ends.
    for (;;) {
        if (next < folder->childCount && folder->children) {
            Item& child = folder->children[next];
            if (!visit(child)) return;
            if (child.childCount > 0 && child.children) {
                folder = &child;
                next = 0;
            } else {
                ++next;
            }
            continue;
        }
        if (folder == &top) return;
        Item* up = folder->parent;
        if (!up || !up->children || folder < up->children || folder >= up->children + up->childCount) return;
        next = static_cast<uint32_t>(folder - up->children) + 1;
        folder = up;
    }
}

}  // namespace delvora
