#pragma once
// The NTFS boot-sector values the reader works with, decoded from the first
// 84 bytes of the volume.
#include <cstdint>

#include "common/bytes.h"

namespace delvora {

struct NtfsBootInfo {
    uint32_t bytesPerSector = 0;      // 0x0B
    uint32_t sectorsPerCluster = 0;   // 0x0D
    uint64_t totalSectors = 0;        // 0x28
    uint32_t mftCluster = 0;          // 0x30, low 32 bits
    uint32_t clustersPerRecord = 0;   // 0x40, read as u32
    uint32_t clusterBytes = 0;        // bytesPerSector * sectorsPerCluster
    uint32_t recordBytes = 1024;      // 512 only for one-cluster records on 512-byte clusters
};

/// Decodes the boot values. The record size is 1024 unless the record field
/// says one cluster and a cluster is 512 bytes.
NtfsBootInfo ParseNtfsBoot(ByteSpan boot);

}  // namespace delvora
