#pragma once
// The exFAT boot region: the boot sector's fields, the geometry they give,
// and the region's checksum. Pure functions over bytes.
#include <cstdint>

#include "common/bytes.h"

namespace delvora {

/// Sectors in one boot region (boot, eight extended, OEM, reserved,
/// checksum); the backup region follows directly.
inline constexpr uint32_t kExfatBootRegionSectors = 12;

/// True when a boot sector names its file system "EXFAT   ".
bool IsExfatBootSector(ByteSpan sector);

struct ExfatGeometry {
    uint32_t bytesPerSectorShift = 9;
    uint32_t sectorsPerClusterShift = 0;
    uint32_t bytesPerSector = 512;
    uint32_t sectorsPerCluster = 1;
    uint32_t clusterBytes = 512;
    uint64_t volumeLength = 0;  // sectors
    uint32_t fatOffset = 0;     // sectors from the volume's start
    uint32_t fatLength = 0;     // sectors
    uint32_t heapOffset = 0;    // sectors
    uint32_t clusterCount = 0;
    uint32_t rootCluster = 0;
    uint32_t serial = 0;
    uint16_t flags = 0;
    uint8_t fatCount = 1;

    /// Clusters are numbered 2 .. clusterCount + 1.
    bool ValidCluster(uint64_t cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }
    uint64_t ClusterSector(uint64_t cluster) const {
        return heapOffset + ((cluster >= 2 ? cluster - 2 : 0) << sectorsPerClusterShift);
    }
};

/// Decodes and checks a boot sector. False, with why in reason, when a
/// field is outside what the format allows (shifts, offsets that overlap or
/// run past the volume, a root outside the heap).
bool ParseExfatBootSector(ByteSpan sector, ExfatGeometry& geometry, const char*& reason);

/// The boot checksum over the first eleven sectors of a region (bytes
/// 106, 107 and 112 of the boot sector left out, as they change in use).
uint32_t ExfatBootChecksum(ByteSpan elevenSectors);

/// True when the twelfth sector of a region repeats the checksum of the
/// eleven before it. region: twelve sectors of bytesPerSector bytes.
bool ExfatBootRegionValid(ByteSpan region, uint32_t bytesPerSector);

}  // namespace delvora
