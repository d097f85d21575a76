#include "fs/volume_registry.h"

#include <cstring>

#include "common/bytes.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_volume.h"
#include "fs/ntfs/ntfs_volume.h"
#include "fs/ext2/ext2_volume.h"
#include "fs/exfat/exfat_volume.h"
#include "disk/partition_types.h"

namespace delvora {

Classification ClassifyTypeByte(uint8_t typeId) {
    switch (typeId) {
        case 0x00: return {VolumeClass::None, 0};
        case 0x01: return {VolumeClass::Fat, 1};
        case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: return {VolumeClass::Fat, 2};
        case 0x0B: case 0x0C: return {VolumeClass::Fat, 3};
        case 0x07: case 0x17: case 0x86: case 0x87: return {VolumeClass::Ntfs, 0};
        case 0x83: case 0x85: return {VolumeClass::Ext2, 0};
        case kExfatTypeId: return {VolumeClass::Exfat, 0};
        default: return {VolumeClass::Unknown, 0};
    }
}

std::unique_ptr<Volume> MakeVolume(VolumeClass volumeClass) {
    switch (volumeClass) {
        // Each file-system reader registers its constructor here.
        case VolumeClass::Fat: return std::make_unique<FatVolume>();
        case VolumeClass::Ntfs: return std::make_unique<NtfsVolume>();
        case VolumeClass::Ext2: return std::make_unique<Ext2Volume>();
        case VolumeClass::Exfat: return std::make_unique<ExfatVolume>();
        default: return nullptr;
    }
}

uint8_t RecogniseVolume(std::span<const uint8_t> head) {
    if (Has(head, 3, 8) && std::memcmp(head.data() + 3, "NTFS    ", 8) == 0) return 0x07;
    if (IsExfatBootSector(head) && Le16(head, 510) == 0xAA55) return kExfatTypeId;
    if (Le16(head, 1024 + 56) == 0xEF53) return 0x83;
    if (Le16(head, 510) != 0xAA55) return 0;

    FatBootParams params{};
    if (!Has(head, 3, params.size())) return 0;
    std::memcpy(params.data(), head.data() + 3, params.size());
    const FatBootFields fields = ParseFatBootParams(params);
    // The boot sector itself starts the reserved area.
    if (fields.reservedSectors == 0) return 0;
    const int kind = FatKindOf(fields);
    FatGeometry geometry;
    if (ComputeFatGeometry(fields, kind, geometry) != GeometryResult::Ok || geometry.clusterCount == 0) return 0;
    return kind == 1 ? 0x01 : kind == 2 ? 0x06 : 0x0B;
}

}  // namespace delvora
