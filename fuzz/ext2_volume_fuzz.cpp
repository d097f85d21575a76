// Loads an EXT2/3/4 volume from arbitrary bytes and reads every item it
// finds, with its times. Seed it with small mke2fs images
// (fuzz/ext2_volume_seeds.sh).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "chart/disk_map.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "fs/ext2/ext2_volume.h"

namespace {

// Depth first over the tree with an explicit stack; budget bounds the items
// visited per input.
void Visit(delvora::Ext2Volume& volume, delvora::FileItem& root) {
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
            uint8_t head[100];
            volume.ReadItemRange(item, head, 0, sizeof head, nullptr);  // inline data too
            volume.GetItemSizes(item, allocated, valid);
            volume.GetItemExtent(item, allocated, first);
            delvora::ItemTimes times;
            volume.GetItemTimes(item, times);
            std::vector<uint8_t> whole;
            volume.ReadWholeItem(item, whole, allocated, valid);
            stack.push_back(item);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    delvora::DataSource source;
    if (!source.OpenWithBackend(std::make_unique<delvora::BytesBackend>(data, size))) return 0;
    // A first byte of 0xF1 (the boot block is otherwise unused) makes the
    // next 32 bytes typed-in parameters in place of the superblock.
    if (size > 33 && data[0] == 0xF1) {
        delvora::Ext2Params params;
        std::copy_n(data + 1, params.size(), params.begin());
        source.SetExt2_Param(params);
    }
    delvora::Ext2Volume volume;
    volume.SetDataSource(&source);
    volume.SetStartSector(0);
    volume.SetTotalSectors((size + 511) / 512);
    if (volume.Prepare()) {
        // The region list as the disk map takes it, every cell probed.
        delvora::DiskMap map;
        map.SetCellBudget(2048);
        delvora::LoadVolumeRegions(volume, map);
        for (uint64_t cell = 0; cell < map.CellCount(); ++cell) map.CellType(cell);
        if (volume.LoadTree()) {
            Visit(volume, *volume.RootItem());
            if (volume.RootItem()->childCount > 0) delvora::MarkItemSectors(volume, volume.RootItem()->children, map);
        }
    }
    return 0;
}
