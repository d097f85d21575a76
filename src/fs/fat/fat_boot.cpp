#include "fs/fat/fat_boot.h"

#include <algorithm>

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

int FatKindOf(const FatBootFields& f) {
    if (f.fatSize16 == 0) return 3;
    FatGeometry g;
    if (ComputeFatGeometry(f, 2, g) != GeometryResult::Ok) return 2;
    return g.clusterCount < 4085 ? 1 : 2;
}

GeometryResult ComputeFatGeometry(const FatBootFields& f, int kind, FatGeometry& g) {
    g = FatGeometry{};
    g.kind = kind;
    if (kind < 1 || kind > 3) return GeometryResult::UnknownKind;
    const uint32_t bps = f.bytesPerSector;
    if ((bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) || f.sectorsPerCluster == 0)
        return GeometryResult::DamagedBoot;
    g.bytesPerSector = bps;
    g.sectorsPerCluster = f.sectorsPerCluster;
    g.clusterBytes = bps * f.sectorsPerCluster;
    g.reservedSectors = f.reservedSectors;
    g.fatCount = f.fatCount;
    g.fatSize = kind == 3 ? f.fatSize32 : f.fatSize16;
    g.totalSectors = f.totalSectors16 ? f.totalSectors16 : f.totalSectors32;
    g.rootStart = uint64_t{g.fatCount} * g.fatSize + g.reservedSectors;
    if (g.fatSize == 0 || g.fatCount == 0 || g.rootStart > g.totalSectors) return GeometryResult::DamagedBoot;
    if (kind == 3) {
        g.dataStart = g.rootStart;
    } else {
        g.rootEntries = f.rootEntries;
        g.dataStart = g.rootStart + (uint64_t{f.rootEntries} * 32 + bps - 1) / bps;
    }
    g.rootEnd = g.dataStart;
    // A data area that would begin past the volume's end has no clusters;
    // the subtraction must not wrap into billions of them.
    const uint64_t clusters = g.totalSectors > g.dataStart ? (g.totalSectors - g.dataStart) / g.sectorsPerCluster : 0;
    const uint32_t most = kind == 1 ? 0xFF5 : kind == 2 ? 0xFFF5 : 0x0FFFFFF5;
    g.clusterCount = static_cast<uint32_t>(std::min<uint64_t>(clusters, most));
    g.dataBytes = uint64_t{g.clusterBytes} * g.clusterCount;
    if (kind == 3) g.rootCluster = g.ValidCluster(f.rootCluster) ? f.rootCluster : 2;
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
