// Single MFT records, attribute lists and run lists: every parser of record
// bytes must stay inside the record whatever its offsets, lengths and name
// lengths say; and a file gathered across extension records (served from
// memory) must stay bounded however the records point at each other.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "common/bytes.h"
#include "common/reporting.h"
#include "disk/data_source.h"
#include "fs/name_pool.h"
#include "fs/ntfs/ntfs_attribute_info.h"
#include "fs/ntfs/ntfs_file_facts.h"
#include "fs/ntfs/ntfs_record.h"
#include "fs/ntfs/ntfs_run_list.h"
#include "fs/ntfs/ntfs_volume.h"

namespace {

using namespace delvora;

constexpr uint32_t kSectors = 256;  // 128 KiB volume of 512-byte clusters
constexpr uint32_t kMftCluster = 16;

// A volume whose MFT (1024-byte records from cluster 16 to the end) holds the
// input from record 1 on; record 0 maps the whole MFT.
std::vector<uint8_t> Image(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(kSectors * 512, 0);
    std::memcpy(&image[3], "NTFS    ", 8);
    PutLe16(&image[0x0B], 512);
    image[0x0D] = 1;
    PutLe32(&image[0x28], kSectors);
    PutLe32(&image[0x30], kMftCluster);
    image[0x40] = 0xF6;
    uint8_t* r = &image[kMftCluster * 512];
    std::memcpy(r, "FILE", 4);
    PutLe16(r + 0x14, 0x38);
    PutLe16(r + 0x16, 1);
    uint8_t* a = r + 0x38;
    PutLe32(a, 0x80);
    PutLe32(a + 4, 0x48);
    a[8] = 1;
    PutLe16(a + 0x20, 0x40);
    a[0x40] = 0x11;
    a[0x41] = kSectors - kMftCluster;
    a[0x42] = kMftCluster;
    PutLe32(a + 0x48, 0xFFFFFFFF);
    const size_t from = kMftCluster * 512 + 1024;
    std::memcpy(&image[from], data, std::min(size, image.size() - from));
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NullLog log;
    NamePool names;  // names of this input only, freed with it
    const ByteSpan input(data, size);

    ClusterRunList runs;
    DecodeRunList(input, runs);
    ListedRecords(input, 1);

    // The input as one record of each size (exactly sized copies, so the
    // sanitizer sees any read past the record).
    for (const size_t recordBytes : {size_t{512}, size_t{1024}, size_t{4096}}) {
        if (size < recordBytes) break;
        std::vector<uint8_t> record(data, data + recordBytes);
        ApplyFixup(record);
        NtfsFileFacts facts;
        std::vector<NtfsNameFact> found;
        ReadFileAttributes(record, facts, &found);
        JoinPieces(facts.pieces, runs);
        FileItem item;
        uint32_t parent = 0;
        GetAttributeInfo(record, item, parent, log, names);
    }

    // The whole input as a batch of records against a small table.
    NtfsLoadTables tables;
    tables.items.resize(64);
    tables.names = &names;
    std::vector<uint8_t> batch(data, data + size / 1024 * 1024);
    GetAttributeInfo(batch, 0, 1024, tables, log);

    // Every record of the input as a file of a volume in memory, lists followed.
    const std::vector<uint8_t> image = Image(data, size);
    DataSource source;
    if (!source.OpenWithBackend(std::make_unique<BytesBackend>(image.data(), image.size()))) return 0;
    NtfsVolume volume;
    volume.SetNamePool(names);
    volume.SetDataSource(&source);
    volume.SetTotalSectors(kSectors);
    if (!volume.Prepare()) return 0;
    std::vector<uint8_t> buffer(4096);
    for (uint32_t number = 1; number <= size / 1024 + 1 && number < 64; ++number) {
        FileItem item = MakeItem("f");
        item.startCluster = number;
        item.size = 4096;
        volume.GetItemRuns(&item, runs);
        ItemTimes times;
        volume.GetItemTimes(&item, times);
        volume.ReadItemRange(&item, buffer.data(), 0, 4096, nullptr);
    }
    volume.ReleaseLoadTables();
    return 0;
}
