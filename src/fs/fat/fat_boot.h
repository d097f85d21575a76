#pragma once
// The FAT boot-sector fields this reader uses and the volume geometry worked
// out from them. Pure functions over bytes: no reads from the medium here.
#include <cstdint>
#include <string>

#include "disk/data_source.h"

namespace delvora {

/// Standard fields of a FAT boot sector (offsets within the sector).
struct FatBootFields {
    uint16_t bytesPerSector = 0;     // 11
    uint8_t sectorsPerCluster = 0;   // 13
    uint16_t reservedSectors = 0;    // 14
    uint8_t fatCount = 0;            // 16
    uint16_t rootEntries = 0;        // 17
    uint16_t totalSectors16 = 0;     // 19
    uint16_t fatSize16 = 0;          // 22
    uint32_t totalSectors32 = 0;     // 32
    uint32_t fatSize32 = 0;          // 36
    uint32_t rootCluster = 0;        // 44 (FAT32)
};

/// Decodes the fields from the boot-sector bytes 3..61 that a data source keeps.
FatBootFields ParseFatBootParams(const FatBootParams& params);

/// Where things are on a FAT volume. Sector numbers count the volume's own
/// logical sectors (bytesPerSector each) from the volume's first sector.
struct FatGeometry {
    int kind = 0;                  // 1 FAT12, 2 FAT16, 3 FAT32
    uint32_t bytesPerSector = 512;
    uint32_t reservedSectors = 0;
    uint32_t fatSize = 0;          // sectors of one FAT
    uint32_t fatCount = 0;
    uint64_t rootStart = 0;
    uint64_t dataStart = 0;        // first sector of cluster 2
    uint64_t rootEnd = 0;          // FAT12/16: data start; FAT32: set from the root chain
    uint32_t rootEntries = 0;
    uint32_t rootCluster = 2;      // FAT32 root's first cluster
    uint64_t totalSectors = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t clusterBytes = 0;
    uint32_t clusterCount = 0;     // never more than the kind can number
    uint64_t dataBytes = 0;

    /// True for a cluster number that names a cluster of the data area.
    bool ValidCluster(uint64_t cluster) const { return cluster >= 2 && cluster < uint64_t{clusterCount} + 2; }
    /// First sector of a cluster (cluster numbers below 2 give the data start).
    uint64_t ClusterSector(uint64_t cluster) const {
        return cluster < 2 ? dataStart : dataStart + uint64_t{sectorsPerCluster} * (cluster - 2);
    }
    /// Bytes of one FAT as the boot sector sizes it.
    uint64_t FatBytes() const { return uint64_t{fatSize} * bytesPerSector; }
};

/// Result of working out the geometry.
enum class GeometryResult { Ok, DamagedBoot, UnknownKind };

/// The kind a boot sector describes: FAT32 when its 16-bit FAT size is 0,
/// whatever its cluster count; otherwise FAT12 below 4,085 clusters, else
/// FAT16.
int FatKindOf(const FatBootFields& fields);

/// Works out the geometry of a FAT volume of the given kind. FAT32's root
/// length is left to the caller, which follows the root chain. Damaged: a
/// sector size other than 512, 1024, 2048 or 4096, no sectors per cluster,
/// no FAT, or FATs that end past the volume's own end. A data area that
/// starts past the end has no clusters; the count never exceeds what the
/// kind can number (0xFF5, 0xFFF5, 0x0FFFFFF5).
GeometryResult ComputeFatGeometry(const FatBootFields& fields, int kind, FatGeometry& geometry);

/// Bytes of the FAT that hold the entries of clusters 0 .. clusterCount + 1.
uint64_t FatBytesNeeded(int kind, uint32_t clusterCount);

}  // namespace delvora
