#include "fs/ntfs/ntfs_boot.h"

#include "fs/ntfs/ntfs_record.h"

namespace delvora {
namespace {

constexpr uint32_t kMaxClusterBytes = 2u << 20;

bool PowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The 0x0D byte: a count up to 128, or (large clusters) 2^-n as a signed byte.
uint64_t SectorsPerClusterField(uint8_t value) {
    if (value <= 0x80) return value;
    const uint32_t shift = 256u - value;
    return shift < 32 ? uint64_t{1} << shift : 0;
}

}  // namespace

bool ParseNtfsBoot(ByteSpan boot, NtfsBootInfo& info) {
    info = NtfsBootInfo{};
    const uint32_t sectorBytes = Le16(boot, 0x0B);
    if (!PowerOfTwo(sectorBytes) || sectorBytes < 256 || sectorBytes > 4096) return false;
    const uint64_t clusterBytes = sectorBytes * SectorsPerClusterField(Le8(boot, 0x0D));
    if (clusterBytes == 0 || clusterBytes % 512 != 0 || clusterBytes > kMaxClusterBytes) return false;
    const uint64_t total = Le64(boot, 0x28);
    // Sector counts are kept in 512-byte units; a count that would not fit is refused.
    if (total == 0 || total > UINT64_MAX / sectorBytes) return false;
    info.bytesPerSector = sectorBytes;
    info.clusterBytes = static_cast<uint32_t>(clusterBytes);
    info.sectorsPerCluster = static_cast<uint32_t>(clusterBytes / 512);
    info.totalSectors = total * sectorBytes / 512;
    info.mftCluster = Le64(boot, 0x30);

    const auto field = static_cast<int8_t>(Le8(boot, 0x40));
    uint64_t record = 0;
    if (field > 0)
        record = clusterBytes * static_cast<uint64_t>(field);
    else if (field < 0 && -field < 32)
        record = uint64_t{1} << -field;
    // A damaged field still leaves the common size to try.
    info.recordBytes = PowerOfTwo(record) && record >= 512 && record <= ntfs::kMaxRecordBytes
                           ? static_cast<uint32_t>(record)
                           : 1024;
    return true;
}

}  // namespace delvora
