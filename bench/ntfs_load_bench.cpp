// NTFS loading and reading.
//   ntfs_load_bench --load IMAGE       load once, print the item count
//   ntfs_load_bench --read IMAGE NAME  copy a root-folder file to stdout
//   ntfs_load_bench [benchmark flags]  the parsing kernel, and a whole load
//                                      of $DELVORA_NTFS_IMAGE when set
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "disk/data_source.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_volume.h"

namespace {

using namespace delvora;

struct Loaded {
    DataSource source;
    NtfsVolume volume;
    bool ok = false;
};

void Load(Loaded& l, const char* path) {
    l.source.SetKind(SourceKind::Device);
    l.source.SetPath(path);
    if (!l.source.Open()) return;
    l.volume.SetDataSource(&l.source);
    l.volume.SetTotalSectors(l.source.SizeBytes() / 512);
    l.ok = l.volume.Prepare() && l.volume.LoadTree();
    l.volume.ReleaseLoadTables();
}

uint64_t Count(const FileItem& folder) {
    uint64_t n = folder.childCount;
    for (uint32_t i = 0; i < folder.childCount; ++i) n += Count(folder.children[i]);
    return n;
}

int LoadOnce(const char* path) {
    Loaded l;
    Load(l, path);
    if (!l.ok) return 1;
    std::printf("%llu\n", static_cast<unsigned long long>(Count(*l.volume.RootItem())));
    return 0;
}

int ReadOnce(const char* path, const char* name) {
    Loaded l;
    Load(l, path);
    if (!l.ok) return 1;
    FileItem* root = l.volume.RootItem();
    for (uint32_t i = 0; i < root->childCount; ++i) {
        FileItem* item = &root->children[i];
        if (std::strcmp(item->name, name) != 0) continue;
        ClusterRunList runs;
        if (!l.volume.GetItemRuns(item, runs)) return 1;
        std::vector<uint8_t> buffer(16u << 20);
        // Ends when the item's size is copied or a read fails.
        for (uint64_t done = 0; done < item->size;) {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), item->size - done));
            if (!l.volume.ReadItemRange(item, buffer.data(), done, n, &runs)) return 1;
            std::fwrite(buffer.data(), 1, n, stdout);
            done += n;
        }
        return 0;
    }
    return 1;
}

// 64 KiB blocks of records as a loaded MFT holds them.
void BM_ParseMftBlock(benchmark::State& state) {
    std::vector<uint8_t> block(65536, 0);
    for (uint32_t r = 0; r < 64; ++r) {
        uint8_t* p = &block[r * 1024];
        std::memcpy(p, "FILE", 4);
        PutLe16(p + 0x14, 0x38);
        PutLe16(p + 0x16, 1);
        uint8_t* a = p + 0x38;
        PutLe32(a, 0x30);
        PutLe32(a + 4, 0x68 + 24);
        PutLe32(a + 0x18, 5);
        a[0x58] = 12;
        a[0x59] = 1;
        for (int i = 0; i < 12; ++i) a[0x5A + 2 * i] = static_cast<uint8_t>('a' + (r + i) % 26);
        PutLe32(a + 0x68 + 24, 0xFFFFFFFF);
    }
    NullLog log;
    for (auto _ : state) {
        NamePool names;
        NtfsLoadTables tables;
        tables.names = &names;
        tables.items.resize(64);
        benchmark::DoNotOptimize(GetAttributeInfo(block, 0, 1024, tables, log));
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_ParseMftBlock);

void BM_LoadImage(benchmark::State& state) {
    const char* path = std::getenv("DELVORA_NTFS_IMAGE");
    if (!path) {
        state.SkipWithError("set DELVORA_NTFS_IMAGE");
        return;
    }
    for (auto _ : state) {
        NamePool names;
        Loaded l;
        l.volume.SetNamePool(names);
        Load(l, path);
        if (!l.ok) state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_LoadImage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) return LoadOnce(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--read") == 0) return ReadOnce(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
