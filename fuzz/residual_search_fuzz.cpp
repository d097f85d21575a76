// The residual search of a whole volume over the fuzzer's bytes, then every
// item of the tree and of the results read, placed as keyword hits are and
// marked on the disk map.
// The first byte picks the kind (bits 0-1: FAT, NTFS, EXT2) and the options
// (bit 2: search loaded files too, bit 3: only folder heads, bit 4: carve
// web pages, bit 5: carve documents); the rest is the volume image, served
// from memory. Seed it with small tool-made images (fuzz/make-seeds.sh).
#include <cstdint>
#include <memory>
#include <vector>

#include "chart/disk_map.h"
#include "common/options.h"
#include "common/reporting.h"
#include "disk/block_backend.h"
#include "disk/data_source.h"
#include "disk/device_map.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/fat/fat_volume.h"
#include "fs/file_list_row.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_volume.h"
#include "recovery/residual_search.h"
#include "search/hit_place.h"

using namespace delvora;

namespace {

// Every item under the root and the results once, read and placed; the
// budget bounds the work per input, and each item is pushed by its parent.
void Visit(Volume& volume) {
    DiskMap map;
    map.SetCellBudget(2048);
    LoadVolumeRegions(volume, map);
    for (uint64_t cell = 0; cell < map.CellCount(); ++cell) map.CellType(cell);
    std::vector<FileItem*> stack{volume.RootItem(), volume.RecycleItem()};
    HitPlacer placer(volume);
    std::vector<uint8_t> buffer(4096);
    const uint64_t origin = volume.StartSector() * 512;
    for (int budget = 400; !stack.empty() && budget > 0; --budget) {
        FileItem* item = stack.back();
        stack.pop_back();
        (void)FileListJson(*item, &volume);
        ClusterRunList runs, sectors;
        if (volume.GetItemRuns(item, runs)) {
            volume.ReadItemRange(item, buffer.data(), 0, static_cast<uint32_t>(std::min<uint64_t>(item->size, 4096)), &runs);
            volume.ConvertRunsToSectors(item, runs, sectors);
            // A hit at the second byte of each of the first sector runs, and one
            // nowhere: a placed hit lies inside the file.
            int probes = 4;
            for (const ClusterRun& run : sectors) {
                if (probes-- == 0) break;
                uint64_t offset = 0;
                if (placer.Find(*item, origin + run.first * volume.BytesPerSector() + 1, offset) && offset >= item->size)
                    __builtin_trap();
            }
            uint64_t offset = 0;
            placer.Find(*item, UINT64_MAX, offset);
            MarkItemSectors(volume, item, map);
            for (uint64_t cell = 0; cell < map.CellCount(); cell += 97) map.CellMarked(cell);
        }
        for (uint32_t i = 0; i < item->childCount; ++i) stack.push_back(&item->children[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t pick = data[0];
    DeviceMap map;
    AnalysisOptions options;
    options.searchLoadedFiles = (pick >> 2) & 1;
    options.ignoreFirstClusterNotParent = (pick >> 3) & 1;
    options.searchHtml = (pick >> 4) & 1;
    options.searchDoc = (pick >> 5) & 1;
    NullNotifier notifier;
    NullLog log;
    NullProgress progress;
    CoreContext context;
    context.devices = &map;
    context.options = &options;
    context.notifier = &notifier;
    context.log = &log;
    context.progress = &progress;
    DataSource source(context);
    if (!source.OpenWithBackend(std::make_unique<BytesBackend>(data + 1, size - 1))) return 0;

    NamePool names;  // names of this input only, freed with it
    std::unique_ptr<Volume> volume;
    switch (pick & 3) {
        case 0: {
            auto fat = std::make_unique<FatVolume>();
            fat->SetFatType(3);  // the boot sector decides the kind
            volume = std::move(fat);
            break;
        }
        case 1: {
            auto ntfs = std::make_unique<NtfsVolume>();
            ntfs->SetNamePool(names);
            volume = std::move(ntfs);
            break;
        }
        default:
            volume = std::make_unique<Ext2Volume>();
            break;
    }
    volume->SetContext(context);
    volume->SetDataSource(&source);
    volume->SetStartSector(0);
    volume->SetTotalSectors((size - 1) / 512);
    if (!volume->Prepare()) return 0;
    volume->LoadTree();
    volume->ReleaseLoadTables();
    if (RunResidualSearch(*volume)) Visit(*volume);
    return 0;
}
