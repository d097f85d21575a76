#include "fs/volume_registry.h"

#include <cstring>

#include "common/bytes.h"
#include "fs/fat/fat_volume.h"
#include "fs/ntfs/ntfs_volume.h"
#include "fs/ext2/ext2_volume.h"

namespace delvora {

Classification ClassifyTypeByte(uint8_t typeId) {
    switch (typeId) {
        case 0x00: return {VolumeClass::None, 0};
        case 0x01: return {VolumeClass::Fat, 1};
        case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: return {VolumeClass::Fat, 2};
        case 0x0B: case 0x0C: return {VolumeClass::Fat, 3};
        case 0x07: case 0x17: case 0x86: case 0x87: return {VolumeClass::Ntfs, 0};
        case 0x83: case 0x85: return {VolumeClass::Ext2, 0};
        default: return {VolumeClass::Unknown, 0};
    }
}

std::unique_ptr<Volume> MakeVolume(VolumeClass volumeClass) {
    switch (volumeClass) {
        // Each file-system reader registers its constructor here.
        case VolumeClass::Fat: return std::make_unique<FatVolume>();
        case VolumeClass::Ntfs: return std::make_unique<NtfsVolume>();
        case VolumeClass::Ext2: return std::make_unique<Ext2Volume>();
        default: return nullptr;
    }
}

uint8_t RecogniseVolume(std::span<const uint8_t> head) {
    if (Has(head, 3, 8) && std::memcmp(head.data() + 3, "NTFS    ", 8) == 0) return 0x07;
    if (Le16(head, 1024 + 56) == 0xEF53) return 0x83;
    if (Le16(head, 510) != 0xAA55) return 0;

    const uint32_t bytesPerSector = Le16(head, 11);
    const uint32_t sectorsPerCluster = Le8(head, 13);
    const uint32_t reserved = Le16(head, 14);
    const uint32_t fats = Le8(head, 16);
    const uint32_t rootEntries = Le16(head, 17);
    const uint32_t total = Le16(head, 19) ? Le16(head, 19) : Le32(head, 32);
    const uint32_t fatSize = Le16(head, 22) ? Le16(head, 22) : Le32(head, 36);
    if (bytesPerSector == 0 || bytesPerSector % 512 != 0 || sectorsPerCluster == 0 || reserved == 0 ||
        fats == 0 || fatSize == 0)
        return 0;
    const uint64_t rootSectors = (uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t meta = reserved + uint64_t{fats} * fatSize + rootSectors;
    if (meta >= total) return 0;
    const uint64_t clusters = (total - meta) / sectorsPerCluster;
    if (clusters < 4085) return 0x01;
    if (clusters < 65525) return 0x06;
    return 0x0B;
}

}  // namespace delvora
