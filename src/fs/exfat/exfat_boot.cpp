#include "fs/exfat/exfat_boot.h"

#include <cstring>

namespace delvora {

bool IsExfatBootSector(ByteSpan sector) {
    return Has(sector, 3, 8) && std::memcmp(sector.data() + 3, "EXFAT   ", 8) == 0;
}

bool ParseExfatBootSector(ByteSpan s, ExfatGeometry& g, const char*& reason) {
    reason = "";
    if (!Has(s, 0, 512) || !IsExfatBootSector(s)) {
        reason = "no exFAT name";
        return false;
    }
    if (Le16(s, 510) != 0xAA55) {
        reason = "no boot signature";
        return false;
    }
    g = ExfatGeometry{};
    g.bytesPerSectorShift = Le8(s, 108);
    g.sectorsPerClusterShift = Le8(s, 109);
    // 512 to 4,096-byte sectors, clusters of at most 32 MiB.
    if (g.bytesPerSectorShift < 9 || g.bytesPerSectorShift > 12 ||
        g.sectorsPerClusterShift > 25 - g.bytesPerSectorShift) {
        reason = "sector or cluster shift out of range";
        return false;
    }
    g.bytesPerSector = 1u << g.bytesPerSectorShift;
    g.sectorsPerCluster = 1u << g.sectorsPerClusterShift;
    g.clusterBytes = g.bytesPerSector << g.sectorsPerClusterShift;
    g.volumeLength = Le64(s, 72);
    g.fatOffset = Le32(s, 80);
    g.fatLength = Le32(s, 84);
    g.heapOffset = Le32(s, 88);
    g.clusterCount = Le32(s, 92);
    g.rootCluster = Le32(s, 96);
    g.serial = Le32(s, 100);
    g.flags = Le16(s, 106);
    g.fatCount = Le8(s, 110);
    if (g.fatCount != 1 && g.fatCount != 2) {
        reason = "number of FATs not 1 or 2";
        return false;
    }
    // The FAT follows the two boot regions, the heap follows the FATs, and
    // the FAT holds an entry for every cluster.
    if (g.fatOffset < 2 * kExfatBootRegionSectors || g.fatLength == 0 ||
        uint64_t{g.fatLength} * g.bytesPerSector < (uint64_t{g.clusterCount} + 2) * 4) {
        reason = "FAT offset or length out of range";
        return false;
    }
    if (uint64_t{g.heapOffset} < uint64_t{g.fatOffset} + uint64_t{g.fatLength} * g.fatCount) {
        reason = "cluster heap overlaps the FAT";
        return false;
    }
    if (g.clusterCount == 0 || g.clusterCount > 0xFFFFFFF5u) {
        reason = "cluster count out of range";
        return false;
    }
    const uint64_t heapEnd = g.heapOffset + (uint64_t{g.clusterCount} << g.sectorsPerClusterShift);
    if (g.volumeLength != 0 && heapEnd > g.volumeLength) {
        reason = "cluster heap runs past the volume";
        return false;
    }
    if (!g.ValidCluster(g.rootCluster)) {
        reason = "root folder outside the cluster heap";
        return false;
    }
    return true;
}

uint32_t ExfatBootChecksum(ByteSpan bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + bytes[i];
    }
    return sum;
}

bool ExfatBootRegionValid(ByteSpan region, uint32_t bytesPerSector) {
    if (bytesPerSector < 512 || !Has(region, 0, size_t{bytesPerSector} * kExfatBootRegionSectors)) return false;
    const uint32_t sum = ExfatBootChecksum(region.first(size_t{bytesPerSector} * 11));
    const ByteSpan last = region.subspan(size_t{bytesPerSector} * 11, bytesPerSector);
    for (size_t i = 0; i + 4 <= last.size(); i += 4)
        if (Le32(last, i) != sum) return false;
    return true;
}

}  // namespace delvora
