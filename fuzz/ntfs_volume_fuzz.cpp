// A small NTFS volume served from memory: a fixed boot sector and a valid
// record 0, with the fuzzer's bytes as the rest of the MFT and the data
// area. Loading and every item operation must end without a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "chart/disk_map.h"
#include "common/bytes.h"
#include "disk/data_source.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_volume.h"

namespace {

using namespace delvora;

constexpr uint32_t kSectors = 512;        // 256 KiB volume
constexpr uint32_t kClusterBytes = 1024;  // two sectors
constexpr uint32_t kMftCluster = 4;

// The first input byte picks the record size (bit 7: 4096 bytes, else
// 1024); 0 leaves the total sector count 0.
std::vector<uint8_t> Image(const uint8_t* data, size_t size) {
    const uint32_t recordBytes = size > 0 && (data[0] & 0x80) ? 4096 : 1024;
    std::vector<uint8_t> image(kSectors * 512, 0);
    std::memcpy(&image[3], "NTFS    ", 8);
    PutLe16(&image[0x0B], 512);
    image[0x0D] = kClusterBytes / 512;
    PutLe32(&image[0x28], size > 0 && data[0] == 0 ? 0 : kSectors);
    PutLe32(&image[0x30], kMftCluster);
    image[0x40] = recordBytes == 4096 ? 0xF4 : 0xF6;
    // Record 0: a $DATA whose runs come from the input's first bytes when
    // it has them (two runs of up to 64 clusters), else one run of 64.
    uint8_t* r = &image[kMftCluster * kClusterBytes];
    std::memcpy(r, "FILE", 4);
    PutLe16(r + 0x14, 0x38);
    PutLe16(r + 0x16, 1);
    uint8_t* a = r + 0x38;
    PutLe32(a, 0x80);
    PutLe32(a + 4, 0x50);
    a[8] = 1;
    PutLe16(a + 0x20, 0x40);
    const uint8_t count1 = size > 1 ? data[1] % 64 + 1 : 64;
    const uint8_t count2 = size > 2 ? data[2] % 32 : 0;
    const uint8_t jump = size > 3 ? data[3] : 100;
    uint8_t* runs = a + 0x40;
    runs[0] = 0x11; runs[1] = count1; runs[2] = kMftCluster;
    if (count2) { runs[3] = 0x11; runs[4] = count2; runs[5] = jump; }
    PutLe32(a + 0x50, 0xFFFFFFFF);
    // The rest of the input: records 1.. and then the data clusters.
    const size_t from = kMftCluster * kClusterBytes + recordBytes;
    if (size > 4) std::memcpy(&image[from], data + 4, std::min(size - 4, image.size() - from));
    return image;
}

void Visit(NtfsVolume& volume, FileItem& folder, int depth, std::vector<uint8_t>& buffer) {
    for (uint32_t i = 0; i < folder.childCount && depth < 64; ++i) {
        FileItem& item = folder.children[i];
        ClusterRunList runs, sectors;
        uint64_t allocated = 0, valid = 0, first = 0;
        volume.GetItemRuns(&item, runs);
        volume.ConvertRunsToSectors(&item, runs, sectors);
        volume.GetItemSizes(&item, runs, allocated, valid);
        volume.GetItemSizes(&item, allocated, valid);
        volume.GetItemExtent(&item, allocated, first);
        ItemTimes times;
        volume.GetItemTimes(&item, times);
        const auto count = static_cast<uint32_t>(std::min<uint64_t>(item.size, 70000));
        volume.ReadItemRange(&item, buffer.data(), item.size > 100 ? 37 : 0, count, nullptr);
        Visit(volume, item, depth + 1, buffer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> image = Image(data, size);
    DataSource source;
    if (!source.OpenWithBackend(std::make_unique<BytesBackend>(image.data(), image.size()))) return 0;
    NamePool names;  // names of this input only, freed with it
    NtfsVolume volume;
    volume.SetNamePool(names);
    volume.SetDataSource(&source);
    volume.SetTotalSectors(kSectors);
    if (volume.Prepare() && volume.LoadTree()) {
        std::vector<uint8_t> buffer(70000 + 64);
        Visit(volume, *volume.RootItem(), 0, buffer);
        // The region list as the disk map takes it, every cell probed.
        DiskMap map;
        map.SetCellBudget(2048);
        LoadVolumeRegions(volume, map);
        for (uint64_t cell = 0; cell < map.CellCount(); ++cell) map.CellType(cell);
    }
    volume.ReleaseLoadTables();
    return 0;
}
