#include "fs/fat/fat_boot.h"

#include "common/bytes.h"

namespace delvora {

FatBootFields ParseFatBootParams(const FatBootParams& params) {
    // The kept bytes start at sector offset 3.
    const ByteSpan b(params.data(), params.size());
    constexpr size_t k = 3;
    FatBootFields f;
    f.bytesPerSector = Le16(b, 11 - k);
    f.sectorsPerCluster = Le8(b, 13 - k);
    f.reservedSectors = Le16(b, 14 - k);
    f.fatCount = Le8(b, 16 - k);
    f.rootEntries = Le16(b, 17 - k);
    f.totalSectors16 = Le16(b, 19 - k);
    f.fatSize16 = Le16(b, 22 - k);
    f.totalSectors32 = Le32(b, 32 - k);
    f.fatSize32 = Le32(b, 36 - k);
    f.rootCluster = Le32(b, 44 - k);
    return f;
}

GeometryResult ComputeFatGeometry(const FatBootFields& f, int kind, FatGeometry& g) {
    g = FatGeometry{};
    g.kind = kind;
    g.sectorsPerCluster = f.sectorsPerCluster;
    // Every sector number inside the volume counts 512-byte sectors.
    g.clusterBytes = 512u * f.sectorsPerCluster;
    if (f.bytesPerSector == 0 || f.sectorsPerCluster == 0) return GeometryResult::DamagedBoot;
    g.reservedSectors = f.reservedSectors;
    g.fatCount = f.fatCount;
    uint64_t rootStart = 0, dataStart = 0;
    switch (kind) {
        case 1:
        case 2:
            g.fatSize = f.fatSize16;
            rootStart = uint64_t{f.fatCount} * f.fatSize16 + f.reservedSectors;
            dataStart = rootStart + f.rootEntries / 16;
            g.rootEntries = f.rootEntries;
            g.totalSectors = (kind == 1 || f.totalSectors16 != 0) ? f.totalSectors16 : f.totalSectors32;
            g.bitmapClusters = g.totalSectors / f.sectorsPerCluster;
            break;
        case 3:
            g.fatSize = f.fatSize32;
            rootStart = dataStart = uint64_t{f.fatCount} * f.fatSize32 + f.reservedSectors;
            g.totalSectors = f.totalSectors32;
            g.bitmapClusters = uint64_t{f.fatSize32} * 128;
            break;
        default:
            return GeometryResult::UnknownKind;
    }
    if (dataStart > UINT32_MAX) return GeometryResult::DamagedBoot;
    g.rootStart = static_cast<uint32_t>(rootStart);
    g.dataStart = static_cast<uint32_t>(dataStart);
    g.rootEnd = g.dataStart;
    // A data area that would begin past the volume's end has no clusters;
    // the subtraction must not wrap into billions of them.
    g.clusterCount = g.totalSectors > g.dataStart ? (g.totalSectors - g.dataStart) / g.sectorsPerCluster : 0;
    g.dataBytes = uint64_t{g.sectorsPerCluster} * 512 * g.clusterCount;
    if (kind == 3) {
        g.rootCluster = g.ValidCluster(f.rootCluster) ? f.rootCluster : 2;
    }
    return GeometryResult::Ok;
}

uint64_t FatBytesNeeded(int kind, uint32_t clusterCount) {
    const uint64_t entries = uint64_t{clusterCount} + 2;
    switch (kind) {
        case 1: return entries * 3 / 2 + 1;
        case 2: return entries * 2;
        default: return entries * 4;
    }
}

}  // namespace delvora
