// Loads an exFAT volume from arbitrary bytes, reads every item it finds
// (live, deleted, with their times and overwritten clusters) and runs the
// residual search. Seed it with small mkfs.exfat images.
#include <cstdint>
#include <memory>
#include <vector>

#include "chart/disk_map.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "fs/exfat/exfat_volume.h"
#include "recovery/residual_search.h"

namespace {

// Depth first over the tree with an explicit stack; budget bounds the items
// visited per input.
void Visit(delvora::ExfatVolume& volume, delvora::FileItem& root) {
    std::vector<delvora::FileItem*> stack{&root};
    int budget = 200;
    while (!stack.empty() && budget > 0) {
        delvora::FileItem* folder = stack.back();
        stack.pop_back();
        for (uint32_t i = 0; i < folder->childCount && budget > 0; ++i, --budget) {
            delvora::FileItem* item = &folder->children[i];
            delvora::ClusterRunList runs, sectors;
            uint64_t allocated = 0, valid = 0, first = 0;
            if (volume.GetItemRuns(item, runs)) {
                volume.ConvertRunsToSectors(item, runs, sectors);
                uint8_t buffer[700];
                volume.ReadItemRange(item, buffer, 300, sizeof buffer, &runs);
            }
            volume.GetItemSizes(item, allocated, valid);
            volume.GetItemExtent(item, allocated, first);
            volume.CountOverwrittenClusters(item);
            delvora::ItemTimes times;
            volume.GetItemTimes(item, times);
            if (item->size < (1u << 20)) {
                std::vector<uint8_t> whole;
                volume.ReadWholeItem(item, whole, allocated, valid);
            }
            stack.push_back(item);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    delvora::DataSource source;
    if (!source.OpenWithBackend(std::make_unique<delvora::BytesBackend>(data, size))) return 0;
    delvora::ExfatVolume volume;
    volume.SetDataSource(&source);
    volume.SetStartSector(0);
    volume.SetTotalSectors((size + 511) / 512);
    if (!volume.Prepare()) return 0;
    delvora::DiskMap map;
    map.SetCellBudget(2048);
    delvora::LoadVolumeRegions(volume, map);
    if (volume.LoadTree()) {
        Visit(volume, *volume.RootItem());
        if (volume.RootItem()->childCount > 0) delvora::MarkItemSectors(volume, volume.RootItem()->children, map);
    }
    delvora::RunResidualSearch(volume);
    Visit(volume, *volume.RecycleItem());
    return 0;
}
