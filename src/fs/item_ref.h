#pragma once
// A reference to an item of a loaded volume that is safe to keep: it
// resolves to the item while the part of the tree holding it (the volume's
// own tree, or what searches found) is the one it was taken from, and to
// nothing once that part was rebuilt — a new residual search, a reload — or
// the volume itself went away. Hits, views and dialogs hold these instead of
// bare pointers, which would point into freed arrays after such a rebuild.
#include <cstdint>
#include <memory>

#include "common/translation.h"

namespace delvora {

class Volume;
struct FileItem;
struct TreeEpochs;

class ItemRef {
public:
    ItemRef() = default;
    /// item may be null: the reference then names the volume alone.
    ItemRef(Volume& volume, FileItem* item);

    /// The item, or null when it no longer exists (or none was given).
    FileItem* Item() const;
    /// The volume, or null when it went away.
    Volume* GetVolume() const;
    /// Whether the reference was taken to an item (resolvable or not).
    bool HasItem() const { return m_pItem != nullptr; }
    /// Whether it was taken to an item that no longer exists.
    bool Gone() const { return m_pItem && !Item(); }
    /// The item's address when the reference was taken (FileItem::Address).
    uint64_t Address() const { return m_nAddress; }
    bool operator==(const ItemRef& other) const;

private:
    Volume* m_pVolume = nullptr;
    FileItem* m_pItem = nullptr;
    std::shared_ptr<const TreeEpochs> m_pEpochs;
    uint64_t m_nGeneration = 0;
    uint64_t m_nAddress = 0;
    bool m_bInRecycle = false;
    bool m_bTop = false;
};

/// The text a view shows for an item that no longer exists.
inline constexpr const char* kItemGoneText = TrNoop("ItemRef", "(已不存在)");

}  // namespace delvora
