// Loads a FAT volume from the fuzzer's bytes and lists and reads every
// item. The first byte picks the options and the sector size (the boot
// sector's own, or 1,024, 2,048 or 4,096 bytes written over it, so that
// every size is reached without waiting for the fuzzer to find them); the
// rest is the volume image, served from memory: reads past its end fail as
// they would on a short image.
#include <cstdint>
#include <memory>
#include <vector>

#include "common/bytes.h"
#include "common/options.h"
#include "common/reporting.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "disk/device_map.h"
#include "fs/fat/fat_volume.h"
#include "fs/file_list_row.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    std::vector<uint8_t> image(data + 1, data + size);
    if ((data[0] & 3) && image.size() >= 13) PutLe16(&image[11], static_cast<uint16_t>(512u << (data[0] & 3)));

    DeviceMap map;
    AnalysisOptions options;
    options.verifyDeletedFolders = (data[0] >> 2) & 1;
    options.ignoreZeroTime = (data[0] >> 3) & 1;
    CoreContext context;
    context.devices = &map;
    context.options = &options;
    DataSource source(context);
    if (!source.OpenWithBackend(std::make_unique<BytesBackend>(image.data(), image.size()))) return 0;
    FatVolume volume;
    volume.SetContext(context);
    volume.SetDataSource(&source);
    volume.SetFatType(3);  // the boot sector decides the kind
    if (!volume.Prepare()) return 0;
    volume.LoadTree();
    volume.ReleaseLoadTables();

    std::vector<FileItem*> stack{volume.RootItem()};
    std::vector<uint8_t> buffer;
    size_t visited = 0;
    // Every item once: the tree is finite and each is pushed by its parent.
    while (!stack.empty() && visited < 100000) {
        FileItem* item = stack.back();
        stack.pop_back();
        ++visited;
        (void)FileListJson(*item, &volume);
        ClusterRunList runs;
        if (volume.GetItemRuns(item, runs) && item->size <= (1u << 20)) {
            buffer.resize(item->size);
            volume.ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(item->size), &runs);
            uint64_t allocated = 0, valid = 0;
            volume.GetItemSizes(item, runs, allocated, valid);
            if (allocated <= (1u << 22)) volume.ReadWholeItem(item, buffer, allocated, valid);
            ClusterRunList sectors;
            volume.ConvertRunsToSectors(item, runs, sectors);
        }
        for (uint32_t i = 0; i < item->childCount; ++i) stack.push_back(&item->children[i]);
    }
    ClusterRunList rootSectors;
    volume.ListRootSectors(rootSectors);
    std::vector<DiskRegion> regions;
    volume.ListRegions(regions);
    uint8_t raw[512];
    for (uint64_t position : {uint64_t{0}, uint64_t{2}, UINT64_MAX}) volume.ReadRaw(raw, sizeof(raw), position, true);
    return 0;
}
