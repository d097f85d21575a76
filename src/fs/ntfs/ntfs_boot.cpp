#include "fs/ntfs/ntfs_boot.h"

namespace delvora {

NtfsBootInfo ParseNtfsBoot(ByteSpan boot) {
    NtfsBootInfo info;
    info.bytesPerSector = Le16(boot, 0x0B);
    info.sectorsPerCluster = Le8(boot, 0x0D);
    info.totalSectors = Le64(boot, 0x28);
    info.mftCluster = Le32(boot, 0x30);
    info.clustersPerRecord = Le32(boot, 0x40);
    info.clusterBytes = info.bytesPerSector * info.sectorsPerCluster;
    info.recordBytes = (info.clustersPerRecord == 1 && info.clusterBytes == 512) ? 512 : 1024;
    return info;
}

}  // namespace delvora
