// Loads an EXT2 volume from arbitrary bytes and reads every item it finds.
// Seed it with small mke2fs images (fuzz/ext2_volume_seeds.sh).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "disk/data_source.h"
#include "fs/ext2/ext2_volume.h"

namespace {

void Visit(delvora::Ext2Volume& volume, delvora::FileItem& folder, int& budget) {
    for (uint32_t i = 0; i < folder.childCount && budget > 0; ++i, --budget) {
        delvora::FileItem* item = &folder.children[i];
        delvora::ClusterRunList runs, sectors;
        uint64_t allocated = 0, valid = 0, first = 0;
        if (volume.GetItemRuns(item, runs)) {
            volume.ConvertRunsToSectors(item, runs, sectors);
            uint8_t buffer[700];
            volume.ReadItemRange(item, buffer, 300, sizeof buffer, &runs);
        }
        volume.GetItemSizes(item, allocated, valid);
        volume.GetItemExtent(item, allocated, first);
        std::vector<uint8_t> whole;
        volume.ReadWholeItem(item, whole, allocated, valid);
        Visit(volume, *item, budget);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/ext2_volume_fuzz." + std::to_string(getpid()) + ".img";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    delvora::DataSource source;
    source.SetKind(delvora::SourceKind::Device);
    source.SetPath(path);
    if (!source.Open()) return 0;
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
    volume.SetTotalSectors(static_cast<uint32_t>((size + 511) / 512));
    std::vector<delvora::DiskRegion> regions;
    if (volume.Prepare()) {
        volume.ListRegions(regions);
        if (volume.LoadTree()) {
            int budget = 200;
            Visit(volume, *volume.RootItem(), budget);
        }
    }
    return 0;
}
