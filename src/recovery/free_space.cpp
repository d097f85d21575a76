#include "recovery/free_space.h"

#include <algorithm>
#include <new>

#include "fs/cluster_run_list.h"
#include "fs/file_item.h"

namespace delvora {

bool FreeSectorRuns(Volume& volume, uint64_t dataStart, uint64_t totalSectors,
                    std::vector<std::pair<uint64_t, uint64_t>>& free) {
    free.clear();
    try {
        std::vector<std::pair<uint64_t, uint64_t>> used;
        std::vector<FileItem*> stack{volume.RootItem()};
        // Each item is visited once: the tree is finite and acyclic.
        while (!stack.empty()) {
            FileItem* item = stack.back();
            stack.pop_back();
            if (!item) continue;
            for (uint32_t i = 0; i < item->childCount; ++i) {
                FileItem* child = &item->children[i];
                if (child->IsDeleted() || child->IsFound()) continue;
                stack.push_back(child);
                ClusterRunList runs, sectors;
                if (!volume.GetItemRuns(child, runs) || !volume.ConvertRunsToSectors(child, runs, sectors)) continue;
                for (const ClusterRun& run : sectors) used.emplace_back(run.first, run.count);
            }
        }
        std::sort(used.begin(), used.end());
        uint64_t at = dataStart;
        for (const auto& [first, count] : used) {
            if (first > at && at < totalSectors) free.emplace_back(at, std::min(first, totalSectors) - at);
            at = std::max(at, first + count);
        }
        if (at < totalSectors) free.emplace_back(at, totalSectors - at);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace delvora
