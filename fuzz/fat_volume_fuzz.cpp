// Loads a FAT volume from the fuzzer's bytes and lists and reads every
// item. The first byte picks the kind (FAT12/16/32) and the options; the
// rest is the volume image, served from a file so that reads past its end
// fail as they would on a short image.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/reporting.h"
#include "disk/data_source.h"
#include "disk/device_map.h"
#include "fs/fat/fat_volume.h"
#include "fs/file_list_row.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const std::string path = "/tmp/delvora-fat-fuzz-" + std::to_string(getpid()) + ".img";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    DeviceMap map;
    AnalysisOptions options;
    options.verifyDeletedFolders = (data[0] >> 2) & 1;
    options.ignoreZeroTime = (data[0] >> 3) & 1;
    CoreContext context;
    context.devices = &map;
    context.options = &options;
    DataSource source(context);
    source.SetPath(path);
    if (!source.Open()) return 0;
    FatVolume volume;
    volume.SetContext(context);
    volume.SetDataSource(&source);
    volume.SetFatType(static_cast<uint8_t>(data[0] % 3 + 1));
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
            volume.ReadItemRange(item, buffer.data(), 0, item->size, &runs);
            uint64_t allocated = 0, valid = 0;
            volume.GetItemSizes(item, runs, allocated, valid);
            if (runs.Size() <= 256) volume.ReadWholeItem(item, buffer, allocated, valid);
        }
        for (uint32_t i = 0; i < item->childCount; ++i) stack.push_back(&item->children[i]);
    }
    ClusterRunList rootSectors;
    volume.ListRootSectors(rootSectors);
    std::vector<DiskRegion> regions;
    volume.ListRegions(regions);
    return 0;
}
