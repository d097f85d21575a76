// Loads the EXT2 image named by DELVORA_EXT2_IMAGE (Prepare, LoadTree) and
// lists every item of its tree as `ls` does (sizes and first sector). DELVORA_BENCH_ITERATIONS=1 makes one load
// per process, for whole-process time and peak memory (bench/ext2_load.sh).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "disk/data_source.h"
#include "fs/ext2/ext2_volume.h"

namespace {

uint64_t ListItems(delvora::Volume& volume, delvora::FileItem& folder) {
    uint64_t count = folder.childCount;
    for (uint32_t i = 0; i < folder.childCount; ++i) {
        uint64_t allocated = 0, firstSector = 0;
        volume.GetItemExtent(&folder.children[i], allocated, firstSector);
        benchmark::DoNotOptimize(firstSector);
        count += ListItems(volume, folder.children[i]);
    }
    return count;
}

void Ext2Load(benchmark::State& state) {
    const char* image = std::getenv("DELVORA_EXT2_IMAGE");
    if (!image) {
        state.SkipWithError("set DELVORA_EXT2_IMAGE to an ext2 image");
        return;
    }
    uint64_t items = 0;
    for (auto _ : state) {
        delvora::DataSource source;
        source.SetKind(delvora::SourceKind::Device);
        source.SetPath(image);
        delvora::Ext2Volume volume;
        volume.SetDataSource(&source);
        volume.SetTotalSectors(UINT32_MAX);
        if (!source.Open() || !volume.Prepare() || !volume.LoadTree()) {
            state.SkipWithError("load failed");
            return;
        }
        items = ListItems(volume, *volume.RootItem());
    }
    state.counters["items"] = static_cast<double>(items);
}

const bool kRegistered = [] {
    auto* bench = benchmark::RegisterBenchmark("Ext2Load", Ext2Load)->Unit(benchmark::kMillisecond);
    if (const char* n = std::getenv("DELVORA_BENCH_ITERATIONS")) bench->Iterations(std::atoi(n));
    return true;
}();

}  // namespace
