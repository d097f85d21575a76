#include "fs/item_ref.h"

#include "fs/file_tree.h"
#include "fs/volume.h"

namespace delvora {

ItemRef::ItemRef(Volume& volume, FileItem* item)
    : m_pVolume(&volume), m_pItem(item), m_pEpochs(volume.Tree().Epochs()) {
    if (!item) return;
    m_nAddress = item->Address();
    // The two top items are members of the tree: they last as long as it.
    m_bTop = item == volume.RootItem() || item == volume.RecycleItem();
    const FileItem* top = item;
    // Bounded by the tree's depth: parents end at a top item.
    while (top->parent) top = top->parent;
    m_bInRecycle = top == volume.RecycleItem();
    m_nGeneration = volume.Tree().Generation(*top);
}

Volume* ItemRef::GetVolume() const { return m_pEpochs && m_pEpochs->alive ? m_pVolume : nullptr; }

FileItem* ItemRef::Item() const {
    if (!m_pItem || !GetVolume()) return nullptr;
    if (m_bTop) return m_pItem;
    const uint64_t now = m_bInRecycle ? m_pEpochs->recycle.load() : m_pEpochs->root.load();
    return now == m_nGeneration ? m_pItem : nullptr;
}

bool ItemRef::operator==(const ItemRef& other) const {
    return m_pVolume == other.m_pVolume && m_pItem == other.m_pItem && m_nGeneration == other.m_nGeneration &&
           m_bInRecycle == other.m_bInRecycle && m_pEpochs == other.m_pEpochs;
}

}  // namespace delvora
