#include "recovery/found_folders.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "fs/file_tree.h"

namespace delvora {
namespace {

struct Place {
    size_t folder;     // the found folder whose original subtree holds it
    FileItem* item;    // its record as the scan left it (a key, later)
};

/// Root of a folder in the union of grafted folders.
size_t Owner(std::vector<size_t>& owner, size_t k) {
    // Each step moves to a folder grafted later; halving keeps paths short.
    while (owner[k] != k) {
        owner[k] = owner[owner[k]];
        k = owner[k];
    }
    return k;
}

}  // namespace

void NestFoundFolders(std::vector<FileItem>& folders) {
    const size_t n = folders.size();
    // The records were copied into the list: their children point back at them.
    for (FileItem& folder : folders) RelinkParents(folder);
    if (n < 2) return;
    // Every directory item below each folder, by start cluster, in walk order.
    std::unordered_map<uint32_t, std::vector<Place>> index;
    for (size_t k = 0; k < n; ++k) {
        ForEachBelow(folders[k], [&](FileItem& item) {
            if (item.IsDirectory()) index[item.startCluster].push_back({k, &item});
            return true;
        });
    }
    // Decide first, on the untouched arrays: record addresses stay valid keys.
    std::vector<size_t> owner(n);
    for (size_t k = 0; k < n; ++k) owner[k] = k;
    std::vector<bool> removed(n, false);
    std::unordered_map<const FileItem*, std::vector<size_t>> grafts;  // item -> folders moved into it, in order
    for (size_t x = n; x-- > 0;) {
        auto it = index.find(folders[x].startCluster);
        if (it == index.end()) continue;
        size_t bestOwner = n;
        FileItem* best = nullptr;
        for (const Place& place : it->second) {
            const size_t y = Owner(owner, place.folder);
            if (y == x) continue;
            if (best == nullptr || y > bestOwner) {
                bestOwner = y;
                best = place.item;
            }
        }
        if (!best) continue;
        grafts[best].push_back(x);
        owner[x] = bestOwner;
        removed[x] = true;
    }
    if (grafts.empty()) return;

    // Build the new arrays top-down from every remaining folder; each record
    // is reached once, through its parent's array (the grafts form a forest).
    std::vector<FileItem*> oldArrays;
    struct Step {
        FileItem* current;
        const FileItem* original;
    };
    std::vector<Step> stack;
    for (size_t k = 0; k < n; ++k)
        if (!removed[k]) stack.push_back({&folders[k], &folders[k]});
    while (!stack.empty()) {
        const Step step = stack.back();
        stack.pop_back();
        FileItem& item = *step.current;
        auto g = grafts.find(step.original);
        std::vector<std::pair<FileItem, const FileItem*>> merged;
        if (g != grafts.end()) {
            for (uint32_t i = 0; i < item.childCount; ++i) merged.push_back({item.children[i], &item.children[i]});
            for (size_t x : g->second) {
                FileItem& moved = folders[x];
                for (uint32_t i = 0; i < moved.childCount; ++i) merged.push_back({moved.children[i], &moved.children[i]});
                if (moved.children) oldArrays.push_back(moved.children);
                moved.children = nullptr;
                moved.childCount = 0;
            }
            std::stable_sort(merged.begin(), merged.end(),
                             [](const auto& a, const auto& b) { return ChildLess(a.first, b.first); });
            FileItem* array = new FileItem[merged.size()];
            for (size_t i = 0; i < merged.size(); ++i) array[i] = merged[i].first;
            if (item.children) oldArrays.push_back(item.children);
            item.children = array;
            item.childCount = static_cast<uint32_t>(merged.size());
            for (size_t i = 0; i < merged.size(); ++i)
                if (array[i].IsDirectory()) stack.push_back({&array[i], merged[i].second});
        } else {
            for (uint32_t i = 0; i < item.childCount; ++i)
                if (item.children[i].IsDirectory()) stack.push_back({&item.children[i], &item.children[i]});
        }
    }
    // The old arrays' records were copied (their own arrays moved with them).
    for (FileItem* array : oldArrays) delete[] array;
    std::vector<FileItem> kept;
    for (size_t k = 0; k < n; ++k)
        if (!removed[k]) kept.push_back(folders[k]);
    folders.swap(kept);
    // The folders moved into a new vector and the grafted records into new
    // arrays: their children still point at the old places.
    for (FileItem& folder : folders) RelinkParents(folder);
}

}  // namespace delvora
