// Walks the boot records of a disk image made of the fuzzer's bytes. The
// input is laid out sparsely: each 514-byte chunk is a 16-bit sector number
// followed by the 512 bytes written there, so extended chains far into the
// disk are reachable.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "disk/device_map.h"
#include "disk/disk_scan.h"

using namespace delvora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/delvora-partition-fuzz-" + std::to_string(getpid()) + ".img";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    for (size_t off = 0; off + 514 <= size; off += 514) {
        const uint32_t sector = data[off] | (data[off + 1] << 8);
        std::fseek(f, static_cast<long>(sector) * 512, SEEK_SET);
        std::fwrite(data + off + 2, 1, 512, f);
    }
    std::fclose(f);
    DeviceMap map;
    map.Set("PHYSICALDRIVE0", path);
    CoreContext context;
    context.devices = &map;
    DiskScan scan(context);
    scan.WalkDisk("PHYSICALDRIVE0");
    for (const auto& entry : scan.Entries()) (void)DiskScan::RowTexts(entry);
    return 0;
}
