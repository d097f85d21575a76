#pragma once
// The NTFS boot-sector values the reader works with, decoded from the first
// 84 bytes of the volume. Sector counts are turned into the 512-byte units
// every source reads in, whatever the volume's own sector size.
#include <cstdint>

#include "common/bytes.h"

namespace delvora {

struct NtfsBootInfo {
    uint32_t bytesPerSector = 0;      // 0x0B, the volume's own sector size
    uint32_t clusterBytes = 0;        // bytes per sector × sectors per cluster (0x0D)
    uint32_t sectorsPerCluster = 0;   // 512-byte sectors in a cluster
    uint64_t totalSectors = 0;        // 0x28, in 512-byte sectors
    uint64_t mftCluster = 0;          // 0x30
    uint32_t recordBytes = 0;         // MFT record size, from the signed byte at 0x40
};

/// Decodes the boot values. False when the sector size is not a power of two
/// from 256 to 4096, a cluster is not a whole number of 512-byte sectors (or
/// is above 2 MiB), or the total is 0. The record size is clusters × cluster
/// bytes for a positive 0x40 byte and 2^-n bytes for a negative one; a value
/// outside 512..4096 or not a power of two falls back to 1024.
bool ParseNtfsBoot(ByteSpan boot, NtfsBootInfo& info);

}  // namespace delvora
